#include "platform/fatal_error.h"

#include <cstdio>
#include <cstdlib>

namespace vantrose {
namespace {
FatalErrorDisplay g_display = nullptr;
}  // namespace

void SetFatalErrorDisplay(FatalErrorDisplay display) { g_display = display; }

void FatalRuntimeError(std::string_view text) {
  std::fprintf(stderr, "Fatal error: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  if (g_display != nullptr) g_display(text);
  std::_Exit(3);
}

}  // namespace vantrose
