// The exchange library's records, texts and utilities, and its writers:
// exact CEF 2 text of a small data set, tables read back by Python's csv
// module, CDF files listed by jcdf, refusals and failed writes that remove
// only their own file, data of every dimension in blocks had every way
// (or in a static array) written as given, and failed exports that name
// their file and reason.
#include "cdf_dump.h"
#include "kve_builders.h"
#include "kve_cdf.h"
#include "kve_flat.h"
#include "support.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

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
    EXPECT_EQ("CDF record and hyperslab selection failed\n", Err(KV_CDF_SELECT));
    EXPECT_EQ("Failed to read data from cdf file\n", Err(KV_CDF_READ));
    EXPECT_EQ("Variable data missing or shorter than its shape\n", Err(KV_VAR_NO_DATA));
    EXPECT_EQ("Corrupt file: NUL byte or INCLUDE loop\n", Err(KV_CORRUPT_FILE));
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
    // Both ways to the nearest millisecond, where the arithmetic of a date
    // far from now falls just short of it.
    EXPECT_STREQ("2178-07-23T15:07:13.734Z", KvEpochToISOString(KvISOStringToEpoch("2178-07-23T15:07:13.734Z"), 'T'));
    EXPECT_STREQ("2178-07-23T15:07:13.734Z", KvEpochToISOString(68748707233733.99, 'T'));
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
    {
        // The stamp is the time in UTC, whatever the local zone.
        kombra_test::ScopedEnv zone("TZ", "XYZ+5");
        tzset();
        const std::time_t now = std::time(nullptr);
        ASSERT_STATUS(0, KvInitGlobalContents(c.get()));
        char utc[32];
        std::strftime(utc, sizeof utc, "%Y-%m-%dT%H", std::gmtime(&now));
        EXPECT_EQ(utc, std::string(static_cast<const char *>(c->g_attr[2]->entry[0].data)).substr(0, 13));
    }
    tzset();
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
    // A file without a text to escape holds backslashes as they are.
    kve_test::TextAttr(c->vardata[1], "LABLAXIS", "C:\\data\\101");
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
        "LABLAXIS = \"C:\\data\\101\"\n"
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
    // An empty text is one NUL, not a blank, which is a text of its own.
    for (const std::string &expected : std::initializer_list<std::string>{"gattr TITLE\n  entry 0 CHAR [small]\n",
                                       "gattr Software_version\n  entry 0 CHAR [KVE V_3.2.0 [9 Dec 2004]]\n",
                                       "var B FLOAT recvary=T dims=[2] records=2\n  rec 0 f3fc00000 fc0000000\n",
                                       "  attr FILLVAL FLOAT ff2fc6f7c\n",
                                       "var n INT4 recvary=T dims=[] records=2\n  rec 0 7\n",
                                       "  attr EMPTY CHAR [" + std::string(1, '\0') + "]\n", "var time EPOCH"})
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

// ---- One layout of the data: every value of every dimension ---------------------

// How the block of a variable's data was had: the allocator rounds each
// differently, and nothing the writers do may depend on it; a static array
// is no block of malloc at all (the test takes it back before the data set
// is freed).
enum class Block { Exact, ShrunkFromLarge, Grown, Calloc, Reused, Static };
const char *const kBlockNames[] = {"Exact", "ShrunkFromLarge", "Grown", "Calloc", "Reused", "Static"};
void PrintTo(Block b, std::ostream *os) { *os << kBlockNames[static_cast<int>(b)]; }

// The static arrays of Block::Static, taken in turn from the start of each
// data set.
alignas(16) unsigned char static_blocks[1024];
size_t static_taken = 0;

// A block of the given bytes, had the given way.
void *MakeBlock(Block how, const void *bytes, size_t n)
{
    void *p = nullptr;
    switch (how) {
    case Block::Static:
        p = static_blocks + static_taken;
        static_taken += (n + 15) / 16 * 16;
        break;
    case Block::Exact: p = std::malloc(n); break;
    case Block::ShrunkFromLarge:
        p = std::realloc(std::malloc(size_t{1} << 20), n);
        break;
    case Block::Grown: p = std::realloc(std::malloc(1), n); break;
    case Block::Calloc: p = std::calloc(n, 1); break;
    case Block::Reused: {
        // A chunk freed with other values in it, taken again.
        void *old = std::malloc(n);
        std::memset(old, 0x5a, n);
        std::free(old);
        p = std::malloc(n);
        break;
    }
    }
    std::memcpy(p, bytes, n);
    return p;
}

template <typename T>
void SetBlock(KvCDFVariable *v, Block how, const std::vector<T> &values)
{
    std::free(v->data);
    v->data = MakeBlock(how, values.data(), values.size() * sizeof(T));
}

// Takes the static arrays back from a data set before it is freed.
struct TakenBack {
    KvCDFContents *c;
    Block how;
    ~TakenBack()
    {
        for (long i = 0; how == Block::Static && i < c->n_vars; ++i)
            if (c->vardata[i]->data_type == CDF_FLOAT || c->vardata[i]->data_type == CDF_DOUBLE)
                c->vardata[i]->data = nullptr;
    }
};

const std::string kT0 = "2004-12-09T10:00:00.000Z", kT1 = "2004-12-09T10:00:04.000Z";

// A data set of two records: a FLOAT [2] and a DOUBLE [3,2] whose second
// dimension does not vary, and ISO times [2] that do not vary along their
// dimension, every value of every dimension given, in blocks had the given
// way.  The FLOAT's values differ along the dimension that does not vary:
// the flat layouts write them as given, CDF keeps those at index 0.  The
// times, which the writers convert and free, are always a block of malloc.
KvCDFContents *Shaped(const std::string &dir, Block how)
{
    static_taken = 0;
    const std::vector<float> floats = {1.5f, -7.0f, 2.5f, -7.0f};
    KvCDFVariable *f = Var<float>("v", CDF_FLOAT, {2}, floats, 2);
    f->dim_varys[0] = 0;
    SetBlock(f, how, floats);
    const std::vector<double> doubles = {0.5, 0.5, 200.5, 200.5, 400.5, 400.5, 600.5, 600.5, 800.5, 800.5, 1000.5,
                                         1000.5};
    KvCDFVariable *d = Var<double>("w", CDF_DOUBLE, {3, 2}, doubles, 2);
    d->dim_varys[1] = 0;
    SetBlock(d, how, doubles);
    const std::string texts = kT0 + kT0 + kT1 + kT1;
    const std::vector<char> chars(texts.begin(), texts.end());
    KvCDFVariable *iso = Var<char>("iso", ISO_TIME, {2}, chars, 2);
    iso->num_elems = 24;
    iso->sizeofentry = 1;
    iso->dim_varys[0] = 0;
    SetBlock(iso, how == Block::Static ? Block::Exact : how, chars);
    return DataSet({Var<double>("t", CDF_EPOCH, {}, {63269805600000.0, 63269805604000.0}, 2), f, d, iso}, 2, dir,
                   "shaped");
}

// The values given, as text, and what CDF stores of them.
const std::vector<std::pair<const char *, std::vector<std::string>>> kGiven = {
    {"v", {"1.5", "-7", "2.5", "-7"}},
    {"w", {"0.5", "0.5", "200.5", "200.5", "400.5", "400.5", "600.5", "600.5", "800.5", "800.5", "1000.5", "1000.5"}},
    {"iso", {kT0, kT0, kT1, kT1}}};

// Detached: a delimited table with its header in a .qfh file; Cef2ThenCdf:
// CEF 2 read back and written again as CDF, as a user converts a file.
enum class Format { Cdf, Cef1, Cef2, Delimited, Tabular, DelimitedByBlanks, Detached, Cef2ThenCdf };
const char *const kFormatNames[] = {"Cdf",     "Cef1",     "Cef2",        "Delimited", "Tabular",
                                    "DelimitedByBlanks", "Detached", "Cef2ThenCdf"};
const char *const kExtensions[] = {".cdf", ".cef", ".cef", ".qfd", ".qft", ".qfd", ".qfd", ".cdf"};
void PrintTo(Format f, std::ostream *os) { *os << kFormatNames[static_cast<int>(f)]; }
bool IsCdf(Format f) { return f == Format::Cdf || f == Format::Cef2ThenCdf; }

int ReadBack(Format format, const TempDir &dir, const char *stem, KvCDFContents *back);

// Writes a data set in a format, as the export action sets the options; the
// status, with the library's messages in *said (what it printed on the
// standard output also in *printed).
int WriteAs(Format format, KvCDFContents *c, const TempDir &dir, std::string *said, std::string *printed = nullptr)
{
    OptionsPtr o(KvMakeOptionsObj());
    o->attr_delim = o->data_delim = ',';
    FILE *messages = std::fopen(dir.file("messages").c_str(), "w");
    o->fp_display = messages;
    static const KvSOptions_f_type types[] = {UNSET, EXCHANGE, CAA, DELIMITED, TABULAR, DELIMITED, DELIMITED, CAA};
    o->f_type = types[static_cast<int>(format)];
    if (format == Format::DelimitedByBlanks)
        o->data_delim = ' ';
    if (format == Format::Detached)
        o->header = DETACHED;
    if (format == Format::Cef1 || format == Format::Cef2 || format == Format::Cef2ThenCdf) {
        o->rec_end = '$';
        o->row_end = '\n';
    }
    testing::internal::CaptureStdout();
    int status = format == Format::Cdf ? KvWriteCSDSgenCDF(c, o.get()) : KvWriteCSDSgenFlat(c, o.get());
    *said = testing::internal::GetCapturedStdout();
    if (format == Format::Cef2ThenCdf && status == 0) {
        ContentsPtr read(KvMakeCDFContentsObj());
        // Read into the same folder and stem, which the CDF takes.
        status = ReadBack(Format::Cef2, dir, c->io_f_name, read.get());
        OptionsPtr cdf(KvMakeOptionsObj());
        testing::internal::CaptureStdout();
        if (status == 0)
            status = KvWriteCSDSgenCDF(read.get(), cdf.get());
        *said += testing::internal::GetCapturedStdout();
    }
    if (printed != nullptr)
        *printed = *said;
    std::fclose(messages);
    *said += ReadFile(dir.file("messages"));
    return status;
}

// The values of a variable read back, as text.
std::vector<std::string> ValueTexts(const KvCDFVariable *v, size_t n)
{
    std::vector<std::string> out;
    for (size_t k = 0; k < n; ++k) {
        char buf[64] = "?";
        switch (v->data_type) {
        case CDF_FLOAT:
            std::snprintf(buf, sizeof buf, "%g", static_cast<double>(static_cast<const float *>(v->data)[k]));
            break;
        case CDF_DOUBLE:
            std::snprintf(buf, sizeof buf, "%g", static_cast<const double *>(v->data)[k]);
            break;
        case CDF_EPOCH:
            std::snprintf(buf, sizeof buf, "%s", KvEpochToISOString(static_cast<const double *>(v->data)[k], 'T'));
            break;
        case ISO_TIME: {
            std::string s(static_cast<const char *>(v->data) + k * static_cast<size_t>(v->num_elems),
                          static_cast<size_t>(v->num_elems));
            s.resize(std::strlen(s.c_str()));
            s.erase(s.find_last_not_of(' ') + 1);
            std::snprintf(buf, sizeof buf, "%s", s.c_str());
            break;
        }
        default: break;
        }
        out.push_back(buf);
    }
    return out;
}

const KvCDFVariable *Named(const KvCDFContents *c, const char *name)
{
    for (long i = 0; i < c->n_vars; ++i)
        if (std::strcmp(c->vardata[i]->name, name) == 0)
            return c->vardata[i];
    return nullptr;
}

// Reads back what WriteAs wrote, as the reader is called by default.
int ReadBack(Format format, const TempDir &dir, const char *stem, KvCDFContents *back)
{
    if (IsCdf(format)) {
        testing::internal::CaptureStderr();
        const int status = KvGetCSDSgenCDF(dir.file(stem).c_str(), back);
        testing::internal::GetCapturedStderr();
        return status;
    }
    const std::string dirSlash = dir.str() + "/";
    back->io_f_path = KvNewStr(dirSlash.c_str());
    back->io_f_name = KvNewStr(stem);
    back->io_f_extn = const_cast<char *>(kExtensions[static_cast<int>(format)]);
    OptionsPtr o(KvMakeOptionsObj());
    testing::internal::CaptureStdout();
    const int status = KvGetCSDSgenFlat(back, o.get());
    testing::internal::GetCapturedStdout();
    back->io_f_extn = STR_NULL;
    return status;
}

class OneLayout : public testing::TestWithParam<std::tuple<Format, Block>> {};

TEST_P(OneLayout, EveryValueWrittenIsTheValueGiven)
{
    const auto [format, how] = GetParam();
    TempDir dir;
    ContentsPtr c(Shaped(dir.str(), how));
    const TakenBack taken{c.get(), how};
    std::string said;
    ASSERT_STATUS(0, WriteAs(format, c.get(), dir, &said));
    const std::string path = dir.file(std::string("shaped") + kExtensions[static_cast<int>(format)]);
    if (format == Format::Cdf) {
        std::string error;
        const auto dump = kve_test::JcdfDump(path, &error);
        ASSERT_TRUE(dump) << error;
        // CDF keeps one value along a dimension that does not vary.
        const float v[] = {1.5f, 1.5f, 2.5f, 2.5f};
        const double w[] = {0.5, 0.5, 200.5, 200.5, 400.5, 400.5, 600.5, 600.5, 800.5, 800.5, 1000.5, 1000.5};
        const double iso[] = {KvISOStringToEpoch(kT0.c_str()), KvISOStringToEpoch(kT0.c_str()),
                              KvISOStringToEpoch(kT1.c_str()), KvISOStringToEpoch(kT1.c_str())};
        auto bytes = [](const auto *p) { return reinterpret_cast<const unsigned char *>(p); };
        const std::string expected[] = {
            "var v FLOAT recvary=T dims=[2] records=2\n  rec 0 " + kve_test::CdfItems(CDF_FLOAT, 1, bytes(v), 2) +
                "\n  rec 1 " + kve_test::CdfItems(CDF_FLOAT, 1, bytes(v + 2), 2) + "\n",
            "var w DOUBLE recvary=T dims=[3,2] records=2\n  rec 0 " + kve_test::CdfItems(CDF_DOUBLE, 1, bytes(w), 6) +
                "\n  rec 1 " + kve_test::CdfItems(CDF_DOUBLE, 1, bytes(w + 6), 6) + "\n",
            "var iso EPOCH recvary=T dims=[2] records=2\n  rec 0 " + kve_test::CdfItems(CDF_EPOCH, 1, bytes(iso), 2) +
                "\n  rec 1 " + kve_test::CdfItems(CDF_EPOCH, 1, bytes(iso + 2), 2) + "\n"};
        for (const std::string &e : expected)
            EXPECT_NE(std::string::npos, dump->find(e)) << e << *dump;
        return;
    }
    ContentsPtr back(KvMakeCDFContentsObj());
    ASSERT_STATUS(0, ReadBack(format, dir, "shaped", back.get()));
    ASSERT_EQ(2, back->n_recs);
    for (const auto &[name, given] : kGiven) {
        const KvCDFVariable *v = Named(back.get(), name);
        ASSERT_NE(nullptr, v) << name;
        EXPECT_EQ(given, ValueTexts(v, given.size())) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndBlocks, OneLayout,
    testing::Combine(testing::Values(Format::Cdf, Format::Cef1, Format::Cef2, Format::Delimited, Format::Tabular),
                     testing::Values(Block::Exact, Block::ShrunkFromLarge, Block::Grown, Block::Calloc,
                                     Block::Reused, Block::Static)),
    [](const testing::TestParamInfo<std::tuple<Format, Block>> &info) {
        return std::string(kFormatNames[static_cast<int>(std::get<0>(info.param))]) +
               kBlockNames[static_cast<int>(std::get<1>(info.param))];
    });

// ---- Every type through every format, value by value ------------------------------

const double kFill = -1e31;

// Kinds of text a scientist's data and metadata hold, each written as data
// (at the start of a record line, after a blank first column, and in a
// DATA line), as a variable attribute and as a global entry.
struct TextKind {
    const char *name;
    std::string text;
};

const std::vector<TextKind> kTextKinds = {
    {"Plain", "plain"}, {"Empty", ""}, {"OneBlank", " "}, {"Blanks", "   "}, {"LeadingBlanks", "  lead"},
    {"TrailingBlanks", "trail  "}, {"LeadingTab", "\tlead"}, {"TrailingTab", "trail\t"}, {"InnerTab", "a\tb"},
    {"Comma", "a,b"}, {"OnlyAComma", ","}, {"InnerBlank", "a b"}, {"OnlyAQuote", "\""},
    {"InnerQuotes", "say \"hi\""}, {"WhollyQuoted", "\"quoted\""},
    // Text after a closing quote: no quoted text, the whole is the text.
    {"QuotedThenText", "\"a\" b"}, {"TwoQuotes", "\"\""}, {"Bang", "!not a comment"}, {"InnerBang", "a!b"},
    {"AmpersandCount", "& 5"}, {"AmpersandNumber", "&999"}, {"AmpersandWord", "&co"}, {"Dollar", "$"},
    {"StartMeta", "START_META = x"}, {"EndVariable", "END_VARIABLE = x"}, {"DataUntil", "DATA_UNTIL = x"},
    {"Include", "INCLUDE = all.qfh"}, {"EndOfData", "End_of_Data"}, {"StartData", "Start_data = 5"},
    {"Equals", "a = b"}, {"LineFeed", "a\nb"}, {"CarriageReturn", "a\rb"}, {"CrLf", "a\r\nb"},
    {"EndsInLineFeed", "line\n"}, {"LineFeedKeyword", "a\nEND_VARIABLE = x"}, {"LineFeedBang", "a\n! b"},
    {"FormFeedTabBell", "a\f\v\ab"}, {"Escape", "\x1b[0m"}, {"Backslash", "C:\\dir"},
    {"BackslashOctal", "\\012"}, {"TrailingBackslash", "end\\"}, {"Utf8Latin", "Gr\u00f6\u00dfe \u00b5T"},
    {"Utf8Others", "\u0394t \u96fb\u5b50"}, {"IsoTimeLike", "2004-12-09T10:00:00.000Z"},
    {"Long", [] { std::string s; for (int i = 0; i < 100; ++i) s += "long text "; return s; }()},
};

// A text variable of the given width, one value a record.
KvCDFVariable *Texts(const char *name, long width, const std::vector<std::string> &values)
{
    std::vector<char> chars;
    for (const std::string &s : values) {
        chars.insert(chars.end(), s.begin(), s.end());
        chars.resize(chars.size() + static_cast<size_t>(width) - s.size(), '\0');
    }
    KvCDFVariable *v = Var<char>(name, CDF_CHAR, {}, chars, static_cast<long>(values.size()));
    v->num_elems = width;
    v->sizeofentry = 1;
    return v;
}

// Two records a text kind: the first column holds the kind, then a blank;
// the second holds it in both.
const long kAllRecords = 2 * static_cast<long>(kTextKinds.size());

// n values taken in turn from the given ones; a variable of the records
// of every kind of text that takes its values so.
template <typename T>
std::vector<T> Cycle(const std::vector<T> &values, long n)
{
    std::vector<T> out;
    for (long k = 0; k < n; ++k)
        out.push_back(values[static_cast<size_t>(k) % values.size()]);
    return out;
}

template <typename T>
KvCDFVariable *Cycled(const char *name, long type, const std::vector<T> &values, long n)
{
    return Var<T>(name, type, {}, Cycle(values, n), n);
}

// Records of every type the writers write, at the ends of its range, three
// in turn; texts holding delimiters, quotes, comment and record-end marks,
// in columns narrower than their names; a missing time (the fill value and
// NaN) beside the time variable's FILLVAL; the kinds of text; small UINT1
// values whose FILLVAL is not; a value that does not vary, written in
// every record.  Of kAllRecords records, or of none.
KvCDFContents *AllTypes(const std::string &dir, long n)
{
    KvCDFVariable *t = Cycled<double>("time", CDF_EPOCH, {63269805600000.0, kFill, std::nan("")}, n);
    KvVarAttribute &fill = t->attribute[t->num_v_attrs];
    fill.number = t->num_v_attrs++;
    fill.name = KvNewStr("FILLVAL");
    fill.data_type = CDF_EPOCH;
    fill.data = std::malloc(sizeof kFill);
    std::memcpy(fill.data, &kFill, sizeof kFill);
    KvCDFVariable *label = Texts("label", 20, Cycle<std::string>({"with, comma", "bang! and $ end", "say \"hi\""}, n));
    kve_test::TextAttr(label, "FIELDNAM", "x, \"y\" !z");
    long width = 1;
    std::vector<std::string> first, second, all;
    for (const TextKind &k : kTextKinds) {
        width = std::max(width, static_cast<long>(k.text.size()));
        if (n > 0) {
            first.insert(first.end(), {k.text, ""});
            second.insert(second.end(), {k.text, k.text});
        }
        all.push_back(k.text);
    }
    KvCDFVariable *after = Texts("second", width, second);
    for (size_t k = 0; k < kTextKinds.size(); ++k)
        kve_test::TextAttr(after, ("KIND_" + std::to_string(k)).c_str(), kTextKinds[k].text.c_str());
    // Every kind in one DATA line of a variable that does not vary.
    KvCDFVariable *fixed = Texts("fixed", width, all);
    fixed->num_dims = 1;
    fixed->dim_sizes[0] = static_cast<long>(all.size());
    fixed->dim_varys[0] = -1;
    fixed->rec_vary = 0;
    fixed->novary_opt = WRITE_ONCE;
    fixed->max_rec_num = 0;
    KvCDFVariable *small = Cycled<uint8_t>("u1small", CDF_UINT1, {0, 127, 5}, n);
    const uint8_t smallFill = 255;
    KvVarAttribute &sf = small->attribute[small->num_v_attrs];
    sf.number = small->num_v_attrs++;
    sf.name = KvNewStr("FILLVAL");
    sf.data_type = CDF_UINT1;
    sf.data = std::malloc(1);
    std::memcpy(sf.data, &smallFill, 1);
    KvCDFVariable *every = Var<float>("every", CDF_FLOAT, {}, {2.5f}, 1);
    every->rec_vary = 0;
    KvCDFContents *c = DataSet(
        {Texts("first", width, first), after, t, Cycled<int8_t>("i1", CDF_INT1, {-128, 127, -1}, n),
         Cycled<uint8_t>("u1", CDF_UINT1, {0, 255, 200}, n), Cycled<int8_t>("b", CDF_BYTE, {-128, 127, 0}, n),
         Cycled<int16_t>("i2", CDF_INT2, {-32768, 32767, 0}, n),
         Cycled<uint16_t>("u2", CDF_UINT2, {65535, 0, 40000}, n),
         Cycled<int32_t>("i4", CDF_INT4, {INT32_MIN, INT32_MAX, 0}, n),
         Cycled<uint32_t>("u4", CDF_UINT4, {4294967295u, 3000000000u, 0}, n),
         Var<float>("r4", CDF_REAL4, {2}, Cycle<float>({1.5f, -0.0025f, 3e38f, -1e-37f, 0.0f, 7.0f}, 2 * n), n),
         Cycled<double>("d8", CDF_DOUBLE, {1e300, -0.5, 123456.0}, n),
         Texts("quality_flag", 1, Cycle<std::string>({"a", "b", "c"}, n)),
         Cycled<int32_t>("n", CDF_INT4, {1, 2, 3}, n), Texts("f", 1, Cycle<std::string>({"x", ",", "\""}, n)), label,
         fixed, small, every},
        n, dir, "all");
    c->time_var_num = 2;
    KvCreateGlobalTxtAttr(c, "TITLE", "a, b, \"c\"");
    for (const TextKind &k : kTextKinds)
        KvAppendGlobalTxtAttr(c, "KINDS", k.text.c_str());
    // UINT1 entries, one above 127.
    uint8_t bytes[] = {5, 200};
    KvGAttrEntry entry{1, CDF_UINT1, 2, bytes};
    KvGlobalAttribute counts{0, const_cast<char *>("COUNTS"), 1, &entry};
    long index = 0;
    KvCreateGlobalAttr(c, &counts, &index);
    return c;
}

// Value k of a variable as text: integers in decimal, reals with the digits
// that keep them, times as epochs (ISO text read as the reader reads it),
// texts up to their terminator.
std::string Real(double x)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    return buf;
}

// Integer k of integer data of a type, as text.
std::string IntegerText(long type, const void *p, size_t k)
{
    switch (type) {
    case CDF_INT1: case CDF_BYTE: return std::to_string(static_cast<const int8_t *>(p)[k]);
    case CDF_UINT1: return std::to_string(static_cast<const uint8_t *>(p)[k]);
    case CDF_INT2: return std::to_string(static_cast<const int16_t *>(p)[k]);
    case CDF_UINT2: return std::to_string(static_cast<const uint16_t *>(p)[k]);
    case CDF_INT4: return std::to_string(static_cast<const int32_t *>(p)[k]);
    case CDF_UINT4: return std::to_string(static_cast<const uint32_t *>(p)[k]);
    default: return "?";
    }
}

std::string ValueAt(const KvCDFVariable *v, size_t k)
{
    const void *p = v->data;
    const auto real = Real;
    switch (v->data_type) {
    case CDF_INT1: case CDF_BYTE: case CDF_UINT1: case CDF_INT2: case CDF_UINT2: case CDF_INT4: case CDF_UINT4:
        return IntegerText(v->data_type, p, k);
    case CDF_REAL4: case CDF_FLOAT: return real(static_cast<const float *>(p)[k]);
    case CDF_REAL8: case CDF_DOUBLE: case CDF_EPOCH: return real(static_cast<const double *>(p)[k]);
    case ISO_TIME: {
        const char *s = static_cast<const char *>(p) + k * static_cast<size_t>(v->num_elems);
        return real(KvISOStringToEpoch(std::string(s, strnlen(s, static_cast<size_t>(v->num_elems))).c_str()));
    }
    default: {
        const char *s = static_cast<const char *>(p) + k * static_cast<size_t>(v->num_elems);
        return std::string(s, strnlen(s, static_cast<size_t>(v->num_elems)));
    }
    }
}

// A time attribute as an epoch, however the format carried it.
double AttrEpoch(const KvVarAttribute &a)
{
    return a.data_type == CDF_EPOCH ? *static_cast<const double *>(a.data)
                                    : KvISOStringToEpoch(static_cast<const char *>(a.data));
}

// A format, and the records of the data set (kAllRecords, or none).
class EveryType : public testing::TestWithParam<std::tuple<Format, long>> {};

// The name of the text kind a value of a text variable holds.
std::string KindAt(const KvCDFVariable *v, size_t k)
{
    const std::string name = v->name;
    if (name == "fixed")
        return kTextKinds[k].name;
    if (name == "first" || name == "second")
        return std::string(kTextKinds[k / 2].name) + (name == "first" && k % 2 == 1 ? " (blank)" : "");
    return "";
}

TEST_P(EveryType, ReadsBackAsWritten)
{
    const auto [format, records] = GetParam();
    TempDir dir;
    ContentsPtr given(AllTypes(dir.str(), records));
    ContentsPtr c(AllTypes(dir.str(), records));
    std::string said;
    ASSERT_EQ(0, WriteAs(format, c.get(), dir, &said)) << said;
    if (IsCdf(format)) {
        std::string error;
        const auto dump = kve_test::JcdfDump(dir.file("all.cdf"), &error);
        ASSERT_TRUE(dump) << error;
        EXPECT_EQ(*dump, kve_test::KcdfDump(dir.file("all.cdf"), &error).value_or(error));
        if (records == 0) {
            // No record is made up: every variable that varies has none.
            for (long i = 0; i < given->n_vars; ++i) {
                const KvCDFVariable *v = given->vardata[i];
                const size_t at = dump->find(std::string("var ") + v->name + " ");
                ASSERT_NE(std::string::npos, at) << v->name << *dump;
                const std::string line = dump->substr(at, dump->find('\n', at) - at);
                EXPECT_TRUE(line.ends_with(v->rec_vary != 0 ? " records=0" : " records=1")) << line;
            }
            return;  // read back, each would get CDF's one virtual record
        }
        // jcdf sees the time variable's FILLVAL as the value its missing
        // times carry.
        const std::string fill = kve_test::CdfItems(CDF_EPOCH, 1, reinterpret_cast<const unsigned char *>(&kFill), 1);
        const size_t at = dump->find("var time EPOCH");
        ASSERT_NE(std::string::npos, at) << *dump;
        const std::string time = dump->substr(at, dump->find("\nvar ", at) + 1 - at);
        for (const std::string &line : {"\n  rec 1 " + fill + "\n", "\n  attr FILLVAL EPOCH " + fill + "\n"})
            EXPECT_NE(std::string::npos, time.find(line)) << line << time;
    }
    ContentsPtr back(KvMakeCDFContentsObj());
    ASSERT_STATUS(0, ReadBack(format, dir, "all", back.get()));
    ASSERT_EQ(records, back->n_recs);
    for (long i = 0; i < given->n_vars; ++i) {
        const KvCDFVariable *v = given->vardata[i];
        const KvCDFVariable *r = Named(back.get(), v->name);
        ASSERT_NE(nullptr, r) << v->name;
        size_t values = v->rec_vary != 0 ? static_cast<size_t>(records) : 1;  // every value of every dimension
        for (long d = 0; d < v->num_dims; ++d)
            values *= static_cast<size_t>(v->dim_sizes[d]);
        for (size_t k = 0; k < values; ++k) {
            std::string expected = ValueAt(v, k);
            // A missing time is the fill value in every text format.
            if (v->data_type == CDF_EPOCH && format != Format::Cdf && !(static_cast<const double *>(v->data)[k] >= 0))
                expected = Real(kFill);
            EXPECT_EQ(expected, ValueAt(r, k)) << v->name << " value " << k << " " << KindAt(v, k);
        }
    }
    const KvVarAttribute &fill = Named(back.get(), "time")->attribute[0];
    ASSERT_STREQ("FILLVAL", fill.name);
    EXPECT_EQ(kFill, AttrEpoch(fill));
    const KvVarAttribute &fieldnam = Named(back.get(), "label")->attribute[0];
    EXPECT_STREQ("x, \"y\" !z", static_cast<const char *>(fieldnam.data));
    const KvVarAttribute &smallFill = Named(back.get(), "u1small")->attribute[0];
    ASSERT_STREQ("FILLVAL", smallFill.name);
    EXPECT_EQ("255", IntegerText(smallFill.data_type, smallFill.data, 0));
    long title = -1, counts = -1, kinds = -1;
    ASSERT_NE(nullptr, KvFindGlobalAttr(back.get(), "TITLE", &title));
    ASSERT_NE(nullptr, KvFindGlobalAttr(back.get(), "COUNTS", &counts));
    ASSERT_NE(nullptr, KvFindGlobalAttr(back.get(), "KINDS", &kinds));
    const KvGAttrEntry &entry = back->g_attr[title]->entry[0];
    EXPECT_EQ("a, b, \"c\"", std::string(static_cast<const char *>(entry.data), static_cast<size_t>(entry.num_elems)));
    const KvGAttrEntry &bytes = back->g_attr[counts]->entry[0];
    ASSERT_EQ(2, bytes.num_elems);
    EXPECT_EQ("5 200", IntegerText(bytes.data_type, bytes.data, 0) + " " + IntegerText(bytes.data_type, bytes.data, 1));
    // Every kind of text as an attribute of a variable and as a global entry.
    const KvCDFVariable *second = Named(back.get(), "second");
    ASSERT_EQ(static_cast<long>(kTextKinds.size()), second->num_v_attrs);
    ASSERT_EQ(static_cast<long>(kTextKinds.size()), back->g_attr[kinds]->num_entries);
    for (size_t k = 0; k < kTextKinds.size(); ++k) {
        const KvGAttrEntry &e = back->g_attr[kinds]->entry[k];
        const char *text = static_cast<const char *>(e.data);
        EXPECT_EQ("KIND_" + std::to_string(k), second->attribute[k].name);
        EXPECT_EQ(kTextKinds[k].text, static_cast<const char *>(second->attribute[k].data))
            << "attribute of " << kTextKinds[k].name;
        EXPECT_EQ(kTextKinds[k].text, std::string(text, strnlen(text, static_cast<size_t>(e.num_elems))))
            << "entry of " << kTextKinds[k].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryType,
                         testing::Combine(testing::Values(Format::Cdf, Format::Cef1, Format::Cef2, Format::Delimited,
                                                          Format::Tabular, Format::DelimitedByBlanks, Format::Detached,
                                                          Format::Cef2ThenCdf),
                                          testing::Values(kAllRecords, 0L)),
                         [](const testing::TestParamInfo<std::tuple<Format, long>> &info) {
                             return std::string(kFormatNames[static_cast<int>(std::get<0>(info.param))]) +
                                    (std::get<1>(info.param) == 0 ? "Empty" : "");
                         });

// The time conversions of the writers turn every value of every dimension.
TEST(KveCdfWriter, TimeConversionsTurnEveryValue)
{
    TempDir dir;
    const std::vector<double> epochs = {63269805600000.0, 63269805600000.0, 63269805604000.0, 63269805604000.0};
    KvCDFVariable *v = Var<double>("t", CDF_EPOCH, {2}, epochs, 2);
    v->dim_varys[0] = 0;
    SetBlock(v, Block::ShrunkFromLarge, epochs);
    ContentsPtr c(DataSet({v}, 2, dir.str(), "conv"));
    EXPECT_EQ(0, KvRemoveEpoch(c.get()));
    ASSERT_EQ(ISO_TIME, v->data_type);
    EXPECT_EQ((std::vector<std::string>{kT0, kT0, kT1, kT1}), ValueTexts(v, 4));
    EXPECT_EQ(0, KvRemoveISO_TIME(c.get()));
    ASSERT_EQ(CDF_EPOCH, v->data_type);
    const auto *back = static_cast<const double *>(v->data);
    EXPECT_EQ(epochs, std::vector<double>(back, back + 4));
}

// ---- Failed exports say which file and why --------------------------------------

struct FileFailure {
    const char *name;
    Format format;
    std::function<std::string(const TempDir &)> folder;  // "" skips the case
    int status;
    const char *said;  // KvLastFileError: what, then the path, then the reason
    const char *reason;
    // What the small data set gains: what no reader would take back.
    std::function<void(KvCDFContents *)> added = nullptr;
};

void PrintTo(const FileFailure &f, std::ostream *os) { *os << f.name; }

class ExportFailures : public testing::TestWithParam<FileFailure> {};

// Holds writes to files below a size for the life of the object, as a
// full disk would hold them; SIGXFSZ is ignored meanwhile, so that the
// write fails with EFBIG instead.
struct FileSizeLimit {
    rlimit saved{};
    void (*handler)(int);
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
};

TEST_P(ExportFailures, NameTheFileAndTheSystemsReason)
{
    const FileFailure &f = GetParam();
    TempDir dir;
    const std::string folder = f.folder(dir);
    if (folder.empty())
        GTEST_SKIP() << "not possible here (root writes into read-only folders; no /dev/full)";
    ContentsPtr c(Small(folder, "out"));
    if (f.added)
        f.added(c.get());
    std::string said;
    {
        std::optional<FileSizeLimit> limit;
        if (std::string(f.name).starts_with("CdfFull"))
            limit.emplace(2000);  // the empty CDF fits, the data set does not
        EXPECT_STATUS(f.status, WriteAs(f.format, c.get(), dir, &said));
    }
    const std::string path = folder + "/out" + kExtensions[static_cast<int>(f.format)];
    EXPECT_EQ(std::string(f.said) + " " + path + ": " + f.reason, KvLastFileError());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(!std::string(f.name).starts_with("FlatFull") || std::filesystem::exists("/dev/full"));
}

std::string Missing(const TempDir &dir) { return dir.file("missing"); }
std::string FileInPlace(const TempDir &dir)
{
    kombra_test::WriteFile(dir.file("plain"), "");
    return dir.file("plain");
}
std::string ReadOnly(const TempDir &dir)
{
    if (geteuid() == 0)
        return "";
    std::filesystem::create_directory(dir.file("ro"));
    std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    return dir.file("ro");
}
// A folder whose output file is a link to /dev/full: it opens, and every
// write to it fails for want of space.
std::string FullDisk(const TempDir &dir)
{
    if (!std::filesystem::exists("/dev/full"))
        return "";
    std::filesystem::create_directory(dir.file("full"));
    for (const char *extn : {".cef", ".qfd", ".qft"})
        std::filesystem::create_symlink("/dev/full", dir.file(std::string("full/out") + extn));
    return dir.file("full");
}
std::string Plain(const TempDir &dir)
{
    std::filesystem::create_directory(dir.file("plain"));
    return dir.file("plain");
}

// The small data set gains the variable that `make` gives.
std::function<void(KvCDFContents *)> Adding(KvCDFVariable *(*make)())
{
    return [make](KvCDFContents *c) {
        KvCDFVariable **vars = KvMakeKvVariablePtrs(c->n_vars + 1);
        std::copy(c->vardata, c->vardata + c->n_vars, vars);
        std::free(c->vardata);
        c->vardata = vars;
        c->vardata[c->n_vars] = make();
        c->vardata[c->n_vars]->number = c->n_vars;
        ++c->n_vars;
    };
}

// Texts wider than a MAXSTRLEN a reader takes; a text, and numbers, whose
// record line passes the physical lines a reader takes; an attribute, a
// global entry and the values of a variable that does not vary whose line
// does; a shape of more values than memory holds.
KvCDFVariable *WideTexts() { return Texts("long", 70000, {"a", "b"}); }
KvCDFVariable *LongText() { return Texts("long", 1100000, {"short", std::string(1100000, 'x')}); }
KvCDFVariable *ManyNumbers() { return Var<double>("long", CDF_DOUBLE, {200000}, std::vector<double>(400000, 1e300), 2); }
KvCDFVariable *LongAttribute()
{
    KvCDFVariable *v = Var<float>("long", CDF_FLOAT, {}, {1.0f, 2.0f}, 2);
    kve_test::TextAttr(v, "CATDESC", std::string(1100000, 'x').c_str());
    return v;
}
void LongEntry(KvCDFContents *c) { KvCreateGlobalTxtAttr(c, "NOTE", std::string(1100000, 'x').c_str()); }
KvCDFVariable *ManyFixedNumbers()
{
    KvCDFVariable *v = Var<double>("long", CDF_DOUBLE, {200000}, std::vector<double>(200000, 1e300), 1);
    v->rec_vary = 0;
    v->novary_opt = WRITE_ONCE;
    return v;
}
KvCDFVariable *Huge() { return Var<double>("huge", CDF_DOUBLE, {1L << 40, 1L << 40}, {1.0}, 2); }

INSTANTIATE_TEST_SUITE_P(
    Table, ExportFailures,
    testing::Values(
        FileFailure{"FlatFolderMissing", Format::Cef2, Missing, KV_FILE_OPEN, "Cannot open", "No such file or directory"},
        FileFailure{"FlatFolderIsAFile", Format::Tabular, FileInPlace, KV_FILE_OPEN, "Cannot open", "Not a directory"},
        FileFailure{"FlatFolderReadOnly", Format::Delimited, ReadOnly, KV_FILE_OPEN, "Cannot open",
                    "Permission denied"},
        FileFailure{"FlatFullDiskCef2", Format::Cef2, FullDisk, KV_FILE_OPEN, "Cannot write",
                    "No space left on device"},
        FileFailure{"FlatFullDiskTable", Format::Tabular, FullDisk, KV_FILE_OPEN, "Cannot write",
                    "No space left on device"},
        FileFailure{"CdfFolderMissing", Format::Cdf, Missing, KV_CDF_OPEN, "Cannot open", "No such file or directory"},
        FileFailure{"CdfFolderReadOnly", Format::Cdf, ReadOnly, KV_CDF_OPEN, "Cannot open", "Permission denied"},
        FileFailure{"CdfFullDisk", Format::Cdf, Plain, KV_DATA_WRITE, "Cannot write", "File too large"},
        FileFailure{"FlatTextsWiderThanAReaderTakes", Format::Cef1, Plain, KV_BAD_TYPE, "Cannot write",
                    "variable long holds texts of 70000 characters, more than the 65536 a reader takes",
                    Adding(WideTexts)},
        FileFailure{"FlatLineLongerThanAReaderTakes", Format::Cef2, Plain, KV_BAD_TYPE, "Cannot write",
                    "variable long record 1: the record's line passes the 1048576 characters a reader takes",
                    Adding(LongText)},
        FileFailure{"TableLineLongerThanAReaderTakes", Format::Delimited, Plain, KV_BAD_TYPE, "Cannot write",
                    "variable long record 0: the record's line passes the 1048576 characters a reader takes",
                    Adding(ManyNumbers)},
        FileFailure{"AttributeLongerThanAReaderTakes", Format::Cef1, Plain, KV_BAD_TYPE, "Cannot write",
                    "variable long attribute CATDESC: its line passes the 1048576 characters a reader takes",
                    Adding(LongAttribute)},
        FileFailure{"EntryLongerThanAReaderTakes", Format::Tabular, Plain, KV_BAD_TYPE, "Cannot write",
                    "global attribute NOTE entry 0: its line passes the 1048576 characters a reader takes",
                    LongEntry},
        FileFailure{"DataLineLongerThanAReaderTakes", Format::Cef2, Plain, KV_BAD_TYPE, "Cannot write",
                    "variable long: its DATA line passes the 1048576 characters a reader takes",
                    Adding(ManyFixedNumbers)},
        // The shape of the data is what the data set says; one of more
        // values than memory holds is refused.
        FileFailure{"CdfShapeBeyondMemory", Format::Cdf, Plain, KV_DATA_WRITE, "Cannot write",
                    "variable huge: its shape passes what memory holds", Adding(Huge)},
        FileFailure{"FlatShapeBeyondMemory", Format::Delimited, Plain, KV_VAR_NO_DATA, "Cannot write",
                    "variable huge: its shape passes what memory holds", Adding(Huge)}),
    [](const testing::TestParamInfo<FileFailure> &info) { return std::string(info.param.name); });

}  // namespace
