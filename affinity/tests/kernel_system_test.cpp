// Cpumask against the running kernel: child processes with real threads, checked with the
// system's own tools (taskset, ps) rather than with the code under test.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Cpumask.h"
#include "platform/process.h"
#include "platform/text.h"
#include "spawned_child_fixture.h"
#include "support/kernel_view.h"

namespace tesmar::affinity::testing {
namespace {

using tesmar::testing::PsColumnById;
using tesmar::testing::SetTasksetMask;
using tesmar::testing::TasksetMask;

std::string Utf8Of(LPCWSTR text) {
  if (!text) return "";
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(length > 0 ? length : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
  utf8.resize(utf8.find('\0'));
  return utf8;
}

// A process's name is the base name of its executable where ps can show that, else the kernel's
// command name, which ps may show cut to 15 characters. A kernel worker's command name tells what
// it works on at the moment, and changes with it: only its name up to that part is stable.
bool NameMatchesPs(const std::string& name, const std::string& command, std::string executable) {
  if (!executable.empty() && executable != "-") {
    const std::string deleted = " (deleted)";
    if (executable.ends_with(deleted)) executable.resize(executable.size() - deleted.size());
    return executable.substr(executable.rfind('/') + 1) == name;
  }
  if (command.rfind("kworker/", 0) == 0) {
    std::string stable = command.substr(0, command.find_first_of("+-"));
    return name.rfind(stable, 0) == 0;
  }
  return name.rfind(command, 0) == 0;
}

class KernelTest : public SpawnedChildTest {};

TEST_F(KernelTest, MasksSetWithTasksetAreWhatCpumaskReads) {
  Spawn(3);
  ASSERT_TRUE(SetTasksetMask(host_->pid(), 0x1, true));
  EXPECT_EQ(AffinGetProcessAffinity(entry_), 0x1u);
  EXPECT_EQ(AffinGetActiveProcessAffinity(entry_), 0x1u);

  ASSERT_TRUE(SetTasksetMask(ThreadId(2), 0x2));
  EXPECT_EQ(AffinGetThreadAffinity(entry_, 0), 0x1u);
  EXPECT_EQ(AffinGetThreadAffinity(entry_, 1), 0x1u);
  EXPECT_EQ(AffinGetThreadAffinity(entry_, 2), 0x2u);
  EXPECT_EQ(AffinGetActiveProcessAffinity(entry_), 0x3u) << "the union of the thread masks";
  EXPECT_EQ(AffinGetProcessAffinity(entry_), 0x3u);
  EXPECT_EQ(AffinGetSystemAffinity(entry_), 0x3u) << "this box has two processors";
}

TEST_F(KernelTest, MasksSetThroughCpumaskAreWhatTheKernelReports) {
  Spawn(3);
  ASSERT_EQ(AffinSetProcessAffinity(entry_, 0x2), 1);
  for (DWORD index = 0; index < 3; ++index) EXPECT_EQ(TasksetMask(ThreadId(index)), 0x2u);

  ASSERT_EQ(AffinSetThreadAffinity(entry_, 1, 0x1), 1);
  EXPECT_EQ(TasksetMask(ThreadId(0)), 0x2u);
  EXPECT_EQ(TasksetMask(ThreadId(1)), 0x1u);
  EXPECT_EQ(TasksetMask(ThreadId(2)), 0x2u);

  ASSERT_EQ(AffinSetActiveProcessAffinity(entry_, 0x3), 1);
  for (DWORD index = 0; index < 3; ++index) EXPECT_EQ(TasksetMask(ThreadId(index)), 0x3u);
}

TEST_F(KernelTest, ExitedProcessGivesEveryFailureValue) {
  Spawn(2);
  auto basePriority = ReadEntryBytes<int32_t>(entry_, PROCESS_ENTRY_BASE_PRIORITY);
  host_.reset();  // closes the child's input and waits for it to exit

  EXPECT_EQ(AffinGetProcessAffinity(entry_), 0u);
  EXPECT_EQ(AffinSetProcessAffinity(entry_, 0x1), 0);
  EXPECT_EQ(AffinGetSystemAffinity(entry_), 0u);
  EXPECT_EQ(AffinSetProcessPriority(entry_, NORMAL_PRIORITY_CLASS), 0);
  EXPECT_EQ(AffinSetPriorityBoost(entry_, 1), 0);
  DWORD disabled = 7;
  EXPECT_EQ(AffinGetPriorityBoost(entry_, &disabled), 0);
  EXPECT_EQ(AffinGetProcessPriority(entry_), static_cast<DWORD>(basePriority));
  EXPECT_EQ(basePriority, 8) << "a process of the normal class at the normal level";

  EXPECT_EQ(AffinGetThreadHandle(entry_, 1), nullptr);
  EXPECT_EQ(AffinGetThreadAffinity(entry_, 1), 0u);
  EXPECT_EQ(AffinSetThreadAffinity(entry_, 1, 0x1), 0);
  EXPECT_EQ(AffinGetActiveProcessAffinity(entry_), 0u);
  EXPECT_EQ(AffinSetActiveProcessAffinity(entry_, 0x1), 0);
  EXPECT_EQ(AffinGetThreadPriority(entry_, 1), 0);
  EXPECT_EQ(AffinSetThreadPriority(entry_, 1, THREAD_PRIORITY_HIGHEST), 0);
  EXPECT_EQ(AffinSetThreadIdealProcessor(entry_, 1, 0), 0xFFFFFFFFu);
}

struct PsListing {
  std::map<uint32_t, std::string> commands = PsColumnById("comm");
  std::map<uint32_t, std::string> executables = PsColumnById("exe");

  // Whether ps listed the id, and with that name.
  bool Lists(uint32_t processId) const { return commands.count(processId) != 0; }
  bool Matches(uint32_t processId, const std::string& name) const {
    auto executable = executables.find(processId);
    return Lists(processId) &&
           NameMatchesPs(name, commands.at(processId),
                         executable == executables.end() ? "" : executable->second);
  }
};

TEST_F(KernelTest, NamesAndTextsAreThoseThatPsReports) {
  Spawn(2);
  EXPECT_EQ(Utf8Of(AffinGetProcName(entry_)), "tesmar_thread_host");

  // A process that starts another program between the snapshot and ps changes its name; with
  // ps run on either side of the snapshot, one of the two saw what the snapshot saw.
  PsListing before;
  SnapshotPointer snapshot = TakeSnapshot();
  PsListing after;
  ASSERT_NE(snapshot, nullptr);
  ASSERT_FALSE(before.commands.empty());

  unsigned compared = 0;
  unsigned hostTexts = 0;
  DWORD processId = 0;
  for (LPCWSTR text = AffinGetNextProcessByName(snapshot.get(), 0, &processId); text;
       text = AffinGetNextProcessByName(snapshot.get(), 1, &processId)) {
    // "name (0x<id>)", taken apart and checked against what ps says of that id.
    std::string utf8 = Utf8Of(text);
    auto opening = utf8.rfind(" (0x");
    ASSERT_NE(opening, std::string::npos) << utf8;
    ASSERT_EQ(utf8.back(), ')') << utf8;
    std::string name = utf8.substr(0, opening);
    uint32_t textId = std::stoul(utf8.substr(opening + 4), nullptr, 16);
    EXPECT_EQ(textId, processId) << utf8;
    if (textId == host_->pid()) ++hostTexts;

    if (!before.Lists(textId) || !after.Lists(textId)) continue;  // started or ended meanwhile
    ++compared;
    EXPECT_TRUE(before.Matches(textId, name) || after.Matches(textId, name))
        << utf8 << ": ps says " << after.commands[textId] << ", " << after.executables[textId];
  }
  EXPECT_EQ(hostTexts, 1u);
  EXPECT_GT(compared, before.commands.size() / 2) << "most processes outlive the test";
}

TEST_F(KernelTest, SearchByNameIsCaseSensitive) {
  Spawn(1);
  ProcessEntry* found = AffinFindProcessByName(u"tesmar_thread_host", snapshot_.get());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Utf8Of(AffinGetProcName(found)), "tesmar_thread_host");
  EXPECT_EQ(AffinFindProcessByName(u"TESMAR_THREAD_HOST", snapshot_.get()), nullptr);
  EXPECT_EQ(AffinFindProcessByName(u"tesmar_thread_hos", snapshot_.get()), nullptr);
}

TEST_F(KernelTest, SnapshotOfTwentyThousandThreadsSucceeds) {
  // Far past the 256 KiB that about 3,000 threads fill.
  Spawn(20000);
  EXPECT_EQ(AffinGetThreadCount(entry_), 20000u);
  EXPECT_GT(AffinGetProcessCount(snapshot_.get()), 2);
  EXPECT_NE(AffinGetThreadAffinity(entry_, 19999), 0u) << "the last thread can be reached";
}

}  // namespace
}  // namespace tesmar::affinity::testing
