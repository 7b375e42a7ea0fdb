// Codes of the drawing layer's records outside their lists, as a settings
// file or a caller's arithmetic can leave them: a colour table outside 1..5
// draws the rainbow, a scaling other than PGSPECTRO_LOG draws linear, a flag
// other than YES is off.  Each case draws the record with the odd codes and
// with their fallbacks; the pictures must be the same.
#include "PGSpectro.h"
#include "plot_files.h"

#include <cpgplot.h>

#include <functional>
#include <vector>

namespace {

// A spectrogram and a wheel of the same six values.
struct Pictures {
    std::vector<float> z{1, 5, 20, 50, 100, 7}, lo{1, 2, 3}, hi{2, 3, 4}, th_lo{0, 180}, th_hi{180, 360};
    PGSpectro spec{};
    PGWheel wheel{};

    Pictures()
    {
        PGSpectro_set_defaults(&spec);
        spec.z = z.data();
        spec.xbinlow = spec.ybinlow = lo.data();
        spec.xbinhigh = spec.ybinhigh = hi.data();
        spec.nx = 3;
        spec.ny = 2;
        spec.zscalemax = 100;
        spec.domain = {1, 4, 1, 3, 0.1f, 0.85f, 0.1f, 0.9f};
        PGWheel_set_defaults(&wheel);
        wheel.z = z.data();
        wheel.rbinlow = lo.data();
        wheel.rbinhigh = hi.data();
        wheel.thbinlow = th_lo.data();
        wheel.thbinhigh = th_hi.data();
        wheel.nr = 3;
        wheel.nth = 2;
        wheel.domain.rmin = 1;
        wheel.domain.rmax = 4;
    }
};

struct CodeCase {
    const char *name;
    bool wheel;
    std::function<void(Pictures &)> odd, fallback;
};

void PrintTo(const CodeCase &c, std::ostream *os) { *os << c.name; }

// The picture above the identification line, and what was printed.
std::pair<QImage, std::string> Draw(const CodeCase &c, const std::function<void(Pictures &)> &codes)
{
    Pictures p;
    codes(p);
    plot_test::PlotFile gif("GIF");
    EXPECT_TRUE(gif.open());
    testing::internal::CaptureStdout();
    EXPECT_EQ(PGSPECTRO_OK, c.wheel ? PGWheel_Plot(&p.wheel) : PGSpectro_Plot(&p.spec));
    const std::string printed = testing::internal::GetCapturedStdout();
    gif.Close();
    const QImage image = gif.Image();
    return {image.copy(0, 0, image.width(), image.height() * 95 / 100), printed};
}

class OutOfRangeCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(OutOfRangeCodes, DrawLikeTheirFallback)
{
    const auto odd = Draw(GetParam(), GetParam().odd);
    const auto fallback = Draw(GetParam(), GetParam().fallback);
    EXPECT_TRUE(odd.first == fallback.first);
    EXPECT_EQ(fallback.second, odd.second);
}

template <typename E>
constexpr E Code(int v)
{
    return static_cast<E>(v);
}

INSTANTIATE_TEST_SUITE_P(
    DrawingLayer, OutOfRangeCodes,
    testing::Values(
        CodeCase{"spectrogram_colour_table_minus_1", false,
                 [](Pictures &p) { p.spec.color_table = Code<PGSpectro_col>(-1); },
                 [](Pictures &p) { p.spec.color_table = PGSPECTRO_RAINBOW; }},
        CodeCase{"spectrogram_scalings_2_minus_1_1000", false,
                 [](Pictures &p) {
                     p.spec.xlinlog = Code<PGSpectro_linlog>(2);
                     p.spec.ylinlog = Code<PGSpectro_linlog>(-1);
                     p.spec.zlinlog = Code<PGSpectro_linlog>(1000);
                     p.spec.draw_wedge = NO;
                 },
                 [](Pictures &p) { p.spec.draw_wedge = NO; }},
        CodeCase{"spectrogram_flags_2_and_minus_7", false,
                 [](Pictures &p) {
                     p.spec.xnums = p.spec.ynums = p.spec.ylabel_vert = p.spec.draw_wedge = Code<Yes_or_No>(2);
                     p.spec.timex = p.spec.xgapfill = p.spec.skip_missing = Code<Yes_or_No>(-7);
                 },
                 [](Pictures &p) {
                     p.spec.xnums = p.spec.ynums = p.spec.ylabel_vert = p.spec.draw_wedge = NO;
                     p.spec.timex = p.spec.xgapfill = p.spec.skip_missing = NO;
                 }},
        CodeCase{"wheel_colour_table_99_radius_scaling_4_flags_3", true,
                 [](Pictures &p) {
                     p.wheel.color_table = Code<PGSpectro_col>(99);
                     p.wheel.rlinlog = Code<PGSpectro_linlog>(4);
                     p.wheel.rnums = p.wheel.skip_missing = Code<Yes_or_No>(3);
                 },
                 [](Pictures &p) { p.wheel.rnums = p.wheel.skip_missing = NO; }}),
    [](const testing::TestParamInfo<CodeCase> &info) { return std::string(info.param.name); });

} // namespace
