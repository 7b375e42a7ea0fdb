// The sample archive, generated without noise, read back through the sweep
// reader: the phase-space density equals the model to within the rounding
// of one count, the default sources of both programs read, every catalogued
// file is on disk, the dead detector shows, and two runs write the same
// bytes.
#include "Qsweep_export.h"
#include "Qsweep_spin.h"
#include "Velora_pad.h"
#include "config_reset.h"
#include "libKELD.h"
#include "libPromote.h"
#include "libdbSQL.h"
#include "sample_archive.h"
#include "sample_model.h"
#include "support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using namespace kombra_sample;

NURV_TIME_S At(int hour, int minute, int second = 0)
{
    NURV_TIME_S t{};
    t.year = 2001;
    t.doy = 90;
    t.sec = hour * 3600 + minute * 60 + second;
    return t;
}

NURV_LINEAGE_S Lineage(const char *mission, const char *instrument, const char *vinst)
{
    NURV_LINEAGE_S l{};
    std::snprintf(l.project, sizeof l.project, "CLUSTERII");
    std::snprintf(l.mission, sizeof l.mission, "%s", mission);
    std::snprintf(l.experiment, sizeof l.experiment, "HALDE");
    std::snprintf(l.instrument, sizeof l.instrument, "%s", instrument);
    std::snprintf(l.virtual_inst, sizeof l.virtual_inst, "%s", vinst);
    return l;
}

struct Sweeps {
    KOMBRA_SHORT status = 0;
    int n = 0;
    HALDE_SWEEP_S **s = nullptr;
    ~Sweeps() { free_sweep_set(n, s); }
};

class SampleArchive : public ::testing::Test {
protected:
    // The archive without noise that CTest writes once for every test
    // (KOMBRA_TEST_SAMPLE), or one of the test's own when run alone.
    static void SetUpTestSuite()
    {
        const char *shared = std::getenv("KOMBRA_TEST_SAMPLE");
        if (shared != nullptr && std::filesystem::exists(std::string(shared) + "/kombra.env")) {
            path_ = shared;
            return;
        }
        own_ = new kombra_test::TempDir;
        path_ = own_->str();
        SampleOptions o;
        o.noise = false;
        WriteSampleArchive(path_, o);
    }
    static void TearDownTestSuite()
    {
        delete own_;
        own_ = nullptr;
    }
    void SetUp() override { cfg_test::ResetConfiguration(); }
    void TearDown() override
    {
        CloseKELD();
        dbClose();
        cfg_test::ResetConfiguration();
    }
    std::unique_ptr<Sweeps> Read(NURV_LINEAGE_S lineage, NURV_TIME_S b, NURV_TIME_S e, PSD_UNITS_E units,
                                 T_OR_F_E pa)
    {
        auto r = std::make_unique<Sweeps>();
        r->status = GetNHaldeSweeps(&lineage, &b, &e, BIN_UNITS_EV, units, pa, &r->n, &r->s);
        if (r->status != 1 && r->status != 12)
            r->n = 0;
        return r;
    }

    static kombra_test::TempDir *own_;
    static std::string path_;
    kombra_test::ScopedEnv config{"KOMBRA_CONFIG", path_ + "/config"};
    kombra_test::ScopedEnv data{"KOMBRA_DATA", path_};
    kombra_test::ScopedEnv home{"KOMBRA_HOME", path_};
    kombra_test::ScopedEnv type{"KOMBRA_DB_TYPE", "SQLite"};
};
kombra_test::TempDir *SampleArchive::own_ = nullptr;
std::string SampleArchive::path_;

TEST_F(SampleArchive, DensityEqualsTheModelWithinACount)
{
    auto r = Read(Lineage("CLUSTER-1", "3DR", "CP3DRH"), At(17, 59, 50), At(18, 0, 10), PSD_UNITS_S3_PER_KM6, QPTRUE);
    ASSERT_EQ(1, r->status);
    ASSERT_GE(r->n, 5);
    const kombra_fixtures::SweepTables t = Tables("CP3DRH");
    int compared = 0;
    for (int k = 0; k < r->n; ++k) {
        const HALDE_SWEEP_S &s = *r->s[k];
        ASSERT_NE(nullptr, s.pa);
        ASSERT_EQ(16, s.n_lev);
        const double sec = s.btime.sec + s.btime.nano * 1e-9;
        const double phi = Potential(0, sec);
        for (int c = 0; c < s.n_sen; ++c)
            for (int l = 0; l < s.n_lev; ++l) {
                const int step = s.n_lev - 1 - l;
                const int i = l + s.n_lev * c;
                const double model = MeasuredPsd(0, t.energy[static_cast<std::size_t>(step)], s.pa[i], sec, phi);
                const double counts = CountsOfPsd(model, t, step);
                if (counts < 1.0 || counts > 253.0)
                    continue;
                ++compared;
                EXPECT_NEAR(model, s.psd[i], PsdOfCounts(0.5, t, step) + 1e-4 * model)
                    << "sweep " << k << " sensor " << c << " level " << l << " pitch " << s.pa[i];
            }
    }
    EXPECT_GT(compared, 500);
}

// Differential energy flux exported from the sample, taken to SI units by
// the conversion the export writes beside it, is the model's 2 E^2 f / m^2.
TEST_F(SampleArchive, ExportedEnergyFluxInSiUnitsIsTheModels)
{
    auto r = Read(Lineage("CLUSTER-1", "3DR", "CP3DRH"), At(18, 0), At(18, 0, 8), PSD_UNITS_DIFF_ENERGY_FLUX, QPTRUE);
    ASSERT_EQ(1, r->status);
    ASSERT_GE(r->n, 2);
    KvCDFContents *made = nullptr;
    ASSERT_EQ(1, nsweeps2KvCDFContents(r->s, r->n, &made));
    std::unique_ptr<KvCDFContents, decltype(&KvFreeCDFContentsObj)> contents(made, &KvFreeCDFContentsObj);
    const KvCDFVariable *psd = nullptr;
    for (long v = 0; v < contents->n_vars; ++v)
        if (std::string(contents->vardata[v]->name) == "psd")
            psd = contents->vardata[v];
    ASSERT_NE(nullptr, psd);
    std::map<std::string, std::string> attrs;
    for (long a = 0; a < psd->num_v_attrs; ++a)
        if (psd->attribute[a].data_type == CDF_CHAR)
            attrs[psd->attribute[a].name] = static_cast<const char *>(psd->attribute[a].data);
    EXPECT_EQ("D e-flux ergs/(cm**2 s sr eV)", attrs["UNITS"]);
    const std::string si = attrs["SI_CONVERSION"];
    ASSERT_EQ(">m^-2 s^-1 sr^-1", si.substr(si.find('>')));
    const double factor = std::strtod(si.c_str(), nullptr);

    constexpr double kJoulePerEv = 1.602176634e-19, kElectronKg = 9.1093837015e-31;
    const kombra_fixtures::SweepTables t = Tables("CP3DRH");
    const HALDE_SWEEP_S &s = *r->s[0];
    const float *exported = static_cast<const float *>(psd->data);
    const double sec = s.btime.sec + s.btime.nano * 1e-9;
    int compared = 0;
    for (int c = 0; c < s.n_sen; ++c)
        for (int l = 0; l < s.n_lev; ++l) {
            const int step = s.n_lev - 1 - l;
            const int i = l + s.n_lev * c;
            const double e = t.energy[static_cast<std::size_t>(step)];
            const double f = MeasuredPsd(0, e, s.pa[i], sec, Potential(0, sec));
            const double counts = CountsOfPsd(f, t, step);
            if (counts < 50.0 || counts > 253.0)
                continue;
            ++compared;
            // f in s^3/km^6 is 1e-18 s^3/m^6.
            const double model = 2 * (e * kJoulePerEv) * (e * kJoulePerEv) * f * 1e-18 / (kElectronKg * kElectronKg);
            EXPECT_NEAR(model, exported[i] * factor, 0.015 * model) << "sensor " << c << " level " << l;
        }
    EXPECT_GT(compared, 20);
}

TEST_F(SampleArchive, PitchAnglesAcrossAFileChange)
{
    auto r = Read(Lineage("CLUSTER-1", "3DR", "CP3DRH"), At(16, 59, 48), At(17, 0, 12), PSD_UNITS_CNTS_ACCUM, QPTRUE);
    ASSERT_EQ(1, r->status);
    ASSERT_EQ(8, r->n);  // 16:59:48 to 17:00:12, and the sweep that follows
    for (int k = 0; k < r->n; ++k) {
        EXPECT_EQ(16 * 3600 + 59 * 60 + 48 + 4 * k, r->s[k]->btime.sec) << k;
        ASSERT_NE(nullptr, r->s[k]->pa);
        EXPECT_GE(r->s[k]->pa[5], 0.0f) << k;
    }
}

TEST_F(SampleArchive, DefaultSourcesOfBothProgramsAndTheDeadDetector)
{
    // Mirvek's default: a minute of CLUSTER-1's high-energy pitch-angle
    // product; Lunder's: CLUSTER-2's low-energy one at 18:00.
    auto mirvek = Read(Lineage("CLUSTER-1", "PAD", "CPPADH"), At(18, 0), At(18, 1), PSD_UNITS_DIFF_ENERGY_FLUX, QPFALSE);
    ASSERT_EQ(1, mirvek->status);
    EXPECT_EQ(17, mirvek->n);  // 18:00:00 to 18:01:00, and the sweep that follows
    EXPECT_STREQ("HSPAD", mirvek->s[0]->lineage->virtual_inst);
    auto lunder = Read(Lineage("CLUSTER-2", "PAD", "CPPADL"), At(18, 0), At(18, 0, 1), PSD_UNITS_CNTS_ACCUM, QPFALSE);
    ASSERT_EQ(1, lunder->status);
    // Photoelectrons fill the levels below the potential.
    const HALDE_SWEEP_S &low = *lunder->s[0];
    EXPECT_GT(low.psd[0 + low.n_lev * 6], 10.0f);

    auto dead = Read(Lineage("CLUSTER-3", "PAD", "CPPADH"), At(16, 30), At(16, 30, 1), PSD_UNITS_CNTS_ACCUM, QPFALSE);
    ASSERT_EQ(1, dead->status);
    const HALDE_SWEEP_S &d = *dead->s[0];
    int missing_row = -1;
    for (int row = 0; row < d.n_sen; ++row) {
        bool all = true;
        for (int l = 0; l < d.n_lev; ++l)
            all = all && d.psd[l + d.n_lev * row] == d.missing_value;
        if (all)
            missing_row = row;
    }
    EXPECT_EQ(d.n_sen - 1 - kDeadSensor, missing_row);  // spin-pad rows run backwards
}

// Both programs start on CLUSTER-1 and CLUSTER-2, so every product of those
// two reads from the first to the last minute of the sample, as the programs
// ask for it with and without pitch-angle binning (the pitch-angle products
// through the spin products without it, as themselves with it).
TEST_F(SampleArchive, EveryProductOfTheFirstTwoSpacecraftReads)
{
    struct Product {
        const char *instrument, *vinst, *readAs;
    };
    const Product products[] = {{"3DR", "CP3DRH", "CP3DRH"}, {"3DR", "CP3DRL", "CP3DRL"},
                                {"PAD", "CPPADH", "HSPAD"},  {"PAD", "CPPADL", "LSPAD"},
                                {"SPINPAD", "HSPAD", "HSPAD"}, {"SPINPAD", "LSPAD", "LSPAD"}};
    for (const char *mission : {"CLUSTER-1", "CLUSTER-2"})
        for (const Product &p : products)
            for (const T_OR_F_E pa : {QPFALSE, QPTRUE})
                for (const int hour : {FirstHour({}), EndHour({}) - 1}) {
                    SCOPED_TRACE(std::string(mission) + " " + p.vinst + (pa == QPTRUE ? " in pitch angle" : "") +
                                 " at " + std::to_string(hour) + ":30");
                    auto r = Read(Lineage(mission, p.instrument, p.vinst), At(hour, 30), At(hour, 30, 8),
                                  PSD_UNITS_CNTS_ACCUM, pa);
                    ASSERT_EQ(1, r->status);
                    ASSERT_GE(r->n, 2);
                    EXPECT_STREQ(pa == QPTRUE ? p.vinst : p.readAs, r->s[0]->lineage->virtual_inst);
                    EXPECT_EQ(pa == QPTRUE, r->s[0]->pa != nullptr);
                }
}

// The reader lists its polar rows from 180 degrees down.  Mapped to the same
// field with no potential step, each sweep comes back as it was: every
// present bin, give or take a third of the step to its neighbouring rows
// (the refined bins that straddle an edge mix a little of them in).  Cuts
// take the row of their angle (on a shared edge the lower row: 45 degrees is
// the row of 30..45).
TEST_F(SampleArchive, SweepsReadFallingMapOntoThemselvesAndCutByAngle)
{
    for (auto [mission, instrument, vinst] :
         {std::tuple{"CLUSTER-2", "PAD", "CPPADL"}, std::tuple{"CLUSTER-1", "3DR", "CP3DRH"}}) {
        SCOPED_TRACE(vinst);
        auto r = Read(Lineage(mission, instrument, vinst), At(18, 0), At(18, 0, 8), PSD_UNITS_S3_PER_KM6, QPFALSE);
        ASSERT_EQ(1, r->status);
        ASSERT_GE(r->n, 2);
        for (int k = 0; k < 2; ++k) {
            const HALDE_SWEEP_S &in = *r->s[k];
            ASSERT_GT(in.thlo[0], in.thlo[in.n_sen - 1]) << "rows listed falling";
            testing::internal::CaptureStdout();
            SweepPtr mapped(PADLiouvilleMap(&in, 1, 1, 0, 7));
            testing::internal::GetCapturedStdout();
            ASSERT_NE(nullptr, mapped);
            int present = 0;
            for (int s = 0; s < in.n_sen; ++s)
                for (int l = 0; l < in.n_lev; ++l) {
                    const auto at = [&](int row) { return in.psd[l + in.n_lev * row]; };
                    if (at(s) == in.missing_value)
                        continue;
                    ++present;
                    float lo = at(s), hi = at(s);
                    for (const int n : {s - 1, s + 1})
                        if (n >= 0 && n < in.n_sen && at(n) != in.missing_value) {
                            lo = std::min(lo, at(n));
                            hi = std::max(hi, at(n));
                        }
                    EXPECT_NEAR(at(s), mapped->psd[l + in.n_lev * s], (hi - lo) / 3 + 1e-5f * at(s))
                        << "sweep " << k << " row " << s << " level " << l;
                }
            EXPECT_GT(present, in.n_sen * in.n_lev / 2);

            for (auto [theta, row] : {std::pair{10.0f, 11}, {45.0f, 9}, {135.0f, 3}, {170.0f, 0}}) {
                HALDE_1D_SWEEP_CUT_S *cut = sweep_1D_cut(theta, &in);
                ASSERT_NE(nullptr, cut);
                EXPECT_EQ((in.thlo[row] + in.thhi[row]) / 2, cut->thcen) << theta;
                EXPECT_TRUE(std::equal(cut->psd1D, cut->psd1D + in.n_lev, in.psd + in.n_lev * row)) << theta;
                free_1D_cut_arrays(cut);
                std::free(cut);
            }
        }
    }
}

// A whole spin of a sweep product: its sweeps back to back, each over its
// own sector of azimuth, so that Lunder's slices at 40 and 220 degrees are
// two sectors of one spin; the field turns through the spin, so that its
// pitch angles reach from near 0 to near 180 degrees.  Outside the hour of
// whole spins a spin holds one sweep.
TEST_F(SampleArchive, WholeSpinsCoverEveryAzimuthAndPitchAngle)
{
    struct Case {
        const char *instrument, *vinst;
        int perSpin;
        float sector;
    };
    for (const Case c : {Case{"PAD", "CPPADH", 41, 8.64f}, Case{"3DR", "CP3DRL", 31, 11.52f}}) {
        SCOPED_TRACE(c.vinst);
        NURV_TIME_S end = At(18, 0, 3);
        end.nano = 999000000;
        auto r = Read(Lineage("CLUSTER-1", c.instrument, c.vinst), At(18, 0), end, PSD_UNITS_CNTS_ACCUM, QPTRUE);
        ASSERT_EQ(1, r->status);
        ASSERT_EQ(c.perSpin + 1, r->n);  // the spin, and the first sweep of the next
        float lo = 180, hi = 0;
        for (int k = 0; k < c.perSpin; ++k) {
            const HALDE_SWEEP_S &s = *r->s[k];
            EXPECT_EQ(18 * 3600, s.suntime.sec) << k;
            EXPECT_NEAR(std::fmod(180.0f + k * c.sector, 360.0f), s.phi_lo, 1e-2f) << k;
            // Back to back: a spectrogram of the sweeps leaves no time empty.
            if (k > 0) {
                EXPECT_NEAR(nurv_time_to_epoch_secs(&r->s[k - 1]->etime), nurv_time_to_epoch_secs(&s.btime), 0.01)
                    << k;
            }
            for (int i = 0; i < s.n_sen * s.n_lev; ++i) {
                lo = std::min(lo, s.pa[i]);
                hi = std::max(hi, s.pa[i]);
            }
        }
        EXPECT_EQ(18 * 3600 + 4, r->s[c.perSpin]->suntime.sec);
        EXPECT_LT(lo, 6.0f);
        EXPECT_GT(hi, 174.0f);
    }
    auto before = Read(Lineage("CLUSTER-1", "3DR", "CP3DRL"), At(17, 29, 50), At(17, 29, 58), PSD_UNITS_CNTS_ACCUM, QPFALSE);
    ASSERT_EQ(1, before->status);
    EXPECT_EQ(3, before->n);

    // Lunder's slice of no gathering: the sweep of the first whole spin
    // that holds the azimuth.
    HALDE_PITCH_ANGLE_OPTS_S pa;
    set_pa_opts_defaults(&pa);
    HALDE_GATHER_GAPS_S gaps;
    sweep_spin_gap_defaults(&gaps);
    std::vector<SweepPtr> slices;
    for (const float az : {40.0f, 220.0f}) {
        NURV_LINEAGE_S lineage = Lineage("CLUSTER-2", "3DR", "CP3DRL");
        NURV_TIME_S b = At(18, 0), e = b;
        testing::internal::CaptureStdout();
        slices.emplace_back(HaldeGetAzSliceV2(&lineage, &b, &e, az, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, &pa,
                                              NO_SC_POT_CORR, 0, 60, NO_GATHER, gaps, 0, 1));
        testing::internal::GetCapturedStdout();
        ASSERT_NE(nullptr, slices.back());
        EXPECT_LE(slices.back()->phi_lo, az);
        EXPECT_GE(slices.back()->phi_hi, az);
        EXPECT_EQ(18 * 3600, slices.back()->suntime.sec);  // the first spin that begins at or after the start
    }
    EXPECT_FALSE(std::equal(slices[0]->psd, slices[0]->psd + slices[0]->n_sen * slices[0]->n_lev, slices[1]->psd));
}

// Lunder's pitch-angle slice of the sample (one spin, 13 bins in angle)
// holds every pitch angle: the loss cone empties both end bins below the
// beam's energies, and the beam fills the field-aligned end around 800 eV.
// Mapped to the same field with no potential step it fills exactly the
// bins that were present.
TEST_F(SampleArchive, PitchAngleSliceShowsTheLossConeAndTheBeam)
{
    for (const int minute : {0, 1}) {
        SCOPED_TRACE(minute);
        NURV_LINEAGE_S lineage = Lineage("CLUSTER-2", "PAD", "CPPADL");
        NURV_TIME_S b = At(18, minute), e = b;
        testing::internal::CaptureStdout();
        ASSERT_EQ(1, nurv_n_spin_sweep_etime(&lineage, &b, &e, QPTRUE, GATHER_SPINS, 1));
        HALDE_PITCH_ANGLE_OPTS_S pa;
        set_pa_opts_defaults(&pa);
        pa.do_pa = QPTRUE;
        HALDE_GATHER_GAPS_S gaps;
        sweep_spin_gap_defaults(&gaps);
        gaps.sweep_gap = gaps.spin_gap;
        SweepPtr slice(HaldeGetAzSliceV2(&lineage, &b, &e, 0, BIN_UNITS_EV, PSD_UNITS_S3_PER_KM6, &pa, NO_SC_POT_CORR, 0,
                                         60, GATHER_SPINS, gaps, 1, 1));
        SweepPtr mapped(slice ? PADLiouvilleMap(slice.get(), 1, 1, 0, 7) : nullptr);
        testing::internal::GetCapturedStdout();
        ASSERT_NE(nullptr, mapped);
        const HALDE_SWEEP_S &in = *slice;
        ASSERT_EQ(13, in.n_sen);
        const auto at = [&](int row, float ev) {
            int level = 0;
            for (int l = 0; l < in.n_lev; ++l)
                if (in.elo[l] <= ev && ev < in.ehi[l])
                    level = l;
            return in.psd[level + in.n_lev * row];
        };
        for (int s = 0; s < in.n_sen; ++s) {
            for (int l = 0; l < in.n_lev; ++l) {
                const int i = l + in.n_lev * s;
                EXPECT_EQ(in.psd[i] == in.missing_value, mapped->psd[i] == mapped->missing_value)
                    << "row " << s << " level " << l << " (" << in.thlo[s] << ".." << in.thhi[s] << " degrees)";
            }
            EXPECT_NE(in.missing_value, at(s, 200)) << "row " << s;
        }
        for (const float ev : {50.0f, 200.0f})
            for (const int end : {0, 12})
                EXPECT_LT(at(end, ev) * 5, at(6, ev)) << ev << " eV, row " << end;
        EXPECT_GT(at(0, 1000), at(12, 1000) * 5);
        EXPECT_GT(at(0, 1000), at(6, 1000) * 2);
    }
}

TEST_F(SampleArchive, EveryCataloguedFileIsOnDisk)
{
    CfgInit();
    ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    void *request = pro_InitPromote(2001, 90, 0, 2001, 91, 0, 0);
    for (const char *mission : {"CLUSTER-1", "CLUSTER-2", "CLUSTER-3", "CLUSTER-4"})
        for (auto [i, v] : {std::pair{"3DR", "CP3DRH"}, {"3DR", "CP3DRL"}, {"PAD", "CPPADH"}, {"PAD", "CPPADL"},
                            {"SPINPAD", "HSPAD"}, {"SPINPAD", "LSPAD"}}) {
            KOMBRA_ULONG key = 0;
            ASSERT_EQ(1, get_data_key("CLUSTERII", mission, "HALDE", i, v, &key)) << mission << v;
            pro_AddSource(request, key);
        }
    EXPECT_EQ(0, pro_NeedToPromote(request));
    pro_FreePromote(request);
}

// The catalog is written for every back end: with KOMBRA_DB_TYPE unset the
// dBASE tables answer every look-up of data and description files as the
// SQLite file does, for sources with and without data and for hours inside
// and outside the sample, and over all years.
TEST_F(SampleArchive, DbaseTablesAnswerAsTheSqliteCatalog)
{
    struct Source {
        const char *mission, *experiment, *instrument, *vinst;
    };
    std::vector<Source> sources;
    for (const char *mission : {"CLUSTER-1", "CLUSTER-2", "CLUSTER-3", "CLUSTER-4"}) {
        for (auto [i, v] : {std::pair{"3DR", "CP3DRH"}, {"3DR", "CP3DRL"}, {"PAD", "CPPADH"}, {"PAD", "CPPADL"},
                            {"SPINPAD", "HSPAD"}, {"SPINPAD", "LSPAD"}})
            sources.push_back({mission, "HALDE", i, v});
        sources.push_back({mission, "FGM", "VEC", "CFUNIT"});
        sources.push_back({mission, "EFW", "PRIME", "CEFPRIME"});
    }
    // By back end: every look-up's answer ("status name1 name2"), in one order.
    std::map<int, std::vector<std::string>> answers;
    CfgInit();
    for (const dbType type : {SQLite, Tarvo}) {
        ASSERT_EQ(1, dbSetDatabaseType(type, "nurv")) << dbErrorMsg();
        for (const Source &s : sources) {
            const KOMBRA_ULONG key = dbGetDataKey("CLUSTERII", s.mission, s.experiment, s.instrument, s.vinst);
            ASSERT_NE(0u, key) << s.mission << s.vinst;
            for (const int hour : {FirstHour({}) - 1, FirstHour({}), EndHour({}) - 1, EndHour({})})
                for (const RequestedDataType what : {_H_AND_D_, _KELD_}) {
                    std::vector<char> name1(4096), name2(4096);
                    const long msec = hour * 3600000L + 1800000L;
                    const int status = dbNURVGetFile(key, 2001, 90, msec, 2001, 90, msec + 1000, what, "",
                                                     name1.data(), name2.data());
                    answers[type].push_back(std::string(s.mission) + " " + s.vinst + " " + std::to_string(hour) +
                                            ":30 kind " + std::to_string(what) + ": " + std::to_string(status) +
                                            " " + name1.data() + " " + name2.data());
                }
            // Whether the archive holds the source at any time, as a reading
            // that found no data asks.
            std::vector<char> name1(4096), name2(4096);
            const int any = dbNURVGetFile(key, 1900, 1, 0, 2100, 366, 86399999, _H_AND_D_, "", name1.data(),
                                          name2.data());
            answers[type].push_back(std::string(s.mission) + " " + s.vinst + " at any time: " + std::to_string(any) +
                                    " " + name1.data() + " " + name2.data());
        }
    }
    EXPECT_EQ(answers[SQLite], answers[Tarvo]);
    // The comparison covered files found and hours without data alike.
    const auto count = [&](const char *status) {
        return std::ranges::count_if(answers[Tarvo], [&](const std::string &a) { return a.find(status) != a.npos; });
    };
    EXPECT_GT(count(": 1200 "), 10);
    EXPECT_GT(count(": 1 /"), 100);
}

std::map<std::string, std::string> Contents(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const auto &e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[std::filesystem::relative(e.path(), root).string()] = kombra_test::ReadFile(e.path().string());
    return files;
}

// The second run writes over the first, as scripts/run-sample does when the
// generator is newer: every file is replaced by a new one renamed in whole
// (a reader holding the old file keeps it whole: here a link to it), and no
// temporary file is left.
TEST(SampleArchiveRuns, TwoRunsWriteTheSameBytes)
{
    kombra_test::TempDir dir;
    const std::string root = dir.file("sample");
    WriteSampleArchive(root, {});
    const auto first = Contents(root);
    std::vector<std::pair<std::string, std::string>> held;  // file, a link to its first version
    std::filesystem::create_directory(dir.file("held"));
    for (const auto &[name, text] : first) {
        held.push_back({root + "/" + name, dir.file("held/" + std::to_string(held.size()))});
        std::filesystem::create_hard_link(held.back().first, held.back().second);
    }
    WriteSampleArchive(root, {});
    const auto second = Contents(root);
    EXPECT_GT(first.size(), 50u);
    EXPECT_TRUE(first == second);
    const auto inode = [](const std::string &path) {
        struct stat st {};
        EXPECT_EQ(0, ::stat(path.c_str(), &st)) << path;
        return st.st_ino;
    };
    for (const auto &[file, link] : held)
        EXPECT_NE(inode(file), inode(link)) << file << " was written in place";
    // The default archive stays small enough to write on every set-up.
    std::size_t bytes = 0;
    for (const auto &[name, text] : first)
        bytes += text.size();
    EXPECT_LT(bytes, 64u << 20);
}

}  // namespace
