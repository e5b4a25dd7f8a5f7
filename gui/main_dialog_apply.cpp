// Apply: the pending edits of the process shown, each written into the session's copy and sent
// in a request of its own, in a fixed order, and then the lists filled again.
#include "MyList.h"
#include "TesmarGuiDlg.h"
#include "main_dialog_ids.h"
#include "mask_text.h"
#include "message_box.h"
#include "system_text.h"

namespace tesmar::gui {

using namespace main_dialog;

namespace {

constexpr char kHelpCaption[] = "Tesmar - Online Help";

}  // namespace

void CTesmarGuiDlg::OnApply() {
  if (ProcessList->GetCount() == 0) return;
  // The boxes as the operator left them, before any step changes what they show.
  bool boost = controls_.IsChecked(IDC_DISABLE_BOOST);
  bool preferred = controls_.IsChecked(IDC_ROUND_ROBIN_PREFERRED);
  bool hard = controls_.IsChecked(IDC_ROUND_ROBIN_HARD);
  UpdateFailed = 0;
  if (AffinityEdited) ApplyAffinity();
  if (!UpdateFailed && RoundRobinHardPending) ApplyRoundRobinHard(hard);
  if (!UpdateFailed && RoundRobinPreferredPending) ApplyRoundRobinPreferred(preferred);
  if (!UpdateFailed && BoostPending) ApplyBoost(boost);
  // After a failed request nothing more goes to the service: the dialog is ending.
  if (UpdateFailed) return;
  FillProcessList();
}

bool CTesmarGuiDlg::SendUpdate() {
  INT error = TesmarUpdate(Session);
  if (error == 0) return true;
  ShowUpdateError(static_cast<DWORD>(error));
  return false;
}

void CTesmarGuiDlg::ShowUpdateError(DWORD error) {
  ShowApplicationMessageBox(SystemMessageText(error), MB_OK);
  UpdateFailed = 1;
  done(0);
}

void CTesmarGuiDlg::RefuseZeroMask() {
  ShowMessageBox(this, QStringLiteral("Affinity cannot be Zero."),
                 QString::fromLatin1(kHelpCaption), MB_OK | MB_ICONEXCLAMATION);
}

void CTesmarGuiDlg::RefuseOneProcessor() {
  ShowMessageBox(nullptr, QStringLiteral("There is only one processor active in the system "),
                 QStringLiteral("Tesmar"), MB_OK | MB_ICONINFORMATION);
}

void CTesmarGuiDlg::ApplyAffinity() {
  if (WorkingMask == 0) {
    RefuseZeroMask();
    return;
  }
  TesmarRecord* record = SelectedRecord();
  if (EditProcess) {
    if (TesmarGetProcAffin(record) != WorkingMask) {
      TesmarSetProcAffin(record, WorkingMask);
      LONG threads = TesmarGetThreadCount(record);
      for (LONG t = 0; t < threads; ++t) {
        TesmarSetThreadAffin(record, static_cast<DWORD>(t), WorkingMask);
      }
      SendUpdate();
    }
  } else {
    for (int t : ThreadList->GetSelItems()) {
      DWORD thread = static_cast<DWORD>(t);
      if (TesmarGetThreadAffin(record, thread) != WorkingMask) {
        TesmarSetThreadAffin(record, thread, WorkingMask);
      }
    }
    SendUpdate();
  }
  AffinityEdited = 0;
}

void CTesmarGuiDlg::ApplyRoundRobinHard(bool on) {
  if (CpuCount == 1) {
    controls_.Check(IDC_ROUND_ROBIN_HARD, false);
    RefuseOneProcessor();
    RoundRobinHardPending = 0;
    return;
  }
  TesmarRecord* record = SelectedRecord();
  DWORD processMask = TesmarGetProcAffin(record);
  LONG threads = TesmarGetThreadCount(record);
  // No processor to hand out: refused before any walk.
  if (processMask == 0) {
    RefuseZeroMask();
    RoundRobinHardPending = 0;
    return;
  }
  RoundRobinSequence sequence(processMask);
  for (LONG t = 0; t < threads; ++t) {
    TesmarSetThreadAffin(record, static_cast<DWORD>(t),
                         on ? ProcessorBit(sequence.Next()) : processMask);
  }
  SendUpdate();
  RoundRobinHardPending = 0;
  FillThreadList(record);
}

void CTesmarGuiDlg::ApplyRoundRobinPreferred(bool on) {
  if (CpuCount == 1) {
    controls_.Check(IDC_ROUND_ROBIN_PREFERRED, false);
    RefuseOneProcessor();
    ShowProcessSelection();
    RoundRobinPreferredPending = 0;
    return;
  }
  TesmarRecord* record = SelectedRecord();
  DWORD processMask = TesmarGetProcAffin(record);
  LONG threads = TesmarGetThreadCount(record);
  if (processMask == 0) {
    RefuseZeroMask();
    RoundRobinPreferredPending = 0;
    return;
  }
  RoundRobinSequence sequence(processMask);
  for (LONG t = 0; t < threads; ++t) {
    // Without a preferred processor a thread asks for CpuCount, one past the highest.
    TesmarSetThreadIdealProcessor(record, static_cast<DWORD>(t), on ? sequence.Next() : CpuCount);
  }
  SendUpdate();
  RoundRobinPreferredPending = 0;
}

void CTesmarGuiDlg::ApplyBoost(bool disable) {
  // 1 disables the boost, 0 gives it back.
  TesmarSetPriorityBoost(SelectedRecord(), disable ? 1 : 0);
  SendUpdate();
  BoostPending = 0;
}

}  // namespace tesmar::gui
