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

// Windows error numbers that the POSIX mapping produces besides those above.
enum : int32_t {
  OS_ERROR_FILE_NOT_FOUND = 2, OS_ERROR_PATH_NOT_FOUND = 3, OS_ERROR_TOO_MANY_OPEN_FILES = 4,
  OS_ERROR_ACCESS_DENIED = 5, OS_ERROR_INVALID_HANDLE = 6, OS_ERROR_NOT_ENOUGH_MEMORY = 8,
  OS_ERROR_GEN_FAILURE = 31, OS_ERROR_SHARING_VIOLATION = 32, OS_ERROR_LOCK_VIOLATION = 33,
  OS_ERROR_FILE_EXISTS = 80, OS_ERROR_INVALID_PARAMETER = 87, OS_ERROR_DISK_FULL = 112,
  OS_ERROR_INVALID_NAME = 123, OS_ERROR_BAD_PATHNAME = 161, OS_ERROR_BUSY = 170,
  OS_ERROR_FILE_TOO_LARGE = 223, OS_ERROR_IO_DEVICE = 1117,
};

// The Windows number closest to a POSIX errno value; never 0. ENOENT maps to
// 2 (no such file); callers that know a directory of the path is missing
// answer 3 themselves.
int32_t OsErrorFromErrno(int errno_value);

}  // namespace vantrose
