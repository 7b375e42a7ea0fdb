// The readers built on GetNHaldeSweeps, end to end on archives written by
// the fixture writers: potential-corrected sweeps (from the EFW data set,
// across its gaps, and from a constant), the azimuthal slice and the end
// time of n sweeps or spins, spins, and the clock arithmetic of the
// pitch-angle product reader.
#include "Qsweep_spin.h"
#include "config_reset.h"
#include "libKELD.h"
#include "libdbSQL.h"
#include "support.h"
#include "sweep_archive_fixture.h"
#include "sweep_lineage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using namespace kombra_fixtures;

constexpr int kHourMs = 3600000;
constexpr int kT0 = 16 * kHourMs;
constexpr int kSensors = 4;
constexpr int kLevels = 8;
constexpr int kSpinMs = 4000;
const SweepSource kHalde{"CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"};
const SweepSource kEfw{"CLUSTERII", "C1", "EFW", "PRIME", "CEFPRIME"};

std::int64_t Word(int spin, int sensor, int step)
{
    return 1 + spin * 100 + sensor * 10 + step;
}

NURV_TIME_S At(int msec)
{
    NURV_TIME_S t{};
    t.year = 2001;
    t.doy = 90;
    t.sec = msec / 1000;
    t.nano = (msec % 1000) * 1000000;
    return t;
}

long long Msec(const NURV_TIME_S &t)
{
    return static_cast<long long>(t.sec) * 1000 + t.nano / 1000000;
}

double Mid(const HALDE_SWEEP_S &s)
{
    return (nurv_time_to_epoch_secs(&s.btime) + nurv_time_to_epoch_secs(&s.etime)) / 2.0;
}

NURV_LINEAGE_S Lineage(const SweepSource &from)
{
    return kombra_test::LineageOf(from);
}

struct Reading {
    KOMBRA_SHORT status = 0;
    int n = 0;
    HALDE_SWEEP_S **sweeps = nullptr;
    ~Reading() { free_sweep_set(n, sweeps); }
    const HALDE_SWEEP_S &operator[](int i) const { return *sweeps[i]; }
};

class SweepSlice : public ::testing::Test {
protected:
    void SetUp() override
    {
        cfg_test::ResetConfiguration();
        shape.sensors = kSensors;
        shape.levels = kLevels;
        shape.spinMs = kSpinMs;
        shape.tables = FallingSweepTables(kLevels, 16000);
        // Sensor 0 looks furthest from the spin axis, so that the polar rows
        // (180 degrees less the sensor angles) ascend as the grids of
        // gathering take them.
        shape.thetaStart = {60, 40, 20, 0};
        shape.thetaStop = {80, 60, 40, 20};
        const int halde = archive.AddSource(kHalde);
        archive.AddDescription(halde, {2001, 1, 0}, {2002, 1, 0}, SweepDescription(shape, kHalde, {2001, 1, 0}, {2002, 1, 0}));
        archive.AddFiles(halde, 2001, 90, kT0, SweepFiles(shape, 2001, 90, kT0, 30, Word));
    }
    void TearDown() override
    {
        CloseKELD();
        dbClose();
        cfg_test::ResetConfiguration();
    }
    // EFW potential records every second (or every cadence ms) from 5 s
    // before the sweeps to 2 minutes after.
    void AddPotential(const PotentialValue &phi, int cadenceMs = 1000)
    {
        const int efw = archive.AddSource(kEfw);
        archive.AddDescription(efw, {2001, 1, 0}, {2002, 1, 0}, PotentialDescription(kEfw, {2001, 1, 0}, {2002, 1, 0}));
        archive.AddFiles(efw, 2001, 90, kT0 - 5000,
                         PotentialFiles(2001, 90, kT0 - 5000, 130000 / cadenceMs, cadenceMs, phi));
    }
    std::unique_ptr<Reading> Read(int from, int to, PSD_UNITS_E units, int correction, float value = 0.0f,
                                  float gap = 60.0f)
    {
        auto r = std::make_unique<Reading>();
        NURV_LINEAGE_S l = Lineage(kHalde);
        NURV_TIME_S b = At(from), e = At(to);
        r->status = correction < 0
                        ? GetNHaldeSweeps(&l, &b, &e, BIN_UNITS_EV, units, QPFALSE, &r->n, &r->sweeps)
                        : GetNPotCorrectedHaldeSweeps(&l, &b, &e, BIN_UNITS_EV, units, QPFALSE,
                                                      correction == CONST_SC_POT ? QPTRUE : QPFALSE, value, gap,
                                                      &r->n, &r->sweeps);
        return r;
    }
    // Every sweep of corrected shifted by phi(its mid time) from plain, and
    // its virtual instrument vinst.
    void ExpectShifted(const Reading &plain, const Reading &corrected, const std::function<float(double)> &phi,
                       const char *vinst = "CP3DRH_scpot")
    {
        ASSERT_EQ(1, corrected.status);
        ASSERT_EQ(plain.n, corrected.n);
        for (int k = 0; k < plain.n; ++k) {
            const HALDE_SWEEP_S &p = plain[k], &c = corrected[k];
            const float v = phi(Mid(c) - nurv_time_to_epoch_secs(&plain[0].btime));
            EXPECT_NEAR(v, c.phi_sc, 1e-3) << "sweep " << k;
            EXPECT_STREQ(vinst, c.lineage->virtual_inst);
            for (int l = 0; l < kLevels; ++l) {
                EXPECT_NEAR(p.elo[l] - v, c.elo[l], 1e-2) << k << " " << l;
                EXPECT_NEAR(p.ehi[l] - v, c.ehi[l], 1e-2) << k << " " << l;
                const float scale = c.psd_units == PSD_UNITS_DIFF_ENERGY_FLUX
                                        ? std::pow((c.elo[l] + c.ehi[l]) / (p.elo[l] + p.ehi[l]), 2.0f)
                                        : 1.0f;
                for (int s = 0; s < kSensors; ++s) {
                    const int i = l + kLevels * s;
                    if (c.elo[l] < 0)
                        EXPECT_EQ(c.missing_value, c.psd[i]) << i;
                    else
                        EXPECT_NEAR(p.psd[i] * scale, c.psd[i], std::fabs(p.psd[i]) * 1e-4) << i;
                }
            }
        }
    }

    kombra_test::TempDir root;
    kombra_test::ScopedEnv configEnv{"KOMBRA_CONFIG", root.file("config")};
    kombra_test::ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
    kombra_test::ScopedEnv dataEnv{"KOMBRA_DATA", root.str()};
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "SQLite"};
    kombra_test::ScopedEnv tempEnv{"TEMP", root.str()};
    kombra_test::ScopedEnv pnurEnv{"KOMBRA_STANDIN_PNUR", root.file("pnur")};
    SweepArchive archive{root.str()};
    SweepShape shape;
};

TEST_F(SweepSlice, PotentialFromTheDataSetShiftsEnergies)
{
    // 100 V rising by 0.5 V a second: the lowest level (94..156 eV) is
    // pushed below zero.
    AddPotential([](int i) { return 100.0 + 0.5 * (i - 5); });
    archive.Write();
    auto plain = Read(kT0, kT0 + 20000, PSD_UNITS_DIFF_ENERGY_FLUX, -1);
    auto corrected = Read(kT0, kT0 + 20000, PSD_UNITS_DIFF_ENERGY_FLUX, DO_SC_POT_CORR, -7.0f);
    ASSERT_EQ(1, plain->status);
    ASSERT_EQ(6, plain->n);
    // plain[0].btime is 375 ms after kT0 (last sensor read); the series
    // reaches past the end time, so the last sweep lies between two values.
    ExpectShifted(*plain, *corrected, [](double t) { return static_cast<float>(100.0 + 0.5 * (t + 0.375)); });
    EXPECT_EQ(0.0f, (*corrected)[0].psd[0]);
}

TEST_F(SweepSlice, PotentialOfAWindowBetweenTwoValues)
{
    // Values every 16 s, at -5 s and 11 s around the window of 4 s to 8 s:
    // its sweeps take the potential between them.
    AddPotential([](int i) { return 10.0 + 16.0 * i; }, 16000);
    archive.Write();
    auto plain = Read(kT0 + 4000, kT0 + 8000, PSD_UNITS_CNTS_ACCUM, -1);
    auto corrected = Read(kT0 + 4000, kT0 + 8000, PSD_UNITS_CNTS_ACCUM, DO_SC_POT_CORR, -7.0f);
    ASSERT_EQ(2, plain->n);
    ExpectShifted(*plain, *corrected, [](double t) { return static_cast<float>(10.0 + (t + 4.375 + 5.0)); });
}

TEST_F(SweepSlice, GapsOfThePotentialAndAConstant)
{
    // No values from 10 s to 40 s after kT0 - 5 s; 10 s is the largest gap
    // bridged.  Sweeps in the gap take the constant, those after it their
    // own potential again.
    AddPotential([](int i) { return (i >= 10 && i < 40) ? std::nan("") : 20.0; });
    archive.Write();
    auto plain = Read(kT0, kT0 + 60000, PSD_UNITS_CNTS_ACCUM, -1);
    ASSERT_EQ(1, plain->status);
    // The sweeps in the gap take the constant, so none is marked corrected.
    testing::internal::CaptureStdout();
    auto gapped = Read(kT0, kT0 + 60000, PSD_UNITS_CNTS_ACCUM, DO_SC_POT_CORR, -7.0f, 10.0f);
    EXPECT_EQ("No s/c potential within 10 s of 3 of the 16 sweeps from 2001/090 16:00:00 to 16:01:00: -7 V stands "
              "in for them, and the sweeps are not marked _scpot\n",
              testing::internal::GetCapturedStdout());
    ExpectShifted(
        *plain, *gapped,
        [](double t) {
            const double s = t + 0.375 + 5.0;  // seconds from the first value
            return (s > 9.0 + 10.0 && s < 40.0 - 10.0) ? -7.0f : 20.0f;
        },
        "CP3DRH");
    EXPECT_FLOAT_EQ(20.0f, (*gapped)[gapped->n - 1].phi_sc);

    auto constant = Read(kT0, kT0 + 60000, PSD_UNITS_CNTS_ACCUM, CONST_SC_POT, 3.5f);
    ExpectShifted(*plain, *constant, [](double) { return 3.5f; });
}

TEST_F(SweepSlice, WithoutPotentialDataTheConstantStandsIn)
{
    archive.Write();
    auto plain = Read(kT0, kT0 + 10000, PSD_UNITS_CNTS_ACCUM, -1);
    testing::internal::CaptureStdout();
    auto corrected = Read(kT0, kT0 + 10000, PSD_UNITS_CNTS_ACCUM, DO_SC_POT_CORR, 2.0f);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, said.find("No s/c potential in CLUSTERII C1 EFW PRIME CEFPRIME from 2001/090 "
                                           "16:00:00 to 16:00:10: 2 V stands in, and the sweeps are not marked "
                                           "_scpot\n"))
        << said;
    ExpectShifted(*plain, *corrected, [](double) { return 2.0f; }, "CP3DRH");
    // A read that fails is passed through with nothing corrected.
    auto none = Read(kT0 + 200000, kT0 + 210000, PSD_UNITS_CNTS_ACCUM, CONST_SC_POT, 2.0f);
    EXPECT_EQ(-499, none->status);
    EXPECT_EQ(nullptr, none->sweeps);
}

TEST_F(SweepSlice, SliceOfASpinOrGatheredAndCorrected)
{
    archive.Write();
    NURV_LINEAGE_S l = Lineage(kHalde);
    HALDE_PITCH_ANGLE_OPTS_S pa{QPFALSE, 13, QPFALSE};
    HALDE_GATHER_GAPS_S gaps{};
    sweep_spin_gap_defaults(&gaps);
    NURV_TIME_S b = At(kT0 + 2000), e = At(kT0 + 30000);

    // The sweep of the first spin that begins 2 s in or later: that of 4 s,
    // a spin of one sweep.
    SweepPtr one(HaldeGetAzSliceV2(&l, &b, &e, 100.0f, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, &pa, NO_SC_POT_CORR, 0, 0,
                                   NO_GATHER, gaps, 0, 1));
    ASSERT_NE(nullptr, one);
    EXPECT_EQ(kT0 + kSpinMs, Msec(one->suntime));
    EXPECT_EQ(kT0 + 30000, Msec(e));  // the caller's end is restored
    EXPECT_FLOAT_EQ(static_cast<float>(Word(1, 1, kLevels - 1)), one->psd[kLevels]);

    // The three sweeps from 4 s (5 s allowed a sweep) averaged onto one,
    // shifted by a constant 5 V.
    gaps.sweep_gap = 5.0f;
    SweepPtr three(HaldeGetAzSliceV2(&l, &b, &e, 0.0f, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, &pa, CONST_SC_POT, 5.0f,
                                     60.0f, GATHER_SWEEPS, gaps, 0, 3));
    ASSERT_NE(nullptr, three);
    EXPECT_FLOAT_EQ(5.0f, three->phi_sc);
    for (int s = 0; s < kSensors; ++s)
        EXPECT_NEAR(static_cast<float>(Word(2, s, kLevels - 1)), three->psd[kLevels * s], 1e-3) << s;
    EXPECT_EQ(kT0 + kSpinMs, Msec(three->suntime));
    EXPECT_EQ(kT0 + 3 * kSpinMs, Msec(three->etime) / 1000 * 1000);

    // The last spin of the data is sliced, with the potential correction or
    // without.
    for (const PHISC_CHOICE_E choice : {NO_SC_POT_CORR, CONST_SC_POT}) {
        NURV_TIME_S last = At(kT0 + 116000), until = last;
        SweepPtr end(HaldeGetAzSliceV2(&l, &last, &until, 0.0f, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, &pa, choice, 5.0f,
                                       60.0f, NO_GATHER, gaps, 0, 1));
        ASSERT_NE(nullptr, end) << choice;
        EXPECT_EQ(kT0 + 116000, Msec(end->suntime));
    }

    // Nothing to read.
    NURV_TIME_S late = At(kT0 + 300000), later = At(kT0 + 310000);
    EXPECT_EQ(nullptr, HaldeGetAzSliceV2(&l, &late, &later, 0.0f, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, &pa,
                                         NO_SC_POT_CORR, 0, 0, GATHER_SWEEPS, gaps, 0, 3));
    EXPECT_EQ(kT0 + 310000, Msec(later));
}

TEST_F(SweepSlice, EndTimeOfSweepsAndSpins)
{
    archive.Write();
    NURV_LINEAGE_S l = Lineage(kHalde);
    NURV_TIME_S b = At(kT0 + 2000), e{};
    // Three sweeps from the one of 4 s: the third, of 12 s, ends 80 ms on.
    ASSERT_EQ(1, nurv_n_spin_sweep_etime(&l, &b, &e, QPFALSE, GATHER_SWEEPS, 3));
    EXPECT_EQ(kT0 + 3 * kSpinMs + kLevels * 10, Msec(e));
    // Two whole spins from the first whole one, that of 4 s: the spin of
    // 12 s begins.
    ASSERT_EQ(1, nurv_n_spin_sweep_etime(&l, &b, &e, QPFALSE, GATHER_SPINS, 2));
    EXPECT_EQ(kT0 + 3 * kSpinMs, Msec(e));
    EXPECT_EQ(-518, nurv_n_spin_sweep_etime(&l, &b, &e, QPFALSE, GATHER_SECS, 2));
    EXPECT_EQ(kT0 + 2000, Msec(b));
}

TEST_F(SweepSlice, Spins)
{
    archive.Write();
    NURV_LINEAGE_S l = Lineage(kHalde);
    NURV_TIME_S b = At(kT0 + 1000), e = At(kT0 + 13000);
    int n = 0;
    HALDE_SPIN3D_S **spins = nullptr;
    // The sweeps of 4, 8, 12 and (the count reaching past the end) 16 s.
    ASSERT_EQ(1, GetNHaldeSpins(&l, &b, &e, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, QPFALSE, &n, &spins));
    ASSERT_EQ(4, n);
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(1, spins[k]->n_swp);
        EXPECT_FLOAT_EQ(4.0f, spins[k]->tspin);
        EXPECT_EQ(kT0 + (k + 1) * kSpinMs, Msec(spins[k]->btime));
        EXPECT_EQ(Msec(spins[k]->sweeppp[0]->etime), Msec(spins[k]->etime));
    }
    free_n_spins(spins, n);
    std::free(spins);

    // One sweep: the spin lasts from its sun pulse to the sweep's end.
    NURV_TIME_S one_end = At(kT0 + 3000);
    ASSERT_EQ(1, GetNHaldeSpins(&l, &b, &one_end, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, QPFALSE, &n, &spins));
    ASSERT_EQ(1, n);
    EXPECT_NEAR(static_cast<double>(Msec(spins[0]->etime) - kT0 - kSpinMs) / 1000.0, spins[0]->tspin, 1e-3);
    free_n_spins(spins, n);
    std::free(spins);

    HALDE_SPIN3D_S spin{};
    ASSERT_EQ(1, GetHaldeSpin(&l, &b, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, QPFALSE, &spin));
    EXPECT_EQ(1, spin.n_swp);
    EXPECT_EQ(kT0 + kSpinMs, Msec(spin.btime));
    EXPECT_FLOAT_EQ(4.0f, spin.tspin);
    free_spin_data(&spin);
}

// A pitch-angle product of six sensors over two half spins: the first half
// holds sensor 0 (clock position 0), the second all six (positions 11 down
// to 6), so seven contiguous clock positions are filled; the spin summary
// puts the field in the first half.
TEST_F(SweepSlice, PitchAngleProductsInPitchAngleOrder)
{
    const SweepSource pad{"CLUSTERII", "C1", "HALDE", "PAD", "CPPADL"};
    const SweepSource iel{"CLUSTERII", "C1", "HALDE", "CORE", "CPCIEL"};
    SweepShape six = shape;
    six.sensors = 6;
    six.thetaStart = {0, 30, 60, 90, 120, 150};
    six.thetaStop = {30, 60, 90, 120, 150, 180};
    const int p = archive.AddSource(pad);
    const int i = archive.AddSource(iel);
    archive.AddDescription(p, {2001, 1, 0}, {2002, 1, 0}, SweepDescription(six, pad, {2001, 1, 0}, {2002, 1, 0}));
    archive.AddDescription(i, {2001, 1, 0}, {2002, 1, 0}, PotentialDescription(iel, {2001, 1, 0}, {2002, 1, 0}));

    NurvFiles f;
    f.layout = SweepLayout(six);
    NurvHeader first{.year = 2001, .dayOfYear = 90, .timeUnits = -3, .dataAccum = 10, .sensorIndex = {0}};
    NurvHeader second = first;
    second.sensorIndex = {0, 1, 2, 3, 4, 5};
    for (int s = 0; s < kLevels; ++s) {
        first.sampIndex.push_back(static_cast<std::int16_t>(s));
        second.sampIndex.push_back(static_cast<std::int16_t>(s));
    }
    f.headers = {first, second};
    const auto word = [](int spin, int half, int sensor, int step) { return 1 + spin * 200 + half * 100 + sensor * 10 + step; };
    for (int k = 0; k < 4; ++k) {
        const int t0 = kT0 + k * kSpinMs;
        for (int half = 0; half < 2; ++half) {
            NurvSensorSet set;
            for (int c = 0; c < (half == 0 ? 1 : 6); ++c)
                for (int s = 0; s < kLevels; ++s)
                    set.samples.push_back(word(k, half, c, s));
            f.records.push_back({.time = t0 + half * kSpinMs / 2, .spin = kSpinMs, .sunSen = t0,
                                 .hdrOff = {f.HeaderOffset(static_cast<std::size_t>(half))}, .sets = {set}});
        }
    }
    f.records.push_back({.time = kT0 + 4 * kSpinMs, .hdrOff = {-1}});
    f.layout.dataLen = NurvDataLenFor(f.layout, f.records);
    archive.AddFiles(p, 2001, 90, kT0, f, false, 0);
    archive.AddFiles(i, 2001, 90, kT0, DecimalFiles(2001, 90, kT0, 6, kSpinMs, [](int) {
                         std::vector<double> v(16, 0.0);
                         v[14] = 90.0;  // field azimuth: the first half for the low-energy product
                         v[15] = 0.0;
                         return v;
                     }), false, 0);
    archive.Write();

    NURV_LINEAGE_S l = Lineage(pad);
    // Read past the file's end (its -1 mark): the three whole spins it holds.
    NURV_TIME_S b = At(kT0), e = At(kT0 + 8 * kSpinMs);
    int n = 0;
    HALDE_SWEEP_S **sweeps = nullptr;
    const KOMBRA_SHORT status = GetNHaldePADs(&l, &b, &e, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, QPFALSE, &n, &sweeps);
    ASSERT_EQ(12, status);
    ASSERT_EQ(3, n);
    const HALDE_SWEEP_S &s = *sweeps[0];
    ASSERT_EQ(7, s.n_sen);
    ASSERT_EQ(kLevels, s.n_lev);
    EXPECT_FLOAT_EQ(0.0f, s.thlo[0]);
    EXPECT_FLOAT_EQ(180.0f, s.thhi[6]);
    // Seven bins in clock order: the second half's sensors 5 .. 0, then the
    // first half's sensor 0; levels run upwards in energy.
    // The first whole spin that both data sets begin together, from its sun
    // pulse to the next.
    const int spin = 1;
    EXPECT_EQ(kT0 + kSpinMs, Msec(s.btime));
    EXPECT_EQ(kT0 + 2 * kSpinMs, Msec(s.etime));
    for (int row = 0; row < 7; ++row) {
        const int half = row < 6 ? 1 : 0;
        const int sensor = row < 6 ? 5 - row : 0;
        for (int lev = 0; lev < kLevels; ++lev)
            EXPECT_FLOAT_EQ(static_cast<float>(word(spin, half, sensor, kLevels - 1 - lev)), s.psd[lev + kLevels * row])
                << "row " << row << " level " << lev;
    }
    free_sweep_set(n, sweeps);
}

TEST(PitchAngleProductClock, PositionsAndDirections)
{
    EXPECT_EQ(11, compute_clockbin(0, 6, 1, 7));
    EXPECT_EQ(3, compute_clockbin(3, 6, 0, 7));
    EXPECT_EQ(-1, compute_clockbin(0, 6, 2, 7));
    EXPECT_EQ(13, compute_clockbin(0, 7, 1, 7));
    EXPECT_EQ(-1, compute_clockbin(-1, 7, 1, 7));

    // Clock bins 0..11, bins filled at 0..5 and 8..11: from any start,
    // however far outside the circle, the step reads only inside it.
    const int bins[12] = {0, 1, 2, 3, 4, 5, -1, -1, 6, 7, 8, 9};
    for (const int start : {0, 11, 12, 13, 14, -8, 1000}) {
        int at = start;
        const CLOCK_DIRECTION_E d = clockstep(bins, &at, 12, 7);
        EXPECT_NE(CLOCKSTEPERROR, d) << start;
        EXPECT_TRUE(at >= 0 && at < 12) << start;
    }
    int at = 0;
    EXPECT_EQ(CLOCKSTEPERROR, clockstep(bins, &at, 12, 0));

    // Six sensors per half (n_pa 7): first half at 0..5, second half at
    // 11..6; clock positions past the circle are refused, not written.
    int in[7] = {0, 1, 2, 3, 4, 5, 11}, out[7] = {};
    ASSERT_EQ(1, sort_pa_bins(in, out, 7, PARALLEL_FIRST_HALF, 0));
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(out[i] >= 0 && out[i] < 7);
    in[6] = 12;
    EXPECT_EQ(-500, sort_pa_bins(in, out, 7, PARALLEL_FIRST_HALF, 0));

    NURV_LINEAGE_S l{};
    PARALLEL_FIELD_HALF_SPIN_E half = PARALLEL_SECOND_HALF;
    std::snprintf(l.virtual_inst, NURV_LINEAGE_LEN, "CPPADL");
    ASSERT_EQ(1, set_b_para_half_spin(180.0f, &l, &half));
    EXPECT_EQ(PARALLEL_FIRST_HALF, half);
    std::snprintf(l.virtual_inst, NURV_LINEAGE_LEN, "CPPADH");
    ASSERT_EQ(1, set_b_para_half_spin(180.0f, &l, &half));
    EXPECT_EQ(PARALLEL_SECOND_HALF, half);
    EXPECT_EQ(-500, set_b_para_half_spin(361.0f, &l, &half));
}

}  // namespace
