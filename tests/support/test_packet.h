// A process packet that a test makes, reads back from the registry, edits and sends: its bytes in
// a 4-byte aligned buffer of exactly its length, read and written through the packet's view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "packet/packet_view.h"
#include "packet/process_packet.h"

namespace tesmar::testing {

class TestPacket {
 public:
  TestPacket() = default;
  // That many zero bytes.
  explicit TestPacket(std::size_t length);
  TestPacket(const void* bytes, std::size_t length);

  // A signed packet of processCount records, each named "proc<i>" with ProcId 100 + i and two
  // threads, every mask 0x3.
  static TestPacket Made(unsigned processCount, unsigned processorCount = 2);
  // The header followed by exactly these records; ProcessCount counts them.
  static TestPacket Of(const packet::PacketHeader& header,
                       const std::vector<packet::ProcessRecord>& records);

  std::byte* Bytes() { return reinterpret_cast<std::byte*>(words_.data()); }
  const std::byte* Bytes() const { return reinterpret_cast<const std::byte*>(words_.data()); }
  std::size_t Length() const { return length_; }
  // Cuts the bytes short, or lengthens them with zero bytes.
  void Resize(std::size_t length);

  packet::MutablePacketView View() { return {Bytes(), length_}; }
  packet::PacketView View() const { return {Bytes(), length_}; }
  packet::PacketHeader& Header() { return *View().HeaderOrNull(); }
  uint32_t RecordCount() const { return View().RecordCount(); }
  packet::ProcessRecord& Record(uint32_t index) { return *View().RecordOrNull(index); }
  // The record of that process, or null.
  const packet::ProcessRecord* Find(uint32_t processId) const;
  // The record of that process; fails the test when there is none.
  packet::ProcessRecord& RecordOf(uint32_t processId);

  bool operator==(const TestPacket& other) const;

 private:
  std::vector<uint32_t> words_;
  std::size_t length_ = 0;
};

}  // namespace tesmar::testing
