// The main dialog against the real tesmarsr, installed on a machine of its own, with a spawned
// child of four threads whose masks taskset set and reads back.
#include <gtest/gtest.h>

#include <QSysInfo>

#include "MyList.h"
#include "TesmarGuiDlg.h"
#include "dialog_driver.h"
#include "main_dialog_ids.h"
#include "mask_text.h"
#include "message_box_recorder.h"
#include "support/installed_service.h"
#include "support/kernel_view.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"
#include "watched_process.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;
using tesmar::testing::InstalledService;
using tesmar::testing::SetTasksetMask;
using tesmar::testing::SpawnedThreadHost;
using tesmar::testing::TasksetMask;
using tesmar::testing::TemporaryMachineRoot;
using tesmar::testing::TesmarsrProgram;

TEST(MainDialogOnTesmarsr, ShowsAWatchedChildWithTheMasksTheKernelReports) {
  TemporaryMachineRoot machine;
  // Running is reported once the first ProcList is published.
  InstalledService service(TesmarsrProgram());
  ASSERT_TRUE(service.Start());
  SpawnedThreadHost child(4);
  ASSERT_TRUE(child.started());
  // Two processors here: each thread gets one of them or both.
  const uint32_t masks[] = {0x1, 0x2, 0x3, 0x1};
  for (size_t t = 0; t < 4; ++t) ASSERT_TRUE(SetTasksetMask(child.threadIds()[t], masks[t]));
  ASSERT_TRUE(WatchProcess(child.pid()));

  MessageBoxRecorder boxes;
  TesmarSession* session = TesmarOpen(0);
  ASSERT_EQ(TesmarConnect(session, nullptr), 0);
  {
    CTesmarGuiDlg dialog;
    dialog.Session = session;
    dialog.ConnectionMode = 0;
    ASSERT_TRUE(dialog.OnInitDialog());
    ASSERT_TRUE(ShowActive(dialog));
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
  }
  TesmarClose(session);
  EXPECT_TRUE(boxes.calls().empty());
}

}  // namespace
