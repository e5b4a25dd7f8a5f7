// GetVersionExA over uname: the kernel release's numbers as the version.
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/version.h"

/***********************************************************************
 *           GetVersionExA
 */
extern "C" BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo) noexcept {
  return tesmar::platform::BoolResult([&]() -> DWORD {
    if (!versionInfo) return ERROR_INVALID_PARAMETER;
    if (versionInfo->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
      return ERROR_INSUFFICIENT_BUFFER;
    }
    utsname system{};
    if (uname(&system) != 0) return ERROR_GEN_FAILURE;
    unsigned major = 0, minor = 0, build = 0;
    std::sscanf(system.release, "%u.%u.%u", &major, &minor, &build);
    versionInfo->dwMajorVersion = major;
    versionInfo->dwMinorVersion = minor;
    versionInfo->dwBuildNumber = build;
    versionInfo->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::snprintf(versionInfo->szCSDVersion, sizeof versionInfo->szCSDVersion, "%s",
                  system.release);
    return ERROR_SUCCESS;
  });
}
