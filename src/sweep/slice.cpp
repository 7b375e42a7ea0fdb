/* The azimuthal slice: one sweep of a source for the slice program, either
 * the sweep of a whole spin that holds an azimuth or a gathered sweep,
 * optionally in pitch angle and potential-corrected; and the end time that
 * covers a number of sweeps or spins from a start time. */
#include "Qsweep_spin.h"
#include "sweep_alloc_int.h"
#include "sweep_int.h"

#include "libCfg.h"
#include "libdbSQL.h"
#include "nurv.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr double kDegrees = 57.29577951308232;
/* How far after a file's last record the end-time search looks for the
 * next file. */
constexpr float kNextFileWithinSecs = 86400.0f;

/* Replaces the template's polar bins by n pitch-angle bins over 0..180
 * degrees (equal in cosine with mu_bins) and sizes its value and pitch-angle
 * arrays to them.  False when memory runs out. */
bool MakePitchTemplate(HALDE_SWEEP_S *tmpl, int n, T_OR_F mu_bins)
{
    /* The sweep's arrays are malloc'd, as free_sweep_arrays expects. */
    const auto cells = static_cast<long long>(n) * tmpl->n_lev;
    float *thlo = sweep_alloc::NewArray<float>(n);
    float *thhi = sweep_alloc::NewArray<float>(n);
    float *psd = sweep_alloc::NewArray<float>(cells, true);
    float *pa = tmpl->pa != nullptr ? sweep_alloc::NewArray<float>(cells, true) : nullptr;
    if (thlo == nullptr || thhi == nullptr || psd == nullptr || (tmpl->pa != nullptr && pa == nullptr)) {
        std::free(thlo);
        std::free(thhi);
        std::free(psd);
        std::free(pa);
        return false;
    }
    std::free(tmpl->thlo);
    std::free(tmpl->thhi);
    std::free(tmpl->psd);
    std::free(tmpl->pa);
    tmpl->thlo = thlo;
    tmpl->thhi = thhi;
    tmpl->psd = psd;
    tmpl->pa = pa;
    tmpl->n_sen = n;
    if (mu_bins == QPTRUE) {
        set_equal_bins(thlo, thhi, n, 1.0f, -1.0f);
        const auto angle = [](float c) { return static_cast<float>(std::acos(std::clamp(c, -1.0f, 1.0f)) * kDegrees); };
        for (int i = 0; i < n; ++i) {
            thlo[i] = angle(thlo[i]);
            thhi[i] = angle(thhi[i]);
        }
        thlo[0] = 0.0f;
        thhi[n - 1] = 180.0f;
    } else {
        set_equal_bins(thlo, thhi, n, 0.0f, 180.0f);
    }
    return true;
}

/* Index of the first sweep of the first spin that begins at or after the
 * start: the first sweep read when its spin begins there (a spin of one
 * sweep always does), else the first of the spin after it.  Negative when
 * the set holds no such sweep. */
int FirstWholeSpin(HALDE_SWEEP_S **sweeps, int n, const NURV_TIME_S &start, HALDE_GATHER_GAPS_S gaps,
                   float gath_secs)
{
    if (n > 0 && compare_nurv_time(&sweeps[0]->suntime, &start) != T2_LATER)
        return 0;
    const int end = iend_sweep_gather(sweeps, n, 0, GATHER_SPINS, gaps, gath_secs, 1);
    return end < 0 ? end : end + 1;
}

/* The sweep of the first whole spin of the set that holds az, or null. */
HALDE_SWEEP_S *SliceOfFirstSpin(HALDE_SWEEP_S **sweeps, int n, int ispinstart, float az, HALDE_GATHER_GAPS_S gaps,
                                float gath_secs)
{
    const int ispinend =
        ispinstart < 0 ? -1 : iend_sweep_gather(sweeps, n, ispinstart, GATHER_SPINS, gaps, gath_secs, 1);
    if (ispinstart < 0 || ispinend < 0) {
        puts("Failed to locate spin");
        return nullptr;
    }
    HALDE_SPIN3D_S view{};
    view.btime = sweeps[ispinstart]->btime;
    view.etime = sweeps[ispinend]->etime;
    view.tspin = 4.0f;
    view.n_swp = ispinend - ispinstart + 1;
    view.sweeppp = sweeps + ispinstart;
    const int iaz = find_az_sweep(&view, az);
    return iaz < 0 ? nullptr : create_sweep_full_copy(sweeps[ispinstart + iaz]);
}

} // namespace

int find_az_sweep(const HALDE_SPIN3D_S *spin, float az)
{
    const int n = spin->n_swp;
    if (n == 1)
        return 0;
    if (n < 1 || spin->sweeppp == nullptr)
        return -1;
    for (int i = 0; i < n; ++i) {
        const float lo = spin->sweeppp[i]->phi_lo;
        float hi = spin->sweeppp[i]->phi_hi;
        float next = spin->sweeppp[(i + 1) % n]->phi_lo;
        if (lo > hi)
            hi += 360.0f;
        if (lo > next)
            next += 360.0f;
        for (const float a : {az, az + 360.0f}) {
            if (lo <= a && a <= hi)
                return i;
            if (hi <= a && a <= next)
                return (next - hi) / 2.0f > a - hi ? i : (i + 1) % n;
        }
    }
    return -1;
}

HALDE_SWEEP_S *HaldeGetAzSliceV2(NURV_LINEAGE_S *lineage, NURV_TIME_S *btime, NURV_TIME_S *etime, float az,
                                 BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                 PHISC_CHOICE_E phiscch, float phisc_value, float phisc_gapsecs,
                                 HALDE_GATHER_CHOICE_E gatch, HALDE_GATHER_GAPS_S gaps, float gath_secs,
                                 int gath_swp_spins)
{
    const NURV_TIME_S caller_end = *etime;
    const NURV_TIME_S start = *btime;
    if (gatch == NO_GATHER) {
        *etime = *btime;
        add_secs_to_nurv_time(etime, 16.0f);
    }
    const T_OR_F_E do_pa = paopts->do_pa;
    int n = 0;
    HALDE_SWEEP_S **sweeps = nullptr;
    KOMBRA_SHORT status = -501;
    switch (phiscch) {
    case NO_SC_POT_CORR:
        status = GetNHaldeSweeps(lineage, btime, etime, bin_units, psd_units, do_pa, &n, &sweeps);
        break;
    case DO_SC_POT_CORR:
    case CONST_SC_POT:
        status = GetNPotCorrectedHaldeSweeps(lineage, btime, etime, bin_units, psd_units, do_pa,
                                             phiscch == CONST_SC_POT ? QPTRUE : QPFALSE, phisc_value,
                                             phisc_gapsecs, &n, &sweeps);
        break;
    default:
        printf("Unknown SC Potential Choice");
        break;
    }
    /* 12: the reading ended at the end of the data, on whole sweeps, as the
     * potential-corrected reading takes it too. */
    if (status != 1 && status != 12) {
        printf("HaldeGetAzSliceV2 failed to get sweeps ret= %d.", status);
        puts(sweep_reading_explained() ? "" : " Try another source/time?");
        free_sweep_set(sweeps != nullptr ? n : 0, sweeps);
        *etime = caller_end;
        return nullptr;
    }

    if (do_pa == QPTRUE) {
        const HALDE_PITCH_ANGLE_OPTS_S each{QPTRUE, sweeps[0]->n_sen, QPFALSE};
        HALDE_SWEEP_S **rebinned = nullptr;
        int nrebinned = 0;
        const KOMBRA_SHORT rst = Rebin_n_sweeps_to_pa(sweeps, n, 1, &each, &rebinned, &nrebinned);
        if (rst != 1)
            printf("Lunder failed to rebin each sweep in pa, ret = %d\n", rst);
        free_sweep_set(n, sweeps);
        sweeps = rebinned;
        n = rebinned != nullptr ? nrebinned : 0;
        if (n < 1) {
            free_sweep_set(n, sweeps);
            *etime = caller_end;
            return nullptr;
        }
    }

    SweepPtr tmpl(create_sweep_full_copy(sweeps[0]));
    if (tmpl && do_pa == QPTRUE && (paopts->n_pabins < 1 || !MakePitchTemplate(tmpl.get(), paopts->n_pabins, paopts->mu_bins)))
        tmpl.reset();
    HALDE_SWEEP_S *result = nullptr;
    if (tmpl) {
        const int ispinstart = FirstWholeSpin(sweeps, n, start, gaps, gath_secs);
        if (gatch == NO_GATHER) {
            result = SliceOfFirstSpin(sweeps, n, ispinstart, az, gaps, gath_secs);
        } else {
            const int istart = gatch == GATHER_SPINS ? ispinstart : 0;
            HALDE_SWEEP_S **gathered = nullptr;
            int ngat = 0;
            if (istart >= 0 && istart < n &&
                gather_sweeps(sweeps + istart, n - istart, tmpl.get(), gatch, gaps, gath_secs, gath_swp_spins,
                              &gathered, &ngat) == 1) {
                if (ngat > 0)
                    result = create_sweep_full_copy(gathered[0]);
                free_sweep_set(ngat, gathered);
            }
        }
    }
    free_sweep_set(n, sweeps);
    *etime = caller_end;
    return result;
}

KOMBRA_SHORT nurv_n_spin_sweep_etime(NURV_LINEAGE_S *lngp, NURV_TIME_S *btimep, NURV_TIME_S *etimep,
                                     T_OR_F_E do_pa, HALDE_GATHER_CHOICE_E gathch, int n2count)
{
    *etimep = *btimep;
    add_secs_to_nurv_time(etimep, 4.0f);
    NURV_LINEAGE_S copy{};
    if (sweep_read_lineage(*lngp, do_pa, &copy) != 1)
        return -501;
    nur_data *nurp = nullptr;
    KOMBRA_ULONG key = 0;
    KOMBRA_SHORT status = sweep_reader_open(&copy, &nurp, &key);
    lngp->vsn = copy.vsn;
    if (status != 1)
        return status;
    NURV_TIME_S current = *btimep;
    NURV_TIME_S limit = *etimep;
    sweep_promote_passes(current, limit, {key}, "Trying to promote data: Pass %d\n");
    status = init_nur_file(current, limit, key, nurp, copy.vsn);
    if (status != 1) {
        puts("Error init_nur_file");
        free_experiment_info();
        return status;
    }

    NURV_TIME_S rec_end{}, sun{};
    /* At a file's end the search goes on in the file that follows, as the
     * reading loop does, when that file begins within a day. */
    const auto next_file = [&]() {
        NURV_TIME_S from{}, horizon{};
        set_times_from_nur(&from, &rec_end, &sun, nurp);
        horizon = rec_end;
        add_secs_to_nurv_time(&horizon, kNextFileWithinSecs);
        const KOMBRA_SHORT moved = next_nurv_file(key, copy, &current, &horizon, nurp);
        if (moved != 1)
            printf("No data of %s %s %s %s %s after %s within a day: the search for the end time stops there\n",
                   copy.project, copy.mission, copy.experiment, copy.instrument, copy.virtual_inst,
                   sweep_time_text(rec_end).c_str());
        return moved;
    };
    if (gathch == GATHER_SWEEPS) {
        while (n2count-- > 0) {
            limit = current;
            add_secs_to_nurv_time(&limit, 4.0f);
            KOMBRA_SHORT nsen = -1;
            if (sweep_sensor_count(key, current, limit, &nsen) != 1 || nsen < 0) {
                status = -514;
                break;
            }
            int isen = 0;
            status = read2filled_sensor(key, &copy, nurp, nsen, &isen, QPTRUE);
            if (status != 1)
                break;
            status = read_drec(key, copy.exten, copy.vsn, nurp, static_cast<KOMBRA_SHORT>(isen), 1, 1);
            /* The sweep was the file's last: the next one begins the next file. */
            if (sweep_end_mark(status) && n2count > 0)
                status = next_file();
            else if (sweep_end_mark(status))
                status = 1;
            if (status != 1)
                break;
        }
        set_times_from_nur(&current, etimep, &sun, nurp);
    } else if (gathch == GATHER_SPINS) {
        /* To the first whole spin, then on by n2count spins.  A file that
         * ends on the way is followed into the next, whose first record
         * begins the next spin unless it holds more of the spin left. */
        const auto next_spin = [&]() {
            NURV_TIME_S left{};
            set_times_from_nur(&current, &rec_end, &left, nurp);
            KOMBRA_SHORT step = advance_nur_file_spin_start(key, nurp, &copy, &current, &limit, 0);
            while (sweep_end_mark(step)) {
                step = next_file();
                if (step != 1)
                    return step;
                set_times_from_nur(&current, &rec_end, &sun, nurp);
                if (compare_nurv_time(&left, &sun) == T2_LATER)
                    return step;
                step = advance_nur_file_spin_start(key, nurp, &copy, &current, &limit, 0);
            }
            return step;
        };
        /* The record the positioning found begins a whole spin when its
         * spin begins at or after the start (a spin of one sweep always
         * does); else the first whole spin is the next. */
        const auto at_spin_start = [&]() {
            KOMBRA_SHORT nsen = -1;
            int isen = 0;
            if (sweep_sensor_count(key, current, limit, &nsen) != 1 || nsen < 0 ||
                read2filled_sensor(key, &copy, nurp, nsen, &isen, QPFALSE) != 1)
                return false;
            NURV_TIME_S from{}, to{}, spin{};
            set_times_from_nur(&from, &to, &spin, nurp);
            return compare_nurv_time(&spin, btimep) != T2_LATER;
        };
        status = at_spin_start() ? 1 : next_spin();
        while (status == 1 && n2count-- > 0)
            status = next_spin();
        set_times_from_nur(etimep, &rec_end, &sun, nurp);
    } else {
        status = -518;
    }
    free_experiment_info();
    return status;
}
