#include "TesmarGuiDlg.h"

#include <QAbstractButton>

#include "DlgAddProcs.h"
#include "MyList.h"
#include "app_icon.h"
#include "control_colours.h"
#include "dialog_resources.h"
#include "main_dialog_ids.h"
#include "message_box.h"
#include "platform/process.h"
#include "system_text.h"

namespace tesmar::gui {

using namespace main_dialog;

namespace {

constexpr int kListTabStopDialogUnits = 120;
constexpr char kDemoSuffix[] = "Demo Mode";

}  // namespace

CTesmarGuiDlg::CTesmarGuiDlg(QWidget* parent) : QDialog(parent) {
  controls_ = BuildDialog(*this, MainDialogTemplate(),
                          [](const ControlTemplate& control, QWidget* dialog) -> ListBox* {
                            if (control.id != IDC_PROCESS_LIST) return nullptr;
                            return new MyList(control.style, dialog);
                          });
  ProcessList = controls_.Item<MyList>(IDC_PROCESS_LIST);
  ThreadList = controls_.Item<ListBox>(IDC_THREAD_LIST);
  WatchEditor = std::make_unique<CDlgAddProcs>();
  Icon = ApplicationIcon();
  // A minimize box and no maximize box; the size is fixed.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  ConnectEvents();
}

CTesmarGuiDlg::~CTesmarGuiDlg() = default;

void CTesmarGuiDlg::ConnectEvents() {
  connect(ProcessList, &ListBox::SelectionChanged, this, &CTesmarGuiDlg::ShowProcessSelection);
  connect(ProcessList, &ListBox::FocusGained, this, [this] {
    EditProcess = true;
    ShowProcessSelection();
  });
  connect(ThreadList, &ListBox::SelectionChanged, this, &CTesmarGuiDlg::ShowThreadSelection);
  connect(ThreadList, &ListBox::FocusGained, this, [this] {
    EditProcess = false;
    ShowThreadSelection();
  });
  connect(ProcessList, &ListBox::DoubleClicked, this, &CTesmarGuiDlg::OnEdit);
  connect(controls_.Item<QAbstractButton>(IDC_REFRESH), &QAbstractButton::clicked, this,
          &CTesmarGuiDlg::OnRefresh);
  connect(controls_.Item<QAbstractButton>(IDC_EDIT), &QAbstractButton::clicked, this,
          &CTesmarGuiDlg::OnEdit);
  for (int p = 0; p < kProcessorBoxes; ++p) {
    connect(controls_.Item<QAbstractButton>(IDC_PROCESSOR_FIRST + p), &QAbstractButton::clicked,
            this, [this, p] { OnProcessorBox(p); });
  }
  for (int id : {IDC_ROUND_ROBIN_HARD, IDC_ROUND_ROBIN_PREFERRED, IDC_DISABLE_BOOST}) {
    connect(controls_.Item<QAbstractButton>(id), &QAbstractButton::clicked, this,
            [this, id] { OnPendingBox(id); });
  }
  connect(controls_.Item<QAbstractButton>(IDC_APPLY), &QAbstractButton::clicked, this,
          &CTesmarGuiDlg::OnApply);
  struct ClassRadio {
    int id;
    DWORD priorityClass;
  };
  for (ClassRadio radio :
       {ClassRadio{IDC_CLASS_REAL_TIME, 256}, ClassRadio{IDC_CLASS_VERY_HIGH, 128},
        ClassRadio{IDC_CLASS_NORMAL, 32}, ClassRadio{IDC_CLASS_IDLE, 64}}) {
    connect(controls_.Item<QAbstractButton>(radio.id), &QAbstractButton::clicked, this,
            [this, radio] { OnPriorityClass(radio.priorityClass, radio.id); });
  }
  struct ThreadRadio {
    int id;
    LONG priority;
  };
  for (ThreadRadio radio :
       {ThreadRadio{IDC_THREAD_HIGHEST, 2}, ThreadRadio{IDC_THREAD_ABOVE_NORMAL, 1},
        ThreadRadio{IDC_THREAD_NORMAL, 0}, ThreadRadio{IDC_THREAD_BELOW_NORMAL, -1},
        ThreadRadio{IDC_THREAD_IDLE, -15}}) {
    connect(controls_.Item<QAbstractButton>(radio.id), &QAbstractButton::clicked, this,
            [this, radio] { OnThreadPriority(radio.priority, radio.id); });
  }
  struct Command {
    int id;
    void (CTesmarGuiDlg::*handler)();
  };
  for (Command command :
       {Command{IDC_SELECT_COMPUTER, &CTesmarGuiDlg::OnSelectComputer},
        Command{IDC_END_PROCESS, &CTesmarGuiDlg::OnEndProcess},
        Command{IDC_PERFMON, &CTesmarGuiDlg::OnPerfMon}, Command{IDC_HELP, &CTesmarGuiDlg::OnHelp},
        Command{IDC_ABOUT, &CTesmarGuiDlg::OnAbout}}) {
    connect(controls_.Item<QAbstractButton>(command.id), &QAbstractButton::clicked, this,
            command.handler);
  }
  // Exit is the toolkit's OK.
  connect(controls_.Item<QAbstractButton>(IDC_EXIT), &QAbstractButton::clicked, this,
          [this] { done(IDOK); });
}

bool CTesmarGuiDlg::OnInitDialog() {
  setWindowIcon(Icon);
  ApplyMainDialogColours(controls_);
  QString title = windowTitle();
  LocalComputerName = tesmar::gui::LocalComputerName();
  switch (ConnectionMode) {
    case 0: {
      title += QStringLiteral(" - ") + LocalComputerName;
      SYSTEM_INFO system{};
      GetSystemInfo(&system);
      CpuCount = system.dwNumberOfProcessors;
      break;
    }
    case 1:
      OnSelectComputer();
      if (RemoteSelectFailed) {
        done(IDCANCEL);
        return false;
      }
      title += QStringLiteral(" - ") + RemoteComputerName;
      break;
    case 2:
      controls_.Enable(IDC_SELECT_COMPUTER, false);
      controls_.Enable(IDC_REFRESH, false);
      // What a demo session cannot do stays disabled also when the first fill finds entries
      // (selections never enable it in this mode).
      for (int id : {IDC_END_PROCESS, IDC_ROUND_ROBIN_PREFERRED, IDC_DISABLE_BOOST}) {
        controls_.Enable(id, false);
      }
      title += QStringLiteral(" - ") + QString::fromLatin1(kDemoSuffix);
      CpuCount = 16;
      break;
    default:
      ShowApplicationMessageBox(QStringLiteral("Never!"), MB_OK);
      break;
  }
  setWindowTitle(title);
  if (ConnectionMode >= 0 && ConnectionMode <= 2) SetEditorTitleSuffix();

  int tabStop = UnitsOf(*this).ToPixelsX(kListTabStopDialogUnits);
  ProcessList->SetTabStop(tabStop);
  ThreadList->SetTabStop(tabStop);
  for (int p = 0; p < kProcessorBoxes; ++p) controls_.Enable(IDC_PROCESSOR_FIRST + p, false);
  controls_.Enable(IDC_REFRESH, false);
  controls_.Enable(IDC_APPLY, false);

  TesmarRefresh(Session);
  WatchEditor->EditorSession = Session;
  FillProcessList();
  return true;
}

int CTesmarGuiDlg::DoModal() {
  if (!OnInitDialog()) return result();
  return exec();
}

void CTesmarGuiDlg::OnRefresh() {
  AffinityEdited = 0;
  WorkingMask = 0;
  ProcessIndex = 0;
  ListPosition = 0;
  FillProcessList();
}

void CTesmarGuiDlg::SetEditorTitleSuffix() {
  switch (ConnectionMode) {
    case 0:
      WatchEditor->TitleSuffix = LocalComputerName;
      break;
    case 1:
      WatchEditor->TitleSuffix = RemoteComputerName;
      break;
    case 2:
      WatchEditor->TitleSuffix = QString::fromLatin1(kDemoSuffix);
      break;
    default:
      ShowApplicationMessageBox(QStringLiteral("Never!"), MB_OK);
      break;
  }
}

void CTesmarGuiDlg::OnEdit() {
  SetEditorTitleSuffix();
  WatchEditor->EditorSession = Session;
  int result = WatchEditor->DoModal();
  if (result != IDOK && WatchEditor->RefreshFailed) {
    done(0);
    return;
  }
  FillProcessList();
}

void CTesmarGuiDlg::OnProcessorBox(int processor) {
  DWORD bit = DWORD{1} << processor;
  if (controls_.IsChecked(IDC_PROCESSOR_FIRST + processor)) {
    WorkingMask |= bit;
  } else {
    WorkingMask &= ~bit;
  }
  AffinityEdited = 1;
}

void CTesmarGuiDlg::OnPendingBox(int id) {
  if (id == IDC_ROUND_ROBIN_HARD) RoundRobinHardPending = 1;
  if (id == IDC_ROUND_ROBIN_PREFERRED) RoundRobinPreferredPending = 1;
  if (id == IDC_DISABLE_BOOST) BoostPending = 1;
  PendingFor = ShownProcess;
}

}  // namespace tesmar::gui
