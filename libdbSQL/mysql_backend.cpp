// The MySQL server catalog.  This build has no MySQL client in it: opening
// reports that the back end is not available and every statement fails with
// the same text, while the database name is kept as the back end keeps it.
#include "dbsql_int.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char kNotAvailable[] = "MySQL catalog back end not available in this build";

std::string mysql_name;  // "" stands for "nurv"
int mysql_local = 1;

int NotAvailable()
{
    SetErrorString(kNotAvailable);
    return 0;
}

}  // namespace

int MySQL_dbInitializeMsg(void)
{
    return NotAvailable();
}

int MySQL_dbInitialize(void)
{
    if (MySQL_dbInitializeMsg() == 1)
        return 1;
    std::printf("dbInitialize: %s\n", GetErrorString());
    std::exit(-1);
}

int MySQL_dbInitializeRemoteMsg(const char *, const char *, const char *, const char *, const unsigned int)
{
    return NotAvailable();
}

int MySQL_dbCreate(const char *)
{
    return NotAvailable();
}

void MySQL_dbSetDatabaseName(const char *name)
{
    mysql_name = dbsql::OrEmpty(name);
}

const char *MySQL_dbGetDatabaseName(void)
{
    return mysql_name.empty() ? "nurv" : mysql_name.c_str();
}

int MySQL_dbClose(void)
{
    return 1;
}

int MySQL_dbIsLocal(void)
{
    return mysql_local;
}

int MySQL_dbIsReadOnly(void)
{
    return 0;
}

int MySQL_dbConnected(void)
{
    return 0;
}

DB_RESULT MySQL_dbQuery(const char *)
{
    NotAvailable();
    return nullptr;
}

DB_RESULT MySQL_dbQueryStore(const char *)
{
    NotAvailable();
    return nullptr;
}

int MySQL_dbQueryExec(const char *)
{
    return NotAvailable();
}

int MySQL_dbQueryRows(const char *, const std::vector<DbParam> &, DbRows &rows)
{
    rows.clear();
    return NotAvailable();
}

int MySQL_dbBadQuery(void)
{
    return 0;
}

void MySQL_dbFreeResult(DB_RESULT) {}

DB_ROW MySQL_dbFetchRow(DB_RESULT)
{
    return nullptr;
}

unsigned long MySQL_dbNumberRows(DB_RESULT)
{
    return 0;
}

unsigned int MySQL_dbNumberFields(DB_RESULT)
{
    return 0;
}

const char *MySQL_dbFieldName(DB_RESULT, int)
{
    return nullptr;
}
