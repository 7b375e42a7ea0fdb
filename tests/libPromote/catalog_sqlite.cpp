// The SQLite catalog of the promotion tests: nurv.db3 in the data root.
#include "dbBackends.h"
#include "promote_env.h"

namespace promote_test {

struct TestCatalog::Impl {
    kombra_test::ScopedEnv dataEnv;
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "SQLite"};
    explicit Impl(const std::string &dataRoot) : dataEnv("KOMBRA_DATA", dataRoot) {}
};

TestCatalog::TestCatalog(const std::string &dataRoot, const StandardCatalog &catalog)
    : impl_(std::make_unique<Impl>(dataRoot))
{
    WriteCatalog(dataRoot, catalog);
}

TestCatalog::~TestCatalog()
{
    SQLite_dbSetDatabaseName(nullptr);
}

dbType TestCatalog::Type()
{
    return SQLite;
}

}  // namespace promote_test
