// Fatal run-time errors: the text goes to standard error and to the desktop
// message box when one is up, and the process ends with a nonzero status.
#pragma once

#include <string_view>

namespace vantrose {

// Installed by a user-interface back end that can show a message box.
using FatalErrorDisplay = void (*)(std::string_view text);
void SetFatalErrorDisplay(FatalErrorDisplay display);

[[noreturn]] void FatalRuntimeError(std::string_view text);

}  // namespace vantrose
