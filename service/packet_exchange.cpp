// ServerPacketRead and RequestPacketFree, and the flows that read a request, build a fresh
// packet, merge and publish.
//
// A refresh keeps applying what the latest publication (ProcList) watches. A request applies
// what the client asks: with the publication its copy came from (UpdateListBase), only the
// records the client changed relative to it, over what ProcList watches now, so that a record
// the client left as it was never puts back what another client has changed since; without it,
// the whole copy, as a client that does not name its base expects.
#include <memory>
#include <new>

#include "packet/data_key.h"
#include "packet_engine.h"
#include "platform/errors.h"
#include "publication_history.h"
#include "request_selection.h"

namespace tesmar::service {
namespace {

struct FreeRequest {
  void operator()(RequestPacket* request) const { RequestPacketFree(request); }
};
using OwnedRequest = std::unique_ptr<RequestPacket, FreeRequest>;

// A pass: a fresh packet, the chosen records merged into it, the publication.
LSTATUS MergeAndPublish(HKEY dataKey, RequestSelection& selection) {
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) return ERROR_SUCCESS;
  MergeSelection(packet, selection);
  LSTATUS written = ServerPacketWrite(packet);
  ServerPacketClose(packet);
  return written;
}

// Whether the client changed the record relative to the publication its copy came from: it
// asks for settings the publication did not hold (or for a process it did not watch), or it
// no longer watches a process the publication watched. A record it left unwatched says nothing.
bool ChangedSince(const packet::ProcessRecord& sent, const Publication& base) {
  const PublishedProcess* was = base.Find(sent);
  if (sent.Watched == 1)
    return !was || !was->watched || was->fingerprint != RecordFingerprint(sent);
  return was && was->watched;
}

// The request's base, when the service still knows it and it speaks of these very bytes.
const Publication* KnownBase(const UpdateRequest& request) {
  if (!request.base || !request.base->Describes(request.packet->bytes, request.packet->length)) {
    return nullptr;
  }
  return TheHistory().Find(request.base->publication);
}

LSTATUS ApplyRequest(HKEY dataKey, const UpdateRequest& request) {
  if (!request.packet) return ERROR_SUCCESS;
  const Publication* latest = TheHistory().Latest();
  const Publication* base = KnownBase(request);
  RequestSelection selection;
  if (!base) {
    selection.AddAll(request.packet->View(), TheHistory());
    return MergeAndPublish(dataKey, selection);
  }
  OwnedRequest current(ServerPacketRead(dataKey, packet::kProcListValue));
  if (current && current->View().IsWellFormed()) selection.AddWatched(current->View(), latest);
  packet::PacketView sent = request.packet->View();
  for (uint32_t i = 0; i < sent.RecordCount(); ++i) {
    const packet::ProcessRecord& record = *sent.RecordOrNull(i);
    if (ChangedSince(record, *base)) selection.Add(record, SeenIn(base, record));
  }
  return MergeAndPublish(dataKey, selection);
}

// A ProcList that is missing, not signed or not whole is no request: the pass publishes a fresh
// packet with nothing watched, so a broken ProcList is mended at the next refresh.
LSTATUS Refresh(HKEY dataKey) {
  OwnedRequest current(ServerPacketRead(dataKey, packet::kProcListValue));
  RequestSelection selection;
  if (current && current->View().IsWellFormed()) {
    selection.AddWatched(current->View(), TheHistory().Latest());
  }
  return MergeAndPublish(dataKey, selection);
}

}  // namespace
}  // namespace tesmar::service

RequestPacket* ServerPacketRead(HKEY dataKey, LPCWSTR valueName) noexcept {
  if (!valueName) return nullptr;
  tesmar::packet::ValueBytes value = tesmar::packet::ReadWholeValue(dataKey, valueName);
  if (value.failure != tesmar::packet::ValueBytes::Failure::None) return nullptr;
  auto* request = new (std::nothrow) RequestPacket;
  if (!request) return nullptr;
  request->length = value.size;
  request->bytes = value.bytes.release();
  if (!request->View().HasSignature()) {
    RequestPacketFree(request);
    return nullptr;
  }
  return request;
}

DWORD RequestPacketFree(RequestPacket* request) noexcept {
  if (!request) return 1;
  delete[] request->bytes;
  delete request;
  return 0;
}

UpdateRequest ReadUpdateRequest(HKEY dataKey) noexcept {
  UpdateRequest request;
  request.base = tesmar::packet::ReadRequestBase(dataKey);
  request.packet = ServerPacketRead(dataKey, tesmar::packet::kUpdateListValue);
  return request;
}

LSTATUS ApplyUpdateRequest(HKEY dataKey, const UpdateRequest& request) noexcept {
  try {
    return tesmar::service::ApplyRequest(dataKey, request);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

LSTATUS ApplyUpdateList(HKEY dataKey) noexcept {
  return ApplyUpdateRequest(dataKey, ReadUpdateRequest(dataKey));
}

LSTATUS RefreshProcList(HKEY dataKey) noexcept {
  try {
    return tesmar::service::Refresh(dataKey);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}
