#include "fuzz_machine.h"

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

}  // namespace tesmar::service::fuzzing
