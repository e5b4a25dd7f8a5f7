// Reading the process list of NtQuerySystemInformation in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/process.h"

namespace process_test {

struct Entry {
  uint32_t processId;
  uint32_t threadCount;
  int32_t basePriority;
  std::u16string name;
  bool hasName;
  std::vector<uint32_t> threadIds;
  int64_t createTime = 0;
  uint32_t parentId = 0;
};

inline uint32_t ReadU32(const unsigned char* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Queries with a buffer grown to the length the call reports.
inline std::vector<unsigned char> QueryList() {
  ULONG needed = 0;
  std::vector<unsigned char> buffer(4096);
  for (;;) {
    NTSTATUS status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                               static_cast<ULONG>(buffer.size()), &needed);
    if (NT_SUCCESS(status)) return buffer;
    if (status != STATUS_INFO_LENGTH_MISMATCH) return {};
    buffer.resize(needed + 65536);
  }
}

inline std::vector<Entry> Entries(const std::vector<unsigned char>& buffer) {
  std::vector<Entry> entries;
  const unsigned char* entry = buffer.data();
  for (;;) {
    Entry parsed;
    parsed.processId = ReadU32(entry + PROCESS_ENTRY_PROCESS_ID);
    parsed.threadCount = ReadU32(entry + PROCESS_ENTRY_THREAD_COUNT);
    parsed.basePriority = static_cast<int32_t>(ReadU32(entry + PROCESS_ENTRY_BASE_PRIORITY));
    std::memcpy(&parsed.createTime, entry + PROCESS_ENTRY_CREATE_TIME, sizeof parsed.createTime);
    parsed.parentId = ReadU32(entry + PROCESS_ENTRY_PARENT_ID);
    LPCWSTR name = ProcessEntryImageName(entry);
    parsed.hasName = name != nullptr;
    if (name) parsed.name = name;
    for (uint32_t k = 0; k < parsed.threadCount; ++k) {
      parsed.threadIds.push_back(
          ReadU32(entry + PROCESS_ENTRY_THREADS + THREAD_ENTRY_SIZE * k + THREAD_ENTRY_THREAD_ID));
    }
    entries.push_back(std::move(parsed));
    uint32_t next = ReadU32(entry + PROCESS_ENTRY_NEXT_OFFSET);
    if (next == 0) return entries;
    entry += next;
  }
}

inline const Entry* FindEntry(const std::vector<Entry>& entries, uint32_t processId) {
  for (const Entry& entry : entries) {
    if (entry.processId == processId) return &entry;
  }
  return nullptr;
}

inline HANDLE OpenThreadById(uint32_t threadId) {
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  CLIENT_ID client{nullptr, reinterpret_cast<HANDLE>(uintptr_t{threadId})};
  HANDLE handle = nullptr;
  if (!NT_SUCCESS(NtOpenThread(&handle, MAXIMUM_ALLOWED, &attributes, &client))) return nullptr;
  return handle;
}

inline uint32_t ThreadMask(HANDLE thread) {
  THREAD_BASIC_INFORMATION basic{};
  if (!NT_SUCCESS(NtQueryInformationThread(thread, ThreadBasicInformation, &basic, sizeof basic,
                                           nullptr))) {
    return 0;
  }
  return basic.AffinityMask;
}

}  // namespace process_test
