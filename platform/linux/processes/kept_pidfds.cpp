#include "processes/kept_pidfds.h"

#include <poll.h>
#include <sys/resource.h>

#include <algorithm>

namespace tesmar::platform {

bool PidfdStillRuns(const OwnedDescriptor& pidfd) {
  pollfd probe{pidfd.get(), POLLIN, 0};
  return poll(&probe, 1, 0) == 0;
}

SharedPidfd KeptPidfds::Find(uint32_t id, bool wholeProcess) {
  std::lock_guard lock(mutex_);
  auto found = kept_.find(KeyOf(id, wholeProcess));
  if (found == kept_.end()) return nullptr;
  if (!PidfdStillRuns(*found->second.pidfd)) {
    kept_.erase(found);
    return nullptr;
  }
  found->second.listing = listing_;
  return found->second.pidfd;
}

void KeptPidfds::Keep(uint32_t id, bool wholeProcess, const SharedPidfd& pidfd) {
  std::lock_guard lock(mutex_);
  if (kept_.size() >= budget_) return;
  kept_[KeyOf(id, wholeProcess)] = Kept{pidfd, listing_, listing_};
}

uint64_t KeptPidfds::NewListing() {
  std::lock_guard lock(mutex_);
  ++listing_;
  std::erase_if(kept_, [&](const auto& entry) { return entry.second.listing + 1 < listing_; });
  return listing_;
}

bool KeptPidfds::ThreadsStillRun(const std::vector<uint32_t>& threadIds, uint64_t listing) {
  thread_local std::vector<pollfd> probes;
  probes.clear();
  std::lock_guard lock(mutex_);
  for (uint32_t id : threadIds) {
    auto found = kept_.find(KeyOf(id, false));
    if (found == kept_.end() || found->second.keptIn >= listing) return false;
    probes.push_back(pollfd{found->second.pidfd->get(), POLLIN, 0});
  }
  // Polled while the lock keeps every probed pidfd open.
  return poll(probes.data(), probes.size(), 0) == 0;
}

std::size_t KeptPidfds::Size() {
  std::lock_guard lock(mutex_);
  return kept_.size();
}

std::size_t KeptPidfds::BudgetOfThisProcess() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  std::size_t descriptors = static_cast<std::size_t>(limit.rlim_cur);
  std::size_t reserve = std::max<std::size_t>(1024, descriptors / 32);
  return descriptors > reserve ? descriptors - reserve : 0;
}

}  // namespace tesmar::platform
