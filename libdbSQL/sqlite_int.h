// Internals of the SQLite back end.
#pragma once

struct sqlite3;

namespace dbsql {

// Registers between_times (12 integers) and compare_times (6 integers) on a
// connection.
void RegisterCatalogFunctions(sqlite3 *db);

}  // namespace dbsql
