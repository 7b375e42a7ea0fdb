// Bin grids (linear, logarithmic, half-ended), searching and repairing bins,
// and the angle and number helpers.
#include "Qnurv_utils.h"
#include "Qsweep_spin.h"
#include "support.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

struct Grid {
    std::vector<float> low, high;
    explicit Grid(int n, float fill = -7.0f) : low(static_cast<size_t>(n), fill), high(static_cast<size_t>(n), fill) {}
};

TEST(EqualBins, LinearEndsExactlyAtTheTop)
{
    Grid g(3);
    EXPECT_STATUS(1, set_equal_bins(g.low.data(), g.high.data(), 3, 0.0f, 1.0f));
    EXPECT_EQ(0.0f, g.low[0]);
    EXPECT_FLOAT_EQ(1.0f / 3, g.high[0]);
    EXPECT_EQ(g.high[0], g.low[1]);
    EXPECT_FLOAT_EQ(2.0f / 3, g.low[2]);
    EXPECT_EQ(1.0f, g.high[2]);
}

TEST(EqualBins, LogarithmicStepsByARatio)
{
    Grid g(2);
    EXPECT_STATUS(1, set_equal_bins_linlog(g.low.data(), g.high.data(), 2, 10.0f, 1000.0f, PGSPECTRO_LOG));
    EXPECT_EQ(10.0f, g.low[0]);
    EXPECT_FLOAT_EQ(100.0f, g.high[0]);
    EXPECT_EQ(g.high[0], g.low[1]);
    EXPECT_EQ(1000.0f, g.high[1]);

    Grid lin(2);
    EXPECT_STATUS(1, set_equal_bins_linlog(lin.low.data(), lin.high.data(), 2, 10.0f, 1000.0f, PGSPECTRO_LIN));
    EXPECT_EQ(505.0f, lin.high[0]);
}

TEST(EqualBins, HalfEndedBinsCentreOnTheGrid)
{
    Grid g(13);
    EXPECT_STATUS(1, set_equal_bins_half_ends(g.low.data(), g.high.data(), 13, 0.0f, 180.0f));
    EXPECT_EQ(0.0f, g.low[0]);
    EXPECT_EQ(7.5f, g.high[0]);
    EXPECT_EQ(22.5f, g.high[1]);
    EXPECT_FLOAT_EQ(172.5f, g.low[12]);
    EXPECT_EQ(180.0f, g.high[12]);
    for (int i = 1; i < 12; ++i)
        EXPECT_NEAR(15.0f * i, (g.low[i] + g.high[i]) / 2, 1e-4) << "centre of bin " << i;

    Grid one(1);
    EXPECT_STATUS(1, set_equal_bins_half_ends(one.low.data(), one.high.data(), 1, 5.0f, 9.0f));
    EXPECT_EQ(5.0f, one.low[0]);
    EXPECT_EQ(9.0f, one.high[0]);
}

TEST(EqualBins, NoBinsIsABadArgumentAndTouchesNothing)
{
    Grid g(1);
    EXPECT_STATUS(-501, set_equal_bins(g.low.data(), g.high.data(), 0, 0.0f, 1.0f));
    EXPECT_STATUS(-501, set_equal_bins_linlog(g.low.data(), g.high.data(), -1, 1.0f, 10.0f, PGSPECTRO_LOG));
    EXPECT_STATUS(-501, set_equal_bins_half_ends(g.low.data(), g.high.data(), 0, 0.0f, 1.0f));
    EXPECT_EQ(-7.0f, g.low[0]);
    EXPECT_EQ(-7.0f, g.high[0]);
}

struct RangeCase {
    const char *name;
    float lo, hi;
    int count, first, last;
};

class SubsetInRange : public testing::TestWithParam<RangeCase> {};

TEST_P(SubsetInRange, CountsOverlappingBins)
{
    // Bins 0..10, 10..20, 20..30, 40..50 (a hole between 30 and 40).
    const float low[] = {0, 10, 20, 40}, high[] = {10, 20, 30, 50};
    const RangeCase &c = GetParam();
    int first = -9, last = -9;
    EXPECT_EQ(c.count, find_subset_in_range(c.lo, c.hi, low, high, 4, &first, &last));
    EXPECT_EQ(c.first, first);
    EXPECT_EQ(c.last, last);
}

INSTANTIATE_TEST_SUITE_P(Bins, SubsetInRange,
                         testing::Values(RangeCase{"Inside", 12, 25, 2, 1, 2},
                                         RangeCase{"Everything", -100, 100, 4, 0, 3},
                                         RangeCase{"WhollyAbove", 50, 60, 0, -9, -9},
                                         RangeCase{"WhollyBelow", -10, 0, 0, -9, -9},
                                         RangeCase{"InTheHole", 32, 38, 0, 3, 2},
                                         RangeCase{"TouchingAnEdge", 10, 10.5f, 1, 1, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SubsetInRange, NoBinsMeetNothing)
{
    int first = -9, last = -9;
    EXPECT_EQ(0, find_subset_in_range(0, 1, nullptr, nullptr, 0, &first, &last));
    EXPECT_EQ(-9, first);
}

TEST(CheckBins, CentresBecomeEdgesHalfWay)
{
    float low[] = {10, 20, 40}, high[] = {10, 20, 40};
    EXPECT_STATUS(1, check_bins(low, high, 3));
    const float want_low[] = {10, 15, 30}, want_high[] = {15, 30, 40};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(want_low[i], low[i]) << i;
        EXPECT_EQ(want_high[i], high[i]) << i;
    }

    float wide_low[] = {0, 5, 20}, wide_high[] = {10, 15, 30}; // overlapping but all wide
    EXPECT_STATUS(1, check_bins(wide_low, wide_high, 3));
    EXPECT_EQ(5.0f, wide_low[1]);
    EXPECT_EQ(10.0f, wide_high[0]);
}

// ---- Bins listed rising or falling ---------------------------------------------
// The reader lists its polar rows from 180 degrees down.  Every search answers
// for the same bin whichever way the bins are listed: bin k of the rising
// listing is bin n - 1 - k of the falling one.

struct Listing {
    const char *name;
    bool falls;
};

void PrintTo(const Listing &l, std::ostream *os)
{
    *os << l.name;
}

class ListedBins : public testing::TestWithParam<Listing> {
protected:
    // Bins 0..10, 10..20, 20..30 and 40..50 (a hole between 30 and 40).
    std::vector<float> low{0, 10, 20, 40}, high{10, 20, 30, 50};
    void SetUp() override
    {
        if (GetParam().falls) {
            std::reverse(low.begin(), low.end());
            std::reverse(high.begin(), high.end());
        }
    }
    // Index in this listing of bin k of the rising listing; -1 stays.
    int At(int k) const { return k < 0 || !GetParam().falls ? k : 3 - k; }
};

TEST_P(ListedBins, OrderAndExtent)
{
    EXPECT_EQ(GetParam().falls, bins_fall(low.data(), 4));
    EXPECT_EQ(0.0f, bins_lowest_edge(low.data(), 4));
    EXPECT_EQ(50.0f, bins_highest_edge(low.data(), high.data(), 4));
    EXPECT_FALSE(bins_fall(low.data(), 1)) << "one bin rises";
}

TEST_P(ListedBins, InbinFindsTheSameBin)
{
    // value, rising answer: shared edges belong to the upper bin, the top
    // edge to the last bin, holes and the outside to none.
    const std::pair<float, int> cases[] = {{0, 0},  {5, 0},   {10, 1}, {25, 2},  {30, -1},
                                           {35, -1}, {40, 3}, {50, 3}, {50.5f, -1}, {-1, -1}};
    for (const auto &[value, rising] : cases)
        EXPECT_EQ(At(rising), inbin(value, low.data(), high.data(), 4)) << value;
    EXPECT_EQ(-1, inbin(5, low.data(), high.data(), 0));
}

TEST_P(ListedBins, BinReachingTakesTheLowestBin)
{
    // The lowest bin whose high edge is at least x; the highest above all.
    const std::pair<double, int> cases[] = {{-5, 0}, {10, 0}, {10.5, 1}, {30, 2}, {35, 3}, {50, 3}, {200, 3}};
    for (const auto &[x, rising] : cases)
        EXPECT_EQ(At(rising), bin_reaching(x, low.data(), high.data(), 4)) << x;
    EXPECT_EQ(-1, bin_reaching(1, low.data(), high.data(), 0));
}

TEST_P(ListedBins, SubsetInRangeMeetsTheSameBins)
{
    // lo, hi, count, first and last rising index
    const struct {
        float lo, hi;
        int count, first, last;
    } cases[] = {{12, 25, 2, 1, 2}, {-100, 100, 4, 0, 3}, {5, 45, 4, 0, 3}, {10, 10.5f, 1, 1, 1}};
    for (const auto &c : cases) {
        int first = -9, last = -9;
        EXPECT_EQ(c.count, find_subset_in_range(c.lo, c.hi, low.data(), high.data(), 4, &first, &last)) << c.lo;
        EXPECT_EQ(std::min(At(c.first), At(c.last)), first) << c.lo;
        EXPECT_EQ(std::max(At(c.first), At(c.last)), last) << c.lo;
    }
    int first = -9, last = -9;
    EXPECT_EQ(0, find_subset_in_range(50, 60, low.data(), high.data(), 4, &first, &last));
    EXPECT_EQ(0, find_subset_in_range(-10, 0, low.data(), high.data(), 4, &first, &last));
    EXPECT_EQ(-9, first);
}

TEST_P(ListedBins, CheckBinsPutsEdgesBetweenNeighbouringCentres)
{
    std::vector<float> lo{10, 20, 40}, hi{10, 20, 40};
    std::vector<float> want_low{10, 15, 30}, want_high{15, 30, 40};
    if (GetParam().falls)
        for (auto *v : {&lo, &hi, &want_low, &want_high})
            std::reverse(v->begin(), v->end());
    EXPECT_STATUS(1, check_bins(lo.data(), hi.data(), 3));
    EXPECT_EQ(want_low, lo);
    EXPECT_EQ(want_high, hi);
}

INSTANTIATE_TEST_SUITE_P(Bins, ListedBins, testing::Values(Listing{"Rising", false}, Listing{"Falling", true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Angles, Mod360)
{
    const float cases[][2] = {{-30, 330}, {720, 0}, {359.5f, 359.5f}, {0, 0}, {-720, 0}, {370, 10}, {-1e-6f, 0}};
    for (const auto &c : cases) {
        const float r = mod360(c[0]);
        EXPECT_FLOAT_EQ(c[1], r) << c[0];
        EXPECT_LT(r, 360.0f) << c[0];
        EXPECT_GE(r, 0.0f) << c[0];
    }
}

TEST(Angles, PolarArea)
{
    EXPECT_NEAR(1.0f, polar_area(0, 1, 0, 180), 1e-6);
    EXPECT_NEAR(0.5f, polar_area(0, 1, 0, 90), 1e-6);
    EXPECT_NEAR(1.5f, polar_area(1, 2, 90, 180), 1e-6);
}

TEST(Numbers, NearNiceNumber)
{
    const double cases[][2] = {{1, 1},     {10, 10},    {3, 5},      {7, 10},  {-300, -500},
                               {1.5, 2},   {0.03, 0.05}, {40, 50},     {0.7, 1},  {0, -1e-33}};
    for (const auto &c : cases)
        EXPECT_NEAR(c[1], near_nice_number(c[0]), std::abs(c[1]) * 1e-9) << c[0];
}

TEST(Numbers, InvertArray)
{
    float even[] = {1, 2, 3, 4};
    EXPECT_STATUS(1, invert_array(even, 4));
    EXPECT_EQ(4.0f, even[0]);
    EXPECT_EQ(1.0f, even[3]);
    int odd[] = {1, 2, 3, 4, 5};
    EXPECT_STATUS(1, invert_array(odd, 3));
    EXPECT_EQ(3, odd[0]);
    EXPECT_EQ(2, odd[1]);
    EXPECT_EQ(1, odd[2]);
    EXPECT_EQ(4, odd[3]) << "beyond n untouched";
}

} // namespace
