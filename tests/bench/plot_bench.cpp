// plot_bench [--day | --hours N]: times the chain behind Mirvek's
// energy-angle-time picture.  Generates the sample archive (the default four
// hours, or with --day the whole day of every product), then for CLUSTER-1's
// high-energy pitch-angle product over the span: reads the sweeps, gathers
// them by spins and draws the stack into a GIF.  Prints the time of each step,
// sweeps per second, the peak memory, and the ratio of the whole chain to the
// baseline of the same run: reading the same data files whole.  --hours N
// (1 to 4) draws only the first N hours of the sample (the smoke test).
#include "PGSpectro.h"
#include "Qsweep_spin.h"
#include "Velora_plot.h"
#include "cpgplot.h"
#include "bench_support.h"
#include "sample_archive.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::Seconds;

long PeakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

}  // namespace

int main(int argc, char **argv)
{
    kombra_sample::SampleOptions options;
    int hours = 4;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--day") == 0) {
            options.day = true;
            hours = 24;
        } else if (std::strcmp(argv[i], "--hours") == 0 && i + 1 < argc) {
            hours = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--day | --hours N]\n", argv[0]);
            return 2;
        }
    }
    if (hours < 1 || hours > (options.day ? 24 : 4)) {
        std::fprintf(stderr, "plot_bench: hours out of range\n");
        return 2;
    }
    try {
        bench::Scratch scratch("kombra-plot-bench");
        const auto t0 = Clock::now();
        kombra_sample::WriteSampleArchive(scratch.path, options);
        const double generate = Seconds(Clock::now() - t0);
        setenv("KOMBRA_CONFIG", (scratch.path + "/config").c_str(), 1);
        setenv("KOMBRA_DATA", scratch.path.c_str(), 1);
        setenv("KOMBRA_HOME", scratch.path.c_str(), 1);
        setenv("KOMBRA_DB_TYPE", "SQLite", 1);
        if (getenv("PGPLOT_DIR") == nullptr)
            setenv("PGPLOT_DIR", "/usr/lib/pgplot5", 1);

        const int first = kombra_sample::FirstHour(options);
        NURV_LINEAGE_S lineage{};
        std::snprintf(lineage.project, sizeof lineage.project, "CLUSTERII");
        std::snprintf(lineage.mission, sizeof lineage.mission, "CLUSTER-1");
        std::snprintf(lineage.experiment, sizeof lineage.experiment, "HALDE");
        std::snprintf(lineage.instrument, sizeof lineage.instrument, "PAD");
        std::snprintf(lineage.virtual_inst, sizeof lineage.virtual_inst, "CPPADH");
        NURV_TIME_S begin{2001, 90, first * 3600, 0};
        NURV_TIME_S end{2001, 90, (first + hours) * 3600 - 1, 0};

        const auto r0 = Clock::now();
        int n = 0;
        HALDE_SWEEP_S **sweeps = nullptr;
        const KOMBRA_SHORT status =
            GetNHaldeSweeps(&lineage, &begin, &end, BIN_UNITS_EV, PSD_UNITS_DIFF_ENERGY_FLUX, QPFALSE, &n, &sweeps);
        const double read = Seconds(Clock::now() - r0);
        if (status != 1 && status != 12) {
            std::fprintf(stderr, "plot_bench: reading failed with %d\n", status);
            return 1;
        }

        const auto g0 = Clock::now();
        HALDE_GATHER_GAPS gaps{};
        sweep_spin_gap_defaults(&gaps);
        HALDE_SWEEP_S **gathered = nullptr;
        int ngat = 0;
        if (gather_sweeps(sweeps, n, sweeps[0], GATHER_SPINS, gaps, 0.0f, 15, &gathered, &ngat) != 1) {
            std::fprintf(stderr, "plot_bench: gathering failed\n");
            return 1;
        }
        const double gather = Seconds(Clock::now() - g0);

        const auto d0 = Clock::now();
        const std::string gif = scratch.path + "/stack.gif/GIF";
        if (cpgopen(gif.c_str()) <= 0) {
            std::fprintf(stderr, "plot_bench: cannot open %s\n", gif.c_str());
            return 1;
        }
        PGSpectro spec{};
        PGSpectro_set_defaults(&spec);
        const PGSpectro_ret drawn = Mirvek_plot(gathered, ngat, &spec, begin, end);
        cpgclos();
        const double draw = Seconds(Clock::now() - d0);
        if (drawn != PGSPECTRO_OK) {
            std::fprintf(stderr, "plot_bench: drawing failed with %d\n", static_cast<int>(drawn));
            return 1;
        }
        const long gif_bytes = static_cast<long>(std::filesystem::file_size(scratch.path + "/stack.gif"));
        unsigned long long sum = 0;
        const double baseline =
            bench::ReadWhole(bench::DataFiles(scratch.path + "/data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD"), sum);
        const double chain = read + gather + draw;

        std::printf("plot_bench: %d hours of CLUSTER-1 HSPAD (archive written in %.2f s)\n", hours, generate);
        std::printf("  read    %8.3f s  %d sweeps, %.0f sweeps/s\n", read, n, n / read);
        std::printf("  gather  %8.3f s  %d groups of 15 spins\n", gather, ngat);
        std::printf("  draw    %8.3f s  GIF of %ld bytes\n", draw, gif_bytes);
        std::printf("  chain   %8.3f s  (goal for the day: under 3 s)\n", chain);
        std::printf("  baseline (data files read whole) %.4f s; chain / baseline %.1f\n", baseline,
                    baseline > 0 ? chain / baseline : 0.0);
        std::printf("  peak memory %ld kB\n", PeakKb());
        free_sweep_set(ngat, gathered);
        free_sweep_set(n, sweeps);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "plot_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
