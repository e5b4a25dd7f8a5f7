// Which request record a pass merges into each live process.
//
// A pass gathers candidates in order (the records of the current ProcList that stay watched,
// then what the request asks), each with the publication in which its client saw the process.
// A live process is given the last candidate of its id and name that may be applied, and only
// that one, however many the request holds:
//
// - its ThreadCount lies in -1..256 (any other count is refused: it would put the process's
//   settings on every thread);
// - its client saw that very process: a process of this id and name with the live process's
//   creation time was in the publication the client's copy came from. A record from a copy that
//   names no publication may come from any the service still keeps: it is taken only when all
//   of them that have this id and name agree on the process. A record naming a process that has
//   ended since, and whose id a newcomer of the same name has taken, is refused, and so is one
//   whose process the service does not know.
//
// The chosen candidate is applied when it is marked watched; a chosen candidate marked
// otherwise leaves the process alone and unwatched.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Cpumask.h"
#include "packet/packet_view.h"
#include "packet_engine.h"
#include "publication_history.h"

namespace tesmar::service {

class RequestSelection {
 public:
  // seenCreateTime: the process the client saw; none when that is not known (the candidate is
  // then refused).
  void Add(const packet::ProcessRecord& record, std::optional<int64_t> seenCreateTime);
  // Every complete record of a copy of that publication.
  void AddAll(const packet::PacketView& copy, const Publication& cameFrom);
  // Every complete record of a copy of a publication not named.
  void AddAll(const packet::PacketView& copy, const PublicationHistory& history);
  // The records of the publication marked watched: what it keeps applied.
  void AddWatched(const packet::PacketView& published, const Publication* publication);

  // The candidate for the live process of that creation time, or null.
  const packet::ProcessRecord* For(const packet::ProcessRecord& live, int64_t liveCreateTime);

 private:
  struct Candidate {
    uint32_t processId;
    std::optional<int64_t> seenCreateTime;
    const packet::ProcessRecord* record;
  };
  std::vector<Candidate> candidates_;
  bool sorted_ = false;
};

// The process a record of the publication stood for.
std::optional<int64_t> SeenIn(const Publication* publication, const packet::ProcessRecord& record);

// Merges the chosen candidates into the live packet, applying each to its process; 1 for a null
// packet or one whose snapshot is gone, else 0.
DWORD MergeSelection(LivePacket* packet, RequestSelection& selection);

}  // namespace tesmar::service
