// sample_summary: reads the sweeps the two programs start with from the
// archive the environment names (KOMBRA_CONFIG, KOMBRA_DATA, KOMBRA_DB_TYPE)
// and prints what it read.  Exit status 1 when a reading fails.
#include "Qsweep_spin.h"

#include <algorithm>
#include <cstdio>

namespace {

struct Request {
    const char *what;
    const char *mission, *instrument, *vinst;
    int begin_sec, end_sec;
    PSD_UNITS_E units;
};

bool Summarise(const Request &r)
{
    NURV_LINEAGE_S lineage{};
    std::snprintf(lineage.project, sizeof lineage.project, "CLUSTERII");
    std::snprintf(lineage.mission, sizeof lineage.mission, "%s", r.mission);
    std::snprintf(lineage.experiment, sizeof lineage.experiment, "HALDE");
    std::snprintf(lineage.instrument, sizeof lineage.instrument, "%s", r.instrument);
    std::snprintf(lineage.virtual_inst, sizeof lineage.virtual_inst, "%s", r.vinst);
    NURV_TIME_S b{2001, 90, r.begin_sec, 0}, e{2001, 90, r.end_sec, 0};
    int n = 0;
    HALDE_SWEEP_S **sweeps = nullptr;
    const KOMBRA_SHORT status = GetNHaldeSweeps(&lineage, &b, &e, BIN_UNITS_EV, r.units, QPFALSE, &n, &sweeps);
    if (status != 1 && status != 12) {
        std::printf("%s: reading %s/%s/%s failed with %d\n", r.what, r.mission, r.instrument, r.vinst, status);
        return false;
    }
    float lo = 0, hi = 0;
    int missing = 0, cells = 0;
    for (int k = 0; k < n; ++k) {
        const HALDE_SWEEP_S &s = *sweeps[k];
        for (int i = 0; i < s.n_sen * s.n_lev; ++i) {
            ++cells;
            if (s.psd[i] == s.missing_value) {
                ++missing;
                continue;
            }
            lo = (lo == 0 || s.psd[i] < lo) ? s.psd[i] : lo;
            hi = std::max(hi, s.psd[i]);
        }
    }
    const HALDE_SWEEP_S &first = *sweeps[0];
    std::printf("%s: %s %s %s %s\n", r.what, first.lineage->mission, first.lineage->instrument,
                first.lineage->virtual_inst, PSD_UNITS_STRING(first.psd_units));
    std::printf("  %d sweeps of %d polar bins x %d levels, %.1f to %.1f eV\n", n, first.n_sen, first.n_lev,
                first.elo[0], first.ehi[first.n_lev - 1]);
    std::printf("  first sweep ");
    print_nurv_time(&first.btime);
    std::printf("\n  last sweep  ");
    print_nurv_time(&sweeps[n - 1]->btime);
    std::printf("\n  values %.4g to %.4g; %d of %d cells empty\n", lo, hi, missing, cells);
    free_sweep_set(n, sweeps);
    return true;
}

}  // namespace

int main()
{
    const Request requests[] = {
        {"Mirvek's default", "CLUSTER-1", "PAD", "CPPADH", 18 * 3600, 18 * 3600 + 60, PSD_UNITS_DIFF_ENERGY_FLUX},
        {"Lunder's default", "CLUSTER-2", "PAD", "CPPADL", 18 * 3600, 18 * 3600 + 1, PSD_UNITS_S3_PER_KM6},
        {"The 3D product", "CLUSTER-1", "3DR", "CP3DRH", 16 * 3600, 20 * 3600 - 1, PSD_UNITS_CNTS_ACCUM},
    };
    bool ok = true;
    for (const Request &r : requests)
        ok = Summarise(r) && ok;
    return ok ? 0 : 1;
}
