// The operations that belong to the entry itself rather than to a file
// layer: STREAM (its effect is the rule's), QUERY_KEY, INVIEW and ENDVIEW.
#pragma once

#include <cstdint>

#include "engine/table/operation_context.h"

namespace vantrose {

// STREAM: no action of its own; the rule sets FS_STREAMING.
int32_t StreamOperation(OperationContext& context);
// QUERY_KEY: result is the 1-based number of the current key, 0 in file order.
int32_t QueryKeyOperation(OperationContext& context);
// INVIEW: sets the in-view mark unless STREAM is active.
int32_t InViewOperation(OperationContext& context);
// ENDVIEW: when the mark is set, clears it and commits the file as FLUSH does.
int32_t EndViewOperation(OperationContext& context);

}  // namespace vantrose
