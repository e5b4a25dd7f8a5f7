#include "support/answer_wait.h"

#include <cstdlib>

namespace tesmar::testing {
namespace {

constexpr char kVariable[] = "TESMAR_LONGEST_ANSWER_WAIT";

}  // namespace

LongestAnswerWait::LongestAnswerWait(std::optional<std::chrono::milliseconds> wait) {
  if (const char* previous = std::getenv(kVariable)) previous_ = previous;
  if (wait) {
    setenv(kVariable, std::to_string(wait->count()).c_str(), 1);
  } else {
    unsetenv(kVariable);
  }
}

LongestAnswerWait::~LongestAnswerWait() {
  if (previous_) {
    setenv(kVariable, previous_->c_str(), 1);
  } else {
    unsetenv(kVariable);
  }
}

}  // namespace tesmar::testing
