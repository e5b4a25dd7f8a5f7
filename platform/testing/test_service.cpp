#include "testing/test_service.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tesmar::platform::testing {
namespace {

std::string MachineRootFile(const char* name) {
  const char* root = std::getenv("TESMAR_ROOT");
  return std::string(root ? root : ".") + "/" + name;
}

}  // namespace

std::string TestServiceProgram() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tesmar_test_service")
      .string();
}

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
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  SERVICE_STATUS status{};
  while (std::chrono::steady_clock::now() < deadline) {
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == state) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace tesmar::platform::testing
