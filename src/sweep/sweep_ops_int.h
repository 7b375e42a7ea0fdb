/* Helpers shared by the operations on sweeps; private to the sweep library. */
#pragma once

#include "Qsweep_spin.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <string>

namespace sweep_ops {

constexpr KOMBRA_SHORT kOk = 1;
constexpr KOMBRA_SHORT kBadArgument = -501;

/* Number of values of a sweep, 0 for a sweep of no or impossible shape. */
inline long long Cells(const HALDE_SWEEP_S *sweep)
{
    if (sweep->n_sen < 1 || sweep->n_lev < 1)
        return 0;
    return static_cast<long long>(sweep->n_sen) * sweep->n_lev;
}

/* A scratch array of n floats (contents not set), or null when n is
 * negative or memory runs out; failures are the caller's to report. */
inline std::unique_ptr<float[]> Scratch(long long n)
{
    if (n < 0 || n > std::numeric_limits<std::ptrdiff_t>::max() / static_cast<long long>(sizeof(float)))
        return nullptr;
    return std::unique_ptr<float[]>(new (std::nothrow) float[static_cast<std::size_t>(n)]());
}

/* A new sweep of n_sen x n_lev bins with the scalar fields of like, its own
 * arrays (with pa when want_pa) and a zeroed lineage; null when the arrays
 * cannot be had (malloc_sweep_arrays has printed why). */
SweepPtr NewSweepLike(const HALDE_SWEEP_S *like, int n_sen, int n_lev, bool want_pa);

/* Sets every value of a sweep to v. */
void FillValues(HALDE_SWEEP_S *sweep, float v);

/* printf into a string. */
std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

/* Replaces a lineage text by text, cut to 99 characters. */
void SetLineageText(char (&field)[NURV_LINEAGE_LEN], const std::string &text);

} // namespace sweep_ops
