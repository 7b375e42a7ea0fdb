/* The sweep plots: one sweep, or two sweeps as the halves of one wheel;
 * a time series of sweeps as an energy-angle-time stack of spectrogram
 * panels; 1D cuts of sweeps as traces with a legend.
 *
 * Every plot draws on the PGPLOT device that is open.  The wheel and cut
 * plots open their options' device only when none is open, and leave it
 * open.  The caller's sweeps are only read: they are the same after a plot. */
#pragma once

#include "PGSpectro.h"
#include "Qsweep_spin.h"

/* ---- Wheels ------------------------------------------------------------------ */

/* Options of the wheel plots; autoscaled ranges are written back. */
typedef struct SWEEP_WHEEL_OPTIONS_S {
    PGSpectro_col color_table;  /* PGSPECTRO_RAINBOW */
    PGSpectro_linlog zlinlog;   /* colour scaling: PGSPECTRO_LOG */
    PGSpectro_linlog rlinlog;   /* radius scaling: PGSPECTRO_LOG */
    Yes_or_No zautoscale;       /* YES: colour range from the data into zmin, zmax */
    Yes_or_No rautoscale;       /* YES: radius range from the levels into rmin, rmax */
    Yes_or_No skip_missing;     /* YES: missing bins in the background colour */
    float zmin, zmax;           /* colour range, data units: 1.0, 10.0 */
    float rmin, rmax;           /* radius range, data units: 1.0, 10.0 */
    float xndcmin, xndcmax;     /* 0.1, 0.8 */
    float yndcmin, yndcmax;     /* 0.15, 0.8 */
    float title_just;           /* 0.5 */
    float text_scale;           /* 1.0 */
    const char *pg_device;      /* opened when no device is open: "/Xserv" */
} SWEEP_WHEEL_OPTIONS;

void Set_sweep_wheel_options_default(SWEEP_WHEEL_OPTIONS *swop);

/* One sweep as a wheel: radius is level, angle the polar direction (0 up).
 * Returns PGWheel_Plot's result, PGSPECTRO_MALLOC_FAILURE, or
 * PGSPECTRO_SIZE_ERROR for a missing sweep or one without bins.  May write
 * zmin, zmax, rmin, rmax of swop; zmin, zmax are then the colour range drawn.
 * A logarithmic colour scale is autoscaled from the present values above
 * zero; with none it keeps swop's range and says so in one line.  Equal
 * ends of the colour range are widened about their value (a decade either
 * way on a logarithmic scale, one unit on a linear one). */
PGSpectro_ret Sweep_wheel_plot(HALDE_SWEEP *swpp, SWEEP_WHEEL_OPTIONS *swop);

/* The primary on the left half of one wheel, the secondary mirrored onto the
 * right half on the primary's ranges.  0, or -501 when a sweep is null, the
 * primary has no bins (both refused before any device is opened), the
 * device cannot be opened or the primary cannot be drawn.  Leaves swop with
 * title_just 0, both autoscale flags NO and the primary's ranges. */
int PlotTwoSweeps(HALDE_SWEEP *swp_pri, HALDE_SWEEP *swp_sec, SWEEP_WHEEL_OPTIONS *swop);

/* ---- Energy-angle-time stack ------------------------------------------------ */

/* The stack of nswp time-ordered congruent sweeps in the NDC extent of
 * pgspec: an azimuth panel at the bottom, one angle-time panel per level
 * above it and one wedge.  PGSPECTRO_OK, PGSPECTRO_MIRVEK_INCONGRUENT (nothing
 * drawn), PGSPECTRO_SIZE_ERROR (no sweeps or sweeps without bins; nothing
 * drawn), PGSPECTRO_MALLOC_FAILURE or a level panel's failure.  Equal ends
 * of pgspec's colour range are first widened about their value (a decade
 * either way on a logarithmic scale, one unit on a linear one), so that its
 * zscalemin and zscalemax are the range drawn.  Afterwards pgspec keeps the
 * geometry and flags of the last panel; its texts point at the shared " "
 * and its five arrays are null. */
PGSpectro_ret Mirvek_plot(HALDE_SWEEP **swps, int nswp, PGSpectro *pgspec, NURV_TIME_S nur_start,
                          NURV_TIME_S nur_end);
/* The colour range of a stack on a logarithmic scale: the smallest and
 * largest present value above zero over all nswp sweeps (a value is present
 * when it is not its sweep's missing value and not NaN), capped at a tenth
 * of the largest float like sweeps_autoscaler's.  1 when there is such a
 * value; 0 when there is none, *psdmin and *psdmax keeping what they hold,
 * after one line that says so.  (A linear scale takes sweeps_autoscaler.) */
int sweeps_log_autoscaler(HALDE_SWEEP **swppp, int nswp, float *psdmin, float *psdmax);
/* Writes "yyyy-mm-dd" of start and end into the two buffers (20 characters
 * each), makes them the record's dates, sets its world x range to seconds
 * since the start day's midnight (returned in epoch_midnight) and turns on
 * its time axis. */
void mirvek_time_init(const NURV_TIME_S *start, const NURV_TIME_S *end, char *datestart, char *dateend,
                      PGSpectro *pgspec, double *epoch_midnight);
/* The azimuth range of each of the record's nx sweeps against time. */
void Mirvek_az_panel(PGSpectro *pgspec, HALDE_SWEEP **swps);
/* Viewport and window from the record's NDC and world extents. */
void Mirvek_set_vpt_win_from_pgs(PGSpectro *pgspec);
/* Level lev of the record's nx sweeps as a polar angle against time panel. */
PGSpectro_ret Mirvek_lev_panel(PGSpectro *pgspec, HALDE_SWEEP **swps, int lev);
/* z[i * nang + j] := value of sweep i < nswp at polar bin j, level lev;
 * PGSPECTRO_SIZE_ERROR when nang differs from the first sweep's n_sen or lev
 * is no level of it. */
PGSpectro_ret Mirvek_fill_angle_t_array(float *z, int nswp, int nang, HALDE_SWEEP **swps, int lev);
/* The record's five arrays for nx by ny cells; on failure the ones made are
 * freed (and nulled) and PGSPECTRO_MALLOC_FAILURE returned. */
PGSpectro_ret malloc_spectro_arrays(PGSpectro *pgspec, int nx, int ny);
/* Frees the record's non-null arrays and nulls the pointers. */
void free_spectro_arrays(PGSpectro *pgspec);

/* ---- 1D cuts ------------------------------------------------------------------ */

/* Options of the cut plots; autoscaled ranges are written back.  The count
 * and the four arrays are the caller's. */
typedef struct SWEEP_CUT_OPTIONS_S {
    int nswps;                      /* must equal the count passed to the plot */
    QPGLine_colour *colours;        /* [nswps] colour of each sweep's curves */
    int ncuts;                      /* cut angles (Sweep_cuts_plot only) */
    QPGLinestyle *linestyles;       /* [nswps] style of each sweep's curves (Sweep_cuts_plot: [ncuts], of each angle) */
    float linethickness;            /* line width of frames and texts, truncated: 1.0 */
    float *linethicknesses;         /* [nswps] line width of each sweep's curves, truncated */
    PGSpectro_linlog xlinlog;       /* energy axis: PGSPECTRO_LOG */
    PGSpectro_linlog ylinlog;       /* value axis: PGSPECTRO_LOG */
    Yes_or_No yautoscale;           /* YES: value range from the cuts into ymin, ymax */
    Yes_or_No xautoscale;           /* YES: energy range from the cuts into xmin, xmax */
    float xmin, xmax;               /* 1.0, 10.0 */
    float ymin, ymax;               /* 1.0, 10.0 */
    float xndcmin, xndcmax;         /* NDC extent of the whole picture: 0.1, 0.9 */
    float yndcmin, yndcmax;         /* 0.1, 0.9 */
    const char *pg_device;          /* opened when no device is open: "/xser" */
} SWEEP_CUT_OPTIONS;

/* Writes the defaults; always PGSPECTRO_OK. */
PGSpectro_ret Set_Sweep_cut_options_default(SWEEP_CUT_OPTIONS *scopp);

/* For each sweep i, its cut at thetas[i] degrees on the right-hand panel
 * (energy rising to the right) and at 180 - thetas[i] on the left-hand
 * panel (energy rising to the left), with a legend of lineages and times.
 * PGSPECTRO_OK, or PGSPECTRO_TRACE_ERROR with a message and nothing drawn
 * (no sweeps, a count unlike the options', units that differ, a device that
 * cannot be opened, a sweep that cannot be cut).  Leaves in xmin, xmax,
 * ymin, ymax of scutopt the ranges drawn: autoscaled when asked (a
 * logarithmic axis from the present values above zero only; with none, or
 * with no present value at all, the options' range is kept after one line),
 * energies below 0 replaced by 0.1 and 1.0, equal ends widened about their
 * value (a decade either way on a logarithmic axis, one unit on a linear
 * one). */
PGSpectro_ret Sweep_n_cuts_plot(HALDE_SWEEP **swpp, int nswps, float *thetas, SWEEP_CUT_OPTIONS *scutopt);

/* The older layout: every sweep cut at each of the ncuts angles, colour by
 * sweep and line style by angle, on a fixed layout. */
PGSpectro_ret Sweep_cuts_plot(HALDE_SWEEP **swpp, int nswps, float *thetas, int ncuts,
                              SWEEP_CUT_OPTIONS *scutopt);
