// How the worker thread learns that a client raised UpdateFlag or RefreshFlag in the Data key.
//
// A client raises a flag by writing 1; the worker takes it (packet/publication.h): a numbered
// pass begins and the flag is lowered. Clients learn of the answer only from that numbering, so
// a raised flag must never go unnoticed, however busy the worker was when it was raised.
#pragma once

#include <atomic>
#include <optional>

#include "packet/publication.h"
#include "packet_engine.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/win32_types.h"

namespace tesmar::service {

enum class RaisedFlag { Update, Refresh };

class RaisedFlagWaiter {
 public:
  RaisedFlagWaiter();
  RaisedFlagWaiter(const RaisedFlagWaiter&) = delete;
  RaisedFlagWaiter& operator=(const RaisedFlagWaiter&) = delete;

  // Blocks until a flag of the Data key is raised, takes it and tells which; the pass it began
  // is the caller's to end. UpdateFlag is tested first, and its request is read into request
  // before the flag goes down; when both are raised, RefreshFlag stays raised for the next call.
  // None once Stop was asked.
  std::optional<RaisedFlag> WaitForRaisedFlag(HKEY dataKey, packet::PublicationCounter& counter,
                                              UpdateRequest& request);

  // Ends the wait under way, and every later one, at once. Any thread may ask.
  void Stop();

 private:
  bool ArmChangeNotification();

  platform::OwnedHandle valueChanged_;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace tesmar::service
