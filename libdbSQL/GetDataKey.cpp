// The data key of five names on the SQL catalogs, and the parts shared by
// the look-ups in table hierarchy.  Names and keys are bound to statement
// parameters.
#include "lookups_int.h"

#include <charconv>

namespace {

const char kKeyOfNames[] =
    "SELECT data_key FROM hierarchy WHERE project=? AND mission=? AND experiment=? AND instrument=? AND "
    "virtual=?;";

std::string Cut(const DbCell &cell, std::size_t size)
{
    std::string text = dbsql::Text(cell);
    if (text.size() > size - 1)
        text.resize(size - 1);
    return text;
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

}  // namespace

dbsql::Names dbsql::FromRow(const std::vector<DbCell> &row)
{
    Names n;
    auto at = [&row](std::size_t i) { return i < row.size() ? row[i] : DbCell{}; };
    n._project = Cut(at(0), DB_NAME_SIZE);
    n._mission = Cut(at(1), DB_NAME_SIZE);
    n._experiment = Cut(at(2), DB_NAME_SIZE);
    n._instrument = Cut(at(3), DB_NAME_SIZE);
    n._vinst = Cut(at(4), DB_VNAME_SIZE);
    return n;
}

std::vector<DbParam> dbsql::KeyParam(KOMBRA_ULONG key)
{
    return {DbParam::Int(static_cast<long long>(key))};
}

void dbsql::ForgetNames()
{
    ForgetKeyNames();
    ForgetHierarchyNames();
    ForgetVirtualName();
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
