// The about box: the product and this build, and the physical memory of the machine the GUI
// runs on, in all and available, read when the box opens.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

#include "dialog_builder.h"
#include "platform/memory.h"

namespace tesmar::gui {

// "%ld K" of a byte count divided by 1024, rounded down; 64 bits wide, past 4 GiB too.
QString MemoryText(uint64_t bytes);
// The second line: this build's version and the commit it was built from.
QString BuildText();

class CDlgAbout : public QDialog {
  Q_OBJECT

 public:
  // What reads the memory status; GlobalMemoryStatus unless a test gives another.
  using MemoryStatusReader = std::function<void(LPMEMORYSTATUS)>;

  explicit CDlgAbout(MemoryStatusReader reader = GlobalMemoryStatus);

  // Fills the memory figures.
  bool OnInitDialog();
  // OnInitDialog, then the dialog modally.
  int DoModal();

  const DialogControls& controls() const { return controls_; }

 private:
  MemoryStatusReader reader_;
  DialogControls controls_;
};

}  // namespace tesmar::gui
