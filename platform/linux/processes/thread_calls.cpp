// The thread calls: affinity, priority level and ideal processor of one thread.
#include "platform/errors.h"
#include "platform/process.h"
#include "processes/ideal_processor_hints.h"
#include "processes/process_class.h"
#include "processes/processor_masks.h"
#include "processes/scheduling_map.h"
#include "processes/task_object.h"

#define STATUS_PENDING ((NTSTATUS)0x00000103)
#define STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024)
#define STATUS_THREAD_IS_TERMINATING ((NTSTATUS)0xC000004B)

using tesmar::platform::AllProcessorsMask;
using tesmar::platform::HandleTable;
using tesmar::platform::LiveTask;
using tesmar::platform::Scheduling;
using tesmar::platform::TaskObject;

/***********************************************************************
 *           NtOpenThread
 *
 * Opens by thread id alone; the process half of the client id is not checked.
 */
extern "C" NTSTATUS NtOpenThread(PHANDLE threadHandle, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                 PCLIENT_ID clientId) noexcept {
  if (!threadHandle || !clientId) return STATUS_INVALID_PARAMETER;
  *threadHandle = nullptr;
  auto threadId = reinterpret_cast<uintptr_t>(clientId->UniqueThread);
  if (threadId == 0 || threadId > UINT32_MAX) return STATUS_INVALID_CID;
  DWORD saved = GetLastError();  // Nt calls leave the last error alone
  HANDLE handle = tesmar::platform::OpenTaskHandle(static_cast<uint32_t>(threadId), false);
  DWORD error = GetLastError();
  SetLastError(saved);
  if (!handle) {
    if (error == ERROR_ACCESS_DENIED) return STATUS_ACCESS_DENIED;
    if (error == ERROR_NOT_ENOUGH_MEMORY) return STATUS_NO_MEMORY;
    return STATUS_INVALID_CID;
  }
  *threadHandle = handle;
  return STATUS_SUCCESS;
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
  if (!information) return STATUS_INVALID_PARAMETER;
  DWORD saved = GetLastError();  // Nt calls leave the last error alone; the lookup sets it
  auto task = HandleTable::Instance().Get<TaskObject>(threadHandle);
  SetLastError(saved);
  if (!task) return STATUS_INVALID_HANDLE;
  if (task->isProcess) return STATUS_OBJECT_TYPE_MISMATCH;
  uint32_t mask = 0;
  DWORD error = task->source->GetAffinity(task->Id(), mask);
  if (error == ERROR_ACCESS_DENIED) return STATUS_ACCESS_DENIED;
  // Had the thread ended before or during the call, the mask may be a newcomer's.
  if (error != ERROR_SUCCESS || !task->identity->StillSame()) return STATUS_THREAD_IS_TERMINATING;
  THREAD_BASIC_INFORMATION basic{};
  basic.ExitStatus = STATUS_PENDING;
  basic.UniqueThread = task->Id();
  basic.AffinityMask = mask;
  *static_cast<THREAD_BASIC_INFORMATION*>(information) = basic;
  if (returnLength) *returnLength = sizeof basic;
  return STATUS_SUCCESS;
}

/***********************************************************************
 *           SetThreadAffinityMask
 */
extern "C" DWORD_PTR SetThreadAffinityMask(HANDLE thread, DWORD_PTR mask) noexcept {
  auto task = LiveTask(thread, false);
  if (!task) return 0;
  uint32_t system = AllProcessorsMask(task->source->ProcessorCount());
  if (mask == 0 || (mask & ~DWORD_PTR{system}) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  uint32_t previous = 0;
  DWORD error = task->source->GetAffinity(task->Id(), previous);
  if (error == ERROR_SUCCESS)
    error = task->source->SetAffinity(task->Id(), static_cast<uint32_t>(mask));
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  return previous;
}

/***********************************************************************
 *           GetThreadPriority
 *
 * The level is read from the thread's nice value or real-time priority (scheduling_map.h).
 */
extern "C" int GetThreadPriority(HANDLE thread) noexcept {
  auto task = tesmar::platform::TaskToRead(thread, false);
  if (!task) return THREAD_PRIORITY_ERROR_RETURN;
  Scheduling scheduling;
  DWORD error = task->source->GetScheduling(task->Id(), scheduling);
  if (error == ERROR_SUCCESS && !task->identity->StillSame()) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return THREAD_PRIORITY_ERROR_RETURN;
  }
  return tesmar::platform::LevelOf(scheduling);
}

/***********************************************************************
 *           SetThreadPriority
 *
 * Keeps the thread's class: the one its own scheduling tells, or its process's where the thread
 * sits at a level every class shares.
 */
extern "C" BOOL SetThreadPriority(HANDLE thread, int priority) noexcept {
  auto task = LiveTask(thread, false);
  if (!task) return FALSE;
  Scheduling current;
  DWORD error = task->source->GetScheduling(task->Id(), current);
  DWORD priorityClass = NORMAL_PRIORITY_CLASS;
  if (error == ERROR_SUCCESS) {
    if (auto known = tesmar::platform::ClassOf(current)) {
      priorityClass = *known;
    } else {
      uint32_t processId = 0;
      error = task->source->ProcessOfThread(task->Id(), processId);
      if (error == ERROR_SUCCESS) {
        error = tesmar::platform::ReadProcessClass(*task->source, processId, priorityClass);
      }
    }
  }
  if (error == ERROR_SUCCESS && !tesmar::platform::IsThreadPriority(priorityClass, priority)) {
    error = ERROR_INVALID_PARAMETER;
  }
  if (error == ERROR_SUCCESS) {
    Scheduling wanted = tesmar::platform::SchedulingFor(
        priorityClass, priority, current.policy == Scheduling::Policy::Batch);
    if (!(wanted == current)) error = task->source->SetScheduling(task->Id(), wanted);
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
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
  constexpr DWORD kFailed = 0xFFFFFFFFu;
  auto task = LiveTask(thread, false);
  if (!task) return kFailed;
  uint32_t threadId = task->Id();
  unsigned processors = task->source->ProcessorCount();
  if (idealProcessor != MAXIMUM_PROCESSORS && idealProcessor >= processors) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFailed;
  }
  uint64_t key = task->identity->Key();
  unsigned previous = 0;
  if (auto stored = tesmar::platform::StoredIdealProcessor(threadId, key)) {
    previous = *stored;
  } else if (DWORD error = task->source->LastProcessor(threadId, previous);
             error != ERROR_SUCCESS) {
    SetLastError(error);
    return kFailed;
  }
  if (idealProcessor == MAXIMUM_PROCESSORS) return previous;

  uint32_t hardMask = 0;
  DWORD error = task->source->GetAffinity(threadId, hardMask);
  uint32_t bit = idealProcessor < 32 ? uint32_t{1} << idealProcessor : 0;
  if (error == ERROR_SUCCESS && (hardMask & bit) && hardMask != bit) {
    error = task->source->SetAffinity(threadId, bit);
    if (error == ERROR_SUCCESS) error = task->source->SetAffinity(threadId, hardMask);
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return kFailed;
  }
  tesmar::platform::StoreIdealProcessor(threadId, key, idealProcessor);
  return previous;
}
