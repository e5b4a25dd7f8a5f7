// The service manager's definitions and handles: create, open, delete, names and machines, each
// test on a machine root of its own (a real registry database, no service process).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "support/temporary_machine_root.h"

namespace {

constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Probe";

class ServiceDefinition : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << GetLastError();
  }
  void TearDown() override { CloseServiceHandle(manager_); }

  SC_HANDLE Create(const char* name, DWORD startType = SERVICE_DEMAND_START) {
    return CreateServiceA(manager_, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                          startType, SERVICE_ERROR_NORMAL, "/usr/bin/true", nullptr, nullptr,
                          nullptr, nullptr, nullptr);
  }
  bool DefinitionKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }

  tesmar::testing::TemporaryMachineRoot root_;
  SC_HANDLE manager_ = nullptr;
};

DWORD ReadDword(HKEY key, const char* name) {
  DWORD value = 0xdeadbeef, size = sizeof value, type = 0;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS)
      << name;
  EXPECT_EQ(type, REG_DWORD) << name;
  return value;
}

std::string ReadString(HKEY key, const char* name) {
  char text[256] = {};
  DWORD size = sizeof text - 1, type = 0;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS)
      << name;
  return text;
}

TEST_F(ServiceDefinition, CreateWritesTheDefinitionAndRefusesATakenName) {
  SC_HANDLE service =
      CreateServiceA(manager_, "Probe", "Probe Display", SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     "/opt/probe/bin/probe -x", nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr) << GetLastError();

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(ReadString(key, "ImagePath"), "/opt/probe/bin/probe -x");
  EXPECT_EQ(ReadString(key, "DisplayName"), "Probe Display");
  EXPECT_EQ(ReadDword(key, "Start"), SERVICE_AUTO_START);
  EXPECT_EQ(ReadDword(key, "Type"), SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(ReadDword(key, "ErrorControl"), SERVICE_ERROR_NORMAL);
  RegCloseKey(key);

  SetLastError(0);
  EXPECT_EQ(Create("Probe"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(Create("PROBE"), nullptr) << "names compare without regard to case";
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);

  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_NEVER_STARTED);
  EXPECT_TRUE(CloseServiceHandle(service));
}

TEST_F(ServiceDefinition, OpenFindsDefinedServicesOnly) {
  SetLastError(0);
  EXPECT_EQ(OpenServiceW(manager_, u"Probe", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

  SC_HANDLE created = Create("Probe");
  ASSERT_NE(created, nullptr);
  SetLastError(0xdeadbeef);
  SC_HANDLE opened = OpenServiceW(manager_, u"probe", SERVICE_QUERY_STATUS);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "success leaves the last error alone";
  SC_HANDLE openedNarrow = OpenServiceA(manager_, "Probe", SERVICE_ALL_ACCESS);
  ASSERT_NE(openedNarrow, nullptr);

  // A handle opened for querying only may not start the service.
  SetLastError(0);
  EXPECT_FALSE(StartServiceW(opened, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // Service handles need a manager handle, and a service handle is no manager.
  SetLastError(0);
  EXPECT_EQ(OpenServiceW(opened, u"Probe", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  for (SC_HANDLE handle : {created, opened, openedNarrow}) EXPECT_TRUE(CloseServiceHandle(handle));
}

TEST_F(ServiceDefinition, RefusesNamesAndArgumentsItCannotKeep) {
  for (const char* name : {"", "a/b", "a\\b", ".", ".."}) {
    SetLastError(0);
    EXPECT_EQ(Create(name), nullptr) << name;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << name;
    SetLastError(0);
    EXPECT_EQ(OpenServiceA(manager_, name, SERVICE_ALL_ACCESS), nullptr) << name;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << name;
  }
  SetLastError(0);
  EXPECT_EQ(CreateServiceA(manager_, "Probe", nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "no image path";
  EXPECT_FALSE(DefinitionKeyExists());
}

TEST_F(ServiceDefinition, DeleteMarksUntilTheLastHandleCloses) {
  SC_HANDLE first = Create("Probe");
  ASSERT_NE(first, nullptr);
  SC_HANDLE second = OpenServiceA(manager_, "Probe", SERVICE_ALL_ACCESS);
  ASSERT_NE(second, nullptr);

  ASSERT_TRUE(DeleteService(first));
  SetLastError(0);
  EXPECT_FALSE(DeleteService(second));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  SetLastError(0);
  EXPECT_EQ(OpenServiceA(manager_, "Probe", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  SetLastError(0);
  EXPECT_EQ(Create("Probe"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  SetLastError(0);
  EXPECT_FALSE(StartServiceA(second, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);

  ASSERT_TRUE(CloseServiceHandle(first));
  EXPECT_TRUE(DefinitionKeyExists()) << "a handle is still open";
  ASSERT_TRUE(CloseServiceHandle(second));
  EXPECT_FALSE(DefinitionKeyExists());
  SetLastError(0);
  EXPECT_EQ(OpenServiceA(manager_, "Probe", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

  SC_HANDLE again = Create("Probe");
  EXPECT_NE(again, nullptr) << "the name is free again";
  CloseServiceHandle(again);
}

TEST_F(ServiceDefinition, ADisabledServiceDoesNotStart) {
  SC_HANDLE service = Create("Probe", SERVICE_DISABLED);
  ASSERT_NE(service, nullptr);
  SetLastError(0);
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);
  CloseServiceHandle(service);
}

TEST(ServiceManager, OpensThisMachineOnly) {
  tesmar::testing::TemporaryMachineRoot root;
  std::string hostName;
  std::getline(std::ifstream("/proc/sys/kernel/hostname"), hostName);
  ASSERT_FALSE(hostName.empty());
  std::string backslashed = "\\\\" + hostName;
  for (const char* name :
       {static_cast<const char*>(nullptr), "", hostName.c_str(), backslashed.c_str()}) {
    SC_HANDLE manager = OpenSCManagerA(name, nullptr, SC_MANAGER_ALL_ACCESS);
    EXPECT_NE(manager, nullptr) << (name ? name : "(null)");
    EXPECT_TRUE(CloseServiceHandle(manager));
  }
  SetLastError(0);
  EXPECT_EQ(OpenSCManagerW(u"\\\\elsewhere-machine", nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  SetLastError(0);
  EXPECT_EQ(OpenSCManagerA("elsewhere-machine", nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
}

TEST(ServiceManager, CloseServiceHandleClosesServiceManagerHandlesOnly) {
  tesmar::testing::TemporaryMachineRoot root;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  for (SC_HANDLE bogus :
       {SC_HANDLE(nullptr), reinterpret_cast<SC_HANDLE>(event), SC_HANDLE(uintptr_t{1} << 20)}) {
    SetLastError(0);
    EXPECT_FALSE(CloseServiceHandle(bogus));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "still open";
  SetLastError(0xdeadbeef);
  EXPECT_TRUE(CloseServiceHandle(manager));
  EXPECT_EQ(GetLastError(), 0xdeadbeefu);
  EXPECT_FALSE(CloseServiceHandle(manager)) << "closed twice";
  CloseHandle(event);
}

}  // namespace
