// Internals of the SQLite back end.
#pragma once

struct sqlite3;

namespace dbsql {

// Registers between_times (12 integers) on a connection, and beside it
// compare_times (6 integers).
void create_between_times(sqlite3 *db);

}  // namespace dbsql

#include <chrono>
#include <cstdint>
#include <optional>

namespace dbsql {

// Turns at a catalog that other processes keep writing.  A reader of an
// SQLite file that another process writes transaction after transaction
// only gets in during the moment between two of them, which a reader that
// retries now and then almost never meets.  The gate is a descriptor of the
// catalog file of its own (open file description locks, which never touch
// the locks SQLite takes on its own descriptor); waiting on it wakes the
// reader as soon as the writer lets go.

// The gate of the catalog file at path, -1 when it cannot be opened.  It is
// closed only after the connection is: closing a descriptor of a file drops
// the locks this process holds on it.
int OpenTurnGate(const char *path);
// How a wait for a turn went: the writer let go (or the wait ran out), no
// other process holds the write lock, or that cannot be told.
enum class Turn { Waited, NotHeld, Unknown };
// Waits at most wait for the write lock of another process on the catalog
// to end.
Turn AwaitTurn(int gate, std::chrono::milliseconds wait);
// Called in every wait of AwaitTurn once its timer runs, just before the
// wait for the lock begins (SQLite_dbSetTurnWaitHook).
void SetTurnWaitHook(void (*hook)());
// The catalog file's change counter (bytes 24 to 27 of its header), which
// every committed write transaction changes; nullopt when unreadable.
std::optional<std::uint32_t> ChangeCounter(int gate);

}  // namespace dbsql
