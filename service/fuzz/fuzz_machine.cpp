#include "fuzz_machine.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/process_source.h"

namespace tesmar::service::fuzzing {

using platform::testing::MadeUpMachine;

std::shared_ptr<MadeUpMachine> InstallFuzzMachine() {
  auto machine = std::make_shared<MadeUpMachine>(4);
  machine->AddProcess(u"a.exe", 1000, 3);
  machine->AddProcess(u"b.exe", 2000, 1);
  machine->AddProcess(std::u16string(31, u'n'), 3000, 2);
  machine->AddProcess(u"huge.exe", 4000, 257);
  machine->AddProcess(u"stubborn.exe", 5000, 2);
  machine->Refuse(5000, MadeUpMachine::Operation::ListThreads);
  machine->Refuse(5001, MadeUpMachine::Operation::SetAffinity);
  platform::UseProcessSource(machine);
  return machine;
}

HKEY OpenFuzzDataKey() {
  if (const char* root = std::getenv("TESMAR_ROOT")) {
    std::error_code ignored;
    std::filesystem::create_directories(root, ignored);
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

FuzzInput SplitFuzzInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  std::span<const uint8_t> bytes(data, size);
  if (bytes.empty()) return input;
  input.choices = bytes[0];
  bytes = bytes.subspan(1);
  size_t procListLength = 0;
  if (bytes.size() >= 2) {
    procListLength = std::min<size_t>(bytes[0] | (size_t{bytes[1]} << 8), bytes.size() - 2);
    bytes = bytes.subspan(2);
  }
  input.procList = bytes.first(procListLength);
  input.updateList = bytes.subspan(procListLength);
  return input;
}

std::vector<uint8_t> JoinFuzzInput(uint8_t choices, std::span<const uint8_t> procList,
                                   std::span<const uint8_t> updateList) {
  size_t length = std::min<size_t>(procList.size(), 0xFFFF);
  std::vector<uint8_t> joined{choices, static_cast<uint8_t>(length & 0xFF),
                              static_cast<uint8_t>(length >> 8)};
  joined.insert(joined.end(), procList.begin(), procList.begin() + static_cast<long>(length));
  joined.insert(joined.end(), updateList.begin(), updateList.end());
  return joined;
}

}  // namespace tesmar::service::fuzzing
