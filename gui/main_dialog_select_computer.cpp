// Select Computer: a session on the computer the operator chooses replaces the current one only
// once it is connected; every failure leaves the computer, session and title as they were.
#include <QApplication>

#include "DlgAddProcs.h"
#include "TesmarGuiDlg.h"
#include "computer_browser.h"
#include "main_dialog_ids.h"
#include "message_box.h"
#include "system_text.h"

namespace tesmar::gui {

using namespace main_dialog;

void CTesmarGuiDlg::OnSelectComputer() {
  RemoteSelectFailed = 0;
  QString name;
  if (!BrowseForComputer(this, name)) {
    RemoteSelectFailed = 1;
    return;
  }
  // The whole name after its backslashes: a name cut short could reach another host.
  name = name.mid(2);
  TesmarSession* session = TesmarOpen(0);
  if (!session) {
    ShowApplicationMessageBox(QStringLiteral("TesmarOpen Error"), MB_OK);
    RemoteSelectFailed = 1;
    return;
  }
  std::u16string machine = name.toStdU16String();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  INT error = TesmarConnect(session, machine.c_str());
  QApplication::restoreOverrideCursor();
  if (error != 0) {
    ShowApplicationMessageBox(SystemMessageText(static_cast<DWORD>(error)), MB_OK);
    RemoteSelectFailed = 1;
    TesmarClose(session);
    return;
  }

  TesmarClose(Session);
  Session = session;
  RemoteComputerName = name;
  setWindowTitle(QStringLiteral("Tesmar - ") + name);
  TesmarRefresh(Session);
  WatchEditor->EditorSession = Session;
  WatchEditor->TitleSuffix = name;
  CpuCount = TesmarGetProcessorCount(Session);
  for (int p = 0; p < kProcessorBoxes; ++p) {
    controls_.Check(IDC_PROCESSOR_FIRST + p, false);
    controls_.Enable(IDC_PROCESSOR_FIRST + p, false);
  }
  ConnectionMode = 1;
  FillProcessList();
}

}  // namespace tesmar::gui
