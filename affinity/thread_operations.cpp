// The live settings of the threads behind an entry, addressed by their position in the entry's
// thread list. Each call acts through the thread's handle, opened by id or kept from the calling
// thread's previous call on it (entry_handles.h). A thread that cannot be opened gets no handling
// of its own: the call goes on with no handle and the platform call fails, so the result is that
// call's failure value.
#include <cstddef>

#include "Cpumask.h"
#include "entry_handles.h"
#include "platform/owned_handle.h"
#include "platform/process.h"
#include "process_entry.h"

namespace tesmar::affinity {

static_assert(sizeof(THREAD_BASIC_INFORMATION) == 28);
static_assert(offsetof(THREAD_BASIC_INFORMATION, AffinityMask) == 16);

}  // namespace tesmar::affinity

using namespace tesmar::affinity;

HANDLE AffinGetThreadHandle(const ProcessEntry* entry, DWORD index) noexcept {
  return OpenEntryThread(entry, index).Release();
}

DWORD AffinGetThreadAffinity(const ProcessEntry* entry, DWORD index) noexcept {
  HANDLE thread = EntryThreadHandle(entry, index);
  THREAD_BASIC_INFORMATION information{};
  NTSTATUS status = NtQueryInformationThread(thread, ThreadBasicInformation, &information,
                                             sizeof information, nullptr);
  return NT_SUCCESS(status) ? information.AffinityMask : 0;
}

INT AffinSetThreadAffinity(const ProcessEntry* entry, DWORD index, DWORD mask) noexcept {
  return SetThreadAffinityMask(EntryThreadHandle(entry, index), mask) != 0 ? 1 : 0;
}

DWORD AffinGetActiveProcessAffinity(const ProcessEntry* entry) noexcept {
  DWORD mask = 0;
  for (DWORD index = 0; index < AffinGetThreadCount(entry); ++index) {
    mask |= AffinGetThreadAffinity(entry, index);
  }
  return mask;
}

INT AffinSetActiveProcessAffinity(const ProcessEntry* entry, DWORD mask) noexcept {
  for (DWORD index = 0; index < AffinGetThreadCount(entry); ++index) {
    if (!AffinSetThreadAffinity(entry, index, mask)) return 0;
  }
  return 1;
}

INT AffinGetThreadPriority(const ProcessEntry* entry, DWORD index) noexcept {
  int priority = GetThreadPriority(EntryThreadHandle(entry, index));
  return priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : priority;
}

INT AffinSetThreadPriority(const ProcessEntry* entry, DWORD index, INT priority) noexcept {
  return SetThreadPriority(EntryThreadHandle(entry, index), priority) ? 1 : 0;
}

DWORD AffinSetThreadIdealProcessor(const ProcessEntry* entry, DWORD index,
                                   DWORD processor) noexcept {
  return SetThreadIdealProcessor(EntryThreadHandle(entry, index), processor);
}
