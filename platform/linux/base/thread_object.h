// A thread kernel object: CreateThread's handle, signalled once the thread's routine returned.
#pragma once

#include <condition_variable>
#include <mutex>

#include "base/handle_table.h"

namespace tesmar::platform {

class ThreadObject : public KernelObject {
 public:
  // Called on the new thread: its Linux thread id, then its exit code when the routine returned.
  void Started(DWORD threadId);
  void Ended(DWORD exitCode);

  // The thread id, once the thread runs (CreateThread waits for it).
  DWORD WaitForThreadId();
  // True when the thread ended within the time (INFINITE: no limit).
  bool Wait(DWORD milliseconds);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  DWORD threadId_ = 0;
  bool started_ = false;
  bool ended_ = false;
  DWORD exitCode_ = 0;
};

}  // namespace tesmar::platform
