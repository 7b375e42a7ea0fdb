// The energy-angle-time stack: refusals before drawing, the level panels'
// colours, layout, texts, and the record left behind.
#include "Velora_plot.h"
#include "plot_files.h"
#include "sweeps.h"

#include <cpgplot.h>

namespace {

using plot_test::MakeSweep;
using plot_test::PlotFile;

// nswp sweeps of 4 seconds each from 10:20:30, 2 polar bins and 3 levels
// (mid values 15, 150, 1500); value 10 i + 3 j + l.
struct Stack {
    std::vector<SweepPtr> owned;
    std::vector<HALDE_SWEEP_S *> swps;
    PGSpectro spec{};
    NURV_TIME_S start{}, end{};

    explicit Stack(int nswp)
    {
        for (int i = 0; i < nswp; ++i) {
            owned.push_back(MakeSweep(2, {10, 100, 1000}, {20, 200, 2000},
                                      [i](int j, int l) { return static_cast<float>(10 * i + 3 * j + l); }));
            to_nurv_time(2001, 34, 10, 20, 30 + 4 * i, 0, &owned.back()->btime);
            to_nurv_time(2001, 34, 10, 20, 34 + 4 * i, 0, &owned.back()->etime);
            swps.push_back(owned.back().get());
        }
        PGSpectro_set_defaults(&spec);
        spec.zscalemin = 0;
        spec.zscalemax = 60;
        to_nurv_time(2001, 34, 10, 20, 30, 0, &start);
        to_nurv_time(2001, 34, 10, 20, 30 + 4 * nswp, 0, &end);
    }
    PGSpectro_ret Plot() { return Mirvek_plot(swps.data(), static_cast<int>(swps.size()), &spec, start, end); }
};

TEST(Stack, IncongruentSweepsAreRefusedBeforeDrawing)
{
    Stack st(3);
    st.owned[2]->psd_units = PSD_UNITS_CNTS_ACCUM;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgpage();
    testing::internal::CaptureStdout();
    EXPECT_EQ(PGSPECTRO_MIRVEK_INCONGRUENT, st.Plot());
    EXPECT_EQ("Mirvek_plot received incongruent sweeps at i=1 (test = -1),and failed\n",
              testing::internal::GetCapturedStdout());
    const auto background = plot_test::IndexColour(0);
    gif.Close();
    const QImage image = gif.Image();
    EXPECT_EQ(static_cast<long>(image.width()) * image.height(), plot_test::CountColour(image, background));
}

TEST(Stack, NoSweepsIsASizeError)
{
    Stack st(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(PGSPECTRO_SIZE_ERROR, Mirvek_plot(nullptr, 0, &st.spec, st.start, st.end));
    testing::internal::GetCapturedStdout();
}

TEST(Stack, TopPanelShowsTheTopLevelAndTheRecordIsLeftClean)
{
    Stack st(4);
    st.spec.char_size = -1;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    ASSERT_EQ(PGSPECTRO_OK, st.Plot());

    // Four equal panels: azimuth, levels 0, 1, 2; the last one stays set.
    EXPECT_FLOAT_EQ(0.1f + 3 * 0.2f, st.spec.domain.yndcmin);
    EXPECT_FLOAT_EQ(0.1f + 4 * 0.2f, st.spec.domain.yndcmax);
    EXPECT_FLOAT_EQ(0.49f, st.spec.char_size);
    EXPECT_EQ(nullptr, st.spec.z);
    EXPECT_EQ(nullptr, st.spec.xbinlow);
    EXPECT_STREQ(" ", st.spec.title);
    EXPECT_STREQ(" ", st.spec.datestart);
    EXPECT_STREQ(" ", st.spec.wedge.label);
    EXPECT_FLOAT_EQ(10 * 3600 + 20 * 60 + 30, st.spec.domain.xworldmin);

    // Cell of sweep i, polar bin j at level 2: value 10 i + 3 j + 2 on 0..60.
    std::vector<std::array<int, 2>> at;
    std::vector<plot_test::Rgb> want;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 2; ++j) {
            at.push_back(plot_test::PixelOf(st.spec.domain.xworldmin + 4.0f * static_cast<float>(i) + 2.0f,
                                            45.0f + 90.0f * static_cast<float>(j)));
            want.push_back(plot_test::IndexColour(16 + (239 * (10 * i + 3 * j + 2)) / 60));
        }
    gif.Close();
    const QImage image = gif.Image();
    for (std::size_t k = 0; k < at.size(); ++k)
        EXPECT_TRUE(plot_test::Near(want[k], plot_test::PixelColour(image, at[k]))) << "cell " << k;
}

// The azimuth panel draws each sweep's range rising with time; a range
// through 360 degrees runs up to the top and on from the foot, never back
// down across the panel.
TEST(Stack, AzimuthPanelFollowsTheTurn)
{
    struct Probe {
        float t, az;  // seconds into the sweep, degrees
        bool ink;
    };
    struct Case {
        const char *name;
        float lo, hi;
        std::vector<Probe> probes;
    };
    const float turn = 4.0f * 180.0f / 354.24f;  // where a whole spin from 180 passes 360
    for (const Case &c : {Case{"one sector", 10, 100, {{2, 55, true}, {2, 200, false}}},
                          Case{"a whole spin through 360", 180, 174.24f,
                               {{turn / 2, 270, true}, {(turn + 4) / 2, 87.12f, true}, {3, 176, false}}}}) {
        SCOPED_TRACE(c.name);
        Stack st(1);
        st.owned[0]->phi_lo = c.lo;
        st.owned[0]->phi_hi = c.hi;
        PlotFile gif("GIF");
        ASSERT_TRUE(gif.open());
        ASSERT_EQ(PGSPECTRO_OK, st.Plot());
        // The azimuth panel: the lowest of four.
        cpgsvp(st.spec.domain.xndcmin, st.spec.domain.xndcmax, 0.1f, 0.3f);
        cpgswin(st.spec.domain.xworldmin, st.spec.domain.xworldmax, 0, 360);
        std::vector<std::array<int, 2>> at;
        for (const Probe &p : c.probes)
            at.push_back(plot_test::PixelOf(st.spec.domain.xworldmin + p.t, p.az));
        const auto ink = plot_test::IndexColour(1);
        gif.Close();
        const QImage image = gif.Image();
        for (std::size_t k = 0; k < at.size(); ++k) {
            bool found = false;  // within a pixel of the probe
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -1; dy <= 1; ++dy)
                    found = found || plot_test::Near(ink, plot_test::PixelColour(image, {at[k][0] + dx, at[k][1] + dy}));
            EXPECT_EQ(c.probes[k].ink, found) << "probe " << k;
        }
    }
}

TEST(Stack, TextsOfTheStack)
{
    Stack st(2);
    PlotFile ps("CPS");
    ASSERT_TRUE(ps.open());
    ASSERT_EQ(PGSPECTRO_OK, st.Plot());
    ps.Close();
    const std::string texts = ps.Texts();
    for (const char *t : {"Flow Az", "UT", "2001-02-03", "CLUSTERII CLUSTER-2 HALDE 3DR CP3DRH", "     15",
                          "1.5e+02", "1.5e+03", "Flow   0", "180", "s**3/km**6", "eV"})
        EXPECT_NE(std::string::npos, texts.find(t)) << t << " in\n" << texts;
    EXPECT_EQ(texts.find("2001-02-03"), texts.rfind("2001-02-03")) << "one date for one day";
}

TEST(Stack, FillRefusesSizesTheFirstSweepLacks)
{
    Stack st(1);
    std::vector<float> z(2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(PGSPECTRO_SIZE_ERROR, Mirvek_fill_angle_t_array(z.data(), 1, 3, st.swps.data(), 0));
    EXPECT_EQ(PGSPECTRO_SIZE_ERROR, Mirvek_fill_angle_t_array(z.data(), 1, 2, st.swps.data(), 3));
    EXPECT_EQ("Mirvek_fill_angle_t_array: nang 3 != n_sen 2\n"
              "Mirvek_fill_angle_t_array: lev 3 out of range 0 - 3\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(PGSPECTRO_OK, Mirvek_fill_angle_t_array(z.data(), 1, 2, st.swps.data(), 2));
    EXPECT_EQ((std::vector<float>{2.0f, 5.0f}), z);
}

}  // namespace
