// The look-ups that both SQL back ends answer from table hierarchy: the data
// key of five names, the names of a key, the virtual-instrument name and the
// hierarchy text.  Names and keys are bound to statement parameters.
#include "dbsql_int.h"

#include <charconv>
#include <optional>

namespace {

const char kKeyOfNames[] =
    "SELECT data_key FROM hierarchy WHERE project=? AND mission=? AND experiment=? AND instrument=? AND "
    "virtual=?;";
const char kNamesOfKey[] = "SELECT project, mission, experiment, instrument, virtual FROM hierarchy WHERE data_key=?;";
const char kVirtualOfKey[] = "SELECT virtual FROM hierarchy WHERE data_key=?;";

// The names of one source, each cut to the size of the buffers it is
// handed out in.
struct Names {
    std::string project, mission, experiment, instrument, vinst;
};

std::string Cut(const DbCell &cell, std::size_t size)
{
    std::string text = dbsql::Text(cell);
    if (text.size() > size - 1)
        text.resize(size - 1);
    return text;
}

Names FromRow(const std::vector<DbCell> &row)
{
    Names n;
    auto at = [&row](std::size_t i) { return i < row.size() ? row[i] : DbCell{}; };
    n.project = Cut(at(0), DB_NAME_SIZE);
    n.mission = Cut(at(1), DB_NAME_SIZE);
    n.experiment = Cut(at(2), DB_NAME_SIZE);
    n.instrument = Cut(at(3), DB_NAME_SIZE);
    n.vinst = Cut(at(4), DB_VNAME_SIZE);
    return n;
}

void CopyOut(const Names &n, char *project, char *mission, char *experiment, char *instrument, char *virtual_)
{
    dbsql::CopyName(project, DB_NAME_SIZE, n.project);
    dbsql::CopyName(mission, DB_NAME_SIZE, n.mission);
    dbsql::CopyName(experiment, DB_NAME_SIZE, n.experiment);
    dbsql::CopyName(instrument, DB_NAME_SIZE, n.instrument);
    dbsql::CopyName(virtual_, DB_VNAME_SIZE, n.vinst);
}

std::vector<DbParam> KeyParam(KOMBRA_ULONG key)
{
    return {DbParam::Int(static_cast<long long>(key))};
}

// A key column as text; 0 when it is no key.
KOMBRA_ULONG ParseKey(const DbCell &cell)
{
    const std::string text = dbsql::Text(cell);
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || value > 0xFFFFFFFFull)
        return 0;
    return static_cast<KOMBRA_ULONG>(value);
}

// The names cache of dbKeyToStrings: the last key found and its names.  No
// key is remembered at first, so that key 0 is looked up like any other.
struct KeyCache {
    std::optional<KOMBRA_ULONG> key;
    Names names;
};

// The three caches: names of dbKeyToStrings, the virtual name of
// dbVirtualName and the names behind dbHierarchyString.  Each keeps its own
// copy.  The two texts handed out are fixed buffers, so that a pointer kept
// from an earlier call still points at the latest text, never at freed
// memory.
KeyCache names_cache;
KeyCache hierarchy_cache;
std::optional<KOMBRA_ULONG> vinst_key;
char vinst_cache[DB_VNAME_SIZE];
// Five names cut to their buffers and four slashes always fit.
constexpr std::size_t kHierarchyTextSize = 1024;
static_assert(4 * (DB_NAME_SIZE - 1) + DB_VNAME_SIZE - 1 + 4 < kHierarchyTextSize);
char hierarchy_text[kHierarchyTextSize];

}  // namespace

void dbsql::ForgetNames()
{
    names_cache = {};
    hierarchy_cache = {};
    vinst_key.reset();
    vinst_cache[0] = '\0';
}

KOMBRA_ULONG dbGetDataKeyWithQuery(const char *project, const char *mission, const char *experiment,
                                   const char *instrument, const char *virtual_)
{
    using dbsql::OrEmpty;
    KOMBRA_ULONG key = 0;
    DbRows rows;
    if (dbQueryRows(kKeyOfNames,
                    {DbParam::Text(OrEmpty(project)), DbParam::Text(OrEmpty(mission)),
                     DbParam::Text(OrEmpty(experiment)), DbParam::Text(OrEmpty(instrument)),
                     DbParam::Text(OrEmpty(virtual_))},
                    rows) == 1) {
        for (const auto &row : rows)  // the last row wins
            key = row.empty() ? 0 : ParseKey(row[0]);
    }
    // A source the catalog does not list yet keeps the key of the project tree.
    if (key == 0)
        key = Tarvo_dbGetDataKey(project, mission, experiment, instrument, virtual_);
    return key;
}

int dbKeyToStringsWithQuery(KOMBRA_ULONG key, char *project, char *mission, char *experiment, char *instrument,
                            char *virtual_)
{
    KeyCache &cache = names_cache;
    if (!cache.key || *cache.key != key) {
        DbRows rows;
        if (dbQueryRows(kNamesOfKey, KeyParam(key), rows) != 1 || rows.empty())
            return 0;
        cache.names = FromRow(rows.front());
        cache.key = key;
    }
    CopyOut(cache.names, project, mission, experiment, instrument, virtual_);
    return 1;
}

int dbKeyToStringsWithQuery_r(KOMBRA_ULONG key, char *project, char *mission, char *experiment,
                              char *instrument, char *virtual_)
{
    DbRows rows;
    if (dbQueryRows(kNamesOfKey, KeyParam(key), rows) != 1 || rows.empty())
        return 0;
    CopyOut(FromRow(rows.front()), project, mission, experiment, instrument, virtual_);
    return 1;
}

const char *dbVirtualNameWithQuery(KOMBRA_ULONG key)
{
    std::optional<KOMBRA_ULONG> &last_key = vinst_key;
    if (!last_key || *last_key != key) {
        DbRows rows;
        if (dbQueryRows(kVirtualOfKey, KeyParam(key), rows) == 1) {
            for (const auto &row : rows)
                dbsql::CopyName(vinst_cache, sizeof vinst_cache, dbsql::Text(row.empty() ? DbCell{} : row[0]));
            last_key = key;
        }
    }
    if (key == 0) {
        const char *name = Tarvo_dbVirtualName(0);
        if (name != nullptr && *name != '\0')
            dbsql::CopyName(vinst_cache, sizeof vinst_cache, name);
    }
    return vinst_cache;
}

int dbVirtualNameWithQuery_r(KOMBRA_ULONG data_key, char *vinst, int len)
{
    if (data_key == 0)
        return Tarvo_dbVirtualName_r(data_key, vinst, len);
    DbRows rows;
    if (dbQueryRows(kVirtualOfKey, KeyParam(data_key), rows) != 1)
        return 0;
    if (len > 0) {
        for (const auto &row : rows)
            dbsql::CopyName(vinst, static_cast<std::size_t>(len), dbsql::Text(row.empty() ? DbCell{} : row[0]));
    }
    return 1;
}

char *dbHierarchyString(KOMBRA_ULONG key)
{
    // The dBASE catalog runs no SQL; its own look-up answers.
    if (dbIsTarvo())
        return Tarvo_dbHierarchyString(key);

    KeyCache &cache = hierarchy_cache;
    if (!cache.key || *cache.key != key) {
        DbRows rows;
        if (dbQueryRows(kNamesOfKey, KeyParam(key), rows) == 1) {
            for (const auto &row : rows)
                cache.names = FromRow(row);
            cache.key = key;
        }
    }
    const Names &n = cache.names;
    dbsql::CopyName(hierarchy_text, sizeof hierarchy_text,
                    n.project + "/" + n.mission + "/" + n.experiment + "/" + n.instrument + "/" + n.vinst);
    return hierarchy_text;
}
