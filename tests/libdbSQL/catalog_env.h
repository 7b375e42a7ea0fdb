// Shared set-up of the catalog tests: the standard configuration, read once
// per program (the tree lives for the process), and a fixture that opens the
// standard catalog afresh on the back end of the test program.
//
// The look-up tests are one body run on both SQL back ends: each program
// links one implementation of TestCatalog (catalog_sqlite.cpp, or
// catalog_mysql.cpp against the private MariaDB server).
#pragma once

#include "dbBackends.h"
#include "libCfg.h"
#include "libdbSQL.h"
#include "sqlite_catalog_fixture.h"
#include "support.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace dbsql_test {

// Root of the standard configuration's archive: PostTimePath is
// <root>/data, RealTimePath <root>/realtime.
inline const std::string &ArchiveRoot()
{
    static const std::unique_ptr<kombra_test::TempDir> config = [] {
        auto dir = std::make_unique<kombra_test::TempDir>();
        kombra_fixtures::WriteStandardConfig(dir->str(), dir->str() + "/archive");
        setenv("KOMBRA_CONFIG", dir->str().c_str(), 1);
        CfgInit();
        return dir;
    }();
    static const std::string root = config->str() + "/archive";
    return root;
}

inline std::string InstrumentDir(const std::string &item, const std::string &instrument = "3DR")
{
    return ArchiveRoot() + "/" + item + "/CLUSTERII/C1/HALDE/" + instrument;
}

// Keys of the standard tree.
constexpr KOMBRA_ULONG kCP3DRH = 8921217;  // CLUSTERII/C1/HALDE/3DR/CP3DRH
constexpr KOMBRA_ULONG kPADH = 8921345;    // CLUSTERII/C1/HALDE/PAD/PADH
constexpr KOMBRA_ULONG kNoSuchKey = 12345;

// The standard catalog written afresh for one test on the back end of the
// program, with the environment pointed at it; removed again by the
// destructor.
class TestCatalog {
public:
    TestCatalog();
    ~TestCatalog();
    TestCatalog(const TestCatalog &) = delete;
    TestCatalog &operator=(const TestCatalog &) = delete;

    // The back end of this program.
    static dbType Type();
    // Where the catalog lives: the KOMBRA_DATA folder (SQLite) or the
    // database name (MySQL).
    const std::string &where() const;

    // The program's own parts of the catalog (defined by its implementation).
    struct Impl;
    Impl &impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// Opens the standard catalog of a fresh test and goes back to the dBASE back
// end afterwards.
class Catalog : public ::testing::Test {
protected:
    Catalog() { ArchiveRoot(); }
    void SetUp() override
    {
        catalog = std::make_unique<TestCatalog>();
        ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
        ASSERT_EQ(TestCatalog::Type(), dbGetDatabaseType());
    }
    void TearDown() override
    {
        dbClose();
        dbSetDatabaseType(Tarvo, nullptr);
        catalog.reset();
    }
    // Runs a statement on the open catalog.
    void Exec(const std::string &sql) { ASSERT_EQ(1, dbQueryExec(sql.c_str())) << sql << ": " << dbErrorMsg(); }
    // First column of the first row of a query, "" when none.
    std::string One(const std::string &sql)
    {
        DbRows rows;
        EXPECT_EQ(1, dbQueryRows(sql.c_str(), {}, rows)) << dbErrorMsg();
        return rows.empty() || rows[0].empty() ? "" : rows[0][0].value_or("NULL");
    }

    std::unique_ptr<TestCatalog> catalog;
};

}  // namespace dbsql_test
