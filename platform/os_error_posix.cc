#include <cerrno>

#include "platform/os_error.h"

namespace vantrose {

int32_t OsErrorFromErrno(int errno_value) {
  switch (errno_value) {
    case ENOENT: return OS_ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return OS_ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return OS_ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return OS_ERROR_ACCESS_DENIED;
    case EBADF: return OS_ERROR_INVALID_HANDLE;
    case ENOMEM: return OS_ERROR_NOT_ENOUGH_MEMORY;
    case EAGAIN:
    case EDEADLK:
    case ENOLCK: return OS_ERROR_LOCK_VIOLATION;
    case EEXIST: return OS_ERROR_FILE_EXISTS;
    case EINVAL: return OS_ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return OS_ERROR_DISK_FULL;
    case ENAMETOOLONG:
    case EILSEQ: return OS_ERROR_INVALID_NAME;
    case ELOOP: return OS_ERROR_BAD_PATHNAME;
    case EBUSY: return OS_ERROR_BUSY;
    case EFBIG:
    case EOVERFLOW: return OS_ERROR_FILE_TOO_LARGE;
    case EIO: return OS_ERROR_IO_DEVICE;
    default: return OS_ERROR_GEN_FAILURE;
  }
}

}  // namespace vantrose
