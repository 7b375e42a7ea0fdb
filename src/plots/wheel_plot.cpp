/* Sweep wheel plots: one sweep as a polar wheel of level and polar
 * direction, and two sweeps as the left and right halves of one wheel. */
#include "Velora_plot.h"
#include "plots_int.h"

#include <cpgplot.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

using plots::Format;

constexpr float kTinyValue = 1.17549435e-36f;  /* seed of the colour range */
constexpr float kFloatCap = 3.4028235e37f;     /* largest colour-range end */
constexpr float kMinWidth = 1.1754944e-38f;    /* narrowest colour range kept */

std::string TimeText(const NURV_TIME_S &t)
{
    int h = 0, m = 0, s = 0, nano = 0;
    to_hms_time(&t, &h, &m, &s, &nano);
    return Format("%4d %03d %02d:%02d:%02d.%03d", t.year, t.doy, h, m, s, nano / 1000000);
}

float CapMagnitude(float v)
{
    if (std::fabs(v) > kFloatCap)
        return v > 0 ? kFloatCap : -kFloatCap;
    return v;
}

/* Radius-major values of the wheel and the data ranges of the sweep: the
 * range of a linear colour scale (every present value, zeros and tiny values
 * included) and, when there is one, that of a logarithmic scale (present
 * values above zero only), each capped at the float limit. */
struct WheelValues {
    std::vector<float> z;
    float psd_min = kTinyValue;
    float psd_max = kTinyValue;
    bool positive = false;
    float positive_min = 0;
    float positive_max = 0;
};

WheelValues CollectValues(const HALDE_SWEEP &s)
{
    const auto nsen = static_cast<std::size_t>(s.n_sen);
    const auto nlev = static_cast<std::size_t>(s.n_lev);
    WheelValues w;
    w.z.resize(nsen * nlev);
    for (std::size_t k = 0; k < nsen * nlev; ++k) {
        const float v = s.psd[k];
        if (std::fabs(v) > kTinyValue && v != s.missing_value) {
            w.psd_min = w.psd_max = v;
            break;
        }
    }
    plots::ShownRange shown(PGSPECTRO_LOG);
    for (std::size_t l = 0; l < nlev; ++l) {
        for (std::size_t sen = 0; sen < nsen; ++sen) {
            const float v = s.psd[sen * nlev + l];
            w.z[l * nsen + sen] = v;
            shown.Take(v, s.missing_value);
            if (v != s.missing_value) {
                w.psd_min = std::fmin(w.psd_min, v);
                w.psd_max = std::fmax(w.psd_max, v);
            }
        }
    }
    w.psd_max = CapMagnitude(w.psd_max);
    w.psd_min = CapMagnitude(w.psd_min);
    if (w.psd_min > w.psd_max)
        std::swap(w.psd_min, w.psd_max);
    if (std::fabs(w.psd_max - w.psd_min) < kMinWidth)
        w.psd_max = std::fabs(w.psd_min) >= kMinWidth ? 1.1f * std::fabs(w.psd_min) : 1.0f;
    w.positive = shown.found();
    w.positive_min = CapMagnitude(shown.lo());
    w.positive_max = CapMagnitude(shown.hi());
    return w;
}

/* Four dashed circles at round radii spread over the radius range. */
std::vector<float> ReferenceCircles(float rmin, float rmax, PGSpectro_linlog rlinlog)
{
    std::vector<float> radii(4);
    if (rlinlog == PGSPECTRO_LOG) {
        const double lo = SafeLog10(rmin);
        const double d = (SafeLog10(rmax) - lo) / 5.0;
        for (int k = 0; k < 4; ++k)
            radii[static_cast<std::size_t>(k)] =
                static_cast<float>(near_nice_number(std::pow(10.0, lo + d / 2 + k * d)));
    } else {
        const float d = (rmax - rmin) / 5.0f;
        for (int k = 0; k < 4; ++k)
            radii[static_cast<std::size_t>(k)] =
                static_cast<float>(near_nice_number(rmin + d / 2 + static_cast<float>(k) * d));
    }
    return radii;
}

/* What one call draws of a wheel: a whole wheel, or a half of a two-sweep
 * wheel.  The halves share the axis labels, scale numbers, wedge and
 * direction marks, drawn once: the first half draws the labels, numbers and
 * wedge, the second its bins and titles over it, and the caller the marks
 * after both, so that no bin covers them. */
enum class WheelPart { Whole, First, Second };

/* The direction marks inside the frame: polar angle 0 at the top, 180 at
 * the bottom.  The degree sign is the Latin-1 byte 0xB0. */
void DirectionMarks()
{
    if (!plots::DeviceOpen())
        return;
    cpgmtxt("T", -1.5f, 0.5f, 0.5f, "0\xb0");
    cpgmtxt("B", -1.5f, 0.5f, 0.5f, "180\xb0");
}

PGSpectro_ret DrawSweep(HALDE_SWEEP *swpp, SWEEP_WHEEL_OPTIONS *swop, WheelPart part);

} // namespace

void Set_sweep_wheel_options_default(SWEEP_WHEEL_OPTIONS *swop)
{
    swop->color_table = PGSPECTRO_RAINBOW;
    swop->zlinlog = PGSPECTRO_LOG;
    swop->rlinlog = PGSPECTRO_LOG;
    swop->zautoscale = YES;
    swop->rautoscale = YES;
    swop->skip_missing = YES;
    swop->zmin = 1.0f;
    swop->zmax = 10.0f;
    swop->rmin = 1.0f;
    swop->rmax = 10.0f;
    swop->xndcmin = 0.1f;
    swop->xndcmax = 0.8f;
    swop->yndcmin = 0.15f;
    swop->yndcmax = 0.8f;
    swop->title_just = 0.5f;
    swop->text_scale = 1.0f;
    swop->pg_device = "/Xserv";
}

PGSpectro_ret Sweep_wheel_plot(HALDE_SWEEP *swpp, SWEEP_WHEEL_OPTIONS *swop)
{
    return DrawSweep(swpp, swop, WheelPart::Whole);
}

namespace {

PGSpectro_ret DrawSweep(HALDE_SWEEP *swpp, SWEEP_WHEEL_OPTIONS *swop, WheelPart part)
{
    if (swpp == nullptr || swpp->n_lev < 1 || swpp->n_sen < 1 || swpp->psd == nullptr) {
        std::printf("Sweep_wheel_plot: no sweep bins to plot\n");
        return PGSPECTRO_SIZE_ERROR;
    }
    const HALDE_SWEEP &s = *swpp;

    PGWheel wheel{};
    PGWheel_set_defaults(&wheel);
    wheel.domain.xndcmin = swop->xndcmin;
    wheel.domain.xndcmax = swop->xndcmax;
    wheel.domain.yndcmin = swop->yndcmin;
    wheel.domain.yndcmax = swop->yndcmax;
    wheel.text_scale = swop->text_scale;
    wheel.skip_missing = swop->skip_missing;
    wheel.zmissing = s.missing_value;

    WheelValues values;
    try {
        values = CollectValues(s);
    } catch (const std::bad_alloc &) {
        std::printf("failed to malloc array for wheel plot\n");
        return PGSPECTRO_MALLOC_FAILURE;
    }
    std::vector<float> thlo, thhi;
    try {
        thlo.resize(static_cast<std::size_t>(s.n_sen));
        thhi.resize(static_cast<std::size_t>(s.n_sen));
    } catch (const std::bad_alloc &) {
        std::printf("Failed to malloc thbin arrays for wheel plot\n");
        return PGSPECTRO_MALLOC_FAILURE;
    }

    wheel.z = values.z.data();
    wheel.rbinlow = s.elo;
    wheel.rbinhigh = s.ehi;
    /* Polar angle 0 points up. */
    scale_then_rotate_angles(s.thlo, thlo.data(), s.n_sen, 90.0f, 1.0f);
    scale_then_rotate_angles(s.thhi, thhi.data(), s.n_sen, 90.0f, 1.0f);
    wheel.thbinlow = thlo.data();
    wheel.thbinhigh = thhi.data();
    wheel.nr = s.n_lev;
    wheel.nth = s.n_sen;

    /* A logarithmic scale is autoscaled from the values it can show; without
     * any it keeps the options' range.  The range drawn is the one left in
     * the options. */
    if (swop->zautoscale == YES) {
        if (swop->zlinlog != PGSPECTRO_LOG) {
            swop->zmin = values.psd_min;
            swop->zmax = values.psd_max;
        } else if (values.positive) {
            swop->zmin = values.positive_min;
            swop->zmax = values.positive_max;
        } else {
            plots::PrintRangeKept("Sweep_wheel_plot", "colour scale", swop->zmin, swop->zmax);
        }
    }
    plots::WidenEqualEnds(&swop->zmin, &swop->zmax, swop->zlinlog);
    wheel.zscalemin = swop->zmin;
    wheel.zscalemax = swop->zmax;

    const NURV_LINEAGE_S blank{};
    const NURV_LINEAGE_S &lin = s.lineage != nullptr ? *s.lineage : blank;
    const std::string bin_label = BIN_UNITS_STRING(s.bin_units);
    const std::string supsuptitle = Format(" %s %s", lin.mission, lin.experiment);
    const std::string suptitle = Format(" %s", lin.instrument);
    const std::string title = Format(" %s", lin.virtual_inst);
    const std::string subtitle = " " + TimeText(s.btime) + ", " + TimeText(s.etime) + " ";
    /* A range through 360 degrees (a whole spin among them) is written the
     * long way round, as the exports give it: its end past 360. */
    const float phi_end = s.phi_hi < s.phi_lo ? s.phi_hi + 360.0f : s.phi_hi;
    const std::string subsubtitle = Format(" %.2f < phi(azim) < %.2f ", s.phi_lo, phi_end);
    const std::string wedge_label = PSD_UNITS_STRING(s.psd_units);
    wheel.xlabel = bin_label.c_str();
    wheel.ylabel = bin_label.c_str();
    wheel.supsuptitle = supsuptitle.c_str();
    wheel.suptitle = suptitle.c_str();
    wheel.title = title.c_str();
    wheel.subtitle = subtitle.c_str();
    wheel.subsubtitle = subsubtitle.c_str();
    wheel.wedge.label = wedge_label.c_str();
    wheel.title_just = swop->title_just;

    if (swop->rautoscale == YES) {
        /* Levels walked from the lowest up, whichever way they are listed. */
        const bool fall = bins_fall(s.elo, s.n_lev);
        float rmin = s.elo[0];
        for (int k = 0; k < s.n_lev; ++k) {
            rmin = s.elo[fall ? s.n_lev - 1 - k : k];
            if (rmin > 0)
                break;
        }
        if (rmin < 0)
            rmin = 0.1f;
        float rmax = bins_highest_edge(s.elo, s.ehi, s.n_lev);
        if (rmax < 0)
            rmax = 1.0f;
        swop->rmin = rmin;
        swop->rmax = rmax;
    }
    wheel.domain.rmin = swop->rmin;
    wheel.domain.rmax = swop->rmax;

    std::vector<float> circles = ReferenceCircles(wheel.domain.rmin, wheel.domain.rmax, swop->rlinlog);
    wheel.rcircles = circles.data();
    wheel.ncircles = static_cast<int>(circles.size());

    wheel.color_table = swop->color_table;
    wheel.rlinlog = swop->rlinlog;
    wheel.zlinlog = swop->zlinlog;
    const PGSpectro_ret ret = part == WheelPart::Second ? PGWheel_Plot_half(&wheel) : PGWheel_Plot(&wheel);
    if (ret != PGSPECTRO_OK)
        std::printf("PGWheel_Plot returned error %d\n", ret);
    if (part == WheelPart::Whole)
        DirectionMarks();
    return ret;
}

} // namespace

int PlotTwoSweeps(HALDE_SWEEP *swp_pri, HALDE_SWEEP *swp_sec, SWEEP_WHEEL_OPTIONS *swop)
{
    if (swp_pri == nullptr || swp_sec == nullptr) {
        std::printf("one of requested sweeps for plot is null; plot abandoned\n");
        return -501;
    }
    /* A primary that cannot be drawn is refused before a device is opened,
     * so no empty plot file is left behind. */
    if (swp_pri->n_lev < 1 || swp_pri->n_sen < 1 || swp_pri->psd == nullptr) {
        std::printf("primary sweep for plot has no bins; plot abandoned\n");
        return -501;
    }
    if (!plots::DeviceOpen()) {
        if (cpgopen(swop->pg_device) < 1) {
            std::printf("Failed to open pgplot device successfully\n");
            return -501;
        }
        cpgshls(0, 0.0f, 1.0f, 0.0f);
        cpgshls(1, 0.0f, 0.0f, 0.0f);
        cpgpage();
    }

    const plots::BufferedOutput held;
    swop->title_just = 1.0f;
    PGSpectro_ret ret = DrawSweep(swp_pri, swop, WheelPart::First);
    if (ret != PGSPECTRO_OK) {
        std::printf("Sweep_wheel_plot returned PGSPECTRO error %d\n", ret);
        return -501;
    }

    swop->title_just = 0.0f;
    swop->zautoscale = NO;
    swop->rautoscale = NO;

    /* The secondary mirrored (theta becomes -theta) through a shallow copy
     * of its record, so the caller's sweep is never touched. */
    try {
        const auto n = static_cast<std::size_t>(swp_sec->n_sen > 0 ? swp_sec->n_sen : 0);
        std::vector<float> thlo(n), thhi(n);
        HALDE_SWEEP mirrored = *swp_sec;
        if (n > 0) {
            scale_then_rotate_angles(swp_sec->thlo, thlo.data(), swp_sec->n_sen, 0.0f, -1.0f);
            scale_then_rotate_angles(swp_sec->thhi, thhi.data(), swp_sec->n_sen, 0.0f, -1.0f);
            mirrored.thlo = thlo.data();
            mirrored.thhi = thhi.data();
        }
        ret = DrawSweep(&mirrored, swop, WheelPart::Second);
    } catch (const std::bad_alloc &) {
        ret = PGSPECTRO_MALLOC_FAILURE;
    }
    if (ret != PGSPECTRO_OK)
        std::printf("Sweep_wheel_plot returned PGSPECTRO error %d\n", ret);
    DirectionMarks();

    cpgupdt();
    return 0;
}
