#include "service_answer.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/threading.h"

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
  }
}

}  // namespace tesmar::client
