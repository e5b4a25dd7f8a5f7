// Emptying the write-ahead log after a large write on a thread of the process's own, so that the
// writer answers at once instead of waiting for the checkpoint's disk syncs.
#pragma once

#include <string>

namespace tesmar::platform::registry {

// Asks for the log of the database under root to be copied into the database and emptied soon,
// without waiting for anyone (a reader or writer that holds it keeps it until the next request).
// False when no checkpoint thread runs (the process is ending, or none could be started): the
// caller then checkpoints itself.
bool CheckpointSoon(const std::string& root);
// Waits until no checkpoint of root is asked for or running (none waits, so this is short):
// afterwards the thread has nothing of root open, and a checkpoint of the caller's own is not
// refused merely because the thread holds the log.
void SettleCheckpoints(const std::string& root);

}  // namespace tesmar::platform::registry
