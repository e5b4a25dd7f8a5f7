#include "base/errno_to_win32.h"

#include <cerrno>

#include "platform/errors.h"

namespace tesmar::platform {

DWORD Win32ErrorFromErrno(int error) noexcept {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case EPERM:
    case EACCES:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ESRCH:
    case EINVAL:
    case EDOM:
    case ERANGE:
      return ERROR_INVALID_PARAMETER;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case EBUSY:
    case EAGAIN:
      return ERROR_BUSY;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    case ENOSYS:
    case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
    case ETIMEDOUT:
      return ERROR_TIMEOUT;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD Win32ErrorFromTaskErrno(int error) noexcept {
  switch (Win32ErrorFromErrno(error)) {
    case ERROR_ACCESS_DENIED:
      return ERROR_ACCESS_DENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

DWORD SetLastErrorFromErrno() noexcept {
  DWORD error = Win32ErrorFromErrno(errno);
  SetLastError(error);
  return error;
}

}  // namespace tesmar::platform
