// A live session's states against the built-in service manager: not installed, installed but
// not running, running without a Data key, and connected; starting and stopping through it.

#include <gtest/gtest.h>

#include "TesmarApi.h"
#include "platform/errors.h"
#include "support/data_key_access.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/test_service.h"

namespace {

using namespace tesmar::testing;

// The platform's small test service installed under the service's name, KaltrixTesmar, on a
// machine of its own, so that sessions meet a real service manager and a real service process
// that leaves the Data key to the test.
struct MachineOfItsOwn {
  TemporaryMachineRoot root;
};
struct TestServiceAsTesmar : MachineOfItsOwn, tesmar::testing::InstalledService {
  explicit TestServiceAsTesmar(const std::string& options = "")
      : InstalledService(tesmar::testing::TestServiceProgram() +
                         (options.empty() ? "" : " " + options)) {}
};

struct LiveSession {
  TesmarSession* session = TesmarOpen(0);
  ~LiveSession() { TesmarClose(session); }
};

TEST(SessionStates, NotInstalledLeavesNothingOpenAndConnectTriesAgain) {
  TemporaryMachineRoot root;
  LiveSession live;
  EXPECT_EQ(TesmarConnect(live.session, nullptr), static_cast<INT>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(TesmarInstalled(live.session), 0);
  // The manager handle was given back, so a second connect asks again instead of answering 1.
  EXPECT_EQ(TesmarConnect(live.session, nullptr), static_cast<INT>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(TesmarStart(live.session), 1);
  EXPECT_EQ(TesmarRefresh(live.session), 1);
}

TEST(SessionStates, OtherMachineIsReportedByTheServiceManager) {
  TemporaryMachineRoot root;
  LiveSession live;
  EXPECT_EQ(TesmarConnect(live.session, u"no-such-machine.invalid"),
            static_cast<INT>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(TesmarInstalled(live.session), 0);
}

TEST(SessionStates, InstalledButStoppedKeepsBothHandlesForStartAndStop) {
  TestServiceAsTesmar service;
  ASSERT_TRUE(service.installed());
  ASSERT_TRUE(CreateDataKey());
  LiveSession live;

  EXPECT_EQ(TesmarConnect(live.session, nullptr), static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(TesmarInstalled(live.session), 1);
  EXPECT_EQ(TesmarRunning(live.session), 0);
  // The handles stay: a second connect answers 1, and there is no Data key for the exchange.
  EXPECT_EQ(TesmarConnect(live.session, nullptr), 1);
  EXPECT_EQ(TesmarRefresh(live.session), 1);
  EXPECT_EQ(TesmarUpdate(live.session), 1);

  ASSERT_EQ(TesmarStart(live.session), 0);
  EXPECT_EQ(TesmarRunning(live.session), 1);
  ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
  // Already running: no request (the manager would answer 1056 for one).
  EXPECT_EQ(TesmarStart(live.session), 0);

  ASSERT_EQ(TesmarStop(live.session), 0);
  EXPECT_EQ(TesmarRunning(live.session), 0);
  ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
  // Already stopped: no request (the manager would answer 1062 for one).
  EXPECT_EQ(TesmarStop(live.session), 0);
  auto controls = ControlsReceivedByTestService();
  ASSERT_EQ(controls.size(), 1u);
  EXPECT_EQ(controls[0].control, SERVICE_CONTROL_STOP);

  // Disconnected, the session connects afresh and finds the service stopped again.
  EXPECT_EQ(TesmarDisconnect(live.session), 0);
  EXPECT_EQ(TesmarInstalled(live.session), 1);  // flags are left as they were
  EXPECT_EQ(TesmarConnect(live.session, nullptr), static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE));
}

TEST(SessionStates, RunningWithoutDataKeyIsKnownButNotConnected) {
  TestServiceAsTesmar service;
  ASSERT_TRUE(service.Start());
  LiveSession live;
  EXPECT_EQ(TesmarConnect(live.session, nullptr), static_cast<INT>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(TesmarRunning(live.session), 1);
  EXPECT_EQ(TesmarConnect(live.session, nullptr), 1);
  EXPECT_EQ(TesmarRefresh(live.session), 1);

  // Once the key exists a fresh connect gets through.
  ASSERT_TRUE(CreateDataKey());
  EXPECT_EQ(TesmarDisconnect(live.session), 0);
  EXPECT_EQ(TesmarConnect(live.session, nullptr), 0);
}

TEST(SessionStates, PausedServiceCountsAsRunning) {
  TestServiceAsTesmar service("--report-pause");
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(CreateDataKey());
  ASSERT_TRUE(service.Pause());
  LiveSession live;
  EXPECT_EQ(TesmarConnect(live.session, nullptr), 0);
  EXPECT_EQ(TesmarRunning(live.session), 1);
  EXPECT_EQ(TesmarInstalled(live.session), 1);
}

TEST(SessionStates, StopAndStartThroughAConnectedSession) {
  TestServiceAsTesmar service;
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(CreateDataKey());
  LiveSession live;
  ASSERT_EQ(TesmarConnect(live.session, nullptr), 0);

  ASSERT_EQ(TesmarStop(live.session), 0);
  ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
  ASSERT_EQ(TesmarStart(live.session), 0);
  ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
  EXPECT_EQ(TesmarRunning(live.session), 1);

  // Stopped behind the session's back: its flag still says running, so a start asks nothing
  // and the service stays stopped.
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE other = OpenServiceW(manager, u"KaltrixTesmar", SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(other, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
  EXPECT_EQ(TesmarStart(live.session), 0);
  ASSERT_TRUE(QueryServiceStatus(other, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  CloseServiceHandle(other);
  CloseServiceHandle(manager);
}

}  // namespace
