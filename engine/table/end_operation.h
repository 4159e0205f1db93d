// The step that ends every engine operation on a state: the commit policy.
//
// Without STREAM every operation on an open table ends with its changes
// committed and the store back in reader mode. With STREAM (FS_STREAMING)
// the commit is put off while the store holds fewer than kStreamPageLimit
// changed pages and fewer than kStreamOperationLimit operations have been
// put off; FLUSH and CLOSE commit at once. While an event-driven BUILD runs
// (FS_IN_BUILD_EVENT) nothing is committed either.
#pragma once

#include <cstdint>

#include "engine/table/operation_context.h"
#include "engine/table/table_state.h"

namespace vantrose {

constexpr uint32_t kStreamPageLimit = 40;
constexpr uint32_t kStreamOperationLimit = 5000;

// Runs after every call that reached a state whose corruption code is zero,
// including calls the rule check refused and calls on a file that is not
// open (where there is nothing to commit). Commits the state's pending
// changes according to the commit policy and returns an error code
// (0 success), which becomes the call's outcome when the operation itself
// succeeded. `operation` is the call's code (0 when PUT runs it itself).
int32_t EndOperation(TableState& state, int32_t operation);

// FLUSH: commits now and leaves writer mode; the rule table ends STREAM.
// Also the commit of ENDVIEW.
int32_t FlushOperation(OperationContext& context);

}  // namespace vantrose
