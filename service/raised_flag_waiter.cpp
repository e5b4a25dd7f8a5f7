#include "raised_flag_waiter.h"

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/threading.h"

namespace tesmar::service {
namespace {

// Without a change notification the worker still looks at the flags this often, rather than
// never again.
constexpr DWORD kLookIntervalWithoutNotification = 1000;

}  // namespace

RaisedFlagWaiter::RaisedFlagWaiter()
    : valueChanged_(CreateEventW(nullptr, /*manualReset=*/FALSE, /*initialState=*/FALSE, nullptr)) {
}

// The notification is armed before the flags are tested, and the wait is on its event. A flag
// raised at any moment after the test is then a change the event reports; one raised before it
// is seen by the test itself. A notification armed only when the worker is about to block would
// miss a flag raised while it was busy with the previous request, and on a machine where
// nothing else writes the registry that request would wait for ever. The cost is that the
// worker's own writes (lowering a flag, publishing ProcList) may wake it for one look that finds
// nothing.
std::optional<RaisedFlag> RaisedFlagWaiter::WaitForRaisedFlag(HKEY dataKey,
                                                              packet::PublicationCounter& counter,
                                                              UpdateRequest& request) {
  while (!stopRequested_) {
    bool armed = ArmChangeNotification();
    if (packet::TakeRaisedFlag(dataKey, packet::kUpdateFlagValue, counter,
                               [&] { request = ReadUpdateRequest(dataKey); })) {
      return RaisedFlag::Update;
    }
    if (packet::TakeRaisedFlag(dataKey, packet::kRefreshFlagValue, counter)) {
      return RaisedFlag::Refresh;
    }
    if (stopRequested_) break;
    if (!valueChanged_) {
      Sleep(kLookIntervalWithoutNotification);
    } else {
      WaitForSingleObject(valueChanged_.get(), armed ? INFINITE : kLookIntervalWithoutNotification);
    }
  }
  return std::nullopt;
}

void RaisedFlagWaiter::Stop() {
  stopRequested_ = true;
  if (valueChanged_) SetEvent(valueChanged_.get());
}

bool RaisedFlagWaiter::ArmChangeNotification() {
  if (!valueChanged_) return false;
  return RegNotifyChangeKeyValue(HKEY_LOCAL_MACHINE, TRUE, REG_NOTIFY_CHANGE_LAST_SET,
                                 valueChanged_.get(), TRUE) == ERROR_SUCCESS;
}

}  // namespace tesmar::service
