#include "installed_service.h"

#include <chrono>
#include <thread>

#include "Scmkit.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/service_history.h"

namespace tesmar::tests {
namespace {

constexpr char16_t DataKeyPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";
constexpr auto LongestSetUp = std::chrono::seconds(15);
constexpr auto PollInterval = std::chrono::milliseconds(10);

template <typename Condition>
bool PollUntil(Condition condition) {
  auto deadline = std::chrono::steady_clock::now() + LongestSetUp;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(PollInterval);
  }
  return true;
}

bool ProcListExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, DataKeyPath, 0, KEY_READ, &key) != 0) return false;
  DWORD size = 0;
  bool exists = RegQueryValueExW(key, u"ProcList", nullptr, nullptr, nullptr, &size) == 0;
  RegCloseKey(key);
  return exists && size > 0;
}

}  // namespace

InstalledService::InstalledService(const std::string& executablePath) {
  DWORD install = SERSETUP_CMD_INSTALL;
  SerSetupCmd(nullptr, &install, executablePath.c_str());
}

InstalledService::~InstalledService() {
  // Stopped first and seen stopped, so that no service process outlives the machine root.
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service =
      manager ? OpenServiceW(manager, u"KaltrixTesmar", SERVICE_ALL_ACCESS) : nullptr;
  if (service) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    PollUntil([&] {
      return QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
    });
    CloseServiceHandle(service);
    WaitUntilProcessGone();
  }
  if (manager) CloseServiceHandle(manager);
  DWORD remove = SERSETUP_CMD_REMOVE;
  SerSetupCmd(nullptr, &remove, nullptr);
}

DWORD InstalledService::CurrentState() const {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return 0;
  DWORD state = 0;
  SC_HANDLE service = OpenServiceW(manager, u"KaltrixTesmar", SERVICE_QUERY_STATUS);
  if (service) {
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service, &status)) state = status.dwCurrentState;
    CloseServiceHandle(service);
  } else {
    state = SERVICE_STOPPED;  // removed: nothing runs
  }
  CloseServiceHandle(manager);
  return state;
}

bool InstalledService::WaitForState(DWORD state) const {
  return PollUntil([&] { return CurrentState() == state; });
}

bool InstalledService::WaitUntilProcessGone() const {
  auto reports = platform::RecordedServiceStatus(u"KaltrixTesmar");
  if (reports.empty()) return true;
  DWORD processId = static_cast<DWORD>(reports.back().processId);
  return PollUntil([&] {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (!process) return true;
    CloseHandle(process);
    return false;
  });
}

bool InstalledService::WaitUntilPublished() const {
  return WaitForState(SERVICE_RUNNING) && PollUntil(ProcListExists);
}

long long InstalledService::DataKeyDword(const char16_t* name) const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, DataKeyPath, 0, KEY_READ, &key) != 0) return -1;
  DWORD value = 0, size = sizeof value;
  LSTATUS status =
      RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
  RegCloseKey(key);
  return status == 0 ? static_cast<long long>(value) : -1;
}

}  // namespace tesmar::tests
