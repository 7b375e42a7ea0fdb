/* Sweeps and spins: the central records of the suite.
 *
 * A sweep is one energy sweep of the electron spectrometer: values over
 * polar-angle bins (one per sensor) and energy or speed levels, with its
 * times, azimuth range and lineage.  A sweep owns its five arrays and its
 * lineage; free_sweep_arrays frees them and nulls the pointers, so freeing
 * twice, or freeing a sweep whose arrays were never all made, is safe.
 *
 * Records are made with `new HALDE_SWEEP_S{}` (every pointer starts null) and
 * freed with free_n_sweeps or SweepPtr.  A sweep set is an array of n sweep
 * pointers made with new[]: free_n_sweeps frees the sweeps, the caller the
 * pointer array (delete[]); SweepSet does both. */
#pragma once

#include "Qnurv_utils.h"

#include <memory>
#include <vector>

/* Frame of a sweep's azimuths. */
typedef enum PHI_ZERO_FRAME_E { HALDE_TZERO = 0, UNKNOWN = 1 } PHI_ZERO_FRAME;

/* One sweep.  The value of level l of sensor s is psd[l + n_lev * s]; levels
 * run from the lowest energy (or speed) up. */
typedef struct HALDE_SWEEP_S {
    NURV_TIME_S btime{};   /* begin of the sweep */
    NURV_TIME_S etime{};   /* end of the sweep */
    NURV_TIME_S suntime{}; /* sun pulse of the sweep's spin */
    int n_sen = 0;         /* polar bins (sensors) */
    int n_lev = 0;         /* levels */
    float phi_lo = 0;      /* azimuth at the start of the sweep, degrees */
    float phi_hi = 0;      /* azimuth at its end */
    PHI_ZERO_FRAME phi_frame = HALDE_TZERO;
    float *thlo = nullptr; /* [n_sen] polar edges, degrees 0..180 */
    float *thhi = nullptr;
    float *elo = nullptr;  /* [n_lev] level edges in bin_units */
    float *ehi = nullptr;
    float phi_sc = 0;      /* spacecraft potential applied, volts */
    BIN_UNITS bin_units = BIN_UNITS_EV;
    float *psd = nullptr;  /* [n_sen * n_lev] values */
    PSD_UNITS psd_units = PSD_UNITS_CNTS_ACCUM;
    float missing_value = 0; /* marks a bin without data */
    float *pa = nullptr;   /* [n_sen * n_lev] pitch angles, degrees, or null */
    NURV_LINEAGE_S *lineage = nullptr;
} HALDE_SWEEP;

/* The sweeps of one spin; sweeppp and its sweeps belong to the record. */
typedef struct HALDE_SPIN3D_S {
    NURV_TIME_S btime{};
    NURV_TIME_S etime{};
    float tspin = 0; /* spin period, seconds */
    int n_swp = 0;
    HALDE_SWEEP_S **sweeppp = nullptr; /* [n_swp] */
} HALDE_SPIN3D;

/* Makes thlo, thhi, elo, ehi, psd, the lineage and (want_pa non-zero) pa for
 * the sweep's n_sen and n_lev, forgetting what the pointers held.  1, or -501
 * with a message and nothing left allocated.  Contents are not initialised. */
KOMBRA_SHORT malloc_sweep_arrays(HALDE_SWEEP_S *sweep, int want_pa);
/* Nulls the array and lineage pointers; frees nothing. */
void nullify_sweep_arrays(HALDE_SWEEP_S *sweep);
/* A new record with its own copies of every field, array and the lineage;
 * null (with a message) when memory runs out. */
HALDE_SWEEP_S *create_sweep_full_copy(const HALDE_SWEEP_S *sweep);
/* Frees the arrays and lineage that are there and nulls them; the record
 * stays. */
void free_sweep_arrays(HALDE_SWEEP_S *sweep);
/* Frees the first n non-null sweeps with their arrays; the entries are not
 * cleared and the pointer array stays with the caller. */
void free_n_sweeps(int n, HALDE_SWEEP_S **sweeps);
void print_sweep_structure(const HALDE_SWEEP_S *sweep);

/* A deep copy of a spin, null on failure. */
HALDE_SPIN3D_S *copy_spin(const HALDE_SPIN3D_S *spin);
/* Frees the spin's sweeps and pointer array, not the record; 1. */
int free_spin_data(HALDE_SPIN3D_S *spin);
/* Frees the non-null spins of the array, records included, and nulls the
 * entries; 1. */
int free_n_spins(HALDE_SPIN3D_S **spins, int n);
void print_halde_spin_info(const HALDE_SPIN3D_S *spin);

/* ---- Ownership helpers for C++ callers ------------------------------------- */

struct SweepDeleter {
    void operator()(HALDE_SWEEP_S *sweep) const;
};
using SweepPtr = std::unique_ptr<HALDE_SWEEP_S, SweepDeleter>;

/* A set of sweeps under construction: owns its sweeps until release hands
 * them over as a new[] pointer array. */
class SweepSet {
public:
    void push_back(SweepPtr sweep) { sweeps_.push_back(std::move(sweep)); }
    int size() const { return static_cast<int>(sweeps_.size()); }
    HALDE_SWEEP_S *operator[](int i) const { return sweeps_[static_cast<std::size_t>(i)].get(); }
    /* The pointer array (null for an empty set), the set left empty. */
    HALDE_SWEEP_S **release();

private:
    std::vector<SweepPtr> sweeps_;
};

/* Frees n sweeps and their pointer array; null does nothing. */
void free_sweep_set(int n, HALDE_SWEEP_S **sweeps);

/* ---- Combining and gathering -------------------------------------------------
 * Values move from one grid onto another by overlap-area averaging.  A weight
 * array has one entry per destination bin (indexed like psd) holding the
 * overlap area gathered into it so far; the caller zeroes it together with
 * the destination's values and keeps it for every source folded into that
 * destination.  Bins equal to their sweep's missing_value are skipped as
 * sources and count as empty as destinations. */

typedef enum HALDE_GATHER_CHOICE_E {
    GATHER_SWEEPS = 0, /* groups of a number of sweeps */
    GATHER_SPINS = 1,  /* groups of a number of spins */
    GATHER_SECS = 2,   /* groups spanning a number of seconds */
    NO_GATHER = 3      /* no grouping: the caller handles it */
} HALDE_GATHER_CHOICE;

/* A group of N sweeps may span at most N x sweep_gap seconds, of N spins at
 * most N x spin_gap seconds; a longer span ends the group early. */
typedef struct HALDE_GATHER_GAPS_S {
    float sweep_gap; /* seconds per sweep, 1.0 by default */
    float spin_gap;  /* seconds per spin, 4.5 by default */
} HALDE_GATHER_GAPS;

/* 0 when the grids and units agree exactly; else the first difference in
 * this order: -2 bin_units, -1 psd_units, 2 n_sen, 1 n_lev, 4 a polar edge,
 * 3 a level edge. */
int test_sweeps_congruent(const HALDE_SWEEP_S *swp1, const HALDE_SWEEP_S *swp2);
/* area[l + n_lev * s] = polar_area of the sweep's bin (s, l); returns 1. */
int fill_sweep_bin_area(float *area, const HALDE_SWEEP_S *sweep);
/* Present values over a non-zero area become value / area, every other bin
 * missing; returns 1. */
int divide_by_area(const float *area, HALDE_SWEEP_S *sweep);
/* Present values are multiplied by their area; returns 1. */
int multiply_by_area(const float *area, HALDE_SWEEP_S *sweep);
/* Folds swp_old into swp_new, each source bin weighted by its overlap area
 * with the destination bin; called again with the same weight array it
 * averages any number of sources into one destination.  INTEGRAL values
 * (counts) are averaged per unit area and turned back into counts of the
 * destination's bins.  swp_old is not changed.  Returns 1. */
KOMBRA_SHORT CombineSweeps(HALDE_SWEEP_S *swp_new, float *weight, const HALDE_SWEEP_S *swp_old, INTERP_QUANTITY interpq);
/* Index of the bin holding value, or -1 (outside the bins or in a gap).  A
 * value on a shared edge belongs to the upper bin, the top edge of the last
 * bin to the last bin. */
int inbin(float value, const float *lobins, const float *hibins, int nbins);
void sweep_spin_gap_defaults(HALDE_GATHER_GAPS_S *gaps);
/* Index of the last sweep of the group that begins at istart; -519 with a
 * message when istart is outside the set, -1 for NO_GATHER, an unknown
 * choice or a count gswp_spin below 1. */
int iend_sweep_gather(HALDE_SWEEP_S **swppp, int nswps, int istart, HALDE_GATHER_CHOICE gather, HALDE_GATHER_GAPS gaps,
                      float gsecs, int gswp_spin);
/* Cuts the time-ordered set into groups and averages each onto a copy of the
 * template binh.  1, with *gath_swpppp a new array of nswp entries whose
 * first *ngat hold the groups (the caller frees both); -518 with nothing left
 * allocated and *gath_swpppp null. */
KOMBRA_SHORT gather_sweeps(HALDE_SWEEP_S **swppp, int nswp, const HALDE_SWEEP_S *binh, HALDE_GATHER_CHOICE gatch,
                           HALDE_GATHER_GAPS gaps, float gath_secs, int gath_swp_spins, HALDE_SWEEP_S ***gath_swpppp,
                           int *ngat);

/* ---- Arithmetic, regridding, scaling and cuts -------------------------------- */

typedef enum ARITH_OPER_E { NONE = 0, ADD = 1, SUBTRACT = 2, MULTIPLY = 3, DIVIDE = 4 } ARITH_OPER;

/* The values of one sweep along one polar bin, level by level.  Made by
 * sweep_1D_cut; free_1D_cut_arrays frees ecen, psd1D and lineage, the caller
 * the record (delete). */
typedef struct HALDE_1D_SWEEP_CUT_S {
    NURV_TIME_S starttime{}; /* the sweep's btime */
    NURV_TIME_S endtime{};   /* the sweep's etime */
    int n_lev = 0;
    float phi_cen = 0;        /* centre of the sweep's azimuth range, degrees */
    float thcen = 0;          /* centre of the chosen polar bin, degrees */
    float *ecen = nullptr;    /* [n_lev] level centres */
    BIN_UNITS bin_units = BIN_UNITS_EV;
    float *psd1D = nullptr;   /* [n_lev] values */
    PSD_UNITS psd_units = PSD_UNITS_CNTS_ACCUM;
    NURV_LINEAGE_S *lineage = nullptr;
} HALDE_1D_SWEEP_CUT;

/* A new sweep on the primary's grid holding pri oper sec bin by bin (sec
 * regridded onto that grid first when the grids differ); null when the bin
 * or value units differ.  The lineage is the primary's, unmarked. */
HALDE_SWEEP_S *sweep_arithmetic(const HALDE_SWEEP_S *swp_pri, const HALDE_SWEEP_S *swp_sec, ARITH_OPER oper);
/* A new sweep with the values, times and lineage of swp on the grid of
 * bin_holder; null when the bin units differ or memory runs out. */
HALDE_SWEEP_S *rebin_sweep(const HALDE_SWEEP_S *bin_holder, const HALDE_SWEEP_S *swp);
/* rebin_sweep over a set, stopping at the first failure: 1 with the first
 * *nrebinned entries of the new array *swpsoutppp set (the caller frees
 * them and the array), or -507 when not even one could be made. */
KOMBRA_SHORT rebin_n_sweeps(const HALDE_SWEEP_S *bin_holder, int nswps, HALDE_SWEEP_S **swpsinpp, int *nrebinned,
                            HALDE_SWEEP_S ***swpsoutppp);
/* The range of the present values of a set, widened when it is empty or a
 * single value, for colour scales. */
void sweeps_autoscaler(HALDE_SWEEP_S **swppp, int nswp, float *psdmin, float *psdmax);
/* Multiplies the present values by mult in place and marks the lineage's
 * experiment with lineage_scale_mark(mult). */
void sweep_scaler(HALDE_SWEEP_S *swpp, float mult);
/* The cut along the first polar bin whose high edge is at least theta (the
 * last bin above them all); null when the sweep has no polar bin. */
HALDE_1D_SWEEP_CUT_S *sweep_1D_cut(float theta, const HALDE_SWEEP_S *swp);
void free_1D_cut_arrays(HALDE_1D_SWEEP_CUT_S *cut);
void print_1D_cut(const HALDE_1D_SWEEP_CUT_S *cut);
void print_weight(const float *weight, int n_sen, int n_lev);
