// What tesmarsr does with the Data key: the first publication, the replay of the last request at
// start, and the flags clients raise. Each test runs the program in console mode as a real
// process under a machine root of its own, and plays the client through the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <thread>

#include "platform/testing/console_process.h"
#include "platform/testing/temporary_machine_root.h"
#include "tesmarsr_test_support.h"

namespace tesmar::service::testing {
namespace {

using platform::testing::ConsoleProcess;
using platform::testing::TemporaryMachineRoot;
using namespace std::chrono_literals;

constexpr uint32_t kFirstProcessorOnly = 1;

// tesmarsr in console mode, stopped with Enter at the end of the test.
class RunningService {
 public:
  RunningService() : program_(kTesmarsrPath, {"-e"}) {
    EXPECT_EQ(program_.ReadLine(20s), "Running as Exe...");
    EXPECT_EQ(program_.ReadLine(20s), "Service Thread Running...");
    EXPECT_EQ(program_.ReadLine(20s), "Press Enter to stop.");
  }
  ~RunningService() {
    program_.Write("\n");
    EXPECT_EQ(program_.WaitForExit(20s), 0);
  }
  int pid() const { return program_.pid(); }

 private:
  ConsoleProcess program_;
};

// A process for the service to find and change: one thread, doing nothing, for a minute.
class BystanderProcess {
 public:
  BystanderProcess() : program_("/bin/sleep", {"60"}) {}
  uint32_t pid() const { return static_cast<uint32_t>(program_.pid()); }

 private:
  ConsoleProcess program_;
};

bool ProcListHasRecordOf(uint32_t processId) {
  std::optional<Packet> published = ReadPacket();
  return published && published->RecordOf(processId);
}

bool FlagLowered(const char16_t* name) {
  return ReadDataFlag(name) == 0u;
}

// The process's record as ProcList shows it now.
std::optional<packet::ProcessRecord> PublishedRecordOf(uint32_t processId) {
  std::optional<Packet> published = ReadPacket();
  if (!published || !published->RecordOf(processId)) return std::nullopt;
  return *published->RecordOf(processId);
}

Packet EmptySignedPacket() {
  Packet empty;
  std::copy(std::begin(packet::kSignature), std::end(packet::kSignature), empty.header.Signature);
  return empty;
}

// The record the service published for the process, edited into a request that watches it on
// the first processor only.
Packet RequestWatchingOnFirstProcessor(uint32_t processId) {
  std::optional<Packet> published = ReadPacket();
  Packet request;
  if (!published || !published->RecordOf(processId)) {
    ADD_FAILURE() << "process " << processId << " is not in ProcList";
    return request;
  }
  request.header = published->header;
  request.records.push_back(
      WatchedWithAffinity(*published->RecordOf(processId), kFirstProcessorOnly));
  return request;
}

// With no Data key, the service makes it and publishes a first packet of all processes, itself
// among them, none of them watched.
TEST(TesmarsrDataKeyTest, FirstStartPublishesEveryProcessUnwatched) {
  TemporaryMachineRoot root;
  ASSERT_FALSE(DataKeyExists());
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));

  Packet published = *ReadPacket();
  EXPECT_GE(published.header.ProcessorCount, 1u);
  EXPECT_EQ(published.header.ProcessCount, published.records.size());
  EXPECT_EQ(published.records.front().ProcId, 0u) << "the idle process comes first";
  for (const packet::ProcessRecord& record : published.records) EXPECT_EQ(record.Watched, 0u);
  EXPECT_FALSE(ReadDataValue(u"UpdateList").has_value());
}

// A key left from an earlier run: the last UpdateList is applied again and published; the old
// ProcList is not taken as a request.
TEST(TesmarsrDataKeyTest, RestartReplaysTheLastUpdateList) {
  TemporaryMachineRoot root;
  BystanderProcess bystander;
  {
    RunningService firstRun;
    ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(bystander.pid()); }));
  }
  Packet request = RequestWatchingOnFirstProcessor(bystander.pid());
  WritePacket(u"UpdateList", request);
  Packet stale = *ReadPacket();
  stale.records.clear();
  WritePacket(u"ProcList", stale);

  RunningService secondRun;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(bystander.pid()); }));
  std::optional<packet::ProcessRecord> applied = PublishedRecordOf(bystander.pid());
  ASSERT_TRUE(applied.has_value());
  EXPECT_EQ(applied->Watched, 1u);
  EXPECT_EQ(applied->ProcAffinity, kFirstProcessorOnly);
  EXPECT_EQ(LiveProcessAffinity(bystander.pid()), kFirstProcessorOnly);
}

// A key left without a request: nothing is built at start, ProcList keeps its old content until
// a client asks for more, and the first raised flag is served.
TEST(TesmarsrDataKeyTest, RestartWithoutRequestKeepsProcListUntilAFlagIsRaised) {
  TemporaryMachineRoot root;
  WritePacket(u"ProcList", EmptySignedPacket());

  RunningService service;
  // The service has had the time to publish, had it wanted to.
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(ReadPacket().has_value());
  EXPECT_TRUE(ReadPacket()->records.empty());

  WriteDataFlag(u"RefreshFlag", 1);
  EXPECT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));
  EXPECT_TRUE(FlagLowered(u"RefreshFlag"));
}

TEST(TesmarsrDataKeyTest, RaisedRefreshFlagRepublishesTheProcesses) {
  TemporaryMachineRoot root;
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));
  BystanderProcess newcomer;
  EXPECT_FALSE(ProcListHasRecordOf(newcomer.pid()));

  WriteDataFlag(u"RefreshFlag", 1);
  EXPECT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(newcomer.pid()); }));
  EXPECT_TRUE(WaitUntil([] { return FlagLowered(u"RefreshFlag"); }));
}

// Only the value 1 raises a flag. Both raised at once: the update is done, and the refresh that
// follows keeps applying what it watched.
TEST(TesmarsrDataKeyTest, OnlyAFlagOfOneIsServedAndBothRaisedDoTheUpdate) {
  TemporaryMachineRoot root;
  BystanderProcess bystander;
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(bystander.pid()); }));
  const uint32_t untouchedAffinity = LiveProcessAffinity(bystander.pid());
  ASSERT_NE(untouchedAffinity, kFirstProcessorOnly) << "the machine needs two processors";
  WritePacket(u"UpdateList", RequestWatchingOnFirstProcessor(bystander.pid()));

  WriteDataFlag(u"UpdateFlag", 2);
  WriteDataFlag(u"RefreshFlag", 1);
  ASSERT_TRUE(WaitUntil([] { return FlagLowered(u"RefreshFlag"); }));
  EXPECT_EQ(ReadDataFlag(u"UpdateFlag"), 2u) << "a flag of 2 was lowered";
  EXPECT_EQ(PublishedRecordOf(bystander.pid())->Watched, 0u);
  EXPECT_EQ(LiveProcessAffinity(bystander.pid()), untouchedAffinity);

  WriteDataFlag(u"UpdateFlag", 1);
  WriteDataFlag(u"RefreshFlag", 1);
  ASSERT_TRUE(WaitUntil([] { return FlagLowered(u"UpdateFlag") && FlagLowered(u"RefreshFlag"); }));
  // A flag is lowered before its pass publishes.
  ASSERT_TRUE(WaitUntil([&] {
    std::optional<packet::ProcessRecord> record = PublishedRecordOf(bystander.pid());
    return record && record->Watched == 1u;
  }));
  std::optional<packet::ProcessRecord> watched = PublishedRecordOf(bystander.pid());
  ASSERT_TRUE(watched.has_value());
  EXPECT_EQ(watched->Watched, 1u);
  EXPECT_EQ(watched->ProcAffinity, kFirstProcessorOnly);
  EXPECT_EQ(LiveProcessAffinity(bystander.pid()), kFirstProcessorOnly);
}

// A flag raised while the service is busy (here: before it even started waiting) is served
// without any further write to the registry.
TEST(TesmarsrDataKeyTest, FlagRaisedBeforeTheWaitIsServedWithoutAnotherWrite) {
  TemporaryMachineRoot root;
  WritePacket(u"ProcList", EmptySignedPacket());
  WriteDataFlag(u"RefreshFlag", 1);

  RunningService service;
  EXPECT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));
  EXPECT_TRUE(FlagLowered(u"RefreshFlag"));
}

}  // namespace
}  // namespace tesmar::service::testing
