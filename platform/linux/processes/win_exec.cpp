#include "platform/win_exec.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "platform/errors.h"

extern char** environ;

namespace {

constexpr UINT kStarted = 33;

bool FolderOfPathMissing(const std::string& program) {
  size_t slash = program.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  struct stat folder {};
  return stat(program.substr(0, slash).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode);
}

UINT ResultOfSpawnError(int error, const std::string& program) {
  switch (error) {
    case ENOMEM:
    case EAGAIN:
      return 0;
    case ENOENT:
      return FolderOfPathMissing(program) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case ENOEXEC:
    case EISDIR:
    case ELIBBAD:
    case ETXTBSY:
      return ERROR_BAD_FORMAT;
    default:
      return ERROR_ACCESS_DENIED;  // 5: any other refusal
  }
}

}  // namespace

/***********************************************************************
 *           WinExec
 *
 * posix_spawnp with standard input on /dev/null, in a new session (POSIX_SPAWN_SETSID), so that
 * the program outlives the caller's terminal; a detached thread reaps it when it ends, so no
 * zombie is left. Nothing else tracks it.
 */
extern "C" UINT WinExec(LPCSTR commandLine, UINT) noexcept {
  try {
    if (!commandLine) return ERROR_FILE_NOT_FOUND;
    std::vector<std::string> words = tesmar::platform::SplitWords(commandLine);
    if (words.empty() || words[0].empty()) return ERROR_FILE_NOT_FOUND;
    std::vector<char*> argv = tesmar::platform::ExecVector(words);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return 0;
    if (posix_spawnattr_init(&attributes) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return 0;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = -1;
    int error = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return ResultOfSpawnError(error, words[0]);
    std::thread([child] {
      while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return kStarted;
  } catch (...) {
    return 0;  // out of memory or threads
  }
}
