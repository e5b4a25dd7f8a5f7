// What a client says of the copy it sends in UpdateList: the publication the copy came from
// (ProcListSerial when the client read it), so that the service applies only what the client
// changed and never puts back, from an older copy, what another client has changed since.
//
// The value UpdateListBase (REG_BINARY, 16 bytes: the publication, the length of the copy and
// its fingerprint, little-endian) is written before UpdateList. It speaks only of the UpdateList
// it was written with: a client that does not know the value leaves an older one behind, which
// then describes other bytes and is not taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/registry.h"
#include "platform/win32_types.h"

namespace tesmar::packet {

struct RequestBase {
  uint32_t publication = 0;
  uint32_t length = 0;
  uint64_t fingerprint = 0;

  // The base of a copy of length bytes that came from that publication.
  static RequestBase Of(DWORD publication, const void* copy, std::size_t length);
  // Whether it speaks of exactly these bytes.
  bool Describes(const void* copy, std::size_t length) const;
};
static_assert(sizeof(RequestBase) == 16);

LSTATUS WriteRequestBase(HKEY dataKey, const RequestBase& base);
// None when it is missing or not 16 bytes long.
std::optional<RequestBase> ReadRequestBase(HKEY dataKey);

}  // namespace tesmar::packet
