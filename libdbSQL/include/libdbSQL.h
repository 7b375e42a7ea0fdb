/* libdbSQL: the catalog front end.
 *
 * Every other part of the system reaches the data catalog through the db
 * functions declared here.  dbInitialize picks one back end from
 * KOMBRA_DB_TYPE (SQLite file catalog, MySQL server catalog, or the dBASE
 * catalog "Tarvo" of libserver when the variable is unset) and every call is
 * then forwarded to that back end through one fixed dispatch table.
 *
 * The front end also holds the look-ups written once for both SQL back ends
 * (data key of five names, names of a key, virtual-instrument name,
 * hierarchy text, the file of a key and time), the bridge from a data key to
 * its configuration items, the older compatibility calls and the shared last
 * error text.  Names and values from outside are always bound to statement
 * parameters, never pasted into SQL text.
 *
 * Look-ups that return a handle, key or pointer return 0 or NULL on failure
 * and leave the reason for dbErrorMsg.  Nothing here prints, except the
 * unknown-type line of dbInitialize/dbInitializeMsg, the fatal set-up
 * messages of the back ends and the failures of dbQuery on MySQL.  All state is process-wide; calls come from
 * one thread, apart from the SQLite back end's result lock. */
#pragma once

#include "DbDefs.h"
#include "libant.h"

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

/* ---- Sizes and status codes ------------------------------------------- */

enum {
    DB_NAME_SIZE = 25,  /* project, mission, experiment, instrument buffers */
    DB_VNAME_SIZE = 34, /* virtual-instrument buffers */
    DB_ERROR_SIZE = 1024,
    DB_PATH_MAX = 4096  /* room the callers give name1/name2 of the file look-ups */
};

enum {
    DB_FILE_NO_DATA = 1200,      /* no catalog entry overlaps the requested time */
    DB_FILE_BAD_SOURCE = -1002,  /* no virtual-instrument name, or no path item */
    DB_FILE_QUERY_FAILED = -1010 /* the catalog query failed */
};

/* ---- Back-end choice ---------------------------------------------------- */

/* Chooses the back end from KOMBRA_DB_TYPE ("SQLite", "MySQL" or "Tarvo", any
 * case; unset keeps the current one, initially Tarvo; another word prints
 * "Unknown database type defined in kombra.cfg!" and a blank line on stderr
 * and keeps it too) and opens it.  The SQL back ends end the process with
 * status 255 when they cannot open; a later call finds them open. */
int dbInitialize(void);
/* The same choice; 1 when open, 0 with the error text.  Never exits. */
int dbInitializeMsg(void);
/* Closes the current back end, switches to type, sets the database name
 * (NULL or "" for the default: nurv on SQLite, the database selected last
 * on MySQL) and opens it; 1 or 0.  An unknown type
 * changes nothing and returns 0. */
int dbSetDatabaseType(dbType type, const char *name);
KOMBRA_BOOL dbIsTarvo(void);
KOMBRA_BOOL dbIsSQLite(void);
KOMBRA_BOOL dbIsMySQL(void);
dbType dbGetDatabaseType(void);

/* ---- Forwarding to the current back end --------------------------------- */

/* sTrue for Tarvo; otherwise the back end's answer. */
KOMBRA_BOOL dbIsLocal(void);
int dbIsReadOnly(void);
int dbPack(void);
int dbClose(void);
int dbConnected(void);
/* The back end's last error number (0 after success); on MySQL also 1, with
 * the text "No rows affected by query!", after a statement that changed no
 * row. */
int dbBadQuery(void);
/* Opens or creates the database name and makes it current; 1 or 0. */
int dbCreate(const char *name);
/* Does nothing on a back end without database names. */
void dbSetDatabaseName(const char *name);
/* "" on a back end without database names. */
const char *dbGetDatabaseName(void);

/* A result read row by row; 0 on failure (printed as "dbQuery: <text>" on
 * MySQL, where the row count is known once the last row is read).  On
 * SQLite no other catalog call may run on another thread until it is read
 * to its end or freed. */
DB_RESULT dbQuery(const char *sql);
/* A whole result; 0 on failure.  A query without rows still gives one. */
DB_RESULT dbQueryStore(const char *sql);
/* Runs a statement without a result; 1 done, 0 failed. */
int dbQueryExec(const char *sql);
/* The next row (owned by the result, valid until the next fetch or the
 * release), NULL after the last. */
DB_ROW dbFetchRow(DB_RESULT result);
/* Releases a result; 0 does nothing. */
void dbFreeResult(DB_RESULT result);
unsigned long dbNumberRows(DB_RESULT result);
unsigned int dbNumberFields(DB_RESULT result);
const char *dbFieldName(DB_RESULT result, int i);
/* The current back end's last error text. */
char *dbErrorMsg(void);
/* 1 when the latest catalog statement gave up because another process kept
 * the catalog locked for the whole busy wait (the error text then says so),
 * else 0.  Only the SQLite catalog is ever busy in this sense. */
int dbCatalogBusy(void);
/* 1 when the running action gave up on a busy catalog (it has said so). */
int dbActionCatalogBusy(void);
/* One action of a program (a plot, an export) runs between these two calls
 * (they nest).  Within it a catalog locked by another process is waited for
 * while it keeps changing hands, up to a total for the action (60 s), and
 * for any one lock at most the busy wait (10 s); the statement that gives
 * up says on the standard output how long the catalog stayed busy, and on
 * stderr its error text (what was seen); later statements of the action
 * that meet a lock give up at once and print nothing.  Outside an action
 * every statement waits on its own.  The SQLite catalog's waits for the
 * writer to let go end in time through the real-time signal SIGRTMIN + 4,
 * whose handler (doing nothing) the first such wait installs. */
void dbBeginAction(void);
void dbEndAction(void);
/* As the program ends (1): a statement that waits for a busy catalog gives
 * up within a quarter of a second, and so does every later one that meets
 * a lock, saying once in an action "The wait for the busy catalog <path>
 * was stopped, as the program is ending"; 0 lets them wait again.  Only
 * sets a flag, so a signal handler may call it. */
void dbEndWaits(int ending);
/* 1 after dbEndWaits(1). */
int dbWaitsEnded(void);
/* A function called every quarter of a second or more often while a
 * statement waits for a busy catalog, so that a window can repaint; NULL for
 * none.  It must not use the catalog. */
void dbSetWaitHook(void (*hook)(void));
/* dbBeginAction and dbEndAction for the life of a scope. */
class DbAction {
public:
    DbAction() { dbBeginAction(); }
    ~DbAction() { dbEndAction(); }
    DbAction(const DbAction &) = delete;
    DbAction &operator=(const DbAction &) = delete;
};
int dbInitializeRemoteMsg(const char *host, const char *user, const char *passwd, const char *db,
                          const unsigned int port);

/* One SQL cell: std::nullopt for SQL NULL. */
using DbCell = std::optional<std::string>;
using DbRows = std::vector<std::vector<DbCell>>;

/* A statement parameter: text, integer or SQL NULL. */
struct DbParam {
    enum class Kind { Text, Integer, Null };
    Kind kind = Kind::Text;
    std::string text;
    long long integer = 0;

    static DbParam Text(std::string value) { return {Kind::Text, std::move(value), 0}; }
    static DbParam Int(long long value) { return {Kind::Integer, {}, value}; }
    static DbParam Null() { return {Kind::Null, {}, 0}; }
    /* A cell as it came: its text, or NULL. */
    static DbParam Cell(const std::optional<std::string> &cell) { return cell ? Text(*cell) : Null(); }
};

/* Runs one statement whose '?' marks take params in order and collects all
 * its rows into rows (replaced).  1 done, 0 failed with the error text; 0 on
 * the Tarvo back end, which runs no SQL.  Holds the SQLite result lock for
 * the length of the statement. */
int dbQueryRows(const char *sql, const std::vector<DbParam> &params, DbRows &rows);

/* ---- Keys and names ------------------------------------------------------ */

/* Key of five hierarchy names; 0 when unknown. */
KOMBRA_ULONG dbGetDataKey(const char *project, const char *mission, const char *experiment, const char *instrument,
                          const char *virtual_);
/* Virtual-instrument name of a key; static text overwritten by the next call. */
const char *dbVirtualName(KOMBRA_ULONG key);
/* The same into vinst (at most len bytes, always terminated); 1 done. */
int dbVirtualName_r(KOMBRA_ULONG data_key, char *vinst, int len);
/* The five names of a key into buffers of DB_NAME_SIZE (the first four) and
 * DB_VNAME_SIZE bytes; longer names are cut.  1 done, 0 failed.  Cached. */
int dbKeyToStrings(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                   char *virtual_);
/* The same without the cache. */
int dbKeyToStrings_r(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                     char *virtual_);
/* "project/mission/experiment/instrument/virtual" of a key; static text.  A
 * key without a row gives the names of the previous look-up. */
char *dbHierarchyString(KOMBRA_ULONG key);

/* The look-ups of the SQL back ends (the entries of their dispatch columns). */
KOMBRA_ULONG dbGetDataKeyWithQuery(const char *project, const char *mission, const char *experiment,
                                   const char *instrument, const char *virtual_);
const char *dbVirtualNameWithQuery(KOMBRA_ULONG key);
int dbVirtualNameWithQuery_r(KOMBRA_ULONG data_key, char *vinst, int len);
int dbKeyToStringsWithQuery(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                            char *virtual_);
int dbKeyToStringsWithQuery_r(KOMBRA_ULONG key, char *project, char *mission, char *experiment,
                              char *instrument, char *virtual_);

/* ---- Configuration items of a key --------------------------------------- */

/* Item element of the key's source (CfgGetItem); NULL when the key has no
 * names or the item no value.  Points into the configuration tree. */
char *dbCfgItem(KOMBRA_ULONG data_key, const char *item, int element);
/* The item made into a directory (CfgGetPath); static buffer, NULL when
 * none. */
char *dbCfgPath(KOMBRA_ULONG data_key, const char *item);

/* ---- Files of a key and time --------------------------------------------- */

/* Path of the catalogued file of dataType for the key whose entry overlaps
 * the requested begin..end (on the SQL back ends the first such entry in the
 * order of the catalog's key, that is the earliest beginning one): header
 * and data (name1, name2) for _H_AND_D_, the header, the data or the
 * description file (name1) otherwise.  Without
 * an extension the file lies in the source's PostTimePath; with one, in
 * $USER_DATA (else the home directory) with exten appended.  name1 and name2
 * need DB_PATH_MAX bytes; name2 is written for _H_AND_D_ only.
 * Returns 1; 1200 no entry; -1002 bad key, unknown type, no directory, a
 * directory cut to its 256-byte buffer or a path too long ("File path too
 * long..."); -1010 query failed; on Tarvo the codes of its back end. */
int dbNURVGetFile(KOMBRA_ULONG data_key, short btime_yr, short btime_day, long btime_msec, short etime_yr,
                  short etime_day, long etime_msec, RequestedDataType dataType, const char *exten, char *name1,
                  char *name2);
/* The SQL back ends' answer to dbNURVGetFile. */
int SQL_dbNURVGetFile(KOMBRA_ULONG data_key, short btime_yr, short btime_day, long btime_msec, short etime_yr,
                      short etime_day, long etime_msec, RequestedDataType dataType, const char *exten,
                      char *name1, char *name2);
/* The real-time file: RealTimePath, '/', the virtual name, the type letter
 * and exten.  1, or -1002. */
int dbNURVGetRealTimeFile(KOMBRA_ULONG data_key, RequestedDataType dataType, const char *exten, char *name1,
                          char *name2);
/* Catalog file name "%s%04d%03d%02hd%02hd%c" (name, year, day, hour, minute,
 * letter) into loc (at most len bytes with the terminator); returns the
 * length of the full name. */
int MakeFileName(const char *vinst, unsigned short time_yr, unsigned short time_day, long time_msec, char tail,
                 char *loc, int len);

/* ---- Files whose fetch has not ended ------------------------------------ */

/* A fetch of a file (promotion) keeps a marker beside it, from before its
 * fetch program starts until the file is there whole: the file's path with
 * ".fetch" appended, a plain file that the programs made (empty, or a first
 * line of their own and the process group and start of the fetch program).
 * The fetch program and what it starts hold the marker locked (an open file
 * description lock, or where that is refused a lock of the whole open file,
 * which they inherit) while they run, also when the program that started
 * them has ended; the process group it records tells that they run when
 * they let go of their descriptors.  A marker that nothing holds nor runs
 * for was left by a fetch that did not end well: its program failed or was
 * stopped, the program that ran it was killed, or the power went.  Such a
 * file is never read as whole before its records are judged. */
std::string dbFetchMarker(const std::string &file);
enum class DbFetchState {
    None,        /* no fetch of the file began, or its last one ended well */
    Running,     /* a fetch of it runs (in this process or another) */
    Unfinished,  /* a fetch of it began and did not end well */
    Foreign,     /* a file the programs did not make is at the marker's path */
    Blocked,     /* something that is no plain file is there (detail: what) */
    Unknown      /* the marker's path cannot be looked at (detail: why) */
};
struct DbFetchLook {
    DbFetchState state = DbFetchState::None;
    std::string detail;
};
/* What the marker of file says; never waits nor opens anything that could
 * block. */
DbFetchLook dbFetchLook(const std::string &file);
DbFetchState dbFetchState(const std::string &file);
/* For tests: the locks a fetch marker can take here: 0 as the system gives
 * them, 1 as on a file system that refuses open file description locks
 * (EINVAL), 2 as on one that refuses every lock (ENOLCK). */
void dbSetFetchLocks(int refused);

/* The marker of a file, opened by this process: found where it is or made
 * anew, locked, and what it records of the fetch written or read.  Closing
 * it (or its end) lets its lock go. */
class DbFetchMarker {
public:
    enum class Opened {
        Yes,      /* open (and, by OpenExisting, one the programs made) */
        Missing,  /* nothing there (Make: its folder is missing) */
        Blocked,  /* no plain file there (error(): what) */
        Exists,   /* Make: something is there already */
        Foreign,  /* a plain file the programs did not make is there */
        Failed    /* error() says why */
    };
    enum class Lock { Taken, Busy, Refused };
    explicit DbFetchMarker(std::string file);
    ~DbFetchMarker();
    DbFetchMarker(const DbFetchMarker &) = delete;
    DbFetchMarker &operator=(const DbFetchMarker &) = delete;

    /* Opens the marker there without following a link or waiting. */
    Opened OpenExisting();
    /* Makes the marker anew, empty. */
    Opened Make();
    /* Locks it without waiting: Busy while another holds it; Refused
     * (error()) where no lock can be had here. */
    Lock TryLock();
    /* Whether its path still names the marker open here. */
    bool Current() const;
    /* The identity of the marker open here. */
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }
    /* Whether the fetch it records still runs. */
    bool Runs() const;
    /* Writes the first line and the fetch program's process group (none
     * when 0) and its start, and puts them on the disk. */
    bool Record(long group);
    /* Sends sig to the process group recorded last here while it is still
     * the fetch's (its id is not yet another's). */
    void Signal(int sig) const;
    /* Removes it where its path still names it, and closes it. */
    void Remove();
    void Close();
    int fd() const { return fd_; }
    const std::string &path() const { return path_; }
    const std::string &error() const { return error_; }

private:
    std::string file_, path_, error_, recorded_;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

/* ---- Compatibility ------------------------------------------------------- */

/* *data_key = dbGetDataKey(...); 1 when it is not 0, else -149. */
int get_data_key(const char *project, const char *mission, const char *experiment, const char *instrument,
                 const char *virtual_, KOMBRA_ULONG *data_key);
/* dbNURVGetFile with begin btime and end etime; btime is left as it was. */
int dbGetFile(KOMBRA_ULONG data_key, Time_t *btime, Time_t etime, RequestedDataType dataType, const char *exten,
              char *name1, char *name2);
char *db_msgs(void);

/* ---- The shared error text of the SQL back ends ------------------------- */

/* Copies text (cut to DB_ERROR_SIZE - 1 characters) into the shared text and
 * returns it. */
char *SetErrorString(const char *text);
char *GetErrorString(void);
char *SQL_dbErrorMsg(void);
