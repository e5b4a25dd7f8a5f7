#include "processes/listed_threads.h"

#include <cstdio>
#include <string>

#include "processes/proc_directory.h"
#include "processes/proc_stat_parser.h"

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
  char path[32];
  std::snprintf(path, sizeof path, "%u/stat", processId);
  thread_local std::string stat;
  if (!ReadSmallFile(procFd, path, stat)) return false;
  std::optional<uint64_t> count = StatNumber(stat, kStatThreads);
  if (!count) return false;
  threadIds.clear();
  return Append(processId, *count, kept, threadIds);
}

}  // namespace tesmar::platform
