// Linux has no ideal processor: the layer keeps the last one set for each thread, told apart
// from a later thread with the same id by its identity key.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmar::platform {

std::optional<unsigned> StoredIdealProcessor(uint32_t threadId, uint64_t key);
void StoreIdealProcessor(uint32_t threadId, uint64_t key, unsigned processor);
// Another source's tasks are other tasks, whatever their ids and keys.
void ForgetIdealProcessors();

}  // namespace tesmar::platform
