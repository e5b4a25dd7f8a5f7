// A client's turn to send its copy: clients of one Data key take turns with UpdateList, so that
// no request overwrites another that the service has not read yet.
//
// The turn is the Data key's lock (RegLockKey) and a lowered UpdateFlag: the service reads
// UpdateList before it lowers the flag, so once the flag is down the last request is read and
// the key's UpdateList may be written again. The turn ends when the object goes, or at End().
#pragma once

#include <chrono>

#include "platform/registry.h"
#include "platform/win32_types.h"

namespace tesmar::client {

// The longest a client waits for its turn: for the lock, and for the flag to come down.
inline constexpr std::chrono::seconds kLongestTurnWait{30};
// A raised flag with no pass under way and none begun for this long: nobody serves the key (a
// stopped service whose last request still waits), and the turn is given up. A longer longest
// answer wait (TESMAR_LONGEST_ANSWER_WAIT) lengthens both.
inline constexpr std::chrono::seconds kLongestIdleService{5};

class UpdateTurn {
 public:
  explicit UpdateTurn(HKEY dataKey) : dataKey_(dataKey) {}
  ~UpdateTurn() { End(); }
  UpdateTurn(const UpdateTurn&) = delete;
  UpdateTurn& operator=(const UpdateTurn&) = delete;

  // 0 once it is the caller's turn; the registry's error when the lock cannot be had
  // (ERROR_TIMEOUT after the longest wait), ERROR_SERVICE_REQUEST_TIMEOUT when the last request
  // was not taken in time.
  DWORD Take();
  void End();

 private:
  DWORD WaitUntilLastRequestRead(std::chrono::steady_clock::time_point deadline);

  HKEY dataKey_;
  bool locked_ = false;
};

}  // namespace tesmar::client
