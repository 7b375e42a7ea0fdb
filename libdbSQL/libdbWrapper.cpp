// The catalog front end: the choice of back end and the forwarding of every
// db call through the dispatch table.
#include "dbsql_int.h"

#include <strings.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

int TarvoNURVGetFile(KOMBRA_ULONG key, short b_yr, short b_day, long b_msec, short e_yr, short e_day, long e_msec,
                     RequestedDataType type, const char *exten, char *name1, char *name2)
{
    return Tarvo_dbNURVGetFile(key, b_yr, b_day, static_cast<KOMBRA_LONG>(b_msec), e_yr, e_day,
                               static_cast<KOMBRA_LONG>(e_msec), type, exten, name1, name2);
}

// One column per back end, indexed by dbType.
const dbsql::Backend kBackends[3] = {
    // SQLite
    {SQLite_dbIsLocal, SQLite_dbIsReadOnly, SQLite_dbInitializeMsg, SQLite_dbPack, SQLite_dbCreate,
     SQLite_dbInitialize, SQLite_dbSetDatabaseName, SQLite_dbGetDatabaseName, SQLite_dbClose, SQLite_dbQuery,
     dbGetDataKeyWithQuery, dbVirtualNameWithQuery, dbVirtualNameWithQuery_r, dbKeyToStringsWithQuery,
     dbKeyToStringsWithQuery_r, SQLite_dbQueryStore, SQLite_dbQueryExec, SQLite_dbBadQuery, SQLite_dbFreeResult,
     SQLite_dbFetchRow, SQLite_dbNumberRows, SQLite_dbNumberFields, SQLite_dbFieldName, SQL_dbErrorMsg,
     SQLite_dbInitializeRemoteMsg, SQLite_dbConnected, SQL_dbNURVGetFile, SQLite_dbQueryRows,
     SQLite_dbCatalogVersion, SQLite_dbCatalogSpan, SQLite_dbReadBegin, SQLite_dbReadEnd},
    // MySQL
    {MySQL_dbIsLocal, MySQL_dbIsReadOnly, MySQL_dbInitializeMsg, nullptr, MySQL_dbCreate, MySQL_dbInitialize,
     MySQL_dbSetDatabaseName, MySQL_dbGetDatabaseName, MySQL_dbClose, MySQL_dbQuery, dbGetDataKeyWithQuery,
     dbVirtualNameWithQuery, dbVirtualNameWithQuery_r, dbKeyToStringsWithQuery, dbKeyToStringsWithQuery_r,
     MySQL_dbQueryStore, MySQL_dbQueryExec, MySQL_dbBadQuery, MySQL_dbFreeResult, MySQL_dbFetchRow,
     MySQL_dbNumberRows, MySQL_dbNumberFields, MySQL_dbFieldName, SQL_dbErrorMsg, MySQL_dbInitializeRemoteMsg,
     MySQL_dbConnected, SQL_dbNURVGetFile, MySQL_dbQueryRows, nullptr, nullptr, nullptr, nullptr},
    // Tarvo
    {nullptr, Tarvo_dbIsReadOnly, Tarvo_dbInitializeMsg, nullptr, nullptr, Tarvo_dbInitialize, nullptr, nullptr,
     Tarvo_dbClose, Tarvo_dbQuery, Tarvo_dbGetDataKey, Tarvo_dbVirtualName, Tarvo_dbVirtualName_r,
     Tarvo_dbKeyToStrings, Tarvo_dbKeyToStrings_r, Tarvo_dbQueryStore, nullptr, Tarvo_dbBadQuery,
     Tarvo_dbFreeResult, nullptr, nullptr, nullptr, nullptr, Tarvo_dbErrorMsg, nullptr, Tarvo_dbConnected,
     TarvoNURVGetFile, nullptr, nullptr, nullptr, nullptr, nullptr},
};

dbType _dbType = Tarvo;

// Applies KOMBRA_DB_TYPE; an absent value keeps the current type.
void ChooseFromEnvironment()
{
    const char *type = GetEnv("KOMBRA_DB_TYPE");
    if (type == nullptr)
        return;
    if (strcasecmp(type, "Tarvo") == 0)
        _dbType = Tarvo;
    else if (strcasecmp(type, "MySQL") == 0)
        _dbType = MySQL;
    else if (strcasecmp(type, "SQLite") == 0)
        _dbType = SQLite;
    else
        std::fputs("Unknown database type defined in kombra.cfg!\n\n", stderr);
}

}  // namespace

namespace dbsql {

const Backend &Current()
{
    return kBackends[_dbType];
}

}  // namespace dbsql

using dbsql::Current;

int dbInitialize(void)
{
    ChooseFromEnvironment();
    return Current()._initialize();
}

int dbInitializeMsg(void)
{
    ChooseFromEnvironment();
    return Current()._initializeMsg();
}

int dbSetDatabaseType(dbType type, const char *name)
{
    if (type != SQLite && type != MySQL && type != Tarvo)
        return 0;
    // The name may be the back end's own text (dbGetDatabaseName), which its
    // closing drops.
    const std::optional<std::string> kept = name != nullptr ? std::optional<std::string>(name) : std::nullopt;
    Current()._close();
    dbsql::ForgetNames();
    _dbType = type;
    dbSetDatabaseName(kept ? kept->c_str() : nullptr);
    return Current()._initializeMsg();
}

KOMBRA_BOOL dbIsTarvo(void)
{
    return _dbType == Tarvo ? sTrue : sFalse;
}

KOMBRA_BOOL dbIsSQLite(void)
{
    return _dbType == SQLite ? sTrue : sFalse;
}

KOMBRA_BOOL dbIsMySQL(void)
{
    return _dbType == MySQL ? sTrue : sFalse;
}

dbType dbGetDatabaseType(void)
{
    return _dbType;
}

KOMBRA_BOOL dbIsLocal(void)
{
    if (_dbType == Tarvo || Current()._isLocal == nullptr)
        return sTrue;
    return Current()._isLocal() != 0 ? sTrue : sFalse;
}

int dbIsReadOnly(void)
{
    return Current()._isReadOnly();
}

int dbPack(void)
{
    return Current()._pack != nullptr ? Current()._pack() : 0;
}

int dbClose(void)
{
    dbsql::ForgetNames();
    return Current()._close();
}

int dbConnected(void)
{
    return Current()._connected();
}

int dbBadQuery(void)
{
    return Current()._badQuery();
}

int dbCreate(const char *name)
{
    if (Current()._create == nullptr)
        return 0;
    dbsql::ForgetNames();
    if (Current()._create(name) == 0)
        return 0;
    dbSetDatabaseName(name);
    return 1;
}

void dbSetDatabaseName(const char *name)
{
    if (Current()._databaseName != nullptr)
        Current()._databaseName(name);
}

const char *dbGetDatabaseName(void)
{
    return Current()._getDBName != nullptr ? Current()._getDBName() : "";
}

DB_RESULT dbQuery(const char *sql)
{
    return Current()._query(sql);
}

DB_RESULT dbQueryStore(const char *sql)
{
    return Current()._queryStore(sql);
}

int dbQueryExec(const char *sql)
{
    return Current()._queryExec != nullptr ? Current()._queryExec(sql) : 0;
}

DB_ROW dbFetchRow(DB_RESULT result)
{
    return Current()._fetchRow != nullptr ? Current()._fetchRow(result) : nullptr;
}

void dbFreeResult(DB_RESULT result)
{
    Current()._freeResult(result);
}

unsigned long dbNumberRows(DB_RESULT result)
{
    return Current()._numberRows != nullptr ? Current()._numberRows(result) : 0;
}

unsigned int dbNumberFields(DB_RESULT result)
{
    return Current()._numberFields != nullptr ? Current()._numberFields(result) : 0;
}

const char *dbFieldName(DB_RESULT result, int i)
{
    return Current()._fieldName != nullptr ? Current()._fieldName(result, i) : nullptr;
}

char *dbErrorMsg(void)
{
    return Current()._errorMsg();
}

void dbBeginAction(void)
{
    SQLite_dbBeginAction();
}

void dbEndAction(void)
{
    SQLite_dbEndAction();
}

int dbCatalogBusy(void)
{
    return dbIsSQLite() == sTrue ? SQLite_dbBusy() : 0;
}

int dbActionCatalogBusy(void)
{
    return dbIsSQLite() == sTrue ? SQLite_dbActionBusy() : 0;
}

int dbInitializeRemoteMsg(const char *host, const char *user, const char *passwd, const char *db,
                          const unsigned int port)
{
    if (Current()._initializeRemoteMsg == nullptr)
        return 0;
    return Current()._initializeRemoteMsg(host, user, passwd, db, port);
}

int dbQueryRows(const char *sql, const std::vector<DbParam> &params, DbRows &rows)
{
    if (Current().queryRows == nullptr) {
        rows.clear();
        return 0;
    }
    return Current().queryRows(sql, params, rows);
}

KOMBRA_ULONG dbGetDataKey(const char *project, const char *mission, const char *experiment, const char *instrument,
                          const char *virtual_)
{
    return Current()._getDataKey(project, mission, experiment, instrument, virtual_);
}

const char *dbVirtualName(KOMBRA_ULONG key)
{
    return Current()._virtualName(key);
}

int dbVirtualName_r(KOMBRA_ULONG data_key, char *vinst, int len)
{
    return Current()._virtualName_r(data_key, vinst, len);
}

int dbKeyToStrings(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                   char *virtual_)
{
    return Current()._keyToStr(key, project, mission, experiment, instrument, virtual_);
}

int dbKeyToStrings_r(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                     char *virtual_)
{
    return Current()._keyToStr_r(key, project, mission, experiment, instrument, virtual_);
}

int dbNURVGetFile(KOMBRA_ULONG data_key, short btime_yr, short btime_day, long btime_msec, short etime_yr,
                  short etime_day, long etime_msec, RequestedDataType dataType, const char *exten, char *name1,
                  char *name2)
{
    return Current()._NURVgetFile(data_key, btime_yr, btime_day, btime_msec, etime_yr, etime_day, etime_msec,
                                 dataType, exten, name1, name2);
}
