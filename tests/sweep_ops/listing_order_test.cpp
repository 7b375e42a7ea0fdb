// Every operation on sweeps gives the same values for a sweep whose polar
// rows or levels are listed falling (the reader lists its polar rows from
// 180 degrees down) as for the same sweep listed rising, up to the order of
// the rows: one test per operation, over the four listings.
#include "Velora_pad.h"
#include "sweep_builders.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>

using sweep_test::MakeSweep;

namespace {

struct Listing {
    const char *name;
    bool polar_falls;
    bool levels_fall;
};

void PrintTo(const Listing &l, std::ostream *os)
{
    *os << l.name;
}

const Listing kListings[] = {{"Rising", false, false},
                             {"PolarFalling", true, false},
                             {"LevelsFalling", false, true},
                             {"BothFalling", true, true}};

// The sweep with its polar rows and/or levels listed the other way round
// (edges, values and pitch angles alike).
SweepPtr Relisted(const HALDE_SWEEP_S &s, bool flip_polar, bool flip_levels)
{
    SweepPtr out(create_sweep_full_copy(&s));
    const int ns = s.n_sen, nl = s.n_lev;
    const auto row = [&](int i) { return flip_polar ? ns - 1 - i : i; };
    const auto lev = [&](int l) { return flip_levels ? nl - 1 - l : l; };
    for (int i = 0; i < ns; ++i) {
        out->thlo[i] = s.thlo[row(i)];
        out->thhi[i] = s.thhi[row(i)];
        for (int l = 0; l < nl; ++l) {
            out->psd[l + nl * i] = s.psd[lev(l) + nl * row(i)];
            if (s.pa != nullptr)
                out->pa[l + nl * i] = s.pa[lev(l) + nl * row(i)];
        }
    }
    for (int l = 0; l < nl; ++l) {
        out->elo[l] = s.elo[lev(l)];
        out->ehi[l] = s.ehi[lev(l)];
    }
    return out;
}

// A result brought back to rising rows and levels, judged by its edges alone.
SweepPtr AsRising(const HALDE_SWEEP_S &s)
{
    const bool polar = s.n_sen > 1 && s.thlo[0] > s.thlo[s.n_sen - 1];
    const bool levels = s.n_lev > 1 && s.elo[0] > s.elo[s.n_lev - 1];
    return Relisted(s, polar, levels);
}

// Same grid and, bin by bin, both missing or both present and equal to
// within float rounding of a different order of summing.
void ExpectSameSweep(const HALDE_SWEEP_S &want, const HALDE_SWEEP_S &got_listed)
{
    SweepPtr got = AsRising(got_listed);
    ASSERT_EQ(want.n_sen, got->n_sen);
    ASSERT_EQ(want.n_lev, got->n_lev);
    for (int i = 0; i < want.n_sen; ++i) {
        EXPECT_FLOAT_EQ(want.thlo[i], got->thlo[i]) << "polar bin " << i;
        EXPECT_FLOAT_EQ(want.thhi[i], got->thhi[i]) << "polar bin " << i;
    }
    for (int l = 0; l < want.n_lev; ++l) {
        EXPECT_FLOAT_EQ(want.elo[l], got->elo[l]) << "level " << l;
        EXPECT_FLOAT_EQ(want.ehi[l], got->ehi[l]) << "level " << l;
    }
    for (int k = 0; k < want.n_sen * want.n_lev; ++k) {
        const bool want_missing = want.psd[k] == want.missing_value;
        const bool got_missing = got->psd[k] == got->missing_value;
        EXPECT_EQ(want_missing, got_missing) << "bin " << k;
        if (!want_missing && !got_missing) {
            EXPECT_NEAR(want.psd[k], got->psd[k], 1e-5 * std::fabs(want.psd[k])) << "bin " << k;
        }
    }
}

// Runs an operation with its progress lines swallowed.
template <class F>
SweepPtr Quietly(F &&f)
{
    testing::internal::CaptureStdout();
    SweepPtr s(f());
    testing::internal::GetCapturedStdout();
    return s;
}

class ListingOrder : public testing::TestWithParam<Listing> {
protected:
    // Six polar bins of 30 degrees and three levels; a distribution that
    // changes along both, with one missing bin, and pitch angles.
    SweepPtr rising = MakeSweep({{0, 30, 60, 90, 120, 150, 180}, {10, 20, 40, 80}},
                                {9, 6, 3, 8, 5, 2, 7, -1, 1, 6, 4, 1.5f, 5, 3, 1, 4, 2, 0.5f},
                                PSD_UNITS_S3_PER_KM6,
                                {5, 10, 20, 40, 45, 50, 70, 80, 85, 100, 95, 110, 125, 130, 140, 175, 170, 180});
    SweepPtr listed;

    void SetUp() override
    {
        rising->missing_value = -1;
        listed = Relisted(*rising, GetParam().polar_falls, GetParam().levels_fall);
    }
};

TEST_P(ListingOrder, CutTakesTheRowOfTheAngle)
{
    // The angles of the issue each have their own row; edges go to the
    // lower bin, angles beyond the grid to the end rows.
    const std::pair<float, float> cases[] = {{10, 15},   {45, 45},   {135, 135}, {170, 165},
                                             {30, 15},   {0, 15},    {180, 165}, {200, 165}};
    for (const auto &[theta, centre] : cases) {
        std::unique_ptr<HALDE_1D_SWEEP_CUT_S, void (*)(HALDE_1D_SWEEP_CUT_S *)> want(
            sweep_1D_cut(theta, rising.get()), [](HALDE_1D_SWEEP_CUT_S *c) {
                free_1D_cut_arrays(c);
                std::free(c);
            });
        decltype(want) got(sweep_1D_cut(theta, listed.get()), want.get_deleter());
        ASSERT_TRUE(want && got);
        EXPECT_EQ(centre, got->thcen) << theta;
        EXPECT_EQ(want->thcen, got->thcen) << theta;
        for (int l = 0; l < 3; ++l) {
            const int g = GetParam().levels_fall ? 2 - l : l;
            EXPECT_EQ(want->ecen[l], got->ecen[g]) << theta;
            EXPECT_EQ(want->psd1D[l], got->psd1D[g]) << theta << " degrees, level " << l;
        }
    }
}

TEST_P(ListingOrder, LiouvilleMap)
{
    // field ratio and energy gain: the identity, a stronger field that
    // mirrors, a weaker one that focuses, and a gain.
    const float cases[][3] = {{1, 1, 0}, {1, 2, 0}, {2, 1, 0}, {1, 1, 15}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "B1 " << c[0] << " B2 " << c[1] << " epot " << c[2]);
        auto want = Quietly([&] { return PADLiouvilleMap(rising.get(), c[0], c[1], c[2], 4); });
        auto got = Quietly([&] { return PADLiouvilleMap(listed.get(), c[0], c[1], c[2], 4); });
        ASSERT_TRUE(want && got);
        ExpectSameSweep(*want, *got);
        const auto present = std::count_if(got->psd, got->psd + 18, [&](float v) { return v != got->missing_value; });
        EXPECT_GE(present, 6) << "mapped angles land in the grid";
    }
}

TEST_P(ListingOrder, LiouvilleIdentityKeepsEveryPresentBin)
{
    // Refined bins that straddle an edge mix in a little of the next rows:
    // each present value comes back give or take a third of the step to
    // its neighbouring rows.
    auto mapped = Quietly([&] { return PADLiouvilleMap(listed.get(), 3, 3, 0, 7); });
    ASSERT_NE(nullptr, mapped);
    const HALDE_SWEEP_S &in = *listed;
    for (int s = 0; s < 6; ++s)
        for (int l = 0; l < 3; ++l) {
            const float v = in.psd[l + 3 * s];
            if (v == in.missing_value)
                continue;
            float lo = v, hi = v;
            for (const int n : {s - 1, s + 1})
                if (n >= 0 && n < 6 && in.psd[l + 3 * n] != in.missing_value) {
                    lo = std::min(lo, in.psd[l + 3 * n]);
                    hi = std::max(hi, in.psd[l + 3 * n]);
                }
            EXPECT_NEAR(v, mapped->psd[l + 3 * s], (hi - lo) / 3 + 1e-5f) << "row " << s << " level " << l;
        }
}

TEST_P(ListingOrder, ParallelBoost)
{
    for (const float v : {0.0f, 800.0f, -800.0f}) {
        auto want = Quietly([&] { return PADvpara_boost(rising.get(), v, 2, 2); });
        auto got = Quietly([&] { return PADvpara_boost(listed.get(), v, 2, 2); });
        ASSERT_TRUE(want && got);
        SCOPED_TRACE(v);
        ExpectSameSweep(*want, *got);
    }
}

TEST_P(ListingOrder, RefinedGrids)
{
    for (auto *refine : {&sweep_double_sensors, &sweep_double_levels}) {
        SweepPtr want(refine(rising.get()));
        SweepPtr got(refine(listed.get()));
        ASSERT_TRUE(want && got);
        ExpectSameSweep(*want, *got);
    }
}

TEST_P(ListingOrder, RegriddingOntoEitherListing)
{
    // A coarser grid of three polar bins and two levels, listed rising and
    // listed like the input.
    auto coarse = MakeSweep({{0, 45, 135, 180}, {10, 30, 80}}, std::vector<float>(6, 0));
    auto coarse_listed = Relisted(*coarse, GetParam().polar_falls, GetParam().levels_fall);
    SweepPtr want(rebin_sweep(coarse.get(), rising.get()));
    for (const HALDE_SWEEP_S *grid : {coarse.get(), coarse_listed.get()}) {
        SweepPtr got(rebin_sweep(grid, listed.get()));
        ASSERT_TRUE(want && got);
        ExpectSameSweep(*want, *got);
    }
}

TEST_P(ListingOrder, ArithmeticOnTheSameAndAnotherGrid)
{
    auto other = MakeSweep({{0, 90, 180}, {10, 40, 80}}, {2, 4, 8, 16});
    auto same = MakeSweep({{0, 30, 60, 90, 120, 150, 180}, {10, 20, 40, 80}}, std::vector<float>(18, 2));
    auto same_listed = Relisted(*same, GetParam().polar_falls, GetParam().levels_fall);
    for (const ARITH_OPER op : {SUBTRACT, DIVIDE}) {
        SweepPtr want(sweep_arithmetic(rising.get(), other.get(), op));
        SweepPtr got(sweep_arithmetic(listed.get(), other.get(), op));
        ASSERT_TRUE(want && got);
        ExpectSameSweep(*want, *got);
        SweepPtr want_same(sweep_arithmetic(rising.get(), same.get(), op));
        SweepPtr got_same(sweep_arithmetic(listed.get(), same_listed.get(), op));
        ASSERT_TRUE(want_same && got_same);
        ExpectSameSweep(*want_same, *got_same);
    }
}

TEST_P(ListingOrder, GatheringOntoTheFirstSweep)
{
    auto second = Relisted(*rising, false, false);
    sweep_scaler(second.get(), 3);
    second->btime.sec += 1;
    auto second_listed = Relisted(*second, GetParam().polar_falls, GetParam().levels_fall);
    HALDE_GATHER_GAPS_S gaps;
    sweep_spin_gap_defaults(&gaps);
    auto gather = [&](HALDE_SWEEP_S *a, HALDE_SWEEP_S *b) {
        HALDE_SWEEP_S *in[] = {a, b};
        HALDE_SWEEP_S **out = nullptr;
        int n = 0;
        EXPECT_STATUS(1, gather_sweeps(in, 2, a, GATHER_SWEEPS, gaps, 0, 2, &out, &n));
        EXPECT_EQ(1, n);
        SweepPtr first(out[0]);
        std::free(out);
        return first;
    };
    auto want = gather(rising.get(), second.get());
    auto got = gather(listed.get(), second_listed.get());
    ExpectSameSweep(*want, *got);
}

TEST_P(ListingOrder, PitchAngleRebinning)
{
    HALDE_PITCH_ANGLE_OPTS_S opts;
    set_pa_opts_defaults(&opts);
    opts.n_pabins = 4;
    for (const T_OR_F mu : {QPFALSE, QPTRUE}) {
        opts.mu_bins = mu;
        HALDE_SWEEP_S *want_raw = nullptr;
        HALDE_SWEEP_S *got_raw = nullptr;
        HALDE_SWEEP_S *in_rising[] = {rising.get()};
        HALDE_SWEEP_S *in_listed[] = {listed.get()};
        EXPECT_STATUS(1, rebin_sweep_to_pa(in_rising, 1, &opts, &want_raw));
        EXPECT_STATUS(1, rebin_sweep_to_pa(in_listed, 1, &opts, &got_raw));
        SweepPtr want(want_raw), got(got_raw);
        ASSERT_TRUE(want && got);
        ExpectSameSweep(*want, *got);
    }
}

INSTANTIATE_TEST_SUITE_P(Sweeps, ListingOrder, testing::ValuesIn(kListings),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
