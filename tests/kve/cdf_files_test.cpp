// CDF files of other writers: the NASA library's compressed files read by
// the exchange reader with every value as jcdf lists it; a table of forms of
// one file of our writer (its variables or the whole file compressed by
// GZIP, RLE, HUFF or AHUFF, and damaged compressed data), each read by our
// module and the exchange reader and compared with jcdf's listing of the
// same file; a table of the same file with counts and sizes that ask for
// more than the file holds or the limit of one file allows; the same file
// with descriptor chains that loop; and files with more attributes than the
// data set's slots.
#include "cdf_dump.h"
#include "fuzz/cdf_forms.h"
#include "kcdf.h"
#include "kve_builders.h"
#include "kve_cdf.h"
#include "support.h"

#include <cstring>
#include <functional>
#include <map>
#include <sstream>

namespace {

using kombra_test::TempDir;

// The blocks of a listing ("gattr NAME" or "var NAME" with the lines under
// it), by the first two words of their first line.
std::map<std::string, std::string> Blocks(const std::string &listing)
{
    std::map<std::string, std::string> blocks;
    std::istringstream in(listing);
    std::string key;
    for (std::string line; std::getline(in, line);) {
        if (line[0] != ' ')
            key = line.substr(0, line.find(' ', line.find(' ') + 1));
        blocks[key] += line + "\n";
    }
    return blocks;
}

// The type and items of an entry or attribute: a text of n characters as
// one item, numbers as n items.
std::string EntryItems(long type, long n, const void *data)
{
    const auto *p = static_cast<const unsigned char *>(data);
    const bool text = type == CDF_CHAR || type == CDF_UCHAR;
    return std::string(kve_test::CdfTypeName(type)) + " " +
           kve_test::CdfItems(type, text ? n : 1, p, text ? 1 : static_cast<size_t>(n)) + "\n";
}

// A data set that the exchange reader filled, in the listing's form.
std::string DataSetListing(const KvCDFContents *c)
{
    std::string out;
    for (long g = 0; g < c->num_g_attrs; ++g) {
        const KvGlobalAttribute *a = c->g_attr[g];
        out += std::string("gattr ") + a->name + "\n";
        for (long e = 0; e < a->num_entries; ++e)
            if (a->entry[e].exists != 0)
                out += "  entry " + std::to_string(e) + " " +
                       EntryItems(a->entry[e].data_type, a->entry[e].num_elems, a->entry[e].data);
    }
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        std::string dims;
        size_t values = 1;
        for (long d = 0; d < v->num_dims; ++d) {
            dims += (d > 0 ? "," : "") + std::to_string(v->dim_sizes[d]);
            values *= static_cast<size_t>(v->dim_sizes[d]);
        }
        out += std::string("var ") + v->name + " " + kve_test::CdfTypeName(v->data_type) + " recvary=" +
               (v->rec_vary != 0 ? "T" : "F") + " dims=[" + dims + "] records=" + std::to_string(v->max_rec_num + 1) +
               "\n";
        const auto *p = static_cast<const unsigned char *>(v->data);
        for (long r = 0; r <= v->max_rec_num; ++r, p += values * static_cast<size_t>(v->sizeofentry * v->num_elems))
            out += "  rec " + std::to_string(r) + " " + kve_test::CdfItems(v->data_type, v->num_elems, p, values) + "\n";
        for (long a = 0; a < v->num_v_attrs; ++a) {
            const KvVarAttribute &attr = v->attribute[a];
            const bool text = attr.data_type == CDF_CHAR || attr.data_type == CDF_UCHAR;
            out += std::string("  attr ") + attr.name + " " +
                   EntryItems(attr.data_type,
                              text ? static_cast<long>(std::strlen(static_cast<const char *>(attr.data))) : attr.num_elems,
                              attr.data);
        }
    }
    return out;
}

// Reads a file with the exchange reader, quietly.
struct ExchangeRead {
    KvCDFContents *c = KvMakeCDFContentsObj();
    int status;
    explicit ExchangeRead(const std::string &path)
    {
        testing::internal::CaptureStderr();
        status = KvGetCSDSgenCDF(path.c_str(), c);
        testing::internal::GetCapturedStderr();
    }
    ~ExchangeRead() { KvFreeCDFContentsObj(c); }
};

// ---- The NASA library's files ---------------------------------------------------

struct NasaFile {
    const char *file;
    int status;           // of the exchange reader
    long vars;            // variables read before it stopped
    const char *packed;   // a compressed variable among them
};

void PrintTo(const NasaFile &f, std::ostream *os) { *os << f.file; }

class NasaCompressed : public testing::TestWithParam<NasaFile> {};

TEST_P(NasaCompressed, ExchangeReaderGivesJcdfsValues)
{
    const NasaFile &f = GetParam();
    const std::string path = kombra_test::SourceDir() + "/tests/data/cdf/" + f.file;
    ExchangeRead read(path);
    EXPECT_STATUS(f.status, read.status);
    ASSERT_EQ(f.vars, read.c->n_vars);
    std::string error;
    const auto jcdf = kve_test::JcdfDump(path, &error);
    ASSERT_TRUE(jcdf) << error;
    const auto theirs = Blocks(*jcdf);
    const auto ours = Blocks(DataSetListing(read.c));
    EXPECT_EQ(1u, ours.count(std::string("var ") + f.packed));
    for (const auto &[key, block] : ours) {
        ASSERT_EQ(1u, theirs.count(key)) << key;
        EXPECT_EQ(theirs.at(key), block);
    }
    if (f.status == 0) {
        EXPECT_EQ(theirs.size(), ours.size());
    }
}

// example1.cdf holds one GZIP-compressed variable (Image); test.cdf two
// (Longitude, longitude_dup) beside EPOCH16, INT8 and TIME_TT2000 ones, of
// which the exchange reader stops at the EPOCH16 one, its 17th variable.
INSTANTIATE_TEST_SUITE_P(Files, NasaCompressed,
                         testing::Values(NasaFile{"example1.cdf", 0, 3, "Image"},
                                         NasaFile{"test.cdf", KV_BAD_TYPE, 16, "Longitude"}),
                         [](const testing::TestParamInfo<NasaFile> &info) {
                             return std::string(info.param.file).substr(0, std::strlen(info.param.file) - 4);
                         });

// ---- Forms of a file of our writer ------------------------------------------------

// A data set with long runs of zero bytes, text, a dimension that does not
// vary and one that does not vary by record, written by our writer.
std::string WrittenImage(const TempDir &dir)
{
    using kve_test::Var;
    std::vector<int32_t> wide(3 * 300, 0);
    wide[5] = 7;
    wide[299] = -1;
    wide[600] = 1 << 24;
    KvCDFVariable *grid = Var<float>("grid", CDF_REAL4, {2, 3}, {1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6, 0, 0, 9, 0, 0, 9}, 3);
    grid->dim_varys[0] = 0;
    KvCDFVariable *fixed = Var<double>("fixed", CDF_DOUBLE, {}, {2.5}, 1);
    fixed->rec_vary = 0;
    fixed->max_rec_num = 0;
    KvCDFVariable *label = Var<char>("label", CDF_CHAR, {2}, {'a', 'b', 'c', 'd', 'x', ' ', 'y', 'z', 'p', 'q', 'r', 's'}, 3);
    label->num_elems = 2;
    label->sizeofentry = 1;
    KvCDFVariable *counts = Var<int16_t>("counts", CDF_INT2, {4}, {0, 0, 0, 5, 0, 0, 0, 0, 7, 0, 0, -3}, 3);
    kve_test::TextAttr(counts, "UNITS", "counts");
    KvCDFContents *c = kve_test::DataSet(
        {Var<double>("time", CDF_EPOCH, {}, {63269805600000.0, 63269805604000.0, 63269805608000.0}, 3), counts,
         Var<int32_t>("wide", CDF_INT4, {300}, wide, 3), label, grid, fixed},
        3, dir.str(), "forms");
    KvCreateGlobalTxtAttr(c, "TITLE", "compressed forms");
    KvOptions *o = KvMakeOptionsObj();
    const int status = KvWriteCSDSgenCDF(c, o);
    KvFreeCDFContentsObj(c);
    KvFreeOptionsObj(o);
    EXPECT_EQ(0, status);
    return kombra_test::ReadFile(dir.file("forms.cdf"));
}

struct Form {
    const char *name;
    std::function<std::string(const std::string &)> make;
    const char *refused;  // what our module answers, "" when it reads every value
    int exchange;         // status of the exchange reader
};

void PrintTo(const Form &f, std::ostream *os) { *os << f.name; }

class CompressedForms : public testing::TestWithParam<Form> {};

// The first CVVR with one byte of its deflate data changed.
std::string SpoilFirstCvvr(std::string image)
{
    const uint64_t vxr = cdf_forms::Get(image, cdf_forms::Vdrs(image).at(0) + 28, 8);
    image.at(cdf_forms::Get(image, vxr + 28 + 8 * cdf_forms::Get(image, vxr + 20, 4), 8) + 24 + 14) ^= 0x55;
    return image;
}

TEST_P(CompressedForms, ReadAsJcdfReadsThemOrRefusedWithTheirStatus)
{
    TempDir dir;
    const std::string plain = WrittenImage(dir);
    const Form &form = GetParam();
    const std::string path = dir.file("form.cdf");
    kombra_test::WriteFile(path, form.make(plain));
    ExchangeRead read(path);
    EXPECT_STATUS(form.exchange, read.status);
    std::string error;
    const auto ours = kve_test::KcdfDump(path, &error);
    if (*form.refused != '\0') {
        EXPECT_FALSE(ours);
        EXPECT_NE(std::string::npos, error.find(form.refused)) << error;
        return;
    }
    // Every value as jcdf reads it, and as the uncompressed file holds it.
    ASSERT_TRUE(ours) << error;
    const auto jcdf = kve_test::JcdfDump(path, &error);
    ASSERT_TRUE(jcdf) << error;
    EXPECT_EQ(*jcdf, *ours);
    EXPECT_EQ(*jcdf, DataSetListing(read.c));
    kombra_test::WriteFile(dir.file("plain.cdf"), plain);
    EXPECT_EQ(*kve_test::KcdfDump(dir.file("plain.cdf"), &error), *ours);
}

using cdf_forms::CompressFile;
using cdf_forms::CompressVariables;

std::string Packed(const std::string &s, int32_t method) { return CompressVariables(s, method); }

INSTANTIATE_TEST_SUITE_P(
    Table, CompressedForms,
    testing::Values(
        Form{"GzipVariables", [](const std::string &s) { return Packed(s, cdf_forms::kGzip); }, "", 0},
        Form{"RleVariables", [](const std::string &s) { return Packed(s, cdf_forms::kRle); }, "", 0},
        Form{"GzipFile", [](const std::string &s) { return CompressFile(s, cdf_forms::kGzip); }, "", 0},
        Form{"RleFile", [](const std::string &s) { return CompressFile(s, cdf_forms::kRle); }, "", 0},
        Form{"GzipFileOfRleVariables",
             [](const std::string &s) { return CompressFile(Packed(s, cdf_forms::kRle), cdf_forms::kGzip); }, "", 0},
        Form{"HuffVariables", [](const std::string &s) { return Packed(s, cdf_forms::kHuff); },
             "UNSUPPORTED_COMPRESSION", KV_CDF_READ},
        Form{"AhuffVariables", [](const std::string &s) { return Packed(s, cdf_forms::kAhuff); },
             "UNSUPPORTED_COMPRESSION", KV_CDF_READ},
        Form{"HuffFile", [](const std::string &s) { return CompressFile(s, cdf_forms::kHuff); },
             "UNSUPPORTED_COMPRESSION", KV_CDF_OPEN},
        Form{"AhuffFile", [](const std::string &s) { return CompressFile(s, cdf_forms::kAhuff); },
             "UNSUPPORTED_COMPRESSION", KV_CDF_OPEN},
        Form{"SpoiltGzipVariable", [](const std::string &s) { return SpoilFirstCvvr(Packed(s, cdf_forms::kGzip)); },
             "DECOMPRESSION_ERROR", KV_CDF_READ},
        Form{"CutGzipFile",
             [](const std::string &s) {
                 std::string out = CompressFile(s, cdf_forms::kGzip);
                 cdf_forms::Put(out, 8, 8, cdf_forms::Get(out, 8, 8) - 20);  // the CCR ends early
                 return out;
             },
             "DECOMPRESSION_ERROR", KV_CDF_OPEN},
        Form{"RleFileLongerThanItsSize",
             [](const std::string &s) {
                 std::string out = CompressFile(s, cdf_forms::kRle);
                 cdf_forms::Put(out, 28, 8, cdf_forms::Get(out, 28, 8) - 1);
                 return out;
             },
             "DECOMPRESSION_ERROR", KV_CDF_OPEN}),
    [](const testing::TestParamInfo<Form> &info) { return std::string(info.param.name); });

// ---- Counts and sizes beyond the file -----------------------------------------------

// Lowers the limit of one file for a test.
struct FileLimit {
    size_t saved = kcdf::max_file_bytes;
    explicit FileLimit(size_t bytes) { kcdf::max_file_bytes = bytes; }
    ~FileLimit() { kcdf::max_file_bytes = saved; }
};

constexpr size_t kTestFileLimit = size_t{16} << 20;

// Fields of a file of WrittenImage.
enum Var : size_t { kTime, kCounts, kWide, kLabel, kGrid, kFixed };
uint64_t VdrOf(const std::string &s, size_t var) { return cdf_forms::Vdrs(s).at(var); }
uint64_t VxrOf(const std::string &s, size_t var) { return cdf_forms::Get(s, VdrOf(s, var) + 28, 8); }
uint64_t VxrLastOf(const std::string &s, size_t var) { return VxrOf(s, var) + 28 + 4 * cdf_forms::Get(s, VxrOf(s, var) + 20, 4); }
void SetMaxRec(std::string &s, size_t var, uint32_t n) { cdf_forms::Put(s, VdrOf(s, var) + 24, 4, n); }
void SetFirstEntryNumber(std::string &s, uint32_t n)
{
    cdf_forms::Put(s, cdf_forms::Entries(s, cdf_forms::Adrs(s).at(0)).at(0) + 28, 4, n);
}

struct Oversized {
    const char *name;
    std::function<void(std::string &)> alter;
    kcdf::Status open;  // of our module
    int exchange;       // of the exchange reader
    const char *lost;   // a global attribute the exchange reader leaves out, or ""
};

void PrintTo(const Oversized &o, std::ostream *os) { *os << o.name; }

class OversizedCounts : public testing::TestWithParam<Oversized> {};

TEST_P(OversizedCounts, RefusedOrLeftOutWithinTheLimitOfOneFile)
{
    TempDir dir;
    std::string image = WrittenImage(dir);
    ASSERT_FALSE(image.empty());
    const Oversized &o = GetParam();
    o.alter(image);
    const std::string path = dir.file("oversized.cdf");
    kombra_test::WriteFile(path, image);
    FileLimit limit(kTestFileLimit);
    std::unique_ptr<kcdf::File> f;
    EXPECT_EQ(o.open, kcdf::File::Open(path, f)) << kcdf::StatusText(kcdf::File::Open(path, f));
    if (f) {
        EXPECT_LE(f->HeldBytes(), kTestFileLimit);
    }
    ExchangeRead read(path);
    EXPECT_STATUS(o.exchange, read.status);
    if (*o.lost != '\0') {
        for (long g = 0; g < read.c->num_g_attrs; ++g)
            EXPECT_STRNE(o.lost, read.c->g_attr[g]->name);
        EXPECT_EQ(1, read.c->num_g_attrs);  // Software_version is left
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OversizedCounts,
    testing::Values(
        // The 2,441-byte file that asked for 4 GB: one global entry numbered
        // near 2^31 makes the attribute's entry array that long.
        Oversized{"GlobalEntryNumberedNearTwoBillion", [](std::string &s) { SetFirstEntryNumber(s, 0x7FFFFFFE); },
                  kcdf::kOk, 0, "TITLE"},
        Oversized{"GlobalEntryArrayOverTheLimit", [](std::string &s) { SetFirstEntryNumber(s, 1 << 20); }, kcdf::kOk,
                  0, "TITLE"},
        Oversized{"VariableCountBeyondTheFile",
                  [](std::string &s) { cdf_forms::Put(s, cdf_forms::Gdr(s) + 60, 4, 0x7FFFFFFF); }, kcdf::kCorrupt,
                  KV_CDF_OPEN, ""},
        Oversized{"AttributeCountBeyondTheFile",
                  [](std::string &s) { cdf_forms::Put(s, cdf_forms::Gdr(s) + 48, 4, 0x10000000); }, kcdf::kCorrupt,
                  KV_CDF_OPEN, ""},
        Oversized{"EntryCountBeyondTheFile",
                  [](std::string &s) { cdf_forms::Put(s, cdf_forms::Adrs(s).at(0) + 36, 4, 0x7FFFFFFF); },
                  kcdf::kCorrupt, KV_CDF_OPEN, ""},
        // Virtual records, each variable within its limit, together beyond
        // the limit of the file (8.4 and 9.6 MB).
        Oversized{"VirtualRecordsOverTheLimit",
                  [](std::string &s) {
                      SetMaxRec(s, kWide, 7000);
                      SetMaxRec(s, kCounts, 1200000);
                  },
                  kcdf::kOk, KV_CDF_SELECT, ""},
        // A dimension that does not vary is held once, but given whole.
        Oversized{"DimensionThatDoesNotVaryOverTheLimit",
                  [](std::string &s) { cdf_forms::Put(s, VdrOf(s, kGrid) + 344, 4, 1000000); }, kcdf::kOk,
                  KV_CDF_SELECT, ""},
        // Records indexed past the variable's highest are not its own, and
        // are not read.
        Oversized{"RecordsIndexedPastTheHighest",
                  [](std::string &s) {
                      cdf_forms::Put(s, VxrOf(s, kCounts) + 28, 4, 0x7FFFFF00);
                      cdf_forms::Put(s, VxrLastOf(s, kCounts), 4, 0x7FFFFF00);
                  },
                  kcdf::kOk, 0, ""},
        Oversized{"CompressedFileOfFourGigabytes",
                  [](std::string &s) {
                      s = cdf_forms::CompressFile(s, cdf_forms::kGzip);
                      cdf_forms::Put(s, 28, 8, uint64_t{1} << 32);
                  },
                  kcdf::kTooBig, KV_CDF_OPEN, ""},
        Oversized{"CompressedRecordsOfTwoBillion",
                  [](std::string &s) {
                      s = cdf_forms::CompressVariables(s, cdf_forms::kGzip);
                      cdf_forms::Put(s, VxrLastOf(s, kWide), 4, 0x7FFFFFF0);
                  },
                  kcdf::kTooBig, KV_CDF_OPEN, ""}),
    [](const testing::TestParamInfo<Oversized> &info) { return std::string(info.param.name); });

// ---- Descriptor chains that loop ----------------------------------------------------

// Points the next-record offset of one record of the image at another.
void Link(std::string &s, uint64_t from, uint64_t to) { cdf_forms::Put(s, from + 12, 8, to); }

struct Loop {
    const char *name;
    std::function<void(std::string &)> alter;
    const char *chain;  // the chain the refusal names
};

void PrintTo(const Loop &l, std::ostream *os) { *os << l.name; }

class LoopingChains : public testing::TestWithParam<Loop> {};

TEST_P(LoopingChains, RefusedSayingWhichChainLoops)
{
    TempDir dir;
    std::string image = WrittenImage(dir);
    const Loop &l = GetParam();
    l.alter(image);
    const std::string path = dir.file("loop.cdf");
    kombra_test::WriteFile(path, image);
    std::unique_ptr<kcdf::File> f;
    EXPECT_EQ(kcdf::kCorrupt, kcdf::File::Open(path, f));
    const std::string why = kcdf::LastError();
    EXPECT_NE(std::string::npos, why.find(path)) << why;
    EXPECT_NE(std::string::npos, why.find(std::string("the ") + l.chain + " chain loops back")) << why;
    KvCDFContents *c = KvMakeCDFContentsObj();
    testing::internal::CaptureStderr();
    EXPECT_STATUS(KV_CDF_OPEN, KvGetCSDSgenCDF(path.c_str(), c));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0, c->n_vars);
    EXPECT_NE(std::string::npos, said.find(why)) << said;
    KvFreeCDFContentsObj(c);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LoopingChains,
    testing::Values(
        Loop{"VariableToItself", [](std::string &s) { Link(s, VdrOf(s, kTime), VdrOf(s, kTime)); }, "variable"},
        Loop{"TwoVariables", [](std::string &s) { Link(s, VdrOf(s, kCounts), VdrOf(s, kTime)); }, "variable"},
        Loop{"LastVariableToTheFirst", [](std::string &s) { Link(s, VdrOf(s, kFixed), VdrOf(s, kTime)); },
             "variable"},
        Loop{"AttributeToItself",
             [](std::string &s) { Link(s, cdf_forms::Adrs(s).at(0), cdf_forms::Adrs(s).at(0)); }, "attribute"},
        Loop{"EntryToItself",
             [](std::string &s) {
                 const uint64_t adr = cdf_forms::Adrs(s).at(0);
                 const uint64_t entry = cdf_forms::Entries(s, adr).at(0);
                 Link(s, entry, entry);
                 cdf_forms::Put(s, adr + 36, 4, 2);  // two entries counted
             },
             "entry"},
        Loop{"IndexToItself", [](std::string &s) { Link(s, VxrOf(s, kCounts), VxrOf(s, kCounts)); }, "index"},
        Loop{"IndexHoldingItself",
             [](std::string &s) {
                 const uint64_t vxr = VxrOf(s, kCounts);
                 cdf_forms::Put(s, vxr + 28 + 8 * cdf_forms::Get(s, vxr + 20, 4), 8, vxr);
             },
             "index"}),
    [](const testing::TestParamInfo<Loop> &info) { return std::string(info.param.name); });

// ---- More attributes than slots ---------------------------------------------------

// A file of 250 global attributes, written before the variable attributes
// as our writer writes them, and variables with 3 and with 215 variable
// attributes (written through our module: the data set holds at most 211).
TEST(KveCdfReader, EveryAttributeOfTheFileIsLookedAt)
{
    TempDir dir;
    std::unique_ptr<kcdf::File> f;
    ASSERT_EQ(kcdf::kOk, kcdf::File::Create(dir.file("attrs"), f));
    long few = 0, many = 0, num = 0;
    ASSERT_EQ(kcdf::kOk, f->CreateVar({"few", kcdf::kInt4, 1, {}, {}, true}, &few));
    ASSERT_EQ(kcdf::kOk, f->CreateVar({"many", kcdf::kInt4, 1, {}, {}, true}, &many));
    for (int g = 0; g < 250; ++g) {
        ASSERT_EQ(kcdf::kOk, f->CreateAttr("G" + std::to_string(g), kcdf::kGlobalScope, &num));
        ASSERT_EQ(kcdf::kOk, f->PutEntry(num, kcdf::EntryKind::Global, 0, kcdf::kChar, 1, "g", 1));
    }
    for (int a = 0; a < 215; ++a) {
        ASSERT_EQ(kcdf::kOk, f->CreateAttr("V" + std::to_string(a), kcdf::kVariableScope, &num));
        const int32_t value = a;
        ASSERT_EQ(kcdf::kOk, f->PutEntry(num, kcdf::EntryKind::Variable, many, kcdf::kInt4, 1, &value, 4));
        if (a % 100 == 7) {
            ASSERT_EQ(kcdf::kOk, f->PutEntry(num, kcdf::EntryKind::Variable, few, kcdf::kChar, 2, "ok", 2));
        }
    }
    ASSERT_EQ(kcdf::kOk, f->Close());

    KvCDFContents *c = KvMakeCDFContentsObj();
    testing::internal::CaptureStderr();
    EXPECT_STATUS(0, KvGetCSDSgenCDF(dir.file("attrs.cdf").c_str(), c));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(250, c->num_g_attrs);
    ASSERT_EQ(2, c->n_vars);
    const KvCDFVariable *v = c->vardata[0];
    ASSERT_EQ(3, v->num_v_attrs);
    for (long a = 0; a < 3; ++a) {
        EXPECT_EQ("V" + std::to_string(a * 100 + 7), v->attribute[a].name);
        EXPECT_STREQ("ok", static_cast<const char *>(v->attribute[a].data));
    }
    // The slots of a variable end at 211: the rest is left out, and said.
    v = c->vardata[1];
    ASSERT_EQ(KV_VATTR_SLOTS, v->num_v_attrs);
    EXPECT_STREQ("V210", v->attribute[210].name);
    EXPECT_EQ(210, *static_cast<const int32_t *>(v->attribute[210].data));
    EXPECT_NE(std::string::npos, said.find("4 variable attributes left out")) << said;
    KvFreeCDFContentsObj(c);
}

}  // namespace
