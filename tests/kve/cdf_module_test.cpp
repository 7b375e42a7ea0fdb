// Our CDF module against jcdf: files we write in every data type, shape,
// encoding and majority are listed alike by jcdf and by our reader, with
// the values we put; files of other writers read as jcdf reads them; what
// jcdf does not check (end of file, variable count) is checked here.
#include "cdf_dump.h"
#include "kcdf.h"
#include "support.h"

#include <cstring>
#include <numeric>

namespace {

using kombra_test::TempDir;

uint64_t Be(const std::vector<unsigned char> &b, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

struct Layout {
    const char *name;
    long encoding;
    long majority;
};

void PrintTo(const Layout &layout, std::ostream *os) { *os << layout.name; }

class CdfRoundTrip : public testing::TestWithParam<Layout> {};

template <typename T>
std::vector<unsigned char> Bytes(const std::vector<T> &v)
{
    std::vector<unsigned char> b(v.size() * sizeof(T));
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

void Put(kcdf::File &f, const kcdf::VarSpec &spec, long records, const std::vector<unsigned char> &values)
{
    long num = 0;
    ASSERT_EQ(kcdf::kOk, f.CreateVar(spec, &num)) << spec.name;
    kcdf::Hyper h;
    h.recCount = records;
    h.dimIndices.assign(spec.dimSizes.size(), 0);
    h.dimCounts = spec.dimSizes;
    size_t bytes = 0;
    ASSERT_EQ(kcdf::kOk, f.HyperBytes(num, h, &bytes));
    ASSERT_EQ(bytes, values.size()) << spec.name;
    ASSERT_EQ(kcdf::kOk, f.PutHyper(num, h, values.data(), bytes)) << spec.name;
}

TEST_P(CdfRoundTrip, EveryTypeAndShapeReadsAlikeInJcdf)
{
    TempDir dir;
    const std::string stem = dir.file("all");
    std::unique_ptr<kcdf::File> f;
    ASSERT_EQ(kcdf::kOk, kcdf::File::Create(stem, f));
    ASSERT_EQ(kcdf::kOk, f->SetEncoding(GetParam().encoding));
    ASSERT_EQ(kcdf::kOk, f->SetMajority(GetParam().majority));
    Put(*f, {"i1", kcdf::kInt1, 1, {3}, {-1}, true}, 2, Bytes(std::vector<int8_t>{-128, -1, 0, 1, 2, 127}));
    Put(*f, {"u1", kcdf::kUint1, 1, {}, {}, true}, 3, Bytes(std::vector<uint8_t>{0, 200, 255}));
    Put(*f, {"i2", kcdf::kInt2, 1, {2, 2}, {-1, -1}, true}, 2,
        Bytes(std::vector<int16_t>{-32768, -2, 3, 32767, 10, 11, 12, 13}));
    Put(*f, {"u2", kcdf::kUint2, 1, {2}, {-1}, true}, 1, Bytes(std::vector<uint16_t>{1, 65535}));
    Put(*f, {"i4", kcdf::kInt4, 1, {2, 3}, {-1, -1}, true}, 1,
        Bytes(std::vector<int32_t>{-2147483647 - 1, -1, 0, 1, 5, 2147483647}));
    Put(*f, {"u4", kcdf::kUint4, 1, {}, {}, true}, 2, Bytes(std::vector<uint32_t>{7, 4294967295u}));
    Put(*f, {"r4", kcdf::kReal4, 1, {2, 3, 2}, {-1, -1, -1}, true}, 2, [] {
        std::vector<float> v(24);
        std::iota(v.begin(), v.end(), -3.25f);
        return Bytes(v);
    }());
    Put(*f, {"r8", kcdf::kReal8, 1, {}, {}, false}, 1, Bytes(std::vector<double>{3.141592653589793}));
    Put(*f, {"ep", kcdf::kEpoch, 1, {}, {}, true}, 2, Bytes(std::vector<double>{63233568000000.0, 63233568000500.0}));
    Put(*f, {"by", kcdf::kByte, 1, {}, {}, true}, 1, Bytes(std::vector<int8_t>{-5}));
    Put(*f, {"fl", kcdf::kFloat, 1, {4}, {-1}, true}, 1, Bytes(std::vector<float>{1e-30f, -0.0f, 1.5f, 3e38f}));
    Put(*f, {"db", kcdf::kDouble, 1, {2}, {-1}, true}, 1, Bytes(std::vector<double>{-1e300, 2.5}));
    Put(*f, {"ch", kcdf::kChar, 4, {3}, {-1}, false}, 1, Bytes(std::vector<char>{'a', 'b', 'c', 'd', 'e', 'f',
                                                                                   'g', 'h', 'x', 'y', 'z', ' '}));
    Put(*f, {"uc", kcdf::kUchar, 2, {}, {}, true}, 2, Bytes(std::vector<char>{'h', 'i', 'y', 'o'}));
    // A dimension that does not vary: the stored record holds only its
    // index 0, and every index reads that value.
    Put(*f, {"nv", kcdf::kInt4, 1, {2, 3}, {0, -1}, true}, 1, Bytes(std::vector<int32_t>{1, 2, 3, 1, 2, 3}));
    long g = 0, v = 0;
    ASSERT_EQ(kcdf::kOk, f->CreateAttr("TITLE", kcdf::kGlobalScope, &g));
    ASSERT_EQ(kcdf::kOk, f->PutEntry(g, kcdf::EntryKind::Global, 0, kcdf::kChar, 5, "hello", 5));
    const double two[] = {1.0, -2.0};
    ASSERT_EQ(kcdf::kOk, f->PutEntry(g, kcdf::EntryKind::Global, 3, kcdf::kDouble, 2, two, sizeof two));
    ASSERT_EQ(kcdf::kOk, f->CreateAttr("UNITS", kcdf::kVariableScope, &v));
    ASSERT_EQ(kcdf::kOk, f->PutEntry(v, kcdf::EntryKind::Variable, 6, kcdf::kChar, 2, "nT", 2));
    const float fill = -1e31f;
    ASSERT_EQ(kcdf::kOk, f->PutEntry(v, kcdf::EntryKind::Variable, 10, kcdf::kFloat, 1, &fill, sizeof fill));
    ASSERT_EQ(kcdf::kOk, f->Close());

    std::string error;
    const auto jcdf = kve_test::JcdfDump(stem + ".cdf", &error);
    ASSERT_TRUE(jcdf) << error;
    const auto ours = kve_test::KcdfDump(stem + ".cdf", &error);
    ASSERT_TRUE(ours) << error;
    EXPECT_EQ(*jcdf, *ours);
    for (const char *expected :
         {"var i1 INT1 recvary=T dims=[3] records=2\n  rec 0 -128 -1 0\n  rec 1 1 2 127\n",
          "var u4 UINT4 recvary=T dims=[] records=2\n  rec 0 7\n  rec 1 4294967295\n",
          "var ch CHAR recvary=F dims=[3] records=1\n  rec 0 [abcd] [efgh] [xyz ]\n",
          "var nv INT4 recvary=T dims=[2,3] records=1\n  rec 0 1 2 3 1 2 3\n",
          "gattr TITLE\n  entry 0 CHAR [hello]\n  entry 3 DOUBLE d3ff0000000000000 dc000000000000000\n",
          "  attr UNITS CHAR [nT]\n", "var r4 REAL4 recvary=T dims=[2,3,2] records=2\n  rec 0 fc0500000 "})
        EXPECT_NE(std::string::npos, jcdf->find(expected)) << expected << "\nin\n" << *jcdf;

    // What jcdf does not check: the GDR's end of file and variable count.
    const std::vector<unsigned char> image = kombra_test::ReadBytes(stem + ".cdf");
    const size_t gdr = static_cast<size_t>(Be(image, 20, 8));
    EXPECT_EQ(image.size(), Be(image, gdr + 36, 8));
    EXPECT_EQ(15u, Be(image, gdr + 60, 4));
    EXPECT_EQ(0xCDF30001u, Be(image, 0, 4));
}

INSTANTIATE_TEST_SUITE_P(Layouts, CdfRoundTrip,
                         testing::Values(Layout{"NetworkRow", kcdf::kNetworkEncoding, kcdf::kRowMajor},
                                         Layout{"NetworkColumn", kcdf::kNetworkEncoding, kcdf::kColumnMajor},
                                         Layout{"IbmpcRow", kcdf::kIbmpcEncoding, kcdf::kRowMajor},
                                         Layout{"IbmpcColumn", kcdf::kIbmpcEncoding, kcdf::kColumnMajor}),
                         [](const testing::TestParamInfo<Layout> &info) { return std::string(info.param.name); });

// Files of other writers, read as they are.
struct Foreign {
    const char *file;
    bool readable;
};

void PrintTo(const Foreign &foreign, std::ostream *os) { *os << foreign.file; }

class ForeignCdf : public testing::TestWithParam<Foreign> {};

TEST_P(ForeignCdf, ReadsAsJcdfDoesOrRefusesCleanly)
{
    const std::string path = kombra_test::SourceDir() + "/tests/data/cdf/" + std::string(GetParam().file);
    std::string error;
    const auto ours = kve_test::KcdfDump(path, &error);
    if (!GetParam().readable) {
        EXPECT_FALSE(ours) << "read a file that must be refused";
        return;
    }
    ASSERT_TRUE(ours) << error;
    const auto jcdf = kve_test::JcdfDump(path, &error);
    ASSERT_TRUE(jcdf) << error;
    EXPECT_EQ(*jcdf, *ours);
}

INSTANTIATE_TEST_SUITE_P(SharedData, ForeignCdf,
                         testing::Values(Foreign{"example2.cdf", true}, Foreign{"indep_network_row.cdf", true},
                                         Foreign{"indep_network_col.cdf", true}, Foreign{"example1.cdf", true},
                                         Foreign{"test.cdf", true}),
                         [](const testing::TestParamInfo<Foreign> &info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.')) == "test" ? std::string("nasa_test")
                                                                             : name.substr(0, name.find('.'));
                         });

TEST(CdfModule, CutOrScrambledFilesAreRefusedNotRead)
{
    TempDir dir;
    const std::vector<unsigned char> good = kombra_test::ReadBytes(kombra_test::SourceDir() + "/tests/data/cdf/example2.cdf");
    for (size_t cut : {size_t{0}, size_t{4}, size_t{8}, size_t{100}, size_t{400}, good.size() / 2, good.size() - 1}) {
        std::vector<unsigned char> bad(good.begin(), good.begin() + static_cast<long>(cut));
        kombra_test::WriteBytes(dir.file("cut.cdf"), bad);
        std::unique_ptr<kcdf::File> f;
        EXPECT_NE(kcdf::kOk, kcdf::File::Open(dir.file("cut.cdf"), f)) << "cut at " << cut;
    }
    // A GDR pointing at itself as its first variable: a loop of offsets.
    std::vector<unsigned char> loop = good;
    const size_t gdr = static_cast<size_t>(Be(loop, 20, 8));
    for (int i = 0; i < 8; ++i)
        loop[gdr + 20 + static_cast<size_t>(i)] = loop[20 + static_cast<size_t>(i)];
    kombra_test::WriteBytes(dir.file("loop.cdf"), loop);
    std::unique_ptr<kcdf::File> f;
    EXPECT_EQ(kcdf::kCorrupt, kcdf::File::Open(dir.file("loop.cdf"), f));
}

TEST(CdfModule, CreateClaimsThePathAndNamesAreUnique)
{
    TempDir dir;
    std::unique_ptr<kcdf::File> f, g;
    ASSERT_EQ(kcdf::kOk, kcdf::File::Create(dir.file("x"), f));
    EXPECT_EQ(kcdf::kCdfExists, kcdf::File::Create(dir.file("x"), g));
    long num = 0;
    ASSERT_EQ(kcdf::kOk, f->CreateVar({"a", kcdf::kDouble, 1, {}, {}, true}, &num));
    EXPECT_EQ(kcdf::kVarExists, f->CreateVar({"a", kcdf::kFloat, 1, {}, {}, true}, &num));
    EXPECT_EQ(kcdf::kBadNumElems, f->CreateVar({"b", kcdf::kDouble, 2, {}, {}, true}, &num));
    EXPECT_EQ(kcdf::kBadNumDims, f->CreateVar({"c", kcdf::kDouble, 1, std::vector<long>(11, 1),
                                               std::vector<long>(11, -1), true},
                                              &num));
    EXPECT_EQ(kcdf::kOk, f->Delete());
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.cdf")));
}

TEST(CdfModule, EpochBreakdownAndComputeAgree)
{
    long y, mo, d, h, mi, s, ms;
    kcdf::EPOCHbreakdown(0.0, &y, &mo, &d, &h, &mi, &s, &ms);
    EXPECT_EQ((std::vector<long>{0, 1, 1, 0, 0, 0, 0}), (std::vector<long>{y, mo, d, h, mi, s, ms}));
    const double e = kcdf::ComputeEpoch(2004, 12, 9, 10, 20, 30, 500);
    kcdf::EPOCHbreakdown(e, &y, &mo, &d, &h, &mi, &s, &ms);
    EXPECT_EQ((std::vector<long>{2004, 12, 9, 10, 20, 30, 500}), (std::vector<long>{y, mo, d, h, mi, s, ms}));
    kcdf::EPOCHbreakdown(kcdf::ComputeEpoch(2000, 2, 29, 23, 59, 59, 999), &y, &mo, &d, &h, &mi, &s, &ms);
    EXPECT_EQ((std::vector<long>{2000, 2, 29, 23, 59, 59, 999}), (std::vector<long>{y, mo, d, h, mi, s, ms}));
    kcdf::EPOCHbreakdown(-5.0, &y, &mo, &d, &h, &mi, &s, &ms);
    EXPECT_EQ(9999, y);
}

}  // namespace
