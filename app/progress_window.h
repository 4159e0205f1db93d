// The window "Progress" (label PROGRESS) that counts converted records: title
// "Converting File", 107 x 33 dialog units of an 8-point "MS Sans Serif",
// a fixed static text "Converting Record #:" at (4, 13) and, as control
// number 1, the count display at (74, 12), 24 x 12, showing Count with the
// picture "n8".
#pragma once

#include "platform/user_interface.h"

namespace vantrose {

const ProgressWindowSpec& ProgressWindow();

}  // namespace vantrose
