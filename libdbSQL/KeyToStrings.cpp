// The five names of a data key on the SQL catalogs: cached and uncached.
#include "lookups_int.h"

namespace {

// The cache of dbKeyToStrings.
dbsql::KeyCache names_cache;

void CopyOut(const dbsql::Names &n, char *project, char *mission, char *experiment, char *instrument,
             char *virtual_)
{
    dbsql::CopyName(project, DB_NAME_SIZE, n._project);
    dbsql::CopyName(mission, DB_NAME_SIZE, n._mission);
    dbsql::CopyName(experiment, DB_NAME_SIZE, n._experiment);
    dbsql::CopyName(instrument, DB_NAME_SIZE, n._instrument);
    dbsql::CopyName(virtual_, DB_VNAME_SIZE, n._vinst);
}

}  // namespace

void dbsql::ForgetKeyNames()
{
    names_cache = {};
}

int dbKeyToStringsWithQuery(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                            char *virtual_)
{
    dbsql::KeyCache &cache = names_cache;
    if (!cache._last_data_key || *cache._last_data_key != key) {
        DbRows rows;
        if (dbQueryRows(dbsql::kNamesOfKey, dbsql::KeyParam(key), rows) != 1 || rows.empty())
            return 0;
        cache.names = dbsql::FromRow(rows.front());
        cache._last_data_key = key;
    }
    CopyOut(cache.names, project, mission, experiment, instrument, virtual_);
    return 1;
}

int dbKeyToStringsWithQuery_r(KOMBRA_ULONG key, char *project, char *mission, char *experiment,
                              char *instrument, char *virtual_)
{
    DbRows rows;
    if (dbQueryRows(dbsql::kNamesOfKey, dbsql::KeyParam(key), rows) != 1 || rows.empty())
        return 0;
    CopyOut(dbsql::FromRow(rows.front()), project, mission, experiment, instrument, virtual_);
    return 1;
}
