/* Bin edges: equal grids, searching, repairing centre-only bins, and the
 * small numeric helpers the sweep operations share. */
#include "Qnurv_utils.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace {

constexpr KOMBRA_SHORT kOk = 1;
constexpr KOMBRA_SHORT kBadArgument = -501;

} // namespace

KOMBRA_SHORT invert_array(void *array, int n)
{
    auto *bytes = static_cast<unsigned char *>(array);
    for (int i = 0; i < n / 2; ++i) {
        unsigned char a[4], b[4];
        std::memcpy(a, bytes + 4 * i, 4);
        std::memcpy(b, bytes + 4 * (n - 1 - i), 4);
        std::memcpy(bytes + 4 * i, b, 4);
        std::memcpy(bytes + 4 * (n - 1 - i), a, 4);
    }
    return kOk;
}

double near_nice_number(double x)
{
    /* Kept in doubles throughout so that an infinite x cannot overflow an
     * integer conversion. */
    const double lg = SafeLog10(std::fabs(x));
    double k = std::trunc(lg);
    if (k <= 0)
        k -= 1;
    double f = lg - k;
    if (f > 1) {
        f -= 1;
        k += 1;
    }
    const double m = std::pow(10.0, f);
    double n = std::trunc(m);
    if (m / n > 1)
        n += 1;
    const double factor = n > 5 ? 10 : n > 2 ? 5 : n > 1 ? 2 : 1;
    const double result = factor * std::pow(10.0, k);
    return x > 0 ? result : -result;
}

void scale_then_rotate_angles(const float *in, float *out, int n, float rotation, float scale)
{
    for (int i = 0; i < n; ++i)
        out[i] = in[i] * scale + rotation;
}

float polar_area(float r1, float r2, float th1, float th2)
{
    constexpr double kRad = std::numbers::pi / 180.0;
    return static_cast<float>((std::cos(th1 * kRad) - std::cos(th2 * kRad)) *
                              (static_cast<double>(r2) * r2 - static_cast<double>(r1) * r1) * 0.5);
}

bool bins_fall(const float *low, int n)
{
    return n > 1 && low[0] > low[n - 1];
}

float bins_lowest_edge(const float *low, int n)
{
    return bins_fall(low, n) ? low[n - 1] : low[0];
}

float bins_highest_edge(const float *low, const float *high, int n)
{
    return bins_fall(low, n) ? high[0] : high[n - 1];
}

int bin_reaching(double x, const float *low, const float *high, int n)
{
    if (n < 1)
        return -1;
    /* Walked from the lowest bin up, whichever way the bins are listed. */
    const bool fall = bins_fall(low, n);
    for (int k = 0; k < n - 1; ++k) {
        const int i = fall ? n - 1 - k : k;
        if (!(high[i] < x))
            return i;
    }
    return fall ? 0 : n - 1;
}

int find_subset_in_range(float lo, float hi, const float *low, const float *high, int n, int *first, int *last)
{
    /* Polar rows of the reader's sweeps run downwards (180 degrees less the
     * sensor angles): for bins in falling order take the bins that overlap
     * the range, first and last by index. */
    if (bins_fall(low, n)) {
        int f = -1, l = -1;
        for (int i = 0; i < n; ++i)
            if (high[i] > lo && low[i] < hi) {
                if (f < 0)
                    f = i;
                l = i;
            }
        if (f < 0)
            return 0;
        *first = f;
        *last = l;
        return l - f + 1;
    }
    if (n < 1 || low[0] >= hi || lo >= high[n - 1])
        return 0;
    int f = 0;
    while (f < n - 1 && !(high[f] > lo))
        ++f;
    int l = n - 1;
    while (l > 0 && low[l] >= hi)
        --l;
    *first = f;
    *last = l;
    return l - f + 1;
}

KOMBRA_SHORT check_bins(float *low, float *high, int n)
{
    int centre_only = 0;
    for (int i = 0; i < n; ++i)
        if (low[i] == high[i])
            ++centre_only;
    if (centre_only == 0)
        return kOk;
    /* Walked from the lowest centre up: each edge goes between a bin and
     * the next one above it.  high[below] and high[above] are still the
     * original centres at each step. */
    const bool fall = bins_fall(low, n);
    for (int k = 0; k + 1 < n; ++k) {
        const int below = fall ? n - 1 - k : k;
        const int above = fall ? below - 1 : k + 1;
        const float m = (high[below] + high[above]) / 2;
        low[above] = m;
        high[below] = m;
    }
    return kOk;
}

KOMBRA_SHORT set_equal_bins(float *low, float *high, int n, float xmin, float xmax)
{
    if (n < 1)
        return kBadArgument;
    const float w = (xmax - xmin) / static_cast<float>(n);
    low[0] = xmin;
    high[0] = xmin + w;
    for (int i = 1; i < n; ++i) {
        low[i] = high[i - 1];
        high[i] = low[i] + w;
    }
    high[n - 1] = xmax;
    return kOk;
}

KOMBRA_SHORT set_equal_bins_linlog(float *low, float *high, int n, float xmin, float xmax, PGSpectro_linlog linlog)
{
    if (linlog != PGSPECTRO_LOG)
        return set_equal_bins(low, high, n, xmin, xmax);
    if (n < 1)
        return kBadArgument;
    const float q = static_cast<float>(std::pow(10.0, (SafeLog10(xmax) - SafeLog10(xmin)) / n));
    low[0] = xmin;
    high[0] = xmin * q;
    for (int i = 1; i < n; ++i) {
        low[i] = high[i - 1];
        high[i] = low[i] * q;
    }
    high[n - 1] = xmax;
    return kOk;
}

KOMBRA_SHORT set_equal_bins_half_ends(float *low, float *high, int n, float xmin, float xmax)
{
    if (n == 1)
        return set_equal_bins(low, high, n, xmin, xmax);
    if (n < 1)
        return kBadArgument;
    const float w = (xmax - xmin) / static_cast<float>(n - 1);
    low[0] = xmin;
    high[0] = xmin + w / 2;
    for (int i = 1; i < n; ++i) {
        low[i] = high[i - 1];
        high[i] = low[i] + w;
    }
    high[n - 1] = xmax;
    return kOk;
}

float mod360(float angle)
{
    float r = angle - 360.0f * std::trunc(angle / 360.0f);
    if (r < 0)
        r += 360.0f;
    /* A tiny negative angle rounds up to 360 once 360 is added. */
    if (r >= 360.0f)
        r = 0.0f;
    return r;
}

void az_range_centre_half(float phi_lo, float phi_hi, float *centre, float *half)
{
    double width = std::fmod(static_cast<double>(phi_hi) - phi_lo, 360.0);
    if (width < 0)
        width += 360.0;
    double mid = std::fmod(phi_lo + width / 2, 360.0);
    if (mid < 0)
        mid += 360.0;
    /* Rounding to float may reach the end of the turn. */
    float c = static_cast<float>(mid);
    if (c >= 360.0f)
        c = 0.0f;
    *centre = c;
    *half = static_cast<float>(width / 2);
}

void print_bins(const float *low, const float *high, int n)
{
    std::printf("-------------------------------------------\n");
    std::printf("bin      low   -> high\n");
    for (int i = 0; i < n; ++i)
        std::printf("%d    %g    %g\n", i, static_cast<double>(low[i]), static_cast<double>(high[i]));
}
