#include "scripted_main_dialog.h"

namespace tesmar::gui::testing {

using tesmar::testing::ScriptedRecord;
using tesmar::testing::ScriptedService;

ScriptedRecord ScriptedProcess(std::u16string name, uint32_t id, uint32_t mask, int32_t threads) {
  ScriptedRecord record;
  record.name = std::move(name);
  record.processId = id;
  record.affinity = mask;
  record.threadCount = threads;
  record.threadAffinity.assign(static_cast<size_t>(std::max(threads, 0)), mask);
  return record;
}

CTesmarGuiDlg& ScriptedMainDialogTest::Open(const tesmar::testing::TestPacket& packet) {
  service_ = std::make_unique<ScriptedService>(packet);
  EXPECT_TRUE(service_->WaitUntilServing());
  session_ = TesmarOpen(0);
  EXPECT_EQ(TesmarConnect(session_, nullptr), 0);
  EXPECT_TRUE(OpenDialog(0));
  return *dialog_;
}

void ScriptedMainDialogTest::TearDown() {
  MainDialogTest::TearDown();
  service_.reset();
  boxes_.clear();
}

}  // namespace tesmar::gui::testing
