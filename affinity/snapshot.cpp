// The process snapshot: one system query fills a buffer with every process and thread of the
// machine, and the accessors read its entries in place.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "Cpumask.h"
#include "entry_handles.h"
#include "platform/process.h"
#include "process_entry.h"

namespace tesmar::affinity {
namespace {

std::atomic<DWORD> lastErrorCell{0};

constexpr ULONG kFirstBufferSize = 0x10000;
constexpr ULONG kBufferStep = 0x10000;
constexpr ULONG kLastFixedBufferSize = 0x40000;

// 256 KiB holds only about 3,000 threads, which an ordinary Linux server exceeds, and a snapshot
// that fails for size leaves the service without a packet. Past the four fixed sizes, each attempt
// is sized from the length the query reported, with headroom for the tasks started since, up to a
// ceiling that stops a runaway list.
constexpr ULONG kBufferCeiling = 64u << 20;

ULONG GrownBufferSize(ULONG triedSize, ULONG reportedLength) {
  uint64_t wanted = uint64_t{reportedLength} + reportedLength / 8 + kBufferStep;
  wanted = (wanted + kBufferStep - 1) / kBufferStep * kBufferStep;
  // A query that reports no useful length still makes progress.
  if (wanted <= triedSize) wanted = uint64_t{triedSize} * 2;
  return static_cast<ULONG>(std::min<uint64_t>(wanted, kBufferCeiling));
}

// The filled buffer and its size, or null with the last-error code in errorCode.
void* QueryProcessList(ULONG& size, DWORD& errorCode) {
  size = kFirstBufferSize;
  for (;;) {
    void* buffer = std::malloc(size);
    if (!buffer) {
      errorCode = AFFIN_ERR_NO_MEMORY;
      return nullptr;
    }
    ULONG reportedLength = 0;
    NTSTATUS status =
        NtQuerySystemInformation(SystemProcessInformation, buffer, size, &reportedLength);
    if (NT_SUCCESS(status)) return buffer;
    std::free(buffer);

    if (size < kLastFixedBufferSize) {
      size += kBufferStep;
      continue;
    }
    // Only a list that did not fit can be helped by a larger buffer.
    if (status != STATUS_INFO_LENGTH_MISMATCH || size >= kBufferCeiling ||
        reportedLength > kBufferCeiling) {
      errorCode = AFFIN_ERR_QUERY_FAILED;
      return nullptr;
    }
    size = GrownBufferSize(size, reportedLength);
  }
}

// Entries reached by following the next-entry distances, the last one included. A distance
// that would leave the buffer ends the chain there.
LONG CountEntries(const void* buffer, ULONG size) {
  LONG count = 1;
  std::size_t offset = 0;
  for (;;) {
    uint32_t distance = NextEntryDistance(EntryAt(buffer, offset));
    if (distance == 0 || offset + distance + PROCESS_ENTRY_THREADS > size) return count;
    offset += distance;
    ++count;
  }
}

}  // namespace
}  // namespace tesmar::affinity

using namespace tesmar::affinity;

DWORD AffinGetLastError(void) noexcept {
  return lastErrorCell.load(std::memory_order_relaxed);
}

ProcessSnapshot* AffinConstructProcesses(void) noexcept {
  ForgetEntryHandles();
  ULONG size = 0;
  DWORD errorCode = 0;
  void* buffer = QueryProcessList(size, errorCode);
  if (!buffer) {
    lastErrorCell.store(errorCode, std::memory_order_relaxed);
    return nullptr;
  }
  auto* snapshot = static_cast<ProcessSnapshot*>(std::malloc(sizeof(ProcessSnapshot)));
  if (!snapshot) {
    lastErrorCell.store(AFFIN_ERR_NO_SNAPSHOT_MEMORY, std::memory_order_relaxed);
    std::free(buffer);
    return nullptr;
  }
  snapshot->InfoBuffer = buffer;
  snapshot->ProcessCount = CountEntries(buffer, size);
  return snapshot;
}

void AffinDestructProcesses(ProcessSnapshot* snapshot) noexcept {
  if (!snapshot) return;
  ForgetEntryHandles();
  std::free(snapshot->InfoBuffer);
  std::free(snapshot);
}

LONG AffinGetProcessCount(const ProcessSnapshot* snapshot) noexcept {
  return snapshot ? snapshot->ProcessCount : 0;
}

ProcessEntry* AffinGetFirstProcess(const ProcessSnapshot* snapshot) noexcept {
  return snapshot ? EntryAt(snapshot->InfoBuffer, 0) : nullptr;
}

ProcessEntry* AffinGetNextProcess(const ProcessEntry* entry) noexcept {
  if (!entry) return nullptr;
  uint32_t distance = NextEntryDistance(entry);
  return distance == 0 ? nullptr : EntryAt(entry, distance);
}

LPCWSTR AffinGetProcName(const ProcessEntry* entry) noexcept {
  return entry ? ProcessEntryImageName(entry) : nullptr;
}

DWORD AffinGetProcId(const ProcessEntry* entry) noexcept {
  return entry ? EntryProcessId(entry) : 0;
}

DWORD AffinGetThreadCount(const ProcessEntry* entry) noexcept {
  return entry ? EntryThreadCount(entry) : 0;
}
