#include "base/thread_object.h"

#include <chrono>

#include "platform/threading.h"

namespace tesmar::platform {

void ThreadObject::Started(DWORD threadId) {
  {
    std::lock_guard lock(mutex_);
    threadId_ = threadId;
    started_ = true;
  }
  changed_.notify_all();
}

void ThreadObject::Ended(DWORD exitCode) {
  {
    std::lock_guard lock(mutex_);
    exitCode_ = exitCode;
    ended_ = true;
  }
  changed_.notify_all();
}

DWORD ThreadObject::WaitForThreadId() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return started_; });
  return threadId_;
}

bool ThreadObject::Wait(DWORD milliseconds) {
  std::unique_lock lock(mutex_);
  auto hasEnded = [this] { return ended_; };
  if (milliseconds == INFINITE) {
    changed_.wait(lock, hasEnded);
    return true;
  }
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), hasEnded);
}

}  // namespace tesmar::platform
