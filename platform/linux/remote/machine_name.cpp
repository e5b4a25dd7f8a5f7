#include "remote/machine_name.h"

#include <unistd.h>

#include <climits>
#include <string>

#include "base/text_conversion.h"

namespace tesmar::platform {
namespace {

char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsLocalMachineName(std::u16string_view machineName, std::string_view hostName) {
  while (!machineName.empty() && machineName.front() == u'\\') machineName.remove_prefix(1);
  if (machineName.empty()) return true;
  std::string name = Utf16ToUtf8(machineName);
  if (name.size() != hostName.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (FoldAscii(name[i]) != FoldAscii(hostName[i])) return false;
  }
  return true;
}

bool IsLocalMachineName(const char16_t* machineName) {
  if (!machineName) return true;
  char hostName[HOST_NAME_MAX + 1] = {};
  if (gethostname(hostName, sizeof hostName - 1) != 0) hostName[0] = '\0';
  return IsLocalMachineName(std::u16string_view(machineName), hostName);
}

}  // namespace tesmar::platform
