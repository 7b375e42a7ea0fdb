// Combining by overlap area and gathering sweeps into groups, against
// hand-computed areas, averages and group boundaries.
#include "sweep_builders.h"

#include <vector>

using sweep_test::Grid;
using sweep_test::MakeSweep;
using sweep_test::Values;

namespace {

const Grid kHalves{{0, 90, 180}, {1, 2}};

// ---- Congruence --------------------------------------------------------------

TEST(Congruence, FirstDifferenceAnswersInUnitsSizesEdgesOrder)
{
    auto a = MakeSweep(kHalves, {1, 2});
    auto b = MakeSweep(kHalves, {5, 6});
    EXPECT_EQ(0, test_sweeps_congruent(a.get(), b.get()));
    b->thhi[0] = 91;
    EXPECT_EQ(4, test_sweeps_congruent(a.get(), b.get()));
    b->psd_units = PSD_UNITS_CNTS_ACCUM;
    EXPECT_EQ(-1, test_sweeps_congruent(a.get(), b.get()));
    b->bin_units = BIN_UNITS_KM_S;
    EXPECT_EQ(-2, test_sweeps_congruent(a.get(), b.get()));

    auto c = MakeSweep({{0, 90, 180}, {1, 2.5f}}, {1, 2});
    EXPECT_EQ(3, test_sweeps_congruent(a.get(), c.get()));
    auto d = MakeSweep({{0, 90, 180}, {1, 2, 3}}, {1, 2, 3, 4});
    EXPECT_EQ(1, test_sweeps_congruent(a.get(), d.get()));
    auto e = MakeSweep({{0, 180}, {1, 2}}, {1});
    EXPECT_EQ(2, test_sweeps_congruent(a.get(), e.get()));
}

// ---- Overlap-area combining ---------------------------------------------------

TEST(Combine, IdenticalGridReproducesSourceAndKeepsMissingBins)
{
    auto src = MakeSweep({{0, 60, 120, 180}, {1, 2, 4}}, {1, 2, 0, 4, 5, 6});
    auto dst = MakeSweep({{0, 60, 120, 180}, {1, 2, 4}}, {0, 0, 0, 0, 0, 0});
    std::vector<float> weight(6, 0.0f);
    EXPECT_STATUS(1, CombineSweeps(dst.get(), weight.data(), src.get(), DIFFERENTIAL));
    const auto got = Values(dst.get());
    const std::vector<float> want{1, 2, 0, 4, 5, 6};
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_FLOAT_EQ(want[i], got[i]) << "bin " << i;
    EXPECT_EQ(0.0f, weight[2]) << "a missing source bin gives no weight";
    // Weight of sensor 0 (0..60), level 1 (2..4): (cos 0 - cos 60) (16 - 4) / 2.
    EXPECT_NEAR(3.0, weight[1], 1e-5);
}

TEST(Combine, HalvesOfEqualAreaAverageDifferentialValues)
{
    auto src = MakeSweep(kHalves, {2, 4});
    auto dst = MakeSweep({{0, 180}, {1, 2}}, {0});
    std::vector<float> weight(1, 0.0f);
    CombineSweeps(dst.get(), weight.data(), src.get(), DIFFERENTIAL);
    EXPECT_FLOAT_EQ(3.0f, dst->psd[0]);
    // Both halves: (cos 0 - cos 180) (4 - 1) / 2.
    EXPECT_NEAR(3.0, weight[0], 1e-5);
}

TEST(Combine, UnequalLevelOverlapsWeighByArea)
{
    // Levels 0..1 and 1..2 under one destination level 0..2: areas 0.5 and 1.5.
    auto src = MakeSweep({{0, 90}, {0, 1, 2}}, {2, 4});
    auto dst = MakeSweep({{0, 90}, {0, 2}}, {0});
    std::vector<float> weight(1, 0.0f);
    CombineSweeps(dst.get(), weight.data(), src.get(), DIFFERENTIAL);
    EXPECT_FLOAT_EQ((2 * 0.5f + 4 * 1.5f) / 2.0f, dst->psd[0]);
}

TEST(Combine, PartialOverlapOnlyCountsTheSharedPart)
{
    // Destination 45..135 takes 45..90 of the first source bin and 90..135
    // of the second: equal areas (cos 45 - cos 90 = cos 90 - cos 135).
    auto src = MakeSweep(kHalves, {10, 20});
    auto dst = MakeSweep({{45, 135}, {1, 2}}, {0});
    std::vector<float> weight(1, 0.0f);
    CombineSweeps(dst.get(), weight.data(), src.get(), DIFFERENTIAL);
    EXPECT_FLOAT_EQ(15.0f, dst->psd[0]);
}

TEST(Combine, RepeatedCallsAverageSeveralSources)
{
    auto a = MakeSweep(kHalves, {2, 0});
    auto b = MakeSweep(kHalves, {4, 8});
    auto dst = MakeSweep(kHalves, {0, 0});
    std::vector<float> weight(2, 0.0f);
    CombineSweeps(dst.get(), weight.data(), a.get(), DIFFERENTIAL);
    CombineSweeps(dst.get(), weight.data(), b.get(), DIFFERENTIAL);
    EXPECT_FLOAT_EQ(3.0f, dst->psd[0]);
    EXPECT_FLOAT_EQ(8.0f, dst->psd[1]) << "the missing bin of a adds nothing";
}

TEST(Combine, EachCallTakesThePolarEdgesAsTheyAreNow)
{
    // Equal halves average 2 and 4 to 3; with the dividing edge moved to 60
    // degrees (in place, same sweep) the bins weigh 0.5 and 1.5.
    auto src = MakeSweep(kHalves, {2, 4});
    const struct {
        float edge, want;
    } rows[] = {{90, 3.0f}, {60, 3.5f}, {90, 3.0f}};
    for (const auto &r : rows) {
        src->thhi[0] = src->thlo[1] = r.edge;
        auto dst = MakeSweep({{0, 180}, {1, 2}}, {0});
        std::vector<float> weight(1, 0.0f);
        CombineSweeps(dst.get(), weight.data(), src.get(), DIFFERENTIAL);
        EXPECT_FLOAT_EQ(r.want, dst->psd[0]) << "edge at " << r.edge;
    }
}

TEST(Combine, CountsAreAveragedPerAreaAndConservedAndTheSourceIsUntouched)
{
    // Two source bins of area 1.5 with 2 and 4 counts onto one bin of area 3.
    auto src = MakeSweep(kHalves, {2, 4}, PSD_UNITS_CNTS_ACCUM);
    auto dst = MakeSweep({{0, 180}, {1, 2}}, {0}, PSD_UNITS_CNTS_ACCUM);
    std::vector<float> weight(1, 0.0f);
    CombineSweeps(dst.get(), weight.data(), src.get(), INTEGRAL);
    EXPECT_FLOAT_EQ(6.0f, dst->psd[0]);
    EXPECT_EQ(2.0f, src->psd[0]);
    EXPECT_EQ(4.0f, src->psd[1]);
}

TEST(Combine, IntegralSourceWithAZeroAreaBinKeepsItsValue)
{
    // A bin of no polar width has no area: dividing the source in place
    // would have lost its count.
    auto src = MakeSweep({{0, 0, 180}, {1, 2}}, {7, 4}, PSD_UNITS_CNTS_ACCUM);
    auto dst = MakeSweep({{0, 180}, {1, 2}}, {0}, PSD_UNITS_CNTS_ACCUM);
    std::vector<float> weight(1, 0.0f);
    CombineSweeps(dst.get(), weight.data(), src.get(), INTEGRAL);
    EXPECT_EQ(7.0f, src->psd[0]);
    EXPECT_FLOAT_EQ(4.0f, dst->psd[0]);
}

TEST(Bins, InbinEdgesAndGaps)
{
    const float lo[] = {0, 10, 30};
    const float hi[] = {10, 20, 40};
    EXPECT_EQ(0, inbin(0, lo, hi, 3));
    EXPECT_EQ(1, inbin(10, lo, hi, 3)) << "a shared edge belongs to the upper bin";
    EXPECT_EQ(-1, inbin(25, lo, hi, 3)) << "gap between bins";
    EXPECT_EQ(2, inbin(40, lo, hi, 3)) << "top edge of the last bin";
    EXPECT_EQ(-1, inbin(40.5f, lo, hi, 3));
    EXPECT_EQ(-1, inbin(-1, lo, hi, 3));
    EXPECT_EQ(-1, inbin(5, lo, hi, 0));
}

// ---- Gathering -----------------------------------------------------------------

// n sweeps, sweep i beginning at begins[i] seconds and lasting 0.5 s, with the
// sun time of spins[i] (in seconds) and the value i + 1.
struct Series {
    std::vector<SweepPtr> owned;
    std::vector<HALDE_SWEEP_S *> ptrs;

    Series(const std::vector<double> &begins, const std::vector<int> &spins = {})
    {
        for (std::size_t i = 0; i < begins.size(); ++i) {
            auto s = MakeSweep(kHalves, {static_cast<float>(i + 1), static_cast<float>(10 * (i + 1))});
            to_nurv_time(2003, 45, 0, 0, 0, 0, &s->btime);
            add_secs_to_nurv_time(&s->btime, static_cast<float>(begins[i]));
            s->etime = s->btime;
            add_secs_to_nurv_time(&s->etime, 0.5f);
            to_nurv_time(2003, 45, 0, 0, spins.empty() ? 0 : spins[i], 0, &s->suntime);
            s->phi_lo = static_cast<float>(i);
            s->phi_hi = static_cast<float>(i) + 0.5f;
            ptrs.push_back(s.get());
            owned.push_back(std::move(s));
        }
    }
    int n() const { return static_cast<int>(ptrs.size()); }
    HALDE_SWEEP_S **data() { return ptrs.data(); }
};

HALDE_GATHER_GAPS_S Gaps()
{
    HALDE_GATHER_GAPS_S gaps{};
    sweep_spin_gap_defaults(&gaps);
    return gaps;
}

std::vector<std::pair<int, int>> Groups(Series &s, HALDE_GATHER_CHOICE choice, float secs, int count)
{
    std::vector<std::pair<int, int>> groups;
    for (int i = 0; i < s.n();) {
        const int end = iend_sweep_gather(s.data(), s.n(), i, choice, Gaps(), secs, count);
        if (end < i)
            return groups;
        groups.emplace_back(i, end);
        i = end + 1;
    }
    return groups;
}

using GroupList = std::vector<std::pair<int, int>>;

TEST(Gather, Defaults)
{
    const auto gaps = Gaps();
    EXPECT_EQ(1.0f, gaps.sweep_gap);
    EXPECT_EQ(4.5f, gaps.spin_gap);
}

TEST(Gather, SweepGroupsEndAtTheCountOrAtALongGap)
{
    Series even({0, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ((GroupList{{0, 2}, {3, 5}, {6, 6}}), Groups(even, GATHER_SWEEPS, 0, 3));
    Series gap({0, 1, 10, 11, 12});
    EXPECT_EQ((GroupList{{0, 1}, {2, 4}}), Groups(gap, GATHER_SWEEPS, 0, 3));
}

TEST(Gather, SpinGroupsFollowTheSunTimeAndStopAtLongGaps)
{
    Series spins({0, 1, 2, 4, 5, 6, 8, 9}, {0, 0, 0, 4, 4, 4, 8, 8});
    EXPECT_EQ((GroupList{{0, 2}, {3, 5}, {6, 7}}), Groups(spins, GATHER_SPINS, 0, 1));
    EXPECT_EQ((GroupList{{0, 5}, {6, 7}}), Groups(spins, GATHER_SPINS, 0, 2));
    // Spins 4 s apart, then 20 s: two spins may span 9 s, so the jump ends
    // the group of two early.
    Series jump({0, 1, 4, 5, 24, 25}, {0, 0, 4, 4, 24, 24});
    EXPECT_EQ((GroupList{{0, 3}, {4, 5}}), Groups(jump, GATHER_SPINS, 0, 2));
    // A last sweep that opens a new spin is left for the next group.
    Series opens({0, 1, 4}, {0, 0, 4});
    EXPECT_EQ((GroupList{{0, 1}, {2, 2}}), Groups(opens, GATHER_SPINS, 0, 5));
}

TEST(Gather, OneSunTimeForTheWholeSetIsOneGroup)
{
    Series one({0, 1, 2, 3}, {7, 7, 7, 7});
    EXPECT_EQ(3, iend_sweep_gather(one.data(), one.n(), 0, GATHER_SPINS, Gaps(), 0, 1));
    EXPECT_EQ(3, iend_sweep_gather(one.data(), one.n(), 1, GATHER_SPINS, Gaps(), 0, 4));
}

TEST(Gather, SecondGroupsByEndTime)
{
    Series s({0, 1, 2, 3, 4});
    EXPECT_EQ((GroupList{{0, 1}, {2, 3}, {4, 4}}), Groups(s, GATHER_SECS, 2.0f, 0));
    EXPECT_EQ((GroupList{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}), Groups(s, GATHER_SECS, 0.0f, 0));
}

TEST(Gather, BoundsAndChoicesWithoutGroups)
{
    Series s({0, 1, 2});
    EXPECT_EQ(2, iend_sweep_gather(s.data(), 3, 2, NO_GATHER, Gaps(), 0, 1)) << "the last sweep is a group of one";
    EXPECT_EQ(-1, iend_sweep_gather(s.data(), 3, 0, NO_GATHER, Gaps(), 0, 1));
    EXPECT_EQ(-1, iend_sweep_gather(s.data(), 3, 0, static_cast<HALDE_GATHER_CHOICE>(9), Gaps(), 0, 1));
    EXPECT_EQ(-1, iend_sweep_gather(s.data(), 3, 0, GATHER_SWEEPS, Gaps(), 0, 0));
    EXPECT_EQ(-1, iend_sweep_gather(s.data(), 3, 0, GATHER_SPINS, Gaps(), 0, 0));
    testing::internal::CaptureStdout();
    EXPECT_EQ(-519, iend_sweep_gather(s.data(), 3, 3, GATHER_SWEEPS, Gaps(), 0, 1));
    EXPECT_EQ(-519, iend_sweep_gather(s.data(), 3, -1, GATHER_SWEEPS, Gaps(), 0, 1));
    EXPECT_EQ("iend_sweep_gather started out of bounds; istart, nswps = 3, 3\n"
              "iend_sweep_gather started out of bounds; istart, nswps = -1, 3\n",
              testing::internal::GetCapturedStdout());
}

TEST(Gather, GroupsAreAveragedOntoTheTemplateWithTheirTimes)
{
    Series s({0, 1, 2, 3, 4});
    s.owned[1]->psd[1] = 0; // missing in one sweep of the first group
    std::strcpy(s.owned[3]->lineage->mission, "SECOND");
    auto binh = MakeSweep({{0, 180}, {1, 2}}, {99});
    HALDE_SWEEP_S **out = nullptr;
    int n = 0;
    ASSERT_STATUS(1, gather_sweeps(s.data(), s.n(), binh.get(), GATHER_SWEEPS, Gaps(), 0, 3, &out, &n));
    ASSERT_EQ(2, n);
    // Group 0-2: bins (1, 10), (2, -), (3, 30) over halves of equal area.
    EXPECT_FLOAT_EQ((1 + 10 + 2 + 3 + 30) / 5.0f, out[0]->psd[0]);
    EXPECT_FLOAT_EQ((4 + 40 + 5 + 50) / 4.0f, out[1]->psd[0]);
    EXPECT_EQ(SAME_TIME, compare_nurv_time(&out[1]->btime, &s.owned[3]->btime));
    EXPECT_EQ(SAME_TIME, compare_nurv_time(&out[1]->etime, &s.owned[4]->etime));
    EXPECT_EQ(3.0f, out[1]->phi_lo);
    EXPECT_EQ(4.5f, out[1]->phi_hi);
    EXPECT_STREQ("SECOND", out[1]->lineage->mission);
    EXPECT_EQ(1, out[1]->n_sen) << "the template's grid";
    EXPECT_EQ(nullptr, out[2]) << "unused entries of the array stay null";
    free_sweep_set(s.n(), out);
}

TEST(Gather, FailingGroupLeavesNothing)
{
    Series s({0, 1, 2});
    auto binh = MakeSweep(kHalves, {0, 0});
    HALDE_SWEEP_S *stale[1]{};
    HALDE_SWEEP_S **out = stale;
    int n = 7;
    testing::internal::CaptureStdout();
    EXPECT_STATUS(-518, gather_sweeps(s.data(), s.n(), binh.get(), GATHER_SPINS, Gaps(), 0, 0, &out, &n));
    EXPECT_EQ("iend returned -1\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, n);
    testing::internal::CaptureStdout();
    EXPECT_STATUS(-518, gather_sweeps(s.data(), s.n(), binh.get(), NO_GATHER, Gaps(), 0, 1, &out, &n));
    testing::internal::GetCapturedStdout();
    ASSERT_STATUS(1, gather_sweeps(s.data(), 1, binh.get(), NO_GATHER, Gaps(), 0, 1, &out, &n));
    EXPECT_EQ(1, n);
    free_sweep_set(1, out);
}

} // namespace
