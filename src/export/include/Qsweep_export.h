/* The bridge from the sweep model to the exchange library: N sweeps of one
 * shape become one data set of ten variables (timetags, timetags_delta,
 * psd, phi, phi_delta, theta, theta_delta, level, level_delta,
 * sc_potential) and three global attributes, one record per sweep, ready
 * for KvWriteCSDSgenFlat or KvWriteCSDSgenCDF. */
#pragma once

#include "Qsweep_spin.h"
#include "kve_meta.h"

/* 1 success; -503 the sweeps differ in shape (or there are none), nothing
 * made; -504 a variable lacks data.  From the making of the data set on it
 * belongs to the caller (also with -504), who frees it with
 * KvFreeCDFContentsObj.  The sweeps are only read. */
int nsweeps2KvCDFContents(HALDE_SWEEP_S **sweeps, int n, KvCDFContents **out);

/* Sets the variable attribute `name` from text, appending it (as CDF_CHAR)
 * when the variable lacks it: CDF_INT4/UINT4 store one 32-bit integer,
 * CDF_REAL4/FLOAT one float, CDF_CHAR/UCHAR the text; other types are left
 * alone, as is a variable whose attribute slots are full.  Returns 0. */
int PKvChangeVattr(const char *name, const char *text, KvCDFVariable *var);
