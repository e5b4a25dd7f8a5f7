#include "service_side.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "packet/process_packet.h"

namespace tesmar::client::testing {

Bytes MakePacket(unsigned processCount, unsigned processorCount) {
  Bytes bytes(packet::PacketSize(processCount));
  auto* header = reinterpret_cast<packet::PacketHeader*>(bytes.data());
  std::copy(std::begin(packet::kSignature), std::end(packet::kSignature), header->Signature);
  header->ProcessorCount = processorCount;
  header->ProcessCount = processCount;
  for (unsigned i = 0; i < processCount; ++i) {
    auto* record = reinterpret_cast<packet::ProcessRecord*>(bytes.data() + packet::kHeaderSize +
                                                            packet::kRecordSize * i);
    std::u16string name = u"proc" + std::u16string(1, char16_t(u'0' + i % 10));
    std::copy(name.begin(), name.end(), record->ProcName);
    record->ProcId = 100 + i;
    record->ProcAffinity = 0x3;
    record->ThreadCount = 2;
    record->ThreadAffinity[0] = record->ThreadAffinity[1] = 0x3;
  }
  return bytes;
}

ServiceSide::ServiceSide() {
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data", 0, KEY_ALL_ACCESS,
                &key_);
  thread_ = std::thread([this] { Run(); });
}

ServiceSide::~ServiceSide() {
  done_ = true;
  thread_.join();
  if (key_) RegCloseKey(key_);
}

void ServiceSide::WriteProcList(const Bytes& packet) {
  RegSetValueExW(key_, u"ProcList", 0, REG_BINARY, reinterpret_cast<const BYTE*>(packet.data()),
                 static_cast<DWORD>(packet.size()));
}

void ServiceSide::DeleteProcList() {
  RegDeleteValueW(key_, u"ProcList");
}

void ServiceSide::AnswerWith(const Bytes& packet, unsigned delayMs, bool publish) {
  std::lock_guard lock(mutex_);
  answer_ = packet;
  delayMs_ = delayMs;
  publish_ = publish;
  answering_ = true;
}

void ServiceSide::StopAnswering() {
  std::lock_guard lock(mutex_);
  answering_ = false;
}

Bytes ServiceSide::UpdateListSeen() {
  std::lock_guard lock(mutex_);
  return updateListSeen_;
}

long long ServiceSide::Dword(const char16_t* name) {
  DWORD value = 0, size = sizeof value;
  if (RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) !=
      ERROR_SUCCESS) {
    return -1;
  }
  return value;
}

bool ServiceSide::TakeFlag(const char16_t* name) {
  if (Dword(name) != 1) return false;
  const DWORD lowered = 0;
  return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&lowered),
                        sizeof lowered) == ERROR_SUCCESS;
}

void ServiceSide::Run() {
  while (!done_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Bytes answer;
    unsigned delayMs;
    bool publish;
    {
      std::lock_guard lock(mutex_);
      if (!answering_) continue;
      answer = answer_;
      delayMs = delayMs_;
      publish = publish_;
    }
    Bytes updateList;
    if (Dword(u"UpdateFlag") == 1) {
      DWORD size = 0;
      RegQueryValueExW(key_, u"UpdateList", nullptr, nullptr, nullptr, &size);
      updateList.resize(size);
      RegQueryValueExW(key_, u"UpdateList", nullptr, nullptr,
                       reinterpret_cast<LPBYTE>(updateList.data()), &size);
      if (!TakeFlag(u"UpdateFlag")) continue;
      std::lock_guard lock(mutex_);
      updateListSeen_ = updateList;
    } else if (!TakeFlag(u"RefreshFlag")) {
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (publish) WriteProcList(answer);
    ++answers_;
  }
}

}  // namespace tesmar::client::testing
