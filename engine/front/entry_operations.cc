#include "engine/front/entry_operations.h"

#include "engine/front/dispatch.h"
#include "engine/front/operations.h"

namespace vantrose {

int32_t StreamOperation(OperationContext&) { return 0; }

int32_t QueryKeyOperation(OperationContext& context) {
  const KeyDescriptor* key = context.state.current_key;
  context.result = key == nullptr ? 0 : static_cast<int32_t>(key->number + 1);
  return 0;
}

int32_t InViewOperation(OperationContext& context) {
  if ((context.state.flags & FS_STREAMING) == 0) context.state.in_view = 1;
  return 0;
}

int32_t EndViewOperation(OperationContext& context) {
  if (context.state.in_view == 0) return 0;
  context.state.in_view = 0;
  const OperationHandler flush = DispatchedHandler(op::FLUSH);
  return flush(context);
}

}  // namespace vantrose
