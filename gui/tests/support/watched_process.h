// Marks a process watched on the local machine's service, as the watch-list editor does: its
// record of a fresh copy gets Watched and the copy is sent.
#pragma once

#include "platform/win32_types.h"

namespace tesmar::gui::testing {

// False when no session could be connected and refreshed or no record has the id.
bool WatchProcess(DWORD processId);

}  // namespace tesmar::gui::testing
