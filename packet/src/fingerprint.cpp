#include "packet/fingerprint.h"

#include <bit>
#include <cstring>

namespace tesmar::packet {
namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kSecondMultiplier = 0xC2B2AE3D27D4EB4Full;

uint64_t Mix(uint64_t state, uint64_t word) {
  state ^= word * kSecondMultiplier;
  return std::rotl(state, 31) * kMultiplier;
}

// The final scramble of murmur3, so that neighbouring inputs end far apart.
uint64_t Finish(uint64_t state) {
  state ^= state >> 33;
  state *= 0xFF51AFD7ED558CCDull;
  state ^= state >> 33;
  state *= 0xC4CEB9FE1A85EC53ull;
  return state ^ (state >> 33);
}

}  // namespace

uint64_t Fingerprint(const void* bytes, std::size_t length) {
  auto* at = static_cast<const unsigned char*>(bytes);
  uint64_t state = Mix(kMultiplier, length);
  std::size_t words = length / 8;
  for (std::size_t i = 0; i < words; ++i) {
    uint64_t word;
    std::memcpy(&word, at + 8 * i, sizeof word);
    state = Mix(state, word);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, at + 8 * words, length % 8);
  return Finish(Mix(state, tail));
}

}  // namespace tesmar::packet
