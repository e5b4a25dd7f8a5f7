// The main dialog on a session of the test's own, opened as the application opens it and closed
// after the test: the dialog first, then the session.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "TesmarGuiDlg.h"
#include "message_box_recorder.h"

namespace tesmar::gui::testing {

// Gives the dialog the session and connection mode, initialises it and shows it active; a failure
// naming the step when OnInitDialog ended it or it never became the active window.
::testing::AssertionResult OpenMainDialog(CTesmarGuiDlg& dialog, TesmarSession* session, INT mode);

class MainDialogTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseDialog(); }

  // A new dialog_ on session_, opened as OpenMainDialog opens it.
  ::testing::AssertionResult OpenDialog(INT mode);
  // Destroys dialog_, then closes session_; a test that checks what was shown up to the session's
  // end calls it itself.
  void CloseDialog();

  MessageBoxRecorder boxes_;
  TesmarSession* session_ = nullptr;
  std::unique_ptr<CTesmarGuiDlg> dialog_;
};

// On the demo backend, which needs no service: a session of its own before each test.
class DemoMainDialogTest : public MainDialogTest {
 protected:
  void SetUp() override { session_ = TesmarOpen(1); }
};

// The same, with the dialog open on it in Demo mode before each test.
class OpenDemoMainDialogTest : public DemoMainDialogTest {
 protected:
  void SetUp() override;
};

}  // namespace tesmar::gui::testing
