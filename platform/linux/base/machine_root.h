// The directory that holds one machine's state: $TESMAR_ROOT, or /var/lib/tesmar.
//
// What the layer makes in it takes the root's own permissions, whatever the umask of the process
// that makes it: a fresh root is made 0750 (its owner may write, its group may look, nobody
// else may even read), a file gets the root's permissions without execute bits (0640 then), a
// folder the root's (setgid included). An operator who opens the root to a group (README, "Who
// may write") so opens what is made in it later as well.
#pragma once

#include <sys/types.h>

#include <string>

namespace tesmar::platform {

inline constexpr mode_t kFreshMachineRootMode = 0750;

std::string MachineRoot();

// The permissions of a folder and of a file made inside the root.
mode_t MachineFolderMode(const std::string& root);
mode_t MachineFileMode(const std::string& root);

// Makes the folder and the missing ones above it; each made takes the mode. False with errno
// set when one cannot be made.
bool MakeFolders(const std::string& path, mode_t mode);
// The machine root, made with kFreshMachineRootMode when missing.
bool MakeMachineRoot(const std::string& root);

// Opens the file, making it when missing (flags without O_CREAT); a file it made takes the mode.
// -1 with errno set on failure.
int OpenOrMakeFile(const std::string& path, int flags, mode_t mode);

}  // namespace tesmar::platform
