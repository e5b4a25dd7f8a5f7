// The watch-list editor: every named process of a fresh copy in one of two lists, watched on the
// left and not watched on the right; the operator moves entries across, and Continue writes the
// Watched flags into the session's copy and sends it. Cancel writes nothing.
#pragma once

#include <QDialog>
#include <QString>

#include "TesmarApi.h"
#include "dialog_builder.h"

namespace tesmar::gui {

class ListBox;

class CDlgAddProcs : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgAddProcs(QWidget* parent = nullptr);

  // Set by the main dialog: the session it shares (not owned) and the caption's ending.
  TesmarSession* EditorSession = nullptr;
  QString TitleSuffix;

  // Refreshes the copy and fills both lists; false when the refresh failed and the dialog
  // ended with IDCANCEL.
  bool OnInitDialog();
  // Both lists from the session's copy as it is.
  void FillFromCopy();
  // OnInitDialog, then the dialog modally: IDOK or IDCANCEL.
  int DoModal();

  void OnAddProcesses();
  void OnDeleteProcesses();
  void OnEditorHelp();

  const DialogControls& controls() const { return controls_; }
  ListBox& watchedList() const { return *WatchedList; }
  ListBox& unwatchedList() const { return *UnwatchedList; }

  int WatchedCount = 0;
  int UnwatchedCount = 0;
  int RefreshFailed = 0;

 protected:
  void accept() override;

 private:
  // Moves the selected entries of `from` to `to`; counts follow.
  void MoveSelected(ListBox& from, ListBox& to, int& fromCount, int& toCount);
  void EnableMoves();

  DialogControls controls_;
  ListBox* WatchedList = nullptr;
  ListBox* UnwatchedList = nullptr;
};

}  // namespace tesmar::gui
