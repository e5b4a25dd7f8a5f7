// The exchange of a live session against a real registry and service manager, with the
// service's side of the Data key played by a test thread, so that the packets and the moment
// they appear are the test's choice.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "TesmarApi.h"
#include "packet/process_packet.h"
#include "platform/errors.h"
#include "platform/tones.h"
#include "service_side.h"
#include "test_service_as_tesmar.h"

namespace {

using tesmar::client::testing::Bytes;
using tesmar::client::testing::MakePacket;
using tesmar::client::testing::ServiceSide;
using tesmar::client::testing::TestServiceAsTesmar;
using tesmar::packet::ProcessRecord;
using Clock = std::chrono::steady_clock;

ProcessRecord& RecordIn(Bytes& packet, unsigned index) {
  return *reinterpret_cast<ProcessRecord*>(packet.data() + tesmar::packet::kHeaderSize +
                                           tesmar::packet::kRecordSize * index);
}

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.StartAndWait());
    ASSERT_TRUE(service_.CreateDataKey());
    side_ = std::make_unique<ServiceSide>();
    side_->WriteProcList(MakePacket(3));
    session_ = TesmarOpen(0);
    ASSERT_EQ(TesmarConnect(session_, nullptr), 0);
  }
  void TearDown() override {
    TesmarClose(session_);
    side_.reset();
  }

  TestServiceAsTesmar service_;
  std::unique_ptr<ServiceSide> side_;
  TesmarSession* session_ = nullptr;
};

TEST_F(Exchange, RefreshWaitsForThePacketPublishedAfterTheFlagWasTaken) {
  // The new packet appears well after the flag went down: a refresh that stopped waiting at the
  // flag would read the old one.
  side_->AnswerWith(MakePacket(5, 8), 150);
  ASSERT_EQ(TesmarRefresh(session_), 0);
  EXPECT_EQ(TesmarGetProcessCount(session_), 5u);
  EXPECT_EQ(TesmarGetProcessorCount(session_), 8u);
  EXPECT_EQ(side_->Dword(u"RefreshFlag"), 0);

  // Handles point into the copy; the last index is the last record.
  TesmarRecord* last = TesmarGetProcObject(session_, 4);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(TesmarGetProcId(last), 104u);
  EXPECT_EQ(std::u16string(TesmarGetProcName(last)), u"proc4");
  EXPECT_EQ(TesmarGetProcObject(session_, 5), nullptr);
}

TEST_F(Exchange, UnansweredFlagGivesTheOldPacketAfterOneSecond) {
  side_->StopAnswering();
  auto started = Clock::now();
  ASSERT_EQ(TesmarRefresh(session_), 0);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(990));
  EXPECT_EQ(TesmarGetProcessCount(session_), 3u);
  EXPECT_EQ(side_->Dword(u"RefreshFlag"), 1);

  // Taken but never followed by a new ProcList (a service that could not build one): the same.
  side_->AnswerWith(MakePacket(5), 0, false);
  started = Clock::now();
  ASSERT_EQ(TesmarRefresh(session_), 0);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(990));
  EXPECT_EQ(TesmarGetProcessCount(session_), 3u);
  EXPECT_EQ(side_->Dword(u"RefreshFlag"), 0);
}

TEST_F(Exchange, UpdateSendsTheEditedCopyBeforeRaisingTheFlag) {
  // Each answer differs from the ProcList before it, as a real service's usually does, so that a
  // session may tell it has come even when it came at once.
  side_->AnswerWith(MakePacket(3, 4), 0);
  // Without a copy there is nothing to send.
  EXPECT_EQ(TesmarUpdate(session_), 1);
  EXPECT_EQ(side_->Dword(u"UpdateFlag"), -1);

  ASSERT_EQ(TesmarRefresh(session_), 0);
  TesmarRecord* record = TesmarGetProcObject(session_, 1);
  ASSERT_EQ(TesmarSetWatchList(record, 1), 0);
  ASSERT_EQ(TesmarSetThreadAffin(record, 1, 0x2), 0);
  ASSERT_EQ(TesmarSetProcPrior(record, 0x80), 1);
  side_->AnswerWith(MakePacket(4, 4), 0);
  ASSERT_EQ(TesmarUpdate(session_), 0);

  // The service side read UpdateList when it found the flag raised: the edited copy, whole.
  Bytes expected = MakePacket(3, 4);
  RecordIn(expected, 1).Watched = 1;
  RecordIn(expected, 1).ThreadAffinity[1] = 0x2;
  RecordIn(expected, 1).PriorityClass = 0x80;
  Bytes seen = side_->UpdateListSeen();
  ASSERT_EQ(seen.size(), expected.size());
  EXPECT_EQ(std::memcmp(seen.data(), expected.data(), seen.size()), 0);
  EXPECT_EQ(side_->Dword(u"UpdateFlag"), 0);
  // The copy is not reloaded by an update.
  EXPECT_EQ(TesmarGetWatchList(TesmarGetProcObject(session_, 1)), 1);
}

TEST_F(Exchange, RecordsAreReadWithinTheirBounds) {
  Bytes packet = MakePacket(3);
  RecordIn(packet, 0).ThreadCount = -1;  // more threads than a record holds
  RecordIn(packet, 0).ThreadAffinity[255] = 0x1;
  RecordIn(packet, 0).PrevIdealProcessor[7] = 0xFFFFFFFF;
  RecordIn(packet, 1).ThreadCount = 300;  // no packet holds that many
  std::fill(std::begin(RecordIn(packet, 2).ProcName), std::end(RecordIn(packet, 2).ProcName),
            u'x');  // no NUL in the name's 32 units
  side_->AnswerWith(packet, 0);
  ASSERT_EQ(TesmarRefresh(session_), 0);

  TesmarRecord* many = TesmarGetProcObject(session_, 0);
  EXPECT_EQ(TesmarGetThreadCount(many), 256);
  EXPECT_EQ(TesmarGetThreadAffin(many, 255), 0x1u);
  EXPECT_EQ(TesmarGetThreadAffin(many, 256), 0u);
  EXPECT_EQ(TesmarGetprevIdealProcessor(many, 7), -1);
  EXPECT_EQ(TesmarGetprevIdealProcessor(many, 256), -127);

  TesmarRecord* odd = TesmarGetProcObject(session_, 1);
  EXPECT_EQ(TesmarGetThreadCount(odd), 0);
  EXPECT_EQ(TesmarGetThreadAffin(odd, 0), 0u);
  EXPECT_EQ(TesmarSetThreadAffin(odd, 0, 0x1), 1);

  EXPECT_EQ(std::u16string(TesmarGetProcName(TesmarGetProcObject(session_, 2))),
            std::u16string(31, u'x'));
}

TEST_F(Exchange, UnusableProcListLeavesTheSessionWithoutACopy) {
  Bytes unsigned_ = MakePacket(3);
  unsigned_[0] = std::byte{'X'};
  Bytes truncated = MakePacket(3);
  truncated.resize(truncated.size() - 1);  // the last record is one byte short
  Bytes headerOnly(10);

  for (const Bytes& bad : {unsigned_, truncated, headerOnly}) {
    SCOPED_TRACE(bad.size());
    side_->AnswerWith(MakePacket(3, 4), 0);
    ASSERT_EQ(TesmarRefresh(session_), 0);
    ASSERT_EQ(TesmarGetProcessCount(session_), 3u);

    side_->AnswerWith(bad, 0);
    std::size_t tonesBefore = tesmar::platform::RecordedTones().size();
    EXPECT_EQ(TesmarRefresh(session_), static_cast<INT>(ERROR_INVALID_DATA));
    EXPECT_EQ(TesmarGetProcessCount(session_), 1u);
    EXPECT_EQ(TesmarGetProcessorCount(session_), 1u);
    EXPECT_EQ(TesmarGetProcObject(session_, 0), nullptr);
    EXPECT_EQ(TesmarUpdate(session_), 1);
    auto tones = tesmar::platform::RecordedTones();
    ASSERT_EQ(tones.size(), tonesBefore + 1);
    EXPECT_EQ(tones.back().frequency, 220u);
    EXPECT_EQ(tones.back().duration, 20u);
  }
}

TEST_F(Exchange, MissingProcListIsTheRegistrysError) {
  side_->AnswerWith(MakePacket(3, 4), 0);
  ASSERT_EQ(TesmarRefresh(session_), 0);
  side_->DeleteProcList();
  side_->AnswerWith(MakePacket(3), 0, false);
  std::size_t tonesBefore = tesmar::platform::RecordedTones().size();
  EXPECT_EQ(TesmarRefresh(session_), static_cast<INT>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(TesmarGetProcObject(session_, 0), nullptr);
  EXPECT_EQ(TesmarGetProcessCount(session_), 1u);
  EXPECT_EQ(tesmar::platform::RecordedTones().size(), tonesBefore);
}

}  // namespace
