// The main dialog's lists: filling them from the session's copy and showing what a selection
// selects.
#include <QAbstractButton>
#include <algorithm>
#include <vector>

#include "MyList.h"
#include "TesmarGuiDlg.h"
#include "main_dialog_ids.h"
#include "mask_text.h"
#include "message_box.h"
#include "priority_display.h"
#include "record_threads.h"

namespace tesmar::gui {

using namespace main_dialog;

namespace {

constexpr char kHelpCaption[] = "Tesmar - Online Help";
constexpr DWORD kNoPreviousIdealProcessor = 0xFFFFFFFFu;

QString ProcessEntryText(TesmarRecord* record, DWORD cpuCount) {
  LPCWSTR name = TesmarGetProcName(record);
  return QString::fromUtf16(name ? name : u"") +
         QStringLiteral(" (0x%1)\t").arg(TesmarGetProcId(record), 0, 16) +
         FormatMask(TesmarGetProcAffin(record), cpuCount);
}

}  // namespace

DWORD CTesmarGuiDlg::PacketProcessorCount() const {
  return std::min<DWORD>(TesmarGetProcessorCount(Session), kMaskBits);
}

int CTesmarGuiDlg::BoxesFor(DWORD processorCount) {
  return static_cast<int>(std::min<DWORD>(processorCount, kProcessorBoxes));
}

TesmarRecord* CTesmarGuiDlg::SelectedRecord() const {
  return TesmarGetProcObject(Session, ProcessIndex);
}

void CTesmarGuiDlg::FillProcessList() {
  ProcessList->ResetContent();
  ThreadList->ResetContent();
  TesmarRefresh(Session);
  FillFromCopy();
}

void CTesmarGuiDlg::FillFromCopy() {
  // Without a copy the counts answer 1 and no record exists: that is no process at all.
  DWORD count = TesmarGetProcObject(Session, 0) ? TesmarGetProcessCount(Session) : 0;
  ProcessList->setEnabled(count != 0);
  ThreadList->setEnabled(count != 0);
  // The masks are written for the processors of the machine that sent the packet.
  if (count != 0) CpuCount = PacketProcessorCount();

  SetProcessEntries();
  ProcessList->SetCurSel(ListPosition);
  ShowProcessSelection();
}

void CTesmarGuiDlg::SetProcessEntries() {
  DWORD count = TesmarGetProcObject(Session, 0) ? TesmarGetProcessCount(Session) : 0;
  std::vector<ListEntry> entries;
  for (DWORD i = 0; i < count; ++i) {
    TesmarRecord* record = TesmarGetProcObject(Session, i);
    if (record && TesmarGetWatchList(record)) {
      entries.push_back({ProcessEntryText(record, CpuCount), i});
    }
  }
  ProcessList->SetEntries(std::move(entries));
}

bool CTesmarGuiDlg::ReselectShownProcess() {
  std::vector<int> selectedThreads = ThreadList->GetSelItems();
  int caret = ThreadList->GetCaretIndex();
  DWORD count = TesmarGetProcObject(Session, 0) ? TesmarGetProcessCount(Session) : 0;
  if (count != 0) CpuCount = PacketProcessorCount();
  SetProcessEntries();
  int position = -1;
  for (int p = 0; p < ProcessList->GetCount() && position < 0; ++p) {
    if (IdentityOf(TesmarGetProcObject(Session, ProcessList->GetItemData(p))) == ShownProcess) {
      position = p;
    }
  }
  if (!ShownProcess.known || position < 0) return false;
  ProcessList->SetCurSel(position);
  ProcessIndex = ProcessList->GetItemData(position);
  FillThreadList(SelectedRecord());
  for (int t : selectedThreads) ThreadList->SetSel(t, true);
  if (caret >= 0) ThreadList->SetCaretIndex(caret);
  return true;
}

void CTesmarGuiDlg::FillThreadList(TesmarRecord* record) {
  DWORD processMask = TesmarGetProcAffin(record);
  ThreadList->ResetContent();
  if (!TesmarGetProcObject(Session, 0)) return;
  if (ThreadSlotsUnfilled(record)) return;
  LONG count = TesmarGetThreadCount(record);
  std::vector<ListEntry> entries;
  entries.reserve(static_cast<size_t>(std::max<LONG>(count, 0)));
  for (LONG t = 0; t < count; ++t) {
    DWORD thread = static_cast<DWORD>(t);
    entries.push_back({QStringLiteral("Thread %1\t").arg(t) +
                           FormatMask(TesmarGetThreadAffin(record, thread), CpuCount),
                       thread});
    DWORD previous = static_cast<DWORD>(TesmarGetprevIdealProcessor(record, thread));
    if (previous != kNoPreviousIdealProcessor) RoundRobinPreferredOff = 0;
    if (previous == CpuCount) RoundRobinPreferredOff = 1;
  }
  ThreadList->SetEntries(std::move(entries));

  if (TesmarGetProcId(record) == 0 || CpuCount == 1) return;
  // An empty process mask has no round-robin sequence: the box shows unchecked.
  RoundRobinSequence sequence(processMask);
  if (sequence.empty() || count <= 0) return;
  for (LONG t = 0; t < count; ++t) {
    if (TesmarGetThreadAffin(record, static_cast<DWORD>(t)) != ProcessorBit(sequence.Next())) {
      return;
    }
  }
  RoundRobinHardOff = 0;
}

void CTesmarGuiDlg::WarnEditIgnored() {
  DropEdits(false);
}

bool CTesmarGuiDlg::AnyPending() const {
  return RoundRobinHardPending || RoundRobinPreferredPending || BoostPending;
}

void CTesmarGuiDlg::DropEdits(bool pendingToo) {
  bool dropped = AffinityEdited != 0;
  AffinityEdited = 0;
  if (pendingToo && AnyPending()) {
    RoundRobinHardPending = 0;
    RoundRobinPreferredPending = 0;
    BoostPending = 0;
    dropped = true;
  }
  if (!dropped) return;
  ShowMessageBox(this, QStringLiteral("Affinity changes ignored unless you click on Apply\n"),
                 QString::fromLatin1(kHelpCaption), MB_OK | MB_ICONEXCLAMATION);
}

void CTesmarGuiDlg::ShowNoEntries() {
  for (int id : {IDC_REFRESH, IDC_END_PROCESS, IDC_DISABLE_BOOST, IDC_ROUND_ROBIN_HARD,
                 IDC_ROUND_ROBIN_PREFERRED, IDC_APPLY}) {
    controls_.Enable(id, false);
  }
  controls_.SetText(IDC_AFFINITY_GROUP, QStringLiteral("Affinity"));
  controls_.SetText(IDC_THREADS_LABEL, QStringLiteral("&Threads"));
  controls_.SetText(IDC_THREAD_COUNT, QStringLiteral(" "));
  for (int p = 0; p < kProcessorBoxes; ++p) {
    controls_.Check(IDC_PROCESSOR_FIRST + p, false);
    controls_.Enable(IDC_PROCESSOR_FIRST + p, false);
  }
  // No process is shown: nothing of the last one shown stays checked.
  for (int id : {IDC_ROUND_ROBIN_HARD, IDC_ROUND_ROBIN_PREFERRED, IDC_DISABLE_BOOST}) {
    controls_.Check(id, false);
  }
  ShowProcessPriority(controls_, nullptr);
}

void CTesmarGuiDlg::EnableThreadControls(bool enabled) {
  ThreadList->setEnabled(enabled);
  for (int id = IDC_THREAD_HIGHEST; id <= IDC_THREAD_IDLE; ++id) controls_.Enable(id, enabled);
}

void CTesmarGuiDlg::ShowColumnHeadings() {
  // Past sixteen processors the masks carry more columns than the headings name.
  QString heading = CpuCount > kProcessorBoxes
                        ? QStringLiteral("Affinity (P0 - P%1)").arg(CpuCount - 1)
                        : QStringLiteral("Affinity (P0 - P15)");
  controls_.SetText(IDC_PROCESS_AFFINITY_HEADING, heading);
  // The thread list's heading is the dialog's one IDC_STATIC label.
  controls_.SetText(IDC_STATIC, heading);
}

void CTesmarGuiDlg::ShowProcessSelection() {
  RoundRobinPreferredOff = 1;
  RoundRobinHardOff = 1;
  // Pending round-robin and boost changes belong to the process they were made for: showing
  // another one drops them, so that Apply never sends them for a process nobody chose.
  bool otherProcess = false;
  if (AnyPending()) {
    int shown = ProcessList->GetCount() == 0 ? -1 : std::max(ProcessList->GetCurSel(), 0);
    TesmarRecord* record =
        shown < 0 ? nullptr : TesmarGetProcObject(Session, ProcessList->GetItemData(shown));
    otherProcess = IdentityOf(record) != PendingFor;
  }
  DropEdits(otherProcess);
  if (ProcessList->GetCount() == 0) {
    ShownProcess = {};
    ShowNoEntries();
    return;
  }
  bool demo = ConnectionMode == 2;
  for (int id : {IDC_EDIT, IDC_ROUND_ROBIN_HARD, IDC_APPLY}) controls_.Enable(id, true);
  if (!demo) {
    for (int id : {IDC_REFRESH, IDC_ROUND_ROBIN_PREFERRED, IDC_DISABLE_BOOST}) {
      controls_.Enable(id, true);
    }
  }
  // End Process acts on this machine's processes: a remote record's id names another machine's.
  controls_.Enable(IDC_END_PROCESS, ConnectionMode == 0);

  int position = ProcessList->GetCurSel();
  if (position < 0) {
    ShowMessageBox(nullptr, QStringLiteral("GetCurSel failed in selchangelist1"),
                   QStringLiteral("Tesmar"), MB_OK | MB_ICONINFORMATION);
    ProcessList->SetCurSel(0);
    position = 0;
  }
  ProcessIndex = ProcessList->GetItemData(position);
  TesmarRecord* record = SelectedRecord();
  ShownProcess = IdentityOf(record);
  WorkingMask = TesmarGetProcAffin(record);

  DWORD boostDisabled = 0;
  DWORD boostQueryOk = static_cast<DWORD>(TesmarGetPriorityBoost(record, &boostDisabled));
  controls_.Check(IDC_DISABLE_BOOST, (boostQueryOk & boostDisabled) != 0);

  FillThreadList(record);
  EditProcess = true;
  CpuCount = PacketProcessorCount();
  ShowColumnHeadings();
  DWORD processMask = TesmarGetProcAffin(record);
  for (int p = 0; p < BoxesFor(CpuCount); ++p) {
    controls_.Enable(IDC_PROCESSOR_FIRST + p, true);
    controls_.Check(IDC_PROCESSOR_FIRST + p, (processMask & ProcessorBit(p)) != 0);
  }
  if (demo) RoundRobinPreferredOff = 1;
  controls_.Check(IDC_ROUND_ROBIN_PREFERRED, RoundRobinPreferredOff == 0);
  controls_.Check(IDC_ROUND_ROBIN_HARD, RoundRobinHardOff == 0);

  QString entry = ProcessList->GetText(position);
  controls_.SetText(IDC_AFFINITY_GROUP, QStringLiteral("Process Affinity (Hard) for \"") +
                                            TextBeforeTab(entry) + QStringLiteral("\""));

  // A record that stores too many threads has none to show or edit one by one.
  ThreadsUnrecorded = ThreadSlotsUnfilled(record);
  EnableThreadControls(!ThreadsUnrecorded);
  if (ThreadsUnrecorded) {
    controls_.Enable(IDC_ROUND_ROBIN_HARD, false);
    controls_.Enable(IDC_ROUND_ROBIN_PREFERRED, false);
    controls_.SetText(IDC_THREADS_LABEL, QStringLiteral("&Threads:"));
    controls_.SetText(IDC_THREAD_COUNT, QStringLiteral(">256"));
  } else {
    LONG threads = TesmarGetThreadCount(record);
    if (threads == 1) controls_.SetText(IDC_THREADS_LABEL, QStringLiteral("&Thread:"));
    if (threads > 1) controls_.SetText(IDC_THREADS_LABEL, QStringLiteral("&Threads:"));
    controls_.SetText(IDC_THREAD_COUNT, QString::number(threads));
  }
  ShowProcessPriority(controls_, record);
}

void CTesmarGuiDlg::ShowThreadSelection() {
  for (int id = IDC_THREAD_HIGHEST; id <= IDC_THREAD_IDLE; ++id) controls_.Check(id, false);
  EditProcess = false;
  WarnEditIgnored();
  if (ThreadList->GetCount() == 0) {
    controls_.Enable(IDC_REFRESH, false);
    controls_.Enable(IDC_END_PROCESS, false);
    return;
  }
  TesmarRecord* record = SelectedRecord();
  DWORD processMask = TesmarGetProcAffin(record);
  int boxes = BoxesFor(PacketProcessorCount());
  for (int p = 0; p < boxes; ++p) {
    controls_.Enable(IDC_PROCESSOR_FIRST + p, (processMask & ProcessorBit(p)) != 0);
  }
  controls_.Enable(IDC_EDIT, true);
  if (ConnectionMode != 2) controls_.Enable(IDC_REFRESH, true);

  ThreadIndex = ThreadList->GetCaretIndex();
  if (ThreadIndex < 0) {
    ThreadIndex = 0;
    controls_.Enable(IDC_REFRESH, false);
    controls_.SetText(IDC_AFFINITY_GROUP, QStringLiteral(" "));
    return;
  }
  WorkingMask = TesmarGetThreadAffin(record, static_cast<DWORD>(ThreadIndex));
  for (int p = 0; p < boxes; ++p) {
    controls_.Check(IDC_PROCESSOR_FIRST + p, (WorkingMask & ProcessorBit(p)) != 0);
  }
  LPCWSTR name = TesmarGetProcName(record);
  controls_.SetText(IDC_AFFINITY_GROUP, QStringLiteral("Thread Affinity (Hard) for \"") +
                                            TextBeforeTab(ThreadList->GetText(ThreadIndex)) +
                                            QStringLiteral("\"of \"") +
                                            QString::fromUtf16(name ? name : u"") +
                                            QStringLiteral("\""));
  ShowThreadPriority(controls_, record, static_cast<DWORD>(ThreadIndex));
}

}  // namespace tesmar::gui
