// What every call answers for a missing session, record or copy, and how the setters report.

#include <gtest/gtest.h>

#include "TesmarApi.h"

namespace {

TEST(Sentinels, NullSessionIsAnsweredByEveryCall) {
  EXPECT_EQ(TesmarClose(nullptr), 1);
  EXPECT_EQ(TesmarConnect(nullptr, nullptr), 1);
  EXPECT_EQ(TesmarDisconnect(nullptr), 1);
  EXPECT_EQ(TesmarInstalled(nullptr), 0);
  EXPECT_EQ(TesmarRunning(nullptr), 0);
  EXPECT_EQ(TesmarStart(nullptr), 1);
  EXPECT_EQ(TesmarStop(nullptr), 1);
  EXPECT_EQ(TesmarRefresh(nullptr), 1);
  EXPECT_EQ(TesmarUpdate(nullptr), 1);
  EXPECT_EQ(TesmarGetProcessCount(nullptr), 1u);
  EXPECT_EQ(TesmarGetProcessorCount(nullptr), 1u);
  EXPECT_EQ(TesmarGetProcObject(nullptr, 0), nullptr);
  EXPECT_EQ(TesmarVersion(), 0);
}

TEST(Sentinels, NullRecordIsAnsweredByEveryAccessor) {
  EXPECT_EQ(TesmarGetProcName(nullptr), nullptr);
  EXPECT_EQ(TesmarGetProcId(nullptr), 0u);
  EXPECT_EQ(TesmarGetProcAffin(nullptr), 0u);
  EXPECT_EQ(TesmarGetProcPrior(nullptr), 0u);
  EXPECT_EQ(TesmarGetThreadCount(nullptr), 0);
  EXPECT_EQ(TesmarGetThreadAffin(nullptr, 0), 0u);
  EXPECT_EQ(TesmarGetThreadPrior(nullptr, 0), 127);
  EXPECT_EQ(TesmarGetprevIdealProcessor(nullptr, 0), -127);
  EXPECT_EQ(TesmarGetWatchList(nullptr), 0);
  DWORD disabled = 0xABCD;
  EXPECT_EQ(TesmarGetPriorityBoost(nullptr, &disabled), 0);
  EXPECT_EQ(disabled, 0xABCDu);

  // Masks and the watch mark answer 1 for bad input, the others 0.
  EXPECT_EQ(TesmarSetProcAffin(nullptr, 0x1), 1);
  EXPECT_EQ(TesmarSetThreadAffin(nullptr, 0, 0x1), 1);
  EXPECT_EQ(TesmarSetWatchList(nullptr, 1), 1);
  EXPECT_EQ(TesmarSetProcPrior(nullptr, 0x20), 0);
  EXPECT_EQ(TesmarSetThreadPrior(nullptr, 0, 1), 0);
  EXPECT_EQ(TesmarSetThreadIdealProcessor(nullptr, 0, 1), 0);
  EXPECT_EQ(TesmarSetPriorityBoost(nullptr, 1), 0);
}

TEST(Sentinels, LiveSessionWithoutConnectionOrCopy) {
  TesmarSession* session = TesmarOpen(0);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(TesmarInstalled(session), 0);
  EXPECT_EQ(TesmarRunning(session), 0);
  EXPECT_EQ(TesmarGetProcessCount(session), 1u);
  EXPECT_EQ(TesmarGetProcessorCount(session), 1u);
  EXPECT_EQ(TesmarGetProcObject(session, 0), nullptr);
  // No Data key and no service handle yet.
  EXPECT_EQ(TesmarRefresh(session), 1);
  EXPECT_EQ(TesmarUpdate(session), 1);
  EXPECT_EQ(TesmarStart(session), 1);
  EXPECT_EQ(TesmarStop(session), 0);  // not running: nothing to ask
  EXPECT_EQ(TesmarDisconnect(session), 0);
  EXPECT_EQ(TesmarClose(session), 0);
}

TEST(Setters, StoreAnyValueAndAnswerByTheirConvention) {
  TesmarSession* session = TesmarOpen(1);
  ASSERT_NE(session, nullptr);
  TesmarRecord* record = TesmarGetProcObject(session, 3);

  EXPECT_EQ(TesmarSetProcAffin(record, 0xFFFFFFFF), 0);
  EXPECT_EQ(TesmarGetProcAffin(record), 0xFFFFFFFFu);
  EXPECT_EQ(TesmarSetProcPrior(record, 12345), 1);
  EXPECT_EQ(TesmarGetProcPrior(record), 12345u);
  EXPECT_EQ(TesmarSetThreadAffin(record, 3, 0x80000000), 0);
  EXPECT_EQ(TesmarGetThreadAffin(record, 3), 0x80000000u);
  EXPECT_EQ(TesmarSetThreadPrior(record, 2, -15), 1);
  EXPECT_EQ(TesmarGetThreadPrior(record, 2), -15);
  EXPECT_EQ(TesmarSetThreadIdealProcessor(record, 1, 99), 1);
  EXPECT_EQ(TesmarSetPriorityBoost(record, 1), 1);
  DWORD disabled = 0;
  TesmarGetPriorityBoost(record, &disabled);
  EXPECT_EQ(disabled, 1u);
  EXPECT_EQ(TesmarSetWatchList(record, 1), 0);
  EXPECT_EQ(TesmarGetWatchList(record), 1);

  // Other threads and records are untouched.
  EXPECT_EQ(TesmarGetThreadAffin(record, 2), 0xFFFFu);
  EXPECT_EQ(TesmarGetThreadPrior(record, 3), 0);
  EXPECT_EQ(TesmarGetProcAffin(TesmarGetProcObject(session, 2)), 0xFFFFu);
  EXPECT_EQ(TesmarClose(session), 0);
}

}  // namespace
