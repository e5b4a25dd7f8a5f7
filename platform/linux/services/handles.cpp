#include "services/handles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "base/machine_root.h"
#include "platform/errors.h"
#include "registry/database.h"
#include "services/definition.h"
#include "services/systemctl.h"

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

// The generic rights of an object kind, and what anyone may have of it.
struct RightsOf {
  DWORD all;
  DWORD read;
  DWORD write;
  DWORD execute;
  DWORD forEveryone;
};

constexpr RightsOf kServiceRights{SERVICE_ALL_ACCESS,
                                  READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                      SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS,
                                  READ_CONTROL | SERVICE_CHANGE_CONFIG,
                                  READ_CONTROL | SERVICE_START | SERVICE_STOP |
                                      SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL,
                                  READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                      SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS |
                                      SERVICE_USER_DEFINED_CONTROL};

constexpr RightsOf kManagerRights{
    SC_MANAGER_ALL_ACCESS,
    READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
    READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
    READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK,
    READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE |
        SC_MANAGER_QUERY_LOCK_STATUS};

bool Writable(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

bool MayAdministerServices() {
  std::string root = MachineRoot();
  DWORD error = ERROR_SUCCESS;
  auto* database = registry::RegistryDatabase::ForRoot(
      root, error, registry::RegistryDatabase::Opening::kExistingOnly);
  if (database && !database->FilesWritable()) return false;
  // A machine without a database yet is its root's: whoever may make one there.
  if (!database && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
  return Writable(root) && Writable(root + "/services");
}

DWORD Grant(DWORD desired, const RightsOf& rights, DWORD& granted) {
  DWORD wanted =
      desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (desired & GENERIC_ALL) wanted |= rights.all;
  if (desired & GENERIC_READ) wanted |= rights.read;
  if (desired & GENERIC_WRITE) wanted |= rights.write;
  if (desired & GENERIC_EXECUTE) wanted |= rights.execute;
  DWORD allowed = MayAdministerServices() ? rights.all : rights.forEveryone;
  if (desired & MAXIMUM_ALLOWED) wanted |= allowed;
  if ((wanted & ~allowed) != 0) return ERROR_ACCESS_DENIED;
  granted = wanted;
  return ERROR_SUCCESS;
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

DWORD GrantServiceAccess(DWORD desired, DWORD& granted) {
  return Grant(desired, kServiceRights, granted);
}

DWORD GrantManagerAccess(DWORD desired, DWORD& granted) {
  return Grant(desired, kManagerRights, granted);
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

SERVICE_STATUS ServiceStatus(std::u16string_view name, const ServiceRuntime& runtime) {
  if (SystemdRuns()) {
    auto reported = runtime.ReadStatus();
    StatusRecord current = CurrentStatus(runtime, SERVICE_WIN32_OWN_PROCESS);
    if (auto unit = QueryUnit(name)) return StatusFromUnit(*unit, reported, current);
    return current.status;
  }
  return CurrentStatus(runtime, SERVICE_WIN32_OWN_PROCESS).status;
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
