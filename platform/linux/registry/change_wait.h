// Waiting for changes of a key: a synchronous wait in the caller's thread, and asynchronous
// registrations served by one watcher thread per process that signals their events. Both sleep
// on inotify until a writer announces a commit (RegistryDatabase::AnnounceChange) and decide
// with the change numbers in the database, so that only changes after the wait began count,
// whichever process made them.
#pragma once

#include <memory>
#include <string>

#include "base/event_object.h"
#include "registry/store.h"

namespace tesmar::platform::registry {

struct ChangeScope {
  std::string root;
  KeyId key = 0;
  bool subtree = false;
  DWORD filter = 0;
};

// Returns once a change the scope covers was committed after the call began, or the key was
// deleted.
DWORD WaitForChange(const ChangeScope& scope);

// Signals event at the first such change after this call; owner is the key object whose closing
// ends the registration (the event is then signalled too), or null for a predefined root.
DWORD RegisterForChange(const ChangeScope& scope, std::shared_ptr<EventObject> event,
                        const void* owner);
void CancelRegistrationsOf(const void* owner);

}  // namespace tesmar::platform::registry
