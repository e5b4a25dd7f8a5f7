// End Process on real processes of this machine: spawned children listed by a scripted service
// under the ids the kernel gave them, ended (or not) by the main dialog, seen ending through
// waitpid; a process of another user, with the test run as nobody; an id reused between the
// question and OK.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "MyList.h"
#include "dialog_driver.h"
#include "main_dialog_ids.h"
#include "platform/handles.h"
#include "scripted_main_dialog.h"
#include "support/thread_host.h"
#include "support/wait_until.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::SpawnedThreadHost;
using tesmar::testing::WaitUntil;

constexpr char16_t kHostName[] = u"tesmar_thread_host";
constexpr char kForeignPidVariable[] = "TESMAR_TEST_FOREIGN_PID";
constexpr uint32_t kNobody = 65534;

QString EntryName(const char16_t* name, uint32_t pid) {
  return QString::fromUtf16(name) + QStringLiteral(" (0x%1)").arg(pid, 0, 16);
}

// Whether the child ended by SIGKILL (reaped here), once it ended within the bound.
bool KilledBySignal(uint32_t pid) {
  int status = 0;
  bool ended = WaitUntil([&] { return waitpid(static_cast<pid_t>(pid), &status, WNOHANG) > 0; });
  return ended && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool Running(uint32_t pid) {
  int status = 0;
  return waitpid(static_cast<pid_t>(pid), &status, WNOHANG) == 0;
}

using EndProcess = ScriptedMainDialogTest;

TEST_F(EndProcess, OkEndsTheSelectedChildCancelLeavesItAndBothReloadTheLists) {
  SpawnedThreadHost child(2);
  ASSERT_TRUE(child.started());
  CTesmarGuiDlg& dialog = Open(BuildPacket(2, {ScriptedProcess(kHostName, child.pid(), 0x3, 2)}));
  ASSERT_TRUE(Enabled(IDC_END_PROCESS));
  // With nothing selected the first entry is selected and named.
  dialog.processList().SetCurSel(-1);
  QString quoted = "\"" + EntryName(kHostName, child.pid()) + "\"";
  boxes_.Answer(IDCANCEL);
  DWORD refreshes = service_->RefreshesSeen();
  size_t handles = tesmar::platform::OpenHandleCount();
  Click(Item(IDC_END_PROCESS));
  EXPECT_EQ(dialog.processList().GetCurSel(), 0);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  const MessageBoxCall& question = boxes_.calls()[0];
  EXPECT_EQ(question.text, "Terminate Process " + quoted + "?");
  EXPECT_EQ(question.caption, "Tesmar");
  EXPECT_EQ(question.owner, nullptr);
  EXPECT_EQ(question.flags, 0x111u);
  EXPECT_TRUE(Running(child.pid()));
  EXPECT_GT(service_->RefreshesSeen(), refreshes);          // reloaded after Cancel too
  EXPECT_EQ(tesmar::platform::OpenHandleCount(), handles);  // the process handle is closed

  boxes_.clear();
  refreshes = service_->RefreshesSeen();
  Click(Item(IDC_END_PROCESS));  // the recorder answers OK
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{"Terminate Process " + quoted + "?"}));
  EXPECT_TRUE(KilledBySignal(child.pid()));
  EXPECT_GT(service_->RefreshesSeen(), refreshes);
  EXPECT_EQ(tesmar::platform::OpenHandleCount(), handles);
}

TEST_F(EndProcess, AnIdThatNowNamesAnotherProgramIsRefusedAndNotEnded) {
  SpawnedThreadHost child(1);
  ASSERT_TRUE(child.started());
  // The list's record names the id as a process of another name: the id is another's now.
  Open(BuildPacket(2, {ScriptedProcess(u"other.exe", child.pid(), 0x3, 1)}));
  DWORD refreshes = service_->RefreshesSeen();
  Click(Item(IDC_END_PROCESS));
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text,
            "Can Not Terminate the Process \"" + EntryName(u"other.exe", child.pid()) + "\"");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_ICONHAND);
  EXPECT_EQ(service_->RefreshesSeen(), refreshes);  // no reload
  EXPECT_TRUE(Running(child.pid()));
}

TEST_F(EndProcess, AnIdReusedBetweenTheQuestionAndOkIsNotEnded) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a child a chosen id needs root (ns_last_pid)";
  SpawnedThreadHost child(1);
  ASSERT_TRUE(child.started());
  uint32_t pid = child.pid();
  Open(BuildPacket(2, {ScriptedProcess(kHostName, pid, 0x3, 1)}));
  // While the question is open the child ends and a newcomer of the same name takes its id.
  SpawnedThreadHost newcomer;
  bool reused = false;
  std::vector<QString> shown;
  MessageBoxHandler recorder = SetMessageBoxHandler([&](const MessageBoxCall& call) {
    shown.push_back(call.text);
    if (call.text.startsWith("Terminate Process")) {
      child.stop();
      // Another process may take the id first; then the next try.
      for (int attempt = 0; attempt < 20 && !reused; ++attempt) {
        reused = newcomer.start(1, {.onProcessId = pid, .asUser = std::nullopt});
      }
    }
    return IDOK;
  });
  Click(Item(IDC_END_PROCESS));
  SetMessageBoxHandler(recorder);
  ASSERT_TRUE(reused) << "no child could be started on id " << pid;
  EXPECT_EQ(newcomer.pid(), pid);
  EXPECT_TRUE(Running(newcomer.pid()));
  QString quoted = "\"" + EntryName(kHostName, pid) + "\"";
  EXPECT_EQ(shown, (std::vector<QString>{"Terminate Process " + quoted + "?",
                                         "Can not terminate this Process " + quoted}));
}

// The refusal is what a user who may not signal the process sees. As root the test runs itself
// again as nobody against one of root's children; run so (or as any other user), it tries the
// process the parent named, or else process 1.
TEST_F(EndProcess, AProcessThisUserMayNotSignalIsRefusedAndNotReloaded) {
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    SpawnedThreadHost rootChild(1);
    ASSERT_TRUE(rootChild.started());
    std::string self = QCoreApplication::applicationFilePath().toStdString();
    std::string command =
        std::string(kForeignPidVariable) + "=" + std::to_string(rootChild.pid()) +
        " /usr/bin/setpriv --reuid=" + std::to_string(kNobody) +
        " --regid=" + std::to_string(kNobody) + " --clear-groups -- '" + self +
        "' --gtest_filter=EndProcess.AProcessThisUserMayNotSignalIsRefusedAndNotReloaded";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 0) << command;
    EXPECT_TRUE(Running(rootChild.pid()));
    return;
  }
  const char* named = std::getenv(kForeignPidVariable);
  uint32_t pid = named ? static_cast<uint32_t>(std::stoul(named)) : 1;
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != EPERM) {
    GTEST_SKIP() << "process " << pid << " is one this user may signal";
  }
  // Named as this user's process list names it (its command name: another user's executable
  // cannot be read), so that only the right to signal it decides.
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string command;
  std::getline(comm, command);
  std::u16string name = QString::fromStdString(command).toStdU16String();
  Open(BuildPacket(2, {ScriptedProcess(name, pid, 0x3, 1)}));
  ASSERT_TRUE(Enabled(IDC_END_PROCESS));
  DWORD refreshes = service_->RefreshesSeen();
  Click(Item(IDC_END_PROCESS));
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text,
            "Can Not Terminate the Process \"" + EntryName(name.c_str(), pid) + "\"");
  EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar");
  EXPECT_EQ(boxes_.calls()[0].owner, nullptr);
  EXPECT_EQ(boxes_.calls()[0].flags, MB_ICONHAND);
  EXPECT_EQ(service_->RefreshesSeen(), refreshes);
  EXPECT_EQ(kill(static_cast<pid_t>(pid), 0), -1);  // still there, still not ours
  EXPECT_EQ(errno, EPERM);
}

}  // namespace
