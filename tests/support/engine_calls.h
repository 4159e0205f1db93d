// Calls through the engine entry as a program makes them, for tests that
// drive declared files: each starts from a cleared error state.
#pragma once

#include <cstdint>

#include "engine/front/engine_entry.h"
#include "runtime/declared.h"
#include "runtime/error_state.h"

namespace vantrose {

// Runs `operation` on `file` and answers what the entry returns: the
// operation's own result, such as a record count.
inline int32_t Result(int32_t operation, DeclaredFile& file, DeclaredKey* key, int32_t cell = 0) {
  EngineArgs args;
  args.key = key;
  args.cells[0] = cell;
  ClearError();
  return EngineEntry(operation, file, args);
}
inline int32_t Result(int32_t operation, DeclaredFile& file, int32_t cell = 0) {
  return Result(operation, file, nullptr, cell);
}

// Runs `operation` on `file` and answers the error code it posted (0: none).
inline int32_t Call(int32_t operation, DeclaredFile& file, DeclaredKey* key, int32_t cell = 0) {
  Result(operation, file, key, cell);
  return Errors().code;
}
inline int32_t Call(int32_t operation, DeclaredFile& file, int32_t cell = 0) {
  return Call(operation, file, nullptr, cell);
}

}  // namespace vantrose
