// What the tests of tesmarsr share: the program's path, the Data key of the test's own machine
// root read and written from outside the service, as a client would, and waiting for the
// service to get something done.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "packet/process_packet.h"
#include "platform/registry.h"

namespace tesmar::service::testing {

inline const std::string kTesmarsrPath = TESMARSR_PATH;
inline constexpr char16_t kDataKeyPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";

// Polls until the condition holds; false when it still does not after the timeout.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A value of the Data key; nullopt when the key or the value does not exist.
std::optional<std::vector<uint8_t>> ReadDataValue(const char16_t* name);
std::optional<DWORD> ReadDataFlag(const char16_t* name);
// Creates the Data key when it is missing.
void WriteDataValue(const char16_t* name, DWORD type, const void* bytes, std::size_t size);
void WriteDataFlag(const char16_t* name, DWORD value);
bool DataKeyExists();

// A process packet read from the registry, its records copied out.
struct Packet {
  packet::PacketHeader header{};
  std::vector<packet::ProcessRecord> records;

  const packet::ProcessRecord* RecordOf(uint32_t processId) const;
  std::vector<uint8_t> Bytes() const;
};

// ProcList (or another value) as a packet; nullopt when it is missing or not signed.
std::optional<Packet> ReadPacket(const char16_t* name = u"ProcList");
void WritePacket(const char16_t* name, const Packet& packet);

// A request that watches the process of the record with the given affinity for the process and
// every thread, leaving the threads' ideal processors alone.
packet::ProcessRecord WatchedWithAffinity(packet::ProcessRecord record, uint32_t mask);

// The affinity the kernel gives the process, 0 when it cannot be read.
uint32_t LiveProcessAffinity(uint32_t processId);

}  // namespace tesmar::service::testing
