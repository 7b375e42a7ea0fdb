// Sweeps built in memory for the plot tests, and a check that a plot left
// the caller's sweep as it was.
#pragma once

#include "Qsweep_spin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace plot_test {

// A sweep of n_sen polar bins spread evenly over 0..180 degrees and the
// given level edges; value(s, l) fills bin (sensor s, level l).
inline SweepPtr MakeSweep(int n_sen, const std::vector<float> &elo, const std::vector<float> &ehi,
                          const std::function<float(int, int)> &value)
{
    SweepPtr s(new_sweep_record());
    s->n_sen = n_sen;
    s->n_lev = static_cast<int>(elo.size());
    EXPECT_EQ(1, malloc_sweep_arrays(s.get(), 0));
    for (int i = 0; i < n_sen; ++i) {
        s->thlo[i] = 180.0f * static_cast<float>(i) / static_cast<float>(n_sen);
        s->thhi[i] = 180.0f * static_cast<float>(i + 1) / static_cast<float>(n_sen);
    }
    for (int l = 0; l < s->n_lev; ++l) {
        s->elo[l] = elo[static_cast<std::size_t>(l)];
        s->ehi[l] = ehi[static_cast<std::size_t>(l)];
    }
    for (int i = 0; i < n_sen; ++i)
        for (int l = 0; l < s->n_lev; ++l)
            s->psd[l + s->n_lev * i] = value(i, l);
    std::memset(s->lineage, 0, sizeof(NURV_LINEAGE_S));
    std::strcpy(s->lineage->project, "CLUSTERII");
    std::strcpy(s->lineage->mission, "CLUSTER-2");
    std::strcpy(s->lineage->experiment, "HALDE");
    std::strcpy(s->lineage->instrument, "3DR");
    std::strcpy(s->lineage->virtual_inst, "CP3DRH");
    to_nurv_time(2001, 34, 10, 20, 30, 250000000, &s->btime);
    to_nurv_time(2001, 34, 10, 20, 34, 0, &s->etime);
    s->phi_lo = 10;
    s->phi_hi = 100;
    s->psd_units = PSD_UNITS_S3_PER_KM6;
    s->missing_value = -1.0f;
    return s;
}

// Every field and array of a sweep against a copy taken before a plot.
inline void ExpectSameSweep(const HALDE_SWEEP_S &before, const HALDE_SWEEP_S &after)
{
    auto same = [](const float *a, const float *b, int n) {
        return std::equal(a, a + n, b, [](float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; });
    };
    ASSERT_EQ(before.n_sen, after.n_sen);
    ASSERT_EQ(before.n_lev, after.n_lev);
    EXPECT_TRUE(same(before.thlo, after.thlo, before.n_sen));
    EXPECT_TRUE(same(before.thhi, after.thhi, before.n_sen));
    EXPECT_TRUE(same(before.elo, after.elo, before.n_lev));
    EXPECT_TRUE(same(before.ehi, after.ehi, before.n_lev));
    EXPECT_TRUE(same(before.psd, after.psd, before.n_sen * before.n_lev));
    EXPECT_EQ(0, std::memcmp(before.lineage, after.lineage, sizeof(NURV_LINEAGE_S)));
    EXPECT_EQ(before.missing_value, after.missing_value);
    EXPECT_EQ(before.phi_lo, after.phi_lo);
}

}  // namespace plot_test
