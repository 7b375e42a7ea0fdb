// The dBASE catalog of the promotion tests: per instrument the tables of its
// header and data files (HD) and descriptions (I), beside the configured
// DatabasePath.
#include "DbDefs.h"
#include "dbf_fixture.h"
#include "promote_env.h"

#include <map>

namespace promote_test {

struct TestCatalog::Impl {
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", std::nullopt};
};

TestCatalog::TestCatalog(const std::string &, const StandardCatalog &catalog) : impl_(std::make_unique<Impl>())
{
    std::map<std::string, std::vector<DbfCatalogEntry>> hd, descriptions;
    auto add = [](std::map<std::string, std::vector<DbfCatalogEntry>> &tables, const CatalogEntry &e) {
        const char *base = Tarvo_dbFilename(e.key);
        char vinst[34] = "";
        if (base == nullptr || Tarvo_dbVirtualName_r(e.key, vinst, sizeof vinst) != 1)
            return;
        tables[base].push_back({vinst, e.begin.yr, e.begin.day, e.begin.msec, e.end.yr, e.end.day, e.end.msec});
    };
    for (const CatalogEntry &e : catalog.hdEntries)
        add(hd, e);
    for (const CatalogEntry &e : catalog.descriptionEntries)
        add(descriptions, e);
    for (const auto &[base, entries] : hd)
        WriteCatalogTables(base, "HD", entries);
    for (const auto &[base, entries] : descriptions)
        WriteCatalogTables(base, "I", entries);
}

TestCatalog::~TestCatalog() = default;

dbType TestCatalog::Type()
{
    return Tarvo;
}

}  // namespace promote_test
