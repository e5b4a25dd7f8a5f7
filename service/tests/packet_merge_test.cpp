// Merging a request into a fresh packet on a made-up machine: which records are applied, to
// which threads, in which order, and what the published packet then says.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "engine_test_support.h"
#include "platform/process.h"
#include "platform/process_source.h"

namespace tesmar::service::testing {
namespace {

using platform::Scheduling;
class PacketMergeTest : public EngineTest {
 protected:
  // Sends the request as a client would and lets the service apply it.
  PacketCopy Apply(const PacketCopy& request) {
    registry_.WriteUpdateList(request);
    machine_->ClearCallLog();
    ApplyUpdateList(registry_.DataKey());
    return registry_.ProcList();
  }

  // Asks for every thread of the record: masks, priorities and ideal processors.
  static void Watch(packet::ProcessRecord& record, uint32_t processMask) {
    record.Watched = 1;
    record.ProcAffinity = processMask;
    for (uint32_t k = 0; k < packet::FilledThreadSlots(record.ThreadCount); ++k) {
      record.ThreadAffinity[k] = processMask;
    }
  }

  std::vector<std::string> CallsOn(uint32_t firstThread, uint32_t threadCount) const {
    std::vector<std::string> calls;
    for (const std::string& line : machine_->CallLog()) {
      for (uint32_t id = firstThread; id < firstThread + threadCount; ++id) {
        if (line.find(" " + std::to_string(id) + " ") != std::string::npos) {
          calls.push_back(line);
          break;
        }
      }
    }
    return calls;
  }
};

TEST_F(PacketMergeTest, OnlyAWatchedRecordOfTheSameIdAndNameIsApplied) {
  machine_->AddProcess(u"ended.exe", 1000, 1);
  machine_->AddProcess(u"restarted.exe", 2000, 1);
  machine_->AddProcess(u"reused.exe", 3000, 1);
  machine_->AddProcess(u"unwatched.exe", 4000, 1);
  machine_->AddProcess(u"watched.exe", 5000, 1);
  PacketCopy request = registry_.Build();
  for (uint32_t id : {1000u, 2000u, 3000u, 5000u}) Watch(request.RecordOf(id), 0x6);
  // Fields that differ from the live values, but not watched.
  request.RecordOf(4000).ProcAffinity = 0x6;
  request.RecordOf(4000).ThreadAffinity[0] = 0x6;
  request.RecordOf(4000).PriorityClass = HIGH_PRIORITY_CLASS;

  machine_->EndProcess(1000);
  machine_->EndProcess(2000);
  machine_->AddProcess(u"restarted.exe", 2500, 1);  // same name, a new id
  machine_->ReuseId(3000, u"reused.exe");           // same id and name, another process

  PacketCopy published = Apply(request);
  EXPECT_FALSE(published.Find(1000) != nullptr);
  EXPECT_EQ(published.RecordOf(2500).Watched, 0u);
  EXPECT_EQ(published.RecordOf(3000).Watched, 0u);
  EXPECT_EQ(published.RecordOf(4000).Watched, 0u);
  EXPECT_EQ(published.RecordOf(4000).ProcAffinity, 0xFFFFu);
  EXPECT_EQ(published.RecordOf(5000).Watched, 1u);
  EXPECT_EQ(published.RecordOf(5000).ProcAffinity, 0x6u);

  for (uint32_t id : {2500u, 3000u, 4000u}) {
    EXPECT_TRUE(CallsOn(id, 1).empty()) << "process " << id << " was touched";
    EXPECT_EQ(machine_->ThreadById(id).mask, 0xFFFFu);
  }
  EXPECT_EQ(machine_->ThreadById(5000).mask, 0x6u);
}

TEST_F(PacketMergeTest, NamesAreComparedCaseSensitively) {
  machine_->AddProcess(u"app.exe", 1000, 1);
  PacketCopy request = registry_.Build();
  Watch(request.RecordOf(1000), 0x2);
  request.RecordOf(1000).ProcName[0] = u'A';
  PacketCopy published = Apply(request);
  EXPECT_EQ(published.RecordOf(1000).Watched, 0u);
  EXPECT_TRUE(machine_->CallLog().empty());
}

// Each process is given its last record only, once, however many the request holds.
TEST_F(PacketMergeTest, EachProcessIsAppliedOnceByItsLastRecord) {
  machine_->AddProcess(u"app.exe", 1000, 1);
  machine_->AddProcess(u"twice.exe", 2000, 256);
  PacketCopy built = registry_.Build();
  PacketCopy single = PacketCopy::Of(built.Header(), {built.RecordOf(2000)});
  Watch(single.Record(0), 0x4);
  Apply(single);
  const std::size_t callsOfOneApplication = machine_->CallLog().size();
  // Masks that already hold are not set again: the threads are put back as they were built.
  for (uint32_t thread = 2000; thread < 2256; ++thread) machine_->ThreadById(thread).mask = 0xFFFF;

  // [app watched 0x8, app unwatched] and then a thousand copies of twice.exe, the last at 0x4.
  std::vector<packet::ProcessRecord> records{built.RecordOf(1000), built.RecordOf(1000)};
  Watch(records[0], 0x8);
  for (int copy = 0; copy < 1000; ++copy) {
    records.push_back(built.RecordOf(2000));
    Watch(records.back(), copy % 2 == 0 ? 0x2 : 0x4);
  }
  PacketCopy published = Apply(PacketCopy::Of(built.Header(), records));
  EXPECT_EQ(published.RecordOf(1000).Watched, 0u) << "the later, unwatched record wins";
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0xFFFFu);
  EXPECT_EQ(published.RecordOf(2000).ProcAffinity, 0x4u);
  EXPECT_EQ(machine_->ThreadById(2255).mask, 0x4u);
  EXPECT_EQ(machine_->CallLog().size(), callsOfOneApplication);
}

TEST_F(PacketMergeTest, ThreadsTheRequestDidNotKnowOfFollowTheProcessMask) {
  machine_->AddProcess(u"grew.exe", 1000, 4);
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& record = request.RecordOf(1000);
  Watch(record, 0x30);
  for (uint32_t k = 0; k < 4; ++k) {
    record.ThreadAffinity[k] = uint32_t{0x10} << (k % 2);
    record.ThreadPriority[k] = THREAD_PRIORITY_LOWEST;
    record.ThreadIdealProcessor[k] = 4 + (k % 2);
  }
  // Two threads start after the client read the packet; one of them at a priority of its own.
  auto& threads = machine_->ProcessById(1000).threads;
  threads.push_back({1004, 0xFFFF, {}, 0, 900});
  threads.push_back({1005, 0xFFFF, {Scheduling::Policy::Other, -2, 0}, 0, 901});

  PacketCopy published = Apply(request);
  const packet::ProcessRecord& live = published.RecordOf(1000);
  ASSERT_EQ(live.ThreadCount, 6);
  for (uint32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(live.ThreadAffinity[k], uint32_t{0x10} << (k % 2)) << k;
    EXPECT_EQ(live.ThreadPriority[k], THREAD_PRIORITY_LOWEST) << k;
    EXPECT_EQ(live.ThreadIdealProcessor[k], 4 + (k % 2)) << k;
    EXPECT_NE(live.PrevIdealProcessor[k], packet::kNoIdealProcessor) << k;
    EXPECT_EQ(machine_->ThreadById(1000 + k).mask, uint32_t{0x10} << (k % 2)) << k;
  }
  for (uint32_t k = 4; k < 6; ++k) {
    EXPECT_EQ(live.ThreadAffinity[k], 0x30u) << k;
    EXPECT_EQ(live.ThreadIdealProcessor[k], packet::kNoIdealProcessor) << k;
    EXPECT_EQ(live.PrevIdealProcessor[k], packet::kNoIdealProcessor) << k;
    EXPECT_EQ(machine_->ThreadById(1000 + k).mask, 0x30u) << k;
  }
  // Their current priority is set again, as built.
  EXPECT_EQ(live.ThreadPriority[4], THREAD_PRIORITY_NORMAL);
  EXPECT_EQ(live.ThreadPriority[5], THREAD_PRIORITY_ABOVE_NORMAL);
  EXPECT_EQ(machine_->ThreadById(1005).scheduling.nice, -2);
}

TEST_F(PacketMergeTest, ThreadsBeyondTheLiveCountAreNotTouched) {
  machine_->AddProcess(u"shrank.exe", 1000, 6);
  PacketCopy request = registry_.Build();
  Watch(request.RecordOf(1000), 0x3);
  for (uint32_t k = 0; k < 6; ++k) request.RecordOf(1000).ThreadAffinity[k] = 0x1;
  auto& threads = machine_->ProcessById(1000).threads;
  threads.resize(4);

  PacketCopy published = Apply(request);
  EXPECT_EQ(published.RecordOf(1000).ThreadCount, 4);
  for (uint32_t k = 4; k < packet::MaxPacketThreads; ++k) {
    ASSERT_EQ(published.RecordOf(1000).ThreadAffinity[k], 0u) << k;
  }
  for (const std::string& line : machine_->CallLog()) {
    EXPECT_EQ(line.find(" 1004 "), std::string::npos) << line;
    EXPECT_EQ(line.find(" 1005 "), std::string::npos) << line;
  }
}

TEST_F(PacketMergeTest, AProcessWithMoreThan256ThreadsGetsOnlyItsProcessSettings) {
  machine_->AddProcess(u"huge.exe", 10000, 257);
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& record = request.RecordOf(10000);
  ASSERT_EQ(record.ThreadCount, -1);
  record.Watched = 1;
  record.ProcAffinity = 0x3;
  record.PriorityClass = HIGH_PRIORITY_CLASS;
  for (uint32_t k = 0; k < packet::MaxPacketThreads; ++k) {
    record.ThreadAffinity[k] = 0x1;
    record.ThreadPriority[k] = THREAD_PRIORITY_HIGHEST;
    record.ThreadIdealProcessor[k] = 1;
  }

  PacketCopy published = Apply(request);
  const packet::ProcessRecord& live = published.RecordOf(10000);
  EXPECT_EQ(live.Watched, 1u);
  EXPECT_EQ(live.ProcAffinity, 0x3u);
  EXPECT_EQ(live.PriorityClass, HIGH_PRIORITY_CLASS);
  EXPECT_EQ(live.PrevIdealProcessor[0], packet::kNoIdealProcessor);
  for (uint32_t k = 0; k < 257; ++k) {
    ASSERT_EQ(machine_->ThreadById(10000 + k).mask, 0x3u) << k;
    ASSERT_EQ(machine_->ThreadById(10000 + k).scheduling.nice, -10) << k;
  }
}

TEST_F(PacketMergeTest, ARefusedProcessMaskIsGivenToEachThreadAndThenItsOwn) {
  machine_->AddProcess(u"stubborn.exe", 1000, 2);
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& record = request.RecordOf(1000);
  Watch(record, 0xC);
  record.ThreadAffinity[0] = 0x4;
  record.ThreadAffinity[1] = 0x8;
  // The process-wide change fails; thread by thread it still works.
  machine_->Refuse(1000, MadeUpMachine::Operation::ListThreads);

  PacketCopy published = Apply(request);
  EXPECT_EQ(published.RecordOf(1000).ProcAffinity, 0xCu);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x4u);
  EXPECT_EQ(machine_->ThreadById(1001).mask, 0x8u);
  std::vector<std::string> masks;
  for (const std::string& line : CallsOn(1000, 2)) {
    if (line.starts_with("SetAffinity")) masks.push_back(line);
  }
  std::vector<std::string> expected = {"SetAffinity 1000 0xc", "SetAffinity 1001 0xc",
                                       "SetAffinity 1000 0x4", "SetAffinity 1001 0x8"};
  EXPECT_EQ(masks, expected);
}

TEST_F(PacketMergeTest, ARefusedClassOrBoostIsPublishedAsBuiltAndRefusedMasksAsRequested) {
  machine_->AddProcess(u"fixed.exe", 1000, 2);
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& record = request.RecordOf(1000);
  Watch(record, 0x3);
  record.PriorityClass = HIGH_PRIORITY_CLASS;
  record.BoostDisabled = 1;
  record.ThreadPriority[1] = THREAD_PRIORITY_HIGHEST;
  machine_->Refuse(1000, MadeUpMachine::Operation::SetScheduling);  // every thread of 1000
  machine_->Refuse(1001, MadeUpMachine::Operation::SetAffinity);

  PacketCopy published = Apply(request);
  const packet::ProcessRecord& live = published.RecordOf(1000);
  EXPECT_EQ(live.Watched, 1u);
  EXPECT_EQ(live.PriorityClass, NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(live.BoostDisabled, 0u);
  // The record keeps what was asked for even where the platform refused it.
  EXPECT_EQ(live.ThreadPriority[1], THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(live.ThreadAffinity[1], 0x3u);
  EXPECT_EQ(machine_->ThreadById(1001).mask, 0xFFFFu);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x3u);
}

TEST_F(PacketMergeTest, AnEndedProcessKeepsTheRequestedMasksAndTheBuiltClass) {
  machine_->AddProcess(u"brief.exe", 1000, 1);
  PacketCopy request = registry_.Build();
  Watch(request.RecordOf(1000), 0x2);
  request.RecordOf(1000).PriorityClass = IDLE_PRIORITY_CLASS;
  registry_.WriteUpdateList(request);

  RequestPacket* read = ServerPacketRead(registry_.DataKey(), u"UpdateList");
  LivePacket* packet = ServerPacketOpen(registry_.DataKey());
  ASSERT_NE(read, nullptr);
  ASSERT_NE(packet, nullptr);
  machine_->EndProcess(1000);  // between the snapshot and the apply step
  EXPECT_EQ(ServerPacketMerge(packet, read), 0u);
  const packet::ProcessRecord& live =
      *packet::PacketView(packet, packet::PacketSize(packet->ProcessCount)).RecordOrNull(1);
  EXPECT_EQ(live.Watched, 1u);
  EXPECT_EQ(live.ProcAffinity, 0x2u);
  EXPECT_EQ(live.ThreadAffinity[0], 0x2u);
  EXPECT_EQ(live.PriorityClass, NORMAL_PRIORITY_CLASS);
  RequestPacketFree(read);
  ServerPacketClose(packet);
}

TEST_F(PacketMergeTest, OneApplicationCallsThePlatformInItsFixedOrder) {
  machine_->AddProcess(u"order.exe", 1000, 2);
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& record = request.RecordOf(1000);
  Watch(record, 0x3);
  record.PriorityClass = HIGH_PRIORITY_CLASS;
  record.BoostDisabled = 1;
  record.ThreadAffinity[1] = 0x2;
  record.ThreadPriority[0] = THREAD_PRIORITY_ABOVE_NORMAL;
  record.ThreadPriority[1] = THREAD_PRIORITY_LOWEST;
  record.ThreadIdealProcessor[0] = 1;  // thread 1 keeps the "none chosen" it was built with

  PacketCopy published = Apply(request);
  std::vector<std::string> expected = {
      // process affinity, priority class (nice -10), boost disabled (batch)
      "SetAffinity 1000 0x3", "SetAffinity 1001 0x3", "SetScheduling 1000 other nice -10",
      "SetScheduling 1001 other nice -10", "SetScheduling 1000 batch nice -10",
      "SetScheduling 1001 batch nice -10",
      // thread 0: priority (its mask 0x3 already holds), then the ideal processor moves it to
      // processor 1
      "SetScheduling 1000 batch nice -12", "SetAffinity 1000 0x2", "SetAffinity 1000 0x3",
      // thread 1: affinity and priority; its ideal processor is refused without a move
      "SetAffinity 1001 0x2", "SetScheduling 1001 batch nice -6"};
  EXPECT_EQ(machine_->CallLog(), expected);
  EXPECT_NE(published.RecordOf(1000).PrevIdealProcessor[0], packet::kNoIdealProcessor);
  EXPECT_EQ(published.RecordOf(1000).PrevIdealProcessor[1], packet::kNoIdealProcessor);
  EXPECT_EQ(published.RecordOf(1000).PriorityClass, HIGH_PRIORITY_CLASS);
  EXPECT_EQ(published.RecordOf(1000).BoostDisabled, 1u);
}

}  // namespace
}  // namespace tesmar::service::testing
