// What the engine's tests share: a registry of their own under a temporary TESMAR_ROOT, packets
// copied out of it to read and edit, and a made-up machine to build them from.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "packet/data_key.h"
#include "packet/packet_view.h"
#include "packet/publication.h"
#include "packet/request_base.h"
#include "packet_engine.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "publication_history.h"
#include "support/made_up_machine_test.h"
#include "support/temporary_machine_root.h"
#include "support/test_packet.h"

namespace tesmar::service::testing {

using PacketCopy = tesmar::testing::TestPacket;

// A machine of its own for one test: its registry database lives in a fresh TESMAR_ROOT, and
// the Data key is created in it.
class ScratchRegistry {
 public:
  ScratchRegistry() {
    DWORD disposition = 0;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &dataKey_, &disposition);
    EXPECT_EQ(status, ERROR_SUCCESS);
    counter_ = std::make_unique<packet::PublicationCounter>(dataKey_);
    // Nothing of another test's publications.
    TheHistory().Forget();
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

  // Runs the flow in a numbered pass, as the worker does; the number of its publication.
  DWORD InPass(const std::function<void()>& flow) const {
    EXPECT_EQ(counter_->BeginPass(), ERROR_SUCCESS);
    flow();
    EXPECT_EQ(counter_->EndPass(), ERROR_SUCCESS);
    return counter_->Published();
  }

  // A packet of the machine as it is now, published in a pass of its own as the service
  // publishes it, so that the requests a test makes from it are copies of a publication the
  // service knows.
  PacketCopy Build() const {
    PacketCopy copy;
    InPass([&] {
      LivePacket* packet = ServerPacketOpen(dataKey_);
      EXPECT_NE(packet, nullptr);
      if (!packet) return;
      EXPECT_EQ(ServerPacketWrite(packet), ERROR_SUCCESS);
      copy = PacketCopy(packet, packet::PacketSize(packet->ProcessCount));
      ServerPacketClose(packet);
    });
    return copy;
  }
  // The publication the last pass ended with.
  DWORD Published() const { return counter_->Published(); }

 private:
  tesmar::testing::TemporaryMachineRoot root_;
  HKEY dataKey_ = nullptr;
  std::unique_ptr<packet::PublicationCounter> counter_;
};

// The engine on a made-up machine of sixteen processors, with a registry of its own.
class EngineTest : public tesmar::testing::MadeUpMachineTest {
 protected:
  explicit EngineTest(unsigned processorCount = 16) : MadeUpMachineTest(processorCount) {}

  ScratchRegistry registry_;
};

using tesmar::testing::MadeUpMachine;

}  // namespace tesmar::service::testing
