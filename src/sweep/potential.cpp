/* Spacecraft-potential correction: the potential series from the EFW data
 * set (sensor 15 holds 1 - potential) or one constant, the potential of each
 * sweep at its mid time, and the level edges shifted by it. */
#include "Qsweep_spin.h"
#include "sweep_alloc_int.h"
#include "sweep_int.h"

#include "libCfg.h"
#include "libKELD.h"
#include "libdbSQL.h"
#include "nurv.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

namespace {

constexpr KOMBRA_SHORT kConstantStandsIn = -509;
constexpr KOMBRA_SHORT kFatal = -510;
constexpr KOMBRA_SHORT kNoPotential = -512;
constexpr KOMBRA_SHORT kPotentialSensor = 15;
/* The read of the series reaches this much past either end of the window
 * at most, however large the gap limit. */
constexpr float kWidestReachSecs = 3600.0f;

double Epoch(const NURV_TIME_S &t)
{
    return nurv_time_to_epoch_secs(&t);
}

/* Hands the series its own copies of values and times (n of each). */
bool StoreSeries(HALDE_SC_POTENTIAL_S *phisc, const std::vector<float> &values, const std::vector<NURV_TIME_S> &times)
{
    free_phisc_arrays(phisc);
    const std::size_t n = values.size();
    phisc->phisc = sweep_alloc::NewArray<float>(static_cast<long long>(n));
    phisc->phisc_time = sweep_alloc::NewArray<NURV_TIME_S>(static_cast<long long>(n));
    if (phisc->phisc == nullptr || phisc->phisc_time == nullptr) {
        free_phisc_arrays(phisc);
        return false;
    }
    std::copy(values.begin(), values.end(), phisc->phisc);
    std::copy(times.begin(), times.end(), phisc->phisc_time);
    phisc->n = static_cast<int>(n);
    return true;
}

/* Walks the records of the potential sensor from the reader's position up to
 * the first record ending at or after etime, across files, handing each
 * filled record to take until it returns false. */
template <typename Take>
void WalkPotentialRecords(KOMBRA_ULONG key, NURV_LINEAGE_S &lineage, nur_data *nurp, const NURV_TIME_S &etime,
                          Take take)
{
    NURV_TIME_S rec_begin{}, rec_end{}, sun{};
    NURV_TIME_S limit = etime;
    for (;;) {
        nurp->filled_data = 0;
        const KOMBRA_SHORT status = read_drec(key, lineage.exten, lineage.vsn, nurp, kPotentialSensor, 1, 1);
        if (status == 1 || nurp->filled_data) {
            set_times_from_nur(&rec_begin, &rec_end, &sun, nurp);
            const bool last = compare_nurv_time(&rec_end, &etime) != T2_LATER;
            if (nurp->filled_data && !take(rec_begin))
                return;
            if (last)
                return;
        }
        if (sweep_end_mark(status)) {
            if (next_nurv_file(key, lineage, &rec_begin, &limit, nurp) != 1)
                return;
        } else if (status != 1) {
            return;
        }
    }
}

} // namespace

void SC_Pot_init(HALDE_SC_POTENTIAL_S *phisc)
{
    phisc->phisc = nullptr;
    phisc->phisc_time = nullptr;
    phisc->n = 0;
    phisc->dt_gap = 60.0f;
    phisc->phisc_gap = 0.0f;
    phisc->phisc_lineage = NURV_LINEAGE_S{};
    NURV_LINEAGE_S &l = phisc->phisc_lineage;
    std::snprintf(l.project, sizeof l.project, "%s", "CLUSTERII");
    std::snprintf(l.mission, sizeof l.mission, "%s", "Unknown");
    std::snprintf(l.experiment, sizeof l.experiment, "%s", "EFW");
    std::snprintf(l.instrument, sizeof l.instrument, "%s", "PRIME");
    std::snprintf(l.virtual_inst, sizeof l.virtual_inst, "%s", "CEFPRIME");
}

KOMBRA_SHORT free_phisc_arrays(HALDE_SC_POTENTIAL_S *phisc)
{
    std::free(phisc->phisc);
    std::free(phisc->phisc_time);
    phisc->phisc = nullptr;
    phisc->phisc_time = nullptr;
    phisc->n = 0;
    return 1;
}

KOMBRA_SHORT Phisc_fill_not_available(HALDE_SC_POTENTIAL_S *phisc, NURV_TIME_S *btime, NURV_TIME_S *etime)
{
    if (!StoreSeries(phisc, {phisc->phisc_gap, phisc->phisc_gap}, {*btime, *etime}))
        puts("Phisc_fill_not_available failed to allocate its two values");
    return kConstantStandsIn;
}

namespace {

/* Gives every sweep its potential (phisc2sweep, the search of each sweep
 * starting where the one before began when it fell in a gap) and returns
 * how many fell in a gap of the series and took phisc_gap. */
int AssignPotentials(const HALDE_SC_POTENTIAL_S *phisc, HALDE_SWEEP_S **sweeps, int n)
{
    int start = 0, gaps = 0;
    for (int i = 0; i < n; ++i) {
        if (sweeps[i] == nullptr)
            continue;
        const int before = start;
        if (phisc2sweep(phisc, sweeps[i], &start) != 1) {
            start = before;
            ++gaps;
        }
    }
    return gaps;
}

/* sweep_sc_potential_adjust, appending "_scpot" only when mark is set. */
KOMBRA_SHORT AdjustSweeps(HALDE_SWEEP_S **sweeps, int n, bool mark);

} // namespace

KOMBRA_SHORT SC_Pot_fetch(HALDE_SC_POTENTIAL_S *phisc, NURV_TIME_S *btime, NURV_TIME_S *etime)
{
    if (sweep_data_access_ready() != 1)
        return Phisc_fill_not_available(phisc, btime, etime);
    /* The series is read from the values on either side of the window (up
     * to the gap limit away, the farthest a value is used), so that a window
     * shorter than the spacing of the values lies between two of them. */
    const float reach = std::clamp(phisc->dt_gap, 0.0f, kWidestReachSecs);
    NURV_TIME_S from = *btime, to = *etime;
    add_secs_to_nurv_time(&from, -reach);
    add_secs_to_nurv_time(&to, reach);
    NURV_LINEAGE_S &lineage = phisc->phisc_lineage;
    get_version_number(&lineage.vsn);

    nur_data *nurp = nullptr;
    KOMBRA_ULONG key = 0;
    if (create_nur_data_structure(&nurp) != 1 ||
        get_data_key(lineage.project, lineage.mission, lineage.experiment, lineage.instrument, lineage.virtual_inst,
                     &key) != 1) {
        free_experiment_info();
        return Phisc_fill_not_available(phisc, btime, etime);
    }
    sweep_promote_passes(from, to, {key}, "Trying to promote EFW data: Pass %d\n", "Finished pass %d\n");
    if (init_nur_file(from, to, key, nurp, lineage.vsn) != 1) {
        free_experiment_info();
        return Phisc_fill_not_available(phisc, btime, etime);
    }

    int count = 0;
    WalkPotentialRecords(key, lineage, nurp, to, [&count](const NURV_TIME_S &) {
        ++count;
        return true;
    });
    if (count < 2) {
        printf("Phi SC 1st pass expects %d which is < 2; nonfatal\n", count);
        free_experiment_info();
        return Phisc_fill_not_available(phisc, btime, etime);
    }

    if (reset_experiment_info(key, lineage.exten, lineage.vsn, from.year, from.doy, from.sec, from.nano, to.year,
                              to.doy, to.sec, to.nano) != 1) {
        free_experiment_info();
        printf("Error resetting EFW to get data\n!");
        return kFatal;
    }
    if (file_pos(key, lineage.exten, lineage.vsn, nurp, from.year, from.doy, from.sec, from.nano, to.year, to.doy,
                 to.sec, to.nano) != 1) {
        free_experiment_info();
        printf("Error (re-)positioning EFW to get data\n!");
        return kFatal;
    }

    KOMBRA_CHAR chk_fill = 0;
    KOMBRA_LONG fill_value = -2019483744;
    read_nur(key, lineage.exten, lineage.vsn, &chk_fill, _FILL_FLG, 0, 0, 1);
    if (chk_fill == 1)
        read_nur(key, lineage.exten, lineage.vsn, &fill_value, _FILL, 0, 0, 1);

    std::vector<float> values;
    std::vector<NURV_TIME_S> times;
    values.reserve(static_cast<std::size_t>(count));
    times.reserve(static_cast<std::size_t>(count));
    std::vector<float> converted;
    WalkPotentialRecords(key, lineage, nurp, to, [&](const NURV_TIME_S &at) {
        /* The reader writes one value per sample of the record. */
        converted.assign(std::max<std::size_t>(nurp->num_sample, 1), 0.0f);
        const KOMBRA_SHORT status = convert_to_units(key, lineage.exten, lineage.vsn, nurp, kPotentialSensor, 1, 0, 0,
                                                     nullptr, nullptr, converted.data(), chk_fill, fill_value);
        if (status == 1 && converted[0] > -1e38f) {
            values.push_back(1.0f - converted[0]);
            times.push_back(at);
        }
        return static_cast<int>(values.size()) < count;
    });
    free_experiment_info();

    if (values.size() < 2) {
        printf("Phi SC got less than 2 pts, but expected %d;\n", count);
        puts("Probably all fillvals, so return minimal array and hope!");
        free_phisc_arrays(phisc);
        return Phisc_fill_not_available(phisc, btime, etime);
    }
    if (!StoreSeries(phisc, values, times)) {
        puts("SC_Pot_fetch failed to allocate the potential series");
        return Phisc_fill_not_available(phisc, btime, etime);
    }
    return 1;
}

void phisc_dump(const HALDE_SC_POTENTIAL_S *phisc)
{
    puts("HALDE SC Potential Structure\n-----------------------");
    print_nurv_lineage(&phisc->phisc_lineage);
    printf("dt_gap = %g secs    phisc_gap = %g Volts\n", phisc->dt_gap, phisc->phisc_gap);
    printf("%d records in structure\n", phisc->n);
    for (int i = 0; i < phisc->n; ++i) {
        print_nurv_time(&phisc->phisc_time[i]);
        printf("  %g eV\n", phisc->phisc[i]);
    }
}

KOMBRA_SHORT phisc2sweep(const HALDE_SC_POTENTIAL_S *phisc, HALDE_SWEEP_S *sweep, int *start)
{
    const int n = phisc->n;
    const auto gap = [&] {
        sweep->phi_sc = phisc->phisc_gap;
        *start = n;
        return kNoPotential;
    };
    if (*start < 0 || *start >= n)
        return gap();
    const double tmid = (Epoch(sweep->btime) + Epoch(sweep->etime)) / 2.0;
    const auto t = [phisc](int i) { return Epoch(phisc->phisc_time[i]); };
    const double dt_gap = phisc->dt_gap;

    int i = *start;
    while (i < n && t(i) <= tmid)
        ++i;
    if (i == n) {
        if (tmid - t(n - 1) < dt_gap) {
            sweep->phi_sc = phisc->phisc[n - 1];
            *start = n - 1;
            return 1;
        }
        /* The mid time may lie before where the search began. */
        i = 0;
        while (i <= *start && t(i) <= tmid)
            ++i;
        if (i > *start)
            return gap();
    }
    *start = i;
    if (i == 0) {
        if (t(0) - tmid > dt_gap)
            return gap();
        sweep->phi_sc = phisc->phisc[0];
        return 1;
    }
    const double span = t(i) - t(i - 1);
    if (span < dt_gap) {
        /* Two values at the same time give the later one, never 0 / 0. */
        const double f = span > 0.0 ? (tmid - t(i - 1)) / span : 1.0;
        sweep->phi_sc = static_cast<float>(phisc->phisc[i - 1] + (phisc->phisc[i] - phisc->phisc[i - 1]) * f);
        return 1;
    }
    if (t(i) - tmid < dt_gap) {
        sweep->phi_sc = phisc->phisc[i];
        return 1;
    }
    if (tmid - t(i - 1) < dt_gap) {
        sweep->phi_sc = phisc->phisc[i - 1];
        return 1;
    }
    return gap();
}

KOMBRA_SHORT phisc2sweep_all(const HALDE_SC_POTENTIAL_S *phisc, HALDE_SWEEP_S **sweeps, int n)
{
    AssignPotentials(phisc, sweeps, n);
    return 1;
}

float add_ev2_kms(float kms, float ev)
{
    const auto e = static_cast<float>(static_cast<double>(kms) * kms * 2.8429e-6 + ev);
    if (e > 0.0f)
        return static_cast<float>(593.1 * std::sqrt(static_cast<double>(e)));
    return -1.0f;
}

void sweep_make_level_missing(HALDE_SWEEP_S *sweep, int level)
{
    if (level < 0 || level >= sweep->n_lev)
        return;
    for (int s = 0; s < sweep->n_sen; ++s)
        sweep->psd[level + sweep->n_lev * s] = sweep->missing_value;
}

KOMBRA_SHORT sweep_sc_potential_adjust(HALDE_SWEEP_S **sweeps, int n)
{
    return AdjustSweeps(sweeps, n, true);
}

namespace {

KOMBRA_SHORT AdjustSweeps(HALDE_SWEEP_S **sweeps, int n, bool mark)
{
    for (int i = 0; i < n; ++i) {
        HALDE_SWEEP_S *sweep = sweeps[i];
        if (sweep == nullptr)
            continue;
        const float phi = sweep->phi_sc;
        for (int l = 0; l < sweep->n_lev; ++l) {
            float &low = sweep->elo[l];
            float &high = sweep->ehi[l];
            float old_mid = 0.0f, new_mid = 0.0f;
            if (sweep->bin_units == BIN_UNITS_EV) {
                old_mid = (low + high) / 2.0f;
                low -= phi;
                high -= phi;
                new_mid = (low + high) / 2.0f;
            } else if (sweep->bin_units == BIN_UNITS_KM_S) {
                old_mid = (high * high + low * low) / 2.0f;
                low = add_ev2_kms(low, -phi);
                high = add_ev2_kms(high, -phi);
                new_mid = (high * high + low * low) / 2.0f;
            } else {
                printf("Unknown bin units in sweep_sc_potential_adjust");
                return kFatal;
            }
            if (low < 0.0f) {
                sweep_make_level_missing(sweep, l);
                continue;
            }
            if (sweep->psd_units != PSD_UNITS_DIFF_ENERGY_FLUX || old_mid == 0.0f)
                continue;
            const float scale = (new_mid * new_mid) / (old_mid * old_mid);
            for (int s = 0; s < sweep->n_sen; ++s) {
                float &v = sweep->psd[l + sweep->n_lev * s];
                if (v != sweep->missing_value)
                    v *= scale;
            }
        }
        if (mark)
            append_lineage_mark(sweep->lineage->virtual_inst, "_scpot", 93);
    }
    return 1;
}

} // namespace

KOMBRA_SHORT GetNPotCorrectedHaldeSweeps(NURV_LINEAGE_S *lineage, NURV_TIME_S *begin, NURV_TIME_S *end,
                                         BIN_UNITS_E bin_units, PSD_UNITS_E psd_units, T_OR_F_E do_pa,
                                         T_OR_F_E const_phisc, float phisc_value, float phisc_gapsecs, int *nswps,
                                         HALDE_SWEEP_S ***swpppp)
{
    const KOMBRA_SHORT status = GetNHaldeSweeps(lineage, begin, end, bin_units, psd_units, do_pa, nswps, swpppp);
    /* 12: the sweeps were read up to the end of a file; they are whole
     * sweeps and are corrected like any others. */
    if (status != 1 && status != 12) {
        printf("GetNPotCorrectedHaldeSweeps: GetNHaldeSweeps returned %d\n", status);
        return status;
    }
    HALDE_SC_POTENTIAL_S phisc;
    SC_Pot_init(&phisc);
    std::snprintf(phisc.phisc_lineage.mission, sizeof phisc.phisc_lineage.mission, "%s", lineage->mission);
    phisc.phisc_gap = phisc_value;
    phisc.dt_gap = phisc_gapsecs;

    const auto fail = [&] {
        free_phisc_arrays(&phisc);
        free_sweep_set(*nswps, *swpppp);
        *swpppp = nullptr;
        return static_cast<KOMBRA_SHORT>(-501);
    };
    /* The constant asked for is the correction made; where the data have no
     * value, the constant stands in and the sweeps are not marked as
     * corrected. */
    bool from_data = false;
    if (const_phisc != QPTRUE) {
        const KOMBRA_SHORT fetched = SC_Pot_fetch(&phisc, begin, end);
        if (fetched == kFatal) {
            puts("SC_Pot_fetch returned Fatal Error");
            return fail();
        }
        from_data = fetched == 1;
    } else {
        Phisc_fill_not_available(&phisc, begin, end);
    }
    const int gaps = AssignPotentials(&phisc, *swpppp, *nswps);
    const bool same_day = begin->year == end->year && begin->doy == end->doy;
    const NURV_LINEAGE_S &pl = phisc.phisc_lineage;
    if (const_phisc != QPTRUE && !from_data)
        printf("No s/c potential in %s %s %s %s %s from %s to %s: %g V stands in, and the sweeps are not marked "
               "_scpot\n",
               pl.project, pl.mission, pl.experiment, pl.instrument, pl.virtual_inst, sweep_time_text(*begin).c_str(),
               sweep_time_text(*end, !same_day).c_str(), phisc.phisc_gap);
    else if (const_phisc != QPTRUE && gaps > 0)
        printf("No s/c potential within %g s of %d of the %d sweeps from %s to %s: %g V stands in for them, and "
               "the sweeps are not marked _scpot\n",
               phisc.dt_gap, gaps, *nswps, sweep_time_text(*begin).c_str(), sweep_time_text(*end, !same_day).c_str(),
               phisc.phisc_gap);
    const KOMBRA_SHORT step = AdjustSweeps(*swpppp, *nswps, const_phisc == QPTRUE || (from_data && gaps == 0));
    if (step != 1) {
        printf("sweep_sc_potential_adjust returned %d\n!", step);
        return fail();
    }
    free_phisc_arrays(&phisc);
    return 1;
}
