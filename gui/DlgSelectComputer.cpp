#include "DlgSelectComputer.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "dialog_resources.h"
#include "list_box.h"
#include "select_computer_dialog_ids.h"

namespace tesmar::gui {

using namespace select_computer_dialog;

CDlgSelectComputer::CDlgSelectComputer(QStringList candidates, QWidget* owner) : QDialog(owner) {
  controls_ = BuildDialog(*this, SelectComputerDialogTemplate());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  Candidates = controls_.Item<ListBox>(IDC_CANDIDATES);
  std::vector<ListEntry> entries;
  for (const QString& candidate : candidates) entries.push_back({candidate, 0});
  Candidates->SetEntries(std::move(entries));
  auto* name = controls_.Item<QLineEdit>(IDC_NAME);
  connect(name, &QLineEdit::textChanged, this, &CDlgSelectComputer::EnableOk);
  connect(Candidates, &ListBox::SelectionChanged, this, &CDlgSelectComputer::OnCandidate);
  connect(Candidates, &ListBox::DoubleClicked, this, [this] {
    OnCandidate();
    accept();
  });
  connect(controls_.Item<QAbstractButton>(IDC_OK), &QAbstractButton::clicked, this,
          &CDlgSelectComputer::accept);
  connect(controls_.Item<QAbstractButton>(IDC_CANCEL), &QAbstractButton::clicked, this,
          &CDlgSelectComputer::reject);
  EnableOk();
  name->setFocus();
}

void CDlgSelectComputer::OnCandidate() {
  int position = Candidates->GetCurSel();
  if (position >= 0) controls_.SetText(IDC_NAME, Candidates->GetText(position));
}

void CDlgSelectComputer::EnableOk() {
  controls_.Enable(IDC_OK, !controls_.Text(IDC_NAME).trimmed().isEmpty());
}

void CDlgSelectComputer::accept() {
  QString name = controls_.Text(IDC_NAME).trimmed();
  if (name.isEmpty()) return;
  chosen_ = name;
  QDialog::accept();
}

}  // namespace tesmar::gui
