// A client's watch of the Data key's values: a handle of its own with a change notification on
// an event, armed again before every look, so that no write between two looks goes unseen.
#pragma once

#include <chrono>

#include "platform/owned_handle.h"
#include "platform/registry.h"

namespace tesmar::client {

class KeyWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // Armed at once; armed() is false when the key cannot be watched.
  explicit KeyWatch(HKEY dataKey);
  KeyWatch(const KeyWatch&) = delete;
  KeyWatch& operator=(const KeyWatch&) = delete;

  bool armed() const { return armed_; }
  // Sleeps until a value of the key changes or the deadline comes, and arms the watch again.
  // False at the deadline, and when the watch broke (the rest of the time is then slept).
  bool WaitForChange(Clock::time_point deadline);

 private:
  bool Arm();

  platform::OwnedKey watchKey_;
  platform::OwnedHandle changed_;
  bool armed_ = false;
};

DWORD MillisecondsUntil(KeyWatch::Clock::time_point deadline);

}  // namespace tesmar::client
