// The sweep plots draw a sweep whose polar rows or levels are listed falling
// (the reader lists its polar rows from 180 degrees down) as they draw the
// same sweep listed rising: the same ranges written back and the same
// picture, for the wheel, the cuts and the energy-angle-time stack.
#include "Velora_plot.h"
#include "plot_files.h"
#include "sweeps.h"

#include <cpgplot.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

using plot_test::MakeSweep;
using plot_test::PlotFile;

struct Listing {
    const char *name;
    bool polar_falls;
    bool levels_fall;
};

void PrintTo(const Listing &l, std::ostream *os)
{
    *os << l.name;
}

// Six polar bins and three levels; the value changes along both.
SweepPtr Rising()
{
    return MakeSweep(6, {4, 90, 15000}, {6, 110, 25000},
                     [](int s, int l) { return static_cast<float>((s + 1) * (s + 1) * (l + 2)); });
}

// The same sweep with its rows and/or levels listed the other way round.
SweepPtr Listed(bool polar, bool levels)
{
    SweepPtr r = Rising();
    SweepPtr s(create_sweep_full_copy(r.get()));
    const int ns = s->n_sen, nl = s->n_lev;
    for (int i = 0; i < ns; ++i) {
        const int ri = polar ? ns - 1 - i : i;
        s->thlo[i] = r->thlo[ri];
        s->thhi[i] = r->thhi[ri];
        for (int l = 0; l < nl; ++l)
            s->psd[l + nl * i] = r->psd[(levels ? nl - 1 - l : l) + nl * ri];
    }
    for (int l = 0; l < nl; ++l) {
        s->elo[l] = r->elo[levels ? nl - 1 - l : l];
        s->ehi[l] = r->ehi[levels ? nl - 1 - l : l];
    }
    return s;
}

// Pixels of b whose colour is nowhere within one pixel of the same place in
// a: touching bins drawn in another order may move a boundary by a pixel.
long Unmatched(const QImage &a, const QImage &b)
{
    long n = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = a.valid(x + dx, y + dy) && a.pixel(x + dx, y + dy) == b.pixel(x, y);
            n += !found;
        }
    return n;
}

// The picture a plot draws into a fresh GIF.
QImage Drawn(const std::function<void()> &plot)
{
    PlotFile gif("GIF");
    EXPECT_TRUE(gif.open());
    cpgpage();
    testing::internal::CaptureStdout();
    plot();
    testing::internal::GetCapturedStdout();
    gif.Close();
    return gif.Image();
}

class ListedPlots : public testing::TestWithParam<Listing> {
protected:
    SweepPtr rising = Rising();
    SweepPtr listed = Listed(GetParam().polar_falls, GetParam().levels_fall);
};

TEST_P(ListedPlots, WheelOfTwoSweeps)
{
    SWEEP_WHEEL_OPTIONS want{}, got{};
    Set_sweep_wheel_options_default(&want);
    Set_sweep_wheel_options_default(&got);
    const QImage a = Drawn([&] { EXPECT_EQ(0, PlotTwoSweeps(rising.get(), rising.get(), &want)); });
    const QImage b = Drawn([&] { EXPECT_EQ(0, PlotTwoSweeps(listed.get(), listed.get(), &got)); });
    EXPECT_EQ(4.0f, got.rmin);
    EXPECT_EQ(25000.0f, got.rmax);
    EXPECT_EQ(want.zmin, got.zmin);
    EXPECT_EQ(want.zmax, got.zmax);
    EXPECT_LT(Unmatched(a, b), 10);
}

TEST_P(ListedPlots, CutsAlongTheFlow)
{
    SWEEP_CUT_OPTIONS want{}, got{};
    QPGLine_colour colours[] = {QPGRED, QPGBLUE};
    QPGLinestyle styles[] = {QPGSOLID, QPGSOLID}; // a dash pattern runs from where a curve starts
    float widths[] = {1, 1};
    for (SWEEP_CUT_OPTIONS *o : {&want, &got}) {
        Set_Sweep_cut_options_default(o);
        o->nswps = 2;
        o->colours = colours;
        o->linestyles = styles;
        o->linethicknesses = widths;
    }
    float thetas[] = {10, 45};
    HALDE_SWEEP *r[] = {rising.get(), rising.get()};
    HALDE_SWEEP *l[] = {listed.get(), listed.get()};
    const QImage a = Drawn([&] { EXPECT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(r, 2, thetas, &want)); });
    const QImage b = Drawn([&] { EXPECT_EQ(PGSPECTRO_OK, Sweep_n_cuts_plot(l, 2, thetas, &got)); });
    EXPECT_EQ(5.0f, got.xmin);
    EXPECT_EQ(20000.0f, got.xmax);
    EXPECT_EQ(want.ymin, got.ymin);
    EXPECT_EQ(want.ymax, got.ymax);
    EXPECT_LT(Unmatched(a, b), 10) << "the same curves";
}

TEST_P(ListedPlots, EnergyAngleTimeStack)
{
    NURV_TIME_S start{}, end{};
    to_nurv_time(2001, 34, 10, 20, 30, 0, &start);
    to_nurv_time(2001, 34, 10, 20, 34, 0, &end);
    PGSpectro want{}, got{};
    for (PGSpectro *p : {&want, &got}) {
        PGSpectro_set_defaults(p);
        p->zscalemin = 1;
        p->zscalemax = 200;
    }
    HALDE_SWEEP *r[] = {rising.get()};
    HALDE_SWEEP *l[] = {listed.get()};
    const QImage a = Drawn([&] { EXPECT_EQ(PGSPECTRO_OK, Mirvek_plot(r, 1, &want, start, end)); });
    const QImage b = Drawn([&] { EXPECT_EQ(PGSPECTRO_OK, Mirvek_plot(l, 1, &got, start, end)); });
    EXPECT_EQ(0.0f, got.domain.yworldmin) << "0 degrees at the bottom";
    EXPECT_EQ(180.0f, got.domain.yworldmax);
    EXPECT_LT(Unmatched(a, b), 10) << "the lowest level at the bottom";
}

INSTANTIATE_TEST_SUITE_P(Plots, ListedPlots,
                         testing::Values(Listing{"Rising", false, false}, Listing{"PolarFalling", true, false},
                                         Listing{"LevelsFalling", false, true}, Listing{"BothFalling", true, true}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
