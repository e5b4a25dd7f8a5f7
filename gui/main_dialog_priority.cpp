// The priority radios and the boost step: a class or thread-priority click is sent at once and
// read back; the boost box waits for Apply.
#include "MyList.h"
#include "TesmarGuiDlg.h"
#include "main_dialog_ids.h"
#include "message_box.h"
#include "priority_display.h"

namespace tesmar::gui {

using namespace main_dialog;

void CTesmarGuiDlg::OnPriorityClass(DWORD priorityClass, int radio) {
  if (ProcessList->GetCount() == 0) {
    controls_.Check(radio, false);
    return;
  }
  int position = ProcessList->GetCurSel();
  if (position < 0) return;
  QString shown = TextBeforeTab(ProcessList->GetText(position));
  int answer = ShowMessageBox(
      nullptr,
      QStringLiteral("Are you sure you want to change the Priority Class\nFor the Process \"") +
          shown + QStringLiteral("\"?"),
      QStringLiteral("Tesmar"), MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) {
    // Shows the process's own class again, undoing the click's check mark.
    ShowProcessSelection();
    return;
  }
  TesmarSetProcPrior(SelectedRecord(), priorityClass);
  SendUpdate();
  TesmarRefresh(Session);
  // The new copy may order its records differently: the changed process is found again.
  if (!ReselectShownProcess()) {
    FillFromCopy();
    return;
  }
  ShowProcessPriority(controls_, SelectedRecord());
}

void CTesmarGuiDlg::OnThreadPriority(LONG priority, int radio) {
  if (ThreadList->GetCount() == 0) {
    controls_.Check(radio, false);
    return;
  }
  TesmarRecord* record = SelectedRecord();
  for (int t : ThreadList->GetSelItems()) {
    TesmarSetThreadPrior(record, static_cast<DWORD>(t), priority);
  }
  SendUpdate();
  TesmarRefresh(Session);
  if (!ReselectShownProcess()) {
    FillFromCopy();
    return;
  }
  ShowThreadSelection();
}

}  // namespace tesmar::gui
