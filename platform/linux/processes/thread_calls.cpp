// The thread calls: affinity, priority level and ideal processor of one thread.
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/process.h"
#include "processes/ideal_processor_hints.h"
#include "processes/process_class.h"
#include "processes/processor_masks.h"
#include "processes/scheduling_map.h"
#include "processes/task_object.h"

namespace tesmar::platform {
namespace {

constexpr DWORD kNoIdealProcessor = 0xFFFFFFFFu;

// A value export's failure: the last error set, the failure value answered.
template <typename Value>
Value Failed(Value failure, DWORD error) {
  SetLastError(error);
  return failure;
}

NTSTATUS OpenThread(PHANDLE threadHandle, PCLIENT_ID clientId) {
  if (!threadHandle || !clientId) return STATUS_INVALID_PARAMETER;
  *threadHandle = nullptr;
  auto threadId = reinterpret_cast<uintptr_t>(clientId->UniqueThread);
  if (threadId == 0 || threadId > UINT32_MAX) return STATUS_INVALID_CID;
  HANDLE handle = nullptr;
  DWORD error = OpenTaskHandle(static_cast<uint32_t>(threadId), false, handle);
  if (error == ERROR_ACCESS_DENIED || error == ERROR_NOT_ENOUGH_MEMORY) {
    return NtStatusOfError(error);
  }
  if (error != ERROR_SUCCESS) return STATUS_INVALID_CID;
  *threadHandle = handle;
  return STATUS_SUCCESS;
}

NTSTATUS QueryBasicInformation(HANDLE threadHandle, PVOID information, PULONG returnLength) {
  if (!information) return STATUS_INVALID_PARAMETER;
  std::shared_ptr<TaskObject> task = HandleTable::Instance().Find<TaskObject>(threadHandle);
  if (!task) return STATUS_INVALID_HANDLE;
  if (task->isProcess) return STATUS_OBJECT_TYPE_MISMATCH;
  uint32_t mask = 0;
  DWORD error = task->source->GetAffinity(task->Id(), mask);
  if (error == ERROR_ACCESS_DENIED) return STATUS_ACCESS_DENIED;
  // Had the thread ended before or during the call, the mask may be a newcomer's.
  if (error != ERROR_SUCCESS || ReadWasOwn(*task) != ERROR_SUCCESS) {
    return STATUS_THREAD_IS_TERMINATING;
  }
  THREAD_BASIC_INFORMATION basic{};
  basic.ExitStatus = STATUS_PENDING;
  basic.UniqueThread = task->Id();
  basic.AffinityMask = mask;
  *static_cast<THREAD_BASIC_INFORMATION*>(information) = basic;
  if (returnLength) *returnLength = sizeof basic;
  return STATUS_SUCCESS;
}

DWORD_PTR SetMask(HANDLE thread, DWORD_PTR mask) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindLiveTask(thread, false, task)) return Failed<DWORD_PTR>(0, error);
  uint32_t system = AllProcessorsMask(task->source->ProcessorCount());
  if (mask == 0 || (mask & ~DWORD_PTR{system}) != 0) {
    return Failed<DWORD_PTR>(0, ERROR_INVALID_PARAMETER);
  }
  uint32_t previous = 0;
  DWORD error = task->source->GetAffinity(task->Id(), previous);
  // A mask that already holds is not set again (a set costs three reads).
  if (error == ERROR_SUCCESS && previous != mask) {
    error = task->source->SetAffinity(task->Id(), static_cast<uint32_t>(mask));
  }
  if (error != ERROR_SUCCESS) return Failed<DWORD_PTR>(0, error);
  return previous;
}

int ReadLevel(HANDLE thread) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindTask(thread, false, task)) {
    return Failed(THREAD_PRIORITY_ERROR_RETURN, error);
  }
  Scheduling scheduling;
  DWORD error = task->source->GetScheduling(task->Id(), scheduling);
  if (error == ERROR_SUCCESS) error = ReadWasOwn(*task);
  if (error != ERROR_SUCCESS) return Failed(THREAD_PRIORITY_ERROR_RETURN, error);
  return LevelOf(scheduling);
}

// Keeps the thread's class: the one its own scheduling tells, or its process's where the thread
// sits at a level every class shares.
DWORD SetLevel(HANDLE thread, int priority) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindLiveTask(thread, false, task)) return error;
  Scheduling current;
  if (DWORD error = task->source->GetScheduling(task->Id(), current)) return error;
  DWORD priorityClass = NORMAL_PRIORITY_CLASS;
  if (auto known = ClassOf(current)) {
    priorityClass = *known;
  } else {
    uint32_t processId = 0;
    if (DWORD error = task->source->ProcessOfThread(task->Id(), processId)) return error;
    if (DWORD error = ReadProcessClass(*task->source, processId, priorityClass)) return error;
  }
  if (!IsThreadPriority(priorityClass, priority)) return ERROR_INVALID_PARAMETER;
  Scheduling wanted =
      SchedulingFor(priorityClass, priority, current.policy == Scheduling::Policy::Batch);
  if (wanted == current) return ERROR_SUCCESS;
  return task->source->SetScheduling(task->Id(), wanted);
}

DWORD SetIdealProcessor(HANDLE thread, DWORD idealProcessor) {
  std::shared_ptr<TaskObject> task;
  if (DWORD error = FindTask(thread, false, task)) return Failed(kNoIdealProcessor, error);
  uint32_t threadId = task->Id();
  unsigned processors = task->source->ProcessorCount();
  // Refused before the task is looked at (an ended task is refused with the same error): the
  // merge passes "none chosen" for every thread a client left alone.
  if (idealProcessor != MAXIMUM_PROCESSORS && idealProcessor >= processors) {
    return Failed(kNoIdealProcessor, ERROR_INVALID_PARAMETER);
  }
  if (DWORD error = ReadWasOwn(*task)) return Failed(kNoIdealProcessor, error);
  uint64_t key = task->identity->Key();
  unsigned previous = 0;
  if (auto stored = StoredIdealProcessor(threadId, key)) {
    previous = *stored;
  } else if (DWORD error = task->source->LastProcessor(threadId, previous)) {
    return Failed(kNoIdealProcessor, error);
  }
  if (idealProcessor == MAXIMUM_PROCESSORS) return previous;

  uint32_t hardMask = 0;
  DWORD error = task->source->GetAffinity(threadId, hardMask);
  uint32_t bit = idealProcessor < 32 ? uint32_t{1} << idealProcessor : 0;
  if (error == ERROR_SUCCESS && (hardMask & bit) && hardMask != bit) {
    error = task->source->SetAffinity(threadId, bit);
    if (error == ERROR_SUCCESS) error = task->source->SetAffinity(threadId, hardMask);
  }
  if (error != ERROR_SUCCESS) return Failed(kNoIdealProcessor, error);
  StoreIdealProcessor(threadId, key, idealProcessor);
  return previous;
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           NtOpenThread
 *
 * Opens by thread id alone; the process half of the client id is not checked. As every Nt call,
 * it leaves the last error alone.
 */
extern "C" NTSTATUS NtOpenThread(PHANDLE threadHandle, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                 PCLIENT_ID clientId) noexcept {
  return NtStatusResult([&] { return OpenThread(threadHandle, clientId); });
}

/***********************************************************************
 *           NtQueryInformationThread
 *
 * ThreadBasicInformation only, in the 28-byte record of 32-bit Windows NT. Only the fields the
 * system reads are filled: the thread id and the affinity mask.
 */
extern "C" NTSTATUS NtQueryInformationThread(HANDLE threadHandle, ULONG informationClass,
                                             PVOID information, ULONG length,
                                             PULONG returnLength) noexcept {
  if (informationClass != ThreadBasicInformation) return STATUS_INVALID_INFO_CLASS;
  if (length != sizeof(THREAD_BASIC_INFORMATION)) return STATUS_INFO_LENGTH_MISMATCH;
  return NtStatusResult(
      [&] { return QueryBasicInformation(threadHandle, information, returnLength); });
}

/***********************************************************************
 *           SetThreadAffinityMask
 */
extern "C" DWORD_PTR SetThreadAffinityMask(HANDLE thread, DWORD_PTR mask) noexcept {
  return ValueResult<DWORD_PTR>(0, [&] { return SetMask(thread, mask); });
}

/***********************************************************************
 *           GetThreadPriority
 *
 * The level is read from the thread's nice value or real-time priority (scheduling_map.h).
 */
extern "C" int GetThreadPriority(HANDLE thread) noexcept {
  return ValueResult<int>(THREAD_PRIORITY_ERROR_RETURN, [&] { return ReadLevel(thread); });
}

/***********************************************************************
 *           SetThreadPriority
 *
 * Keeps the thread's class: the one its own scheduling tells, or its process's where the thread
 * sits at a level every class shares.
 */
extern "C" BOOL SetThreadPriority(HANDLE thread, int priority) noexcept {
  return BoolResult([&] { return SetLevel(thread, priority); });
}

/***********************************************************************
 *           SetThreadIdealProcessor
 *
 * Linux keeps no ideal processor. The layer remembers the hint and acts on it once: when the
 * processor is in the thread's mask, the thread is moved there (a one-processor mask, then its
 * own mask again), so the scheduler's cache affinity keeps it there. The previous value is the
 * last hint set, or the processor the thread ran on last. MAXIMUM_PROCESSORS only reports it.
 */
extern "C" DWORD SetThreadIdealProcessor(HANDLE thread, DWORD idealProcessor) noexcept {
  return ValueResult<DWORD>(kNoIdealProcessor,
                            [&] { return SetIdealProcessor(thread, idealProcessor); });
}
