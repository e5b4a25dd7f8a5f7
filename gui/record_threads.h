// Whether a record's thread slots hold its threads.
#pragma once

#include "TesmarApi.h"

namespace tesmar::gui {

// True for a record that stores a process with more threads than a record holds: the client
// counts it as 256 threads, but the service fills none of its thread slots, so the GUI must not
// show or edit them. Read from the record's layout, which the packet definition fixes, since no
// accessor tells a stored -1 from 256.
bool ThreadSlotsUnfilled(TesmarRecord* record);

}  // namespace tesmar::gui
