// The test catalog of the SQLite program: nurv.db3 in a fresh KOMBRA_DATA
// folder.
#include "catalog_env.h"

namespace dbsql_test {

struct TestCatalog::Impl {
    kombra_test::TempDir data;
    kombra_test::ScopedEnv dataEnv{"KOMBRA_DATA", data.str()};
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "SQLite"};
    std::string where = data.str();
};

TestCatalog::TestCatalog() : impl_(std::make_unique<Impl>())
{
    kombra_fixtures::WriteStandardCatalog(impl_->data.str());
}

TestCatalog::~TestCatalog()
{
    SQLite_dbSetDatabaseName(nullptr);
}

dbType TestCatalog::Type()
{
    return SQLite;
}

const std::string &TestCatalog::where() const
{
    return impl_->where;
}

}  // namespace dbsql_test
