// How the worker thread learns that a client raised UpdateFlag or RefreshFlag in the Data key.
//
// A client raises a flag by writing 1; the worker lowers it to 0 when it acts on it. Clients get
// no acknowledgement, so a raised flag must never go unnoticed, however busy the worker was when
// it was raised.
#pragma once

#include "platform/registry.h"
#include "platform/win32_types.h"

namespace tesmar::service {

enum class RaisedFlag { Update, Refresh };

// True when the value holds 1 (read into 4 bytes, whatever its type) and writing it back as
// REG_DWORD 0 succeeded.
bool TestAndLowerFlag(HKEY dataKey, LPCWSTR valueName);

class RaisedFlagWaiter {
 public:
  RaisedFlagWaiter();
  ~RaisedFlagWaiter();
  RaisedFlagWaiter(const RaisedFlagWaiter&) = delete;
  RaisedFlagWaiter& operator=(const RaisedFlagWaiter&) = delete;

  // Blocks until a flag of the Data key is raised, lowers it and tells which. UpdateFlag is
  // tested first; when both are raised, RefreshFlag stays raised for the next call.
  RaisedFlag WaitForRaisedFlag(HKEY dataKey);

 private:
  bool ArmChangeNotification();

  HANDLE valueChanged_ = nullptr;
};

}  // namespace tesmar::service
