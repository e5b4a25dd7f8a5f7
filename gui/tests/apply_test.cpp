// Apply in the main dialog: mask edits of the process and of selected threads, the round-robin
// steps and the boost step, read from the UpdateLists the scripted service took (byte for byte
// against the packet it served), and the demo backend's shared packet.
#include <gtest/gtest.h>

#include <QAbstractButton>

#include "MyList.h"
#include "dialog_driver.h"
#include "main_dialog_fixture.h"
#include "main_dialog_ids.h"
#include "mask_text.h"
#include "scripted_main_dialog.h"
#include "system_text.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::ScriptedRecord;
using tesmar::testing::TestPacket;

constexpr char kIgnored[] = "Affinity changes ignored unless you click on Apply\n";

class Apply : public ScriptedMainDialogTest {
 protected:
  QWidget* Box(int processor) { return Item(IDC_PROCESSOR_FIRST + processor); }
  void ClickApply() { Click(Item(IDC_APPLY)); }
};

// Round-robin over the process mask: one processor a thread for Hard, its number as the ideal
// processor for Preferred, and after the last processor of the mask the first again.
TEST_F(Apply, RoundRobinStepsSpreadTheThreadsOverTheProcessMask) {
  struct Case {
    uint32_t processors;
    uint32_t mask;
    std::vector<uint32_t> masks;
    std::vector<uint32_t> ideal;
  };
  const Case cases[] = {
      {2, 0x3, {0x1, 0x2, 0x1}, {0, 1, 0}},
      {4, 0x0F, {0x1, 0x2, 0x4, 0x8, 0x1, 0x2}, {0, 1, 2, 3, 0, 1}},
      {4, 0x0A, {0x2, 0x8, 0x2}, {1, 3, 1}},
      {16, 0x8001, {0x1, 0x8000, 0x1, 0x8000}, {0, 15, 0, 15}},
      {24, 0x00A00001, {0x1, 0x200000, 0x800000, 0x1}, {0, 21, 23, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.processors);
    SCOPED_TRACE(c.mask);
    TestPacket packet = BuildPacket(
        c.processors, {ScriptedProcess(u"rr.exe", 0x40, c.mask, int32_t(c.masks.size()))});
    CTesmarGuiDlg& dialog = Open(packet);
    ASSERT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));
    ASSERT_FALSE(Checked(IDC_ROUND_ROBIN_PREFERRED));
    Click(Item(IDC_ROUND_ROBIN_HARD));
    Click(Item(IDC_ROUND_ROBIN_PREFERRED));
    if (c.processors == 2 || c.processors == 24) {
      SaveShot(dialog, QStringLiteral("apply-round-robin-pending-%1-processors").arg(c.processors));
    }
    DWORD refreshes = service_->RefreshesSeen();
    ClickApply();
    // Hard, then Preferred over what Hard left in the copy, then one fill.
    std::vector<TestPacket> updates = Updates();
    ASSERT_EQ(updates.size(), 2u);
    TestPacket expected = packet;
    for (size_t t = 0; t < c.masks.size(); ++t) expected.Record(0).ThreadAffinity[t] = c.masks[t];
    EXPECT_EQ(updates[0], expected);
    for (size_t t = 0; t < c.ideal.size(); ++t) {
      expected.Record(0).ThreadIdealProcessor[t] = c.ideal[t];
    }
    EXPECT_EQ(updates[1], expected);
    EXPECT_EQ(service_->RefreshesSeen(), refreshes + 1);
    EXPECT_EQ(dialog.RoundRobinHardPending, 0);
    EXPECT_EQ(dialog.RoundRobinPreferredPending, 0);
    EXPECT_TRUE(boxes_.calls().empty());
    TearDown();
  }
}

TEST_F(Apply, RoundRobinOffGivesEveryThreadTheProcessMaskAndNoPreferredProcessor) {
  ScriptedRecord record = ScriptedProcess(u"spread.exe", 0x41, 0x0F, 4);
  record.threadAffinity = {0x1, 0x2, 0x4, 0x8};
  record.prevIdealProcessor = {0, 1, 2, 3};
  TestPacket packet = BuildPacket(4, {record, ScriptedProcess(u"zero.exe", 0x42, 0x3, 0)});
  CTesmarGuiDlg& dialog = Open(packet);
  ASSERT_TRUE(Checked(IDC_ROUND_ROBIN_HARD));
  ASSERT_TRUE(Checked(IDC_ROUND_ROBIN_PREFERRED));
  Click(Item(IDC_ROUND_ROBIN_HARD));
  Click(Item(IDC_ROUND_ROBIN_PREFERRED));
  ClickApply();
  std::vector<TestPacket> updates = Updates();
  ASSERT_EQ(updates.size(), 2u);
  TestPacket expected = packet;
  for (size_t t = 0; t < 4; ++t) expected.Record(0).ThreadAffinity[t] = 0x0F;
  EXPECT_EQ(updates[0], expected);
  // No preferred processor is asked for as the processor count, one past the highest.
  for (size_t t = 0; t < 4; ++t) expected.Record(0).ThreadIdealProcessor[t] = 4;
  EXPECT_EQ(updates[1], expected);

  // A process without threads: nothing to write, yet the request goes out.
  ClickEntry(&dialog.processList(), 1);
  Click(Item(IDC_ROUND_ROBIN_HARD));
  ClickApply();
  updates = Updates();
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[2], packet);
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(Apply, RoundRobinIsRefusedOnOneProcessorAndForAnEmptyMask) {
  CTesmarGuiDlg& dialog = Open(BuildPacket(1, {ScriptedProcess(u"one.exe", 0x43, 0x1, 3)}));
  Click(Item(IDC_ROUND_ROBIN_HARD));
  Click(Item(IDC_ROUND_ROBIN_PREFERRED));
  ClickApply();
  EXPECT_TRUE(Updates().empty());
  ASSERT_EQ(boxes_.calls().size(), 2u);
  for (const MessageBoxCall& call : boxes_.calls()) {
    EXPECT_EQ(call.text, "There is only one processor active in the system ");
    EXPECT_EQ(call.caption, "Tesmar");
    EXPECT_EQ(call.flags, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(call.owner, nullptr);
  }
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_PREFERRED));
  EXPECT_EQ(dialog.RoundRobinHardPending + dialog.RoundRobinPreferredPending, 0);
  TearDown();

  // An empty process mask has no processor to hand out: refused before any walk.
  Open(BuildPacket(2, {ScriptedProcess(u"empty.exe", 0x44, 0x0, 3)}));
  Click(Item(IDC_ROUND_ROBIN_HARD));
  Click(Item(IDC_ROUND_ROBIN_PREFERRED));
  ClickApply();
  EXPECT_TRUE(Updates().empty());
  EXPECT_EQ(boxes_.texts(),
            (std::vector<QString>{"Affinity cannot be Zero.", "Affinity cannot be Zero."}));
  EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar - Online Help");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(Apply, AProcessMaskGoesToTheProcessAndEveryThreadWhenItChanged) {
  for (uint32_t processors : {2u, 24u}) {
    SCOPED_TRACE(processors);
    uint32_t mask = processors == 2 ? 0x3 : 0x00FF00FF;
    ScriptedRecord record = ScriptedProcess(u"app.exe", 0x50, mask, 3);
    record.threadAffinity = {mask, 0x1, mask};
    TestPacket packet = BuildPacket(processors, {record});
    CTesmarGuiDlg& dialog = Open(packet);

    // The same mask clicked off and on again: nothing is sent, the thread masks stay.
    Click(Box(1));
    Click(Box(1));
    EXPECT_EQ(dialog.AffinityEdited, 1);
    ClickApply();
    EXPECT_TRUE(Updates().empty());
    EXPECT_EQ(dialog.AffinityEdited, 0);

    // Processor 1 taken away: the process and all three threads get the mask, in one request;
    // processors without a box keep their bits.
    Click(Box(1));
    SaveShot(dialog, QStringLiteral("apply-process-edit-%1-processors").arg(processors));
    ClickApply();
    SaveShot(dialog, QStringLiteral("apply-after-process-edit-%1-processors").arg(processors));
    std::vector<TestPacket> updates = Updates();
    ASSERT_EQ(updates.size(), 1u);
    TestPacket expected = packet;
    uint32_t edited = mask & ~0x2u;
    expected.Record(0).ProcAffinity = edited;
    for (size_t t = 0; t < 3; ++t) expected.Record(0).ThreadAffinity[t] = edited;
    EXPECT_EQ(updates[0], expected);
    EXPECT_TRUE(boxes_.calls().empty());
    TearDown();
  }
}

TEST_F(Apply, AThreadMaskGoesToTheSelectedThreadsAlone) {
  for (uint32_t processors : {2u, 24u}) {
    SCOPED_TRACE(processors);
    ScriptedRecord record = ScriptedProcess(u"app.exe", 0x51, 0x3, 5);
    record.threadAffinity = {0x3, 0x1, 0x3, 0x2, 0x1};
    TestPacket packet = BuildPacket(processors, {record});
    CTesmarGuiDlg& dialog = Open(packet);
    ClickEntry(&dialog.threadList(), 0);
    ClickEntry(&dialog.threadList(), 2, Qt::ControlModifier);
    ClickEntry(&dialog.threadList(), 4, Qt::ControlModifier);
    // The boxes show thread 4 (mask 0x1); P1 added makes 0x3 for all three selected.
    Click(Box(1));
    SaveShot(dialog, QStringLiteral("apply-thread-edit-%1-processors").arg(processors));
    ClickApply();
    std::vector<TestPacket> updates = Updates();
    ASSERT_EQ(updates.size(), 1u);
    TestPacket expected = packet;
    expected.Record(0).ThreadAffinity[4] = 0x3;
    EXPECT_EQ(updates[0], expected);

    // Selected threads that already have the mask: the request is still sent, unchanged.
    ClickEntry(&dialog.threadList(), 0);
    ClickEntry(&dialog.threadList(), 2, Qt::ControlModifier);
    Click(Box(0));
    Click(Box(0));
    ClickApply();
    updates = Updates();
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_EQ(updates[1], packet);
    EXPECT_TRUE(boxes_.calls().empty());
    TearDown();
  }
}

TEST_F(Apply, AZeroMaskIsRefusedAndThenDroppedByTheFill) {
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(u"app.exe", 0x52, 0x1, 2)}));
  Click(Box(0));
  EXPECT_EQ(dialog.WorkingMask, 0u);
  ClickApply();
  EXPECT_TRUE(Updates().empty());
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{"Affinity cannot be Zero.", kIgnored}));
  EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar - Online Help");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes_.calls()[0].owner, &dialog);
  EXPECT_EQ(dialog.AffinityEdited, 0);
  EXPECT_TRUE(Checked(IDC_PROCESSOR_FIRST));
}

// Three pending steps: three requests in the order affinity, round-robin hard, boost, each over
// what the earlier ones left in the copy, then one fill.
TEST_F(Apply, PendingStepsGoOutInTheirOrderEachInARequestOfItsOwn) {
  for (uint32_t processors : {2u, 24u}) {
    SCOPED_TRACE(processors);
    uint32_t mask = processors == 2 ? 0x3 : 0x7;
    TestPacket packet = BuildPacket(processors, {ScriptedProcess(u"app.exe", 0x53, mask, 3)});
    CTesmarGuiDlg& dialog = Open(packet);
    Click(Item(IDC_ROUND_ROBIN_HARD));
    Click(Item(IDC_DISABLE_BOOST));
    Click(Box(1));
    DWORD refreshes = service_->RefreshesSeen();
    ClickApply();
    std::vector<TestPacket> updates = Updates();
    ASSERT_EQ(updates.size(), 3u);
    uint32_t edited = mask & ~0x2u;
    TestPacket expected = packet;
    expected.Record(0).ProcAffinity = edited;
    for (size_t t = 0; t < 3; ++t) expected.Record(0).ThreadAffinity[t] = edited;
    EXPECT_EQ(updates[0], expected);
    RoundRobinSequence sequence(edited);
    for (size_t t = 0; t < 3; ++t) {
      expected.Record(0).ThreadAffinity[t] = ProcessorBit(sequence.Next());
    }
    EXPECT_EQ(updates[1], expected);
    expected.Record(0).BoostDisabled = 1;
    EXPECT_EQ(updates[2], expected);
    EXPECT_EQ(service_->RefreshesSeen(), refreshes + 1);
    EXPECT_EQ(dialog.BoostPending, 0);
    EXPECT_TRUE(boxes_.calls().empty());
    TearDown();
  }
}

TEST_F(Apply, BoostSendsTheStateShownAtApply) {
  ScriptedRecord boosted = ScriptedProcess(u"a.exe", 0x54, 0x3, 1);
  TestPacket packet = BuildPacket(2, {boosted});
  CTesmarGuiDlg& dialog = Open(packet);
  // Checked, then unchecked: Apply gives the boost back.
  Click(Item(IDC_DISABLE_BOOST));
  Click(Item(IDC_DISABLE_BOOST));
  ClickApply();
  ASSERT_EQ(Updates().size(), 1u);
  EXPECT_EQ(Updates()[0], packet);

  // Checked, and the lists reloaded before Apply: the record's own state is shown again, the
  // change stays pending for the same process, and Apply sends what is shown then.
  Click(Item(IDC_DISABLE_BOOST));
  dialog.OnRefresh();
  EXPECT_FALSE(Checked(IDC_DISABLE_BOOST));
  EXPECT_EQ(dialog.BoostPending, 1);
  Click(Item(IDC_DISABLE_BOOST));
  ClickApply();
  ASSERT_EQ(Updates().size(), 2u);
  TestPacket expected = packet;
  expected.Record(0).BoostDisabled = 1;
  EXPECT_EQ(Updates()[1], expected);
  EXPECT_TRUE(boxes_.calls().empty());
}

// A pending round-robin or boost change was made for the process then shown; showing another
// drops it with the message, so that Apply never sends it for a process nobody chose.
TEST_F(Apply, PendingChangesAreDroppedWhenAnotherProcessIsShown) {
  TestPacket packet = BuildPacket(
      2, {ScriptedProcess(u"a.exe", 0x55, 0x3, 2), ScriptedProcess(u"b.exe", 0x56, 0x3, 2)});
  CTesmarGuiDlg& dialog = Open(packet);
  Click(Item(IDC_ROUND_ROBIN_HARD));
  Click(Item(IDC_DISABLE_BOOST));
  Click(Box(0));
  // Threads of the same process: the mask edit goes, the pending process changes stay.
  ClickEntry(&dialog.threadList(), 1);
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{kIgnored}));
  EXPECT_EQ(dialog.RoundRobinHardPending, 1);
  EXPECT_EQ(dialog.BoostPending, 1);
  // Another process: everything pending goes, with one message.
  ClickEntry(&dialog.processList(), 1);
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{kIgnored, kIgnored}));
  EXPECT_EQ(dialog.RoundRobinHardPending + dialog.BoostPending, 0);
  ClickApply();
  EXPECT_TRUE(Updates().empty());
  EXPECT_EQ(boxes_.calls().size(), 2u);
}

TEST_F(Apply, AFailedRequestEndsTheDialogAndNothingMoreIsSent) {
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(u"app.exe", 0x57, 0x3, 2)}));
  Click(Item(IDC_ROUND_ROBIN_HARD));
  Click(Item(IDC_DISABLE_BOOST));
  Click(Box(1));
  // The session loses its Data key: every request now fails with 1.
  TesmarDisconnect(session_);
  DWORD refreshes = service_->RefreshesSeen();
  int result = ExecWith(dialog, [&] { ClickApply(); });
  EXPECT_EQ(result, 0);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, SystemMessageText(1));
  EXPECT_EQ(boxes_.calls()[0].caption, "TesmarGui");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK);
  EXPECT_EQ(dialog.UpdateFailed, 1);
  // The later steps were not tried and no fill ran.
  EXPECT_EQ(dialog.RoundRobinHardPending, 1);
  EXPECT_EQ(dialog.BoostPending, 1);
  EXPECT_EQ(service_->RefreshesSeen(), refreshes);
  EXPECT_TRUE(Updates().empty());
}

using ApplyDemo = DemoMainDialogTest;

TEST_F(ApplyDemo, EditsChangeTheSharedDemoPacket) {
  TesmarRecord* record = TesmarGetProcObject(session_, 5);  // six threads
  TesmarSetWatchList(record, 1);
  ASSERT_TRUE(OpenDialog(2));
  CTesmarGuiDlg& dialog = *dialog_;
  for (int p = 4; p < kProcessorBoxes; ++p) {
    Click(dialog.controls().Item(IDC_PROCESSOR_FIRST + p));
  }
  Click(dialog.controls().Item(IDC_ROUND_ROBIN_HARD));
  Click(dialog.controls().Item(IDC_APPLY));
  SaveShot(dialog, "apply-demo-after");
  EXPECT_EQ(TesmarGetProcAffin(record), 0x0Fu);
  const DWORD spread[] = {0x1, 0x2, 0x4, 0x8, 0x1, 0x2};
  for (DWORD t = 0; t < 6; ++t) EXPECT_EQ(TesmarGetThreadAffin(record, t), spread[t]) << t;
  EXPECT_TRUE(dialog.controls().IsChecked(IDC_ROUND_ROBIN_HARD));
  EXPECT_EQ(dialog.threadList().GetText(5), "Thread 5\t0100  0000  0000  0000");
  dialog_.reset();
  // The demo packet is shared: put it back for the other tests of this process.
  TesmarSetWatchList(record, 0);
  TesmarSetProcAffin(record, 0xFFFF);
  for (DWORD t = 0; t < 6; ++t) TesmarSetThreadAffin(record, t, 0xFFFF);
  CloseDialog();
  EXPECT_TRUE(boxes_.calls().empty());
}

}  // namespace
