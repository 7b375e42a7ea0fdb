// Opening tables, checking headers, reading records and field values,
// handle numbers, messages and the text helpers.
#include "dbf_test_util.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <cstring>
#include <functional>

using namespace dbf_test;
using kombra_fixtures::DbfField;
using kombra_fixtures::DbfRow;

namespace {

const std::vector<DbfField> kMixed = {
    {"NAME", 'C', 6}, {"COUNT", 'N', 5}, {"RATIO", 'N', 6, 2}, {"WHEN", 'D', 8},
    {"OK", 'L', 1},   {"WIDE", 'C', 200}, {"TAIL", 'C', 2}};
const std::vector<DbfRow> kMixedRows = {{"alpha", "-42", "3.25", "20030201", "T", "w", "zz"},
                                        {"beta", "7", "", "19991231", "F", "", "yy"}};

using TableTest = DbfTest;

TEST_F(TableTest, OpenReadsHeaderFieldsAndFirstRecord)
{
    kombra_fixtures::WriteDbf(dir.file("m.dbf"), kMixed, kMixedRows, {2003, 2, 1});
    const int h = Open(dir.file("m.dbf"));
    const dbfRecord_t *t = dbfHandle(h);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(2, t->NumRecs);
    EXPECT_EQ(32 + 7 * 32 + 1, t->HeadLen);
    EXPECT_EQ(1 + 6 + 5 + 6 + 8 + 1 + 200 + 2, t->RecLen);
    EXPECT_EQ(7, t->NumFields);
    EXPECT_STREQ(" 2/01/103", t->DateOfUpdate);
    EXPECT_EQ(1, t->CurRec);
    EXPECT_EQ(NotUpdated, t->hStatus);
    EXPECT_EQ(NotUpdated, t->rStatus);
    // Fields follow each other from byte 1; the 200-wide one takes 200 bytes.
    EXPECT_EQ(t->CurRecord + 1, t->Fields[0].Parm);
    EXPECT_EQ(t->Fields[5].Parm + 200, t->Fields[6].Parm);

    char text[201];
    ASSERT_EQ(SUCCESS, FieldGet(h, 0, text));
    EXPECT_STREQ("alpha ", text);
    KOMBRA_LONG count = 0;
    ASSERT_EQ(SUCCESS, FieldGetN(h, "count", &count));
    EXPECT_EQ(-42, count);
    double ratio = 0;
    ASSERT_EQ(SUCCESS, FieldGetN(h, "RATIO", &ratio));
    EXPECT_DOUBLE_EQ(3.25, ratio);
    char date[9] = "xxxxxxxx";
    ASSERT_EQ(SUCCESS, FieldGetN(h, "WHEN", date));
    EXPECT_STREQ("20030201", date);
    ASSERT_EQ(SUCCESS, FieldGetN(h, "TAIL", text));
    EXPECT_STREQ("zz", text);

    ASSERT_EQ(SUCCESS, GetDbfRecord(h, 2));
    EXPECT_EQ(2, t->CurRec);
    ASSERT_EQ(SUCCESS, FieldGetN(h, "RATIO", &ratio));
    EXPECT_DOUBLE_EQ(0.0, ratio);
    EXPECT_EQ(SUCCESS, CloseDbf(h));
}

TEST_F(TableTest, BadFieldsValuesAndRecordNumbers)
{
    kombra_fixtures::WriteDbf(dir.file("m.dbf"), kMixed, kMixedRows);
    kombra_fixtures::WriteDbf(dir.file("n.dbf"), {{"BIG", 'N', 12}, {"HUGE", 'N', 70}},
                              {{"99999999999", "1"}});
    const int h = Open(dir.file("m.dbf"));
    EXPECT_EQ(1, FieldNo(h, "count"));
    EXPECT_EQ(nullptr, dbField(h, "count"));
    EXPECT_EQ("dbf: unknown field, 'count' in '" + dir.file("m.dbf") + "'", Msg());
    EXPECT_EQ(-1, FieldNo(h, "nosuch"));
    EXPECT_EQ("dbf: field error, 'nosuch' in '" + dir.file("m.dbf") + "'", Msg());
    KOMBRA_LONG v = 5;
    EXPECT_EQ(FAILURE, FieldGet(h, 7, &v));
    EXPECT_EQ(DBF_FIELD_ERROR, dbf_code);
    EXPECT_EQ(FAILURE, FieldGet(h + 5, 0, &v));
    EXPECT_EQ("dbf: unknown handle, ", Msg());
    EXPECT_EQ(FAILURE, GetDbfRecord(h, 3));
    EXPECT_EQ("dbf: record number too high (out of range), '" + dir.file("m.dbf") + "'", Msg());
    EXPECT_EQ(FAILURE, Skip(h, -1, -1));
    EXPECT_EQ(DBF_REC_TOO_LOW, dbf_code);

    // Numbers beyond a KOMBRA_LONG, or wider than 63 characters.
    const int n = Open(dir.file("n.dbf"));
    EXPECT_EQ(FAILURE, FieldGet(n, 0, &v));
    EXPECT_EQ(DBF_FIELD_VALUE, dbf_code);
    EXPECT_EQ(FAILURE, FieldGet(n, 1, &v));
    EXPECT_EQ(DBF_FIELD_VALUE, dbf_code);
    EXPECT_EQ(5, v);
    EXPECT_EQ(SUCCESS, CloseDbf(n));
    EXPECT_EQ(SUCCESS, CloseDbf(h));
}

TEST_F(TableTest, HandlesAreNumberedAfterTheLastOpenTable)
{
    kombra_fixtures::WriteDbf(dir.file("a.dbf"), kMixed, {});
    EXPECT_EQ(1, Open(dir.file("a.dbf")));
    EXPECT_EQ(0, dbfHandle(1)->CurRec);  // no records
    EXPECT_EQ(FAILURE, GetDbfRecord(1, 1));
    EXPECT_EQ(2, Open(dir.file("a.dbf")));
    EXPECT_EQ(SUCCESS, CloseDbf(1));
    EXPECT_EQ(3, Open(dir.file("a.dbf")));
    EXPECT_EQ(FAILURE, CloseDbf(1));
    EXPECT_EQ(DBF_UNKNOWN_HANDLE, dbf_code);
    EXPECT_EQ(SUCCESS, CloseDbf(2));
    EXPECT_EQ(SUCCESS, CloseDbf(3));
}

// One broken table per row: what is done to good bytes, the code and what
// goes to stderr.
struct BadHeader {
    const char *name;
    std::function<void(std::vector<unsigned char> &)> spoil;
    int code;
    const char *stderrText;
};

void Set16(std::vector<unsigned char> &b, size_t at, unsigned v)
{
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

class BadHeaderTest : public DbfTest, public ::testing::WithParamInterface<BadHeader> {};

TEST_P(BadHeaderTest, IsRefusedWithoutLeavingAHandle)
{
    // Two fields, C4 and N3: header 97 bytes, records of 8 bytes.
    std::vector<unsigned char> bytes =
        kombra_fixtures::DbfBytes({{"A", 'C', 4}, {"B", 'N', 3}}, {{"x", "1"}, {"y", "2"}});
    GetParam().spoil(bytes);
    kombra_test::WriteBytes(dir.file("bad.dbf"), bytes);
    int h = -7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(FAILURE, OpenDbf(&h, dir.file("bad.dbf").c_str(), 0));
    EXPECT_EQ(GetParam().stderrText, testing::internal::GetCapturedStderr());
    EXPECT_EQ(GetParam().code, dbf_code) << Msg();
    EXPECT_EQ(-7, h);
    EXPECT_EQ(nullptr, dbfRecords);
}

const char *const kNotDbase = "Not A Dbase File\n";

INSTANTIATE_TEST_SUITE_P(
    Headers, BadHeaderTest,
    ::testing::Values(
        BadHeader{"Empty", [](auto &b) { b.clear(); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"TruncatedProlog", [](auto &b) { b.resize(20); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"TruncatedDescriptors", [](auto &b) { b.resize(60); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"MemoVersion", [](auto &b) { b[0] = 0x83; }, DBF_NOT_XBASE, "File Type: UNKNOWN\n"},
        BadHeader{"Version4", [](auto &b) { b[0] = 4; }, DBF_NOT_XBASE, "File Type: Dbase III w/memo\n"},
        BadHeader{"DbaseII", [](auto &b) { b[0] = 2; }, DBF_NOT_XBASE, "File Type: Dbase II\n"},
        BadHeader{"HeaderLongerThanFile", [](auto &b) { Set16(b, 8, 5000); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"NoTerminator", [](auto &b) { b[96] = 'X'; }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"RecordShorterThanFields", [](auto &b) { Set16(b, 10, 7); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"RecordLongerThanFields", [](auto &b) { Set16(b, 10, 9); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"FieldPastTheRecord", [](auto &b) { b[64 + 16] = 200; }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"CountPastTheFile", [](auto &b) { b[4] = 3; }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"HugeCount", [](auto &b) { b[7] = 0xFF; }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"CutRecords", [](auto &b) { b.resize(b.size() - 3); }, DBF_NOT_XBASE, kNotDbase},
        BadHeader{"UnknownType", [](auto &b) { b[32 + 11] = 'X'; }, DBF_FIELD_TYPE, ""},
        BadHeader{"ShortDate", [](auto &b) { b[32 + 11] = 'D'; }, DBF_NOT_XBASE, kNotDbase}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(TableTest, MissingFileIsAnOpenError)
{
    int h = 0;
    EXPECT_EQ(FAILURE, OpenDbf(&h, dir.file("none.dbf").c_str(), 0));
    EXPECT_EQ("dbf: file open error, '" + dir.file("none.dbf") + "'", Msg());
    EXPECT_EQ(FAILURE, OpenDbf(&h, std::string(300, 'p').c_str(), 0));
    EXPECT_EQ(DBF_OPEN, dbf_code);
    // Nor is anything but a regular file opened: a FIFO would wait for a
    // writer, a device never end.
    mkfifo(dir.file("fifo.dbf").c_str(), 0600);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.dbf"));
    for (const char *name : {"fifo.dbf", "zero.dbf"}) {
        EXPECT_EQ(FAILURE, OpenDbf(&h, dir.file(name).c_str(), 0));
        EXPECT_EQ(DBF_OPEN, dbf_code);
    }
}

TEST(DbfMessages, EveryCodeHasItsText)
{
    const std::vector<std::pair<int, const char *>> rows = {
        {1, "dbf: No error or warnings"}, {500, "dbf: allocated databases full"},
        {501, "dbf: not a xbase type file"}, {502, "dbf: record number too high (out of range)"},
        {503, "dbf: record number too low (out of range)"}, {504, "dbf: partial read error"},
        {505, "dbf: lseek error"}, {506, "dbf: read error"}, {507, "dbf: write error"},
        {508, "dbf: file open error"}, {520, "dbf: unknown field type"},
        {521, "dbf: unknown field"}, {522, "dbf: field value error"}, {523, "dbf: field error"},
        {530, "dbf: no such handle"}, {531, "dbf: empty handle"},
        {532, "dbf: no handles available"}, {533, "dbf: unknown handle"},
        {540, "dbf: invalid set command"}, {541, "dbf: invalid set value"},
        {0, "dbf: unknown error or warning code"}, {ENOENT, "dbf: unknown error or warning code"},
        {509, "dbf: unknown error or warning code"}};
    for (const auto &[code, text] : rows)
        EXPECT_STREQ(text, _dbf_msg(code)) << code;

    dbf_msg();  // clears what earlier tests left
    dbf_code = ENOSPC;
    EXPECT_EQ("dbf: unknown error or warning code, ", Msg());
    EXPECT_EQ(0, dbf_code);
}

TEST(DbfText, TrimUpperAndByteOrder)
{
    const std::vector<std::pair<std::string, std::string>> rtrimRows = {
        {"CP3DRH  ", "CP3DRH"}, {"   ", " "}, {"", ""}, {" a b ", " a b"}};
    for (const auto &[in, out] : rtrimRows) {
        std::string s = in;
        EXPECT_STREQ(out.c_str(), rtrim(s.data())) << "'" << in << "'";
    }
    char l[] = "  left  ";
    EXPECT_STREQ("left  ", ltrim(l));
    char u[] = "v_inst9";
    EXPECT_STREQ("V_INST9", to_upper(u));
    const unsigned char b[] = {0x01, 0x02, 0x03, 0xF4};
    EXPECT_EQ(0xF4030201L, MakeLong(b));
    EXPECT_EQ(0x0201, MakeInt(b));
}

}  // namespace
