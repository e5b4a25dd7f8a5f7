#include "value_reader.h"

#include <new>

#include "platform/errors.h"

namespace tesmar::client {
namespace {

// A value that keeps growing under a reader is given up on after this many reads.
constexpr int ReadAttempts = 4;

}  // namespace

ValueBytes ReadBinaryValue(HKEY key, LPCWSTR name) {
  ValueBytes value;
  for (int attempt = 0; attempt < ReadAttempts; ++attempt) {
    DWORD size = 0;
    value.status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
    if (value.status != ERROR_SUCCESS) {
      value.failure = ValueBytes::Failure::SizeQuery;
      return value;
    }
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

}  // namespace tesmar::client
