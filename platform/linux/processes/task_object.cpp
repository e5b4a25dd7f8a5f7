#include "processes/task_object.h"

#include "platform/errors.h"
#include "processes/current_process_source.h"

namespace tesmar::platform {

std::shared_ptr<TaskObject> TaskToRead(HANDLE handle, bool wantProcess) {
  auto task = HandleTable::Instance().Get<TaskObject>(handle);
  if (!task) return nullptr;
  if (task->isProcess != wantProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return task;
}

bool ReadWasOwn(TaskObject& task) {
  if (task.identity->StillSame()) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

std::shared_ptr<TaskObject> LiveTask(HANDLE handle, bool wantProcess) {
  auto task = TaskToRead(handle, wantProcess);
  if (task && !ReadWasOwn(*task)) return nullptr;
  return task;
}

HANDLE OpenTaskHandle(uint32_t id, bool wholeProcess) {
  try {
    auto source = CurrentProcessSource();
    std::unique_ptr<TaskIdentity> identity;
    DWORD error = source->Open(id, wholeProcess, identity);
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return nullptr;
    }
    return HandleTable::Instance().Insert(
        std::make_shared<TaskObject>(std::move(source), std::move(identity), wholeProcess));
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

}  // namespace tesmar::platform
