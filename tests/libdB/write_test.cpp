// Writing tables and indexes: appends, edits, new tables, and writes that
// fail halfway.  Every table written is read back by an independent reader.
#include "dbf_test_util.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace dbf_test;

namespace {

const char *const kCatalogHeader =
    "{\"version\":3,\"records\":%d,\"fields\":[[\"V_INST\",\"C\",8,0],[\"B_YR\",\"N\",4,0],"
    "[\"B_DAY\",\"N\",3,0],[\"B_MSEC\",\"N\",8,0],[\"E_YR\",\"N\",4,0],[\"E_DAY\",\"N\",3,0],"
    "[\"E_MSEC\",\"N\",8,0]]}\n";

const char *const kSampleRecords =
    "[\"CP3DRH\",2003,32,50730000,2003,32,54330000]\n"
    "[\"CP3DRH\",2003,31,0,2003,31,86399999]\n"
    "[\"CP3DRL\",2003,31,0,2003,31,86399999]\n"
    "[\"CP3DRH\",2003,33,3600000,2003,33,7200000]\n"
    "[\"AAAA\",2002,100,0,2002,100,1000]\n";

std::string CatalogHeader(int records)
{
    char text[512];
    std::snprintf(text, sizeof text, kCatalogHeader, records);
    return text;
}

// The checker's reading of a table; a rejected table fails the test.
std::string Checked(const std::string &path)
{
    int rc = -1;
    const std::string out = CheckDbf(path, rc);
    EXPECT_EQ(0, rc) << out;
    return out;
}

std::vector<std::string> FilesIn(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class WriteTest : public DbfTest {
protected:
    void SetUp() override
    {
        kombra_fixtures::WriteCatalogTables(dir.file("cat"), "HD", SampleEntries());
        path = dir.file("cat.HD.DBF");
        original = kombra_test::ReadBytes(path);
    }
    // Fills the buffer with a new entry of CP3DRH on day 40.
    void FillNewEntry(int h)
    {
        ASSERT_EQ(SUCCESS, BlankRecord(h));
        const std::vector<std::pair<const char *, const char *>> values = {
            {"V_INST", "CP3DRH"}, {"B_YR", "2003"}, {"B_DAY", "40"}, {"B_MSEC", "0"},
            {"E_YR", "2003"},     {"E_DAY", "40"},  {"E_MSEC", "1000"}};
        for (const auto &[name, text] : values)
            ASSERT_EQ(SUCCESS, FieldPutN(h, name, text)) << name;
    }

    std::string path;
    std::vector<unsigned char> original;
};

TEST_F(WriteTest, FixtureTablesPassTheChecker)
{
    EXPECT_EQ(CatalogHeader(5) + kSampleRecords, Checked(path));
    kombra_fixtures::WriteCatalogTables(dir.file("empty"), "I", {});
    EXPECT_EQ(CatalogHeader(0), Checked(dir.file("empty.I.DBF")));
}

TEST_F(WriteTest, AppendedRecordIsCountedWhenTheTableCloses)
{
    const int h = Open(path, O_RDWR);
    FillNewEntry(h);
    ASSERT_EQ(SUCCESS, AppendDbf(h)) << Msg();
    const dbfRecord_t *t = dbfHandle(h);
    EXPECT_EQ(6, t->NumRecs);
    EXPECT_EQ(6, t->CurRec);
    EXPECT_EQ(Updated, t->hStatus);
    EXPECT_EQ(NotUpdated, t->rStatus);
    ASSERT_EQ(SUCCESS, CloseDbf(h)) << Msg();

    const std::vector<unsigned char> bytes = kombra_test::ReadBytes(path);
    EXPECT_EQ(Today(), std::vector<unsigned char>(bytes.begin() + 1, bytes.begin() + 4));
    EXPECT_EQ(CatalogHeader(6) + kSampleRecords + "[\"CP3DRH\",2003,40,0,2003,40,1000]\n",
              Checked(path));
}

TEST_F(DbfTest, CreatedTableHoldsEveryFieldType)
{
    const FieldRecord_t fields[] = {{"NAME", 'C', 10, 0, nullptr},
                                    {"AMOUNT", 'N', 8, 2, nullptr},
                                    {"DAY", 'D', 8, 0, nullptr},
                                    {"FLAG", 'L', 1, 0, nullptr}};
    int h = 0;
    ASSERT_EQ(SUCCESS, CreateDbf(&h, dir.file("new.dbf").c_str(), fields, 4)) << Msg();
    EXPECT_EQ(0, dbfHandle(h)->CurRec);
    const std::vector<std::vector<const char *>> rows = {{"first", "12.50", "20030201", "T"},
                                                         {"second", "-3", "", "n"}};
    for (const auto &row : rows) {
        ASSERT_EQ(SUCCESS, BlankRecord(h));
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(SUCCESS, FieldPut(h, i, row[static_cast<size_t>(i)])) << Msg();
        ASSERT_EQ(SUCCESS, AppendDbf(h)) << Msg();
    }
    ASSERT_EQ(SUCCESS, CloseDbf(h));
    EXPECT_EQ("{\"version\":3,\"records\":2,\"fields\":[[\"NAME\",\"C\",10,0],"
              "[\"AMOUNT\",\"N\",8,2],[\"DAY\",\"D\",8,0],[\"FLAG\",\"L\",1,0]]}\n"
              "[\"first\",12.5,\"2003-02-01\",true]\n"
              "[\"second\",-3,null,false]\n",
              Checked(dir.file("new.dbf")));
}

TEST_F(DbfTest, CreateRefusesBadDescriptors)
{
    struct Row {
        FieldRecord_t field;
        int code;
    };
    const std::vector<Row> rows = {{{"MEMO", 'M', 10, 0, nullptr}, DBF_FIELD_TYPE},
                                   {{"ELEVENCHARS", 'C', 1, 0, nullptr}, DBF_FIELD_ERROR},
                                   {{"D", 'D', 6, 0, nullptr}, DBF_FIELD_ERROR},
                                   {{"N", 'N', 4, 4, nullptr}, DBF_FIELD_ERROR},
                                   {{"A", 'C', 1, 0, nullptr}, DBF_FIELD_ERROR}};  // duplicate
    for (const Row &row : rows) {
        const FieldRecord_t fields[] = {{"A", 'C', 1, 0, nullptr}, row.field};
        int h = 0;
        EXPECT_EQ(FAILURE, CreateDbf(&h, dir.file("bad.dbf").c_str(), fields, 2)) << row.field.Name;
        EXPECT_EQ(row.code, dbf_code) << row.field.Name;
    }
    EXPECT_TRUE(FilesIn(dir.str()).empty());
}

TEST_F(WriteTest, FieldPutRefusesValuesThatDoNotFit)
{
    kombra_fixtures::WriteDbf(dir.file("t.dbf"),
                              {{"C", 'C', 3}, {"N", 'N', 4, 1}, {"D", 'D', 8}, {"L", 'L', 1}},
                              {{"abc", "1.5", "20030201", "T"}});
    const int h = Open(dir.file("t.dbf"), O_RDWR);
    const std::string before(dbfHandle(h)->CurRecord);
    const std::vector<std::pair<int, const char *>> rows = {
        {0, "abcd"}, {1, "12345"}, {1, "1.2.3"}, {1, "-"}, {2, "2003-2-1"}, {3, "x"}};
    for (const auto &[field, text] : rows) {
        EXPECT_EQ(FAILURE, FieldPut(h, field, text)) << text;
        EXPECT_EQ(DBF_FIELD_VALUE, dbf_code) << text;
    }
    EXPECT_EQ(before, dbfHandle(h)->CurRecord);
    EXPECT_EQ(NotUpdated, dbfHandle(h)->rStatus);
    EXPECT_EQ(SUCCESS, CloseDbf(h));
}

TEST_F(DbfTest, FieldPutOnAZeroWidthLogicalField)
{
    // C1 and L1, then the logical field cut to width 0: record " x".
    std::vector<unsigned char> bytes = kombra_fixtures::DbfBytes({{"A", 'C', 1}, {"F", 'L', 1}}, {{"x", "T"}});
    bytes[32 + 32 + 16] = 0;  // width of F
    bytes[10] = 2;            // record length
    bytes.erase(bytes.begin() + 97 + 2);
    kombra_test::WriteBytes(dir.file("z.dbf"), bytes);
    const int h = Open(dir.file("z.dbf"), O_RDWR);
    EXPECT_EQ(FAILURE, FieldPut(h, 1, "T"));
    EXPECT_EQ(DBF_FIELD_VALUE, dbf_code);
    EXPECT_EQ(std::string(" x"), dbfHandle(h)->CurRecord);
    EXPECT_EQ(SUCCESS, FieldPut(h, 1, ""));
    EXPECT_EQ(SUCCESS, CloseDbf(h)) << Msg();
}

// ---- Writes that fail halfway -------------------------------------------

class FailedAppendTest : public WriteTest, public ::testing::WithParamInterface<long> {};

TEST_P(FailedAppendTest, LeavesTheTableAsItWas)
{
    const int h = Open(path, O_RDWR);
    FillNewEntry(h);
    dbfFailWrites(GetParam(), -1);
    EXPECT_EQ(FAILURE, AppendDbf(h));
    EXPECT_EQ(ENOSPC, dbf_code);
    EXPECT_EQ(5, dbfHandle(h)->NumRecs);
    EXPECT_EQ(NotUpdated, dbfHandle(h)->hStatus);
    EXPECT_EQ(SUCCESS, CloseDbf(h)) << Msg();
    EXPECT_EQ(original, kombra_test::ReadBytes(path));
    EXPECT_EQ(CatalogHeader(5) + kSampleRecords, Checked(path));
}

// The append writes the fields first and the flag byte second.
INSTANTIATE_TEST_SUITE_P(Writes, FailedAppendTest, ::testing::Values(0L, 1L));

TEST_F(WriteTest, FailedHeaderWriteKeepsTheTableOpen)
{
    const int h = Open(path, O_RDWR);
    FillNewEntry(h);
    ASSERT_EQ(SUCCESS, AppendDbf(h));
    dbfFailWrites(0, -1);
    EXPECT_EQ(FAILURE, CloseDbf(h));
    EXPECT_EQ(DBF_WRITE, dbf_code);
    ASSERT_NE(nullptr, dbfHandle(h));

    // Meanwhile the file still holds the five records it counts.
    const int other = Open(path);
    EXPECT_EQ(5, dbfHandle(other)->NumRecs);
    EXPECT_EQ(SUCCESS, GoTo(other, 5));
    EXPECT_EQ(SUCCESS, CloseDbf(other));

    dbfFailWrites(-1, 0);
    EXPECT_EQ(SUCCESS, CloseDbf(h)) << Msg();
    EXPECT_EQ(CatalogHeader(6) + kSampleRecords + "[\"CP3DRH\",2003,40,0,2003,40,1000]\n",
              Checked(path));
}

TEST_F(WriteTest, FailedWriteBackPutsTheOldRecordBack)
{
    const int h = Open(path, O_RDWR);
    ASSERT_EQ(SUCCESS, FieldPutN(h, "V_INST", "XXXX"));
    dbfFailWrites(0, 1);
    EXPECT_EQ(FAILURE, GoTo(h, 2));
    EXPECT_EQ(ENOSPC, dbf_code);
    EXPECT_EQ(original, kombra_test::ReadBytes(path));
    EXPECT_EQ(1, dbfHandle(h)->CurRec);
    EXPECT_EQ(Updated, dbfHandle(h)->rStatus);
    EXPECT_EQ(SUCCESS, CloseDbf(h)) << Msg();  // the device is back: written back now
    std::string want = kSampleRecords;
    want.replace(want.find("CP3DRH"), 6, "XXXX");
    EXPECT_EQ(CatalogHeader(5) + want, Checked(path));
}

TEST_F(WriteTest, FailedIndexWriteKeepsTheOldIndex)
{
    const std::string ndxPath = dir.file("cat.HD.NDX");
    const std::vector<unsigned char> oldIndex = kombra_test::ReadBytes(ndxPath);
    const int h = Open(path);
    const char *keys[] = {"E_YR", "E_DAY"};
    int x = 0;
    ASSERT_EQ(SUCCESS, CreateNdx(h, ndxPath.c_str(), keys, 2, &x));
    dbfFailWrites(0, -1);
    EXPECT_EQ(FAILURE, CloseNdx(h, x));
    EXPECT_EQ(ENOSPC, dbf_code);
    EXPECT_EQ(oldIndex, kombra_test::ReadBytes(ndxPath));
    EXPECT_EQ((std::vector<std::string>{"cat.HD.DBF", "cat.HD.NDX"}), FilesIn(dir.str()));
    dbfFailWrites(-1, 0);
    EXPECT_EQ(SUCCESS, CloseNdx(h, x));
    EXPECT_NE(oldIndex, kombra_test::ReadBytes(ndxPath));
    EXPECT_EQ(SUCCESS, CloseDbf(h));
}

TEST_F(WriteTest, FailedCreateKeepsTheTableItWouldReplace)
{
    const FieldRecord_t fields[] = {{"NAME", 'C', 10, 0, nullptr}};
    dbfFailWrites(0, -1);
    int h = 0;
    EXPECT_EQ(FAILURE, CreateDbf(&h, path.c_str(), fields, 1));
    EXPECT_EQ(ENOSPC, dbf_code);
    EXPECT_EQ(original, kombra_test::ReadBytes(path));
    EXPECT_EQ((std::vector<std::string>{"cat.HD.DBF", "cat.HD.NDX"}), FilesIn(dir.str()));
}

}  // namespace
