#include "published_identity.h"

#include <cstring>

#include "packet/data_key.h"
#include "platform/errors.h"

namespace tesmar::service {
namespace {

struct IdentityHeader {
  uint32_t serial;
  uint32_t count;
};
struct IdentityEntry {
  uint32_t processId;
  uint32_t unused;
  int64_t createTime;
};
static_assert(sizeof(IdentityHeader) == 8 && sizeof(IdentityEntry) == 16);

}  // namespace

Publication DescribePublication(DWORD serial, const packet::PacketView& published,
                                const std::vector<int64_t>& createTimes) {
  std::vector<PublishedProcess> processes;
  processes.reserve(published.RecordCount());
  for (uint32_t i = 0; i < published.RecordCount() && i < createTimes.size(); ++i) {
    const packet::ProcessRecord& record = *published.RecordOrNull(i);
    PublishedProcess process;
    process.processId = record.ProcId;
    process.watched = record.Watched == 1 ? 1 : 0;
    process.nameKey = NameKey(record);
    process.createTime = createTimes[i];
    if (process.watched) process.fingerprint = RecordFingerprint(record);
    processes.push_back(process);
  }
  return Publication(serial, std::move(processes));
}

LSTATUS WriteIdentity(HKEY dataKey, DWORD serial, const packet::PacketView& published,
                      const std::vector<int64_t>& createTimes) {
  uint32_t count = published.RecordCount();
  if (createTimes.size() < count) return ERROR_INVALID_PARAMETER;
  std::vector<std::byte> value(sizeof(IdentityHeader) + sizeof(IdentityEntry) * count);
  IdentityHeader header{serial, count};
  std::memcpy(value.data(), &header, sizeof header);
  for (uint32_t i = 0; i < count; ++i) {
    IdentityEntry entry{published.RecordOrNull(i)->ProcId, 0, createTimes[i]};
    std::memcpy(value.data() + sizeof header + sizeof entry * i, &entry, sizeof entry);
  }
  return RegSetValueExW(dataKey, packet::kProcListIdentityValue, 0, REG_BINARY,
                        reinterpret_cast<const BYTE*>(value.data()),
                        static_cast<DWORD>(value.size()));
}

bool RestoreLatestPublication(HKEY dataKey, DWORD serial) {
  packet::ValueBytes procList = packet::ReadWholeValue(dataKey, packet::kProcListValue);
  packet::ValueBytes identity = packet::ReadWholeValue(dataKey, packet::kProcListIdentityValue);
  if (procList.failure != packet::ValueBytes::Failure::None ||
      identity.failure != packet::ValueBytes::Failure::None) {
    return false;
  }
  packet::PacketView published(procList.bytes.get(), procList.size);
  IdentityHeader header{};
  if (!published.IsWellFormed() || identity.size < sizeof header) return false;
  std::memcpy(&header, identity.bytes.get(), sizeof header);
  if (header.serial != serial || header.count != published.RecordCount() ||
      identity.size != sizeof header + sizeof(IdentityEntry) * std::size_t{header.count}) {
    return false;
  }
  std::vector<int64_t> createTimes(header.count);
  for (uint32_t i = 0; i < header.count; ++i) {
    IdentityEntry entry;
    std::memcpy(&entry, identity.bytes.get() + sizeof header + sizeof entry * i, sizeof entry);
    if (entry.processId != published.RecordOrNull(i)->ProcId) return false;
    createTimes[i] = entry.createTime;
  }
  TheHistory().Remember(DescribePublication(serial, published, createTimes));
  return true;
}

}  // namespace tesmar::service
