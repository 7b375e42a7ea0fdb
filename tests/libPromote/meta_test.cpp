// Catalog rows fetched for a source that the local catalog (SQLite or
// MariaDB) lacks: copied from a remote catalog on the private MariaDB server
// (the mirror, reached as its reader "pemrox"), under the local key, with
// hostile remote values kept as values; and, when the mirror cannot be
// reached, written by the stand-in catalog fetch program.
#include "mysql_catalog_fixture.h"
#include "promote_env.h"

#include <stdexcept>

namespace {

using namespace promote_test;

// The remote catalog: the database "nurv" on the test server, readable by
// the user pemrox without a password; CP3DRH has key 500 there.
class RemoteCatalog {
public:
    RemoteCatalog()
    {
        const auto server = kombra_test::TestMariaDb();
        if (!server)
            throw std::runtime_error("no test MariaDB server: run these tests through ctest");
        setenv("MYSQL_UNIX_PORT", server->socket.c_str(), 1);
        socket_ = server->socket;
        admin_ = std::make_unique<MysqlAdmin>(socket_);
        // The server's catalog nurv is shared with the catalog back-end
        // tests running beside these: empty its tables, never drop it or
        // its functions.
        admin_->Exec("CREATE DATABASE IF NOT EXISTS nurv");
        const std::string dir = kombra_test::SourceDir() + "/libdbSQL/sql/";
        RunMysqlScript(socket_, "nurv", dir + "catalog_schema.sql");
        Empty();
        admin_->Exec("CREATE USER IF NOT EXISTS 'pemrox'@'localhost' IDENTIFIED BY ''");
        admin_->Exec("GRANT SELECT, EXECUTE ON nurv.* TO 'pemrox'@'localhost'");
        Exec("INSERT INTO hierarchy VALUES (500, 'CLUSTERII', 'C1', 'HALDE', '3DR', 'CP3DRH')");
    }
    ~RemoteCatalog()
    {
        try {
            Empty();
        } catch (const std::exception &) {
        }
    }
    void Exec(const std::string &sql)
    {
        admin_->Exec("USE nurv");
        admin_->Exec(sql);
    }
    std::string Escape(const std::string &text) { return admin_->Escape(text); }

private:
    void Empty()
    {
        for (const char *table : {"hd_entries", "v_entries", "hierarchy"})
            Exec(std::string("DELETE FROM ") + table);
    }

    std::string socket_;
    std::unique_ptr<MysqlAdmin> admin_;
};

class Meta : public PromoteTest {
protected:
    void SetUp() override
    {
        PromoteTest::SetUp();
        Configure({"localhost"});
        std::erase_if(catalog.hdEntries, [](const auto &e) { return e.key == kKey; });
        std::erase_if(catalog.descriptionEntries, [](const auto &e) { return e.key == kKey; });
    }
    std::unique_ptr<Promote> Request()
    {
        auto p = std::make_unique<Promote>("UNKNOWN", sFalse);
        p->SetBTime(2003, 32, H(14, 30));
        p->SetETime(2003, 32, H(16, 30));
        p->SetXStatus(OFF);
        p->AddSource(kKey);
        return p;
    }
    static std::string Text(const DbCell &cell) { return cell.value_or("NULL"); }
    // The local hd_entries rows of CP3DRH: b_msec, size, label, date.
    std::vector<std::vector<std::string>> LocalRows()
    {
        DbRows rows;
        EXPECT_EQ(1, dbQueryRows("SELECT b_msec, size, archive_label, archive_date FROM hd_entries WHERE "
                                 "data_key=? ORDER BY b_msec;",
                                 {DbParam::Int(kKey)}, rows))
            << dbErrorMsg();
        std::vector<std::vector<std::string>> out;
        for (const auto &r : rows)
            out.push_back({Text(r[0]), Text(r[1]), Text(r[2]), r[3] ? "date" : "NULL"});
        return out;
    }

    RemoteCatalog remote;
};

TEST_F(Meta, MirrorCopiesTheRemoteRowsUnderTheLocalKey)
{
    remote.Exec("INSERT INTO hd_entries VALUES (500, 2003, 32, 50400000, 2003, 32, 54000000, 4096, '  L1 ', NULL)");
    remote.Exec("INSERT INTO hd_entries VALUES (500, 2003, 32, 54000000, 2003, 32, 57600000, 8192, 'L2', "
                "'2004-01-01 00:00:00')");
    remote.Exec("INSERT INTO v_entries VALUES (500, 2003, 1, 0, 2004, 1, 0, 512, 'K1', NULL)");
    OpenCatalog();
    auto p = Request();
    testing::internal::CaptureStderr();
    EXPECT_EQ(4, p->BuildDBList(PRO_HD, EITHER, 1000));
    testing::internal::GetCapturedStderr();
    const std::vector<std::vector<std::string>> expected = {{"50400000", "4096", "L1", "NULL"},
                                                            {"54000000", "8192", "L2", "date"}};
    EXPECT_EQ(expected, LocalRows());
    // Copied again: the same rows, replaced.
    EXPECT_EQ(Promote::DB_GOOD, p->PromoteMetaForSource_MYSQL("localhost", kKey));
    EXPECT_EQ(expected, LocalRows());
    DbRows rows;
    ASSERT_EQ(1, dbQueryRows("SELECT count(*) FROM v_entries WHERE data_key=?;", {DbParam::Int(kKey)}, rows));
    EXPECT_EQ("1", Text(rows[0][0]));
}

TEST_F(Meta, DescriptionsAloneGiveNoData)
{
    remote.Exec("INSERT INTO v_entries VALUES (500, 2003, 1, 0, 2004, 1, 0, 512, 'K1', NULL)");
    OpenCatalog();
    EXPECT_EQ(Promote::DB_NO_DATA, Request()->PromoteMetaForSource_MYSQL("localhost", kKey));
    EXPECT_TRUE(LocalRows().empty());
    // A mirror that answered, if without rows, has done the source's part:
    // the server's catalog fetch program is not run as well.
    std::filesystem::create_symlink(kombra_test::ToolsDir() + "/standins/catalog_standin", root.file("bin/fetch_catalog"));
    EXPECT_EQ(1, Request()->PromoteMetaForSource(kKey, 0));
    EXPECT_TRUE(Runs().empty());
}

// Remote values that hold SQL stay values; names that hold SQL find
// nothing on the remote side and change nothing there.
TEST_F(Meta, HostileValuesAndNamesRunNoSql)
{
    const std::string label = "x'); DROP TABLE hd_entries; --";
    remote.Exec("INSERT INTO hd_entries VALUES (500, 2003, 32, 50400000, 2003, 32, 54000000, NULL, '" +
                remote.Escape(label) + "', NULL)");
    OpenCatalog();
    EXPECT_EQ(Promote::DB_GOOD, Request()->PromoteMetaForSource_MYSQL("localhost", kKey));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"50400000", "NULL", label, "NULL"}}), LocalRows());

    const char *hostile = "CP3DRH' OR '1'='1";
    EXPECT_EQ(Promote::DB_NO_DATA,
              Request()->PromoteMetaForSource_MYSQL("localhost", 0, "CLUSTERII", "C1", "HALDE", "3DR", hostile));
    remote.Exec("SELECT 1 FROM hd_entries");  // still there
}

// A mirror that cannot be reached: the catalog fetch program of the same
// server writes the rows (SQLite catalog).
TEST_F(Meta, UnreachableMirrorFallsBackToTheCatalogProgram)
{
    if (TestCatalog::Type() != SQLite)
        GTEST_SKIP() << "the stand-in catalog program writes SQLite catalogs";
    Configure({"127.0.0.2"});
    std::filesystem::create_symlink(kombra_test::ToolsDir() + "/standins/catalog_standin", root.file("bin/fetch_catalog"));
    kombra_test::WriteFile(root.file("rows"), "hd_entries CP3DRH 2003 32 50400000 2003 32 54000000\n");
    kombra_test::ScopedEnv rows("KOMBRA_STANDIN_ROWS", root.file("rows"));
    OpenCatalog();
    auto p = Request();
    testing::internal::CaptureStderr();
    EXPECT_EQ(2, p->BuildDBList(PRO_HD, EITHER, 1000));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, errors.find("PromoteMetaForSource_MySQL() Error: ")) << errors;
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"fetch_catalog", "127.0.0.2", "2003:032:14:30:00",
                                                      "2003:032:16:30:00", "CLUSTERII", "C1", "HALDE", "3DR",
                                                      "CP3DRH"}}),
              Runs());
}

}  // namespace
