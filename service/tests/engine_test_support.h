// What the engine's tests share: a registry of their own under a temporary TESMAR_ROOT, and
// packets copied out of it to read and edit.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "packet/packet_view.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/testing/temporary_machine_root.h"
#include "packet_engine.h"

namespace tesmar::service::testing {

// A packet's bytes in a 4-byte aligned buffer of exactly the given length.
class PacketCopy {
 public:
  PacketCopy() = default;
  explicit PacketCopy(std::size_t length) : words_((length + 3) / 4), length_(length) {}
  PacketCopy(const void* bytes, std::size_t length) : PacketCopy(length) {
    if (length) std::memcpy(words_.data(), bytes, length);
  }

  std::byte* Bytes() { return reinterpret_cast<std::byte*>(words_.data()); }
  const std::byte* Bytes() const { return reinterpret_cast<const std::byte*>(words_.data()); }
  std::size_t Length() const { return length_; }
  // Cuts the value short, or lengthens it with zero bytes.
  void Resize(std::size_t length) {
    words_.resize((length + 3) / 4 + 1);
    length_ = length;
  }

  packet::MutablePacketView View() { return {Bytes(), length_}; }
  packet::PacketView View() const { return {Bytes(), length_}; }
  packet::PacketHeader& Header() { return *View().HeaderOrNull(); }
  uint32_t RecordCount() const { return View().RecordCount(); }
  packet::ProcessRecord& Record(uint32_t index) { return *View().RecordOrNull(index); }
  // The record of that process id; fails the test when there is none.
  packet::ProcessRecord& RecordOf(uint32_t processId) {
    for (uint32_t i = 0; i < RecordCount(); ++i) {
      if (Record(i).ProcId == processId) return Record(i);
    }
    ADD_FAILURE() << "no record of process " << processId;
    static packet::ProcessRecord none{};
    return none;
  }
  bool HasRecordOf(uint32_t processId) const {
    for (uint32_t i = 0; i < RecordCount(); ++i) {
      if (View().RecordOrNull(i)->ProcId == processId) return true;
    }
    return false;
  }

 private:
  std::vector<uint32_t> words_;
  std::size_t length_ = 0;
};

// A machine of its own for one test: its registry database lives in a fresh TESMAR_ROOT, and
// the Data key is created in it.
class ScratchRegistry {
 public:
  ScratchRegistry() {
    DWORD disposition = 0;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &dataKey_, &disposition);
    EXPECT_EQ(status, ERROR_SUCCESS);
  }
  ~ScratchRegistry() {
    if (dataKey_) RegCloseKey(dataKey_);
  }
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

  HKEY DataKey() const { return dataKey_; }

  // The value's bytes; false when it cannot be read.
  bool Read(LPCWSTR name, PacketCopy& copy) const {
    DWORD size = 0;
    if (RegQueryValueExW(dataKey_, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    copy = PacketCopy(size);
    return RegQueryValueExW(dataKey_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(copy.Bytes()),
                            &size) == ERROR_SUCCESS;
  }
  PacketCopy ProcList() const {
    PacketCopy copy;
    EXPECT_TRUE(Read(u"ProcList", copy)) << "ProcList cannot be read";
    return copy;
  }
  void Write(LPCWSTR name, const PacketCopy& copy) const {
    ASSERT_EQ(
        RegSetValueExW(dataKey_, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(copy.Bytes()),
                       static_cast<DWORD>(copy.Length())),
        ERROR_SUCCESS);
  }
  void WriteUpdateList(const PacketCopy& copy) const { Write(u"UpdateList", copy); }

  // A packet of the machine as it is now, as the service would publish it.
  PacketCopy Build() const {
    LivePacket* packet = ServerPacketOpen(dataKey_);
    EXPECT_NE(packet, nullptr);
    if (!packet) return {};
    PacketCopy copy(packet, packet::PacketSize(packet->ProcessCount));
    ServerPacketClose(packet);
    return copy;
  }

 private:
  platform::testing::TemporaryMachineRoot root_;
  HKEY dataKey_ = nullptr;
};

}  // namespace tesmar::service::testing
