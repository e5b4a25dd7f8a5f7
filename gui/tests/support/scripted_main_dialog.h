// A main dialog in Local mode over the scripted stand-in service: the packet a test chooses is
// served, a live session is connected to it, and the dialog is shown as the application shows it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "main_dialog_fixture.h"
#include "support/scripted_service.h"

namespace tesmar::gui::testing {

// A watched record of that many threads, each on the process mask, no ideal processor chosen.
tesmar::testing::ScriptedRecord ScriptedProcess(std::u16string name, uint32_t id, uint32_t mask,
                                                int32_t threads);

class ScriptedMainDialogTest : public MainDialogTest {
 protected:
  CTesmarGuiDlg& Open(const tesmar::testing::TestPacket& packet);
  void TearDown() override;

  const DialogControls& controls() const { return dialog_->controls(); }
  QWidget* Item(int id) const { return controls().Item(id); }
  bool Enabled(int id) const { return Item(id)->isEnabled(); }
  bool Checked(int id) const { return controls().IsChecked(id); }
  // The UpdateLists the service took so far.
  std::vector<tesmar::testing::TestPacket> Updates() const { return service_->UpdatesSeen(); }

  std::unique_ptr<tesmar::testing::ScriptedService> service_;
};

}  // namespace tesmar::gui::testing
