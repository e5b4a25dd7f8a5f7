#include "base/machine_root.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tesmar::platform {

std::string MachineRoot() {
  const char* root = std::getenv("TESMAR_ROOT");
  if (root && *root) return root;
  return "/var/lib/tesmar";
}

mode_t MachineFolderMode(const std::string& root) {
  struct stat folder;
  if (stat(root.c_str(), &folder) != 0) return kFreshMachineRootMode;
  return folder.st_mode & 07777;
}

mode_t MachineFileMode(const std::string& root) {
  return MachineFolderMode(root) & 0666;
}

bool MakeFolders(const std::string& path, mode_t mode) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string prefix = path.substr(0, end);
    if (!prefix.empty() && mkdir(prefix.c_str(), mode) == 0) {
      chmod(prefix.c_str(), mode);  // the umask took bits away
    } else if (!prefix.empty() && errno != EEXIST) {
      return false;
    }
    if (end == std::string::npos) return true;
  }
}

bool MakeMachineRoot(const std::string& root) {
  return MakeFolders(root, kFreshMachineRootMode);
}

int OpenOrMakeFile(const std::string& path, int flags, mode_t mode) {
  int file = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
  if (file >= 0) {
    fchmod(file, mode);
    return file;
  }
  if (errno != EEXIST) return -1;
  return open(path.c_str(), flags);
}

}  // namespace tesmar::platform
