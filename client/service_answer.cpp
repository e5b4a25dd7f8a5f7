#include "service_answer.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/threading.h"
#include "session.h"

namespace tesmar::client {
namespace {

using Clock = std::chrono::steady_clock;

DWORD MillisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

}  // namespace

ServiceAnswer::ServiceAnswer(HKEY dataKey) : dataKey_(dataKey) {
  if (RegOpenKeyExW(dataKey_, nullptr, 0, KEY_NOTIFY | KEY_QUERY_VALUE, &watchKey_) !=
      ERROR_SUCCESS) {
    watchKey_ = nullptr;
    return;
  }
  changed_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  armed_ = changed_ && Arm();
  if (armed_) before_ = ReadBinaryValue(dataKey_, ProcListValue);
}

ServiceAnswer::~ServiceAnswer() {
  if (watchKey_) RegCloseKey(watchKey_);
  if (changed_) CloseHandle(changed_);
}

bool ServiceAnswer::Arm() {
  return RegNotifyChangeKeyValue(watchKey_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed_, TRUE) ==
         ERROR_SUCCESS;
}

bool ServiceAnswer::FlagTaken(LPCWSTR flag) const {
  DWORD value = 0, size = sizeof value;
  LSTATUS status =
      RegQueryValueExW(dataKey_, flag, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
  return status == ERROR_SUCCESS && value != 1;
}

// A service fast enough to take the flag and publish before this side could watch again leaves
// no change to be told of; a ProcList that differs from the one before the flag went up shows
// that it did.
bool ServiceAnswer::PublishedSinceStart() {
  ValueBytes now = ReadBinaryValue(dataKey_, ProcListValue);
  if (now.failure != ValueBytes::Failure::None) return false;
  bool differs = before_.failure != ValueBytes::Failure::None || now.size != before_.size ||
                 std::memcmp(now.bytes.get(), before_.bytes.get(), now.size) != 0;
  if (differs) published_ = std::move(now);
  return differs;
}

bool ServiceAnswer::Wait(LPCWSTR flag) {
  const Clock::time_point deadline = Clock::now() + LongestAnswerWait;
  if (!armed_) {
    Sleep(MillisecondsUntil(deadline));
    return false;
  }
  // Every wake re-arms the watch before anything is concluded, so a write that lands while this
  // loop looks at the key fires the next watch. The flag is read before re-arming: once it was
  // seen taken then, any write the new watch reports came after the service took it, and the
  // only write the service makes after taking a flag is its ProcList.
  bool takenBeforeArm = false;
  for (;;) {
    DWORD left = MillisecondsUntil(deadline);
    if (left == 0) return false;
    DWORD waited = WaitForSingleObject(changed_, left);
    if (waited == WAIT_TIMEOUT) return false;
    if (waited != WAIT_OBJECT_0) {
      Sleep(MillisecondsUntil(deadline));
      return false;
    }
    if (takenBeforeArm) return true;
    takenBeforeArm = FlagTaken(flag);
    if (!Arm()) {
      Sleep(MillisecondsUntil(deadline));
      return false;
    }
    if (takenBeforeArm && PublishedSinceStart()) return true;
  }
}

}  // namespace tesmar::client
