// Arithmetic between sweeps, regridding, the value range of a set, scaling
// and 1D cuts, against hand-computed values.
#include "sweep_builders.h"

#include <cstdlib>
#include <string>

using sweep_test::Grid;
using sweep_test::MakeSweep;
using sweep_test::Values;

namespace {

const Grid kGrid{{0, 90, 180}, {1, 2, 4}};

SweepPtr Arith(const SweepPtr &a, const SweepPtr &b, ARITH_OPER op)
{
    return SweepPtr(sweep_arithmetic(a.get(), b.get(), op));
}

// ---- Arithmetic ------------------------------------------------------------------

TEST(Arithmetic, IdentitiesKeepMissingBinsMissing)
{
    // missing_value 0: the second bin is missing.
    auto a = MakeSweep(kGrid, {3, 0, -2, 8});
    auto diff = Arith(a, a, SUBTRACT);
    ASSERT_NE(nullptr, diff);
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Values(diff.get()));
    auto ratio = Arith(a, a, DIVIDE);
    EXPECT_EQ((std::vector<float>{1, 0, 1, 1}), Values(ratio.get()));
    auto sum = Arith(a, a, ADD);
    EXPECT_EQ((std::vector<float>{6, 0, -4, 16}), Values(sum.get()));
    auto product = Arith(a, a, MULTIPLY);
    EXPECT_EQ((std::vector<float>{9, 0, 4, 64}), Values(product.get()));
    EXPECT_STREQ("HALDE", product->lineage->experiment) << "no mark";
}

TEST(Arithmetic, OneSidedMissingAndSmallDivisors)
{
    auto a = MakeSweep(kGrid, {5, -1, 6, 6});
    auto b = MakeSweep(kGrid, {-9, 2, 1e-37f, 2e-36f});
    a->missing_value = -1;
    b->missing_value = -9;
    EXPECT_EQ((std::vector<float>{5, -1, 6 + 1e-37f, 6 + 2e-36f}), Values(Arith(a, b, ADD).get()))
        << "only b missing keeps a; only a missing stays missing";
    const auto p = Values(Arith(a, b, MULTIPLY).get());
    EXPECT_EQ(-1.0f, p[0]);
    EXPECT_EQ(-1.0f, p[1]);
    EXPECT_FLOAT_EQ(6e-37f, p[2]);
    EXPECT_FLOAT_EQ(1.2e-35f, p[3]);
    const auto q = Values(Arith(a, b, DIVIDE).get());
    EXPECT_EQ(-1.0f, q[0]);
    EXPECT_EQ(-1.0f, q[1]);
    EXPECT_EQ(-1.0f, q[2]) << "1e-37 is below 100 times the smallest normal float";
    EXPECT_FLOAT_EQ(3e36f, q[3]);
    auto zero = MakeSweep(kGrid, {0, 0, 0, 0});
    zero->missing_value = -9;
    EXPECT_EQ((std::vector<float>{-1, -1, -1, -1}), Values(Arith(a, zero, DIVIDE).get()))
        << "division by zero gives the missing value";
}

TEST(Arithmetic, UnknownOperationAndDifferentUnits)
{
    auto a = MakeSweep(kGrid, {5, 1, 6, 6});
    testing::internal::CaptureStdout();
    auto none = Arith(a, a, NONE);
    EXPECT_EQ("Unknown Arithmetic Operation for Sweep; missing vals returned\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Values(none.get()));
    auto counts = MakeSweep(kGrid, {5, 1, 6, 6}, PSD_UNITS_CNTS_ACCUM);
    EXPECT_EQ(nullptr, Arith(a, counts, ADD));
    auto speeds = MakeSweep(kGrid, {5, 1, 6, 6});
    speeds->bin_units = BIN_UNITS_KM_S;
    EXPECT_EQ(nullptr, Arith(a, speeds, ADD));
}

TEST(Arithmetic, SecondaryOnAnotherGridIsAveragedOntoThePrimaryFirst)
{
    // Primary: four polar bins over 0..180 and one level; the secondary has
    // one bin 0..90 only, so the upper half of the primary is not reached.
    auto pri = MakeSweep({{0, 45, 90, 135, 180}, {1, 2}}, {10, 20, 30, 40});
    pri->missing_value = -1;
    auto sec = MakeSweep({{0, 90}, {1, 2}}, {2});
    EXPECT_EQ((std::vector<float>{12, 22, 30, 40}), Values(Arith(pri, sec, ADD).get()));
    EXPECT_EQ((std::vector<float>{8, 18, 30, 40}), Values(Arith(pri, sec, SUBTRACT).get()));
    EXPECT_EQ((std::vector<float>{20, 40, -1, -1}), Values(Arith(pri, sec, MULTIPLY).get()));
    EXPECT_EQ((std::vector<float>{5, 10, -1, -1}), Values(Arith(pri, sec, DIVIDE).get()));
    EXPECT_EQ(2.0f, sec->psd[0]);
    // A secondary with more bins than the primary is read only within its
    // own arrays (checked under AddressSanitizer).
    auto fine = MakeSweep({{0, 30, 60, 90, 120, 150, 180}, {1, 1.5f, 2}}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ((std::vector<float>{11, 21, 31, 41}), Values(Arith(pri, fine, ADD).get()));
}

// ---- Regridding ---------------------------------------------------------------------

TEST(Regrid, ValuesMoveOntoTheHolderGridAndCountsAreConserved)
{
    auto counts = MakeSweep({{0, 90, 180}, {1, 2}}, {2, 4}, PSD_UNITS_CNTS_ACCUM);
    counts->phi_sc = 3;
    auto holder = MakeSweep({{0, 180}, {1, 2}}, {0});
    SweepPtr one(rebin_sweep(holder.get(), counts.get()));
    ASSERT_NE(nullptr, one);
    EXPECT_FLOAT_EQ(6.0f, one->psd[0]) << "counts summed onto the merged bin";
    EXPECT_EQ(PSD_UNITS_CNTS_ACCUM, one->psd_units);
    EXPECT_EQ(3.0f, one->phi_sc);
    EXPECT_EQ(nullptr, one->pa);
    EXPECT_EQ(180.0f, one->thhi[0]);

    holder->bin_units = BIN_UNITS_KM_S;
    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, rebin_sweep(holder.get(), counts.get()));
    EXPECT_EQ("rebin_sweep failed; bin-units don't match\n", testing::internal::GetCapturedStdout());
}

TEST(Regrid, SetsStopAtTheFirstFailure)
{
    auto holder = MakeSweep({{0, 180}, {1, 2}}, {0});
    auto a = MakeSweep(kGrid, {1, 2, 3, 4});
    auto b = MakeSweep(kGrid, {1, 2, 3, 4});
    b->bin_units = BIN_UNITS_KM_S;
    HALDE_SWEEP_S *in[] = {a.get(), b.get(), a.get()};
    HALDE_SWEEP_S **out = nullptr;
    int n = -1;
    testing::internal::CaptureStdout();
    ASSERT_STATUS(1, rebin_n_sweeps(holder.get(), 3, in, &n, &out));
    EXPECT_EQ(1, n);
    free_sweep_set(3, out);
    HALDE_SWEEP_S *bad[] = {b.get()};
    EXPECT_STATUS(-507, rebin_n_sweeps(holder.get(), 1, bad, &n, &out));
    EXPECT_EQ("rebin_sweep failed; bin-units don't match\nrebin_sweep failed; bin-units don't match\n"
              "rebin_n_sweeps failed to rebin even 1 sweep\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, n);
}

// ---- Value range and scaling ------------------------------------------------------

TEST(Autoscale, RangesOfSets)
{
    constexpr float kTiny = 1.1754943508222875e-36f;
    auto flat = MakeSweep(kGrid, {5, 5, 5, 5});
    auto other = MakeSweep(kGrid, {5, 5, 5, 5});
    HALDE_SWEEP_S *set[] = {flat.get(), other.get()};
    float lo = 0, hi = 0;
    sweeps_autoscaler(set, 2, &lo, &hi);
    EXPECT_EQ(5.0f, lo);
    EXPECT_FLOAT_EQ(5.5f, hi);

    auto mixed = MakeSweep(kGrid, {0, -3, 7, 2});
    mixed->missing_value = 7;
    HALDE_SWEEP_S *one[] = {mixed.get()};
    sweeps_autoscaler(one, 1, &lo, &hi);
    EXPECT_EQ(-3.0f, lo) << "zeros and negatives count, the missing value does not";
    EXPECT_EQ(2.0f, hi);

    auto empty = MakeSweep(kGrid, {0, 0, 0, 0});
    empty->missing_value = 0;
    HALDE_SWEEP_S *none[] = {empty.get()};
    sweeps_autoscaler(none, 1, &lo, &hi);
    EXPECT_EQ(kTiny, lo);
    EXPECT_FLOAT_EQ(1.1f * kTiny, hi);

    auto huge = MakeSweep(kGrid, {1, 1e38f, -1e38f, 1});
    HALDE_SWEEP_S *big[] = {huge.get()};
    sweeps_autoscaler(big, 1, &lo, &hi);
    EXPECT_EQ(-3.4028234663852886e+37f, lo);
    EXPECT_EQ(3.4028234663852886e+37f, hi);
}

TEST(Scale, ValuesAndLineageMark)
{
    auto s = MakeSweep(kGrid, {1, 0, 2.5f, -4});
    sweep_scaler(s.get(), 10);
    EXPECT_EQ((std::vector<float>{10, 0, 25, -40}), Values(s.get()));
    EXPECT_STREQ("HALDEx  10", s->lineage->experiment);
    sweep_scaler(s.get(), 2.5f);
    EXPECT_STREQ("HALDEx  10x 2.5", s->lineage->experiment);

    // Near the end of the field the mark is cut at 99 characters; at 94 it
    // is left off.
    const std::string near(93, 'e');
    std::strcpy(s->lineage->experiment, near.c_str());
    sweep_scaler(s.get(), -1.5e-5f);
    EXPECT_EQ(near + "x-1.5e", s->lineage->experiment);
    const std::string full(94, 'e');
    std::strcpy(s->lineage->experiment, full.c_str());
    sweep_scaler(s.get(), 2);
    EXPECT_EQ(full, s->lineage->experiment);
}

// ---- Cuts --------------------------------------------------------------------------

struct CutDeleter {
    void operator()(HALDE_1D_SWEEP_CUT_S *cut) const
    {
        free_1D_cut_arrays(cut);
        std::free(cut);
    }
};
using CutPtr = std::unique_ptr<HALDE_1D_SWEEP_CUT_S, CutDeleter>;

TEST(Cut, PicksThePolarBinAndCentres)
{
    auto s = MakeSweep({{0, 60, 120, 180}, {1, 3, 7}}, {1, 2, 3, 4, 5, 6});
    CutPtr mid(sweep_1D_cut(100, s.get()));
    ASSERT_NE(nullptr, mid);
    EXPECT_EQ(2, mid->n_lev);
    EXPECT_EQ(90.0f, mid->thcen);
    EXPECT_EQ(20.0f, mid->phi_cen);
    EXPECT_EQ(2.0f, mid->ecen[0]);
    EXPECT_EQ(5.0f, mid->ecen[1]);
    EXPECT_EQ(3.0f, mid->psd1D[0]);
    EXPECT_EQ(4.0f, mid->psd1D[1]);
    EXPECT_EQ(100, mid->starttime.sec);
    EXPECT_EQ(104, mid->endtime.sec);
    EXPECT_STREQ("CPPADL", mid->lineage->virtual_inst);

    CutPtr edge(sweep_1D_cut(60, s.get()));
    EXPECT_EQ(30.0f, edge->thcen) << "theta on a high edge takes that bin";
    CutPtr above(sweep_1D_cut(200, s.get()));
    EXPECT_EQ(150.0f, above->thcen);
    EXPECT_EQ(6.0f, above->psd1D[1]);

    HALDE_SWEEP_S empty{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(nullptr, sweep_1D_cut(10, &empty));
    EXPECT_EQ("1D CUT: Theta bins exhausted\n", testing::internal::GetCapturedStdout());
}

} // namespace
