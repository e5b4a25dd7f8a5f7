// Mask texts and the round-robin sequence, for up to 32 processors.
#include <gtest/gtest.h>

#include "qstring_printer.h"

#include "mask_text.h"

namespace {

using namespace tesmar::gui;

TEST(FormatMask, GroupsFoursAndShowsProcessorZeroFirst) {
  EXPECT_EQ(FormatMask(0x80FF, 16), "1111  1111  0000  0001");
  EXPECT_EQ(FormatMask(0x80FF, 16).size(), 22);
  EXPECT_EQ(FormatMask(0x0F, 8), "1111  0000  ");
  EXPECT_EQ(FormatMask(5, 4), "1010  ");
  EXPECT_EQ(FormatMask(1, 1), "1");
  EXPECT_EQ(FormatMask(0, 0), "");
  EXPECT_EQ(FormatMask(0x00A0F00Fu, 24), "1111  0000  0000  1111  0000  0101");
  EXPECT_EQ(FormatMask(0x80000001u, 32), "1000  0000  0000  0000  0000  0000  0000  0001");
  EXPECT_EQ(FormatMask(0xFFFFFFFFu, 40), FormatMask(0xFFFFFFFFu, 32));
}

TEST(RoundRobinSequence, RepeatsTheSetBitsInAscendingOrder) {
  auto take = [](uint32_t mask, int count) {
    RoundRobinSequence sequence(mask);
    std::vector<uint32_t> taken;
    for (int i = 0; i < count; ++i) taken.push_back(sequence.Next());
    return taken;
  };
  EXPECT_EQ(take(0x0A, 4), (std::vector<uint32_t>{1, 3, 1, 3}));
  EXPECT_EQ(take(0x0F, 6), (std::vector<uint32_t>{0, 1, 2, 3, 0, 1}));
  // The walk stops at bit 31 and starts again at 0.
  EXPECT_EQ(take(0x80000001u, 4), (std::vector<uint32_t>{0, 31, 0, 31}));
  EXPECT_EQ(take(0x80000000u, 2), (std::vector<uint32_t>{31, 31}));
  EXPECT_TRUE(RoundRobinSequence(0).empty());
  EXPECT_EQ(ProcessorBit(31), 0x80000000u);
  EXPECT_EQ(ProcessorBit(32), 0u);
}

}  // namespace
