#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace vantrose {

uint32_t ClockHundredths() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 100 +
                               static_cast<uint64_t>(now.tv_nsec) / 10000000);
}

void WaitMilliseconds(uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace vantrose
