// The SQLite back end: opening, results, errors and locks.
#include "catalog_env.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

using namespace dbsql_test;
using kombra_test::ScopedEnv;
using kombra_test::TempDir;

namespace {

// ---- Results ------------------------------------------------------------------

TEST_F(Catalog, StoredRowsShareOneArray)
{
    DB_RESULT two = dbQueryStore("SELECT virtual FROM hierarchy WHERE instrument='3DR' AND mission='C1';");
    ASSERT_NE(nullptr, two);
    DB_ROW first = dbFetchRow(two);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, dbFetchRow(two));  // one array, overwritten
    dbFreeResult(two);
}

TEST_F(Catalog, RowByRowResults)
{
    Exec("INSERT INTO hierarchy VALUES (97, 'P', 'M', 'E', 'I', NULL);");
    DB_RESULT r = dbQuery("SELECT data_key, virtual FROM hierarchy WHERE data_key IN (97, 8921217) ORDER BY 1;");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(2u, dbNumberRows(r));
    EXPECT_EQ(2u, dbNumberRows(r));  // counting does not use the rows up
    EXPECT_EQ(2u, dbNumberFields(r));
    EXPECT_STREQ("virtual", dbFieldName(r, 1));
    DB_ROW row = dbFetchRow(r);
    ASSERT_NE(nullptr, row);
    EXPECT_STREQ("97", row[0]);
    EXPECT_STREQ("", row[1]);  // SQL NULL
    row = dbFetchRow(r);
    ASSERT_NE(nullptr, row);
    EXPECT_STREQ("CP3DRH", row[1]);
    EXPECT_EQ(nullptr, dbFetchRow(r));
    EXPECT_EQ(nullptr, dbFetchRow(r));  // stays at its end
    dbFreeResult(r);
}

TEST_F(Catalog, FailingStatementsLeaveTheirTextAndTheConnection)
{
    EXPECT_EQ(nullptr, dbQueryStore("SELECT * FROM nothere;"));
    EXPECT_STREQ("ERROR: SQLite_dbQueryStore - sqlite3_get_table - no such table: nothere!", dbErrorMsg());
    EXPECT_NE(0, dbBadQuery());
    EXPECT_EQ(nullptr, dbQuery("SELEC 1;"));
    EXPECT_STREQ("ERROR: SQLite_dbQuery - sqlite3_prepare_v2 - near \"SELEC\": syntax error!", dbErrorMsg());
    EXPECT_EQ(0, dbQueryExec("INSERT INTO nothere VALUES (1);"));
    EXPECT_STREQ("ERROR: SQLite_dbQueryExec - sqlite3_exec - no such table: nothere!", dbErrorMsg());
    EXPECT_EQ(1, dbConnected());
    EXPECT_EQ("42", One("SELECT count(*) FROM hierarchy;"));
    EXPECT_EQ(0, dbBadQuery());
}

TEST_F(Catalog, CreateOpensANewDatabaseUnderItsName)
{
    ASSERT_EQ(1, dbCreate("other"));
    EXPECT_STREQ("other", dbGetDatabaseName());
    EXPECT_TRUE(std::filesystem::exists(catalog->where() + "/other.db3"));
    Exec("CREATE TABLE t (a);");
    EXPECT_EQ(1, dbPack());
    EXPECT_EQ("0", One("SELECT count(*) FROM sqlite_master WHERE name='hierarchy';"));
}

TEST_F(Catalog, ReadOnlyCatalogOpens)
{
    dbClose();
    chmod((catalog->where() + "/nurv.db3").c_str(), 0444);
    if (geteuid() != 0) {
        ASSERT_EQ(1, dbInitializeMsg());
        EXPECT_EQ(1, dbIsReadOnly());
        return;
    }
    // Root may write any file: open it as an ordinary user in a child.
    chmod(catalog->where().c_str(), 0755);
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                std::_Exit(3);
            std::_Exit(dbInitializeMsg() == 1 && dbIsReadOnly() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- Locks ----------------------------------------------------------------------

// A second connection that holds the catalog's write lock.
class Writer {
public:
    explicit Writer(const std::string &path)
    {
        sqlite3_open(path.c_str(), &db_);
        locked_ = sqlite3_exec(db_, "BEGIN EXCLUSIVE; DELETE FROM v_entries;", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Writer()
    {
        Release();
        sqlite3_close(db_);
    }
    bool locked() const { return locked_; }
    void Release() { sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr); }

private:
    sqlite3 *db_ = nullptr;
    bool locked_ = false;
};

// The busy wait of every statement, shortened for one test.
class BusyWait {
public:
    explicit BusyWait(int msec) { SQLite_dbSetBusyWait(msec); }
    ~BusyWait() { SQLite_dbSetBusyWait(10000); }
};

// A lock kept longer than the busy wait fails the statement after the wait,
// as a busy catalog (not a missing or faulty one).
TEST_F(Catalog, LockedCatalogIsReportedNotFatal)
{
    const BusyWait wait(300);
    Writer writer(catalog->where() + "/nurv.db3");
    ASSERT_TRUE(writer.locked());
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, dbQueryStore("SELECT * FROM hd_entries;"));
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    const std::string busy = "ERROR: SQLite_dbQueryStore - sqlite3_get_table - the catalog " + catalog->where() +
                             "/nurv.db3 was busy: another process kept it locked for more than 0.3 s (database is "
                             "locked)!";
    EXPECT_EQ(busy, dbErrorMsg());
    EXPECT_EQ(busy + "\n", told);
    EXPECT_EQ(1, dbCatalogBusy());
    // The file look-up already fails to read the source's name, and says
    // why: the source itself is not bad.
    char name1[DB_PATH_MAX] = "", name2[DB_PATH_MAX] = "";
    testing::internal::CaptureStderr();
    EXPECT_EQ(DB_FILE_QUERY_FAILED, dbNURVGetFile(kCP3DRH, 2003, 32, 0, 2003, 33, 0, _H_AND_D_, "", name1, name2));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(nullptr, std::strstr(dbErrorMsg(), "was busy: another process kept it locked")) << dbErrorMsg();
    EXPECT_STREQ("", name1);

    // Opening while another writer holds the lock is not a fault either.
    dbClose();
    EXPECT_EQ(1, dbInitializeMsg()) << dbErrorMsg();

    writer.Release();
    EXPECT_EQ("42", One("SELECT count(*) FROM v_entries;"));
    EXPECT_EQ(0, dbCatalogBusy());
}

// Within one action a lock kept past the busy wait is waited for once and
// said once: later statements of the action give up without a word; the
// next action waits and says so again.
TEST_F(Catalog, ActionWaitsForALockOnce)
{
    const BusyWait wait(300);
    Writer writer(catalog->where() + "/nurv.db3");
    ASSERT_TRUE(writer.locked());
    auto told = [](auto statement) {
        testing::internal::CaptureStderr();
        statement();
        return testing::internal::GetCapturedStderr();
    };
    auto query = [] { EXPECT_EQ(nullptr, dbQueryStore("SELECT * FROM hd_entries;")); };
    auto rows = [] {
        DbRows found;
        EXPECT_EQ(0, dbQueryRows("SELECT * FROM v_entries;", {}, found));
    };
    for (int action = 0; action < 2; ++action) {
        const DbAction scope;
        EXPECT_NE(std::string::npos, told(query).find("was busy")) << action;
        EXPECT_EQ("", told(rows)) << action;
        EXPECT_EQ("", told(query)) << action;
        EXPECT_EQ(1, dbCatalogBusy());
    }
    writer.Release();
    const DbAction scope;
    EXPECT_EQ("42", One("SELECT count(*) FROM v_entries;"));
}

// A file without the catalog's tables is refused at open, and nothing stays
// open: once the file is put right the next open works.  A catalog the
// program has open and that is then replaced is opened afresh.
TEST_F(Catalog, OpenChecksTheTablesAndFollowsAReplacedFile)
{
    const std::string path = catalog->where() + "/nurv.db3", kept = catalog->where() + "/kept.db3";
    dbClose();
    std::filesystem::rename(path, kept);
    kombra_test::WriteFile(path, "");
    EXPECT_EQ(0, dbInitializeMsg());
    EXPECT_EQ("ERROR: Can not open NURV database - sqlite3_open - " + path +
                  " is not a catalog: no table hierarchy, hd_entries, v_entries!",
              std::string(dbErrorMsg()));
    EXPECT_EQ(0, dbConnected());
    std::filesystem::copy_file(kept, path, std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    EXPECT_EQ("42", One("SELECT count(*) FROM v_entries;"));

    // A copy with fewer rows renamed in place, as fetch programs do.
    sqlite3 *db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(kept.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "DELETE FROM v_entries WHERE rowid > 2;", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    std::filesystem::rename(kept, path);
    EXPECT_EQ("42", One("SELECT count(*) FROM v_entries;"));  // the file opened, until the next open
    ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    EXPECT_EQ("2", One("SELECT count(*) FROM v_entries;"));

    // A new database made on purpose has no tables yet.
    EXPECT_EQ(1, dbCreate("made"));
    EXPECT_EQ(1, dbConnected());
}

// What the file look-up keeps of a source is read again when another
// connection changes the catalog.
TEST_F(Catalog, FileLookUpsSeeWhatAnotherConnectionWrites)
{
    auto write = [this](const char *sql) {
        sqlite3 *other = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open((catalog->where() + "/nurv.db3").c_str(), &other));
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(other, sql, nullptr, nullptr, nullptr)) << sqlite3_errmsg(other);
        sqlite3_close(other);
    };
    auto header = [] {
        char name1[DB_PATH_MAX] = "";
        const int status = dbNURVGetFile(kCP3DRH, 2003, 100, 0, 2003, 100, 1000, _HEADER_, "", name1, nullptr);
        return status == 1 ? std::filesystem::path(name1).filename().string() : std::to_string(status);
    };
    EXPECT_EQ("1200", header());
    write("INSERT INTO hd_entries VALUES (8921217, 2003, 90, 0, 2003, 110, 0, 1, 'A', NULL);");
    EXPECT_EQ("CP3DRH20030900000H", header());
    // Longer than any entry so far: a look-up with what it kept would not
    // reach back to its begin.
    write("INSERT INTO hd_entries VALUES (8921217, 2003, 70, 0, 2003, 120, 0, 1, 'B', NULL);");
    EXPECT_EQ("CP3DRH20030700000H", header());
}

// A catalog query on a second thread that sets done once it got through.
std::thread QueryFromAnotherThread(std::atomic<bool> &done)
{
    return std::thread([&done] {
        DbRows rows;
        dbQueryRows("SELECT count(*) FROM hd_entries;", {}, rows);
        done = true;
    });
}

TEST_F(Catalog, AnOpenResultHoldsOffOtherThreads)
{
    DB_RESULT r = dbQueryStore("SELECT virtual FROM hierarchy;");
    ASSERT_NE(nullptr, r);
    std::atomic<bool> done{false};
    std::thread other = QueryFromAnotherThread(done);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done);
    EXPECT_NE(nullptr, dbFetchRow(r));  // the first fetch ends the hold
    other.join();
    EXPECT_TRUE(done);
    dbFreeResult(r);
}

TEST_F(Catalog, OnlyTheHoldingThreadReleasesTheLock)
{
    DB_RESULT mine = dbQueryStore("SELECT virtual FROM hierarchy;");
    ASSERT_NE(nullptr, mine);
    ASSERT_NE(nullptr, dbFetchRow(mine));  // this thread's hold ends here

    std::promise<void> holding, finish;
    std::thread holder([&] {
        DB_RESULT r = dbQuery("SELECT virtual FROM hierarchy;");
        holding.set_value();
        finish.get_future().wait();
        dbFreeResult(r);
    });
    holding.get_future().wait();
    // Reading and releasing a result of this thread's own leave the other
    // thread's hold in place.
    EXPECT_NE(nullptr, dbFetchRow(mine));
    dbFreeResult(mine);
    EXPECT_EQ(nullptr, dbFetchRow(nullptr));

    std::atomic<bool> done{false};
    std::thread other = QueryFromAnotherThread(done);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done);
    finish.set_value();
    holder.join();
    other.join();
    EXPECT_TRUE(done);
}

TEST_F(Catalog, TheHoldingThreadIsNotHeldOff)
{
    DB_RESULT r = dbQuery("SELECT virtual FROM hierarchy;");
    ASSERT_NE(nullptr, r);
    ASSERT_NE(nullptr, dbFetchRow(r));
    EXPECT_EQ("4", One("SELECT count(*) FROM hd_entries;"));
    dbFreeResult(r);
}

// ---- Opening failures --------------------------------------------------------------

class OpenFailure : public ::testing::Test {
protected:
    OpenFailure() { ArchiveRoot(); }
    ~OpenFailure() override { dbSetDatabaseType(Tarvo, nullptr); }
    TempDir data;
    ScopedEnv dataEnv{"KOMBRA_DATA", data.str()};
    ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "SQLite"};
};

const char kHint[] = "\nCheck that KOMBRA_DATA names the folder that holds the catalog file nurv\\.db3 and that "
                     "the file is readable!\n$";

// text as an extended regular expression that matches just itself.
std::string Literal(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        if (std::strchr("\\.^$|()[]{}*+?", c) != nullptr)
            out += '\\';
        out += c;
    }
    return out;
}

TEST_F(OpenFailure, MissingCatalogEndsTheProcess)
{
    EXPECT_EQ(0, dbInitializeMsg());
    const std::string missing = "ERROR: Cannot find database file! - " + data.file("nurv.db3") +
                                ": No such file or directory (KOMBRA_DATA names its folder)!";
    EXPECT_EQ(missing, dbErrorMsg());
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            dbInitialize();
        },
        ::testing::ExitedWithCode(255),
        "^SQLite_dbInitialize: " + Literal(missing) + "\n" + kHint);
}

TEST_F(OpenFailure, CorruptCatalogEndsTheProcess)
{
    kombra_test::WriteFile(data.file("nurv.db3"), std::string(4096, 'x'));
    EXPECT_EQ(0, dbInitializeMsg());
    EXPECT_EQ(0, dbConnected());
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            dbInitialize();
        },
        ::testing::ExitedWithCode(255),
        std::string("^SQLite_dbInitialize: ERROR: Can not open NURV database - sqlite3_open - file is not a "
                    "database!\n") +
            kHint);
}

TEST_F(OpenFailure, NamedCatalogIsLookedForUnderItsName)
{
    kombra_fixtures::WriteStandardCatalog(data.str(), "other");
    EXPECT_EQ(0, dbSetDatabaseType(SQLite, nullptr));
    EXPECT_EQ(1, dbSetDatabaseType(SQLite, "other"));
    EXPECT_STREQ("other", dbGetDatabaseName());
    SQLite_dbSetDatabaseName(nullptr);
}

}  // namespace
