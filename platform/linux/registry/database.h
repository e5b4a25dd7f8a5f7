// One thread's connection to one machine's registry database, $ROOT/registry.db: opened on first
// use and kept for the thread's life, with its statements prepared once. Each thread has its own
// connections, so no lock is needed around SQLite; connections are keyed by root so that a
// process (a test) may switch machines.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/win32_types.h"

namespace tesmar::platform::registry {

// The write-ahead log (registry.db-wal) never grows past this, whatever readers do: a reader
// that holds an old snapshot keeps every later commit in the log, and a write that would take
// the log past the limit while one does is refused with ERROR_NO_LOG_SPACE.
inline constexpr std::size_t kLogLimit = 64u << 20;
// After a checkpoint, a log longer than this is cut back to it.
inline constexpr std::size_t kLogKeptAfterCheckpoint = 4u << 20;
// After a write at least this large the log is copied into the database and emptied soon, on a
// thread of the process's own, when no reader holds it, so that no log stays long for long.
inline constexpr std::size_t kLargeWrite = 256u << 10;

enum class Sql {
  kBeginWrite,
  kCommit,
  kRollback,
  kFindChild,
  kInsertKey,
  kKeyExists,
  kFirstChild,
  kNthChildName,
  kParentOf,
  kDeleteKey,
  kDeleteKeyValues,
  kReadValueSize,
  kReadValue,
  kWriteValue,
  kDeleteValue,
  kNextChange,
  kStampValueChange,
  kStampNameChange,
  kReadChanges,
  kCount
};

class RegistryDatabase {
 public:
  enum class Opening { kCreateIfMissing, kExistingOnly };

  // The calling thread's connection to the database under root; null with the Win32 error.
  static RegistryDatabase* ForRoot(const std::string& root, DWORD& error,
                                   Opening opening = Opening::kCreateIfMissing);
  // Closes the calling thread's connection to root, if it has one, and waits until the process's
  // checkpoint thread has nothing of root open or asked for.
  static void Forget(const std::string& root);

  ~RegistryDatabase();
  RegistryDatabase(const RegistryDatabase&) = delete;
  RegistryDatabase& operator=(const RegistryDatabase&) = delete;

  // The prepared statement, or null with the error in *error.
  sqlite3_stmt* Statement(Sql which, DWORD& error);
  // The Win32 error for a failed SQLite result on this connection.
  DWORD ErrorOf(int result) const;
  // Whether this process may change the database: its files and their directory are writable
  // for the process's effective ids.
  bool FilesWritable() const;
  // Tells waiters in every process that a transaction was committed: inotify on the database
  // files alone would wake them before the commit is visible (SQLite publishes it through the
  // mapped -shm file, which raises no event), so the writer touches the directory afterwards.
  // The Win32 error when the directory's time cannot be set.
  DWORD AnnounceChange() const;

  const std::string& Root() const { return root_; }
  // The log's length now, 0 when there is none.
  std::size_t LogLength() const;
  // Copies the log into the database and empties it, without waiting for anyone: a reader that
  // holds an old snapshot, or another writer, keeps it as it is.
  void CheckpointWithoutWaiting();

 private:
  RegistryDatabase(std::string root, sqlite3* connection);
  static DWORD Open(const std::string& root, Opening opening,
                    std::unique_ptr<RegistryDatabase>& out);
  DWORD Configure();
  // Whether the database file was deleted or replaced since this connection opened it (an
  // operator resetting the machine, a test reusing a root): the connection then moves on.
  bool Replaced() const;
  DWORD CreateSchemaIfMissing();

  std::string root_;
  std::string path_;
  sqlite3* connection_;
  int directory_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::array<sqlite3_stmt*, static_cast<size_t>(Sql::kCount)> statements_{};
};

// Resets a statement when the scope ends, so that no read transaction stays open.
class StatementScope {
 public:
  explicit StatementScope(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementScope() {
    if (!statement_) return;
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementScope(const StatementScope&) = delete;
  StatementScope& operator=(const StatementScope&) = delete;

 private:
  sqlite3_stmt* statement_;
};

// BEGIN IMMEDIATE .. COMMIT; rolled back unless committed. Immediate, so that a writer waits
// for the write lock under the busy timeout instead of failing when it upgrades a read.
class WriteTransaction {
 public:
  explicit WriteTransaction(RegistryDatabase& database) : database_(database) {}
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  // For a transaction that writes about that many bytes of values; ERROR_NO_LOG_SPACE when
  // the log has no room for them (kLogLimit) and cannot be emptied.
  DWORD Begin(std::size_t valueBytes = 0);
  // The commit's error, or the announcement's: a committed change that waiters could not be told
  // of answers an error too, though the change stands.
  DWORD Commit();

 private:
  DWORD Run(Sql which);

  RegistryDatabase& database_;
  bool open_ = false;
  std::size_t valueBytes_ = 0;
};

}  // namespace tesmar::platform::registry
