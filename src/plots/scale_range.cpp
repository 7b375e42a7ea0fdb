/* Autoscaled ranges of the sweep plots: the values a linear or logarithmic
 * scale can show, and ranges whose ends are equal. */
#include "plots_int.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

namespace plots {

void ShownRange::Take(float v, float missing)
{
    if (std::isnan(v) || v == missing)
        return;
    present_ = true;
    if ((log_ && !(v > 0)) || (skip_zero_ && v == 0))
        return;
    if (!found_) {
        lo_ = hi_ = v;
        found_ = true;
    } else if (v < lo_) {
        lo_ = v;
    } else if (v > hi_) {
        hi_ = v;
    }
}

void WidenEqualEnds(float *lo, float *hi, PGSpectro_linlog linlog)
{
    if (*lo != *hi || !std::isfinite(*lo))
        return;
    const float v = *lo;
    if (linlog == PGSPECTRO_LOG) {
        if (!(v > 0))
            return;
        *lo = v / 10.0f;
        *hi = v <= FLT_MAX / 10.0f ? v * 10.0f : FLT_MAX;
        return;
    }
    float step = 1.0f;
    if (v - step == v || v + step == v)
        step = std::fabs(v) / 10.0f;
    *lo = std::fmax(v - step, -FLT_MAX);
    *hi = std::fmin(v + step, FLT_MAX);
}

void PrintRangeKept(const char *who, const char *what, float lo, float hi)
{
    std::printf("%s: no value above zero for the logarithmic %s; keeping %g .. %g\n", who, what,
                static_cast<double>(lo), static_cast<double>(hi));
}

} // namespace plots
