#include "support/test_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tesmar::testing {

TestPacket::TestPacket(std::size_t length) : words_((length + 3) / 4 + 1), length_(length) {}

TestPacket::TestPacket(const void* bytes, std::size_t length) : TestPacket(length) {
  if (length) std::memcpy(words_.data(), bytes, length);
}

TestPacket TestPacket::Made(unsigned processCount, unsigned processorCount) {
  TestPacket made(packet::PacketSize(processCount));
  packet::PacketHeader& header = made.Header();
  std::copy(std::begin(packet::kSignature), std::end(packet::kSignature), header.Signature);
  header.ProcessorCount = processorCount;
  header.ProcessCount = processCount;
  for (unsigned i = 0; i < processCount; ++i) {
    packet::ProcessRecord& record = made.Record(i);
    std::u16string name = u"proc" + std::u16string(1, char16_t(u'0' + i % 10));
    std::copy(name.begin(), name.end(), record.ProcName);
    record.ProcId = 100 + i;
    record.ProcAffinity = 0x3;
    record.ThreadCount = 2;
    record.ThreadAffinity[0] = record.ThreadAffinity[1] = 0x3;
  }
  return made;
}

TestPacket TestPacket::Of(const packet::PacketHeader& header,
                          const std::vector<packet::ProcessRecord>& records) {
  auto count = static_cast<uint32_t>(records.size());
  TestPacket made(packet::PacketSize(count));
  made.Header() = header;
  made.Header().ProcessCount = count;
  for (uint32_t i = 0; i < count; ++i) made.Record(i) = records[i];
  return made;
}

void TestPacket::Resize(std::size_t length) {
  words_.resize((length + 3) / 4 + 1);
  if (length > length_) {
    std::memset(Bytes() + length_, 0, words_.size() * sizeof(uint32_t) - length_);
  }
  length_ = length;
}

const packet::ProcessRecord* TestPacket::Find(uint32_t processId) const {
  for (uint32_t i = 0; i < RecordCount(); ++i) {
    if (View().RecordOrNull(i)->ProcId == processId) return View().RecordOrNull(i);
  }
  return nullptr;
}

packet::ProcessRecord& TestPacket::RecordOf(uint32_t processId) {
  if (const packet::ProcessRecord* found = Find(processId)) {
    return const_cast<packet::ProcessRecord&>(*found);
  }
  ADD_FAILURE() << "no record of process " << processId;
  static packet::ProcessRecord none{};
  return none;
}

bool TestPacket::operator==(const TestPacket& other) const {
  return length_ == other.length_ && std::memcmp(Bytes(), other.Bytes(), length_) == 0;
}

}  // namespace tesmar::testing
