// Keeps exceptions inside the exported registry calls: they answer with an error number.
#pragma once

#include <new>

#include "platform/errors.h"
#include "platform/win32_types.h"

namespace tesmar::platform::registry {

template <typename Call>
LSTATUS Guarded(Call call) noexcept {
  try {
    return static_cast<LSTATUS>(call());
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}

}  // namespace tesmar::platform::registry
