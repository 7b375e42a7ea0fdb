// Pitch-angle rebinning: bin edges, weighting of differential values and
// counts, skipped bins, lineage marks and grouping.
#include "Velora_pad.h"
#include "sweep_builders.h"

#include <cmath>
#include <string>

using sweep_test::Grid;
using sweep_test::MakeSweep;

namespace {

HALDE_PITCH_ANGLE_OPTS_S Opts(int n, bool mu = false)
{
    HALDE_PITCH_ANGLE_OPTS_S o{};
    set_pa_opts_defaults(&o);
    o.n_pabins = n;
    o.mu_bins = mu ? QPTRUE : QPFALSE;
    return o;
}

// Rebins one sweep, expecting success.
SweepPtr Rebin(HALDE_SWEEP_S *in, const HALDE_PITCH_ANGLE_OPTS_S &o)
{
    HALDE_SWEEP_S *out = nullptr;
    EXPECT_STATUS(1, rebin_sweep_to_pa(&in, 1, &o, &out));
    return SweepPtr(out);
}

// Two sensors 0..90 and 90..180 over one level 1..2: each bin's area is 1.5.
const Grid kTwo{{0, 90, 180}, {1, 2}};

TEST(PitchOptions, Defaults)
{
    HALDE_PITCH_ANGLE_OPTS_S o{};
    set_pa_opts_defaults(&o);
    EXPECT_EQ(QPTRUE, o.do_pa);
    EXPECT_EQ(13, o.n_pabins);
    EXPECT_EQ(QPFALSE, o.mu_bins);
}

TEST(PitchEdges, EqualAngleAndEqualCosine)
{
    auto in = MakeSweep(kTwo, {2, 4}, PSD_UNITS_S3_PER_KM6, {30, 150});
    auto angle = Rebin(in.get(), Opts(13));
    ASSERT_EQ(13, angle->n_sen);
    EXPECT_EQ(0.0f, angle->thlo[0]);
    EXPECT_NEAR(180.0 / 13, angle->thhi[0], 1e-4);
    EXPECT_NEAR(180.0 / 13, angle->thlo[1], 1e-4);
    EXPECT_EQ(180.0f, angle->thhi[12]);

    auto two = Rebin(in.get(), Opts(2, true));
    EXPECT_EQ(0.0f, two->thlo[0]);
    EXPECT_NEAR(90.0, two->thhi[0], 1e-4);
    EXPECT_EQ(180.0f, two->thhi[1]);
    auto three = Rebin(in.get(), Opts(3, true));
    EXPECT_NEAR(std::acos(1.0 / 3) * 180 / M_PI, three->thhi[0], 1e-3);
    EXPECT_NEAR(std::acos(-1.0 / 3) * 180 / M_PI, three->thhi[1], 1e-3);
}

TEST(PitchEdges, MorePitchBinsThanSensorsFitTheirArrays)
{
    // Twelve sensors into thirteen pitch-angle bins: the polar edges of the
    // result must have room for thirteen.
    Grid g{{}, {1, 2, 3}};
    for (int i = 0; i <= 12; ++i)
        g.th.push_back(15.0f * i);
    auto in = MakeSweep(g, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                        PSD_UNITS_S3_PER_KM6, {7.5, 7.5, 22.5, 22.5, 37.5, 37.5, 52.5, 52.5, 67.5, 67.5, 82.5, 82.5,
                                               97.5, 97.5, 112.5, 112.5, 127.5, 127.5, 142.5, 142.5, 157.5, 157.5,
                                               172.5, 172.5});
    auto out = Rebin(in.get(), Opts(13));
    EXPECT_EQ(13, out->n_sen);
    EXPECT_EQ(180.0f, out->thhi[12]);
    EXPECT_EQ(1.0f, out->psd[2 * 12]);
}

TEST(PitchValues, DifferentialValuesAreAveragedByArea)
{
    auto in = MakeSweep(kTwo, {2, 4}, PSD_UNITS_S3_PER_KM6, {30, 150});
    auto two = Rebin(in.get(), Opts(2));
    EXPECT_FLOAT_EQ(2.0f, two->psd[0]);
    EXPECT_FLOAT_EQ(4.0f, two->psd[1]);
    EXPECT_NEAR(1.5, two->pa[0], 1e-5) << "pa holds the weight summed into the bin";
    auto one = Rebin(in.get(), Opts(1));
    EXPECT_FLOAT_EQ(3.0f, one->psd[0]);
    EXPECT_NEAR(3.0, one->pa[0], 1e-5);
}

TEST(PitchValues, CountsAreConservedIntoOneBin)
{
    // 2 + 4 counts over an input area of 3 land in one bin of area 3.
    auto in = MakeSweep(kTwo, {2, 4}, PSD_UNITS_CNTS_ACCUM, {30, 150});
    auto one = Rebin(in.get(), Opts(1));
    EXPECT_FLOAT_EQ(6.0f, one->psd[0]);
}

TEST(PitchValues, EdgeAnglesZerosMissingAndAbsentPitchAngles)
{
    auto edges = MakeSweep(kTwo, {2, 4}, PSD_UNITS_S3_PER_KM6, {90, 180});
    auto out = Rebin(edges.get(), Opts(2));
    EXPECT_EQ(0.0f, out->psd[0]) << "nothing falls into the lower bin";
    EXPECT_FLOAT_EQ(3.0f, out->psd[1]) << "90 belongs to the upper bin, 180 to the last";

    auto zeros = MakeSweep(kTwo, {0, 4}, PSD_UNITS_S3_PER_KM6, {30, 150});
    zeros->missing_value = -1;
    out = Rebin(zeros.get(), Opts(2));
    EXPECT_EQ(-1.0f, out->psd[0]) << "zeros bring neither value nor weight";
    EXPECT_EQ(0.0f, out->pa[0]);
    EXPECT_FLOAT_EQ(4.0f, out->psd[1]);

    auto nopa = MakeSweep(kTwo, {2, 4});
    nopa->missing_value = -1;
    out = Rebin(nopa.get(), Opts(2));
    EXPECT_EQ(-1.0f, out->psd[0]);
    EXPECT_EQ(-1.0f, out->psd[1]);
}

TEST(PitchMerge, SeveralSweepsMergeWithFirstAndLastTimes)
{
    auto a = MakeSweep(kTwo, {2, 4}, PSD_UNITS_S3_PER_KM6, {30, 150});
    auto b = MakeSweep(kTwo, {6, 8}, PSD_UNITS_S3_PER_KM6, {30, 150});
    b->etime.sec = 200;
    b->phi_hi = 77;
    HALDE_SWEEP_S *in[] = {a.get(), b.get()};
    HALDE_SWEEP_S *raw = nullptr;
    const auto o = Opts(2);
    ASSERT_STATUS(1, rebin_sweep_to_pa(in, 2, &o, &raw));
    SweepPtr out(raw);
    EXPECT_FLOAT_EQ(4.0f, out->psd[0]);
    EXPECT_FLOAT_EQ(6.0f, out->psd[1]);
    EXPECT_EQ(100, out->btime.sec);
    EXPECT_EQ(200, out->etime.sec);
    EXPECT_EQ(10.0f, out->phi_lo);
    EXPECT_EQ(77.0f, out->phi_hi);
    EXPECT_STREQ("CPPADL_pa", out->lineage->virtual_inst);
}

TEST(PitchMerge, IncongruentSweepsAndBadArgumentsFail)
{
    auto a = MakeSweep(kTwo, {2, 4}, PSD_UNITS_S3_PER_KM6, {30, 150});
    auto b = MakeSweep({{0, 90, 180}, {1, 2.5f}}, {6, 8}, PSD_UNITS_S3_PER_KM6, {30, 150});
    HALDE_SWEEP_S *in[] = {a.get(), b.get()};
    HALDE_SWEEP_S *out = nullptr;
    const auto o = Opts(2);
    testing::internal::CaptureStdout();
    EXPECT_STATUS(-506, rebin_sweep_to_pa(in, 2, &o, &out));
    EXPECT_EQ("Rebin to pa got incongruent sweeps; err 3, and failed\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, out);
    const auto none = Opts(0);
    testing::internal::CaptureStdout();
    EXPECT_STATUS(-506, rebin_sweep_to_pa(in, 1, &none, &out));
    EXPECT_STATUS(-506, rebin_sweep_to_pa(in, 0, &o, &out));
    testing::internal::GetCapturedStdout();
}

TEST(PitchMerge, LongVirtualInstrumentIsLeftUnmarked)
{
    auto in = MakeSweep(kTwo, {2, 4}, PSD_UNITS_S3_PER_KM6, {30, 150});
    std::string name(95, 'v');
    std::strcpy(in->lineage->virtual_inst, name.c_str());
    EXPECT_EQ(name + "_pa", Rebin(in.get(), Opts(2))->lineage->virtual_inst);
    name += 'v';
    std::strcpy(in->lineage->virtual_inst, name.c_str());
    EXPECT_EQ(name, Rebin(in.get(), Opts(2))->lineage->virtual_inst);
}

TEST(PitchGroups, GroupsOfSweepsAndSpins)
{
    std::vector<SweepPtr> owned;
    std::vector<HALDE_SWEEP_S *> ptrs;
    for (int i = 0; i < 7; ++i) {
        owned.push_back(MakeSweep(kTwo, {static_cast<float>(i + 1), 1}, PSD_UNITS_S3_PER_KM6, {30, 150}));
        ptrs.push_back(owned.back().get());
    }
    const auto o = Opts(2);
    HALDE_SWEEP_S **set = nullptr;
    int n = 0;
    ASSERT_STATUS(1, Rebin_n_sweeps_to_pa(ptrs.data(), 7, 2, &o, &set, &n));
    ASSERT_EQ(3, n);
    EXPECT_FLOAT_EQ(1.5f, set[0]->psd[0]);
    EXPECT_FLOAT_EQ(5.5f, set[2]->psd[0]);
    free_sweep_set(n, set);

    testing::internal::CaptureStdout();
    EXPECT_STATUS(-506, Rebin_n_sweeps_to_pa(ptrs.data(), 7, 0, &o, &set, &n));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(nullptr, set);

    // A failing group frees what was made.
    owned[3]->elo[0] = 1.5f;
    testing::internal::CaptureStdout();
    EXPECT_STATUS(-506, Rebin_n_sweeps_to_pa(ptrs.data(), 7, 2, &o, &set, &n));
    EXPECT_EQ("Rebin to pa got incongruent sweeps; err 3, and failed\n"
              "rebin_sweep_to_pa in Rebin_n_sweeps_to_pa failed\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, set);
    owned[3]->elo[0] = 1.0f;

    HALDE_SPIN3D_S spin{};
    spin.n_swp = 3;
    spin.sweeppp = ptrs.data();
    HALDE_SPIN3D_S *spins[] = {&spin, &spin};
    ASSERT_STATUS(1, Rebin_n_spins_to_pa(spins, 2, &o, &set));
    EXPECT_FLOAT_EQ(2.0f, set[1]->psd[0]);
    free_sweep_set(2, set);
}

} // namespace
