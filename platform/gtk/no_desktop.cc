#include "platform/desktop_ui.h"

namespace vantrose {

std::unique_ptr<UserInterface> MakeDesktopUserInterface() { return nullptr; }

}  // namespace vantrose
