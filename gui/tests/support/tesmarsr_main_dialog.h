// A main dialog in Local mode over the real tesmarsr, installed and started on a machine of the
// test's own before each test.
#pragma once

#include "main_dialog_fixture.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"

namespace tesmar::gui::testing {

class TesmarsrMainDialogTest : public MainDialogTest {
 protected:
  // Running is reported once the first ProcList is published.
  void SetUp() override { ASSERT_TRUE(service_.Start()); }

  // A live session connected to the service, and the dialog opened on it in Local mode.
  ::testing::AssertionResult OpenLocal();

  tesmar::testing::TemporaryMachineRoot machine_;
  tesmar::testing::InstalledService service_{tesmar::testing::TesmarsrProgram()};
};

}  // namespace tesmar::gui::testing
