/* New sweeps from old: bin-by-bin arithmetic between two sweeps, regridding
 * onto another sweep's grid, scaling and the value range of a set. */
#include "sweep_ops_int.h"
#include "sweep_alloc_int.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

using namespace sweep_ops;

namespace {

constexpr KOMBRA_SHORT kRebinFailed = -507;
/* Divisors below this (100 times the smallest normal float) give no
 * quotient. */
constexpr double kTinyDivisor = 1.1754943508222875e-36;

} // namespace

HALDE_SWEEP_S *sweep_arithmetic(const HALDE_SWEEP_S *swp_pri, const HALDE_SWEEP_S *swp_sec, ARITH_OPER oper)
{
    const int c = test_sweeps_congruent(swp_pri, swp_sec);
    if (c < 0 || swp_pri->psd == nullptr || swp_sec->psd == nullptr)
        return nullptr;

    /* The operand on the primary's grid: the secondary itself, or averaged
     * onto a copy of the primary (bins it does not reach are missing). */
    SweepPtr regridded;
    const HALDE_SWEEP_S *operand = swp_sec;
    if (c > 0) {
        regridded.reset(create_sweep_full_copy(swp_pri));
        auto weight = Scratch(Cells(swp_pri));
        if (!regridded || !weight)
            return nullptr;
        if (CombineSweeps(regridded.get(), weight.get(), swp_sec, diff_or_integral(swp_pri->psd_units)) != kOk)
            return nullptr;
        operand = regridded.get();
    }

    SweepPtr result(create_sweep_full_copy(swp_pri));
    if (!result)
        return nullptr;
    const long long n = Cells(result.get());
    const float a_missing = result->missing_value;
    const float b_missing = operand->missing_value;
    float *a = result->psd;
    const float *b = operand->psd;
    switch (oper) {
    case ADD:
    case SUBTRACT:
        for (long long i = 0; i < n; ++i)
            if (a[i] != a_missing && b[i] != b_missing)
                a[i] = oper == ADD ? a[i] + b[i] : a[i] - b[i];
        break;
    case MULTIPLY:
        for (long long i = 0; i < n; ++i)
            a[i] = (a[i] == a_missing || b[i] == b_missing) ? a_missing : a[i] * b[i];
        break;
    case DIVIDE:
        for (long long i = 0; i < n; ++i)
            a[i] = (a[i] == a_missing || b[i] == b_missing || std::fabs(b[i]) < kTinyDivisor) ? a_missing : a[i] / b[i];
        break;
    default:
        std::printf("Unknown Arithmetic Operation for Sweep; missing vals returned\n");
        FillValues(result.get(), a_missing);
        break;
    }
    return result.release();
}

HALDE_SWEEP_S *rebin_sweep(const HALDE_SWEEP_S *bin_holder, const HALDE_SWEEP_S *swp)
{
    if (bin_holder->bin_units != swp->bin_units) {
        std::printf("rebin_sweep failed; bin-units don't match\n");
        return nullptr;
    }
    SweepPtr out(sweep_alloc::NewRecord(*swp));
    if (!out) {
        std::printf("rebin_sweep failed to malloc ptr\n");
        return nullptr;
    }
    nullify_sweep_arrays(out.get());
    out->n_sen = bin_holder->n_sen;
    out->n_lev = bin_holder->n_lev;
    const KOMBRA_SHORT status = malloc_sweep_arrays(out.get(), 0);
    if (status != kOk) {
        std::printf("rebin_sweep malloc_sweep_arrays returned %d - Oops!\n", status);
        return nullptr;
    }
    std::copy_n(bin_holder->thlo, std::max(out->n_sen, 0), out->thlo);
    std::copy_n(bin_holder->thhi, std::max(out->n_sen, 0), out->thhi);
    std::copy_n(bin_holder->elo, std::max(out->n_lev, 0), out->elo);
    std::copy_n(bin_holder->ehi, std::max(out->n_lev, 0), out->ehi);
    if (swp->lineage != nullptr)
        copy_lineage(out->lineage, swp->lineage);
    auto weight = Scratch(Cells(out.get()));
    if (!weight) {
        std::printf("rebin_sweep failed to malloc ptr\n");
        return nullptr;
    }
    FillValues(out.get(), 0.0f);
    if (CombineSweeps(out.get(), weight.get(), swp, diff_or_integral(swp->psd_units)) != kOk)
        return nullptr;
    return out.release();
}

KOMBRA_SHORT rebin_n_sweeps(const HALDE_SWEEP_S *bin_holder, int nswps, HALDE_SWEEP_S **swpsinpp, int *nrebinned,
                            HALDE_SWEEP_S ***swpsoutppp)
{
    *nrebinned = 0;
    const int n = std::max(nswps, 0);
    auto **out = sweep_alloc::NewArray<HALDE_SWEEP_S *>(n, true);
    *swpsoutppp = out;
    if (out == nullptr) {
        std::printf("Malloc error in rebin_n_sweeps\n");
        return kRebinFailed;
    }
    int made = 0;
    while (made < n && (out[made] = rebin_sweep(bin_holder, swpsinpp[made])) != nullptr)
        ++made;
    if (made == 0) {
        free_sweep_set(n, out);
        *swpsoutppp = nullptr;
        std::printf("rebin_n_sweeps failed to rebin even 1 sweep\n");
        return kRebinFailed;
    }
    *nrebinned = made;
    return kOk;
}

void sweeps_autoscaler(HALDE_SWEEP_S **swppp, int nswp, float *psdmin, float *psdmax)
{
    constexpr float kTiny = 1.1754943508222875e-36f;
    constexpr float kBig = 3.4028234663852886e+37f;
    constexpr float kSmallest = 1.1754943508222875e-38f;
    float lo = kTiny;
    float hi = kTiny;
    auto usable = [&](int i) { return swppp[i] != nullptr && swppp[i]->psd != nullptr; };

    /* Seed with the first clearly non-zero value. */
    for (int i = 0; i < nswp && std::fabs(lo) < 10 * kTiny; ++i) {
        if (!usable(i))
            continue;
        const HALDE_SWEEP_S *s = swppp[i];
        const long long n = Cells(s);
        for (long long k = 0; k < n; ++k) {
            if (std::fabs(s->psd[k]) > kTiny && s->psd[k] != s->missing_value) {
                lo = hi = s->psd[k];
                break;
            }
        }
    }
    for (int i = 0; i < nswp; ++i) {
        if (!usable(i))
            continue;
        const HALDE_SWEEP_S *s = swppp[i];
        const long long n = Cells(s);
        for (long long k = 0; k < n; ++k) {
            if (s->psd[k] == s->missing_value)
                continue;
            lo = std::min(lo, s->psd[k]);
            hi = std::max(hi, s->psd[k]);
        }
    }
    auto clamp_big = [&](float v) { return std::fabs(v) > kBig ? (v > 0 ? kBig : -kBig) : v; };
    hi = clamp_big(hi);
    lo = clamp_big(lo);
    if (lo > hi)
        std::swap(lo, hi);
    if (hi - lo >= kSmallest) {
        *psdmin = lo;
        *psdmax = hi;
        return;
    }
    *psdmin = lo;
    *psdmax = std::fabs(lo) >= kSmallest ? static_cast<float>(1.1 * std::fabs(lo)) : 1.0f;
}

void sweep_scaler(HALDE_SWEEP_S *swpp, float mult)
{
    const long long n = Cells(swpp);
    for (long long i = 0; i < n; ++i)
        if (swpp->psd[i] != swpp->missing_value)
            swpp->psd[i] *= mult;
    /* The mark is cut rather than run past the field. */
    if (swpp->lineage != nullptr)
        append_lineage_mark(swpp->lineage->experiment, lineage_scale_mark(mult).c_str(), 94);
}

void print_weight(const float *weight, int n_sen, int n_lev)
{
    std::printf("Weights[theta][level] array is:\n");
    std::printf("-------------------------------\n");
    for (int s = 0; s < n_sen; ++s) {
        std::printf("\nTheta bin %d; levels commence at 0\n", s);
        for (int l = 0; l < n_lev; ++l)
            std::printf("%8.3g  ", static_cast<double>(weight[l + static_cast<long long>(n_lev) * s]));
    }
    std::printf("\n");
}
