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
