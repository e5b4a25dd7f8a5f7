#include "tesmarsr_main_dialog.h"

namespace tesmar::gui::testing {

::testing::AssertionResult TesmarsrMainDialogTest::OpenLocal() {
  session_ = TesmarOpen(0);
  if (INT error = TesmarConnect(session_, nullptr); error != 0) {
    return ::testing::AssertionFailure() << "TesmarConnect answered " << error;
  }
  return OpenDialog(0);
}

}  // namespace tesmar::gui::testing
