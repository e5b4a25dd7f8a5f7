// The runtime records of one service, in $TESMAR_ROOT/services/<name>/: the current status and
// the process it belongs to (replaced atomically), the report history (appended), the start
// arguments, the processes holding handles to the service, the lock that orders state changes
// between processes, and the control sockets of running instances.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/service.h"
#include "platform/service_history.h"
#include "processes/process_identity.h"

namespace tesmar::platform {

struct StatusRecord {
  SERVICE_STATUS status{};
  ProcessIdentity process;
};

// Text forms of the records, separate from the file access so that tests can feed them.
std::string FormatStatusRecord(const StatusRecord& record);
std::optional<StatusRecord> ParseStatusRecord(std::string_view text);

class ServiceRuntime {
 public:
  explicit ServiceRuntime(std::u16string_view serviceName);

  const std::string& directory() const { return directory_; }
  // Creates the folder (and the machine root) when missing; a Win32 error or 0.
  DWORD EnsureDirectory() const;

  std::optional<StatusRecord> ReadStatus() const;
  DWORD WriteStatus(const StatusRecord& record) const;
  void AppendHistory(int processId, const SERVICE_STATUS& status) const;
  std::vector<ReportedStatus> ReadHistory() const;

  DWORD WriteArguments(const std::vector<std::string>& arguments) const;
  std::vector<std::string> ReadArguments() const;

  // A process holding at least one handle to the service has a file here.
  void AddHandleHolder(const ProcessIdentity& process) const;
  void RemoveHandleHolder(const ProcessIdentity& process) const;
  // Live holders other than the given process; files of ended processes are cleared.
  bool HasOtherHandleHolders(const ProcessIdentity& self) const;

  // The control socket of the instance running as the given process, relative to directory().
  static std::string ControlSocketName(int processId);

  // Removes what belongs to a defined service (status, arguments, handle files); the history
  // and the lock stay.
  void RemoveServiceRecords() const;

 private:
  std::string directory_;
};

// Holds the service's lock file (flock) for as long as it lives. State changes that read and
// then write the records (start, the stopped record of a vanished process, deletion) take it.
class ServiceLock {
 public:
  explicit ServiceLock(const ServiceRuntime& runtime);
  ~ServiceLock();
  ServiceLock(const ServiceLock&) = delete;
  ServiceLock& operator=(const ServiceLock&) = delete;

 private:
  int file_ = -1;
};

// Folds a service name the way the service database compares names (without regard to case,
// beyond ASCII too), as the name of the service's runtime folder.
std::string FoldedServiceName(std::u16string_view serviceName);

}  // namespace tesmar::platform
