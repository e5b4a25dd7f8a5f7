// The handle an operation on a snapshot entry acts through, kept for the next operation of the
// same calling thread on the same task: the packet builder reads a thread's mask and then its
// priority, the merge sets a thread's mask, priority and ideal processor one after another, and
// the process's calls come in threes, so each task is opened once in a row instead of once an
// operation (an open costs several system calls, against one for the read it serves).
//
// A kept handle serves only while no snapshot has been made or destroyed since it was opened,
// so it never outlives the pass it was opened in. It is at least as safe as opening anew: a task
// that ended since makes the kept handle fail, where a new open by id could reach a newcomer that
// took the id. One thread handle and one process handle are kept per calling thread, so the
// descriptors kept do not grow with the machine.
#pragma once

#include "Cpumask.h"
#include "platform/owned_handle.h"
#include "platform/win32_types.h"

namespace tesmar::affinity {

// A new handle of the entry's thread, the caller's to close; empty when it cannot be opened.
platform::OwnedHandle OpenEntryThread(const ProcessEntry* entry, DWORD index);

// Borrowed: valid until the calling thread's next call here, or the next snapshot. Null when the
// task cannot be opened (nothing is kept then).
HANDLE EntryThreadHandle(const ProcessEntry* entry, DWORD index);
HANDLE EntryProcessHandle(const ProcessEntry* entry);

// A snapshot was made or destroyed: the handles kept so far serve no more, and the calling
// thread's are closed at once.
void ForgetEntryHandles();

}  // namespace tesmar::affinity
