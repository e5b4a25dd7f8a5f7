// The application loop: startup dialog, main dialog, and a fresh session and startup dialog
// after the main dialog is cancelled; the client's own TesmarOpen and TesmarClose, watched in
// the order the application calls them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSysInfo>
#include <QTimer>
#include <string>
#include <vector>

#include "DlgStartup.h"
#include "MyList.h"
#include "TesmarGui.h"
#include "TesmarGuiDlg.h"
#include "computer_browser.h"
#include "dialog_driver.h"
#include "message_box_recorder.h"
#include "startup_dialog_ids.h"
#include "support/scripted_service.h"
#include "support/temporary_machine_root.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;
using tesmar::testing::TemporaryMachineRoot;

// An operator at the application: one action for each dialog that goes modal, in order; each
// action runs inside the dialog's loop and ends it.
class Operator {
 public:
  using Action = std::function<void(QDialog&)>;
  explicit Operator(std::vector<Action> actions) : actions_(std::move(actions)) {}

  // failOpenAt: the TesmarOpen call (from 0) that answers null, as when memory is short.
  CTesmarGuiApp::Hooks Hooks(int failOpenAt = -1) {
    CTesmarGuiApp::Hooks hooks;
    hooks.open = [this, failOpenAt](INT demo) -> TesmarSession* {
      int call = opens_++;
      calls_.push_back(demo ? "open demo" : "open live");
      if (call == failOpenAt) return nullptr;
      return TesmarOpen(demo);
    };
    hooks.close = [this](TesmarSession* session) {
      calls_.push_back("close");
      return TesmarClose(session);
    };
    hooks.beforeModal = [this](QDialog& dialog) {
      calls_.push_back("dialog " + dialog.windowTitle().toStdString());
      ASSERT_LT(next_, actions_.size()) << "a dialog nobody expected";
      Action action = actions_[next_++];
      QTimer::singleShot(0, &dialog, [action, &dialog] { action(dialog); });
    };
    return hooks;
  }
  const std::vector<std::string>& calls() const { return calls_; }
  size_t actionsTaken() const { return next_; }

 private:
  std::vector<Action> actions_;
  size_t next_ = 0;
  int opens_ = 0;
  std::vector<std::string> calls_;
};

void ClickOk(QDialog& dialog) {
  Click(dialog.findChild<QWidget*>(QString::number(startup_dialog::IDC_OK)));
}
void ClickCancel(QDialog& dialog) {
  Click(dialog.findChild<QWidget*>(QString::number(startup_dialog::IDC_CANCEL)));
}
void Escape(QDialog& dialog) {
  PressKey(&dialog, Qt::Key_Escape);
}

using Calls = std::vector<std::string>;

TEST(ApplicationLoop, DemoThenCancelReturnsToAFreshStartupDialog) {
  TemporaryMachineRoot machine;
  MessageBoxRecorder boxes;
  Operator person({ClickOk, Escape, ClickCancel});
  CTesmarGuiApp app(person.Hooks());
  app.InitInstance();
  EXPECT_EQ(person.actionsTaken(), 3u);
  // The live session is closed before the demo session is opened.
  EXPECT_EQ(person.calls(), (Calls{"open live", "dialog Tesmar - Startup", "close", "open demo",
                                   "dialog Kaltrix Tesmar - Demo Mode", "close", "open live",
                                   "dialog Tesmar - Startup", "close"}));
  // Esc asked first, and the recorder answered OK.
  EXPECT_EQ(boxes.texts(), (std::vector<QString>{"Exit Application?"}));
}

TEST(ApplicationLoop, ExitEndsTheApplicationAndCancelInTheStartupDialogToo) {
  TemporaryMachineRoot machine;
  MessageBoxRecorder boxes;
  Operator person(
      {ClickOk, [](QDialog& dialog) { Click(dialog.findChild<QWidget*>(QStringLiteral("1"))); }});
  CTesmarGuiApp(person.Hooks()).InitInstance();
  EXPECT_EQ(person.calls(), (Calls{"open live", "dialog Tesmar - Startup", "close", "open demo",
                                   "dialog Kaltrix Tesmar - Demo Mode", "close"}));

  Operator quitter({ClickCancel});
  CTesmarGuiApp(quitter.Hooks()).InitInstance();
  EXPECT_EQ(quitter.calls(), (Calls{"open live", "dialog Tesmar - Startup", "close"}));
}

TEST(ApplicationLoop, AFailedTesmarOpenEndsTheApplicationWithItsMessage) {
  TemporaryMachineRoot machine;
  MessageBoxRecorder boxes;
  Operator nobody({});
  CTesmarGuiApp(nobody.Hooks(0)).InitInstance();
  EXPECT_EQ(nobody.calls(), (Calls{"open live"}));
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "TesmarOpen Failed. Cannot Continue.");
  EXPECT_EQ(boxes.calls()[0].caption, "TesmarGui");
  EXPECT_EQ(boxes.calls()[0].flags, MB_OK | MB_ICONSTOP);

  // Failing on the way round again, after a cancelled main dialog.
  boxes.clear();
  Operator person({ClickOk, Escape});
  CTesmarGuiApp(person.Hooks(2)).InitInstance();
  EXPECT_EQ(person.calls().back(), "open live");
  EXPECT_EQ(boxes.texts(),
            (std::vector<QString>{"Exit Application?", "TesmarOpen Failed. Cannot Continue."}));
}

TEST(ApplicationLoop, ARemoteStartWhoseBrowserIsCancelledReturnsToTheStartupDialog) {
  TemporaryMachineRoot machine;
  MessageBoxRecorder boxes;
  int browsed = 0;
  ComputerBrowser previous = SetComputerBrowser([&](QWidget* owner, QString&) {
    EXPECT_NE(qobject_cast<CTesmarGuiDlg*>(owner), nullptr);
    ++browsed;
    return 0;
  });
  Operator person({[](QDialog& dialog) {
                     DoubleClick(dialog.findChild<QWidget*>(
                         QString::number(startup_dialog::IDC_CONNECT_REMOTE)));
                   },
                   ClickCancel});
  CTesmarGuiApp(person.Hooks()).InitInstance();
  SetComputerBrowser(previous);
  // The main dialog ended during its initialisation, never shown, with no question.
  EXPECT_EQ(person.calls(), (Calls{"open live", "dialog Tesmar - Startup", "close", "open live",
                                   "dialog Tesmar - Startup", "close"}));
  EXPECT_EQ(browsed, 1);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST(ApplicationLoop, LocalRunsTheMainDialogOnTheLiveSession) {
  tesmar::testing::ScriptedRecord record;
  record.name = u"app.exe";
  record.processId = 7;
  record.affinity = 0x3;
  record.threadCount = 1;
  tesmar::testing::ScriptedService service(tesmar::testing::BuildPacket(2, {record}));
  ASSERT_TRUE(service.WaitUntilServing());
  MessageBoxRecorder boxes;
  std::vector<int> entries;
  Operator person({ClickOk,
                   [&](QDialog& dialog) {
                     auto& main = static_cast<CTesmarGuiDlg&>(dialog);
                     entries.push_back(main.processList().GetCount());
                     SaveShot(dialog, "main-local-application");
                     Escape(dialog);
                   },
                   ClickCancel});
  CTesmarGuiApp(person.Hooks()).InitInstance();
  ASSERT_EQ(person.calls().size(), 7u);
  EXPECT_EQ(person.calls()[2],
            "dialog Kaltrix Tesmar - " + QSysInfo::machineHostName().toStdString());
  EXPECT_EQ(entries, (std::vector<int>{1}));
  EXPECT_EQ(boxes.texts(), (std::vector<QString>{"Exit Application?"}));
}

}  // namespace
