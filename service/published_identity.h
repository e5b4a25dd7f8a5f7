// The identity of the processes of the latest publication, kept in the Data key beside ProcList
// (ProcListIdentity), so that a service that starts again knows which processes its watched
// records stood for and applies them to no other.
//
// The value: the publication's number and its record count (u32 each), then for each record of
// ProcList, in order, its process id (u32, and 4 bytes of nothing) and creation time (i64). The
// creation times are absolute, so a process of an earlier boot never passes for one of this.
#pragma once

#include <cstdint>
#include <vector>

#include "packet/packet_view.h"
#include "platform/registry.h"
#include "platform/win32_types.h"
#include "publication_history.h"

namespace tesmar::service {

// What the publication's records stood for, with the published records' watch and
// fingerprint; createTimes holds one time a record.
Publication DescribePublication(DWORD serial, const packet::PacketView& published,
                                const std::vector<int64_t>& createTimes);

LSTATUS WriteIdentity(HKEY dataKey, DWORD serial, const packet::PacketView& published,
                      const std::vector<int64_t>& createTimes);

// At start: makes the publication that ProcList holds the history's latest, when the Data key
// still says which processes it stood for (the identity of publication serial, for exactly
// ProcList's records). False when it does not: the watched records of ProcList are then
// applied to nothing.
bool RestoreLatestPublication(HKEY dataKey, DWORD serial);

}  // namespace tesmar::service
