// Connecting a session to a machine's service manager and Data key, and starting and stopping
// the service through it.

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/service_wait.h"
#include "session.h"

using namespace tesmar::client;

namespace {

constexpr DWORD kRunningBit = 0x4;

// Running, continue pending, pause pending and paused all count as running.
bool CountsAsRunning(DWORD state) {
  return (state & kRunningBit) != 0;
}

}  // namespace

namespace {

INT Connect(TesmarSession* session, LPCWSTR machine) {
  session->ScmHandle = OpenSCManagerW(machine, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!session->ScmHandle) return static_cast<INT>(GetLastError());

  session->ServiceHandle =
      OpenServiceW(session->ScmHandle, tesmar::packet::kServiceName, SERVICE_ALL_ACCESS);
  if (!session->ServiceHandle) {
    DWORD error = GetLastError();
    session->Installed = 0;
    CloseServiceHandle(session->ScmHandle);
    session->ScmHandle = nullptr;
    return static_cast<INT>(error);
  }
  session->Installed = 1;

  // From here on a failure keeps both service handles, so the caller can still start or stop
  // the service; a second connect answers 1 until the caller disconnects.
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(session->ServiceHandle, &status)) {
    return static_cast<INT>(GetLastError());
  }
  if (!CountsAsRunning(status.dwCurrentState)) {
    session->Running = 0;
    return static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE);
  }
  session->Running = 1;

  LSTATUS result = RegConnectRegistryW(machine, HKEY_LOCAL_MACHINE, &session->RootKey);
  if (result != ERROR_SUCCESS) {
    session->RootKey = nullptr;
    return result;
  }
  // Only the service creates the Data key; a client opens what is there.
  result = RegOpenKeyExW(session->RootKey, tesmar::packet::kDataKeyPath, 0, KEY_ALL_ACCESS,
                         &session->DataKey);
  if (result != ERROR_SUCCESS) session->DataKey = nullptr;
  return result;
}

}  // namespace

extern "C" INT TesmarConnect(TesmarSession* session, LPCWSTR machine) noexcept {
  if (!session || session->ScmHandle) return kBadArgument;
  if (session->DemoMode) return 0;
  return AfterMachineCall(*session, Connect(session, machine));
}

extern "C" INT TesmarStart(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (session->Running) return 0;
  if (session->DemoMode) {
    session->Running = 1;
    return 0;
  }
  if (!session->ServiceHandle) return kBadArgument;
  if (!StartServiceW(session->ServiceHandle, 0, nullptr)) {
    return AfterMachineCall(*session, static_cast<INT>(GetLastError()));
  }
  // The service reports running once it serves its Data key, so a client that connects and
  // refreshes as soon as the start returned finds a ProcList. A service that stops instead
  // answers why.
  DWORD started = tesmar::platform::WaitUntilStarted(session->ServiceHandle);
  if (started != ERROR_SUCCESS) return AfterMachineCall(*session, static_cast<INT>(started));
  session->Running = 1;
  return 0;
}

extern "C" INT TesmarStop(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (!session->Running) return 0;
  if (session->DemoMode) {
    session->Running = 0;
    return 0;
  }
  if (!session->ServiceHandle) return kBadArgument;
  SERVICE_STATUS status{};
  if (!ControlService(session->ServiceHandle, SERVICE_CONTROL_STOP, &status)) {
    return AfterMachineCall(*session, static_cast<INT>(GetLastError()));
  }
  session->Running = 0;
  return 0;
}
