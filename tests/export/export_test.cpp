// The sweep export adapter: the data set it makes from gathered sweeps, and
// that data set written as CEF 2 (checked by a small CEF 2 structure check)
// and as CDF (listed by jcdf).
#include "../kve/cdf_dump.h"
#include "Qsweep_export.h"
#include "kve_cdf.h"
#include "kve_flat.h"
#include "support.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

namespace {

using kombra_test::TempDir;

struct Freer {
    void operator()(KvCDFContents *c) const { KvFreeCDFContentsObj(c); }
    void operator()(KvOptions *o) const { KvFreeOptionsObj(o); }
};
using ContentsPtr = std::unique_ptr<KvCDFContents, Freer>;
using OptionsPtr = std::unique_ptr<KvOptions, Freer>;

// Sweep k of a gathered set: 4 s apart from 2004-12-09 10:00:00, psd value
// of level l of sensor s = 100 k + 10 s + l.
SweepPtr MakeSweep(int k, int n_sen, int n_lev, int units = BIN_UNITS_EV)
{
    SweepPtr s(new_sweep_record());
    s->n_sen = n_sen;
    s->n_lev = n_lev;
    EXPECT_EQ(1, malloc_sweep_arrays(s.get(), 0));
    to_nurv_time(2004, 344, 10, 0, 4 * k, 0, &s->btime);
    to_nurv_time(2004, 344, 10, 0, 4 * k + 2, 0, &s->etime);
    s->phi_lo = 10.0f;
    s->phi_hi = 20.0f;
    s->phi_sc = 3.5f;
    std::memcpy(&s->bin_units, &units, sizeof units);  // also values outside the enumeration
    s->psd_units = PSD_UNITS_S3_PER_KM6;
    s->missing_value = -1e31f;
    for (int j = 0; j < n_sen; ++j) {
        s->thlo[j] = 20.0f * static_cast<float>(j);
        s->thhi[j] = 20.0f * static_cast<float>(j + 1);
    }
    for (int l = 0; l < n_lev; ++l) {
        s->elo[l] = static_cast<float>(l + 1);
        s->ehi[l] = static_cast<float>(l + 2);
    }
    for (int j = 0; j < n_sen; ++j)
        for (int l = 0; l < n_lev; ++l)
            s->psd[l + n_lev * j] = static_cast<float>(100 * k + 10 * j + l);
    std::memset(s->lineage, 0, sizeof *s->lineage);
    std::strcpy(s->lineage->mission, "CLUSTER-1");
    std::strcpy(s->lineage->experiment, "HALDE");
    std::strcpy(s->lineage->instrument, "3DR");
    std::strcpy(s->lineage->virtual_inst, "CP3DRH");
    return s;
}

std::vector<HALDE_SWEEP_S *> Raw(const std::vector<SweepPtr> &sweeps)
{
    std::vector<HALDE_SWEEP_S *> raw;
    for (const SweepPtr &s : sweeps)
        raw.push_back(s.get());
    return raw;
}

const KvVarAttribute *Attr(const KvCDFVariable *v, const char *name)
{
    for (long a = 0; a < v->num_v_attrs; ++a)
        if (std::strcmp(v->attribute[a].name, name) == 0)
            return &v->attribute[a];
    return nullptr;
}

TEST(SweepExport, OneSweepOneRecord)
{
    std::vector<SweepPtr> sweeps;
    sweeps.push_back(MakeSweep(0, 3, 4));
    sweeps[0]->psd[5] = std::numeric_limits<float>::quiet_NaN();
    sweeps[0]->psd[6] = std::numeric_limits<float>::infinity();
    auto raw = Raw(sweeps);
    KvCDFContents *out = nullptr;
    ASSERT_EQ(1, nsweeps2KvCDFContents(raw.data(), 1, &out));
    ContentsPtr c(out);
    EXPECT_EQ(10, c->n_vars);
    EXPECT_EQ(1, c->n_recs);
    EXPECT_EQ(0, c->time_var_num);
    EXPECT_EQ(3, c->num_g_attrs);
    const KvCDFVariable *psd = c->vardata[2];
    EXPECT_STREQ("psd", psd->name);
    EXPECT_EQ(2, psd->num_dims);
    EXPECT_EQ(3, psd->dim_sizes[0]);
    EXPECT_EQ(4, psd->dim_sizes[1]);
    const float *values = static_cast<const float *>(psd->data);
    EXPECT_EQ(23.0f, values[11]);  // sensor 2, level 3
    EXPECT_EQ(-1e31f, values[5]);
    EXPECT_EQ(-1e31f, values[6]);
    const KvVarAttribute *fill = Attr(psd, "FILLVAL");
    ASSERT_NE(nullptr, fill);
    EXPECT_EQ(CDF_FLOAT, fill->data_type);
    EXPECT_EQ(-1e31f, *static_cast<const float *>(fill->data));
    const double mid = static_cast<const double *>(c->vardata[0]->data)[0];
    EXPECT_STREQ("2004-12-09T10:00:01.000Z", KvEpochToISOString(mid, 'T'));
    EXPECT_EQ(1.0, static_cast<const double *>(c->vardata[1]->data)[0]);
    EXPECT_EQ(15.0f, static_cast<const float *>(c->vardata[3]->data)[0]);
    EXPECT_EQ(30.0f, static_cast<const float *>(c->vardata[5]->data)[1]);
    EXPECT_EQ(1.5f, static_cast<const float *>(c->vardata[7]->data)[0]);
    EXPECT_EQ(0.5f, static_cast<const float *>(c->vardata[8]->data)[0]);
    const KvVarAttribute *rank = Attr(c->vardata[3], "TENSOR_RANK");
    ASSERT_NE(nullptr, rank);
    EXPECT_EQ(CDF_INT4, rank->data_type);
    EXPECT_EQ(1, *static_cast<const int32_t *>(rank->data));
    EXPECT_NE(nullptr, Attr(c->vardata[3], "PARAMTER_TYPE"));
    EXPECT_STREQ("CLUSTER-1 HALDE 3DR CP3DRH", static_cast<const char *>(c->g_attr[0]->entry[0].data));
    EXPECT_EQ(3, c->g_attr[1]->num_entries);
    const std::string when = static_cast<const char *>(c->g_attr[2]->entry[0].data);
    EXPECT_EQ(32u, when.size()) << when;
    EXPECT_EQ(".000Z Doy ", when.substr(19, 10));
}

TEST(SweepExport, LevelTextsFollowTheBinUnits)
{
    for (const auto &[units, label, unit] : {std::tuple{static_cast<int>(BIN_UNITS_EV), "Energy", "eV"},
                                             std::tuple{static_cast<int>(BIN_UNITS_KM_S), "Speed", "km/s"},
                                             std::tuple{7, "Level (unknown)", "dummy units"}}) {
        std::vector<SweepPtr> sweeps;
        sweeps.push_back(MakeSweep(0, 2, 2, units));
        auto raw = Raw(sweeps);
        KvCDFContents *out = nullptr;
        ASSERT_EQ(1, nsweeps2KvCDFContents(raw.data(), 1, &out));
        ContentsPtr c(out);
        EXPECT_STREQ(label, static_cast<const char *>(Attr(c->vardata[7], "LABLAXIS")->data));
        EXPECT_STREQ(unit, static_cast<const char *>(Attr(c->vardata[8], "UNITS")->data));
    }
}

// Azimuth ranges as the export and the cuts give them: a range through 360
// degrees is the long way round, so the half-width is never negative and
// covers what the sweep holds.
TEST(SweepExport, AzimuthCentreAndHalfWidth)
{
    struct Range {
        const char *name;
        float lo, hi, centre, half;
    };
    for (const Range &r : {Range{"one sector", 10, 20, 15, 5},
                           Range{"a whole spin through 360", 180, 174.24f, 357.12f, 177.12f},
                           Range{"a sector across 0", 352.8f, 4.32f, 358.56f, 5.76f},
                           Range{"three quarters of a spin", 270, 180, 45, 135},
                           Range{"a sector ending at 360", 348.48f, 360, 354.24f, 5.76f},
                           Range{"no width", 90, 90, 90, 0}}) {
        SCOPED_TRACE(r.name);
        std::vector<SweepPtr> sweeps;
        sweeps.push_back(MakeSweep(0, 2, 2));
        sweeps[0]->phi_lo = r.lo;
        sweeps[0]->phi_hi = r.hi;
        auto raw = Raw(sweeps);
        KvCDFContents *out = nullptr;
        ASSERT_EQ(1, nsweeps2KvCDFContents(raw.data(), 1, &out));
        ContentsPtr c(out);
        EXPECT_NEAR(r.centre, static_cast<const float *>(c->vardata[3]->data)[0], 1e-4);
        EXPECT_NEAR(r.half, static_cast<const float *>(c->vardata[4]->data)[0], 1e-4);
        HALDE_1D_SWEEP_CUT_S *cut = sweep_1D_cut(10, sweeps[0].get());
        ASSERT_NE(nullptr, cut);
        EXPECT_NEAR(r.centre, cut->phi_cen, 1e-4);
        free_1D_cut_arrays(cut);
        std::free(cut);
    }
}

TEST(SweepExport, SweepsOfAnotherShapeAreRefused)
{
    std::vector<SweepPtr> sweeps;
    sweeps.push_back(MakeSweep(0, 2, 3));
    sweeps.push_back(MakeSweep(1, 2, 4));
    auto raw = Raw(sweeps);
    KvCDFContents *out = reinterpret_cast<KvCDFContents *>(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(-503, nsweeps2KvCDFContents(raw.data(), 2, &out));
    EXPECT_EQ("nswps2KvCDF: Sweep 1 has different length from 1st sweep.\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(-503, nsweeps2KvCDFContents(raw.data(), 0, &out));
}

// A small CEF 2 structure check: magic, version, DATA_UNTIL, matched
// variable blocks, one record end per record, the end of data.
void CheckCef2(const std::string &text, int variables, int records, char rec_end)
{
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(0u, line.rfind("!@.cef2@", 0)) << line;
    std::vector<std::string> open;
    int blocks = 0;
    bool version = false, until = false;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty())
            last = line;
        if (line == "FILE_FORMAT_VERSION = CEF-2.0")
            version = true;
        if (line == "DATA_UNTIL = \"End_of_Data\"")
            until = true;
        if (line.rfind("START_VARIABLE = ", 0) == 0)
            open.push_back(line.substr(17));
        if (line.rfind("END_VARIABLE = ", 0) == 0) {
            ASSERT_FALSE(open.empty());
            EXPECT_EQ(open.back(), line.substr(15));
            open.pop_back();
            ++blocks;
        }
    }
    EXPECT_TRUE(version);
    EXPECT_TRUE(until);
    EXPECT_TRUE(open.empty());
    EXPECT_EQ(variables, blocks);
    const std::string data = text.substr(text.find("DATA_UNTIL"));
    EXPECT_EQ(records, static_cast<int>(std::count(data.begin(), data.end(), rec_end)));
    EXPECT_EQ("End_of_Data", last);
}

TEST(SweepExport, GatheredSetAsCef2AndCdf)
{
    constexpr int kN = 40;
    std::vector<SweepPtr> sweeps;
    for (int k = 0; k < kN; ++k)
        sweeps.push_back(MakeSweep(k, 8, 16));
    // A backslash in a lineage is text like any other in the file.
    std::strcpy(sweeps[0]->lineage->instrument, "3DR\\101");
    auto raw = Raw(sweeps);
    TempDir dir;
    for (const bool cdf : {false, true}) {
        KvCDFContents *out = nullptr;
        ASSERT_EQ(1, nsweeps2KvCDFContents(raw.data(), kN, &out));
        ContentsPtr c(out);
        c->io_f_path = KvNewStr((dir.str() + "/").c_str());
        c->io_f_name = KvNewStr("C1_sweeps");
        OptionsPtr o(KvMakeOptionsObj());
        o->attr_delim = o->data_delim = ',';
        o->time_sep_attr = o->time_sep_data = 'T';
        if (!cdf) {
            o->f_type = CAA;
            o->rec_end = '$';
            o->row_end = '\n';
            ASSERT_STATUS(0, KvWriteCSDSgenFlat(c.get(), o.get()));
            const std::string text = kombra_test::ReadFile(dir.file("C1_sweeps.cef"));
            CheckCef2(text, 10, kN, '$');
            EXPECT_NE(std::string::npos, text.find("Entry = \"CLUSTER-1 HALDE 3DR\\101 CP3DRH\"\n")) << text;
            continue;
        }
        ASSERT_STATUS(0, KvWriteCSDSgenCDF(c.get(), o.get()));
        std::string error;
        const auto dump = kve_test::JcdfDump(dir.file("C1_sweeps.cdf"), &error);
        ASSERT_TRUE(dump) << error;
        for (const char *expected :
             {"var psd FLOAT recvary=T dims=[8,16] records=40\n  rec 0 f0 f3f800000 f40000000",
              "var timetags EPOCH recvary=T dims=[] records=40\n", "var sc_potential FLOAT recvary=T dims=[] records=40\n",
              "  attr DEPEND_0 CHAR [timetags]\n", "  attr TENSOR_RANK INT4 1\n",
              "gattr NURV Lineage\n  entry 0 CHAR [CLUSTER-1 HALDE 3DR\\101 CP3DRH]\n"})
            EXPECT_NE(std::string::npos, dump->find(expected)) << expected;
    }
}

}  // namespace
