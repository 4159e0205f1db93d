// The converter's error report.
#pragma once

#include <cstdint>

#include "platform/user_interface.h"

namespace vantrose {

// 0 when the last operation succeeded (ERRORCODE is 0), nothing shown.
// Otherwise shows "Error: " and the error text in the modal message box,
// waits for OK and returns ERRORCODE, which the box leaves as it was.
int32_t CheckError(UserInterface& ui);

}  // namespace vantrose
