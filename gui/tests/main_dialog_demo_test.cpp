// The main dialog against the demo backend: six made-up processes on sixteen processors, some of
// them watched through the shared demo packet, as the watch-list editor would mark them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

#include "MyList.h"
#include "dialog_driver.h"
#include "main_dialog_fixture.h"
#include "main_dialog_ids.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;

constexpr char kAllSixteen[] = "1111  1111  1111  1111";

class DemoMainDialog : public DemoMainDialogTest {
 protected:
  TesmarRecord* Record(DWORD index) { return TesmarGetProcObject(session_, index); }
  void Watch(std::initializer_list<DWORD> indices) {
    for (DWORD i : indices) TesmarSetWatchList(Record(i), 1);
  }

  CTesmarGuiDlg& Open() {
    EXPECT_TRUE(OpenDialog(2));
    return *dialog_;
  }
  const DialogControls& controls() { return dialog_->controls(); }
  bool Enabled(int id) { return controls().Item(id)->isEnabled(); }
  bool Checked(int id) { return controls().IsChecked(id); }
  QString Text(int id) { return controls().Text(id); }
  QWidget* Box(int processor) { return controls().Item(IDC_PROCESSOR_FIRST + processor); }
};

TEST_F(DemoMainDialog, WithNothingWatchedShowsTheViewWithoutEntries) {
  CTesmarGuiDlg& dialog = Open();
  SaveShot(dialog, "main-demo-nothing-watched");
  EXPECT_EQ(dialog.windowTitle(), "Kaltrix Tesmar - Demo Mode");
  EXPECT_EQ(dialog.processList().GetCount(), 0);
  // Processes exist, so the lists are enabled, but none is watched.
  EXPECT_TRUE(dialog.processList().isEnabled());
  EXPECT_TRUE(dialog.threadList().isEnabled());
  for (int id : {IDC_REFRESH, IDC_END_PROCESS, IDC_DISABLE_BOOST, IDC_ROUND_ROBIN_HARD,
                 IDC_ROUND_ROBIN_PREFERRED, IDC_APPLY, IDC_SELECT_COMPUTER}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  EXPECT_EQ(Text(IDC_AFFINITY_GROUP), "Affinity");
  EXPECT_EQ(Text(IDC_THREADS_LABEL), "&Threads");
  EXPECT_EQ(Text(IDC_THREAD_COUNT), " ");
  for (int p = 0; p < kProcessorBoxes; ++p) {
    EXPECT_FALSE(Box(p)->isEnabled());
    EXPECT_FALSE(Checked(IDC_PROCESSOR_FIRST + p));
  }
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(DemoMainDialog, ListsTheWatchedProcessesSortedAndShowsTheFirst) {
  Watch({5, 0, 3});
  CTesmarGuiDlg& dialog = Open();
  SaveShot(dialog, "main-demo-process-view");
  MyList& list = dialog.processList();
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(list.GetText(0), QStringLiteral("DemoProcNbr0.exe (0xb)\t") + kAllSixteen);
  EXPECT_EQ(list.GetText(1), QStringLiteral("DemoProcNbr3.exe (0x11)\t") + kAllSixteen);
  EXPECT_EQ(list.GetText(2), QStringLiteral("DemoProcNbr5.exe (0x15)\t") + kAllSixteen);
  EXPECT_EQ(list.GetItemData(2), 5u);
  EXPECT_EQ(list.GetCurSel(), 0);
  EXPECT_EQ(dialog.ProcessIndex, 0u);
  EXPECT_TRUE(dialog.EditProcess);
  EXPECT_EQ(dialog.CpuCount, 16u);
  EXPECT_EQ(Text(IDC_AFFINITY_GROUP), "Process Affinity (Hard) for \"DemoProcNbr0.exe (0xb)\"");
  ASSERT_EQ(dialog.threadList().GetCount(), 1);
  EXPECT_EQ(dialog.threadList().GetText(0), QStringLiteral("Thread 0\t") + kAllSixteen);
  EXPECT_EQ(Text(IDC_THREADS_LABEL), "&Thread:");
  EXPECT_EQ(Text(IDC_THREAD_COUNT), "1");
  for (int p = 0; p < kProcessorBoxes; ++p) {
    EXPECT_TRUE(Box(p)->isEnabled());
    EXPECT_TRUE(Checked(IDC_PROCESSOR_FIRST + p));
  }
  // Demo mode: what needs a service stays disabled.
  for (int id : {IDC_EDIT, IDC_ROUND_ROBIN_HARD, IDC_APPLY}) EXPECT_TRUE(Enabled(id)) << id;
  for (int id : {IDC_REFRESH, IDC_END_PROCESS, IDC_ROUND_ROBIN_PREFERRED, IDC_DISABLE_BOOST,
                 IDC_SELECT_COMPUTER}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_PREFERRED));
}

TEST_F(DemoMainDialog, ClicksMoveBetweenProcessAndThreadViews) {
  Watch({0, 5});
  CTesmarGuiDlg& dialog = Open();
  ClickEntry(&dialog.processList(), 1);
  EXPECT_EQ(dialog.ProcessIndex, 5u);
  EXPECT_EQ(Text(IDC_THREADS_LABEL), "&Threads:");
  EXPECT_EQ(Text(IDC_THREAD_COUNT), "6");
  ASSERT_EQ(dialog.threadList().GetCount(), 6);
  EXPECT_EQ(dialog.threadList().GetText(5), QStringLiteral("Thread 5\t") + kAllSixteen);

  ClickEntry(&dialog.threadList(), 2);
  SaveShot(dialog, "main-demo-thread-view");
  EXPECT_FALSE(dialog.EditProcess);
  EXPECT_EQ(dialog.ThreadIndex, 2);
  EXPECT_EQ(Text(IDC_AFFINITY_GROUP),
            "Thread Affinity (Hard) for \"Thread 2\"of \"DemoProcNbr5.exe\"");
  // Unset demo priorities read as 0: the thread shows Normal.
  EXPECT_TRUE(Checked(IDC_THREAD_NORMAL));

  // Several threads selected: the boxes and the caption follow the entry last clicked.
  ClickEntry(&dialog.threadList(), 4, Qt::ControlModifier);
  EXPECT_EQ(dialog.threadList().GetSelItems(), (std::vector<int>{2, 4}));
  EXPECT_EQ(dialog.ThreadIndex, 4);

  // Back into the process list: the process view again, the selection where it was.
  ClickEntry(&dialog.processList(), 1);
  EXPECT_TRUE(dialog.EditProcess);
  EXPECT_EQ(Text(IDC_AFFINITY_GROUP), "Process Affinity (Hard) for \"DemoProcNbr5.exe (0x15)\"");

  // The labels' mnemonics move the focus too, and with it the view: the process view refilled
  // the thread list, so the focus frame starts at its first entry.
  PressKey(&dialog, Qt::Key_T, Qt::AltModifier);
  EXPECT_FALSE(dialog.EditProcess);
  EXPECT_EQ(Text(IDC_AFFINITY_GROUP),
            "Thread Affinity (Hard) for \"Thread 0\"of \"DemoProcNbr5.exe\"");
  PressKey(&dialog, Qt::Key_P, Qt::AltModifier);
  EXPECT_TRUE(dialog.EditProcess);
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(DemoMainDialog, AnUnappliedEditIsDroppedWithOneMessagePerSelection) {
  Watch({0, 5});
  CTesmarGuiDlg& dialog = Open();
  Click(Box(3));
  EXPECT_EQ(dialog.AffinityEdited, 1);
  EXPECT_EQ(dialog.WorkingMask, 0xFFF7u);

  // The click into the thread list gives it the focus and selects an entry: two handlers run,
  // one message is shown.
  ClickEntry(&dialog.threadList(), 0);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "Affinity changes ignored unless you click on Apply\n");
  EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar - Online Help");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes_.calls()[0].owner, &dialog);
  EXPECT_EQ(dialog.AffinityEdited, 0);
  EXPECT_TRUE(Checked(IDC_PROCESSOR_FIRST + 3));  // the stored mask again

  Click(Box(0));
  ClickEntry(&dialog.processList(), 1);
  EXPECT_EQ(boxes_.calls().size(), 2u);
  // Refresh drops an edit without a word.
  Click(Box(1));
  dialog.OnRefresh();
  EXPECT_EQ(boxes_.calls().size(), 2u);
  EXPECT_EQ(dialog.AffinityEdited, 0);
}

TEST_F(DemoMainDialog, ShowsMasksAndRoundRobinStateOfTheRecords) {
  Watch({5});
  TesmarRecord* record = Record(5);
  // Six threads on 0x0F, one processor each in turn: round-robin hard.
  TesmarSetProcAffin(record, 0x0F);
  const DWORD roundRobin[] = {0x1, 0x2, 0x4, 0x8, 0x1, 0x2};
  for (DWORD t = 0; t < 6; ++t) TesmarSetThreadAffin(record, t, roundRobin[t]);
  CTesmarGuiDlg& dialog = Open();
  EXPECT_EQ(dialog.processList().GetText(0), "DemoProcNbr5.exe (0x15)\t1111  0000  0000  0000");
  EXPECT_EQ(dialog.threadList().GetText(3), "Thread 3\t0001  0000  0000  0000");
  EXPECT_TRUE(Checked(IDC_ROUND_ROBIN_HARD));
  for (int p = 0; p < kProcessorBoxes; ++p) EXPECT_EQ(Checked(IDC_PROCESSOR_FIRST + p), p < 4);

  // One thread out of turn, and the box shows unchecked.
  TesmarSetThreadAffin(record, 4, 0x2);
  dialog.FillProcessList();
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));

  // A mask of 0x80FF and a process without processors: shown, and no walk runs for ever.
  TesmarSetProcAffin(record, 0x80FF);
  dialog.FillProcessList();
  EXPECT_EQ(dialog.processList().GetText(0), "DemoProcNbr5.exe (0x15)\t1111  1111  0000  0001");
  TesmarSetProcAffin(record, 0);
  dialog.FillProcessList();
  EXPECT_EQ(dialog.processList().GetText(0), "DemoProcNbr5.exe (0x15)\t0000  0000  0000  0000");
  EXPECT_FALSE(Checked(IDC_ROUND_ROBIN_HARD));
  for (int p = 0; p < kProcessorBoxes; ++p) EXPECT_FALSE(Checked(IDC_PROCESSOR_FIRST + p));
}

TEST_F(DemoMainDialog, AnUnknownConnectionModeSaysNeverAndKeepsTheTitle) {
  dialog_ = std::make_unique<CTesmarGuiDlg>();
  dialog_->Session = session_;
  dialog_->ConnectionMode = 7;
  EXPECT_TRUE(dialog_->OnInitDialog());
  EXPECT_EQ(dialog_->windowTitle(), "Kaltrix Tesmar");
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "Never!");
  EXPECT_EQ(boxes_.calls()[0].caption, "TesmarGui");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK);
}

TEST_F(DemoMainDialog, EveryFillSelectsTheFirstEntryAgain) {
  Watch({1, 2, 4});
  CTesmarGuiDlg& dialog = Open();
  ClickEntry(&dialog.processList(), 2);
  EXPECT_EQ(dialog.ProcessIndex, 4u);
  dialog.FillProcessList();
  EXPECT_EQ(dialog.processList().GetCurSel(), 0);
  EXPECT_EQ(dialog.ProcessIndex, 1u);
}

TEST_F(DemoMainDialog, ColoursFollowTheControlColourTable) {
  Watch({0});
  Open();
  auto text = [&](int id, QPalette::ColorRole role) {
    return controls().Item(id)->palette().color(QPalette::Active, role);
  };
  EXPECT_EQ(text(IDC_PROCESSES_LABEL, QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(text(IDC_PROCESS_PRIORITY_GROUP, QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(text(IDC_WATCH_GROUP, QPalette::WindowText), QColor(180, 0, 0));
  EXPECT_EQ(text(IDC_AFFINITY_GROUP, QPalette::WindowText), QColor(180, 0, 0));
  EXPECT_EQ(text(IDC_THREADS_LABEL, QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(text(IDC_STATIC, QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(text(IDC_ROUND_ROBIN_HARD, QPalette::WindowText), QColor(0, 128, 0));
  EXPECT_EQ(text(IDC_CLASS_NORMAL, QPalette::WindowText), QColor(128, 0, 128));
  EXPECT_EQ(text(IDC_THREAD_IDLE, QPalette::WindowText), QColor(0, 0, 150));
  EXPECT_EQ(text(IDC_THREAD_LIST, QPalette::Text), QColor(0, 0, 150));
  EXPECT_EQ(text(IDC_PROCESS_LIST, QPalette::Text), QColor(128, 0, 128));
  EXPECT_EQ(text(IDC_REFRESH, QPalette::ButtonText),
            QApplication::palette().color(QPalette::Active, QPalette::ButtonText));
}

}  // namespace
