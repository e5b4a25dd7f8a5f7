// Demo sessions: the shared made-up packet, its lifetime, and the calls that must leave it and
// every platform service alone.

#include <gtest/gtest.h>

#include <string>

#include "TesmarApi.h"

namespace {

std::u16string NameOf(TesmarRecord* record) {
  return TesmarGetProcName(record);
}

struct DemoSession {
  TesmarSession* session = TesmarOpen(1);
  ~DemoSession() { TesmarClose(session); }
};

TEST(DemoSession, HoldsSixMadeUpProcessesOnSixteenProcessors) {
  DemoSession demo;
  ASSERT_NE(demo.session, nullptr);
  EXPECT_EQ(TesmarGetProcessorCount(demo.session), 16u);
  EXPECT_EQ(TesmarGetProcessCount(demo.session), 6u);
  EXPECT_EQ(TesmarGetProcObject(demo.session, 6), nullptr);

  for (DWORD i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    TesmarRecord* record = TesmarGetProcObject(demo.session, i);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(NameOf(record), u"DemoProcNbr" + std::u16string(1, char16_t(u'0' + i)) + u".exe");
    EXPECT_EQ(TesmarGetProcId(record), 2 * i + 11);
    EXPECT_EQ(TesmarGetProcAffin(record), 0xFFFFu);
    EXPECT_EQ(TesmarGetThreadCount(record), static_cast<LONG>(i + 1));
    EXPECT_EQ(TesmarGetWatchList(record), 0);
    for (DWORD thread = 0; thread <= i; ++thread) {
      EXPECT_EQ(TesmarGetThreadAffin(record, thread), 0xFFFFu) << "thread " << thread;
    }
    // The first index past the record's threads is refused by every per-thread accessor.
    EXPECT_EQ(TesmarGetThreadAffin(record, i + 1), 0u);
    EXPECT_EQ(TesmarGetThreadPrior(record, i + 1), 127);
    EXPECT_EQ(TesmarGetprevIdealProcessor(record, i + 1), -127);
    EXPECT_EQ(TesmarSetThreadAffin(record, i + 1, 0x1), 1);
    EXPECT_EQ(TesmarSetThreadPrior(record, i + 1, 2), 0);
    EXPECT_EQ(TesmarSetThreadIdealProcessor(record, i + 1, 0), 0);
  }
  // Record 5 has threads 0 to 5: its last thread can be edited.
  TesmarRecord* last = TesmarGetProcObject(demo.session, 5);
  EXPECT_EQ(TesmarSetThreadAffin(last, 5, 0x3), 0);
  EXPECT_EQ(TesmarGetThreadAffin(last, 5), 0x3u);
}

TEST(DemoSession, IsConnectedAndRunningWithoutAnyService) {
  DemoSession demo;
  EXPECT_EQ(TesmarInstalled(demo.session), 1);
  EXPECT_EQ(TesmarRunning(demo.session), 1);
  EXPECT_EQ(TesmarConnect(demo.session, nullptr), 0);
  EXPECT_EQ(TesmarConnect(demo.session, u"no-such-machine"), 0);

  // Start and stop only flip the flag.
  EXPECT_EQ(TesmarStop(demo.session), 0);
  EXPECT_EQ(TesmarRunning(demo.session), 0);
  EXPECT_EQ(TesmarStop(demo.session), 0);
  EXPECT_EQ(TesmarStart(demo.session), 0);
  EXPECT_EQ(TesmarRunning(demo.session), 1);

  // Disconnecting keeps the packet; refresh and update neither reload nor send it.
  TesmarRecord* record = TesmarGetProcObject(demo.session, 2);
  EXPECT_EQ(TesmarSetProcAffin(record, 0x5), 0);
  EXPECT_EQ(TesmarDisconnect(demo.session), 0);
  EXPECT_EQ(TesmarUpdate(demo.session), 0);
  EXPECT_EQ(TesmarRefresh(demo.session), 0);
  EXPECT_EQ(TesmarGetProcObject(demo.session, 2), record);
  EXPECT_EQ(TesmarGetProcAffin(record), 0x5u);
  EXPECT_EQ(TesmarInstalled(demo.session), 1);
}

TEST(DemoSession, PacketIsSharedAndRemadeFreshAfterTheLastClose) {
  TesmarSession* first = TesmarOpen(1);
  TesmarSession* second = TesmarOpen(7);  // any nonzero flag opens a demo session
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  // An edit through one session is seen through the other.
  EXPECT_EQ(TesmarSetProcAffin(TesmarGetProcObject(first, 0), 0x3), 0);
  EXPECT_EQ(TesmarSetWatchList(TesmarGetProcObject(first, 1), 1), 0);
  EXPECT_EQ(TesmarGetProcAffin(TesmarGetProcObject(second, 0)), 0x3u);
  EXPECT_EQ(TesmarGetWatchList(TesmarGetProcObject(second, 1)), 1);

  // Closing one keeps the packet, with its edit, for the other.
  EXPECT_EQ(TesmarClose(first), 0);
  EXPECT_EQ(TesmarGetProcAffin(TesmarGetProcObject(second, 0)), 0x3u);
  EXPECT_EQ(TesmarGetProcessCount(second), 6u);
  EXPECT_EQ(TesmarClose(second), 0);

  // With no demo session left the packet went; the next one is made anew.
  TesmarSession* third = TesmarOpen(1);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(TesmarGetProcAffin(TesmarGetProcObject(third, 0)), 0xFFFFu);
  EXPECT_EQ(TesmarGetWatchList(TesmarGetProcObject(third, 1)), 0);
  EXPECT_EQ(TesmarClose(third), 0);
}

}  // namespace
