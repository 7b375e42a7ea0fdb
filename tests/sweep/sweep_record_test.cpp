// The sweep record and spins: allocation, deep copies, freeing (twice, and
// half-made sweeps), sets, and the diagnostic print.
#include "Qsweep_spin.h"
#include "Velora_pad.h"
#include "support.h"

#include <cstdlib>
#include <cstring>

namespace {

// A sweep of n_sen sensors and n_lev levels whose every value tells where
// it sits.
SweepPtr MakeSweep(int n_sen, int n_lev, bool with_pa)
{
    SweepPtr s(new_sweep_record());
    s->n_sen = n_sen;
    s->n_lev = n_lev;
    s->btime = {2003, 45, 100, 5};
    s->phi_lo = 10;
    s->phi_hi = 20;
    s->psd_units = PSD_UNITS_DIFF_ENERGY_FLUX;
    EXPECT_STATUS(1, malloc_sweep_arrays(s.get(), with_pa ? 1 : 0));
    for (int i = 0; i < n_sen; ++i) {
        s->thlo[i] = 15.0f * i;
        s->thhi[i] = 15.0f * (i + 1);
    }
    for (int l = 0; l < n_lev; ++l) {
        s->elo[l] = 10.0f + l;
        s->ehi[l] = 11.0f + l;
    }
    for (int k = 0; k < n_sen * n_lev; ++k) {
        s->psd[k] = static_cast<float>(k);
        if (with_pa)
            s->pa[k] = static_cast<float>(k % 180);
    }
    std::strcpy(s->lineage->project, "CLUSTERII");
    std::strcpy(s->lineage->virtual_inst, "CPPADL");
    s->lineage->vsn = 3;
    return s;
}

TEST(SweepArrays, ImpossibleShapeFailsWithNothingLeft)
{
    HALDE_SWEEP_S s{};
    s.n_sen = -1;
    s.n_lev = 4;
    testing::internal::CaptureStdout();
    EXPECT_STATUS(-501, malloc_sweep_arrays(&s, 1));
    EXPECT_EQ("Malloc failed 4 times in malloc_sweep_arrays\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, s.elo);
    EXPECT_EQ(nullptr, s.psd);
    EXPECT_EQ(nullptr, s.lineage);
    free_sweep_arrays(&s); // nothing to free
}

TEST(SweepArrays, FreeingTwiceAndHalfMadeSweepsAreSafe)
{
    SweepPtr s = MakeSweep(3, 4, true);
    free_sweep_arrays(s.get());
    EXPECT_EQ(nullptr, s->psd);
    EXPECT_EQ(nullptr, s->lineage);
    free_sweep_arrays(s.get());

    HALDE_SWEEP_S half{};
    half.n_sen = 2;
    half.n_lev = 2;
    half.elo = static_cast<float *>(std::malloc(2 * sizeof(float)));
    half.psd = static_cast<float *>(std::malloc(4 * sizeof(float)));
    free_sweep_arrays(&half);
    EXPECT_EQ(nullptr, half.elo);
}

TEST(SweepCopy, IsDeepAndIndependent)
{
    for (bool with_pa : {false, true}) {
        SweepPtr src = MakeSweep(3, 16, with_pa);
        SweepPtr copy(create_sweep_full_copy(src.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(with_pa, copy->pa != nullptr);
        EXPECT_NE(src->psd, copy->psd);
        EXPECT_NE(src->lineage, copy->lineage);
        EXPECT_EQ(3 + 16 * 2, copy->psd[3 + 16 * 2]);
        EXPECT_EQ(15.0f, copy->elo[5]);
        EXPECT_EQ(45.0f, copy->thhi[2]);
        EXPECT_EQ(20.0f, copy->phi_hi);
        EXPECT_EQ(PSD_UNITS_DIFF_ENERGY_FLUX, copy->psd_units);
        EXPECT_STREQ("CPPADL", copy->lineage->virtual_inst);
        EXPECT_EQ(3, copy->lineage->vsn);

        copy->psd[0] = -1;
        std::strcpy(copy->lineage->virtual_inst, "changed");
        EXPECT_EQ(0.0f, src->psd[0]);
        EXPECT_STREQ("CPPADL", src->lineage->virtual_inst);

        src.reset(); // the copy must outlive its source whole
        float sum = 0;
        for (int k = 0; k < 48; ++k)
            sum += copy->psd[k] + (with_pa ? copy->pa[k] : 0);
        EXPECT_GT(sum, 0);
    }
}

TEST(SweepSets, FreeSkipsNullEntries)
{
    SweepSet set;
    set.push_back(MakeSweep(1, 2, false));
    set.push_back(MakeSweep(2, 2, true));
    ASSERT_EQ(2, set.size());
    HALDE_SWEEP_S **array = set.release();
    ASSERT_NE(nullptr, array);
    EXPECT_EQ(0, set.size());
    free_n_sweeps(2, array);
    array[0] = nullptr;
    array[1] = nullptr;
    free_sweep_set(2, array);
    free_sweep_set(0, nullptr);
    EXPECT_EQ(nullptr, SweepSet().release());
}

// What the sweep model hands out, released as its interface says: records
// and arrays with free.  The sanitizer build reports any other allocator.
TEST(Ownership, CallersReleaseRecordsSetsAndArraysWithFree)
{
    SweepPtr a = MakeSweep(2, 3, true), b = MakeSweep(2, 3, true);
    b->btime.sec += 1;
    HALDE_SWEEP_S *in[] = {a.get(), b.get()};

    // A record: its arrays, then the record itself.  An array a caller
    // puts into a sweep is malloc'd and goes with the sweep.
    HALDE_SWEEP_S *copy = create_sweep_full_copy(a.get());
    ASSERT_NE(nullptr, copy);
    std::free(copy->psd);
    copy->psd = static_cast<float *>(std::calloc(6, sizeof(float)));
    free_sweep_arrays(copy);
    std::free(copy);
    std::free(new_sweep_record());

    // Sweep sets: the sweeps, then the pointer array.
    HALDE_SWEEP_S **set = nullptr;
    int n = 0;
    ASSERT_EQ(1, rebin_n_sweeps(a.get(), 2, in, &n, &set));
    free_n_sweeps(n, set);
    std::free(set);
    HALDE_GATHER_GAPS_S gaps;
    sweep_spin_gap_defaults(&gaps);
    ASSERT_EQ(1, gather_sweeps(in, 2, a.get(), GATHER_SWEEPS, gaps, 0, 1, &set, &n));
    free_n_sweeps(n, set);
    std::free(set);
    HALDE_PITCH_ANGLE_OPTS_S opts;
    set_pa_opts_defaults(&opts);
    ASSERT_EQ(1, Rebin_n_sweeps_to_pa(in, 2, 1, &opts, &set, &n));
    free_n_sweeps(n, set);
    std::free(set);
    SweepSet made;
    made.push_back(MakeSweep(1, 1, false));
    set = made.release();
    free_n_sweeps(1, set);
    std::free(set);

    // A cut: its arrays, then the record.
    HALDE_1D_SWEEP_CUT_S *cut = sweep_1D_cut(20, a.get());
    ASSERT_NE(nullptr, cut);
    free_1D_cut_arrays(cut);
    std::free(cut);

    // A spin: its sweeps and pointer array, then the record.
    HALDE_SPIN3D_S view{};
    view.n_swp = 2;
    view.sweeppp = in;
    HALDE_SPIN3D_S *spin = copy_spin(&view);
    ASSERT_NE(nullptr, spin);
    free_spin_data(spin);
    std::free(spin);
}

TEST(Spins, CopyDeeplyAndFree)
{
    auto *spin = static_cast<HALDE_SPIN3D_S *>(std::calloc(1, sizeof(HALDE_SPIN3D_S)));
    spin->tspin = 4.0f;
    spin->n_swp = 2;
    spin->sweeppp = static_cast<HALDE_SWEEP_S **>(std::calloc(2, sizeof(HALDE_SWEEP_S *)));
    spin->sweeppp[0] = MakeSweep(2, 3, false).release();
    spin->sweeppp[1] = MakeSweep(2, 3, true).release();

    HALDE_SPIN3D_S *copy = copy_spin(spin);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(2, copy->n_swp);
    EXPECT_EQ(4.0f, copy->tspin);
    EXPECT_NE(spin->sweeppp, copy->sweeppp);
    EXPECT_NE(spin->sweeppp[1]->pa, copy->sweeppp[1]->pa);

    HALDE_SPIN3D_S *spins[] = {spin, nullptr, copy};
    EXPECT_EQ(1, free_n_spins(spins, 3));
    EXPECT_EQ(nullptr, spins[0]);
    EXPECT_EQ(nullptr, spins[2]);
    EXPECT_EQ(1, free_spin_data(nullptr));
}

TEST(SweepPrint, ValuesFiveToALine)
{
    SweepPtr s = MakeSweep(1, 6, false);
    testing::internal::CaptureStdout();
    print_sweep_structure(s.get());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("CLUSTERII    CPPADL  version: 3\n"));
    EXPECT_NE(std::string::npos, out.find("Number of sensors = 1, number of energy levels = 6\n"));
    EXPECT_NE(std::string::npos,
              out.find("\nSensor 0 for 0 < theta < 15 from lowest energy to highest\n"
                       "         0           1           2           3           4  \n"
                       "         5  \n"));
    EXPECT_NE(std::string::npos, out.find("No pitch angles held in sweep\n"));
}

} // namespace
