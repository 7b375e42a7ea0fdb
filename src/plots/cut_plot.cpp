/* Sweep cut plots: for each sweep its values along one polar direction
 * (right-hand panel, energy rising to the right) and along the opposite
 * direction (left-hand panel, energy rising to the left), so the two panels
 * read as one line through the distribution, with a legend naming each
 * sweep's data set and times. */
#include "Velora_plot.h"
#include "plots_int.h"

#include <cpgplot.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using plots::Format;

struct CutDeleter {
    void operator()(HALDE_1D_SWEEP_CUT_S *cut) const
    {
        free_1D_cut_arrays(cut);
        std::free(cut);
    }
};
using CutPtr = std::unique_ptr<HALDE_1D_SWEEP_CUT_S, CutDeleter>;

/* The two cuts of one sweep at one angle. */
struct CutPair {
    int sweep = 0;
    int angle = 0;       /* index of the angle in thetas */
    float theta = 0;     /* degrees */
    CutPtr at_theta;     /* right-hand panel */
    CutPtr opposite;     /* at 180 - theta, left-hand panel */
};

/* Calendar fields of a time for the legend's time lines. */
struct Calendar {
    int year, month, day, hour, minute, second, msec;
};

Calendar CalendarOf(const NURV_TIME_S &t)
{
    Calendar c{};
    c.year = t.year;
    QanYearDoyToDate(t.year, t.doy, &c.month, &c.day);
    int nano = 0;
    to_hms_time(&t, &c.hour, &c.minute, &c.second, &nano);
    c.msec = static_cast<int>(static_cast<double>(t.nano) * 1e-6);
    return c;
}

/* Checks shared by both variants; false after the message. */
bool SameUnits(HALDE_SWEEP **swpp, int nswps)
{
    for (int i = 1; i < nswps; ++i) {
        if (swpp[i]->bin_units != swpp[0]->bin_units || swpp[i]->psd_units != swpp[0]->psd_units) {
            std::printf("Sweep_cuts_plot: bin or psd units for sweep 0 and %d differ\n", i);
            return false;
        }
    }
    return true;
}

bool HaveDevice(const SWEEP_CUT_OPTIONS &opt)
{
    if (plots::DeviceOpen())
        return true;
    if (cpgopen(opt.pg_device) <= 0) {
        std::printf("Failed to open pgplot device successfully\n");
        return false;
    }
    cpgshls(0, 0.0f, 1.0f, 0.0f);
    cpgshls(1, 0.0f, 0.0f, 0.0f);
    cpgpage();
    return true;
}

/* The cuts of every sweep at every angle; empty (after a message) when a
 * sweep cannot be cut. */
std::vector<CutPair> MakeCuts(HALDE_SWEEP **swpp, int nswps, const float *thetas, int ncuts, bool angle_per_sweep)
{
    std::vector<CutPair> pairs;
    for (int i = 0; i < nswps; ++i) {
        for (int c = 0; c < ncuts; ++c) {
            CutPair p;
            p.sweep = i;
            p.angle = angle_per_sweep ? i : c;
            p.theta = thetas[p.angle];
            p.at_theta.reset(sweep_1D_cut(p.theta, swpp[i]));
            p.opposite.reset(sweep_1D_cut(180.0f - p.theta, swpp[i]));
            if (!p.at_theta || !p.opposite || p.at_theta->n_lev < 1 || p.opposite->n_lev < 1) {
                std::printf("Sweep_cuts_plot: sweep %d cannot be cut at %g degrees\n", i, static_cast<double>(p.theta));
                return {};
            }
            pairs.push_back(std::move(p));
        }
    }
    return pairs;
}

constexpr const char *kWho = "Sweep_cuts_plot";

/* Energy range over the opposite cuts (every cut of a sweep has the same
 * levels).  Linear: from the lowest level centre to the highest, whichever
 * way the levels are listed.  Logarithmic: the smallest and largest centre
 * above zero; with none the range stays as it is, after one line. */
void EnergyRange(const std::vector<CutPair> &pairs, PGSpectro_linlog xlinlog, float *xmin, float *xmax)
{
    if (xlinlog == PGSPECTRO_LOG) {
        plots::ShownRange shown(PGSPECTRO_LOG);
        for (const CutPair &p : pairs)
            for (int k = 0; k < p.opposite->n_lev; ++k)
                shown.Take(p.opposite->ecen[k], std::numeric_limits<float>::quiet_NaN());
        if (shown.found()) {
            *xmin = shown.lo();
            *xmax = shown.hi();
        } else {
            plots::PrintRangeKept(kWho, "energy axis", *xmin, *xmax);
        }
        return;
    }
    const auto lowest = [](const HALDE_1D_SWEEP_CUT_S &c) { return std::min(c.ecen[0], c.ecen[c.n_lev - 1]); };
    const auto highest = [](const HALDE_1D_SWEEP_CUT_S &c) { return std::max(c.ecen[0], c.ecen[c.n_lev - 1]); };
    *xmin = lowest(*pairs[0].opposite);
    *xmax = highest(*pairs[0].opposite);
    for (const CutPair &p : pairs) {
        *xmin = std::min(*xmin, lowest(*p.opposite));
        *xmax = std::max(*xmax, highest(*p.opposite));
    }
}

/* Value range over both cuts of every pair, from the present values (not
 * their sweep's missing value, not NaN).  Linear: the non-zero ones, or 0
 * when every present value is 0.  Logarithmic: those above zero.  Without
 * such values the range stays as it is, after one line: there is nothing to
 * draw when no value is present at all. */
void ValueRange(const std::vector<CutPair> &pairs, HALDE_SWEEP **swpp, PGSpectro_linlog ylinlog, float *ymin,
                float *ymax)
{
    plots::ShownRange shown(ylinlog, true);
    for (const CutPair &p : pairs) {
        const float missing = swpp[p.sweep]->missing_value;
        const int n = p.opposite->n_lev < p.at_theta->n_lev ? p.opposite->n_lev : p.at_theta->n_lev;
        for (int k = 0; k < n; ++k) {
            shown.Take(p.opposite->psd1D[k], missing);
            shown.Take(p.at_theta->psd1D[k], missing);
        }
    }
    if (shown.found()) {
        *ymin = shown.lo();
        *ymax = shown.hi();
    } else if (!shown.any_present()) {
        std::printf("%s: every value is missing; nothing to draw\n", kWho);
    } else if (ylinlog == PGSPECTRO_LOG) {
        plots::PrintRangeKept(kWho, "value axis", *ymin, *ymax);
    } else {
        *ymin = *ymax = 0.0f;
    }
}

/* The ranges of a cut plot as drawn, left in the options: autoscaled when
 * asked, with replace_negative energies below 0 replaced (0.1 for the low
 * end, 1.0 for the high end), equal ends widened. */
void DrawnRanges(HALDE_SWEEP **swpp, const std::vector<CutPair> &pairs, bool replace_negative,
                 SWEEP_CUT_OPTIONS *opt)
{
    if (opt->xautoscale == YES)
        EnergyRange(pairs, opt->xlinlog, &opt->xmin, &opt->xmax);
    if (replace_negative && opt->xmin < 0)
        opt->xmin = 0.1f;
    if (replace_negative && opt->xmax < 0)
        opt->xmax = 1.0f;
    plots::WidenEqualEnds(&opt->xmin, &opt->xmax, opt->xlinlog);
    if (opt->yautoscale == YES)
        ValueRange(pairs, swpp, opt->ylinlog, &opt->ymin, &opt->ymax);
    plots::WidenEqualEnds(&opt->ymin, &opt->ymax, opt->ylinlog);
}

/* How one variant lays out and labels its picture. */
struct Layout {
    float heading_x1, heading_x2, left_x1, left_x2, right_x1, right_x2, legend_x1, legend_x2, y1, y2;
    bool scale_text;        /* character heights follow the picture's height */
    bool widths_per_sweep;  /* curve widths from linethicknesses */
    bool angle_styles;      /* line style by angle rather than by sweep */
    bool end_time_line;     /* a second time line with the end time */
    float lineage_f[4];     /* legend heights of mission .. virtual_inst */
    float start_f, end_f;   /* legend heights of the time lines */
    const char *start_format;
};

/* The energy numbers under the two panels.  The panels meet where both
 * read the lowest energy, and each would number a value just beside the
 * join, the two numbers then written over each other: each panel numbers
 * its axis as PGPLOT would, but only from a number's half width away from
 * the join (a viewport and window narrowed to match the axis). */
void EnergyNumbers(const Layout &lay, const PGXYtrace &t, float xmin, float xmax, float ymin, float ymax)
{
    const bool xlog = t.xlinlog == PGSPECTRO_LOG;
    const bool ylog = t.ylinlog == PGSPECTRO_LOG;
    const float lo = xlog ? static_cast<float>(SafeLog10(xmin)) : xmin;
    const float hi = xlog ? static_cast<float>(SafeLog10(xmax)) : xmax;
    const float y1 = ylog ? static_cast<float>(SafeLog10(ymin)) : ymin;
    const float y2 = ylog ? static_cast<float>(SafeLog10(ymax)) : ymax;
    cpgsci(1);
    cpgslw(t.text_line_width);
    cpgsch(t.label_char_size);
    float xch = 0, ych = 0;
    cpgqcs(0, &xch, &ych);
    const float gap = 1.6f * xch;
    const char *opt = xlog ? "NL" : "N";
    /* Left: energy falling from xmax at its left edge to xmin at the join. */
    const float lw = lay.left_x2 - lay.left_x1;
    if (lw > gap) {
        cpgsvp(lay.left_x1, lay.left_x2 - gap, lay.y1, lay.y2);
        cpgswin(hi, lo + (gap / lw) * (hi - lo), y1, y2);
        cpgbox(opt, 0.0f, 0, "", 0.0f, 0);
    }
    const float rw = lay.right_x2 - lay.right_x1;
    if (rw > gap) {
        cpgsvp(lay.right_x1 + gap, lay.right_x2, lay.y1, lay.y2);
        cpgswin(lo + (gap / rw) * (hi - lo), hi, y1, y2);
        cpgbox(opt, 0.0f, 0, "", 0.0f, 0);
    }
}

void SetPanel(PGXYtrace &t, float x1, float x2, float y1, float y2)
{
    t.plot_domain.xndcmin = x1;
    t.plot_domain.xndcmax = x2;
    t.plot_domain.yndcmin = y1;
    t.plot_domain.yndcmax = y2;
}

void Draw(HALDE_SWEEP **swpp, std::vector<CutPair> &pairs, const SWEEP_CUT_OPTIONS &opt, const Layout &lay,
          float xmin, float xmax, float ymin, float ymax)
{
    PGXYtrace t{};
    PGXYtrace_set_defaults(&t);
    t.xlinlog = opt.xlinlog;
    t.ylinlog = opt.ylinlog;
    t.box_thickness = static_cast<int>(opt.linethickness);
    t.text_line_width = static_cast<int>(opt.linethickness);
    if (lay.scale_text) {
        const float h = opt.yndcmax - opt.yndcmin;
        t.label_char_size = h / 0.8f;
        t.title_char_size = 1.5f * h / 0.8f;
        t.legend_text_char_size = 0.7f * h / 0.8f;
    }
    /* A picture of little height, or on a page of small panels, keeps its
     * texts legible. */
    t.label_char_size = PGSpectro_legible_char_size(t.label_char_size);
    t.title_char_size = PGSpectro_legible_char_size(t.title_char_size);
    t.legend_text_char_size = PGSpectro_legible_char_size(t.legend_text_char_size);
    t.skip_ymissing = YES;
    t.ymissing = swpp[0]->missing_value;
    t.plot_domain.yworldmin = ymin;
    t.plot_domain.yworldmax = ymax;
    t.legend_domain.xndcmin = lay.legend_x1;
    t.legend_domain.xndcmax = lay.legend_x2;
    t.legend_domain.yndcmin = lay.y1;
    t.legend_domain.yndcmax = lay.y2;

    /* Heading over both panels. */
    cpgsvp(lay.heading_x1, lay.heading_x2, lay.y1, lay.y2);
    cpgsch(t.title_char_size);
    cpgslw(t.text_line_width);
    cpgmtxt("T", 1.0f, 0.5f, 0.5f, "Cuts of HALDE Sweep Data");
    cpgsch(t.label_char_size);
    const std::string energy_label = Format("%s (%s)", BIN_UNITS_STRING(pairs[0].at_theta->bin_units), "Flow Dir");
    cpgmtxt("B", 2.2f, 0.5f, 0.5f, energy_label.c_str());
    t.xlabel = " ";
    t.title = " ";
    t.title_just = 1.0f;
    t.title_disp = 1.0f;
    t.YoNXnumlab = NO;  /* the energy numbers follow both panels */

    /* Each pair owns an equal share of the legend's height. */
    const auto total = static_cast<float>(pairs.size());
    auto legend_height = [&](std::size_t m, float f) { return 1.0f - (static_cast<float>(m) + f) / total; };
    auto style_curves = [&](const CutPair &p, std::size_t m) {
        t.colour = opt.colours[p.sweep];
        t.linestyle = opt.linestyles[lay.angle_styles ? p.angle : p.sweep];
        t.line_width = static_cast<int>(lay.widths_per_sweep ? opt.linethicknesses[p.sweep] : opt.linethickness);
        if (m > 0)
            t.YoNbox = NO;
    };

    /* Right-hand panel: the cuts at theta, with the lineage legend. */
    SetPanel(t, lay.right_x1, lay.right_x2, lay.y1, lay.y2);
    t.plot_domain.xworldmin = xmin;
    t.plot_domain.xworldmax = xmax;
    t.YoNYnumlab = NO;
    t.YoNlegendbox = NO;
    for (std::size_t m = 0; m < pairs.size(); ++m) {
        CutPair &p = pairs[m];
        style_curves(p, m);
        const NURV_LINEAGE_S &lin = *p.at_theta->lineage;
        const char *texts[4] = {lin.mission, lin.experiment, lin.instrument, lin.virtual_inst};
        for (int k = 0; k < 4; ++k) {
            t.x = k == 0 ? p.at_theta->ecen : nullptr;
            t.y = k == 0 ? p.at_theta->psd1D : nullptr;
            t.npts = k == 0 ? p.at_theta->n_lev : 0;
            t.legend_text = texts[k];
            t.legend_just = legend_height(m, lay.lineage_f[k]);
            PGXYtrace_plot(&t);
            t.YoNbox = NO;  /* one frame, with its numbers, for the panel */
        }
    }

    /* Left-hand panel: the opposite cuts, energy rising to the left, with
     * the time legend. */
    SetPanel(t, lay.left_x1, lay.left_x2, lay.y1, lay.y2);
    t.plot_domain.xworldmin = xmax;
    t.plot_domain.xworldmax = xmin;
    t.title = " ";
    t.YoNYnumlab = YES;
    const std::string value_label = PSD_UNITS_STRING(pairs[0].at_theta->psd_units);
    t.ylabel = value_label.c_str();
    t.YoNbox = YES;
    for (std::size_t m = 0; m < pairs.size(); ++m) {
        CutPair &p = pairs[m];
        style_curves(p, m);
        const Calendar b = CalendarOf(p.opposite->starttime);
        const std::string start = Format(lay.start_format, static_cast<double>(p.theta), b.year, b.month, b.day,
                                         b.hour, b.minute, b.second, b.msec);
        t.x = p.opposite->ecen;
        t.y = p.opposite->psd1D;
        t.npts = p.opposite->n_lev;
        t.legend_text = start.c_str();
        t.legend_just = legend_height(m, lay.start_f);
        PGXYtrace_plot(&t);
        t.YoNbox = NO;
        if (lay.end_time_line) {
            const Calendar e = CalendarOf(p.opposite->endtime);
            const std::string end = Format("-> %4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d.%3.3d", e.year, e.month, e.day,
                                           e.hour, e.minute, e.second, e.msec);
            t.x = nullptr;
            t.y = nullptr;
            t.npts = 0;
            t.legend_text = end.c_str();
            t.legend_just = legend_height(m, lay.end_f);
            PGXYtrace_plot(&t);
        }
    }
    EnergyNumbers(lay, t, xmin, xmax, ymin, ymax);
}

} // namespace

PGSpectro_ret Set_Sweep_cut_options_default(SWEEP_CUT_OPTIONS *scopp)
{
    scopp->linethickness = 1.0f;
    scopp->xlinlog = PGSPECTRO_LOG;
    scopp->ylinlog = PGSPECTRO_LOG;
    scopp->yautoscale = YES;
    scopp->xautoscale = YES;
    scopp->xmin = 1.0f;
    scopp->xmax = 10.0f;
    scopp->ymin = 1.0f;
    scopp->ymax = 10.0f;
    scopp->xndcmin = 0.1f;
    scopp->xndcmax = 0.9f;
    scopp->yndcmin = 0.1f;
    scopp->yndcmax = 0.9f;
    scopp->pg_device = "/xser";
    return PGSPECTRO_OK;
}

PGSpectro_ret Sweep_n_cuts_plot(HALDE_SWEEP **swpp, int nswps, float *thetas, SWEEP_CUT_OPTIONS *scutopt)
{
    if (nswps < 1) {
        std::printf("Sweep_cuts_plot: zero sweeps requested!\n");
        return PGSPECTRO_TRACE_ERROR;
    }
    if (scutopt->nswps != nswps) {
        std::printf("Sweep_cuts_plot: nswps differs from that in scutop\n");
        return PGSPECTRO_TRACE_ERROR;
    }
    if (!SameUnits(swpp, nswps))
        return PGSPECTRO_TRACE_ERROR;
    std::vector<CutPair> pairs = MakeCuts(swpp, nswps, thetas, 1, true);
    if (pairs.empty() || !HaveDevice(*scutopt))
        return PGSPECTRO_TRACE_ERROR;
    const plots::BufferedOutput held;

    DrawnRanges(swpp, pairs, true, scutopt);

    const float x0 = scutopt->xndcmin;
    const float w = scutopt->xndcmax - scutopt->xndcmin;
    Layout lay{};
    lay.heading_x1 = x0;
    lay.heading_x2 = x0 + 0.625f * w;
    lay.left_x1 = x0;
    lay.left_x2 = x0 + 0.3125f * w;
    lay.right_x1 = x0 + 0.3125f * w;
    lay.right_x2 = x0 + 0.625f * w;
    lay.legend_x1 = x0 + 0.6875f * w;
    lay.legend_x2 = scutopt->xndcmax;
    lay.y1 = scutopt->yndcmin;
    lay.y2 = scutopt->yndcmax;
    lay.scale_text = true;
    lay.widths_per_sweep = true;
    lay.angle_styles = false;
    lay.end_time_line = true;
    lay.lineage_f[0] = 0.143f;
    lay.lineage_f[1] = 0.286f;
    lay.lineage_f[2] = 0.429f;
    lay.lineage_f[3] = 0.571f;
    lay.start_f = 0.714f;
    lay.end_f = 0.857f;
    lay.start_format = "Cut %4.2g\xb0: %4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d.%3.3d";
    Draw(swpp, pairs, *scutopt, lay, scutopt->xmin, scutopt->xmax, scutopt->ymin, scutopt->ymax);
    return PGSPECTRO_OK;
}

PGSpectro_ret Sweep_cuts_plot(HALDE_SWEEP **swpp, int nswps, float *thetas, int ncuts, SWEEP_CUT_OPTIONS *scutopt)
{
    if (nswps < 1 || ncuts < 1) {
        std::printf("Sweep_cuts_plot: zero sweeps or cuts requested!\n");
        return PGSPECTRO_TRACE_ERROR;
    }
    if (scutopt->nswps != nswps || scutopt->ncuts != ncuts) {
        std::printf("Sweep_cuts_plot: nswps or ncuts differ from those in scutop\n");
        return PGSPECTRO_TRACE_ERROR;
    }
    if (!SameUnits(swpp, nswps))
        return PGSPECTRO_TRACE_ERROR;
    std::vector<CutPair> pairs = MakeCuts(swpp, nswps, thetas, ncuts, false);
    if (pairs.empty() || !HaveDevice(*scutopt))
        return PGSPECTRO_TRACE_ERROR;

    DrawnRanges(swpp, pairs, false, scutopt);

    Layout lay{};
    lay.heading_x1 = 0.1f;
    lay.heading_x2 = 0.6f;
    lay.left_x1 = 0.1f;
    lay.left_x2 = 0.35f;
    lay.right_x1 = 0.35f;
    lay.right_x2 = 0.6f;
    lay.legend_x1 = 0.65f;
    lay.legend_x2 = 0.9f;
    lay.y1 = 0.1f;
    lay.y2 = 0.9f;
    lay.scale_text = false;
    lay.widths_per_sweep = false;
    lay.angle_styles = true;
    lay.end_time_line = false;
    lay.lineage_f[0] = 0.167f;
    lay.lineage_f[1] = 0.333f;
    lay.lineage_f[2] = 0.5f;
    lay.lineage_f[3] = 0.667f;
    lay.start_f = 0.833f;
    lay.end_f = 0.0f;
    lay.start_format = "Cut %4.2g\xb0: %4d-%02d-%02d %02d:%02d:%02d.%03d";
    Draw(swpp, pairs, *scutopt, lay, scutopt->xmin, scutopt->xmax, scutopt->ymin, scutopt->ymax);
    return PGSPECTRO_OK;
}
