#include "system_text.h"

#include <vector>

#include "platform/computer_name.h"
#include "platform/errors.h"

namespace tesmar::gui {
namespace {

QString FromWide(const WCHAR* text, DWORD length) {
  return QString::fromUtf16(text, static_cast<qsizetype>(length));
}

}  // namespace

QString SystemMessageText(DWORD error) {
  WCHAR text[1024];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, 1024, nullptr);
  if (length == 0) {
    return QStringLiteral("Unknown error %1 (0x%2).").arg(error).arg(error, 0, 16);
  }
  return FromWide(text, length).trimmed();
}

QString LocalComputerName() {
  // Room for the longest NetBIOS name first; a longer host name is read with the size asked for.
  std::vector<WCHAR> buffer(MAX_COMPUTERNAME_LENGTH + 1);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (GetComputerNameW(buffer.data(), &size)) return FromWide(buffer.data(), size);
  if (GetLastError() != ERROR_BUFFER_OVERFLOW) return QString();
  buffer.resize(size);
  if (!GetComputerNameW(buffer.data(), &size)) return QString();
  return FromWide(buffer.data(), size);
}

}  // namespace tesmar::gui
