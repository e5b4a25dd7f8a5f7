// The one message box of Setup and Uninstall, with Win32 flags and results: a Qt message box
// where a display is set; the terminal where standard input is one (the question on standard
// error, the answer read from standard input); with neither, the text on standard error and
// the default button as the answer.
#pragma once

#include <functional>
#include <string>

#include "platform/message_box_flags.h"
#include "platform/win32_types.h"

namespace tesmar::install {

// MessageBoxA without an owner window: the button chosen.
int ShowOperatorMessage(const std::string& text, const std::string& caption, UINT flags);

// What shows a message: ShowOperatorMessage, or a test's stand-in.
using OperatorMessage =
    std::function<int(const std::string& text, const std::string& caption, UINT flags)>;

}  // namespace tesmar::install
