// Which records a pass applies, and to which processes, on a made-up machine: never to a
// newcomer that took a watched process's id and name, only what a client changed relative to the
// publication its copy came from, and a ProcList that is broken or left from before a restart.
#include <gtest/gtest.h>

#include <string>

#include "engine_test_support.h"
#include "platform/process.h"
#include "published_identity.h"

namespace tesmar::service::testing {
namespace {

class RequestRulesTest : public EngineTest {
 protected:
  RequestRulesTest() : EngineTest(4) {
    machine_->AddProcess(u"x.exe", 1000, 2);
    machine_->AddProcess(u"y.exe", 2000, 2);
  }

  static void Watch(packet::ProcessRecord& record, uint32_t mask) {
    record.Watched = 1;
    record.ProcAffinity = mask;
    record.ThreadAffinity[0] = record.ThreadAffinity[1] = mask;
  }

  // Sends the copy as a client that names the publication it came from (0: one that does
  // not), in a pass of its own; what the pass published.
  PacketCopy Send(const PacketCopy& copy, DWORD cameFrom) {
    if (cameFrom != 0) {
      EXPECT_EQ(
          packet::WriteRequestBase(registry_.DataKey(),
                                   packet::RequestBase::Of(cameFrom, copy.Bytes(), copy.Length())),
          ERROR_SUCCESS);
    }
    registry_.WriteUpdateList(copy);
    registry_.InPass([&] { ApplyUpdateList(registry_.DataKey()); });
    return registry_.ProcList();
  }
  PacketCopy Refresh() {
    registry_.InPass([&] { RefreshProcList(registry_.DataKey()); });
    return registry_.ProcList();
  }
  // The copy a client reads: the latest publication and its number.
  PacketCopy Copy(DWORD& cameFrom) {
    cameFrom = registry_.Published();
    return registry_.ProcList();
  }
};

// A watched process ends and a newcomer of the same name takes its id: the watch is dropped and
// the newcomer is left alone, at the next refresh and for a request from a copy that still
// shows the old process.
TEST_F(RequestRulesTest, ANewcomerOnAWatchedProcessIdIsNeverGivenItsSettings) {
  PacketCopy request = registry_.Build();
  const DWORD cameFrom = registry_.Published();
  Watch(request.RecordOf(1000), 0x1);
  request.RecordOf(1000).PriorityClass = REALTIME_PRIORITY_CLASS;
  request.RecordOf(1000).ThreadPriority[1] = THREAD_PRIORITY_TIME_CRITICAL;
  ASSERT_EQ(Send(request, 0).RecordOf(1000).Watched, 1u);
  ASSERT_EQ(machine_->ThreadById(1001).scheduling.realtimePriority, 31);

  machine_->ReuseId(1000, u"x.exe");
  machine_->ClearCallLog();
  PacketCopy published = Refresh();
  EXPECT_EQ(published.RecordOf(1000).Watched, 0u);
  EXPECT_TRUE(machine_->CallLog().empty());
  EXPECT_EQ(machine_->ThreadById(1001).scheduling.policy, platform::Scheduling::Policy::Other);

  // The old copy, sent again with and without its base: refused for that record.
  for (DWORD named : {DWORD{0}, cameFrom}) {
    EXPECT_EQ(Send(request, named).RecordOf(1000).Watched, 0u);
    EXPECT_TRUE(machine_->CallLog().empty());
  }
}

// Two clients from one publication, each watching its own process: the second's copy still
// shows the first's process unwatched, which says nothing. A client that names no base asks for
// its whole copy, as before, and unwatches it.
TEST_F(RequestRulesTest, ARecordAClientLeftAsItWasKeepsAnotherClientsChange) {
  DWORD cameFrom = 0;
  registry_.Build();
  PacketCopy first = Copy(cameFrom);
  PacketCopy second = first;
  Watch(first.RecordOf(1000), 0x1);
  Watch(second.RecordOf(2000), 0x2);
  Send(first, cameFrom);
  PacketCopy published = Send(second, cameFrom);
  EXPECT_EQ(published.RecordOf(1000).Watched, 1u);
  EXPECT_EQ(published.RecordOf(2000).Watched, 1u);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x1u);
  EXPECT_EQ(machine_->ThreadById(2000).mask, 0x2u);

  // Both watched now; one client sets x.exe to 0x2, the other, from the same copy, changes
  // y.exe only: x.exe keeps 0x2 instead of going back to the copy's 0x1.
  PacketCopy third = Copy(cameFrom);
  PacketCopy fourth = third;
  Watch(third.RecordOf(1000), 0x2);
  Watch(fourth.RecordOf(2000), 0x1);
  Send(third, cameFrom);
  published = Send(fourth, cameFrom);
  EXPECT_EQ(published.RecordOf(1000).ProcAffinity, 0x2u);
  EXPECT_EQ(machine_->ThreadById(1001).mask, 0x2u);
  EXPECT_EQ(published.RecordOf(2000).ProcAffinity, 0x1u);

  // A client unwatches what its copy showed watched.
  PacketCopy fifth = Copy(cameFrom);
  fifth.RecordOf(2000).Watched = 0;
  published = Send(fifth, cameFrom);
  EXPECT_EQ(published.RecordOf(2000).Watched, 0u);
  EXPECT_EQ(published.RecordOf(1000).Watched, 1u);

  // Without a base, or with one that speaks of other bytes (left by a client that named its
  // base, and overwritten by one that does not), the copy is taken whole.
  PacketCopy old = first;
  old.RecordOf(1000).Watched = 0;
  ASSERT_EQ(packet::WriteRequestBase(registry_.DataKey(),
                                     packet::RequestBase::Of(cameFrom, first.Bytes(), 8)),
            ERROR_SUCCESS);
  registry_.WriteUpdateList(old);
  registry_.InPass([&] { ApplyUpdateList(registry_.DataKey()); });
  EXPECT_EQ(registry_.ProcList().RecordOf(1000).Watched, 0u);
}

// A ProcList that is missing, not signed or cut short is rebuilt at the next refresh, with
// nothing watched; a client can then refresh and send again.
TEST_F(RequestRulesTest, ARefreshRebuildsABrokenProcList) {
  PacketCopy request = registry_.Build();
  Watch(request.RecordOf(1000), 0x1);
  Send(request, 0);
  PacketCopy garbage(5000);
  PacketCopy cut = registry_.ProcList();
  cut.Resize(cut.Length() - 1);
  for (int broken = 0; broken < 3; ++broken) {
    SCOPED_TRACE(broken);
    if (broken == 0) RegDeleteValueW(registry_.DataKey(), u"ProcList");
    if (broken == 1) registry_.Write(u"ProcList", garbage);
    if (broken == 2) registry_.Write(u"ProcList", cut);
    PacketCopy published = Refresh();
    ASSERT_TRUE(published.View().IsWellFormed());
    EXPECT_EQ(published.RecordCount(), 3u);
    EXPECT_EQ(published.RecordOf(1000).Watched, 0u);
  }
}

// A service that starts again applies the publication it left to the processes it stood for,
// and only while the Data key still says which they were.
TEST_F(RequestRulesTest, AfterARestartOnlyTheSameProcessesKeepTheirWatch) {
  PacketCopy request = registry_.Build();
  Watch(request.RecordOf(1000), 0x1);
  Watch(request.RecordOf(2000), 0x2);
  Send(request, 0);
  const DWORD left = registry_.Published();
  machine_->ThreadById(1000).mask = 0xF;
  machine_->ReuseId(2000, u"y.exe");

  TheHistory().Forget();  // the new service knows nothing yet
  ASSERT_TRUE(RestoreLatestPublication(registry_.DataKey(), left));
  PacketCopy published = Refresh();
  EXPECT_EQ(published.RecordOf(1000).Watched, 1u);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x1u);
  EXPECT_EQ(published.RecordOf(2000).Watched, 0u);
  EXPECT_EQ(machine_->ThreadById(2000).mask, 0xFu);

  // What the Data key says must be of that very publication.
  TheHistory().Forget();
  EXPECT_FALSE(RestoreLatestPublication(registry_.DataKey(), left)) << "another number";
  RegDeleteValueW(registry_.DataKey(), u"ProcListIdentity");
  EXPECT_FALSE(RestoreLatestPublication(registry_.DataKey(), registry_.Published()));
  machine_->ThreadById(1000).mask = 0xF;
  EXPECT_EQ(Refresh().RecordOf(1000).Watched, 0u);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0xFu);
}

// What the service keeps is bounded: so many publications, and fewer when they are large.
TEST(PublicationHistoryTest, KeepsTheLatestPublicationsWithinItsBounds) {
  PublicationHistory history;
  for (DWORD serial = 2; serial <= 2 * (kKeptPublications + 1); serial += 2) {
    history.Remember(Publication(serial, std::vector<PublishedProcess>(1)));
  }
  EXPECT_EQ(history.Find(2), nullptr);
  EXPECT_NE(history.Find(4), nullptr);
  EXPECT_EQ(history.Latest()->serial(), 2 * (kKeptPublications + 1));

  history.Remember(Publication(9000, std::vector<PublishedProcess>(kKeptRecords / 2 + 1)));
  history.Remember(Publication(9002, std::vector<PublishedProcess>(kKeptRecords / 2 + 1)));
  EXPECT_EQ(history.Find(9000), nullptr) << "more records than it keeps";
  EXPECT_NE(history.Find(9002), nullptr);
  history.Remember(Publication(9004, std::vector<PublishedProcess>(kKeptRecords + 1)));
  EXPECT_EQ(history.Find(9002), nullptr);
  EXPECT_NE(history.Latest(), nullptr) << "the latest is kept, however large";
}

}  // namespace
}  // namespace tesmar::service::testing
