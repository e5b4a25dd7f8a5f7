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

// The task behind a handle of the wanted kind whose task still lives, or null with the last
// error set: ERROR_INVALID_HANDLE for a handle that is not one, ERROR_INVALID_PARAMETER once the
// task has exited or its id was reused.
std::shared_ptr<TaskObject> LiveTask(HANDLE handle, bool wantProcess);

// The task behind a handle of the wanted kind, alive or not, for a read that checks the identity
// once it has read (had the task ended meanwhile, the value may be a newcomer's, and the read
// fails then): while the task lives its id names nobody else, so one look after the read
// answers for the whole read.
std::shared_ptr<TaskObject> TaskToRead(HANDLE handle, bool wantProcess);

// Whether what was read through the task is the task's own; sets ERROR_INVALID_PARAMETER if not.
bool ReadWasOwn(TaskObject& task);

// Opens a task on the current source and returns its handle, or null with the last error set.
HANDLE OpenTaskHandle(uint32_t id, bool wholeProcess);

}  // namespace tesmar::platform
