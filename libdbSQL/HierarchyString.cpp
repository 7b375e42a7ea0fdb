// The hierarchy text of a data key: its five names joined by slashes.
#include "lookups_int.h"

namespace {

// The names behind dbHierarchyString, a cache of its own.
dbsql::KeyCache hierarchy_cache;

// The text handed out, a fixed buffer so that a pointer kept from an
// earlier call still points at the latest text.  Five names cut to their
// buffers and four slashes always fit.
constexpr std::size_t kHierarchyTextSize = 1024;
static_assert(4 * (DB_NAME_SIZE - 1) + DB_VNAME_SIZE - 1 + 4 < kHierarchyTextSize);
char query_str[kHierarchyTextSize];

}  // namespace

void dbsql::ForgetHierarchyNames()
{
    hierarchy_cache = {};
}

char *dbHierarchyString(KOMBRA_ULONG key)
{
    // The dBASE catalog runs no SQL; its own look-up answers.
    if (dbIsTarvo())
        return Tarvo_dbHierarchyString(key);

    dbsql::KeyCache &cache = hierarchy_cache;
    if (!cache._last_data_key || *cache._last_data_key != key) {
        DbRows rows;
        if (dbQueryRows(dbsql::kNamesOfKey, dbsql::KeyParam(key), rows) == 1) {
            for (const auto &row : rows)
                cache.names = dbsql::FromRow(row);
            cache._last_data_key = key;
        }
    }
    const dbsql::Names &n = cache.names;
    dbsql::CopyName(query_str, sizeof query_str,
                    n._project + "/" + n._mission + "/" + n._experiment + "/" + n._instrument + "/" + n._vinst);
    return query_str;
}
