// Masks of the processors a source offers, 32 bits wide as the system's masks are.
#pragma once

#include <cstdint>

namespace tesmar::platform {

inline uint32_t AllProcessorsMask(unsigned processorCount) {
  return processorCount >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << processorCount) - 1;
}

}  // namespace tesmar::platform
