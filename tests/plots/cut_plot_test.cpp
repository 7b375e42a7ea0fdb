// Sweep cut plots: refusals, ranges written back, the two panels and the
// legend texts, and the caller's sweeps unchanged.
#include "Velora_plot.h"
#include "plot_files.h"
#include "sweeps.h"

#include <cpgplot.h>

namespace {

using plot_test::MakeSweep;
using plot_test::PlotFile;

// Six polar bins of 30 degrees; levels centred 5 .. 20000 eV.
struct Cuts {
    std::vector<SweepPtr> owned;
    std::vector<HALDE_SWEEP_S *> swps;
    std::vector<QPGLine_colour> colours{QPGRED, QPGBLUE, QPGGREEN};
    std::vector<QPGLinestyle> styles{QPGSOLID, QPGDASHED, QPGDOT};
    std::vector<float> widths{2.0f, 1.0f, 1.0f};
    SWEEP_CUT_OPTIONS opt{};

    explicit Cuts(int n)
    {
        for (int k = 0; k < n; ++k) {
            owned.push_back(MakeSweep(6, {4, 90, 15000}, {6, 110, 25000},
                                      [k](int s, int l) { return s == 0 ? 0.0f : static_cast<float>((k + 1) * (s + 1) * (l + 1)); }));
            swps.push_back(owned.back().get());
        }
        Set_Sweep_cut_options_default(&opt);
        opt.nswps = n;
        opt.colours = colours.data();
        opt.linestyles = styles.data();
        opt.linethicknesses = widths.data();
    }
};

TEST(CutPlot, RefusalsComeBeforeAnyDrawing)
{
    Cuts c(3);
    std::vector<float> thetas{30, 60, 90};
    c.opt.nswps = 2;
    testing::internal::CaptureStdout();
    EXPECT_EQ(PGSPECTRO_TRACE_ERROR, Sweep_n_cuts_plot(c.swps.data(), 3, thetas.data(), &c.opt));
    EXPECT_EQ(PGSPECTRO_TRACE_ERROR, Sweep_n_cuts_plot(c.swps.data(), 0, thetas.data(), &c.opt));
    c.opt.nswps = 3;
    c.owned[2]->bin_units = BIN_UNITS_KM_S;
    EXPECT_EQ(PGSPECTRO_TRACE_ERROR, Sweep_n_cuts_plot(c.swps.data(), 3, thetas.data(), &c.opt));
    c.opt.ncuts = 2;
    EXPECT_EQ(PGSPECTRO_TRACE_ERROR, Sweep_cuts_plot(c.swps.data(), 3, thetas.data(), 1, &c.opt));
    EXPECT_EQ("Sweep_cuts_plot: nswps differs from that in scutop\n"
              "Sweep_cuts_plot: zero sweeps requested!\n"
              "Sweep_cuts_plot: bin or psd units for sweep 0 and 2 differ\n"
              "Sweep_cuts_plot: nswps or ncuts differ from those in scutop\n",
              testing::internal::GetCapturedStdout());
    char state[16] = {};
    int len = sizeof state;
    cpgqinf("STATE", state, &len);
    EXPECT_STREQ("CLOSED", state) << "no device was opened";
}

TEST(CutPlot, OneSweepAtThirtyDegrees)
{
    Cuts c(1);
    SweepPtr before(create_sweep_full_copy(c.swps[0]));
    float theta = 30;
    PlotFile ps("CPS");
    ASSERT_TRUE(ps.open());
    ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(c.swps.data(), 1, &theta, &c.opt));
    plot_test::ExpectSameSweep(*before, *c.swps[0]);
    // Energy from the level centres; the value range from both cuts (the
    // bin 0..30 degrees holds zeros, which never take part: the 150-degree
    // cut's 5, 10, 15 decide).
    EXPECT_FLOAT_EQ(5.0f, c.opt.xmin);
    EXPECT_FLOAT_EQ(20000.0f, c.opt.xmax);
    EXPECT_FLOAT_EQ(5.0f, c.opt.ymin);
    EXPECT_FLOAT_EQ(15.0f, c.opt.ymax);
    ps.Close();
    const std::string texts = ps.Texts();
    for (const char *t : {"Cuts of HALDE Sweep Data", "eV (Flow Dir)", "CLUSTER-2", "HALDE", "3DR", "CP3DRH",
                          "2001-02-03 10:20:30.250", "-> 2001-02-03 10:20:34.000", "s**3/km**6"})
        EXPECT_NE(std::string::npos, texts.find(t)) << t << " in\n" << texts;
}

TEST(CutPlot, PanelsAndLegendInTheirPlaces)
{
    Cuts c(2);
    std::vector<float> thetas{45, 45};
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgpage();
    ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(c.swps.data(), 2, thetas.data(), &c.opt));
    const auto red = plot_test::IndexColour(QPGRED), blue = plot_test::IndexColour(QPGBLUE);
    gif.Close();
    const QImage image = gif.Image();
    // Default extent: left panel NDC x 0.1..0.35, right 0.35..0.6, legend
    // 0.65..0.9; each sweep's curves in its colour on both panels.
    auto count_in = [&](float x1, float x2, const plot_test::Rgb &c) {
        const QImage part = image.copy(static_cast<int>(x1 * 849), 0, static_cast<int>((x2 - x1) * 849), 680);
        return plot_test::CountColour(part, c);
    };
    EXPECT_GT(count_in(0.1f, 0.35f, red), 20);
    EXPECT_GT(count_in(0.36f, 0.6f, red), 20);
    EXPECT_GT(count_in(0.36f, 0.6f, blue), 20);
    EXPECT_GT(count_in(0.65f, 0.9f, blue), 5) << "legend samples";
    EXPECT_EQ(0, count_in(0.61f, 0.64f, red)) << "nothing between panels and legend";
}

TEST(CutPlot, OlderVariantCutsEverySweepAtEveryAngle)
{
    Cuts c(2);
    c.opt.ncuts = 2;
    std::vector<float> thetas{30, 90};
    PlotFile ps("CPS");
    ASSERT_TRUE(ps.open());
    ASSERT_EQ(PGSPECTRO_OK, Sweep_cuts_plot(c.swps.data(), 2, thetas.data(), 2, &c.opt));
    EXPECT_FLOAT_EQ(5.0f, c.opt.xmin);
    EXPECT_FLOAT_EQ(20000.0f, c.opt.xmax);
    EXPECT_FLOAT_EQ(2.0f * 5 * 3, c.opt.ymax) << "second sweep, bin 120..150, top level";
    ps.Close();
    const std::string texts = ps.Texts();
    EXPECT_NE(std::string::npos, texts.find("  30")) << texts;
    EXPECT_NE(std::string::npos, texts.find("  90"));
    EXPECT_EQ(std::string::npos, texts.find("->")) << "no end-time line";
}

TEST(CutPlot, OpensItsDeviceWhenNoneIsOpen)
{
    Cuts c(1);
    float theta = 60;
    kombra_test::TempDir dir;
    const std::string file = dir.file("cuts.gif");
    const std::string device = file + "/GIF";
    c.opt.pg_device = device.c_str();
    kombra_test::ScopedEnv fonts("PGPLOT_DIR", std::string("/usr/lib/pgplot5"));
    ASSERT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(c.swps.data(), 1, &theta, &c.opt));
    int id = 0;
    cpgqid(&id);
    ASSERT_NE(0, id);
    cpgclos();
    EXPECT_GT(std::filesystem::file_size(file), 2000u);
}

}  // namespace
