// How the main dialog's priority radio buttons show a record: the class of the process, and the
// priority of one of its threads.
#pragma once

#include "TesmarApi.h"

namespace tesmar::gui {

class DialogControls;

// The class radio button a stored class value shows; 0 for none. The value is a priority class
// or, where the class could not be read, the process's base priority level.
int ClassRadioFor(DWORD storedClass, DWORD processId);
// The thread radio button a thread priority shows; values without a button show Normal.
int ThreadRadioFor(LONG priority);

// Clears all nine priority radio buttons and checks the class of the record (none without one).
void ShowProcessPriority(const DialogControls& controls, TesmarRecord* record);
// Checks the thread radio button of the thread; the class buttons stay as they are.
void ShowThreadPriority(const DialogControls& controls, TesmarRecord* record, DWORD thread);

}  // namespace tesmar::gui
