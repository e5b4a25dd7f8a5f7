// A list box as a dialog knows it: entries with item values, one or many selected, a tab stop
// that lines the text after a tab up in a column, and notifications that come from the
// operator alone (a change the program makes notifies nobody, as LB_SETCURSEL does not).
#pragma once

#include <QListView>
#include <utility>
#include <vector>

#include "list_box_model.h"

namespace tesmar::gui {

class ListBox : public QListView {
  Q_OBJECT

 public:
  // style: the template's LBS_ flags (sorted, extended selection).
  ListBox(uint32_t style, QWidget* parent);

  // The x of the tab column, in pixels from the start of the text.
  void SetTabStop(int pixels);
  int tabStop() const { return tabStop_; }

  void ResetContent();
  int AddString(const QString& text, DWORD data = 0);
  void DeleteString(int position);
  // Replaces every entry at once (sorted when the list sorts).
  void SetEntries(std::vector<ListEntry> entries);

  int GetCount() const { return model_.count(); }
  QString GetText(int position) const { return model_.at(position).text; }
  DWORD GetItemData(int position) const { return model_.at(position).data; }
  void SetItemData(int position, DWORD data) { model_.SetData(position, data); }
  // The selected entry of a single-selection list; -1 for none.
  int GetCurSel() const;
  // Selects the entry (and makes it current); -1 clears. False for a position out of range.
  bool SetCurSel(int position);
  // Selects or deselects one entry of a multiple-selection list, leaving the others as they are.
  void SetSel(int position, bool select);
  // Moves the focus frame to the entry without changing the selection.
  void SetCaretIndex(int position);
  // The entry with the focus frame; -1 for none.
  int GetCaretIndex() const;
  // The selected positions, ascending.
  std::vector<int> GetSelItems() const;

  // The widest entry, for the horizontal extent.
  int widestEntry() const { return widestEntry_; }

 signals:
  void SelectionChanged();
  void DoubleClicked();
  void FocusGained();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  using SelectionState = std::pair<int, std::vector<int>>;
  SelectionState CurrentSelectionState() const;
  // Runs an operator's input and notifies once when it changed the selection or the caret.
  template <typename Input>
  void Notifying(Input input);
  void MeasureEntries();

  ListBoxModel model_;
  int tabStop_ = 0;
  int widestEntry_ = 0;
};

// An entry's text up to its first tab: what stands before the tab column.
QString TextBeforeTab(const QString& text);

}  // namespace tesmar::gui
