// The handles of the service manager: one for the manager of this machine, one per opened
// service. Each process that holds a service handle is recorded beside the service, so that a
// service marked for deletion goes only when no process holds it any more and it has stopped.
#pragma once

#include <string>
#include <string_view>

#include "base/handle_table.h"
#include "platform/service.h"
#include "services/runtime.h"

namespace tesmar::platform {

class ManagerObject : public KernelObject {
 public:
  explicit ManagerObject(DWORD access) : access_(access) {}
  DWORD access() const { return access_; }

 private:
  DWORD access_;
};

class ServiceObject : public KernelObject {
 public:
  ServiceObject(std::u16string_view name, DWORD access);
  ~ServiceObject() override;

  const std::u16string& name() const { return name_; }
  const ServiceRuntime& runtime() const { return runtime_; }
  bool Allows(DWORD right) const { return (access_ & right) == right; }

 private:
  std::u16string name_;
  DWORD access_;
  ServiceRuntime runtime_;
};

// The rights a handle opened with desired gets, as Windows grants them: whoever may administer
// the machine's services gets every right, anyone else only those that look (connecting,
// enumerating and querying, interrogating and user-defined controls of a service).
// MAXIMUM_ALLOWED gives what the caller may have; ERROR_ACCESS_DENIED when a right asked for
// cannot be given. Who may administer is who may write the machine's registry database (where
// the definitions live) and its service records.
DWORD GrantServiceAccess(DWORD desired, DWORD& granted);
DWORD GrantManagerAccess(DWORD desired, DWORD& granted);

// The service's status: its record, where the recorded process still runs; a vanished process is
// recorded as stopped (ERROR_PROCESS_ABORTED), a service never started reads as stopped
// (ERROR_SERVICE_NEVER_STARTED). The Locked form is for a caller already holding ServiceLock.
StatusRecord CurrentStatus(const ServiceRuntime& runtime, DWORD serviceType);
StatusRecord CurrentStatusLocked(const ServiceRuntime& runtime, DWORD serviceType);

// The status QueryServiceStatus answers: CurrentStatus, or where systemd runs the service, what
// systemd says of it (services/systemd_unit.h).
SERVICE_STATUS ServiceStatus(std::u16string_view name, const ServiceRuntime& runtime);

// Removes the definition and the records of a service marked for deletion once it is stopped
// and no process holds a handle to it. True when the service is gone.
bool DeleteServiceIfDue(std::u16string_view name);

}  // namespace tesmar::platform
