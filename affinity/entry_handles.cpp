#include "entry_handles.h"

#include <atomic>
#include <cstdint>

#include "platform/owned_handle.h"
#include "platform/process.h"
#include "process_entry.h"

namespace tesmar::affinity {
namespace {

using platform::OwnedHandle;

// Made or destroyed snapshots so far, in any thread.
std::atomic<uint64_t> snapshotChanges{0};

struct KeptHandle {
  DWORD id = 0;
  uint64_t changes = 0;
  OwnedHandle handle;

  template <typename Open>
  HANDLE Get(DWORD wanted, Open open) {
    uint64_t now = snapshotChanges.load(std::memory_order_acquire);
    if (handle && id == wanted && changes == now) return handle.get();
    handle = open();
    id = wanted;
    changes = now;
    return handle.get();
  }
};

thread_local KeptHandle keptThread;
thread_local KeptHandle keptProcess;

}  // namespace

OwnedHandle OpenEntryThread(const ProcessEntry* entry, DWORD index) {
  if (!entry) return OwnedHandle();
  DWORD threadId = EntryThreadId(entry, index);
  // No root, no name, no attributes, no security; the length is the record's own size, as
  // InitializeObjectAttributes sets it.
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  CLIENT_ID clientId{};
  clientId.UniqueProcess = nullptr;
  clientId.UniqueThread = reinterpret_cast<HANDLE>(ULONG_PTR{threadId});
  HANDLE thread = nullptr;
  if (!NT_SUCCESS(NtOpenThread(&thread, MAXIMUM_ALLOWED, &attributes, &clientId))) {
    thread = nullptr;
  }
  return OwnedHandle(thread);
}

HANDLE EntryThreadHandle(const ProcessEntry* entry, DWORD index) {
  if (!entry) return nullptr;
  return keptThread.Get(EntryThreadId(entry, index), [&] { return OpenEntryThread(entry, index); });
}

HANDLE EntryProcessHandle(const ProcessEntry* entry) {
  if (!entry) return nullptr;
  DWORD processId = EntryProcessId(entry);
  return keptProcess.Get(
      processId, [&] { return OwnedHandle(OpenProcess(MAXIMUM_ALLOWED, FALSE, processId)); });
}

void ForgetEntryHandles() {
  snapshotChanges.fetch_add(1, std::memory_order_acq_rel);
  keptThread.handle.Reset();
  keptProcess.handle.Reset();
}

}  // namespace tesmar::affinity
