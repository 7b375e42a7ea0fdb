/* The sweep record: making, copying, freeing and printing its arrays; spins. */
#include "Qsweep_spin.h"
#include "sweep_alloc_int.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

namespace {

constexpr KOMBRA_SHORT kOk = 1;
constexpr KOMBRA_SHORT kBadArgument = -501;

using sweep_alloc::MallocPtr;
using sweep_alloc::NewArray;
using sweep_alloc::NewRecord;

/* A malloc'd float array of n elements, or null when n is negative or
 * memory runs out. */
MallocPtr<float> NewFloats(long long n)
{
    return MallocPtr<float>(NewArray<float>(n));
}

void CopyFloats(float *dst, const float *src, long long n)
{
    if (dst != nullptr && src != nullptr && n > 0)
        std::copy(src, src + n, dst);
}

void PrintValues(const float *values, int n_sen, int n_lev, const float *thlo, const float *thhi)
{
    for (int s = 0; s < n_sen; ++s) {
        std::printf("\nSensor %d for %g < theta < %g from lowest energy to highest", s,
                    thlo ? static_cast<double>(thlo[s]) : 0.0, thhi ? static_cast<double>(thhi[s]) : 0.0);
        for (int l = 0; l < n_lev; ++l) {
            if (l % 5 == 0)
                std::printf("\n");
            std::printf("%10g  ", static_cast<double>(values[l + static_cast<long long>(n_lev) * s]));
        }
        std::printf("\n");
    }
}

} // namespace

void nullify_sweep_arrays(HALDE_SWEEP_S *sweep)
{
    sweep->elo = nullptr;
    sweep->ehi = nullptr;
    sweep->thlo = nullptr;
    sweep->thhi = nullptr;
    sweep->psd = nullptr;
    sweep->pa = nullptr;
    sweep->lineage = nullptr;
}

KOMBRA_SHORT malloc_sweep_arrays(HALDE_SWEEP_S *sweep, int want_pa)
{
    nullify_sweep_arrays(sweep);
    const long long cells = static_cast<long long>(sweep->n_sen) * sweep->n_lev;
    auto thlo = NewFloats(sweep->n_sen);
    auto thhi = NewFloats(sweep->n_sen);
    auto elo = NewFloats(sweep->n_lev);
    auto ehi = NewFloats(sweep->n_lev);
    auto psd = NewFloats(cells);
    MallocPtr<NURV_LINEAGE_S> lineage(NewRecord<NURV_LINEAGE_S>());
    MallocPtr<float> pa;
    if (want_pa != 0)
        pa = NewFloats(cells);

    const int failures = !thlo + !thhi + !elo + !ehi + !psd + !lineage + (want_pa != 0 && !pa);
    if (failures != 0) {
        /* Whatever was made goes with the unique_ptrs. */
        std::printf("Malloc failed %d times in malloc_sweep_arrays\n", failures);
        return kBadArgument;
    }
    sweep->thlo = thlo.release();
    sweep->thhi = thhi.release();
    sweep->elo = elo.release();
    sweep->ehi = ehi.release();
    sweep->psd = psd.release();
    sweep->pa = pa.release();
    sweep->lineage = lineage.release();
    return kOk;
}

void free_sweep_arrays(HALDE_SWEEP_S *sweep)
{
    std::free(sweep->thlo);
    std::free(sweep->thhi);
    std::free(sweep->elo);
    std::free(sweep->ehi);
    std::free(sweep->psd);
    std::free(sweep->pa);
    std::free(sweep->lineage);
    nullify_sweep_arrays(sweep);
}

HALDE_SWEEP_S *create_sweep_full_copy(const HALDE_SWEEP_S *src)
{
    SweepPtr copy(NewRecord(*src));
    if (!copy)
        return nullptr;
    /* The scalar fields came with the record; the pointers are the source's
     * until replaced below. */
    nullify_sweep_arrays(copy.get());
    const KOMBRA_SHORT status = malloc_sweep_arrays(copy.get(), src->pa != nullptr);
    if (status != kOk) {
        std::printf("Create_sweep_full_copy malloc_sweep_arrays returned %d. Oops\n", status);
        return nullptr;
    }
    const long long cells = static_cast<long long>(src->n_sen) * src->n_lev;
    CopyFloats(copy->thlo, src->thlo, src->n_sen);
    CopyFloats(copy->thhi, src->thhi, src->n_sen);
    CopyFloats(copy->elo, src->elo, src->n_lev);
    CopyFloats(copy->ehi, src->ehi, src->n_lev);
    CopyFloats(copy->psd, src->psd, cells);
    CopyFloats(copy->pa, src->pa, cells);
    if (src->lineage != nullptr)
        copy_lineage(copy->lineage, src->lineage);
    return copy.release();
}

void free_n_sweeps(int n, HALDE_SWEEP_S **sweeps)
{
    if (sweeps == nullptr)
        return;
    for (int i = 0; i < n; ++i) {
        if (sweeps[i] == nullptr)
            continue;
        free_sweep_arrays(sweeps[i]);
        std::free(sweeps[i]);
    }
}

void print_sweep_structure(const HALDE_SWEEP_S *sweep)
{
    static const NURV_LINEAGE_S kNoLineage{};
    const NURV_LINEAGE_S *lin = sweep->lineage ? sweep->lineage : &kNoLineage;
    std::printf("\n\nHALDE SWEEP STRUCTURE DIAGNOSTIC PRINTOUT\n");
    std::printf("-----------------------------------------\n\n");
    std::printf("%.99s %.99s %.99s %.99s %.99s %.99s version: %d\n", lin->project, lin->mission, lin->experiment,
                lin->instrument, lin->virtual_inst, lin->exten, lin->vsn);
    std::printf("Sweep Start time:  ");
    print_nurv_time(&sweep->btime);
    std::printf("\nSweep End time:    ");
    print_nurv_time(&sweep->etime);
    std::printf("\n");
    std::printf("Start and Stop az angles (deg): %g, %g\n", static_cast<double>(sweep->phi_lo),
                static_cast<double>(sweep->phi_hi));
    std::printf("Spacecraft potential (Volts) %g\n", static_cast<double>(sweep->phi_sc));
    std::printf("Number of sensors = %d, number of energy levels = %d\n", sweep->n_sen, sweep->n_lev);
    std::printf("PHI_ZERO_FRAME %d, BIN_UNITS %d, PSD_UNITS %d\n", sweep->phi_frame, sweep->bin_units,
                sweep->psd_units);
    std::printf("Theta bins: i, theta low, theta high\n");
    if (sweep->thlo && sweep->thhi)
        for (int s = 0; s < sweep->n_sen; ++s)
            std::printf("%d    %6g  %6g\n", s, static_cast<double>(sweep->thlo[s]),
                        static_cast<double>(sweep->thhi[s]));
    std::printf("Energy bins: i, E low, E high\n");
    if (sweep->elo && sweep->ehi)
        for (int l = 0; l < sweep->n_lev; ++l)
            std::printf("%d    %8g   %8g\n", l, static_cast<double>(sweep->elo[l]), static_cast<double>(sweep->ehi[l]));
    std::printf("\n");
    const std::string rule(57, '-');
    std::printf("Phase Space Density for all Sensors (Polar Bins)\n%s\n", rule.c_str());
    if (sweep->psd)
        PrintValues(sweep->psd, sweep->n_sen, sweep->n_lev, sweep->thlo, sweep->thhi);
    if (sweep->pa) {
        std::printf("Pitch Angles for all Sensors (Polar Bins)\n%s\n", rule.c_str());
        PrintValues(sweep->pa, sweep->n_sen, sweep->n_lev, sweep->thlo, sweep->thhi);
    } else {
        std::printf("No pitch angles held in sweep\n");
    }
}

/* ---- Spins ------------------------------------------------------------------ */

int free_spin_data(HALDE_SPIN3D_S *spin)
{
    if (spin == nullptr)
        return 1;
    free_n_sweeps(spin->n_swp, spin->sweeppp);
    std::free(spin->sweeppp);
    spin->sweeppp = nullptr;
    spin->n_swp = 0;
    return 1;
}

HALDE_SPIN3D_S *copy_spin(const HALDE_SPIN3D_S *src)
{
    MallocPtr<HALDE_SPIN3D_S> spin(NewRecord(*src));
    if (!spin)
        return nullptr;
    spin->sweeppp = nullptr;
    spin->n_swp = 0;
    if (src->n_swp < 0 || (src->n_swp > 0 && src->sweeppp == nullptr) ||
        !(spin->sweeppp = NewArray<HALDE_SWEEP_S *>(src->n_swp, true))) {
        std::printf("copy_spin failed to malloc sweep pointer array\n");
        return nullptr;
    }
    spin->n_swp = src->n_swp;
    for (int i = 0; i < src->n_swp; ++i) {
        if (src->sweeppp[i] == nullptr)
            continue;
        spin->sweeppp[i] = create_sweep_full_copy(src->sweeppp[i]);
        if (spin->sweeppp[i] == nullptr) {
            std::printf("copy_spin failed at sweep i= %d\n", i);
            free_spin_data(spin.get());
            return nullptr;
        }
    }
    return spin.release();
}

int free_n_spins(HALDE_SPIN3D_S **spins, int n)
{
    if (spins == nullptr)
        return 1;
    for (int i = 0; i < n; ++i) {
        if (spins[i] == nullptr)
            continue;
        free_spin_data(spins[i]);
        std::free(spins[i]);
        spins[i] = nullptr;
    }
    return 1;
}

void print_halde_spin_info(const HALDE_SPIN3D_S *spin)
{
    std::printf("\n\nHALDE Spin 3D info:\n");
    std::printf("Spin Start time:  ");
    print_nurv_time(&spin->btime);
    std::printf("\nSpin End time:    ");
    print_nurv_time(&spin->etime);
    std::printf("\nSpin period:      %12g secs\n", static_cast<double>(spin->tspin));
    std::printf("%d sweeps per spin\n", spin->n_swp);
}

/* ---- Ownership helpers ------------------------------------------------------ */

void SweepDeleter::operator()(HALDE_SWEEP_S *sweep) const
{
    free_sweep_arrays(sweep);
    std::free(sweep);
}

HALDE_SWEEP_S *new_sweep_record()
{
    return NewRecord<HALDE_SWEEP_S>();
}

HALDE_SWEEP_S **SweepSet::release()
{
    if (sweeps_.empty())
        return nullptr;
    auto **array = NewArray<HALDE_SWEEP_S *>(static_cast<long long>(sweeps_.size()));
    if (array == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < sweeps_.size(); ++i)
        array[i] = sweeps_[i].release();
    sweeps_.clear();
    return array;
}

void free_sweep_set(int n, HALDE_SWEEP_S **sweeps)
{
    free_n_sweeps(n, sweeps);
    std::free(sweeps);
}
