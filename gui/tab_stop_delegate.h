// Draws a list entry whose text holds a tab: the part before the tab at the left, the part after
// it at the list's tab stop, so that the columns of all entries line up under their headings.
#pragma once

#include <QFontMetrics>
#include <QStyledItemDelegate>

namespace tesmar::gui {

class ListBox;

class TabStopDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit TabStopDelegate(ListBox* list);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // Where the text after the tab starts, and how wide the whole entry is, in pixels from the
  // start of the text.
  static int ColumnStart(const QFontMetrics& metrics, const QString& text, int tabStop);
  static int TextWidth(const QFontMetrics& metrics, const QString& text, int tabStop);

  // Space between the border of an entry and its text.
  static constexpr int kTextMargin = 2;

 private:
  ListBox* list_;
};

}  // namespace tesmar::gui
