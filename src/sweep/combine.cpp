/* Moving values between sweep grids: the congruence test, bin areas and the
 * overlap-area averaging every regridding of the suite is built on. */
#include "sweep_ops_int.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>
#include <vector>
#include <cstdio>

using namespace sweep_ops;

int test_sweeps_congruent(const HALDE_SWEEP_S *swp1, const HALDE_SWEEP_S *swp2)
{
    if (swp1->bin_units != swp2->bin_units)
        return -2;
    if (swp1->psd_units != swp2->psd_units)
        return -1;
    if (swp1->n_sen != swp2->n_sen)
        return 2;
    if (swp1->n_lev != swp2->n_lev)
        return 1;
    for (int s = 0; s < swp1->n_sen; ++s)
        if (swp1->thlo[s] != swp2->thlo[s] || swp1->thhi[s] != swp2->thhi[s])
            return 4;
    for (int l = 0; l < swp1->n_lev; ++l)
        if (swp1->elo[l] != swp2->elo[l] || swp1->ehi[l] != swp2->ehi[l])
            return 3;
    return 0;
}

namespace {

/* polar_area in two factors, so that loops over levels take the cosines of a
 * polar band once: the band's cosine difference, and the area of levels r1 to
 * r2 within it (the same value as polar_area, bit for bit). */
constexpr double kRadPerDegree = std::numbers::pi / 180.0;

double polar_band(float th1, float th2)
{
    return std::cos(th1 * kRadPerDegree) - std::cos(th2 * kRadPerDegree);
}

float band_area(double band, float r1, float r2)
{
    return static_cast<float>(band * (static_cast<double>(r2) * r2 - static_cast<double>(r1) * r1) * 0.5);
}

/* cos of n polar edges, worked out again only when the edges differ (bit
 * for bit) from the last ones. */
class EdgeCosines {
public:
    const std::vector<double> &Of(const float *edges, int n)
    {
        const auto count = static_cast<std::size_t>(std::max(n, 0));
        if (count != edges_.size() || (count > 0 && std::memcmp(edges, edges_.data(), count * sizeof *edges) != 0)) {
            edges_.assign(edges, edges + count);
            cosines_.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                cosines_[i] = std::cos(edges_[i] * kRadPerDegree);
        }
        return cosines_;
    }

private:
    std::vector<float> edges_;
    std::vector<double> cosines_;
};

} // namespace

int fill_sweep_bin_area(float *area, const HALDE_SWEEP_S *sweep)
{
    if (Cells(sweep) == 0)
        return kOk;
    for (int s = 0; s < sweep->n_sen; ++s) {
        const double band = polar_band(sweep->thlo[s], sweep->thhi[s]);
        for (int l = 0; l < sweep->n_lev; ++l)
            area[l + static_cast<long long>(sweep->n_lev) * s] = band_area(band, sweep->elo[l], sweep->ehi[l]);
    }
    return kOk;
}

int divide_by_area(const float *area, HALDE_SWEEP_S *sweep)
{
    const long long n = Cells(sweep);
    for (long long i = 0; i < n; ++i) {
        if (area[i] != 0 && sweep->psd[i] != sweep->missing_value)
            sweep->psd[i] /= area[i];
        else
            sweep->psd[i] = sweep->missing_value;
    }
    return kOk;
}

int multiply_by_area(const float *area, HALDE_SWEEP_S *sweep)
{
    const long long n = Cells(sweep);
    for (long long i = 0; i < n; ++i)
        if (sweep->psd[i] != sweep->missing_value)
            sweep->psd[i] *= area[i];
    return kOk;
}

KOMBRA_SHORT CombineSweeps(HALDE_SWEEP_S *swp_new, float *weight, const HALDE_SWEEP_S *swp_old, INTERP_QUANTITY interpq)
{
    if (Cells(swp_new) == 0)
        return kOk;
    const HALDE_SWEEP_S *src = swp_old;

    /* Counts are averaged per unit area: the source is divided on a copy of
     * its values, so the caller's sweep is never touched. */
    SweepPtr per_area;
    std::unique_ptr<float[]> area_new;
    const bool integral = interpq == INTEGRAL;
    if (integral) {
        area_new = Scratch(Cells(swp_new));
        auto area_old = Scratch(Cells(swp_old));
        per_area.reset(create_sweep_full_copy(swp_old));
        if (!area_new || !area_old || !per_area) {
            std::printf("CombineSweeps failed to malloc area arrays\n");
            return kBadArgument;
        }
        fill_sweep_bin_area(area_old.get(), per_area.get());
        divide_by_area(area_old.get(), per_area.get());
        fill_sweep_bin_area(area_new.get(), swp_new);
        divide_by_area(area_new.get(), swp_new);
        src = per_area.get();
    }

    multiply_by_area(weight, swp_new);
    const float src_missing = src->missing_value;
    /* The cosines of every polar edge of both grids, taken once: an overlap
     * of two bins is bounded by one edge of either.  Sweeps combined one
     * after another share their grids, so each list is kept for the edges
     * it was last taken of. */
    thread_local EdgeCosines new_lo, new_hi, src_lo, src_hi;
    const std::vector<double> &cos_new_lo = new_lo.Of(swp_new->thlo, swp_new->n_sen);
    const std::vector<double> &cos_new_hi = new_hi.Of(swp_new->thhi, swp_new->n_sen);
    const std::vector<double> &cos_src_lo = src_lo.Of(src->thlo, src->n_sen);
    const std::vector<double> &cos_src_hi = src_hi.Of(src->thhi, src->n_sen);
    /* The source levels each new level overlaps, found once for every row
     * (none: first above last). */
    std::vector<std::pair<int, int>> levels(static_cast<std::size_t>(std::max(swp_new->n_lev, 0)), {0, -1});
    for (int l = 0; l < swp_new->n_lev; ++l) {
        auto &[k0, k1] = levels[static_cast<std::size_t>(l)];
        if (find_subset_in_range(swp_new->elo[l], swp_new->ehi[l], src->elo, src->ehi, src->n_lev, &k0, &k1) < 1)
            k0 = 0, k1 = -1;
    }
    for (int s = 0; s < swp_new->n_sen; ++s) {
        int j0 = 0, j1 = -1;
        if (find_subset_in_range(swp_new->thlo[s], swp_new->thhi[s], src->thlo, src->thhi, src->n_sen, &j0, &j1) < 1)
            continue;
        for (int l = 0; l < swp_new->n_lev; ++l) {
            const auto [k0, k1] = levels[static_cast<std::size_t>(l)];
            if (k1 < k0)
                continue;
            const long long o = l + static_cast<long long>(swp_new->n_lev) * s;
            for (int j = j0; j <= j1; ++j) {
                const auto is = static_cast<std::size_t>(s), ij = static_cast<std::size_t>(j);
                /* cos of max(lows) less cos of min(highs), as polar_band would take them. */
                const double band = (swp_new->thlo[s] < src->thlo[j] ? cos_src_lo[ij] : cos_new_lo[is]) -
                                    (src->thhi[j] < swp_new->thhi[s] ? cos_src_hi[ij] : cos_new_hi[is]);
                for (int k = k0; k <= k1; ++k) {
                    const float v = src->psd[k + static_cast<long long>(src->n_lev) * j];
                    if (v == src_missing)
                        continue;
                    const float e1 = std::max(swp_new->elo[l], src->elo[k]);
                    const float e2 = std::min(swp_new->ehi[l], src->ehi[k]);
                    const float w = band_area(band, e1, e2);
                    weight[o] += w;
                    if (swp_new->psd[o] == swp_new->missing_value)
                        swp_new->psd[o] = v * w;
                    else
                        swp_new->psd[o] += v * w;
                }
            }
        }
    }
    divide_by_area(weight, swp_new);
    if (integral)
        multiply_by_area(area_new.get(), swp_new);
    return kOk;
}

int inbin(float value, const float *lobins, const float *hibins, int nbins)
{
    if (nbins < 1)
        return -1;
    /* Walked from the lowest bin up, whichever way the bins are listed. */
    const bool fall = bins_fall(lobins, nbins);
    const auto at = [&](int k) { return fall ? nbins - 1 - k : k; };
    if (lobins[at(0)] > value || value > hibins[at(nbins - 1)])
        return -1;
    int k = 0;
    while (k < nbins - 1 && !(value < hibins[at(k)]))
        ++k;
    return value >= lobins[at(k)] ? at(k) : -1;
}
