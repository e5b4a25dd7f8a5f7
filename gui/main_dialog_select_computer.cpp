#include "TesmarGuiDlg.h"

namespace tesmar::gui {

void CTesmarGuiDlg::OnSelectComputer() {
  RemoteSelectFailed = 0;
  // No computer browser exists on this platform yet: choosing a computer ends as a cancelled
  // browser does, and the connection stays as it is.
  RemoteSelectFailed = 1;
}

}  // namespace tesmar::gui
