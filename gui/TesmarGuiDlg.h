// The main dialog: the watched processes of the connected machine with their affinity masks, the
// threads of the selected one, the processor boxes P0 to P15 for the selected process or the
// current thread, and the round-robin and boost state of the process.
//
// Every handler runs on an operator's action only; what the program changes in the controls
// notifies nobody. The state lives in the members below, named as the dialog's design names
// them.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>

#include "TesmarApi.h"
#include "dialog_builder.h"
#include "process_identity.h"

namespace tesmar::gui {

class CDlgAddProcs;
class MyList;
class ListBox;
class RoundRobinSequence;

class CTesmarGuiDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CTesmarGuiDlg(QWidget* parent = nullptr);
  ~CTesmarGuiDlg() override;

  // Set by the application before the dialog runs; Session is read back after it ended.
  TesmarSession* Session = nullptr;
  INT ConnectionMode = 0;

  // The dialog's initialisation; false when the dialog ended during it.
  bool OnInitDialog();
  // OnInitDialog, then the dialog modally: IDOK, IDCANCEL or 0.
  int DoModal();

  // Operations the commands share.
  // Refreshes the session's copy, then FillFromCopy.
  void FillProcessList();
  // Both lists from the copy the session holds, the first entry shown.
  void FillFromCopy();
  void FillThreadList(TesmarRecord* record);
  void ShowProcessSelection();
  void ShowThreadSelection();

  // Commands.
  void OnRefresh();
  // Runs the watch-list editor, then fills the lists again (or ends the dialog with 0 when the
  // editor could not refresh).
  void OnEdit();
  void OnProcessorBox(int processor);
  // A click on Round-Robin Hard, Round-Robin Preferred or Disable Priority Boost: marks the box
  // pending for the process shown.
  void OnPendingBox(int id);
  // Apply: the pending steps in their order, each its own request, then a fill.
  void OnApply();
  void ApplyAffinity();
  void ApplyRoundRobinHard(bool on);
  void ApplyRoundRobinPreferred(bool on);
  void ApplyBoost(bool disable);
  // A click on a class radio (asks first) or a thread-priority radio: sent at once, read back.
  void OnPriorityClass(DWORD priorityClass, int radio);
  void OnThreadPriority(LONG priority, int radio);
  // The system's text for the error, then the dialog ends with 0.
  void ShowUpdateError(DWORD error);
  // Connects to the computer the operator chooses; the connection stays as it was when none
  // is chosen or the new one fails (RemoteSelectFailed set).
  void OnSelectComputer();
  // Ends the selected process after a question: on this machine only, refused where this user
  // may not end it and where its id now names a process of another name.
  void OnEndProcess();
  // Starts the desktop's system monitor, the first of perfmon.h's that is installed.
  void OnPerfMon();
  void OnHelp();
  void OnAbout();
  // A window-menu command (the context menu stands in for the window menu).
  void OnSysCommand(unsigned command);

  const DialogControls& controls() const { return controls_; }
  CDlgAddProcs& watchEditor() const { return *WatchEditor; }
  MyList& processList() const { return *ProcessList; }
  ListBox& threadList() const { return *ThreadList; }

  // State, for the commands of the dialog and for what a test checks.
  QString LocalComputerName;
  QString RemoteComputerName;
  int RemoteSelectFailed = 0;
  DWORD CpuCount = 0;
  int AffinityEdited = 0;
  DWORD WorkingMask = 0;
  DWORD ProcessIndex = 0;
  int ListPosition = 0;
  int ThreadIndex = 0;
  bool EditProcess = true;
  int RoundRobinHardOff = 1;
  int RoundRobinPreferredOff = 1;
  int RoundRobinHardPending = 0;
  int RoundRobinPreferredPending = 0;
  int BoostPending = 0;
  // A request of the running command failed: the dialog is ending and sends nothing more.
  int UpdateFailed = 0;
  // The process the boxes and lists show, and the one the pending round-robin and boost
  // changes were made for.
  ProcessIdentity ShownProcess;
  ProcessIdentity PendingFor;
  QIcon Icon;

  // The window-menu command of the about item.
  static constexpr unsigned kAboutCommand = 16;

 protected:
  void reject() override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ConnectEvents();
  void ShowNoEntries();
  // The record at ProcessIndex; null without a copy.
  TesmarRecord* SelectedRecord() const;
  // The processors the packet reports, at most the 32 a mask holds.
  DWORD PacketProcessorCount() const;
  // Processor boxes that stand for processors: at most the sixteen there are.
  static int BoxesFor(DWORD processorCount);
  void ShowColumnHeadings();
  void EnableThreadControls(bool enabled);
  void WarnEditIgnored();
  // Drops an unapplied mask edit, and the pending round-robin and boost changes too when
  // pendingToo; one message when anything was dropped.
  void DropEdits(bool pendingToo);
  bool AnyPending() const;
  // The process list from the copy, in sorted order, nothing selected or shown.
  void SetProcessEntries();
  // After a refresh: both lists from the new copy, the process shown before selected again
  // (ProcessIndex naming its record in the new copy) and the thread selection kept; false when
  // that process is no longer in the copy.
  bool ReselectShownProcess();
  // TesmarUpdate; on a failure ShowUpdateError and false.
  bool SendUpdate();
  void RefuseZeroMask();
  void RefuseOneProcessor();
  // What a round-robin box sets in one thread of the record walked, given the process's mask and
  // the walk's sequence over it.
  using RoundRobinStep = std::function<void(TesmarRecord* record, DWORD thread, DWORD processMask,
                                            RoundRobinSequence& sequence)>;
  // The Apply step both round-robin boxes share: with one processor the box unchecked, refused
  // (and the process shown again where showAgainWhenRefused); with no processor in the process's
  // mask refused; otherwise setThread for each thread in turn and the request sent. pending is
  // cleared either way. The record walked, or null when refused.
  TesmarRecord* ApplyRoundRobin(int box, int& pending, bool showAgainWhenRefused,
                                const RoundRobinStep& setThread);
  // The editor's caption ending for the connection mode.
  void SetEditorTitleSuffix();

  DialogControls controls_;
  // Made with the dialog and run each time the operator edits the watch list; no parent, as a
  // dialog of its own.
  std::unique_ptr<CDlgAddProcs> WatchEditor;
  MyList* ProcessList = nullptr;
  ListBox* ThreadList = nullptr;
  // The record shown stores more threads than a record holds: its thread slots are not filled.
  bool ThreadsUnrecorded = false;
};

}  // namespace tesmar::gui
