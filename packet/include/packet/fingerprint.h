// A 64-bit fingerprint of bytes, to tell a packet or a record that came back unchanged from one
// that was edited. It is not a cryptographic hash: whoever may write the Data key may ask for
// any setting anyway, so nothing is gained by making two packets collide on purpose.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmar::packet {

uint64_t Fingerprint(const void* bytes, std::size_t length);

}  // namespace tesmar::packet
