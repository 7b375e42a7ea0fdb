/* Helpers shared by the operations on sweeps. */
#include "sweep_ops_int.h"
#include "sweep_alloc_int.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace sweep_ops {

SweepPtr NewSweepLike(const HALDE_SWEEP_S *like, int n_sen, int n_lev, bool want_pa)
{
    SweepPtr sweep(sweep_alloc::NewRecord(*like));
    if (!sweep)
        return nullptr;
    nullify_sweep_arrays(sweep.get());
    sweep->n_sen = n_sen;
    sweep->n_lev = n_lev;
    if (malloc_sweep_arrays(sweep.get(), want_pa ? 1 : 0) != kOk)
        return nullptr;
    return sweep;
}

void FillValues(HALDE_SWEEP_S *sweep, float v)
{
    std::fill_n(sweep->psd, Cells(sweep), v);
}

std::string Format(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), fmt, again);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return text;
}

void SetLineageText(char (&field)[NURV_LINEAGE_LEN], const std::string &text)
{
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(NURV_LINEAGE_LEN - 1));
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace sweep_ops
