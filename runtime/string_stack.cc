#include "runtime/string_stack.h"

#include <utility>
#include <vector>

namespace vantrose {
namespace {

std::vector<std::string>& Stack() {
  static std::vector<std::string> stack;
  return stack;
}

}  // namespace

void PushString(std::string text) { Stack().push_back(std::move(text)); }

std::string PopString() {
  std::vector<std::string>& stack = Stack();
  if (stack.empty()) return {};
  std::string top = std::move(stack.back());
  stack.pop_back();
  return top;
}

size_t StringStackDepth() { return Stack().size(); }

}  // namespace vantrose
