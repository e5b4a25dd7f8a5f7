// Reading a binary registry value whole: its size, then its bytes.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/registry.h"

namespace tesmar::client {

struct ValueBytes {
  enum class Failure { None, SizeQuery, NoMemory, Read };
  Failure failure = Failure::None;
  // The registry's result of the failing call.
  LSTATUS status = 0;
  std::unique_ptr<std::byte[]> bytes;
  DWORD size = 0;
};

// The service may rewrite the value between the size query and the read; a value that grew in
// between is asked for again, and one that shrank keeps the length actually read.
ValueBytes ReadBinaryValue(HKEY key, LPCWSTR name);

}  // namespace tesmar::client
