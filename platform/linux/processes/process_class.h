// The priority class of a process, read from its threads.
#pragma once

#include "platform/process_source.h"

namespace tesmar::platform {

// From the first thread whose scheduling tells a class; a process whose threads all sit at the
// levels every class shares (-15 and 15) counts as normal.
DWORD ReadProcessClass(ProcessSource& source, uint32_t processId, DWORD& priorityClass);

}  // namespace tesmar::platform
