// The Data key of the current machine root read and written from outside the service, as a
// client or a curious operator would: each call opens the key, acts and closes it again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/win32_types.h"
#include "support/test_packet.h"

namespace tesmar::testing {

// Creates the Data key (and the keys above it) when missing, as the service does at start.
bool CreateDataKey();
bool DataKeyExists();

// A value's bytes; none when the key or the value does not exist.
std::optional<std::vector<uint8_t>> ReadDataValue(const char16_t* name);
// A 4-byte value; none when it is missing or of another length.
std::optional<DWORD> ReadDataDword(const char16_t* name);
// Creates the Data key when it is missing; fails the test when the write fails.
void WriteDataValue(const char16_t* name, DWORD type, const void* bytes, std::size_t size);
void WriteDataDword(const char16_t* name, DWORD value);
void DeleteDataValue(const char16_t* name);

// ProcList (or another value) as a packet; none when it is missing or not signed and whole.
std::optional<TestPacket> ReadDataPacket(const char16_t* name = u"ProcList");
void WriteDataPacket(const char16_t* name, const TestPacket& packet);

}  // namespace tesmar::testing
