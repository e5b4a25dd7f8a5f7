#include "error_report.h"

#include <cstdio>
#include <string>

#include "console_output.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace tesmar::service {
namespace {

std::string ToUtf8(const char16_t* text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string converted(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), length, nullptr, nullptr);
  converted.resize(static_cast<std::size_t>(length - 1));
  return converted;
}

}  // namespace

void ReportError(const char16_t* operationName, ReportTarget target) {
  DWORD error = GetLastError();
  if (target == ReportTarget::Nowhere) return;
  std::string name = ToUtf8(operationName);
  char line[256];
  std::snprintf(line, sizeof line, "Error Code %d when calling %s\n", static_cast<int>(error),
                name.c_str());
  if (target == ReportTarget::Console) {
    PrintToConsole(line);
  } else {
    std::fputs(line, stderr);
    std::fflush(stderr);
  }
}

void ReportRegistryError(LSTATUS status, const char16_t* operationName, ReportTarget target) {
  SetLastError(static_cast<DWORD>(status));
  ReportError(operationName, target);
}

}  // namespace tesmar::service
