#include "update_turn.h"

#include <algorithm>
#include <optional>

#include "key_watch.h"
#include "packet/data_key.h"
#include "packet/publication.h"
#include "platform/errors.h"
#include "service_answer.h"

namespace tesmar::client {
namespace {

using Clock = KeyWatch::Clock;

bool UpdateFlagRaised(HKEY dataKey) {
  return packet::ReadDwordValue(dataKey, packet::kUpdateFlagValue) == packet::kFlagRaised;
}

// A longest answer wait set longer than these (a slow machine, a test that must not depend on
// the machine's speed) lengthens them too.
Clock::duration LongestWait(Clock::duration usual) {
  return std::max<Clock::duration>(usual, LongestAnswerWait());
}

}  // namespace

DWORD UpdateTurn::Take() {
  const Clock::time_point deadline = Clock::now() + LongestWait(kLongestTurnWait);
  DWORD error = RegLockKey(dataKey_, MillisecondsUntil(deadline));
  if (error != ERROR_SUCCESS) return error;
  locked_ = true;
  error = WaitUntilLastRequestRead(deadline);
  if (error != ERROR_SUCCESS) End();
  return error;
}

void UpdateTurn::End() {
  if (locked_) RegUnlockKey(dataKey_);
  locked_ = false;
}

// While a pass is under way the service is at work, however long it takes; between passes it
// is given kLongestIdleService to begin the next.
DWORD UpdateTurn::WaitUntilLastRequestRead(Clock::time_point deadline) {
  KeyWatch watch(dataKey_);
  bool firstLook = true;
  std::optional<DWORD> lastSerial;
  Clock::time_point idleDeadline;
  while (UpdateFlagRaised(dataKey_)) {
    std::optional<DWORD> serial = packet::ReadDwordValue(dataKey_, packet::kProcListSerialValue);
    bool passUnderWay = serial && packet::IsPassUnderWay(*serial);
    if (firstLook || serial != lastSerial) {
      idleDeadline = Clock::now() + LongestWait(kLongestIdleService);
    }
    firstLook = false;
    lastSerial = serial;
    Clock::time_point until = passUnderWay ? deadline : std::min(deadline, idleDeadline);
    if (Clock::now() >= until) return ERROR_SERVICE_REQUEST_TIMEOUT;
    watch.WaitForChange(until);
  }
  return ERROR_SUCCESS;
}

}  // namespace tesmar::client
