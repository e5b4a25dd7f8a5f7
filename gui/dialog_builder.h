// Turns a dialog template into the widgets of a dialog: the title and font, each control at its
// rectangle converted from dialog units, objectName = its id, tab order = template order, radio
// groups from WS_GROUP, labels whose mnemonic moves the focus to the next control, and the
// dialog at its fixed size. Group boxes only frame the controls: they parent nothing.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "dialog_template.h"
#include "dialog_units.h"

class QDialog;

namespace tesmar::gui {

class ListBox;

// Makes the list box of a control when a dialog binds a list box class of its own to it; null
// leaves the control to the builder.
using ListBoxMaker = std::function<ListBox*(const ControlTemplate& control, QWidget* parent)>;

class DialogControls {
 public:
  // The control with the id; null when the template has none. For an id that several controls
  // share (IDC_STATIC), the first of them.
  QWidget* Item(int id) const;
  template <typename Widget>
  Widget* Item(int id) const {
    return qobject_cast<Widget*>(Item(id));
  }
  // Every control with the id, in template order.
  std::vector<QWidget*> Items(int id) const;
  const std::vector<QWidget*>& all() const { return all_; }

  // EnableWindow, CheckDlgButton, SetDlgItemText, IsDlgButtonChecked for a control by id.
  void Enable(int id, bool enabled) const;
  void Check(int id, bool checked) const;
  bool IsChecked(int id) const;
  void SetText(int id, const QString& text) const;
  QString Text(int id) const;

 private:
  friend DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                    const ListBoxMaker& makeListBox);
  std::multimap<int, QWidget*> byId_;
  std::vector<QWidget*> all_;
};

// The controls get the dialog as parent; the returned map names them.
DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                           const ListBoxMaker& makeListBox = nullptr);

// The dialog units of a dialog built from a template (from its font).
DialogUnits UnitsOf(const QWidget& dialog);

}  // namespace tesmar::gui
