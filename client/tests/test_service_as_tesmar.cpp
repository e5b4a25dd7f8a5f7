#include "test_service_as_tesmar.h"

#include "platform/errors.h"
#include "platform/registry.h"
#include "testing/test_service.h"

namespace tesmar::client::testing {

TestServiceAsTesmar::TestServiceAsTesmar(const std::string& options) {
  manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager_) return;
  std::string imagePath = platform::testing::TestServiceProgram();
  if (!options.empty()) imagePath += " " + options;
  service_ = CreateServiceA(manager_, "KaltrixTesmar", "KaltrixTesmar", SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                            imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
}

TestServiceAsTesmar::~TestServiceAsTesmar() {
  if (service_) {
    SERVICE_STATUS status{};
    ControlService(service_, SERVICE_CONTROL_STOP, &status);
    WaitFor(SERVICE_STOPPED);
    DeleteService(service_);
    CloseServiceHandle(service_);
  }
  if (manager_) CloseServiceHandle(manager_);
}

bool TestServiceAsTesmar::WaitFor(DWORD state) {
  return service_ && platform::testing::WaitForServiceState(service_, state);
}

bool TestServiceAsTesmar::StartAndWait() {
  return service_ && StartServiceA(service_, 0, nullptr) && WaitFor(SERVICE_RUNNING);
}

bool TestServiceAsTesmar::PauseAndWait() {
  SERVICE_STATUS status{};
  return service_ && ControlService(service_, SERVICE_CONTROL_PAUSE, &status) &&
         WaitFor(SERVICE_PAUSED);
}

bool TestServiceAsTesmar::CreateDataKey() {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data", 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      &disposition) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

}  // namespace tesmar::client::testing
