#include "processes/listed_threads.h"

#include <sys/stat.h>

#include <cstdio>

namespace tesmar::platform {
namespace {

// Below this many threads the folder is listed: its few entries cost no more than the count.
constexpr uint32_t kFewThreads = 8;

}  // namespace

void ListedThreads::Remember(const ProcessListing& listing, uint64_t number) {
  std::lock_guard lock(mutex_);
  number_ = number;
  threadIds_ = listing.threadIds;
  processes_.clear();
  for (const ProcessListing::Process& process : listing.processes) {
    processes_[process.id] = Range{process.firstThread, process.threadCount};
  }
}

uint32_t ListedThreads::ListedCount(uint32_t processId) {
  std::lock_guard lock(mutex_);
  auto found = processes_.find(processId);
  if (found == processes_.end() || found->second.count < kFewThreads) return 0;
  return found->second.count;
}

bool ListedThreads::Append(uint32_t processId, uint64_t countNow, KeptPidfds& kept,
                           std::vector<uint32_t>& threadIds) {
  thread_local std::vector<uint32_t> listed;
  uint64_t number = 0;
  {
    std::lock_guard lock(mutex_);
    auto found = processes_.find(processId);
    if (found == processes_.end() || found->second.count < kFewThreads ||
        found->second.count != countNow) {
      return false;
    }
    auto first = threadIds_.begin() + found->second.first;
    listed.assign(first, first + found->second.count);
    number = number_;
  }
  // Each pidfd that still runs now ran when the count was read, and when the listing was made.
  if (!kept.ThreadsStillRun(listed, number)) return false;
  threadIds.insert(threadIds.end(), listed.begin(), listed.end());
  return true;
}

bool ListedThreads::Answer(int procFd, uint32_t processId, KeptPidfds& kept,
                           std::vector<uint32_t>& threadIds) {
  if (ListedCount(processId) == 0) return false;
  // The task folder's link count is 2 and the process's thread count, the number its stat
  // gives, without a file to open and fill.
  char path[32];
  std::snprintf(path, sizeof path, "%u/task", processId);
  struct stat folder {};
  if (fstatat(procFd, path, &folder, 0) != 0 || folder.st_nlink < 2) return false;
  threadIds.clear();
  return Append(processId, folder.st_nlink - 2, kept, threadIds);
}

}  // namespace tesmar::platform
