// The main dialog's commands that leave its state alone: the help text, the about box (from its
// button and from the window menu), and the question before the dialog is cancelled.
#include <QContextMenuEvent>
#include <QMenu>

#include "DlgAbout.h"
#include "TesmarGuiDlg.h"
#include "dialog_resources.h"
#include "help_text.h"
#include "message_box.h"

namespace tesmar::gui {

void CTesmarGuiDlg::OnHelp() {
  ShowMessageBox(this, QString::fromLatin1(kMainHelpText), QStringLiteral("Tesmar - Online Help"),
                 MB_OK | MB_ICONINFORMATION);
}

void CTesmarGuiDlg::OnAbout() {
  CDlgAbout about;
  about.DoModal();
}

void CTesmarGuiDlg::OnSysCommand(unsigned command) {
  // The window manager handles every other command of its menu itself.
  if ((command & 0xFFF0u) == kAboutCommand) OnAbout();
}

void CTesmarGuiDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Qt offers no way into the window manager's menu, so the about item sits in a context menu.
  QMenu menu(this);
  QAction* about = menu.addAction(QString::fromLatin1(kAboutMenuText));
  if (menu.exec(event->globalPos()) == about) OnSysCommand(kAboutCommand);
}

// Esc, the close box and the window menu's Close: the operator confirms before the dialog ends
// (and the application shows its startup dialog again).
void CTesmarGuiDlg::reject() {
  if (ShowApplicationMessageBox(QStringLiteral("Exit Application?"),
                                MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
    done(IDCANCEL);
  }
}

}  // namespace tesmar::gui
