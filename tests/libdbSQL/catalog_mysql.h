// The MySQL program's test catalog and server, for the tests of the MySQL
// back end itself.
#pragma once

#include "catalog_env.h"
#include "mysql_catalog_fixture.h"

#include <string>
#include <vector>

namespace dbsql_test {

// The private MariaDB server of the tests.  The first call points the client
// library at its socket for the rest of the process.
const kombra_test::MariaDbServer &TestServer();

// The project's scripts that set a catalog database up on a server.
std::vector<std::string> CatalogScripts();

struct TestCatalog::Impl {
    kombra_fixtures::MysqlCatalog database{TestServer().socket, CatalogScripts()};
    kombra_test::ScopedEnv password{"MYSQL_PWD", kombra_fixtures::MysqlLoginPassword()};
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "MySQL"};
};

}  // namespace dbsql_test
