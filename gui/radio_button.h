// A radio button that keeps the Win32 rules instead of Qt's exclusive groups: the program may
// check or clear any button, all of a group included; a click on an automatic button checks it
// and clears the others of its group, a click on a plain one changes nothing by itself.
#pragma once

#include <QRadioButton>
#include <vector>

namespace tesmar::gui {

class RadioButton : public QRadioButton {
  Q_OBJECT

 public:
  RadioButton(const QString& text, bool automatic, QWidget* parent);

  bool automatic() const { return automatic_; }
  // The buttons of its group, itself among them.
  void SetGroup(std::vector<RadioButton*> group) { group_ = std::move(group); }

 protected:
  void nextCheckState() override;

 private:
  bool automatic_;
  std::vector<RadioButton*> group_;
};

}  // namespace tesmar::gui
