// Operating-system error numbers, in the Windows numbering that the engine's
// error table shares (2 no such file, 3 path not found, 4 too many open files,
// 5 access denied, 32 sharing violation, 33 lock violation, 112 disk full...).
#pragma once

#include <cstdint>

namespace vantrose {

// The number of the last failed operating-system call of this thread, as the
// file layer recorded it; 0 when none failed.
int32_t LastOsErrorNumber();
void SetLastOsErrorNumber(int32_t number);

}  // namespace vantrose
