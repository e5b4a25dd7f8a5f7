// The threads of each process as the last listing of the machine found them, so that a later
// listing of one process's threads can be answered without reading its task folder again (the
// folder's entries cost more than any other read of a pass), where that answer is provably the
// one the folder would give now.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/process_source.h"
#include "processes/kept_pidfds.h"

namespace tesmar::platform {

class ListedThreads {
 public:
  // The machine's listing, numbered as KeptPidfds::NewListing numbered it before it was read.
  void Remember(const ProcessListing& listing, uint64_t number);

  // Appends the process's threads as the listing found them to threadIds, when they are exactly
  // its threads now: countNow, its thread count as read just before this call, is the
  // number the listing found, and then every one of them still runs with a pidfd kept before the
  // listing, so none has ended (nor been replaced by a newcomer with its id) and, with the count,
  // none has come. False, with threadIds untouched, otherwise, and for a process of a few
  // threads, whose folder is read as cheaply as its count.
  bool Append(uint32_t processId, uint64_t countNow, KeptPidfds& kept,
              std::vector<uint32_t>& threadIds);

  // The same with the count read here (from the process's task folder), threadIds set rather
  // than appended to. The count is only read for a process the listing holds more than a few
  // threads of.
  bool Answer(int procFd, uint32_t processId, KeptPidfds& kept, std::vector<uint32_t>& threadIds);

 private:
  // The listing's count for the process, 0 for one it does not hold or holds a few threads of.
  uint32_t ListedCount(uint32_t processId);

  struct Range {
    uint32_t first = 0;
    uint32_t count = 0;
  };

  std::mutex mutex_;
  uint64_t number_ = 0;
  std::vector<uint32_t> threadIds_;
  std::unordered_map<uint32_t, Range> processes_;
};

}  // namespace tesmar::platform
