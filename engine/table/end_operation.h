// The step that ends every engine operation on a state: the commit policy.
#pragma once

#include <cstdint>

#include "engine/table/table_state.h"

namespace vantrose {

// Runs after every call that reached a state whose corruption code is zero,
// including calls the rule check refused and calls on a file that is not
// open (where there is nothing to commit). Commits the state's pending
// changes according to the commit policy and returns an error code
// (0 success), which becomes the call's outcome when the operation itself
// succeeded.
int32_t EndOperation(TableState& state, int32_t operation);

}  // namespace vantrose
