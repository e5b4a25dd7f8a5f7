// The application's resources: its dialog templates and strings, by resource number.
#pragma once

#include "dialog_template.h"

namespace tesmar::gui {

// 100: the about box.
const DialogTemplate& AboutDialogTemplate();
// 129: the startup dialog.
const DialogTemplate& StartupDialogTemplate();
// 130: the watch-list editor.
const DialogTemplate& EditorDialogTemplate();
// 131: the main dialog.
const DialogTemplate& MainDialogTemplate();

// 132: the computer browser.
const DialogTemplate& SelectComputerDialogTemplate();

// String 101: the window menu's about item.
inline constexpr char kAboutMenuText[] = "&About Kaltrix Tesmar";

}  // namespace tesmar::gui
