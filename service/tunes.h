// The three-note tunes tesmarsr plays around its service dispatcher, so that an operator at the
// machine hears the service come and go.
#pragma once

namespace tesmar::service {

// 220 Hz, 220 Hz, 440 Hz.
void PlayStartupTune();
// 440 Hz, 440 Hz, 220 Hz.
void PlayShutdownTune();

}  // namespace tesmar::service
