// The process and thread calls against the running kernel, with children the tests spawn.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/text.h"
#include "process_test_support.h"
#include "support/kernel_view.h"
#include "support/thread_host.h"

using tesmar::testing::CommandOutput;
using tesmar::testing::PsThreadOf;
using tesmar::testing::SetTasksetMask;
using tesmar::testing::SpawnedThreadHost;
using tesmar::testing::TasksetMask;
using namespace process_test;

namespace {

uint32_t KernelMask(uint32_t threadId) {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(static_cast<pid_t>(threadId), sizeof set, &set) != 0) return 0;
  uint32_t mask = 0;
  for (unsigned cpu = 0; cpu < 32; ++cpu) {
    if (CPU_ISSET(cpu, &set)) mask |= uint32_t{1} << cpu;
  }
  return mask;
}

std::string Utf8(const std::u16string& text) {
  char buffer[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

class KernelProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    if (sysconf(_SC_NPROCESSORS_ONLN) < 2) GTEST_SKIP() << "needs two processors";
    ASSERT_TRUE(child.start(3));
  }
  SpawnedThreadHost child;
};

TEST_F(KernelProcesses, MasksSetWithTasksetAreWhatTheCallsRead) {
  const auto& threads = child.threadIds();
  ASSERT_TRUE(SetTasksetMask(threads[0], 0x1));
  ASSERT_TRUE(SetTasksetMask(threads[1], 0x2));
  ASSERT_TRUE(SetTasksetMask(threads[2], 0x2));

  HANDLE thread = OpenThreadById(threads[1]);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(ThreadMask(thread), 0x2u);
  CloseHandle(thread);
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, child.pid());
  DWORD_PTR mask = 0;
  DWORD_PTR system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(process, &mask, &system));
  EXPECT_EQ(mask, 0x3u);
  EXPECT_EQ(system, (DWORD_PTR{1} << sysconf(_SC_NPROCESSORS_ONLN)) - 1);
  CloseHandle(process);
}

TEST_F(KernelProcesses, MasksSetThroughTheCallsAreWhatTheKernelReports) {
  const auto& threads = child.threadIds();
  HANDLE thread = OpenThreadById(threads[2]);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(SetThreadAffinityMask(thread, 0x2), 0u);
  EXPECT_EQ(TasksetMask(threads[2]), 0x2u);
  EXPECT_EQ(KernelMask(threads[2]), 0x2u);
  CloseHandle(thread);

  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, child.pid());
  ASSERT_TRUE(SetProcessAffinityMask(process, 0x1));
  for (uint32_t id : threads) EXPECT_EQ(TasksetMask(id), 0x1u) << id;
  CloseHandle(process);
}

TEST_F(KernelProcesses, HandlesFailOnceTheChildHasExited) {
  uint32_t pid = child.pid();
  uint32_t second = child.threadIds()[1];
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, pid);
  HANDLE thread = OpenThreadById(second);
  ASSERT_NE(process, nullptr);
  ASSERT_NE(thread, nullptr);
  child.stop();

  DWORD_PTR mask = 0;
  DWORD_PTR system = 0;
  SetLastError(0);
  EXPECT_FALSE(GetProcessAffinityMask(process, &mask, &system));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetPriorityClass(process, IDLE_PRIORITY_CLASS));
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(SetThreadAffinityMask(thread, 0x1), 0u);
  EXPECT_FALSE(
      NT_SUCCESS(NtQueryInformationThread(thread, ThreadBasicInformation, &mask, 28, nullptr)));
  CloseHandle(process);
  CloseHandle(thread);

  SetLastError(0);
  EXPECT_EQ(OpenProcess(MAXIMUM_ALLOWED, FALSE, pid), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(OpenThreadById(second), nullptr);
}

TEST_F(KernelProcesses, AHandleWithTerminateRightsNamesAndEndsItsProcessOnly) {
  uint32_t pid = child.pid();
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  ASSERT_NE(process, nullptr);
  WCHAR name[64] = {};
  EXPECT_EQ(GetModuleBaseNameW(process, nullptr, name, 64), 18u);
  EXPECT_EQ(std::u16string(name), u"tesmar_thread_host");
  EXPECT_EQ(GetModuleBaseNameW(process, nullptr, name, 7), 6u);
  EXPECT_EQ(std::u16string(name), u"tesmar");
  ASSERT_TRUE(TerminateProcess(process, 99));
  int status = 0;
  ASSERT_EQ(waitpid(static_cast<pid_t>(pid), &status, 0), static_cast<pid_t>(pid));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  // Gone: the handle neither names nor ends anything, whoever takes the id next.
  SetLastError(0);
  EXPECT_FALSE(TerminateProcess(process, 99));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetModuleBaseNameW(process, nullptr, name, 64), 0u);
  CloseHandle(process);
}

TEST_F(KernelProcesses, AProcessThatHasEndedIsNotOpenedWhileItAwaitsItsParent) {
  pid_t zombie = fork();
  ASSERT_GE(zombie, 0);
  if (zombie == 0) _exit(0);
  // Until it is reaped, its id and its /proc entry stay.
  std::string state;
  for (int attempt = 0; attempt < 500 && state != "Z"; ++attempt) {
    std::ifstream stat("/proc/" + std::to_string(zombie) + "/stat");
    std::string pid, comm;
    stat >> pid >> comm >> state;
    if (state != "Z") usleep(2000);
  }
  ASSERT_EQ(state, "Z");
  SetLastError(0);
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, static_cast<DWORD>(zombie));
  DWORD error = GetLastError();
  HANDLE thread = OpenThreadById(static_cast<uint32_t>(zombie));
  waitpid(zombie, nullptr, 0);
  EXPECT_EQ(process, nullptr);
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(thread, nullptr);
  if (process) CloseHandle(process);
  if (thread) CloseHandle(thread);
}

TEST_F(KernelProcesses, ListNamesAndThreadsMatchWhatPsReports) {
  auto entries = Entries(QueryList());
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].processId, 0u);
  EXPECT_FALSE(entries[0].hasName);
  EXPECT_EQ(entries[0].threadCount, static_cast<uint32_t>(sysconf(_SC_NPROCESSORS_ONLN)));

  const Entry* mine = FindEntry(entries, child.pid());
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->threadIds, child.threadIds());
  EXPECT_EQ(Utf8(mine->name), "tesmar_thread_host");  // the executable's whole base name
  EXPECT_EQ(mine->basePriority, 8);
  EXPECT_EQ(mine->parentId, static_cast<uint32_t>(getpid()));

  // The creation time is the boot's (btime of /proc/stat) plus the start stat counts, in 100 ns
  // units since 1601; a child started later has a later one.
  std::string procStat = CommandOutput("cat /proc/stat").value_or("");
  int64_t bootSeconds = std::stoll(procStat.substr(procStat.find("\nbtime ") + 7));
  std::string childStat =
      CommandOutput("cat /proc/" + std::to_string(child.pid()) + "/stat").value_or("");
  std::istringstream fields(childStat.substr(childStat.rfind(')') + 2));
  std::string field;
  for (int n = 3; n <= 22 && fields >> field; ++n) {
  }
  int64_t startTicks = std::stoll(field);
  EXPECT_EQ(mine->createTime, (bootSeconds + 11'644'473'600) * 10'000'000 +
                                  startTicks * (10'000'000 / sysconf(_SC_CLK_TCK)));
  SpawnedThreadHost later(1);
  ASSERT_TRUE(later.started());
  auto laterEntries = Entries(QueryList());
  const Entry* laterEntry = FindEntry(laterEntries, later.pid());
  ASSERT_NE(laterEntry, nullptr);
  EXPECT_GE(laterEntry->createTime, mine->createTime);

  // The name is the executable's base name, as ps's exe column shows it resolved, or, where
  // ps shows no executable (kernel threads), the kernel's comm.
  std::istringstream ps(CommandOutput("ps -e -ww -o pid=,exe:1000=,comm=").value_or(""));
  // Only processes that kept their name across ps's look are compared: another test's child
  // may be started, end, or run a new program (a fork, then exec) meanwhile.
  auto entriesAfter = Entries(QueryList());
  int compared = 0;
  for (std::string line; std::getline(ps, line);) {
    std::istringstream words(line);
    uint32_t pid = 0;
    std::string exe, comm;
    words >> pid >> exe;
    std::getline(words >> std::ws, comm);
    const Entry* entry = FindEntry(entries, pid);
    const Entry* after = FindEntry(entriesAfter, pid);
    if (!entry || !after || after->name != entry->name || comm.empty()) continue;
    if (comm.starts_with("kworker/")) continue;  // the kernel renames these as they work
    std::string name = Utf8(entry->name);
    if (exe == "-") {
      // No executable to show: a kernel thread, or a process that was ending when ps looked
      // (the list may have read its executable just before). comm is the name cut to 15 bytes.
      EXPECT_EQ(name.substr(0, comm.size()), comm) << pid;
    } else {
      EXPECT_EQ(name, exe.substr(exe.rfind('/') + 1)) << pid;
    }
    ++compared;
  }
  EXPECT_GT(compared, 5);
}

TEST(KernelSnapshot, HoldsAMachineWithTwentyThousandThreads) {
  SpawnedThreadHost big;
  if (!big.start(20000)) GTEST_SKIP() << "this machine cannot start 20,000 threads";
  auto buffer = QueryList();
  ASSERT_FALSE(buffer.empty());
  auto entries = Entries(buffer);
  const Entry* entry = FindEntry(entries, big.pid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->threadCount, 20000u);
  EXPECT_EQ(entry->threadIds, big.threadIds());
}

// Mapped values are what ps shows: nice, and the policy as TS, B or RR.
class KernelPriorities : public KernelProcesses {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "raising priorities needs root";
    KernelProcesses::SetUp();
  }
  std::string Shown(uint32_t threadId) {
    auto thread = PsThreadOf(child.pid(), threadId);
    return thread ? thread->Scheduling() : "";
  }
};

TEST_F(KernelPriorities, EveryClassAndLevelReadsBackAndShowsItsMappedValue) {
  struct Expected {
    DWORD priorityClass;
    int level;
    const char* shown;
  };
  const Expected table[] = {
      {IDLE_PRIORITY_CLASS, -15, "19 TS -"},    {IDLE_PRIORITY_CLASS, -2, "14 TS -"},
      {IDLE_PRIORITY_CLASS, 0, "10 TS -"},      {IDLE_PRIORITY_CLASS, 2, "6 TS -"},
      {NORMAL_PRIORITY_CLASS, -1, "2 TS -"},    {NORMAL_PRIORITY_CLASS, 0, "0 TS -"},
      {NORMAL_PRIORITY_CLASS, 1, "-2 TS -"},    {NORMAL_PRIORITY_CLASS, 15, "-20 TS -"},
      {HIGH_PRIORITY_CLASS, -2, "-6 TS -"},     {HIGH_PRIORITY_CLASS, 0, "-10 TS -"},
      {HIGH_PRIORITY_CLASS, 2, "-14 TS -"},     {REALTIME_PRIORITY_CLASS, -15, "- RR 16"},
      {REALTIME_PRIORITY_CLASS, -1, "- RR 23"}, {REALTIME_PRIORITY_CLASS, 0, "- RR 24"},
      {REALTIME_PRIORITY_CLASS, 2, "- RR 26"},  {REALTIME_PRIORITY_CLASS, 15, "- RR 31"},
  };
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, child.pid());
  uint32_t second = child.threadIds()[1];
  HANDLE thread = OpenThreadById(second);
  for (const Expected& row : table) {
    ASSERT_TRUE(SetPriorityClass(process, row.priorityClass)) << GetLastError();
    ASSERT_TRUE(SetThreadPriority(thread, row.level)) << GetLastError();
    EXPECT_EQ(GetPriorityClass(process), row.priorityClass) << row.shown;
    EXPECT_EQ(GetThreadPriority(thread), row.level) << row.shown;
    EXPECT_EQ(Shown(second), row.shown);
  }
  for (DWORD priorityClass :
       {IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS}) {
    ASSERT_TRUE(SetPriorityClass(process, priorityClass));
    for (int level : {-15, -2, -1, 0, 1, 2, 15}) {
      ASSERT_TRUE(SetThreadPriority(thread, level));
      EXPECT_EQ(GetThreadPriority(thread), level) << priorityClass;
      EXPECT_EQ(GetPriorityClass(process), priorityClass) << level;
    }
  }
  CloseHandle(thread);
  CloseHandle(process);
}

TEST_F(KernelPriorities, BoostDisabledShowsBatchScheduling) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, child.pid());
  ASSERT_TRUE(SetPriorityClass(process, HIGH_PRIORITY_CLASS));
  ASSERT_TRUE(SetProcessPriorityBoost(process, TRUE));
  for (uint32_t id : child.threadIds()) EXPECT_EQ(Shown(id), "-10 B 0");
  BOOL disabled = FALSE;
  ASSERT_TRUE(GetProcessPriorityBoost(process, &disabled));
  EXPECT_TRUE(disabled);
  EXPECT_EQ(GetPriorityClass(process), HIGH_PRIORITY_CLASS);
  ASSERT_TRUE(SetProcessPriorityBoost(process, FALSE));
  for (uint32_t id : child.threadIds()) EXPECT_EQ(Shown(id), "-10 TS -");
  CloseHandle(process);
}

TEST_F(KernelProcesses, IdealProcessorMovesTheThreadAndKeepsItsMask) {
  uint32_t second = child.threadIds()[1];
  HANDLE thread = OpenThreadById(second);
  DWORD previous = SetThreadIdealProcessor(thread, 1);
  EXPECT_LT(previous, 2u);  // where it ran last
  EXPECT_EQ(SetThreadIdealProcessor(thread, 0), 1u);
  EXPECT_EQ(KernelMask(second), 0x3u);
  EXPECT_EQ(SetThreadIdealProcessor(thread, static_cast<DWORD>(sysconf(_SC_NPROCESSORS_ONLN))),
            0xFFFFFFFFu);
  CloseHandle(thread);
}

}  // namespace
