// Listing on the dBASE catalog: entries found through the index and walked
// while they belong to the source (a neighbour whose name begins like the
// source's is not), and tables that are missing or empty fetched once per
// open by the catalog fetch program, with the tables closed meanwhile.
#include "DbDefs.h"
#include "dbf_fixture.h"
#include "promote_env.h"

namespace {

using namespace promote_test;

class TarvoListing : public PromoteTest {
protected:
    void SetUp() override
    {
        PromoteTest::SetUp();
        std::filesystem::create_symlink(kombra_test::ToolsDir() + "/standins/catalog_standin",
                                        root.file("bin/fetch_catalog"));
    }
    std::unique_ptr<Promote> Request(int which, FileStatusType status = EITHER)
    {
        auto p = std::make_unique<Promote>("UNKNOWN", sFalse);
        p->SetBTime(2003, 32, H(14, 30));
        p->SetETime(2003, 32, H(16, 30));
        p->SetXStatus(OFF);
        p->AddSource(kKey);
        p->BuildDBList(which, status, 1000);
        return p;
    }
    static std::vector<std::string> Names(const Promote &p)
    {
        std::vector<std::string> out;
        for (size_t i = 0; i < p.GetEntryListSize(); ++i)
            out.push_back(BasenameOf(p.GetEntry(i)->GetFName()));
        return out;
    }
    std::string Base() const { return Tarvo_dbFilename(kKey); }
};

TEST_F(TarvoListing, EntriesOfTheSourceOnly)
{
    OpenCatalog();
    // A neighbour named like the beginning of CP3DRH, in the same table.
    std::vector<DbfCatalogEntry> hd = {{"CP3DR", 2003, 32, H(14), 2003, 32, H(16)},
                                       {"CP3DRH", 2003, 32, H(14), 2003, 32, H(15)},
                                       {"CP3DRH", 2003, 32, H(15), 2003, 32, H(16)},
                                       {"CP3DRH", 2003, 32, H(17), 2003, 32, H(18)},
                                       {"CP3DRL", 2003, 32, H(14), 2003, 32, H(16)}};
    WriteCatalogTables(Base(), "HD", hd);
    EXPECT_EQ((std::vector<std::string>{"CP3DRH20030321400H", "CP3DRH20030321400D", "CP3DRH20030321500H",
                                        "CP3DRH20030321500D"}),
              Names(*Request(PRO_HD)));
    // Both name forms of the descriptions open the table once each.
    EXPECT_EQ((std::vector<std::string>{"CP3DRH20030010000V.v3", "CP3DRH20030010000I"}),
              Names(*Request(PRO_KELD_I | PRO_KELD_V3)));
    EXPECT_TRUE(Runs().empty());
}

// Missing tables: one fetch, then the tables it wrote.  Tables that stay
// empty after the fetch: no second fetch for that open.
TEST_F(TarvoListing, MissingAndEmptyTablesAreFetchedOncePerOpen)
{
    catalog.hdEntries.clear();
    OpenCatalog();
    std::filesystem::remove(Base() + ".HD.DBF");
    std::filesystem::remove(Base() + ".HD.NDX");
    kombra_test::ScopedEnv dbfBase("KOMBRA_STANDIN_DBF_BASE", Base());
    kombra_test::WriteFile(root.file("rows"), "hd_entries CP3DRH 2003 32 50400000 2003 32 54000000\n"
                                              "v_entries CP3DRH 2003 1 0 2004 1 0\n");
    kombra_test::ScopedEnv rows("KOMBRA_STANDIN_ROWS", root.file("rows"));
    testing::internal::CaptureStderr();
    auto p = Request(PRO_HEADER);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::vector<std::string>{"CP3DRH20030321400H"}), Names(*p));
    EXPECT_EQ(1u, Runs().size());

    // The fetch leaves the table empty.
    WriteCatalogTables(Base(), "HD", {});
    kombra_test::WriteFile(root.file("rows"), "v_entries CP3DRH 2003 1 0 2004 1 0\n");
    testing::internal::CaptureStderr();
    auto q = Request(PRO_HEADER);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, q->GetEntryListSize());
    EXPECT_EQ(Promote::DB_ERROR, q->GetMetaDataExists());
    EXPECT_EQ(2u, Runs().size());
}

// A field of another type than the one read ends the walk with the
// database error, reported and kept for the caller.
TEST_F(TarvoListing, MistypedFieldEndsTheWalkWithTheDatabaseError)
{
    OpenCatalog();
    auto fields = kombra_fixtures::CatalogFields();
    auto row = kombra_fixtures::CatalogRow({"CP3DRH", 2003, 32, H(14, 30), 2003, 32, H(15)});
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == "E_YR") {
            fields[i] = {"E_YR", 'D', 8, 0};
            row[i] = "20030201";
        }
    kombra_fixtures::WriteDbf(Base() + ".HD.DBF", fields, {row});
    kombra_fixtures::WriteNdx(Base() + ".HD.NDX", fields, {row}, kombra_fixtures::CatalogKeyFields());
    testing::internal::CaptureStderr();
    auto p = Request(PRO_HEADER);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, p->GetEntryListSize());
    EXPECT_NE(std::string::npos, err.find("Error with database!\n"));
    EXPECT_STREQ("Error with database!", p->GetErrorMessage());
    EXPECT_TRUE(Runs().empty());
}

}  // namespace
