// Waiting for the service to answer a raised flag, and reading the publication it answered with.
//
// Rather than sleeping a blind second after raising RefreshFlag or UpdateFlag, a client watches
// the Data key and returns as soon as the publication that answers its own raise is there
// (packet/publication.h): never one of a pass that began before the raise, and never after
// reading ProcList whole to compare it with an earlier one. The second stays the longest wait:
// a client of a stopped or slow service returns after it and finds whatever ProcList holds.
// TESMAR_LONGEST_ANSWER_WAIT (milliseconds) sets another longest wait, for a machine too slow
// for the second, and for tests that must not depend on the machine's speed.
#pragma once

#include <chrono>

#include "key_watch.h"
#include "packet/data_key.h"
#include "platform/registry.h"

namespace tesmar::client {

inline constexpr std::chrono::milliseconds kLongestAnswerWait{1000};
inline constexpr char kLongestAnswerWaitVariable[] = "TESMAR_LONGEST_ANSWER_WAIT";

// kLongestAnswerWait, or the wait the environment sets.
std::chrono::milliseconds LongestAnswerWait();

class ServiceAnswer {
 public:
  // Starts watching the key, and the longest wait; construct it right before raising the flag,
  // so that no write of the service can slip by unseen.
  explicit ServiceAnswer(HKEY dataKey);
  ServiceAnswer(const ServiceAnswer&) = delete;
  ServiceAnswer& operator=(const ServiceAnswer&) = delete;

  // True once a pass has taken the raised flag (it was seen lowered); false when the longest
  // wait ran out first.
  bool WaitUntilTaken(LPCWSTR flag);
  // True once the publication that answers the raise is in ProcList; false when the longest
  // wait ran out first.
  bool Wait(LPCWSTR flag);

 private:
  bool Taken(LPCWSTR flag);
  // answering_ from the number as it is now.
  void LearnAnswering();
  // The answering publication is there; answering_ is set by the first look after the take.
  bool Answered(LPCWSTR flag);

  HKEY dataKey_;
  KeyWatch watch_;
  KeyWatch::Clock::time_point deadline_;
  bool taken_ = false;
  bool knowsAnswering_ = false;
  DWORD answering_ = 0;
};

// ProcList with the number of its publication: the same even ProcListSerial read before and
// after it, or 0 when it could not be told (a pass under way meanwhile, no numbering).
struct PublishedCopy {
  packet::ValueBytes value;
  DWORD serial = 0;
};
PublishedCopy ReadPublishedCopy(HKEY dataKey);

}  // namespace tesmar::client
