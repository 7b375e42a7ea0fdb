// The exchange library's readers: our own tables and CEF files read back in
// every layout, hand-written CEF 2 files in the form archive files take,
// header and record faults, reads that store no record, free-format times, the CEF structure check and
// the CDF reader over our files and those of other writers.
#include "kve_builders.h"
#include "kve_cdf.h"
#include "kve_flat.h"
#include "kve_read_int.h"
#include "support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

using kombra_test::TempDir;
using kve_test::DataSet;
using kve_test::TextAttr;
using kve_test::Var;

struct Read {
    KvCDFContents *c = KvMakeCDFContentsObj();
    KvOptions *o = KvMakeOptionsObj();
    ~Read()
    {
        KvFreeCDFContentsObj(c);
        KvFreeOptionsObj(o);
    }
    int From(const std::string &dir, const char *stem, char *extn)
    {
        c->io_f_path = KvNewStr((dir + "/").c_str());
        c->io_f_name = KvNewStr(stem);
        c->io_f_extn = extn;
        return KvGetCSDSgenFlat(c, o);
    }
    int From(const std::string &dir, const char *stem, const char *extn)
    {
        std::strcpy(o->EXTN_CDF, extn);  // a spare array of the options record
        return From(dir, stem, o->EXTN_CDF);
    }
    KvCDFVariable *Var(const char *name) const
    {
        const long i = KvGetVarByName(c, name);
        return i < 0 ? nullptr : c->vardata[i];
    }
    const KvVarAttribute *Attr(const char *var, const char *name) const
    {
        const KvCDFVariable *v = Var(var);
        for (long a = 0; v != nullptr && a < v->num_v_attrs; ++a)
            if (std::strcmp(v->attribute[a].name, name) == 0)
                return &v->attribute[a];
        return nullptr;
    }
};

template <typename T>
T At(const void *data, long i)
{
    T value;
    std::memcpy(&value, static_cast<const char *>(data) + i * static_cast<long>(sizeof(T)), sizeof(T));
    return value;
}

template <typename T>
T At(const KvCDFVariable *v, long i)
{
    return At<T>(v->data, i);
}

std::string Slot(const KvCDFVariable *v, long i)
{
    const char *p = static_cast<const char *>(v->data) + i * v->num_elems;
    return std::string(p, strnlen(p, static_cast<size_t>(v->num_elems)));
}

const double kT0 = 63269805600000.0;  // 2004-12-09T10:00:00.000

// Three records: times, a 2x3 float array, a short, a text and a
// fixed double that does not vary.
KvCDFContents *Sample(const std::string &dir)
{
    KvCDFVariable *fixed = Var<double>("gain", CDF_DOUBLE, {2}, {1.5, -2.25}, 1);
    fixed->rec_vary = 0;
    fixed->novary_opt = WRITE_ONCE;
    fixed->max_rec_num = 0;
    KvCDFVariable *psd = Var<float>("psd", CDF_FLOAT, {2, 3}, {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15,
                                                               -1e-3f, 2e5f, 7, 8, 9, 0.5f}, 3);
    TextAttr(psd, "UNITS", "s^3/km^6");
    TextAttr(psd, "DEPEND_0", "time");
    KvCDFVariable *label = Var<char>("label", CDF_CHAR, {}, std::vector<char>{'a', 'b', 'c', 'd', 'x', 'y', 'z', 'w', 'q', 'r', 's', 't'}, 3);
    label->num_elems = 4;
    KvCDFContents *c = DataSet({Var<double>("time", CDF_EPOCH, {}, {kT0, kT0 + 4000.5, kT0 + 8000}, 3), psd,
                                Var<int16_t>("count", CDF_INT2, {}, {-7, 300, 32767}, 3), label, fixed},
                               3, dir, "sample");
    return c;
}

struct Layout {
    const char *name;
    KvSOptions_f_type type;
    KvSOptions_header header;
    KvSOptions_rec_num numbering;
};

void PrintTo(const Layout &l, std::ostream *os) { *os << l.name; }

class FlatRoundTrip : public testing::TestWithParam<Layout> {};

TEST_P(FlatRoundTrip, WhatTheWriterWroteReadsBack)
{
    TempDir dir;
    KvCDFContents *c = Sample(dir.str());
    KvOptions *w = KvMakeOptionsObj();
    w->f_type = GetParam().type;
    w->header = GetParam().header;
    w->rec_numbering = GetParam().numbering;
    if (GetParam().type == CAA)
        w->data_delim = ',';  // CEF 2 records are comma-separated
    ASSERT_EQ(0, KvWriteCSDSgenFlat(c, w));
    const std::string extn = c->io_f_extn;
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(w);

    Read r;
    r.o->header = GetParam().header;
    EXPECT_STATUS(0, r.From(dir.str(), "sample", extn.c_str()));
    EXPECT_EQ(GetParam().type, r.o->f_type);
    ASSERT_EQ(5, r.c->n_vars);
    ASSERT_EQ(3, r.c->n_recs);
    const KvCDFVariable *time = r.Var("time");
    ASSERT_NE(nullptr, time);
    EXPECT_EQ(0, r.c->time_var_num);
    if (GetParam().type == CAA) {
        // CEF 2 carries times as ISO text.
        EXPECT_EQ(ISO_TIME, time->data_type);
        EXPECT_EQ("2004-12-09T10:00:04.001Z", Slot(time, 1));
    } else {
        EXPECT_EQ(CDF_EPOCH, time->data_type);
        EXPECT_DOUBLE_EQ(kT0 + 4001.0, At<double>(time, 1));  // written to the nearest millisecond
        EXPECT_DOUBLE_EQ(kT0 + 8000.0, At<double>(time, 2));
    }
    const KvCDFVariable *psd = r.Var("psd");
    ASSERT_NE(nullptr, psd);
    EXPECT_EQ(2, psd->num_dims);
    EXPECT_EQ(3, psd->dim_sizes[1]);
    EXPECT_EQ(2, psd->max_rec_num);
    EXPECT_FLOAT_EQ(2e5f, At<float>(psd, 13));
    EXPECT_FLOAT_EQ(0.5f, At<float>(psd, 17));
    EXPECT_FLOAT_EQ(-1e-3f, At<float>(psd, 12));
    ASSERT_NE(nullptr, r.Attr("psd", "UNITS"));
    EXPECT_STREQ("s^3/km^6", static_cast<const char *>(r.Attr("psd", "UNITS")->data));
    const KvCDFVariable *count = r.Var("count");
    EXPECT_EQ(32767, At<int32_t>(count, 2));  // INT is read as a 4-byte integer
    const KvCDFVariable *label = r.Var("label");
    EXPECT_EQ(CDF_CHAR, label->data_type);
    EXPECT_EQ("xyzw", Slot(label, 1).substr(0, 4));
    const KvCDFVariable *gain = r.Var("gain");
    EXPECT_EQ(0, gain->rec_vary);
    EXPECT_DOUBLE_EQ(-2.25, At<double>(gain, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FlatRoundTrip,
    testing::Values(Layout{"Tabular", TABULAR, ATTACHED, NUM_OFF}, Layout{"TabularNumbered", TABULAR, ATTACHED, NUM_ON},
                    Layout{"Delimited", DELIMITED, ATTACHED, NUM_ON},
                    Layout{"DelimitedDetached", DELIMITED, DETACHED, NUM_OFF},
                    Layout{"Cef1", EXCHANGE, ATTACHED, NUM_OFF}, Layout{"Cef2", CAA, ATTACHED, NUM_OFF}),
    [](const testing::TestParamInfo<Layout> &info) { return std::string(info.param.name); });

// A CEF 2 file as archives write them: a header in an included .ceh file,
// quoted texts holding ',' and '!', '$' record ends, comments among the
// records, continuation lines, ISO time ranges and no newline at the end.
const char *kCeh =
    "START_VARIABLE = time_tags\n"
    "  VALUE_TYPE = ISO_TIME\n"
    "  UNITS = \"s\"\n"
    "END_VARIABLE = time_tags\n"
    "START_VARIABLE = range\n"
    "  VALUE_TYPE = ISO_TIME_RANGE\n"
    "END_VARIABLE = range\n"
    "START_VARIABLE = B_xyz_gse\n"
    "  SIZES = 3\n"
    "  VALUE_TYPE = FLOAT\n"
    "  FILLVAL = -1.0E31\n"
    "  LABLAXIS = \"B, total!\", \\\n"
    "             \"second\"\n"
    "  DEPEND_0 = time_tags\n"
    "END_VARIABLE = B_xyz_gse\n"
    "START_VARIABLE = note\n"
    "  VALUE_TYPE = CHAR\n"
    "END_VARIABLE = note\n";

const char *kCef =
    "!@.cef2@archive\n"
    "FILE_NAME = \"CLUSTER-1_HALDE_TEST.cef\"\n"
    "FILE_FORMAT_VERSION = \"CEF-2.0\"\n"
    "END_OF_RECORD_MARKER = \"$\"\n"
    "include = \"c1_test.ceh\"\n"
    "START_META = LOGICAL_FILE_ID\n"
    "   ENTRY = \"CLUSTER-1_HALDE_TEST\"\n"
    "END_META = LOGICAL_FILE_ID\n"
    "START_META = Generation_date\n"
    "   VALUE_TYPE = ISO_TIME\n"
    "   ENTRY = 2004-12-09T10:00:00Z\n"
    "END_META = Generation_date\n"
    "DATA_UNTIL = EOF\n"
    "2004-12-09T10:00:00.000Z, 2004-12-09T10:00:00Z/2004-12-09T10:00:04Z, 1.5, -2, 3.5 , \"a, b! c\"$\n"
    "! a comment among the records\n"
    "2004-12-09T10:00:04.000Z, 2004-12-09T10:00:04Z/2004-12-09T10:00:08Z,\n"
    "   4, 5, 6, \"two\"$\n"
    "2004-12-09T10:00:08.000Z, 2004-12-09T10:00:08Z/2004-12-09T10:00:12Z, 7, 8, 9, \"last\"$";

TEST(KveCef2Reader, ArchiveFormWithIncludesAndDollarRecordEnds)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("c1_test.ceh"), kCeh);
    kombra_test::WriteFile(dir.file("CLUSTER-1_HALDE_TEST.cef"), kCef);
    Read r;
    r.o->f_type = TABULAR;  // the magic line wins
    EXPECT_STATUS(0, r.From(dir.str(), "CLUSTER-1_HALDE_TEST", ".cef"));
    EXPECT_EQ(CAA, r.o->f_type);
    EXPECT_EQ('$', r.o->rec_end);
    ASSERT_EQ(4, r.c->n_vars);
    EXPECT_EQ(3, r.c->n_recs);
    const KvCDFVariable *b = r.Var("B_xyz_gse");
    ASSERT_NE(nullptr, b);
    EXPECT_FLOAT_EQ(3.5f, At<float>(b, 2));
    EXPECT_FLOAT_EQ(9.0f, At<float>(b, 8));
    EXPECT_EQ(2, b->max_rec_num);
    const KvVarAttribute *fill = r.Attr("B_xyz_gse", "FILLVAL");
    ASSERT_NE(nullptr, fill);
    EXPECT_EQ(CDF_FLOAT, fill->data_type);
    const KvVarAttribute *lab = r.Attr("B_xyz_gse", "LABLAXIS");
    ASSERT_NE(nullptr, lab);
    ASSERT_EQ(2, lab->num_elems);
    EXPECT_STREQ("B, total!", static_cast<const char *>(lab->data));
    EXPECT_STREQ("second", static_cast<const char *>(lab->data) + std::strlen("B, total!") + 1);
    EXPECT_EQ(CDF_CHAR, r.Attr("B_xyz_gse", "DEPEND_0")->data_type);
    const KvCDFVariable *note = r.Var("note");
    EXPECT_EQ("a, b! c", Slot(note, 0));
    EXPECT_EQ("two", Slot(note, 1));
    EXPECT_EQ("last", Slot(note, 2));
    EXPECT_EQ("2004-12-09T10:00:08.000Z", Slot(r.Var("time_tags"), 2).substr(0, 24));
    ASSERT_EQ(2, r.c->num_g_attrs);
    EXPECT_STREQ("CLUSTER-1_HALDE_TEST", static_cast<const char *>(r.c->g_attr[0]->entry[0].data));
    EXPECT_EQ(ISO_TIME, r.c->g_attr[1]->entry[0].data_type);
}

// ---- Hand-written CEF 2 files ---------------------------------------------------

// Five records of a time, an INT, a BYTE, a FLOAT pair and a text.
const char *kHand =
    "!@.cef2@hand\n"
    "FILE_FORMAT_VERSION = \"CEF-2.0\"\n"
    "END_OF_RECORD_MARKER = \"$\"\n"
    "START_VARIABLE = time\n  VALUE_TYPE = ISO_TIME\nEND_VARIABLE = time\n"
    "START_VARIABLE = n\n  VALUE_TYPE = INT\nEND_VARIABLE = n\n"
    "START_VARIABLE = b\n  VALUE_TYPE = BYTE\nEND_VARIABLE = b\n"
    "START_VARIABLE = x\n  SIZES = 2\n  VALUE_TYPE = FLOAT\nEND_VARIABLE = x\n"
    "START_VARIABLE = note\n  VALUE_TYPE = CHAR\nEND_VARIABLE = note\n"
    "DATA_UNTIL = End_of_Data\n"
    "2004-12-09T10:00:00Z, 1, 1, 1.5, 2.5, \"one\"$\n"
    "2004-12-09T10:00:04Z, 2, 2, 1.5, 2.5, \"two\"$\n"
    "2004-12-09T10:00:08Z, 3, 3, 1.5, 2.5, \"three\"$\n"
    "2004-12-09T10:00:12Z, 4, 4, 1.5, 2.5, \"four\"$\n"
    "2004-12-09T10:00:16Z, 5, 5, 1.5, 2.5, \"five\"$\n"
    "End_of_Data\n";

// The INT and BYTE values of the first three records of kHand.
const char *const kFirstThreeRecords = " 1, 1, 1.5, 2.5, \"one\"$\n2004-12-09T10:00:04Z, 2, 2, 1.5, 2.5, \"two\"$\n"
                                       "2004-12-09T10:00:08Z, 3, 3,";

// The file with one text replaced; what the read gives; what reaches the
// user through the host's alert box (once); the INT values stored; the BYTE
// values stored, a line of the library's messages, the integer attributes
// of n and integer entries ("n.NAME=v v;META=v v"), a part of the texts
// read (TextItems), the first record asked for, a text the alert box must
// not show, and the megabytes the read may take at most (measured in a
// child process).
struct HandCase {
    const char *name;
    std::string find, replace;
    int status;
    long stored;
    const char *alert;
    const char *ints;
    const char *bytes = nullptr;
    const char *said = nullptr;
    const char *numbers = nullptr;
    std::string texts = "";
    long first = -1;
    const char *unalerted = nullptr;
    long megabytes = 0;
};

// The integer attributes of n and the integer global entries of a read.
std::string IntegerItems(const Read &r)
{
    auto values = [](long type, const void *data, long n) {
        std::string out;
        for (long i = 0; i < n; ++i)
            out += (i > 0 ? " " : "") + (type == CDF_UINT4 ? std::to_string(At<uint32_t>(data, i))
                                                           : std::to_string(At<int32_t>(data, i)));
        return out;
    };
    std::string out;
    const KvCDFVariable *n = r.Var("n");
    for (long a = 0; n != nullptr && a < n->num_v_attrs; ++a)
        if (n->attribute[a].data_type == CDF_INT4 || n->attribute[a].data_type == CDF_UINT4)
            out += std::string(out.empty() ? "" : ";") + "n." + n->attribute[a].name + "=" +
                   values(n->attribute[a].data_type, n->attribute[a].data, n->attribute[a].num_elems);
    for (long g = 0; g < r.c->num_g_attrs; ++g) {
        std::string entries;
        for (long e = 0; e < r.c->g_attr[g]->num_entries; ++e) {
            const KvGAttrEntry &entry = r.c->g_attr[g]->entry[e];
            if (entry.exists == 1 && (entry.data_type == CDF_INT4 || entry.data_type == CDF_UINT4))
                entries += (entries.empty() ? "" : " ") + values(entry.data_type, entry.data, entry.num_elems);
        }
        if (!entries.empty())
            out += std::string(out.empty() ? "" : ";") + r.c->g_attr[g]->name + "=" + entries;
    }
    return out;
}

// The texts of a read: the values of note, then each text attribute of
// each variable, then each text entry ("note=a|b;var.NAME=t;META=t").
std::string TextItems(const Read &r)
{
    std::string out = "note=";
    const KvCDFVariable *note = r.Var("note");
    for (long i = 0; note != nullptr && i < r.c->n_recs; ++i)
        out += (i > 0 ? "|" : "") + Slot(note, i);
    for (long i = 0; i < r.c->n_vars; ++i) {
        const KvCDFVariable *v = r.c->vardata[i];
        for (long a = 0; a < v->num_v_attrs; ++a)
            if (v->attribute[a].data_type == CDF_CHAR)
                out += std::string(";") + v->name + "." + v->attribute[a].name + "=" +
                       static_cast<const char *>(v->attribute[a].data);
    }
    for (long g = 0; g < r.c->num_g_attrs; ++g)
        for (long e = 0; e < r.c->g_attr[g]->num_entries; ++e)
            if (r.c->g_attr[g]->entry[e].data_type == CDF_CHAR)
                out += std::string(";") + r.c->g_attr[g]->name + "=" +
                       static_cast<const char *>(r.c->g_attr[g]->entry[e].data);
    return out;
}

// n copies of a line.
std::string Repeated(int n, const std::string &line)
{
    std::string out;
    while (n-- > 0)
        out += line;
    return out;
}

// Global attribute blocks M0 .. M(n-1), one entry each.
std::string MetaBlocks(int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += "START_META = M" + std::to_string(i) + "\n  ENTRY = \"m\"\nEND_META = M" + std::to_string(i) + "\n";
    return out;
}

// Megabytes by which reading dir/hand.cef raises the peak memory of a
// child process that does nothing else; -1 when it cannot be measured.
long ReadMegabytes(const std::string &dir)
{
    const pid_t child = ::fork();
    if (child == 0) {
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        {
            Read r;
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            r.From(dir, "hand", ".cef");
        }
        ::getrusage(RUSAGE_SELF, &after);
        ::_exit(static_cast<int>(std::min(250L, (after.ru_maxrss - before.ru_maxrss) / 1024)));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

void PrintTo(const HandCase &c, std::ostream *os) { *os << c.name; }

class HandWritten : public testing::TestWithParam<HandCase> {};

TEST_P(HandWritten, StoresWhatTheFileHoldsOrSaysWhyNot)
{
    const HandCase &k = GetParam();
    TempDir dir;
    std::string text = kHand;
    const size_t at = text.find(k.find);
    ASSERT_NE(std::string::npos, at);
    text.replace(at, k.find.size(), k.replace);
    kombra_test::WriteFile(dir.file("hand.cef"), text);
    if (k.megabytes > 0) {
        const long used = ReadMegabytes(dir.str());
        EXPECT_GE(used, 0);
        EXPECT_LE(used, k.megabytes);
    }
    Read r;
    r.o->Nstart = k.first;
    FILE *messages = std::fopen(dir.file("messages").c_str(), "w");
    r.o->fp_display = messages;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_STATUS(k.status, r.From(dir.str(), "hand", ".cef"));
    testing::internal::GetCapturedStdout();
    const std::string alerted = testing::internal::GetCapturedStderr();
    std::fclose(messages);
    const std::string said = kombra_test::ReadFile(dir.file("messages"));
    if (k.said != nullptr) {
        EXPECT_NE(std::string::npos, said.find(k.said)) << said;
    }
    if (k.numbers != nullptr) {
        EXPECT_EQ(k.numbers, IntegerItems(r));
    }
    const KvCDFVariable *b = r.Var("b");
    std::string bytes;
    for (long i = 0; k.bytes != nullptr && b != nullptr && i < r.c->n_recs; ++i)
        bytes += (i > 0 ? " " : "") + std::to_string(At<int8_t>(b, i));
    if (k.bytes != nullptr) {
        EXPECT_EQ(CDF_INT1, b->data_type);
        EXPECT_EQ(k.bytes, bytes);
    }
    EXPECT_EQ(k.stored, r.c->n_recs);
    if (*k.alert == '\0') {
        EXPECT_EQ("", alerted);
    } else {
        EXPECT_NE(std::string::npos, alerted.find(k.alert)) << alerted;
        EXPECT_EQ(alerted.find(k.alert), alerted.rfind(k.alert)) << alerted;
    }
    if (k.unalerted != nullptr) {
        EXPECT_EQ(std::string::npos, alerted.find(k.unalerted)) << alerted;
    }
    if (!k.texts.empty()) {
        EXPECT_NE(std::string::npos, TextItems(r).find(k.texts)) << TextItems(r).substr(0, 2000);
    }
    const KvCDFVariable *n = r.Var("n");
    std::string ints;
    for (long i = 0; k.ints != nullptr && n != nullptr && i < r.c->n_recs; ++i)
        ints += (i > 0 ? " " : "") + (n->data_type == CDF_UINT4 ? std::to_string(At<uint32_t>(n, i))
                                                                : std::to_string(At<int32_t>(n, i)));
    if (k.ints != nullptr) {
        EXPECT_EQ(k.ints, ints);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HandWritten,
    testing::Values(
        HandCase{"AsWritten", "", "", 0, 5, "", "1 2 3 4 5"},
        // An INT beyond 32 bits is kept in a type that holds it, or its
        // record fails; so does a BYTE beyond 8 bits.
        HandCase{"IntOfUnsigned32Bits", " 2, 2,", " 2147483648, 2,", 0, 5, "", "1 2147483648 3 4 5"},
        HandCase{"IntBeyond32Bits", " 4, 4,", " 99999999999, 4,", 0, 4, "only 4 records read OK out of 5",
                 "1 2 3 5"},
        HandCase{"ByteOf300", " 3, 3,", " 3, 300,", 0, 4, "only 4 records read OK out of 5", "1 2 4 5"},
        // An item that is not wholly a number of its type, and one more
        // value than the variables hold.
        HandCase{"RealWithATail", " 2, 2, 1.5, 2.5,", " 2, 2, 1.5, 2.5x,", 0, 4, "only 4 records read OK", "1 3 4 5"},
        HandCase{"RealInAnInt", " 3, 3,", " 2.7, 3,", 0, 4, "only 4 records read OK", "1 2 4 5"},
        HandCase{"OneValueTooMany", "\"four\"$", "\"four\", 9$", 0, 4, "only 4 records read OK", "1 2 3 5"},
        // Corrupt files.
        HandCase{"NulByte", "\"two\"$", std::string("\"tw\0o\"$", 7), KV_CORRUPT_FILE, 0, "hand.cef line 22", nullptr},
        HandCase{"IncludesItself", "END_OF_RECORD_MARKER", "INCLUDE = \"hand.cef\"\nEND_OF_RECORD_MARKER",
                 KV_CORRUPT_FILE, 0, "hand.cef line 3", nullptr},
        HandCase{"NoEndVariable", "END_VARIABLE = note\n", "", 0, 5, "variable note has no END_VARIABLE",
                 "1 2 3 4 5"},
        HandCase{"QuoteOverTheRecordEnd", "\"two\"$", "\"two$", 0, 5, "hand.cef line 22", "1 2 3 4 5"},
        // A CR inside a quoted text of another writer is lost, not silently.
        HandCase{"CarriageReturnInAText", "\"two\"$", "\"t\rwo\"$", 0, 5,
                 "hand.cef line 22: a control character in a quoted text is dropped", "1 2 3 4 5"},
        // A column turns unsigned only in a record that is kept, and a
        // negative value kept before keeps it signed; records are named by
        // their place in the file, counted from 0.
        HandCase{"NegativeKeepsItSigned", " 2, 2, 1.5, 2.5, \"two\"$\n2004-12-09T10:00:08Z, 3,",
                 " -2, 2, 1.5, 2.5, \"two\"$\n2004-12-09T10:00:08Z, 3000000000,", 0, 4,
                 "only 4 records read OK out of 5", "1 -2 4 5", nullptr,
                 "KVE Error: record 2: '3000000000' is no value of INT (variable n)"},
        HandCase{"UnsignedOnlyInAKeptRecord", " 3, 3, 1.5, 2.5, \"three\"$\n2004-12-09T10:00:12Z, 4,",
                 " 3000000000, 300, 1.5, 2.5, \"three\"$\n2004-12-09T10:00:12Z, -4,", 0, 4,
                 "only 4 records read OK out of 5", "1 2 -4 5", nullptr,
                 "KVE Error: record 2: '300' is no value of BYTE (variable b)"},
        HandCase{"RecordsNamedByTheirPlace", " 2, 2, 1.5, 2.5, \"two\"$\n2004-12-09T10:00:08Z, 3, 3, 1.5, 2.5, \"three\"$",
                 " 2, 200000, 1.5, 2.5, \"two\"$\n2004-12-09T10:00:08Z, 3, 3, 1.5, 2.5x, \"three\"$", 0, 3,
                 "only 3 records read OK out of 5", "1 4 5", nullptr,
                 "KVE Error: record 2: '2.5x' is no value of FLOAT (variable x)"},
        // Errors of records past 20, and line warnings past 20, are
        // counted in one line.
        HandCase{"ManyBadRecords", "\"five\"$\n",
                 "\"five\"$\n" + Repeated(25, "2004-12-09T10:00:20Z, x, 6, 1.5, 2.5, \"bad\"$\n"), 0, 5,
                 "KVE Warning: 5 more warnings and errors of this read not shown", "1 2 3 4 5"},
        HandCase{"ManyQuotesOverLineEnds", "\"five\"$\n",
                 "\"five\"$\n" + Repeated(25, "2004-12-09T10:00:20Z, 6, 6, 1.5, 2.5, \"six$\n"), 0, 30,
                 "KVE Warning: 5 more warnings and errors of this read not shown", nullptr},
        // A delimiter before the record-end mark leaves no value.
        HandCase{"CommaBeforeTheRecordEnd", "\"five\"$", "\"five\", $", 0, 5, "", "1 2 3 4 5"},
        // BYTE items of the previous writer, 128 to 255, are the signed
        // bytes they stand for, said once for each variable.
        HandCase{"BytesOfThePreviousWriter", " 3, 3, 1.5, 2.5, \"three\"$\n2004-12-09T10:00:12Z, 4, 4,",
                 " 3, 156, 1.5, 2.5, \"three\"$\n2004-12-09T10:00:12Z, 4, 200,", 0, 5,
                 "KVE Warning: BYTE items of b above 127 are read as signed bytes (156 as -100)", "1 2 3 4 5",
                 "1 2 -100 -56 5"},
        HandCase{"ByteOf255", " 5, 5,", " 5, 255,", 0, 5, "(255 as -1)", "1 2 3 4 5", "1 2 3 4 -1"},
        // Integer attributes and entries: an item its type cannot hold is
        // named, the rest kept.
        HandCase{"IntAttributeBeyondItsType", "VALUE_TYPE = INT\nEND_VARIABLE = n",
                 "VALUE_TYPE = INT\n  VALIDMAX = 3000000000, -1\n  VALIDMIN = 1, 2\nEND_VARIABLE = n", 0, 5, "",
                 "1 2 3 4 5", nullptr, "KVE Error: VALIDMAX of n: '3000000000' is no value of INT",
                 "n.VALIDMAX=-1;n.VALIDMIN=1 2"},
        HandCase{"EntryBeyondItsType", "START_VARIABLE = time",
                 "START_META = M\n  VALUE_TYPE = INT\n  ENTRY = 7\n  ENTRY = 99999999999\n  ENTRY = 8, 9\n"
                 "END_META = M\nSTART_VARIABLE = time",
                 0, 5, "", "1 2 3 4 5", nullptr, "KVE Error: entry 1 of M: '99999999999' is no value of INT",
                 "M=7 8 9"},
        // An item that is no number leaves the others free to turn unsigned.
        HandCase{"UnsignedBesideAWord", "VALUE_TYPE = INT\nEND_VARIABLE = n",
                 "VALUE_TYPE = INT\n  VALIDMIN = 3000000000, x\nEND_VARIABLE = n", 0, 5, "", "1 2 3 4 5", nullptr,
                 "KVE Error: VALIDMIN of n: 'x' is no value of INT", "n.VALIDMIN=3000000000"},
        // Texts of another writer read as stored, backslashes and all; the
        // escapes of texts are turned back only in files marked as ours.
        HandCase{.name = "ForeignBackslashesInData", .find = "\"two\"$", .replace = "\"C:\\data\\2004\\101.cef\"$",
                 .status = 0, .stored = 5, .alert = "", .ints = "1 2 3 4 5",
                 .texts = "note=one|C:\\data\\2004\\101.cef|three|"},
        HandCase{.name = "ForeignOctalNul", .find = "\"three\"$", .replace = "\"\\000x\"$", .status = 0, .stored = 5,
                 .alert = "", .ints = "1 2 3 4 5", .texts = "note=one|two|\\000x|four"},
        HandCase{.name = "ForeignBackslashesInMetadata", .find = "START_VARIABLE = time\n  VALUE_TYPE = ISO_TIME\n",
                 .replace = "START_META = PATH\n  ENTRY = \"E:\\100\\files\"\nEND_META = PATH\n"
                            "START_VARIABLE = time\n  VALUE_TYPE = ISO_TIME\n  LABLAXIS = \"\\101\\102\"\n",
                 .status = 0, .stored = 5, .alert = "", .ints = "1 2 3 4 5",
                 .texts = "|five;time.LABLAXIS=\\101\\102;PATH=E:\\100\\files"},
        HandCase{.name = "OurMarkedFileTurnsEscapesBack", .find = "!@.cef2@hand\n",
                 .replace = "!@.cef2@hand@octal-escapes\nSTART_META = M\n  ENTRY = \"a\\012b \\134101\"\nEND_META = M\n",
                 .status = 0, .stored = 5, .alert = "", .ints = "1 2 3 4 5", .texts = ";M=a\nb \\101"},
        // Record ends inside quoted texts are no record ends.
        HandCase{.name = "LongTextsHoldingDollars", .find = "\"one\"$",
                 .replace = "\"" + Repeated(7000, "abcdefghi$") + "\"$", .status = 0, .stored = 5, .alert = "",
                 .ints = "1 2 3 4 5", .texts = "note=" + Repeated(7000, "abcdefghi$") + "|two|"},
        // A record before the range asked for decides nothing of a column.
        HandCase{.name = "RangeAfterANegative", .find = kFirstThreeRecords,
                 .replace = " -1, 1, 1.5, 2.5, \"one\"$\n2004-12-09T10:00:04Z, 3000000000, 2, 1.5, 2.5, \"two\"$\n"
                            "2004-12-09T10:00:08Z, 4000000000, 3,",
                 .status = 0, .stored = 4, .alert = "", .ints = "3000000000 4000000000 4 5", .first = 1},
        HandCase{.name = "RangeAfterAnUnsigned", .find = kFirstThreeRecords,
                 .replace = " 3000000000, 1, 1.5, 2.5, \"one\"$\n2004-12-09T10:00:04Z, -1, 2, 1.5, 2.5, \"two\"$\n"
                            "2004-12-09T10:00:08Z, -2, 3,",
                 .status = 0, .stored = 4, .alert = "", .ints = "-1 -2 4 5", .first = 1},
        // What a read drops, it names.
        HandCase{.name = "MoreGlobalBlocksThanARead", .find = "START_VARIABLE = time",
                 .replace = MetaBlocks(203) + "START_VARIABLE = time", .status = 0, .stored = 5,
                 .alert = "KVE Warning: global attributes from M200 on are dropped: a read keeps 200",
                 .ints = "1 2 3 4 5"},
        HandCase{.name = "LineLongerThanAReaderTakes", .find = "START_VARIABLE = time",
                 .replace = "START_META = LONG\n  ENTRY = \"" + std::string(1100000, 'x') +
                            "\"\nEND_META = LONG\nSTART_VARIABLE = time",
                 .status = 0, .stored = 5, .alert = "hand.cef line 5: a line of more than 1048576 characters is cut",
                 .ints = "1 2 3 4 5"},
        // Warnings: one for a text, however many characters it loses; a CR
        // before a line feed is a line end; a read past the cap of its
        // warnings counts them without keeping them.
        HandCase{.name = "CarriageReturnsInAnOpenQuote", .find = "\"two\"$",
                 .replace = "\"t" + std::string(5000000, '\r') + "wo$", .status = 0, .stored = 5,
                 .alert = "hand.cef line 22: a control character in a quoted text is dropped", .ints = "1 2 3 4 5",
                 .megabytes = 30},
        HandCase{.name = "QuoteOverACrLfLineEnd", .find = "\"two\"$\n", .replace = "\"two$\r\n", .status = 0,
                 .stored = 5, .alert = "hand.cef line 22: a quote runs over the end of the line", .ints = "1 2 3 4 5",
                 .unalerted = "control character"}),
    [](const testing::TestParamInfo<HandCase> &info) { return std::string(info.param.name); });

TEST(KveFlatReader, HeaderRulesAndRecordFaults)
{
    TempDir dir;
    struct Case {
        const char *name;
        const char *text;
        int status;
        long records;
    };
    const Case cases[] = {
        // Keys fold case, values do not: FILE_TYPE = T sets nothing.
        {"lower_key", "file_type = t\nSTART_VARIABLE = x\nVALUE_TYPE = float\nEND_VARIABLE = x\nSTART_DATA = 2\n1\n2\n", 0, 2},
        // Two delimiters in a row are one separator; a short line is dropped.
        {"delims", "File_type = d\nData_delimiter = ,\nSTART_VARIABLE = a\nEND_VARIABLE = a\nSTART_VARIABLE = b\n"
                   "END_VARIABLE = b\nStart_data = 3\n1,,2\n3\n4,5\n", 0, 2},
        // More than 10 sizes, a size of 0, a product past the limit.
        {"sizes11", "START_VARIABLE = x\nSIZES = 1,1,1,1,1,1,1,1,1,1,1\nEND_VARIABLE = x\n", 138, 0},
        {"size0", "START_VARIABLE = x\nSIZES = 0\nEND_VARIABLE = x\n", 151, 0},
        {"sizebig", "START_VARIABLE = x\nSIZES = 100000,100000\nEND_VARIABLE = x\n", 151, 0},
        {"maxstrlen", "START_VARIABLE = x\nVALUE_TYPE = CHAR\nMAXSTRLEN = -5\nEND_VARIABLE = x\n", 151, 0},
        {"endname", "START_VARIABLE = x\nEND_VARIABLE = y\n", 157, 0},
        {"timefmt", "START_VARIABLE = t\nVALUE_TYPE = EPOCH\nTIME_FORMAT = UNIX\nEND_VARIABLE = t\n", 175, 0},
        {"yyoffset", "YY_OFFSET = abc\nSTART_VARIABLE = x\nEND_VARIABLE = x\n", 178, 0},
        // A header count larger than the file: the records found.
        {"count", "File_type = d\nSTART_VARIABLE = x\nEND_VARIABLE = x\nStart_data = 1000000000\n1\n2\n3", 0, 3},
        // A word INCLUDE inside a value or a record is no INCLUDE.
        {"include_word", "File_type = d\nSTART_VARIABLE = x\nFIELDNAM = do not INCLUDE = /dev/zero\nEND_VARIABLE = x\n"
                         "Start_data = 2\n1\n2\n", 0, 2},
        {"include_dev", "include = /dev/zero\nFile_type = d\nSTART_VARIABLE = x\nEND_VARIABLE = x\nStart_data = 1\n1\n",
         0, 1},
        {"toomany", nullptr, 146, 0},
        // A global block that runs to the end of an included file, which
        // includes itself: a loop, the file is corrupt.
        {"open_meta", "include = inc.ceh\n", KV_CORRUPT_FILE, 0},
        {"unknown_type", "File_type = d\nSTART_VARIABLE = x\nVALUE_TYPE = QUAD\nEND_VARIABLE = x\nStart_data = 1\n"
                         "1.25\n", 0, 1},
    };
    kombra_test::WriteFile(dir.file("inc.ceh"), "START_META = M\nENTRY = 1\ninclude = inc.ceh\n");
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        std::string text = k.text != nullptr ? k.text : "";
        if (k.text == nullptr)
            for (int i = 0; i < 101; ++i)
                text += "START_VARIABLE = v" + std::to_string(i) + "\nEND_VARIABLE = v" + std::to_string(i) + "\n";
        kombra_test::WriteFile(dir.file(std::string(k.name) + ".qfd"), text);
        Read r;
        r.o->header = ATTACHED;
        r.o->header_name = KvNewStr("none");  // no detached fallback to find
        testing::internal::CaptureStdout();
        const int status = r.From(dir.str(), k.name, ".qfd");
        const std::string out = testing::internal::GetCapturedStdout();
        if (k.status == 0) {
            EXPECT_STATUS(0, status);
            EXPECT_EQ(k.records, r.c->n_recs);
        } else if (k.status == KV_CORRUPT_FILE) {
            EXPECT_STATUS(KV_CORRUPT_FILE, status);
        } else {
            // The attached header's failure is printed, and the fallback
            // finds no detached header.
            char *text = KvErrStr(k.status);
            EXPECT_NE(std::string::npos, out.find(text)) << out;
            std::free(text);
            EXPECT_STATUS(KV_FILE_OPEN, status);
        }
    }
    Read r;
    kombra_test::WriteFile(dir.file("unknown.qfd"), cases[14].text);
    ASSERT_EQ(0, r.From(dir.str(), "unknown", ".qfd"));
    EXPECT_EQ(CDF_DOUBLE, r.c->vardata[0]->data_type);
    EXPECT_EQ(8, r.c->vardata[0]->sizeofentry);
    EXPECT_DOUBLE_EQ(1.25, At<double>(r.c->vardata[0], 0));
}

// A read that stores no record of a file with record lines fails with the
// records' own status and says so through the host's alert box too; a file
// without record lines reads as no records, successfully.
struct NoRecordCase {
    const char *name;
    const char *records;  // the lines after the header
    int status;
    long stored;
};

void PrintTo(const NoRecordCase &c, std::ostream *os) { *os << c.name; }

class RecordsStoredOrNot : public testing::TestWithParam<NoRecordCase> {};

TEST_P(RecordsStoredOrNot, StatusAndWarning)
{
    const NoRecordCase &k = GetParam();
    TempDir dir;
    kombra_test::WriteFile(dir.file("recs.qfd"),
                           std::string("File_type = d\nData_delimiter = ,\nSTART_VARIABLE = t\nVALUE_TYPE = EPOCH\n"
                                       "TIME_FORMAT = ISO\nEND_VARIABLE = t\nSTART_VARIABLE = x\nSIZES = 2\n"
                                       "END_VARIABLE = x\n") +
                               k.records);
    Read r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_STATUS(k.status, r.From(dir.str(), "recs", ".qfd"));
    testing::internal::GetCapturedStdout();
    const std::string alerted = testing::internal::GetCapturedStderr();
    EXPECT_EQ(k.stored, r.c->n_recs);
    EXPECT_EQ(k.status != 0, alerted.find("KVE Warning: only 0 records read OK") != std::string::npos) << alerted;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecordsStoredOrNot,
    testing::Values(NoRecordCase{"EveryLineShort", "2004-12-09T10:00:00Z,1\n2004-12-09T10:00:04Z,2\n", 155, 0},
                    NoRecordCase{"EveryTimeBad", "2004-12-09,1,2\n2004-12-10,3,4\n", 145, 0},
                    NoRecordCase{"OneOfTwoStored", "2004-12-09T10:00:00Z,1,2\n2004-12-09T10:00:04Z,2\n", 0, 1},
                    NoRecordCase{"NoRecordLines", "! only a comment\n", 0, 0},
                    // A delimiter that ends every record leaves no value;
                    // one value too many in every record fails the read
                    // with 155, as a short record does.
                    NoRecordCase{"EveryRecordEndsInADelimiter",
                                 "2004-12-09T10:00:00Z,1,2,\n2004-12-09T10:00:04Z,3,4, \n", 0, 2},
                    NoRecordCase{"EveryRecordOneValueTooMany",
                                 "2004-12-09T10:00:00Z,1,2,3\n2004-12-09T10:00:04Z,3,4,5\n", 155, 0}),
    [](const testing::TestParamInfo<NoRecordCase> &info) { return std::string(info.param.name); });

TEST(KveFlatReader, RangesStartAfterAndSkips)
{
    TempDir dir;
    std::string text = "File_type = d\nSTART_AFTER = MARK\nSTART_VARIABLE = x\nVALUE_TYPE = INT\nEND_VARIABLE = x\n"
                       "Start_data = 10\n0\n& = 2\n111\n222\n";
    for (int i = 1; i < 12; ++i)
        text += std::to_string(i) + (i == 2 ? " MARK\n" : "\n");
    kombra_test::WriteFile(dir.file("r.qfd"), text);
    {
        Read r;
        r.o->Nend = 4;
        ASSERT_EQ(0, r.From(dir.str(), "r", ".qfd"));
        // Lines up to the marker and the two after '&' are dropped.
        ASSERT_EQ(5, r.c->n_recs);
        EXPECT_EQ(3, At<int32_t>(r.c->vardata[0], 0));
        EXPECT_EQ(7, At<int32_t>(r.c->vardata[0], 4));
        EXPECT_EQ(4, r.c->vardata[0]->max_rec_num);
    }
    {
        Read r;
        r.o->Nstart = 3;
        ASSERT_EQ(0, r.From(dir.str(), "r", ".qfd"));
        ASSERT_EQ(6, r.c->n_recs);  // records 3..8 of the 9 after the marker
        EXPECT_EQ(6, At<int32_t>(r.c->vardata[0], 0));
    }
}

TEST(KveFlatReader, AttachedFailureFallsBackToACleanDetachedRead)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("d.qfd"), "START_VARIABLE = bad\nEND_VARIABLE = wrong\n1,2\n3,4\n");
    kombra_test::WriteFile(dir.file("d.qfh"), "File_type = d\nData_delimiter = ,\nSTART_META = M\nENTRY = e\n"
                                              "END_META = M\nSTART_VARIABLE = a\nEND_VARIABLE = a\n"
                                              "START_VARIABLE = b\nEND_VARIABLE = b\n");
    Read r;
    EXPECT_STATUS(0, r.From(dir.str(), "d", ".qfd"));
    EXPECT_EQ(DETACHED, r.o->header);
    ASSERT_EQ(2, r.c->n_vars);
    EXPECT_STREQ("a", r.c->vardata[0]->name);
    EXPECT_EQ(1, r.c->num_g_attrs);
    ASSERT_EQ(2, r.c->n_recs);
    EXPECT_DOUBLE_EQ(4.0, At<double>(r.c->vardata[1], 1));
}

// ---- Free-format times ----------------------------------------------------------

struct TimeCase {
    const char *name;
    const char *picture;
    const char *all_format;
    const char *all_time;
    const char *text;
    long offset;
    int status;
    long year, month, day;
    double msecs;
};

void PrintTo(const TimeCase &t, std::ostream *os) { *os << t.name; }

class FreeTime : public testing::TestWithParam<TimeCase> {};

TEST_P(FreeTime, PictureAndText)
{
    const TimeCase &t = GetParam();
    KvFTpacket pk{};
    std::strcpy(pk.FreeTimeFormatString, t.picture);
    std::string text = t.text;
    if (t.all_format != nullptr) {
        ASSERT_EQ(0, KvFTCatTime_All(pk.FreeTimeFormatString, t.all_format));
        char buf[256] = {};
        std::strcpy(buf, t.text);
        ASSERT_EQ(0, KvFTCatTime_All(buf, t.all_time));
        text = buf;
    }
    KvParseFreeTimeFormatString_date(pk.FreeTimeFormatString, &pk.ft_parser_s);
    KvParseFreeTimeFormatString_time(pk.FreeTimeFormatString, &pk.ft_parser_s);
    KvFTCpyCalcmsecsFactors(&pk.ft_parser_s, pk.time2msecs_factors_adjusted);
    long year = 0, month = 0, day = 0;
    kv_reader_year = KvYearState{};
    kv_reader_year.offset = t.offset;
    EXPECT_EQ(t.status, KvFTGetDate(&pk.ft_parser_s, text.c_str(), &year, &month, &day));
    if (t.status != 0)
        return;
    EXPECT_EQ(t.year, year);
    EXPECT_EQ(t.month, month);
    EXPECT_EQ(t.day, day);
    double msecs = 0;
    KvFTGetMsecs(&pk, text.c_str(), &msecs);
    EXPECT_NEAR(t.msecs, msecs, 1e-6);
    ASSERT_EQ(0, KvFTtoEPOCH(&pk, text.c_str()));
    EXPECT_DOUBLE_EQ(KvFTComputeEpoch(year, month, day, msecs), pk.epoch.tsince0);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, FreeTime,
    testing::Values(
        TimeCase{"DoyFraction", "YYYY Doy HH:MI:SS.sss", nullptr, nullptr, "2004 344 10:11:12.250", -1, 0, 2004, 12, 9,
                 36672250},
        TimeCase{"AllRecords", "HH:MI:SS", "YYYY-MO-DD", "2004-12-09", "10:11:12", -1, 0, 2004, 12, 9, 36672000},
        TimeCase{"MonthJly", "DD-MON-YYYY", nullptr, nullptr, "04-Jly-1999", -1, 0, 1999, 7, 4, 0},
        TimeCase{"MonthLower", "DD-MON-YYYY", nullptr, nullptr, "04-jul-1999", -1, 0, 1999, 7, 4, 0},
        TimeCase{"BadMonthName", "DD-MON-YYYY", nullptr, nullptr, "04-Jux-1999", -1, 161, 0, 0, 0, 0},
        TimeCase{"Doy366Leap", "YYYY Doy", nullptr, nullptr, "2004 366", -1, 0, 2004, 12, 31, 0},
        TimeCase{"Doy366Common", "YYYY Doy", nullptr, nullptr, "2003 366", -1, 159, 0, 0, 0, 0},
        TimeCase{"DoyWinsOverDD", "YYYY Doy DD", nullptr, nullptr, "2004 032 99", -1, 0, 2004, 2, 1, 0},
        TimeCase{"April31", "YYYY-MO-DD", nullptr, nullptr, "2004-04-31", -1, 174, 0, 0, 0, 0},
        TimeCase{"Month13", "YYYY-MO-DD", nullptr, nullptr, "2004-13-01", -1, 173, 0, 0, 0, 0},
        TimeCase{"YearNoZero", "YYYY-MO-DD", nullptr, nullptr, "abcd-01-01", -1, 176, 0, 0, 0, 0},
        TimeCase{"TwoDigitNoOffset", "YY-MO-DD", nullptr, nullptr, "99-01-01", -1, 177, 0, 0, 0, 0},
        TimeCase{"TwoDigitOffset", "YY-MO-DD", nullptr, nullptr, "99-01-01", 1900, 0, 1999, 1, 1, 0},
        TimeCase{"DayFraction", "YYYY Doy ddd", nullptr, nullptr, "2004 001 500", -1, 0, 2004, 1, 1, 43200000}),
    [](const testing::TestParamInfo<TimeCase> &info) { return std::string(info.param.name); });

TEST(FreeTimeCentury, TwoDigitYearsRollOnceWithYearIncreasing)
{
    KvFTParser p{};
    KvParseFreeTimeFormatString_date("YY", &p);
    kv_reader_year = KvYearState{};
    kv_reader_year.offset = 1900;
    kv_reader_year.increasing = true;
    long y = 0, m = 0, d = 0;
    std::vector<long> years;
    testing::internal::CaptureStderr();
    for (const char *yy : {"98", "99", "00", "01"}) {
        ASSERT_EQ(0, KvFTGetDate(&p, yy, &y, &m, &d));
        years.push_back(y);
    }
    const std::string alerts = testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::vector<long>{1998, 1999, 2000, 2001}), years);
    EXPECT_EQ(alerts.find("Century"), alerts.rfind("Century"));
}

TEST(FreeTimeFile, DelimitedTimesToAPicture)
{
    TempDir dir;
    kombra_test::WriteFile(dir.file("ft.qfd"),
                           "File_type = d\nData_delimiter = ,\nYY_OFFSET = 2000\nSTART_VARIABLE = t\nVALUE_TYPE = EPOCH\n"
                           "TIME_FORMAT = FREE_TIME_FORMAT\nTIME_FORMAT_STRING = HH:MI\nAll_records_format = YY Doy\n"
                           "All_records_time = 04 344\nEND_VARIABLE = t\nStart_data = 3\n10:11\n10:1\n23:59\n");
    Read r;
    ASSERT_EQ(0, r.From(dir.str(), "ft", ".qfd"));
    ASSERT_EQ(2, r.c->n_recs);  // 10:1 is one character short
    EXPECT_DOUBLE_EQ(kT0 + 11 * 60000.0, At<double>(r.c->vardata[0], 0));
}

// ---- CEF structure check ------------------------------------------------------

TEST(KveCefCheck, ReferencesAndMessages)
{
    TempDir dir;
    KvCDFVariable *b = Var<float>("B_xyz_gse", CDF_FLOAT, {3}, std::vector<float>(3), 1);
    for (const char *a : {"FIELDNAM", "LABLAXIS", "UNITS", "SI_CONVERSION"})
        TextAttr(b, a, "x");
    TextAttr(b, "DEPEND_0", "time");
    KvCDFVariable *f = Var<float>("flux", CDF_FLOAT, {32, 2}, std::vector<float>(64), 1);
    TextAttr(f, "depend_1", "energy");
    TextAttr(f, "LABEL_2", "short");
    TextAttr(f, "REPRESENTATION_7", "energy");  // beyond its dimensions
    KvCDFContents *c = DataSet({Var<double>("time", CDF_EPOCH, {}, {0.0}, 1), b, f,
                                Var<float>("energy", CDF_FLOAT, {32}, std::vector<float>(32), 1),
                                Var<float>("short", CDF_FLOAT, {31}, std::vector<float>(31), 1)},
                               1, dir.str(), "x");
    EXPECT_EQ(5, KvCheckCEFstructure(c));
    const KvCDFVariable *energy = c->vardata[3];
    EXPECT_EQ(1, energy->isPtrType);
    EXPECT_EQ(1, energy->isDepend_i);
    EXPECT_EQ(1, energy->isTensorRep_i);
    EXPECT_EQ(1, energy->ErrTensorRep_i);
    EXPECT_EQ(0, energy->ErrDepend_i);
    EXPECT_EQ(1, c->vardata[4]->ErrLabel_i);
    EXPECT_EQ(1, f->numDepend_i);
    EXPECT_EQ(1, f->numLabel_i);
    testing::internal::CaptureStdout();
    EXPECT_EQ(5, KvCEFvalidate(c));
    const std::string out = testing::internal::GetCapturedStdout();
    KvFreeCDFContentsObj(c);
    EXPECT_EQ(0, KvAttrCmp("label_1", "LABEL_") + KvAttrCmp("label_1", "LABEL_2"));
    EXPECT_EQ(1, KvAttrCmp("label_1", "LABEL_1"));
}

// ---- CDF reader ----------------------------------------------------------------

TEST(KveCdfReader, OurWriterReadsBackAndWritesAgain)
{
    TempDir dir;
    KvCDFContents *c = Sample(dir.str());
    KvOptions *o = KvMakeOptionsObj();
    ASSERT_EQ(0, KvWriteCSDSgenCDF(c, o));
    KvFreeCDFContentsObj(c);
    KvCDFContents *back = KvMakeCDFContentsObj();
    EXPECT_STATUS(0, KvGetCSDSgenCDF(dir.file("sample").c_str(), back));
    ASSERT_EQ(5, back->n_vars);
    EXPECT_EQ(3, back->n_recs);
    EXPECT_EQ(0, back->time_var_num);
    const KvCDFVariable *count = back->vardata[2];
    EXPECT_EQ(CDF_INT2, count->data_type);
    EXPECT_EQ(32767, At<int16_t>(count, 2));
    EXPECT_EQ(4, back->vardata[3]->num_elems);
    EXPECT_EQ("xyzw", Slot(back->vardata[3], 1));
    const KvCDFVariable *psd = back->vardata[1];
    ASSERT_EQ(2, psd->num_v_attrs);
    EXPECT_STREQ("s^3/km^6", static_cast<const char *>(psd->attribute[0].data));
    // The read data set writes again as it was.
    back->io_f_name = KvNewStr("again");
    back->io_f_path = KvNewStr((dir.str() + "/").c_str());
    EXPECT_EQ(0, KvWriteCSDSgenCDF(back, o));
    KvFreeCDFContentsObj(back);
    KvFreeOptionsObj(o);
}

TEST(KveCdfReader, FilesOfOtherWriters)
{
    const std::string data = kombra_test::SourceDir() + "/tests/data/cdf/";
    for (const char *file : {"indep_network_row.cdf", "indep_network_col.cdf"}) {
        SCOPED_TRACE(file);
        KvCDFContents *c = KvMakeCDFContentsObj();
        testing::internal::CaptureStderr();
        EXPECT_STATUS(0, KvGetCSDSgenCDF((data + file).c_str(), c));
        testing::internal::GetCapturedStderr();
        long shortVar = -1;
        for (long i = 0; i < c->n_vars; ++i)
            if (c->vardata[i]->data_type == CDF_INT2 && c->vardata[i]->num_dims == 2)
                shortVar = i;
        ASSERT_GE(shortVar, 0);
        const KvCDFVariable *v = c->vardata[shortVar];
        // The writer put the same bytes in both files: read row major, the
        // column-major file's 2x2 records come transposed.
        ASSERT_EQ(9, v->max_rec_num);
        const bool col = std::strstr(file, "col") != nullptr;
        for (long r = 0; r < 10; ++r)
            for (long i = 0; i < 2; ++i)
                for (long j = 0; j < 2; ++j)
                    EXPECT_EQ(-20 + r * 4 + (col ? j * 2 + i : i * 2 + j), At<int16_t>(v, r * 4 + i * 2 + j));
        bool sparse = false;
        for (long g = 0; g < c->num_g_attrs; ++g)
            for (long e = 0; e < c->g_attr[g]->num_entries; ++e)
                sparse = sparse || c->g_attr[g]->entry[e].exists == 0;
        EXPECT_TRUE(sparse);
        KvFreeCDFContentsObj(c);
    }
    // Compressed variables are read (test.cdf stops at its EPOCH16 variable);
    // a missing file is refused at the open.
    for (const auto &[file, status] : {std::pair{"example1.cdf", 0}, {"test.cdf", 115}, {"missing.cdf", 102}}) {
        KvCDFContents *c = KvMakeCDFContentsObj();
        testing::internal::CaptureStderr();
        EXPECT_EQ(status, KvGetCSDSgenCDF((data + file).c_str(), c)) << file;
        testing::internal::GetCapturedStderr();
        KvFreeCDFContentsObj(c);
    }
    KvCDFContents *c = KvMakeCDFContentsObj();
    EXPECT_STATUS(0, KvGetCSDSgenCDF((data + "example2.cdf").c_str(), c));
    EXPECT_GT(c->n_vars, 0);
    KvFreeCDFContentsObj(c);
}

}  // namespace
