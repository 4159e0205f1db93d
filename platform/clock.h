// The run time's clock and waits.
#pragma once

#include <cstdint>

namespace vantrose {

// A steady clock in hundredths of a second (it never goes back; its zero is
// arbitrary). Wraps at 2^32.
uint32_t ClockHundredths();

// Sleeps for `milliseconds`, resuming after signals until the time is up.
void WaitMilliseconds(uint32_t milliseconds);

}  // namespace vantrose
