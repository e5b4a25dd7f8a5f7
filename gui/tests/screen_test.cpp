// The real TesmarGui program in real windows: under Xvfb (xvfb-run), on a machine where the
// real tesmarsr runs and a child is watched, its startup dialog and, after Enter, its main
// dialog are captured from the screen and compared with the dialogs the tests build.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <cstdlib>
#include <string>

#include "DlgStartup.h"
#include "TesmarGuiDlg.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"
#include "watched_process.h"

namespace {

using tesmar::gui::CDlgStartup;
using tesmar::gui::CTesmarGuiDlg;
using tesmar::gui::testing::WatchProcess;
using tesmar::testing::SpawnedThreadHost;

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

QRect PaintedArea(const QImage& screen) {
  QRect painted;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      if ((screen.pixel(x, y) & 0xFFFFFF) != 0) painted |= QRect(x, y, 1, 1);
    }
  }
  return painted;
}

TEST(TesmarGuiOnXvfb, ShowsItsDialogsOnTheScreen) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1 && command -v xdotool >/dev/null 2>&1") !=
      0) {
    GTEST_SKIP() << "xvfb-run or xdotool is not installed (scripts/install-dependencies.sh "
                    "installs them)";
  }
  tesmar::testing::TemporaryMachineRoot machine;
  tesmar::testing::InstalledService service(tesmar::testing::TesmarsrProgram());
  ASSERT_TRUE(service.Start());
  SpawnedThreadHost child(4);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(WatchProcess(child.pid()));
  CDlgStartup startup(nullptr);
  CTesmarGuiDlg main;

  QDir shots(QStringLiteral(TESMAR_GUI_SHOTS_DIR));
  shots.mkpath(QStringLiteral("."));
  std::string startupShot = shots.filePath("screen-xvfb-startup.png").toStdString();
  std::string mainShot = shots.filePath("screen-xvfb-main.png").toStdString();
  std::remove(startupShot.c_str());
  std::remove(mainShot.c_str());
  // TesmarGui runs while the startup dialog is captured, Enter (OK) is typed into it, and the
  // main dialog is captured once it is painted (more pixels than the startup dialog has); then
  // the program is ended.
  std::string script =
      "\"$1\" & gui=$!; "
      "\"$2\" \"$3\" \"$4\" && xdotool key Return && \"$2\" \"$5\" \"$6\"; status=$?; "
      "kill $gui; wait $gui; exit $status";
  std::string command =
      "env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 800x600x24 -br' sh -c " + Quoted(script) +
      " sh " + Quoted(TESMARGUI_PATH) + " " + Quoted(SCREEN_CAPTURE_PATH) + " " +
      Quoted(startupShot) + " " + std::to_string(startup.width() * startup.height() / 2) + " " +
      Quoted(mainShot) + " " + std::to_string(startup.width() * startup.height() + 1);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  // Without a window manager a dialog has no frame: what is painted is the dialog itself.
  QImage startupScreen(QString::fromStdString(startupShot));
  ASSERT_FALSE(startupScreen.isNull());
  QRect startupArea = PaintedArea(startupScreen);
  EXPECT_EQ(startupArea.size(), startup.size());
  // The dialog's face colour, where the template leaves space between its controls.
  EXPECT_EQ(QColor(startupScreen.pixel(startupArea.topLeft() + QPoint(2, 2))),
            startup.palette().color(QPalette::Window));

  QImage mainScreen(QString::fromStdString(mainShot));
  ASSERT_FALSE(mainScreen.isNull());
  QRect mainArea = PaintedArea(mainScreen);
  EXPECT_EQ(mainArea.size(), main.size());
  // The watched child's entry is selected: the list's highlight is on the screen.
  QColor highlight = main.palette().color(QPalette::Active, QPalette::Highlight);
  bool highlighted = false;
  for (int y = mainArea.top(); y < mainArea.bottom() && !highlighted; ++y) {
    for (int x = mainArea.left(); x < mainArea.right() && !highlighted; ++x) {
      highlighted = QColor(mainScreen.pixel(x, y)) == highlight;
    }
  }
  EXPECT_TRUE(highlighted);
}

}  // namespace
