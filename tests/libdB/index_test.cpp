// Loading indexes, searching them, stepping through them, and the bytes of
// the index files this library writes.
#include "dbf_test_util.h"

#include <sys/stat.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>

using namespace dbf_test;
using kombra_fixtures::CatalogKey;

namespace {

class IndexTest : public DbfTest {
protected:
    void SetUp() override
    {
        kombra_fixtures::WriteCatalogTables(dir.file("cat"), "HD", SampleEntries());
        table = Open(dir.file("cat.HD.DBF"));
        ASSERT_EQ(SUCCESS, OpenNdx(table, dir.file("cat.HD.NDX").c_str(), &ndx)) << Msg();
    }
    void TearDown() override
    {
        EXPECT_EQ(SUCCESS, CloseNdx(table, ndx));
        EXPECT_EQ(SUCCESS, CloseDbf(table));
        DbfTest::TearDown();
    }
    long Position() { return ndxHandle(dbfHandle(table), ndx)->IndexRec; }
    long Current() { return dbfHandle(table)->CurRec; }

    int table = 0;
    int ndx = 0;
};

// Sorted, the sample entries are records 5, 2, 1, 4, 3.
TEST_F(IndexTest, OpenBuildsKeyFieldsOverTheTable)
{
    const ndxRecord_t *x = ndxHandle(dbfHandle(table), ndx);
    ASSERT_NE(nullptr, x);
    EXPECT_EQ(23, x->KeyLen);
    EXPECT_EQ(5, x->MAXIndexRecs);
    EXPECT_EQ(-1, x->IndexRec);
    EXPECT_EQ(dbField(table, "B_DAY")->Parm, x->IndexFields[2].Parm);
    const long order[] = {5, 2, 1, 4, 3};
    for (long pos = 1; pos <= 5; ++pos)
        EXPECT_EQ(order[pos - 1], ItoR(x, pos));
    EXPECT_EQ(0, ItoR(x, 0));
    EXPECT_EQ(0, ItoR(x, 6));
}

struct FindRow {
    const char *name;
    std::string key;
    int near;
    dbFindRet_t result;
    long position;  // index position afterwards (-1: untouched)
    long record;    // current record afterwards
};

class FindTest : public IndexTest, public ::testing::WithParamInterface<FindRow> {};

TEST_P(FindTest, LandsOnTheEntry)
{
    const FindRow &row = GetParam();
    EXPECT_EQ(row.result, dbFind(table, ndx, row.key.c_str(), row.near));
    EXPECT_EQ(row.position, Position());
    EXPECT_EQ(row.record, Current());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FindTest,
    ::testing::Values(
        FindRow{"Exact", CatalogKey("CP3DRH", 2003, 32, 50730000), 1, EXACT_MATCH, 3, 1},
        FindRow{"Prefix", "CP3DRL", 0, EXACT_MATCH, 5, 3},
        FindRow{"ShortPrefix", "A", 0, EXACT_MATCH, 1, 5},
        FindRow{"BetweenNotNear", CatalogKey("CP3DRH", 2003, 32, 60000000), 0, NO_MATCH, -1, 1},
        FindRow{"BetweenNear", CatalogKey("CP3DRH", 2003, 32, 60000000), 1, MATCH_LESS, 4, 4},
        FindRow{"InsideFirstDay", CatalogKey("CP3DRH", 2003, 31, 500), 1, MATCH_GREATER, 2, 2},
        FindRow{"AboveAll", "ZZZ", 1, MATCH_GREATER, 5, 3},
        FindRow{"BelowAll", "0", 1, MATCH_LESS, 1, 5},
        FindRow{"LongerThanKey", CatalogKey("CP3DRL", 2003, 31, 0) + "junk", 0, EXACT_MATCH, 5, 3}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(IndexTest, SkipMovesThroughTheIndex)
{
    ASSERT_EQ(MATCH_LESS, dbFind(table, ndx, CatalogKey("CP3DRH", 2003, 32, 60000000).c_str(), 1));
    EXPECT_EQ(SUCCESS, Skip(table, ndx, -1));
    EXPECT_EQ(3, Position());
    EXPECT_EQ(1, Current());
    EXPECT_EQ(SUCCESS, Skip(table, ndx, -5));  // below 1 is taken as 1
    EXPECT_EQ(1, Position());
    EXPECT_EQ(5, Current());
    EXPECT_EQ(SUCCESS, Skip(table, ndx, 4));
    EXPECT_EQ(FAILURE, Skip(table, ndx, 1));
    EXPECT_EQ("dbf: record number too high (out of range), '" + dir.file("cat.HD.NDX") + "'", Msg());
    EXPECT_EQ(5, Position());
    EXPECT_EQ(3, Current());
    EXPECT_EQ(FAILURE, Skip(table, ndx, 0x7FFFFFFFFFFFFFFFL));
    EXPECT_EQ(FAILURE, Skip(table, ndx + 1, 1));
    EXPECT_EQ(DBF_UNKNOWN_HANDLE, dbf_code);
    // Without an index: by record number.
    EXPECT_EQ(SUCCESS, Skip(table, -1, -2));
    EXPECT_EQ(1, Current());
}

TEST_F(DbfTest, EmptyTableFindsNothing)
{
    kombra_fixtures::WriteCatalogTables(dir.file("e"), "I", {});
    const int t = Open(dir.file("e.I.DBF"));
    int x = 0;
    ASSERT_EQ(SUCCESS, OpenNdx(t, dir.file("e.I.NDX").c_str(), &x)) << Msg();
    EXPECT_EQ(NO_MATCH, dbFind(t, x, "CP3DRH", 1));
    EXPECT_EQ(0, dbfHandle(t)->CurRec);
    EXPECT_EQ(FAILURE, Skip(t, x, 1));
    EXPECT_EQ(DBF_REC_TOO_HIGH, dbf_code);
    // An index still open is closed with its table.
    EXPECT_EQ(SUCCESS, CloseDbf(t));
}

// One broken index per row.
struct BadIndex {
    const char *name;
    std::function<void(std::vector<unsigned char> &)> spoil;
    int code;
};

class BadIndexTest : public DbfTest, public ::testing::WithParamInterface<BadIndex> {};

TEST_P(BadIndexTest, IsRefusedAndTheTableStaysUsable)
{
    kombra_fixtures::WriteCatalogTables(dir.file("c"), "HD", SampleEntries());
    std::vector<unsigned char> bytes = kombra_test::ReadBytes(dir.file("c.HD.NDX"));
    GetParam().spoil(bytes);
    kombra_test::WriteBytes(dir.file("c.HD.NDX"), bytes);
    const int t = Open(dir.file("c.HD.DBF"));
    int x = -3;
    EXPECT_EQ(FAILURE, OpenNdx(t, dir.file("c.HD.NDX").c_str(), &x));
    EXPECT_EQ(GetParam().code, dbf_code) << Msg();
    EXPECT_EQ(-3, x);
    EXPECT_EQ(nullptr, dbfHandle(t)->ndxRecords);
    EXPECT_EQ(SUCCESS, GoTo(t, 5));
    EXPECT_EQ(SUCCESS, CloseDbf(t));
}

// Entries are 28 bytes (23 key bytes, 1 pad, 4 record number) from byte 96.
INSTANTIATE_TEST_SUITE_P(
    Indexes, BadIndexTest,
    ::testing::Values(
        BadIndex{"TruncatedHeader", [](auto &b) { b.resize(50); }, DBF_READ},
        BadIndex{"NoKeyFields", [](auto &b) { b[12] = 0; }, DBF_NOT_XBASE},
        BadIndex{"SixKeyFields", [](auto &b) { b[12] = 6; }, DBF_NOT_XBASE},
        BadIndex{"UnknownKeyField", [](auto &b) { b[16] = 'X'; }, DBF_UNKNOWN_FIELD},
        BadIndex{"KeyWidthDiffers", [](auto &b) { b[16 + 11] = 9; }, DBF_FIELD_ERROR},
        BadIndex{"MoreEntriesThanFile", [](auto &b) { b[8] = 6; }, DBF_NOT_XBASE},
        BadIndex{"HugeEntryCount", [](auto &b) { b[11] = 0x80; }, DBF_NOT_XBASE},
        BadIndex{"CutEntries", [](auto &b) { b.resize(b.size() - 2); }, DBF_NOT_XBASE},
        BadIndex{"EntryPastTheTable", [](auto &b) { b[96 + 2 * 28 + 24] = 6; }, DBF_NOT_XBASE},
        BadIndex{"EntryZero", [](auto &b) { b[96 + 24] = 0; }, DBF_NOT_XBASE}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DbfTest, MissingIndexGivesTheSystemError)
{
    kombra_fixtures::WriteCatalogTables(dir.file("c"), "HD", SampleEntries());
    const int t = Open(dir.file("c.HD.DBF"));
    int x = 0;
    EXPECT_EQ(FAILURE, OpenNdx(t, dir.file("none.NDX").c_str(), &x));
    EXPECT_EQ(ENOENT, dbf_code);
    mkfifo(dir.file("fifo.NDX").c_str(), 0600);  // its open would wait for a writer
    EXPECT_EQ(FAILURE, OpenNdx(t, dir.file("fifo.NDX").c_str(), &x));
    EXPECT_EQ(ENXIO, dbf_code);
    EXPECT_EQ(SUCCESS, CloseDbf(t));
}

TEST_F(DbfTest, WrittenIndexHasTheExactLayout)
{
    kombra_fixtures::WriteDbf(dir.file("k.dbf"), {{"K", 'C', 3}, {"N", 'N', 2}}, {{"b", "1"}, {"a", "22"}});
    const int t = Open(dir.file("k.dbf"));
    const char *keys[] = {"K"};
    int x = 0;
    ASSERT_EQ(SUCCESS, CreateNdx(t, dir.file("k.ndx").c_str(), keys, 1, &x)) << Msg();
    EXPECT_EQ(EXACT_MATCH, dbFind(t, x, "b", 0));
    EXPECT_EQ(1, dbfHandle(t)->CurRec);
    ASSERT_EQ(SUCCESS, CloseNdx(t, x)) << Msg();

    std::vector<unsigned char> want(96, 0);
    const std::vector<unsigned char> today = Today();
    std::copy(today.begin(), today.end(), want.begin() + 1);
    want[4] = 2;      // NextFreeIndexRec
    want[8] = 2;      // MAXIndexRecs
    want[12] = 1;     // NumIndexFields
    want[16] = 'K';   // key field name
    want[26] = 'C';   // type
    want[27] = 3;     // width
    const std::vector<unsigned char> entries = {'a', ' ', ' ', 0, 2, 0, 0, 0,
                                                'b', ' ', ' ', 0, 1, 0, 0, 0};
    want.insert(want.end(), entries.begin(), entries.end());
    EXPECT_EQ(want, kombra_test::ReadBytes(dir.file("k.ndx")));
    EXPECT_EQ(SUCCESS, CloseDbf(t));
}

TEST_F(DbfTest, WrittenIndexMatchesTheFixtureWriter)
{
    kombra_fixtures::WriteCatalogTables(dir.file("c"), "HD", SampleEntries());
    const int t = Open(dir.file("c.HD.DBF"));
    const char *keys[] = {"V_INST", "B_YR", "B_DAY", "B_MSEC"};
    int x = 0;
    ASSERT_EQ(SUCCESS, CreateNdx(t, dir.file("mine.NDX").c_str(), keys, 4, &x)) << Msg();
    EXPECT_EQ(SUCCESS, CloseDbf(t));  // writes the index on the way

    std::vector<unsigned char> theirs = kombra_test::ReadBytes(dir.file("c.HD.NDX"));
    const std::vector<unsigned char> today = Today();
    std::copy(today.begin(), today.end(), theirs.begin() + 1);
    EXPECT_EQ(theirs, kombra_test::ReadBytes(dir.file("mine.NDX")));

}

}  // namespace
