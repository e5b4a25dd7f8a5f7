#include "processes/ideal_processor_hints.h"

#include <mutex>
#include <unordered_map>

namespace tesmar::platform {
namespace {
struct Hint {
  uint64_t key;
  unsigned processor;
};

// Entries of threads long gone are never looked up again; past this many the table starts
// afresh rather than grow without bound.
constexpr size_t kMaximumHints = 1 << 16;

std::mutex hintsMutex;
std::unordered_map<uint32_t, Hint> hints;
}  // namespace

std::optional<unsigned> StoredIdealProcessor(uint32_t threadId, uint64_t key) {
  std::lock_guard lock(hintsMutex);
  auto found = hints.find(threadId);
  if (found == hints.end() || found->second.key != key) return std::nullopt;
  return found->second.processor;
}

void StoreIdealProcessor(uint32_t threadId, uint64_t key, unsigned processor) {
  std::lock_guard lock(hintsMutex);
  if (hints.size() >= kMaximumHints) hints.clear();
  hints[threadId] = Hint{key, processor};
}

void ForgetIdealProcessors() {
  std::lock_guard lock(hintsMutex);
  hints.clear();
}

}  // namespace tesmar::platform
