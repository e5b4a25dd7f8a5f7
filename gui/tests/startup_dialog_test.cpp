// The startup dialog on a machine of its own, against the real service manager: no service, the
// scripted stand-in service stopped or running, a service that serves no Data key, and one whose
// program cannot start.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <memory>
#include <optional>

#include "DlgStartup.h"
#include "dialog_driver.h"
#include "message_box_recorder.h"
#include "platform/service.h"
#include "startup_dialog_ids.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/scripted_service.h"
#include "support/temporary_machine_root.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::startup_dialog;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::InstalledService;
using tesmar::testing::ScriptedRecord;
using tesmar::testing::ScriptedService;
using tesmar::testing::TemporaryMachineRoot;

tesmar::testing::TestPacket OneWatchedProcess() {
  ScriptedRecord record;
  record.name = u"app.exe";
  record.processId = 7;
  record.affinity = 0x3;
  record.threadCount = 1;
  record.threadAffinity = {0x3};
  return BuildPacket(2, {record});
}

class StartupDialog : public ::testing::Test {
 protected:
  void TearDown() override {
    dialog_.reset();
    if (session_) TesmarClose(session_);
    session_ = nullptr;
    service_.reset();
  }
  CDlgStartup& Open(const char* shot) {
    session_ = TesmarOpen(0);
    dialog_ = std::make_unique<CDlgStartup>(session_);
    EXPECT_TRUE(dialog_->OnInitDialog());
    EXPECT_TRUE(ShowActive(*dialog_));
    SaveShot(*dialog_, shot);
    return *dialog_;
  }
  // What the dialog shows: status text, Start, Stop and Local enabled, the mode and the checked
  // radio button.
  void ExpectState(const char* status, bool start, bool stop, bool local, INT mode) {
    const DialogControls& controls = dialog_->controls();
    EXPECT_EQ(controls.Text(IDC_SERVER_STATUS), status);
    EXPECT_EQ(controls.Item(IDC_START)->isEnabled(), start);
    EXPECT_EQ(controls.Item(IDC_STOP)->isEnabled(), stop);
    EXPECT_EQ(controls.Item(IDC_CONNECT_LOCAL)->isEnabled(), local);
    EXPECT_EQ(dialog_->connectionMode(), mode);
    EXPECT_EQ(controls.IsChecked(IDC_CONNECT_LOCAL), mode == kConnectLocal);
    EXPECT_EQ(controls.IsChecked(IDC_CONNECT_REMOTE), mode == kConnectRemote);
    EXPECT_EQ(controls.IsChecked(IDC_CONNECT_DEMO), mode == kConnectDemo);
  }
  QWidget* Item(int id) { return dialog_->controls().Item(id); }

  MessageBoxRecorder boxes_;
  std::unique_ptr<ScriptedService> service_;
  TesmarSession* session_ = nullptr;
  std::unique_ptr<CDlgStartup> dialog_;
};

TEST_F(StartupDialog, NotInstalledOffersDemoAlone) {
  TemporaryMachineRoot machine;
  Open("startup-not-installed");
  ExpectState("Local Tesmar Service: Not Installed", false, false, false, kConnectDemo);
  EXPECT_TRUE(boxes_.calls().empty());
  EXPECT_TRUE(Item(IDC_CONNECT_REMOTE)->isEnabled());
}

TEST_F(StartupDialog, RunningServicePreselectsLocalAndStopSelectsRemote) {
  service_ = std::make_unique<ScriptedService>(OneWatchedProcess());
  ASSERT_TRUE(service_->WaitUntilServing());
  Open("startup-running");
  ExpectState("Local Tesmar Service: Running", false, true, true, kConnectLocal);
  EXPECT_EQ(TesmarRefresh(session_), 0);

  Click(Item(IDC_STOP));
  SaveShot(*dialog_, "startup-after-stop");
  ExpectState("Local Tesmar Service: Not Running", true, false, false, kConnectRemote);
  EXPECT_TRUE(service_->WaitUntilStopped());
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(StartupDialog, StartFromStoppedConnectsAgainSoThatLocalWorksAtOnce) {
  service_ =
      std::make_unique<ScriptedService>(OneWatchedProcess(), ScriptedService::Start::Stopped);
  Open("startup-not-running");
  ExpectState("Local Tesmar Service: Not Running", true, false, false, kConnectDemo);
  // Connected while stopped: the session has no Data key yet.
  EXPECT_EQ(TesmarRefresh(session_), 1);

  Click(Item(IDC_START));
  SaveShot(*dialog_, "startup-after-start");
  ExpectState("Local Tesmar Service: Running", false, true, true, kConnectLocal);
  EXPECT_EQ(service_->CurrentState(), SERVICE_RUNNING);
  ASSERT_EQ(TesmarRefresh(session_), 0);
  TesmarRecord* record = TesmarGetProcObject(session_, 0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TesmarGetProcId(record), 7u);
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(StartupDialog, AFailedStartIsShownAndChangesNothing) {
  TemporaryMachineRoot machine;
  InstalledService missingProgram("\"/nonexistent/tesmarsr\"");
  ASSERT_TRUE(missingProgram.installed());
  Open("startup-start-failed-before");
  Click(Item(IDC_START));
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_TRUE(boxes_.calls()[0].text.startsWith("Cannot start the local Tesmar service.\n\n"));
  EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK | MB_ICONHAND);
  ExpectState("Local Tesmar Service: Not Running", true, false, false, kConnectDemo);
  TearDown();
}

TEST_F(StartupDialog, ARunningServiceWithoutItsDataKeyIsReported) {
  TemporaryMachineRoot machine;
  // The platform's test service runs but never creates the Data key.
  InstalledService service(tesmar::testing::TestServiceProgram());
  ASSERT_TRUE(service.Start());
  Open("startup-running-without-data-key");
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text,
            "Cannot connect to the local Tesmar service.\n\n"
            "The system cannot find the file specified.");
  ExpectState("Local Tesmar Service: Running", false, true, true, kConnectLocal);
  TearDown();
}

TEST_F(StartupDialog, RadiosChooseTheModeAndEveryWayOutEndsIt) {
  TemporaryMachineRoot machine;
  CDlgStartup& dialog = Open("startup-radios");
  Click(Item(IDC_CONNECT_REMOTE));
  EXPECT_EQ(dialog.connectionMode(), kConnectRemote);
  EXPECT_FALSE(dialog.controls().IsChecked(IDC_CONNECT_DEMO));
  Click(Item(IDC_CONNECT_REMOTE));  // a click on the checked button keeps it
  EXPECT_TRUE(dialog.controls().IsChecked(IDC_CONNECT_REMOTE));
  Click(Item(IDC_CONNECT_DEMO));
  EXPECT_EQ(dialog.connectionMode(), kConnectDemo);
  // A disabled Local cannot be chosen, not even by a double click.
  DoubleClick(Item(IDC_CONNECT_LOCAL));
  EXPECT_EQ(dialog.connectionMode(), kConnectDemo);
  EXPECT_TRUE(dialog.isVisible());

  EXPECT_EQ(ExecWith(dialog, [&] { DoubleClick(Item(IDC_CONNECT_REMOTE)); }), IDOK);
  EXPECT_EQ(dialog.connectionMode(), kConnectRemote);
  EXPECT_EQ(ExecWith(dialog, [&] { Click(Item(IDC_OK)); }), IDOK);
  EXPECT_EQ(ExecWith(dialog, [&] { Click(Item(IDC_CANCEL)); }), IDCANCEL);
  EXPECT_EQ(ExecWith(dialog, [&] { PressKey(&dialog, Qt::Key_Escape); }), IDCANCEL);
  EXPECT_EQ(ExecWith(dialog, [&] { dialog.close(); }), IDCANCEL);
  EXPECT_EQ(ExecWith(dialog, [&] { PressKey(&dialog, Qt::Key_Return); }), IDOK);
}

}  // namespace
