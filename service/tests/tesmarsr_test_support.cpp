#include "tesmarsr_test_support.h"

#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "packet/packet_view.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/process.h"

namespace tesmar::service::testing {
namespace {

HKEY OpenDataKey() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDataKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

HKEY CreateDataKey() {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDataKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::optional<std::vector<uint8_t>> ReadDataValue(const char16_t* name) {
  HKEY key = OpenDataKey();
  if (!key) return std::nullopt;
  std::optional<std::vector<uint8_t>> value;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<uint8_t> bytes(size);
    if (RegQueryValueExW(key, name, nullptr, nullptr, bytes.data(), &size) == ERROR_SUCCESS) {
      bytes.resize(size);
      value = std::move(bytes);
    }
  }
  RegCloseKey(key);
  return value;
}

std::optional<DWORD> ReadDataFlag(const char16_t* name) {
  std::optional<std::vector<uint8_t>> bytes = ReadDataValue(name);
  if (!bytes || bytes->size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, bytes->data(), sizeof value);
  return value;
}

void WriteDataValue(const char16_t* name, DWORD type, const void* bytes, std::size_t size) {
  HKEY key = CreateDataKey();
  ASSERT_NE(key, nullptr) << "cannot create the Data key";
  EXPECT_EQ(
      RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), static_cast<DWORD>(size)),
      ERROR_SUCCESS);
  RegCloseKey(key);
}

void WriteDataFlag(const char16_t* name, DWORD value) {
  WriteDataValue(name, REG_DWORD, &value, sizeof value);
}

bool DataKeyExists() {
  HKEY key = OpenDataKey();
  if (key) RegCloseKey(key);
  return key != nullptr;
}

const packet::ProcessRecord* Packet::RecordOf(uint32_t processId) const {
  for (const packet::ProcessRecord& record : records) {
    if (record.ProcId == processId) return &record;
  }
  return nullptr;
}

std::vector<uint8_t> Packet::Bytes() const {
  packet::PacketHeader counted = header;
  counted.ProcessCount = static_cast<uint32_t>(records.size());
  std::vector<uint8_t> bytes(sizeof counted + records.size() * sizeof(packet::ProcessRecord));
  std::memcpy(bytes.data(), &counted, sizeof counted);
  if (!records.empty()) {
    std::memcpy(bytes.data() + sizeof counted, records.data(),
                records.size() * sizeof(packet::ProcessRecord));
  }
  return bytes;
}

std::optional<Packet> ReadPacket(const char16_t* name) {
  std::optional<std::vector<uint8_t>> bytes = ReadDataValue(name);
  if (!bytes) return std::nullopt;
  // Copied into words: the view reads records in place and needs 4-byte alignment.
  std::vector<uint32_t> aligned((bytes->size() + 3) / 4);
  std::memcpy(aligned.data(), bytes->data(), bytes->size());
  packet::PacketView view(aligned.data(), bytes->size());
  if (!view.IsWellFormed()) return std::nullopt;
  Packet packet;
  packet.header = *view.HeaderOrNull();
  for (uint32_t i = 0; i < view.RecordCount(); ++i) packet.records.push_back(*view.RecordOrNull(i));
  return packet;
}

void WritePacket(const char16_t* name, const Packet& packet) {
  std::vector<uint8_t> bytes = packet.Bytes();
  WriteDataValue(name, REG_BINARY, bytes.data(), bytes.size());
}

packet::ProcessRecord WatchedWithAffinity(packet::ProcessRecord record, uint32_t mask) {
  record.Watched = 1;
  record.ProcAffinity = mask;
  int32_t threads = record.ThreadCount < 0 ? 0 : record.ThreadCount;
  for (int32_t k = 0; k < threads; ++k) {
    record.ThreadAffinity[k] = mask;
    record.ThreadIdealProcessor[k] = packet::kNoIdealProcessor;
  }
  return record;
}

uint32_t LiveProcessAffinity(uint32_t processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
  if (!process) return 0;
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  BOOL read = GetProcessAffinityMask(process, &processMask, &systemMask);
  CloseHandle(process);
  return read ? static_cast<uint32_t>(processMask) : 0;
}

}  // namespace tesmar::service::testing
