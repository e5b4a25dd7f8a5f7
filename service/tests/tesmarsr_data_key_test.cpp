// What tesmarsr does with the Data key: the first publication, what it applies again at start,
// a ProcList it mends, and the flags clients raise. Each test runs the program in console mode as a
// real process under a machine root of its own, and plays the client through the registry.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "platform/registry.h"
#include "support/console_process.h"
#include "support/data_key_access.h"
#include "support/kernel_view.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/test_packet.h"
#include "support/thread_host.h"
#include "support/wait_until.h"
#include "tesmarsr_test_support.h"

namespace tesmar::service::testing {
namespace {

using namespace tesmar::testing;
using namespace std::chrono_literals;

constexpr uint32_t kFirstProcessorOnly = 1;

// tesmarsr in console mode, stopped with Enter at the end of the test.
class RunningService {
 public:
  RunningService() : program_(tesmar::testing::TesmarsrProgram(), {"-e"}) {
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
  std::optional<TestPacket> published = ReadDataPacket();
  return published && published->Find(processId);
}

bool FlagLowered(const char16_t* name) {
  return ReadDataDword(name) == 0u;
}

// The number of the last publication; 0 before the first.
DWORD PublishedSerial() {
  return ReadDataDword(u"ProcListSerial").value_or(0);
}

// The process's record as ProcList shows it now.
std::optional<packet::ProcessRecord> PublishedRecordOf(uint32_t processId) {
  std::optional<TestPacket> published = ReadDataPacket();
  if (!published || !published->Find(processId)) return std::nullopt;
  return *published->Find(processId);
}

// The record the service published for the process, edited into a request that watches it on
// the first processor only.
TestPacket RequestWatchingOnFirstProcessor(uint32_t processId) {
  std::optional<TestPacket> published = ReadDataPacket();
  if (!published || !published->Find(processId)) {
    ADD_FAILURE() << "process " << processId << " is not in ProcList";
    return {};
  }
  return TestPacket::Of(published->Header(),
                        {WatchedWithAffinity(*published->Find(processId), kFirstProcessorOnly)});
}

// With no Data key, the service makes it and publishes a first packet of all processes, itself
// among them, none of them watched.
TEST(TesmarsrDataKeyTest, FirstStartPublishesEveryProcessUnwatched) {
  TemporaryMachineRoot root;
  ASSERT_FALSE(DataKeyExists());
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));

  TestPacket published = *ReadDataPacket();
  EXPECT_GE(published.Header().ProcessorCount, 1u);
  EXPECT_EQ(published.Header().ProcessCount, published.RecordCount());
  EXPECT_EQ(published.Record(0).ProcId, 0u) << "the idle process comes first";
  for (uint32_t i = 0; i < published.RecordCount(); ++i) EXPECT_EQ(published.Record(i).Watched, 0u);
  EXPECT_FALSE(ReadDataValue(u"UpdateList").has_value());
  EXPECT_TRUE(WaitUntil([] { return PublishedSerial() == 2u; })) << "the first pass ends";
}

// A key left from an earlier run: its last publication is applied again, to the processes it
// stood for, and the numbering goes on where the first run left it. A key that no longer says
// which processes those were has its watches dropped.
TEST(TesmarsrDataKeyTest, RestartAppliesTheLastPublicationToTheSameProcessesOnly) {
  TemporaryMachineRoot root;
  BystanderProcess bystander;
  DWORD firstRunSerial = 0;
  {
    RunningService firstRun;
    ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(bystander.pid()); }));
    WriteDataPacket(u"UpdateList", RequestWatchingOnFirstProcessor(bystander.pid()));
    WriteDataDword(u"UpdateFlag", 1);
    ASSERT_TRUE(WaitUntil([&] {
      std::optional<packet::ProcessRecord> record = PublishedRecordOf(bystander.pid());
      return record && record->Watched == 1u && PublishedSerial() % 2 == 0;
    })) << "the pass that watched it has ended";
    firstRunSerial = PublishedSerial();
  }
  const uint32_t everyProcessor = LiveProcessAffinity(static_cast<uint32_t>(getpid()));
  ASSERT_TRUE(SetTasksetMask(bystander.pid(), everyProcessor, true));

  for (bool identityKept : {true, false}) {
    SCOPED_TRACE(identityKept);
    if (!identityKept) {
      ASSERT_TRUE(SetTasksetMask(bystander.pid(), everyProcessor, true));
      DeleteDataValue(u"ProcListIdentity");
    }
    const DWORD before = PublishedSerial();
    RunningService run;
    ASSERT_TRUE(
        WaitUntil([&] { return PublishedSerial() > before && PublishedSerial() % 2 == 0; }));
    std::optional<packet::ProcessRecord> record = PublishedRecordOf(bystander.pid());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Watched, identityKept ? 1u : 0u);
    EXPECT_EQ(LiveProcessAffinity(bystander.pid()),
              identityKept ? kFirstProcessorOnly : everyProcessor);
    EXPECT_GT(PublishedSerial(), firstRunSerial);
  }
}

// A Data key made a moment before the service, or whose ProcList was overwritten, gets a fresh
// ProcList with nothing watched: at start, and at every refresh.
TEST(TesmarsrDataKeyTest, AMissingOrBrokenProcListIsPublishedAfresh) {
  TemporaryMachineRoot root;
  ASSERT_TRUE(CreateDataKey());
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));

  const uint8_t garbage[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'a', 'c', 'k', 'e', 't'};
  WriteDataValue(u"ProcList", REG_BINARY, garbage, sizeof garbage);
  WriteDataDword(u"RefreshFlag", 1);
  EXPECT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));
}

// Sends the request and waits until the pass that took it has ended.
void SendAndWait(const TestPacket& request) {
  const DWORD before = PublishedSerial();
  WriteDataPacket(u"UpdateList", request);
  WriteDataDword(u"UpdateFlag", 1);
  ASSERT_TRUE(WaitUntil([&] {
    return FlagLowered(u"UpdateFlag") && PublishedSerial() > before && PublishedSerial() % 2 == 0;
  }));
}

// A request that holds a thousand copies of one 256-thread record applies the last once; a
// record whose thread count lies outside -1..256 is refused, the process left as it was.
TEST(TesmarsrDataKeyTest, CopiesOfARecordApplyOnceAndAnOddThreadCountIsRefused) {
  TemporaryMachineRoot root;
  SpawnedThreadHost child(256);
  ASSERT_TRUE(child.started());
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(child.pid()); }));
  const uint32_t everyProcessor = LiveProcessAffinity(child.pid());
  ASSERT_NE(everyProcessor, kFirstProcessorOnly) << "the machine needs two processors";
  const packet::ProcessRecord published = *PublishedRecordOf(child.pid());
  const packet::PacketHeader header = ReadDataPacket()->Header();
  const uint32_t lastThread = child.threadIds().back();

  for (int32_t threadCount : {-5, 257, 100000}) {
    SCOPED_TRACE(threadCount);
    packet::ProcessRecord odd = WatchedWithAffinity(published, kFirstProcessorOnly);
    odd.ThreadCount = threadCount;
    SendAndWait(TestPacket::Of(header, {odd}));
    EXPECT_EQ(PublishedRecordOf(child.pid())->Watched, 0u);
    EXPECT_EQ(TasksetMask(child.pid()), everyProcessor);
    EXPECT_EQ(TasksetMask(lastThread), everyProcessor);
  }

  std::vector<packet::ProcessRecord> copies(1000, WatchedWithAffinity(published, everyProcessor));
  copies.back() = WatchedWithAffinity(published, kFirstProcessorOnly);
  SendAndWait(TestPacket::Of(header, copies));
  EXPECT_EQ(PublishedRecordOf(child.pid())->Watched, 1u);
  EXPECT_EQ(TasksetMask(child.pid()), kFirstProcessorOnly);
  EXPECT_EQ(TasksetMask(lastThread), kFirstProcessorOnly);
}

TEST(TesmarsrDataKeyTest, RaisedRefreshFlagRepublishesTheProcesses) {
  TemporaryMachineRoot root;
  RunningService service;
  ASSERT_TRUE(WaitUntil([&] { return ProcListHasRecordOf(service.pid()); }));
  BystanderProcess newcomer;
  EXPECT_FALSE(ProcListHasRecordOf(newcomer.pid()));

  WriteDataDword(u"RefreshFlag", 1);
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
  WriteDataPacket(u"UpdateList", RequestWatchingOnFirstProcessor(bystander.pid()));

  WriteDataDword(u"UpdateFlag", 2);
  WriteDataDword(u"RefreshFlag", 1);
  ASSERT_TRUE(WaitUntil([] { return FlagLowered(u"RefreshFlag"); }));
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), 2u) << "a flag of 2 was lowered";
  EXPECT_EQ(PublishedRecordOf(bystander.pid())->Watched, 0u);
  EXPECT_EQ(LiveProcessAffinity(bystander.pid()), untouchedAffinity);

  WriteDataDword(u"UpdateFlag", 1);
  WriteDataDword(u"RefreshFlag", 1);
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
  WriteDataPacket(u"ProcList", TestPacket::Made(0));
  WriteDataDword(u"RefreshFlag", 1);

  RunningService service;
  EXPECT_TRUE(WaitUntil([&] { return FlagLowered(u"RefreshFlag"); }));
  EXPECT_TRUE(ProcListHasRecordOf(service.pid()));
}

}  // namespace
}  // namespace tesmar::service::testing
