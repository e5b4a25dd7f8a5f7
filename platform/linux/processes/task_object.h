// The kernel object behind a process or thread handle: the identity of what it opened, and the
// source it was opened on (a handle keeps acting on that source even if a test swaps it).
#pragma once

#include <memory>
#include <optional>

#include "base/handle_table.h"
#include "platform/process_source.h"

namespace tesmar::platform {

class TaskObject : public KernelObject {
 public:
  TaskObject(std::shared_ptr<ProcessSource> source, std::unique_ptr<TaskIdentity> identity,
             bool isProcess)
      : source(std::move(source)), identity(std::move(identity)), isProcess(isProcess) {}

  uint32_t Id() const { return identity->Id(); }

  std::shared_ptr<ProcessSource> source;
  std::unique_ptr<TaskIdentity> identity;
  bool isProcess;
};

// The task behind a handle of the wanted kind, alive or not, for a read that checks the identity
// once it has read (had the task ended meanwhile, the value may be a newcomer's, and the read
// fails then): while the task lives its id names nobody else, so one look after the read
// answers for the whole read. ERROR_INVALID_HANDLE for a handle that is not one.
DWORD FindTask(HANDLE handle, bool wantProcess, std::shared_ptr<TaskObject>& task);

// The same for a change, which must not touch a newcomer: also ERROR_INVALID_PARAMETER once the
// task has exited or its id was reused.
DWORD FindLiveTask(HANDLE handle, bool wantProcess, std::shared_ptr<TaskObject>& task);

// After a read through the task: ERROR_INVALID_PARAMETER when what was read may not be the
// task's own (it has ended meanwhile).
DWORD ReadWasOwn(TaskObject& task);

// Opens a task on the current source into a new handle.
DWORD OpenTaskHandle(uint32_t id, bool wholeProcess, HANDLE& handle);

}  // namespace tesmar::platform
