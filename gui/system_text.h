// Texts the GUI asks the platform for: the system message of an error number and this
// computer's name.
#pragma once

#include <QString>

#include "platform/win32_types.h"

namespace tesmar::gui {

// FormatMessageW's text for the number, without its line break; for a number the system has no
// text for, one that names the number.
QString SystemMessageText(DWORD error);

// GetComputerNameW's answer; empty when it fails.
QString LocalComputerName();

}  // namespace tesmar::gui
