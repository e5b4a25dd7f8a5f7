#include "publication_history.h"

#include <algorithm>

#include "packet/fingerprint.h"
#include "packet/packet_view.h"

namespace tesmar::service {

uint64_t NameKey(const packet::ProcessRecord& record) {
  std::u16string_view name = packet::RecordName(record);
  return packet::Fingerprint(name.data(), name.size() * sizeof(char16_t));
}

uint64_t RecordFingerprint(const packet::ProcessRecord& record) {
  return packet::Fingerprint(&record, sizeof record);
}

Publication::Publication(DWORD serial, std::vector<PublishedProcess> processes)
    : serial_(serial), processes_(std::move(processes)) {
  std::stable_sort(processes_.begin(), processes_.end(),
                   [](const PublishedProcess& a, const PublishedProcess& b) {
                     return a.processId < b.processId;
                   });
}

const PublishedProcess* Publication::Find(const packet::ProcessRecord& record) const {
  auto first = std::lower_bound(
      processes_.begin(), processes_.end(), record.ProcId,
      [](const PublishedProcess& process, uint32_t id) { return process.processId < id; });
  uint64_t name = NameKey(record);
  for (auto it = first; it != processes_.end() && it->processId == record.ProcId; ++it) {
    if (it->nameKey == name) return &*it;
  }
  return nullptr;
}

void PublicationHistory::Remember(Publication publication) {
  if (!kept_.empty() && kept_.back().serial() == publication.serial()) {
    records_ -= kept_.back().size();
    kept_.pop_back();
  }
  records_ += publication.size();
  kept_.push_back(std::move(publication));
  while (kept_.size() > 1 && (kept_.size() > kKeptPublications || records_ > kKeptRecords)) {
    records_ -= kept_.front().size();
    kept_.pop_front();
  }
}

const Publication* PublicationHistory::Find(DWORD serial) const {
  for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
    if (it->serial() == serial) return &*it;
  }
  return nullptr;
}

const Publication* PublicationHistory::Latest() const {
  return kept_.empty() ? nullptr : &kept_.back();
}

std::optional<int64_t> PublicationHistory::OnlyProcessOf(
    const packet::ProcessRecord& record) const {
  std::optional<int64_t> only;
  for (const Publication& publication : kept_) {
    const PublishedProcess* process = publication.Find(record);
    if (!process) continue;
    if (only && *only != process->createTime) return std::nullopt;
    only = process->createTime;
  }
  return only;
}

void PublicationHistory::Forget() {
  kept_.clear();
  records_ = 0;
}

PublicationHistory& TheHistory() {
  static PublicationHistory history;
  return history;
}

}  // namespace tesmar::service
