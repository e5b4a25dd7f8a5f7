// Building the live packet from a snapshot of a made-up machine, and publishing it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine_test_support.h"
#include "platform/process.h"
#include "platform/process_source.h"

namespace tesmar::service::testing {
namespace {

using platform::Scheduling;

using PacketBuilderTest = EngineTest;

TEST_F(PacketBuilderTest, APacketIsAHeaderAndOneRecordPerProcessAndIsWrittenWhole) {
  machine_->AddProcess(u"first.exe", 1000, 1);
  machine_->AddProcess(u"second.exe", 2000, 2);

  LivePacket* packet = ServerPacketOpen(registry_.DataKey());
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(std::u16string_view(packet->Signature), u"TESMAR1");
  EXPECT_EQ(packet->Signature[7], u'\0');
  EXPECT_EQ(packet->ProcessorCount, 16u);
  EXPECT_EQ(packet->ProcessCount, 3u);  // the idle process and the two
  EXPECT_EQ(ServerPacketWrite(packet), ERROR_SUCCESS);
  EXPECT_EQ(ServerPacketClose(packet), 0u);
  EXPECT_EQ(registry_.ProcList().Length(), 12588u);

  for (uint32_t id : {3000u, 4000u, 5000u}) machine_->AddProcess(u"more.exe", id, 1);
  packet = ServerPacketOpen(registry_.DataKey());
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->ProcessCount, 6u);
  EXPECT_EQ(ServerPacketWrite(packet), ERROR_SUCCESS);
  ServerPacketClose(packet);
  PacketCopy published = registry_.ProcList();
  EXPECT_EQ(published.Length(), 25152u);
  EXPECT_TRUE(published.View().IsWellFormed());
  // Records follow the system's process list.
  EXPECT_EQ(published.Record(1).ProcId, 1000u);
  EXPECT_EQ(published.Record(5).ProcId, 5000u);
}

TEST_F(PacketBuilderTest, NamesAreCutTo31UnitsAndTheIdleProcessIsNamedIdle) {
  const std::u16string forty = u"abcdefghijklmnopqrstuvwxyz0123456789.exe";
  ASSERT_EQ(forty.size(), 40u);
  machine_->AddProcess(forty, 1000, 1);
  machine_->AddProcess(u"short.exe", 2000, 1);
  // 30 units and then a surrogate pair: the cut at 31 must not keep half of the pair.
  machine_->AddProcess(std::u16string(30, u'a') + u"\U0001F600b", 3000, 1);
  std::u16string exactly31(31, u'c');
  machine_->AddProcess(exactly31, 4000, 1);

  PacketCopy packet = registry_.Build();
  const packet::ProcessRecord& idle = packet.Record(0);
  EXPECT_EQ(idle.ProcId, 0u);
  EXPECT_EQ(packet::RecordName(idle), u"Idle");

  const packet::ProcessRecord& cut = packet.RecordOf(1000);
  EXPECT_EQ(packet::RecordName(cut), forty.substr(0, 31));
  EXPECT_EQ(cut.ProcName[31], u'\0');

  const packet::ProcessRecord& whole = packet.RecordOf(2000);
  EXPECT_EQ(packet::RecordName(whole), u"short.exe");
  for (uint32_t unit = 9; unit < packet::kProcNameUnits; ++unit) {
    EXPECT_EQ(whole.ProcName[unit], u'\0') << "unit " << unit << " after the NUL";
  }

  EXPECT_EQ(packet::RecordName(packet.RecordOf(3000)), std::u16string(30, u'a'));
  EXPECT_EQ(packet::RecordName(packet.RecordOf(4000)), exactly31);
}

TEST_F(PacketBuilderTest, UpTo256ThreadsAreStoredAndMoreGiveMinusOne) {
  machine_->AddProcess(u"full.exe", 10000, 256);
  machine_->AddProcess(u"over.exe", 20000, 257);
  machine_->AddProcess(u"small.exe", 30000, 3);
  machine_->ThreadById(10000 + 255).mask = 0x8000;
  machine_->ThreadById(10000 + 255).scheduling.nice = -2;  // one level above normal
  machine_->ThreadById(30000 + 1).mask = 0x0F0;

  PacketCopy packet = registry_.Build();
  const packet::ProcessRecord& full = packet.RecordOf(10000);
  EXPECT_EQ(full.ThreadCount, 256);
  EXPECT_EQ(full.ThreadAffinity[0], 0xFFFFu);
  EXPECT_EQ(full.ThreadAffinity[255], 0x8000u);
  EXPECT_EQ(full.ThreadPriority[255], THREAD_PRIORITY_ABOVE_NORMAL);

  const packet::ProcessRecord& over = packet.RecordOf(20000);
  EXPECT_EQ(over.ThreadCount, -1);
  EXPECT_EQ(over.ProcAffinity, 0xFFFFu);
  for (uint32_t k = 0; k < packet::MaxPacketThreads; ++k) {
    ASSERT_EQ(over.ThreadAffinity[k], 0u) << "no slot of a -1 record is filled";
  }

  // The fields the build leaves without a value: slots beyond ThreadCount are zero, and no
  // thread has an ideal processor, so that a watched record never moves a thread nobody placed.
  const packet::ProcessRecord& small = packet.RecordOf(30000);
  EXPECT_EQ(small.ThreadCount, 3);
  EXPECT_EQ(small.ThreadAffinity[1], 0x0F0u);
  for (uint32_t k = 3; k < packet::MaxPacketThreads; ++k) {
    ASSERT_EQ(small.ThreadAffinity[k], 0u);
    ASSERT_EQ(small.ThreadPriority[k], 0);
  }
  for (uint32_t k = 0; k < packet::MaxPacketThreads; ++k) {
    ASSERT_EQ(small.ThreadIdealProcessor[k], packet::kNoIdealProcessor);
    ASSERT_EQ(small.PrevIdealProcessor[k], packet::kNoIdealProcessor);
  }
  EXPECT_EQ(small.Watched, 0u);
}

TEST_F(PacketBuilderTest, ProcessSettingsAreReadAsTheyAre) {
  machine_->AddProcess(u"high.exe", 1000, 2);
  for (auto& thread : machine_->ProcessById(1000).threads) {
    thread.scheduling.nice = -10;
    thread.mask = 0x3;
  }
  machine_->AddProcess(u"batch.exe", 2000, 1);
  machine_->ThreadById(2000).scheduling.policy = Scheduling::Policy::Batch;
  machine_->AddProcess(u"closed.exe", 3000, 1);
  machine_->Refuse(3000, MadeUpMachine::Operation::Open);

  PacketCopy packet = registry_.Build();
  const packet::ProcessRecord& high = packet.RecordOf(1000);
  EXPECT_EQ(high.PriorityClass, HIGH_PRIORITY_CLASS);
  EXPECT_EQ(high.ProcAffinity, 0x3u);
  EXPECT_EQ(high.BoostQueryOk, 1u);
  EXPECT_EQ(high.BoostDisabled, 0u);

  const packet::ProcessRecord& batch = packet.RecordOf(2000);
  EXPECT_EQ(batch.PriorityClass, NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(batch.BoostQueryOk, 1u);
  EXPECT_EQ(batch.BoostDisabled, 1u);

  // A process that cannot be opened: its base priority level instead of a class, and no boost
  // state.
  const packet::ProcessRecord& closed = packet.RecordOf(3000);
  EXPECT_EQ(closed.PriorityClass, 8u);
  EXPECT_EQ(closed.BoostQueryOk, 0u);
  EXPECT_EQ(closed.BoostDisabled, 0u);
  EXPECT_EQ(closed.ProcAffinity, 0u);
}

TEST_F(PacketBuilderTest, AProcessAffinityThatReadsAsZeroIsPublishedAsTheUnionOfItsThreads) {
  machine_->AddProcess(u"split.exe", 1000, 2);
  machine_->ThreadById(1000).mask = 0x1;
  machine_->ThreadById(1001).mask = 0x4;
  // The process-wide read fails; each thread can still be read on its own.
  machine_->Refuse(1000, MadeUpMachine::Operation::ListThreads);

  PacketCopy packet = registry_.Build();
  EXPECT_EQ(packet.RecordOf(1000).ProcAffinity, 0x5u);
}

TEST_F(PacketBuilderTest, NullArgumentsAnswerOneOrNull) {
  EXPECT_EQ(ServerPacketOpen(nullptr), nullptr);
  EXPECT_EQ(ServerPacketClose(nullptr), 1u);
  EXPECT_EQ(ServerPacketWrite(nullptr), 1);
  EXPECT_EQ(RequestPacketFree(nullptr), 1u);
  EXPECT_EQ(ServerPacketRead(registry_.DataKey(), nullptr), nullptr);
  EXPECT_EQ(ServerPacketMerge(nullptr, nullptr), 1u);
}

TEST_F(PacketBuilderTest, AnOlderLivePacketLosesItsSnapshotWhenANewOneIsBuilt) {
  machine_->AddProcess(u"app.exe", 1000, 1);
  PacketCopy request = registry_.Build();
  request.RecordOf(1000).Watched = 1;
  request.RecordOf(1000).ProcAffinity = 0x2;
  registry_.WriteUpdateList(request);
  RequestPacket* read = ServerPacketRead(registry_.DataKey(), u"UpdateList");
  ASSERT_NE(read, nullptr);

  LivePacket* older = ServerPacketOpen(registry_.DataKey());
  LivePacket* newer = ServerPacketOpen(registry_.DataKey());
  ASSERT_NE(older, nullptr);
  ASSERT_NE(newer, nullptr);
  machine_->ClearCallLog();
  // The older packet's records no longer line up with any snapshot: nothing may be applied.
  EXPECT_EQ(ServerPacketMerge(older, read), 1u);
  EXPECT_TRUE(machine_->CallLog().empty());
  EXPECT_EQ(ServerPacketMerge(newer, read), 0u);
  EXPECT_FALSE(machine_->CallLog().empty());
  EXPECT_EQ(ServerPacketClose(older), 0u);
  EXPECT_EQ(ServerPacketClose(newer), 0u);
  RequestPacketFree(read);
}

}  // namespace
}  // namespace tesmar::service::testing
