// Which machine a name names: this one, or another. Both the registry (RegConnectRegistry) and
// the service manager (OpenSCManager) ask here; a name for another machine is where a channel to
// that machine is opened (remote/channel.h).
#pragma once

#include <string_view>

namespace tesmar::platform {

// No name, an empty name, ".", "localhost", or this host's name, full or up to its first dot,
// with or without leading backslashes ("\\host"), compared without regard to case.
bool IsLocalMachineName(const char16_t* machineName);
bool IsLocalMachineName(std::u16string_view machineName, std::string_view hostName);

}  // namespace tesmar::platform
