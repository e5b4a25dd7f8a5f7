#include "services/handles.h"

#include <map>
#include <mutex>

#include "platform/errors.h"
#include "services/definition.h"

namespace tesmar::platform {
namespace {

// Open service handles of this process, per folded service name.
class HandleHolders {
 public:
  static HandleHolders& Instance() {
    static HandleHolders holders;
    return holders;
  }
  void Add(const ServiceRuntime& runtime) {
    std::lock_guard lock(mutex_);
    if (counts_[runtime.directory()]++ == 0) runtime.AddHandleHolder(CurrentProcessIdentity());
  }
  // True when this was the process's last handle to the service.
  bool Remove(const ServiceRuntime& runtime) {
    std::lock_guard lock(mutex_);
    auto found = counts_.find(runtime.directory());
    if (found == counts_.end()) return false;
    if (--found->second > 0) return false;
    counts_.erase(found);
    runtime.RemoveHandleHolder(CurrentProcessIdentity());
    return true;
  }
  bool Holds(const ServiceRuntime& runtime) {
    std::lock_guard lock(mutex_);
    return counts_.count(runtime.directory()) != 0;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, int> counts_;
};

DWORD ResolveGeneric(DWORD desired, DWORD all, DWORD read, DWORD write, DWORD execute) {
  DWORD resolved =
      desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) resolved |= all;
  if (desired & GENERIC_READ) resolved |= read;
  if (desired & GENERIC_WRITE) resolved |= write;
  if (desired & GENERIC_EXECUTE) resolved |= execute;
  return resolved;
}

}  // namespace

ServiceObject::ServiceObject(std::u16string_view name, DWORD access)
    : name_(name), access_(access), runtime_(name) {
  HandleHolders::Instance().Add(runtime_);
}

ServiceObject::~ServiceObject() {
  try {
    if (HandleHolders::Instance().Remove(runtime_)) DeleteServiceIfDue(name_);
  } catch (...) {
    // A handle closes whatever happens; a deletion left pending is done by the next look.
  }
}

DWORD ResolveServiceAccess(DWORD desired) {
  return ResolveGeneric(desired, SERVICE_ALL_ACCESS,
                        READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                            SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS,
                        READ_CONTROL | SERVICE_CHANGE_CONFIG,
                        READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                            SERVICE_USER_DEFINED_CONTROL);
}

DWORD ResolveManagerAccess(DWORD desired) {
  return ResolveGeneric(desired, SC_MANAGER_ALL_ACCESS,
                        READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
                        READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
                        READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK);
}

StatusRecord CurrentStatusLocked(const ServiceRuntime& runtime, DWORD serviceType) {
  auto record = runtime.ReadStatus();
  if (!record) {
    StatusRecord neverStarted;
    neverStarted.status = {serviceType, SERVICE_STOPPED, 0, ERROR_SERVICE_NEVER_STARTED, 0, 0, 0};
    return neverStarted;
  }
  if (record->status.dwCurrentState != SERVICE_STOPPED && !IsAlive(record->process)) {
    // The process ended without reporting stopped: it crashed or was killed.
    record->status = {
        record->status.dwServiceType, SERVICE_STOPPED, 0, ERROR_PROCESS_ABORTED, 0, 0, 0};
    runtime.WriteStatus(*record);
  }
  return *record;
}

StatusRecord CurrentStatus(const ServiceRuntime& runtime, DWORD serviceType) {
  auto record = runtime.ReadStatus();
  if (record && record->status.dwCurrentState != SERVICE_STOPPED && !IsAlive(record->process)) {
    ServiceLock lock(runtime);
    return CurrentStatusLocked(runtime, serviceType);
  }
  return CurrentStatusLocked(runtime, serviceType);
}

bool DeleteServiceIfDue(std::u16string_view name) {
  ServiceRuntime runtime(name);
  ServiceLock lock(runtime);
  DWORD error = ERROR_SUCCESS;
  auto definition = ReadServiceDefinition(name, &error);
  if (!definition) return error == ERROR_SERVICE_DOES_NOT_EXIST;
  if (!definition->markedForDelete) return false;
  if (CurrentStatusLocked(runtime, definition->type).status.dwCurrentState != SERVICE_STOPPED) {
    return false;
  }
  if (HandleHolders::Instance().Holds(runtime)) return false;
  if (runtime.HasOtherHandleHolders(CurrentProcessIdentity())) return false;
  if (RemoveServiceDefinition(name) != ERROR_SUCCESS) return false;
  runtime.RemoveServiceRecords();
  return true;
}

}  // namespace tesmar::platform
