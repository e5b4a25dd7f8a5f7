#include "support/installed_service.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/service_history.h"
#include "support/test_service.h"
#include "support/wait_until.h"

namespace tesmar::testing {
namespace {

using platform::OwnedHandle;
using platform::OwnedKey;
using platform::OwnedServiceHandle;

bool ProcessIsGone(DWORD processId) {
  OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  return !process;
}

// Stops the service, waits until its process is gone (killing one that does not go), and
// deletes it.
void RemoveService(const std::u16string& name) {
  const int running = platform::RunningServiceProcessId(name);
  OwnedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  OwnedServiceHandle service(manager ? OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS)
                                     : nullptr);
  if (service) {
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    WaitForServiceState(service.get(), SERVICE_STOPPED);
    DeleteService(service.get());
  }
  if (running > 0 && !WaitUntil([&] { return ProcessIsGone(static_cast<DWORD>(running)); })) {
    OwnedHandle stuck(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(running)));
    if (stuck) TerminateProcess(stuck.get(), 1);
  }
}

}  // namespace

InstalledService::InstalledService(const std::string& commandLine, const char16_t* name)
    : name_(name), manager_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
  if (!manager_) return;
  std::string narrowName(name_.begin(), name_.end());  // service names of tests are ASCII
  service_.Reset(CreateServiceA(manager_.get(), narrowName.c_str(), narrowName.c_str(),
                                SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                nullptr, nullptr, nullptr));
}

InstalledService::~InstalledService() {
  service_.Reset();
  RemoveService(name_);
}

bool InstalledService::Start() {
  return service_ && StartServiceW(service_.get(), 0, nullptr) && WaitForState(SERVICE_RUNNING);
}

bool InstalledService::Stop() {
  SERVICE_STATUS status{};
  return service_ && ControlService(service_.get(), SERVICE_CONTROL_STOP, &status) &&
         WaitForState(SERVICE_STOPPED);
}

bool InstalledService::Pause() {
  SERVICE_STATUS status{};
  return service_ && ControlService(service_.get(), SERVICE_CONTROL_PAUSE, &status) &&
         WaitForState(SERVICE_PAUSED);
}

bool InstalledService::WaitForState(DWORD state) const {
  return service_ && WaitForServiceState(service_.get(), state);
}

DWORD InstalledService::CurrentState() const {
  return ServiceState(name_.c_str());
}

ServiceRemoval::~ServiceRemoval() {
  RemoveService(name_);
}

DWORD ServiceState(const char16_t* name) {
  OwnedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return 0;
  OwnedServiceHandle service(OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool WaitUntilServiceProcessGone(const char16_t* name) {
  auto reports = platform::RecordedServiceStatus(name);
  if (reports.empty()) return true;
  auto processId = static_cast<DWORD>(reports.back().processId);
  return WaitUntil([&] { return ProcessIsGone(processId); });
}

std::optional<DWORD> ServiceDefinitionNumber(const char* serviceName, const char* valueName) {
  std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + serviceName;
  OwnedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::string ServiceImagePath(const char* serviceName) {
  std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + serviceName;
  OwnedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return {};
  }
  char text[4096] = {};
  DWORD size = sizeof text - 1;
  if (RegQueryValueExA(key.get(), "ImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                       &size) != ERROR_SUCCESS) {
    return {};
  }
  return std::string(text);
}

}  // namespace tesmar::testing
