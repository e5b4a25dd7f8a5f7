#include "remote/machine_name.h"

#include <unistd.h>

#include <climits>
#include <string>

#include "base/text_conversion.h"

namespace tesmar::platform {
namespace {

// Host names are ASCII, and compare without regard to case.
bool SameHostName(std::string_view first, std::string_view second) {
  if (first.size() != second.size()) return false;
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < first.size(); ++i) {
    if (fold(first[i]) != fold(second[i])) return false;
  }
  return true;
}

}  // namespace

bool IsLocalMachineName(std::u16string_view machineName, std::string_view hostName) {
  while (!machineName.empty() && machineName.front() == u'\\') machineName.remove_prefix(1);
  if (machineName.empty() || machineName == u"." || machineName == u"localhost") return true;
  if (hostName.empty()) return false;
  std::string name = Utf16ToUtf8(machineName);
  return SameHostName(name, hostName) || SameHostName(name, hostName.substr(0, hostName.find('.')));
}

bool IsLocalMachineName(const char16_t* machineName) {
  if (!machineName) return true;
  char hostName[HOST_NAME_MAX + 1] = {};
  if (gethostname(hostName, sizeof hostName - 1) != 0) hostName[0] = '\0';
  return IsLocalMachineName(std::u16string_view(machineName), hostName);
}

}  // namespace tesmar::platform
