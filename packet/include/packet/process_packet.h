// The process packet: the binary snapshot of all processes that the service publishes in
// ProcList and that clients send back, edited, in UpdateList.
//
// A packet is a 24-byte header followed by ProcessCount records of 4,188 bytes each, with no gap
// and nothing after them. Integers are little-endian, text is UTF-16LE. The structs below are
// that layout exactly, so a packet buffer (any block from new or malloc, which is 4-byte aligned)
// can be read and written through them; PacketView (packet_view.h) adds the bounds checks that
// untrusted packets need.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tesmar::packet {

// A record holds the settings of at most this many threads; a process with more is stored with
// ThreadCount -1 and no thread slot filled.
inline constexpr uint32_t MaxPacketThreads = 256;
inline constexpr int32_t kTooManyThreads = -1;

// ProcName holds 31 characters and their NUL.
inline constexpr uint32_t kProcNameUnits = 32;

// The text "TESMAR1" and its NUL: 8 UTF-16 units, 16 bytes.
inline constexpr uint32_t kSignatureUnits = 8;
inline constexpr char16_t kSignature[kSignatureUnits] = u"TESMAR1";

// The name given to the idle process, which has none of its own.
inline constexpr char16_t kIdleProcessName[] = u"Idle";

// What a thread's ideal-processor slots hold until a client chooses a processor: a number the
// ideal-processor call rejects, so a watched record never moves a thread nobody placed.
inline constexpr uint32_t kNoIdealProcessor = 0xFFFFFFFFu;

struct PacketHeader {
  char16_t Signature[kSignatureUnits];
  uint32_t ProcessorCount;
  uint32_t ProcessCount;
};

struct ProcessRecord {
  char16_t ProcName[kProcNameUnits];
  uint32_t ProcId;
  uint32_t ProcAffinity;
  // The priority class, or the process's base priority level when the class could not be read.
  uint32_t PriorityClass;
  // 0 to MaxPacketThreads, or kTooManyThreads.
  int32_t ThreadCount;
  // Thread i is the process's i-th thread in the system's process list at build time.
  uint32_t ThreadAffinity[MaxPacketThreads];
  int32_t ThreadPriority[MaxPacketThreads];
  uint32_t ThreadIdealProcessor[MaxPacketThreads];
  // What the platform answered when the service last set the ideal processor.
  uint32_t PrevIdealProcessor[MaxPacketThreads];
  uint32_t BoostQueryOk;
  uint32_t BoostDisabled;
  // In a request: 1 applies the record. In ProcList: 1 while the settings are kept applied.
  uint32_t Watched;
};

static_assert(std::endian::native == std::endian::little,
              "packets are little-endian and are read in place");

static_assert(sizeof(PacketHeader) == 24);
static_assert(offsetof(PacketHeader, Signature) == 0);
static_assert(offsetof(PacketHeader, ProcessorCount) == 16);
static_assert(offsetof(PacketHeader, ProcessCount) == 20);

static_assert(sizeof(ProcessRecord) == 4188);
static_assert(sizeof(ProcessRecord) == 1047 * 4);
static_assert(offsetof(ProcessRecord, ProcName) == 0);
static_assert(offsetof(ProcessRecord, ProcId) == 64);
static_assert(offsetof(ProcessRecord, ProcAffinity) == 68);
static_assert(offsetof(ProcessRecord, PriorityClass) == 72);
static_assert(offsetof(ProcessRecord, ThreadCount) == 76);
static_assert(offsetof(ProcessRecord, ThreadAffinity) == 80);
static_assert(offsetof(ProcessRecord, ThreadPriority) == 1104);
static_assert(offsetof(ProcessRecord, ThreadIdealProcessor) == 2128);
static_assert(offsetof(ProcessRecord, PrevIdealProcessor) == 3152);
static_assert(offsetof(ProcessRecord, BoostQueryOk) == 4176);
static_assert(offsetof(ProcessRecord, BoostDisabled) == 4180);
static_assert(offsetof(ProcessRecord, Watched) == 4184);

inline constexpr std::size_t kHeaderSize = sizeof(PacketHeader);
inline constexpr std::size_t kRecordSize = sizeof(ProcessRecord);
// Records stay 4-byte aligned inside a 4-byte aligned buffer.
static_assert(kHeaderSize % alignof(ProcessRecord) == 0);
static_assert(kRecordSize % alignof(ProcessRecord) == 0);

// The size of a packet with that many records.
constexpr std::size_t PacketSize(uint32_t processCount) {
  return kHeaderSize + kRecordSize * std::size_t{processCount};
}

static_assert(PacketSize(3) == 12588);
static_assert(PacketSize(6) == 25152);

}  // namespace tesmar::packet
