// Which machine names mean this machine for the service manager.
#pragma once

#include <string_view>

namespace tesmar::platform {

// No name, an empty name or this host's name, with or without leading backslashes ("\\host"),
// compared without regard to case.
bool IsLocalMachineName(const char16_t* machineName);
bool IsLocalMachineName(std::u16string_view machineName, std::string_view hostName);

}  // namespace tesmar::platform
