// XY traces and their legend entries, drawn into GIF and PostScript files.
#include "PGSpectro.h"
#include "plot_files.h"

#include <cpgplot.h>

#include <vector>

namespace {

using plot_test::IndexColour;
using plot_test::PlotFile;
using plot_test::Rgb;

struct Trace {
    std::vector<float> x{1.0f, 5.0f, 9.0f};
    std::vector<float> y{5.0f, 5.0f, 5.0f};
    PGXYtrace t{};

    Trace()
    {
        PGXYtrace_set_defaults(&t);
        t.x = x.data();
        t.y = y.data();
        t.npts = 3;
        t.colour = QPGRED;
        t.line_width = 6;
        t.title = "Trace title";
        t.xlabel = "Energy axis";
        t.ylabel = "Value axis";
        t.legend_text = "Legend entry";
    }
};

TEST(XYTrace, LineAndLegendSampleInTheTraceColour)
{
    Trace tr;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgpage();
    ASSERT_EQ(PGSPECTRO_OK, PGXYtrace_plot(&tr.t));
    // The legend entry set the last viewport: its window is 0..1.
    const auto sample = plot_test::PixelOf(0.12f, 0.5f);
    const auto text_side = plot_test::PixelOf(0.12f, 0.2f);
    cpgsvp(0.1f, 0.55f, 0.1f, 0.9f);
    cpgswin(1.0f, 10.0f, 1.0f, 10.0f);
    const auto on_line = plot_test::PixelOf(5.0f, 5.0f);
    const auto off_line = plot_test::PixelOf(5.0f, 7.0f);
    const Rgb red = IndexColour(QPGRED), background = IndexColour(0);
    gif.Close();
    const QImage image = gif.Image();
    EXPECT_EQ(red, plot_test::PixelColour(image, on_line));
    EXPECT_EQ(background, plot_test::PixelColour(image, off_line));
    EXPECT_EQ(red, plot_test::PixelColour(image, sample));
    EXPECT_EQ(background, plot_test::PixelColour(image, text_side));
}

TEST(XYTrace, AttributesAreRestored)
{
    Trace tr;
    tr.t.YoNsymbol = YES;
    tr.t.linestyle = QPGDASHED;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgsci(7);
    cpgslw(3);
    cpgsls(4);
    cpgsch(0.8f);
    PGXYtrace_plot(&tr.t);
    int ci = 0, lw = 0, ls = 0;
    float ch = 0;
    cpgqci(&ci);
    cpgqlw(&lw);
    cpgqls(&ls);
    cpgqch(&ch);
    EXPECT_EQ(7, ci);
    EXPECT_EQ(3, lw);
    EXPECT_EQ(4, ls);
    EXPECT_FLOAT_EQ(0.8f, ch);
}

TEST(XYTrace, FrameTextsOnlyWithTheBox)
{
    for (const Yes_or_No box : {YES, NO}) {
        Trace tr;
        tr.t.YoNbox = box;
        tr.t.subtitle = "Trace subtitle";
        PlotFile ps("CPS");
        ASSERT_TRUE(ps.open());
        PGXYtrace_plot(&tr.t);
        ps.Close();
        const std::string texts = ps.Texts();
        EXPECT_NE(std::string::npos, texts.find("Legend entry"));
        for (const char *t : {"Trace title", "Trace subtitle", "Energy axis", "Value axis"})
            EXPECT_EQ(box == YES, texts.find(t) != std::string::npos) << t;
    }
}

TEST(XYTrace, TextOnlyEntryAndTimeAxisDates)
{
    Trace tr;
    tr.t.npts = 0;
    tr.t.legend_text = "Only a legend line";
    tr.t.timex = YES;
    tr.t.xlinlog = PGSPECTRO_LOG;
    tr.t.plot_domain.xworldmin = 7200;
    tr.t.plot_domain.xworldmax = 3600;
    tr.t.datestart = "2004-01-01";
    tr.t.dateend = "2004-01-02";
    tr.t.YoNYnumlab = NO;
    PlotFile ps("CPS");
    ASSERT_TRUE(ps.open());
    PGXYtrace_plot(&tr.t);
    ps.Close();
    const std::string texts = ps.Texts();
    EXPECT_NE(std::string::npos, texts.find("Only a legend line"));
    EXPECT_NE(std::string::npos, texts.find("2004-01-01"));
    EXPECT_NE(std::string::npos, texts.find("2004-01-02"));
    EXPECT_EQ(std::string::npos, texts.find("Value axis")) << "no y label without y numbers";
    EXPECT_NE(std::string::npos, texts.find("\\uh\\d")) << "a time axis stays linear: " << texts;
}

}  // namespace
