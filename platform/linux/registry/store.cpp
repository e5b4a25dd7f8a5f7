#include "registry/store.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/registry.h"

namespace tesmar::platform::registry {
namespace {
// The first four ids are the predefined roots.
constexpr KeyId kLastRootId = 4;

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

// Runs a bound statement that yields at most one row; value gets its first column.
DWORD QueryOne(RegistryDatabase& database, sqlite3_stmt* statement, bool& found, int64_t& value) {
  int result = sqlite3_step(statement);
  found = result == SQLITE_ROW;
  if (found) {
    value = sqlite3_column_int64(statement, 0);
    result = sqlite3_step(statement);  // to the end, so that an INSERT .. RETURNING completes
  }
  return result == SQLITE_DONE ? ERROR_SUCCESS : database.ErrorOf(result);
}

// Runs one of the statements whose first parameter is a key id.
DWORD QueryWithKey(RegistryDatabase& database, Sql which, KeyId key, bool& found, int64_t& value) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(which, error);
  if (!statement) return error;
  StatementScope scope(statement);
  sqlite3_bind_int64(statement, 1, key);
  return QueryOne(database, statement, found, value);
}

DWORD RunWithKey(RegistryDatabase& database, Sql which, KeyId key) {
  bool found = false;
  int64_t ignored = 0;
  return QueryWithKey(database, which, key, found, ignored);
}

DWORD FindChild(RegistryDatabase& database, KeyId parent, const StoredName& name, bool& found,
                KeyId& child) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(Sql::kFindChild, error);
  if (!statement) return error;
  StatementScope scope(statement);
  sqlite3_bind_int64(statement, 1, parent);
  BindText(statement, 2, name.folded);
  return QueryOne(database, statement, found, child);
}

DWORD InsertChild(RegistryDatabase& database, KeyId parent, const StoredName& name, KeyId& child) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(Sql::kInsertKey, error);
  if (!statement) return error;
  StatementScope scope(statement);
  sqlite3_bind_int64(statement, 1, parent);
  BindText(statement, 2, name.name);
  BindText(statement, 3, name.folded);
  bool inserted = false;
  error = QueryOne(database, statement, inserted, child);
  if (error == ERROR_SUCCESS && !inserted) return ERROR_BADDB;
  return error;
}

// Takes the next number of the change counter and stamps it on key and on its ancestors, inside
// the caller's transaction. which is kStampValueChange or kStampNameChange.
DWORD StampChange(RegistryDatabase& database, Sql which, KeyId key) {
  DWORD error;
  sqlite3_stmt* next = database.Statement(Sql::kNextChange, error);
  if (!next) return error;
  int64_t number = 0;
  {
    StatementScope scope(next);
    bool found = false;
    error = QueryOne(database, next, found, number);
    if (error != ERROR_SUCCESS) return error;
    if (!found) return ERROR_BADDB;
  }
  sqlite3_stmt* stamp = database.Statement(which, error);
  if (!stamp) return error;
  StatementScope scope(stamp);
  sqlite3_bind_int64(stamp, 1, key);
  sqlite3_bind_int64(stamp, 2, number);
  int result = sqlite3_step(stamp);
  return result == SQLITE_DONE ? ERROR_SUCCESS : database.ErrorOf(result);
}

// Steps a value query (key, folded name) to its row; ERROR_FILE_NOT_FOUND without one.
DWORD StepToValue(RegistryDatabase& database, sqlite3_stmt* statement, KeyId key,
                  const StoredName& name) {
  sqlite3_bind_int64(statement, 1, key);
  BindText(statement, 2, name.folded);
  int result = sqlite3_step(statement);
  if (result == SQLITE_ROW) return ERROR_SUCCESS;
  if (result != SQLITE_DONE) return database.ErrorOf(result);
  // Tell a missing value from a key that another handle or process deleted.
  DWORD error = CheckKeyExists(database, key);
  return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error;
}
}  // namespace

DWORD SubkeyName(RegistryDatabase& database, KeyId key, DWORD index, std::string& name) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(Sql::kNthChildName, error);
  if (!statement) return error;
  StatementScope scope(statement);
  sqlite3_bind_int64(statement, 1, key);
  sqlite3_bind_int64(statement, 2, index);
  int result = sqlite3_step(statement);
  if (result == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    name.assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(statement, 0)));
    return ERROR_SUCCESS;
  }
  if (result != SQLITE_DONE) return database.ErrorOf(result);
  error = CheckKeyExists(database, key);
  return error == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : error;
}

DWORD CheckKeyExists(RegistryDatabase& database, KeyId key) {
  bool found = false;
  int64_t ignored = 0;
  DWORD error = QueryWithKey(database, Sql::kKeyExists, key, found, ignored);
  if (error != ERROR_SUCCESS) return error;
  return found ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

DWORD FindKey(RegistryDatabase& database, KeyId from, const std::vector<StoredName>& path,
              KeyId& found) {
  KeyId current = from;
  for (const StoredName& part : path) {
    bool exists = false;
    DWORD error = FindChild(database, current, part, exists, current);
    if (error != ERROR_SUCCESS) return error;
    if (!exists) {
      // Below a deleted key nothing exists; say which of the two it is.
      if (&part == &path.front() && (error = CheckKeyExists(database, from)) != ERROR_SUCCESS) {
        return error;
      }
      return ERROR_FILE_NOT_FOUND;
    }
  }
  if (path.empty()) {
    DWORD error = CheckKeyExists(database, from);
    if (error != ERROR_SUCCESS) return error;
  }
  found = current;
  return ERROR_SUCCESS;
}

DWORD CreateKey(RegistryDatabase& database, KeyId from, const std::vector<StoredName>& path,
                KeyId& found, bool& created) {
  WriteTransaction transaction(database);
  DWORD error = transaction.Begin();
  if (error != ERROR_SUCCESS) return error;
  error = CheckKeyExists(database, from);
  if (error != ERROR_SUCCESS) return error;
  KeyId current = from;
  created = false;
  for (const StoredName& part : path) {
    bool exists = false;
    KeyId child = 0;
    error = FindChild(database, current, part, exists, child);
    if (error != ERROR_SUCCESS) return error;
    if (!exists) {
      error = InsertChild(database, current, part, child);
      if (error == ERROR_SUCCESS) error = StampChange(database, Sql::kStampNameChange, current);
      if (error != ERROR_SUCCESS) return error;
    }
    created = !exists;
    current = child;
  }
  error = transaction.Commit();
  if (error != ERROR_SUCCESS) return error;
  found = current;
  return ERROR_SUCCESS;
}

DWORD DeleteKey(RegistryDatabase& database, KeyId key) {
  if (key <= kLastRootId) return ERROR_ACCESS_DENIED;
  WriteTransaction transaction(database);
  DWORD error = transaction.Begin();
  if (error != ERROR_SUCCESS) return error;
  bool found = false;
  KeyId parent = 0;
  error = QueryWithKey(database, Sql::kParentOf, key, found, parent);
  if (error != ERROR_SUCCESS) return error;
  if (!found) return ERROR_KEY_DELETED;
  int64_t ignored = 0;
  error = QueryWithKey(database, Sql::kFirstChild, key, found, ignored);
  if (error != ERROR_SUCCESS) return error;
  if (found) return ERROR_ACCESS_DENIED;  // as Windows NT: subkeys first
  error = RunWithKey(database, Sql::kDeleteKeyValues, key);
  if (error == ERROR_SUCCESS) error = RunWithKey(database, Sql::kDeleteKey, key);
  if (error == ERROR_SUCCESS) error = StampChange(database, Sql::kStampNameChange, parent);
  if (error != ERROR_SUCCESS) return error;
  return transaction.Commit();
}

DWORD ReadValue(RegistryDatabase& database, KeyId key, const StoredName& name, DWORD& type,
                BYTE* data, DWORD& size) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(data ? Sql::kReadValue : Sql::kReadValueSize, error);
  if (!statement) return error;
  StatementScope scope(statement);
  error = StepToValue(database, statement, key, name);
  if (error != ERROR_SUCCESS) return error;
  type = static_cast<DWORD>(sqlite3_column_int64(statement, 0));
  if (!data) {
    size = static_cast<DWORD>(sqlite3_column_int64(statement, 1));
    return ERROR_SUCCESS;
  }
  const void* bytes = sqlite3_column_blob(statement, 1);
  auto stored = static_cast<DWORD>(sqlite3_column_bytes(statement, 1));
  if (stored > size) {
    size = stored;
    return ERROR_MORE_DATA;
  }
  if (stored) std::memcpy(data, bytes, stored);
  size = stored;
  return ERROR_SUCCESS;
}

DWORD ReadWholeValue(RegistryDatabase& database, KeyId key, const StoredName& name, DWORD& type,
                     std::vector<BYTE>& data) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(Sql::kReadValue, error);
  if (!statement) return error;
  StatementScope scope(statement);
  error = StepToValue(database, statement, key, name);
  if (error != ERROR_SUCCESS) return error;
  type = static_cast<DWORD>(sqlite3_column_int64(statement, 0));
  auto bytes = static_cast<const BYTE*>(sqlite3_column_blob(statement, 1));
  data.assign(bytes, bytes + sqlite3_column_bytes(statement, 1));
  return ERROR_SUCCESS;
}

DWORD WriteValue(RegistryDatabase& database, KeyId key, const StoredName& name, DWORD type,
                 const BYTE* data, DWORD size) {
  WriteTransaction transaction(database);
  DWORD error = transaction.Begin(size);
  if (error != ERROR_SUCCESS) return error;
  error = CheckKeyExists(database, key);
  if (error != ERROR_SUCCESS) return error;
  sqlite3_stmt* statement = database.Statement(Sql::kWriteValue, error);
  if (!statement) return error;
  {
    StatementScope scope(statement);
    sqlite3_bind_int64(statement, 1, key);
    BindText(statement, 2, name.name);
    BindText(statement, 3, name.folded);
    sqlite3_bind_int64(statement, 4, type);
    // A null pointer would bind SQL NULL; an empty value is an empty blob.
    if (size == 0) {
      sqlite3_bind_zeroblob(statement, 5, 0);
    } else {
      sqlite3_bind_blob64(statement, 5, data, size, SQLITE_STATIC);
    }
    int result = sqlite3_step(statement);
    if (result != SQLITE_DONE) return database.ErrorOf(result);
  }
  error = StampChange(database, Sql::kStampValueChange, key);
  if (error != ERROR_SUCCESS) return error;
  return transaction.Commit();
}

DWORD DeleteValue(RegistryDatabase& database, KeyId key, const StoredName& name) {
  WriteTransaction transaction(database);
  DWORD error = transaction.Begin();
  if (error != ERROR_SUCCESS) return error;
  sqlite3_stmt* statement = database.Statement(Sql::kDeleteValue, error);
  if (!statement) return error;
  {
    StatementScope scope(statement);
    sqlite3_bind_int64(statement, 1, key);
    BindText(statement, 2, name.folded);
    int result = sqlite3_step(statement);
    if (result != SQLITE_DONE) return database.ErrorOf(result);
  }
  if (sqlite3_changes(sqlite3_db_handle(statement)) == 0) {
    error = CheckKeyExists(database, key);
    return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error;
  }
  error = StampChange(database, Sql::kStampValueChange, key);
  if (error != ERROR_SUCCESS) return error;
  return transaction.Commit();
}

DWORD ReadChangeNumbers(RegistryDatabase& database, KeyId key, ChangeNumbers& numbers) {
  DWORD error;
  sqlite3_stmt* statement = database.Statement(Sql::kReadChanges, error);
  if (!statement) return error;
  StatementScope scope(statement);
  sqlite3_bind_int64(statement, 1, key);
  int result = sqlite3_step(statement);
  if (result == SQLITE_DONE) return ERROR_KEY_DELETED;
  if (result != SQLITE_ROW) return database.ErrorOf(result);
  numbers.values = sqlite3_column_int64(statement, 0);
  numbers.subtreeValues = sqlite3_column_int64(statement, 1);
  numbers.names = sqlite3_column_int64(statement, 2);
  numbers.subtreeNames = sqlite3_column_int64(statement, 3);
  return ERROR_SUCCESS;
}

int64_t LatestChange(const ChangeNumbers& numbers, bool subtree, DWORD filter) {
  int64_t latest = 0;
  if (filter & REG_NOTIFY_CHANGE_LAST_SET) {
    latest = std::max(latest, subtree ? numbers.subtreeValues : numbers.values);
  }
  if (filter & REG_NOTIFY_CHANGE_NAME) {
    latest = std::max(latest, subtree ? numbers.subtreeNames : numbers.names);
  }
  return latest;
}

}  // namespace tesmar::platform::registry
