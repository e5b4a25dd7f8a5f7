// The computer browser: a field for a computer's name and the computers known to this user
// (computer_candidates.h) to pick from. A click on one puts it into the field, a double click
// chooses it; OK chooses what the field holds, Cancel nothing.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "dialog_builder.h"

namespace tesmar::gui {

class ListBox;

class CDlgSelectComputer : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgSelectComputer(QStringList candidates, QWidget* owner = nullptr);

  // The name chosen, as typed or picked (blanks at its ends dropped); empty before OK.
  const QString& chosen() const { return chosen_; }
  const DialogControls& controls() const { return controls_; }
  ListBox& candidateList() const { return *Candidates; }

 protected:
  void accept() override;

 private:
  void OnCandidate();
  void EnableOk();

  DialogControls controls_;
  ListBox* Candidates = nullptr;
  QString chosen_;
};

}  // namespace tesmar::gui
