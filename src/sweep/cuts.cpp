/* One-dimensional cuts of a sweep along one polar bin, for the cut plots. */
#include "sweep_ops_int.h"
#include "sweep_alloc_int.h"

#include <cstdio>

using namespace sweep_ops;
using sweep_alloc::MallocPtr;
using sweep_alloc::NewArray;
using sweep_alloc::NewRecord;

HALDE_1D_SWEEP_CUT_S *sweep_1D_cut(float theta, const HALDE_SWEEP_S *swp)
{
    if (swp->n_sen < 1) {
        std::printf("1D CUT: Theta bins exhausted\n");
        return nullptr;
    }
    /* The lowest bin reaching theta, also in the reader's rows, which run
     * from 180 degrees down. */
    const int i = bin_reaching(theta, swp->thlo, swp->thhi, swp->n_sen);

    const int n_lev = swp->n_lev > 0 ? swp->n_lev : 0;
    /* The record and its arrays are the caller's, released with free. */
    MallocPtr<HALDE_1D_SWEEP_CUT_S> cut(NewRecord<HALDE_1D_SWEEP_CUT_S>());
    MallocPtr<float> ecen(NewArray<float>(n_lev, true));
    MallocPtr<float> values(NewArray<float>(n_lev, true));
    MallocPtr<NURV_LINEAGE_S> lineage(NewRecord<NURV_LINEAGE_S>());
    if (!cut || !ecen || !values || !lineage)
        return nullptr;
    cut->starttime = swp->btime;
    cut->endtime = swp->etime;
    cut->n_lev = n_lev;
    float phi_half = 0;
    az_range_centre_half(swp->phi_lo, swp->phi_hi, &cut->phi_cen, &phi_half);
    cut->thcen = (swp->thlo[i] + swp->thhi[i]) * 0.5f;
    for (int l = 0; l < n_lev; ++l) {
        ecen.get()[l] = (swp->elo[l] + swp->ehi[l]) * 0.5f;
        values.get()[l] = swp->psd[l + static_cast<long long>(n_lev) * i];
    }
    cut->bin_units = swp->bin_units;
    cut->psd_units = swp->psd_units;
    if (swp->lineage != nullptr)
        copy_lineage(lineage.get(), swp->lineage);
    cut->ecen = ecen.release();
    cut->psd1D = values.release();
    cut->lineage = lineage.release();
    return cut.release();
}

void free_1D_cut_arrays(HALDE_1D_SWEEP_CUT_S *cut)
{
    std::free(cut->ecen);
    std::free(cut->psd1D);
    std::free(cut->lineage);
    cut->ecen = nullptr;
    cut->psd1D = nullptr;
    cut->lineage = nullptr;
}

void print_1D_cut(const HALDE_1D_SWEEP_CUT_S *cut)
{
    std::printf("HALDE 1D SWEEP CUT\n====================\n");
    std::printf("Sweep Start Time = ");
    print_nurv_time(&cut->starttime);
    std::printf("\n");
    if (cut->lineage != nullptr)
        print_nurv_lineage(cut->lineage);
    std::printf("Az Centre = %g, Theta (polar) Centre = %g\n", static_cast<double>(cut->phi_cen),
                static_cast<double>(cut->thcen));
    std::printf("\n%s, %s\n=========================\n", BIN_UNITS_STRING(cut->bin_units),
                PSD_UNITS_STRING(cut->psd_units));
    for (int l = 0; l < cut->n_lev; ++l)
        std::printf("%11.5g  %11.5g\n", static_cast<double>(cut->ecen[l]), static_cast<double>(cut->psd1D[l]));
}
