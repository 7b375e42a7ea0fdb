/* Times, lineages, units and bins of the sweep model.
 *
 * NURV_TIME_S stamps every sweep, spin, cut and exported data set;
 * NURV_LINEAGE_S names the data source a sweep came from and records what was
 * done to it.  All time arithmetic goes through epoch seconds: a double count
 * of seconds since 0000-01-01 00:00:00 on the proleptic Gregorian calendar.
 *
 * Plain functions over plain records: nothing here allocates, and nothing
 * keeps state except the buffer of velora_version_str. */
#pragma once

#include "PGSpectro.h"
#include "kombra_types.h"

#include <string>

/* ---- Times ---------------------------------------------------------------- */

/* A time; the routines normalise the fields only where they say so. */
typedef struct NURV_TIME_S {
    KOMBRA_SHORT year; /* four-digit year */
    KOMBRA_SHORT doy;  /* day of year, 1 = 1 January */
    KOMBRA_LONG sec;   /* seconds of the day, 0..86399 */
    KOMBRA_LONG nano;  /* nanoseconds within the second */
} NURV_TIME;

typedef enum NURV_TIME_COMPARE_E : int { T2_LATER = -1, SAME_TIME = 0, T1_LATER = 1 } NURV_TIME_COMPARE;

/* Days of each month: row 0 a common year, row 1 a leap year; column 0 is 0. */
extern const int qnur_days_in_month[2][13];

void to_nurv_time(int year, int doy, int hour, int minute, int second, int nano, NURV_TIME_S *out);
void to_hms_time(const NURV_TIME_S *t, int *hour, int *minute, int *second, int *nano);
void sec_nano_to_msec_nano(KOMBRA_LONG sec, KOMBRA_LONG nano, KOMBRA_LONG *msec, KOMBRA_LONG *nano_out);
void msec_nano_to_sec_nano(KOMBRA_LONG msec, KOMBRA_LONG nano, KOMBRA_LONG *sec, KOMBRA_LONG *nano_out);
/* Field-wise t1 - t2, not normalised (fields may be negative). */
NURV_TIME_S t1_minus_t2(const NURV_TIME_S *t1, const NURV_TIME_S *t2);
/* The first field that differs decides, in the order year, doy, sec, nano. */
NURV_TIME_COMPARE compare_nurv_time(const NURV_TIME_S *t1, const NURV_TIME_S *t2);

/* Month and day of a day of year; -1 and -1 for a day the year lacks. */
void QanYearDoyToDate(int year, int doy, int *month, int *day);
/* Day of year of a date (the day is not checked); -1 for a month outside 1..12. */
void QanDateToYearDoy(int year, int month, int day, int *doy);
/* Julian day number: 2451545 for 2000-01-01, 1721060 for 0000-01-01. */
long JulianDay(int year, int month, int day);
/* Epoch seconds of a calendar time, or -1.0 when a field is out of range. */
double QEpochSecs(int year, int month, int day, int hour, int minute, int second, int msec);
/* Epoch seconds of a time record (to the millisecond), -1.0 for a bad day. */
double nurv_time_to_epoch_secs(const NURV_TIME_S *t);
/* The time record of epoch seconds; all zeros for seconds <= 0. */
void epoch_secs_to_nurv_time(double secs, NURV_TIME_S *out);
/* Moves the time by secs in place (nanoseconds below the millisecond drop). */
void add_secs_to_nurv_time(NURV_TIME_S *t, float secs);

/* Prints "yyyy/ddd hh:mm:ss (n secs in day) and n nanosecs", no line end. */
void print_nurv_time(const NURV_TIME_S *t);

/* ---- Lineage ---------------------------------------------------------------- */

enum { NURV_LINEAGE_LEN = 100 }; /* size of each lineage text, NUL included */

/* The names of a sweep's data source; operations on the sweep append their
 * marks to them within the 100-character fields. */
typedef struct NURV_LINEAGE_S {
    char project[NURV_LINEAGE_LEN];
    char mission[NURV_LINEAGE_LEN];
    char experiment[NURV_LINEAGE_LEN];
    char instrument[NURV_LINEAGE_LEN];
    char virtual_inst[NURV_LINEAGE_LEN];
    char exten[NURV_LINEAGE_LEN];
    KOMBRA_USHORT vsn; /* the description's version number */
} NURV_LINEAGE;

/* Copies the six texts (at most 99 characters each, always terminated) and
 * vsn; src and dst may be the same record. */
void copy_lineage(NURV_LINEAGE_S *dst, const NURV_LINEAGE_S *src);
void print_nurv_lineage(const NURV_LINEAGE_S *lineage);

/* Appends mark to a lineage text when the text is shorter than room_below
 * characters; the result is cut to 99 characters.  Returns true when the mark
 * was appended. */
bool append_lineage_mark(char (&text)[NURV_LINEAGE_LEN], const char *mark, std::size_t room_below);
/* The mark of a scaling by mult: "x%4.2g", padded to width 4 as written
 * ("x 2.5", "x   2"), as stored files and titles carry it. */
std::string lineage_scale_mark(float mult);

/* ---- Spacecraft and version ------------------------------------------------ */

typedef enum SC_E : int {
    CLUSTER1 = 0,
    CLUSTER2 = 1,
    CLUSTER3 = 2,
    CLUSTER4 = 3,
    C1234 = 4,
    TC1 = 5,
    TC2 = 6
} SC;

/* "CLUSTER-1" .. "TC-2", "UNKNOWN" for any other value. */
const char *SC_NAME(int sc);
/* "Velora Software V3.6.1 October 2007", rewritten into one static buffer on
 * every call. */
char *velora_version_str();

/* ---- Units ------------------------------------------------------------------ */

/* Unit of a sweep's values; the 1CNT units are the level one count gives. */
typedef enum PSD_UNITS_E : int {
    PSD_UNITS_CNTS_ACCUM = 0,
    PSD_UNITS_DIFF_ENERGY_FLUX = 1,
    PSD_UNITS_S3_PER_KM6 = 2,
    PSD_UNITS_CNTS_ACCUM_1CNT = 3,
    PSD_UNITS_DIFF_ENERGY_FLUX_1CNT = 4,
    PSD_UNITS_S3_PER_KM6_1CNT = 5,
    UNKNOWN_PSD_UNITS = 6
} PSD_UNITS;

/* Unit of a sweep's level edges. */
typedef enum BIN_UNITS_E : int { BIN_UNITS_EV = 0, BIN_UNITS_KM_S = 1 } BIN_UNITS;

/* DIFFERENTIAL values keep under averaging over bins; INTEGRAL values are
 * summed over a bin (counts). */
typedef enum INTERP_QUANTITY_E : int { DIFFERENTIAL = 0, INTEGRAL = 1 } INTERP_QUANTITY;

/* Labels, and the SI conversions exported files carry ("factor>SI unit");
 * any value out of range gets the unknown-unit texts. */
const char *PSD_UNITS_STRING(int units);
const char *PSD_UNITS_SI_conv_STRING(int units);
const char *BIN_UNITS_STRING(int units);
const char *BIN_UNITS_SI_conv_STRING(int units);
/* INTEGRAL for counts, DIFFERENTIAL for the flux and density units; any
 * other unit is reported on standard output and taken as DIFFERENTIAL. */
INTERP_QUANTITY diff_or_integral(int units);

/* ---- Bins ------------------------------------------------------------------- */
/* A set of n bins is two float arrays of n low and n high edges.  Statuses:
 * 1 success, -501 bad argument. */

/* Reverses the first n 4-byte elements of array; returns 1. */
KOMBRA_SHORT invert_array(void *array, int n);
/* A round number (1, 2 or 5 times a power of ten) at or above abs(x), with
 * the sign of x; zero gives -1e-33. */
double near_nice_number(double x);
/* out[i] = in[i] * scale + rotation for i < n. */
void scale_then_rotate_angles(const float *in, float *out, int n, float rotation, float scale);
/* Area weight of a bin of polar range th1..th2 (degrees), levels r1..r2. */
float polar_area(float r1, float r2, float th1, float th2);
/* Bins are listed rising (bin 0 the lowest) or falling: the reader's polar
 * rows run from 180 degrees down.  Every search below takes either order
 * and answers for the same bins whatever the order they are listed in. */
/* True when the bins are listed falling (low[0] above low[n - 1]). */
bool bins_fall(const float *low, int n);
/* The lowest low edge and the highest high edge of n >= 1 bins. */
float bins_lowest_edge(const float *low, int n);
float bins_highest_edge(const float *low, const float *high, int n);
/* Index of the lowest bin whose high edge is at least x, the highest bin
 * when x lies above them all; -1 when n < 1.  The bin's low edge is not
 * tested. */
int bin_reaching(double x, const float *low, const float *high, int n);
/* The number of bins meeting lo..hi with their first and last index (both
 * untouched when the range meets no bin or there are none).  Can be 0 or
 * negative when the range falls between two bins. */
int find_subset_in_range(float lo, float hi, const float *low, const float *high, int n, int *first, int *last);
/* When some bins are given by their centres only (equal edges), puts every
 * inner edge half way between neighbouring centres (in either listing
 * order); returns 1. */
KOMBRA_SHORT check_bins(float *low, float *high, int n);
/* n equal bins from xmin to xmax, the last ending at xmax exactly. */
KOMBRA_SHORT set_equal_bins(float *low, float *high, int n, float xmin, float xmax);
/* The same, equal in linear or (PGSPECTRO_LOG) logarithmic steps. */
KOMBRA_SHORT set_equal_bins_linlog(float *low, float *high, int n, float xmin, float xmax, PGSpectro_linlog linlog);
/* n bins whose centres are evenly spaced from xmin to xmax: the end bins are
 * half as wide as the others. */
KOMBRA_SHORT set_equal_bins_half_ends(float *low, float *high, int n, float xmin, float xmax);
/* The angle brought into 0 <= a < 360 degrees. */
float mod360(float angle);
/* Centre and half-width (degrees) of the azimuth range phi_lo..phi_hi of a
 * sweep, taken the way the spacecraft turns: a phi_hi below phi_lo lies one
 * turn on, so a range through 360 degrees (180 to 174.24 for a whole spin)
 * is the long way round.  The half-width lies in 0 <= h < 180, the centre
 * in 0 <= c < 360; worked in double precision. */
void az_range_centre_half(float phi_lo, float phi_hi, float *centre, float *half);
void print_bins(const float *low, const float *high, int n);
