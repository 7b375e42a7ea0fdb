// The MySQL server catalog: one connection to the local server, opened with
// the client library's own defaults, and the whole and row-by-row results
// made on it.
//
// Opening connects with no host, no user name and no password, so the client
// library decides: the local server through its socket (MYSQL_UNIX_PORT, else
// the library's built-in path), the login name ("root" for the superuser) and
// the password in MYSQL_PWD, if any.  It then selects the catalog database
// (nurv unless named) and checks that the server provides the functions
// compare_times and between_times, either as loadable functions (mysql.func)
// or as stored functions of that database (sql/catalog_functions.sql).
#include "dbsql_int.h"
#include "mysql_int.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>

namespace {

// A server that does not answer the connection attempt is given up after
// this many seconds.
constexpr unsigned int kConnectTimeout = 10;

const char kNotConnected[] = "No connection to the MySQL catalog server";

struct MySQLState {
    MYSQL *_SQL = nullptr;               // the connection
    std::optional<std::string> _name;    // the name given by dbSetDatabaseName
    std::string CLIENT_DB_NAME = "nurv"; // the database selected after connecting
    int MySQL_local = 1;                 // 0 once a remote server was connected
    bool lost = false;                   // the server went away under the connection
    std::set<MYSQL_RES *> results;       // results made and not yet freed
};

MySQLState &State()
{
    static MySQLState state;
    return state;
}

void FailFromConnection()
{
    MYSQL *sql = State()._SQL;
    dbsql::mysql::NoteFailure(mysql_errno(sql), mysql_error(sql));
}

// Frees every open result and the bound statements, then closes the
// connection.  Callers' handles of the freed results are unknown from then
// on, so a late release or fetch of one does nothing.
void CloseConnection()
{
    MySQLState &s = State();
    for (MYSQL_RES *res : s.results)
        mysql_free_result(res);
    s.results.clear();
    dbsql::mysql::ForgetStatements();
    if (s._SQL != nullptr)
        mysql_close(s._SQL);
    s._SQL = nullptr;
    s.lost = false;
}

// A new connection handle connected as the arguments say, or null with the
// error text set.
MYSQL *Connect(const char *host, const char *user, const char *passwd, const char *db, unsigned int port)
{
    MYSQL *sql = mysql_init(nullptr);
    if (sql == nullptr) {
        SetErrorString("dbInitialize - Out of memory?");
        return nullptr;
    }
    mysql_options(sql, MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeout);
    if (mysql_real_connect(sql, host, user, passwd, db, port, nullptr, 0) == nullptr) {
        SetErrorString(mysql_error(sql));
        mysql_close(sql);
        return nullptr;
    }
    return sql;
}

// Connects to the local server with the client library's defaults.
bool ConnectLocal()
{
    MYSQL *sql = Connect(nullptr, "", nullptr, nullptr, 0);
    if (sql == nullptr)
        return false;
    State()._SQL = sql;
    State().lost = false;
    return true;
}

// Adds to found the names among compare_times and between_times that the
// first column of the rows of a statement gives; false when it failed.
bool CountFunctions(const char *statement, std::set<std::string> &found)
{
    MYSQL *sql = State()._SQL;
    if (mysql_query(sql, statement) != 0)
        return false;
    MYSQL_RES *res = mysql_use_result(sql);
    if (res == nullptr)
        return false;
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
        if (mysql_num_fields(res) == 0 || row[0] == nullptr)
            continue;
        if (std::strcmp(row[0], "compare_times") == 0 || std::strcmp(row[0], "between_times") == 0)
            found.insert(row[0]);
    }
    mysql_free_result(res);
    return true;
}

// The database name as an SQL identifier: in backquotes, inner backquotes
// doubled.
std::string QuoteIdentifier(const char *name)
{
    std::string quoted = "`";
    for (const char *p = name; *p != '\0'; ++p) {
        if (*p == '`')
            quoted += '`';
        quoted += *p;
    }
    return quoted + "`";
}

}  // namespace

namespace dbsql::mysql {

MYSQL *Connection()
{
    return State()._SQL;
}

bool NeedConnection()
{
    const MySQLState &s = State();
    if (s._SQL != nullptr && !s.lost)
        return true;
    SetErrorString(s._SQL != nullptr ? "Lost connection to the MySQL catalog server" : kNotConnected);
    return false;
}

void NoteFailure(unsigned int errnum, const char *message)
{
    SetErrorString(message);
    switch (errnum) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case ER_CONNECTION_KILLED:
        State().lost = true;
        break;
    default:
        break;
    }
}

}  // namespace dbsql::mysql

int MySQL_TestDBIntegrity(void)
{
    // Stored functions belong to a database: those of the selected one count,
    // or those of any database when none is selected.  Loadable functions
    // count wherever they are; an account that may not read mysql.func
    // relies on stored functions alone.
    if (State()._SQL == nullptr) {
        SetErrorString(kNotConnected);
        return 0;
    }
    std::set<std::string> found;
    CountFunctions("SELECT * FROM mysql.func;", found);
    CountFunctions("SELECT ROUTINE_NAME FROM information_schema.ROUTINES WHERE ROUTINE_TYPE='FUNCTION' AND "
                   "ROUTINE_SCHEMA=IFNULL(DATABASE(), ROUTINE_SCHEMA);",
                   found);
    if (found.size() >= 2)
        return 1;
    const std::string text =
        std::string("Database is not configured with NURV/KOMBRA functions!\n") + mysql_error(State()._SQL);
    SetErrorString(text.c_str());
    return 0;
}

int MySQL_dbInitializeMsg(void)
{
    MySQLState &s = State();
    if (s._SQL != nullptr && !s.lost)
        return 1;
    // A connection the server dropped is replaced by a new one.
    CloseConnection();
    if (s._name)
        s.CLIENT_DB_NAME = *s._name;

    if (!ConnectLocal())
        return 0;
    if (mysql_select_db(s._SQL, s.CLIENT_DB_NAME.c_str()) != 0) {
        const std::string text = "mysql_select_db: " + s.CLIENT_DB_NAME + " does not exist!";
        SetErrorString(text.c_str());
        CloseConnection();
        return 0;
    }
    // A catalog without its functions stays closed, so that every later
    // opening checks again instead of reporting it open.
    if (MySQL_TestDBIntegrity() != 1) {
        CloseConnection();
        return 0;
    }
    return 1;
}

int MySQL_dbInitialize(void)
{
    if (MySQL_dbInitializeMsg() == 1)
        return 1;
    std::printf("dbInitialize: %s\n", GetErrorString());
    std::exit(-1);
}

int MySQL_dbInitializeRemoteMsg(const char *host, const char *user, const char *passwd, const char *db,
                                const unsigned int port)
{
    MYSQL *sql = Connect(host, user, passwd, db, port);
    if (sql == nullptr)
        return 0;
    // The remote server replaces the catalog connection.
    CloseConnection();
    State()._SQL = sql;
    State().MySQL_local = 0;
    return 1;
}

int MySQL_dbCreate(const char *name)
{
    MySQLState &s = State();
    if (name == nullptr || *name == '\0') {
        SetErrorString("Incorrect database name ''");
        return 0;
    }
    if (s._SQL == nullptr || s.lost) {
        CloseConnection();
        s.CLIENT_DB_NAME = name;
        if (!ConnectLocal())
            return 0;
        if (MySQL_TestDBIntegrity() != 1) {
            CloseConnection();
            return 0;
        }
    }

    const std::string statement = "CREATE DATABASE " + QuoteIdentifier(name) + ";";
    DB_RESULT res = MySQL_dbQuery(statement.c_str());
    if (res != nullptr) {
        MySQL_dbFreeResult(res);
    } else if (MySQL_dbBadQuery() != 0) {
        SetErrorString(mysql_error(s._SQL));
        return 0;
    }
    // The new database becomes the current one.
    if (mysql_select_db(s._SQL, name) != 0) {
        FailFromConnection();
        return 0;
    }
    s.CLIENT_DB_NAME = name;
    return 1;
}

void MySQL_dbSetDatabaseName(const char *name)
{
    if (name == nullptr || *name == '\0')
        State()._name.reset();
    else
        State()._name = name;
}

const char *MySQL_dbGetDatabaseName(void)
{
    // The database that an opening selects: the name given, else the one
    // selected last (nurv at first).
    const MySQLState &s = State();
    return s._name ? s._name->c_str() : s.CLIENT_DB_NAME.c_str();
}

int MySQL_dbClose(void)
{
    MySQLState &s = State();
    if (s._SQL != nullptr) {
        CloseConnection();
        s._name.reset();
    }
    return 1;
}

int MySQL_dbIsLocal(void)
{
    return State().MySQL_local;
}

int MySQL_dbIsReadOnly(void)
{
    return 0;
}

int MySQL_dbConnected(void)
{
    return State()._SQL != nullptr && !State().lost ? 1 : 0;
}

DB_RESULT MySQL_dbQuery(const char *sql)
{
    MySQLState &s = State();
    if (!dbsql::mysql::NeedConnection()) {
        std::printf("dbQuery: %s\n", GetErrorString());
        return nullptr;
    }
    if (mysql_query(s._SQL, dbsql::OrEmpty(sql)) != 0) {
        FailFromConnection();
        std::printf("dbQuery: %s\n", GetErrorString());
        return nullptr;
    }
    MYSQL_RES *res = mysql_use_result(s._SQL);
    if (res == nullptr) {
        // No result set: a statement that returns none, or a failure.
        if (mysql_errno(s._SQL) != 0) {
            FailFromConnection();
            std::printf("dbQuery: %s\n", GetErrorString());
        }
        return nullptr;
    }
    s.results.insert(res);
    return res;
}

DB_RESULT MySQL_dbQueryStore(const char *sql)
{
    MySQLState &s = State();
    if (!dbsql::mysql::NeedConnection())
        return nullptr;
    if (mysql_query(s._SQL, dbsql::OrEmpty(sql)) != 0) {
        FailFromConnection();
        return nullptr;
    }
    MYSQL_RES *res = mysql_store_result(s._SQL);
    if (res == nullptr) {
        if (mysql_errno(s._SQL) != 0)
            FailFromConnection();
        return nullptr;
    }
    s.results.insert(res);
    return res;
}

int MySQL_dbQueryExec(const char *sql)
{
    if (!dbsql::mysql::NeedConnection())
        return 0;
    DB_RESULT res = MySQL_dbQueryStore(sql);
    if (res != nullptr)
        MySQL_dbFreeResult(res);
    return mysql_errno(State()._SQL) == 0 ? 1 : 0;
}

int MySQL_dbBadQuery(void)
{
    MySQLState &s = State();
    if (s._SQL == nullptr)
        return CR_SERVER_GONE_ERROR;
    if (const unsigned int errnum = mysql_errno(s._SQL); errnum != 0)
        return static_cast<int>(errnum);
    if (mysql_affected_rows(s._SQL) == 0) {
        SetErrorString("No rows affected by query!");
        return 1;
    }
    return 0;
}

void MySQL_dbFreeResult(DB_RESULT res)
{
    MYSQL_RES *result = static_cast<MYSQL_RES *>(res);
    if (State().results.erase(result) != 0)
        mysql_free_result(result);
}

DB_ROW MySQL_dbFetchRow(DB_RESULT res)
{
    MySQLState &s = State();
    MYSQL_RES *result = static_cast<MYSQL_RES *>(res);
    if (s.results.count(result) == 0)
        return nullptr;
    MYSQL_ROW row = mysql_fetch_row(result);
    // The end of a row-by-row result and a connection lost in the middle of
    // it both give no row; only the second leaves an error number.
    if (row == nullptr && s._SQL != nullptr && mysql_errno(s._SQL) != 0)
        FailFromConnection();
    return row;
}

unsigned long MySQL_dbNumberRows(DB_RESULT res)
{
    MYSQL_RES *result = static_cast<MYSQL_RES *>(res);
    if (State().results.count(result) == 0)
        return 0;
    return static_cast<unsigned long>(mysql_num_rows(result));
}

unsigned int MySQL_dbNumberFields(DB_RESULT res)
{
    MYSQL_RES *result = static_cast<MYSQL_RES *>(res);
    if (State().results.count(result) == 0)
        return 0;
    return mysql_num_fields(result);
}

const char *MySQL_dbFieldName(DB_RESULT res, int i)
{
    MYSQL_RES *result = static_cast<MYSQL_RES *>(res);
    if (State().results.count(result) == 0 || i < 0 || static_cast<unsigned int>(i) >= mysql_num_fields(result))
        return nullptr;
    const MYSQL_FIELD *fields = mysql_fetch_fields(result);
    return fields != nullptr ? fields[i].name : nullptr;
}
