#include "support/test_service.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/wait_until.h"

namespace tesmar::testing {
namespace {

std::string MachineRootFile(const char* name) {
  const char* root = std::getenv("TESMAR_ROOT");
  return std::string(root ? root : ".") + "/" + name;
}

}  // namespace

std::vector<ReceivedControl> ControlsReceivedByTestService() {
  std::vector<ReceivedControl> controls;
  std::ifstream log(MachineRootFile("test-service-controls.log"));
  ReceivedControl received{};
  while (log >> received.processId >> received.control) controls.push_back(received);
  return controls;
}

std::string ArgumentsOfTestService() {
  std::ifstream log(MachineRootFile("test-service-arguments.log"));
  std::string line, last;
  while (std::getline(log, line)) last = line;
  return last;
}

bool WaitForServiceState(SC_HANDLE service, DWORD state) {
  return WaitUntil([&] {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) && status.dwCurrentState == state;
  });
}

}  // namespace tesmar::testing
