// Pidfds kept from one pass over the machine to the next, so that a task is opened with one poll
// instead of a pidfd_open and a close each pass (those two cost about ten times a read).
//
// A kept pidfd that is still unreadable names the very task a new pidfd_open of its id would
// reach now: until a task has exited its id belongs to nobody else. A kept pidfd that became
// readable is dropped, and the id is opened anew. So opening through the keep reaches exactly
// what opening anew reaches.
//
// The keep holds at most a budget of descriptors (a share of RLIMIT_NOFILE, leaving room for
// everything else the process opens); past it, tasks are opened and closed as without a keep.
// What no pass has asked for since the listing before the last one is closed at each listing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/descriptor.h"

namespace tesmar::platform {

using SharedPidfd = std::shared_ptr<const OwnedDescriptor>;

// A pidfd becomes readable when its task exits; until it is reaped its id is not reused, so while
// it is unreadable the id still names the task it was opened for.
bool PidfdStillRuns(const OwnedDescriptor& pidfd);

class KeptPidfds {
 public:
  explicit KeptPidfds(std::size_t budget) : budget_(budget) {}

  // The kept pidfd of this id and kind while its task still runs, else null (a kept one whose
  // task has ended is dropped).
  SharedPidfd Find(uint32_t id, bool wholeProcess);
  // Keeps a pidfd just opened and found running, when the budget allows.
  void Keep(uint32_t id, bool wholeProcess, const SharedPidfd& pidfd);
  // A new listing of the machine: closes what was not asked for since the one before. Returns
  // the listing's number, for ThreadsStillRun; call it before the listing reads /proc.
  uint64_t NewListing();
  // Whether every one of these threads has a thread pidfd kept before listing number `listing`
  // began and still running, looked at with one poll for all: each id then still names the very
  // thread it named in that listing, since a thread's id is nobody else's while it runs.
  bool ThreadsStillRun(const std::vector<uint32_t>& threadIds, uint64_t listing);

  std::size_t Size();

  // The budget for this process: what RLIMIT_NOFILE allows, less a reserve for every other
  // descriptor (at least 1,024, a thirty-second of the limit).
  static std::size_t BudgetOfThisProcess();

 private:
  struct Kept {
    SharedPidfd pidfd;
    uint64_t listing = 0;  // the listing during which it was last asked for
    uint64_t keptIn = 0;   // the listing during which it was opened and kept
  };
  static uint64_t KeyOf(uint32_t id, bool wholeProcess) {
    return uint64_t{id} << 1 | (wholeProcess ? 1u : 0u);
  }

  std::mutex mutex_;
  std::size_t budget_;
  uint64_t listing_ = 0;
  std::unordered_map<uint64_t, Kept> kept_;
};

}  // namespace tesmar::platform
