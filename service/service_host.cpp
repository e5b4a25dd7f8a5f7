#include "service_host.h"

#include "error_report.h"
#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "tunes.h"
#include "worker_thread.h"

namespace tesmar::service {
namespace {

constexpr DWORD kPendingWaitHint = 5000;
// The exit code reported when the worker thread cannot be started.
constexpr DWORD kWorkerNotStarted = 1234;

// Signalled by the control handler on the stop control; the service main routine waits on it.
HANDLE stopEvent = nullptr;
SERVICE_STATUS_HANDLE statusHandle = nullptr;

BOOL SendStatusToScm(DWORD state, DWORD exitCode, DWORD checkPoint, DWORD waitHint) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  // No control can be handled before the worker runs.
  status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
  status.dwWin32ExitCode = exitCode;
  status.dwServiceSpecificExitCode = 0;
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = waitHint;
  return SetServiceStatus(statusHandle, &status);
}

// Pause, continue, interrogate and every other control are ignored without a report.
void ControlHandler(DWORD control) {
  if (control != SERVICE_CONTROL_STOP) return;
  SendStatusToScm(SERVICE_STOP_PENDING, 0, 1, kPendingWaitHint);
  SetEvent(stopEvent);
}

void ServiceMain(DWORD, LPWSTR*) {
  // Under the dispatcher the program is known to run as a service: what fails from here on goes
  // to its error log.
  constexpr ReportTarget kReports = ReportTarget::ErrorLog;
  statusHandle = RegisterServiceCtrlHandlerW(packet::kServiceName, ControlHandler);
  if (!statusHandle) {
    ReportError(u"RegisterServiceCtrlHandler", kReports);
    return;
  }
  if (!SendStatusToScm(SERVICE_START_PENDING, 0, 0, kPendingWaitHint)) {
    ReportError(u"SendStatusToScm - SERVICE_START_PENDING", kReports);
    return;
  }
  Worker worker(kReports);
  if (!worker.Start()) {
    ReportError(u"StartupServiceThread", kReports);
    SendStatusToScm(SERVICE_STOPPED, kWorkerNotStarted, 0, 0);
    return;
  }
  // Running means serving: a client that connects as soon as it reads running finds a ProcList.
  // The first pass of a large machine may outlast a wait hint, so each hint brings a report.
  for (DWORD checkPoint = 1; worker.WaitUntilServing(kPendingWaitHint / 2) == WAIT_TIMEOUT;
       ++checkPoint) {
    SendStatusToScm(SERVICE_START_PENDING, 0, checkPoint, kPendingWaitHint);
  }
  if (DWORD error = worker.StartupError()) {
    // A worker without a Data key serves nobody: the service stops, saying why.
    SendStatusToScm(SERVICE_STOPPED, error, 0, 0);
    return;
  }
  SendStatusToScm(SERVICE_RUNNING, 0, 0, 0);
  WaitForSingleObject(stopEvent, INFINITE);
  // Stopped means served no more: the worker finishes its pass and ends first.
  worker.Stop();
  SendStatusToScm(SERVICE_STOPPED, 0, 0, 0);
}

}  // namespace

int RunAsService() {
  SERVICE_TABLE_ENTRYW serviceTable[] = {
      {const_cast<LPWSTR>(packet::kServiceName), ServiceMain},
      {nullptr, nullptr},
  };

  stopEvent = CreateEventW(nullptr, /*manualReset=*/TRUE, /*initialState=*/FALSE, nullptr);
  if (!stopEvent) {
    ReportError(u"CreateEvent", ReportTarget::Nowhere);
    return 1;
  }

  PlayStartupTune();
  BOOL dispatched = StartServiceCtrlDispatcherW(serviceTable);
  // The tune's calls must not replace the dispatcher's error before it is reported.
  DWORD dispatcherError = GetLastError();
  PlayShutdownTune();
  if (!dispatched) {
    SetLastError(dispatcherError);
    ReportError(u"StartServiceCtrlDispatcher", ReportTarget::Nowhere);
  }

  CloseHandle(stopEvent);
  return dispatched ? 0 : 1;
}

}  // namespace tesmar::service
