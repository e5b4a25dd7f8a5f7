// The registry and service-manager calls on another machine, through a real sshd whose sessions
// live in namespaces of their own (tests/support/ssh_machine.h), and every way reaching it fails.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "support/programs.h"
#include "support/ssh_machine.h"
#include "support/temporary_machine_root.h"
#include "support/test_service.h"
#include "support/wait_until.h"

using tesmar::testing::SshMachine;
using tesmar::testing::TemporaryMachineRoot;
using tesmar::testing::WaitUntil;

namespace {

constexpr char16_t kTestKey[] = u"SOFTWARE\\Kaltrix\\RemoteTest";

class RemoteCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!machine_.skipReason().empty()) GTEST_SKIP() << machine_.skipReason();
    ASSERT_EQ(machine_.failure(), "");
  }

  // The far machine's registry opened here, through its root, as its own programs see it.
  struct FarMachineRoot {
    explicit FarMachineRoot(const std::string& root) {
      if (const char* old = std::getenv("TESMAR_ROOT")) previous = old;
      setenv("TESMAR_ROOT", root.c_str(), 1);
    }
    ~FarMachineRoot() { setenv("TESMAR_ROOT", previous.c_str(), 1); }
    std::string previous;
  };

  TemporaryMachineRoot local_;
  SshMachine machine_;
};

TEST_F(RemoteCalls, RegistryCallsActOnTheFarMachinesDatabase) {
  HKEY far = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &far), ERROR_SUCCESS);
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(
      RegCreateKeyExW(far, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  std::vector<BYTE> big(3 * 1024 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  ASSERT_EQ(RegSetValueExW(key, u"Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("far"), 4),
            ERROR_SUCCESS);

  // The size, a buffer too small, then the bytes, as on Windows.
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"big", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, big.size());
  std::vector<BYTE> read(size);
  DWORD tooSmall = 10;
  EXPECT_EQ(RegQueryValueExW(key, u"Big", nullptr, nullptr, read.data(), &tooSmall),
            ERROR_MORE_DATA);
  EXPECT_EQ(tooSmall, big.size());
  ASSERT_EQ(RegQueryValueExW(key, u"Big", nullptr, nullptr, read.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(read, big);
  char text[8] = {};
  DWORD textSize = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(text), &textSize),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "far");

  {
    // The far machine's own database holds it, and this machine's does not.
    FarMachineRoot onFarRoot(machine_.root());
    HKEY seen = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &seen), ERROR_SUCCESS);
    DWORD seenSize = 0;
    EXPECT_EQ(RegQueryValueExW(seen, u"Big", nullptr, nullptr, nullptr, &seenSize), ERROR_SUCCESS);
    EXPECT_EQ(seenSize, big.size());
    RegCloseKey(seen);
  }
  HKEY here = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &here), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteValueW(key, u"Text"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Big", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKeyW(far, kTestKey), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(far, kTestKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(far), ERROR_SUCCESS);
}

TEST_F(RemoteCalls, ChangesAndTheKeyLockTravelBetweenMachines) {
  HKEY far = nullptr, key = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &far), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(far, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  FarMachineRoot onFarRoot(machine_.root());
  HKEY local = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_ALL_ACCESS, &local), ERROR_SUCCESS);

  // A change made on the far machine wakes the waiter here.
  HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE),
            ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(changed, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(local, u"Flag", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(changed, 20000), static_cast<DWORD>(WAIT_OBJECT_0));

  // The lock taken here holds the far machine's writers off, and the other way round.
  ASSERT_EQ(RegLockKey(key, 1000), ERROR_SUCCESS);
  EXPECT_EQ(RegLockKey(local, 0), ERROR_TIMEOUT);
  ASSERT_EQ(RegUnlockKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegUnlockKey(key), ERROR_NOT_LOCKED);
  ASSERT_EQ(RegLockKey(local, 1000), ERROR_SUCCESS);
  EXPECT_EQ(RegLockKey(key, 0), ERROR_TIMEOUT);
  auto waiter = std::async(std::launch::async, [&] { return RegLockKey(key, 60000); });
  ASSERT_EQ(RegUnlockKey(local), ERROR_SUCCESS);
  EXPECT_EQ(waiter.get(), ERROR_SUCCESS);
  RegCloseKey(local);
  RegCloseKey(key);
  RegCloseKey(far);
  CloseHandle(changed);
}

TEST_F(RemoteCalls, ServicesRunOnTheFarMachine) {
  SC_HANDLE manager = OpenSCManagerW(SshMachine::kMachine, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr) << GetLastError();
  std::string image = "\"" + tesmar::testing::TestServiceProgram() + "\"";
  SC_HANDLE service =
      CreateServiceA(manager, "RemoteTestService", "Remote test service", SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                     image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr) << GetLastError();
  EXPECT_EQ(CreateServiceA(manager, "RemoteTestService", nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
  ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
  EXPECT_TRUE(tesmar::testing::WaitForServiceState(service, SERVICE_RUNNING));
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  // It runs inside the far machine: the process id its handler recorded is one of that
  // machine's own, and there the id is the test service.
  std::string controls;
  {
    FarMachineRoot onFarRoot(machine_.root());
    auto received = tesmar::testing::ControlsReceivedByTestService();
    ASSERT_FALSE(received.empty());
    controls = std::to_string(received.back().processId);
  }
  EXPECT_EQ(machine_.RunInside("cat /proc/" + controls + "/comm"), "tesmar_test_ser\n");
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_TRUE(tesmar::testing::WaitForServiceState(service, SERVICE_STOPPED));
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  ASSERT_TRUE(DeleteService(service));
  EXPECT_TRUE(CloseServiceHandle(service));
  EXPECT_EQ(OpenServiceW(manager, u"RemoteTestService", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST_F(RemoteCalls, FailuresAnswerTheCodesAWindowsClientSees) {
  struct Case {
    const char16_t* machine;
    LSTATUS registry;
    DWORD manager;
  };
  for (const Case& c :
       {Case{SshMachine::kMachineUnknown, ERROR_BAD_NETPATH, RPC_S_SERVER_UNAVAILABLE},
        Case{SshMachine::kMachineNotListening, ERROR_BAD_NETPATH, RPC_S_SERVER_UNAVAILABLE},
        Case{SshMachine::kMachineWithRefusedKey, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        Case{SshMachine::kMachineWithoutHelper, RPC_S_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE},
        Case{SshMachine::kMachineWithOldHelper, RPC_S_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE},
        Case{u"-oProxyCommand=touch /tmp/tesmar-pwned", ERROR_INVALID_NAME, ERROR_INVALID_NAME},
        Case{u"\\\\-F/etc/passwd", ERROR_INVALID_NAME, ERROR_INVALID_NAME},
        Case{u"tesmar-far other", ERROR_INVALID_NAME, ERROR_INVALID_NAME},
        Case{u"tesmar-far\n", ERROR_INVALID_NAME, ERROR_INVALID_NAME}}) {
    std::string name(c.machine, c.machine + std::char_traits<char16_t>::length(c.machine));
    HKEY far = nullptr;
    EXPECT_EQ(RegConnectRegistryW(c.machine, HKEY_LOCAL_MACHINE, &far), c.registry) << name;
    SetLastError(0);
    EXPECT_EQ(OpenSCManagerW(c.machine, nullptr, SC_MANAGER_CONNECT), nullptr) << name;
    EXPECT_EQ(GetLastError(), c.manager) << name;
  }

  // A user the far machine does not let write: reading works, writing is refused there.
  HKEY far = nullptr, key = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &far), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(far, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  HKEY asNobody = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachineAsNobody, HKEY_LOCAL_MACHINE, &asNobody),
            ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(asNobody, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(asNobody, kTestKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenSCManagerW(SshMachine::kMachineAsNobody, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SC_HANDLE looking = OpenSCManagerW(SshMachine::kMachineAsNobody, nullptr, SC_MANAGER_CONNECT);
  EXPECT_NE(looking, nullptr) << GetLastError();
  CloseServiceHandle(looking);
  RegCloseKey(asNobody);
  RegCloseKey(far);
}

TEST_F(RemoteCalls, AHelperKilledMidCallFailsTheCallAndTheNextConnectStartsAfresh) {
  HKEY far = nullptr, key = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &far), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(far, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  SC_HANDLE manager = OpenSCManagerW(SshMachine::kMachine, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(machine_.HelperCount(), 1) << "one channel a machine, shared by every handle";
  HKEY local = nullptr;
  {
    FarMachineRoot onFarRoot(machine_.root());
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_ALL_ACCESS, &local),
              ERROR_SUCCESS);
    ASSERT_EQ(RegLockKey(local, 1000), ERROR_SUCCESS);
  }
  // The far side waits for the lock held here when it is killed.
  auto waiter = std::async(std::launch::async, [&] { return RegLockKey(key, 600000); });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  machine_.KillHelpers();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(waiter.get(), ERROR_BAD_NETPATH);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Flag", nullptr, nullptr, nullptr, &size), ERROR_BAD_NETPATH);
  SERVICE_STATUS status{};
  EXPECT_EQ(OpenServiceW(manager, u"Anything", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FALSE(ControlService(reinterpret_cast<SC_HANDLE>(manager), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_TRUE(CloseServiceHandle(manager));
  RegCloseKey(far);
  RegCloseKey(local);

  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &far), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(far, kTestKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(far);
}

TEST_F(RemoteCalls, AHungHelperFailsTheCallAfterItsTimeout) {
  setenv("TESMAR_REMOTE_CALL_TIMEOUT", "1500", 1);
  HKEY far = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &far), ERROR_SUCCESS);
  machine_.SignalHelpers(SIGSTOP);
  HKEY key = nullptr;
  auto opened = std::async(std::launch::async,
                           [&] { return RegOpenKeyExW(far, kTestKey, 0, KEY_READ, &key); });
  EXPECT_EQ(opened.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(opened.get(), ERROR_BAD_NETPATH);
  machine_.SignalHelpers(SIGCONT);
  unsetenv("TESMAR_REMOTE_CALL_TIMEOUT");
  RegCloseKey(far);
}

}  // namespace
