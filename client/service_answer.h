// Waiting for the service to answer a raised flag.
//
// Our own design: rather than sleeping a blind second after raising RefreshFlag or UpdateFlag,
// a client watches the Data key and returns as soon as the service has taken the flag (set it
// back from 1) and written to the key after that, which is its new ProcList. The second is kept
// as the longest wait, so a client of a stopped or slow service behaves as before: it returns
// after one second and finds whatever ProcList holds.
#pragma once

#include <chrono>
#include <optional>

#include "platform/registry.h"
#include "value_reader.h"

namespace tesmar::client {

inline constexpr std::chrono::milliseconds LongestAnswerWait{1000};

class ServiceAnswer {
 public:
  // Starts watching the key; construct it before raising the flag, so that no write of the
  // service can slip by unseen.
  explicit ServiceAnswer(HKEY dataKey);
  ~ServiceAnswer();
  ServiceAnswer(const ServiceAnswer&) = delete;
  ServiceAnswer& operator=(const ServiceAnswer&) = delete;

  // Call right after raising the flag. True once the service took the flag and published after
  // that; false when the longest wait ran out first.
  bool Wait(LPCWSTR flag);
  // The new ProcList when the wait already read it whole, so the caller need not read it again.
  std::optional<ValueBytes> TakePublished() { return std::move(published_); }

 private:
  bool Arm();
  bool FlagTaken(LPCWSTR flag) const;
  bool PublishedSinceStart();

  HKEY dataKey_;
  // A handle of its own for the watch, so that closing it ends a watch that never fired.
  HKEY watchKey_ = nullptr;
  HANDLE changed_ = nullptr;
  bool armed_ = false;
  // ProcList as it was before the flag went up.
  ValueBytes before_;
  std::optional<ValueBytes> published_;
};

}  // namespace tesmar::client
