// The caller's string stack: string arguments of engine operations are pushed
// before the call and popped by the engine; string results are pushed by the
// engine before it returns.
#pragma once

#include <string>

namespace vantrose {

void PushString(std::string text);
// Pops the top string; an empty stack yields an empty string.
std::string PopString();
// Number of strings on the stack.
size_t StringStackDepth();

}  // namespace vantrose
