/* The drawing layer: binned spectrograms, polar wheels of annular-sector
 * bins, XY traces with a legend, colour tables and a colour wedge, drawn with
 * PGPLOT on the device that is open.  It knows nothing of sweeps or
 * instruments.
 *
 * Each picture is described by one parameter record: fill it with the
 * record's defaults first, then override field by field.  A record borrows
 * every array and text it points to; nothing here frees a caller's array or
 * text.  The default texts all point to one shared constant " ".
 *
 * Flags of type Yes_or_No are on when they hold YES (0): always compare with
 * YES or NO, never read a flag as a truth value. */
#pragma once

/* Flags of the layer: YES is 0. */
typedef enum Yes_or_No_e : int { YES = 0, NO = 1 } Yes_or_No;

typedef enum PGSpectro_linlog_e : int { PGSPECTRO_LIN = 0, PGSPECTRO_LOG = 1 } PGSpectro_linlog;

/* Colour tables (see set_pgp_rainbow). */
typedef enum PGSpectro_col_e : int {
    PGSPECTRO_RAINBOW = 0,
    PGSPECTRO_GRAY_WHITE_LOW = 1,
    PGSPECTRO_GRAY_WHITE_HIGH = 2,
    PGSPECTRO_INV_RED_BLUE = 3,
    PGSPECTRO_RED_BLUE = 4,
    PGSPECTRO_EARTH = 5
} PGSpectro_col;

/* Results of the drawing operations and of the sweep plots. */
typedef enum PGSpectro_ret_e : int {
    PGSPECTRO_OK = 0,                 /* drawn */
    PGSPECTRO_NO_DEVICE = 1,          /* no PGPLOT device open: nothing drawn */
    PGSPECTRO_MALLOC_FAILURE = 2,     /* a work array could not be allocated */
    PGSPECTRO_MIRVEK_INCONGRUENT = 3, /* sweeps of a stack differ in shape */
    PGSPECTRO_SIZE_ERROR = 4,         /* a stack's sizes are unusable */
    PGSPECTRO_TRACE_ERROR = 5         /* a cut plot could not build its traces */
} PGSpectro_ret;

/* PGPLOT colour indices. */
typedef enum QPGLine_colour_e : int {
    QPGWHITE = 0,
    QPGBLACK = 1,
    QPGRED = 2,
    QPGGREEN = 3,
    QPGBLUE = 4,
    QPGCYAN = 5,
    QPGMAGENTA = 6,
    QPGYELLOW = 7,
    QPGORANGE = 8,
    QPGYELLOWGREEN = 9
} QPGLine_colour;

/* PGPLOT line styles. */
typedef enum QPGLinestyle_e : int {
    QPGSOLID = 1,
    QPGDASHED = 2,
    QPGDASHDOT = 3,
    QPGDOT = 4,
    QPGDASHDOTDOTDOT = 5
} QPGLinestyle;

/* PGPLOT marker numbers. */
typedef enum QPGSymbol_e : int {
    QPGPOINT = 1,
    QPGPLUS = 2,
    QPGSTAR = 3,
    QPGCIRCLE = 4,
    QPGCROSS = 5,
    QPGSQUARE = 6,
    QPGTRIANGLE = 7,
    QPGDIAMOND = 11,
    QPGFILLEDTRIANGLE = 13,
    QPGFILLEDSQUARE = 16,
    QPGFILLEDCIRCLE = 17,
    QPGFILLEDSTAR = 18
} QPGSymbol;

/* World and normalised-device extent of one panel.  For a time axis the
 * world x range is seconds since the first day's midnight. */
typedef struct PGSpectro_domain_s {
    float xworldmin, xworldmax; /* 1.0, 10.0 */
    float yworldmin, yworldmax; /* 1.0, 10.0 */
    float xndcmin, xndcmax;     /* 0.1, 0.85 */
    float yndcmin, yndcmax;     /* 0.1, 0.9 */
} PGSpectro_domain;

/* The colour wedge beside a panel; distances in character heights. */
typedef struct PGSpectro_wedge_s {
    float disp;        /* gap between panel and wedge: 1.5 */
    float width;       /* wedge width: 1.5 */
    const char *label; /* " " */
} PGSpectro_wedge;

/* One spectrogram panel.  z is x-major: x bin i, y bin j at i * ny + j. */
typedef struct PGSpectro_s {
    float *z;
    float *xbinlow, *xbinhigh; /* [nx], world units */
    float *ybinlow, *ybinhigh; /* [ny] */
    int nx, ny;
    float zscalemin, zscalemax; /* colour scale ends in data units, also for a log scale */
    float zmissing;             /* marks a missing cell: -1e31 */
    Yes_or_No skip_missing;     /* YES: missing cells painted in colour index 0 */
    const char *xlabel, *ylabel, *title, *subtitle;
    PGSpectro_col color_table;
    PGSpectro_domain domain;
    PGSpectro_wedge wedge;
    PGSpectro_linlog xlinlog, ylinlog, zlinlog;
    Yes_or_No xnums, ynums;    /* numeric labels on the axes */
    Yes_or_No ylabel_vert;     /* YES: y label alone on the left, perpendicular to the axis */
    Yes_or_No draw_wedge;
    Yes_or_No timex;           /* YES: x is a time of day in seconds */
    const char *datestart, *dateend; /* dates written under a time axis */
    Yes_or_No xgapfill;        /* YES: widen a cell across a gap of up to xgapsize */
    float xgapsize;
    float char_size;           /* character height of box and labels: 0.7 */
} PGSpectro;

/* Radius range and normalised-device extent of a wheel. */
typedef struct PGWheel_domain_s {
    float rmin, rmax;       /* 0.0, 10.0 */
    float xndcmin, xndcmax; /* 0.15, 0.8 */
    float yndcmin, yndcmax; /* 0.15, 0.8 */
} PGWheel_domain;

/* One polar wheel.  z is radius-major: radial bin i, angular bin j at
 * i * nth + j; angles in degrees counter-clockwise from +x. */
typedef struct PGWheel_s {
    float *z;
    float *rbinlow, *rbinhigh;   /* [nr] */
    float *thbinlow, *thbinhigh; /* [nth] */
    int nr, nth;
    float *rcircles; /* [ncircles] radii of dashed reference circles */
    int ncircles;
    float zscalemin, zscalemax;
    float zmissing;
    Yes_or_No skip_missing;
    const char *xlabel, *ylabel;
    const char *title, *suptitle, *supsuptitle, *subtitle, *subsubtitle;
    PGSpectro_col color_table;
    PGWheel_domain domain;
    PGSpectro_wedge wedge;
    PGSpectro_linlog rlinlog, zlinlog;
    Yes_or_No rnums;  /* numeric labels on the radius scales */
    float title_just; /* 0 left, 0.5 centre, 1 right */
    float text_scale; /* character height of the wheel's texts */
} PGWheel;

/* One XY trace with its frame and legend entry. */
typedef struct PGXYtrace_s {
    float *x, *y; /* [npts] */
    int npts;
    QPGLine_colour colour;
    QPGLinestyle linestyle;
    int line_width;
    QPGSymbol symbol;
    Yes_or_No YoNline, YoNsymbol; /* draw the polyline; draw markers */
    int symbol_size;
    float ymissing;               /* kept for callers; no drawing reads it */
    Yes_or_No skip_ymissing;      /* kept for callers; no drawing reads it */
    PGSpectro_domain plot_domain;
    PGSpectro_domain legend_domain; /* NDC extent of the legend; its window is 0..1 */
    const char *subtitle, *subsubtitle, *xlabel, *ylabel, *title;
    Yes_or_No Xtextlab_bot;  /* x label below (YES) or above (NO) */
    Yes_or_No Ytextlab_left; /* y label left (YES) or right (NO) */
    float title_just;
    float title_disp, subtitle_disp, subsubtitle_disp; /* above the box, character heights */
    float label_char_size, title_char_size;
    int text_line_width;
    Yes_or_No YoNbox;                 /* box, numbers, titles and labels */
    Yes_or_No YoNXnumlab, YoNYnumlab; /* numbers and axis label on x, on y */
    Yes_or_No Ynumlab_left, Xnumlab_bot;
    PGSpectro_linlog xlinlog, ylinlog;
    float tick_length;  /* character height while box and ticks are drawn */
    int box_thickness;  /* line width of the box and the legend frame */
    Yes_or_No timex;
    const char *datestart, *dateend;
    float legend_text_char_size;
    Yes_or_No YoNlegend, YoNlegendbox;
    float legend_just;             /* height of the entry in the legend box, 0..1 */
    float legend_line_length_frac; /* line sample length, fraction of legend width */
    const char *legend_text;
} PGXYtrace;

/* Defaults.  The array pointers of the records are left as they are. */
void PGSpectro_set_defaults(PGSpectro *spec);
void PGSpectro_domain_set_defaults(PGSpectro_domain *domain);
void PGWheel_set_defaults(PGWheel *wheel);
void PGWheel_domain_set_defaults(PGWheel_domain *domain);
/* The plot takes the left 60% of the default width, the legend starts a
 * tenth of it further right; always PGSPECTRO_OK. */
PGSpectro_ret PGXYtrace_set_defaults(PGXYtrace *trace);

/* log10(x) for x >= 1e-33, else -33.0 (zero and negative values too).
 * Every logarithm of the plots and of the sweep binning goes through it. */
double SafeLog10(double x);

/* The character height size, or the least height at which a text stays
 * legible on the open device (2.4 mm, some 8 pixels of a GIF page) when
 * size is smaller: on a page of small panels a height in the device's
 * relative units would leave texts a few pixels high.  size itself without
 * an open device. */
float PGSpectro_legible_char_size(float size);

/* ---- Colour tables and wedge ------------------------------------------------ */

/* Loads a colour ramp into the device's colour-index range, narrowed to at
 * most 256 indices starting at its low end, and returns the number of indices
 * n in it.  Any table outside 1..5 gives the rainbow.  A range of a single
 * index gets the ramp's start colour. */
int set_pgp_rainbow(PGSpectro_col color_table);

/* Draws the colour bar of the device's colour-index range to the right of the
 * current viewport, with its scale (numbers on the right, powers of ten for
 * PGSPECTRO_LOG) and wedge.label on its left.  zscalemin and zscalemax are in
 * the units of the colour axis (logarithms for a logarithmic one).  Viewport,
 * window and colour index are restored afterwards.  Equal ends are widened
 * by one unit either way (a decade on a logarithmic scale) about their value,
 * as the pictures widen their colour scales. */
void spectro_wedge(PGSpectro_wedge wedge, float zscalemin, float zscalemax, PGSpectro_linlog lin_log);

/* ---- Pictures ------------------------------------------------------------------ */
/* Each sets the viewport, window, colour and character height it needs and
 * leaves them in force.  Values are painted in colour indices from 16 up;
 * a recognised missing value, and any NaN, in the background colour 0.  A
 * colour scale whose ends are equal (after taking logarithms, for a
 * logarithmic scale) is widened by one unit either way about that value,
 * which on a logarithmic scale is a decade, so the value takes the middle
 * colour.  A device with a single colour paints every value in index 16. */

/* One binned spectrogram panel: PGSPECTRO_OK, PGSPECTRO_NO_DEVICE (nothing
 * drawn) or PGSPECTRO_MALLOC_FAILURE.  The record is only read. */
PGSpectro_ret PGSpectro_Plot(PGSpectro *spectro);

/* One polar wheel: PGSPECTRO_OK, PGSPECTRO_NO_DEVICE (nothing drawn) or
 * PGSPECTRO_MALLOC_FAILURE.  The record and its arrays are only read. */
PGSpectro_ret PGWheel_Plot(PGWheel *wheel);
/* The second half of a two-sweep wheel, over the wheel PGWheel_Plot drew
 * last in the same viewport: its bins, the scales' lines and ticks (which
 * its bins cover), its reference circles and its title lines.  The axis
 * labels, scale numbers and wedge are the first half's, drawn once.
 * Statuses as PGWheel_Plot. */
PGSpectro_ret PGWheel_Plot_half(PGWheel *wheel);
/* Fills, in the current colour, the annular sector between radii rlo and rhi
 * and angles thlo and thhi (degrees) of the current window. */
void arc(float rlo, float rhi, float thlo, float thhi);

/* One XY trace, with its frame when YoNbox is YES and its legend entry when
 * YoNlegend is YES; PGPLOT's attributes are restored, viewport and window
 * are left as set.  Needs an open device; always PGSPECTRO_OK. */
PGSpectro_ret PGXYtrace_plot(PGXYtrace *t);
/* The trace's entry in the legend box: line sample, marker and text. */
PGSpectro_ret PGXYtrace_legend(PGXYtrace *t);
