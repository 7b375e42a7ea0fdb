// The MySQL back end against the private MariaDB server: opening with the
// client library's defaults, the function check, database names, results and
// statements, a lost connection, and the openings that end the process.
#include "catalog_mysql.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

using namespace dbsql_test;
using kombra_fixtures::QuoteMysqlName;
using kombra_test::ScopedEnv;

namespace {

class MySQLCatalog : public Catalog {
protected:
    kombra_fixtures::MysqlAdmin &Admin() { return catalog->impl().database.admin(); }
    const std::string &Db() const { return catalog->where(); }
};

bool Contains(const char *text, const char *part)
{
    return text != nullptr && std::strstr(text, part) != nullptr;
}

// A loopback port that nothing listens on.
unsigned ClosedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

// ---- Opening ---------------------------------------------------------------------

TEST_F(MySQLCatalog, OpensTheNamedDatabaseAsTheLoginAccount)
{
    EXPECT_EQ(1, dbConnected());
    EXPECT_EQ(0, dbIsReadOnly());
    EXPECT_STREQ(Db().c_str(), dbGetDatabaseName());
    EXPECT_EQ(Db(), One("SELECT DATABASE();"));
    EXPECT_EQ(kombra_fixtures::MysqlLoginName() + "@localhost", One("SELECT CURRENT_USER();"));
    EXPECT_EQ(1, dbInitializeMsg());  // open already
}

struct Functions {
    const char *name;
    std::vector<const char *> statements;  // run in the catalog database first
};

void PrintTo(const Functions &p, std::ostream *os)
{
    *os << p.name;
}

class FunctionCheck : public MySQLCatalog, public ::testing::WithParamInterface<Functions> {};

const char kNoFunctions[] = "Database is not configured with NURV/KOMBRA functions!\n";

TEST_P(FunctionCheck, OpeningNeedsBothFunctions)
{
    dbClose();
    Admin().Exec("USE " + QuoteMysqlName(Db()));
    for (const char *statement : GetParam().statements)
        Admin().Exec(statement);
    EXPECT_EQ(0, dbInitializeMsg());
    EXPECT_STREQ(kNoFunctions, dbErrorMsg());
    // The catalog stays closed, so a second opening checks again.
    EXPECT_EQ(0, dbConnected());
    EXPECT_EQ(0, dbInitializeMsg());
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            dbInitialize();
        },
        ::testing::ExitedWithCode(255), std::string("(^|\n)dbInitialize: ") + kNoFunctions + "\n$");
}

INSTANTIATE_TEST_SUITE_P(
    MySQL, FunctionCheck,
    ::testing::Values(Functions{"OnlyBetweenTimes", {"DROP FUNCTION compare_times"}},
                      Functions{"OnlyCompareTimes", {"DROP FUNCTION between_times"}},
                      Functions{"LongerNamesDoNotCount",
                                {"DROP FUNCTION compare_times",
                                 "CREATE FUNCTION compare_times_old() RETURNS INT NO SQL RETURN 0"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MySQLCatalog, AnAccountWithoutServerRightsReliesOnStoredFunctions)
{
    // The server's own catalog nurv, set up by the project's scripts, through
    // an account that may not read the server's tables.
    const kombra_test::MariaDbServer &s = TestServer();
    ASSERT_EQ(1, dbInitializeRemoteMsg("127.0.0.1", s.user.c_str(), s.password.c_str(), s.database.c_str(), s.port))
        << dbErrorMsg();
    EXPECT_EQ(sFalse, dbIsLocal());
    EXPECT_EQ(0u, One("SELECT CURRENT_USER();").rfind(s.user + "@", 0));
    EXPECT_EQ(nullptr, dbQueryStore("SELECT * FROM mysql.func;"));
    EXPECT_EQ(1, MySQL_TestDBIntegrity()) << dbErrorMsg();
    EXPECT_EQ("1", One("SELECT between_times(2001, 10, 0, 2001, 11, 0, 2001, 10, 5, 2001, 10, 6);"));
}

TEST_F(MySQLCatalog, FailedRemoteConnectionsKeepTheCatalog)
{
    const kombra_test::MariaDbServer &s = TestServer();
    EXPECT_EQ(0, dbInitializeRemoteMsg("127.0.0.1", s.user.c_str(), s.password.c_str(), "nurv", ClosedPort()));
    EXPECT_TRUE(Contains(dbErrorMsg(), "Can't connect to server on '127.0.0.1'")) << dbErrorMsg();
    EXPECT_EQ(0, dbInitializeRemoteMsg("127.0.0.1", s.user.c_str(), "wrong", "nurv", s.port));
    EXPECT_TRUE(Contains(dbErrorMsg(), "Access denied for user 'kombra'")) << dbErrorMsg();
    EXPECT_EQ(1, dbConnected());
    EXPECT_EQ(Db(), One("SELECT DATABASE();"));
}

TEST_F(MySQLCatalog, DatabaseNames)
{
    EXPECT_EQ(0, dbSetDatabaseType(MySQL, "no_such_catalog"));
    EXPECT_STREQ("mysql_select_db: no_such_catalog does not exist!", dbErrorMsg());
    EXPECT_EQ(0, dbConnected());

    Admin().GrantLogin("nurv");
    ASSERT_EQ(1, dbSetDatabaseType(MySQL, "nurv")) << dbErrorMsg();
    EXPECT_EQ("nurv", One("SELECT DATABASE();"));

    // Reopening under the name the back end reports: closing drops that
    // name, but not before it was taken.
    ASSERT_EQ(1, dbSetDatabaseType(MySQL, Db().c_str()));
    ASSERT_EQ(1, dbSetDatabaseType(MySQL, dbGetDatabaseName())) << dbErrorMsg();
    EXPECT_EQ(Db(), One("SELECT DATABASE();"));

    // Closing forgets the name given; the next opening selects the same
    // database again, and the name says so.
    dbClose();
    EXPECT_STREQ(Db().c_str(), dbGetDatabaseName());
    ASSERT_EQ(1, dbInitializeMsg());
    EXPECT_EQ(Db(), One("SELECT DATABASE();"));
}

TEST(MySQLCatalogName, IsNurvUntilOneIsGiven)
{
    // In a process of its own, where no name has been given.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(std::strcmp(MySQL_dbGetDatabaseName(), "nurv") == 0 ? 0 : 1),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(MySQLCatalog, CreateMakesTheNewDatabaseCurrent)
{
    // Names are quoted as identifiers, so a backquote stays in the name.
    const std::string closed = Db() + "_a`b";
    const std::string open = Db() + "_c";
    Admin().GrantLogin(closed);
    Admin().GrantLogin(open);

    dbClose();
    ASSERT_EQ(1, dbCreate(closed.c_str())) << dbErrorMsg();
    EXPECT_STREQ(closed.c_str(), dbGetDatabaseName());
    EXPECT_EQ(closed, One("SELECT DATABASE();"));
    ASSERT_EQ(1, dbCreate(open.c_str())) << dbErrorMsg();
    EXPECT_EQ(open, One("SELECT DATABASE();"));

    testing::internal::CaptureStdout();
    EXPECT_EQ(0, dbCreate(open.c_str()));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Contains(dbErrorMsg(), "database exists")) << dbErrorMsg();
    EXPECT_EQ("dbQuery: " + std::string(dbErrorMsg()) + "\n", printed);

    Admin().Exec("DROP DATABASE " + QuoteMysqlName(closed));
    Admin().Exec("DROP DATABASE " + QuoteMysqlName(open));
}

// ---- Statements and results ----------------------------------------------------------

TEST_F(MySQLCatalog, StatementsReportTheRowsTheyChanged)
{
    EXPECT_EQ(1, dbQueryExec("REPLACE INTO v_entries VALUES (8921217, 2003, 1, 0, 2004, 1, 0, 1, 'K2', NULL);"));
    EXPECT_EQ(0, dbBadQuery());
    EXPECT_EQ(1, dbQueryExec("UPDATE v_entries SET size=1 WHERE data_key=1;"));
    EXPECT_EQ(1, dbBadQuery());
    EXPECT_STREQ("No rows affected by query!", dbErrorMsg());

    EXPECT_EQ(0, dbQueryExec("INSERT INTO nothere VALUES (1);"));
    EXPECT_EQ(1146, dbBadQuery());  // no such table
    EXPECT_EQ("Table '" + Db() + ".nothere' doesn't exist", std::string(dbErrorMsg()));
    EXPECT_EQ(nullptr, dbQueryStore("DO 1;"));  // no result set
    EXPECT_EQ(1, dbConnected());
}

TEST_F(MySQLCatalog, RowByRowResults)
{
    Exec("INSERT INTO hierarchy VALUES (97, 'P', 'M', 'E', 'I', NULL);");
    DB_RESULT r = dbQuery("SELECT data_key, virtual FROM hierarchy WHERE data_key IN (97, 8921217) ORDER BY 1;");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(2u, dbNumberFields(r));
    EXPECT_STREQ("virtual", dbFieldName(r, 1));
    EXPECT_EQ(nullptr, dbFieldName(r, 2));
    EXPECT_EQ(0u, dbNumberRows(r));  // known once the rows are read
    DB_ROW row = dbFetchRow(r);
    ASSERT_NE(nullptr, row);
    EXPECT_STREQ("97", row[0]);
    EXPECT_EQ(nullptr, row[1]);  // SQL NULL
    ASSERT_NE(nullptr, row = dbFetchRow(r));
    EXPECT_STREQ("CP3DRH", row[1]);
    EXPECT_EQ(nullptr, dbFetchRow(r));
    EXPECT_EQ(2u, dbNumberRows(r));
    dbFreeResult(r);
    dbFreeResult(r);  // a second release finds nothing to free
    EXPECT_EQ(nullptr, dbFetchRow(r));

    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, dbQuery("SELEC 1;"));
    EXPECT_EQ("dbQuery: " + std::string(dbErrorMsg()) + "\n", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(Contains(dbErrorMsg(), "error in your SQL syntax")) << dbErrorMsg();

    // Closing releases what is still open; a late release does nothing.
    DB_RESULT left = dbQueryStore("SELECT * FROM hierarchy;");
    ASSERT_NE(nullptr, left);
    dbClose();
    dbFreeResult(left);
}

TEST_F(MySQLCatalog, LongValuesAreReadWhole)
{
    const std::string label(3000, 'L');
    Exec("ALTER TABLE hd_entries MODIFY archive_label TEXT;");
    Exec("UPDATE hd_entries SET archive_label='" + label + "' WHERE data_key=8921345;");
    EXPECT_EQ(label, One("SELECT archive_label FROM hd_entries WHERE data_key=8921345;"));
    EXPECT_EQ("NULL", One("SELECT NULL;"));
}

// ---- A lost connection ------------------------------------------------------------------

TEST_F(MySQLCatalog, LostConnectionIsAnErrorUntilTheNextOpening)
{
    const std::string id = One("SELECT CONNECTION_ID();");
    DB_RESULT read = dbQueryStore("SELECT virtual FROM hierarchy;");
    DB_RESULT unread = dbQueryStore("SELECT virtual FROM hierarchy;");
    ASSERT_NE(nullptr, read);
    Admin().Exec("KILL " + id);

    char p[DB_NAME_SIZE], m[DB_NAME_SIZE], e[DB_NAME_SIZE], i[DB_NAME_SIZE], v[DB_VNAME_SIZE] = "";
    EXPECT_EQ(0, dbKeyToStrings_r(kCP3DRH, p, m, e, i, v));
    const std::string lost = dbErrorMsg();
    EXPECT_TRUE(lost.find("gone away") != std::string::npos || lost.find("Lost connection") != std::string::npos ||
                lost.find("killed") != std::string::npos)
        << lost;
    EXPECT_EQ(0, dbConnected());
    char name1[DB_PATH_MAX] = "untouched";
    EXPECT_NE(1, dbNURVGetFile(kCP3DRH, 2003, 32, 0, 2003, 33, 0, _HEADER_, "", name1, nullptr));
    EXPECT_STREQ("untouched", name1);
    EXPECT_EQ(nullptr, dbQueryStore("SELECT 1;"));
    EXPECT_STREQ("Lost connection to the MySQL catalog server", dbErrorMsg());

    // A whole result made before is still read and released.
    EXPECT_NE(nullptr, dbFetchRow(read));
    dbFreeResult(read);
    ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    EXPECT_EQ(1, dbConnected());
    dbFreeResult(unread);  // released by the reconnection already
    ASSERT_EQ(1, dbKeyToStrings_r(kCP3DRH, p, m, e, i, v));
    EXPECT_STREQ("CP3DRH", v);
}

// ---- Openings that end the process ----------------------------------------------------

TEST(MySQLCatalogDeath, ServerThatIsDownEndsTheProcess)
{
    // The client library reads the socket at its first use: a process of its
    // own starts clean.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScopedEnv socket("MYSQL_UNIX_PORT", "/nonexistent/kombra/mysqld.sock");
    ScopedEnv type("KOMBRA_DB_TYPE", "MySQL");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            dbInitialize();
        },
        ::testing::ExitedWithCode(255),
        // (the process of its own prints gtest's greeting first)
        "\ndbInitialize: Can't connect to local server through socket '/nonexistent/kombra/mysqld.sock' \\(2\\)\n$");
}

TEST(MySQLCatalogDeath, RefusedLoginEndsTheProcess)
{
    TestServer();
    ScopedEnv password("MYSQL_PWD", "not-the-password");
    ScopedEnv type("KOMBRA_DB_TYPE", "MySQL");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            dbInitialize();
        },
        ::testing::ExitedWithCode(255),
        "(^|\n)dbInitialize: Access denied for user '" + kombra_fixtures::MysqlLoginName() +
            "'@'localhost' \\(using password: YES\\)\n$");
}

}  // namespace
