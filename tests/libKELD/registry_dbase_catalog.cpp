// The dBASE catalog of the registry tests: the description tables of 3DR.
#include "dbf_fixture.h"
#include "registry_catalog.h"

namespace keld_registry_test {

dbType CatalogType()
{
    return Tarvo;
}

void WriteDescriptions(const std::string &root, const std::vector<Span> &spans)
{
    std::vector<kombra_fixtures::DbfCatalogEntry> entries;
    for (const Span &s : spans)
        entries.push_back({"CP3DRH", 2003, s.from, 0, 2003, s.to, 0});
    kombra_fixtures::WriteCatalogTables(root + "/catalog/CLUSTERII/C1/HALDE/Database/3DR", "I", entries);
}

}  // namespace keld_registry_test
