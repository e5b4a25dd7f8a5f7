// The priority radios of the main dialog: a class change asked for and sent at once, a thread
// priority sent for every selected thread, each read back with a refresh; against the scripted
// service (its recorded UpdateList, byte for byte) and the demo backend.
#include <gtest/gtest.h>

#include "MyList.h"
#include "dialog_driver.h"
#include "main_dialog_fixture.h"
#include "main_dialog_ids.h"
#include "scripted_main_dialog.h"
#include "system_text.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::ScriptedRecord;
using tesmar::testing::TestPacket;

struct ClassRadio {
  int id;
  uint32_t priorityClass;
};
constexpr ClassRadio kClassRadios[] = {{IDC_CLASS_REAL_TIME, 256},
                                       {IDC_CLASS_VERY_HIGH, 128},
                                       {IDC_CLASS_NORMAL, 32},
                                       {IDC_CLASS_IDLE, 64}};
struct ThreadRadio {
  int id;
  int32_t priority;
};
constexpr ThreadRadio kThreadRadios[] = {{IDC_THREAD_HIGHEST, 2},
                                         {IDC_THREAD_ABOVE_NORMAL, 1},
                                         {IDC_THREAD_NORMAL, 0},
                                         {IDC_THREAD_BELOW_NORMAL, -1},
                                         {IDC_THREAD_IDLE, -15}};

class Priorities : public ScriptedMainDialogTest {
 protected:
  int CheckedClassRadio() {
    int checked = 0;
    for (const ClassRadio& radio : kClassRadios) {
      if (Checked(radio.id)) checked = checked ? -1 : radio.id;
    }
    return checked;
  }
};

TEST_F(Priorities, EveryClassRadioAsksAndSendsOnYesOnly) {
  for (uint32_t processors : {2u, 24u}) {
    SCOPED_TRACE(processors);
    ScriptedRecord record = ScriptedProcess(u"app.exe", 0x60, 0x3, 2);
    record.priorityClass = 32;
    TestPacket packet = BuildPacket(processors, {record});
    CTesmarGuiDlg& dialog = Open(packet);
    for (const ClassRadio& radio : kClassRadios) {
      SCOPED_TRACE(radio.priorityClass);
      // No: nothing sent, the process's own class shown again.
      boxes_.clear();
      boxes_.Answer(IDNO);
      Click(Item(radio.id));
      ASSERT_EQ(boxes_.calls().size(), 1u);
      EXPECT_EQ(boxes_.calls()[0].text,
                "Are you sure you want to change the Priority Class\nFor the Process "
                "\"app.exe (0x60)\"?");
      EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar");
      EXPECT_EQ(boxes_.calls()[0].flags, MB_YESNO | MB_ICONQUESTION);
      EXPECT_EQ(boxes_.calls()[0].owner, nullptr);
      EXPECT_TRUE(Updates().empty());
      EXPECT_EQ(CheckedClassRadio(), IDC_CLASS_NORMAL);
    }
    size_t sent = 0;
    for (const ClassRadio& radio : kClassRadios) {
      SCOPED_TRACE(radio.priorityClass);
      // Yes: one request with the class, one refresh, and the class the service then reports.
      TestPacket reported = packet;
      reported.Record(0).PriorityClass = radio.priorityClass;
      service_->Answer(reported);
      DWORD refreshes = service_->RefreshesSeen();
      boxes_.Answer(IDYES);
      Click(Item(radio.id));
      std::vector<TestPacket> updates = Updates();
      ASSERT_EQ(updates.size(), ++sent);
      TestPacket expected = sent == 1 ? packet : updates[sent - 2];
      expected.Record(0).PriorityClass = radio.priorityClass;
      EXPECT_EQ(updates.back(), expected);
      EXPECT_EQ(service_->RefreshesSeen(), refreshes + 1);
      EXPECT_EQ(CheckedClassRadio(), radio.id);
      EXPECT_EQ(dialog.processList().GetCurSel(), 0);
    }
    SaveShot(dialog, QStringLiteral("priority-class-idle-%1-processors").arg(processors));

    // Real Time that the service could not give: the class it reports is shown.
    TestPacket refused = packet;
    refused.Record(0).PriorityClass = 128;
    service_->Answer(refused);
    boxes_.Answer(IDYES);
    Click(Item(IDC_CLASS_REAL_TIME));
    EXPECT_EQ(Updates().back().Record(0).PriorityClass, 256u);
    EXPECT_EQ(CheckedClassRadio(), IDC_CLASS_VERY_HIGH);
    TearDown();
  }
}

TEST_F(Priorities, EveryThreadRadioSendsForAllSelectedThreadsInOneRequest) {
  for (uint32_t processors : {2u, 24u}) {
    SCOPED_TRACE(processors);
    ScriptedRecord record = ScriptedProcess(u"app.exe", 0x61, 0x3, 5);
    // -2 and 15 have no radio: they show Normal.
    record.threadPriority = {-2, 15, 0, 1, 0};
    TestPacket packet = BuildPacket(processors, {record});
    CTesmarGuiDlg& dialog = Open(packet);
    ClickEntry(&dialog.threadList(), 0);
    EXPECT_TRUE(Checked(IDC_THREAD_NORMAL));
    ClickEntry(&dialog.threadList(), 1, Qt::ControlModifier);
    EXPECT_TRUE(Checked(IDC_THREAD_NORMAL));
    ClickEntry(&dialog.threadList(), 3, Qt::ControlModifier);
    EXPECT_TRUE(Checked(IDC_THREAD_ABOVE_NORMAL));
    TestPacket expected = packet;
    size_t sent = 0;
    for (const ThreadRadio& radio : kThreadRadios) {
      SCOPED_TRACE(radio.priority);
      TestPacket reported = packet;
      for (int t : {0, 1, 3}) reported.Record(0).ThreadPriority[t] = radio.priority;
      service_->Answer(reported);
      DWORD refreshes = service_->RefreshesSeen();
      Click(Item(radio.id));
      std::vector<TestPacket> updates = Updates();
      ASSERT_EQ(updates.size(), ++sent);
      // Sent from the copy the last refresh gave: the three threads, nothing else.
      for (int t : {0, 1, 3}) expected.Record(0).ThreadPriority[t] = radio.priority;
      EXPECT_EQ(updates.back(), expected);
      EXPECT_EQ(service_->RefreshesSeen(), refreshes + 1);
      // The thread at the focus frame shows what the service reports; the selection stays.
      for (const ThreadRadio& other : kThreadRadios) {
        EXPECT_EQ(Checked(other.id), other.id == radio.id) << other.id;
      }
      EXPECT_EQ(dialog.threadList().GetSelItems(), (std::vector<int>{0, 1, 3}));
      EXPECT_EQ(dialog.ThreadIndex, 3);
      expected = reported;
    }
    SaveShot(dialog, QStringLiteral("priority-thread-idle-%1-processors").arg(processors));
    EXPECT_TRUE(boxes_.calls().empty());
    TearDown();
  }
}

TEST_F(Priorities, RadiosOfEmptyListsSendNothing) {
  ScriptedRecord unwatched = ScriptedProcess(u"quiet.exe", 0x62, 0x3, 1);
  unwatched.watched = 0;
  Open(BuildPacket(2, {unwatched, ScriptedProcess(u"z.exe", 0x63, 0x3, 0)}));
  // z.exe is listed and has no threads; a thread radio clicked is left unchecked.
  Click(Item(IDC_THREAD_HIGHEST));
  EXPECT_FALSE(Checked(IDC_THREAD_HIGHEST));
  EXPECT_TRUE(Updates().empty());
  TearDown();
  // No process listed: the class radio the click checked is unchecked again.
  Open(BuildPacket(2, {unwatched}));
  Click(Item(IDC_CLASS_REAL_TIME));
  EXPECT_FALSE(Checked(IDC_CLASS_REAL_TIME));
  EXPECT_TRUE(Updates().empty());
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(Priorities, AThreadRadioWithNoThreadSelectedSendsTheCopyUnchanged) {
  TestPacket packet = BuildPacket(2, {ScriptedProcess(u"app.exe", 0x65, 0x3, 3)});
  CTesmarGuiDlg& dialog = Open(packet);
  // After a fill the thread list has entries and none selected.
  ASSERT_EQ(dialog.threadList().GetCount(), 3);
  ASSERT_TRUE(dialog.threadList().GetSelItems().empty());
  DWORD refreshes = service_->RefreshesSeen();
  Click(Item(IDC_THREAD_IDLE));
  ASSERT_EQ(Updates().size(), 1u);
  EXPECT_EQ(Updates()[0], packet);
  EXPECT_EQ(service_->RefreshesSeen(), refreshes + 1);
}

// A process starts between the fill the operator looked at and the refresh after a change: the
// records move in the new copy, and the next change still goes to the process the operator chose.
TEST_F(Priorities, ChangesFollowTheChosenProcessWhenTheRecordsMove) {
  ScriptedRecord b = ScriptedProcess(u"b.exe", 0x20, 0x3, 2);
  ScriptedRecord c = ScriptedProcess(u"c.exe", 0x30, 0x3, 2);
  TestPacket before = BuildPacket(2, {b, c});
  CTesmarGuiDlg& dialog = Open(before);
  ClickEntry(&dialog.processList(), 1);
  ASSERT_EQ(dialog.ProcessIndex, 1u);
  ClickEntry(&dialog.threadList(), 0);

  // a.exe starts: the service's next packet has it first, and c.exe's thread 0 as asked.
  ScriptedRecord a = ScriptedProcess(u"a.exe", 0x10, 0x3, 2);
  ScriptedRecord cHighest = c;
  cHighest.threadPriority = {2};
  TestPacket after = BuildPacket(2, {a, b, cHighest});
  service_->Answer(after);
  Click(Item(IDC_THREAD_HIGHEST));
  ASSERT_EQ(Updates().size(), 1u);
  EXPECT_EQ(Updates()[0].RecordOf(0x30).ThreadPriority[0], 2);
  EXPECT_EQ(Updates()[0].RecordOf(0x20).ThreadPriority[0], 0);
  // c.exe is still the one shown, now at index 2 of the new copy.
  EXPECT_EQ(dialog.ProcessIndex, 2u);
  EXPECT_EQ(dialog.processList().GetText(dialog.processList().GetCurSel()), "c.exe (0x30)\t11");
  EXPECT_TRUE(Checked(IDC_THREAD_HIGHEST));
  SaveShot(dialog, "priority-after-records-moved-2-processors");

  // The class goes to c.exe too, and c.exe's class is what is shown afterwards.
  ScriptedRecord cHigh = cHighest;
  cHigh.priorityClass = 128;
  service_->Answer(BuildPacket(2, {a, b, cHigh}));
  boxes_.Answer(IDYES);
  Click(Item(IDC_CLASS_VERY_HIGH));
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(
      boxes_.calls()[0].text,
      "Are you sure you want to change the Priority Class\nFor the Process \"c.exe (0x30)\"?");
  ASSERT_EQ(Updates().size(), 2u);
  EXPECT_EQ(Updates()[1].RecordOf(0x30).PriorityClass, 128u);
  EXPECT_EQ(Updates()[1].RecordOf(0x20).PriorityClass, 32u);
  EXPECT_EQ(Updates()[1].RecordOf(0x10).PriorityClass, 32u);
  EXPECT_TRUE(Checked(IDC_CLASS_VERY_HIGH));

  // The process ends: the next change's refresh no longer has it, and the list starts over at
  // its first entry.
  service_->Answer(BuildPacket(2, {a, b}));
  Click(Item(IDC_THREAD_IDLE));
  EXPECT_EQ(dialog.processList().GetCount(), 2);
  EXPECT_EQ(dialog.ProcessIndex, 0u);
  EXPECT_EQ(boxes_.calls().size(), 1u);
}

TEST_F(Priorities, AFailedClassChangeShowsTheErrorAndEndsTheDialog) {
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(u"app.exe", 0x64, 0x3, 1)}));
  TesmarDisconnect(session_);
  boxes_.Answer(IDYES);
  int result = ExecWith(dialog, [&] { Click(Item(IDC_CLASS_IDLE)); });
  EXPECT_EQ(result, 0);
  ASSERT_EQ(boxes_.calls().size(), 2u);
  EXPECT_EQ(boxes_.calls()[1].text, SystemMessageText(1));
  EXPECT_EQ(boxes_.calls()[1].caption, "TesmarGui");
  EXPECT_TRUE(Updates().empty());
}

using PrioritiesDemo = DemoMainDialogTest;

TEST_F(PrioritiesDemo, ChangesGoStraightIntoTheSharedDemoPacket) {
  TesmarRecord* record = TesmarGetProcObject(session_, 5);
  TesmarSetWatchList(record, 1);
  DWORD oldClass = TesmarGetProcPrior(record);
  ASSERT_TRUE(OpenDialog(2));
  CTesmarGuiDlg& dialog = *dialog_;
  EXPECT_FALSE(dialog.controls().Item(IDC_DISABLE_BOOST)->isEnabled());
  Click(dialog.controls().Item(IDC_CLASS_VERY_HIGH));
  EXPECT_EQ(TesmarGetProcPrior(record), 128u);
  EXPECT_TRUE(dialog.controls().IsChecked(IDC_CLASS_VERY_HIGH));
  ClickEntry(&dialog.threadList(), 2);
  Click(dialog.controls().Item(IDC_THREAD_BELOW_NORMAL));
  EXPECT_EQ(TesmarGetThreadPrior(record, 2), -1);
  EXPECT_EQ(TesmarGetThreadPrior(record, 1), 0);
  EXPECT_TRUE(dialog.controls().IsChecked(IDC_THREAD_BELOW_NORMAL));
  SaveShot(dialog, "priority-demo-after");
  dialog_.reset();
  TesmarSetProcPrior(record, oldClass);
  TesmarSetThreadPrior(record, 2, 0);
  TesmarSetWatchList(record, 0);
  CloseDialog();
  EXPECT_EQ(boxes_.calls().size(), 1u);  // the class question
}

}  // namespace
