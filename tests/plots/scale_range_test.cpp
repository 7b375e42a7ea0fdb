// Autoscaled ranges of the sweep plots on linear and logarithmic scales: a
// logarithmic scale takes its range from the present values above zero
// (never from missing values, NaN, zeros or negatives), a range with no such
// value keeps the options' range after one line, equal ends are widened
// about their value, and the range left in the options is the range drawn.
#include "Velora_plot.h"
#include "plot_files.h"
#include "sweeps.h"

#include <cpgplot.h>

#include <cmath>
#include <filesystem>
#include <limits>

namespace {

using plot_test::MakeSweep;
using plot_test::PlotFile;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float M = -1.0f;  // the missing value of the test sweeps

// Values rising through zeros, negatives, a missing value and a NaN.
const std::vector<float> kRising = {0, -3, M, 2, 40, kNaN};
const std::vector<float> kAllZero(6, 0.0f);
const std::vector<float> kConstant(6, 5.0f);
const std::vector<float> kNoPositive = {0, -3, M, -2, kNaN, -40};
const std::vector<float> kAllMissing = {M, M, kNaN, M, M, M};

std::string Kept(const char *who, const char *what)
{
    return std::string(who) + ": no value above zero for the logarithmic " + what + "; keeping 1 .. 10\n";
}

// ---- Wheels -------------------------------------------------------------

struct WheelCase {
    const char *name;
    std::vector<float> values;  // 3 polar bins of 2 levels, bin by bin
    PGSpectro_linlog zlinlog;
    Yes_or_No zautoscale;
    float zmin_given, zmax_given;
    float zmin, zmax;
    std::string printed;
};

void PrintTo(const WheelCase &c, std::ostream *os) { *os << c.name; }

class WheelRange : public testing::TestWithParam<WheelCase> {};

TEST_P(WheelRange, RangeLeftInTheOptions)
{
    const WheelCase &c = GetParam();
    SweepPtr s = MakeSweep(3, {10, 100}, {100, 1000}, [&](int i, int l) { return c.values[static_cast<std::size_t>(i * 2 + l)]; });
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    opt.zlinlog = c.zlinlog;
    opt.zautoscale = c.zautoscale;
    opt.zmin = c.zmin_given;
    opt.zmax = c.zmax_given;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    ASSERT_EQ(PGSPECTRO_OK, Sweep_wheel_plot(s.get(), &opt));
    EXPECT_EQ(c.printed, testing::internal::GetCapturedStdout());
    EXPECT_FLOAT_EQ(c.zmin, opt.zmin);
    EXPECT_FLOAT_EQ(c.zmax, opt.zmax);
}

const char *const kWheel = "Sweep_wheel_plot";

INSTANTIATE_TEST_SUITE_P(
    Wheel, WheelRange,
    testing::Values(
        WheelCase{"log_rising_through_zeros_negatives_missing", kRising, PGSPECTRO_LOG, YES, 1, 10, 2, 40, ""},
        WheelCase{"log_all_zero_keeps_the_options", kAllZero, PGSPECTRO_LOG, YES, 1, 10, 1, 10,
                  Kept(kWheel, "colour scale")},
        WheelCase{"log_no_positive_keeps_the_options", kNoPositive, PGSPECTRO_LOG, YES, 1, 10, 1, 10,
                  Kept(kWheel, "colour scale")},
        WheelCase{"log_constant_widened_a_decade", kConstant, PGSPECTRO_LOG, YES, 1, 10, 0.5f, 50, ""},
        WheelCase{"log_one_present_value", {M, M, 7, M, kNaN, M}, PGSPECTRO_LOG, YES, 1, 10, 0.7f, 70, ""},
        WheelCase{"log_capped_at_float_limit", {5e37f, 1, 2, 3, 4, 5}, PGSPECTRO_LOG, YES, 1, 10, 1,
                  3.4028235e37f, ""},
        WheelCase{"log_equal_user_range", kRising, PGSPECTRO_LOG, NO, 3, 3, 0.3f, 30, ""},
        WheelCase{"linear_rising_keeps_zeros_and_negatives", kRising, PGSPECTRO_LIN, YES, 1, 10, -3, 40, ""},
        WheelCase{"linear_all_zero", kAllZero, PGSPECTRO_LIN, YES, 1, 10, 0, 1.17549435e-36f, ""},
        WheelCase{"linear_constant", kConstant, PGSPECTRO_LIN, YES, 1, 10, 5, 5.5f, ""},
        WheelCase{"linear_equal_user_range_widened_a_unit", kRising, PGSPECTRO_LIN, NO, 3, 3, 2, 4, ""}),
    [](const testing::TestParamInfo<WheelCase> &info) { return std::string(info.param.name); });

// The colour of a wheel bin on the GIF: bin of polar bin i (60 degrees each)
// and level l of a logarithmic radius from 10 to 1000.
plot_test::Rgb WheelBin(const QImage &image, const std::array<int, 2> &at) { return plot_test::PixelColour(image, at); }

std::array<int, 2> WheelPixel(int i, int l)
{
    const double a = (90.0 + 60.0 * i + 20.0) * 3.14159265358979 / 180.0;  // off the centre lines
    const float r = 0.5f + static_cast<float>(l);
    return plot_test::PixelOf(r * static_cast<float>(std::cos(a)), r * static_cast<float>(std::sin(a)));
}

TEST(WheelRange, RangeLeftInTheOptionsIsTheRangeDrawn)
{
    // The smallest value shown takes the first colour, the largest the last,
    // a value everywhere the middle one.
    struct Expect {
        int i, l, index;
    };
    const std::vector<std::pair<std::vector<float>, std::vector<Expect>>> cases = {
        {kRising, {{1, 1, 16}, {2, 0, 255}}},
        {kConstant, {{0, 0, 16 + 119}, {2, 1, 16 + 119}}},
    };
    for (const auto &[values, expect] : cases) {
        SweepPtr s = MakeSweep(3, {10, 100}, {100, 1000}, [&](int i, int l) { return values[static_cast<std::size_t>(i * 2 + l)]; });
        SWEEP_WHEEL_OPTIONS opt;
        Set_sweep_wheel_options_default(&opt);
        PlotFile gif("GIF");
        ASSERT_TRUE(gif.open());
        cpgpage();
        ASSERT_EQ(PGSPECTRO_OK, Sweep_wheel_plot(s.get(), &opt));
        std::vector<std::array<int, 2>> at;
        std::vector<plot_test::Rgb> want;
        for (const Expect &e : expect) {
            at.push_back(WheelPixel(e.i, e.l));
            want.push_back(plot_test::IndexColour(e.index));
        }
        gif.Close();
        const QImage image = gif.Image();
        for (std::size_t k = 0; k < at.size(); ++k)
            EXPECT_TRUE(plot_test::Near(want[k], WheelBin(image, at[k])))
                << "bin " << expect[k].i << "," << expect[k].l << " of range " << opt.zmin << " .. " << opt.zmax
                << ": " << testing::PrintToString(WheelBin(image, at[k])) << " not " << testing::PrintToString(want[k]);
    }
}

// A primary that cannot be drawn is refused before the device is opened, so
// no empty picture file is left behind.
TEST(TwoSweepRange, EmptyPrimaryOpensNoDevice)
{
    SweepPtr s = MakeSweep(3, {10, 100}, {100, 1000}, [](int, int) { return 1.0f; });
    HALDE_SWEEP_S empty{};
    kombra_test::TempDir dir;
    const std::string file = dir.file("empty.gif");
    const std::string device = file + "/GIF";
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    opt.pg_device = device.c_str();
    kombra_test::ScopedEnv fonts("PGPLOT_DIR", std::string("/usr/lib/pgplot5"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(-501, PlotTwoSweeps(&empty, s.get(), &opt));
    EXPECT_EQ("primary sweep for plot has no bins; plot abandoned\n", testing::internal::GetCapturedStdout());
    char state[16] = {};
    int len = sizeof state;
    cpgqinf("STATE", state, &len);
    EXPECT_STREQ("CLOSED", state);
    EXPECT_FALSE(std::filesystem::exists(file));
}

// Both halves of a two-sweep wheel use the primary's range as shown.
TEST(TwoSweepRange, SecondaryDrawnOnThePrimarysPositiveRange)
{
    SweepPtr pri = MakeSweep(3, {10, 100}, {100, 1000}, [](int i, int l) { return kRising[static_cast<std::size_t>(i * 2 + l)]; });
    SweepPtr sec = MakeSweep(3, {10, 100}, {100, 1000}, [](int, int) { return 0.0f; });
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    ASSERT_EQ(0, PlotTwoSweeps(pri.get(), sec.get(), &opt));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_FLOAT_EQ(2, opt.zmin);
    EXPECT_FLOAT_EQ(40, opt.zmax);
}

// ---- Cuts ---------------------------------------------------------------

// One sweep of six 30-degree polar bins and three levels; the cut at 30
// degrees is bin 0, the opposite one bin 4.
SweepPtr CutSweep(const std::vector<float> &theta_cut, const std::vector<float> &opposite,
                  const std::vector<float> &elo = {4, 90, 15000}, const std::vector<float> &ehi = {6, 110, 25000})
{
    return MakeSweep(6, elo, ehi, [&](int s, int l) {
        if (s == 0)
            return theta_cut[static_cast<std::size_t>(l)];
        if (s == 4)
            return opposite[static_cast<std::size_t>(l)];
        return M;
    });
}

struct CutOptions {
    QPGLine_colour colour = QPGRED;
    QPGLinestyle style = QPGSOLID;
    float width = 2.0f;
    SWEEP_CUT_OPTIONS opt{};
    CutOptions()
    {
        Set_Sweep_cut_options_default(&opt);
        opt.nswps = 1;
        opt.colours = &colour;
        opt.linestyles = &style;
        opt.linethicknesses = &width;
    }
};

struct CutValueCase {
    const char *name;
    std::vector<float> theta_cut, opposite;
    PGSpectro_linlog ylinlog;
    float ymin, ymax;
    std::string printed;
};

void PrintTo(const CutValueCase &c, std::ostream *os) { *os << c.name; }

class CutValueRange : public testing::TestWithParam<CutValueCase> {};

TEST_P(CutValueRange, RangeLeftInTheOptions)
{
    const CutValueCase &c = GetParam();
    SweepPtr s = CutSweep(c.theta_cut, c.opposite);
    HALDE_SWEEP_S *swp = s.get();
    CutOptions o;
    o.opt.ylinlog = c.ylinlog;
    float theta = 30;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(&swp, 1, &theta, &o.opt));
    EXPECT_EQ(c.printed, testing::internal::GetCapturedStdout());
    EXPECT_FLOAT_EQ(c.ymin, o.opt.ymin);
    EXPECT_FLOAT_EQ(c.ymax, o.opt.ymax);
}

const char *const kCuts = "Sweep_cuts_plot";

INSTANTIATE_TEST_SUITE_P(
    Cut, CutValueRange,
    testing::Values(
        CutValueCase{"log_rising_through_zeros_negatives_missing", {0, -3, M}, {2, 40, kNaN}, PGSPECTRO_LOG, 2, 40, ""},
        CutValueCase{"log_constant_widened_a_decade", {5, 5, 5}, {5, 5, 5}, PGSPECTRO_LOG, 0.5f, 50, ""},
        CutValueCase{"log_all_zero_keeps_the_options", {0, 0, 0}, {0, 0, 0}, PGSPECTRO_LOG, 1, 10,
                     Kept(kCuts, "value axis")},
        CutValueCase{"log_no_positive_keeps_the_options", {0, -3, M}, {-2, 0, kNaN}, PGSPECTRO_LOG, 1, 10,
                     Kept(kCuts, "value axis")},
        CutValueCase{"log_all_missing_has_nothing_to_draw", {M, M, M}, {M, kNaN, M}, PGSPECTRO_LOG, 1, 10,
                     "Sweep_cuts_plot: every value is missing; nothing to draw\n"},
        CutValueCase{"linear_rising_without_zeros", {0, -3, M}, {2, 40, kNaN}, PGSPECTRO_LIN, -3, 40, ""},
        CutValueCase{"linear_constant_widened_a_unit", {5, 5, 5}, {5, 5, 5}, PGSPECTRO_LIN, 4, 6, ""},
        CutValueCase{"linear_all_zero_shows_zero", {0, 0, 0}, {0, M, 0}, PGSPECTRO_LIN, -1, 1, ""},
        CutValueCase{"linear_all_missing_has_nothing_to_draw", {M, M, M}, {M, kNaN, M}, PGSPECTRO_LIN, 1, 10,
                     "Sweep_cuts_plot: every value is missing; nothing to draw\n"}),
    [](const testing::TestParamInfo<CutValueCase> &info) { return std::string(info.param.name); });

struct CutEnergyCase {
    const char *name;
    std::vector<float> elo, ehi;
    PGSpectro_linlog xlinlog;
    float xmin, xmax;
    std::string printed;
};

void PrintTo(const CutEnergyCase &c, std::ostream *os) { *os << c.name; }

class CutEnergyRange : public testing::TestWithParam<CutEnergyCase> {};

TEST_P(CutEnergyRange, RangeLeftInTheOptions)
{
    const CutEnergyCase &c = GetParam();
    SweepPtr s = CutSweep({1, 2, 3}, {4, 5, 6}, c.elo, c.ehi);
    HALDE_SWEEP_S *swp = s.get();
    CutOptions o;
    o.opt.xlinlog = c.xlinlog;
    float theta = 30;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(&swp, 1, &theta, &o.opt));
    EXPECT_EQ(c.printed, testing::internal::GetCapturedStdout());
    EXPECT_FLOAT_EQ(c.xmin, o.opt.xmin);
    EXPECT_FLOAT_EQ(c.xmax, o.opt.xmax);
}

INSTANTIATE_TEST_SUITE_P(
    Cut, CutEnergyRange,
    testing::Values(
        CutEnergyCase{"log_level_centres", {4, 90, 15000}, {6, 110, 25000}, PGSPECTRO_LOG, 5, 20000, ""},
        CutEnergyCase{"log_negative_centre_left_out", {-30, 90, 15000}, {-10, 110, 25000}, PGSPECTRO_LOG, 100,
                      20000, ""},
        CutEnergyCase{"log_no_positive_centre_keeps_the_options", {-30, -20, -10}, {-20, -10, -5}, PGSPECTRO_LOG, 1,
                      10, Kept(kCuts, "energy axis")},
        CutEnergyCase{"linear_negative_low_end_drawn_from_0_1", {-30, 90, 15000}, {-10, 110, 25000}, PGSPECTRO_LIN,
                      0.1f, 20000, ""},
        CutEnergyCase{"log_one_level_widened_a_decade", {90, 90, 90}, {110, 110, 110}, PGSPECTRO_LOG, 10, 1000, ""}),
    [](const testing::TestParamInfo<CutEnergyCase> &info) { return std::string(info.param.name); });

TEST(CutValueRange, RangeLeftInTheOptionsIsTheRangeDrawn)
{
    // The opposite cut's 2 and 40 are the extremes: its curve on the left
    // panel runs from the panel's foot to its top.  A missing value in the
    // other cut must not stretch the axis below them.
    SweepPtr s = CutSweep({M, 5, 20, 5}, {10, 2, 40, 10}, {4, 90, 900, 15000}, {6, 110, 1100, 25000});
    HALDE_SWEEP_S *swp = s.get();
    CutOptions o;
    float theta = 30;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgpage();
    ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(&swp, 1, &theta, &o.opt));
    const auto red = plot_test::IndexColour(QPGRED);
    gif.Close();
    const QImage image = gif.Image();
    // Left panel: NDC x 0.1 .. 0.35, y 0.1 .. 0.9 of the 850 x 680 picture;
    // its inner columns (the extremes lie at 100 and 1000 eV).
    int top = image.height(), foot = -1;
    for (int row = 0; row < image.height(); ++row)
        for (int col = 100; col < 280; ++col)
            if (plot_test::Near(red, plot_test::PixelColour(image, {col, row}))) {
                top = std::min(top, row);
                foot = std::max(foot, row);
            }
    EXPECT_NEAR(68, top, 4) << o.opt.ymin << " .. " << o.opt.ymax;
    EXPECT_NEAR(612, foot, 4) << o.opt.ymin << " .. " << o.opt.ymax;
}

// ---- Energy-angle-time stack -------------------------------------------

struct StackCase {
    const char *name;
    std::vector<float> values;  // 2 sweeps of 2 polar bins and 3 levels, sweep by sweep
    PGSpectro_linlog zlinlog;
    bool autoscale;
    float zmin, zmax;
    std::string printed;
};

void PrintTo(const StackCase &c, std::ostream *os) { *os << c.name; }

class StackRange : public testing::TestWithParam<StackCase> {};

// The stack of the energy-angle-time program: the action autoscales a log
// scale with sweeps_log_autoscaler (a linear one with sweeps_autoscaler)
// and the plot widens equal ends; zscalemin, zscalemax are then the range
// drawn.
TEST_P(StackRange, RangeLeftInTheRecord)
{
    const StackCase &c = GetParam();
    std::vector<SweepPtr> owned;
    std::vector<HALDE_SWEEP_S *> swps;
    for (int i = 0; i < 2; ++i) {
        owned.push_back(MakeSweep(2, {10, 100, 1000}, {20, 200, 2000}, [&](int j, int l) {
            return c.values[static_cast<std::size_t>(i * 6 + j * 3 + l)];
        }));
        to_nurv_time(2001, 34, 10, 20, 30 + 4 * i, 0, &owned.back()->btime);
        to_nurv_time(2001, 34, 10, 20, 34 + 4 * i, 0, &owned.back()->etime);
        swps.push_back(owned.back().get());
    }
    PGSpectro spec{};
    PGSpectro_set_defaults(&spec);
    spec.zlinlog = c.zlinlog;
    spec.zscalemin = c.autoscale ? 1.0f : 3.0f;
    spec.zscalemax = c.autoscale ? 10.0f : 3.0f;
    NURV_TIME_S start{}, end{};
    to_nurv_time(2001, 34, 10, 20, 30, 0, &start);
    to_nurv_time(2001, 34, 10, 20, 38, 0, &end);
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    if (c.autoscale && c.zlinlog == PGSPECTRO_LOG)
        sweeps_log_autoscaler(swps.data(), 2, &spec.zscalemin, &spec.zscalemax);
    else if (c.autoscale)
        sweeps_autoscaler(swps.data(), 2, &spec.zscalemin, &spec.zscalemax);
    ASSERT_EQ(PGSPECTRO_OK, Mirvek_plot(swps.data(), 2, &spec, start, end));
    EXPECT_EQ(c.printed, testing::internal::GetCapturedStdout());
    EXPECT_FLOAT_EQ(c.zmin, spec.zscalemin);
    EXPECT_FLOAT_EQ(c.zmax, spec.zscalemax);

    // The top level panel is the last drawn: its smallest shown value takes
    // the first colour and its largest the last.
    if (std::string(c.name) == "log_rising_through_zeros_negatives_missing") {
        const float x0 = spec.domain.xworldmin;
        const auto low = plot_test::PixelOf(x0 + 2, 45);    // sweep 0, bin 0: 2
        const auto high = plot_test::PixelOf(x0 + 6, 135);  // sweep 1, bin 1: 40
        const auto first = plot_test::IndexColour(16), last = plot_test::IndexColour(255);
        gif.Close();
        const QImage image = gif.Image();
        EXPECT_TRUE(plot_test::Near(first, plot_test::PixelColour(image, low)));
        EXPECT_TRUE(plot_test::Near(last, plot_test::PixelColour(image, high)));
    }
}

// Level 2 of sweep 0 bin 0 and of sweep 1 bin 1 hold the extremes 2 and 40.
const std::vector<float> kStackRising = {0, -3, 2, M, kNaN, 7, 0, M, 9, -8, 0, 40};

INSTANTIATE_TEST_SUITE_P(
    Stack, StackRange,
    testing::Values(
        StackCase{"log_rising_through_zeros_negatives_missing", kStackRising, PGSPECTRO_LOG, true, 2, 40, ""},
        StackCase{"log_all_zero_keeps_the_options", std::vector<float>(12, 0.0f), PGSPECTRO_LOG, true, 1, 10,
                  Kept("sweeps_log_autoscaler", "colour scale")},
        StackCase{"log_no_positive_keeps_the_options", {0, -3, M, M, kNaN, -7, 0, M, -9, -8, 0, -40}, PGSPECTRO_LOG,
                  true, 1, 10, Kept("sweeps_log_autoscaler", "colour scale")},
        StackCase{"log_constant_widened_a_decade", std::vector<float>(12, 5.0f), PGSPECTRO_LOG, true, 0.5f, 50, ""},
        StackCase{"log_equal_user_range", kStackRising, PGSPECTRO_LOG, false, 0.3f, 30, ""},
        StackCase{"linear_rising", kStackRising, PGSPECTRO_LIN, true, -8, 40, ""},
        StackCase{"linear_equal_user_range_widened_a_unit", kStackRising, PGSPECTRO_LIN, false, 2, 4, ""}),
    [](const testing::TestParamInfo<StackCase> &info) { return std::string(info.param.name); });

}  // namespace
