// The real service installed on a machine of its own: a temporary machine root, tesmarsr
// installed and started through Scmkit's install command, as the installer does, and removed
// again at the end.
#pragma once

#include <string>

#include "platform/registry.h"
#include "platform/service.h"
#include "testing/temporary_machine_root.h"

namespace tesmar::tests {

class InstalledService {
 public:
  // Installs and starts the program at executablePath as KaltrixTesmar.
  explicit InstalledService(const std::string& executablePath);
  // Stops and removes the service and waits until its process is gone.
  ~InstalledService();
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  // The service manager reports the state; false when it did not within a few seconds.
  bool WaitForState(DWORD state) const;
  // The service's process has ended. A service reports stopped before its process ends, and its
  // worker serves the Data key until then.
  bool WaitUntilProcessGone() const;
  // The service runs and has published its first ProcList.
  bool WaitUntilPublished() const;

  DWORD CurrentState() const;
  // A value of the machine's Data key as a DWORD; -1 when it cannot be read.
  long long DataKeyDword(const char16_t* name) const;

 private:
  platform::testing::TemporaryMachineRoot root_;
};

}  // namespace tesmar::tests
