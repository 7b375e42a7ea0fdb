/* dbBackends: the SQL back ends behind the catalog front end.
 *
 * The SQLite file catalog (<KOMBRA_DATA>/<name>.db3, "nurv" by default) and
 * the MySQL server catalog fill the SQLite and MySQL columns of the front
 * end's dispatch table; callers use the db functions of libdbSQL.h, not
 * these.  Both serve the same schema:
 *
 *   hierarchy  (data_key INTEGER PRIMARY KEY, project, mission, experiment,
 *               instrument, virtual)
 *   hd_entries (data_key, b_yr, b_day, b_msec, e_yr, e_day, e_msec, size,
 *               archive_label, archive_date), primary key (data_key, b_yr,
 *               b_day, b_msec): one row per header and data file pair
 *   v_entries  the same columns, one row per description file
 *
 * and the overlap rule of between_times below.  Failures leave their text in
 * the shared error text (SetErrorString). */
#pragma once

#include "libdbSQL.h"

/* ---- Overlap rule and time comparison ---------------------------------- */

/* 1 when the entry begin..end and the request begin..end (year, day of year,
 * msec each) overlap, else 0, comparing the times by day count and msec:
 * an entry that ends exactly at the request begin does not overlap, one that
 * begins exactly at the request end does, equal begins always do. */
int CatalogBetweenTimes(const int entry_begin[3], const int entry_end[3], const int req_begin[3],
                        const int req_end[3]);

/* Ordering key of a time triple under that rule: a day count (proleptic
 * Gregorian, truncating divisions) times 144000000 plus msec.  Exact for
 * any 32-bit triple. */
__int128 day_number(int yr, int day, int msec);

/* The change state of an open catalog.  Two states read from the same
 * connection differ whenever its entries may have changed in between: a
 * statement of this process that may write, a commit of another connection,
 * or another catalog opened. */
struct CatalogVersion {
    unsigned long long connection = 0; /* catalogs opened so far */
    unsigned long long writes = 0;     /* statements of this process that may write */
    long long data = -1;               /* commits of other connections, as SQLite counts them */
    bool operator==(const CatalogVersion &) const = default;
};

/* What the file look-up keeps of the entries of one key in one table: their
 * number, the longest of them (end less begin in ordering-key units, at
 * least 0) and whether every begin is a real calendar time ("tame": year 1
 * to 9999, a day of that year, msec of the day, all stored as integers, and
 * ends stored as integers of at most four-digit years), where the order of
 * begin triples and of their ordering keys agree. */
struct CatalogSpan {
    long long count = 0;
    long long longest = 0;
    bool tame = true;
};

/* "ERROR: <what> - <message>!" into the shared error text (cut to 1023
 * characters); returns it. */
char *CommonErrorString(const char *what, const char *message);

/* ---- SQLite ------------------------------------------------------------- */

int SQLite_dbInitializeMsg(void);
/* As SQLite_dbInitializeMsg; on failure prints the reason and a hint on
 * stdout and ends the process with status 255. */
int SQLite_dbInitialize(void);
int SQLite_dbCreate(const char *name);
void SQLite_dbSetDatabaseName(const char *name);
const char *SQLite_dbGetDatabaseName(void);
int SQLite_dbClose(void);
int SQLite_dbIsLocal(void);
int SQLite_dbIsReadOnly(void);
int SQLite_dbConnected(void);
int SQLite_dbInitializeRemoteMsg(const char *host, const char *user, const char *passwd, const char *db,
                                 const unsigned int port);
DB_RESULT SQLite_dbQuery(const char *sql);
DB_RESULT SQLite_dbQueryStore(const char *sql);
int SQLite_dbQueryExec(const char *sql);
int SQLite_dbQueryRows(const char *sql, const std::vector<DbParam> &params, DbRows &rows);
DB_ROW SQLite_dbFetchRow(DB_RESULT handle);
void SQLite_dbFreeResult(DB_RESULT handle);
unsigned long SQLite_dbNumberRows(DB_RESULT handle);
unsigned int SQLite_dbNumberFields(DB_RESULT handle);
const char *SQLite_dbFieldName(DB_RESULT handle, int i);
int SQLite_dbBadQuery(void);
int SQLite_dbPack(void);
/* 1 when the latest statement gave up on a catalog another process kept
 * locked (dbCatalogBusy). */
int SQLite_dbBusy(void);
/* How long a statement waits for a lock that another process holds without
 * the catalog changing hands, in milliseconds (10000 unless set; a test
 * shortens it).  Applies to the open connection too. */
void SQLite_dbSetBusyWait(int msec);
/* For tests: a function called in every wait for another process's write
 * lock once the timer that bounds the wait runs, just before the wait
 * begins, so that the timer's signal can land first; NULL for none. */
void SQLite_dbSetTurnWaitHook(void (*hook)(void));
/* 1 when a statement of the running action gave up on a busy catalog. */
int SQLite_dbActionBusy(void);
/* The action boundaries of dbBeginAction and dbEndAction. */
void SQLite_dbBeginAction(void);
void SQLite_dbEndAction(void);
/* A row callback for sqlite3_exec that takes nothing and returns 0, and a
 * result step that does nothing: kept for older callers, unused here. */
int GenericSQLCallback(void *data, int columns, char **values, char **names);
void sqlite_store_result(void);
/* The change state of the open catalog into *version; 1, or 0 with the
 * error text when no catalog is open or SQLite cannot tell. */
int SQLite_dbCatalogVersion(CatalogVersion *version);
/* A read snapshot around the statements of one file look-up: they see one
 * state of the catalog and share one lock of its file.  Begin returns 1 when
 * a snapshot is open (a savepoint, so that it nests in a transaction of the
 * caller), 0 when not; End closes the one Begin opened. */
int SQLite_dbReadBegin(void);
void SQLite_dbReadEnd(void);
/* The span of the entries of key in table (hd_entries or v_entries, not
 * checked) into *span; 1, or 0 with the error text. */
int SQLite_dbCatalogSpan(const char *table, KOMBRA_ULONG key, CatalogSpan *span);

/* ---- MySQL -------------------------------------------------------------- */

/* Connects to the local server with the client library's defaults (its
 * socket, MYSQL_UNIX_PORT; the login name; the password in MYSQL_PWD),
 * selects the catalog database and checks its functions; 1 when open, 0 with
 * the error text.  A connection the server dropped is opened afresh. */
int MySQL_dbInitializeMsg(void);
/* As MySQL_dbInitializeMsg; on failure prints "dbInitialize: <text>" on
 * stdout and ends the process with status 255. */
int MySQL_dbInitialize(void);
/* 1 when the server provides compare_times and between_times on the open
 * connection (loadable functions, or stored functions of the selected
 * database), else 0 with the error text. */
int MySQL_TestDBIntegrity(void);
int MySQL_dbInitializeRemoteMsg(const char *host, const char *user, const char *passwd, const char *db,
                                const unsigned int port);
int MySQL_dbCreate(const char *name);
void MySQL_dbSetDatabaseName(const char *name);
const char *MySQL_dbGetDatabaseName(void);
int MySQL_dbClose(void);
int MySQL_dbIsLocal(void);
int MySQL_dbIsReadOnly(void);
int MySQL_dbConnected(void);
DB_RESULT MySQL_dbQuery(const char *sql);
DB_RESULT MySQL_dbQueryStore(const char *sql);
int MySQL_dbQueryExec(const char *sql);
int MySQL_dbQueryRows(const char *sql, const std::vector<DbParam> &params, DbRows &rows);
int MySQL_dbBadQuery(void);
void MySQL_dbFreeResult(DB_RESULT res);
DB_ROW MySQL_dbFetchRow(DB_RESULT res);
unsigned long MySQL_dbNumberRows(DB_RESULT res);
unsigned int MySQL_dbNumberFields(DB_RESULT res);
const char *MySQL_dbFieldName(DB_RESULT res, int i);
