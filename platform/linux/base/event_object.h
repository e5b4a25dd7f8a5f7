// An event kernel object: CreateEventW's, and the one an asynchronous registry wait signals.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/handle_table.h"

namespace tesmar::platform {

class EventObject : public KernelObject {
 public:
  EventObject(bool manualReset, bool initialState)
      : manualReset_(manualReset), signalled_(initialState) {}

  void Set();
  void Reset();
  // True when signalled within the time (INFINITE: no limit); an auto-reset event is reset by
  // the wait it satisfied.
  bool Wait(DWORD milliseconds);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool manualReset_;
  bool signalled_;
};

}  // namespace tesmar::platform
