#include "support/data_key_access.h"

#include <gtest/gtest.h>

#include <cstring>

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"

namespace tesmar::testing {
namespace {

using platform::OwnedKey;

OwnedKey OpenDataKey() {
  OwnedKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath, 0, KEY_ALL_ACCESS, key.Receive()) !=
      ERROR_SUCCESS) {
    key.Reset();
  }
  return key;
}

OwnedKey CreatedDataKey() {
  OwnedKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    key.Reset();
  }
  return key;
}

}  // namespace

bool CreateDataKey() {
  return static_cast<bool>(CreatedDataKey());
}

bool DataKeyExists() {
  return static_cast<bool>(OpenDataKey());
}

std::optional<std::vector<uint8_t>> ReadDataValue(const char16_t* name) {
  OwnedKey key = OpenDataKey();
  if (!key) return std::nullopt;
  packet::ValueBytes value = packet::ReadWholeValue(key.get(), name);
  if (value.failure != packet::ValueBytes::Failure::None) return std::nullopt;
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.bytes.get());
  return std::vector<uint8_t>(bytes, bytes + value.size);
}

std::optional<DWORD> ReadDataDword(const char16_t* name) {
  std::optional<std::vector<uint8_t>> bytes = ReadDataValue(name);
  if (!bytes || bytes->size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, bytes->data(), sizeof value);
  return value;
}

void WriteDataValue(const char16_t* name, DWORD type, const void* bytes, std::size_t size) {
  OwnedKey key = CreatedDataKey();
  ASSERT_TRUE(key) << "cannot create the Data key";
  EXPECT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(bytes),
                           static_cast<DWORD>(size)),
            ERROR_SUCCESS);
}

void WriteDataDword(const char16_t* name, DWORD value) {
  WriteDataValue(name, REG_DWORD, &value, sizeof value);
}

void DeleteDataValue(const char16_t* name) {
  OwnedKey key = OpenDataKey();
  if (key) RegDeleteValueW(key.get(), name);
}

std::optional<TestPacket> ReadDataPacket(const char16_t* name) {
  std::optional<std::vector<uint8_t>> bytes = ReadDataValue(name);
  if (!bytes) return std::nullopt;
  TestPacket read(bytes->data(), bytes->size());
  if (!read.View().IsWellFormed()) return std::nullopt;
  return read;
}

void WriteDataPacket(const char16_t* name, const TestPacket& packet) {
  WriteDataValue(name, REG_BINARY, packet.Bytes(), packet.Length());
}

}  // namespace tesmar::testing
