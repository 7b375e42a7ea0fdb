// Polar wheels drawn into GIF and PostScript files: sectors in the right
// place and colour, radius scales, titles, and the caller's arrays untouched.
#include "PGSpectro.h"
#include "plot_files.h"

#include <cpgplot.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using plot_test::IndexColour;
using plot_test::PlotFile;
using plot_test::Rgb;

struct WheelBins {
    std::vector<float> z, rlo, rhi, thlo, thhi;
    PGWheel wheel{};

    WheelBins(std::vector<float> values, std::vector<float> r_low, std::vector<float> r_high,
              std::vector<float> th_low, std::vector<float> th_high)
        : z(std::move(values)), rlo(std::move(r_low)), rhi(std::move(r_high)), thlo(std::move(th_low)),
          thhi(std::move(th_high))
    {
        PGWheel_set_defaults(&wheel);
        wheel.z = z.data();
        wheel.rbinlow = rlo.data();
        wheel.rbinhigh = rhi.data();
        wheel.thbinlow = thlo.data();
        wheel.thbinhigh = thhi.data();
        wheel.nr = static_cast<int>(rlo.size());
        wheel.nth = static_cast<int>(thlo.size());
        wheel.ncircles = 0;
        wheel.rcircles = nullptr;
        wheel.skip_missing = YES;
    }
};

struct Probe {
    float r, deg;
    int index;
};

// Draws the wheel into a GIF and lists the probes (plotted radius, angle)
// whose pixel lacks the expected colour index.
std::vector<std::string> WrongProbes(WheelBins &w, const std::vector<Probe> &probes)
{
    PlotFile gif("GIF");
    EXPECT_TRUE(gif.open());
    EXPECT_EQ(PGSPECTRO_OK, PGWheel_Plot(&w.wheel));
    std::vector<std::array<int, 2>> at;
    std::vector<Rgb> want;
    for (const Probe &p : probes) {
        const double a = p.deg * std::numbers::pi / 180.0;
        at.push_back(plot_test::PixelOf(p.r * static_cast<float>(std::cos(a)), p.r * static_cast<float>(std::sin(a))));
        want.push_back(IndexColour(p.index));
    }
    gif.Close();
    const QImage image = gif.Image();
    std::vector<std::string> wrong;
    for (std::size_t k = 0; k < probes.size(); ++k) {
        const Rgb got = plot_test::PixelColour(image, at[k]);
        if (!plot_test::Near(want[k], got))
            wrong.push_back("r " + std::to_string(probes[k].r) + " at " + std::to_string(probes[k].deg) +
                            " deg wants index " + std::to_string(probes[k].index));
    }
    return wrong;
}

TEST(Wheel, SectorsLieInTheirQuadrantsAndTheCallersEdgesStay)
{
    // Radial bins -2..4 and 4..8; angular bins in the first and third
    // quadrants; linear radius 0..10, scale 1..10.
    WheelBins w({1.0f, 10.0f, -1e31f, 5.5f}, {-2.0f, 4.0f}, {4.0f, 8.0f}, {0.0f, 180.0f}, {90.0f, 270.0f});
    const auto wrong = WrongProbes(w, {{2, 45, 16},
                                       {0.5f, 45, 16},  // the negative inner edge is drawn from the centre
                                       {2, 225, 255},
                                       {6, 225, 135},
                                       {6, 45, 0},      // missing
                                       {6, 135, 0},     // no bin there
                                       {9, 225, 0}});   // beyond the outer edge
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first: " << (wrong.empty() ? "" : wrong[0]);
    EXPECT_EQ((std::vector<float>{-2.0f, 4.0f}), w.rlo) << "the caller's inner edges are not clamped";
    EXPECT_EQ(-2.0f, w.wheel.rbinlow[0]);
}

TEST(Wheel, LogarithmicRadiusMeasuresFromRmin)
{
    // rmin 10 and rmax 10000: R is 3 and the bin 100..1000 is painted
    // between plotted radii 1 and 2.
    WheelBins w({5.5f}, {100.0f}, {1000.0f}, {0.0f}, {90.0f});
    w.wheel.rlinlog = PGSPECTRO_LOG;
    w.wheel.domain.rmin = 10;
    w.wheel.domain.rmax = 10000;
    const auto wrong = WrongProbes(w, {{1.5f, 45, 135}, {0.7f, 45, 0}, {2.4f, 45, 0}, {2.9f, 45, 0}});
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first: " << (wrong.empty() ? "" : wrong[0]);
    EXPECT_EQ(100.0f, w.rlo[0]);
}

TEST(Wheel, BinsStayWithinTheRim)
{
    // A bin reaching past rmax is painted up to the rim only, one beyond it
    // not at all: the corners of the box stay empty on either radius scale.
    struct Case {
        PGSpectro_linlog rlinlog;
        float rmin, rmax;
        std::vector<float> lo, hi;
        std::vector<Probe> probes;  // plotted radius (R is 10, or 2 for the logarithm), angle, index
    };
    for (const Case &c : {Case{PGSPECTRO_LIN, 1, 10, {4, 12}, {11, 30}, {{9, 45, 135}, {10.6f, 45, 0}, {13, 225, 0}}},
                          Case{PGSPECTRO_LOG, 10, 1000, {100, 2000}, {1500, 5000},
                               {{1.8f, 45, 135}, {2.1f, 45, 0}, {2.5f, 225, 0}}}}) {
        WheelBins w(std::vector<float>(4, 5.5f), c.lo, c.hi, {0.0f, 180.0f}, {90.0f, 270.0f});
        w.wheel.rlinlog = c.rlinlog;
        w.wheel.domain.rmin = c.rmin;
        w.wheel.domain.rmax = c.rmax;
        const auto wrong = WrongProbes(w, c.probes);
        EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first: " << (wrong.empty() ? "" : wrong[0]);
    }
}

TEST(Wheel, AngularBinsAreTakenAsGiven)
{
    // The first bin straddles the +x axis (where the centre axis line runs).
    WheelBins w({10.0f, 1.0f}, {0.0f}, {8.0f}, {350.0f, 30.0f}, {370.0f, 60.0f});
    w.wheel.nr = 1;
    w.z = {10.0f, 1.0f};
    const auto wrong = WrongProbes(w, {{5, 356, 255}, {5, 4, 255}, {5, 9, 255}, {5, 45, 16}, {5, 20, 0}});
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first: " << (wrong.empty() ? "" : wrong[0]);
}

TEST(Wheel, TitlesLabelsAndScalesAreWritten)
{
    for (const PGSpectro_linlog rlinlog : {PGSPECTRO_LIN, PGSPECTRO_LOG}) {
        WheelBins w({5.0f}, {10.0f}, {100.0f}, {0.0f}, {90.0f});
        std::vector<float> circles = {5.0f, 20.0f, 50.0f};
        w.wheel.rcircles = circles.data();
        w.wheel.ncircles = 3;
        w.wheel.rlinlog = rlinlog;
        w.wheel.domain.rmin = 10;
        w.wheel.domain.rmax = 1000;
        w.wheel.xlabel = "Energy (eV)";
        w.wheel.ylabel = "Energy (eV) left";
        w.wheel.supsuptitle = "Line one";
        w.wheel.suptitle = "Line two";
        w.wheel.title = "Line three";
        w.wheel.subtitle = "Line four";
        w.wheel.subsubtitle = "Line five";
        w.wheel.wedge.label = "Wedge units";
        PlotFile ps("CPS");
        ASSERT_TRUE(ps.open());
        ASSERT_EQ(PGSPECTRO_OK, PGWheel_Plot(&w.wheel));
        ps.Close();
        const std::string texts = ps.Texts();
        for (const char *t : {"Energy (eV)", "Energy (eV) left", "Line one", "Line two", "Line three", "Line four",
                              "Line five", "Wedge units"})
            EXPECT_NE(std::string::npos, texts.find(t)) << t;
        if (rlinlog == PGSPECTRO_LOG)
            EXPECT_NE(std::string::npos, texts.find("\n100\n")) << "logarithmic radius numbers: " << texts;
        else
            EXPECT_NE(std::string::npos, texts.find("\n500\n")) << "linear radius numbers: " << texts;
    }
}

TEST(Wheel, NothingIsDrawnWithoutADevice)
{
    WheelBins w({5.0f}, {1.0f}, {2.0f}, {0.0f}, {90.0f});
    EXPECT_EQ(PGSPECTRO_NO_DEVICE, PGWheel_Plot(&w.wheel));
}

}  // namespace
