// The standard file dialog of the GTK back end, in open and save mode.
#pragma once

#include <string>
#include <string_view>

#include "platform/user_interface.h"

namespace vantrose {

// Runs the desktop's file chooser (a native one where the desktop offers it)
// as UserInterface::FileDialog describes. GTK must be initialised.
bool RunFileDialog(std::string_view title, std::string_view filters,
                   std::string& variable, FileDialogMode mode);

}  // namespace vantrose
