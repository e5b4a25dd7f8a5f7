// Select Computer against a second machine reached through a real sshd (support/ssh_machine.h)
// with the real tesmarsr installed there, from a main dialog on this machine's scripted service:
// the far service stopped, then running with a watched child of its own; a cancelled browser;
// an unknown name; this host again. The browser is the test's, as message boxes are.
#include <gtest/gtest.h>

#include <QApplication>
#include <sstream>
#include <string>

#include "DlgAddProcs.h"
#include "MyList.h"
#include "Scmkit.h"
#include "computer_browser.h"
#include "dialog_driver.h"
#include "main_dialog_ids.h"
#include "platform/errors.h"
#include "scripted_main_dialog.h"
#include "support/programs.h"
#include "support/ssh_machine.h"
#include "support/wait_until.h"
#include "system_text.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::SshMachine;

constexpr char kServiceName[] = "KaltrixTesmar";

class SelectComputer : public ScriptedMainDialogTest {
 protected:
  void SetUp() override {
    if (!machine_.skipReason().empty()) GTEST_SKIP() << machine_.skipReason();
    ASSERT_EQ(machine_.failure(), "");
    setenv("TESMAR_LONGEST_ANSWER_WAIT", "20000", 1);
    previousBrowser_ = SetComputerBrowser([this](QWidget* owner, QString& name) {
      EXPECT_EQ(owner, dialog_.get());
      if (nextName_.isEmpty()) return 0;
      name = "\\\\" + nextName_;
      return 1;
    });
  }
  void TearDown() override {
    // Select Computer closed the sessions it replaced: the dialog's last one is left to close.
    if (dialog_) session_ = dialog_->Session;
    SetComputerBrowser(previousBrowser_);
    unsetenv("TESMAR_LONGEST_ANSWER_WAIT");
    ScriptedMainDialogTest::TearDown();
    if (setup_) {
      SerSetupServiceControl(setup_, SERSETUP_CONTROL_STOP);
      SerSetupServiceRemove(setup_);
      SerSetupClose(setup_);
    }
  }
  // The browser answers the name (empty: cancelled) and Select Computer is clicked.
  void Select(const QString& name) {
    nextName_ = name;
    Click(Item(IDC_SELECT_COMPUTER));
  }
  QString Title() const { return dialog_->windowTitle(); }

  SshMachine machine_;
  SerSetupContext* setup_ = nullptr;
  QString nextName_;
  ComputerBrowser previousBrowser_;
};

TEST_F(SelectComputer, SwitchesOnlyToAComputerItConnectedTo) {
  const QString far = QString::fromUtf16(SshMachine::kMachine);
  ASSERT_EQ(SerSetupOpen(&setup_, SshMachine::kMachineNarrow), 0u);
  ASSERT_EQ(SerSetupServiceInstall(setup_, SERVICE_DEMAND_START, kServiceName,
                                   tesmar::testing::TesmarsrProgram().c_str()),
            0u);
  // Installed there and stopped: its text, and nothing changes here.
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(u"here.exe", 0x42, 0x3, 1)}));
  TesmarSession* local = dialog.Session;
  QString localTitle = Title();
  Select(far);
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{SystemMessageText(ERROR_SERVICE_NOT_ACTIVE)}));
  EXPECT_EQ(boxes_.calls()[0].caption, "TesmarGui");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK);
  EXPECT_EQ(dialog.RemoteSelectFailed, 1);
  EXPECT_EQ(dialog.Session, local);
  EXPECT_EQ(Title(), localTitle);
  EXPECT_EQ(dialog.processList().GetCount(), 1);
  boxes_.clear();

  // Running there, with a watched child of that machine.
  ASSERT_EQ(SerSetupServiceControl(setup_, SERSETUP_CONTROL_START), 0u);
  SshMachine::Process host =
      machine_.StartInside({tesmar::testing::BuildProgram("tesmar_thread_host"), "2"});
  std::istringstream ready(host.firstLine());
  std::string word;
  uint32_t farPid = 0;
  ready >> word >> farPid;
  ASSERT_NE(farPid, 0u) << host.firstLine();
  TesmarSession* watcher = TesmarOpen(0);
  ASSERT_TRUE(tesmar::testing::WaitUntil([&] {
    TesmarDisconnect(watcher);
    return TesmarConnect(watcher, SshMachine::kMachine) == 0;
  }));
  ASSERT_EQ(TesmarRefresh(watcher), 0);
  for (DWORD i = 0; i < TesmarGetProcessCount(watcher); ++i) {
    TesmarRecord* record = TesmarGetProcObject(watcher, i);
    if (TesmarGetProcId(record) == farPid) TesmarSetWatchList(record, 1);
  }
  ASSERT_EQ(TesmarUpdate(watcher), 0);
  TesmarClose(watcher);

  Select(far);
  EXPECT_TRUE(boxes_.calls().empty()) << boxes_.texts()[0].toStdString();
  EXPECT_EQ(dialog.RemoteSelectFailed, 0);
  EXPECT_EQ(dialog.ConnectionMode, 1);
  EXPECT_NE(dialog.Session, local);
  EXPECT_EQ(Title(), "Tesmar - " + far);
  EXPECT_EQ(dialog.RemoteComputerName, far);
  EXPECT_EQ(dialog.watchEditor().TitleSuffix, far);
  EXPECT_EQ(dialog.watchEditor().EditorSession, dialog.Session);
  ASSERT_EQ(dialog.processList().GetCount(), 1);
  EXPECT_TRUE(dialog.processList().GetText(0).startsWith(
      QStringLiteral("tesmar_thread_host (0x%1)\t").arg(farPid, 0, 16)));
  EXPECT_EQ(dialog.threadList().GetCount(), 2);
  EXPECT_FALSE(Enabled(IDC_END_PROCESS));  // that machine's ids name no process here
  SaveShot(dialog, "main-remote-select-computer");
  TesmarSession* remote = dialog.Session;

  // Cancelled, and an unknown name: the far machine stays, its lists still refresh.
  Select({});
  EXPECT_EQ(dialog.RemoteSelectFailed, 1);
  Select(QString::fromUtf16(SshMachine::kMachineUnknown));
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{SystemMessageText(RPC_S_SERVER_UNAVAILABLE)}));
  EXPECT_EQ(dialog.RemoteSelectFailed, 1);
  EXPECT_EQ(dialog.Session, remote);
  EXPECT_EQ(Title(), "Tesmar - " + far);
  Click(Item(IDC_REFRESH));
  ASSERT_EQ(dialog.processList().GetCount(), 1);
  EXPECT_TRUE(dialog.processList().GetText(0).contains(QString::number(farPid, 16)));
  boxes_.clear();

  // A name with a blank never reaches ssh.
  Select("far host");
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{SystemMessageText(ERROR_INVALID_NAME)}));
  boxes_.clear();

  // This host again, by its name: this machine's scripted service.
  Select(LocalComputerName());
  EXPECT_TRUE(boxes_.calls().empty());
  EXPECT_EQ(Title(), "Tesmar - " + LocalComputerName());
  ASSERT_EQ(dialog.processList().GetCount(), 1);
  EXPECT_TRUE(dialog.processList().GetText(0).startsWith("here.exe (0x42)"));
}

}  // namespace
