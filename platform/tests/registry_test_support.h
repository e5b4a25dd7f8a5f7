// Shared by the registry's tests: wide names, reading values back, and the helper program run
// as a second process.
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"
#include "support/console_process.h"
#include "support/programs.h"
#include "support/wait_until.h"

namespace registry_test {

inline HKEY CreateKey(HKEY parent, const char16_t* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &key, disposition);
  if (result != ERROR_SUCCESS)
    throw std::runtime_error("RegCreateKeyExW " + std::to_string(result));
  return key;
}

inline LONG SetDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

inline std::vector<BYTE> ReadBytes(HKEY key, const char16_t* name, LONG& result) {
  DWORD size = 0;
  result = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
  std::vector<BYTE> data(size);
  if (result == ERROR_SUCCESS) {
    result = RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size);
    data.resize(size);
  }
  return data;
}

// The registry's helper program (platform/testing/registry_helper_main.cpp) as a second process
// on the same machine root, its output read line by line.
class Helper : public tesmar::testing::ConsoleProcess {
 public:
  explicit Helper(const std::vector<std::string>& arguments)
      : ConsoleProcess(tesmar::testing::BuildProgram("registry_helper"), arguments) {}

  std::optional<std::string> ReadLine(
      std::chrono::milliseconds timeout = tesmar::testing::kGenerousWait) {
    return ConsoleProcess::ReadLine(timeout);
  }
  // The exit status, or 128 + the signal.
  int Wait() { return WaitForExit(tesmar::testing::kGenerousWait).value_or(-1); }
};

}  // namespace registry_test
