// CreateProcessA with its wait and exit code, MoveFileA and GetVersionExA against the real
// kernel and file system.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/child_process.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/threading.h"
#include "platform/version.h"
#include "support/temporary_machine_root.h"

namespace {

struct Started {
  BOOL created;
  PROCESS_INFORMATION process{};
};

Started Start(std::string commandLine, DWORD flags = NORMAL_PRIORITY_CLASS) {
  Started started{};
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  started.created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags,
                                   nullptr, nullptr, &startup, &started.process);
  return started;
}

DWORD WaitForExitCode(const PROCESS_INFORMATION& process) {
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(ChildProcess, IsWaitedForAndGivesItsExitCode) {
  Started exits = Start("sh -c \"exit 3\"");
  ASSERT_TRUE(exits.created) << GetLastError();
  EXPECT_EQ(WaitForExitCode(exits.process), 3u);

  Started sleeps = Start("sleep 60");
  ASSERT_TRUE(sleeps.created) << GetLastError();
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(sleeps.process.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(sleeps.process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  kill(static_cast<pid_t>(sleeps.process.dwProcessId), SIGKILL);
  EXPECT_EQ(WaitForExitCode(sleeps.process), 128u + SIGKILL);
}

TEST(ChildProcess, AMissingProgramAndUnknownFlagsAreRefused) {
  Started missing = Start("no-such-program-of-tesmar --flag");
  EXPECT_FALSE(missing.created);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  Started flagged = Start("true", 0x00000010u);  // CREATE_NEW_CONSOLE
  EXPECT_FALSE(flagged.created);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ChildProcess, ADetachedChildLeadsASessionOfItsOwn) {
  std::string test = "sh -c \"test $(ps -o sid= -p $$) -eq $$\"";
  EXPECT_EQ(WaitForExitCode(Start(test, NORMAL_PRIORITY_CLASS | DETACHED_PROCESS).process), 0u);
  EXPECT_EQ(WaitForExitCode(Start(test).process), 1u);
}

TEST(MoveFile, RenamesAndRefusesAnExistingName) {
  tesmar::testing::TemporaryMachineRoot root;
  std::string from = root.path() + "/from", to = root.path() + "/to";
  std::ofstream(from) << "a";
  std::ofstream(to) << "b";
  EXPECT_FALSE(MoveFileA(from.c_str(), to.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  std::filesystem::remove(to);
  EXPECT_TRUE(MoveFileA(from.c_str(), to.c_str())) << GetLastError();
  EXPECT_TRUE(std::filesystem::exists(to));
  EXPECT_FALSE(MoveFileA(from.c_str(), to.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Version, IsWindowsNtWithTheKernelsNumbers) {
  std::string release;
  std::ifstream("/proc/sys/kernel/osrelease") >> release;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion),
            release.substr(0, release.find('.', release.find('.') + 1)));
  EXPECT_EQ(std::string(version.szCSDVersion), release);
  version.dwOSVersionInfoSize = 4;
  EXPECT_FALSE(GetVersionExA(&version));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
