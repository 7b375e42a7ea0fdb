// Small sweeps with hand-chosen grids and values for the operation tests.
#pragma once

#include "Qsweep_spin.h"
#include "support.h"

#include <cstring>
#include <vector>

namespace sweep_test {

// Edges given as n + 1 boundaries: {0, 90, 180} are the bins 0..90, 90..180.
struct Grid {
    std::vector<float> th;
    std::vector<float> lev;
};

// A sweep on the grid whose values are given sensor by sensor, level
// fastest; with pa, the pitch angles likewise.
inline SweepPtr MakeSweep(const Grid &g, const std::vector<float> &values, PSD_UNITS units = PSD_UNITS_S3_PER_KM6,
                          const std::vector<float> &pa = {})
{
    SweepPtr s(new_sweep_record());
    s->n_sen = static_cast<int>(g.th.size()) - 1;
    s->n_lev = static_cast<int>(g.lev.size()) - 1;
    s->psd_units = units;
    s->btime = {2003, 45, 100, 0};
    s->etime = {2003, 45, 104, 0};
    s->phi_lo = 10;
    s->phi_hi = 30;
    EXPECT_STATUS(1, malloc_sweep_arrays(s.get(), pa.size() > 0 ? 1 : 0));
    for (int i = 0; i < s->n_sen; ++i) {
        s->thlo[i] = g.th[static_cast<std::size_t>(i)];
        s->thhi[i] = g.th[static_cast<std::size_t>(i) + 1];
    }
    for (int l = 0; l < s->n_lev; ++l) {
        s->elo[l] = g.lev[static_cast<std::size_t>(l)];
        s->ehi[l] = g.lev[static_cast<std::size_t>(l) + 1];
    }
    const std::size_t cells = static_cast<std::size_t>(s->n_sen) * static_cast<std::size_t>(s->n_lev);
    EXPECT_EQ(cells, values.size()) << "values given for the grid";
    std::size_t k = 0;
    for (float v : values)
        if (k < cells)
            s->psd[k++] = v;
    k = 0;
    for (float a : pa)
        if (k < cells)
            s->pa[k++] = a;
    std::strcpy(s->lineage->project, "CLUSTERII");
    std::strcpy(s->lineage->experiment, "HALDE");
    std::strcpy(s->lineage->instrument, "PAD");
    std::strcpy(s->lineage->virtual_inst, "CPPADL");
    return s;
}

inline std::vector<float> Values(const HALDE_SWEEP_S *s)
{
    return std::vector<float>(s->psd, s->psd + static_cast<std::ptrdiff_t>(s->n_sen) * s->n_lev);
}

} // namespace sweep_test
