// The SQLite file catalog: one connection to <KOMBRA_DATA>/<name>.db3, its
// whole and row-by-row results, the bound statements of the shared look-ups
// and the one lock that serialises results.
#include "dbsql_int.h"
#include "sqlite_int.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace {

// Held from the making of a result until its first fetch (whole results),
// its last row (row-by-row results) or its release, and for the length of
// each statement run without a result.  Releasing it when the calling thread
// does not hold it does nothing: a thread reading or freeing a result of its
// own never lets a third in while another thread's result is open.  The
// thread that holds it may take it again without waiting, so that a thread
// that breaks the one-open-result rule gets an answer instead of waiting for
// itself forever.
class ResultLock {
public:
    // Returns true when this call took the lock, false when the calling
    // thread held it already.
    bool Take()
    {
        std::unique_lock<std::mutex> guard(mutex_);
        const std::thread::id me = std::this_thread::get_id();
        if (held_ && owner_ == me)
            return false;
        free_.wait(guard, [this] { return !held_; });
        held_ = true;
        owner_ = me;
        return true;
    }

    void Release()
    {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (!held_ || owner_ != std::this_thread::get_id())
                return;
            held_ = false;
            owner_ = std::thread::id();
        }
        free_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable free_;
    bool held_ = false;
    std::thread::id owner_;
};

// The lock held for the length of one call: taken when the calling thread
// does not hold it already, and released again only then.
class Hold {
public:
    explicit Hold(ResultLock &lock) : lock_(lock), took_(lock.Take()) {}
    ~Hold()
    {
        if (took_)
            lock_.Release();
    }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

private:
    ResultLock &lock_;
    bool took_;
};

// One open result.  A whole result keeps sqlite3_get_table's answer (the
// header row of column names, then the rows) and a zeroed array of num_cols
// pointers that is both its handle and the row handed out by each fetch.  A
// row-by-row result is its prepared statement with copies of the current
// row's texts.
struct query_data {
    int num_cols = 0;
    int num_rows = 0;
    int row_cursor = 0;
    bool storedQuery = false;
    char **result = nullptr;  // the whole answer of a stored result
    std::unique_ptr<char *[]> rowArray;
    sqlite3_stmt *statement = nullptr;
    bool finished = false;
    bool stepped = false;  // a step has run since the statement (re)started
    std::vector<std::string> rowCopies;
    std::vector<char *> row;
};

// A statement waits this long for a lock another process holds without
// letting go, then gives up with a busy catalog.
constexpr int kBusyWaitMsec = 10000;
// While other processes keep writing the catalog transaction after
// transaction, an action waits for its turns at most this long in all.
constexpr int kBusyTotalMsec = 60000;
constexpr int kRetryPauseMsec = 20;
// The longest single wait for a writer to let go, so that progress is
// looked at now and then.
constexpr int kTurnWaitMsec = 250;

using Clock = std::chrono::steady_clock;

// Set (from a signal handler too) when the program ends: a statement that
// waits for a busy catalog gives up at once.
volatile sig_atomic_t g_endWaits = 0;
// Called while a statement waits for a busy catalog (a window repaints).
void (*g_waitHook)() = nullptr;

struct SQLiteState {
    sqlite3 *_SQL = nullptr;
    std::string _filename;  // "" stands for "nurv"
    int _isReadOnly = 0;  // the file is not writable by this process
    int SQLite_local = 1;  // 0 once a remote catalog was asked for
    std::map<void *, query_data> _resMap;
    // Guards _resMap itself: a whole result is read after its hold has ended,
    // while another thread may be entering a result of its own.
    std::mutex resMapMutex;
    // Bound statements of the look-ups, prepared once per connection.
    std::unordered_map<std::string, sqlite3_stmt *> prepared;
    // PRAGMA data_version, prepared once per connection.
    sqlite3_stmt *dataVersion = nullptr;
    // The change state's counters (CatalogVersion): connections opened, and
    // statements of this process that may have written.
    std::atomic<unsigned long long> connections{0};
    std::atomic<unsigned long long> writes{0};
    ResultLock _sqlite_mutex;
    // How long a statement waits while another process holds the catalog
    // locked (a catalog fetch program, another program writing rows) without
    // letting go.
    int busyMsec = kBusyWaitMsec;
    // The turn gate of the open catalog (dbsql::OpenTurnGate), or -1.
    int gate = -1;
    // The latest statement gave up on a busy catalog (read by dbCatalogBusy).
    bool lastBusy = false;
    // The path of the open catalog, for the busy message, and the file it
    // named when it was opened (a catalog replaced since is opened afresh).
    std::string openPath;
    dev_t openDevice = 0;
    ino_t openInode = 0;
    // Actions open (dbBeginAction); whether the action has waited out a lock
    // (an action waits for a lock once), and whether it has said so (once).
    std::atomic<int> actionDepth{0};
    std::atomic<bool> actionGaveUp{false};
    std::atomic<bool> actionSaidBusy{false};
    // The time the action has waited for locks so far (statements that
    // ended), and how many transactions of others it saw meanwhile.
    std::atomic<long long> actionWaitedMsec{0};
    std::atomic<long long> actionChanges{0};
};

// The wait of the statement this thread runs now for a lock another process
// holds; set when it first meets the lock.
struct StatementWait {
    Clock::time_point start, lastChange, lastLook;
    std::optional<std::uint32_t> counter;  // the catalog's change counter, last seen
    long long changes = 0;                 // changes seen since start
    long long waitedBeforeMsec = 0;        // the action's wait before this statement
    long long changesBefore = 0;
    bool progressed = false;  // the wait ended on the total, not on one lock
    bool ended = false;       // the wait ended as the program is ending
};
thread_local std::optional<StatementWait> t_wait;
// The last wait that gave up, for its messages.
thread_local StatementWait t_gaveUp;

constexpr std::size_t kPreparedMax = 64;

SQLiteState &State()
{
    static SQLiteState state;
    return state;
}

const char *SQLiteDBName()
{
    const std::string &name = State()._filename;
    return name.empty() ? "nurv" : name.c_str();
}

bool IsBusy(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

long long Msec(Clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Milliseconds as seconds to a tenth: "0.3", "10", "60.1".
std::string Seconds(long long msec)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(static_cast<double>(msec) / 100.0) / 10.0);
    return text;
}

// Error text from what and the message of the failing call (released here),
// else the connection's current message.  A call that gave up on a catalog
// other processes kept locked says so in the error text, with what the
// wait saw, and (once in an action) in a line on the standard output and
// the error text on stderr, so that the failure is not taken for a fault of
// the catalog, the configuration or the time asked for.
void ErrorFrom(const char *what, char *message)
{
    SQLiteState &s = State();
    s.lastBusy = s._SQL != nullptr && IsBusy(sqlite3_errcode(s._SQL));
    if (s.lastBusy) {
        const bool said = s.actionSaidBusy;
        if (s.actionDepth > 0) {
            s.actionGaveUp = true;
            s.actionSaidBusy = true;
        }
        const StatementWait &w = t_gaveUp;
        if (w.ended) {
            CommonErrorString(what, ("the wait for the busy catalog " + s.openPath +
                                     " was stopped, as the program is ending")
                                        .c_str());
            if (!said) {
                std::printf("The wait for the busy catalog %s was stopped, as the program is ending\n",
                            s.openPath.c_str());
                std::fflush(stdout);
            }
            sqlite3_free(message);
            return;
        }
        const long long waited = w.waitedBeforeMsec + Msec(w.lastLook - w.start);
        const std::string seen =
            w.progressed ? "other processes wrote it " + std::to_string(w.changesBefore + w.changes) +
                               " times in " + Seconds(waited) + " s and never left this program a turn"
                         : "another process kept it locked for more than " + Seconds(s.busyMsec) + " s";
        const std::string busy = "the catalog " + s.openPath + " was busy: " + seen + " (" +
                                 (message != nullptr ? message : sqlite3_errmsg(s._SQL)) + ")";
        CommonErrorString(what, busy.c_str());
        if (!said) {
            std::printf("The catalog %s stayed busy for %s s; the action gave up waiting for it\n",
                        s.openPath.c_str(), Seconds(waited).c_str());
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", GetErrorString());
        }
        sqlite3_free(message);
    } else if (message != nullptr) {
        CommonErrorString(what, message);
        sqlite3_free(message);
    } else {
        CommonErrorString(what, sqlite3_errmsg(s._SQL));
    }
}

// A statement starts: it may wait for a lock anew (unless its action has
// given up on one already).  The wait of the statement before counts
// towards its action's.
void NewWait()
{
    SQLiteState &s = State();
    if (t_wait && s.actionDepth > 0) {
        s.actionWaitedMsec += Msec(t_wait->lastLook - t_wait->start);
        s.actionChanges += t_wait->changes;
    }
    t_wait.reset();
}

// Whether the statement running now may wait on for a lock another process
// holds: while no lock is kept longer than the busy wait without the catalog
// changing hands, and the action has not waited the busy total in all; not
// at all once a statement of the same action gave up.
bool KeepWaiting()
{
    const SQLiteState &s = State();
    const Clock::time_point now = Clock::now();
    const bool inAction = s.actionDepth > 0;
    if (!t_wait) {
        StatementWait w;
        w.start = w.lastChange = now;
        w.counter = dbsql::ChangeCounter(s.gate);
        w.waitedBeforeMsec = inAction ? s.actionWaitedMsec.load() : 0;
        w.changesBefore = inAction ? s.actionChanges.load() : 0;
        t_wait = w;
    }
    StatementWait &w = *t_wait;
    w.lastLook = now;
    if (const auto counter = dbsql::ChangeCounter(s.gate); counter != w.counter) {
        w.counter = counter;
        w.lastChange = now;
        ++w.changes;
    }
    // An action that gave up keeps the account of that wait.
    if (s.actionGaveUp)
        return false;
    if (g_endWaits != 0) {
        w.ended = true;
        t_gaveUp = w;
        return false;
    }
    const bool held = Msec(now - w.lastChange) >= s.busyMsec;
    const bool total = w.waitedBeforeMsec + Msec(now - w.start) >= kBusyTotalMsec;
    if (!held && !total)
        return true;
    w.progressed = !held;
    t_gaveUp = w;
    return false;
}

// How long the statement running now may still wait.
std::chrono::milliseconds WaitLeft()
{
    const SQLiteState &s = State();
    if (!t_wait)
        return std::chrono::milliseconds(kRetryPauseMsec);
    const StatementWait &w = *t_wait;
    const long long now = Msec(Clock::now() - w.start);
    const long long left =
        std::min(Msec(w.lastChange - w.start) + s.busyMsec - now, kBusyTotalMsec - w.waitedBeforeMsec - now);
    return std::chrono::milliseconds(std::max(left, 0LL) + 1);
}

// Waits for the catalog's writer to let go (at most a little while) so that
// the statement tries again at once; a short pause when no other process
// holds the write lock, a longer one when that cannot be told.
void RetryPause()
{
    if (g_waitHook != nullptr)
        g_waitHook();
    const std::chrono::milliseconds left = WaitLeft();
    switch (dbsql::AwaitTurn(State().gate, std::min(left, std::chrono::milliseconds(kTurnWaitMsec)))) {
    case dbsql::Turn::Waited: return;
    case dbsql::Turn::NotHeld: std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(1))); return;
    case dbsql::Turn::Unknown:
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(kRetryPauseMsec)));
        return;
    }
}

// SQLite's busy handler: the wait of KeepWaiting.
int BusyHandler(void *, int)
{
    if (!KeepWaiting())
        return 0;
    RetryPause();
    return 1;
}

// Runs attempt (a prepare, step or whole query) again while it answers that
// the catalog is locked, for as long as KeepWaiting allows.  SQLite's busy
// handler waits for a lock held by another process; this also covers the
// answers it gives without waiting (SQLITE_LOCKED, and SQLITE_BUSY where
// waiting could deadlock).  Only for attempts that changed nothing before
// they failed.
template <class Attempt>
int Retrying(Attempt attempt)
{
    for (;;) {
        const int rc = attempt();
        if (!IsBusy(rc) || !KeepWaiting())
            return rc;
        RetryPause();
    }
}

// Whether a prepared statement may change what the catalog holds: all but
// read-only queries (transaction control counts, as a rollback undoes).
bool MayWrite(sqlite3_stmt *statement)
{
    return statement != nullptr && (!sqlite3_stmt_readonly(statement) || sqlite3_column_count(statement) == 0);
}

// Whether a statement text may write: any of its statements that may, or
// that SQLite cannot prepare.
bool MayWrite(sqlite3 *db, const char *sql)
{
    const char *rest = sql;
    while (rest != nullptr && *rest != '\0') {
        sqlite3_stmt *statement = nullptr;
        const char *tail = nullptr;
        if (sqlite3_prepare_v2(db, rest, -1, &statement, &tail) != SQLITE_OK)
            return true;
        const bool writes = MayWrite(statement);
        sqlite3_finalize(statement);
        if (writes)
            return true;
        if (tail == rest)
            break;
        rest = tail;
    }
    return false;
}

// Whether sql holds exactly one statement (false when it cannot be told).
bool OneStatement(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, &tail) != SQLITE_OK || statement == nullptr) {
        sqlite3_finalize(statement);
        return false;
    }
    sqlite3_finalize(statement);
    for (; tail != nullptr && *tail != '\0'; ++tail)
        if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';')
            return false;
    return true;
}

// "<path>: <problem> (...)": the file looked for and the variable that
// names its folder.
std::string LookedFor(const std::string &path, const char *problem)
{
    return path + ": " + problem + " (KOMBRA_DATA names its folder)";
}

bool NeedConnection(const char *what)
{
    State().lastBusy = false;
    NewWait();
    if (State()._SQL != nullptr)
        return true;
    CommonErrorString(what, "no catalog is open");
    return false;
}

// The entry of a result handle, or null.  Entries stay where they are until
// their result is freed.
query_data *FindQuery(void *handle)
{
    SQLiteState &s = State();
    std::lock_guard<std::mutex> guard(s.resMapMutex);
    auto it = s._resMap.find(handle);
    return it != s._resMap.end() ? &it->second : nullptr;
}

void AddQuery(void *handle, query_data &&q)
{
    SQLiteState &s = State();
    std::lock_guard<std::mutex> guard(s.resMapMutex);
    s._resMap[handle] = std::move(q);
}

void ReleaseQuery(query_data &q)
{
    if (q.storedQuery) {
        sqlite3_free_table(q.result);
        q.result = nullptr;
    } else if (q.statement != nullptr) {
        if (sqlite3_finalize(q.statement) != SQLITE_OK)
            ErrorFrom("SQLite_dbFreeResult - sqlite3_finalize", nullptr);
        q.statement = nullptr;
    }
}

// Closes the connection with every result and prepared statement on it.
void CloseConnection()
{
    SQLiteState &s = State();
    {
        std::lock_guard<std::mutex> guard(s.resMapMutex);
        for (auto &[handle, q] : s._resMap)
            ReleaseQuery(q);
        s._resMap.clear();
    }
    for (auto &[sql, statement] : s.prepared)
        sqlite3_finalize(statement);
    s.prepared.clear();
    sqlite3_finalize(s.dataVersion);
    s.dataVersion = nullptr;
    if (s._SQL != nullptr)
        sqlite3_close(s._SQL);
    s._SQL = nullptr;
    if (s.gate >= 0)
        close(s.gate);
    s.gate = -1;
    s.openPath.clear();
    s.openDevice = 0;
    s.openInode = 0;
}

std::string DatabasePath(const char *data, const char *name)
{
    return std::string(data) + "/" + name + ".db3";
}

// The catalog's tables (or views) that the open database lacks, as "a, b";
// empty when it has them all or its schema could not be read (a lock
// another process holds is no fault of the file).
std::string MissingTables()
{
    SQLiteState &s = State();
    std::vector<std::string> missing;
    for (const char *table : {"hierarchy", "hd_entries", "v_entries"}) {
        sqlite3_stmt *statement = nullptr;
        int rc = Retrying([&] {
            return sqlite3_prepare_v2(s._SQL,
                                      "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?;",
                                      -1, &statement, nullptr);
        });
        if (rc == SQLITE_OK && statement != nullptr) {
            sqlite3_bind_text(statement, 1, table, -1, SQLITE_STATIC);
            rc = Retrying([&] { return sqlite3_step(statement); });
            if (rc == SQLITE_DONE)
                missing.emplace_back(table);
        }
        sqlite3_finalize(statement);
    }
    std::string text;
    for (const std::string &table : missing)
        text += (text.empty() ? "" : ", ") + table;
    return text;
}

// Registers the catalog's SQL functions on a new connection and drops it
// again when the file turns out to be no usable database, or, when asked
// for, no catalog (one of its tables missing).
bool ReadyConnection(const char *what, const std::string &path, bool catalog)
{
    SQLiteState &s = State();
    s.openPath = path;
    s.gate = dbsql::OpenTurnGate(path.c_str());
    NewWait();
    sqlite3_busy_handler(s._SQL, BusyHandler, nullptr);
    // sqlite3_open reads nothing; a first look at the schema finds a file that
    // is not a database.  A lock held by another writer is no such fault: the
    // queries report it when they meet it.
    const int rc = Retrying(
        [&] { return sqlite3_exec(s._SQL, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr); });
    if (rc != SQLITE_OK && !IsBusy(rc)) {
        ErrorFrom(what, nullptr);
        CloseConnection();
        return false;
    }
    if (rc != SQLITE_OK && s.actionDepth > 0)
        s.actionGaveUp = true;
    if (catalog && rc == SQLITE_OK) {
        const std::string missing = MissingTables();
        if (!missing.empty()) {
            CommonErrorString(what, (path + " is not a catalog: no table " + missing).c_str());
            CloseConnection();
            return false;
        }
    }
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        s.openDevice = st.st_dev;
        s.openInode = st.st_ino;
    }
    dbsql::create_between_times(s._SQL);
    ++s.connections;
    return true;
}

// Whether the open catalog's file has been removed or replaced (by a copy
// or a rename) since it was opened: the connection still reads the old one.
bool FileReplaced()
{
    const SQLiteState &s = State();
    struct stat st {};
    return stat(s.openPath.c_str(), &st) != 0 || st.st_dev != s.openDevice || st.st_ino != s.openInode;
}

}  // namespace

int SQLite_dbInitializeMsg(void)
{
    SQLiteState &s = State();
    const char *name = SQLiteDBName();
    if (s._SQL != nullptr) {
        // A result still open keeps the connection it was made on.
        bool open = false;
        {
            std::lock_guard<std::mutex> guard(s.resMapMutex);
            open = !s._resMap.empty();
        }
        if (open || !FileReplaced())
            return 1;
        SQLite_dbClose();
        dbsql::ForgetNames();
    }

    const char *data = GetEnv("KOMBRA_DATA");
    if (data == nullptr) {
        CommonErrorString("Cannot find database file!", "KOMBRA_DATA is not set");
        return 0;
    }
    const std::string path = DatabasePath(data, name);
    // Only a regular file: SQLite would wait on a FIFO, or read a device.
    const int fd = OpenRegularFile(path.c_str(), O_RDONLY);
    if (fd < 0 && errno == ENOENT) {
        CommonErrorString("Cannot find database file!", LookedFor(path, std::strerror(errno)).c_str());
        return 0;
    }
    if (fd < 0 && errno != EACCES) {
        CommonErrorString("Can not open NURV database - sqlite3_open", LookedFor(path, OpenErrorText(errno)).c_str());
        return 0;
    }
    if (fd >= 0)
        close(fd);
    s._isReadOnly = access(path.c_str(), W_OK) != 0 ? 1 : 0;

    if (sqlite3_open(path.c_str(), &s._SQL) != SQLITE_OK) {
        ErrorFrom("Can not open NURV database - sqlite3_open", nullptr);
        CloseConnection();
        return 0;
    }
    return ReadyConnection("Can not open NURV database - sqlite3_open", path, true) ? 1 : 0;
}

int SQLite_dbInitialize(void)
{
    if (SQLite_dbInitializeMsg() == 1)
        return 1;
    std::printf("SQLite_dbInitialize: %s\n", GetErrorString());
    std::printf("\nCheck that KOMBRA_DATA names the folder that holds the catalog file %s.db3 and that the file "
                "is readable!\n",
                SQLiteDBName());
    std::exit(-1);
}

int SQLite_dbCreate(const char *name)
{
    SQLiteState &s = State();
    const std::string dbName = (name == nullptr || *name == '\0') ? "nurv" : name;
    const char *data = GetEnv("KOMBRA_DATA");
    if (data == nullptr) {
        CommonErrorString("Can not open database - sqlite3_open", "KOMBRA_DATA is not set");
        return 0;
    }
    // The new database replaces the open one.
    SQLite_dbClose();

    const std::string path = DatabasePath(data, dbName.c_str());
    if (const int fd = OpenRegularFile(path.c_str(), O_RDONLY); fd >= 0) {
        close(fd);
    } else if (errno != ENOENT && errno != EACCES) {
        CommonErrorString("Can not open database - sqlite3_open", LookedFor(path, OpenErrorText(errno)).c_str());
        return 0;
    }
    if (sqlite3_open(path.c_str(), &s._SQL) != SQLITE_OK) {
        ErrorFrom("Can not open database - sqlite3_open", nullptr);
        CloseConnection();
        return 0;
    }
    s._filename = dbName;
    if (sqlite3_enable_shared_cache(0) != SQLITE_OK) {
        ErrorFrom("Can not share database - sqlite3_enable_shared_cache", nullptr);
        CloseConnection();
        return 0;
    }
    if (!ReadyConnection("Can not open database - sqlite3_open", path, false))
        return 0;
    s._isReadOnly = access(path.c_str(), W_OK) != 0 ? 1 : 0;
    return 1;
}

void SQLite_dbSetDatabaseName(const char *name)
{
    State()._filename = dbsql::OrEmpty(name);
}

const char *SQLite_dbGetDatabaseName(void)
{
    return SQLiteDBName();
}

int SQLite_dbClose(void)
{
    SQLiteState &s = State();
    if (s._SQL == nullptr)
        return 1;
    s._sqlite_mutex.Take();
    CloseConnection();
    s._sqlite_mutex.Release();
    return 1;
}

int SQLite_dbIsLocal(void)
{
    return State().SQLite_local;
}

int SQLite_dbIsReadOnly(void)
{
    return State()._isReadOnly;
}

int SQLite_dbConnected(void)
{
    return State()._SQL != nullptr ? 1 : 0;
}

int SQLite_dbInitializeRemoteMsg(const char *, const char *, const char *, const char *, const unsigned int)
{
    State().SQLite_local = 0;
    return 0;
}

int SQLite_dbQueryExec(const char *sql)
{
    static const char what[] = "SQLite_dbQueryExec - sqlite3_exec";
    SQLiteState &s = State();
    if (!NeedConnection(what))
        return 0;
    const bool took = s._sqlite_mutex.Take();
    if (MayWrite(s._SQL, dbsql::OrEmpty(sql)))
        ++s.writes;
    char *message = nullptr;
    const auto run = [&] {
        sqlite3_free(message);
        message = nullptr;
        return sqlite3_exec(s._SQL, dbsql::OrEmpty(sql), nullptr, nullptr, &message);
    };
    // A text of several statements may have run some of them before one
    // found the catalog locked: only a single statement is run again.
    const int rc = OneStatement(s._SQL, dbsql::OrEmpty(sql)) ? Retrying(run) : run();
    if (rc != SQLITE_OK)
        ErrorFrom(what, message);
    if (took)
        s._sqlite_mutex.Release();
    return rc == SQLITE_OK ? 1 : 0;
}

int SQLite_dbPack(void)
{
    static const char what[] = "SQLite_dbPack - vacuum";
    if (!NeedConnection(what))
        return 0;
    char *message = nullptr;
    if (sqlite3_exec(State()._SQL, "VACUUM", nullptr, nullptr, &message) != SQLITE_OK) {
        ErrorFrom(what, message);
        return 0;
    }
    return 1;
}

DB_RESULT SQLite_dbQueryStore(const char *sql)
{
    static const char what[] = "SQLite_dbQueryStore - sqlite3_get_table";
    SQLiteState &s = State();
    if (!NeedConnection(what))
        return nullptr;
    s._sqlite_mutex.Take();
    if (MayWrite(s._SQL, dbsql::OrEmpty(sql)))
        ++s.writes;
    char **table = nullptr;
    int rows = 0;
    int cols = 0;
    char *message = nullptr;
    const int rc = Retrying([&] {
        sqlite3_free_table(table);
        table = nullptr;
        sqlite3_free(message);
        message = nullptr;
        return sqlite3_get_table(s._SQL, dbsql::OrEmpty(sql), &table, &rows, &cols, &message);
    });
    if (rc != SQLITE_OK) {
        ErrorFrom(what, message);
        sqlite3_free_table(table);
        s._sqlite_mutex.Release();
        return nullptr;
    }
    query_data q;
    q.num_cols = cols;
    q.num_rows = rows;
    q.row_cursor = cols;
    q.storedQuery = true;
    q.result = table;
    // At least one slot, so that a result without columns still has a handle.
    q.rowArray = std::make_unique<char *[]>(cols > 0 ? static_cast<std::size_t>(cols) : 1);
    void *handle = q.rowArray.get();
    AddQuery(handle, std::move(q));
    return handle;
}

DB_RESULT SQLite_dbQuery(const char *sql)
{
    static const char what[] = "SQLite_dbQuery - sqlite3_prepare_v2";
    SQLiteState &s = State();
    if (!NeedConnection(what))
        return nullptr;
    sqlite3_stmt *statement = nullptr;
    if (Retrying([&] { return sqlite3_prepare_v2(s._SQL, dbsql::OrEmpty(sql), -1, &statement, nullptr); }) !=
            SQLITE_OK ||
        statement == nullptr) {
        ErrorFrom(what, nullptr);
        sqlite3_finalize(statement);
        return nullptr;
    }
    s._sqlite_mutex.Take();
    if (MayWrite(statement))
        ++s.writes;
    query_data q;
    q.statement = statement;
    AddQuery(statement, std::move(q));
    return statement;
}

DB_ROW SQLite_dbFetchRow(DB_RESULT handle)
{
    SQLiteState &s = State();
    query_data *found = FindQuery(handle);
    if (found == nullptr) {
        s._sqlite_mutex.Release();
        return nullptr;
    }
    query_data &q = *found;
    if (q.storedQuery) {
        s._sqlite_mutex.Release();
        if (q.num_cols <= 0 || q.row_cursor / q.num_cols > q.num_rows)
            return nullptr;
        for (int c = 0; c < q.num_cols; ++c)
            q.rowArray[static_cast<std::size_t>(c)] = q.result[q.row_cursor + c];
        q.row_cursor += q.num_cols;
        return q.rowArray.get();
    }

    // Once done the statement would start over on the next step.
    if (q.finished)
        return nullptr;
    NewWait();
    // The first step may wait for the catalog; a later one reads on from
    // where the statement stands and is not run again.
    const int rc = q.stepped ? sqlite3_step(q.statement) : Retrying([&] { return sqlite3_step(q.statement); });
    q.stepped = true;
    q.rowCopies.clear();
    q.row.clear();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        ErrorFrom("SQLite_dbFetchRow - sqlite3_step", nullptr);
        q.finished = true;
        s._sqlite_mutex.Release();
        return nullptr;
    }
    if (rc == SQLITE_DONE) {
        q.finished = true;
        s._sqlite_mutex.Release();
        return nullptr;
    }
    q.num_cols = sqlite3_data_count(q.statement);
    q.rowCopies.reserve(static_cast<std::size_t>(q.num_cols));
    for (int c = 0; c < q.num_cols; ++c) {
        const unsigned char *text = sqlite3_column_text(q.statement, c);
        q.rowCopies.emplace_back(text != nullptr ? reinterpret_cast<const char *>(text) : "");
    }
    for (std::string &text : q.rowCopies)
        q.row.push_back(text.data());
    q.row.push_back(nullptr);
    return q.row.data();
}

unsigned long SQLite_dbNumberRows(DB_RESULT handle)
{
    query_data *found = FindQuery(handle);
    if (found == nullptr)
        return 0;
    query_data &q = *found;
    if (q.storedQuery)
        return static_cast<unsigned long>(q.num_rows);

    // Count the rows, then start the statement over for the next fetch.  A
    // lock held by another writer is waited for a while, not forever.
    NewWait();
    unsigned long rows = 0;
    for (bool first = true;; first = false) {
        const int rc = first ? Retrying([&] { return sqlite3_step(q.statement); }) : sqlite3_step(q.statement);
        if (rc == SQLITE_ROW) {
            ++rows;
        } else {
            if (rc != SQLITE_DONE)
                ErrorFrom("SQLite_dbNumberRows - sqlite3_step", nullptr);
            break;
        }
    }
    sqlite3_reset(q.statement);
    q.finished = false;
    q.stepped = false;
    return rows;
}

unsigned int SQLite_dbNumberFields(DB_RESULT handle)
{
    const query_data *found = FindQuery(handle);
    if (found == nullptr)
        return 0;
    const query_data &q = *found;
    if (q.storedQuery)
        return static_cast<unsigned int>(q.num_cols);
    return static_cast<unsigned int>(sqlite3_column_count(q.statement));
}

const char *SQLite_dbFieldName(DB_RESULT handle, int i)
{
    const query_data *found = FindQuery(handle);
    if (found == nullptr || i < 0)
        return nullptr;
    const query_data &q = *found;
    if (q.storedQuery)  // the header row of the table
        return i < q.num_cols && q.result != nullptr ? q.result[i] : nullptr;
    return sqlite3_column_name(q.statement, i);
}

void SQLite_dbFreeResult(DB_RESULT handle)
{
    SQLiteState &s = State();
    std::map<void *, query_data>::node_type entry;
    {
        std::lock_guard<std::mutex> guard(s.resMapMutex);
        entry = s._resMap.extract(handle);
    }
    if (!entry.empty())
        ReleaseQuery(entry.mapped());
    s._sqlite_mutex.Release();
}

int SQLite_dbBusy(void)
{
    return State().lastBusy ? 1 : 0;
}

void SQLite_dbSetBusyWait(int msec)
{
    SQLiteState &s = State();
    s.busyMsec = msec < 0 ? 0 : msec;
}

void SQLite_dbSetTurnWaitHook(void (*hook)(void))
{
    dbsql::SetTurnWaitHook(hook);
}

void dbEndWaits(int ending)
{
    g_endWaits = ending != 0 ? 1 : 0;
}

int dbWaitsEnded(void)
{
    return g_endWaits != 0 ? 1 : 0;
}

void dbSetWaitHook(void (*hook)(void))
{
    g_waitHook = hook;
}

namespace {

void NewAction(SQLiteState &s)
{
    s.actionGaveUp = false;
    s.actionSaidBusy = false;
    s.actionWaitedMsec = 0;
    s.actionChanges = 0;
}

}  // namespace

void SQLite_dbBeginAction(void)
{
    SQLiteState &s = State();
    if (s.actionDepth++ == 0) {
        NewWait();
        NewAction(s);
    }
}

void SQLite_dbEndAction(void)
{
    SQLiteState &s = State();
    if (s.actionDepth > 0 && --s.actionDepth == 0)
        NewAction(s);
}

int SQLite_dbActionBusy(void)
{
    return State().actionSaidBusy ? 1 : 0;
}

int SQLite_dbBadQuery(void)
{
    sqlite3 *db = State()._SQL;
    return db != nullptr ? sqlite3_errcode(db) : 0;
}

int SQLite_dbQueryRows(const char *sql, const std::vector<DbParam> &params, DbRows &rows)
{
    static const char prepareWhat[] = "SQLite_dbQueryRows - sqlite3_prepare_v2";
    static const char bindWhat[] = "SQLite_dbQueryRows - sqlite3_bind";
    static const char stepWhat[] = "SQLite_dbQueryRows - sqlite3_step";
    SQLiteState &s = State();
    rows.clear();
    if (!NeedConnection(prepareWhat))
        return 0;

    const Hold hold(s._sqlite_mutex);

    const std::string text = dbsql::OrEmpty(sql);
    sqlite3_stmt *statement = nullptr;
    if (auto it = s.prepared.find(text); it != s.prepared.end()) {
        statement = it->second;
    } else {
        if (Retrying([&] { return sqlite3_prepare_v2(s._SQL, text.c_str(), -1, &statement, nullptr); }) !=
                SQLITE_OK ||
            statement == nullptr) {
            ErrorFrom(prepareWhat, nullptr);
            sqlite3_finalize(statement);
            return 0;
        }
        // The look-ups use a handful of texts; other callers' texts must not
        // pile up for the life of the connection.
        if (s.prepared.size() >= kPreparedMax) {
            for (auto &[kept, old] : s.prepared)
                sqlite3_finalize(old);
            s.prepared.clear();
        }
        s.prepared.emplace(text, statement);
    }

    struct Reset {
        sqlite3_stmt *statement;
        ~Reset()
        {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        }
    } reset{statement};

    if (MayWrite(statement))
        ++s.writes;
    if (sqlite3_bind_parameter_count(statement) != static_cast<int>(params.size())) {
        CommonErrorString(bindWhat, "wrong number of parameters");
        return 0;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        const int at = static_cast<int>(i) + 1;
        const DbParam &p = params[i];
        const int rc = p.kind == DbParam::Kind::Text
                           ? sqlite3_bind_text(statement, at, p.text.data(), static_cast<int>(p.text.size()),
                                               SQLITE_TRANSIENT)
                       : p.kind == DbParam::Kind::Null ? sqlite3_bind_null(statement, at)
                                                       : sqlite3_bind_int64(statement, at, p.integer);
        if (rc != SQLITE_OK) {
            ErrorFrom(bindWhat, nullptr);
            return 0;
        }
    }

    // Rows already read are read again when the catalog was found locked
    // part-way (a statement that starts over sees the catalog afresh).
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE)
            return 1;
        if (IsBusy(rc) && !MayWrite(statement) && KeepWaiting()) {
            RetryPause();
            sqlite3_reset(statement);
            rows.clear();
            continue;
        }
        if (IsBusy(rc) && rows.empty() && KeepWaiting()) {
            RetryPause();
            continue;
        }
        if (rc != SQLITE_ROW) {
            ErrorFrom(stepWhat, nullptr);
            rows.clear();
            return 0;
        }
        const int cols = sqlite3_data_count(statement);
        std::vector<DbCell> row;
        row.reserve(static_cast<std::size_t>(cols));
        for (int c = 0; c < cols; ++c) {
            if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
                continue;
            }
            // No text for a value that is not NULL: SQLite ran out of memory.
            const unsigned char *text = sqlite3_column_text(statement, c);
            if (text == nullptr && sqlite3_errcode(s._SQL) == SQLITE_NOMEM) {
                ErrorFrom(stepWhat, nullptr);
                rows.clear();
                return 0;
            }
            const auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(statement, c));
            row.emplace_back(text != nullptr ? std::string(reinterpret_cast<const char *>(text), bytes)
                                             : std::string());
        }
        rows.push_back(std::move(row));
    }
}

int SQLite_dbCatalogVersion(CatalogVersion *version)
{
    static const char what[] = "SQLite_dbCatalogVersion - data_version";
    SQLiteState &s = State();
    if (version == nullptr || !NeedConnection(what))
        return 0;
    const Hold hold(s._sqlite_mutex);
    if (s.dataVersion == nullptr &&
        Retrying([&] { return sqlite3_prepare_v2(s._SQL, "PRAGMA data_version;", -1, &s.dataVersion, nullptr); }) !=
            SQLITE_OK) {
        ErrorFrom(what, nullptr);
        sqlite3_finalize(s.dataVersion);
        s.dataVersion = nullptr;
        return 0;
    }
    const int rc = Retrying([&] { return sqlite3_step(s.dataVersion); });
    const long long data = rc == SQLITE_ROW ? sqlite3_column_int64(s.dataVersion, 0) : -1;
    if (rc != SQLITE_ROW)
        ErrorFrom(what, nullptr);
    sqlite3_reset(s.dataVersion);
    if (rc != SQLITE_ROW)
        return 0;
    version->connection = s.connections;
    version->writes = s.writes;
    version->data = data;
    return 1;
}

namespace {

// A column of a row that is an integer the overlap function reads unchanged
// (a 32-bit integer within lo .. hi).
bool IntegerIn(sqlite3_stmt *statement, int column, long long lo, long long hi, int &value)
{
    if (sqlite3_column_type(statement, column) != SQLITE_INTEGER)
        return false;
    const long long v = sqlite3_column_int64(statement, column);
    if (v < lo || v > hi)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool LeapYear(int yr)
{
    return (yr % 4 == 0 && yr % 100 != 0) || yr % 400 == 0;
}

}  // namespace

int SQLite_dbCatalogSpan(const char *table, KOMBRA_ULONG key, CatalogSpan *span)
{
    static const char what[] = "SQLite_dbCatalogSpan - sqlite3_step";
    SQLiteState &s = State();
    if (span == nullptr || table == nullptr || !NeedConnection(what))
        return 0;
    const Hold hold(s._sqlite_mutex);
    struct Statement {
        sqlite3_stmt *statement = nullptr;
        ~Statement() { sqlite3_finalize(statement); }
    } done;
    const std::string sql =
        std::string("SELECT b_yr, b_day, b_msec, e_yr, e_day, e_msec FROM ") + table + " WHERE data_key=?;";
    if (Retrying([&] { return sqlite3_prepare_v2(s._SQL, sql.c_str(), -1, &done.statement, nullptr); }) !=
            SQLITE_OK ||
        sqlite3_bind_int64(done.statement, 1, static_cast<sqlite3_int64>(key)) != SQLITE_OK) {
        ErrorFrom("SQLite_dbCatalogSpan - sqlite3_prepare_v2", nullptr);
        return 0;
    }
    *span = {};
    constexpr long long kInt32Min = -2147483648LL, kInt32Max = 2147483647LL;
    int rc = Retrying([&] { return sqlite3_step(done.statement); });
    for (; rc == SQLITE_ROW; rc = sqlite3_step(done.statement)) {
        ++span->count;
        if (!span->tame)
            continue;
        int b[3] = {}, e[3] = {};
        span->tame = IntegerIn(done.statement, 0, 1, 9999, b[0]) && IntegerIn(done.statement, 1, 1, 366, b[1]) &&
                     (b[1] < 366 || LeapYear(b[0])) && IntegerIn(done.statement, 2, 0, 86399999, b[2]) &&
                     IntegerIn(done.statement, 3, -9999, 9999, e[0]) &&
                     IntegerIn(done.statement, 4, kInt32Min, kInt32Max, e[1]) &&
                     IntegerIn(done.statement, 5, kInt32Min, kInt32Max, e[2]);
        if (!span->tame)
            continue;
        const auto length = static_cast<long long>(day_number(e[0], e[1], e[2]) - day_number(b[0], b[1], b[2]));
        if (length > span->longest)
            span->longest = length;
    }
    if (rc != SQLITE_DONE) {
        ErrorFrom(what, nullptr);
        return 0;
    }
    return 1;
}

int SQLite_dbReadBegin(void)
{
    SQLiteState &s = State();
    if (s._SQL == nullptr)
        return 0;
    const Hold hold(s._sqlite_mutex);
    NewWait();
    return sqlite3_exec(s._SQL, "SAVEPOINT kombra_file_lookup;", nullptr, nullptr, nullptr) == SQLITE_OK ? 1 : 0;
}

void SQLite_dbReadEnd(void)
{
    SQLiteState &s = State();
    if (s._SQL == nullptr)
        return;
    const Hold hold(s._sqlite_mutex);
    NewWait();
    if (sqlite3_exec(s._SQL, "RELEASE kombra_file_lookup;", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(s._SQL, "ROLLBACK TO kombra_file_lookup; RELEASE kombra_file_lookup;", nullptr, nullptr, nullptr);
}
