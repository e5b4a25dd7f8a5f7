#include "service_answer.h"

#include <cstdlib>
#include <optional>

#include "packet/publication.h"
#include "platform/errors.h"
#include "platform/threading.h"

namespace tesmar::client {
namespace {

// A copy read while a pass began is read again, a few times; then it is taken without a
// number.
constexpr int kNumberedReadAttempts = 3;

}  // namespace

std::chrono::milliseconds LongestAnswerWait() {
  const char* text = std::getenv(kLongestAnswerWaitVariable);
  if (!text || !*text) return kLongestAnswerWait;
  char* end = nullptr;
  unsigned long milliseconds = std::strtoul(text, &end, 10);
  // Anything but a plain number of at most a day keeps the usual wait.
  if (*end != '\0' || milliseconds > 24ul * 60 * 60 * 1000) return kLongestAnswerWait;
  return std::chrono::milliseconds(milliseconds);
}

ServiceAnswer::ServiceAnswer(HKEY dataKey)
    : dataKey_(dataKey), watch_(dataKey), deadline_(KeyWatch::Clock::now() + LongestAnswerWait()) {}

// The answering publication is fixed by the first look at the number right after the flag was
// seen lowered: an updating client still holds its turn then, so no other client's request can
// have begun a pass yet. Looked at later, the number could belong to a pass that began after
// the take (another client's, which may in turn wait for this one), and the client would wait
// for the end of that pass instead of its own.
bool ServiceAnswer::Taken(LPCWSTR flag) {
  if (taken_) return true;
  taken_ = packet::ReadDwordValue(dataKey_, flag) == packet::kFlagLowered;
  if (taken_) LearnAnswering();
  return taken_;
}

void ServiceAnswer::LearnAnswering() {
  std::optional<DWORD> serial = packet::ReadDwordValue(dataKey_, packet::kProcListSerialValue);
  if (!serial) return;
  answering_ = packet::AnsweringPublication(*serial);
  knowsAnswering_ = true;
}

bool ServiceAnswer::Answered(LPCWSTR flag) {
  if (!Taken(flag)) return false;
  if (!knowsAnswering_) LearnAnswering();
  if (!knowsAnswering_) return false;
  std::optional<DWORD> serial = packet::ReadDwordValue(dataKey_, packet::kProcListSerialValue);
  return serial && packet::IsAnswer(*serial, answering_);
}

// Each look follows a wake, and the watch is armed again before the look, so a write that lands
// while the client looks at the key wakes the next wait.
bool ServiceAnswer::WaitUntilTaken(LPCWSTR flag) {
  while (watch_.armed()) {
    if (Taken(flag)) return true;
    if (!watch_.WaitForChange(deadline_)) return false;
  }
  Sleep(MillisecondsUntil(deadline_));
  return false;
}

bool ServiceAnswer::Wait(LPCWSTR flag) {
  while (watch_.armed()) {
    if (Answered(flag)) return true;
    if (!watch_.WaitForChange(deadline_)) return false;
  }
  Sleep(MillisecondsUntil(deadline_));
  return false;
}

PublishedCopy ReadPublishedCopy(HKEY dataKey) {
  PublishedCopy copy;
  for (int attempt = 0; attempt < kNumberedReadAttempts; ++attempt) {
    std::optional<DWORD> before = packet::ReadDwordValue(dataKey, packet::kProcListSerialValue);
    copy.value = packet::ReadWholeValue(dataKey, packet::kProcListValue);
    if (copy.value.failure != packet::ValueBytes::Failure::None) return copy;
    std::optional<DWORD> after = packet::ReadDwordValue(dataKey, packet::kProcListSerialValue);
    // Unnumbered: a service that numbers nothing, or a pass under way, whose end may be long.
    if (!before || !after || packet::IsPassUnderWay(*before)) return copy;
    if (*before == *after) {
      copy.serial = *before;
      return copy;
    }
    // A pass ran while the copy was read: read again.
  }
  return copy;
}

}  // namespace tesmar::client
