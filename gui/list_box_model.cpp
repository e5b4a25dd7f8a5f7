#include "list_box_model.h"

#include <algorithm>

namespace tesmar::gui {

ListBoxModel::ListBoxModel(bool sorted, QObject* parent)
    : QAbstractListModel(parent), sorted_(sorted) {}

int ListBoxModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count();
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count()) return {};
  const ListEntry& entry = at(index.row());
  if (role == Qt::DisplayRole) return entry.text;
  if (role == Qt::UserRole) return static_cast<uint>(entry.data);
  return {};
}

bool ListBoxModel::Before(const QString& first, const QString& second) {
  int folded = QString::compare(first, second, Qt::CaseInsensitive);
  if (folded != 0) return folded < 0;
  return QString::compare(first, second, Qt::CaseSensitive) < 0;
}

void ListBoxModel::Clear() {
  if (entries_.empty()) return;
  beginResetModel();
  entries_.clear();
  endResetModel();
}

int ListBoxModel::Add(ListEntry entry) {
  auto place = entries_.end();
  if (sorted_) {
    place = std::upper_bound(
        entries_.begin(), entries_.end(), entry,
        [](const ListEntry& a, const ListEntry& b) { return Before(a.text, b.text); });
  }
  int position = static_cast<int>(place - entries_.begin());
  beginInsertRows(QModelIndex(), position, position);
  entries_.insert(place, std::move(entry));
  endInsertRows();
  return position;
}

void ListBoxModel::Remove(int position) {
  beginRemoveRows(QModelIndex(), position, position);
  entries_.erase(entries_.begin() + position);
  endRemoveRows();
}

void ListBoxModel::Replace(std::vector<ListEntry> entries) {
  if (sorted_) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ListEntry& a, const ListEntry& b) { return Before(a.text, b.text); });
  }
  beginResetModel();
  entries_ = std::move(entries);
  endResetModel();
}

}  // namespace tesmar::gui
