// The main dialog against the real tesmarsr, installed on a machine of its own, with a spawned
// child of four threads: its masks set by taskset and shown, and then changed through the
// dialog's widgets, each change read back from the kernel (taskset, ps).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QSysInfo>

#include <QAbstractButton>
#include <QTimer>
#include <thread>

#include "DlgAddProcs.h"
#include "MyList.h"
#include "dialog_driver.h"
#include "editor_dialog_ids.h"
#include "main_dialog_ids.h"
#include "mask_text.h"
#include "support/kernel_view.h"
#include "support/thread_host.h"
#include "support/wait_until.h"
#include "tesmarsr_main_dialog.h"
#include "watched_process.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;
using tesmar::testing::PsThreads;
using tesmar::testing::SetTasksetMask;
using tesmar::testing::SpawnedThreadHost;
using tesmar::testing::TasksetMask;
using tesmar::testing::WaitUntil;

using MainDialogOnTesmarsr = TesmarsrMainDialogTest;

TEST_F(MainDialogOnTesmarsr, ShowsAWatchedChildWithTheMasksTheKernelReports) {
  SpawnedThreadHost child(4);
  ASSERT_TRUE(child.started());
  // Two processors here: each thread gets one of them or both.
  const uint32_t masks[] = {0x1, 0x2, 0x3, 0x1};
  for (size_t t = 0; t < 4; ++t) ASSERT_TRUE(SetTasksetMask(child.threadIds()[t], masks[t]));
  ASSERT_TRUE(WatchProcess(child.pid()));

  ASSERT_TRUE(OpenLocal());
  CTesmarGuiDlg& dialog = *dialog_;
  SaveShot(dialog, "main-tesmarsr-child");
  EXPECT_EQ(dialog.windowTitle(), "Kaltrix Tesmar - " + QSysInfo::machineHostName());
  ASSERT_EQ(dialog.processList().GetCount(), 1);
  DWORD processors = dialog.CpuCount;
  ASSERT_GE(processors, 2u);
  EXPECT_EQ(dialog.processList().GetText(0),
            QStringLiteral("tesmar_thread_host (0x%1)\t").arg(child.pid(), 0, 16) +
                FormatMask(0x3, processors));
  ASSERT_EQ(dialog.threadList().GetCount(), 4);
  EXPECT_EQ(dialog.controls().Text(main_dialog::IDC_THREAD_COUNT), "4");
  for (int t = 0; t < 4; ++t) {
    uint32_t kernelMask = TasksetMask(child.threadIds()[static_cast<size_t>(t)]).value_or(0);
    EXPECT_EQ(kernelMask, masks[t]);
    EXPECT_EQ(dialog.threadList().GetText(t),
              QStringLiteral("Thread %1\t").arg(t) + FormatMask(kernelMask, processors));
  }
  ClickEntry(&dialog.threadList(), 1);
  EXPECT_TRUE(dialog.controls().IsChecked(main_dialog::IDC_PROCESSOR_FIRST + 1));
  EXPECT_FALSE(dialog.controls().IsChecked(main_dialog::IDC_PROCESSOR_FIRST));
  SaveShot(dialog, "main-tesmarsr-child-thread");
  CloseDialog();
  EXPECT_TRUE(boxes_.calls().empty());
}

// Every thread's mask as taskset shows it, in the child's thread order.
std::vector<uint32_t> KernelMasks(const SpawnedThreadHost& child) {
  std::vector<uint32_t> masks;
  for (uint32_t thread : child.threadIds()) masks.push_back(TasksetMask(thread).value_or(0));
  return masks;
}

// "nice policy" of every thread as ps shows it, in the child's thread order.
std::vector<std::string> KernelScheduling(const SpawnedThreadHost& child) {
  std::vector<std::string> scheduling;
  for (uint32_t thread : child.threadIds()) {
    std::string shown = "gone";
    for (const auto& row : PsThreads(child.pid())) {
      if (row.threadId == thread) shown = row.nice + " " + row.policy;
    }
    scheduling.push_back(shown);
  }
  return scheduling;
}

TEST_F(MainDialogOnTesmarsr, ChangesAWatchedChildThroughTheWidgetsAndTheServiceKeepsThem) {
  SpawnedThreadHost child(4);
  ASSERT_TRUE(child.started());
  if (!TasksetMask(child.pid())) GTEST_SKIP() << "taskset cannot read masks here";

  ASSERT_TRUE(OpenLocal());
  CTesmarGuiDlg& dialog = *dialog_;
  const DialogControls& controls = dialog.controls();
  auto item = [&](int id) { return controls.Item(id); };
  if (dialog.CpuCount < 2) GTEST_SKIP() << "needs two processors to tell masks apart";
  ASSERT_EQ(dialog.processList().GetCount(), 0);

  // Onto the watch list through the editor.
  const QString entry = QStringLiteral("tesmar_thread_host (0x%1)").arg(child.pid(), 0, 16);
  bool edited = WithNextModal([&] { Click(item(main_dialog::IDC_EDIT)); },
                              [&](QWidget* modal) {
                                auto* editor = qobject_cast<CDlgAddProcs*>(modal);
                                ASSERT_NE(editor, nullptr);
                                ListBox& unwatched = editor->unwatchedList();
                                int position = -1;
                                for (int p = 0; p < unwatched.GetCount(); ++p) {
                                  if (unwatched.GetText(p) == entry) position = p;
                                }
                                if (position >= 0) {
                                  ClickEntry(&unwatched, position);
                                  Click(editor->controls().Item(editor_dialog::IDC_ADD));
                                  SaveShot(*editor, "editor-tesmarsr-child-added");
                                  Click(editor->controls().Item(editor_dialog::IDC_CONTINUE));
                                } else {
                                  ADD_FAILURE() << "the child is not in the editor";
                                  editor->reject();
                                }
                              });
  ASSERT_TRUE(edited);
  ASSERT_EQ(dialog.processList().GetCount(), 1);
  EXPECT_TRUE(dialog.processList().GetText(0).startsWith(entry + QStringLiteral("\t")));
  auto box = [&](int processor) { return item(main_dialog::IDC_PROCESSOR_FIRST + processor); };

  // The process mask: processor 0 alone, for the process and every thread.
  for (int p = 1; p < std::min<int>(static_cast<int>(dialog.CpuCount), 16); ++p) Click(box(p));
  Click(item(main_dialog::IDC_APPLY));
  EXPECT_EQ(KernelMasks(child), std::vector<uint32_t>(4, 0x1));
  // Processors 0 and 1 again.
  Click(box(1));
  Click(item(main_dialog::IDC_APPLY));
  EXPECT_EQ(KernelMasks(child), std::vector<uint32_t>(4, 0x3));

  // A thread's mask: thread 2 on processor 1.
  ClickEntry(&dialog.threadList(), 2);
  Click(box(0));
  Click(item(main_dialog::IDC_APPLY));
  EXPECT_EQ(KernelMasks(child), (std::vector<uint32_t>{0x3, 0x3, 0x2, 0x3}));

  // Round-robin hard over the process's processors 0 and 1, and the boost disabled.
  ClickEntry(&dialog.processList(), 0);
  Click(item(main_dialog::IDC_ROUND_ROBIN_HARD));
  Click(item(main_dialog::IDC_DISABLE_BOOST));
  Click(item(main_dialog::IDC_APPLY));
  EXPECT_EQ(KernelMasks(child), (std::vector<uint32_t>{0x1, 0x2, 0x1, 0x2}));
  EXPECT_TRUE(controls.IsChecked(main_dialog::IDC_ROUND_ROBIN_HARD));
  EXPECT_TRUE(controls.IsChecked(main_dialog::IDC_DISABLE_BOOST));

  // The class Idle (nice 10, boost still off: SCHED_BATCH), then thread 3 Below Normal.
  boxes_.Answer(IDYES);
  Click(item(main_dialog::IDC_CLASS_IDLE));
  EXPECT_EQ(KernelScheduling(child), std::vector<std::string>(4, "10 B"));
  EXPECT_TRUE(controls.IsChecked(main_dialog::IDC_CLASS_IDLE));
  ClickEntry(&dialog.threadList(), 3);
  Click(item(main_dialog::IDC_THREAD_BELOW_NORMAL));
  EXPECT_EQ(KernelScheduling(child), (std::vector<std::string>{"10 B", "10 B", "10 B", "12 B"}));
  EXPECT_TRUE(controls.IsChecked(main_dialog::IDC_THREAD_BELOW_NORMAL));
  SaveShot(dialog, "main-tesmarsr-child-changed");

  // Changed behind the service's back, put back at the next refresh.
  ASSERT_TRUE(SetTasksetMask(child.threadIds()[0], 0x3));
  ASSERT_EQ(TasksetMask(child.threadIds()[0]), 0x3u);
  Click(item(main_dialog::IDC_REFRESH));
  EXPECT_TRUE(WaitUntil([&] { return TasksetMask(child.threadIds()[0]) == 0x1u; }));
  EXPECT_EQ(KernelMasks(child), (std::vector<uint32_t>{0x1, 0x2, 0x1, 0x2}));

  // The child ends and leaves the lists.
  child.stop();
  Click(item(main_dialog::IDC_REFRESH));
  EXPECT_EQ(dialog.processList().GetCount(), 0);
  EXPECT_EQ(dialog.threadList().GetCount(), 0);
  // Nothing of the ended process stays checked.
  for (int id : {main_dialog::IDC_CLASS_IDLE, main_dialog::IDC_ROUND_ROBIN_HARD,
                 main_dialog::IDC_DISABLE_BOOST}) {
    EXPECT_FALSE(controls.IsChecked(id)) << id;
  }
  SaveShot(dialog, "main-tesmarsr-child-ended");
  CloseDialog();
  // Only the class question was asked.
  EXPECT_EQ(boxes_.texts().size(), 1u);
}

TEST_F(MainDialogOnTesmarsr, EndProcessEndsTheWatchedChildAndTheListsLoseIt) {
  SpawnedThreadHost child(2);
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(WatchProcess(child.pid()));
  // The child's end is seen as its parent sees it, reaped at once as a parent would.
  int status = 0;
  std::thread reaper([&] { waitpid(static_cast<pid_t>(child.pid()), &status, 0); });

  // boxes_ answers the question with OK.
  ASSERT_TRUE(OpenLocal());
  CTesmarGuiDlg& dialog = *dialog_;
  ASSERT_EQ(dialog.processList().GetCount(), 1);
  Click(dialog.controls().Item(main_dialog::IDC_END_PROCESS));
  reaper.join();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  Click(dialog.controls().Item(main_dialog::IDC_REFRESH));
  EXPECT_EQ(dialog.processList().GetCount(), 0);
  EXPECT_EQ(dialog.threadList().GetCount(), 0);
  CloseDialog();
  EXPECT_EQ(boxes_.texts(),
            (std::vector<QString>{QStringLiteral("Terminate Process \"tesmar_thread_host (0x%1)\"?")
                                      .arg(child.pid(), 0, 16)}));
}

}  // namespace
