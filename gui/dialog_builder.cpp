#include "dialog_builder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app_icon.h"
#include "dialog_font.h"
#include "list_box.h"
#include "radio_button.h"

namespace tesmar::gui {
namespace {

QWidget* MakeControl(const ControlTemplate& control, QDialog& dialog,
                     const ListBoxMaker& makeListBox) {
  QString caption = QString::fromUtf8(control.caption ? control.caption : "");
  switch (control.kind) {
    case ControlKind::GroupBox: {
      auto* box = new QGroupBox(caption, &dialog);
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      box->setFocusPolicy(Qt::NoFocus);
      return box;
    }
    case ControlKind::Label:
      return new QLabel(caption, &dialog);
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
      auto* button = new QPushButton(caption, &dialog);
      button->setAutoDefault(true);
      button->setDefault(control.kind == ControlKind::DefaultPushButton);
      return button;
    }
    case ControlKind::AutoRadioButton:
    case ControlKind::RadioButton:
      return new RadioButton(caption, control.kind == ControlKind::AutoRadioButton, &dialog);
    case ControlKind::AutoCheckBox: {
      auto* box = new QCheckBox(caption, &dialog);
      if (control.style & BS_LEFTTEXT) box->setLayoutDirection(Qt::RightToLeft);
      return box;
    }
    case ControlKind::ListBox: {
      ListBox* list = makeListBox ? makeListBox(control, &dialog) : nullptr;
      if (!list) list = new ListBox(control.style, &dialog);
      list->setFrameShape((control.style & WS_BORDER) ? QFrame::Box : QFrame::NoFrame);
      list->setFrameShadow(QFrame::Plain);
      if (!(control.style & WS_VSCROLL)) list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      if (!(control.style & WS_HSCROLL)) {
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      }
      return list;
    }
    case ControlKind::Icon: {
      auto* icon = new QLabel(&dialog);
      icon->setPixmap(ApplicationIcon().pixmap(32, 32));
      icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return icon;
    }
    case ControlKind::EtchedLine: {
      auto* line = new QFrame(&dialog);
      line->setFrameShape(QFrame::HLine);
      line->setFrameShadow(QFrame::Sunken);
      return line;
    }
    case ControlKind::EditText:
      return new QLineEdit(&dialog);
  }
  return nullptr;
}

bool TakesFocus(const QWidget* widget) {
  return widget->focusPolicy() != Qt::NoFocus && !qobject_cast<const QLabel*>(widget) &&
         !qobject_cast<const QGroupBox*>(widget);
}

// Radio buttons of one group: from a button with WS_GROUP (or the first after a control that is
// no radio button) up to the next control with WS_GROUP.
void FormRadioGroups(const DialogTemplate& dialogTemplate, const std::vector<QWidget*>& widgets) {
  std::vector<RadioButton*> group;
  auto close = [&group] {
    for (RadioButton* button : group) button->SetGroup(group);
    group.clear();
  };
  for (size_t i = 0; i < widgets.size(); ++i) {
    auto* radio = qobject_cast<RadioButton*>(widgets[i]);
    if (!radio || (dialogTemplate.controls[i].style & WS_GROUP)) close();
    if (radio) group.push_back(radio);
  }
  close();
}

}  // namespace

QWidget* DialogControls::Item(int id) const {
  auto found = byId_.find(id);
  return found == byId_.end() ? nullptr : found->second;
}

std::vector<QWidget*> DialogControls::Items(int id) const {
  std::vector<QWidget*> items;
  auto [first, last] = byId_.equal_range(id);
  for (auto it = first; it != last; ++it) items.push_back(it->second);
  return items;
}

void DialogControls::Enable(int id, bool enabled) const {
  if (QWidget* item = Item(id)) item->setEnabled(enabled);
}

void DialogControls::Check(int id, bool checked) const {
  if (auto* button = Item<QAbstractButton>(id)) button->setChecked(checked);
}

bool DialogControls::IsChecked(int id) const {
  auto* button = Item<QAbstractButton>(id);
  return button && button->isChecked();
}

void DialogControls::SetText(int id, const QString& text) const {
  QWidget* item = Item(id);
  if (auto* button = qobject_cast<QAbstractButton*>(item)) button->setText(text);
  if (auto* label = qobject_cast<QLabel*>(item)) label->setText(text);
  if (auto* box = qobject_cast<QGroupBox*>(item)) box->setTitle(text);
  if (auto* field = qobject_cast<QLineEdit*>(item)) field->setText(text);
}

QString DialogControls::Text(int id) const {
  QWidget* item = Item(id);
  if (auto* button = qobject_cast<QAbstractButton*>(item)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(item)) return label->text();
  if (auto* box = qobject_cast<QGroupBox*>(item)) return box->title();
  if (auto* field = qobject_cast<QLineEdit*>(item)) return field->text();
  return {};
}

DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                           const ListBoxMaker& makeListBox) {
  dialog.setWindowTitle(QString::fromUtf8(dialogTemplate.title));
  dialog.setFont(DialogFont());
  DialogUnits units(dialog.font());

  DialogControls controls;
  for (const ControlTemplate& control : dialogTemplate.controls) {
    QWidget* widget = MakeControl(control, dialog, makeListBox);
    widget->setObjectName(QString::number(control.id));
    widget->setGeometry(units.ToPixels(control.x, control.y, control.cx, control.cy));
    if (control.style & WS_DISABLED) widget->setEnabled(false);
    // Until the dialog sets its own, a list's tab stops lie every 32 dialog units.
    if (auto* list = qobject_cast<ListBox*>(widget)) list->SetTabStop(units.ToPixelsX(32));
    controls.byId_.emplace(control.id, widget);
    controls.all_.push_back(widget);
  }
  FormRadioGroups(dialogTemplate, controls.all_);

  QWidget* previous = nullptr;
  for (size_t i = 0; i < controls.all_.size(); ++i) {
    QWidget* widget = controls.all_[i];
    if (TakesFocus(widget)) {
      if (previous) QWidget::setTabOrder(previous, widget);
      previous = widget;
    }
    // A label's mnemonic moves the focus to the next control that takes it.
    auto* label = qobject_cast<QLabel*>(widget);
    if (label && label->text().contains(u'&')) {
      for (size_t j = i + 1; j < controls.all_.size(); ++j) {
        if (TakesFocus(controls.all_[j])) {
          label->setBuddy(controls.all_[j]);
          break;
        }
      }
    }
  }

  dialog.setFixedSize(units.ToPixelsX(dialogTemplate.cx), units.ToPixelsY(dialogTemplate.cy));
  return controls;
}

DialogUnits UnitsOf(const QWidget& dialog) {
  return DialogUnits(dialog.font());
}

}  // namespace tesmar::gui
