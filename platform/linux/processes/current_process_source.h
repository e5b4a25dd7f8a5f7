// The process source the calls act on now: the kernel, or what a test put in its place.
#pragma once

#include <memory>

#include "platform/process_source.h"

namespace tesmar::platform {

std::shared_ptr<ProcessSource> CurrentProcessSource();

}  // namespace tesmar::platform
