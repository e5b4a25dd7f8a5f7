// The seven general operations of Scmkit against the built-in service manager of a machine
// root of the test's own.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "scmkit_test_support.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace tesmar::scmkit::testing {
namespace {

using namespace tesmar::testing;

constexpr DWORD kUntouched = 0xDEADBEEF;

class ScmkitContextTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SerSetupOpen(&context_, nullptr), 0u); }
  void TearDown() override {
    if (context_) {
      EXPECT_EQ(SerSetupClose(context_), 0u);
    }
  }

  TemporaryMachineRoot root_;
  SerSetupContext* context_ = nullptr;
};

// A bad argument is answered with 1 before anything reaches the platform, which would have set
// the last error.
TEST_F(ScmkitContextTest, BadArgumentsAnswerOneWithoutAPlatformCall) {
  const auto expectOneUntouched = [](DWORD result, const char* call) {
    EXPECT_EQ(result, 1u) << call;
    EXPECT_EQ(GetLastError(), kUntouched) << call;
  };
  SetLastError(kUntouched);
  expectOneUntouched(SerSetupOpen(nullptr, nullptr), "Open");
  expectOneUntouched(SerSetupClose(nullptr), "Close");
  expectOneUntouched(SerSetupServiceOpen(nullptr, kServiceName), "ServiceOpen null context");
  expectOneUntouched(SerSetupServiceOpen(context_, nullptr), "ServiceOpen null name");
  expectOneUntouched(SerSetupServiceOpen(context_, ""), "ServiceOpen empty name");
  expectOneUntouched(SerSetupServiceClose(nullptr), "ServiceClose");
  expectOneUntouched(SerSetupServiceInstall(nullptr, 3, "X", "/bin/true"), "Install null");
  expectOneUntouched(SerSetupServiceInstall(context_, 3, "", "/bin/true"), "Install no name");
  expectOneUntouched(SerSetupServiceInstall(context_, 3, "X", nullptr), "Install no path");
  expectOneUntouched(SerSetupServiceRemove(nullptr), "Remove null");
  expectOneUntouched(SerSetupServiceRemove(context_), "Remove without a service");
  expectOneUntouched(SerSetupServiceControl(nullptr, SERSETUP_CONTROL_STOP), "Control null");
  expectOneUntouched(SerSetupServiceControl(context_, SERSETUP_CONTROL_START),
                     "Control without a service");
}

TEST_F(ScmkitContextTest, PlatformFailuresAnswerThePlatformsErrorNumber) {
  SerSetupContext* remote = nullptr;
  EXPECT_EQ(SerSetupOpen(&remote, "some-other-machine"), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(remote, nullptr) << "the out reference was touched";

  EXPECT_EQ(SerSetupServiceOpen(context_, "NoSuchService"), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(context_->ServiceHandle, nullptr);

  ASSERT_EQ(SerSetupServiceInstall(context_, SERVICE_DEMAND_START, "Twice", "/bin/true"), 0u);
  EXPECT_EQ(SerSetupServiceInstall(context_, SERVICE_DEMAND_START, "Twice", "/bin/true"),
            ERROR_SERVICE_EXISTS);
  // A service that is not running cannot take the stop control.
  EXPECT_EQ(SerSetupServiceControl(context_, SERSETUP_CONTROL_STOP), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(SerSetupServiceRemove(context_), 0u);
}

TEST_F(ScmkitContextTest, InstallKeepsTheDefinitionAndRemoveDeletesIt) {
  ASSERT_EQ(SerSetupServiceInstall(context_, SERVICE_DEMAND_START, "Probe", "/usr/sbin/probe"), 0u);
  EXPECT_NE(context_->ServiceHandle, nullptr);
  EXPECT_EQ(ServiceDefinitionNumber("Probe", "Start"), SERVICE_DEMAND_START);
  EXPECT_EQ(ServiceDefinitionNumber("Probe", "Type"), SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(ServiceDefinitionNumber("Probe", "ErrorControl"), SERVICE_ERROR_NORMAL);

  // An unknown command is refused only after the status query succeeded.
  SetLastError(kUntouched);
  EXPECT_EQ(SerSetupServiceControl(context_, 2), 1u);

  EXPECT_EQ(SerSetupServiceRemove(context_), 0u);
  EXPECT_EQ(context_->ServiceHandle, nullptr);
  EXPECT_EQ(SerSetupServiceClose(context_), 0u) << "closing what is already closed";
  EXPECT_EQ(SerSetupServiceOpen(context_, "Probe"), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(ServiceDefinitionNumber("Probe", "Start"), std::nullopt);
}

TEST_F(ScmkitContextTest, ControlStartsAndStopsWithoutWaiting) {
  tesmar::testing::ServiceRemoval removal;
  ASSERT_EQ(SerSetupServiceInstall(context_, SERVICE_DEMAND_START, kServiceName,
                                   tesmar::testing::TesmarsrProgram().c_str()),
            0u);
  EXPECT_EQ(SerSetupServiceControl(context_, SERSETUP_CONTROL_START), 0u);
  EXPECT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }));
  EXPECT_EQ(SerSetupServiceControl(context_, SERSETUP_CONTROL_START),
            ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(SerSetupServiceControl(context_, SERSETUP_CONTROL_STOP), 0u);
  EXPECT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_STOPPED; }));
  EXPECT_EQ(SerSetupServiceClose(context_), 0u);
}

}  // namespace
}  // namespace tesmar::scmkit::testing
