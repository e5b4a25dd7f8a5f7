// The session record behind a TesmarSession handle, and the helpers that every part of the
// library shares.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TesmarApi.h"
#include "packet/packet_view.h"
#include "platform/registry.h"
#include "platform/service.h"

struct TesmarSession {
  // Nonzero: a demo session over the shared demo packet; never changes.
  INT DemoMode = 0;
  // HKEY_LOCAL_MACHINE of the target machine and the Data key below it.
  HKEY RootKey = nullptr;
  HKEY DataKey = nullptr;
  // The packet copy: owned by a live session, the shared demo packet in a demo session. Null
  // while a live session holds no copy.
  std::byte* PacketBuffer = nullptr;
  tesmar::packet::ProcessRecord* FirstRecord = nullptr;
  // Bytes of the copy as read from ProcList; 0 in a demo session.
  DWORD PacketSize = 0;
  // Which publication the copy is, as the service numbered it in ProcListSerial; 0 when that is
  // not known (no copy, a demo session, or a service that numbers nothing).
  DWORD CopySerial = 0;
  DWORD Installed = 0;
  DWORD Running = 0;
  SC_HANDLE ScmHandle = nullptr;
  SC_HANDLE ServiceHandle = nullptr;
};

namespace tesmar::client {

// The result for a null session, a missing handle or a missing copy.
inline constexpr INT kBadArgument = 1;

// The session's copy as a packet view; empty while it holds none.
packet::MutablePacketView CopyView(const TesmarSession& session);

// Releases a live session's copy (a demo session's packet is not its own) and clears it.
void ReleaseCopy(TesmarSession& session);

// A result that says the machine was lost (a channel to another machine that broke:
// ERROR_BAD_NETPATH from its registry, RPC_S_SERVER_UNAVAILABLE from its service manager)
// leaves the session as a failed connect does, its handles closed, so that the next connect
// starts afresh instead of answering 1. Answers the result.
INT AfterMachineCall(TesmarSession& session, INT result);

}  // namespace tesmar::client
