// Sweep wheel plots: ranges written back, the caller's sweep unchanged, the
// two halves of a two-sweep wheel, device handling and failures.
#include "Velora_plot.h"
#include "plot_files.h"
#include "sweeps.h"

#include <cpgplot.h>

#include <cmath>
#include <filesystem>

namespace {

using plot_test::MakeSweep;
using plot_test::PlotFile;

const std::vector<float> kElo = {10.0f, 100.0f};
const std::vector<float> kEhi = {100.0f, 1000.0f};

struct RangeCase {
    const char *name;
    std::vector<float> values;  // sensor-major, 2 sensors of 2 levels
    std::vector<float> elo;
    float zmin, zmax, rmin, rmax;
};

void PrintTo(const RangeCase &c, std::ostream *os) { *os << c.name; }

class WrittenBackRanges : public testing::TestWithParam<RangeCase> {};

TEST_P(WrittenBackRanges, AutoscaledRangesReachTheOptions)
{
    const RangeCase &c = GetParam();
    SweepPtr s = MakeSweep(2, c.elo, kEhi, [&](int i, int l) { return c.values[static_cast<std::size_t>(i * 2 + l)]; });
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    ASSERT_EQ(PGSPECTRO_OK, Sweep_wheel_plot(s.get(), &opt));
    EXPECT_FLOAT_EQ(c.zmin, opt.zmin);
    EXPECT_FLOAT_EQ(c.zmax, opt.zmax);
    EXPECT_FLOAT_EQ(c.rmin, opt.rmin);
    EXPECT_FLOAT_EQ(c.rmax, opt.rmax);
}

INSTANTIATE_TEST_SUITE_P(
    SweepWheel, WrittenBackRanges,
    testing::Values(RangeCase{"spread_values_skip_missing", {3, -1, 40, 7}, kElo, 3, 40, 10, 1000},
                    RangeCase{"capped_at_float_limit", {5e37f, 1, 2, 3}, kElo, 1, 3.4028235e37f, 10, 1000},
                    RangeCase{"negative_levels_start_at_0_1", {1, 2, 3, 4}, {-5.0f, -1.0f}, 1, 4, 0.1f, 1000},
                    RangeCase{"last_level_edge_zero", {1, 2, 3, 4}, {-5.0f, 0.0f}, 1, 4, 0, 1000}),
    [](const testing::TestParamInfo<RangeCase> &info) { return std::string(info.param.name); });

TEST(SweepWheel, CallersSweepIsUnchanged)
{
    // Negative inner edges on a linear radius are clamped for drawing only.
    SweepPtr s = MakeSweep(4, {-50.0f, 100.0f, 300.0f}, {100.0f, 300.0f, 900.0f},
                           [](int i, int l) { return static_cast<float>(1 + i + 10 * l); });
    SweepPtr before(create_sweep_full_copy(s.get()));
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    opt.rlinlog = PGSPECTRO_LIN;
    opt.zlinlog = PGSPECTRO_LIN;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    ASSERT_EQ(PGSPECTRO_OK, Sweep_wheel_plot(s.get(), &opt));
    plot_test::ExpectSameSweep(*before, *s);
    ASSERT_EQ(0, PlotTwoSweeps(s.get(), s.get(), &opt));
    plot_test::ExpectSameSweep(*before, *s);
}

TEST(SweepWheel, TitlesCarryLineageTimesAndAzimuths)
{
    // Azimuth ranges: one sweep's, and a whole spin's through 360 degrees,
    // written the long way round.
    const struct {
        float phi_lo, phi_hi;
        const char *title;
    } ranges[] = {{10.0f, 100.0f, " 10.00 < phi(azim) < 100.00"}, {180.0f, 174.24f, " 180.00 < phi(azim) < 534.24"}};
    for (const auto &r : ranges) {
        SweepPtr s = MakeSweep(2, kElo, kEhi, [](int, int) { return 2.0f; });
        s->phi_lo = r.phi_lo;
        s->phi_hi = r.phi_hi;
        SWEEP_WHEEL_OPTIONS opt;
        Set_sweep_wheel_options_default(&opt);
        PlotFile ps("CPS");
        ASSERT_TRUE(ps.open());
        ASSERT_EQ(PGSPECTRO_OK, Sweep_wheel_plot(s.get(), &opt));
        ps.Close();
        const std::string texts = ps.Texts();
        for (const char *t : {" CLUSTER-2 HALDE", " 3DR", " CP3DRH", " 2001 034 10:20:30.250, 2001 034 10:20:34.000",
                              r.title, "eV", "s**3/km**6", "180"})
            EXPECT_NE(std::string::npos, texts.find(t)) << t << " in\n" << texts;
    }
}

TEST(SweepWheel, BinlessSweepIsRefused)
{
    HALDE_SWEEP_S empty{};
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    testing::internal::CaptureStdout();
    EXPECT_EQ(PGSPECTRO_SIZE_ERROR, Sweep_wheel_plot(&empty, &opt));
    EXPECT_EQ(PGSPECTRO_SIZE_ERROR, Sweep_wheel_plot(nullptr, &opt));
    testing::internal::GetCapturedStdout();
}

TEST(TwoSweeps, HalvesShowPrimaryLeftAndSecondaryRightOnThePrimarysScale)
{
    // Primary 1 everywhere but one bin of 100; secondary 100 everywhere.
    SweepPtr pri = MakeSweep(2, kElo, kEhi, [](int i, int l) { return i == 0 && l == 0 ? 100.0f : 1.0f; });
    SweepPtr sec = MakeSweep(2, kElo, kEhi, [](int, int) { return 100.0f; });
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    kombra_test::TempDir dir;
    const std::string file = dir.file("two.gif");
    const std::string device = file + "/GIF";
    opt.pg_device = device.c_str();
    kombra_test::ScopedEnv fonts("PGPLOT_DIR", std::string("/usr/lib/pgplot5"));

    ASSERT_EQ(0, PlotTwoSweeps(pri.get(), sec.get(), &opt));
    int id = 0;
    cpgqid(&id);
    ASSERT_NE(0, id) << "the device is left open";
    // Plotted radius 1.5 is the upper level (log radius from 10 to 1000);
    // polar 0..90 is the upper quarter of each half.
    auto at = [](float deg) {
        const double a = deg * 3.14159265358979 / 180.0;
        return plot_test::PixelOf(1.5f * static_cast<float>(std::cos(a)), 1.5f * static_cast<float>(std::sin(a)));
    };
    const auto left_upper = at(135), left_lower = at(225), right_upper = at(45);
    const auto low = plot_test::IndexColour(16), high = plot_test::IndexColour(255);
    cpgclos();
    const QImage image(QString::fromStdString(file), "GIF");
    ASSERT_FALSE(image.isNull());
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(low, plot_test::PixelColour(rgb, left_upper));
    EXPECT_EQ(low, plot_test::PixelColour(rgb, left_lower));
    EXPECT_EQ(high, plot_test::PixelColour(rgb, right_upper));

    EXPECT_FLOAT_EQ(1.0f, opt.zmin);
    EXPECT_FLOAT_EQ(100.0f, opt.zmax);
    EXPECT_FLOAT_EQ(10.0f, opt.rmin);
    EXPECT_FLOAT_EQ(1000.0f, opt.rmax);
    EXPECT_EQ(NO, opt.zautoscale);
    EXPECT_EQ(NO, opt.rautoscale);
    EXPECT_FLOAT_EQ(0.0f, opt.title_just);
}

TEST(TwoSweeps, SamePlotTwiceGivesIdenticalFiles)
{
    SweepPtr s = MakeSweep(8, kElo, kEhi, [](int i, int l) { return static_cast<float>(1 + i * l); });
    std::vector<std::vector<unsigned char>> files;
    for (int k = 0; k < 2; ++k) {
        PlotFile gif("GIF");
        ASSERT_TRUE(gif.open());
        SWEEP_WHEEL_OPTIONS opt;
        Set_sweep_wheel_options_default(&opt);
        ASSERT_EQ(0, PlotTwoSweeps(s.get(), s.get(), &opt));
        gif.Close();
        files.push_back(kombra_test::ReadBytes(gif.path()));
    }
    EXPECT_GT(files[0].size(), 2000u);
    EXPECT_TRUE(files[0] == files[1]);
}

TEST(TwoSweeps, FailuresReturnMinus501)
{
    SweepPtr s = MakeSweep(2, kElo, kEhi, [](int, int) { return 1.0f; });
    SWEEP_WHEEL_OPTIONS opt;
    Set_sweep_wheel_options_default(&opt);
    opt.pg_device = "/nosuchdevice";
    testing::internal::CaptureStdout();
    EXPECT_EQ(-501, PlotTwoSweeps(s.get(), nullptr, &opt));
    EXPECT_EQ("one of requested sweeps for plot is null; plot abandoned\n", testing::internal::GetCapturedStdout());
    testing::internal::CaptureStdout();
    EXPECT_EQ(-501, PlotTwoSweeps(s.get(), s.get(), &opt));
    EXPECT_NE(std::string::npos,
              testing::internal::GetCapturedStdout().find("Failed to open pgplot device successfully\n"));
    // PGPLOT keeps naming the device whose opening failed: the next plot
    // must still see that none is open.
    testing::internal::CaptureStdout();
    EXPECT_EQ(-501, PlotTwoSweeps(s.get(), s.get(), &opt));
    EXPECT_NE(std::string::npos,
              testing::internal::GetCapturedStdout().find("Failed to open pgplot device successfully\n"));

    // A primary without bins is refused before a device is opened, so no
    // empty picture file is left behind.
    HALDE_SWEEP_S empty{};
    kombra_test::TempDir dir;
    const std::string device = dir.file("empty.gif") + "/GIF";
    opt.pg_device = device.c_str();
    testing::internal::CaptureStdout();
    EXPECT_EQ(-501, PlotTwoSweeps(&empty, s.get(), &opt));
    EXPECT_EQ("primary sweep for plot has no bins; plot abandoned\n", testing::internal::GetCapturedStdout());
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.gif")));
}

}  // namespace
