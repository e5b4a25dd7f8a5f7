// What the Scmkit tests share: the service definition as the manager keeps it in the registry,
// and the service's state.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "Scmkit.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/service_history.h"

namespace tesmar::scmkit::testing {

inline const std::string kTesmarsrPath = TESMARSR_PATH;
inline constexpr char kServiceName[] = "KaltrixTesmar";

inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  auto until = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A DWORD of the service's definition under SYSTEM\CurrentControlSet\Services.
inline std::optional<DWORD> DefinitionNumber(const char* serviceName, const char* valueName) {
  std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + serviceName;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD value = 0;
  DWORD size = sizeof value;
  LSTATUS status =
      RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

// The service's current state, 0 when it cannot be opened.
inline DWORD StateOf(const char* serviceName) {
  SerSetupContext* context = nullptr;
  if (SerSetupOpen(&context, nullptr) != 0) return 0;
  DWORD state = 0;
  if (SerSetupServiceOpen(context, serviceName) == 0) {
    SERVICE_STATUS status{};
    if (QueryServiceStatus(context->ServiceHandle, &status)) state = status.dwCurrentState;
  }
  SerSetupClose(context);
  return state;
}

inline bool ProcessExists(int processId) {
  return std::filesystem::exists("/proc/" + std::to_string(processId));
}

inline DWORD RunCommand(DWORD code, const char* argument) {
  return SerSetupCmd(nullptr, &code, argument);
}

// Stops and removes KaltrixTesmar at the end of a test, and makes sure its process is gone: a
// service left running would outlive its machine root. A service marked for deletion can no
// longer be opened, so it is the process that is watched.
class ServiceCleanup {
 public:
  ServiceCleanup() = default;
  ~ServiceCleanup() {
    int running = platform::RunningServiceProcessId(u"KaltrixTesmar");
    RunCommand(SERSETUP_CMD_REMOVE, nullptr);
    if (running > 0 && !WaitUntil([&] { return !ProcessExists(running); })) {
      std::system(("kill -9 " + std::to_string(running)).c_str());
    }
  }
  ServiceCleanup(const ServiceCleanup&) = delete;
  ServiceCleanup& operator=(const ServiceCleanup&) = delete;
};

}  // namespace tesmar::scmkit::testing
