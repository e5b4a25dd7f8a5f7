// The main dialog's online help, as the operator reads it (typos and blanks at line ends kept).
#pragma once

namespace tesmar::gui {

// Its 25 lines joined by "\n", no line break after the last.
extern const char kMainHelpText[];

}  // namespace tesmar::gui
