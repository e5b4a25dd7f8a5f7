#include "services/handles.h"

#include <map>
#include <mutex>

#include "platform/errors.h"
#include "services/definition.h"

namespace tesmar::platform {
namespace {

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kReadControl = 0x00020000u;

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
      desired & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | MAXIMUM_ALLOWED);
  if (desired & (kGenericAll | MAXIMUM_ALLOWED)) resolved |= all;
  if (desired & kGenericRead) resolved |= read;
  if (desired & kGenericWrite) resolved |= write;
  if (desired & kGenericExecute) resolved |= execute;
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
  constexpr DWORD kQueryConfig = 0x0001, kInterrogate = 0x0080, kEnumerateDependents = 0x0008,
                  kChangeConfig = 0x0002, kPauseContinue = 0x0040, kUserDefined = 0x0100;
  return ResolveGeneric(
      desired, SERVICE_ALL_ACCESS,
      kReadControl | kQueryConfig | SERVICE_QUERY_STATUS | kInterrogate | kEnumerateDependents,
      kReadControl | kChangeConfig,
      kReadControl | SERVICE_START | SERVICE_STOP | kPauseContinue | kUserDefined);
}

DWORD ResolveManagerAccess(DWORD desired) {
  constexpr DWORD kConnect = 0x0001, kCreateService = 0x0002, kEnumerate = 0x0004, kLock = 0x0008,
                  kQueryLockStatus = 0x0010, kModifyBootConfig = 0x0020;
  return ResolveGeneric(
      desired, SC_MANAGER_ALL_ACCESS, kReadControl | kEnumerate | kQueryLockStatus,
      kReadControl | kCreateService | kModifyBootConfig, kReadControl | kConnect | kLock);
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
