// The main dialog in Local mode against a scripted Data key: packets no machine here gives (one,
// sixteen and twenty-four processors, a thread count of -1, odd classes, an empty mask, an empty
// list), served by a stand-in service under the real service manager.
#include <gtest/gtest.h>

#include <QSysInfo>

#include "MyList.h"
#include "dialog_driver.h"
#include "main_dialog_ids.h"
#include "scripted_main_dialog.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::ScriptedRecord;
using tesmar::testing::ScriptedService;
using tesmar::testing::TestPacket;

class ScriptedMainDialog : public ScriptedMainDialogTest {
 protected:
  // Serves the packet, connects a live session to it and opens the dialog in Local mode.
  CTesmarGuiDlg& Open(const TestPacket& packet, const char* shot = nullptr) {
    CTesmarGuiDlg& dialog = ScriptedMainDialogTest::Open(packet);
    if (shot) SaveShot(dialog, shot);
    return dialog;
  }
  QString Text(int id) { return controls().Text(id); }
  int EnabledBoxes() {
    int enabled = 0;
    for (int p = 0; p < kProcessorBoxes; ++p) enabled += Enabled(IDC_PROCESSOR_FIRST + p);
    return enabled;
  }
};

TEST_F(ScriptedMainDialog, LocalTitleNamesThisHostAndAllCommandsOfAServiceAreOffered) {
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(u"app.exe", 0x4c, 0x3, 2)}));
  EXPECT_EQ(dialog.windowTitle(), "Kaltrix Tesmar - " + QSysInfo::machineHostName());
  for (int id : {IDC_EDIT, IDC_REFRESH, IDC_END_PROCESS, IDC_ROUND_ROBIN_HARD,
                 IDC_ROUND_ROBIN_PREFERRED, IDC_DISABLE_BOOST, IDC_APPLY, IDC_SELECT_COMPUTER}) {
    EXPECT_TRUE(Enabled(id)) << id;
  }
  EXPECT_GE(service_->RefreshesSeen(), 2u);  // the initialisation refreshes twice
}

TEST_F(ScriptedMainDialog, ShowsAsManyBoxesAsProcessorsUpToSixteen) {
  struct Machine {
    uint32_t processors;
    uint32_t mask;
    const char* shot;
    const char* processText;
    int boxes;
    const char* heading;
  };
  const Machine machines[] = {
      {1, 0x1, "main-local-1-processor", "one.exe (0x1)\t1", 1, "Affinity (P0 - P15)"},
      {2, 0x2, "main-local-2-processors", "one.exe (0x1)\t01", 2, "Affinity (P0 - P15)"},
      {16, 0x80FF, "main-local-16-processors", "one.exe (0x1)\t1111  1111  0000  0001", 16,
       "Affinity (P0 - P15)"},
      {24, 0x00A0F00F, "main-local-24-processors",
       "one.exe (0x1)\t1111  0000  0000  1111  0000  0101", 16, "Affinity (P0 - P23)"},
  };
  for (const Machine& machine : machines) {
    SCOPED_TRACE(machine.shot);
    ScriptedRecord record = ScriptedProcess(u"one.exe", 1, machine.mask, 3);
    record.threadAffinity = {machine.mask, machine.mask & 0x1, machine.mask};
    CTesmarGuiDlg& dialog = Open(BuildPacket(machine.processors, {record}), machine.shot);
    EXPECT_EQ(dialog.CpuCount, machine.processors);
    EXPECT_EQ(dialog.processList().GetText(0), machine.processText);
    EXPECT_EQ(EnabledBoxes(), machine.boxes);
    EXPECT_EQ(Text(IDC_PROCESS_AFFINITY_HEADING), machine.heading);
    EXPECT_EQ(Text(IDC_STATIC), machine.heading);
    for (int p = 0; p < kProcessorBoxes; ++p) {
      EXPECT_EQ(Checked(IDC_PROCESSOR_FIRST + p), (machine.mask >> p & 1) != 0) << p;
    }
    // The mask held for an edit keeps the processors that have no box.
    EXPECT_EQ(dialog.WorkingMask, machine.mask);
    ClickEntry(&dialog.threadList(), 2);
    EXPECT_EQ(dialog.WorkingMask, machine.mask);
    // In the thread view only the process's processors can be chosen.
    int processBoxes = 0;
    for (int p = 0; p < machine.boxes; ++p) processBoxes += (machine.mask >> p) & 1;
    EXPECT_EQ(EnabledBoxes(), processBoxes);
    TearDown();
  }
}

TEST_F(ScriptedMainDialog, AProcessWithTooManyThreadsShowsNoneAndOffersNoThreadControls) {
  ScriptedRecord many = ScriptedProcess(u"many.exe", 0x30, 0x3, -1);
  ScriptedRecord few = ScriptedProcess(u"few.exe", 0x20, 0x3, 2);
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {many, few}));
  // few.exe sorts first; the thread controls are there for it.
  EXPECT_EQ(dialog.threadList().GetCount(), 2);
  EXPECT_TRUE(dialog.threadList().isEnabled());
  ClickEntry(&dialog.processList(), 1);
  SaveShot(dialog, "main-local-thread-count-minus-1");
  EXPECT_EQ(dialog.threadList().GetCount(), 0);
  EXPECT_FALSE(dialog.threadList().isEnabled());
  for (int id : {IDC_THREAD_HIGHEST, IDC_THREAD_NORMAL, IDC_THREAD_IDLE, IDC_ROUND_ROBIN_HARD,
                 IDC_ROUND_ROBIN_PREFERRED}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  EXPECT_EQ(Text(IDC_THREADS_LABEL), "&Threads:");
  EXPECT_EQ(Text(IDC_THREAD_COUNT), ">256");
  EXPECT_EQ(EnabledBoxes(), 2);  // the process's own mask can still be chosen
  ClickEntry(&dialog.processList(), 0);
  EXPECT_TRUE(dialog.threadList().isEnabled());
  EXPECT_TRUE(Enabled(IDC_THREAD_NORMAL));
  EXPECT_EQ(Text(IDC_THREAD_COUNT), "2");
}

TEST_F(ScriptedMainDialog, ClassRadiosShowClassesAndBasePriorities) {
  struct Case {
    uint32_t stored;
    uint32_t processId;
    int radio;  // 0: none
  };
  const Case cases[] = {{8, 9, IDC_CLASS_NORMAL},      {11, 9, IDC_CLASS_VERY_HIGH},
                        {13, 9, IDC_CLASS_VERY_HIGH},  {24, 9, 0},
                        {256, 9, IDC_CLASS_REAL_TIME}, {4, 9, IDC_CLASS_IDLE},
                        {0, 0, IDC_CLASS_IDLE},        {0, 9, 0}};
  std::vector<ScriptedRecord> records;
  for (const Case& c : cases) {
    ScriptedRecord record = ScriptedProcess(
        u"c" + std::u16string(1, char16_t(u'a' + records.size())), c.processId, 0x3, 1);
    record.priorityClass = c.stored;
    record.threadPriority = {static_cast<int32_t>(records.size()) - 2};
    records.push_back(record);
  }
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, records));
  const int classRadios[] = {IDC_CLASS_REAL_TIME, IDC_CLASS_VERY_HIGH, IDC_CLASS_NORMAL,
                             IDC_CLASS_IDLE};
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    SCOPED_TRACE(i);
    ClickEntry(&dialog.processList(), i);
    for (int radio : classRadios) EXPECT_EQ(Checked(radio), radio == cases[i].radio) << radio;
    if (cases[i].stored == 24) SaveShot(dialog, "main-local-class-24");
  }
  // Thread priorities -2 .. 5 of the records: -2 and values without a button show Normal.
  const int threadRadios[] = {IDC_THREAD_NORMAL,       IDC_THREAD_BELOW_NORMAL, IDC_THREAD_NORMAL,
                              IDC_THREAD_ABOVE_NORMAL, IDC_THREAD_HIGHEST,      IDC_THREAD_NORMAL};
  for (int i = 0; i < 6; ++i) {
    ClickEntry(&dialog.processList(), i);
    ClickEntry(&dialog.threadList(), 0);
    EXPECT_TRUE(Checked(threadRadios[i])) << i;
  }
  // The class display clears the thread radios.
  ClickEntry(&dialog.processList(), 0);
  for (int id = IDC_THREAD_HIGHEST; id <= IDC_THREAD_IDLE; ++id) EXPECT_FALSE(Checked(id));
}

TEST_F(ScriptedMainDialog, RoundRobinAndBoostStateComeFromTheRecord) {
  ScriptedRecord spread = ScriptedProcess(u"spread.exe", 10, 0x3, 3);
  spread.threadAffinity = {0x1, 0x2, 0x1};
  spread.prevIdealProcessor = {0xFFFFFFFF, 1, 0xFFFFFFFF};
  spread.boostDisabled = 1;
  ScriptedRecord unpreferred = ScriptedProcess(u"unpreferred.exe", 11, 0x3, 2);
  unpreferred.prevIdealProcessor = {0, 2};  // 2 = CpuCount: no preferred processor asked for
  unpreferred.boostQueryOk = 0;
  unpreferred.boostDisabled = 1;
  ScriptedRecord idle = ScriptedProcess(u"zidle.exe", 0, 0x3, 2);
  idle.threadAffinity = {0x1, 0x2};
  ScriptedRecord empty = ScriptedProcess(u"zmask0.exe", 12, 0x0, 2);
  ScriptedRecord none = ScriptedProcess(u"znothreads.exe", 13, 0x3, 0);
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {spread, unpreferred, idle, empty, none}));
  EXPECT_TRUE(Checked(IDC_ROUND_ROBIN_HARD));
  EXPECT_TRUE(Checked(IDC_ROUND_ROBIN_PREFERRED));
  EXPECT_TRUE(Checked(IDC_DISABLE_BOOST));
  ClickEntry(&dialog.processList(), 1);
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_PREFERRED));
  EXPECT_FALSE(Checked(IDC_DISABLE_BOOST));  // the query failed: the flag means nothing
  ClickEntry(&dialog.processList(), 2);
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));  // the idle process
  ClickEntry(&dialog.processList(), 3);
  SaveShot(dialog, "main-local-mask-0");
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));
  EXPECT_EQ(dialog.processList().GetText(3), "zmask0.exe (0xc)\t00");
  ClickEntry(&dialog.processList(), 4);
  EXPECT_EQ(Text(IDC_THREAD_COUNT), "0");
  EXPECT_EQ(Text(IDC_THREADS_LABEL), "&Threads:");  // kept from the process before
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));
  // An empty thread list: a click into it changes nothing but Refresh and End Process.
  Click(dialog.threadList().viewport());
  EXPECT_FALSE(Enabled(IDC_REFRESH));
  EXPECT_FALSE(Enabled(IDC_END_PROCESS));
}

TEST_F(ScriptedMainDialog, UnwatchedEmptyAndMissingListsNeverShowEntries) {
  ScriptedRecord unwatched = ScriptedProcess(u"unwatched.exe", 5, 0x3, 1);
  unwatched.watched = 0;
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {unwatched}), "main-local-nothing-watched");
  EXPECT_EQ(dialog.processList().GetCount(), 0);
  EXPECT_TRUE(dialog.processList().isEnabled());

  // An empty list: no process at all, and the lists are disabled.
  service_->Answer(BuildPacket(2, {}));
  dialog.OnRefresh();
  SaveShot(dialog, "main-local-empty-list");
  EXPECT_EQ(dialog.processList().GetCount(), 0);
  EXPECT_FALSE(dialog.processList().isEnabled());
  EXPECT_FALSE(dialog.threadList().isEnabled());
  EXPECT_EQ(Text(IDC_AFFINITY_GROUP), "Affinity");

  // A ProcList of no bytes at all leaves the session without a copy: the same view.
  service_->Answer(TestPacket(0));
  dialog.OnRefresh();
  EXPECT_EQ(dialog.processList().GetCount(), 0);
  EXPECT_FALSE(dialog.processList().isEnabled());
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(ScriptedMainDialog, RefreshShowsTheNewPacketFromItsFirstEntry) {
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(u"b.exe", 2, 0x3, 1)}));
  DWORD before = service_->RefreshesSeen();
  service_->Answer(
      BuildPacket(2, {ScriptedProcess(u"c.exe", 3, 0x1, 1), ScriptedProcess(u"a.exe", 1, 0x2, 1)}));
  Click(controls().Item(IDC_REFRESH));
  EXPECT_EQ(service_->RefreshesSeen(), before + 1);
  ASSERT_EQ(dialog.processList().GetCount(), 2);
  EXPECT_EQ(dialog.processList().GetText(0), "a.exe (0x1)\t01");
  EXPECT_EQ(dialog.processList().GetCurSel(), 0);
  EXPECT_EQ(dialog.ProcessIndex, 1u);
}

TEST(ScriptedService, RecordsEachUpdateListAndAnswersWithTheChosenPacket) {
  TestPacket first = BuildPacket(4, {ScriptedProcess(u"first.exe", 1, 0xF, 1)});
  ScriptedService service(first);
  ASSERT_TRUE(service.WaitUntilServing());
  TesmarSession* session = TesmarOpen(0);
  ASSERT_EQ(TesmarConnect(session, nullptr), 0);
  ASSERT_EQ(TesmarRefresh(session), 0);
  EXPECT_EQ(TesmarGetProcessorCount(session), 4u);
  TesmarSetProcAffin(TesmarGetProcObject(session, 0), 0x5);
  service.Answer(BuildPacket(24, {}));
  ASSERT_EQ(TesmarUpdate(session), 0);
  ASSERT_EQ(TesmarRefresh(session), 0);
  EXPECT_EQ(TesmarGetProcessorCount(session), 24u);
  std::vector<TestPacket> updates = service.UpdatesSeen();
  ASSERT_EQ(updates.size(), 1u);
  TestPacket expected = first;
  expected.Record(0).ProcAffinity = 0x5;
  EXPECT_EQ(updates[0], expected);
  TesmarClose(session);
}

}  // namespace
