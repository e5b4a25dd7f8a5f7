#include "TesmarGui.h"

#include "DlgStartup.h"
#include "TesmarGuiDlg.h"
#include "message_box.h"

namespace tesmar::gui {

void CTesmarGuiApp::InitInstance() {
  while (RunOnce()) {
  }
}

void CTesmarGuiApp::CloseSession() {
  if (session_) hooks_.close(session_);
  session_ = nullptr;
}

bool CTesmarGuiApp::RunOnce() {
  session_ = hooks_.open(0);
  if (!session_) {
    ShowApplicationMessageBox(QStringLiteral("TesmarOpen Failed. Cannot Continue."),
                              MB_OK | MB_ICONSTOP);
    return false;
  }

  INT mode;
  {
    CDlgStartup startup(session_);
    startup.OnInitDialog();
    if (hooks_.beforeModal) hooks_.beforeModal(startup);
    if (startup.exec() != IDOK) {
      CloseSession();
      return false;
    }
    mode = startup.connectionMode();
  }

  CTesmarGuiDlg dialog;
  dialog.ConnectionMode = mode;
  if (mode == kConnectDemo) {
    CloseSession();
    session_ = hooks_.open(1);
  }
  dialog.Session = session_;
  int result = IDCANCEL;
  if (dialog.OnInitDialog()) {
    if (hooks_.beforeModal) hooks_.beforeModal(dialog);
    result = dialog.exec();
  } else {
    result = dialog.result();
  }
  session_ = dialog.Session;
  CloseSession();
  return result == IDCANCEL;
}

}  // namespace tesmar::gui
