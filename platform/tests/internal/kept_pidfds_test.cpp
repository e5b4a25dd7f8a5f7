// The kernel source keeps the pidfds of one pass for the next: a task opened again is opened
// through its kept pidfd while it runs, and anew once it has ended; what no pass asks for is
// closed, and no more than the budget is ever kept.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

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

}  // namespace
