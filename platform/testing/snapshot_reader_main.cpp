// tesmar_snapshot_reader DATABASE: a reader of a registry database that never lets go, as any
// local user who may read the file can be. It opens the database read-only with SQLite itself,
// begins a read transaction, prints "holding <number of values>" and holds the transaction (and
// so its snapshot) until its standard input ends. "error <SQLite result>" when it cannot.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tesmar_snapshot_reader DATABASE\n");
    return 2;
  }
  sqlite3* database = nullptr;
  int result = sqlite3_open_v2(argv[1], &database, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* count = nullptr;
  if (result == SQLITE_OK) result = sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
  if (result == SQLITE_OK) {
    result =
        sqlite3_prepare_v2(database, "SELECT count(*) FROM registry_values", -1, &count, nullptr);
  }
  if (result == SQLITE_OK && sqlite3_step(count) == SQLITE_ROW) {
    std::printf("holding %d\n", sqlite3_column_int(count, 0));
  } else {
    std::printf("error %d\n", result);
  }
  std::fflush(stdout);
  char byte;
  while (read(STDIN_FILENO, &byte, 1) > 0) {
  }
  sqlite3_finalize(count);
  sqlite3_close(database);
  return 0;
}
