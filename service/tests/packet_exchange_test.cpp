// Reading requests from the Data key and the two flows that publish ProcList.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine_test_support.h"
#include "platform/process.h"
#include "platform/process_source.h"

namespace tesmar::service::testing {
namespace {

class PacketExchangeTest : public EngineTest {
 protected:
  PacketExchangeTest() : EngineTest(4) {
    machine_->AddProcess(u"app.exe", 1000, 2);
    machine_->AddProcess(u"other.exe", 2000, 1);
  }

  // A ProcList that a flow which publishes nothing leaves as it is.
  void PublishMarker() {
    PacketCopy marker(8);
    std::memcpy(marker.Bytes(), "untouch", 8);
    registry_.Write(u"ProcList", marker);
  }
  bool MarkerStillPublished() {
    PacketCopy published;
    return registry_.Read(u"ProcList", published) && published.Length() == 8 &&
           std::memcmp(published.Bytes(), "untouch", 8) == 0;
  }
};

TEST_F(PacketExchangeTest, AMissingOrForeignRequestBuildsAndPublishesNothing) {
  PublishMarker();
  unsigned listsBefore = machine_->ListCount();
  ApplyUpdateList(registry_.DataKey());  // no UpdateList yet
  EXPECT_TRUE(MarkerStillPublished());

  PacketCopy foreign = registry_.Build();
  PublishMarker();
  foreign.Header().Signature[6] = u'2';  // "TESMAR2": another program's packet
  registry_.WriteUpdateList(foreign);
  ApplyUpdateList(registry_.DataKey());
  EXPECT_TRUE(MarkerStillPublished());

  PacketCopy tooShort(10);
  std::memcpy(tooShort.Bytes(), packet::kSignature, 10);
  registry_.WriteUpdateList(tooShort);
  ApplyUpdateList(registry_.DataKey());
  EXPECT_TRUE(MarkerStillPublished());

  // Only the one Build above took a snapshot.
  EXPECT_EQ(machine_->ListCount(), listsBefore + 1);
}

TEST_F(PacketExchangeTest, ARequestIsExactlyAsLongAsItsValue) {
  PacketCopy value = registry_.Build();
  value.Resize(packet::PacketSize(1) + 7);
  registry_.WriteUpdateList(value);
  RequestPacket* request = ServerPacketRead(registry_.DataKey(), u"UpdateList");
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->length, packet::PacketSize(1) + 7);
  EXPECT_EQ(request->View().RecordCount(), 1u);
  EXPECT_EQ(std::memcmp(request->bytes, value.Bytes(), value.Length()), 0);
  EXPECT_EQ(RequestPacketFree(request), 0u);

  EXPECT_EQ(ServerPacketRead(registry_.DataKey(), u"NoSuchValue"), nullptr);
}

TEST_F(PacketExchangeTest, ApplyUpdateListPublishesTheAppliedRequest) {
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& app = request.RecordOf(1000);
  app.Watched = 1;
  app.ProcAffinity = 0x3;
  app.ThreadAffinity[0] = 0x1;
  app.ThreadAffinity[1] = 0x2;
  registry_.WriteUpdateList(request);

  ApplyUpdateList(registry_.DataKey());
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x1u);
  EXPECT_EQ(machine_->ThreadById(1001).mask, 0x2u);
  PacketCopy published = registry_.ProcList();
  EXPECT_TRUE(published.View().IsWellFormed());
  EXPECT_EQ(published.RecordOf(1000).Watched, 1u);
  EXPECT_EQ(published.RecordOf(1000).ProcAffinity, 0x3u);
  EXPECT_EQ(published.RecordOf(2000).Watched, 0u);
}

TEST_F(PacketExchangeTest, RefreshAppliesWatchedRecordsAgainAndCarriesTheirMark) {
  PacketCopy request = registry_.Build();
  request.RecordOf(1000).Watched = 1;
  request.RecordOf(1000).ProcAffinity = 0x4;
  request.RecordOf(1000).ThreadAffinity[0] = 0x4;
  request.RecordOf(1000).ThreadAffinity[1] = 0x8;
  registry_.WriteUpdateList(request);
  ApplyUpdateList(registry_.DataKey());

  // Someone changes the masks behind the service's back.
  machine_->ThreadById(1000).mask = 0xF;
  machine_->ThreadById(1001).mask = 0xF;
  machine_->ThreadById(2000).mask = 0x1;
  RefreshProcList(registry_.DataKey());
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x4u);
  EXPECT_EQ(machine_->ThreadById(1001).mask, 0x8u);
  EXPECT_EQ(machine_->ThreadById(2000).mask, 0x1u) << "an unwatched process is left alone";

  PacketCopy published = registry_.ProcList();
  EXPECT_EQ(published.RecordOf(1000).Watched, 1u);
  EXPECT_EQ(published.RecordOf(1000).ThreadAffinity[1], 0x8u);
  EXPECT_EQ(published.RecordOf(2000).Watched, 0u);
  EXPECT_EQ(published.RecordOf(2000).ProcAffinity, 0x1u);

  // Once the process ends, its watch is gone from the next packet.
  machine_->EndProcess(1000);
  RefreshProcList(registry_.DataKey());
  EXPECT_FALSE(registry_.ProcList().Find(1000) != nullptr);
}

TEST_F(PacketExchangeTest, PacketsOfAThousandProcessesAndMoreAreTakenWhole) {
  for (uint32_t i = 0; i < 1000; ++i) machine_->AddProcess(u"many.exe", 100000 + 10 * i, 2);
  PacketCopy request = registry_.Build();
  ASSERT_EQ(request.RecordCount(), 1003u);
  EXPECT_GT(request.Length(), 4u * 1000 * 1000);
  packet::ProcessRecord& last = request.Record(1002);
  last.Watched = 1;
  last.ProcAffinity = 0x2;
  last.ThreadAffinity[0] = last.ThreadAffinity[1] = 0x2;
  registry_.WriteUpdateList(request);

  ApplyUpdateList(registry_.DataKey());
  EXPECT_EQ(machine_->ThreadById(last.ProcId + 1).mask, 0x2u);
  PacketCopy published = registry_.ProcList();
  EXPECT_EQ(published.Length(), packet::PacketSize(1003));
  EXPECT_EQ(published.Record(1002).Watched, 1u);
}

// A publication that cannot be written is the flow's answer, for the worker to report: here the
// Data key is deleted while the packet is built.
TEST_F(PacketExchangeTest, APublicationThatCannotBeWrittenIsTheFlowsAnswer) {
  registry_.WriteUpdateList(registry_.Build());
  ASSERT_EQ(ApplyUpdateList(registry_.DataKey()), ERROR_SUCCESS);
  machine_->OnListing([] { RegDeleteKeyW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath); });
  EXPECT_EQ(ApplyUpdateList(registry_.DataKey()), static_cast<LSTATUS>(ERROR_KEY_DELETED));
}

}  // namespace
}  // namespace tesmar::service::testing
