// Affinity masks as the main dialog shows and walks them. A mask is 32 bits, bit n = processor n;
// every shift is done on a 32-bit unsigned one and every walk ends at bit 31.
#pragma once

#include <QString>
#include <cstdint>

namespace tesmar::gui {

inline constexpr uint32_t kMaskBits = 32;

constexpr uint32_t ProcessorBit(uint32_t processor) {
  return processor < kMaskBits ? uint32_t{1} << processor : 0;
}

// One character a processor, from processor 0 up to count - 1 (at most 32): "1" when its bit is
// set, else "0"; two blanks after processors 3, 7 and 11, and past 16 processors after every
// further fourth one that is not the last.
QString FormatMask(uint32_t mask, uint32_t processorCount);

// The round-robin sequence of a mask: the numbers of its set bits in ascending order, over and
// over. An empty mask has no sequence.
class RoundRobinSequence {
 public:
  explicit RoundRobinSequence(uint32_t mask) : mask_(mask) {}
  bool empty() const { return mask_ == 0; }
  // The next processor of the sequence; call only when not empty.
  uint32_t Next();

 private:
  uint32_t mask_;
  uint32_t candidate_ = 0;
};

}  // namespace tesmar::gui
