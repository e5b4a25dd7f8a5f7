// The packet builder and apply engine of tesmarsr: turns a process snapshot into a process
// packet, reads request packets from the Data key, merges a request into a fresh packet while
// applying every watched request record to its live process, and publishes the result in
// ProcList.
//
// Only the service's worker thread calls these; the engine keeps one live packet at a time
// together with the snapshot it was built from (the merge walks both in step) and the Data key
// the packet is written to, in one service-wide slot without a lock.
//
// Results: 0 for success and 1 when given null, except ServerPacketWrite and the two flows, which
// answer the registry's result of writing ProcList. Nothing here throws.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>

#include "packet/packet_view.h"
#include "packet/process_packet.h"
#include "packet/request_base.h"
#include "platform/registry.h"
#include "platform/win32_types.h"

// A packet built from the live processes: one block of exactly PacketSize(ProcessCount) bytes,
// the header followed by its records.
using LivePacket = tesmar::packet::PacketHeader;

// A packet read from a registry value, as long as the value was: untrusted, so it is only ever
// read through its view.
struct RequestPacket {
  std::byte* bytes = nullptr;
  std::size_t length = 0;

  tesmar::packet::PacketView View() const { return {bytes, length}; }
};

// A new live packet of every process on the machine, or null (no key, no snapshot, no memory).
// Records the key for ServerPacketWrite. A live packet that is still open loses its snapshot:
// merging into it does nothing from then on, and closing it only frees it.
LivePacket* ServerPacketOpen(HKEY dataKey) noexcept;

// Frees the packet and, when it is the live one, its snapshot.
DWORD ServerPacketClose(LivePacket* packet) noexcept;

// The named value of the Data key when it begins with the packet signature, else null.
RequestPacket* ServerPacketRead(HKEY dataKey, LPCWSTR valueName) noexcept;
DWORD RequestPacketFree(RequestPacket* request) noexcept;

// Writes the packet whole to ProcList of the recorded key, as REG_BINARY, and records which
// processes its records stood for (publication_history.h, published_identity.h).
LSTATUS ServerPacketWrite(const LivePacket* packet) noexcept;

// Applies the request, as a client's whole copy of a publication it does not name, to the live
// processes (request_selection.h): each process is given the last record of its id and name,
// when that record's thread count is valid and its client can only have seen that very
// process; it is applied when marked watched, and the live record is then marked watched.
// Reads only the request's complete records.
DWORD ServerPacketMerge(LivePacket* packet, const RequestPacket* request) noexcept;

// What a pass that took UpdateFlag was asked: UpdateList (null when it is missing, unreadable or
// wrongly signed) and the base the client named for it (packet/request_base.h), read while the
// flag was still raised.
struct UpdateRequest {
  RequestPacket* packet = nullptr;
  std::optional<tesmar::packet::RequestBase> base;

  UpdateRequest() = default;
  UpdateRequest(UpdateRequest&& other) noexcept
      : packet(std::exchange(other.packet, nullptr)), base(other.base) {}
  UpdateRequest& operator=(UpdateRequest&& other) noexcept {
    std::swap(packet, other.packet);
    base = other.base;
    return *this;
  }
  ~UpdateRequest() { RequestPacketFree(packet); }
};
UpdateRequest ReadUpdateRequest(HKEY dataKey) noexcept;
// Applies the request and publishes the result; results as ApplyUpdateList's.
LSTATUS ApplyUpdateRequest(HKEY dataKey, const UpdateRequest& request) noexcept;

// A client raised UpdateFlag: apply UpdateList and publish the result. A missing, unreadable or
// wrongly signed request, or a packet that cannot be built, ends the flow before anything is
// written: 0 then, as after a publication; the registry's error when ProcList could not be
// written.
LSTATUS ApplyUpdateList(HKEY dataKey) noexcept;
// A client raised RefreshFlag: rebuild ProcList, applying its watched records again. A ProcList
// that is missing, not signed or not whole is rebuilt with nothing watched. Results as above.
LSTATUS RefreshProcList(HKEY dataKey) noexcept;
