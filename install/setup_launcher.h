// Setup's steps: the version checks, then the installer started and waited for.
#pragma once

#include <string>

#include "operator_message.h"
#include "platform/version.h"

namespace tesmar::install {

inline constexpr char kSetupCaption[] = "Kaltrix Tesmar - Setup";
inline constexpr char kOldWindowsText[] = "This program requires Windows NT 4.0 or higher";
// The installer beside Setup: it installs the package lying in its folder.
inline constexpr char kInstallerCommandLine[] = "isetup";
// The kernel the platform needs: process pidfds (pidfd_open) came with Linux 5.3.
inline constexpr DWORD kLeastKernelMajor = 5;
inline constexpr DWORD kLeastKernelMinor = 3;

// Checks the version, starts the installer's command line (a program without a folder is
// looked for beside Setup first), waits for it and returns its exit code; 1 when the version
// is refused or the installer cannot be started. Every failure is told through show.
int RunSetup(const OSVERSIONINFOA& version, const std::string& installerCommandLine,
             const OperatorMessage& show);

}  // namespace tesmar::install
