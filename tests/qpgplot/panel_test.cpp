// Spectrogram panels drawn into GIF and PostScript files: the colour of each
// cell against the value drawn there, gaps, labels and dates.
#include "PGSpectro.h"
#include "plot_files.h"

#include <cpgplot.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using plot_test::IndexColour;
using plot_test::PlotFile;
using plot_test::Rgb;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A panel of nx columns and ny rows of unit cells from (0, 0).
struct Grid {
    std::vector<float> z, xlo, xhi, ylo, yhi;
    PGSpectro spec{};

    Grid(std::vector<float> values, int nx, int ny) : z(std::move(values))
    {
        PGSpectro_set_defaults(&spec);
        for (int i = 0; i < nx; ++i) {
            xlo.push_back(static_cast<float>(i));
            xhi.push_back(static_cast<float>(i + 1));
        }
        for (int j = 0; j < ny; ++j) {
            ylo.push_back(static_cast<float>(j));
            yhi.push_back(static_cast<float>(j + 1));
        }
        spec.z = z.data();
        spec.xbinlow = xlo.data();
        spec.xbinhigh = xhi.data();
        spec.ybinlow = ylo.data();
        spec.ybinhigh = yhi.data();
        spec.nx = nx;
        spec.ny = ny;
        spec.domain.xworldmin = 0;
        spec.domain.xworldmax = static_cast<float>(nx);
        spec.domain.yworldmin = 0;
        spec.domain.yworldmax = static_cast<float>(ny);
    }
};

// Draws the grid into a GIF; for each cell (x-major), whether its centre
// shows the colour of the expected index.
std::vector<std::string> WrongCells(Grid &g, const std::vector<int> &expected_index)
{
    PlotFile gif("GIF");
    EXPECT_TRUE(gif.open());
    EXPECT_EQ(PGSPECTRO_OK, PGSpectro_Plot(&g.spec));
    std::vector<std::array<int, 2>> at;
    std::vector<Rgb> want;
    for (int i = 0; i < g.spec.nx; ++i)
        for (int j = 0; j < g.spec.ny; ++j) {
            at.push_back(plot_test::PixelOf(static_cast<float>(i) + 0.5f, static_cast<float>(j) + 0.5f));
            want.push_back(IndexColour(expected_index[at.size() - 1]));
        }
    gif.Close();
    const QImage image = gif.Image();
    std::vector<std::string> wrong;
    for (std::size_t k = 0; k < at.size(); ++k)
        if (!plot_test::Near(want[k], plot_test::PixelColour(image, at[k])))
            wrong.push_back("cell " + std::to_string(k) + " wants index " + std::to_string(expected_index[k]));
    return wrong;
}

struct CellCase {
    const char *name;
    std::vector<float> z;  // 3 columns of 2 cells
    float zscalemin, zscalemax;
    PGSpectro_linlog zlinlog;
    Yes_or_No skip_missing;
    std::vector<int> index;
};

void PrintTo(const CellCase &c, std::ostream *os) { *os << c.name; }

class CellColours : public testing::TestWithParam<CellCase> {};

TEST_P(CellColours, EachCellShowsTheColourOfItsValue)
{
    const CellCase &c = GetParam();
    Grid g(c.z, 3, 2);
    g.spec.zscalemin = c.zscalemin;
    g.spec.zscalemax = c.zscalemax;
    g.spec.zlinlog = c.zlinlog;
    g.spec.skip_missing = c.skip_missing;
    g.spec.zmissing = -1e31f;
    const auto wrong = WrongCells(g, c.index);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first: " << (wrong.empty() ? "" : wrong[0]);
}

// 240 colours from index 16: value v of the scale a..b takes
// 16 + trunc(239 (v - a) / (b - a)) after clamping.
INSTANTIATE_TEST_SUITE_P(
    Spectrogram, CellColours,
    testing::Values(
        CellCase{"linear", {0.5f, 10.0f, 5.5f, -1e31f, kNaN, 20.0f}, 1, 10, PGSPECTRO_LIN, YES,
                 {16, 255, 135, 0, 0, 255}},
        CellCase{"reversed_scale_ends", {0.5f, 10.0f, 5.5f, -1e31f, kNaN, 20.0f}, 10, 1, PGSPECTRO_LIN, YES,
                 {16, 255, 135, 0, 0, 255}},
        CellCase{"missing_not_recognised", {0.5f, 10.0f, 5.5f, -1e31f, kNaN, 20.0f}, 1, 10, PGSPECTRO_LIN, NO,
                 {16, 255, 135, 16, 0, 255}},
        CellCase{"logarithmic", {0.0f, 10.0f, 1000.0f, -5.0f, -1e31f, 100.0f}, 1, 1000, PGSPECTRO_LOG, YES,
                 {16, 95, 255, 16, 0, 175}},
        // (n - 1) (v - zmin) / zrange falls just short of n - 1 for the top
        // of log 2 .. log 40 in floats: the top value still takes the last.
        CellCase{"top_of_a_logarithmic_scale", {2.0f, 40.0f, 40.0f, 2.0f, 1.0f, 100.0f}, 2, 40, PGSPECTRO_LOG, YES,
                 {16, 255, 255, 16, 16, 255}},
        // Equal ends are widened by one unit either way (a decade on a
        // logarithmic scale): 5..5 draws as 4..6, and 0..1e-36 (both
        // logarithms -33) as logarithms -34..-32.
        CellCase{"equal_scale_ends", {0.5f, 5.0f, 7.0f, -1e31f, kNaN, 5.0f}, 5, 5, PGSPECTRO_LIN, YES,
                 {16, 135, 255, 0, 0, 135}},
        CellCase{"equal_logarithmic_ends", {0.0f, 0.0f, 1.0f, -1e31f, 0.0f, 0.0f}, 0, 1e-36f, PGSPECTRO_LOG,
                 YES, {135, 135, 255, 0, 135, 135}}),
    [](const testing::TestParamInfo<CellCase> &info) { return std::string(info.param.name); });

TEST(Spectrogram, OneColourDevicePaintsEveryValueInTheFirstColour)
{
    Grid g({0.5f, 10.0f, 5.5f, -1e31f, kNaN, 20.0f}, 3, 2);
    g.spec.skip_missing = YES;
    PlotFile gif("GIF");
    ASSERT_TRUE(gif.open());
    cpgscir(16, 16);
    ASSERT_EQ(PGSPECTRO_OK, PGSpectro_Plot(&g.spec));
    const auto value_cell = plot_test::PixelOf(2.5f, 1.5f);
    const auto missing_cell = plot_test::PixelOf(1.5f, 1.5f);
    const Rgb first = IndexColour(16), background = IndexColour(0);
    gif.Close();
    const QImage image = gif.Image();
    EXPECT_EQ(first, plot_test::PixelColour(image, value_cell));
    EXPECT_EQ(background, plot_test::PixelColour(image, missing_cell));
}

TEST(Spectrogram, GapIsFilledOnlyWhenNarrowerThanTheGapSize)
{
    for (const float gapsize : {0.5f, 0.6f}) {
        Grid g({5.0f, 5.0f}, 2, 1);
        g.xlo = {0.0f, 1.5f};
        g.xhi = {1.0f, 2.5f};
        g.spec.xbinlow = g.xlo.data();
        g.spec.xbinhigh = g.xhi.data();
        g.spec.domain.xworldmax = 2.5f;
        g.spec.xgapfill = YES;
        g.spec.xgapsize = gapsize;
        PlotFile gif("GIF");
        ASSERT_TRUE(gif.open());
        ASSERT_EQ(PGSPECTRO_OK, PGSpectro_Plot(&g.spec));
        const auto in_gap = plot_test::PixelOf(1.25f, 0.5f);
        const Rgb cell = IndexColour(16 + 106);
        gif.Close();
        const bool filled = plot_test::Near(cell, plot_test::PixelColour(gif.Image(), in_gap));
        EXPECT_EQ(gapsize > 0.5f, filled) << "gap size " << gapsize;
    }
}

TEST(Spectrogram, NothingIsDrawnWithoutADevice)
{
    Grid g({1.0f}, 1, 1);
    int id = -1;
    cpgqid(&id);
    ASSERT_EQ(0, id);
    EXPECT_EQ(PGSPECTRO_NO_DEVICE, PGSpectro_Plot(&g.spec));
}

TEST(Spectrogram, LabelsTitleAndTimeAxisDates)
{
    for (const bool same_day : {true, false}) {
        Grid g({1.0f, 2.0f}, 2, 1);
        g.spec.xlabel = "UT seconds";
        g.spec.ylabel = "Polar angle";
        g.spec.title = "Panel title";
        g.spec.subtitle = "Panel subtitle";
        g.spec.wedge.label = "Wedge label";
        g.spec.timex = YES;
        g.spec.xlinlog = PGSPECTRO_LOG;
        g.spec.domain.xworldmin = 3600;
        g.spec.domain.xworldmax = 7200;
        g.xlo = {3600, 5400};
        g.xhi = {5400, 7200};
        g.spec.datestart = "2001-02-03";
        g.spec.dateend = same_day ? "2001-02-03" : "2001-02-04";
        PlotFile ps("CPS");
        ASSERT_TRUE(ps.open());
        ASSERT_EQ(PGSPECTRO_OK, PGSpectro_Plot(&g.spec));
        ps.Close();
        const std::string texts = ps.Texts();
        for (const char *t : {"UT seconds", "Polar angle", "Panel title", "Panel subtitle", "Wedge label", "2001-02-03"})
            EXPECT_NE(std::string::npos, texts.find(t)) << t;
        EXPECT_EQ(!same_day, texts.find("2001-02-04") != std::string::npos);
        // A time axis stays linear: hours and minutes, not powers of ten.
        EXPECT_NE(std::string::npos, texts.find("\\uh\\d")) << texts;
    }
}

}  // namespace
