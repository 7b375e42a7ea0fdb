// Autoscaled ranges of the sweep plots on linear and logarithmic scales: a
// logarithmic scale takes its range from the present values above zero, a
// range with no such value keeps the options' range after one line, equal
// ends are widened about their value, and the range left in the options is
// the range drawn.
#include "Velora_plot.h"
#include "plot_files.h"
#include "sweeps.h"

#include <cpgplot.h>

#include <limits>

namespace {

using plot_test::MakeSweep;
using plot_test::PlotFile;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float M = -1.0f; // the missing value of the test sweeps
constexpr PGSpectro_linlog LIN = PGSPECTRO_LIN, LOG = PGSPECTRO_LOG;

const std::vector<float> kRising = {0, -3, M, 2, 40, kNaN}; // zeros, negatives, missing, NaN
const std::vector<float> kAllZero(6, 0.0f), kConstant(6, 5.0f);
const std::vector<float> kNoPositive = {0, -3, M, -2, kNaN, -40}, kAllMissing = {M, M, kNaN, M, M, M};

enum class Plot { Wheel, Cut, Stack };

struct RangeCase {
    const char *name;
    Plot plot;
    std::vector<float> values; // six values, see Draw
    PGSpectro_linlog linlog;
    bool autoscale;            // else the options hold the range 3 .. 3
    float lo, hi;              // the range left in the options
    std::string printed;
};

void PrintTo(const RangeCase &c, std::ostream *os) { *os << c.name; }

// Draws the values with the plot into an open device; the range left in
// its options.  Wheel: 3 polar bins of 2 levels.  Cut at 30 degrees: bin 0
// of 6 holds values 0..2 (the cut), bin 4 values 3..5 (the opposite cut).
// Stack: two sweeps of one polar bin and 3 levels.
std::pair<float, float> Draw(const RangeCase &c)
{
    const float given = c.autoscale ? 1.0f : 3.0f, given_max = c.autoscale ? 10.0f : 3.0f;
    auto value = [&](std::size_t k) { return c.values[k]; };
    if (c.plot == Plot::Wheel) {
        SweepPtr s = MakeSweep(3, {10, 100}, {100, 1000}, [&](int i, int l) { return value(i * 2 + l); });
        SWEEP_WHEEL_OPTIONS opt;
        Set_sweep_wheel_options_default(&opt);
        opt.zlinlog = c.linlog;
        opt.zautoscale = c.autoscale ? YES : NO;
        opt.zmin = given;
        opt.zmax = given_max;
        EXPECT_EQ(PGSPECTRO_OK, Sweep_wheel_plot(s.get(), &opt));
        return {opt.zmin, opt.zmax};
    }
    if (c.plot == Plot::Cut) {
        SweepPtr s = MakeSweep(6, {4, 90, 15000}, {6, 110, 25000},
                               [&](int i, int l) { return i == 0 ? value(l) : i == 4 ? value(3 + l) : M; });
        HALDE_SWEEP_S *swp = s.get();
        QPGLine_colour colour = QPGRED;
        QPGLinestyle style = QPGSOLID;
        float width = 1, theta = 30;
        SWEEP_CUT_OPTIONS opt;
        Set_Sweep_cut_options_default(&opt);
        opt = {1, &colour, 1, &style, 1, &width, LOG, c.linlog, c.autoscale ? YES : NO, YES,
               1, 10, given, given_max, 0.1f, 0.9f, 0.1f, 0.9f, "/xser"};
        EXPECT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(&swp, 1, &theta, &opt));
        return {opt.ymin, opt.ymax};
    }
    std::vector<SweepPtr> owned;
    HALDE_SWEEP_S *swps[2];
    for (int i = 0; i < 2; ++i) {
        owned.push_back(MakeSweep(1, {10, 100, 1000}, {20, 200, 2000}, [&](int, int l) { return value(i * 3 + l); }));
        to_nurv_time(2001, 34, 10, 20, 30 + 4 * i, 0, &owned.back()->btime);
        to_nurv_time(2001, 34, 10, 20, 34 + 4 * i, 0, &owned.back()->etime);
        swps[i] = owned.back().get();
    }
    PGSpectro spec{};
    PGSpectro_set_defaults(&spec);
    spec.zlinlog = c.linlog;
    spec.zscalemin = given;
    spec.zscalemax = given_max;
    // As the energy-angle-time program autoscales.
    if (c.autoscale && c.linlog == LOG)
        sweeps_log_autoscaler(swps, 2, &spec.zscalemin, &spec.zscalemax);
    else if (c.autoscale)
        sweeps_autoscaler(swps, 2, &spec.zscalemin, &spec.zscalemax);
    EXPECT_EQ(PGSPECTRO_OK, Mirvek_plot(swps, 2, &spec, owned[0]->btime, owned[1]->etime));
    return {spec.zscalemin, spec.zscalemax};
}

class AutoscaledRange : public testing::TestWithParam<RangeCase> {};

TEST_P(AutoscaledRange, RangeLeftInTheOptions)
{
    const RangeCase &c = GetParam();
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    const auto [lo, hi] = Draw(c);
    EXPECT_EQ(c.printed, testing::internal::GetCapturedStdout());
    EXPECT_FLOAT_EQ(c.lo, lo);
    EXPECT_FLOAT_EQ(c.hi, hi);
}

std::string Kept(const char *who, const char *what)
{
    return std::string(who) + ": no value above zero for the logarithmic " + what + "; keeping 1 .. 10\n";
}
const std::string kWheelKept = Kept("Sweep_wheel_plot", "colour scale");
const std::string kCutKept = Kept("Sweep_cuts_plot", "value axis");
const std::string kStackKept = Kept("sweeps_log_autoscaler", "colour scale");
const std::string kNothing = "Sweep_cuts_plot: every value is missing; nothing to draw\n";

INSTANTIATE_TEST_SUITE_P(
    SweepPlots, AutoscaledRange,
    testing::Values(
        RangeCase{"wheel_log_rising", Plot::Wheel, kRising, LOG, true, 2, 40, ""},
        RangeCase{"wheel_log_all_zero", Plot::Wheel, kAllZero, LOG, true, 1, 10, kWheelKept},
        RangeCase{"wheel_log_no_positive", Plot::Wheel, kNoPositive, LOG, true, 1, 10, kWheelKept},
        RangeCase{"wheel_log_constant", Plot::Wheel, kConstant, LOG, true, 0.5f, 50, ""},
        RangeCase{"wheel_log_capped", Plot::Wheel, {5e37f, 1, 2, 3, 4, 5}, LOG, true, 1, 3.4028235e37f, ""},
        RangeCase{"wheel_log_equal_user_range", Plot::Wheel, kRising, LOG, false, 0.3f, 30, ""},
        RangeCase{"wheel_linear_rising", Plot::Wheel, kRising, LIN, true, -3, 40, ""},
        RangeCase{"wheel_linear_all_zero", Plot::Wheel, kAllZero, LIN, true, 0, 1.17549435e-36f, ""},
        RangeCase{"wheel_linear_constant", Plot::Wheel, kConstant, LIN, true, 5, 5.5f, ""},
        RangeCase{"wheel_linear_equal_user_range", Plot::Wheel, kRising, LIN, false, 2, 4, ""},
        RangeCase{"cut_log_rising", Plot::Cut, kRising, LOG, true, 2, 40, ""},
        RangeCase{"cut_log_all_zero", Plot::Cut, kAllZero, LOG, true, 1, 10, kCutKept},
        RangeCase{"cut_log_no_positive", Plot::Cut, kNoPositive, LOG, true, 1, 10, kCutKept},
        RangeCase{"cut_log_all_missing", Plot::Cut, kAllMissing, LOG, true, 1, 10, kNothing},
        RangeCase{"cut_log_constant", Plot::Cut, kConstant, LOG, true, 0.5f, 50, ""},
        RangeCase{"cut_linear_rising_without_zeros", Plot::Cut, kRising, LIN, true, -3, 40, ""},
        RangeCase{"cut_linear_all_zero", Plot::Cut, kAllZero, LIN, true, -1, 1, ""},
        RangeCase{"cut_linear_all_missing", Plot::Cut, kAllMissing, LIN, true, 1, 10, kNothing},
        RangeCase{"cut_linear_constant", Plot::Cut, kConstant, LIN, true, 4, 6, ""},
        RangeCase{"stack_log_rising", Plot::Stack, kRising, LOG, true, 2, 40, ""},
        RangeCase{"stack_log_all_zero", Plot::Stack, kAllZero, LOG, true, 1, 10, kStackKept},
        RangeCase{"stack_log_no_positive", Plot::Stack, kNoPositive, LOG, true, 1, 10, kStackKept},
        RangeCase{"stack_log_constant", Plot::Stack, kConstant, LOG, true, 0.5f, 50, ""},
        RangeCase{"stack_log_equal_user_range", Plot::Stack, kRising, LOG, false, 0.3f, 30, ""},
        RangeCase{"stack_linear_equal_user_range", Plot::Stack, kRising, LIN, false, 2, 4, ""}),
    [](const testing::TestParamInfo<RangeCase> &info) { return std::string(info.param.name); });

// A logarithmic energy axis of a cut: centres above zero only (the levels
// centred at -20, 100 and 20000 eV give 100 .. 20000); a linear one is
// drawn from 0.1 where its low end is below zero.
TEST(AutoscaledRange, CutEnergyAxis)
{
    for (const PGSpectro_linlog xlinlog : {LOG, LIN}) {
        SweepPtr s = MakeSweep(6, {-30, 90, 15000}, {-10, 110, 25000}, [](int, int) { return 1.0f; });
        HALDE_SWEEP_S *swp = s.get();
        QPGLine_colour colour = QPGRED;
        QPGLinestyle style = QPGSOLID;
        float width = 1, theta = 30;
        SWEEP_CUT_OPTIONS opt;
        Set_Sweep_cut_options_default(&opt);
        opt.nswps = 1;
        opt.colours = &colour;
        opt.linestyles = &style;
        opt.linethicknesses = &width;
        opt.xlinlog = xlinlog;
        PlotFile gif("GIF");
        ASSERT_TRUE(gif.open());
        ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(&swp, 1, &theta, &opt));
        EXPECT_FLOAT_EQ(xlinlog == LOG ? 100 : 0.1f, opt.xmin);
        EXPECT_FLOAT_EQ(20000, opt.xmax);
    }
}

} // namespace
