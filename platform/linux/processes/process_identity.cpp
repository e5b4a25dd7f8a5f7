#include "processes/process_identity.h"

#include <unistd.h>

#include "processes/task_start_time.h"

namespace tesmar::platform {

ProcessIdentity IdentityOfProcess(int processId) {
  if (processId <= 0) return {};
  auto startTime = StartTimeOfTask(ProcRootDescriptor(), static_cast<uint32_t>(processId), false);
  if (!startTime) return {};
  return {processId, *startTime};
}

ProcessIdentity CurrentProcessIdentity() {
  return IdentityOfProcess(static_cast<int>(getpid()));
}

bool IsAlive(const ProcessIdentity& process) {
  return process.processId > 0 && IdentityOfProcess(process.processId) == process;
}

}  // namespace tesmar::platform
