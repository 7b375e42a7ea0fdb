// The MySQL catalog of the promotion tests: a database of its own on the
// private MariaDB server, reached through the socket in MYSQL_UNIX_PORT.
#include "dbBackends.h"
#include "mysql_catalog_fixture.h"
#include "promote_env.h"

#include <stdexcept>

namespace promote_test {

namespace {

const std::string &ServerSocket()
{
    static const std::string socket = [] {
        const auto found = kombra_test::TestMariaDb();
        if (!found)
            throw std::runtime_error("no test MariaDB server: run these tests through ctest");
        // The client library reads the socket once, at its first use.
        setenv("MYSQL_UNIX_PORT", found->socket.c_str(), 1);
        return found->socket;
    }();
    return socket;
}

std::vector<std::string> Scripts()
{
    const std::string dir = kombra_test::SourceDir() + "/libdbSQL/sql/";
    return {dir + "catalog_schema.sql", dir + "catalog_functions.sql"};
}

}  // namespace

struct TestCatalog::Impl {
    MysqlCatalog database{ServerSocket(), Scripts()};
    kombra_test::ScopedEnv password{"MYSQL_PWD", MysqlLoginPassword()};
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "MySQL"};
};

TestCatalog::TestCatalog(const std::string &, const StandardCatalog &catalog) : impl_(std::make_unique<Impl>())
{
    impl_->database.Fill(catalog);
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

}  // namespace promote_test
