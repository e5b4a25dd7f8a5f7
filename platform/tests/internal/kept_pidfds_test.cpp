// The kernel source keeps the pidfds of one pass for the next: a task opened again is opened
// through its kept pidfd while it runs, and anew once it has ended; what no pass asks for is
// closed, and no more than the budget is ever kept. With them a process's threads are answered
// from the machine's last listing, only while that is exactly what its task folder lists.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "processes/kept_pidfds.h"
#include "processes/kernel_process_source.h"

using namespace tesmar::platform;

namespace {

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// A thread of this process that runs until it is let go.
class WaitingThread {
 public:
  WaitingThread()
      : thread_([this] {
          id_.set_value(static_cast<uint32_t>(syscall(SYS_gettid)));
          letGo_.get_future().wait();
        }) {}
  ~WaitingThread() { End(); }
  uint32_t Id() { return id_future_.get(); }
  void End() {
    if (!thread_.joinable()) return;
    letGo_.set_value();
    thread_.join();
  }

 private:
  std::promise<uint32_t> id_;
  std::shared_future<uint32_t> id_future_ = id_.get_future().share();
  std::promise<void> letGo_;
  std::thread thread_;
};

// This process's threads as its task folder lists them now, in order.
std::vector<uint32_t> FolderThreads() {
  std::vector<uint32_t> ids;
  for (auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    ids.push_back(static_cast<uint32_t>(std::stoul(entry.path().filename().string())));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::vector<uint32_t> Sorted(std::vector<uint32_t> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

TEST(KeptPidfds, ATaskOpenedAgainUsesItsKeptPidfdUntilItEnds) {
  KernelProcessSource source;
  if (!source.UsesPidfd()) GTEST_SKIP() << "this kernel gives no thread pidfds";
  WaitingThread waiting;
  const uint32_t id = waiting.Id();
  const std::size_t before = OpenDescriptors();
  std::unique_ptr<TaskIdentity> first;
  ASSERT_EQ(source.Open(id, false, first), ERROR_SUCCESS);
  first.reset();
  EXPECT_EQ(OpenDescriptors(), before + 1) << "kept once its handle is gone";
  std::unique_ptr<TaskIdentity> second;
  ASSERT_EQ(source.Open(id, false, second), ERROR_SUCCESS);
  EXPECT_EQ(OpenDescriptors(), before + 1) << "opened again through the kept pidfd";
  EXPECT_TRUE(second->StillSame());

  waiting.End();
  // A joined thread may still be on its way out of the kernel: its pidfd turns readable then.
  for (int look = 0; look < 10000 && second->StillSame(); ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(second->StillSame());
  std::unique_ptr<TaskIdentity> third;
  EXPECT_NE(source.Open(id, false, third), ERROR_SUCCESS) << "never through a pidfd that ended";
  second.reset();
  EXPECT_EQ(OpenDescriptors(), before) << "the ended task's pidfd was dropped";
}

TEST(KeptPidfds, WhatNoPassAskedForIsClosedAndTheBudgetHolds) {
  KernelProcessSource source;
  if (!source.UsesPidfd()) GTEST_SKIP() << "this kernel gives no thread pidfds";
  WaitingThread waiting;
  const std::size_t before = OpenDescriptors();
  std::unique_ptr<TaskIdentity> opened;
  ASSERT_EQ(source.Open(waiting.Id(), false, opened), ERROR_SUCCESS);
  opened.reset();
  ProcessListing listing;
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  EXPECT_EQ(OpenDescriptors(), before + 1) << "asked for since the listing before";
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  EXPECT_EQ(OpenDescriptors(), before);

  KeptPidfds keep(1);
  auto one = std::make_shared<const OwnedDescriptor>(dup(STDIN_FILENO));
  auto two = std::make_shared<const OwnedDescriptor>(dup(STDIN_FILENO));
  keep.Keep(1, false, one);
  keep.Keep(2, false, two);
  EXPECT_EQ(keep.Size(), 1u);
}

TEST(ListedThreads, AProcessIsAnsweredFromTheMachineListingOnlyWhileItHoldsExactly) {
  KernelProcessSource source;
  if (!source.UsesPidfd()) GTEST_SKIP() << "this kernel gives no thread pidfds";
  std::vector<std::unique_ptr<WaitingThread>> waiting;
  for (int i = 0; i < 10; ++i) waiting.push_back(std::make_unique<WaitingThread>());
  for (auto& thread : waiting) thread->Id();
  const auto self = static_cast<uint32_t>(getpid());
  ProcessListing listing;
  std::vector<uint32_t> ids;
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  std::size_t folders = source.TaskFolderListings();
  ASSERT_EQ(source.ListThreads(self, ids), ERROR_SUCCESS);
  EXPECT_EQ(source.TaskFolderListings(), folders + 1) << "no pidfd kept before the listing";

  // A pass opens every thread: the next listing finds their pidfds kept before it.
  for (uint32_t id : ids) {
    std::unique_ptr<TaskIdentity> identity;
    ASSERT_EQ(source.Open(id, false, identity), ERROR_SUCCESS);
  }
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  folders = source.TaskFolderListings();
  ASSERT_EQ(source.ListThreads(self, ids), ERROR_SUCCESS);
  EXPECT_EQ(Sorted(ids), FolderThreads());
  EXPECT_EQ(source.TaskFolderListings(), folders) << "answered from the listing";

  WaitingThread added;
  ASSERT_EQ(source.ListThreads(self, ids), ERROR_SUCCESS);
  EXPECT_EQ(Sorted(ids), FolderThreads()) << "a thread more: the count tells";
  EXPECT_NE(std::find(ids.begin(), ids.end(), added.Id()), ids.end());

  // One listed thread gone and one come: the count is the listing's again, the pidfd tells.
  const uint32_t ended = waiting.front()->Id();
  waiting.front()->End();
  for (int look = 0; look < 10000; ++look) {
    std::vector<uint32_t> now = FolderThreads();
    if (std::find(now.begin(), now.end(), ended) == now.end()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  folders = source.TaskFolderListings();
  ASSERT_EQ(source.ListThreads(self, ids), ERROR_SUCCESS);
  EXPECT_EQ(source.TaskFolderListings(), folders + 1);
  EXPECT_EQ(Sorted(ids), FolderThreads());
  EXPECT_EQ(std::find(ids.begin(), ids.end(), ended), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), added.Id()), ids.end());
}

TEST(ListedThreads, AMachineListingTakesAProcesssThreadsFromTheOneBeforeWhileItHolds) {
  // A machine of this process alone: a root whose one entry leads to its /proc folder.
  const auto self = static_cast<uint32_t>(getpid());
  const auto root =
      std::filesystem::temp_directory_path() / ("tesmar-listed-" + std::to_string(self));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  std::filesystem::create_symlink("/proc/" + std::to_string(self), root / std::to_string(self));
  KernelProcessSource source(root.string());
  if (!source.UsesPidfd()) GTEST_SKIP() << "this kernel gives no thread pidfds";
  std::vector<std::unique_ptr<WaitingThread>> waiting;
  for (int i = 0; i < 10; ++i) waiting.push_back(std::make_unique<WaitingThread>());
  for (auto& thread : waiting) thread->Id();
  ProcessListing listing;
  auto listedThreads = [&] {
    std::vector<uint32_t> ids;
    for (const auto& process : listing.processes) {
      if (process.id != self) continue;
      auto first = listing.threadIds.begin() + process.firstThread;
      ids.assign(first, first + process.threadCount);
    }
    return Sorted(ids);
  };

  // Each pass lists the machine, then opens every thread listed.
  auto openListed = [&] {
    for (uint32_t id : listedThreads()) {
      std::unique_ptr<TaskIdentity> identity;
      ASSERT_EQ(source.Open(id, false, identity), ERROR_SUCCESS);
    }
  };
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  openListed();
  std::size_t folders = source.TaskFolderListings();
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  EXPECT_EQ(source.TaskFolderListings(), folders + 1) << "pidfds kept after the listing before";
  openListed();
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  EXPECT_EQ(source.TaskFolderListings(), folders + 1) << "taken from the listing before";
  EXPECT_EQ(listedThreads(), FolderThreads());

  openListed();
  const uint32_t ended = waiting.front()->Id();
  waiting.front()->End();
  WaitingThread added;
  for (int look = 0; look < 10000; ++look) {
    std::vector<uint32_t> now = FolderThreads();
    if (std::find(now.begin(), now.end(), ended) == now.end()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(source.ListProcesses(listing), ERROR_SUCCESS);
  EXPECT_EQ(source.TaskFolderListings(), folders + 2);
  EXPECT_EQ(listedThreads(), FolderThreads());
  EXPECT_NE(std::find(FolderThreads().begin(), FolderThreads().end(), added.Id()),
            FolderThreads().end());
  std::filesystem::remove_all(root);
}

}  // namespace
