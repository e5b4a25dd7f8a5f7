#include "request_selection.h"

#include <algorithm>

namespace tesmar::service {

std::optional<int64_t> SeenIn(const Publication* publication, const packet::ProcessRecord& record) {
  const PublishedProcess* process = publication ? publication->Find(record) : nullptr;
  if (!process) return std::nullopt;
  return process->createTime;
}

void RequestSelection::Add(const packet::ProcessRecord& record,
                           std::optional<int64_t> seenCreateTime) {
  candidates_.push_back({record.ProcId, seenCreateTime, &record});
  sorted_ = false;
}

void RequestSelection::AddAll(const packet::PacketView& copy, const Publication& cameFrom) {
  for (uint32_t i = 0; i < copy.RecordCount(); ++i) {
    const packet::ProcessRecord& record = *copy.RecordOrNull(i);
    Add(record, SeenIn(&cameFrom, record));
  }
}

void RequestSelection::AddAll(const packet::PacketView& copy, const PublicationHistory& history) {
  for (uint32_t i = 0; i < copy.RecordCount(); ++i) {
    const packet::ProcessRecord& record = *copy.RecordOrNull(i);
    Add(record, history.OnlyProcessOf(record));
  }
}

void RequestSelection::AddWatched(const packet::PacketView& published,
                                  const Publication* publication) {
  for (uint32_t i = 0; i < published.RecordCount(); ++i) {
    const packet::ProcessRecord& record = *published.RecordOrNull(i);
    if (record.Watched == 1) Add(record, SeenIn(publication, record));
  }
}

const packet::ProcessRecord* RequestSelection::For(const packet::ProcessRecord& live,
                                                   int64_t liveCreateTime) {
  if (!sorted_) {
    // By id, keeping the order of candidates of one id: the later wins.
    std::stable_sort(
        candidates_.begin(), candidates_.end(),
        [](const Candidate& a, const Candidate& b) { return a.processId < b.processId; });
    sorted_ = true;
  }
  auto [first, last] = std::equal_range(
      candidates_.begin(), candidates_.end(), Candidate{live.ProcId, std::nullopt, nullptr},
      [](const Candidate& a, const Candidate& b) { return a.processId < b.processId; });
  std::u16string_view liveName = packet::RecordName(live);
  for (auto it = last; it != first;) {
    --it;
    if (packet::RecordName(*it->record) != liveName) continue;
    if (!packet::IsValidThreadCount(it->record->ThreadCount)) continue;
    if (it->seenCreateTime != liveCreateTime) continue;
    return it->record;
  }
  return nullptr;
}

}  // namespace tesmar::service
