#include "base/handle_table.h"

#include <cstdint>

#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/handles.h"

namespace tesmar::platform {
namespace {
// Handle values are multiples of four from 4, as on Windows; 0 and -1 are never handed out.
constexpr uintptr_t kHandleStep = 4;
// A closed slot is handed out again only once this many others are free.
constexpr size_t kReuseDelay = 64;

size_t SlotOf(HANDLE handle) {
  auto value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || value % kHandleStep != 0) return SIZE_MAX;
  return value / kHandleStep - 1;
}
}  // namespace

HandleTable& HandleTable::Instance() {
  // Never destroyed: threads still running while the process exits (a service's worker, a
  // detached waiter) may close their handles after static destructors have run.
  static HandleTable* table = new HandleTable;
  return *table;
}

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object) {
  std::lock_guard lock(mutex_);
  size_t slot;
  if (freeSlots_.size() > kReuseDelay) {
    slot = freeSlots_.front();
    freeSlots_.pop_front();
    slots_[slot] = std::move(object);
  } else {
    slot = slots_.size();
    slots_.push_back(std::move(object));
  }
  return reinterpret_cast<HANDLE>((slot + 1) * kHandleStep);
}

std::shared_ptr<KernelObject> HandleTable::Lookup(HANDLE handle) {
  size_t slot = SlotOf(handle);
  std::lock_guard lock(mutex_);
  if (slot >= slots_.size()) return nullptr;
  return slots_[slot];
}

bool HandleTable::Close(HANDLE handle) {
  size_t slot = SlotOf(handle);
  std::shared_ptr<KernelObject> released;  // destroyed outside the lock
  {
    std::lock_guard lock(mutex_);
    if (slot >= slots_.size() || !slots_[slot]) return false;
    released = std::move(slots_[slot]);
    freeSlots_.push_back(slot);
  }
  return true;
}

size_t HandleTable::OpenCount() {
  std::lock_guard lock(mutex_);
  return slots_.size() - freeSlots_.size();
}

size_t OpenHandleCount() noexcept {
  return HandleTable::Instance().OpenCount();
}

void HandleTable::SetInvalidHandleError() {
  SetLastError(ERROR_INVALID_HANDLE);
}

}  // namespace tesmar::platform

/***********************************************************************
 *           CloseHandle
 */
extern "C" BOOL CloseHandle(HANDLE handle) noexcept {
  return tesmar::platform::BoolResult([&]() -> DWORD {
    return tesmar::platform::HandleTable::Instance().Close(handle) ? ERROR_SUCCESS
                                                                   : ERROR_INVALID_HANDLE;
  });
}
