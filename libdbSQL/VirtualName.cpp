// The virtual-instrument name of a data key on the SQL catalogs: cached and
// into the caller's buffer.
#include "lookups_int.h"

namespace {

const char kVirtualOfKey[] = "SELECT virtual FROM hierarchy WHERE data_key=?;";

// The cache of dbVirtualName: the last key looked up and its name.  The
// text handed out is this fixed buffer, so that a pointer kept from an
// earlier call still points at the latest name, never at freed memory.
struct VirtualNameCache {
    std::optional<KOMBRA_ULONG> _last_data_key;
    char _vinst[DB_VNAME_SIZE] = "";
};

VirtualNameCache vinst_cache;

std::string Column0(const std::vector<DbCell> &row)
{
    return dbsql::Text(row.empty() ? DbCell{} : row[0]);
}

}  // namespace

void dbsql::ForgetVirtualName()
{
    vinst_cache = {};
}

const char *dbVirtualNameWithQuery(KOMBRA_ULONG key)
{
    std::optional<KOMBRA_ULONG> &last_key = vinst_cache._last_data_key;
    if (!last_key || *last_key != key) {
        DbRows rows;
        if (dbQueryRows(kVirtualOfKey, dbsql::KeyParam(key), rows) == 1) {
            for (const auto &row : rows)
                dbsql::CopyName(vinst_cache._vinst, sizeof vinst_cache._vinst, Column0(row));
            last_key = key;
        }
    }
    if (key == 0) {
        const char *name = Tarvo_dbVirtualName(0);
        if (name != nullptr && *name != '\0')
            dbsql::CopyName(vinst_cache._vinst, sizeof vinst_cache._vinst, name);
    }
    return vinst_cache._vinst;
}

int dbVirtualNameWithQuery_r(KOMBRA_ULONG data_key, char *vinst, int len)
{
    if (data_key == 0)
        return Tarvo_dbVirtualName_r(data_key, vinst, len);
    DbRows rows;
    if (dbQueryRows(kVirtualOfKey, dbsql::KeyParam(data_key), rows) != 1)
        return 0;
    if (len > 0) {
        for (const auto &row : rows)
            dbsql::CopyName(vinst, static_cast<std::size_t>(len), Column0(row));
    }
    return 1;
}
