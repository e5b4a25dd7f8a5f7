// Reading the fields of a process entry in place, inside the snapshot's buffer. Entries are
// byte-addressed and not necessarily aligned for their fields, so every read goes through
// memcpy.
#pragma once

#include <cstdint>
#include <cstring>

#include "Cpumask.h"
#include "platform/process.h"

namespace tesmar::affinity {

inline const unsigned char* EntryBytes(const ProcessEntry* entry) {
  return reinterpret_cast<const unsigned char*>(entry);
}

template <typename Field>
Field ReadEntryField(const ProcessEntry* entry, std::size_t offset) {
  Field value;
  std::memcpy(&value, EntryBytes(entry) + offset, sizeof value);
  return value;
}

inline uint32_t NextEntryDistance(const ProcessEntry* entry) {
  return ReadEntryField<uint32_t>(entry, PROCESS_ENTRY_NEXT_OFFSET);
}

inline uint32_t EntryProcessId(const ProcessEntry* entry) {
  return ReadEntryField<uint32_t>(entry, PROCESS_ENTRY_PROCESS_ID);
}

inline int32_t EntryBasePriority(const ProcessEntry* entry) {
  return ReadEntryField<int32_t>(entry, PROCESS_ENTRY_BASE_PRIORITY);
}

inline uint32_t EntryThreadCount(const ProcessEntry* entry) {
  return ReadEntryField<uint32_t>(entry, PROCESS_ENTRY_THREAD_COUNT);
}

inline uint32_t EntryThreadId(const ProcessEntry* entry, uint32_t index) {
  return ReadEntryField<uint32_t>(
      entry,
      PROCESS_ENTRY_THREADS + std::size_t{THREAD_ENTRY_SIZE} * index + THREAD_ENTRY_THREAD_ID);
}

inline ProcessEntry* EntryAt(const void* buffer, std::size_t offset) {
  return reinterpret_cast<ProcessEntry*>(
      const_cast<unsigned char*>(static_cast<const unsigned char*>(buffer) + offset));
}

}  // namespace tesmar::affinity
