/* Sweeps and spins: the central records of the suite.
 *
 * A sweep is one energy sweep of the electron spectrometer: values over
 * polar-angle bins (one per sensor) and energy or speed levels, with its
 * times, azimuth range and lineage.  A sweep owns its five arrays and its
 * lineage; free_sweep_arrays frees them and nulls the pointers, so freeing
 * twice, or freeing a sweep whose arrays were never all made, is safe.
 *
 * Every record and array the sweep model hands out is taken with malloc and
 * released with free: a sweep record (new_sweep_record, every pointer null)
 * is freed with free_sweep_arrays and free, or free_n_sweeps, or SweepPtr.
 * A sweep set is a malloc'd array of n sweep pointers: free_n_sweeps frees
 * the sweeps, the caller the pointer array (free); free_sweep_set does
 * both.  Arrays a caller puts into a sweep must be malloc'd too. */
#pragma once

#include "Qnurv_utils.h"

#include <memory>
#include <string>
#include <vector>

/* Frame of a sweep's azimuths. */
typedef enum PHI_ZERO_E : int { HALDE_TZERO = 0, UNKNOWN = 1 } PHI_ZERO_FRAME;

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
/* Frees the spin's sweeps and pointer array, not the record (free); 1. */
int free_spin_data(HALDE_SPIN3D_S *spin);
/* Frees the non-null spins of the array, records included, and nulls the
 * entries; 1. */
int free_n_spins(HALDE_SPIN3D_S **spins, int n);
void print_halde_spin_info(const HALDE_SPIN3D_S *spin);

/* ---- Ownership helpers for C++ callers ------------------------------------- */

/* A new sweep record with every field at its default and no arrays, taken
 * with malloc; null when memory runs out. */
HALDE_SWEEP_S *new_sweep_record();

struct SweepDeleter {
    void operator()(HALDE_SWEEP_S *sweep) const;
};
using SweepPtr = std::unique_ptr<HALDE_SWEEP_S, SweepDeleter>;

/* A set of sweeps under construction: owns its sweeps until release hands
 * them over as a malloc'd pointer array. */
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

typedef enum HALDE_GATHER_CHOICE_E : int {
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
 * destination's bins.  swp_old is not changed.  Returns 1, or -501 with a
 * message when the scratch arrays for counts cannot be had. */
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

typedef enum ARITH_OPER_E : int { NONE = 0, ADD = 1, SUBTRACT = 2, MULTIPLY = 3, DIVIDE = 4 } ARITH_OPER;

/* The values of one sweep along one polar bin, level by level.  Made by
 * sweep_1D_cut; free_1D_cut_arrays frees ecen, psd1D and lineage, the caller
 * the record (free). */
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

/* ---- Liouville mapping and parallel-velocity boost ----------------------------
 * Both work on pitch-angle sweeps: they map the bin centres of a refined copy
 * of the input and average what lands in each output bin.  Failures print one
 * line and give null; results belong to the caller. */

/* The distribution the same electrons would show where the field is B2
 * instead of B1, each having gained epot eV (magnetic moment and phase-space
 * density conserved).  Only s^3/km^6 values; n_theta_double refinement passes
 * of the polar bins, brought into 1..10.  virtual_inst is relabelled. */
HALDE_SWEEP_S *PADLiouvilleMap(const HALDE_SWEEP_S *swp1, float B1, float B2, float epot, int n_theta_double);
/* The distribution seen from a frame moving at vparaboost km/s along the
 * field, on n_sen x thetafactor polar bins and n_lev x levelfactor
 * logarithmic levels.  instrument is relabelled. */
HALDE_SWEEP_S *PADvpara_boost(const HALDE_SWEEP_S *swpin, float vparaboost, int thetafactor, int levelfactor);
/* The values regridded onto 2 n + 1 refined polar bins (or levels). */
HALDE_SWEEP_S *sweep_double_sensors(const HALDE_SWEEP_S *swpin);
HALDE_SWEEP_S *sweep_double_levels(const HALDE_SWEEP_S *swpin);
/* (e1 / e2) x b2ob1 x sin^2(thin degrees): sin^2 of the mapped pitch angle. */
float sinsq_map(float e1, float e2, float b2ob1, float thin);
/* The shorter way round between two angles, 0..180 degrees. */
float cyclic360abs_diff(float x1, float x2);
/* The angle from xlo up to xhi going round in the positive sense. */
float cyclic360pos_diff(float xlo, float xhi);

/* ---- Reading sweeps from the archive ---------------------------------------
 * The only road from the programs to the instrument data: configuration,
 * catalog, promotion of missing files, then the reader's records of all
 * sensors of each energy sweep.  Messages go to standard output. */

#include "Velora_pad.h"

struct nur_data;

/* Every sweep of the source over begin .. end.  On success (1, or 12 when
 * the data ended at the end of a file) *nswps and *swpppp hold the sweeps
 * (free with free_sweep_set); on failure *swpppp is null, or untouched when
 * the failure came before any array was made.  The lineage's vsn is set to
 * the reader's version of this reading. */
KOMBRA_SHORT GetNHaldeSweeps(NURV_LINEAGE_S *lineage, NURV_TIME_S *begin, NURV_TIME_S *end, BIN_UNITS_E bin_units,
                             PSD_UNITS_E psd_units, T_OR_F_E do_pa, int *nswps, HALDE_SWEEP_S ***swpppp);
/* Whether the catalog lists data of the source, read as GetNHaldeSweeps
 * reads it (do_pa choosing the product of a pitch-angle source), at any
 * time: 1 yes, 0 none, or a failing status (-149 for a source the hierarchy
 * lacks, -501 when the configuration or the catalog cannot be had, or for a
 * pitch-angle product other than CPPADL and CPPADH, with its line). */
KOMBRA_SHORT sweep_source_catalogued(const NURV_LINEAGE_S *lineage, T_OR_F_E do_pa);
/* The magnetic-field source that gives a source's sweeps their pitch
 * angles, as "PROJECT MISSION EXPERIMENT INSTRUMENT VIRTUAL" (the Cluster
 * and Double Star FGM vectors), or empty when the project has none. */
std::string sweep_field_source_text(const NURV_LINEAGE_S &lineage);
/* Whether the latest GetNHaldeSweeps said in a line why it found no data
 * (the source unknown, none of it in the archive, none for the time), so
 * that a caller need not add a generic line of its own. */
bool sweep_reading_explained();
/* Number of sweeps (records of the last sensor) over begin .. end, the
 * reader positioned at begin again afterwards; -514, -515, -516. */
int nurv_sweep_counter(KOMBRA_ULONG dkey, NURV_LINEAGE_S *lineage, nur_data *nurp, NURV_TIME_S *begin,
                       NURV_TIME_S *end);
/* Levels of the current record (from the first filled sensor, whose index
 * less one goes to *nsenp); -501, -517. */
int nurv_sweep_nlevels(KOMBRA_ULONG dkey, NURV_LINEAGE_S *lineage, nur_data *nurp, int *nsenp);
KOMBRA_SHORT init_nur_file(NURV_TIME_S begin, NURV_TIME_S end, KOMBRA_ULONG dkey, nur_data *nurp, KOMBRA_USHORT vsn);
KOMBRA_SHORT next_nurv_file(KOMBRA_ULONG dkey, NURV_LINEAGE_S lineage, NURV_TIME_S *begin, NURV_TIME_S *end,
                            nur_data *nurp);
KOMBRA_SHORT advance_nur_file_spin_start(KOMBRA_ULONG dkey, nur_data *nurp, NURV_LINEAGE_S *lineage,
                                         NURV_TIME_S *begin, NURV_TIME_S *end, KOMBRA_SHORT sensor);
KOMBRA_SHORT pos_nur_file_spin_start(KOMBRA_ULONG dkey, nur_data *nurp, NURV_LINEAGE_S *lineage, NURV_TIME_S *begin,
                                     NURV_TIME_S *end);

/* ---- Filling one sweep from the reader's records -------------------------- */

KOMBRA_SHORT read2filled_sensor(KOMBRA_ULONG dkey, NURV_LINEAGE_S *lineage, nur_data *nurp, int nsen,
                                int *nsen_found, T_OR_F_E forward);
KOMBRA_SHORT fill_sweep(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                        T_OR_F_E have_bins, T_OR_F_E do_pa);
KOMBRA_SHORT fill_single_sen_sweep(HALDE_SWEEP_S *sweep, int isen, KOMBRA_ULONG dkey, nur_data *nurp,
                                   T_OR_F_E do_pa);
/* The description tables and operations that turn raw counts into psd_units
 * for the lineage; the two arrays hold kMaxPsdTables entries. */
KOMBRA_SHORT set_psd_tables(const NURV_LINEAGE_S *lineage, PSD_UNITS_E psd_units, KOMBRA_CHAR *num_tbls,
                            KOMBRA_CHAR *tbls_to_apply, KOMBRA_LONG *tbl_oper);
inline constexpr int kMaxPsdTables = 20;
KOMBRA_SHORT e_bin_edges(KOMBRA_ULONG dkey, nur_data *nurp, KOMBRA_USHORT vsn, float *bin_low, float *bin_high,
                         BIN_UNITS_E bin_units, int n);
void set_times_from_nur(NURV_TIME_S *begin, NURV_TIME_S *end, NURV_TIME_S *suntime, const nur_data *nurp);
void print_nur_data(const nur_data *nurp);

/* ---- Spacecraft potential correction ---------------------------------------
 * Electrons reach the detector shifted in energy by the spacecraft's
 * potential.  A potential series (from the EFW data set of the spacecraft,
 * or one constant) gives each sweep the potential at its mid time, and the
 * sweep's level edges are then shifted by it. */

/* How the potential correction is asked for (a combo index). */
typedef enum PHISC_CHOICE_E : int {
    NO_SC_POT_CORR = 0, /* none */
    DO_SC_POT_CORR = 1, /* from the EFW data set */
    CONST_SC_POT = 2    /* one constant potential */
} PHISC_CHOICE;

/* One potential series; owns its two arrays (free_phisc_arrays), the record
 * itself lives with the caller. */
typedef struct HALDE_SC_POTENTIAL_S {
    float *phisc;             /* [n] volts */
    NURV_TIME_S *phisc_time;  /* [n] ascending */
    int n;
    float dt_gap;             /* seconds across which values are used; 60 */
    float phisc_gap;          /* volts where the series has a gap; 0 */
    NURV_LINEAGE_S phisc_lineage; /* the potential data set */
} HALDE_SC_POTENTIAL;

/* GetNHaldeSweeps, then every sweep given the potential at its mid time and
 * its levels shifted by it: from the EFW data set (const_phisc QPFALSE,
 * phisc_value standing in where it has no values) or the constant
 * phisc_value; phisc_gapsecs is the series' dt_gap.  1 (also when the
 * reading ended at the end of a file); another failing status of
 * GetNHaldeSweeps is returned as it came;
 * -501 with everything freed and *swpppp null. */
KOMBRA_SHORT GetNPotCorrectedHaldeSweeps(NURV_LINEAGE_S *lineage, NURV_TIME_S *begin, NURV_TIME_S *end,
                                         BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, T_OR_F_E do_pa,
                                         T_OR_F_E const_phisc, float phisc_value, float phisc_gapsecs, int *nswps,
                                         HALDE_SWEEP_S ***swpppp);
/* The defaults: no values, dt_gap 60 s, phisc_gap 0 V, the lineage
 * CLUSTERII/Unknown/EFW/PRIME/CEFPRIME. */
void SC_Pot_init(HALDE_SC_POTENTIAL_S *phisc);
/* The potential series over btime .. etime from sensor 15 of the series'
 * data set (1 - potential).  1; -509 when the constant phisc_gap stands in
 * for the range (data missing or fewer than two values); -510 when the data
 * set could not be read again after counting. */
KOMBRA_SHORT SC_Pot_fetch(HALDE_SC_POTENTIAL_S *phisc, NURV_TIME_S *btime, NURV_TIME_S *etime);
/* Two values of phisc_gap at btime and etime; -509. */
KOMBRA_SHORT Phisc_fill_not_available(HALDE_SC_POTENTIAL_S *phisc, NURV_TIME_S *btime, NURV_TIME_S *etime);
/* Frees and nulls both arrays, n 0; 1. */
KOMBRA_SHORT free_phisc_arrays(HALDE_SC_POTENTIAL_S *phisc);
void phisc_dump(const HALDE_SC_POTENTIAL_S *phisc);
/* Sets sweep->phi_sc to the potential at the sweep's mid time, searching
 * from *start (left at the value used).  1, or -512 when the series has no
 * value within dt_gap (phi_sc = phisc_gap, *start = n). */
KOMBRA_SHORT phisc2sweep(const HALDE_SC_POTENTIAL_S *phisc, HALDE_SWEEP_S *sweep, int *start);
/* phisc2sweep for the time-ordered sweeps; 1. */
KOMBRA_SHORT phisc2sweep_all(const HALDE_SC_POTENTIAL_S *phisc, HALDE_SWEEP_S **sweeps, int n);
/* Shifts each sweep's level edges by -phi_sc, makes levels pushed below 0
 * missing, rescales energy flux by the square of new to old mid energy and
 * appends "_scpot" to virtual_inst.  1, or -510 for unknown bin units. */
KOMBRA_SHORT sweep_sc_potential_adjust(HALDE_SWEEP_S **sweeps, int n);
/* The speed of an electron of speed kms km/s after gaining ev eV; -1.0 when
 * its energy is not positive. */
float add_ev2_kms(float kms, float ev);
/* Level level of every polar row set to the missing value. */
void sweep_make_level_missing(HALDE_SWEEP_S *sweep, int level);

/* ---- Azimuthal slice and spin end time -------------------------------------- */

/* One sweep of the source: with NO_GATHER the sweep of the first whole spin
 * in the 16 s from *btime whose azimuth range holds az, else the sweeps of
 * *btime .. *etime gathered onto the first one's grid and the first group
 * returned; optionally rebinned to pitch angle and potential-corrected.
 * *etime is restored.  A new sweep for the caller, or null. */
HALDE_SWEEP_S *HaldeGetAzSliceV2(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, NURV_TIME_S *etime, float az,
                                 BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                 PHISC_CHOICE_E phiscch, float phisc_value, float phisc_gapsecs,
                                 HALDE_GATHER_CHOICE_E gatch, HALDE_GATHER_GAPS_S gaps, float gath_secs,
                                 int gath_swp_spins);
/* Index within the spin of the sweep whose azimuth range (or the nearer
 * half of the gap after it) holds az; -1 when none does. */
int find_az_sweep(const HALDE_SPIN3D_S *spin, float az);
/* *etimep = the end of n2count sweeps (GATHER_SWEEPS) or the start of the
 * spin after n2count whole spins (GATHER_SPINS) from *btimep.  The last
 * reader status (1 when all went well); -518 for another choice; set-up
 * failures return their status. */
KOMBRA_SHORT nurv_n_spin_sweep_etime(NURV_LINEAGE_S *lngp, NURV_TIME_S *btimep, NURV_TIME_S *etimep,
                                     T_OR_F_E do_pa, HALDE_GATHER_CHOICE_E gathch, int n2count);

/* ---- Spins ------------------------------------------------------------------- */

/* The first whole spin at or after *btime into *spin (its own copies of the
 * sweeps); 1, -501 or a set-up status. */
KOMBRA_SHORT GetHaldeSpin(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, BIN_UNITS_E bin_units, PSD_UNITS_E psd_units,
                          T_OR_F_E do_pa, HALDE_SPIN3D_S *spin);
/* Every spin of *btime .. *etime: 1 with *spinppp a malloc'd array of
 * *nspins spins (free with free_n_spins and free), or -501. */
KOMBRA_SHORT GetNHaldeSpins(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, NURV_TIME_S *etime, BIN_UNITS_E bin_units,
                            PSD_UNITS_E psd_units, T_OR_F_E do_pa, int *nspins, HALDE_SPIN3D_S ***spinppp);
/* Does nothing. */
void fill_spin3d(HALDE_SPIN3D_S *spin, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                 BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, PHI_ZERO_E frame, T_OR_F_E do_pa);

/* ---- Pitch-angle product reader ----------------------------------------------
 * Instrument "PAD" ("CPPADL", "CPPADH"): sensors already binned in pitch
 * angle over two half spins, read with the field direction of the IEL data
 * set ("CORE"/"CPCIEL") into sweeps whose polar rows are pitch-angle bins
 * over 0..180 degrees. */

/* The half spin in which the field-parallel direction is seen. */
typedef enum PARALLEL_FIELD_HALF_SPIN_E : int { PARALLEL_FIRST_HALF = 0, PARALLEL_SECOND_HALF = 1 } PARALLEL_FIELD_HALF_SPIN;
typedef enum CLOCK_DIRECTION_E : int { COUNTERCLOCKWISE = -1, CLOCKSTEPERROR = 0, CLOCKWISE = 1 } CLOCK_DIRECTION;

/* The older one-spin slice: a pitch-angle product through GetHaldePAD, any
 * other source through GetHaldeSpin and the sweep holding az; optionally
 * rebinned to pitch angle.  A new sweep, or null. */
HALDE_SWEEP_S *HaldeGetAzSlice(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, float az, BIN_UNITS_E bin_units,
                               PSD_UNITS_E psd_units, HALDE_PITCH_ANGLE_OPTS_S *paopts);
/* The pitch-angle distribution of the first whole spin at *btime into the
 * nullified *sweep; 1, -500 or a reader status. */
KOMBRA_SHORT GetHaldePAD(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, BIN_UNITS_E bin_units, PSD_UNITS_E psd_units,
                         T_OR_F_E do_pa, HALDE_SWEEP_S *sweep);
/* One distribution per spin of *btime .. *etime; 1 or 12 with *swpppp a
 * malloc'd array of *npads sweeps (free with free_sweep_set), else a failure
 * with nothing left allocated. */
KOMBRA_SHORT GetNHaldePADs(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, NURV_TIME_S *etime, BIN_UNITS_E bin_units,
                           PSD_UNITS_E psd_units, T_OR_F_E do_pa, int *npads, HALDE_SWEEP_S ***swpppp);
KOMBRA_SHORT init_pad(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey, float b_az,
                      PARALLEL_FIELD_HALF_SPIN_E *half, int *isen_init);
KOMBRA_SHORT fill_pad(HALDE_SWEEP_S *sweep, NURV_LINEAGE_S *lineage, nur_data *nurp, KOMBRA_ULONG dkey,
                      BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, T_OR_F_E do_pa,
                      PARALLEL_FIELD_HALF_SPIN_E b_half, int isen);
int expected_first_polbin(int b_polbin_iel, const NURV_LINEAGE_S *lineage, const HALDE_SWEEP_S *sweep);
KOMBRA_SHORT get_b_az(KOMBRA_ULONG dkey, nur_data *nurp, NURV_LINEAGE_S *lineage, float *b_az, int *b_pol_iel);
KOMBRA_SHORT set_b_para_half_spin(float b_az, const NURV_LINEAGE_S *lineage, PARALLEL_FIELD_HALF_SPIN_E *half);
/* Position of a sensor of a half spin on the circle of 2 n_pa - 2 clock
 * bins, or -1. */
int compute_clockbin(int sensor, int num_sensors, int swp_half, int n_pa);
KOMBRA_SHORT sort_pa_bins(const int inbins[], int outbins[], int pa_dim, PARALLEL_FIELD_HALF_SPIN_E half,
                          int b_polbin);
int exchange_b_tip_tail(int *bpol, PARALLEL_FIELD_HALF_SPIN_E *half, int n_sensors);
CLOCK_DIRECTION_E clockstep(const int clockbins[], int *startbin, int nbins, int tries_to_go);
