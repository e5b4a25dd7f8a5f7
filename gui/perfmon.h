// What PerfMon starts: the system monitors a Linux desktop offers, in the order they are tried,
// and the message for a start that failed.
#pragma once

#include <QString>
#include <span>

#include "platform/win32_types.h"

namespace tesmar::gui {

// Tried in this order; the next only when one is not found.
std::span<const char* const> SystemMonitors();

// The message for a WinExec result of 31 or below.
QString PerfMonFailureText(UINT result);

}  // namespace tesmar::gui
