/* Gathering: cutting a time-ordered sweep set into groups of sweeps, spins
 * or seconds and averaging each group onto a template grid. */
#include "sweep_ops_int.h"
#include "sweep_alloc_int.h"

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace sweep_ops;

namespace {

constexpr KOMBRA_SHORT kGatherFailed = -518;
constexpr int kStartOutOfBounds = -519;

double Secs(const NURV_TIME_S &t)
{
    return nurv_time_to_epoch_secs(&t);
}

int EndOfSweepGroup(HALDE_SWEEP_S **swppp, int nswps, int istart, float sweep_gap, int count)
{
    const double t0 = Secs(swppp[istart]->btime);
    const double span = static_cast<double>(count) * sweep_gap;
    for (int k = istart + 1;; ++k) {
        if (k - istart >= count)
            return k - 1;
        if (k > nswps - 1)
            return nswps - 1;
        if (Secs(swppp[k]->btime) - t0 > span)
            return k - 1;
    }
}

/* Every index stays below nswps: the walk stops at the last sweep. */
int EndOfSpinGroup(HALDE_SWEEP_S **swppp, int nswps, int istart, float spin_gap, int count)
{
    NURV_TIME_S ref = swppp[istart]->suntime;
    const double t0 = Secs(ref);
    const double span = static_cast<double>(count) * spin_gap;
    int k = istart;
    int spins = 0;
    while (spins < count && k < nswps - 1) {
        while (compare_nurv_time(&swppp[k]->suntime, &ref) == SAME_TIME) {
            if (k == nswps - 1)
                return k;
            ++k;
        }
        ++spins;
        if (Secs(swppp[k]->suntime) - t0 > span)
            return k - 1;
        ref = swppp[k]->suntime;
    }
    return k - 1;
}

int EndOfSecondsGroup(HALDE_SWEEP_S **swppp, int nswps, int istart, float gsecs)
{
    const double t0 = Secs(swppp[istart]->btime);
    for (int k = istart + 1;; ++k) {
        if (k > nswps - 1)
            return nswps - 1;
        if (Secs(swppp[k]->etime) - t0 > gsecs)
            return k - 1;
    }
}

} // namespace

void sweep_spin_gap_defaults(HALDE_GATHER_GAPS_S *gaps)
{
    gaps->sweep_gap = 1.0f;
    gaps->spin_gap = 4.5f;
}

int iend_sweep_gather(HALDE_SWEEP_S **swppp, int nswps, int istart, HALDE_GATHER_CHOICE gather, HALDE_GATHER_GAPS gaps,
                      float gsecs, int gswp_spin)
{
    if (istart == nswps - 1)
        return istart;
    if (istart > nswps - 1 || istart < 0) {
        std::printf("iend_sweep_gather started out of bounds; istart, nswps = %d, %d\n", istart, nswps);
        return kStartOutOfBounds;
    }
    switch (gather) {
    case GATHER_SWEEPS:
        /* A group of fewer than one sweep ends before it begins. */
        return gswp_spin < 1 ? -1 : EndOfSweepGroup(swppp, nswps, istart, gaps.sweep_gap, gswp_spin);
    case GATHER_SPINS:
        return gswp_spin < 1 ? -1 : EndOfSpinGroup(swppp, nswps, istart, gaps.spin_gap, gswp_spin);
    case GATHER_SECS:
        return EndOfSecondsGroup(swppp, nswps, istart, gsecs);
    default:
        return -1;
    }
}

KOMBRA_SHORT gather_sweeps(HALDE_SWEEP_S **swppp, int nswp, const HALDE_SWEEP_S *binh, HALDE_GATHER_CHOICE gatch,
                           HALDE_GATHER_GAPS gaps, float gath_secs, int gath_swp_spins, HALDE_SWEEP_S ***gath_swpppp,
                           int *ngat)
{
    *gath_swpppp = nullptr;
    *ngat = 0;
    std::vector<SweepPtr> groups;
    auto weight = Scratch(Cells(binh));
    if (!weight) {
        std::printf("gather_sweeps failed to malloc weight array\n");
        return kGatherFailed;
    }
    const INTERP_QUANTITY interp = diff_or_integral(binh->psd_units);
    for (int istart = 0; istart < nswp;) {
        const int iend = iend_sweep_gather(swppp, nswp, istart, gatch, gaps, gath_secs, gath_swp_spins);
        if (iend < 0) {
            std::printf("iend returned %d\n", iend);
            return kGatherFailed;
        }
        SweepPtr group(create_sweep_full_copy(binh));
        if (!group)
            return kGatherFailed;
        const HALDE_SWEEP_S *first = swppp[istart];
        const HALDE_SWEEP_S *last = swppp[iend];
        /* The group marks its empty bins as its sources do. */
        group->missing_value = first->missing_value;
        FillValues(group.get(), 0.0f);
        std::fill_n(weight.get(), Cells(binh), 0.0f);
        for (int i = istart; i <= iend; ++i)
            if (CombineSweeps(group.get(), weight.get(), swppp[i], interp) != kOk)
                return kGatherFailed;
        group->btime = first->btime;
        group->suntime = first->suntime;
        group->phi_lo = first->phi_lo;
        group->phi_sc = first->phi_sc;
        if (first->lineage != nullptr)
            copy_lineage(group->lineage, first->lineage);
        group->etime = last->etime;
        group->phi_hi = last->phi_hi;
        groups.push_back(std::move(group));
        istart = iend + 1;
    }

    /* The caller's array has one entry per input sweep. */
    auto **out = sweep_alloc::NewArray<HALDE_SWEEP_S *>(nswp > 0 ? nswp : 0, true);
    if (out == nullptr) {
        std::printf("gather_sweeps failed to malloc sweep pointer array\n");
        return kGatherFailed;
    }
    for (std::size_t i = 0; i < groups.size(); ++i)
        out[i] = groups[i].release();
    *gath_swpppp = out;
    *ngat = static_cast<int>(groups.size());
    return kOk;
}
