// Internals of the SQLite back end.
#pragma once

struct sqlite3;

namespace dbsql {

// Registers between_times (12 integers) on a connection, and beside it
// compare_times (6 integers).
void create_between_times(sqlite3 *db);

}  // namespace dbsql
