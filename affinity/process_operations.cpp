// The live settings of the process behind an entry: each call makes one platform call through
// the process's handle, opened by the entry's id or kept from the calling thread's previous call
// on it (entry_handles.h).
#include "Cpumask.h"
#include "entry_handles.h"
#include "platform/process.h"
#include "process_entry.h"

namespace tesmar::affinity {
namespace {

// Both masks of the process, or false.
bool ReadProcessMasks(const ProcessEntry* entry, DWORD_PTR& processMask, DWORD_PTR& systemMask) {
  HANDLE process = EntryProcessHandle(entry);
  return process && GetProcessAffinityMask(process, &processMask, &systemMask);
}

}  // namespace
}  // namespace tesmar::affinity

using namespace tesmar::affinity;

DWORD AffinGetProcessAffinity(const ProcessEntry* entry) noexcept {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!ReadProcessMasks(entry, processMask, systemMask)) return 0;
  return static_cast<DWORD>(processMask);
}

INT AffinSetProcessAffinity(const ProcessEntry* entry, DWORD mask) noexcept {
  HANDLE process = EntryProcessHandle(entry);
  return process && SetProcessAffinityMask(process, mask) ? 1 : 0;
}

DWORD AffinGetSystemAffinity(const ProcessEntry* entry) noexcept {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!ReadProcessMasks(entry, processMask, systemMask)) return 0;
  return static_cast<DWORD>(systemMask);
}

DWORD AffinGetProcessPriority(const ProcessEntry* entry) noexcept {
  if (!entry) return 0;
  DWORD priorityClass = 0;
  if (HANDLE process = EntryProcessHandle(entry)) priorityClass = GetPriorityClass(process);
  // The base priority is a level (e.g. 8), not a class; callers have taken it as the answer for
  // a process that could not be asked.
  if (priorityClass == 0) return static_cast<DWORD>(EntryBasePriority(entry));
  return priorityClass;
}

INT AffinSetProcessPriority(const ProcessEntry* entry, DWORD priorityClass) noexcept {
  HANDLE process = EntryProcessHandle(entry);
  return process && SetPriorityClass(process, priorityClass) ? 1 : 0;
}

INT AffinSetPriorityBoost(const ProcessEntry* entry, INT disable) noexcept {
  HANDLE process = EntryProcessHandle(entry);
  return process && SetProcessPriorityBoost(process, disable) ? 1 : 0;
}

INT AffinGetPriorityBoost(const ProcessEntry* entry, DWORD* disabled) noexcept {
  if (!disabled) return 0;
  HANDLE process = EntryProcessHandle(entry);
  BOOL boostDisabled = FALSE;
  if (!process || !GetProcessPriorityBoost(process, &boostDisabled)) return 0;
  *disabled = boostDisabled ? 1 : 0;
  return 1;
}
