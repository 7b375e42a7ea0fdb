// The SQLite catalog of the registry tests: the standard catalog with the
// description entries of CP3DRH replaced.
#include "registry_catalog.h"
#include "sqlite_catalog_fixture.h"

namespace keld_registry_test {

dbType CatalogType()
{
    return SQLite;
}

void WriteDescriptions(const std::string &root, const std::vector<Span> &spans)
{
    constexpr std::uint32_t kKey = 8921217;  // PackDataKey(1, 1, 1, 1, 1)
    auto catalog = kombra_fixtures::MakeStandardCatalog();
    std::erase_if(catalog.descriptionEntries, [](const auto &e) { return e.key == kKey; });
    for (const Span &s : spans)
        catalog.descriptionEntries.push_back({kKey, {2003, s.from, 0}, {2003, s.to, 0}, 0, {}});
    kombra_fixtures::WriteCatalog(root, catalog);
}

}  // namespace keld_registry_test
