// The desktop back end of the user interface, when this build has one and a
// display is available.
#pragma once

#include <memory>

#include "platform/user_interface.h"

namespace vantrose {

// A desktop user interface, or nullptr when this build has none or no
// display can be opened.
std::unique_ptr<UserInterface> MakeDesktopUserInterface();

}  // namespace vantrose
