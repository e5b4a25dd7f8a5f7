// Waiting for a service that reports a pending state to get where it is going, as callers of the
// service manager do on Windows: by its reports, looking at its status often. A service that
// keeps reporting new checkpoints is waited for; one whose checkpoint has not moved for as long
// as its latest report's wait hint is given up on, and so is any after the longest wait. The
// hint is the latest one even at the same checkpoint: the manager's own first record and the
// service's first report both say checkpoint 0, the service's with the longer hint.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

#include "platform/errors.h"
#include "platform/service.h"
#include "platform/threading.h"

namespace tesmar::platform {

// The wait after a report is at least this long, whatever the hint said.
inline constexpr DWORD kLeastPendingWait = 1000;
inline constexpr DWORD kPendingLookInterval = 10;
// However often the checkpoint moves, a wait ends after this long.
inline constexpr DWORD kLongestPendingWait = 10 * 60 * 1000;

// Waits while the service reports the pending state. True with the status it reported then (the
// state it reached, or still the pending one after its hints ran out); false when its status
// could not be queried (the last error tells why).
inline bool WaitWhilePending(SC_HANDLE service, DWORD pendingState, SERVICE_STATUS& status) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kLongestPendingWait);
  std::optional<DWORD> lastCheckPoint;
  Clock::time_point moved;
  for (;;) {
    if (!QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState != pendingState) return true;
    Clock::time_point now = Clock::now();
    if (status.dwCheckPoint != lastCheckPoint) {
      lastCheckPoint = status.dwCheckPoint;
      moved = now;
    }
    auto hint = std::chrono::milliseconds(std::max<DWORD>(status.dwWaitHint, kLeastPendingWait));
    if (now >= moved + hint || now >= end) return true;
    Sleep(kPendingLookInterval);
  }
}

// After a start request: 0 once the service runs, or while it is still starting after its hints
// (the request stands); why it stopped when it stopped (its exit code, or
// ERROR_SERVICE_NOT_ACTIVE when it gave none); the query's error when it could not be asked.
inline DWORD WaitUntilStarted(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!WaitWhilePending(service, SERVICE_START_PENDING, status)) {
    DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
  }
  if (status.dwCurrentState != SERVICE_STOPPED) return ERROR_SUCCESS;
  return status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE;
}

}  // namespace tesmar::platform
