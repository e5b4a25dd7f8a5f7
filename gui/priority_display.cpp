#include "priority_display.h"

#include "dialog_builder.h"
#include "main_dialog_ids.h"

namespace tesmar::gui {

using namespace main_dialog;

namespace {

constexpr int kClassRadios[] = {IDC_CLASS_VERY_HIGH, IDC_CLASS_NORMAL, IDC_CLASS_IDLE,
                                IDC_CLASS_REAL_TIME};
constexpr int kThreadRadios[] = {IDC_THREAD_HIGHEST, IDC_THREAD_ABOVE_NORMAL, IDC_THREAD_NORMAL,
                                 IDC_THREAD_BELOW_NORMAL, IDC_THREAD_IDLE};

}  // namespace

int ClassRadioFor(DWORD storedClass, DWORD processId) {
  switch (storedClass) {
    case 4:   // base priority of the idle class
    case 64:  // IDLE_PRIORITY_CLASS
      return IDC_CLASS_IDLE;
    case 8:   // base priority of the normal class
    case 32:  // NORMAL_PRIORITY_CLASS
      return IDC_CLASS_NORMAL;
    case 11:   // base priorities of the high class
    case 13:   //
    case 128:  // HIGH_PRIORITY_CLASS
      return IDC_CLASS_VERY_HIGH;
    case 256:  // REALTIME_PRIORITY_CLASS
      return IDC_CLASS_REAL_TIME;
    default:
      return storedClass == 0 && processId == 0 ? IDC_CLASS_IDLE : 0;
  }
}

int ThreadRadioFor(LONG priority) {
  switch (priority) {
    case -15:
      return IDC_THREAD_IDLE;
    case -1:
      return IDC_THREAD_BELOW_NORMAL;
    case 1:
      return IDC_THREAD_ABOVE_NORMAL;
    case 2:
      return IDC_THREAD_HIGHEST;
    default:
      return IDC_THREAD_NORMAL;
  }
}

void ShowProcessPriority(const DialogControls& controls, TesmarRecord* record) {
  for (int id : kClassRadios) controls.Check(id, false);
  for (int id : kThreadRadios) controls.Check(id, false);
  if (!record) return;
  int radio = ClassRadioFor(TesmarGetProcPrior(record), TesmarGetProcId(record));
  if (radio) controls.Check(radio, true);
}

void ShowThreadPriority(const DialogControls& controls, TesmarRecord* record, DWORD thread) {
  controls.Check(ThreadRadioFor(TesmarGetThreadPrior(record, thread)), true);
}

}  // namespace tesmar::gui
