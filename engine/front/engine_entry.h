// The engine's single entry: every file operation of the caller arrives here
// as an operation code, the declared file it names and its argument cells.
// String arguments travel on the caller's string stack (runtime/string_stack.h)
// and the outcome is left in the caller's error state (runtime/error_state.h).
// The entry never throws.
#pragma once

#include <cstdint>

#include "engine/front/operations.h"
#include "runtime/declared.h"

namespace vantrose {

int32_t EngineEntry(int32_t operation, DeclaredFile& file, const EngineArgs& args);

}  // namespace vantrose
