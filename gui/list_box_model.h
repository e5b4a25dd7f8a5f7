// The entries of a list box: a text and a 32-bit item value each, optionally kept in sorted
// order. Filling swaps in a whole vector at once, so thousands of entries cost one reset of the
// view instead of one insertion each.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

#include "platform/win32_types.h"

namespace tesmar::gui {

struct ListEntry {
  QString text;
  DWORD data = 0;
};

class ListBoxModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit ListBoxModel(bool sorted, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  int count() const { return static_cast<int>(entries_.size()); }
  const ListEntry& at(int position) const { return entries_[static_cast<size_t>(position)]; }

  void Clear();
  // The position the entry took: the end, or its place in sorted order.
  int Add(ListEntry entry);
  void Remove(int position);
  void SetData(int position, DWORD data) { entries_[static_cast<size_t>(position)].data = data; }
  // Replaces every entry; sorts them when the list is sorted.
  void Replace(std::vector<ListEntry> entries);

  // The order of a sorted list: by text without regard to case, then by case; equal texts keep
  // the order in which they came.
  static bool Before(const QString& first, const QString& second);

 private:
  bool sorted_;
  std::vector<ListEntry> entries_;
};

}  // namespace tesmar::gui
