// Liouville mapping and the parallel-velocity boost against analytic cases,
// the refined grids they map through and the angle differences.
#include "sweep_builders.h"

#include <algorithm>
#include <cmath>
#include <string>

using sweep_test::Grid;
using sweep_test::MakeSweep;
using sweep_test::Values;

namespace {

const Grid kQuarters{{0, 45, 90, 135, 180}, {10, 20, 40}};

// An isotropic sweep whose value depends on the level only: 2 and 7.
SweepPtr Isotropic(const Grid &g = kQuarters)
{
    auto s = MakeSweep(g, {2, 7, 2, 7, 2, 7, 2, 7});
    s->missing_value = -1;
    return s;
}

// Runs an operation with its progress line swallowed.
template <class F>
SweepPtr Silently(F &&f)
{
    testing::internal::CaptureStdout();
    SweepPtr s(f());
    testing::internal::GetCapturedStdout();
    return s;
}

// ---- Angles and refined grids -------------------------------------------------

TEST(Angles, MappedSineAndCyclicDifferences)
{
    EXPECT_FLOAT_EQ(0.5f * 3 * 0.25f, sinsq_map(1, 2, 3, 30));
    EXPECT_FLOAT_EQ(20.0f, cyclic360abs_diff(350, 10));
    EXPECT_FLOAT_EQ(170.0f, cyclic360abs_diff(10, 180));
    EXPECT_FLOAT_EQ(20.0f, cyclic360pos_diff(350, 10));
    EXPECT_FLOAT_EQ(340.0f, cyclic360pos_diff(10, 350));
    EXPECT_FLOAT_EQ(0.0f, cyclic360pos_diff(10, 10));
    const float far = cyclic360pos_diff(1e6f, 0);
    EXPECT_GE(far, 0.0f) << "a far-off angle ends, going round in whole turns";
    EXPECT_LT(far, 360.5f);
}

TEST(Refine, SensorsAndLevelsSplitInQuarterSteps)
{
    auto s = MakeSweep({{0, 90, 180}, {10, 20}}, {4, 4});
    SweepPtr r(sweep_double_sensors(s.get()));
    ASSERT_NE(nullptr, r);
    ASSERT_EQ(5, r->n_sen);
    const float lo[] = {0, 22.5f, 67.5f, 112.5f, 157.5f};
    const float hi[] = {22.5f, 67.5f, 112.5f, 157.5f, 180};
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(lo[i], r->thlo[i]);
        EXPECT_FLOAT_EQ(hi[i], r->thhi[i]);
        EXPECT_FLOAT_EQ(4.0f, r->psd[i]);
    }
    EXPECT_STREQ("CPPADL", r->lineage->virtual_inst);

    SweepPtr l(sweep_double_levels(s.get()));
    ASSERT_EQ(3, l->n_lev);
    EXPECT_EQ(2, l->n_sen);
    EXPECT_FLOAT_EQ(12.5f, l->ehi[0]);
    EXPECT_FLOAT_EQ(17.5f, l->ehi[1]);
    EXPECT_FLOAT_EQ(20.0f, l->ehi[2]);

    HALDE_SWEEP_S empty{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, sweep_double_sensors(&empty));
    EXPECT_EQ("sweep_double_sensors Error: couldn't malloc refined sweep arrays\n",
              testing::internal::GetCapturedStdout());
}

// ---- Liouville mapping ------------------------------------------------------------

TEST(Liouville, RefusesOtherUnitsAndNoField)
{
    auto flux = MakeSweep(kQuarters, {1, 1, 1, 1, 1, 1, 1, 1}, PSD_UNITS_DIFF_ENERGY_FLUX);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, PADLiouvilleMap(flux.get(), 1, 2, 0, 3));
    auto f = Isotropic();
    EXPECT_EQ(nullptr, PADLiouvilleMap(f.get(), 0, 2, 0, 3));
    EXPECT_EQ("Liouville Map Error: only units <=> f(v) allowed\nLiouville Map Error: B1 = 0!\n",
              testing::internal::GetCapturedStdout());
}

TEST(Liouville, SameFieldNoGainIsTheIdentityAndRelabels)
{
    auto f = Isotropic();
    testing::internal::CaptureStdout();
    SweepPtr m(PADLiouvilleMap(f.get(), 1, 1, 0, 0));
    EXPECT_EQ("PADLiouvilleMap returning ...\n", testing::internal::GetCapturedStdout());
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(Values(f.get()), Values(m.get()));
    EXPECT_STREQ("CPPADL B   1->   1,e\\gf   0eV", m->lineage->virtual_inst);
    EXPECT_EQ(4, m->n_sen) << "the input's polar grid";
    EXPECT_EQ(2, f->psd[0]) << "input untouched";
}

TEST(Liouville, WeakerFieldFocusesAnIsotropicDistributionAlongTheField)
{
    // B2 = 0.4 B1: sin^2 of every angle shrinks to 0.4 of it, so nothing
    // lands beyond asin(sqrt 0.4) = 39.2 degrees of the field, and f is
    // conserved along each level.
    auto f = Isotropic();
    auto m = Silently([&] { return PADLiouvilleMap(f.get(), 5, 2, 0, 10); });
    ASSERT_NE(nullptr, m);
    EXPECT_EQ((std::vector<float>{2, 7, -1, -1, -1, -1, 2, 7}), Values(m.get()));
}

TEST(Liouville, StrongerFieldMirrorsTheElectronsNearNinetyDegrees)
{
    // B2 = 8 B1: only electrons within 20.7 degrees of the field reach it;
    // the rest mirror before, and the marked values of the middle bins must
    // not appear in the result.  Those that arrive spread over 0..90 and
    // 90..180.
    auto f = MakeSweep(kQuarters, {1, 1, 100, 100, 100, 100, 3, 3});
    f->missing_value = -1;
    auto m = Silently([&] { return PADLiouvilleMap(f.get(), 1, 8, 0, 10); });
    ASSERT_NE(nullptr, m);
    const auto v = Values(m.get());
    for (int i : {0, 1, 2, 3})
        EXPECT_NEAR(1.0, v[static_cast<std::size_t>(i)], 0.5) << "bin " << i;
    for (int i : {4, 5, 6, 7})
        EXPECT_NEAR(3.0, v[static_cast<std::size_t>(i)], 0.5) << "bin " << i;
}

TEST(Liouville, EnergyGainRaisesLevelsAndPassCountIsBounded)
{
    auto f = Isotropic();
    auto m = Silently([&] { return PADLiouvilleMap(f.get(), 1, 1, 40, 25); });
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(50.0f, m->elo[0]);
    EXPECT_EQ(60.0f, m->ehi[0]);
    EXPECT_EQ(80.0f, m->ehi[1]);
    // Gaining energy in the same field focuses along it: sin^2 scales by
    // e1 / e2 = 15 / 55 and 30 / 70, so nothing lands beyond 31.5 and 40.9
    // degrees of the field, and f is carried along.
    EXPECT_EQ((std::vector<float>{2, 7, -1, -1, -1, -1, 2, 7}), Values(m.get()));
    EXPECT_STREQ("CPPADL B   1->   1,e\\gf  40eV", m->lineage->virtual_inst);

    // Speeds: each edge becomes sqrt(v^2 + epot / K).
    auto speeds = Isotropic({{0, 45, 90, 135, 180}, {1000, 2000, 4000}});
    speeds->bin_units = BIN_UNITS_KM_S;
    auto ms = Silently([&] { return PADLiouvilleMap(speeds.get(), 1, 1, 10, 1); });
    ASSERT_NE(nullptr, ms);
    EXPECT_NEAR(std::sqrt(1000.0 * 1000 + 10 / 2.8429e-6), ms->elo[0], 0.5);
}

// The identity mapping (same field, no gain) on sweeps with missing bins:
// the bins present come back, give or take a third of the step to their
// present neighbours, and the missing ones stay missing.
struct IdentityCase {
    const char *name;
    int rows;                   // polar bins over 0..180, equal in angle (or in cosine)
    std::vector<int> missing;   // cells l + 2 x row, of two levels
    bool falling;               // rows listed from 180 degrees down, as the reader lists them
    int passes;
    float missing_value;
    bool cosine = false;
};

void PrintTo(const IdentityCase &c, std::ostream *os)
{
    *os << c.name;
}

class LiouvilleIdentity : public testing::TestWithParam<IdentityCase> {};

// Every cell of the rows listed: both levels of row r are cells 2r and 2r + 1.
std::vector<int> Rows(std::initializer_list<int> rows)
{
    std::vector<int> cells;
    for (int r : rows)
        cells.insert(cells.end(), {2 * r, 2 * r + 1});
    return cells;
}

const IdentityCase kIdentityCases[] = {
    {"HoleInTheMiddle", 13, Rows({6}), false, 7, -1},
    {"HoleInTheMiddleOnePass", 13, Rows({6}), false, 1, -1},
    {"MeasuredRangeInTheMiddle", 13, Rows({0, 1, 11, 12}), false, 7, -1},
    {"ReaderRowsFallingWithHoles", 12, Rows({0, 5, 11}), true, 7, 0},
    {"HoleOnOneLevelEach", 13, {2 * 3, 2 * 9 + 1}, false, 5, -1},
    {"EveryOtherRowMissing", 12, Rows({1, 3, 5, 7, 9, 11}), true, 7, 0},
    {"NothingMissing", 13, {}, false, 7, -1},
    {"EqualInCosineWithHoles", 13, Rows({0, 6, 12}), true, 7, 0, true},
};

TEST_P(LiouvilleIdentity, FillsExactlyThePresentBins)
{
    const IdentityCase &c = GetParam();
    Grid g{{}, {10, 20, 40}};
    for (int r = 0; r <= c.rows; ++r)
        g.th.push_back(c.cosine ? static_cast<float>(std::acos(1.0 - 2.0 * r / c.rows) * 180.0 / M_PI)
                                : 180.0f * static_cast<float>(r) / static_cast<float>(c.rows));
    std::vector<float> values;
    for (int r = 0; r < c.rows; ++r)
        for (int l = 0; l < 2; ++l)
            values.push_back(static_cast<float>(3 + r * (r % 3) + 20 * l));
    for (int cell : c.missing)
        values[static_cast<std::size_t>(cell)] = c.missing_value;
    auto f = MakeSweep(g, values);
    f->missing_value = c.missing_value;
    const auto row_of = [&](int listed) { return c.falling ? c.rows - 1 - listed : listed; };
    if (c.falling) {
        auto rising = MakeSweep(g, values);
        for (int i = 0; i < c.rows; ++i) {
            f->thlo[i] = rising->thlo[row_of(i)];
            f->thhi[i] = rising->thhi[row_of(i)];
            for (int l = 0; l < 2; ++l)
                f->psd[l + 2 * i] = rising->psd[l + 2 * row_of(i)];
        }
    }
    auto m = Silently([&] { return PADLiouvilleMap(f.get(), 2, 2, 0, c.passes); });
    ASSERT_NE(nullptr, m);
    const auto at = [](const HALDE_SWEEP_S &s, int i, int l) { return s.psd[l + 2 * i]; };
    for (int i = 0; i < c.rows; ++i)
        for (int l = 0; l < 2; ++l) {
            const float v = at(*f, i, l);
            SCOPED_TRACE(testing::Message() << "row " << row_of(i) << " level " << l);
            if (v == f->missing_value) {
                EXPECT_EQ(m->missing_value, at(*m, i, l)) << "a missing bin stays missing";
                continue;
            }
            float lo = v, hi = v;
            for (const int n : {i - 1, i + 1})
                if (n >= 0 && n < c.rows && at(*f, n, l) != f->missing_value) {
                    lo = std::min(lo, at(*f, n, l));
                    hi = std::max(hi, at(*f, n, l));
                }
            EXPECT_NEAR(v, at(*m, i, l), (hi - lo) / 3 + 1e-5f);
        }
}

INSTANTIATE_TEST_SUITE_P(Sweeps, LiouvilleIdentity, testing::ValuesIn(kIdentityCases),
                         [](const testing::TestParamInfo<IdentityCase> &info) { return info.param.name; });

// Mapped to a weaker field or across a potential gain, nothing reaches
// beyond the mirror limit asin(sqrt(b2/b1 e1/e2)) of the field: a bin that
// lies wholly beyond it stays empty, also where the limit falls on a bin
// edge, and every bin that reaches below it fills.
struct MirrorCase {
    const char *name;
    int rows;  // polar bins equal in angle over 0..180
    float b1, b2, epot;
    bool falling;  // rows listed from 180 degrees down, as the reader lists them
    int passes;
};

void PrintTo(const MirrorCase &c, std::ostream *os)
{
    *os << c.name;
}

class LiouvilleMirror : public testing::TestWithParam<MirrorCase> {};

const MirrorCase kMirrorCases[] = {
    {"HalfTheFieldLimitOnAnEdge", 36, 2, 1, 0, false, 7},
    {"HalfTheFieldReaderRowsFalling", 36, 2, 1, 0, true, 7},
    {"HalfTheFieldFifteenDegreeBins", 12, 2, 1, 0, false, 7},
    {"HalfTheFieldOnePass", 36, 2, 1, 0, false, 1},
    {"LimitInsideABin", 36, 5, 2, 0, false, 7},
    {"GainHalvesTheLowestEnergyRatio", 36, 1, 1, 15, false, 7},
};

TEST_P(LiouvilleMirror, NothingBeyondTheLimit)
{
    const MirrorCase &c = GetParam();
    Grid g{{}, {10, 20, 40}};
    for (int r = 0; r <= c.rows; ++r)
        g.th.push_back(180.0f * static_cast<float>(r) / static_cast<float>(c.rows));
    std::vector<float> values;
    for (int r = 0; r < c.rows; ++r)
        values.insert(values.end(), {2, 7});
    auto f = MakeSweep(g, values);
    f->missing_value = -1;
    if (c.falling) {
        std::reverse(f->thlo, f->thlo + c.rows);
        std::reverse(f->thhi, f->thhi + c.rows);
    }
    auto m = Silently([&] { return PADLiouvilleMap(f.get(), c.b1, c.b2, c.epot, c.passes); });
    ASSERT_NE(nullptr, m);
    for (int l = 0; l < 2; ++l) {
        const double e1 = (f->elo[l] + f->ehi[l]) / 2.0, e2 = e1 + c.epot;
        const double limit = std::asin(std::sqrt(c.b2 / c.b1 * e1 / e2)) * 180.0 / M_PI;
        for (int i = 0; i < c.rows; ++i) {
            const double lo = m->thlo[i], hi = m->thhi[i];
            const bool beyond = lo >= limit - 1e-4 && hi <= 180.0 - limit + 1e-4;
            SCOPED_TRACE(testing::Message() << "level " << l << ", bin " << lo << ".." << hi << ", limit " << limit);
            const float v = m->psd[l + 2 * i];
            if (beyond)
                EXPECT_EQ(m->missing_value, v) << "beyond the mirror limit";
            else
                EXPECT_FLOAT_EQ(l == 0 ? 2.0f : 7.0f, v) << "f conserved";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sweeps, LiouvilleMirror, testing::ValuesIn(kMirrorCases),
                         [](const testing::TestParamInfo<MirrorCase> &info) { return info.param.name; });

// ---- Parallel boost ---------------------------------------------------------------

TEST(Boost, NoBoostKeepsAnIsotropicDistributionAndItsEnergyRange)
{
    auto f = MakeSweep(kQuarters, {5, 5, 5, 5, 5, 5, 5, 5});
    f->missing_value = -1;
    testing::internal::CaptureStdout();
    SweepPtr b(PADvpara_boost(f.get(), 0, 2, 2));
    EXPECT_EQ("PADvpara_boost returning\n", testing::internal::GetCapturedStdout());
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(8, b->n_sen);
    EXPECT_EQ(4, b->n_lev);
    EXPECT_EQ(0.0f, b->thlo[0]);
    EXPECT_EQ(180.0f, b->thhi[7]);
    EXPECT_NEAR(10.0, b->elo[0], 1e-3) << "energies survive the round trip through speed";
    EXPECT_NEAR(40.0, b->ehi[3], 1e-3);
    for (float v : Values(b.get()))
        EXPECT_FLOAT_EQ(5.0f, v);
    EXPECT_STREQ("PAD V//+=   0km/s", b->lineage->instrument);
    EXPECT_STREQ("CPPADL", b->lineage->virtual_inst);
}

// Whether the level of largest value along one polar bin meets lo..hi.
bool PeakWithin(const HALDE_SWEEP_S *s, int sensor, float lo, float hi)
{
    int best = 0;
    for (int l = 1; l < s->n_lev; ++l)
        if (s->psd[l + s->n_lev * sensor] > s->psd[best + s->n_lev * sensor])
            best = l;
    return s->elo[best] < hi && s->ehi[best] > lo;
}

TEST(Boost, AShellMovesByTheBoostAlongTheField)
{
    // A shell of electrons at 1000..1333 km/s in every direction: seen from
    // a frame moving at -500 km/s it sits at 1500..1833 km/s along the field
    // and at 500..833 km/s against it.
    Grid g{{0, 45, 90, 135, 180}, {}};
    for (int i = 0; i <= 16; ++i)
        g.lev.push_back(static_cast<float>(100 * std::pow(10.0, i / 8.0)));
    std::vector<float> values;
    for (int s = 0; s < 4; ++s)
        for (int l = 0; l < 16; ++l)
            values.push_back(l == 8 ? 1.0f : 0.0f);
    auto f = MakeSweep(g, values);
    f->bin_units = BIN_UNITS_KM_S;
    f->missing_value = -1;
    auto b = Silently([&] { return PADvpara_boost(f.get(), 500, 2, 4); });
    ASSERT_NE(nullptr, b);
    EXPECT_TRUE(PeakWithin(b.get(), 0, 1500, 1833));
    EXPECT_TRUE(PeakWithin(b.get(), b->n_sen - 1, 500, 833));
    EXPECT_FALSE(PeakWithin(b.get(), 0, 1000, 1333)) << "the shell has moved";
    EXPECT_STREQ("PAD V//+=5e+02km/s", b->lineage->instrument);
}

TEST(Boost, BadFactorsFail)
{
    auto f = Isotropic();
    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, PADvpara_boost(f.get(), 100, 0, 2));
    EXPECT_EQ("PADvparaboost failed to malloc bin_holder\n", testing::internal::GetCapturedStdout());
}

} // namespace
