#include "engine/front/engine_entry.h"

#include "runtime/error_state.h"

namespace vantrose {

// Every operation answers 80 until the engine's parts exist; QUERY_VIEW
// answers 0 and does nothing.
int32_t EngineEntry(int32_t operation, DeclaredFile& file, const EngineArgs&) {
  if (operation == op::QUERY_VIEW) return 0;
  PostFileError(ERR_UNSUPPORTED_FUNCTION, &file);
  return 0;
}

}  // namespace vantrose
