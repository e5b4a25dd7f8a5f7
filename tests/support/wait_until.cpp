#include "support/wait_until.h"

#include <thread>

namespace tesmar::testing {
namespace {
constexpr auto kLookInterval = std::chrono::milliseconds(10);
}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kLookInterval);
  }
}

}  // namespace tesmar::testing
