// NtQuerySystemInformation(SystemProcessInformation), ProcessEntryImageName and GetSystemInfo.
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/process.h"
#include "processes/boot_time.h"
#include "processes/current_process_source.h"

namespace tesmar::platform {
namespace {

constexpr size_t kEntryAlignment = 8;

size_t AlignUp(size_t value) {
  return (value + kEntryAlignment - 1) & ~(kEntryAlignment - 1);
}

template <typename T>
void Put(unsigned char* entry, size_t offset, T value) {
  std::memcpy(entry + offset, &value, sizeof value);
}

size_t EntrySize(uint32_t threadCount, uint32_t nameLength) {
  size_t size = PROCESS_ENTRY_THREADS + size_t{THREAD_ENTRY_SIZE} * threadCount;
  if (nameLength) size += (size_t{nameLength} + 1) * sizeof(WCHAR);
  return AlignUp(size);
}

// Writes one entry; threadIds null means the idle process's threads (id 0).
void WriteEntry(unsigned char* entry, size_t size, bool last, const ProcessListing::Process& p,
                const uint32_t* threadIds, const char16_t* name) {
  std::memset(entry, 0, size);
  Put<uint32_t>(entry, PROCESS_ENTRY_NEXT_OFFSET, last ? 0 : static_cast<uint32_t>(size));
  Put<uint32_t>(entry, PROCESS_ENTRY_THREAD_COUNT, p.threadCount);
  Put<int64_t>(entry, PROCESS_ENTRY_CREATE_TIME, BootFileTime() + p.createTime);
  Put<int32_t>(entry, PROCESS_ENTRY_BASE_PRIORITY, p.basePriority);
  Put<uint32_t>(entry, PROCESS_ENTRY_PROCESS_ID, p.id);
  Put<uint32_t>(entry, PROCESS_ENTRY_PARENT_ID, p.parentId);
  for (uint32_t k = 0; k < p.threadCount; ++k) {
    unsigned char* thread = entry + PROCESS_ENTRY_THREADS + size_t{THREAD_ENTRY_SIZE} * k;
    Put<uint32_t>(thread, THREAD_ENTRY_PROCESS_ID, p.id);
    Put<uint32_t>(thread, THREAD_ENTRY_THREAD_ID, threadIds ? threadIds[k] : 0);
    Put<int32_t>(thread, THREAD_ENTRY_BASE_PRIORITY, p.basePriority);
  }
  if (p.nameLength) {
    size_t nameOffset = PROCESS_ENTRY_THREADS + size_t{THREAD_ENTRY_SIZE} * p.threadCount;
    std::memcpy(entry + nameOffset, name, size_t{p.nameLength} * sizeof(WCHAR));
    auto bytes = static_cast<uint16_t>(std::min<size_t>(p.nameLength * sizeof(WCHAR), 0xFFFC));
    Put<uint16_t>(entry, PROCESS_ENTRY_NAME_LENGTH, bytes);
    Put<uint16_t>(entry, PROCESS_ENTRY_NAME_LENGTH + 2, static_cast<uint16_t>(bytes + 2));
    Put<uint32_t>(entry, PROCESS_ENTRY_NAME, static_cast<uint32_t>(nameOffset));
  }
}

// The listing of a thread's last query, kept when the query failed for size: the caller's next
// query with a larger buffer (its retry) is answered from it instead of listing the whole
// machine again, so that a snapshot that grows its buffer four or five times lists /proc once.
struct KeptListing {
  // The vectors keep their capacity between queries of one thread.
  ProcessListing listing;
  std::weak_ptr<ProcessSource> source;  // of the kept listing; empty: nothing kept
  ULONG failedLength = 0;               // the buffer length that was too short for it

  bool Answers(const std::shared_ptr<ProcessSource>& asked, PVOID buffer, ULONG length) const {
    return buffer && length > failedLength && source.lock() == asked;
  }
};

NTSTATUS QueryProcessList(PVOID buffer, ULONG length, PULONG returnLength) {
  thread_local KeptListing kept;
  ProcessListing& listing = kept.listing;
  auto source = CurrentProcessSource();
  bool fromKept = kept.Answers(source, buffer, length);
  kept.source.reset();
  // Why the list could not be read: a refusal, no memory, or /proc unreadable.
  if (!fromKept) {
    if (DWORD error = source->ListProcesses(listing)) return NtStatusOfError(error);
  }

  ProcessListing::Process idle;
  idle.threadCount = source->ProcessorCount();
  size_t needed = EntrySize(idle.threadCount, 0);
  for (const auto& process : listing.processes) {
    needed += EntrySize(process.threadCount, process.nameLength);
  }
  if (needed > ULONG{0xFFFFFFFF}) return STATUS_NO_MEMORY;
  if (returnLength) *returnLength = static_cast<ULONG>(needed);
  if (!buffer || length < needed) {
    kept.source = source;
    kept.failedLength = buffer ? length : 0;
    return STATUS_INFO_LENGTH_MISMATCH;
  }

  auto* entry = static_cast<unsigned char*>(buffer);
  size_t size = EntrySize(idle.threadCount, 0);
  WriteEntry(entry, size, listing.processes.empty(), idle, nullptr, nullptr);
  for (size_t i = 0; i < listing.processes.size(); ++i) {
    entry += size;
    const auto& process = listing.processes[i];
    size = EntrySize(process.threadCount, process.nameLength);
    WriteEntry(entry, size, i + 1 == listing.processes.size(), process,
               listing.threadIds.data() + process.firstThread,
               listing.names.data() + process.nameStart);
  }
  return STATUS_SUCCESS;
}

}  // namespace
}  // namespace tesmar::platform

/***********************************************************************
 *           NtQuerySystemInformation
 *
 * SystemProcessInformation only, read from /proc. Where NT keeps a pointer to the image name,
 * this layer keeps the name's offset from the entry (see ProcessEntryImageName). The layout
 * follows 32-bit Windows NT 4.0 whatever the build's pointer width.
 */
extern "C" NTSTATUS NtQuerySystemInformation(ULONG informationClass, PVOID buffer, ULONG length,
                                             PULONG returnLength) noexcept {
  if (informationClass != SystemProcessInformation) return STATUS_INVALID_INFO_CLASS;
  return tesmar::platform::NtStatusResult(
      [&] { return tesmar::platform::QueryProcessList(buffer, length, returnLength); });
}

/***********************************************************************
 *           ProcessEntryImageName   (no Windows counterpart)
 */
extern "C" LPCWSTR ProcessEntryImageName(const void* entry) noexcept {
  if (!entry) return nullptr;
  uint32_t offset;
  std::memcpy(&offset, static_cast<const unsigned char*>(entry) + PROCESS_ENTRY_NAME,
              sizeof offset);
  if (offset == 0) return nullptr;
  return reinterpret_cast<LPCWSTR>(static_cast<const unsigned char*>(entry) + offset);
}

/***********************************************************************
 *           GetSystemInfo
 *
 * The processor count is that of the process source (the running kernel's online processors).
 */
extern "C" void GetSystemInfo(LPSYSTEM_INFO systemInfo) noexcept {
  if (!systemInfo) return;
  *systemInfo = {};
  unsigned processors = 1;
  try {
    processors = tesmar::platform::CurrentProcessSource()->ProcessorCount();
  } catch (...) {
  }
  systemInfo->wProcessorArchitecture = 9;  // AMD64
  systemInfo->dwPageSize = 4096;
  systemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t{0x10000});
  systemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t{0x7FFFFFFEFFFF});
  systemInfo->dwActiveProcessorMask =
      processors >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << processors) - 1;
  systemInfo->dwNumberOfProcessors = processors;
  systemInfo->dwProcessorType = 8664;
  systemInfo->dwAllocationGranularity = 65536;
}
