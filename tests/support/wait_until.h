// Waiting for an event a test cannot be told of (a state reached, a value written, a process
// gone): the condition is looked at again and again, within a bound generous enough that only
// an event that never comes runs into it.
#pragma once

#include <chrono>
#include <functional>

namespace tesmar::testing {

inline constexpr std::chrono::milliseconds kGenerousWait = std::chrono::seconds(20);

// True once the condition holds; false when it still does not after the timeout.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kGenerousWait);

}  // namespace tesmar::testing
