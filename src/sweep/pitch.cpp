/* Pitch-angle rebinning: the polar bins of sweeps read with pitch angles are
 * replaced by pitch-angle bins over 0..180 degrees. */
#include "Velora_pad.h"
#include "sweep_ops_int.h"
#include "sweep_alloc_int.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace sweep_ops;

namespace {

constexpr KOMBRA_SHORT kPitchFailed = -506;
constexpr double kDegrees = 57.29577951308232;

/* n bins over 0..180 degrees, equal in angle or in its cosine. */
void SetPitchEdges(HALDE_SWEEP_S *sweep, bool in_cosine)
{
    const int n = sweep->n_sen;
    if (!in_cosine) {
        set_equal_bins(sweep->thlo, sweep->thhi, n, 0.0f, 180.0f);
        return;
    }
    set_equal_bins(sweep->thlo, sweep->thhi, n, 1.0f, -1.0f);
    auto to_angle = [](float c) { return static_cast<float>(std::acos(std::clamp(c, -1.0f, 1.0f)) * kDegrees); };
    for (int i = 0; i < n; ++i) {
        sweep->thlo[i] = to_angle(sweep->thlo[i]);
        sweep->thhi[i] = to_angle(sweep->thhi[i]);
    }
    sweep->thlo[0] = 0.0f;
    sweep->thhi[n - 1] = 180.0f;
}

} // namespace

void set_pa_opts_defaults(HALDE_PITCH_ANGLE_OPTS_S *paopts)
{
    paopts->do_pa = QPTRUE;
    paopts->n_pabins = 13;
    paopts->mu_bins = QPFALSE;
}

KOMBRA_SHORT rebin_sweep_to_pa(HALDE_SWEEP_S **swpp, int nswps, const HALDE_PITCH_ANGLE_OPTS_S *paopts,
                               HALDE_SWEEP_S **paswpp)
{
    *paswpp = nullptr;
    if (swpp == nullptr || nswps < 1 || swpp[0] == nullptr) {
        std::printf("Rebin to pa got no sweeps, and failed\n");
        return kPitchFailed;
    }
    if (paopts->n_pabins < 1) {
        std::printf("Rebin to pa got %d pitch-angle bins, and failed\n", paopts->n_pabins);
        return kPitchFailed;
    }
    for (int i = 0; i + 1 < nswps; ++i) {
        const int c = swpp[i + 1] == nullptr ? 2 : test_sweeps_congruent(swpp[i], swpp[i + 1]);
        if (c != 0) {
            std::printf("Rebin to pa got incongruent sweeps; err %d, and failed\n", c);
            return kPitchFailed;
        }
    }
    const HALDE_SWEEP_S *first = swpp[0];
    const HALDE_SWEEP_S *last = swpp[nswps - 1];

    /* The output's polar arrays are sized to the pitch-angle bins, not to
     * the sensors. */
    SweepPtr out(sweep_alloc::NewRecord(*first));
    if (!out)
        return kBadArgument;
    nullify_sweep_arrays(out.get());
    out->n_sen = paopts->n_pabins;
    out->n_lev = first->n_lev;
    const KOMBRA_SHORT status = malloc_sweep_arrays(out.get(), 1);
    if (status != kOk) {
        std::printf("Failed to malloc sweep arrays for rebin_sweep_to_pa\n");
        return status;
    }
    out->etime = last->etime;
    out->phi_hi = last->phi_hi;
    std::copy_n(first->elo, first->n_lev, out->elo);
    std::copy_n(first->ehi, first->n_lev, out->ehi);
    if (first->lineage != nullptr)
        copy_lineage(out->lineage, first->lineage);
    const long long out_cells = Cells(out.get());
    FillValues(out.get(), out->missing_value);
    std::fill_n(out->pa, out_cells, 0.0f);
    SetPitchEdges(out.get(), paopts->mu_bins == QPTRUE);

    /* Counts are summed as they are; other values are weighted by the area
     * of their bin.  Every sweep shares the first one's grid. */
    const long long in_cells = Cells(first);
    auto area = Scratch(in_cells);
    auto value_weight = Scratch(in_cells);
    if (!area || !value_weight) {
        std::printf("Error mallocing A or psdwt in rebin_sweep_to_pa\n");
        return kPitchFailed;
    }
    fill_sweep_bin_area(area.get(), first);
    const bool counts = diff_or_integral(first->psd_units) == INTEGRAL;
    for (long long i = 0; i < in_cells; ++i)
        value_weight[i] = counts ? 1.0f : area[i];

    float *weight_sum = out->pa;
    for (int n = 0; n < nswps; ++n) {
        const HALDE_SWEEP_S *in = swpp[n];
        if (in->pa == nullptr)
            continue;
        for (int s = 0; s < in->n_sen; ++s) {
            for (int l = 0; l < in->n_lev; ++l) {
                const long long i = l + static_cast<long long>(in->n_lev) * s;
                const float v = in->psd[i];
                if (v == in->missing_value || v == 0.0f)
                    continue;
                const int b = inbin(in->pa[i], out->thlo, out->thhi, out->n_sen);
                if (b < 0)
                    continue;
                const long long o = l + static_cast<long long>(out->n_lev) * b;
                weight_sum[o] += area[i];
                if (out->psd[o] == out->missing_value)
                    out->psd[o] = value_weight[i] * v;
                else
                    out->psd[o] += value_weight[i] * v;
            }
        }
    }
    for (long long o = 0; o < out_cells; ++o) {
        if (out->psd[o] != out->missing_value && weight_sum[o] != 0)
            out->psd[o] /= weight_sum[o];
        else
            out->psd[o] = out->missing_value;
    }

    KOMBRA_SHORT result = kOk;
    if (counts) {
        auto out_area = Scratch(out_cells);
        if (out_area) {
            fill_sweep_bin_area(out_area.get(), out.get());
            multiply_by_area(out_area.get(), out.get());
        } else {
            std::printf("Failed to malloc Aout in rebin sweep to pa\n");
            result = kPitchFailed;
        }
    }
    append_lineage_mark(out->lineage->virtual_inst, "_pa", 96);
    *paswpp = out.release();
    return result;
}

KOMBRA_SHORT Rebin_n_sweeps_to_pa(HALDE_SWEEP_S **swppp, int nswps, int nswpgrp, const HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                  HALDE_SWEEP_S ***paswppp_p, int *npaswp)
{
    *paswppp_p = nullptr;
    *npaswp = 0;
    if (nswpgrp < 1) {
        std::printf("Rebin_n_sweeps_to_pa got a group size of %d, and failed\n", nswpgrp);
        return kPitchFailed;
    }
    const int ngroups = std::max(nswps, 0) / nswpgrp;
    auto **set = sweep_alloc::NewArray<HALDE_SWEEP_S *>(ngroups, true);
    if (set == nullptr) {
        std::printf("paswpp malloc failed in Rebin_n_sweeps_to_pa\n");
        return kPitchFailed;
    }
    for (int g = 0; g < ngroups; ++g) {
        const KOMBRA_SHORT status = rebin_sweep_to_pa(swppp + static_cast<long long>(g) * nswpgrp, nswpgrp, paopts, &set[g]);
        if (status != kOk) {
            std::printf("rebin_sweep_to_pa in Rebin_n_sweeps_to_pa failed\n");
            free_sweep_set(g + 1, set);
            return status;
        }
    }
    *paswppp_p = set;
    *npaswp = ngroups;
    return kOk;
}

KOMBRA_SHORT Rebin_n_spins_to_pa(HALDE_SPIN3D_S **spinpp, int nspins, const HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                 HALDE_SWEEP_S ***paswppp_p)
{
    *paswppp_p = nullptr;
    const int n = std::max(nspins, 0);
    auto **set = sweep_alloc::NewArray<HALDE_SWEEP_S *>(n, true);
    if (set == nullptr) {
        std::printf("paswpp malloc failed in Rebin_n_spins_to_pa\n");
        return kPitchFailed;
    }
    for (int i = 0; i < n; ++i) {
        const HALDE_SPIN3D_S *spin = spinpp[i];
        const KOMBRA_SHORT status = spin == nullptr ? kPitchFailed
                                                    : rebin_sweep_to_pa(spin->sweeppp, spin->n_swp, paopts, &set[i]);
        if (status != kOk) {
            std::printf("rebin_sweep_to_pa in Rebin_n_spins_to_pa failed\n");
            free_sweep_set(i + 1, set);
            return status;
        }
    }
    *paswppp_p = set;
    return kOk;
}
