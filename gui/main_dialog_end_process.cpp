// End Process: the selected process of this machine, opened with the right to end it, ended on
// the operator's OK. The handle is bound to the process it opened, and the process behind the
// id must still carry the name the list showed, so that an id another process took since the
// list was filled is never ended.
#include <string>

#include "MyList.h"
#include "TesmarGuiDlg.h"
#include "message_box.h"
#include "platform/handles.h"
#include "platform/owned_handle.h"
#include "platform/process.h"
#include "platform/threading.h"

namespace tesmar::gui {
namespace {

constexpr char kCaption[] = "Tesmar";
constexpr DWORD kWaitBeforeFill = 1000;
constexpr UINT kExitCode = 99;  // not seen on Linux: a killed process has no exit code

// Whether the process behind the handle is named as the record that was shown.
bool NamedAs(HANDLE process, LPCWSTR shownName) {
  char16_t name[260] = {};
  DWORD length = GetModuleBaseNameW(process, nullptr, name, std::size(name));
  return length != 0 && shownName && std::u16string_view(name, length) == shownName;
}

}  // namespace

void CTesmarGuiDlg::OnEndProcess() {
  if (ProcessList->GetCount() == 0) return;
  int position = ProcessList->GetCurSel();
  if (position < 0) {
    position = 0;
    ProcessList->SetCurSel(position);
  }
  QString name = TextBeforeTab(ProcessList->GetText(position));
  TesmarRecord* record = TesmarGetProcObject(Session, ProcessList->GetItemData(position));
  LPCWSTR shownName = TesmarGetProcName(record);
  DWORD pid = TesmarGetProcId(record);
  QString quoted = QStringLiteral("\"") + name + QStringLiteral("\"");

  tesmar::platform::OwnedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
  if (!process || !NamedAs(process.get(), shownName)) {
    ShowMessageBox(nullptr, QStringLiteral("Can Not Terminate the Process ") + quoted,
                   QString::fromLatin1(kCaption), MB_ICONHAND);
    return;
  }
  int answer =
      ShowMessageBox(nullptr, QStringLiteral("Terminate Process ") + quoted + u'?',
                     QString::fromLatin1(kCaption), MB_OKCANCEL | MB_ICONHAND | MB_DEFBUTTON2);
  if (answer == IDOK) {
    // Through the handle: a process that ended while the question was open, and any process
    // that took its id since, is not reached.
    bool ended = NamedAs(process.get(), shownName) && TerminateProcess(process.get(), kExitCode);
    process.Reset();
    if (!ended) {
      ShowMessageBox(nullptr, QStringLiteral("Can not terminate this Process ") + quoted,
                     QString::fromLatin1(kCaption), MB_ICONINFORMATION);
    }
  }
  process.Reset();
  Sleep(kWaitBeforeFill);
  FillProcessList();
}

}  // namespace tesmar::gui
