// A bounds-checked view of a process packet of a given length, for the service and the client
// alike. A packet that arrives through the registry is untrusted: any program that may write the
// Data key writes it, so its ProcessCount, ThreadCount and names may claim more than the bytes
// hold. The view never answers with anything outside [bytes, bytes + length).
//
//   PacketView view(buffer, length);
//   if (!view.HasSignature()) return;                 // not a packet of ours
//   for (uint32_t i = 0; i < view.RecordCount(); ++i) // complete records only
//     Use(*view.Record(i), RecordName(*view.Record(i)));
//
// MutablePacketView is the same over writable bytes, for code that edits a packet in place.
// Records are read in place, so the buffer must be 4-byte aligned (any block from new or malloc
// is); a misaligned buffer is treated as holding no header and no record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "packet/process_packet.h"

namespace tesmar::packet {

template <typename Byte>
class BasicPacketView {
  static_assert(std::is_same_v<std::remove_const_t<Byte>, std::byte>);
  static constexpr bool kIsConst = std::is_const_v<Byte>;

 public:
  using Header = std::conditional_t<kIsConst, const PacketHeader, PacketHeader>;
  using Record = std::conditional_t<kIsConst, const ProcessRecord, ProcessRecord>;
  using Pointer = std::conditional_t<kIsConst, const void*, void*>;

  BasicPacketView() = default;
  BasicPacketView(Pointer bytes, std::size_t length)
      : bytes_(static_cast<Byte*>(bytes)), length_(bytes ? length : 0) {}

  Byte* Bytes() const { return bytes_; }
  std::size_t Length() const { return length_; }

  // The packet begins with "TESMAR1" and its NUL.
  bool HasSignature() const {
    return length_ >= sizeof kSignature && std::memcmp(bytes_, kSignature, sizeof kSignature) == 0;
  }

  // Null when the bytes are shorter than a header (or misaligned).
  Header* HeaderOrNull() const {
    if (length_ < kHeaderSize || !IsAligned()) return nullptr;
    return reinterpret_cast<Header*>(bytes_);
  }

  // The ProcessCount the header claims, 0 without a header. Not to be trusted: use RecordCount.
  uint32_t ClaimedProcessCount() const {
    Header* header = HeaderOrNull();
    return header ? header->ProcessCount : 0;
  }

  // The records that lie wholly inside the bytes, at most as many as the header claims.
  uint32_t RecordCount() const {
    if (!HeaderOrNull()) return 0;
    std::size_t complete = (length_ - kHeaderSize) / kRecordSize;
    uint32_t claimed = ClaimedProcessCount();
    return complete < claimed ? static_cast<uint32_t>(complete) : claimed;
  }

  // The bytes hold every record the header claims.
  bool IsComplete() const { return HeaderOrNull() && length_ >= PacketSize(ClaimedProcessCount()); }

  // Signed and complete: what a reader may use whole.
  bool IsWellFormed() const { return HasSignature() && IsComplete(); }

  // Record index, or null when it does not lie wholly inside the bytes.
  Record* RecordOrNull(uint32_t index) const {
    if (index >= RecordCount()) return nullptr;
    return reinterpret_cast<Record*>(bytes_ + kHeaderSize + kRecordSize * std::size_t{index});
  }

 private:
  bool IsAligned() const {
    return reinterpret_cast<std::uintptr_t>(bytes_) % alignof(ProcessRecord) == 0;
  }

  Byte* bytes_ = nullptr;
  std::size_t length_ = 0;
};

using PacketView = BasicPacketView<const std::byte>;
using MutablePacketView = BasicPacketView<std::byte>;

// A record's name, up to its NUL or to the end of its 32 units when it has none.
inline std::u16string_view RecordName(const ProcessRecord& record) {
  std::u16string_view units(record.ProcName, kProcNameUnits);
  std::size_t end = units.find(u'\0');
  return end == std::u16string_view::npos ? units : units.substr(0, end);
}

// The name as a NUL-terminated text even when the record holds none, for calls that take one.
using TerminatedName = std::array<char16_t, kProcNameUnits + 1>;
inline TerminatedName TerminatedRecordName(const ProcessRecord& record) {
  TerminatedName name{};
  std::u16string_view units = RecordName(record);
  units.copy(name.data(), units.size());
  return name;
}

// A ThreadCount a packet may hold: 0 to MaxPacketThreads, or kTooManyThreads.
constexpr bool IsValidThreadCount(int32_t threadCount) {
  return threadCount >= kTooManyThreads && threadCount <= static_cast<int32_t>(MaxPacketThreads);
}

// The thread slots that hold a thread's values: ThreadCount, none for kTooManyThreads, and none
// for a count outside the valid range.
constexpr uint32_t FilledThreadSlots(int32_t threadCount) {
  return threadCount >= 0 && IsValidThreadCount(threadCount) ? static_cast<uint32_t>(threadCount)
                                                             : 0;
}

// The thread indices a reader may address: like FilledThreadSlots, except that kTooManyThreads
// counts as every slot (a process with that many threads has a thread at every index).
constexpr uint32_t AddressableThreadSlots(int32_t threadCount) {
  return threadCount == kTooManyThreads ? MaxPacketThreads : FilledThreadSlots(threadCount);
}

}  // namespace tesmar::packet
