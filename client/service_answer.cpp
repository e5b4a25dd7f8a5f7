#include "service_answer.h"

#include <cstdlib>
#include <optional>

#include "packet/publication.h"
#include "platform/errors.h"
#include "platform/threading.h"

namespace tesmar::client {
namespace {

using Clock = std::chrono::steady_clock;

// A copy read while a pass began is read again, a few times; then it is taken without a
// number.
constexpr int kNumberedReadAttempts = 3;

DWORD MillisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

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

ServiceAnswer::ServiceAnswer(HKEY dataKey) : dataKey_(dataKey) {
  if (RegOpenKeyExW(dataKey_, nullptr, 0, KEY_NOTIFY | KEY_QUERY_VALUE, watchKey_.Receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  changed_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  armed_ = changed_ && Arm();
}

bool ServiceAnswer::Arm() {
  return RegNotifyChangeKeyValue(watchKey_.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed_.get(),
                                 TRUE) == ERROR_SUCCESS;
}

bool ServiceAnswer::Answered(LPCWSTR flag) {
  if (!taken_) taken_ = packet::ReadDwordValue(dataKey_, flag) == packet::kFlagLowered;
  if (!taken_) return false;
  std::optional<DWORD> serial = packet::ReadDwordValue(dataKey_, packet::kProcListSerialValue);
  if (!serial) return false;
  if (!knowsAnswering_) {
    answering_ = packet::AnsweringPublication(*serial);
    knowsAnswering_ = true;
  }
  return packet::IsAnswer(*serial, answering_);
}

bool ServiceAnswer::Wait(LPCWSTR flag) {
  const Clock::time_point deadline = Clock::now() + LongestAnswerWait();
  if (!armed_) {
    Sleep(MillisecondsUntil(deadline));
    return false;
  }
  // Every wake arms the watch again before it looks, so a write that lands while this loop looks
  // at the key fires the next watch.
  for (;;) {
    if (Answered(flag)) return true;
    DWORD left = MillisecondsUntil(deadline);
    if (left == 0) return false;
    DWORD waited = WaitForSingleObject(changed_.get(), left);
    if (waited == WAIT_TIMEOUT) return false;
    if (waited != WAIT_OBJECT_0 || !Arm()) {
      Sleep(MillisecondsUntil(deadline));
      return false;
    }
  }
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
