// The platform's small test service installed under the service's name, KaltrixTesmar, on a
// machine of its own, so that sessions meet a real service manager and a real service process
// that leaves the Data key to the test.
#pragma once

#include <string>

#include "platform/service.h"
#include "testing/temporary_machine_root.h"

namespace tesmar::client::testing {

class TestServiceAsTesmar {
 public:
  // Installs it, not started, with the test service's options (e.g. "--report-pause").
  explicit TestServiceAsTesmar(const std::string& options = "");
  // Stops it, waits until it is stopped, and removes it.
  ~TestServiceAsTesmar();
  TestServiceAsTesmar(const TestServiceAsTesmar&) = delete;
  TestServiceAsTesmar& operator=(const TestServiceAsTesmar&) = delete;

  bool installed() const { return service_ != nullptr; }
  // Asks the manager and waits for the state; false when it was not reached.
  bool StartAndWait();
  bool PauseAndWait();
  bool WaitFor(DWORD state);
  // Creates the Data key, as the real service does when it starts.
  bool CreateDataKey();

 private:
  platform::testing::TemporaryMachineRoot root_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

}  // namespace tesmar::client::testing
