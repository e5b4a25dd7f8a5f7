// Setup: checks the operating system's version and the kernel the platform needs, then starts
// the installer beside it (isetup, which installs the package lying in the same folder), waits
// for it and returns its result.
#include "operator_message.h"
#include "platform/version.h"
#include "setup_launcher.h"

int main() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  return tesmar::install::RunSetup(version, tesmar::install::kInstallerCommandLine,
                                   tesmar::install::ShowOperatorMessage);
}
