#include "processes/task_object.h"

#include "platform/errors.h"
#include "processes/current_process_source.h"

namespace tesmar::platform {

DWORD FindTask(HANDLE handle, bool wantProcess, std::shared_ptr<TaskObject>& task) {
  task = HandleTable::Instance().Get<TaskObject>(handle);
  if (!task || task->isProcess != wantProcess) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

DWORD FindLiveTask(HANDLE handle, bool wantProcess, std::shared_ptr<TaskObject>& task) {
  DWORD error = FindTask(handle, wantProcess, task);
  return error == ERROR_SUCCESS ? ReadWasOwn(*task) : error;
}

DWORD ReadWasOwn(TaskObject& task) {
  return task.identity->StillSame() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

DWORD OpenTaskHandle(uint32_t id, bool wholeProcess, HANDLE& handle) {
  auto source = CurrentProcessSource();
  std::unique_ptr<TaskIdentity> identity;
  if (DWORD error = source->Open(id, wholeProcess, identity)) return error;
  handle = HandleTable::Instance().Insert(
      std::make_shared<TaskObject>(std::move(source), std::move(identity), wholeProcess));
  return ERROR_SUCCESS;
}

}  // namespace tesmar::platform
