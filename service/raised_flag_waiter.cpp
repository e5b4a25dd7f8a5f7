#include "raised_flag_waiter.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/threading.h"

namespace tesmar::service {
namespace {

constexpr char16_t kUpdateFlag[] = u"UpdateFlag";
constexpr char16_t kRefreshFlag[] = u"RefreshFlag";
constexpr DWORD kRaised = 1;

// Without a change notification the worker still looks at the flags this often, rather than
// never again.
constexpr DWORD kLookIntervalWithoutNotification = 1000;

}  // namespace

bool TestAndLowerFlag(HKEY dataKey, LPCWSTR valueName) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExW(dataKey, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS ||
      value != kRaised) {
    return false;
  }
  const DWORD lowered = 0;
  return RegSetValueExW(dataKey, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&lowered),
                        sizeof lowered) == ERROR_SUCCESS;
}

RaisedFlagWaiter::RaisedFlagWaiter()
    : valueChanged_(CreateEventW(nullptr, /*manualReset=*/FALSE, /*initialState=*/FALSE, nullptr)) {
}

RaisedFlagWaiter::~RaisedFlagWaiter() {
  if (valueChanged_) CloseHandle(valueChanged_);
}

// Our own design decision: the notification is armed before the flags are tested, and the wait
// is on its event. A flag raised at any moment after the test is then a change the event reports;
// one raised before it is seen by the test itself. A notification armed only when the worker is
// about to block would miss a flag raised while it was busy with the previous request, and on a
// machine where nothing else writes the registry that request would wait for ever. The cost is
// that the worker's own writes (lowering a flag, publishing ProcList) may wake it for one look
// that finds nothing.
RaisedFlag RaisedFlagWaiter::WaitForRaisedFlag(HKEY dataKey) {
  for (;;) {
    bool armed = ArmChangeNotification();
    if (TestAndLowerFlag(dataKey, kUpdateFlag)) return RaisedFlag::Update;
    if (TestAndLowerFlag(dataKey, kRefreshFlag)) return RaisedFlag::Refresh;
    if (armed) {
      WaitForSingleObject(valueChanged_, INFINITE);
    } else {
      Sleep(kLookIntervalWithoutNotification);
    }
  }
}

bool RaisedFlagWaiter::ArmChangeNotification() {
  if (!valueChanged_) return false;
  return RegNotifyChangeKeyValue(HKEY_LOCAL_MACHINE, TRUE, REG_NOTIFY_CHANGE_LAST_SET,
                                 valueChanged_, TRUE) == ERROR_SUCCESS;
}

}  // namespace tesmar::service
