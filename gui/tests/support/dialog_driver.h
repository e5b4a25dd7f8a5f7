// Driving a dialog as an operator does, through Qt's own input events: clicks at a control's
// centre, double clicks, keys, and a dialog run modally with actions that run inside its loop.
#pragma once

#include <QString>
#include <functional>

#include "dialog_builder.h"
#include "qstring_printer.h"

class QDialog;
class QWidget;

namespace tesmar::gui::testing {

// Shows the window and waits until it is the active one, so that focus moves as an operator's
// clicks move it.
bool ShowActive(QWidget& window);

void Click(QWidget* control);
void DoubleClick(QWidget* control);
// A click on the entry at that position of a list box, with keyboard modifiers.
void ClickEntry(QWidget* list, int position, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A double click on the entry at that position of a list box.
void DoubleClickEntry(QWidget* list, int position);
void PressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Runs the dialog's exec() with the action queued to run once its loop turns; returns what exec
// returned. The action must end the dialog.
int ExecWith(QDialog& dialog, std::function<void()> action);

// Runs `open`, a command that opens a modal dialog, with the action run on that dialog once its
// loop turns (null when no modal dialog is there); the action must end it. False when the action
// never ran (no dialog went modal); it is not run later.
bool WithNextModal(const std::function<void()>& open,
                   const std::function<void(QWidget* modal)>& action);

// Writes QWidget::grab() of the widget to gui-shots/<name>.png in the build folder.
void SaveShot(QWidget& widget, const QString& name);

}  // namespace tesmar::gui::testing
