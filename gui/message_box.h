// Message boxes with Win32 flags and results, through one function that a test can answer in
// place of the operator (SetMessageBoxHandler), so that every text, caption and flag shown is
// seen and every answer chosen.
#pragma once

#include <QString>
#include <functional>

#include "platform/message_box_flags.h"
#include "platform/win32_types.h"

class QWidget;

namespace tesmar::gui {

// The application's title: the caption of the boxes the application itself shows.
inline constexpr char kApplicationTitle[] = "TesmarGui";

struct MessageBoxCall {
  QWidget* owner;  // null: no owner window
  QString text;
  QString caption;
  UINT flags;
};

using MessageBoxHandler = std::function<int(const MessageBoxCall&)>;

// MessageBoxW: shows the box modally and returns the button chosen (IDOK, IDCANCEL, IDYES...).
int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, UINT flags);
// The application's message box: its title as caption, no owner.
int ShowApplicationMessageBox(const QString& text, UINT flags);

// Replaces what shows the boxes; an empty handler puts the real boxes back. Returns the one
// that was in place.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace tesmar::gui
