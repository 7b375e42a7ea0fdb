/* Pitch-angle rebinning of sweeps and the boolean of the sweep model. */
#ifndef VELORA_PAD_H
#define VELORA_PAD_H

typedef enum : int { QPFALSE = 0, QPTRUE = 1 } T_OR_F_E;
typedef T_OR_F_E T_OR_F;

/* How sweeps are rebinned to pitch angle. */
typedef struct HALDE_PITCH_ANGLE_OPTS_S {
    T_OR_F do_pa;  /* rebin at all */
    int n_pabins;  /* number of pitch-angle bins */
    T_OR_F mu_bins; /* QPTRUE: bins equal in the cosine; QPFALSE: equal in angle */
} HALDE_PITCH_ANGLE_OPTS;

/* The sweep records come after the types above: Qsweep_spin.h includes this
 * header for them. */
#include "Qsweep_spin.h"

/* do_pa QPTRUE, 13 bins, equal in angle. */
void set_pa_opts_defaults(HALDE_PITCH_ANGLE_OPTS_S *paopts);

/* Merges nswps congruent sweeps into one new pitch-angle sweep *paswpp: the
 * first sweep's levels, paopts->n_pabins bins over 0..180 degrees, each the
 * area-weighted average of the input bins whose pitch angle falls into it;
 * pa holds the weight summed into each bin.  1; -506 for incongruent or no
 * input, a bad bin count or missing scratch memory (for counts, a missing
 * output area array leaves values per unit area in *paswpp); -501 when the
 * record's arrays cannot be had.  The caller frees *paswpp. */
KOMBRA_SHORT rebin_sweep_to_pa(HALDE_SWEEP_S **swpp, int nswps, const HALDE_PITCH_ANGLE_OPTS_S *paopts,
                               HALDE_SWEEP_S **paswpp);
/* One pitch-angle sweep per group of nswpgrp consecutive sweeps (a remainder
 * is left out): 1 with *paswppp_p a new array of *npaswp sweeps, or the
 * failing status with nothing left allocated and *paswppp_p null. */
KOMBRA_SHORT Rebin_n_sweeps_to_pa(HALDE_SWEEP_S **swppp, int nswps, int nswpgrp, const HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                  HALDE_SWEEP_S ***paswppp_p, int *npaswp);
/* One pitch-angle sweep per spin into a new array of nspins sweeps; 1 or the
 * failing status as above. */
KOMBRA_SHORT Rebin_n_spins_to_pa(HALDE_SPIN3D_S **spinpp, int nspins, const HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                 HALDE_SWEEP_S ***paswppp_p);


#endif
