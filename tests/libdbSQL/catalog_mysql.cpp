// The test catalog of the MySQL program: a database of its own on the private
// MariaDB server, reached the way the back end reaches any server: through
// the socket in MYSQL_UNIX_PORT, as the login account, with its password in
// MYSQL_PWD.
#include "catalog_mysql.h"

#include <stdexcept>

namespace dbsql_test {

const kombra_test::MariaDbServer &TestServer()
{
    static const kombra_test::MariaDbServer server = [] {
        const auto found = kombra_test::TestMariaDb();
        if (!found)
            throw std::runtime_error("no test MariaDB server: run these tests through ctest");
        // The client library reads the socket once per process, at its first
        // use, so it is set before anything connects and stays set.
        setenv("MYSQL_UNIX_PORT", found->socket.c_str(), 1);
        return *found;
    }();
    return server;
}

std::vector<std::string> CatalogScripts()
{
    const std::string dir = kombra_test::SourceDir() + "/libdbSQL/sql/";
    return {dir + "catalog_schema.sql", dir + "catalog_functions.sql"};
}

TestCatalog::TestCatalog() : impl_(std::make_unique<Impl>())
{
    impl_->database.Fill(kombra_fixtures::MakeStandardCatalog());
    MySQL_dbSetDatabaseName(impl_->database.name().c_str());
}

TestCatalog::~TestCatalog()
{
    MySQL_dbSetDatabaseName(nullptr);
}

dbType TestCatalog::Type()
{
    return MySQL;
}

const std::string &TestCatalog::where() const
{
    return impl_->database.name();
}

}  // namespace dbsql_test
