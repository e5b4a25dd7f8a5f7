#include "tab_stop_delegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

#include "list_box.h"

namespace tesmar::gui {

TabStopDelegate::TabStopDelegate(ListBox* list) : QStyledItemDelegate(list), list_(list) {}

int TabStopDelegate::ColumnStart(const QFontMetrics& metrics, const QString& text, int tabStop) {
  qsizetype tab = text.indexOf(u'\t');
  if (tab < 0) return 0;
  // Text that runs past the tab stop pushes the column out by a blank, as a tab past the last
  // stop would.
  int before = metrics.horizontalAdvance(text.left(tab));
  return std::max(tabStop, before + metrics.horizontalAdvance(u' '));
}

int TabStopDelegate::TextWidth(const QFontMetrics& metrics, const QString& text, int tabStop) {
  qsizetype tab = text.indexOf(u'\t');
  if (tab < 0) return metrics.horizontalAdvance(text) + 2 * kTextMargin;
  return ColumnStart(metrics, text, tabStop) + metrics.horizontalAdvance(text.mid(tab + 1)) +
         2 * kTextMargin;
}

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  QString text = item.text;
  item.text.clear();
  const QWidget* widget = item.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  // Background, selection and focus frame as the style draws them, then the text by hand.
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

  bool selected = item.state & QStyle::State_Selected;
  QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                               : (item.state & QStyle::State_Active) ? QPalette::Active
                                                                     : QPalette::Inactive;
  painter->save();
  painter->setFont(item.font);
  painter->setPen(item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  QRect area = item.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
  qsizetype tab = text.indexOf(u'\t');
  QFontMetrics metrics(item.font);
  int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
  painter->drawText(area, flags, tab < 0 ? text : text.left(tab));
  if (tab >= 0) {
    QRect column = area.adjusted(ColumnStart(metrics, text, list_->tabStop()), 0, 0, 0);
    painter->drawText(column, flags, text.mid(tab + 1));
  }
  painter->restore();
}

QSize TabStopDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  // Every entry as wide as the widest, so that the uniform sizes of the view give the horizontal
  // extent of all of them.
  QFontMetrics metrics(option.font);
  return QSize(list_->widestEntry(), metrics.height());
}

}  // namespace tesmar::gui
