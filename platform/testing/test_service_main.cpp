// tesmar_test_service: a small service that behaves as a real one does, for tests of the
// service manager and of its callers. Registered with the manager, it reports start pending,
// running, and on the stop control stop pending and stopped. Each control its handler receives
// is appended as "<process id> <control>" to $TESMAR_ROOT/test-service-controls.log. It beeps
// 880 Hz before and 660 Hz after its dispatcher runs. The arguments its main routine receives
// are appended as one line to $TESMAR_ROOT/test-service-arguments.log.
//
// Options (in the service's ImagePath):
//   --report-pause       pause reports SERVICE_PAUSED and continue SERVICE_RUNNING; without it
//                        the handler receives them and reports nothing
//   --accept-stop-only   the running report accepts stop alone, so pause is refused
//   --slow-start MS      stays start pending for MS milliseconds after its first report (at
//                        checkpoint 0, as the manager's own record, with a 30 s hint)
// Started outside the manager, it prints "dispatcher failed <error>" and exits with status 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/errors.h"
#include "platform/service.h"
#include "platform/threading.h"

namespace {

constexpr DWORD kAcceptPauseContinue = 0x2;

bool reportPause = false;
bool acceptStopOnly = false;
DWORD slowStart = 0;
HANDLE stopEvent = nullptr;
SERVICE_STATUS_HANDLE statusHandle = nullptr;

void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  if (state != SERVICE_START_PENDING) {
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | (acceptStopOnly ? 0 : kAcceptPauseContinue);
  }
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = waitHint;
  SetServiceStatus(statusHandle, &status);
}

std::ofstream MachineRootLog(const char* name) {
  const char* root = std::getenv("TESMAR_ROOT");
  return std::ofstream(std::string(root ? root : ".") + "/" + name, std::ios::app);
}

void RecordControl(DWORD control) {
  MachineRootLog("test-service-controls.log") << getpid() << ' ' << control << std::endl;
}

void RecordArguments(DWORD argc, LPWSTR* argv) {
  std::string line;
  for (DWORD i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    for (const WCHAR* c = argv[i]; *c; ++c) line += static_cast<char>(*c);  // ASCII in tests
  }
  MachineRootLog("test-service-arguments.log") << line << std::endl;
}

void Handler(DWORD control) {
  RecordControl(control);
  switch (control) {
    case SERVICE_CONTROL_STOP:
      Report(SERVICE_STOP_PENDING, 1, 5000);
      SetEvent(stopEvent);
      break;
    case SERVICE_CONTROL_PAUSE:
      if (reportPause) Report(SERVICE_PAUSED, 0, 0);
      break;
    case SERVICE_CONTROL_CONTINUE:
      if (reportPause) Report(SERVICE_RUNNING, 0, 0);
      break;
    default:
      break;
  }
}

void ServiceMain(DWORD argc, LPWSTR* argv) {
  RecordArguments(argc, argv);
  statusHandle = RegisterServiceCtrlHandlerW(u"TestService", Handler);
  if (!statusHandle) return;
  if (slowStart) {
    Report(SERVICE_START_PENDING, 0, 30000);
    Sleep(slowStart);
  } else {
    Report(SERVICE_START_PENDING, 0, 5000);
  }
  Report(SERVICE_RUNNING, 0, 0);
  WaitForSingleObject(stopEvent, INFINITE);
  Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--report-pause") == 0) reportPause = true;
    if (std::strcmp(argv[i], "--accept-stop-only") == 0) acceptStopOnly = true;
    if (std::strcmp(argv[i], "--slow-start") == 0 && i + 1 < argc) {
      slowStart = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    }
  }
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  static WCHAR name[] = u"TestService";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  Beep(880, 5);
  BOOL dispatched = StartServiceCtrlDispatcherW(table);
  DWORD error = GetLastError();
  Beep(660, 5);
  if (!dispatched) {
    std::printf("dispatcher failed %u\n", error);
    return 1;
  }
  return 0;
}
