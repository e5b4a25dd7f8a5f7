#include "key_watch.h"

#include "platform/errors.h"
#include "platform/threading.h"

namespace tesmar::client {

DWORD MillisecondsUntil(KeyWatch::Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - KeyWatch::Clock::now());
  return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

KeyWatch::KeyWatch(HKEY dataKey) {
  // A handle of its own, so that closing it ends a watch that never fired.
  if (RegOpenKeyExW(dataKey, nullptr, 0, KEY_NOTIFY | KEY_QUERY_VALUE, watchKey_.Receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  changed_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  armed_ = changed_ && Arm();
}

bool KeyWatch::Arm() {
  return RegNotifyChangeKeyValue(watchKey_.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed_.get(),
                                 TRUE) == ERROR_SUCCESS;
}

bool KeyWatch::WaitForChange(Clock::time_point deadline) {
  DWORD left = MillisecondsUntil(deadline);
  if (left == 0) return false;
  if (!armed_) {
    Sleep(left);
    return false;
  }
  DWORD waited = WaitForSingleObject(changed_.get(), left);
  if (waited == WAIT_TIMEOUT) return false;
  if (waited != WAIT_OBJECT_0 || !Arm()) {
    armed_ = false;
    Sleep(MillisecondsUntil(deadline));
    return false;
  }
  return true;
}

}  // namespace tesmar::client
