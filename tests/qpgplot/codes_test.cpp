// Codes of the drawing layer's records that lie outside their lists, as a
// settings file or a caller's arithmetic can leave them: a colour table
// outside 1..5 draws the rainbow, a scaling other than PGSPECTRO_LOG draws
// linear, a flag other than YES is off.  Each case draws the record with the
// odd codes and with the codes they fall back to, and the two pictures must
// be the same (the identification line at the foot of the page aside).
#include "PGSpectro.h"
#include "plot_files.h"

#include <cpgplot.h>

#include <functional>
#include <vector>

namespace {

using plot_test::PlotFile;

// One picture of each kind of record, its codes set by the case.
struct Pictures {
    std::vector<float> z{1.0f, 5.0f, 20.0f, 50.0f, 100.0f, 7.0f};
    std::vector<float> xlo{1, 2, 3}, xhi{2, 3, 4}, ylo{1, 5}, yhi{5, 9};
    std::vector<float> rlo{10, 100}, rhi{100, 1000}, thlo{0, 120, 240}, thhi{120, 240, 360};
    std::vector<float> tx{1, 10, 100}, ty{2, 20, 5};
    PGSpectro spec{};
    PGWheel wheel{};
    PGXYtrace trace{};

    Pictures()
    {
        PGSpectro_set_defaults(&spec);
        spec.z = z.data();
        spec.xbinlow = xlo.data();
        spec.xbinhigh = xhi.data();
        spec.ybinlow = ylo.data();
        spec.ybinhigh = yhi.data();
        spec.nx = 3;
        spec.ny = 2;
        spec.domain = {1, 4, 1, 9, 0.1f, 0.85f, 0.1f, 0.9f};
        spec.zscalemin = 1;
        spec.zscalemax = 100;
        PGWheel_set_defaults(&wheel);
        wheel.z = z.data();
        wheel.rbinlow = rlo.data();
        wheel.rbinhigh = rhi.data();
        wheel.thbinlow = thlo.data();
        wheel.thbinhigh = thhi.data();
        wheel.nr = 2;
        wheel.nth = 3;
        wheel.domain.rmin = 10;
        wheel.domain.rmax = 1000;
        wheel.zscalemin = 1;
        wheel.zscalemax = 100;
        PGXYtrace_set_defaults(&trace);
        trace.x = tx.data();
        trace.y = ty.data();
        trace.npts = 3;
        trace.plot_domain.xworldmin = 1;
        trace.plot_domain.xworldmax = 100;
        trace.plot_domain.yworldmin = 1;
        trace.plot_domain.yworldmax = 20;
    }
};

enum class Kind { Spectrogram, Wheel, Trace };

struct CodeCase {
    const char *name;
    Kind kind;
    std::function<void(Pictures &)> odd;       // codes outside their lists
    std::function<void(Pictures &)> fallback;  // the codes they stand for
};

void PrintTo(const CodeCase &c, std::ostream *os) { *os << c.name; }

// The picture of one record and what was printed while drawing it.
struct Drawn {
    QImage image;
    std::string printed;
};

Drawn Draw(const CodeCase &c, const std::function<void(Pictures &)> &codes)
{
    Pictures p;
    codes(p);
    PlotFile gif("GIF");
    EXPECT_TRUE(gif.open());
    cpgpage();
    testing::internal::CaptureStdout();
    switch (c.kind) {
    case Kind::Spectrogram:
        EXPECT_EQ(PGSPECTRO_OK, PGSpectro_Plot(&p.spec));
        break;
    case Kind::Wheel:
        EXPECT_EQ(PGSPECTRO_OK, PGWheel_Plot(&p.wheel));
        break;
    case Kind::Trace:
        EXPECT_EQ(PGSPECTRO_OK, PGXYtrace_plot(&p.trace));
        break;
    }
    Drawn d;
    d.printed = testing::internal::GetCapturedStdout();
    gif.Close();
    const QImage image = gif.Image();
    d.image = image.copy(0, 0, image.width(), image.height() * 95 / 100);
    return d;
}

class OutOfRangeCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(OutOfRangeCodes, DrawLikeTheirFallback)
{
    const CodeCase &c = GetParam();
    const Drawn odd = Draw(c, c.odd);
    const Drawn fallback = Draw(c, c.fallback);
    EXPECT_EQ(fallback.printed, odd.printed);
    EXPECT_TRUE(odd.image == fallback.image);
}

template <typename E>
E Code(int v)
{
    return static_cast<E>(v);
}

INSTANTIATE_TEST_SUITE_P(
    DrawingLayer, OutOfRangeCodes,
    testing::Values(
        CodeCase{"spectrogram_colour_table_minus_1", Kind::Spectrogram,
                 [](Pictures &p) { p.spec.color_table = Code<PGSpectro_col>(-1); },
                 [](Pictures &p) { p.spec.color_table = PGSPECTRO_RAINBOW; }},
        CodeCase{"spectrogram_colour_table_8", Kind::Spectrogram,
                 [](Pictures &p) { p.spec.color_table = Code<PGSpectro_col>(8); },
                 [](Pictures &p) { p.spec.color_table = PGSPECTRO_RAINBOW; }},
        CodeCase{"spectrogram_scalings_2_and_minus_1", Kind::Spectrogram,
                 [](Pictures &p) {
                     p.spec.xlinlog = Code<PGSpectro_linlog>(2);
                     p.spec.ylinlog = Code<PGSpectro_linlog>(-1);
                     p.spec.zlinlog = Code<PGSpectro_linlog>(1000);
                     p.spec.draw_wedge = NO;
                 },
                 [](Pictures &p) {
                     p.spec.xlinlog = p.spec.ylinlog = p.spec.zlinlog = PGSPECTRO_LIN;
                     p.spec.draw_wedge = NO;
                 }},
        CodeCase{"spectrogram_flags_2", Kind::Spectrogram,
                 [](Pictures &p) {
                     p.spec.xnums = p.spec.ynums = p.spec.ylabel_vert = p.spec.draw_wedge = Code<Yes_or_No>(2);
                     p.spec.timex = p.spec.xgapfill = p.spec.skip_missing = Code<Yes_or_No>(-7);
                 },
                 [](Pictures &p) {
                     p.spec.xnums = p.spec.ynums = p.spec.ylabel_vert = p.spec.draw_wedge = NO;
                     p.spec.timex = p.spec.xgapfill = p.spec.skip_missing = NO;
                 }},
        CodeCase{"wheel_colour_table_99_and_radius_scaling_4", Kind::Wheel,
                 [](Pictures &p) {
                     p.wheel.color_table = Code<PGSpectro_col>(99);
                     p.wheel.rlinlog = Code<PGSpectro_linlog>(4);
                     p.wheel.rnums = p.wheel.skip_missing = Code<Yes_or_No>(3);
                 },
                 [](Pictures &p) {
                     p.wheel.color_table = PGSPECTRO_RAINBOW;
                     p.wheel.rlinlog = PGSPECTRO_LIN;
                     p.wheel.rnums = p.wheel.skip_missing = NO;
                 }},
        CodeCase{"trace_scalings_3_and_flags_5", Kind::Trace,
                 [](Pictures &p) {
                     p.trace.xlinlog = Code<PGSpectro_linlog>(3);
                     p.trace.ylinlog = Code<PGSpectro_linlog>(-2);
                     p.trace.timex = p.trace.YoNsymbol = p.trace.YoNlegendbox = Code<Yes_or_No>(5);
                 },
                 [](Pictures &p) {
                     p.trace.xlinlog = p.trace.ylinlog = PGSPECTRO_LIN;
                     p.trace.timex = p.trace.YoNsymbol = p.trace.YoNlegendbox = NO;
                 }}),
    [](const testing::TestParamInfo<CodeCase> &info) { return std::string(info.param.name); });

// A colour scaling with no meaning draws the wedge's colours and label
// without a scale, after one line; the values are coloured linearly.
TEST(OutOfRangeCodes, UnknownColourScalingOfAWheelSaysSo)
{
    const CodeCase c{"wheel_colour_scaling_6", Kind::Wheel,
                     [](Pictures &p) { p.wheel.zlinlog = Code<PGSpectro_linlog>(6); }, {}};
    EXPECT_EQ("Unknown PGSpectro_linlog in spectro_wedge\n", Draw(c, c.odd).printed);
}

}  // namespace
