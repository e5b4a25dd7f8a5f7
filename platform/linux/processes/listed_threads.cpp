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

bool ListedThreads::Answer(int procFd, uint32_t processId, KeptPidfds& kept,
                           std::vector<uint32_t>& threadIds) {
  thread_local std::vector<uint32_t> listed;
  uint64_t number = 0;
  {
    std::lock_guard lock(mutex_);
    auto found = processes_.find(processId);
    if (found == processes_.end() || found->second.count < kFewThreads) return false;
    auto first = threadIds_.begin() + found->second.first;
    listed.assign(first, first + found->second.count);
    number = number_;
  }
  // The count first, then the pidfds: each pidfd that still runs ran when the count was read.
  char path[32];
  std::snprintf(path, sizeof path, "%u/stat", processId);
  thread_local std::string stat;
  if (!ReadSmallFile(procFd, path, stat)) return false;
  std::optional<uint64_t> count = StatNumber(stat, kStatThreads);
  if (!count || *count != listed.size()) return false;
  if (!kept.ThreadsStillRun(listed, number)) return false;
  threadIds = listed;
  return true;
}

}  // namespace tesmar::platform
