#include "packet/packet_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace tesmar::packet {
namespace {

// A packet buffer as it arrives from the registry: a 4-byte aligned block of any length.
class Buffer {
 public:
  explicit Buffer(std::size_t length) : words_((length + 3) / 4 + 1), length_(length) {}
  std::byte* Bytes() { return reinterpret_cast<std::byte*>(words_.data()); }
  std::size_t Length() const { return length_; }
  PacketHeader& Header() { return *reinterpret_cast<PacketHeader*>(Bytes()); }
  ProcessRecord& Record(uint32_t index) {
    return *reinterpret_cast<ProcessRecord*>(Bytes() + kHeaderSize + kRecordSize * index);
  }
  void Sign(uint32_t claimedCount) {
    std::memcpy(Header().Signature, kSignature, sizeof kSignature);
    Header().ProcessCount = claimedCount;
  }
  PacketView View() { return {Bytes(), length_}; }

 private:
  std::vector<uint32_t> words_;
  std::size_t length_;
};

TEST(PacketViewTest, ACompletePacketAnswersEveryRecordItClaims) {
  Buffer buffer(PacketSize(3));
  buffer.Sign(3);
  buffer.Record(2).ProcId = 77;
  PacketView view = buffer.View();
  EXPECT_TRUE(view.HasSignature());
  EXPECT_TRUE(view.IsComplete());
  EXPECT_TRUE(view.IsWellFormed());
  EXPECT_EQ(view.RecordCount(), 3u);
  ASSERT_NE(view.RecordOrNull(2), nullptr);
  EXPECT_EQ(view.RecordOrNull(2)->ProcId, 77u);
  EXPECT_EQ(view.RecordOrNull(3), nullptr);
}

TEST(PacketViewTest, AShortValueAnswersOnlyItsCompleteRecords) {
  // Claims five records but holds two and a half.
  Buffer buffer(PacketSize(2) + kRecordSize / 2);
  buffer.Sign(5);
  PacketView view = buffer.View();
  EXPECT_TRUE(view.HasSignature());
  EXPECT_FALSE(view.IsComplete());
  EXPECT_FALSE(view.IsWellFormed());
  EXPECT_EQ(view.ClaimedProcessCount(), 5u);
  EXPECT_EQ(view.RecordCount(), 2u);
  EXPECT_NE(view.RecordOrNull(1), nullptr);
  EXPECT_EQ(view.RecordOrNull(2), nullptr);

  // A huge claim must not overflow into a large count.
  buffer.Header().ProcessCount = 0xFFFFFFFFu;
  EXPECT_EQ(buffer.View().RecordCount(), 2u);
  EXPECT_FALSE(buffer.View().IsComplete());
}

TEST(PacketViewTest, ALongerValueAnswersOnlyTheClaimedRecords) {
  Buffer buffer(PacketSize(4));
  buffer.Sign(1);
  EXPECT_EQ(buffer.View().RecordCount(), 1u);
  EXPECT_TRUE(buffer.View().IsComplete());
  EXPECT_EQ(buffer.View().RecordOrNull(1), nullptr);
}

TEST(PacketViewTest, ValuesShorterThanAHeaderHoldNoRecord) {
  Buffer signatureOnly(sizeof kSignature);
  std::memcpy(signatureOnly.Bytes(), kSignature, sizeof kSignature);
  EXPECT_TRUE(signatureOnly.View().HasSignature());
  EXPECT_EQ(signatureOnly.View().HeaderOrNull(), nullptr);
  EXPECT_EQ(signatureOnly.View().RecordCount(), 0u);
  EXPECT_FALSE(signatureOnly.View().IsComplete());

  Buffer tooShortForSignature(sizeof kSignature - 2);
  std::memcpy(tooShortForSignature.Bytes(), kSignature, sizeof kSignature - 2);
  EXPECT_FALSE(tooShortForSignature.View().HasSignature());

  PacketView empty;
  EXPECT_FALSE(empty.HasSignature());
  EXPECT_EQ(empty.RecordCount(), 0u);
  PacketView nullWithLength(nullptr, 1000);
  EXPECT_EQ(nullWithLength.Length(), 0u);
  EXPECT_EQ(nullWithLength.RecordOrNull(0), nullptr);
}

TEST(PacketViewTest, TheSignatureMustMatchWithItsNul) {
  Buffer buffer(PacketSize(1));
  buffer.Sign(1);
  EXPECT_TRUE(buffer.View().HasSignature());
  buffer.Header().Signature[7] = u'2';  // "TESMAR12": no NUL after the text
  EXPECT_FALSE(buffer.View().HasSignature());
  buffer.Header().Signature[7] = u'\0';
  buffer.Header().Signature[6] = u'2';  // "TESMAR2"
  EXPECT_FALSE(buffer.View().HasSignature());
}

TEST(PacketViewTest, AMisalignedBufferHoldsNoRecord) {
  Buffer buffer(PacketSize(1) + 1);
  std::memcpy(buffer.Bytes() + 1, kSignature, sizeof kSignature);
  PacketView view(buffer.Bytes() + 1, PacketSize(1));
  EXPECT_TRUE(view.HasSignature());
  EXPECT_EQ(view.HeaderOrNull(), nullptr);
  EXPECT_EQ(view.RecordOrNull(0), nullptr);
}

TEST(PacketViewTest, AMutableViewEditsTheBytesInPlace) {
  Buffer buffer(PacketSize(1));
  buffer.Sign(1);
  MutablePacketView view(buffer.Bytes(), buffer.Length());
  view.RecordOrNull(0)->Watched = 1;
  EXPECT_EQ(buffer.Record(0).Watched, 1u);
}

TEST(RecordNameTest, NamesAreBoundedToTheirUnits) {
  ProcessRecord record{};
  std::memcpy(record.ProcName, u"app.exe", sizeof u"app.exe");
  EXPECT_EQ(RecordName(record), u"app.exe");
  EXPECT_EQ(std::u16string_view(TerminatedRecordName(record).data()), u"app.exe");

  // No NUL inside the 32 units: the name ends with them, and what follows is not part of it.
  for (auto& unit : record.ProcName) unit = u'x';
  record.ProcId = 0x00790079u;  // "yy" if it were read as text
  EXPECT_EQ(RecordName(record), std::u16string(kProcNameUnits, u'x'));
  TerminatedName terminated = TerminatedRecordName(record);
  EXPECT_EQ(std::u16string_view(terminated.data()), std::u16string(kProcNameUnits, u'x'));

  record.ProcName[0] = u'\0';
  EXPECT_TRUE(RecordName(record).empty());
}

TEST(ThreadSlotsTest, OnlyCountsWithinMinusOneTo256CoverThreads) {
  EXPECT_EQ(FilledThreadSlots(0), 0u);
  EXPECT_EQ(FilledThreadSlots(6), 6u);
  EXPECT_EQ(FilledThreadSlots(256), 256u);
  EXPECT_EQ(FilledThreadSlots(kTooManyThreads), 0u);
  EXPECT_EQ(AddressableThreadSlots(kTooManyThreads), 256u);
  EXPECT_EQ(AddressableThreadSlots(6), 6u);
  for (int32_t outside : {257, 1000, -2, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(IsValidThreadCount(outside)) << outside;
    EXPECT_EQ(FilledThreadSlots(outside), 0u) << outside;
    EXPECT_EQ(AddressableThreadSlots(outside), 0u) << outside;
  }
}

}  // namespace
}  // namespace tesmar::packet
