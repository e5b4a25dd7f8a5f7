#include "tunes.h"

#include <initializer_list>

#include "platform/threading.h"

namespace tesmar::service {
namespace {

constexpr DWORD kNoteMilliseconds = 50;
constexpr DWORD kPauseMilliseconds = 50;

void PlayNotes(std::initializer_list<DWORD> frequencies) {
  for (DWORD frequency : frequencies) {
    Beep(frequency, kNoteMilliseconds);
    Sleep(kPauseMilliseconds);
  }
}

}  // namespace

void PlayStartupTune() {
  PlayNotes({220, 220, 440});
}

void PlayShutdownTune() {
  PlayNotes({440, 440, 220});
}

}  // namespace tesmar::service
