// The step that ends every engine operation on a state: the commit policy.
#pragma once

#include <cstdint>

#include "engine/table/table_state.h"

namespace vantrose {

// Runs after every operation that reached a state whose corruption code is
// zero. Commits the state's pending changes according to the commit policy
// and returns an error code (0 success).
int32_t EndOperation(TableState& state, int32_t operation);

}  // namespace vantrose
