#include "registry/background_checkpoint.h"

#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "registry/database.h"

namespace tesmar::platform::registry {
namespace {
// One TRUNCATE checkpoint through a connection of its own, opened for it and closed after it,
// so that nothing of the root stays open between requests. Busy timeout 0: it never waits.
void Checkpoint(const std::string& root) {
  std::string path = root + "/registry.db";
  struct stat log;
  if (stat((path + "-wal").c_str(), &log) != 0 || log.st_size == 0) return;
  sqlite3* connection = nullptr;
  if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(connection, 0);
    // Kept like every connection's: readers without write access to the directory need them.
    int persist = 1;
    sqlite3_file_control(connection, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    std::string limit = "PRAGMA journal_size_limit = " + std::to_string(kLogKeptAfterCheckpoint);
    sqlite3_exec(connection, limit.c_str(), nullptr, nullptr, nullptr);
    // A first read opens the log, which a checkpoint alone may not do. The copy and its syncs
    // run first as a passive checkpoint, which takes no write lock; the truncating one then
    // holds writers off only for what was written meanwhile and the cut itself.
    if (sqlite3_exec(connection, "PRAGMA user_version", nullptr, nullptr, nullptr) == SQLITE_OK) {
      sqlite3_wal_checkpoint_v2(connection, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
      sqlite3_wal_checkpoint_v2(connection, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
  }
  sqlite3_close_v2(connection);
}

struct Checkpointer {
  pid_t owner = getpid();
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable settled;
  std::deque<std::string> asked;
  std::string running;
  bool stopping = false;
  std::thread thread;
  // What a parent process left to a child made by fork(): no thread runs it here, so it is
  // neither used nor destroyed, only kept reachable.
  Checkpointer* inherited = nullptr;

  void Run() {
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [&] { return stopping || !asked.empty(); });
      if (stopping) break;
      running = std::move(asked.front());
      asked.pop_front();
      lock.unlock();
      Checkpoint(running);
      lock.lock();
      running.clear();
      settled.notify_all();
    }
    asked.clear();
    settled.notify_all();
  }

  bool Busy(const std::string& root) const {
    return running == root || std::find(asked.begin(), asked.end(), root) != asked.end();
  }
};

std::mutex creation;
Checkpointer* current = nullptr;
bool ended = false;

// No lock is held across fork(), so that the child may make a checkpointer of its own.
void LockForFork() {
  creation.lock();
  if (current) current->mutex.lock();
}
void UnlockAfterFork() {
  if (current) current->mutex.unlock();
  creation.unlock();
}

// The process's checkpointer; at exit its thread is stopped and joined (the object stays, since
// a thread still writing at exit may look at it).
struct Ending {
  ~Ending() {
    std::lock_guard lock(creation);
    ended = true;
    if (!current || current->owner != getpid()) return;
    {
      std::lock_guard stop(current->mutex);
      current->stopping = true;
    }
    current->wake.notify_all();
    if (current->thread.joinable()) current->thread.join();
  }
} ending;

Checkpointer* Existing() {
  std::lock_guard lock(creation);
  return current && current->owner == getpid() ? current : nullptr;
}

// Null once the process is ending, or when no thread can be started.
Checkpointer* Started() {
  static std::once_flag forkHandlers;
  std::call_once(forkHandlers,
                 [] { pthread_atfork(LockForFork, UnlockAfterFork, UnlockAfterFork); });
  std::lock_guard lock(creation);
  if (ended) return nullptr;
  if (!current || current->owner != getpid()) {
    auto* made = new Checkpointer;
    made->inherited = current;
    try {
      made->thread = std::thread([made] { made->Run(); });
    } catch (const std::system_error&) {
      // No thread to be had (a thread limit reached): the writer checkpoints itself this time.
      delete made;
      return nullptr;
    }
    current = made;
  }
  return current;
}
}  // namespace

bool CheckpointSoon(const std::string& root) {
  Checkpointer* checkpointer = Started();
  if (!checkpointer) return false;
  {
    std::lock_guard lock(checkpointer->mutex);
    if (checkpointer->stopping) return false;
    auto& asked = checkpointer->asked;
    if (std::find(asked.begin(), asked.end(), root) == asked.end()) asked.push_back(root);
  }
  checkpointer->wake.notify_one();
  return true;
}

void SettleCheckpoints(const std::string& root) {
  Checkpointer* checkpointer = Existing();
  if (!checkpointer) return;
  std::unique_lock lock(checkpointer->mutex);
  checkpointer->settled.wait(lock, [&] { return !checkpointer->Busy(root); });
}

}  // namespace tesmar::platform::registry
