// reader_bench [HOURS]: times reading and converting a data set the size of
// the instrument's.  Writes HOURS (default 24) hourly file pairs of one
// source at the sample archive's sweep time (12 sensors, 16 sweep steps of
// 8 ms with 16-bit words: whole spins of 31 sweeps back to back in each 4 s
// spin) with their catalog and description, then reads the day as the sweep
// model does: file_open, file_pos, read_drec of every sensor of every record
// (moving on after the last), and for each sensor convert_to_units to counts
// and to phase-space density (nine tables, built-in functions); at each
// file's end next_file_start_time, reset_experiment_info and file_pos.
// Prints the sweeps (records) and converted samples per second, where the
// time goes (with the processor time and page faults of each part),
// the peak memory, and the ratio to the baseline of the same run: reading
// the same data files whole and summing their words.  Exit status 1 when a
// value read is not the one written.
#include "bench_support.h"
#include "config_fixture.h"
#include "keld_fixture.h"
#include "libCfg.h"
#include "libdbSQL.h"
#include "nurv.h"
#include "nurv_fixture.h"
#include "sqlite_catalog_fixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace kombra_fixtures;
using bench::Clock;
using bench::Seconds;

constexpr std::uint32_t kKey = 8921217;  // CLUSTERII/C1/HALDE/3DR/CP3DRH
constexpr int kSensors = 12;
constexpr int kSteps = 16;
constexpr int kSpinMs = 4000;
constexpr int kHourMs = 3600000;
constexpr int kAccumMs = 8;                                  // per step
constexpr int kSweepMs = kSteps * kAccumMs;                  // 128 ms
constexpr int kSweepsPerSpin = kSpinMs / kSweepMs;           // 31
constexpr int kRecordsPerHour = kHourMs / kSpinMs * kSweepsPerSpin;

// The time of record k of an hour: sweep k % 31 of spin k / 31.
int RecordMs(int h, int k)
{
    return h * kHourMs + k / kSweepsPerSpin * kSpinMs + k % kSweepsPerSpin * kSweepMs;
}


// Raw word of sensor c, step s of record k of hour h: 1 to 4096.
int Word(int h, int k, int c, int s)
{
    return 1 + (h * 7919 + k * 131 + c * 17 + s * 3) % 4096;
}

NurvLayout Layout()
{
    NurvLayout layout{.sensors = kSensors, .levels = kSteps, .smpId = 0, .senMode = 2};
    const NurvRecord full{.hdrOff = {0}, .sets = {{.samples = std::vector<std::int64_t>(kSensors * kSteps, 0)}}};
    layout.dataLen = NurvDataLenFor(layout, {full});
    return layout;
}

// The description: counts are the raw words (table 0, expanded 1 + 1 x - 1);
// table 2 the energy of each step; tables 1 and 3 to 6 the constants of the
// phase-space density (geometric factor, efficiency, mass terms).
KeldText Description()
{
    HaldeKeldOptions o;
    o.sensors = kSensors;
    o.levels = kSteps;
    o.calSets = 0;
    o.tables = 7;
    o.constants = 1;
    o.pitchAngle = o.pmi = o.potentialSource = o.startOfSpin = o.tensor = false;
    KeldText text = NurvDescription(Layout(), o);
    const std::vector<int> zeros(kSensors, 0);
    // The sensors sample together: every sweep of a spin is its own record.
    for (int s = 0; s < kSensors; ++s)
        text.Char("Sensor" + std::to_string(s) + ".d_type", 0).Int("Sensor" + std::to_string(s) + ".time_offset", 0);
    std::vector<long long> energies;
    for (int s = 0; s < kSteps; ++s)
        energies.push_back(static_cast<long long>(10.0 * std::pow(1.25, s)));
    struct Table {
        int fmt, var, expand;
        std::vector<long long> values;
    };
    const Table tables[] = {
        {2, 0, 1, {0, 1}},   // counts
        {1, 2, 0, {9109}},   // electron mass term
        {0, 2, 0, energies}, // energy of each step, eV
        {1, 2, 0, {3}},      // geometric factor
        {1, 2, 0, {2}},      // efficiency
        {1, 2, 0, {1602}},   // charge term
        {1, 2, 0, {2}},      // twice the energy
    };
    for (int t = 0; t < 7; ++t) {
        const Table &tb = tables[t];
        const std::string p = "Table" + std::to_string(t) + ".";
        text.Chars(p + "format", std::vector<int>(kSensors, tb.fmt))
            .Char(p + "tbl_var", tb.var)
            .Char(p + "tbl_type", 0)
            .Char(p + "tbl_expand", tb.expand)
            .Int(p + "tbl_ele_sz", static_cast<long long>(tb.values.size()))
            .Ints(p + "values", tb.values)
            .Ints(p + "offset", std::vector<long long>(kSensors, 0))
            .Int(p + "tbl_sca_sz", 0);
    }
    return text;
}

NurvFiles HourFiles(int h)
{
    NurvFiles f;
    f.layout = Layout();
    NurvHeader header{.timeUnits = -3, .dataAccum = kAccumMs};
    for (int s = 0; s < kSteps; ++s)
        header.sampIndex.push_back(static_cast<std::int16_t>(s));
    for (int c = 0; c < kSensors; ++c)
        header.sensorIndex.push_back(static_cast<std::int16_t>(c));
    f.headers = {header};
    f.records.reserve(kRecordsPerHour + 1);
    for (int k = 0; k < kRecordsPerHour; ++k) {
        NurvSensorSet set;
        set.samples.reserve(kSensors * kSteps);
        for (int c = 0; c < kSensors; ++c)
            for (int s = 0; s < kSteps; ++s)
                set.samples.push_back(Word(h, k, c, s));
        f.records.push_back({.time = RecordMs(h, k), .sunSen = RecordMs(h, k - k % kSweepsPerSpin), .hdrOff = {0},
                             .sets = {set}});
    }
    f.records.push_back({.time = (h + 1) * kHourMs, .hdrOff = {-2}});
    return f;
}



}  // namespace

int main(int argc, char **argv)
{
    const int hours = argc > 1 ? std::atoi(argv[1]) : 24;
    if (hours < 1 || hours > 24) {
        std::fprintf(stderr, "usage: %s [HOURS 1-24]\n", argv[0]);
        return 2;
    }
    try {
        bench::Scratch scratch;
        WriteStandardConfig(scratch.path, scratch.path);
        setenv("KOMBRA_CONFIG", scratch.path.c_str(), 1);
        setenv("KOMBRA_DATA", scratch.path.c_str(), 1);
        setenv("KOMBRA_DB_TYPE", "SQLite", 1);
        unsetenv("KOMBRA_HOME");
        CfgInit();

        const std::string dir = scratch.path + "/data/CLUSTERII/C1/HALDE/3DR";
        StandardCatalog catalog = MakeStandardCatalog();
        std::erase_if(catalog.hdEntries, [](const auto &e) { return e.key == kKey; });
        std::erase_if(catalog.descriptionEntries, [](const auto &e) { return e.key == kKey; });
        std::vector<std::string> data_files;
        for (int h = 0; h < hours; ++h) {
            const NurvPaths paths = WriteNurvPair(dir, "CP3DRH", 2003, 32, h * kHourMs, HourFiles(h));
            data_files.push_back(paths.data);
            catalog.hdEntries.push_back({kKey, {2003, 32, h * kHourMs},
                                         {2003, 32, RecordMs(h, kRecordsPerHour - 1) + kSweepMs - 1},
                                         0, "A1"});
        }
        Description().Write(dir + "/" + NurvFileName("CP3DRH", 2003, 1, 0, 'V') + ".v3");
        catalog.descriptionEntries.push_back({kKey, {2003, 1, 0}, {2004, 1, 0}, 0, "K1"});
        WriteCatalog(scratch.path, catalog);
        if (dbInitializeMsg() != 1)
            throw std::runtime_error(dbErrorMsg());

        unsigned long long sum = 0;
        bench::ReadWhole(data_files, sum);  // warm the page cache
        const double baseline = bench::ReadWhole(data_files, sum);

        const KOMBRA_CHAR counts_tables[] = {0};
        const KOMBRA_LONG counts_codes[] = {0};
        const KOMBRA_CHAR psd_tables[] = {0, 2, 3, 4, 6, 5, 1, 5, 1};
        const KOMBRA_LONG psd_codes[] = {0, 154, 4, 4, 3, 4, 4, 4, 4};
        std::vector<KOMBRA_FLOAT> counts(kSteps), psd(kSteps);

        Clock::duration opening{}, reading{}, converting{}, moving{};
        const bench::Mark begun;
        const auto start = Clock::now();
        auto mark = Clock::now();
        auto charge = [&mark](Clock::duration &to) {
            const auto now = Clock::now();
            to += now - mark;
            mark = now;
        };

        init_nurv();
        KOMBRA_USHORT vnum = 0;
        get_version_number(&vnum);
        nur_data *record = nullptr;
        if (create_nur_data_structure(&record) != 1)
            throw std::runtime_error("no caller record");
        const int end_sec = hours * 3600 - 1;
        if (file_open(kKey, "", vnum, 2003, 32, 0, 0, 2003, 32, end_sec, 0, 0) != 1 ||
            file_pos(kKey, "", vnum, record, 2003, 32, 0, 0, 2003, 32, end_sec, 0) != 1)
            throw std::runtime_error("cannot open the data set");
        charge(opening);

        long long records = 0, converted = 0, wrong = 0;
        int file = 0;
        for (;;) {
            KOMBRA_SHORT status = 1;
            for (int c = 0; c < kSensors; ++c) {
                status = read_drec(kKey, "", vnum, record, static_cast<KOMBRA_SHORT>(c), c == kSensors - 1, 1);
                charge(reading);
                if (status != 1 && status != 12)
                    throw std::runtime_error("read_drec gave " + std::to_string(status));
                if (convert_to_units(kKey, "", vnum, record, static_cast<KOMBRA_SHORT>(c), 1, 0, 1, counts_tables,
                                     counts_codes, counts.data(), 1, 65535) != 1 ||
                    convert_to_units(kKey, "", vnum, record, static_cast<KOMBRA_SHORT>(c), 1, 0, 9, psd_tables,
                                     psd_codes, psd.data(), 1, 65535) != 1)
                    throw std::runtime_error("convert_to_units failed");
                charge(converting);
                const int into = static_cast<int>(record->bmilli - file * kHourMs);
                const int k = into / kSpinMs * kSweepsPerSpin + into % kSpinMs / kSweepMs;
                for (int s = 0; s < record->num_sample; ++s)
                    wrong += counts[static_cast<size_t>(s)] != static_cast<float>(Word(file, k, c, s));
                converted += 2LL * record->num_sample;
            }
            ++records;
            if (status == 1)
                continue;
            KOMBRA_SHORT year = 0, day = 0;
            KOMBRA_LONG sec = 0, nsec = 0;
            if (next_file_start_time(kKey, "", vnum, 0, &year, &day, &sec, &nsec) != 1)
                throw std::runtime_error("no next file time");
            status = reset_experiment_info(kKey, "", vnum, year, day, sec, nsec, 2003, 32, end_sec, 0);
            if (status == 1200)
                break;
            if (status != 1 || file_pos(kKey, "", vnum, record, year, day, sec, nsec, 2003, 32, end_sec, 0) != 1)
                throw std::runtime_error("cannot move to the next file");
            ++file;
            charge(moving);
        }
        charge(moving);
        const double total = Seconds(Clock::now() - start);
        const bench::Mark finished;
        free_experiment_info();
        dbClose();

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("data set: %d hourly files, %d sensors x %d steps of 16 bits and %d ms, %d sweeps per %d ms spin\n",
                    hours, kSensors, kSteps, kAccumMs, kSweepsPerSpin, kSpinMs);
        std::printf("read and converted: %lld sweeps (records), %lld samples (counts and phase-space density)\n",
                    records, converted);
        std::printf("whole read:   %8.3f s  %10.0f sweeps per second  %12.0f samples per second\n", total,
                    records / total, converted / total);
        std::printf("  processor %.3f s, %ld page faults\n", finished.cpu - begun.cpu, finished.faults - begun.faults);
        std::printf("  open and first position  %8.3f s\n", Seconds(opening));
        std::printf("  read_drec                %8.3f s\n", Seconds(reading));
        std::printf("  convert_to_units         %8.3f s\n", Seconds(converting));
        std::printf("  next file (reset, position) %5.3f s\n", Seconds(moving));
        std::printf("baseline: read the data files whole and sum their words: %.3f s (checksum %llu)\n", baseline,
                    sum % 1000);
        std::printf("ratio to baseline: %.1f x\n", total / baseline);
        std::printf("peak memory: %ld kB\n", usage.ru_maxrss);
        if (wrong != 0 || records != static_cast<long long>(hours) * kRecordsPerHour) {
            std::fprintf(stderr, "%lld values differ from those written, %lld records read\n", wrong, records);
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
