// The process calls: a process's affinity is the union of its threads' masks and setting it sets
// every thread; its class is read from its threads' scheduling (scheduling_map.h).
#include <algorithm>
#include <vector>

#include "platform/errors.h"
#include "platform/process.h"
#include "processes/process_class.h"
#include "processes/processor_masks.h"
#include "processes/scheduling_map.h"
#include "processes/task_object.h"

namespace tesmar::platform {
namespace {

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

// Whether the thread is no longer one of the process's: ended, or its id taken by another.
bool ThreadLeft(TaskObject& process, uint32_t thread) {
  std::vector<uint32_t> threads;
  if (process.source->ListThreads(process.Id(), threads) != ERROR_SUCCESS) return true;
  return std::find(threads.begin(), threads.end(), thread) == threads.end();
}

// A walk that changes threads checks the process before each one, so that it never goes on
// into the threads of a newcomer; a walk that only reads checks once, after the walk, as every
// read does.
enum class Walk { Changing, Reading };

// Calls action(threadId) for every thread of the process. Threads that end on the way are
// passed over; any other failure stops the walk and is returned. ERROR_INVALID_PARAMETER is
// also what the kernel says of a mask it cannot take (outside the thread's cpuset, say): only a
// thread that has left counts as ended.
template <typename Action>
DWORD ForEachThread(TaskObject& process, Walk walk, Action action) {
  std::vector<uint32_t> threads;
  DWORD error = process.source->ListThreads(process.Id(), threads);
  if (error != ERROR_SUCCESS) return error;
  for (uint32_t thread : threads) {
    if (walk == Walk::Changing && !process.identity->StillSame()) return ERROR_INVALID_PARAMETER;
    error = action(thread);
    if (error == ERROR_INVALID_PARAMETER && ThreadLeft(process, thread)) continue;
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace tesmar::platform

using tesmar::platform::AllProcessorsMask;
using tesmar::platform::ForEachThread;
using tesmar::platform::LiveTask;
using tesmar::platform::Scheduling;
using tesmar::platform::Walk;

/***********************************************************************
 *           OpenProcess
 *
 * Access is checked when a call acts, as the kernel decides then; the handle remembers the
 * process it opened and fails once that process has exited.
 */
extern "C" HANDLE OpenProcess(DWORD, BOOL, DWORD processId) noexcept {
  return tesmar::platform::OpenTaskHandle(processId, true);
}

/***********************************************************************
 *           GetProcessAffinityMask
 *
 * The process mask is the union of its threads' masks; the system mask is every online
 * processor.
 */
extern "C" BOOL GetProcessAffinityMask(HANDLE process, PDWORD_PTR processMask,
                                       PDWORD_PTR systemMask) noexcept {
  if (!processMask || !systemMask) return tesmar::platform::Fail(ERROR_INVALID_PARAMETER);
  auto task = tesmar::platform::TaskToRead(process, true);
  if (!task) return FALSE;
  uint32_t unionMask = 0;
  DWORD error = ForEachThread(*task, Walk::Reading, [&](uint32_t thread) {
    uint32_t mask = 0;
    DWORD result = task->source->GetAffinity(thread, mask);
    if (result == ERROR_SUCCESS) unionMask |= mask;
    return result;
  });
  if (error == ERROR_SUCCESS && !task->identity->StillSame()) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) return tesmar::platform::Fail(error);
  *processMask = unionMask;
  *systemMask = AllProcessorsMask(task->source->ProcessorCount());
  return TRUE;
}

/***********************************************************************
 *           SetProcessAffinityMask
 *
 * Sets every thread's mask. A thread that refuses stops the walk; the threads before it keep
 * the new mask.
 */
extern "C" BOOL SetProcessAffinityMask(HANDLE process, DWORD_PTR mask) noexcept {
  auto task = LiveTask(process, true);
  if (!task) return FALSE;
  uint32_t system = AllProcessorsMask(task->source->ProcessorCount());
  if (mask == 0 || (mask & ~DWORD_PTR{system}) != 0) {
    return tesmar::platform::Fail(ERROR_INVALID_PARAMETER);
  }
  DWORD error = ForEachThread(*task, Walk::Changing, [&](uint32_t thread) {
    return task->source->SetAffinity(thread, static_cast<uint32_t>(mask));
  });
  if (error != ERROR_SUCCESS) return tesmar::platform::Fail(error);
  return TRUE;
}

/***********************************************************************
 *           GetPriorityClass
 */
extern "C" DWORD GetPriorityClass(HANDLE process) noexcept {
  auto task = tesmar::platform::TaskToRead(process, true);
  if (!task) return 0;
  DWORD priorityClass = 0;
  DWORD error = tesmar::platform::ReadProcessClass(*task->source, task->Id(), priorityClass);
  if (error == ERROR_SUCCESS && !task->identity->StillSame()) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  return priorityClass;
}

/***********************************************************************
 *           SetPriorityClass
 *
 * Moves every thread to the new class at the level it had in the old one.
 */
extern "C" BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) noexcept {
  if (!tesmar::platform::IsPriorityClass(priorityClass)) {
    return tesmar::platform::Fail(ERROR_INVALID_PARAMETER);
  }
  auto task = LiveTask(process, true);
  if (!task) return FALSE;
  DWORD error = ForEachThread(*task, Walk::Changing, [&](uint32_t thread) {
    Scheduling current;
    DWORD result = task->source->GetScheduling(thread, current);
    if (result != ERROR_SUCCESS) return result;
    Scheduling wanted =
        tesmar::platform::SchedulingFor(priorityClass, tesmar::platform::LevelOf(current),
                                        current.policy == Scheduling::Policy::Batch);
    if (wanted == current) return DWORD{ERROR_SUCCESS};
    return task->source->SetScheduling(thread, wanted);
  });
  if (error != ERROR_SUCCESS) return tesmar::platform::Fail(error);
  return TRUE;
}

/***********************************************************************
 *           GetProcessPriorityBoost
 *
 * Boost is disabled when the main thread runs under SCHED_BATCH. A real-time process reports
 * boost enabled: real-time threads are never boosted on either system.
 */
extern "C" BOOL GetProcessPriorityBoost(HANDLE process, PBOOL disabled) noexcept {
  if (!disabled) return tesmar::platform::Fail(ERROR_INVALID_PARAMETER);
  auto task = tesmar::platform::TaskToRead(process, true);
  if (!task) return FALSE;
  Scheduling main;
  DWORD error = task->source->GetScheduling(task->Id(), main);
  if (error == ERROR_SUCCESS && !task->identity->StillSame()) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) return tesmar::platform::Fail(error);
  *disabled = main.policy == Scheduling::Policy::Batch ? TRUE : FALSE;
  return TRUE;
}

/***********************************************************************
 *           SetProcessPriorityBoost
 *
 * Disabled: SCHED_BATCH for every thread that is not real-time; enabled: SCHED_OTHER. The nice
 * values, and with them class and levels, stay.
 */
extern "C" BOOL SetProcessPriorityBoost(HANDLE process, BOOL disable) noexcept {
  auto task = LiveTask(process, true);
  if (!task) return FALSE;
  DWORD error = ForEachThread(*task, Walk::Changing, [&](uint32_t thread) {
    Scheduling scheduling;
    DWORD result = task->source->GetScheduling(thread, scheduling);
    if (result != ERROR_SUCCESS || scheduling.IsRealtime()) return result;
    auto policy = disable ? Scheduling::Policy::Batch : Scheduling::Policy::Other;
    if (scheduling.policy == policy) return DWORD{ERROR_SUCCESS};
    scheduling.policy = policy;
    return task->source->SetScheduling(thread, scheduling);
  });
  if (error != ERROR_SUCCESS) return tesmar::platform::Fail(error);
  return TRUE;
}

/***********************************************************************
 *           TerminateProcess
 *
 * The exit code is not passed on: the process ends by SIGKILL.
 */
extern "C" BOOL TerminateProcess(HANDLE process, UINT) noexcept {
  auto task = LiveTask(process, true);
  if (!task) return FALSE;
  DWORD error = task->source->Terminate(task->Id());
  if (error != ERROR_SUCCESS) return tesmar::platform::Fail(error);
  return TRUE;
}
