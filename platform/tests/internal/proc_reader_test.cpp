// The kernel source's /proc reader on a tree of the test's own, moved in place of /proc: what
// it lists, which names it takes, and what it leaves out.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "processes/kernel_process_source.h"

using namespace tesmar::platform;
namespace fs = std::filesystem;

namespace {

class MovedProcRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tesmar-proc-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
  }
  void TearDown() override { fs::remove_all(root); }

  void Task(const std::string& process, const std::string& thread) {
    fs::create_directories(root / process / "task" / thread);
  }
  void File(const std::string& path, const std::string& text) {
    fs::create_directories((root / path).parent_path());
    std::ofstream(root / path) << text;
  }
  // A process's stat line: its command name, its parent and when it started.
  void Stat(const std::string& process, const std::string& command, int parent, long started) {
    File(process + "/stat", process + " (" + command + ") S " + std::to_string(parent) +
                                " 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 " + std::to_string(started) +
                                " 1000 50 0\n");
  }

  fs::path root;
};

struct Listed {
  std::u16string name;
  std::vector<uint32_t> threads;
  uint32_t parent = 0;
  int64_t createTime = 0;
};

std::map<uint32_t, Listed> ListedProcesses(KernelProcessSource& source) {
  ProcessListing listing;
  EXPECT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  std::map<uint32_t, Listed> listed;
  for (const auto& process : listing.processes) {
    Listed& entry = listed[process.id];
    entry.name = listing.names.substr(process.nameStart, process.nameLength);
    entry.parent = process.parentId;
    entry.createTime = process.createTime;
    entry.threads.assign(listing.threadIds.begin() + process.firstThread,
                         listing.threadIds.begin() + process.firstThread + process.threadCount);
    std::sort(entry.threads.begin(), entry.threads.end());
  }
  return listed;
}

TEST_F(MovedProcRoot, ListsProcessesByExecutableOrCommAndLeavesOutThoseThatVanished) {
  // An ordinary process whose executable was replaced while it ran.
  Task("4001", "4001");
  Task("4001", "4002");
  fs::create_symlink("/usr/local/bin/my (tool) (deleted)", root / "4001" / "exe");
  Stat("4001", "my (tool)", 1, 5555);
  // A kernel thread: no executable, only its command name.
  Task("4003", "4003");
  Stat("4003", "kworker/0:1 x", 2, 7);
  // A process that ended between the directory listing and its reading: only its task left.
  Task("4005", "4005");
  // Gone before its threads could be listed.
  fs::create_directories(root / "4007");
  // Entries that are not processes.
  File("stat", "cpu 1 2 3\n");
  fs::create_directories(root / "sys");
  fs::create_directories(root / "12ab");

  KernelProcessSource source(root.string());
  auto listed = ListedProcesses(source);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[4001].name, u"my (tool)");
  EXPECT_EQ(listed[4001].threads, (std::vector<uint32_t>{4001, 4002}));
  EXPECT_EQ(listed[4003].name, u"kworker/0:1 x");
  EXPECT_EQ(listed[4003].threads, (std::vector<uint32_t>{4003}));
  // The start in clock ticks as a creation time in 100 ns units; the parent from stat too.
  EXPECT_EQ(listed[4001].createTime, 5555 * (10'000'000 / sysconf(_SC_CLK_TCK)));
  EXPECT_EQ(listed[4001].parent, 1u);
  EXPECT_EQ(listed[4003].parent, 2u);

  std::vector<uint32_t> threads;
  ASSERT_EQ(source.ListThreads(4001, threads), ERROR_SUCCESS);
  std::sort(threads.begin(), threads.end());
  EXPECT_EQ(threads, (std::vector<uint32_t>{4001, 4002}));
  EXPECT_EQ(source.ListThreads(4007, threads), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(source.ListThreads(4999, threads), ERROR_INVALID_PARAMETER);
}

TEST_F(MovedProcRoot, ReadsTheLastProcessorFromAStatLineWhoseCommandHoldsParentheses) {
  File("4011/stat",
       "4011 (a) b (c) R 1 4011 4011 0 -1 4194560 100 0 0 0 5 6 0 0 20 0 1 0 5555 1000 50 "
       "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 13 0 0 0 0 0\n");
  KernelProcessSource source(root.string());
  unsigned processor = 99;
  ASSERT_EQ(source.LastProcessor(4011, processor), ERROR_SUCCESS);
  EXPECT_EQ(processor, 13u);
  EXPECT_EQ(source.LastProcessor(4012, processor), ERROR_INVALID_PARAMETER);
}

}  // namespace
