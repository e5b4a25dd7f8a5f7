// Reading /proc relative to an open directory handle, with no allocation per entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tesmar::platform {

// Calls onNumber for every entry of the directory whose name is a decimal number.
// Returns false when the directory cannot be opened.
template <typename OnNumber>
bool ForEachNumberedEntry(int directoryFd, OnNumber onNumber);

// Reads a small file relative to a directory handle into text (cleared first). False on failure.
bool ReadSmallFile(int directoryFd, const char* path, std::string& text);

// The ids under <procFd>/<processId>/task, appended. False when the process is gone.
bool AppendTaskIds(int procFd, uint32_t processId, std::vector<uint32_t>& ids);

}  // namespace tesmar::platform

#include "processes/proc_directory_inl.h"
