// The init script's passes of tesmar_setup_command over the services that start automatically,
// run as the init script runs them, against real services of a machine root of the test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/service.h"
#include "support/console_process.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace tesmar::scmkit::testing {
namespace {

using namespace tesmar::testing;

struct PassResult {
  int status;
  std::string output;
};

PassResult RunPass(const std::string& pass) {
  ConsoleProcess command(BuildProgram("tesmar_setup_command"), {pass});
  std::string output = command.ReadRemainingOutput(kGenerousWait);
  return {command.WaitForExit(kGenerousWait).value_or(-1), output};
}

void MakeAutomatic(const InstalledService& service) {
  ASSERT_TRUE(ChangeServiceConfigA(service.handle(), SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                   SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr));
}

TEST(AutomaticServicesTest, BootStartsEveryAutomaticServiceOnceAndShutdownStopsThem) {
  TemporaryMachineRoot root;
  InstalledService first(TestServiceProgram(), u"AutoFirst");
  InstalledService second(TestServiceProgram(), u"AutoSecond");
  InstalledService onDemand(TestServiceProgram(), u"OnDemand");
  MakeAutomatic(first);
  MakeAutomatic(second);

  PassResult status = RunPass("status-automatic");
  EXPECT_EQ(status.status, 3);
  EXPECT_EQ(status.output, "AutoFirst: stopped\nAutoSecond: stopped\n");

  PassResult boot = RunPass("start-automatic");
  EXPECT_EQ(boot.status, 0) << boot.output;
  EXPECT_EQ(boot.output, "AutoFirst: started\nAutoSecond: started\n");
  EXPECT_EQ(first.CurrentState(), SERVICE_RUNNING);
  EXPECT_EQ(second.CurrentState(), SERVICE_RUNNING);
  EXPECT_EQ(onDemand.CurrentState(), SERVICE_STOPPED);

  // A second boot pass (the init script run again) starts nothing twice.
  boot = RunPass("start-automatic");
  EXPECT_EQ(boot.status, 0);
  EXPECT_EQ(boot.output, "AutoFirst: already running\nAutoSecond: already running\n");
  EXPECT_EQ(RunPass("status-automatic").status, 0);

  ASSERT_TRUE(onDemand.Start());
  PassResult shutdown = RunPass("stop-automatic");
  EXPECT_EQ(shutdown.status, 0) << shutdown.output;
  EXPECT_EQ(shutdown.output, "AutoFirst: stopped\nAutoSecond: stopped\n");
  EXPECT_EQ(first.CurrentState(), SERVICE_STOPPED);
  EXPECT_EQ(second.CurrentState(), SERVICE_STOPPED);
  EXPECT_EQ(onDemand.CurrentState(), SERVICE_RUNNING);
  EXPECT_EQ(RunPass("stop-automatic").output, "AutoFirst: not running\nAutoSecond: not running\n");
}

TEST(AutomaticServicesTest, ABootPassStartsTheOthersPastOneThatCannotStartAndFails) {
  TemporaryMachineRoot root;
  InstalledService broken(root.path() + "/no-such-program", u"Broken");
  InstalledService good(TestServiceProgram(), u"Good");
  MakeAutomatic(broken);
  MakeAutomatic(good);

  PassResult boot = RunPass("start-automatic");
  EXPECT_EQ(boot.status, 1);
  EXPECT_EQ(boot.output.rfind("Broken: not started (error ", 0), 0u) << boot.output;
  EXPECT_NE(boot.output.find("\nGood: started\n"), std::string::npos) << boot.output;
  EXPECT_EQ(good.CurrentState(), SERVICE_RUNNING);
  PassResult status = RunPass("status-automatic");
  EXPECT_EQ(status.status, 3);
  EXPECT_EQ(status.output, "Broken: stopped\nGood: running\n");
}

TEST(AutomaticServicesTest, AMachineWithoutAutomaticServicesBootsQuietlyAndRunsNothing) {
  TemporaryMachineRoot root;
  InstalledService onDemand(TestServiceProgram(), u"OnDemand");
  PassResult boot = RunPass("start-automatic");
  EXPECT_EQ(boot.status, 0);
  EXPECT_EQ(boot.output, "no service starts automatically\n");
  EXPECT_EQ(onDemand.CurrentState(), SERVICE_STOPPED);
  EXPECT_EQ(RunPass("status-automatic").status, 3);
  EXPECT_EQ(RunPass("stop-automatic").status, 0);
}

}  // namespace
}  // namespace tesmar::scmkit::testing
