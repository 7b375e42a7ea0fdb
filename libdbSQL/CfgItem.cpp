// The bridge from a data key to the configuration items of its source.
#include "dbsql_int.h"
#include "libCfg.h"

char *dbCfgItem(KOMBRA_ULONG data_key, const char *item, int element)
{
    char project[DB_NAME_SIZE], mission[DB_NAME_SIZE], experiment[DB_NAME_SIZE], instrument[DB_NAME_SIZE];
    char vinst[DB_VNAME_SIZE];
    if (dbKeyToStrings_r(data_key, project, mission, experiment, instrument, vinst) != 1)
        return nullptr;
    return CfgGetItem(item, element, project, mission, experiment, instrument, vinst,
                      static_cast<const char *>(nullptr));
}

char *dbCfgPath(KOMBRA_ULONG data_key, const char *item)
{
    char project[DB_NAME_SIZE], mission[DB_NAME_SIZE], experiment[DB_NAME_SIZE], instrument[DB_NAME_SIZE];
    char vinst[DB_VNAME_SIZE];
    if (dbKeyToStrings_r(data_key, project, mission, experiment, instrument, vinst) != 1)
        return nullptr;
    return CfgGetPath(item, project, mission, experiment, instrument, vinst, static_cast<const char *>(nullptr));
}
