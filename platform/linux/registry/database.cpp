#include "registry/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <unordered_map>

#include "base/errno_to_win32.h"
#include "base/machine_root.h"
#include "platform/errors.h"
#include "registry/background_checkpoint.h"

namespace tesmar::platform::registry {
namespace {
constexpr int kSchemaVersion = 1;
// Writers queue behind one another; a 16 MB value takes well under a second to write.
constexpr int kBusyTimeoutMilliseconds = 30000;

// The statements, in the order of Sql. Every value change takes a new number from the change
// counter and stamps it on the key and, for subtree waiters, on every ancestor.
constexpr const char* kStatementTexts[] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM registry_keys WHERE parent = ?1 AND folded = ?2",
    "INSERT INTO registry_keys(parent, name, folded) VALUES(?1, ?2, ?3) RETURNING id",
    "SELECT 1 FROM registry_keys WHERE id = ?1",
    "SELECT 1 FROM registry_keys WHERE parent = ?1 LIMIT 1",
    "SELECT name FROM registry_keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2",
    "SELECT parent FROM registry_keys WHERE id = ?1",
    "DELETE FROM registry_keys WHERE id = ?1",
    "DELETE FROM registry_values WHERE key = ?1",
    "SELECT type, length(data) FROM registry_values WHERE key = ?1 AND folded = ?2",
    "SELECT type, data FROM registry_values WHERE key = ?1 AND folded = ?2",
    "INSERT INTO registry_values(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM registry_values WHERE key = ?1 AND folded = ?2",
    "UPDATE registry_change_counter SET value = value + 1 RETURNING value",
    "WITH RECURSIVE chain(id) AS (SELECT ?1 UNION ALL SELECT k.parent FROM registry_keys k "
    "JOIN chain c ON k.id = c.id WHERE k.parent IS NOT NULL) "
    "UPDATE registry_keys SET subtree_values_changed = ?2, "
    "values_changed = CASE WHEN id = ?1 THEN ?2 ELSE values_changed END WHERE id IN chain",
    "WITH RECURSIVE chain(id) AS (SELECT ?1 UNION ALL SELECT k.parent FROM registry_keys k "
    "JOIN chain c ON k.id = c.id WHERE k.parent IS NOT NULL) "
    "UPDATE registry_keys SET subtree_names_changed = ?2, "
    "names_changed = CASE WHEN id = ?1 THEN ?2 ELSE names_changed END WHERE id IN chain",
    "SELECT values_changed, subtree_values_changed, names_changed, subtree_names_changed "
    "FROM registry_keys WHERE id = ?1",
};
static_assert(std::size(kStatementTexts) == static_cast<size_t>(Sql::kCount));

// Key ids 1 to 4 are the predefined roots, in the order of their HKEY values.
constexpr const char* kSchema =
    "CREATE TABLE registry_keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER REFERENCES registry_keys(id),"
    "  name TEXT NOT NULL,"
    "  folded TEXT NOT NULL,"
    "  values_changed INTEGER NOT NULL DEFAULT 0,"
    "  subtree_values_changed INTEGER NOT NULL DEFAULT 0,"
    "  names_changed INTEGER NOT NULL DEFAULT 0,"
    "  subtree_names_changed INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX registry_keys_by_name ON registry_keys(parent, folded);"
    "CREATE TABLE registry_values("
    "  key INTEGER NOT NULL REFERENCES registry_keys(id),"
    "  name TEXT NOT NULL,"
    "  folded TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, folded));"
    "CREATE TABLE registry_change_counter(value INTEGER NOT NULL);"
    "INSERT INTO registry_change_counter VALUES(0);"
    "INSERT INTO registry_keys(id, parent, name, folded) VALUES"
    "  (1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
    "  (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
    "  (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
    "  (4, NULL, 'HKEY_USERS', 'HKEY_USERS');"
    "PRAGMA user_version = 1;";

// A thread's connections. A child made by fork() inherits them but must not use them (SQLite's
// locks belong to the parent), so it abandons them without closing.
struct ThreadConnections {
  pid_t owner = getpid();
  std::unordered_map<std::string, std::unique_ptr<RegistryDatabase>> byRoot;

  void AbandonAfterFork() {
    if (owner == getpid()) return;
    for (auto& [root, database] : byRoot) database.release();
    byRoot.clear();
    owner = getpid();
  }
  ~ThreadConnections() { AbandonAfterFork(); }
};

thread_local ThreadConnections threadConnections;

// A missing -wal or -shm file is made by SQLite when needed, in the writable directory.
bool Writable(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}
}  // namespace

RegistryDatabase::RegistryDatabase(std::string root, sqlite3* connection)
    : root_(std::move(root)),
      path_(root_ + "/registry.db"),
      connection_(connection),
      directory_(open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

RegistryDatabase::~RegistryDatabase() {
  for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);
  sqlite3_close_v2(connection_);
  if (directory_ >= 0) close(directory_);
}

RegistryDatabase* RegistryDatabase::ForRoot(const std::string& root, DWORD& error,
                                            Opening opening) {
  threadConnections.AbandonAfterFork();
  auto& slot = threadConnections.byRoot[root];
  if (slot && slot->Replaced()) slot.reset();
  if (!slot) {
    error = Open(root, opening, slot);
    if (error != ERROR_SUCCESS) {
      threadConnections.byRoot.erase(root);
      return nullptr;
    }
  }
  error = ERROR_SUCCESS;
  return slot.get();
}

void RegistryDatabase::Forget(const std::string& root) {
  threadConnections.AbandonAfterFork();
  threadConnections.byRoot.erase(root);
  SettleCheckpoints(root);
}

DWORD RegistryDatabase::Open(const std::string& root, Opening opening,
                             std::unique_ptr<RegistryDatabase>& out) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  std::string path = root + "/registry.db";
  if (opening == Opening::kCreateIfMissing) {
    if (!MakeMachineRoot(root)) return Win32ErrorFromErrno(errno);
    // Made here, with the machine's permissions; SQLite gives its -wal and -shm the same.
    int made = OpenOrMakeFile(path, O_RDWR | O_CLOEXEC, MachineFileMode(root));
    if (made >= 0) close(made);
    flags |= SQLITE_OPEN_CREATE;
  }
  sqlite3* connection = nullptr;
  int result = sqlite3_open_v2(path.c_str(), &connection, flags, nullptr);
  // The object owns the connection from here on, also when opening failed.
  out.reset(new RegistryDatabase(root, connection));
  if (result != SQLITE_OK) {
    DWORD error = connection ? out->ErrorOf(result) : ERROR_NOT_ENOUGH_MEMORY;
    out.reset();
    return error;
  }
  DWORD error = out->Configure();
  struct stat file;
  if (error == ERROR_SUCCESS && stat(path.c_str(), &file) == 0) {
    out->device_ = file.st_dev;
    out->inode_ = file.st_ino;
  }
  if (error != ERROR_SUCCESS) out.reset();
  return error;
}

DWORD RegistryDatabase::Configure() {
  sqlite3_busy_timeout(connection_, kBusyTimeoutMilliseconds);
  sqlite3_extended_result_codes(connection_, 1);
  // The -wal and -shm files stay when the last connection closes, so that a reader without
  // write access to the directory can still open the database.
  int persist = 1;
  sqlite3_file_control(connection_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  // NORMAL is safe in WAL mode against a process dying at any point; only a power loss may
  // lose the last commits, never half of one.
  sqlite3_exec(connection_, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  std::string limit = "PRAGMA journal_size_limit = " + std::to_string(kLogKeptAfterCheckpoint);
  sqlite3_exec(connection_, limit.c_str(), nullptr, nullptr, nullptr);
  return CreateSchemaIfMissing();
}

DWORD RegistryDatabase::CreateSchemaIfMissing() {
  auto version = [this](int& out) {
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(connection_, "PRAGMA user_version", -1, &statement, nullptr);
    if (result == SQLITE_OK) {
      result = sqlite3_step(statement);
      if (result == SQLITE_ROW) {
        out = sqlite3_column_int(statement, 0);
        result = SQLITE_OK;
      }
    }
    sqlite3_finalize(statement);
    return result;
  };
  int current = 0;
  int result = version(current);
  if (result != SQLITE_OK) return ErrorOf(result);
  if (current == kSchemaVersion) return ERROR_SUCCESS;
  if (current > kSchemaVersion) return ERROR_BADDB;

  // WAL mode is a property of the file; setting it needs no transaction and no other user.
  sqlite3_exec(connection_, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
  result = sqlite3_exec(connection_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) return ErrorOf(result);
  result = version(current);  // another process may have made it meanwhile
  if (result == SQLITE_OK && current == 0) {
    result = sqlite3_exec(connection_, kSchema, nullptr, nullptr, nullptr);
  }
  if (result == SQLITE_OK) result = sqlite3_exec(connection_, "COMMIT", nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) {
    DWORD error = ErrorOf(result);
    sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
    return error;
  }
  return ERROR_SUCCESS;
}

sqlite3_stmt* RegistryDatabase::Statement(Sql which, DWORD& error) {
  auto index = static_cast<size_t>(which);
  if (!statements_[index]) {
    int result = sqlite3_prepare_v3(connection_, kStatementTexts[index], -1,
                                    SQLITE_PREPARE_PERSISTENT, &statements_[index], nullptr);
    if (result != SQLITE_OK) {
      error = ErrorOf(result);
      return nullptr;
    }
  }
  error = ERROR_SUCCESS;
  return statements_[index];
}

DWORD RegistryDatabase::ErrorOf(int result) const {
  switch (result & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:
      return ERROR_BADDB;
    case SQLITE_CANTOPEN: {
      int error = connection_ ? sqlite3_system_errno(connection_) : 0;
      return error ? Win32ErrorFromErrno(error) : ERROR_CANTOPEN;
    }
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

bool RegistryDatabase::FilesWritable() const {
  if (sqlite3_db_readonly(connection_, "main") == 1) return false;
  if (faccessat(AT_FDCWD, root_.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return false;
  return Writable(path_) && Writable(path_ + "-wal") && Writable(path_ + "-shm");
}

bool RegistryDatabase::Replaced() const {
  struct stat file;
  if (stat(path_.c_str(), &file) != 0) return true;
  return file.st_dev != device_ || file.st_ino != inode_;
}

DWORD RegistryDatabase::AnnounceChange() const {
  if (directory_ >= 0 && futimens(directory_, nullptr) == 0) return ERROR_SUCCESS;
  // The folder could not be opened, or was replaced since: its path may still be touched.
  if (utimensat(AT_FDCWD, root_.c_str(), nullptr, 0) == 0) return ERROR_SUCCESS;
  return Win32ErrorFromErrno(errno);
}

std::size_t RegistryDatabase::LogLength() const {
  struct stat log;
  if (stat((path_ + "-wal").c_str(), &log) != 0) return 0;
  return static_cast<std::size_t>(log.st_size);
}

void RegistryDatabase::CheckpointWithoutWaiting() {
  sqlite3_busy_timeout(connection_, 0);
  sqlite3_wal_checkpoint_v2(connection_, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  sqlite3_busy_timeout(connection_, kBusyTimeoutMilliseconds);
}

WriteTransaction::~WriteTransaction() {
  if (open_) Run(Sql::kRollback);
}

namespace {
// What a transaction adds to the log, at most: every page it touches, with the log's header of
// each, for the values' bytes and for the keys, indexes and change stamps around them.
std::size_t LogBytesFor(std::size_t valueBytes) {
  constexpr std::size_t kPage = 4096, kFrame = kPage + 24, kPagesAround = 64;
  return (valueBytes / (kPage - 8) + 1 + kPagesAround) * kFrame;
}
}  // namespace

DWORD WriteTransaction::Begin(std::size_t valueBytes) {
  valueBytes_ = valueBytes;
  // Looked at with the write lock held, so that no other writer grows the log meanwhile.
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD error = Run(Sql::kBeginWrite);
    if (error != ERROR_SUCCESS) return error;
    open_ = true;
    if (database_.LogLength() + LogBytesFor(valueBytes) <= kLogLimit) return ERROR_SUCCESS;
    Run(Sql::kRollback);
    open_ = false;
    if (attempt == 0) {
      // The process's checkpoint thread finishes first, so that it cannot make this one fail.
      SettleCheckpoints(database_.Root());
      database_.CheckpointWithoutWaiting();
    }
  }
  return ERROR_NO_LOG_SPACE;
}

DWORD WriteTransaction::Commit() {
  DWORD error = Run(Sql::kCommit);
  if (error != ERROR_SUCCESS) return error;
  open_ = false;
  // The change stands, but waiters who are not told of it would sleep through it: a change that
  // cannot be announced is reported, so that its writer may try again.
  error = database_.AnnounceChange();
  // Emptied soon after, on the process's checkpoint thread: the writer does not wait for the
  // checkpoint's syncs. The log's bound does not rest on it (Begin checks it).
  if (valueBytes_ >= kLargeWrite && !CheckpointSoon(database_.Root())) {
    database_.CheckpointWithoutWaiting();
  }
  return error;
}

DWORD WriteTransaction::Run(Sql which) {
  DWORD error;
  sqlite3_stmt* statement = database_.Statement(which, error);
  if (!statement) return error;
  StatementScope scope(statement);
  int result = sqlite3_step(statement);
  return result == SQLITE_DONE ? ERROR_SUCCESS : database_.ErrorOf(result);
}

}  // namespace tesmar::platform::registry
