// ControlService: a control travels to the service process's dispatcher, which calls the
// service's control handler; the caller waits until the handler returned.
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/service.h"
#include "remote/remote_services.h"
#include "services/dispatcher_link.h"
#include "services/handles.h"
#include "services/systemctl.h"

namespace tesmar::platform {
namespace {

// Windows waits this long for a control handler to return.
constexpr int kHandlerTimeoutMilliseconds = 30000;

// The right a control needs, or 0 for a code that is no control.
DWORD RightFor(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    default:
      return control >= 128 && control <= 255 ? SERVICE_USER_DEFINED_CONTROL : 0;
  }
}

// systemd stops the service (SIGTERM, the stop control to its dispatcher) and returns once it
// has ended.
DWORD StopThroughSystemd(const ServiceObject& service, LPSERVICE_STATUS status) {
  SERVICE_STATUS before = ServiceStatus(service.name(), service.runtime());
  if (before.dwCurrentState == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
  if (before.dwCurrentState == SERVICE_RUNNING &&
      (before.dwControlsAccepted & SERVICE_ACCEPT_STOP) == 0) {
    return ERROR_INVALID_SERVICE_CONTROL;
  }
  DWORD result = StopUnit(service.name());
  if (status) *status = ServiceStatus(service.name(), service.runtime());
  return result;
}

DWORD Control(const ServiceObject& service, DWORD control, LPSERVICE_STATUS status) {
  DWORD right = RightFor(control);
  if (right == 0) return ERROR_INVALID_PARAMETER;
  if (!service.Allows(right)) return ERROR_ACCESS_DENIED;
  const ServiceRuntime& runtime = service.runtime();
  if (control == SERVICE_CONTROL_STOP && SystemdRuns()) return StopThroughSystemd(service, status);
  StatusRecord record = CurrentStatus(runtime, SERVICE_WIN32_OWN_PROCESS);
  DWORD result;
  if (record.status.dwCurrentState == SERVICE_STOPPED) {
    result = ERROR_SERVICE_NOT_ACTIVE;
  } else {
    ControlAnswer answer = SendControl(runtime.directory(), record.process.processId, control,
                                       kHandlerTimeoutMilliseconds);
    record = CurrentStatus(runtime, SERVICE_WIN32_OWN_PROCESS);
    if (answer.delivered) {
      result = answer.result;
    } else if (answer.refused) {
      return ERROR_ACCESS_DENIED;  // the instance's socket is not the caller's to use
    } else if (record.status.dwCurrentState == SERVICE_STOPPED) {
      result = ERROR_SERVICE_NOT_ACTIVE;  // it ended meanwhile
    } else if (record.status.dwCurrentState == SERVICE_START_PENDING) {
      result = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;  // its dispatcher is not connected yet
    } else {
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    }
  }
  // Windows fills in the status for these answers only.
  if (status) *status = record.status;
  return result;
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           ControlService
 *
 * Stop, pause, continue, interrogate and the user-defined codes 128 to 255 reach the service's
 * handler when its last report accepts them (ERROR_INVALID_SERVICE_CONTROL otherwise); in a
 * pending state only interrogate does (ERROR_SERVICE_CANNOT_ACCEPT_CTRL). Returns once the
 * handler returned, with the status as it is then. A null status is allowed and not filled.
 */
extern "C" BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) noexcept {
  return BoolResult([&]() -> DWORD {
    if (auto far = remote::FindRemoteService(service))
      return remote::Control(*far, control, status);
    auto object = HandleTable::Instance().Get<ServiceObject>(reinterpret_cast<HANDLE>(service));
    if (!object) return ERROR_INVALID_HANDLE;
    return Control(*object, control, status);
  });
}
