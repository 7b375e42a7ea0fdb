// Listing and fetching on the catalog of the program's back end (SQLite or
// MariaDB): which entries a request lists, in which order and with which
// paths; rows without calendar times; sources named by hostile names; and a
// whole promotion after which the catalog look-up finds the fetched files.
#include "promote_env.h"

namespace {

using namespace promote_test;

struct Listed {
    int type;
    std::string name;
    FileStatusType status;
    bool operator==(const Listed &) const = default;
    friend void PrintTo(const Listed &l, std::ostream *os) { *os << l.type << " " << l.name << " " << l.status; }
};

class Listing : public PromoteTest {
protected:
    std::vector<Listed> List(Promote &p, int which, FileStatusType status)
    {
        p.BuildDBList(which, status, 1000);
        std::vector<Listed> out;
        for (size_t i = 0; i < p.GetEntryListSize(); ++i) {
            Entry *e = p.GetEntry(i);
            out.push_back({e->GetNURVType(), e->GetFName(), e->GetStatus()});
        }
        return out;
    }
    static std::unique_ptr<Promote> Request(int bmsec, int emsec)
    {
        auto p = std::make_unique<Promote>("UNKNOWN", sFalse);
        p->SetBTime(2003, 32, bmsec);
        p->SetETime(2003, 32, emsec);
        p->SetXStatus(OFF);
        p->AddSource(kKey);
        return p;
    }
};

TEST_F(Listing, MissingFilesInOrderPnurFirst)
{
    OnDisk("CP3DRH20030321400H");
    OnDisk("CP3DRH20030321400D");
    OpenCatalog();
    const std::string dir = Dir() + "/";
    auto p = Request(H(14, 30), H(16, 30));
    EXPECT_EQ((std::vector<Listed>{{PRO_PNUR, root.str() + "/pnur/CP3DRH.pnur.v2", OFFLINE},
                                   {PRO_KELD_I, dir + "CP3DRH20030010000I", OFFLINE},
                                   {PRO_HEADER, dir + "CP3DRH20030321500H", OFFLINE},
                                   {PRO_DATA, dir + "CP3DRH20030321500D", OFFLINE}}),
              List(*p, PRO_KELD_I | PRO_HEADER | PRO_DATA | PRO_PNUR, OFFLINE));
    EXPECT_EQ(PRO_PNUR, p->GetEntry(0)->GetNURVType());

    // Header and data pairs under any status; a description found in its
    // newer name form is on disk.
    OnDisk("CP3DRH20030010000V.v3");
    auto q = Request(H(14, 30), H(16, 30));
    EXPECT_EQ((std::vector<Listed>{{PRO_HEADER, dir + "CP3DRH20030321400H", ONLINE},
                                   {PRO_DATA, dir + "CP3DRH20030321400D", ONLINE},
                                   {PRO_HEADER, dir + "CP3DRH20030321500H", OFFLINE},
                                   {PRO_DATA, dir + "CP3DRH20030321500D", OFFLINE}}),
              List(*q, PRO_HD, EITHER));
    EXPECT_EQ(4u, List(*q, PRO_KELD_I, OFFLINE).size());  // adds nothing: the description is there
    EXPECT_EQ((std::vector<Listed>{{PRO_KELD_I, dir + "CP3DRH20030010000V.v3", ONLINE}}),
              List(*Request(H(14, 30), H(16, 30)), PRO_KELD_I, ONLINE));
}

// Rows whose times are no calendar times are left out, the others listed.
TEST_F(Listing, RowsWithoutCalendarTimesAreSkipped)
{
    const std::uint32_t key = kKey;
    catalog.hdEntries.push_back({key, {2003, 32, H(10)}, {2003, 32, 99999999}, 0, "A1"});
    OpenCatalog();
    auto p = Request(H(14, 30), H(14, 40));
    const auto listed = List(*p, PRO_HEADER, OFFLINE);
    ASSERT_EQ(1u, listed.size());
    EXPECT_EQ(Dir() + "/CP3DRH20030321400H", listed[0].name);
}

// A source named by names that hold quotes and statements: the names go into
// the catalog as they are and run nothing.
TEST_F(Listing, SourcesByHostileNamesRunNoSql)
{
    OpenCatalog();
    Promote p("UNKNOWN", sFalse);
    const char *hostile = "X'); DROP TABLE hd_entries; --";
    p.AddSource("CLUSTERII", "C1", "HALDE", "3DR", hostile);
    ASSERT_EQ(1u, p.GetSources().size());
    EXPECT_EQ(kKey, dbGetDataKey("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"));
    EXPECT_NE(0u, dbGetDataKey("CLUSTERII", "C1", "HALDE", "3DR", hostile));
    auto q = Request(H(14, 30), H(14, 40));
    EXPECT_EQ(1u, List(*q, PRO_HEADER, OFFLINE).size());  // hd_entries is still there
    // The same source twice is one source.
    p.AddSource("CLUSTERII", "C1", "HALDE", "3DR", hostile);
    EXPECT_EQ(1u, p.GetSources().size());
}

// A virtual instrument of 33 characters names its files whole.
TEST_F(Listing, LongVirtualNamesNameTheirFilesWhole)
{
    const std::uint32_t key = kLongKey;
    catalog.hdEntries.push_back({key, {2003, 32, H(14)}, {2003, 32, H(15)}, 0, "A1"});
    OpenCatalog();
    Promote p("UNKNOWN", sFalse);
    p.SetBTime(2003, 32, H(14, 30));
    p.SetETime(2003, 32, H(14, 40));
    p.AddSource(kLongKey);
    const auto listed = List(p, PRO_HEADER, OFFLINE);
    ASSERT_EQ(1u, listed.size());
    EXPECT_EQ(Dir() + "/" + kLongVinst + "20030321400H", listed[0].name);
}

// Entries of the span that two or three sources cover together: the first
// source's files that overlap one of each other source's; one source is
// refused.
TEST_F(Listing, IntersectionOfTwoSources)
{
    constexpr KOMBRA_ULONG kPad = 8921345;  // CLUSTERII/C1/HALDE/PAD/PADH
    const std::uint32_t pad = kPad, low = PackDataKey(1, 1, 1, 1, 2);  // .../3DR/CP3DRL
    catalog.hdEntries.push_back({pad, {2003, 32, H(14, 10)}, {2003, 32, H(14, 50)}, 0, "A1"});
    catalog.hdEntries.push_back({low, {2003, 32, H(14, 20)}, {2003, 32, H(14, 40)}, 0, "A1"});
    catalog.hdEntries.push_back({low, {2003, 32, H(15, 10)}, {2003, 32, H(15, 20)}, 0, "A1"});
    OpenCatalog();
    auto p = Request(H(14, 30), H(16, 30));
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, p->BuildDBIntersectionList(PRO_HD, EITHER, 1000));
    EXPECT_EQ("You must choose more than one source!\n", testing::internal::GetCapturedStderr());
    p->AddSource(kPad);
    EXPECT_EQ(2, p->BuildDBIntersectionList(PRO_HD, EITHER, 1000));
    EXPECT_EQ(Dir() + "/CP3DRH20030321400H", std::string(p->GetEntry(0)->GetFName()));
    EXPECT_EQ(Dir() + "/CP3DRH20030321400D", std::string(p->GetEntry(1)->GetFName()));
    // The temporary tables are gone: the listing runs again.
    EXPECT_EQ(2, p->BuildDBIntersectionList(PRO_HD, EITHER, 1000));
    // The third source's second file overlaps none of the second source's.
    auto q = Request(H(14, 30), H(16, 30));
    q->AddSource(kPad);
    q->AddSource(low);
    EXPECT_EQ(2, q->BuildDBIntersectionList(PRO_HD, EITHER, 1000));
    ASSERT_EQ(2u, q->GetEntryListSize());
    EXPECT_EQ(Dir() + "/CP3DRH20030321400H", std::string(q->GetEntry(0)->GetFName()));
}

// The sweep readers' pass: missing files listed, fetched by the fetch
// program, then found by the catalog look-up; a second pass needs nothing.
TEST_F(Listing, PromotedFilesAreFoundByTheLookUp)
{
    OnServer("srvA", "CP3DRH20030321500H");
    OnServer("srvA", "CP3DRH20030321500D");
    OnServer("srvA", "CP3DRH20030010000I");
    OnServer("srvA", "CP3DRH.pnur.v2");
    OnDisk("CP3DRH20030321400H");
    OnDisk("CP3DRH20030321400D");
    OpenCatalog();
    void *p = pro_InitPromote(2003, 32, H(14, 30), 2003, 32, H(15, 30), 0);
    pro_AddSource(p, kKey);
    ASSERT_EQ(sTrue, pro_NeedToPromote(p));
    EXPECT_EQ(sTrue, pro_PromoteAll(p));
    pro_FreePromote(p);
    auto pnur = Fetch("srvA", "P", 0, "0");
    pnur[8] = pnur[9] = "0";  // a PNUR file has no time
    auto description = Fetch("srvA", "V", 0, "4");
    description[9] = "1";
    EXPECT_EQ((std::vector<std::vector<std::string>>{pnur, description, Fetch("srvA", "H", H(15)),
                                                      Fetch("srvA", "D", H(15))}),
              Runs());
    EXPECT_TRUE(Entry::Online(root.file("pnur/CP3DRH.pnur.v2").c_str()));
    EXPECT_TRUE(Entry::Online((Dir() + "/CP3DRH20030010000I").c_str()));
    char header[DB_PATH_MAX] = "", data[DB_PATH_MAX] = "";
    ASSERT_EQ(1, dbNURVGetFile(kKey, 2003, 32, H(15, 10), 2003, 32, H(15, 20), _H_AND_D_, "", header, data));
    EXPECT_TRUE(Entry::Online(header));
    EXPECT_TRUE(Entry::Online(data));
}

}  // namespace
