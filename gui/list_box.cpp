#include "list_box.h"

#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <algorithm>

#include "dialog_template.h"
#include "tab_stop_delegate.h"

namespace tesmar::gui {

ListBox::ListBox(uint32_t style, QWidget* parent)
    : QListView(parent), model_((style & LBS_SORT) != 0) {
  setModel(&model_);
  setSelectionMode((style & LBS_EXTENDEDSEL) ? QAbstractItemView::ExtendedSelection
                                             : QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setItemDelegate(new TabStopDelegate(this));
}

void ListBox::SetTabStop(int pixels) {
  tabStop_ = pixels;
  MeasureEntries();
}

void ListBox::ResetContent() {
  model_.Clear();
  widestEntry_ = 0;
}

int ListBox::AddString(const QString& text, DWORD data) {
  int position = model_.Add({text, data});
  widestEntry_ = std::max(widestEntry_, TabStopDelegate::TextWidth(fontMetrics(), text, tabStop_));
  return position;
}

void ListBox::DeleteString(int position) {
  if (position < 0 || position >= GetCount()) return;
  model_.Remove(position);
}

void ListBox::SetEntries(std::vector<ListEntry> entries) {
  model_.Replace(std::move(entries));
  MeasureEntries();
}

void ListBox::MeasureEntries() {
  QFontMetrics metrics = fontMetrics();
  widestEntry_ = 0;
  for (int i = 0; i < model_.count(); ++i) {
    widestEntry_ =
        std::max(widestEntry_, TabStopDelegate::TextWidth(metrics, GetText(i), tabStop_));
  }
}

int ListBox::GetCurSel() const {
  std::vector<int> selected = GetSelItems();
  return selected.empty() ? -1 : selected.front();
}

bool ListBox::SetCurSel(int position) {
  if (position < -1 || position >= GetCount()) return false;
  if (position == -1) {
    selectionModel()->clear();
    return true;
  }
  QModelIndex index = model_.index(position);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
  return true;
}

void ListBox::SetSel(int position, bool select) {
  if (position < 0 || position >= GetCount()) return;
  selectionModel()->select(model_.index(position),
                           select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void ListBox::SetCaretIndex(int position) {
  if (position < 0 || position >= GetCount()) return;
  selectionModel()->setCurrentIndex(model_.index(position), QItemSelectionModel::NoUpdate);
}

int ListBox::GetCaretIndex() const {
  QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

std::vector<int> ListBox::GetSelItems() const {
  std::vector<int> positions;
  for (const QModelIndex& index : selectionModel()->selectedRows())
    positions.push_back(index.row());
  std::sort(positions.begin(), positions.end());
  return positions;
}

ListBox::SelectionState ListBox::CurrentSelectionState() const {
  return {GetCaretIndex(), GetSelItems()};
}

template <typename Input>
void ListBox::Notifying(Input input) {
  SelectionState before = CurrentSelectionState();
  input();
  if (CurrentSelectionState() != before) emit SelectionChanged();
}

void ListBox::focusInEvent(QFocusEvent* event) {
  QListView::focusInEvent(event);
  // The operator moved the focus here; a window coming back to the front does not count.
  switch (event->reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
      emit FocusGained();
      break;
    default:
      break;
  }
}

void ListBox::mousePressEvent(QMouseEvent* event) {
  Notifying([&] { QListView::mousePressEvent(event); });
}

void ListBox::mouseMoveEvent(QMouseEvent* event) {
  Notifying([&] { QListView::mouseMoveEvent(event); });
}

void ListBox::mouseReleaseEvent(QMouseEvent* event) {
  Notifying([&] { QListView::mouseReleaseEvent(event); });
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  Notifying([&] { QListView::mouseDoubleClickEvent(event); });
  if (indexAt(event->position().toPoint()).isValid()) emit DoubleClicked();
}

void ListBox::keyPressEvent(QKeyEvent* event) {
  Notifying([&] { QListView::keyPressEvent(event); });
}

QString TextBeforeTab(const QString& text) {
  qsizetype tab = text.indexOf(u'\t');
  return tab < 0 ? text : text.left(tab);
}

}  // namespace tesmar::gui
