// The live settings of the threads behind an entry, addressed by their position in the entry's
// thread list. Each call opens the thread by id and closes it again. A thread that cannot be
// opened gets no handling of its own: the call goes on with no handle and the platform call fails,
// so the result is that call's failure value.
#include <cstddef>

#include "Cpumask.h"
#include "platform/owned_handle.h"
#include "platform/process.h"
#include "process_entry.h"

namespace tesmar::affinity {
namespace {

using platform::OwnedHandle;

static_assert(sizeof(THREAD_BASIC_INFORMATION) == 28);
static_assert(offsetof(THREAD_BASIC_INFORMATION, AffinityMask) == 16);

OwnedHandle OpenEntryThread(const ProcessEntry* entry, DWORD index) {
  if (!entry) return OwnedHandle();
  // No root, no name, no attributes, no security; the length is the record's own size, as
  // InitializeObjectAttributes sets it.
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  CLIENT_ID clientId{};
  clientId.UniqueProcess = nullptr;
  clientId.UniqueThread = reinterpret_cast<HANDLE>(ULONG_PTR{EntryThreadId(entry, index)});
  HANDLE thread = nullptr;
  if (!NT_SUCCESS(NtOpenThread(&thread, MAXIMUM_ALLOWED, &attributes, &clientId))) {
    thread = nullptr;
  }
  return OwnedHandle(thread);
}

}  // namespace
}  // namespace tesmar::affinity

using namespace tesmar::affinity;

HANDLE AffinGetThreadHandle(const ProcessEntry* entry, DWORD index) noexcept {
  return OpenEntryThread(entry, index).Release();
}

DWORD AffinGetThreadAffinity(const ProcessEntry* entry, DWORD index) noexcept {
  OwnedHandle thread = OpenEntryThread(entry, index);
  THREAD_BASIC_INFORMATION information{};
  NTSTATUS status = NtQueryInformationThread(thread.get(), ThreadBasicInformation, &information,
                                             sizeof information, nullptr);
  return NT_SUCCESS(status) ? information.AffinityMask : 0;
}

INT AffinSetThreadAffinity(const ProcessEntry* entry, DWORD index, DWORD mask) noexcept {
  OwnedHandle thread = OpenEntryThread(entry, index);
  return SetThreadAffinityMask(thread.get(), mask) != 0 ? 1 : 0;
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
  OwnedHandle thread = OpenEntryThread(entry, index);
  int priority = GetThreadPriority(thread.get());
  return priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : priority;
}

INT AffinSetThreadPriority(const ProcessEntry* entry, DWORD index, INT priority) noexcept {
  OwnedHandle thread = OpenEntryThread(entry, index);
  return SetThreadPriority(thread.get(), priority) ? 1 : 0;
}

DWORD AffinSetThreadIdealProcessor(const ProcessEntry* entry, DWORD index,
                                   DWORD processor) noexcept {
  OwnedHandle thread = OpenEntryThread(entry, index);
  return SetThreadIdealProcessor(thread.get(), processor);
}
