#include "DlgAddProcs.h"

#include <QAbstractButton>
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "dialog_resources.h"
#include "editor_dialog_ids.h"
#include "list_box.h"
#include "message_box.h"
#include "system_text.h"

namespace tesmar::gui {
namespace {

using namespace editor_dialog;

constexpr char kHelpCaption[] = "Tesmar - Online Help";
constexpr char kHelpText[] =
    "The listbox on the left, \"Watch These Processes\", contains the list of processes that you "
    "want to change affinity. The listbox on the right contains the remaining processes. Move "
    "processes from one list to the other by selecting the process, then clicking either \"Add\" "
    "or \"Delete\".";

QString EditorEntryText(TesmarRecord* record) {
  return QString::fromUtf16(TesmarGetProcName(record)) +
         QStringLiteral(" (0x%1)").arg(TesmarGetProcId(record), 0, 16);
}

}  // namespace

CDlgAddProcs::CDlgAddProcs(QWidget* parent) : QDialog(parent) {
  controls_ = BuildDialog(*this, EditorDialogTemplate());
  WatchedList = controls_.Item<ListBox>(IDC_WATCHED_LIST);
  UnwatchedList = controls_.Item<ListBox>(IDC_UNWATCHED_LIST);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  connect(controls_.Item<QAbstractButton>(IDC_ADD), &QAbstractButton::clicked, this,
          &CDlgAddProcs::OnAddProcesses);
  connect(UnwatchedList, &ListBox::DoubleClicked, this, &CDlgAddProcs::OnAddProcesses);
  connect(controls_.Item<QAbstractButton>(IDC_DELETE), &QAbstractButton::clicked, this,
          &CDlgAddProcs::OnDeleteProcesses);
  connect(WatchedList, &ListBox::DoubleClicked, this, &CDlgAddProcs::OnDeleteProcesses);
  connect(controls_.Item<QAbstractButton>(IDC_EDITOR_HELP), &QAbstractButton::clicked, this,
          &CDlgAddProcs::OnEditorHelp);
  connect(controls_.Item<QAbstractButton>(IDC_CONTINUE), &QAbstractButton::clicked, this,
          &CDlgAddProcs::accept);
  connect(controls_.Item<QAbstractButton>(IDC_CANCEL), &QAbstractButton::clicked, this,
          &CDlgAddProcs::reject);
}

bool CDlgAddProcs::OnInitDialog() {
  setWindowTitle(QString::fromUtf8(EditorDialogTemplate().title) + QStringLiteral(" - ") +
                 TitleSuffix);
  WatchedCount = 0;
  UnwatchedCount = 0;
  RefreshFailed = 0;
  WatchedList->ResetContent();
  UnwatchedList->ResetContent();
  controls_.Enable(IDC_DELETE, false);
  controls_.Enable(IDC_ADD, false);
  if (INT error = TesmarRefresh(EditorSession)) {
    ShowApplicationMessageBox(SystemMessageText(static_cast<DWORD>(error)), MB_OK);
    RefreshFailed = 1;
    done(IDCANCEL);
    return false;
  }
  FillFromCopy();
  // The toolkit's default focus: the first control that takes it.
  WatchedList->setFocus(Qt::OtherFocusReason);
  return true;
}

void CDlgAddProcs::FillFromCopy() {
  // Filled in one go each: thousands of processes cost one sort, not one insertion apiece.
  std::vector<ListEntry> watched, unwatched;
  DWORD count = TesmarGetProcessCount(EditorSession);
  for (DWORD i = 0; i < count; ++i) {
    TesmarRecord* record = TesmarGetProcObject(EditorSession, i);
    if (!record) continue;
    LPCWSTR name = TesmarGetProcName(record);
    if (!name || name[0] == u'\0') continue;
    (TesmarGetWatchList(record) ? watched : unwatched).push_back({EditorEntryText(record), i});
  }
  WatchedCount = static_cast<int>(watched.size());
  UnwatchedCount = static_cast<int>(unwatched.size());
  WatchedList->SetEntries(std::move(watched));
  UnwatchedList->SetEntries(std::move(unwatched));
  controls_.Enable(IDC_DELETE, WatchedCount > 0);
  controls_.Enable(IDC_ADD, UnwatchedCount > 0);
}

int CDlgAddProcs::DoModal() {
  if (!OnInitDialog()) return result();
  return exec();
}

void CDlgAddProcs::MoveSelected(ListBox& from, ListBox& to, int& fromCount, int& toCount) {
  std::vector<int> positions = from.GetSelItems();
  if (positions.empty()) {
    ShowMessageBox(this, QStringLiteral("First select a process."),
                   QString::fromLatin1(kHelpCaption), MB_OK | MB_ICONINFORMATION);
    return;
  }
  // The moved entries join the other list in sorted order with their record indices; what was
  // selected there stays selected, as each added string leaves the others' state alone.
  std::unordered_set<DWORD> keptSelected;
  for (int p : to.GetSelItems()) keptSelected.insert(to.GetItemData(p));
  std::vector<ListEntry> joined, left;
  joined.reserve(static_cast<size_t>(to.GetCount()) + positions.size());
  for (int p = 0; p < to.GetCount(); ++p) joined.push_back({to.GetText(p), to.GetItemData(p)});
  size_t next = 0;
  for (int p = 0; p < from.GetCount(); ++p) {
    ListEntry entry{from.GetText(p), from.GetItemData(p)};
    if (next < positions.size() && positions[next] == p) {
      joined.push_back(std::move(entry));
      ++next;
    } else {
      left.push_back(std::move(entry));
    }
  }
  int moved = static_cast<int>(positions.size());
  toCount += moved;
  fromCount -= moved;
  to.SetEntries(std::move(joined));
  from.SetEntries(std::move(left));
  for (int p = 0; p < to.GetCount(); ++p) {
    if (keptSelected.count(to.GetItemData(p))) to.SetSel(p, true);
  }
}

void CDlgAddProcs::EnableMoves() {
  if (WatchedCount >= 1) controls_.Enable(IDC_DELETE, true);
  if (WatchedCount == 0) controls_.Enable(IDC_DELETE, false);
  if (UnwatchedCount >= 1) controls_.Enable(IDC_ADD, true);
  if (UnwatchedCount == 0) controls_.Enable(IDC_ADD, false);
}

void CDlgAddProcs::OnAddProcesses() {
  MoveSelected(*UnwatchedList, *WatchedList, UnwatchedCount, WatchedCount);
  EnableMoves();
}

void CDlgAddProcs::OnDeleteProcesses() {
  MoveSelected(*WatchedList, *UnwatchedList, WatchedCount, UnwatchedCount);
  EnableMoves();
}

void CDlgAddProcs::OnEditorHelp() {
  ShowMessageBox(this, QString::fromLatin1(kHelpText), QString::fromLatin1(kHelpCaption),
                 MB_OK | MB_ICONINFORMATION);
}

void CDlgAddProcs::accept() {
  DWORD count = TesmarGetProcessCount(EditorSession);
  for (DWORD i = 0; i < count; ++i) TesmarSetWatchList(TesmarGetProcObject(EditorSession, i), 0);
  for (int p = 0; p < WatchedList->GetCount(); ++p) {
    TesmarSetWatchList(TesmarGetProcObject(EditorSession, WatchedList->GetItemData(p)), 1);
  }
  // What the service made of it shows in the main dialog's fill that follows.
  TesmarUpdate(EditorSession);
  done(IDOK);
}

}  // namespace tesmar::gui
