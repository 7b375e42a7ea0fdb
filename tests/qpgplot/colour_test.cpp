// Colour tables and the wedge, read back from the device and from the GIF.
#include "PGSpectro.h"
#include "plot_files.h"

#include <cpgplot.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using plot_test::IndexColour;
using plot_test::PlotFile;
using plot_test::Rgb;

// Lightness of the HLS model, 0..1.
double Lightness(const Rgb &c)
{
    return (std::max({c[0], c[1], c[2]}) + std::min({c[0], c[1], c[2]})) / 510.0;
}

TEST(ColourTables, RampFillsTheDeviceRange)
{
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    EXPECT_EQ(240, set_pgp_rainbow(PGSPECTRO_RAINBOW));
    int lo = 0, hi = 0;
    cpgqcir(&lo, &hi);
    EXPECT_EQ(16, lo);
    EXPECT_EQ(255, hi);
    // Hue 420 (60 past blue) is magenta; hue 110 lies just short of red.
    EXPECT_EQ((Rgb{255, 0, 255}), IndexColour(16));
    const Rgb top = IndexColour(255);
    EXPECT_EQ(255, top[0]);
    EXPECT_EQ(0, top[1]);
    EXPECT_LT(top[2], 50);
}

TEST(ColourTables, EveryTableHasItsEnds)
{
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    set_pgp_rainbow(PGSPECTRO_GRAY_WHITE_LOW);
    EXPECT_EQ((Rgb{255, 255, 255}), IndexColour(16));
    EXPECT_EQ((Rgb{0, 0, 0}), IndexColour(255));
    set_pgp_rainbow(PGSPECTRO_GRAY_WHITE_HIGH);
    EXPECT_EQ((Rgb{0, 0, 0}), IndexColour(16));
    EXPECT_EQ((Rgb{255, 255, 255}), IndexColour(255));
    set_pgp_rainbow(PGSPECTRO_EARTH);
    EXPECT_EQ((Rgb{0, 0, 0}), IndexColour(255)) << "lightness 0 at the top";
    EXPECT_NEAR(0.9, Lightness(IndexColour(16)), 0.01);
    set_pgp_rainbow(static_cast<PGSpectro_col>(42));
    EXPECT_EQ((Rgb{255, 0, 255}), IndexColour(16)) << "unknown tables give the rainbow";
}

TEST(ColourTables, RedBlueTablesSplitAtTheMiddleIndex)
{
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    ASSERT_EQ(240, set_pgp_rainbow(PGSPECTRO_INV_RED_BLUE));
    // First 120 indices bluish, light 0.9 falling; then reddish from 0.2 up.
    EXPECT_NEAR(0.9, Lightness(IndexColour(16)), 0.01);
    EXPECT_NEAR(0.9 - 119 * 1.4 / 240, Lightness(IndexColour(135)), 0.01);
    EXPECT_NEAR(0.2, Lightness(IndexColour(136)), 0.01);
    EXPECT_GT(IndexColour(135)[2], IndexColour(135)[0]);
    EXPECT_GT(IndexColour(136)[0], IndexColour(136)[2]);
    ASSERT_EQ(240, set_pgp_rainbow(PGSPECTRO_RED_BLUE));
    EXPECT_NEAR(0.25, Lightness(IndexColour(16)), 0.01);
    EXPECT_NEAR(0.9, Lightness(IndexColour(136)), 0.01);
}

TEST(ColourTables, SingleIndexDeviceGetsTheStartColour)
{
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgscir(16, 16);
    EXPECT_EQ(1, set_pgp_rainbow(PGSPECTRO_GRAY_WHITE_LOW));
    EXPECT_EQ((Rgb{255, 255, 255}), IndexColour(16));
}

TEST(Wedge, ColoursRiseFromBottomToTopAndStateIsRestored)
{
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgpage();
    set_pgp_rainbow(PGSPECTRO_GRAY_WHITE_HIGH);
    cpgsvp(0.1f, 0.6f, 0.2f, 0.8f);
    cpgswin(-3.0f, 7.0f, 100.0f, 200.0f);
    cpgsci(5);
    PGSpectro_wedge wedge{1.5f, 4.0f, "Wedge units"};
    spectro_wedge(wedge, 0.0f, 1.0f, PGSPECTRO_LIN);

    float vx1, vx2, vy1, vy2, wx1, wx2, wy1, wy2;
    cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
    cpgqwin(&wx1, &wx2, &wy1, &wy2);
    int ci = 0;
    cpgqci(&ci);
    EXPECT_FLOAT_EQ(0.6f, vx2);
    EXPECT_FLOAT_EQ(0.2f, vy1);
    EXPECT_FLOAT_EQ(-3.0f, wx1);
    EXPECT_FLOAT_EQ(200.0f, wy2);
    EXPECT_EQ(5, ci);

    // The wedge's middle column, sampled up its height: colour i is centred
    // on the scale value i / 239, so the colours rise from dark to light.
    float xch = 0, ych = 0;
    cpgqcs(0, &xch, &ych);
    cpgsvp(0.6f + 1.5f * xch, 0.6f + 5.5f * xch, 0.2f, 0.8f);
    cpgswin(0.0f, 1.0f, 0.0f, 1.0f);
    const float fractions[] = {0.02f, 0.25f, 0.5f, 0.75f, 0.98f};
    std::vector<std::array<int, 2>> at;
    std::vector<Rgb> expected;
    for (float f : fractions) {
        at.push_back(plot_test::PixelOf(0.5f, f));
        expected.push_back(IndexColour(16 + static_cast<int>(std::lround(f * 239))));
    }
    gif.Close();
    const QImage image = gif.Image();
    ASSERT_EQ(850, image.width());
    ASSERT_EQ(680, image.height());
    for (std::size_t k = 0; k < at.size(); ++k) {
        const Rgb got = plot_test::PixelColour(image, at[k]);
        EXPECT_NEAR(expected[k][0], got[0], 3) << "at fraction " << fractions[k];
    }
}

// Equal ends: PGPLOT refuses a window without width, so the wedge is drawn
// a unit (a decade on a logarithmic scale) either way about the value.
TEST(Wedge, EqualEndsShowTheirValue)
{
    PlotFile ps("CPS");
    ASSERT_TRUE(ps.open());
    cpgpage();
    cpgsvp(0.1f, 0.6f, 0.2f, 0.8f);
    PGSpectro_wedge wedge{1.5f, 1.5f, "one value"};
    testing::internal::CaptureStderr();
    spectro_wedge(wedge, 2.0f, 2.0f, PGSPECTRO_LOG);
    cpgpage();
    spectro_wedge(wedge, 7.0f, 7.0f, PGSPECTRO_LIN);
    EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "no PGPLOT complaint";
    ps.Close();
    const std::string texts = "\n" + ps.Texts();
    for (const char *t : {"\n10\n", "\n100\n", "\n1000\n", "\n6\n", "\n7\n", "\n8\n"})
        EXPECT_NE(std::string::npos, texts.find(t)) << t << " in " << texts;
}

TEST(Wedge, LogarithmicScaleIsLabelledAndUnknownScalingSaysSo)
{
    PlotFile ps("CPS");
    ASSERT_TRUE(ps.open());
    cpgpage();
    cpgsvp(0.1f, 0.6f, 0.2f, 0.8f);
    PGSpectro_wedge wedge{1.5f, 1.5f, "counts per bin"};
    spectro_wedge(wedge, 0.0f, 3.0f, PGSPECTRO_LOG);
    testing::internal::CaptureStdout();
    spectro_wedge(wedge, 0.0f, 3.0f, static_cast<PGSpectro_linlog>(7));
    EXPECT_EQ("Unknown PGSpectro_linlog in spectro_wedge\n", testing::internal::GetCapturedStdout());
    ps.Close();
    const std::string texts = ps.Texts();
    EXPECT_NE(std::string::npos, texts.find("counts per bin"));
    EXPECT_NE(std::string::npos, texts.find("\n1000\n")) << "powers of ten on the scale: " << texts;
}

}  // namespace
