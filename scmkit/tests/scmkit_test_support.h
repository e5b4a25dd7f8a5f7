// What the Scmkit tests share beyond the test-support library: the installer's command.
#pragma once

#include "Scmkit.h"
#include "platform/win32_types.h"

namespace tesmar::scmkit::testing {

inline constexpr char kServiceName[] = "KaltrixTesmar";

inline DWORD RunCommand(DWORD code, const char* argument) {
  return SerSetupCmd(nullptr, &code, argument);
}

}  // namespace tesmar::scmkit::testing
