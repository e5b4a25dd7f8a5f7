#include "base/event_object.h"

#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/threading.h"

namespace tesmar::platform {

void EventObject::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_all();
}

void EventObject::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool EventObject::Wait(DWORD milliseconds) {
  std::unique_lock lock(mutex_);
  auto isSignalled = [this] { return signalled_; };
  if (milliseconds == INFINITE) {
    changed_.wait(lock, isSignalled);
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), isSignalled)) {
    return false;
  }
  if (!manualReset_) signalled_ = false;
  return true;
}

}  // namespace tesmar::platform

using tesmar::platform::EventObject;
using tesmar::platform::HandleTable;

/***********************************************************************
 *           CreateEventW
 *
 * Named events are not offered: nothing in the system shares an event between processes.
 */
extern "C" HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                               LPCWSTR name) noexcept {
  if (name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return tesmar::platform::ValueResult<HANDLE>(nullptr, [&] {
    return HandleTable::Instance().Insert(
        std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
  });
}

/***********************************************************************
 *           SetEvent
 */
extern "C" BOOL SetEvent(HANDLE event) noexcept {
  auto object = HandleTable::Instance().Get<EventObject>(event);
  if (!object) return FALSE;
  object->Set();
  return TRUE;
}

/***********************************************************************
 *           ResetEvent
 */
extern "C" BOOL ResetEvent(HANDLE event) noexcept {
  auto object = HandleTable::Instance().Get<EventObject>(event);
  if (!object) return FALSE;
  object->Reset();
  return TRUE;
}
