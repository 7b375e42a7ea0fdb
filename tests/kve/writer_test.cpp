// The exchange library's records, texts and utilities, and its writers:
// exact CEF 2 text of a small data set, tables read back by Python's csv
// module, CDF files listed by jcdf, refusals and failed writes that remove
// only their own file.
#include "cdf_dump.h"
#include "kve_builders.h"
#include "kve_cdf.h"
#include "kve_flat.h"
#include "support.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

using kombra_test::ReadFile;
using kombra_test::TempDir;
using kve_test::DataSet;
using kve_test::Var;

struct Freer {
    void operator()(KvCDFContents *c) const { KvFreeCDFContentsObj(c); }
    void operator()(KvOptions *o) const { KvFreeOptionsObj(o); }
};
using ContentsPtr = std::unique_ptr<KvCDFContents, Freer>;
using OptionsPtr = std::unique_ptr<KvOptions, Freer>;

std::string Err(int code)
{
    char *text = KvErrStr(code);
    std::string s = text;
    std::free(text);
    return s;
}

TEST(KveTexts, StatusTexts)
{
    EXPECT_EQ("OK\n", Err(0));
    EXPECT_EQ("Output file already exists \n", Err(130));
    EXPECT_EQ("internal error,  101: notify ROZUzodaved\n", Err(101));
    EXPECT_EQ("Warning, function may not have executed as expected\n", Err(-1));
    EXPECT_EQ(std::string::npos, Err(181).find("create var block\n"));
}

TEST(KveTexts, TimeTextsAndEpochs)
{
    EXPECT_STREQ("0000-01-01T00:00:00.000Z", KvEpochToISOString(0.0, 'T'));
    EXPECT_STREQ("0000-01-01 00:00:00.000", KvEpochToISOString(0.0, ' '));
    const double a = KvISOStringToEpoch("2004-12-09T10:20:30.500Z");
    EXPECT_DOUBLE_EQ(a, KvISOStringToEpoch("2004-12-09 10:20:30.5"));
    EXPECT_STREQ("2004-12-09T10:20:30.500Z", KvEpochToISOString(a, 'T'));
    EXPECT_EQ(145.0, KvISOStringToEpoch("2004-12-09"));
    EXPECT_EQ(-1.0, KvISOStringToEpoch(""));
    EXPECT_EQ(-1.0, KvISOStringToEpoch("2004-12-09T10:20:xx"));
    double e = 0;
    EXPECT_STATUS(KV_BAD_ISO, KvISOStringToEpochStatus("2004-12-09", &e));
    char when[] = "Thu Dec  9 01:02:03 2004\n";
    char iso[32];
    EXPECT_STREQ("2004-12-09T01:02:03.000Z", KvCtoISO(when, iso));
}

TEST(KveTexts, MessagesAreCutAt79Characters)
{
    TempDir dir;
    OptionsPtr o(KvMakeOptionsObj());
    FILE *fp = std::fopen(dir.file("m").c_str(), "w");
    o->fp_display = fp;
    KvDisplayMessage(std::string(79, 'a').c_str(), o.get());
    KvDisplayMessage(std::string(80, 'b').c_str(), o.get());
    EXPECT_EQ(-1, KvDisplayMessage("", o.get()));
    std::fclose(fp);
    EXPECT_EQ(std::string(79, 'a') + "\n" + std::string(76, 'b') + "...\n", ReadFile(dir.file("m")));
}

TEST(KveRecords, ConstructorsAndPacking)
{
    KvCDFVariable *v = KvMakeKvVariable();
    EXPECT_EQ(-1, v->max_rec_num);
    EXPECT_EQ(1, v->attribute[210].num_elems);
    EXPECT_TRUE(KvstrNULL(v->attribute[210].name));
    EXPECT_EQ(nullptr, KvNewStr(nullptr));
    EXPECT_EQ(nullptr, KvFreeCDFContentsObj(nullptr));
    EXPECT_EQ(nullptr, KvFreeOptionsObj(nullptr));
    EXPECT_EQ(nullptr, KvFreeFormatSpace(nullptr));
    // Packing drops variables without data and moves the time variable.
    ContentsPtr c(DataSet({v, Var<double>("t", CDF_EPOCH, {}, {1.0}, 1)}, 1, "/tmp", "x"));
    c->time_var_num = 1;
    ASSERT_EQ(c.get(), KvMakeSafe(c.get()));
    EXPECT_EQ(1, c->n_vars);
    EXPECT_EQ(0, c->time_var_num);
    EXPECT_STREQ("t", c->vardata[0]->name);
    std::free(c->vardata[0]->data);
    c->vardata[0]->data = nullptr;
    EXPECT_EQ(nullptr, KvMakeSafe(c.get()));
    EXPECT_EQ(0, c->n_vars);
}

TEST(KveRecords, GlobalAttributesGrowPast200)
{
    ContentsPtr c(KvMakeCDFContentsObj());
    ASSERT_STATUS(0, KvInitGlobalContents(c.get()));
    EXPECT_EQ(3, c->num_g_attrs);
    for (int i = 0; i < 300; ++i)
        ASSERT_STATUS(0, KvCreateGlobalTxtAttr(c.get(), ("A" + std::to_string(i)).c_str(), "x"));
    EXPECT_EQ(303, c->num_g_attrs);
    long index = 0;
    ASSERT_NE(nullptr, KvFindGlobalAttr(c.get(), "A299", &index));
    EXPECT_EQ(302, index);
    EXPECT_STATUS(0, KvAppendGlobalTxtAttr(c.get(), "A299", "x"));
    EXPECT_EQ(1, c->g_attr[302]->num_entries);
    EXPECT_STATUS(0, KvAppendGlobalTxtAttr(c.get(), "A299", "y"));
    EXPECT_EQ(2, c->g_attr[302]->num_entries);
    EXPECT_STATUS(0, KvReplaceGlobalTxtAttr(c.get(), "A299", "z"));
    EXPECT_EQ(1, c->g_attr[302]->num_entries);
    EXPECT_STREQ("z", static_cast<char *>(c->g_attr[302]->entry[0].data));
}

TEST(KveRecords, TypesAndSpacing)
{
    char *name = KvCDFDataType(ISO_TIME);
    EXPECT_STREQ("ISO_TIME", name);
    std::free(name);
    name = KvCDFDataType(99);
    EXPECT_STREQ("UNKNOWN", name);
    std::free(name);
    const double t[] = {0, 4, 8, 12};
    EXPECT_EQ(2.0, KvFindSampleSpacing(t, 4, 0, 0.0));
    EXPECT_EQ(-1.0, KvFindSampleSpacing(t, 2, 0, 0.0));
}

TEST(KveFiles, StringsPathsAndForms)
{
    char buf[16] = "ab";
    KvStrcpy(buf, "abcdef", 3);
    EXPECT_STREQ("abc", buf);
    KvStrcat(buf, "xyz", 2);
    EXPECT_STREQ("abcxy", buf);
    long q = 0;
    EXPECT_EQ(1, KvIsDivisible(12, 4, &q));
    EXPECT_EQ(3, q);
    EXPECT_EQ(0, KvIsDivisible(0, 4, &q));
    EXPECT_EQ(0, KvIsDivisible(12, 0, &q));
    kombra_test::ScopedEnv home("HOME", "/home/someone");
    EXPECT_STREQ("/home/someone/data/x", KvSafePath("~/data/x"));
    EXPECT_STREQ("", KvSafePath("~no_such_user_kve/x"));
    char *s = KvStripQuotes(" \"word\" ");
    EXPECT_STREQ("word", s);
    std::free(s);
    EXPECT_EQ(1, KvIsISOtime("2004-12-09T10:11:12.500Z"));
    EXPECT_EQ(1, KvIsISOtime("2004-12-09 10:11:12"));
    EXPECT_EQ(0, KvIsISOtime("2004-12-09"));
    EXPECT_EQ(0, KvIsISOtime("2004-12-09T10:11"));
}

TEST(KveFiles, ExclusiveOpenAndRemovalOfTheExactPath)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("a.txt"), "keep");
    EXPECT_EQ(nullptr, KvOpenFile("w-", dir.str().c_str(), "a", ".txt"));
    EXPECT_EQ("keep", ReadFile(dir.file("a.txt")));
    // Reading falls back to the name without its extension.
    FILE *fp = KvOpenFile("r", dir.str().c_str(), "a.txt", ".missing");
    ASSERT_NE(nullptr, fp);
    std::fclose(fp);
    EXPECT_EQ(0, KvCloseFile(0, dir.str().c_str(), "a", ".txt", nullptr));
    EXPECT_TRUE(std::filesystem::exists(dir.file("a.txt")));
    EXPECT_EQ(131, KvCloseFile(131, dir.str().c_str(), "a", ".txt", nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.txt")));
}

// The small data set of the text tests: two records of a time, a 2-value
// float array and a scalar.
KvCDFContents *Small(const std::string &dir, const char *stem)
{
    const double t0 = KvISOStringToEpoch("2004-12-09T10:20:30.500Z");
    KvCDFVariable *t = Var<double>("time", CDF_EPOCH, {}, {t0, t0 + 4000.0}, 2);
    KvCDFVariable *b = Var<float>("B", CDF_FLOAT, {2}, {1.5f, -2.0f, 3.25f, 4.0f}, 2);
    kve_test::TextAttr(b, "UNITS", "nT");
    kve_test::TextAttr(b, "DEPEND_0", "time");
    kve_test::FloatAttr(b, "FILLVAL", -1e31f);
    KvCDFVariable *n = Var<int32_t>("n", CDF_INT4, {}, {7, -8}, 2);
    KvCDFContents *c = DataSet({t, b, n}, 2, dir, stem);
    KvCreateGlobalTxtAttr(c, "TITLE", "small");
    return c;
}

TEST(KveFlatWriter, Cef2TextOfASmallDataSet)
{
    TempDir dir;
    ContentsPtr c(Small(dir.str(), "small"));
    OptionsPtr o(KvMakeOptionsObj());
    // As the export action sets them.
    o->f_type = CAA;
    o->attr_delim = o->data_delim = ',';
    o->rec_end = '$';
    o->row_end = '\n';
    ASSERT_STATUS(0, KvWriteCSDSgenFlat(c.get(), o.get()));
    const std::string expected =
        "!@.cef2@KVE V_3.2.0 [9 Dec 2004]\n"
        "!-------- Cluster Exchange Version 2 ASCII File --------|\n"
        "! Free width data entries separated by delimiters       |\n"
        "!                                                       |\n"
        "! ASCII Format                                          |\n"
        "! Native C ordering, last index varies fastest          |\n"
        "! Blank lines are ignored                               |\n"
        "! \"!\" escapes rest of line as comment                   |\n"
        "!-------------------------------------------------------|\n"
        "!\n"
        "FILE_NAME = small.cef\n"
        "!\n"
        "FILE_FORMAT_VERSION = CEF-2.0\n"
        "!\n"
        "End_of_record_marker = \"$\"\n"
        "!\n"
        "Start_meta = TITLE\n"
        "Entry = \"small\"\n"
        "End_meta = TITLE\n"
        "!\n"
        "START_VARIABLE = time\n"
        "VALUE_TYPE = ISO_TIME\n"
        "END_VARIABLE = time\n"
        "\n"
        "START_VARIABLE = B\n"
        "SIZES =  2\n"
        "VALUE_TYPE = FLOAT\n"
        "UNITS = \"nT\"\n"
        "DEPEND_0 = time\n"
        "FILLVAL = -1e+31\n"
        "END_VARIABLE = B\n"
        "\n"
        "START_VARIABLE = n\n"
        "VALUE_TYPE = INT\n"
        "END_VARIABLE = n\n"
        "\n"
        "! time, B, n\n"
        "\n"
        "DATA_UNTIL = \"End_of_Data\"\n"
        "\n2004-12-09T10:20:30.500Z      ,\n  \n   1.5,  -2,  \n  \n   7\n$\n"
        "\n2004-12-09T10:20:34.500Z      ,\n  \n   3.25,  4,  \n  \n   -8\n$\n"
        "End_of_Data\n";
    EXPECT_EQ(expected, ReadFile(dir.file("small.cef")));
}

TEST(KveFlatWriter, DelimitedTableReadsInPythonCsv)
{
    TempDir dir;
    ContentsPtr c(Small(dir.str(), "small"));
    OptionsPtr o(KvMakeOptionsObj());
    o->f_type = DELIMITED;
    o->data_delim = ',';
    o->header = DETACHED;
    ASSERT_STATUS(0, KvWriteCSDSgenFlat(c.get(), o.get()));
    EXPECT_TRUE(std::filesystem::exists(dir.file("small.qfh")));
    int status = 0;
    const std::string out = kve_test::RunProgram(
        {"python3", "-c",
         "import csv,sys\nrows=list(csv.reader(open(sys.argv[1])))\nprint(len(rows));print('|'.join(rows[1]))",
         dir.file("small.qfd")},
        &status);
    ASSERT_EQ(0, status);
    EXPECT_EQ("2\n2004-12-09 10:20:34.500|3.25|4|-8\n", out);
}

TEST(KveFlatWriter, TabularColumnsAndUnsetType)
{
    TempDir dir;
    ContentsPtr c(Small(dir.str(), "tab"));
    OptionsPtr o(KvMakeOptionsObj());
    o->rec_numbering = NUM_ON;
    ASSERT_STATUS(0, KvWriteCSDSgenFlat(c.get(), o.get()));
    EXPECT_EQ(TABULAR, o->f_type);
    const std::string text = ReadFile(dir.file("tab.qft"));
    EXPECT_NE(std::string::npos, text.find("Column_start = 11\nColumn_width = 30\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Start_data = 2 ! Data records to follow\n"));
    // Fixed columns: the third field of each record starts where its header says.
    int status = 0;
    const std::string out = kve_test::RunProgram(
        {"python3", "-c",
         "import sys\nrows=[l for l in open(sys.argv[1]) if l[:1].isdigit()]\n"
         "print(len(rows)); print(rows[1][41:53].strip(), rows[1][67:79].strip())",
         dir.file("tab.qft")},
        &status);
    EXPECT_EQ("2\n3.25 -8\n", out);
}

TEST(KveFlatWriter, FailedWriteRemovesOnlyItsOwnFile)
{
    TempDir dir;
    for (const char *stem : {"run 1", "run", "x; touch pwned", "$(touch pwned)"}) {
        kombra_test::WriteFile(dir.file("run"), "neighbour");
        ContentsPtr c(Small(dir.str(), stem));
        c->vardata[2]->data_type = 99;  // a type no layout can write
        OptionsPtr o(KvMakeOptionsObj());
        o->f_type = DELIMITED;
        EXPECT_STATUS(KV_BAD_TYPE, KvWriteCSDSgenFlat(c.get(), o.get()));
        EXPECT_FALSE(std::filesystem::exists(dir.file(std::string(stem) + ".qfd"))) << stem;
        EXPECT_EQ("neighbour", ReadFile(dir.file("run")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
        EXPECT_FALSE(std::filesystem::exists("pwned"));
    }
}

// Option codes outside their lists: an unknown file type is refused, an
// unknown header placement writes no header after a warning, any priority
// but REPLACE keeps an existing file, any numbering but NUM_ON numbers no
// record.  What is written equals what the fallback codes write.
struct OptionCodes {
    int f_type, header, priority, rec_numbering;
};

struct OptionCodeCase {
    const char *name;
    OptionCodes odd, fallback;
    const char *stem; // "kept" names the file that exists already
    int status;
    std::string message;
};

void PrintTo(const OptionCodeCase &c, std::ostream *os) { *os << c.name; }

class KveOutOfRangeOptions : public testing::TestWithParam<OptionCodeCase> {};

// Writes the small data set with the codes into dir; the status, and the
// display messages in *message.
int WriteWithCodes(const TempDir &dir, const char *stem, const OptionCodes &codes, std::string *message)
{
    kombra_test::WriteFile(dir.file("kept.qft"), "old");
    ContentsPtr data(Small(dir.str(), stem));
    OptionsPtr o(KvMakeOptionsObj());
    o->f_type = static_cast<KvSOptions_f_type>(codes.f_type);
    o->header = static_cast<KvSOptions_header>(codes.header);
    o->priority = static_cast<KvSOptions_priority>(codes.priority);
    o->rec_numbering = static_cast<KvSOptions_rec_num>(codes.rec_numbering);
    FILE *messages = std::fopen(dir.file("messages").c_str(), "w");
    o->fp_display = messages;
    const int status = KvWriteCSDSgenFlat(data.get(), o.get());
    if (messages != nullptr)
        std::fclose(messages);
    *message = ReadFile(dir.file("messages"));
    return status;
}

TEST_P(KveOutOfRangeOptions, TakeTheirFallback)
{
    const OptionCodeCase &c = GetParam();
    TempDir odd_dir, fallback_dir;
    std::string message, fallback_message;
    EXPECT_STATUS(c.status, WriteWithCodes(odd_dir, c.stem, c.odd, &message));
    EXPECT_EQ(c.message, message);
    EXPECT_EQ("old", ReadFile(odd_dir.file("kept.qft")));
    const std::string file = std::string(c.stem) + ".qft";
    if (c.status != 0) {
        if (std::string(c.stem) != "kept") {
            EXPECT_FALSE(std::filesystem::exists(odd_dir.file(file)));
        }
        return;
    }
    EXPECT_STATUS(0, WriteWithCodes(fallback_dir, c.stem, c.fallback, &fallback_message));
    EXPECT_EQ(ReadFile(fallback_dir.file(file)), ReadFile(odd_dir.file(file)));
}

INSTANTIATE_TEST_SUITE_P(
    KveFlatWriter, KveOutOfRangeOptions,
    testing::Values(
        OptionCodeCase{"file_type_9_is_unknown", {9, ATTACHED, REPLACE, NUM_OFF}, {}, "none", KV_FILE_TYPE, ""},
        OptionCodeCase{"file_type_minus_1_is_unknown", {-1, ATTACHED, REPLACE, NUM_OFF}, {}, "none", KV_FILE_TYPE,
                       ""},
        OptionCodeCase{"header_5_writes_no_header", {TABULAR, 5, REPLACE, NUM_OFF},
                       {TABULAR, NO_HEADER, REPLACE, NUM_OFF}, "bare", 0,
                       "KVE Warning: unknown option no header written\n"},
        OptionCodeCase{"priority_0_keeps_an_existing_file", {TABULAR, ATTACHED, 0, NUM_OFF}, {}, "kept",
                       KV_FILE_EXISTS, ""},
        OptionCodeCase{"numbering_7_numbers_nothing", {TABULAR, ATTACHED, REPLACE, 7},
                       {TABULAR, ATTACHED, REPLACE, NUM_OFF}, "plain", 0, ""}),
    [](const testing::TestParamInfo<OptionCodeCase> &info) { return std::string(info.param.name); });

TEST(KveFlatWriter, WarnRefusesAnExistingFile)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("w.cef"), "old");
    ContentsPtr c(Small(dir.str(), "w"));
    OptionsPtr o(KvMakeOptionsObj());
    o->f_type = EXCHANGE;
    o->priority = WARN;
    EXPECT_STATUS(KV_FILE_EXISTS, KvWriteCSDSgenFlat(c.get(), o.get()));
    EXPECT_EQ("old", ReadFile(dir.file("w.cef")));
}

TEST(KveCdfWriter, DataSetListedByJcdf)
{
    TempDir dir;
    ContentsPtr c(Small(dir.str(), "small"));
    kve_test::TextAttr(c->vardata[2], "EMPTY", "");
    OptionsPtr o(KvMakeOptionsObj());
    ASSERT_STATUS(0, KvWriteCSDSgenCDF(c.get(), o.get()));
    std::string error;
    const auto dump = kve_test::JcdfDump(dir.file("small.cdf"), &error);
    ASSERT_TRUE(dump) << error;
    const auto ours = kve_test::KcdfDump(dir.file("small.cdf"), &error);
    ASSERT_TRUE(ours) << error;
    EXPECT_EQ(*dump, *ours);
    for (const char *expected : {"gattr TITLE\n  entry 0 CHAR [small]\n",
                                 "gattr Software_version\n  entry 0 CHAR [KVE V_3.2.0 [9 Dec 2004]]\n",
                                 "var B FLOAT recvary=T dims=[2] records=2\n  rec 0 f3fc00000 fc0000000\n",
                                 "  attr FILLVAL FLOAT ff2fc6f7c\n", "var n INT4 recvary=T dims=[] records=2\n  rec 0 7\n",
                                 "  attr EMPTY CHAR [ ]\n", "var time EPOCH"})
        EXPECT_NE(std::string::npos, dump->find(expected)) << expected << "\n" << *dump;
}

TEST(KveCdfWriter, ExistingFilesAndDuplicateNames)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("w.cdf"), "old");
    {
        ContentsPtr c(Small(dir.str(), "w"));
        OptionsPtr o(KvMakeOptionsObj());
        o->priority = WARN;
        EXPECT_STATUS(KV_FILE_EXISTS, KvWriteCSDSgenCDF(c.get(), o.get()));
        EXPECT_EQ("old", ReadFile(dir.file("w.cdf")));
        o->priority = REPLACE;
        EXPECT_STATUS(0, KvWriteCSDSgenCDF(c.get(), o.get()));
        EXPECT_NE("old", ReadFile(dir.file("w.cdf")));
    }
    {
        ContentsPtr c(Small(dir.str(), "dup"));
        std::free(c->vardata[2]->name);
        c->vardata[2]->name = KvNewStr("B");
        OptionsPtr o(KvMakeOptionsObj());
        testing::internal::CaptureStdout();
        EXPECT_STATUS(KV_DATA_WRITE, KvWriteCSDSgenCDF(c.get(), o.get()));
        testing::internal::GetCapturedStdout();
        EXPECT_FALSE(std::filesystem::exists(dir.file("dup.cdf")));
    }
    {
        ContentsPtr c(Small(dir.str(), "rec"));
        c->vardata[1]->max_rec_num = 0;
        OptionsPtr o(KvMakeOptionsObj());
        EXPECT_STATUS(KV_NO_VARIABLES, KvWriteCSDSgenCDF(c.get(), o.get()));
    }
}

// ---- Data layouts of the CDF writer ---------------------------------------------

// Gives a variable data of exactly these values (no spare byte, so that a
// read past them is one past the block).
template <typename T>
void SetData(KvCDFVariable *v, const std::vector<T> &values)
{
    std::free(v->data);
    v->data = std::malloc(values.size() * sizeof(T));
    std::memcpy(v->data, values.data(), values.size() * sizeof(T));
}

struct Layout {
    const char *name;
    std::function<KvCDFVariable *()> make;  // the variable "v" of a data set of 2 records
    int status;
    const char *listed;  // what jcdf lists of it
};

void PrintTo(const Layout &l, std::ostream *os) { *os << l.name; }

class CdfDataLayouts : public testing::TestWithParam<Layout> {};

// A 3 x 2 INT2 variable whose second dimension does not vary, its data
// every value of both dimensions or only the varying ones.
KvCDFVariable *Grid(const std::vector<int16_t> &values, bool leading = false)
{
    KvCDFVariable *v = Var<int16_t>("v", CDF_INT2, leading ? std::initializer_list<long>{2, 3}
                                                           : std::initializer_list<long>{3, 2},
                                    values, 2);
    v->dim_varys[leading ? 0 : 1] = 0;
    SetData(v, values);
    return v;
}

TEST_P(CdfDataLayouts, WrittenFromEitherLayoutOrRefusedNeverReadPast)
{
    TempDir dir;
    const Layout &l = GetParam();
    ContentsPtr c(DataSet({Var<double>("time", CDF_EPOCH, {}, {63269805600000.0, 63269805604000.0}, 2), l.make()},
                          2, dir.str(), "layout"));
    OptionsPtr o(KvMakeOptionsObj());
    testing::internal::CaptureStdout();
    EXPECT_STATUS(l.status, KvWriteCSDSgenCDF(c.get(), o.get()));
    const std::string said = testing::internal::GetCapturedStdout();
    if (l.status != 0) {
        EXPECT_NE(std::string::npos, said.find("KVE Error: variable v holds")) << said;
        EXPECT_FALSE(std::filesystem::exists(dir.file("layout.cdf")));
        return;
    }
    std::string error;
    const auto dump = kve_test::JcdfDump(dir.file("layout.cdf"), &error);
    ASSERT_TRUE(dump) << error;
    EXPECT_NE(std::string::npos, dump->find(l.listed)) << *dump;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CdfDataLayouts,
    testing::Values(
        Layout{"EveryDimensionGiven", [] { return Grid({1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}); }, 0,
               "var v INT2 recvary=T dims=[3,2] records=2\n  rec 0 1 1 2 2 3 3\n  rec 1 4 4 5 5 6 6\n"},
        Layout{"VaryingValuesOnly", [] { return Grid({1, 2, 3, 4, 5, 6}); }, 0,
               "var v INT2 recvary=T dims=[3,2] records=2\n  rec 0 1 1 2 2 3 3\n  rec 1 4 4 5 5 6 6\n"},
        Layout{"LeadingDimensionVaryingValuesOnly", [] { return Grid({1, 2, 3, 4, 5, 6}, true); }, 0,
               "var v INT2 recvary=T dims=[2,3] records=2\n  rec 0 1 2 3 1 2 3\n  rec 1 4 5 6 4 5 6\n"},
        Layout{"ShorterThanEither",
               [] {
                   // 40 bytes for a variable of 120 varying bytes: short
                   // beyond any rounding of the block.
                   KvCDFVariable *v = Var<int16_t>("v", CDF_INT2, {30, 2}, std::vector<int16_t>(20, 1), 2);
                   v->dim_varys[1] = 0;
                   SetData(v, std::vector<int16_t>(20, 1));
                   return v;
               },
               KV_DATA_WRITE, ""},
        Layout{"RecordThatDoesNotVaryVaryingValuesOnly",
               [] {
                   KvCDFVariable *v = Grid({7, 8, 9});
                   v->rec_vary = 0;
                   return v;
               },
               0, "var v INT2 recvary=F dims=[3,2] records=1\n  rec 0 7 7 8 8 9 9\n"},
        Layout{"IsoTimesVaryingValuesOnly",
               [] {
                   const std::string texts = "2004-12-09T10:00:00.000Z2004-12-09T10:00:04.000Z";
                   KvCDFVariable *v = Var<char>("v", ISO_TIME, {2}, std::vector<char>(texts.begin(), texts.end()), 2);
                   v->num_elems = 24;
                   v->sizeofentry = 1;
                   v->dim_varys[0] = 0;
                   SetData(v, std::vector<char>(texts.begin(), texts.end()));
                   return v;
               },
               0,
               "var v EPOCH recvary=T dims=[2] records=2\n  rec 0 d42ccc59324d68000 d42ccc59324d68000\n"
               "  rec 1 d42ccc59324de5000 d42ccc59324de5000\n"}),
    [](const testing::TestParamInfo<Layout> &info) { return std::string(info.param.name); });

// The time conversions of the writers read the data in either layout and
// give every value of every dimension.
TEST(KveCdfWriter, TimeConversionsGiveEveryDimension)
{
    TempDir dir;
    KvCDFVariable *v = Var<double>("t", CDF_EPOCH, {2}, {63269805600000.0, 63269805604000.0}, 2);
    v->dim_varys[0] = 0;
    SetData(v, std::vector<double>{63269805600000.0, 63269805604000.0});
    ContentsPtr c(DataSet({v}, 2, dir.str(), "conv"));
    EXPECT_EQ(0, KvRemoveEpoch(c.get()));
    ASSERT_EQ(ISO_TIME, v->data_type);
    const char *texts = static_cast<const char *>(v->data);
    for (const auto &[k, text] : {std::pair{0, "2004-12-09T10:00:00.000Z"}, {1, "2004-12-09T10:00:00.000Z"},
                                  {2, "2004-12-09T10:00:04.000Z"}, {3, "2004-12-09T10:00:04.000Z"}})
        EXPECT_STREQ(text, texts + k * v->num_elems) << k;
    EXPECT_EQ(0, KvRemoveISO_TIME(c.get()));
    ASSERT_EQ(CDF_EPOCH, v->data_type);
    const auto *epochs = static_cast<const double *>(v->data);
    EXPECT_EQ((std::vector<double>{63269805600000.0, 63269805600000.0, 63269805604000.0, 63269805604000.0}),
              std::vector<double>(epochs, epochs + 4));
}

// The flat writers write every dimension from data of the varying values
// only, and refuse data shorter than their shape.
TEST(KveFlatWriter, DataOfTheVaryingValuesOnlyOrShort)
{
    for (const auto &[values, status] : {std::pair{std::vector<int16_t>{1, 2, 3, 4, 5, 6}, 0},
                                         {std::vector<int16_t>(20, 1), int{KV_VAR_NO_DATA}}}) {
        TempDir dir;
        KvCDFVariable *v = Var<int16_t>("v", CDF_INT2, {values.size() == 6 ? 3L : 30L, 2}, values, 2);
        v->dim_varys[1] = 0;
        SetData(v, values);
        ContentsPtr c(DataSet({v}, 2, dir.str(), "flat"));
        OptionsPtr o(KvMakeOptionsObj());
        o->f_type = DELIMITED;
        o->data_delim = ',';
        o->header = NO_HEADER;
        EXPECT_STATUS(status, KvWriteCSDSgenFlat(c.get(), o.get()));
        if (status == 0) {
            EXPECT_EQ("1,1,2,2,3,3\n4,4,5,5,6,6\n", ReadFile(dir.file("flat.qfd")));
        }
    }
}

}  // namespace
