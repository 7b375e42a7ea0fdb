/* The energy-angle-time stack: a time series of congruent sweeps drawn as
 * spectrogram panels sharing one time axis, an azimuth panel at the bottom
 * and one polar-angle panel per level above it, with one wedge. */
#include "Velora_plot.h"
#include "plots_int.h"

#include <cpgplot.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using plots::Format;

/* The one text the record's fields are left pointing at. */
constexpr const char *kBlank = " ";

float Secs(const NURV_TIME_S &t, double epoch_midnight)
{
    return static_cast<float>(nurv_time_to_epoch_secs(&t) - epoch_midnight);
}

/* Leaves no pointer into this call's texts or arrays in the caller's record. */
void ForgetCallState(PGSpectro *pgspec)
{
    free_spectro_arrays(pgspec);
    pgspec->datestart = kBlank;
    pgspec->dateend = kBlank;
    pgspec->title = kBlank;
    pgspec->subtitle = kBlank;
    pgspec->ylabel = kBlank;
    pgspec->wedge.label = kBlank;
}

} // namespace

PGSpectro_ret malloc_spectro_arrays(PGSpectro *pgspec, int nx, int ny)
{
    const auto x = static_cast<std::size_t>(nx > 0 ? nx : 0);
    const auto y = static_cast<std::size_t>(ny > 0 ? ny : 0);
    /* At least one element each, so that a null pointer always means a
     * failed allocation. */
    auto floats = [](std::size_t n) { return static_cast<float *>(std::malloc((n > 0 ? n : 1) * sizeof(float))); };
    pgspec->xbinlow = floats(x);
    pgspec->xbinhigh = floats(x);
    pgspec->ybinlow = floats(y);
    pgspec->ybinhigh = floats(y);
    pgspec->z = floats(x * y);
    if (pgspec->xbinlow && pgspec->xbinhigh && pgspec->ybinlow && pgspec->ybinhigh && pgspec->z)
        return PGSPECTRO_OK;
    free_spectro_arrays(pgspec);
    return PGSPECTRO_MALLOC_FAILURE;
}

void free_spectro_arrays(PGSpectro *pgspec)
{
    for (float **p : {&pgspec->xbinlow, &pgspec->xbinhigh, &pgspec->ybinlow, &pgspec->ybinhigh, &pgspec->z}) {
        std::free(*p);
        *p = nullptr;
    }
}

int sweeps_log_autoscaler(HALDE_SWEEP **swppp, int nswp, float *psdmin, float *psdmax)
{
    constexpr float kBig = 3.4028234663852886e+37f;
    plots::ShownRange shown(PGSPECTRO_LOG);
    for (int i = 0; i < nswp; ++i) {
        const HALDE_SWEEP *s = swppp[i];
        if (s == nullptr || s->psd == nullptr || s->n_sen < 1 || s->n_lev < 1)
            continue;
        const std::size_t n = static_cast<std::size_t>(s->n_sen) * static_cast<std::size_t>(s->n_lev);
        for (std::size_t k = 0; k < n; ++k)
            shown.Take(s->psd[k], s->missing_value);
    }
    if (!shown.found()) {
        plots::PrintRangeKept("sweeps_log_autoscaler", "colour scale", *psdmin, *psdmax);
        return 0;
    }
    *psdmin = std::fmin(shown.lo(), kBig);
    *psdmax = std::fmin(shown.hi(), kBig);
    return 1;
}

void mirvek_time_init(const NURV_TIME_S *start, const NURV_TIME_S *end, char *datestart, char *dateend,
                      PGSpectro *pgspec, double *epoch_midnight)
{
    constexpr std::size_t kDateLen = 20;
    int month = 0, day = 0;
    QanYearDoyToDate(start->year, start->doy, &month, &day);
    std::snprintf(datestart, kDateLen, "%4d-%02d-%02d", start->year, month, day);
    *epoch_midnight = QEpochSecs(start->year, month, day, 0, 0, 0, 0);
    int end_month = 0, end_day = 0;
    QanYearDoyToDate(end->year, end->doy, &end_month, &end_day);
    std::snprintf(dateend, kDateLen, "%4d-%02d-%02d", end->year, end_month, end_day);
    pgspec->datestart = datestart;
    pgspec->dateend = dateend;
    pgspec->domain.xworldmin = Secs(*start, *epoch_midnight);
    pgspec->domain.xworldmax = Secs(*end, *epoch_midnight);
    pgspec->timex = YES;
}

void Mirvek_set_vpt_win_from_pgs(PGSpectro *pgspec)
{
    const PGSpectro_domain &d = pgspec->domain;
    cpgsvp(d.xndcmin, d.xndcmax, d.yndcmin, d.yndcmax);
    cpgswin(d.xworldmin, d.xworldmax, d.yworldmin, d.yworldmax);
}

void Mirvek_az_panel(PGSpectro *pgspec, HALDE_SWEEP **swps)
{
    pgspec->domain.yworldmin = 0.0f;
    pgspec->domain.yworldmax = 360.0f;
    Mirvek_set_vpt_win_from_pgs(pgspec);
    cpgsci(1);
    cpgmtxt("B", 2.5f, 0.0f, 0.5f, pgspec->datestart);
    if (std::string(pgspec->datestart) != pgspec->dateend)
        cpgmtxt("B", 2.5f, 1.0f, 1.0f, pgspec->dateend);
    cpgmtxt("B", 2.5f, 0.5f, 0.5f, "UT");
    cpgmtxt("L", 4.5f, 0.5f, 0.5f, "Flow Az");
    /* Azimuth numbers as PGPLOT spaces them (every 100 degrees) where the
     * panel is tall enough, else every 180 or 360 degrees, else none: a
     * panel of a stack of many levels is lower than four numbers are. */
    float vx1, vx2, vy1, vy2, xch, ych;
    cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
    cpgqcs(0, &xch, &ych);
    const float room = 1.3f * ych;
    float step = 0.0f;
    std::string yopt = "BCTSNV";
    if ((vy2 - vy1) * 100.0f / 360.0f < room) {
        step = (vy2 - vy1) / 2.0f >= room ? 180.0f : 360.0f;
        if (vy2 - vy1 < room)
            yopt = "BCTS";
    }
    cpgtbox("BCTSNZXHO", 0.0f, 0, yopt.c_str(), step, 0);
    /* Each sweep's azimuth rises with time from phi_lo; a range through 360
     * degrees runs up to the top of the panel and on from its foot, rather
     * than back down across the panel. */
    for (int i = 0; i < pgspec->nx; ++i) {
        const float x0 = pgspec->xbinlow[i], x1 = pgspec->xbinhigh[i];
        float centre = 0, half = 0;
        az_range_centre_half(swps[i]->phi_lo, swps[i]->phi_hi, &centre, &half);
        const double lo = mod360(swps[i]->phi_lo);
        const double top = lo + 2.0 * static_cast<double>(half);
        if (top <= 360.0) {
            const float x[2] = {x0, x1};
            const float y[2] = {static_cast<float>(lo), static_cast<float>(top)};
            cpgline(2, x, y);
            continue;
        }
        const auto xturn = static_cast<float>(x0 + (x1 - x0) * (360.0 - lo) / (top - lo));
        const float xa[2] = {x0, xturn};
        const float ya[2] = {static_cast<float>(lo), 360.0f};
        cpgline(2, xa, ya);
        const float xb[2] = {xturn, x1};
        const float yb[2] = {0.0f, static_cast<float>(top - 360.0)};
        cpgline(2, xb, yb);
    }
}

PGSpectro_ret Mirvek_fill_angle_t_array(float *z, int nswp, int nang, HALDE_SWEEP **swps, int lev)
{
    const HALDE_SWEEP &first = *swps[0];
    if (first.n_sen != nang) {
        std::printf("Mirvek_fill_angle_t_array: nang %d != n_sen %d\n", nang, first.n_sen);
        return PGSPECTRO_SIZE_ERROR;
    }
    if (lev < 0 || lev > first.n_lev - 1) {
        std::printf("Mirvek_fill_angle_t_array: lev %d out of range 0 - %d\n", lev, first.n_lev);
        return PGSPECTRO_SIZE_ERROR;
    }
    for (int i = 0; i < nswp; ++i) {
        const HALDE_SWEEP &s = *swps[i];
        for (int j = 0; j < nang; ++j)
            z[i * nang + j] = s.psd[j * s.n_lev + lev];
    }
    return PGSPECTRO_OK;
}

PGSpectro_ret Mirvek_lev_panel(PGSpectro *pgspec, HALDE_SWEEP **swps, int lev)
{
    Mirvek_set_vpt_win_from_pgs(pgspec);
    const PGSpectro_ret filled = Mirvek_fill_angle_t_array(pgspec->z, pgspec->nx, pgspec->ny, swps, lev);
    if (filled != PGSPECTRO_OK) {
        std::printf("ERROR in Mirvek_lev_panel: Mirvek_fill_angle_t_array returned %d\n", filled);
        return filled;
    }
    const HALDE_SWEEP &first = *swps[0];
    const std::string label = Format("%7.2g", 0.5 * (static_cast<double>(first.elo[lev]) + first.ehi[lev]));
    pgspec->ylabel = label.c_str();
    const PGSpectro_ret ret = PGSpectro_Plot(pgspec);
    pgspec->ylabel = kBlank;
    return ret;
}

PGSpectro_ret Mirvek_plot(HALDE_SWEEP **swps, int nswp, PGSpectro *pgspec, NURV_TIME_S nur_start,
                          NURV_TIME_S nur_end)
{
    if (swps == nullptr || nswp < 1) {
        std::printf("Mirvek_plot: no sweeps to plot\n");
        return PGSPECTRO_SIZE_ERROR;
    }
    for (int i = 0; i < nswp; ++i) {
        if (swps[i] == nullptr || swps[i]->n_sen < 1 || swps[i]->n_lev < 1) {
            std::printf("Mirvek_plot: sweep %d has no bins\n", i);
            return PGSPECTRO_SIZE_ERROR;
        }
    }
    for (int i = 0; i + 1 < nswp; ++i) {
        const int test = test_sweeps_congruent(swps[i], swps[i + 1]);
        if (test != 0) {
            std::printf("Mirvek_plot received incongruent sweeps at i=%d (test = %d),and failed\n", i, test);
            return PGSPECTRO_MIRVEK_INCONGRUENT;
        }
    }
    const plots::BufferedOutput held;
    const HALDE_SWEEP &first = *swps[0];
    plots::WidenEqualEnds(&pgspec->zscalemin, &pgspec->zscalemax, pgspec->zlinlog);

    char datestart[20];
    char dateend[20];
    double epoch_midnight = 0;
    mirvek_time_init(&nur_start, &nur_end, datestart, dateend, pgspec, &epoch_midnight);

    if (pgspec->char_size < 0)
        pgspec->char_size = 0.49f;
    cpgsch(pgspec->char_size);

    cpgsvp(pgspec->domain.xndcmin, pgspec->domain.xndcmax, pgspec->domain.yndcmin, pgspec->domain.yndcmax);
    set_pgp_rainbow(pgspec->color_table);
    const std::string wedge_label = PSD_UNITS_STRING(first.psd_units);
    pgspec->wedge.label = wedge_label.c_str();
    float zlo = pgspec->zscalemin;
    float zhi = pgspec->zscalemax;
    if (pgspec->zlinlog == PGSPECTRO_LOG) {
        zlo = static_cast<float>(SafeLog10(zlo));
        zhi = static_cast<float>(SafeLog10(zhi));
    }
    spectro_wedge(pgspec->wedge, zlo, zhi, pgspec->zlinlog);
    cpgmtxt("T", 1.0f, 0.0f, 1.0f, BIN_UNITS_STRING(first.bin_units));

    const PGSpectro_ret made = malloc_spectro_arrays(pgspec, nswp, first.n_sen);
    if (made != PGSPECTRO_OK) {
        std::printf("ERROR: malloc_spectro_arrays returned %d\n", made);
        ForgetCallState(pgspec);
        return made;
    }
    pgspec->nx = nswp;
    pgspec->ny = first.n_sen;

    pgspec->xlinlog = PGSPECTRO_LIN;
    for (int i = 0; i < nswp; ++i) {
        pgspec->xbinlow[i] = Secs(swps[i]->btime, epoch_midnight);
        pgspec->xbinhigh[i] = Secs(swps[i]->etime, epoch_midnight);
    }
    pgspec->ylinlog = PGSPECTRO_LIN;
    for (int j = 0; j < first.n_sen; ++j) {
        pgspec->ybinlow[j] = first.thlo[j];
        pgspec->ybinhigh[j] = first.thhi[j];
    }

    const float bottom = pgspec->domain.yndcmin;
    const int nlev = first.n_lev;
    const float h = (pgspec->domain.yndcmax - bottom) / static_cast<float>(nlev + 1);
    pgspec->domain.yndcmin = bottom;
    pgspec->domain.yndcmax = bottom + h;
    Mirvek_az_panel(pgspec, swps);

    pgspec->datestart = kBlank;
    pgspec->dateend = kBlank;
    pgspec->title = kBlank;
    pgspec->subtitle = kBlank;
    pgspec->xnums = NO;
    pgspec->ynums = NO;
    pgspec->draw_wedge = NO;
    pgspec->ylabel_vert = YES;
    /* 0 degrees at the bottom also for the reader's rows, which run from 180
     * degrees down. */
    const float angle_low = bins_lowest_edge(first.thlo, first.n_sen);
    const float angle_high = bins_highest_edge(first.thlo, first.thhi, first.n_sen);
    pgspec->domain.yworldmin = angle_low;
    pgspec->domain.yworldmax = angle_high;
    pgspec->skip_missing = YES;
    pgspec->zmissing = first.missing_value;
    const NURV_LINEAGE_S blank{};
    const NURV_LINEAGE_S &lin = first.lineage != nullptr ? *first.lineage : blank;
    const std::string title =
        Format("%s %s %s %s %s", lin.project, lin.mission, lin.experiment, lin.instrument, lin.virtual_inst);

    /* Panels from the lowest level at the bottom up, whichever way the
     * levels are listed. */
    const bool levels_fall = bins_fall(first.elo, nlev);
    for (int k = 0; k < nlev; ++k) {
        const int lev = levels_fall ? nlev - 1 - k : k;
        pgspec->domain.yndcmin = bottom + static_cast<float>(k + 1) * h;
        pgspec->domain.yndcmax = bottom + static_cast<float>(k + 2) * h;
        if (k == nlev - 1)
            pgspec->title = title.c_str();
        const PGSpectro_ret ret = Mirvek_lev_panel(pgspec, swps, lev);
        if (ret != PGSPECTRO_OK) {
            std::printf("Mirvek_lev_panel Failed on level %d returning %d\n", lev, ret);
            ForgetCallState(pgspec);
            return ret;
        }
    }
    cpgmtxt("R", 1.0f, 0.0f, 1.0f, Format("Flow %3.0f", static_cast<double>(angle_low)).c_str());
    cpgmtxt("R", 1.0f, 1.0f, 0.0f, Format("%3.0f", static_cast<double>(angle_high)).c_str());

    ForgetCallState(pgspec);
    return PGSPECTRO_OK;
}
