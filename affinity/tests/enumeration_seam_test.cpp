// Searching entries by name and listing them as "name (0x<id>)" texts, on a made-up machine.
#include <gtest/gtest.h>

#include <string>

#include "snapshot_fixture.h"

namespace tesmar::affinity::testing {
namespace {

class EnumerationTest : public MadeUpMachineTest {
 protected:
  void SetUp() override {
    machine_->AddProcess(u"app.exe", 92, 2);
    machine_->AddProcess(u"db.exe", 200, 1);
    machine_->AddProcess(u"app.exe", 300, 1);
  }
};

TEST_F(EnumerationTest, FindsTheFirstExactCaseSensitiveMatch) {
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  ProcessEntry* app = AffinFindProcessByName(u"app.exe", snapshot.get());
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(AffinGetProcId(app), 92u);
  ProcessEntry* db = AffinFindProcessByName(u"db.exe", snapshot.get());
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(AffinGetProcId(db), 200u);

  EXPECT_EQ(AffinFindProcessByName(u"APP.EXE", snapshot.get()), nullptr);
  EXPECT_EQ(AffinFindProcessByName(u"app", snapshot.get()), nullptr);
  EXPECT_EQ(AffinFindProcessByName(u"app.exe ", snapshot.get()), nullptr);
  EXPECT_EQ(AffinFindProcessByName(u"", snapshot.get()), nullptr) << "the idle entry never matches";
  EXPECT_EQ(AffinFindProcessByName(nullptr, snapshot.get()), nullptr);
  EXPECT_EQ(AffinFindProcessByName(u"app.exe", nullptr), nullptr);
}

TEST_F(EnumerationTest, ListsNamedEntriesInOrderThenNullUntilRestarted) {
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  DWORD processId = 0xDEADBEEF;
  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 0, &processId)), u"app.exe (0x5c)");
  EXPECT_EQ(processId, 92u);
  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 1, &processId)), u"db.exe (0xc8)");
  EXPECT_EQ(processId, 200u);
  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 1, &processId)), u"app.exe (0x12c)");
  EXPECT_EQ(processId, 300u);
  EXPECT_EQ(AffinGetNextProcessByName(snapshot.get(), 1, &processId), nullptr);
  EXPECT_EQ(AffinGetNextProcessByName(snapshot.get(), 1, &processId), nullptr);
  EXPECT_EQ(AffinGetNextProcessByName(snapshot.get(), 7, &processId), nullptr);

  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 0, &processId)), u"app.exe (0x5c)")
      << "a continue flag of 0 restarts";
  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 1, nullptr)), u"db.exe (0xc8)");
}

TEST_F(EnumerationTest, UnnamedLastEntryEndsTheListingWithItsIdStored) {
  machine_->AddProcess(u"", 777, 1);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  DWORD processId = 0;
  ASSERT_NE(AffinGetNextProcessByName(snapshot.get(), 0, &processId), nullptr);
  ASSERT_NE(AffinGetNextProcessByName(snapshot.get(), 1, &processId), nullptr);
  ASSERT_NE(AffinGetNextProcessByName(snapshot.get(), 1, &processId), nullptr);
  EXPECT_EQ(AffinGetNextProcessByName(snapshot.get(), 1, &processId), nullptr);
  EXPECT_EQ(processId, 777u);
}

TEST_F(EnumerationTest, ContinuingWithAnotherSnapshotGivesNull) {
  SnapshotPointer first = TakeSnapshot();
  machine_->EndProcess(200);
  machine_->EndProcess(300);
  SnapshotPointer shorter = TakeSnapshot();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(shorter, nullptr);
  ASSERT_NE(AffinGetNextProcessByName(first.get(), 0, nullptr), nullptr);
  ASSERT_NE(AffinGetNextProcessByName(first.get(), 1, nullptr), nullptr);
  // The cursor's offset lies past the end of the shorter list.
  EXPECT_EQ(AffinGetNextProcessByName(shorter.get(), 1, nullptr), nullptr);
  EXPECT_EQ(AffinGetNextProcessByName(nullptr, 1, nullptr), nullptr);
}

class LongNameTest : public MadeUpMachineTest {};

TEST_F(LongNameTest, TextIsCutShortInsideItsBuffer) {
  const std::u16string longName(300, u'n');
  const std::u16string nearlyFull(250, u'm');
  const std::u16string pairAtTheCut = std::u16string(254, u'p') + u"\U0001F600";
  const std::u16string pairBeforeTheCut = std::u16string(253, u'q') + u"\U0001F600\U0001F600";
  machine_->AddProcess(longName, 100, 1);
  machine_->AddProcess(nearlyFull, 0x5abc, 1);
  machine_->AddProcess(pairAtTheCut, 300, 1);
  machine_->AddProcess(pairBeforeTheCut, 400, 1);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);

  LPCWSTR text = AffinGetNextProcessByName(snapshot.get(), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(TextOf(text), longName.substr(0, 255));
  EXPECT_EQ(TextOf(AffinGetProcName(FindEntryById(snapshot.get(), 100))), longName)
      << "the entry keeps the whole name";

  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 1, nullptr)), nearlyFull + u" (0x5");

  // A cut never keeps half of a surrogate pair.
  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 1, nullptr)),
            std::u16string(254, u'p'));
  EXPECT_EQ(TextOf(AffinGetNextProcessByName(snapshot.get(), 1, nullptr)),
            std::u16string(253, u'q') + u"\U0001F600");
}

}  // namespace
}  // namespace tesmar::affinity::testing
