// slice_bench [HOURS]: times the sweep model's day of one spacecraft.  Writes
// HOURS (default 24) hourly files of one source at the sample archive's
// sweep time (12 sensors x 16 levels of 8 ms: whole spins of 31 sweeps back
// to back in each 4 s spin) with its field (20 samples a spin) and
// spacecraft-potential data sets, then reads the range with pitch angles
// and the potential correction
// (GetNPotCorrectedHaldeSweeps), rebins each sweep to pitch angle and
// gathers them by 4 spins.  Prints sweeps per second, where the time goes,
// the size of the sweeps held, the peak memory and the ratio to the baseline
// of the same run: reading the sweep data files whole and summing their
// words.  Exit status 1 when the sweeps read are not those written.
#include "Qsweep_spin.h"
#include "bench_support.h"
#include "sweep_archive_fixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace kombra_fixtures;
using bench::Clock;
using bench::Seconds;

constexpr int kSensors = 12;
constexpr int kLevels = 16;
constexpr int kAccumMs = 8;
constexpr int kSpinMs = 4000;
constexpr int kFieldCadenceMs = 200;
constexpr int kHourMs = 3600000;
constexpr int kSpinsPerHour = kHourMs / kSpinMs;
const SweepSource kHalde{"CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"};
const SweepSource kField{"CLUSTERII", "C1", "FGM", "VEC", "CFUNIT"};
const SweepSource kEfw{"CLUSTERII", "C1", "EFW", "PRIME", "CEFPRIME"};


}  // namespace

int main(int argc, char **argv)
{
    const int hours = argc > 1 ? std::atoi(argv[1]) : 24;
    if (hours < 1 || hours > 24) {
        std::fprintf(stderr, "usage: %s [HOURS 1-24]\n", argv[0]);
        return 2;
    }
    try {
        bench::Scratch scratch("kombra-slice-bench");
        setenv("KOMBRA_CONFIG", (scratch.path + "/config").c_str(), 1);
        setenv("KOMBRA_DATA", scratch.path.c_str(), 1);
        setenv("KOMBRA_DB_TYPE", "SQLite", 1);
        setenv("TEMP", scratch.path.c_str(), 1);
        setenv("KOMBRA_STANDIN_PNUR", (scratch.path + "/pnur").c_str(), 1);
        unsetenv("KOMBRA_HOME");

        SweepArchive archive(scratch.path);
        SweepShape shape;
        shape.sensors = kSensors;
        shape.levels = kLevels;
        shape.accumMs = kAccumMs;
        shape.sensorOffsetMs = 0;  // the sensors sample together, as the sample's do
        shape.spinMs = kSpinMs;
        shape.tables = FallingSweepTables(kLevels, 30000);
        for (int s = 0; s < kSensors; ++s) {
            shape.thetaStart.push_back(180 - 15 * (s + 1));
            shape.thetaStop.push_back(180 - 15 * s);
        }
        shape.pitchAngles = true;
        shape.field = kField;
        const int halde = archive.AddSource(kHalde);
        const int field = archive.AddSource(kField);
        const int efw = archive.AddSource(kEfw);
        const CatalogTime from{2001, 1, 0}, to{2002, 1, 0};
        archive.AddDescription(halde, from, to, SweepDescription(shape, kHalde, from, to));
        archive.AddDescription(field, from, to, FieldDescription(kField, from, to));
        archive.AddDescription(efw, from, to, PotentialDescription(kEfw, from, to));
        const int perSpin = SweepsPerSpin(shape);
        const auto words = [](int k, int j, int c, int s) -> std::int64_t {
            return 1 + (k * 131 + j * 7 + c * 17 + s * 3) % 4096;
        };
        for (int h = 0; h < hours; ++h) {
            const int msec = h * kHourMs;
            archive.AddFiles(halde, 2001, 90, msec,
                             SweepFiles(shape, 2001, 90, msec, kSpinsPerHour, [&](int) { return perSpin; }, words),
                             false, 0);
        }
        // The field and the potential in one file each for the whole range
        // (a last record clear of the day's end).
        const int records = hours * kSpinsPerHour - 1;
        archive.AddFiles(field, 2001, 90, 0,
                         FieldFiles(2001, 90, 0, records * (kSpinMs / kFieldCadenceMs), kFieldCadenceMs,
                                    [](int k) { return std::vector<int>{300 + k % 50, 200 + k % 20, 900}; }));
        archive.AddFiles(efw, 2001, 90, 0,
                         PotentialFiles(2001, 90, 0, records, kSpinMs, [](int k) { return 5.0 + k % 7; }));
        archive.Write();

        unsigned long long sum = 0;
        const std::vector<std::string> files = bench::DataFiles(archive.DataDir(halde));
        bench::ReadWhole(files, sum);  // warm the page cache
        const double baseline = bench::ReadWhole(files, sum);

        NURV_LINEAGE_S lineage{};
        std::snprintf(lineage.project, NURV_LINEAGE_LEN, "CLUSTERII");
        std::snprintf(lineage.mission, NURV_LINEAGE_LEN, "C1");
        std::snprintf(lineage.experiment, NURV_LINEAGE_LEN, "HALDE");
        std::snprintf(lineage.instrument, NURV_LINEAGE_LEN, "3DR");
        std::snprintf(lineage.virtual_inst, NURV_LINEAGE_LEN, "CP3DRH");
        // Up to a sweep short of the last: the fields reach past every sweep read.
        NURV_TIME_S begin{2001, 90, 0, 0}, end{2001, 90, hours * 3600 - 12, 0};

        const bench::Mark start;
        int n = 0;
        HALDE_SWEEP_S **sweeps = nullptr;
        if (GetNPotCorrectedHaldeSweeps(&lineage, &begin, &end, BIN_UNITS_EV, PSD_UNITS_DIFF_ENERGY_FLUX, QPTRUE, QPFALSE,
                                        0.0f, 60.0f, &n, &sweeps) != 1)
            throw std::runtime_error("reading the sweeps failed");
        const bench::Mark read;

        HALDE_PITCH_ANGLE_OPTS_S paopts{};
        set_pa_opts_defaults(&paopts);
        int npa = 0;
        HALDE_SWEEP_S **pa = nullptr;
        if (Rebin_n_sweeps_to_pa(sweeps, n, 1, &paopts, &pa, &npa) != 1)
            throw std::runtime_error("rebinning to pitch angle failed");
        const bench::Mark rebinned;

        HALDE_GATHER_GAPS_S gaps{};
        sweep_spin_gap_defaults(&gaps);
        int ngat = 0;
        HALDE_SWEEP_S **gathered = nullptr;
        if (gather_sweeps(pa, npa, pa[0], GATHER_SPINS, gaps, 0.0f, 4, &gathered, &ngat) != 1)
            throw std::runtime_error("gathering failed");
        const bench::Mark done;
        const double total = Seconds(done.wall - start.wall);

        const auto cells = static_cast<double>(kSensors) * kLevels;
        const double held_kb =
            n * ((2 * cells + 2 * kSensors + 2 * kLevels) * sizeof(float) + sizeof(HALDE_SWEEP_S) + sizeof(NURV_LINEAGE_S)) /
            1024.0;
        const bool shifted = sweeps[0]->phi_sc >= 5.0f && sweeps[0]->phi_sc <= 11.0f;
        // Every sweep of the spins up to the last one's first, and the one after.
        const int expected = (hours * kSpinsPerHour - 3) * perSpin + 2;
        const int spins = n / perSpin;
        const bool right =
            n == expected && npa == n && ngat >= (spins + 3) / 4 && ngat <= spins / 4 + 2 && shifted;
        free_sweep_set(ngat, gathered);
        free_sweep_set(npa, pa);
        free_sweep_set(n, sweeps);

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("day: %d hourly files, %d sensors x %d levels of %d ms, %d sweeps per %d ms spin, with field "
                    "and potential\n",
                    hours, kSensors, kLevels, kAccumMs, perSpin, kSpinMs);
        std::printf("read, corrected, rebinned to pitch angle and gathered by 4 spins: %d sweeps into %d\n", n, ngat);
        std::printf("whole:  %8.3f s  %10.0f sweeps per second  (processor %.3f s, %ld page faults)\n", total,
                    n / total, done.cpu - start.cpu, done.faults - start.faults);
        bench::PrintPhase("read with pitch angles and potential", start, read);
        bench::PrintPhase("pitch-angle rebinning", read, rebinned);
        bench::PrintPhase("gathering by spins", rebinned, done);
        std::printf("baseline: read the sweep files whole and sum their words: %.3f s (checksum %llu)\n", baseline,
                    sum % 1000);
        std::printf("ratio to baseline: %.1f x\n", total / baseline);
        std::printf("sweeps held: %.0f kB   peak memory: %ld kB (%.1f x)\n", held_kb, usage.ru_maxrss,
                    usage.ru_maxrss / held_kb);
        std::fflush(stdout);
        if (!right) {
            std::fprintf(stderr, "%d sweeps read, %d rebinned, %d gathered, potential applied: %s\n", n, npa, ngat,
                         shifted ? "yes" : "no");
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
