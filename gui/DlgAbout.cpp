#include "DlgAbout.h"

#include <QAbstractButton>

#include "about_dialog_ids.h"
#include "build_version.h"
#include "dialog_resources.h"

namespace tesmar::gui {

using namespace about_dialog;

QString MemoryText(uint64_t bytes) {
  return QString::number(bytes / 1024) + QStringLiteral(" K");
}

QString BuildText() {
  return QStringLiteral("Build %1, commit %2")
      .arg(QString::fromLatin1(TESMAR_BUILD_VERSION), QString::fromLatin1(TESMAR_BUILD_COMMIT));
}

CDlgAbout::CDlgAbout(MemoryStatusReader reader) : QDialog(nullptr), reader_(std::move(reader)) {
  controls_ = BuildDialog(*this, AboutDialogTemplate());
  // A caption and a window menu, no minimize or maximize box.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  controls_.SetText(IDC_BUILD, BuildText());
  connect(controls_.Item<QAbstractButton>(IDC_OK), &QAbstractButton::clicked, this,
          &QDialog::accept);
}

bool CDlgAbout::OnInitDialog() {
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  reader_(&status);
  controls_.SetText(IDC_TOTAL_MEMORY, MemoryText(status.dwTotalPhys));
  controls_.SetText(IDC_AVAILABLE_MEMORY, MemoryText(status.dwAvailPhys));
  controls_.Item(IDC_OK)->setFocus();
  return true;
}

int CDlgAbout::DoModal() {
  OnInitDialog();
  return exec();
}

}  // namespace tesmar::gui
