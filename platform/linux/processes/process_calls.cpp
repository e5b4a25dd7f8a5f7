// The process calls: a process's affinity is the union of its threads' masks and setting it sets
// every thread; its class is read from its threads' scheduling (scheduling_map.h).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "processes/process_class.h"
#include "processes/processor_masks.h"
#include "processes/scheduling_map.h"
#include "processes/task_object.h"

namespace tesmar::platform {
namespace {

// Whether the thread is no longer one of the process's: ended, or its id taken by another.
bool ThreadLeft(TaskObject& process, uint32_t thread) {
  std::vector<uint32_t> threads;
  if (process.source->ListThreads(process.Id(), threads) != ERROR_SUCCESS) return true;
  return std::find(threads.begin(), threads.end(), thread) == threads.end();
}

// Checks the process right before a walk changes one of its threads, so that the walk never
// goes on into the threads of a newcomer. A thread whose setting already holds is only read,
// and a read needs no check before it: the walk's closing check answers for every read.
class ChangeGuard {
 public:
  explicit ChangeGuard(TaskObject& process) : process_(process) {}
  bool AllowsChange() {
    processLeft_ = ReadWasOwn(process_) != ERROR_SUCCESS;
    return !processLeft_;
  }
  bool ProcessLeft() const { return processLeft_; }

 private:
  TaskObject& process_;
  bool processLeft_ = false;
};

// Calls action(threadId, guard) for every thread of the process; an action that changes the
// thread asks guard.AllowsChange() first and returns ERROR_INVALID_PARAMETER when refused.
// Threads that end on the way are passed over; any other failure stops the walk and is
// returned. ERROR_INVALID_PARAMETER is also what the kernel says of a mask it cannot take
// (outside the thread's cpuset, say): only a thread that has left counts as ended. A walk that
// ran through ends with a check that the process is still the one opened, so that a walk whose
// process ended on the way fails as one that found it ended before a thread.
template <typename Action>
DWORD ForEachThread(TaskObject& process, Action action) {
  std::vector<uint32_t> threads;
  DWORD error = process.source->ListThreads(process.Id(), threads);
  if (error != ERROR_SUCCESS) return error;
  ChangeGuard guard(process);
  for (uint32_t thread : threads) {
    error = action(thread, guard);
    if (guard.ProcessLeft()) return ERROR_INVALID_PARAMETER;
    if (error == ERROR_INVALID_PARAMETER && ThreadLeft(process, thread)) continue;
    if (error != ERROR_SUCCESS) return error;
  }
  return ReadWasOwn(process);
}

DWORD ReadProcessMasks(HANDLE process, PDWORD_PTR processMask, PDWORD_PTR systemMask) {
  if (!processMask || !systemMask) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindTask(process, true, task)) return error;
  uint32_t unionMask = 0;
  DWORD error = ForEachThread(*task, [&](uint32_t thread, ChangeGuard&) {
    uint32_t mask = 0;
    DWORD result = task->source->GetAffinity(thread, mask);
    if (result == ERROR_SUCCESS) unionMask |= mask;
    return result;
  });
  if (error != ERROR_SUCCESS) return error;
  *processMask = unionMask;
  *systemMask = AllProcessorsMask(task->source->ProcessorCount());
  return ERROR_SUCCESS;
}

DWORD SetProcessMask(HANDLE process, DWORD_PTR mask) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindLiveTask(process, true, task)) return error;
  uint32_t system = AllProcessorsMask(task->source->ProcessorCount());
  if (mask == 0 || (mask & ~DWORD_PTR{system}) != 0) return ERROR_INVALID_PARAMETER;
  return ForEachThread(*task, [&](uint32_t thread, ChangeGuard& guard) {
    // A thread that already holds the mask is not set again (a set costs three reads).
    uint32_t current = 0;
    if (task->source->GetAffinity(thread, current) == ERROR_SUCCESS && current == mask) {
      return DWORD{ERROR_SUCCESS};
    }
    if (!guard.AllowsChange()) return DWORD{ERROR_INVALID_PARAMETER};
    return task->source->SetAffinity(thread, static_cast<uint32_t>(mask));
  });
}

DWORD ReadClass(HANDLE process, DWORD& priorityClass) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindTask(process, true, task)) return error;
  DWORD error = ReadProcessClass(*task->source, task->Id(), priorityClass);
  return error == ERROR_SUCCESS ? ReadWasOwn(*task) : error;
}

// Moves every thread to the new class at the level it had in the old one.
DWORD SetClass(HANDLE process, DWORD priorityClass) {
  if (!IsPriorityClass(priorityClass)) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindLiveTask(process, true, task)) return error;
  return ForEachThread(*task, [&](uint32_t thread, ChangeGuard& guard) {
    Scheduling current;
    DWORD result = task->source->GetScheduling(thread, current);
    if (result != ERROR_SUCCESS) return result;
    Scheduling wanted =
        SchedulingFor(priorityClass, LevelOf(current), current.policy == Scheduling::Policy::Batch);
    if (wanted == current) return DWORD{ERROR_SUCCESS};
    if (!guard.AllowsChange()) return DWORD{ERROR_INVALID_PARAMETER};
    return task->source->SetScheduling(thread, wanted);
  });
}

DWORD ReadBoost(HANDLE process, PBOOL disabled) {
  if (!disabled) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindTask(process, true, task)) return error;
  Scheduling main;
  DWORD error = task->source->GetScheduling(task->Id(), main);
  if (error == ERROR_SUCCESS) error = ReadWasOwn(*task);
  if (error != ERROR_SUCCESS) return error;
  *disabled = main.policy == Scheduling::Policy::Batch ? TRUE : FALSE;
  return ERROR_SUCCESS;
}

DWORD SetBoost(HANDLE process, BOOL disable) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindLiveTask(process, true, task)) return error;
  return ForEachThread(*task, [&](uint32_t thread, ChangeGuard& guard) {
    Scheduling scheduling;
    DWORD result = task->source->GetScheduling(thread, scheduling);
    if (result != ERROR_SUCCESS || scheduling.IsRealtime()) return result;
    auto policy = disable ? Scheduling::Policy::Batch : Scheduling::Policy::Other;
    if (scheduling.policy == policy) return DWORD{ERROR_SUCCESS};
    if (!guard.AllowsChange()) return DWORD{ERROR_INVALID_PARAMETER};
    scheduling.policy = policy;
    return task->source->SetScheduling(thread, scheduling);
  });
}

DWORD Terminate(HANDLE process) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindLiveTask(process, true, task)) return error;
  return task->source->TerminateTask(*task->identity);
}

DWORD ReadProcessName(HANDLE process, std::u16string& name) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindTask(process, true, task)) return error;
  return task->source->ProcessName(*task->identity, name);
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           OpenProcess
 *
 * Access is checked when a call acts, as the kernel decides then, except PROCESS_TERMINATE:
 * asked for (PROCESS_ALL_ACCESS too), the open fails with ERROR_ACCESS_DENIED unless this user
 * may signal the process (signal 0), as Windows refuses a handle to end another user's process.
 * The handle remembers the process it opened and fails once that process has exited.
 */
extern "C" HANDLE OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) noexcept {
  return ValueResult<HANDLE>(nullptr, [&]() -> HANDLE {
    HANDLE handle = nullptr;
    DWORD error = OpenTaskHandle(processId, true, handle);
    if (error == ERROR_SUCCESS && (desiredAccess & PROCESS_TERMINATE)) {
      std::shared_ptr<TaskObject> task;
      error = FindTask(handle, true, task);
      if (error == ERROR_SUCCESS) error = task->source->MayTerminate(*task->identity);
      if (error != ERROR_SUCCESS) CloseHandle(handle);
    }
    if (error == ERROR_SUCCESS) return handle;
    SetLastError(error);
    return nullptr;
  });
}

/***********************************************************************
 *           GetProcessAffinityMask
 *
 * The process mask is the union of its threads' masks; the system mask is every online
 * processor.
 */
extern "C" BOOL GetProcessAffinityMask(HANDLE process, PDWORD_PTR processMask,
                                       PDWORD_PTR systemMask) noexcept {
  return BoolResult([&] { return ReadProcessMasks(process, processMask, systemMask); });
}

/***********************************************************************
 *           SetProcessAffinityMask
 *
 * Sets every thread's mask. A thread that refuses stops the walk; the threads before it keep
 * the new mask.
 */
extern "C" BOOL SetProcessAffinityMask(HANDLE process, DWORD_PTR mask) noexcept {
  return BoolResult([&] { return SetProcessMask(process, mask); });
}

/***********************************************************************
 *           GetPriorityClass
 */
extern "C" DWORD GetPriorityClass(HANDLE process) noexcept {
  return ValueResult<DWORD>(0, [&]() -> DWORD {
    DWORD priorityClass = 0;
    DWORD error = ReadClass(process, priorityClass);
    if (error == ERROR_SUCCESS) return priorityClass;
    SetLastError(error);
    return 0;
  });
}

/***********************************************************************
 *           SetPriorityClass
 *
 * Moves every thread to the new class at the level it had in the old one.
 */
extern "C" BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) noexcept {
  return BoolResult([&] { return SetClass(process, priorityClass); });
}

/***********************************************************************
 *           GetProcessPriorityBoost
 *
 * Boost is disabled when the main thread runs under SCHED_BATCH. A real-time process reports
 * boost enabled: real-time threads are never boosted on either system.
 */
extern "C" BOOL GetProcessPriorityBoost(HANDLE process, PBOOL disabled) noexcept {
  return BoolResult([&] { return ReadBoost(process, disabled); });
}

/***********************************************************************
 *           SetProcessPriorityBoost
 *
 * Disabled: SCHED_BATCH for every thread that is not real-time; enabled: SCHED_OTHER. The nice
 * values, and with them class and levels, stay.
 */
extern "C" BOOL SetProcessPriorityBoost(HANDLE process, BOOL disable) noexcept {
  return BoolResult([&] { return SetBoost(process, disable); });
}

/***********************************************************************
 *           TerminateProcess
 *
 * The exit code is not passed on: the process ends by SIGKILL, sent through the handle's pidfd
 * where it holds one, so that a process that took the id meanwhile is never reached.
 */
extern "C" BOOL TerminateProcess(HANDLE process, UINT) noexcept {
  return BoolResult([&] { return Terminate(process); });
}

/***********************************************************************
 *           GetModuleBaseNameW
 *
 * The process's name as the process list gives it (its executable's base name, or its command
 * name); module must be null (the executable). Returns the units copied, cut to size - 1 and
 * terminated, or 0 on failure.
 */
extern "C" DWORD GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName,
                                    DWORD size) noexcept {
  return ValueResult<DWORD>(0, [&]() -> DWORD {
    std::u16string name;
    DWORD error =
        module || !baseName || size == 0 ? ERROR_INVALID_PARAMETER : ReadProcessName(process, name);
    if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return 0;
    }
    size_t copied = std::min<size_t>(name.size(), size - 1);
    std::copy_n(name.begin(), copied, baseName);
    baseName[copied] = u'\0';
    return static_cast<DWORD>(copied);
  });
}
