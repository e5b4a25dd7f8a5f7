// How long the client library waits for the service's answer to a raised flag, set for the life
// of an object (TESMAR_LONGEST_ANSWER_WAIT). A test that checks what answers a session waits for
// the answer itself: a loaded machine may take longer than the usual second to serve a pass, and
// the session would then return with the packet before.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tesmar::testing {

// Long enough that only a pass that never ends runs into it.
inline constexpr std::chrono::milliseconds kAnswerAlwaysAwaited = std::chrono::minutes(2);

class LongestAnswerWait {
 public:
  // None: the library's own longest wait.
  explicit LongestAnswerWait(std::optional<std::chrono::milliseconds> wait);
  ~LongestAnswerWait();
  LongestAnswerWait(const LongestAnswerWait&) = delete;
  LongestAnswerWait& operator=(const LongestAnswerWait&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace tesmar::testing
