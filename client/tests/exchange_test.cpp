// The exchange of live sessions against a real registry and service manager, with the service's
// side of the Data key played by a test thread (support/scripted_data_key.h), so that the packets
// and what happens while a pass is under way are the test's choice. Sessions wait for their
// answer as long as it takes (support/answer_wait.h), except in the tests of the longest wait.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>

#include "TesmarApi.h"
#include "packet/data_key.h"
#include "packet/process_packet.h"
#include "packet/request_base.h"
#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/tones.h"
#include "support/answer_wait.h"
#include "support/data_key_access.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/scripted_data_key.h"
#include "support/temporary_machine_root.h"
#include "support/test_packet.h"
#include "support/wait_until.h"

namespace {

using namespace tesmar::testing;
using Answer = ScriptedDataKey::Answer;
using Clock = std::chrono::steady_clock;

constexpr auto kLongestWait = std::chrono::milliseconds(990);

class LiveSession {
 public:
  LiveSession() : session_(TesmarOpen(0)) {}
  ~LiveSession() { TesmarClose(session_); }
  TesmarSession* get() const { return session_; }

 private:
  TesmarSession* session_;
};

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.Start());
    ASSERT_TRUE(tesmar::testing::CreateDataKey());
    script_ = std::make_unique<ScriptedDataKey>();
    script_->Publish(TestPacket::Made(3));
    ASSERT_EQ(TesmarConnect(session(), nullptr), 0);
  }
  void TearDown() override { script_.reset(); }

  TesmarSession* session() const { return live_.get(); }

  LongestAnswerWait answerWait_{kAnswerAlwaysAwaited};
  tesmar::testing::TemporaryMachineRoot root_;
  InstalledService service_{tesmar::testing::TestServiceProgram()};
  std::unique_ptr<ScriptedDataKey> script_;
  LiveSession live_;
};

TEST_F(Exchange, RefreshTakesThePublicationOfThePassThatTookItsFlag) {
  // The new packet appears while the flag is already down: a refresh that stopped waiting at the
  // flag would read the old one.
  script_->QueueAnswer({TestPacket::Made(5, 8), /*hold=*/true});
  std::future<INT> refreshed =
      std::async(std::launch::async, [&] { return TesmarRefresh(session()); });
  ASSERT_TRUE(script_->WaitUntilHeld());
  EXPECT_EQ(ReadDataDword(u"RefreshFlag"), 0u);
  script_->Release();
  ASSERT_EQ(refreshed.get(), 0);
  EXPECT_EQ(TesmarGetProcessCount(session()), 5u);
  EXPECT_EQ(TesmarGetProcessorCount(session()), 8u);

  // Handles point into the copy; the last index is the last record.
  TesmarRecord* last = TesmarGetProcObject(session(), 4);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(TesmarGetProcId(last), 104u);
  EXPECT_EQ(std::u16string(TesmarGetProcName(last)), u"proc4");
  EXPECT_EQ(TesmarGetProcObject(session(), 5), nullptr);

  // A pass that publishes nothing (a packet it could not build) answers too: the copy is what
  // ProcList holds.
  script_->AnswerWith({std::nullopt});
  ASSERT_EQ(TesmarRefresh(session()), 0);
  EXPECT_EQ(TesmarGetProcessCount(session()), 5u);
  EXPECT_EQ(ReadDataDword(u"RefreshFlag"), 0u);
}

// A stopped service: the session gives what ProcList holds after the longest wait, and the flag
// stays raised for the service's next start.
TEST_F(Exchange, ForAStoppedServiceTheRefreshGivesWhatProcListHoldsAfterTheLongestWait) {
  LongestAnswerWait usual(std::nullopt);
  script_->StopAnswering();
  auto started = Clock::now();
  ASSERT_EQ(TesmarRefresh(session()), 0);
  EXPECT_GE(Clock::now() - started, kLongestWait);
  EXPECT_EQ(TesmarGetProcessCount(session()), 3u);
  EXPECT_EQ(ReadDataDword(u"RefreshFlag"), 1u);
}

// A pass longer than the longest wait: the flag is taken, the answer does not come in time. The
// session returns with what ProcList holds whenever the pass took its flag.
TEST_F(Exchange, ForAPassLongerThanTheLongestWaitTheRefreshGivesWhatProcListHolds) {
  LongestAnswerWait usual(std::nullopt);
  script_->QueueAnswer({TestPacket::Made(5), /*hold=*/true});
  auto started = Clock::now();
  std::future<INT> refreshed =
      std::async(std::launch::async, [&] { return TesmarRefresh(session()); });
  ASSERT_TRUE(script_->WaitUntilHeld()) << "the pass took the flag";
  ASSERT_EQ(refreshed.get(), 0);
  EXPECT_GE(Clock::now() - started, kLongestWait);
  EXPECT_EQ(TesmarGetProcessCount(session()), 3u);
}

// A pass that was under way when the session raised its flag took an earlier raise: what it
// publishes is no answer. The session's answer is the publication of its own pass, after it.
TEST_F(Exchange, APassUnderWayWhenTheFlagWentUpIsNoAnswer) {
  script_->QueueAnswer({TestPacket::Made(4), /*hold=*/true});
  script_->QueueAnswer({TestPacket::Made(5), /*hold=*/true});
  tesmar::testing::WriteDataDword(u"RefreshFlag", 1);  // another client's raise
  ASSERT_TRUE(script_->WaitUntilHeld());

  std::future<INT> refreshed =
      std::async(std::launch::async, [&] { return TesmarRefresh(session()); });
  ASSERT_TRUE(WaitUntil([] { return ReadDataDword(u"RefreshFlag") == 1u; }));
  script_->Release();  // publishes 4 records, after the session's raise
  ASSERT_TRUE(script_->WaitUntilHeld()) << "the session's own pass took its flag";
  script_->Release();  // publishes 5 records
  ASSERT_EQ(refreshed.get(), 0);
  EXPECT_EQ(TesmarGetProcessCount(session()), 5u) << "took the earlier pass for its answer";
}

// Two sessions send their copies at once: the first one's flag is taken by a pass that is held,
// the second raises its own flag meanwhile. Each returns only once a pass that read its own
// UpdateList has ended.
TEST_F(Exchange, TwoClientsUpdatingAtOnceEachWaitForTheirOwnAnswer) {
  LiveSession other;
  ASSERT_EQ(TesmarConnect(other.get(), nullptr), 0);
  script_->AnswerWith({TestPacket::Made(3, 4)});
  ASSERT_EQ(TesmarRefresh(session()), 0);
  ASSERT_EQ(TesmarRefresh(other.get()), 0);
  ASSERT_EQ(TesmarSetWatchList(TesmarGetProcObject(session(), 1), 1), 0);
  ASSERT_EQ(TesmarSetWatchList(TesmarGetProcObject(other.get(), 2), 1), 0);

  const int passesBefore = script_->PassesEnded();
  script_->QueueAnswer({TestPacket::Made(4, 4), /*hold=*/true});
  script_->QueueAnswer({TestPacket::Made(5, 4), /*hold=*/true});
  auto update = [&](TesmarSession* sending) {
    INT sent = TesmarUpdate(sending);
    return std::make_pair(sent, script_->PassesEnded() - passesBefore);
  };
  auto first = std::async(std::launch::async, update, session());
  ASSERT_TRUE(script_->WaitUntilHeld());
  auto second = std::async(std::launch::async, update, other.get());
  ASSERT_TRUE(WaitUntil([] { return ReadDataDword(u"UpdateFlag") == 1u; }));
  script_->Release();

  auto [firstSent, passesAtFirst] = first.get();
  EXPECT_EQ(firstSent, 0);
  EXPECT_GE(passesAtFirst, 1);
  ASSERT_TRUE(script_->WaitUntilHeld());
  script_->Release();
  auto [secondSent, passesAtSecond] = second.get();
  EXPECT_EQ(secondSent, 0);
  EXPECT_GE(passesAtSecond, 2) << "returned before the pass that read its UpdateList ended";

  std::vector<TestPacket> taken = script_->UpdateListsTaken();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].Record(1).Watched, 1u);
  EXPECT_EQ(taken[0].Record(2).Watched, 0u);
  EXPECT_EQ(taken[1].Record(2).Watched, 1u);
  EXPECT_EQ(taken[1].Record(1).Watched, 0u);
}

TEST_F(Exchange, UpdateSendsTheEditedCopyBeforeRaisingTheFlag) {
  // Without a copy there is nothing to send.
  EXPECT_EQ(TesmarUpdate(session()), 1);
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), std::nullopt);

  script_->AnswerWith({TestPacket::Made(3, 4)});
  ASSERT_EQ(TesmarRefresh(session()), 0);
  const DWORD publication = ReadDataDword(u"ProcListSerial").value_or(0);
  TesmarRecord* record = TesmarGetProcObject(session(), 1);
  ASSERT_EQ(TesmarSetWatchList(record, 1), 0);
  ASSERT_EQ(TesmarSetThreadAffin(record, 1, 0x2), 0);
  ASSERT_EQ(TesmarSetProcPrior(record, 0x80), 1);
  ASSERT_EQ(TesmarUpdate(session()), 0);

  // The pass read UpdateList once it had taken the flag: the edited copy, whole.
  TestPacket expected = TestPacket::Made(3, 4);
  expected.Record(1).Watched = 1;
  expected.Record(1).ThreadAffinity[1] = 0x2;
  expected.Record(1).PriorityClass = 0x80;
  std::vector<TestPacket> taken = script_->UpdateListsTaken();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_TRUE(taken[0] == expected);
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), 0u);
  // The copy is not reloaded by an update.
  EXPECT_EQ(TesmarGetWatchList(TesmarGetProcObject(session(), 1)), 1);

  // With it went the publication the copy came from, for exactly these bytes.
  std::optional<std::vector<uint8_t>> base = ReadDataValue(u"UpdateListBase");
  ASSERT_TRUE(base && base->size() == sizeof(tesmar::packet::RequestBase));
  tesmar::packet::RequestBase said;
  std::memcpy(&said, base->data(), sizeof said);
  EXPECT_EQ(said.publication, publication);
  EXPECT_TRUE(said.Describes(expected.Bytes(), expected.Length()));
}

// A request another client wrote and raised is never overwritten before a pass has read it: the
// session waits for its turn, and gives up, writing nothing, when nobody serves the key.
TEST_F(Exchange, UpdateWaitsUntilTheRequestBeforeItWasRead) {
  script_->AnswerWith({TestPacket::Made(3, 4)});
  ASSERT_EQ(TesmarRefresh(session()), 0);
  ASSERT_EQ(TesmarSetWatchList(TesmarGetProcObject(session(), 0), 1), 0);

  script_->StopAnswering();
  TestPacket others = TestPacket::Made(2);
  tesmar::testing::WriteDataPacket(u"UpdateList", others);
  tesmar::testing::WriteDataDword(u"UpdateFlag", 1);
  {
    // The library's own waits: a longer longest answer wait would lengthen the give-up too.
    LongestAnswerWait usual(std::nullopt);
    EXPECT_EQ(TesmarUpdate(session()), static_cast<INT>(ERROR_SERVICE_REQUEST_TIMEOUT));
  }
  EXPECT_TRUE(ReadDataPacket(u"UpdateList") == others);

  std::future<INT> sent = std::async(std::launch::async, [&] { return TesmarUpdate(session()); });
  // The session holds the key's lock while it waits for its turn.
  tesmar::platform::OwnedKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, tesmar::packet::kDataKeyPath, 0, KEY_ALL_ACCESS,
                          key.Receive()),
            0);
  ASSERT_TRUE(WaitUntil([&] {
    if (RegLockKey(key.get(), 0) == ERROR_TIMEOUT) return true;
    RegUnlockKey(key.get());
    return false;
  }));
  script_->AnswerWith({TestPacket::Made(3, 4)});
  ASSERT_EQ(sent.get(), 0);
  std::vector<TestPacket> taken = script_->UpdateListsTaken();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_TRUE(taken[0] == others);
  EXPECT_EQ(taken[1].Record(0).Watched, 1u) << "the session's copy";
}

TEST_F(Exchange, RecordsAreReadWithinTheirBounds) {
  TestPacket packet = TestPacket::Made(3);
  packet.Record(0).ThreadCount = -1;  // more threads than a record holds
  packet.Record(0).ThreadAffinity[255] = 0x1;
  packet.Record(0).PrevIdealProcessor[7] = 0xFFFFFFFF;
  packet.Record(1).ThreadCount = 300;  // no packet holds that many
  std::fill(std::begin(packet.Record(2).ProcName), std::end(packet.Record(2).ProcName),
            u'x');  // no NUL in the name's 32 units
  script_->AnswerWith({packet});
  ASSERT_EQ(TesmarRefresh(session()), 0);

  TesmarRecord* many = TesmarGetProcObject(session(), 0);
  EXPECT_EQ(TesmarGetThreadCount(many), 256);
  EXPECT_EQ(TesmarGetThreadAffin(many, 255), 0x1u);
  EXPECT_EQ(TesmarGetThreadAffin(many, 256), 0u);
  EXPECT_EQ(TesmarGetprevIdealProcessor(many, 7), -1);
  EXPECT_EQ(TesmarGetprevIdealProcessor(many, 256), -127);

  // A stored count outside -1..256 is answered as no thread at all.
  TesmarRecord* odd = TesmarGetProcObject(session(), 1);
  EXPECT_EQ(TesmarGetThreadCount(odd), 0);
  EXPECT_EQ(TesmarGetThreadAffin(odd, 0), 0u);
  EXPECT_EQ(TesmarSetThreadAffin(odd, 0, 0x1), 1);

  EXPECT_EQ(std::u16string(TesmarGetProcName(TesmarGetProcObject(session(), 2))),
            std::u16string(31, u'x'));
}

TEST_F(Exchange, UnusableProcListLeavesTheSessionWithoutACopy) {
  TestPacket unsigned_ = TestPacket::Made(3);
  unsigned_.Bytes()[0] = std::byte{'X'};
  TestPacket truncated = TestPacket::Made(3);
  truncated.Resize(truncated.Length() - 1);  // the last record is one byte short
  TestPacket headerOnly(10);

  for (const TestPacket& bad : {unsigned_, truncated, headerOnly}) {
    SCOPED_TRACE(bad.Length());
    script_->QueueAnswer({TestPacket::Made(3, 4)});
    ASSERT_EQ(TesmarRefresh(session()), 0);
    ASSERT_EQ(TesmarGetProcessCount(session()), 3u);

    script_->QueueAnswer({bad});
    std::size_t tonesBefore = tesmar::platform::RecordedTones().size();
    EXPECT_EQ(TesmarRefresh(session()), static_cast<INT>(ERROR_INVALID_DATA));
    EXPECT_EQ(TesmarGetProcessCount(session()), 1u);
    EXPECT_EQ(TesmarGetProcessorCount(session()), 1u);
    EXPECT_EQ(TesmarGetProcObject(session(), 0), nullptr);
    EXPECT_EQ(TesmarUpdate(session()), 1);
    auto tones = tesmar::platform::RecordedTones();
    ASSERT_EQ(tones.size(), tonesBefore + 1);
    EXPECT_EQ(tones.back().frequency, 220u);
    EXPECT_EQ(tones.back().duration, 20u);
  }
}

TEST_F(Exchange, MissingProcListIsTheRegistrysError) {
  script_->AnswerWith({TestPacket::Made(3, 4)});
  ASSERT_EQ(TesmarRefresh(session()), 0);
  tesmar::testing::DeleteDataValue(u"ProcList");
  script_->AnswerWith({std::nullopt});
  std::size_t tonesBefore = tesmar::platform::RecordedTones().size();
  EXPECT_EQ(TesmarRefresh(session()), static_cast<INT>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(TesmarGetProcObject(session(), 0), nullptr);
  EXPECT_EQ(TesmarGetProcessCount(session()), 1u);
  EXPECT_EQ(tesmar::platform::RecordedTones().size(), tonesBefore);
}

}  // namespace
