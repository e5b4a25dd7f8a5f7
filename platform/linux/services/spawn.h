// Starting a service process the way a service manager does: detached from the caller (a
// session of its own, not the caller's child, so it outlives the caller and is never left as
// the caller's zombie), standard input and output on /dev/null, standard error appended to a
// log, working directory "/", signals unblocked and at their defaults.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "processes/process_identity.h"

namespace tesmar::platform {

// Name of the variable that gives the service the descriptor it writes one byte to once its
// dispatcher is connected (then closes it).
inline constexpr char kServiceReadyDescriptorVariable[] = "TESMAR_SERVICE_READY_FD";

struct SpawnedService {
  ProcessIdentity process;
  int readyDescriptor = -1;  // read end; end of file without a byte: it never connected
};

// commandLine[0] is the program (not searched in PATH). environment holds NAME=value entries
// that replace those of the caller's environment. A Win32 error, or 0 with *spawned filled in.
DWORD SpawnDetachedService(const std::vector<std::string>& commandLine,
                           const std::vector<std::string>& environment,
                           const std::string& errorLogPath, SpawnedService* spawned);

}  // namespace tesmar::platform
