#include "main_dialog_fixture.h"

#include "dialog_driver.h"

namespace tesmar::gui::testing {

::testing::AssertionResult OpenMainDialog(CTesmarGuiDlg& dialog, TesmarSession* session, INT mode) {
  dialog.Session = session;
  dialog.ConnectionMode = mode;
  if (!dialog.OnInitDialog()) return ::testing::AssertionFailure() << "OnInitDialog ended it";
  if (!ShowActive(dialog)) return ::testing::AssertionFailure() << "it never became active";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult MainDialogTest::OpenDialog(INT mode) {
  dialog_ = std::make_unique<CTesmarGuiDlg>();
  return OpenMainDialog(*dialog_, session_, mode);
}

void MainDialogTest::CloseDialog() {
  dialog_.reset();
  if (session_) TesmarClose(session_);
  session_ = nullptr;
}

void OpenDemoMainDialogTest::SetUp() {
  DemoMainDialogTest::SetUp();
  ASSERT_TRUE(OpenDialog(2));
}

}  // namespace tesmar::gui::testing
