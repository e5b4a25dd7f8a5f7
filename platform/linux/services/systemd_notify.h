// The readiness protocol of systemd (sd_notify) for a service process systemd started: one
// datagram to the socket NOTIFY_SOCKET names. Written here rather than taken from libsystemd:
// it is one sendto.
#pragma once

#include <string_view>

namespace tesmar::platform {

// Sends the state ("READY=1", "STOPPING=1") when systemd started this process for a service of
// the manager (the unit's environment says so) and gave it a socket; nothing otherwise.
void NotifySystemd(std::string_view state);

}  // namespace tesmar::platform
