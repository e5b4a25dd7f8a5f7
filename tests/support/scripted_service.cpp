#include "support/scripted_service.h"

#include <algorithm>
#include <iterator>

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "support/data_key_access.h"
#include "support/programs.h"
#include "support/scripted_service_names.h"
#include "support/wait_until.h"

namespace tesmar::testing {
namespace {

using namespace scripted_service;

platform::OwnedKey ScriptKey() {
  platform::OwnedKey key;
  DWORD disposition = 0;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kScriptKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                  KEY_ALL_ACCESS, nullptr, key.Receive(), &disposition);
  return key;
}

std::u16string UpdateValueName(DWORD index) {
  std::u16string name = kUpdateValuePrefix;
  for (char digit : std::to_string(index)) name += static_cast<char16_t>(digit);
  return name;
}

}  // namespace

TestPacket BuildPacket(uint32_t processorCount, const std::vector<ScriptedRecord>& records) {
  packet::PacketHeader header{};
  std::copy(std::begin(packet::kSignature), std::end(packet::kSignature), header.Signature);
  header.ProcessorCount = processorCount;
  std::vector<packet::ProcessRecord> stored(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const ScriptedRecord& from = records[i];
    packet::ProcessRecord& record = stored[i];
    std::copy_n(from.name.begin(), std::min<size_t>(from.name.size(), packet::kProcNameUnits - 1),
                record.ProcName);
    record.ProcId = from.processId;
    record.ProcAffinity = from.affinity;
    record.PriorityClass = from.priorityClass;
    record.ThreadCount = from.threadCount;
    std::fill(std::begin(record.ThreadIdealProcessor), std::end(record.ThreadIdealProcessor),
              packet::kNoIdealProcessor);
    std::fill(std::begin(record.PrevIdealProcessor), std::end(record.PrevIdealProcessor),
              packet::kNoIdealProcessor);
    auto put = [](const auto& values, auto* slots) {
      std::copy_n(values.begin(), std::min<size_t>(values.size(), packet::MaxPacketThreads), slots);
    };
    put(from.threadAffinity, record.ThreadAffinity);
    put(from.threadPriority, record.ThreadPriority);
    put(from.prevIdealProcessor, record.PrevIdealProcessor);
    record.BoostQueryOk = from.boostQueryOk;
    record.BoostDisabled = from.boostDisabled;
    record.Watched = from.watched;
  }
  return TestPacket::Of(header, stored);
}

ScriptedService::ScriptedService(const TestPacket& answer, Start start)
    : service_("\"" + BuildProgram("tesmar_scripted_service") + "\"") {
  Answer(answer);
  if (start == Start::Running) service_.Start();
}

bool ScriptedService::WaitUntilServing() const {
  return WaitUntil([&] {
    return service_.CurrentState() == SERVICE_RUNNING &&
           ReadDataValue(packet::kProcListValue).has_value();
  });
}

bool ScriptedService::WaitUntilStopped() const {
  return service_.WaitForState(SERVICE_STOPPED);
}

void ScriptedService::Answer(const TestPacket& packet) {
  platform::OwnedKey key = ScriptKey();
  RegSetValueExW(key.get(), kAnswerValue, 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(packet.Bytes()),
                 static_cast<DWORD>(packet.Length()));
}

std::vector<TestPacket> ScriptedService::UpdatesSeen() const {
  platform::OwnedKey key = ScriptKey();
  std::vector<TestPacket> updates;
  DWORD count = packet::ReadDwordValue(key.get(), kUpdateCountValue).value_or(0);
  for (DWORD i = 0; i < count; ++i) {
    packet::ValueBytes value = packet::ReadWholeValue(key.get(), UpdateValueName(i).c_str());
    updates.emplace_back(value.bytes.get(), value.size);
  }
  return updates;
}

DWORD ScriptedService::RefreshesSeen() const {
  platform::OwnedKey key = ScriptKey();
  return packet::ReadDwordValue(key.get(), kRefreshCountValue).value_or(0);
}

}  // namespace tesmar::testing
