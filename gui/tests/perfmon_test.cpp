// PerfMon with stand-in system monitors on a PATH of the test's own: the first one found is
// started (and runs), none found and one that is not executable give their messages.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "dialog_driver.h"
#include "main_dialog_fixture.h"
#include "main_dialog_ids.h"
#include "perfmon.h"
#include "support/wait_until.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;

class PerfMon : public OpenDemoMainDialogTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    const char* path = std::getenv("PATH");
    previousPath_ = path ? path : "";
    setenv("PATH", folder_.path().toLocal8Bit().constData(), 1);
    OpenDemoMainDialogTest::SetUp();
  }
  void TearDown() override {
    setenv("PATH", previousPath_.c_str(), 1);
    OpenDemoMainDialogTest::TearDown();
  }

  // A monitor of that name on the PATH that writes its arguments to the marker file.
  QString Install(const char* name, bool executable) {
    QString marker = folder_.filePath(QStringLiteral("%1.ran").arg(name));
    QFile script(folder_.filePath(name));
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\necho \"$0 $*\" > '" + marker + "'\n").toLocal8Bit());
    script.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable) permissions |= QFile::ExeOwner;
    script.setPermissions(permissions);
    return marker;
  }
  void ClickPerfMon() { Click(dialog_->controls().Item(main_dialog::IDC_PERFMON)); }

  QTemporaryDir folder_;
  std::string previousPath_;
};

TEST_F(PerfMon, StartsTheFirstMonitorFoundPastTheMissingOnes) {
  ASSERT_GE(SystemMonitors().size(), 3u);
  QString ran = Install(SystemMonitors()[2], true);
  ClickPerfMon();
  EXPECT_TRUE(boxes_.calls().empty());
  ASSERT_TRUE(tesmar::testing::WaitUntil([&] { return QFile(ran).size() > 0; }));
  QFile output(ran);
  ASSERT_TRUE(output.open(QIODevice::ReadOnly));
  EXPECT_EQ(output.readAll(), folder_.filePath(SystemMonitors()[2]).toLocal8Bit() + " \n");
}

TEST_F(PerfMon, WithoutAnyMonitorTheFileIsNotFound) {
  ClickPerfMon();
  ASSERT_EQ(boxes_.calls().size(), 1u);
  const MessageBoxCall& box = boxes_.calls()[0];
  EXPECT_EQ(box.text, "The specified file was not found");
  EXPECT_EQ(box.caption, "Tesmar - ERROR");
  EXPECT_EQ(box.owner, dialog_.get());
  EXPECT_EQ(box.flags, MB_ICONHAND);
}

TEST_F(PerfMon, AMonitorThatIsNotExecutableIsAnInvalidFile) {
  Install(SystemMonitors()[0], false);
  ClickPerfMon();
  EXPECT_EQ(boxes_.texts(), (std::vector<QString>{"The .EXE file is invalid"}));
}

TEST(PerfMonMessages, EveryFailedStartHasItsMessage) {
  EXPECT_EQ(PerfMonFailureText(0), "The System is out of Memory or Resources");
  EXPECT_EQ(PerfMonFailureText(2), "The specified file was not found");
  EXPECT_EQ(PerfMonFailureText(3), "The specified path was not found");
  EXPECT_EQ(PerfMonFailureText(11), "The .EXE file is invalid");
  for (UINT other : {1u, 4u, 5u, 10u, 12u, 31u}) {
    EXPECT_EQ(PerfMonFailureText(other), "Windows NT PerfMon cannot be launched") << other;
  }
}

}  // namespace
