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

TesmarRecord* CTesmarGuiDlg::ApplyRoundRobin(int box, int& pending, bool showAgainWhenRefused,
                                             const RoundRobinStep& setThread) {
  if (CpuCount == 1) {
    controls_.Check(box, false);
    RefuseOneProcessor();
    if (showAgainWhenRefused) ShowProcessSelection();
    pending = 0;
    return nullptr;
  }
  TesmarRecord* record = SelectedRecord();
  DWORD processMask = TesmarGetProcAffin(record);
  LONG threads = TesmarGetThreadCount(record);
  // No processor to hand out: refused before any walk (also where there is no record).
  if (processMask == 0) {
    RefuseZeroMask();
    pending = 0;
    return nullptr;
  }
  RoundRobinSequence sequence(processMask);
  for (LONG t = 0; t < threads; ++t) {
    setThread(record, static_cast<DWORD>(t), processMask, sequence);
  }
  SendUpdate();
  pending = 0;
  return record;
}

void CTesmarGuiDlg::ApplyRoundRobinHard(bool on) {
  TesmarRecord* record = ApplyRoundRobin(
      IDC_ROUND_ROBIN_HARD, RoundRobinHardPending, false,
      [on](TesmarRecord* walked, DWORD thread, DWORD processMask, RoundRobinSequence& sequence) {
        TesmarSetThreadAffin(walked, thread, on ? ProcessorBit(sequence.Next()) : processMask);
      });
  if (record) FillThreadList(record);
}

void CTesmarGuiDlg::ApplyRoundRobinPreferred(bool on) {
  ApplyRoundRobin(
      IDC_ROUND_ROBIN_PREFERRED, RoundRobinPreferredPending, true,
      [this, on](TesmarRecord* walked, DWORD thread, DWORD, RoundRobinSequence& sequence) {
        // Without a preferred processor a thread asks for CpuCount, one past the highest.
        TesmarSetThreadIdealProcessor(walked, thread, on ? sequence.Next() : CpuCount);
      });
}

void CTesmarGuiDlg::ApplyBoost(bool disable) {
  // 1 disables the boost, 0 gives it back.
  TesmarSetPriorityBoost(SelectedRecord(), disable ? 1 : 0);
  SendUpdate();
  BoostPending = 0;
}

}  // namespace tesmar::gui
