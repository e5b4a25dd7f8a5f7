#include "setup_launcher.h"

#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/threading.h"

namespace tesmar::install {
namespace {

std::string SystemText(DWORD error) {
  const char* text = tesmar::platform::Win32ErrorMessage(error);
  return std::string(text ? text : "no text for this error") + " (error " + std::to_string(error) +
         ")";
}

}  // namespace

int RunSetup(const OSVERSIONINFOA& version, const std::string& installerCommandLine,
             const OperatorMessage& show) {
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion < 4) {
    show(kOldWindowsText, kSetupCaption, MB_OK | MB_ICONSTOP);
    return 1;
  }
  if (version.dwMajorVersion < kLeastKernelMajor ||
      (version.dwMajorVersion == kLeastKernelMajor && version.dwMinorVersion < kLeastKernelMinor)) {
    show("Kaltrix Tesmar needs Linux " + std::to_string(kLeastKernelMajor) + "." +
             std::to_string(kLeastKernelMinor) +
             " or later: it follows processes through process file descriptors (pidfd_open). "
             "This machine runs Linux " +
             version.szCSDVersion + ".",
         kSetupCaption, MB_OK | MB_ICONSTOP);
    return 1;
  }
  std::vector<char> commandLine(installerCommandLine.begin(), installerCommandLine.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION installer{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &installer)) {
    show("The installer \"" + installerCommandLine +
             "\" could not be started: " + SystemText(GetLastError()),
         kSetupCaption, MB_OK | MB_ICONSTOP);
    return 1;
  }
  CloseHandle(installer.hThread);
  WaitForSingleObject(installer.hProcess, INFINITE);
  DWORD exitCode = 1;
  if (!GetExitCodeProcess(installer.hProcess, &exitCode)) exitCode = 1;
  CloseHandle(installer.hProcess);
  if (exitCode != 0) {
    show("The installer \"" + installerCommandLine + "\" failed: it ended with exit code " +
             std::to_string(exitCode) + ". Kaltrix Tesmar is not installed.",
         kSetupCaption, MB_OK | MB_ICONSTOP);
  }
  return static_cast<int>(exitCode);
}

}  // namespace tesmar::install
