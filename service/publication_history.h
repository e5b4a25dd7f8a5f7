// What the service keeps of its recent publications, to judge later requests by.
//
// A client's request is a copy of some publication, edited. To apply only what the client
// changed, and only to the processes the client saw, the service remembers of each publication
// which process every record stood for (its id, name and creation time) and, for a watched
// record, a fingerprint of what it held. Kept: the last kKeptPublications publications, fewer
// when they would hold more than kKeptRecords records in all (about 8 MB); the latest is always
// kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "packet/process_packet.h"
#include "platform/win32_types.h"

namespace tesmar::service {

inline constexpr std::size_t kKeptPublications = 1024;
inline constexpr std::size_t kKeptRecords = 262144;

// The process one record of a publication stood for.
struct PublishedProcess {
  uint32_t processId = 0;
  uint32_t watched = 0;
  uint64_t nameKey = 0;
  int64_t createTime = 0;
  // Of the whole record, for a watched one.
  uint64_t fingerprint = 0;
};

// A fingerprint of a record's name (up to its NUL, within its 32 units).
uint64_t NameKey(const packet::ProcessRecord& record);
// A fingerprint of the whole record, as it was published or as a client sent it back.
uint64_t RecordFingerprint(const packet::ProcessRecord& record);

class Publication {
 public:
  Publication(DWORD serial, std::vector<PublishedProcess> processes);

  DWORD serial() const { return serial_; }
  std::size_t size() const { return processes_.size(); }
  // The process a record of this id and name stood for; null when the publication had none.
  const PublishedProcess* Find(const packet::ProcessRecord& record) const;

 private:
  DWORD serial_;
  // By process id.
  std::vector<PublishedProcess> processes_;
};

class PublicationHistory {
 public:
  // A publication of the same number as the latest takes its place (a pass that publishes
  // twice, or flows run without numbering).
  void Remember(Publication publication);
  const Publication* Find(DWORD serial) const;
  const Publication* Latest() const;
  // The creation time of the process that every kept publication with a record of this id and
  // name had there; none when none had one, or when two stood for different processes.
  std::optional<int64_t> OnlyProcessOf(const packet::ProcessRecord& record) const;
  void Forget();

 private:
  std::deque<Publication> kept_;
  std::size_t records_ = 0;
};

// The service's one history; only the worker thread touches it.
PublicationHistory& TheHistory();

}  // namespace tesmar::service
