#include "radio_button.h"

namespace tesmar::gui {

RadioButton::RadioButton(const QString& text, bool automatic, QWidget* parent)
    : QRadioButton(text, parent), automatic_(automatic) {
  setAutoExclusive(false);
}

void RadioButton::nextCheckState() {
  if (!automatic_) return;
  for (RadioButton* other : group_) {
    if (other != this) other->setChecked(false);
  }
  setChecked(true);
}

}  // namespace tesmar::gui
