#include "packet/request_base.h"

#include "packet/data_key.h"
#include "packet/fingerprint.h"
#include "platform/errors.h"

namespace tesmar::packet {

RequestBase RequestBase::Of(DWORD publication, const void* copy, std::size_t length) {
  return {publication, static_cast<uint32_t>(length), Fingerprint(copy, length)};
}

bool RequestBase::Describes(const void* copy, std::size_t length) const {
  return this->length == length && fingerprint == Fingerprint(copy, length);
}

LSTATUS WriteRequestBase(HKEY dataKey, const RequestBase& base) {
  return RegSetValueExW(dataKey, kUpdateListBaseValue, 0, REG_BINARY,
                        reinterpret_cast<const BYTE*>(&base), sizeof base);
}

std::optional<RequestBase> ReadRequestBase(HKEY dataKey) {
  RequestBase base;
  DWORD size = sizeof base;
  if (RegQueryValueExW(dataKey, kUpdateListBaseValue, nullptr, nullptr,
                       reinterpret_cast<LPBYTE>(&base), &size) != ERROR_SUCCESS ||
      size != sizeof base) {
    return std::nullopt;
  }
  return base;
}

}  // namespace tesmar::packet
