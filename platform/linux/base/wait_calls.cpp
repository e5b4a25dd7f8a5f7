#include <chrono>
#include <thread>

#include "base/event_object.h"
#include "base/thread_object.h"
#include "base/waitable_object.h"
#include "platform/errors.h"
#include "platform/threading.h"

using tesmar::platform::EventObject;
using tesmar::platform::HandleTable;
using tesmar::platform::KernelObject;
using tesmar::platform::ThreadObject;
using tesmar::platform::WaitableObject;

/***********************************************************************
 *           WaitForSingleObject
 *
 * Waits on events, threads and processes; any other handle fails with ERROR_INVALID_HANDLE. A wait
 * is never alertable and no object is ever abandoned.
 */
extern "C" DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept {
  auto object = HandleTable::Instance().Get<KernelObject>(handle);
  if (!object) return WAIT_FAILED;
  bool signalled;
  if (auto event = std::dynamic_pointer_cast<EventObject>(object)) {
    signalled = event->Wait(milliseconds);
  } else if (auto thread = std::dynamic_pointer_cast<ThreadObject>(object)) {
    signalled = thread->Wait(milliseconds);
  } else if (auto waitable = std::dynamic_pointer_cast<WaitableObject>(object)) {
    signalled = waitable->Wait(milliseconds);
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

/***********************************************************************
 *           Sleep
 */
extern "C" void Sleep(DWORD milliseconds) noexcept {
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  if (milliseconds == 0) {
    std::this_thread::yield();  // as on Windows: give up the rest of the time slice
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
