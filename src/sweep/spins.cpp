/* Spins: runs of consecutive sweeps that share one sun-sensor time, read one
 * at a time or all over a range into spin records that own copies of their
 * sweeps. */
#include "Qsweep_spin.h"
#include "sweep_alloc_int.h"
#include "sweep_int.h"

#include "libCfg.h"
#include "libdbSQL.h"
#include "nurv.h"

#include <cstdio>
#include <memory>
#include <new>

namespace {

bool SameSun(const HALDE_SWEEP_S *a, const HALDE_SWEEP_S *b)
{
    return compare_nurv_time(&a->suntime, &b->suntime) == SAME_TIME;
}

double Epoch(const NURV_TIME_S &t)
{
    return nurv_time_to_epoch_secs(&t);
}

/* Fills spin with copies of the count sweeps from first; false (the spin's
 * sweeps freed) when a copy cannot be had. */
bool CopyRun(HALDE_SPIN3D_S *spin, HALDE_SWEEP_S **first, int count, float tspin)
{
    spin->sweeppp = sweep_alloc::NewArray<HALDE_SWEEP_S *>(count, true);
    spin->n_swp = count;
    if (spin->sweeppp == nullptr) {
        spin->n_swp = 0;
        return false;
    }
    for (int i = 0; i < count; ++i) {
        spin->sweeppp[i] = create_sweep_full_copy(first[i]);
        if (spin->sweeppp[i] == nullptr) {
            free_spin_data(spin);
            return false;
        }
    }
    spin->tspin = tspin;
    spin->btime = first[0]->suntime;
    spin->etime = first[count - 1]->etime;
    return true;
}

} // namespace

KOMBRA_SHORT GetHaldeSpin(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, BIN_UNITS_E bin_units, PSD_UNITS_E psd_units,
                          T_OR_F_E do_pa, HALDE_SPIN3D_S *spin)
{
    NURV_TIME_S begin = *btime;
    NURV_TIME_S end = begin;
    add_secs_to_nurv_time(&end, 4.0f);
    nur_data *nurp = nullptr;
    KOMBRA_ULONG key = 0;
    KOMBRA_SHORT status = sweep_reader_open(lineage, &nurp, &key);
    if (status != 1)
        return status;
    KOMBRA_ULONG pa_key = 0;
    if (do_pa == QPTRUE && sweep_field_data_key(*lineage, &pa_key) != 1) {
        puts("Error getting pa_data key");
        free_experiment_info();
        return -501;
    }
    sweep_promote_passes(begin, end, {key, do_pa == QPTRUE ? pa_key : 0}, "Trying to promote data: Pass %d\n");
    status = init_nur_file(begin, end, key, nurp, lineage->vsn);
    if (status != 1) {
        puts("Error init_nur_file");
        free_experiment_info();
        return status;
    }
    if (do_pa == QPTRUE && !sweep_pitch_source_usable(key, *lineage, &pa_key))
        do_pa = QPFALSE;

    KOMBRA_SHORT nsen = -1;
    int isen = 0;
    if (sweep_sensor_count(key, begin, end, &nsen) != 1 ||
        read2filled_sensor(key, lineage, nurp, nsen, &isen, QPTRUE) != 1) {
        puts("GetHaldeSpin failed to find filled sensor");
        free_experiment_info();
        return -501;
    }
    NURV_TIME_S rec_begin{}, rec_end{}, sun{};
    set_times_from_nur(&rec_begin, &rec_end, &sun, nurp);
    const float tspin = static_cast<float>(nurp->spin_rate / 1000.0);
    free_experiment_info();
    begin = sun;
    end = sun;
    add_secs_to_nurv_time(&end, 2.0f * tspin);

    int nswp = 0;
    HALDE_SWEEP_S **sweeps = nullptr;
    status = GetNHaldeSweeps(lineage, &begin, &end, bin_units, psd_units, do_pa, &nswp, &sweeps);
    if (status != 1) {
        puts("Error GetHaldeSpin failed to GetNHaldeSweeps");
        free_sweep_set(sweeps != nullptr ? nswp : 0, sweeps);
        return -501;
    }
    if (nswp < 1) {
        printf("GetHaldeSpin got nswp = %d sweeps; out of range\n", nswp);
        free_sweep_set(nswp, sweeps);
        return -501;
    }
    /* The run of sweeps of the first sweep's sun time, the last included. */
    int count = 1;
    while (count < nswp && SameSun(sweeps[count], sweeps[0]))
        ++count;
    *spin = HALDE_SPIN3D_S{};
    const bool copied = CopyRun(spin, sweeps, count, tspin);
    free_sweep_set(nswp, sweeps);
    if (!copied) {
        puts("GetHaldeSpin failed to fill spin");
        return -501;
    }
    return 1;
}

KOMBRA_SHORT GetNHaldeSpins(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, NURV_TIME_S *etime, BIN_UNITS_E bin_units,
                            PSD_UNITS_E psd_units, T_OR_F_E do_pa, int *nspins, HALDE_SPIN3D_S ***spinppp)
{
    int nswp = 0;
    HALDE_SWEEP_S **sweeps = nullptr;
    const KOMBRA_SHORT status = GetNHaldeSweeps(lineage, btime, etime, bin_units, psd_units, do_pa, &nswp, &sweeps);
    if (status != 1) {
        printf("GetNHaldeSpins failed to get sweeps ret = %d,nswp=%d\n", status, nswp);
        free_sweep_set(sweeps != nullptr ? nswp : 0, sweeps);
        return -501;
    }

    int nspin = 1;
    double periods = 0.0;
    for (int i = 1; i < nswp; ++i)
        if (!SameSun(sweeps[i], sweeps[i - 1])) {
            ++nspin;
            periods += Epoch(sweeps[i]->suntime) - Epoch(sweeps[i - 1]->suntime);
        }
    const auto tspin = static_cast<float>(nspin == 1 ? Epoch(sweeps[nswp - 1]->etime) - Epoch(sweeps[0]->suntime)
                                                     : periods / (nspin - 1));

    auto **spins = sweep_alloc::NewArray<HALDE_SPIN3D_S *>(nspin, true);
    if (spins == nullptr) {
        puts("GetNHaldeSpins failed to malloc spin ptrs");
        free_sweep_set(nswp, sweeps);
        return -501;
    }
    int stored = 0;
    for (int first = 0; first < nswp && stored < nspin;) {
        int last = first;
        while (last + 1 < nswp && SameSun(sweeps[last + 1], sweeps[first]))
            ++last;
        sweep_alloc::MallocPtr<HALDE_SPIN3D_S> spin(sweep_alloc::NewRecord<HALDE_SPIN3D_S>());
        if (spin && CopyRun(spin.get(), sweeps + first, last - first + 1, tspin))
            spins[stored++] = spin.release();
        first = last + 1;
    }
    if (stored < nspin)
        printf("GetNHaldeSpins got %d out of %d spins\n", stored, nspin);
    *nspins = stored;
    free_sweep_set(nswp, sweeps);
    if (stored == 0) {
        puts("GetNHaldeSpins got zero spins");
        free_n_spins(spins, nspin);
        std::free(spins);
        return -501;
    }
    *spinppp = spins;
    return 1;
}

void fill_spin3d(HALDE_SPIN3D_S * /*spin*/, NURV_LINEAGE_S * /*lineage*/, nur_data * /*nurp*/, KOMBRA_ULONG /*dkey*/,
                 BIN_UNITS_E /*bin_units*/, PSD_UNITS_E /*psd_units*/, PHI_ZERO_E /*frame*/, T_OR_F_E /*do_pa*/)
{
}
