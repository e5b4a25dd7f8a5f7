#include "packet/data_key.h"

#include <new>

#include "platform/errors.h"

namespace tesmar::packet {
namespace {

// A value that keeps growing under the reader (a writer replacing it again and again) is given
// up on after this many reads.
constexpr int kReadAttempts = 4;

}  // namespace

ValueBytes ReadWholeValue(HKEY key, LPCWSTR name) {
  ValueBytes value;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD size = 0;
    value.status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
    if (value.status != ERROR_SUCCESS) {
      value.failure = ValueBytes::Failure::SizeQuery;
      return value;
    }
    // Never a zero-sized block, so that a value read is never null.
    value.bytes.reset(new (std::nothrow) std::byte[size == 0 ? 1 : size]);
    if (!value.bytes) {
      value.failure = ValueBytes::Failure::NoMemory;
      return value;
    }
    value.status = RegQueryValueExW(key, name, nullptr, nullptr,
                                    reinterpret_cast<LPBYTE>(value.bytes.get()), &size);
    if (value.status == ERROR_SUCCESS) {
      value.size = size;
      value.failure = ValueBytes::Failure::None;
      return value;
    }
    if (value.status != ERROR_MORE_DATA) break;
  }
  value.bytes.reset();
  value.failure = ValueBytes::Failure::Read;
  return value;
}

std::optional<DWORD> ReadDwordValue(HKEY key, LPCWSTR name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

LSTATUS WriteDwordValue(HKEY key, LPCWSTR name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

}  // namespace tesmar::packet
