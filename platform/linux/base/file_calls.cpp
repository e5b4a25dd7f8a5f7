// MoveFileA, and the standard handles with the kind of file behind them.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/errno_to_win32.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/files.h"

namespace {

// The standard handles are made-up values outside the handle table's range.
constexpr uintptr_t kStandardHandleBase = 0xFFFFFF00u;

int DescriptorOf(HANDLE handle) {
  auto value = reinterpret_cast<uintptr_t>(handle);
  if (value < kStandardHandleBase || value > kStandardHandleBase + 2) return -1;
  return static_cast<int>(value - kStandardHandleBase);
}

}  // namespace

/***********************************************************************
 *           MoveFileA
 *
 * A rename within one file system; ERROR_ALREADY_EXISTS when the new name is taken, as
 * Windows refuses to replace a file here.
 */
extern "C" BOOL MoveFileA(LPCSTR existingName, LPCSTR newName) noexcept {
  return tesmar::platform::BoolResult([&]() -> DWORD {
    if (!existingName || !newName || !*existingName || !*newName) return ERROR_INVALID_PARAMETER;
    // renameat2 with RENAME_NOREPLACE refuses an existing target without a window between a
    // look and the rename.
    if (renameat2(AT_FDCWD, existingName, AT_FDCWD, newName, RENAME_NOREPLACE) == 0) {
      return ERROR_SUCCESS;
    }
    return errno == EEXIST ? ERROR_ALREADY_EXISTS : tesmar::platform::Win32ErrorFromErrno(errno);
  });
}

/***********************************************************************
 *           GetStdHandle
 */
extern "C" HANDLE GetStdHandle(DWORD standardHandle) noexcept {
  switch (standardHandle) {
    case STD_INPUT_HANDLE:
      return reinterpret_cast<HANDLE>(kStandardHandleBase + 0);
    case STD_OUTPUT_HANDLE:
      return reinterpret_cast<HANDLE>(kStandardHandleBase + 1);
    case STD_ERROR_HANDLE:
      return reinterpret_cast<HANDLE>(kStandardHandleBase + 2);
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return INVALID_HANDLE_VALUE;
  }
}

/***********************************************************************
 *           GetFileType
 *
 * Of the standard handles: a terminal is FILE_TYPE_CHAR, a pipe or socket FILE_TYPE_PIPE, a file
 * FILE_TYPE_DISK.
 */
extern "C" DWORD GetFileType(HANDLE file) noexcept {
  int descriptor = DescriptorOf(file);
  struct stat status {};
  if (descriptor < 0 || fstat(descriptor, &status) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  if (isatty(descriptor)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FILE_TYPE_PIPE;
  if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) return FILE_TYPE_DISK;
  return S_ISCHR(status.st_mode) ? FILE_TYPE_CHAR : FILE_TYPE_UNKNOWN;
}
