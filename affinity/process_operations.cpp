// The live settings of the process behind an entry: each call opens the process by the entry's
// id, makes one platform call and closes the handle again.
#include "Cpumask.h"
#include "platform/owned_handle.h"
#include "platform/process.h"
#include "process_entry.h"

namespace tesmar::affinity {
namespace {

using platform::OwnedHandle;

OwnedHandle OpenEntryProcess(const ProcessEntry* entry, DWORD rights) {
  if (!entry) return OwnedHandle();
  return OwnedHandle(OpenProcess(rights, FALSE, EntryProcessId(entry)));
}

// Both masks of the process, or false.
bool ReadProcessMasks(const ProcessEntry* entry, DWORD rights, DWORD_PTR& processMask,
                      DWORD_PTR& systemMask) {
  OwnedHandle process = OpenEntryProcess(entry, rights);
  return process && GetProcessAffinityMask(process.get(), &processMask, &systemMask);
}

}  // namespace
}  // namespace tesmar::affinity

using namespace tesmar::affinity;

DWORD AffinGetProcessAffinity(const ProcessEntry* entry) noexcept {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!ReadProcessMasks(entry, MAXIMUM_ALLOWED, processMask, systemMask)) return 0;
  return static_cast<DWORD>(processMask);
}

INT AffinSetProcessAffinity(const ProcessEntry* entry, DWORD mask) noexcept {
  OwnedHandle process = OpenEntryProcess(entry, MAXIMUM_ALLOWED);
  return process && SetProcessAffinityMask(process.get(), mask) ? 1 : 0;
}

DWORD AffinGetSystemAffinity(const ProcessEntry* entry) noexcept {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!ReadProcessMasks(entry, PROCESS_QUERY_INFORMATION, processMask, systemMask)) return 0;
  return static_cast<DWORD>(systemMask);
}

DWORD AffinGetProcessPriority(const ProcessEntry* entry) noexcept {
  if (!entry) return 0;
  DWORD priorityClass = 0;
  if (OwnedHandle process = OpenEntryProcess(entry, MAXIMUM_ALLOWED)) {
    priorityClass = GetPriorityClass(process.get());
  }
  // The base priority is a level (e.g. 8), not a class; callers have taken it as the answer for
  // a process that could not be asked.
  if (priorityClass == 0) return static_cast<DWORD>(EntryBasePriority(entry));
  return priorityClass;
}

INT AffinSetProcessPriority(const ProcessEntry* entry, DWORD priorityClass) noexcept {
  OwnedHandle process = OpenEntryProcess(entry, MAXIMUM_ALLOWED);
  return process && SetPriorityClass(process.get(), priorityClass) ? 1 : 0;
}

INT AffinSetPriorityBoost(const ProcessEntry* entry, INT disable) noexcept {
  OwnedHandle process = OpenEntryProcess(entry, MAXIMUM_ALLOWED);
  return process && SetProcessPriorityBoost(process.get(), disable) ? 1 : 0;
}

INT AffinGetPriorityBoost(const ProcessEntry* entry, DWORD* disabled) noexcept {
  if (!disabled) return 0;
  OwnedHandle process = OpenEntryProcess(entry, MAXIMUM_ALLOWED);
  BOOL boostDisabled = FALSE;
  if (!process || !GetProcessPriorityBoost(process.get(), &boostDisabled)) return 0;
  *disabled = boostDisabled ? 1 : 0;
  return 1;
}
