// Connecting a session to a machine's service manager and Data key, and starting and stopping
// the service through it.

#include <algorithm>
#include <chrono>
#include <optional>

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/threading.h"
#include "session.h"

using namespace tesmar::client;

namespace {

constexpr DWORD kRunningBit = 0x4;

// How long a start waits for the service to leave the start pending state, at most, from its
// last sign of progress (a report with a new checkpoint), and how often it looks.
constexpr DWORD kLeastStartWait = 1000;
constexpr DWORD kStartLookInterval = 10;

// Running, continue pending, pause pending and paused all count as running.
bool CountsAsRunning(DWORD state) {
  return (state & kRunningBit) != 0;
}

// The service reports running once it serves its Data key, so that a client which connects
// and refreshes as soon as the start returned finds a ProcList. Waits while it reports start
// pending and keeps to its wait hints; 0 once it runs, or when it is still starting after
// them (the request stands), else why it stopped.
INT WaitWhileStarting(SC_HANDLE service) {
  using Clock = std::chrono::steady_clock;
  SERVICE_STATUS status{};
  std::optional<DWORD> lastCheckPoint;
  Clock::time_point deadline;
  for (;;) {
    if (!QueryServiceStatus(service, &status)) return static_cast<INT>(GetLastError());
    if (status.dwCurrentState != SERVICE_START_PENDING) break;
    if (status.dwCheckPoint != lastCheckPoint) {
      lastCheckPoint = status.dwCheckPoint;
      DWORD hint = std::max(status.dwWaitHint, kLeastStartWait);
      deadline = Clock::now() + std::chrono::milliseconds(hint);
    }
    if (Clock::now() >= deadline) return 0;
    Sleep(kStartLookInterval);
  }
  if (status.dwCurrentState == SERVICE_STOPPED) {
    return static_cast<INT>(status.dwWin32ExitCode ? status.dwWin32ExitCode
                                                   : ERROR_SERVICE_NOT_ACTIVE);
  }
  return 0;
}

}  // namespace

extern "C" INT TesmarConnect(TesmarSession* session, LPCWSTR machine) noexcept {
  if (!session || session->ScmHandle) return kBadArgument;
  if (session->DemoMode) return 0;

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

extern "C" INT TesmarStart(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (session->Running) return 0;
  if (session->DemoMode) {
    session->Running = 1;
    return 0;
  }
  if (!session->ServiceHandle) return kBadArgument;
  if (!StartServiceW(session->ServiceHandle, 0, nullptr)) {
    return static_cast<INT>(GetLastError());
  }
  INT started = WaitWhileStarting(session->ServiceHandle);
  if (started == 0) session->Running = 1;
  return started;
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
    return static_cast<INT>(GetLastError());
  }
  session->Running = 0;
  return 0;
}
