// The one-button message box of the GTK back end.
#pragma once

#include <string_view>

namespace vantrose {

// Shows a modal box with `text`, an empty caption, no icon and one button,
// "OK", which is the default: Enter presses it. Escape does nothing and the
// window frame offers no close command, so the box ends only through OK.
// GTK must be initialised.
void RunMessageBox(std::string_view text);

// The same, with the text also written to standard error first, where a
// desktop session keeps it in its log.
void RunLoggedMessageBox(std::string_view text);

}  // namespace vantrose
