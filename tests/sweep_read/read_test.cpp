// Sweeps read end to end from archives written by the fixture writers: the
// configuration, an SQLite catalog, descriptions whose tables give every
// unit, and NURV file pairs of one sweep per spin.  Values are checked
// against the raw words written and the table values, computed here by hand.
#include "Qsweep_spin.h"
#include "config_reset.h"
#include "libKELD.h"
#include "libdbSQL.h"
#include "nurv_int.h"
#include "support.h"
#include "sweep_archive_fixture.h"
#include "sweep_lineage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace {

using namespace kombra_fixtures;

constexpr int kHourMs = 3600000;
constexpr int kSensors = 4;
constexpr int kLevels = 8;
constexpr int kAccumMs = 10;
constexpr int kSpinMs = 4000;
constexpr int kSensorOffsetMs = 125;
const SweepSource kHalde{"CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"};
const SweepSource kField{"CLUSTERII", "C1", "FGM", "VEC", "CFUNIT"};

std::int64_t Word(int file, int spin, int sensor, int step)
{
    return 1 + file * 1000 + spin * 100 + sensor * 10 + step;
}

NURV_TIME_S At(int day, int msec)
{
    NURV_TIME_S t{};
    t.year = 2001;
    t.doy = static_cast<KOMBRA_SHORT>(day);
    t.sec = msec / 1000;
    t.nano = (msec % 1000) * 1000000;
    return t;
}

long long Msec(const NURV_TIME_S &t)
{
    return static_cast<long long>(t.sec) * 1000 + t.nano / 1000000;
}

// The sweeps of one reading, freed with the test.
struct Reading {
    KOMBRA_SHORT status = 0;
    int n = -1;
    HALDE_SWEEP_S **sweeps = nullptr;
    NURV_LINEAGE_S lineage{};
    ~Reading() { free_sweep_set(n > 0 ? n : 0, sweeps); }
    const HALDE_SWEEP_S &operator[](int i) const { return *sweeps[i]; }
};

class SweepRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        cfg_test::ResetConfiguration();
        shape.sensors = kSensors;
        shape.levels = kLevels;
        shape.accumMs = kAccumMs;
        shape.spinMs = kSpinMs;
        shape.tables = FallingSweepTables(kLevels, 16000);
        source = archive.AddSource(kHalde);
    }
    void TearDown() override
    {
        CloseKELD();
        dbClose();
        cfg_test::ResetConfiguration();
    }

    // A description for the whole of 2001 and files of spins spins each.
    void Describe(int src, const SweepShape &s)
    {
        archive.AddDescription(src, {2001, 1, 0}, {2002, 1, 0}, SweepDescription(s, kHalde, {2001, 1, 0}, {2002, 1, 0}));
    }
    // The sweep set described with pitch angles from the field set, which
    // is added and described too; returns the field's source.
    int DescribeWithField(SweepShape withField)
    {
        const int fgm = archive.AddSource(kField);
        withField.pitchAngles = true;
        withField.field = kField;
        Describe(source, withField);
        archive.AddDescription(fgm, {2001, 1, 0}, {2002, 1, 0}, FieldDescription(kField, {2001, 1, 0}, {2002, 1, 0}));
        return fgm;
    }
    void AddFile(int file, int day, int msec, int spins, bool remote = false)
    {
        archive.AddFiles(source, 2001, day, msec,
                         SweepFiles(shape, 2001, day, msec, spins, [file](int k, int c, int s) { return Word(file, k, c, s); }),
                         remote);
    }

    std::unique_ptr<Reading> Read(NURV_TIME_S begin, NURV_TIME_S end, PSD_UNITS_E units = PSD_UNITS_CNTS_ACCUM,
                                  BIN_UNITS_E bins = BIN_UNITS_EV, const SweepSource &from = kHalde,
                                  T_OR_F_E pa = QPFALSE)
    {
        auto r = std::make_unique<Reading>();
        r->lineage = kombra_test::LineageOf(from);
        r->status = GetNHaldeSweeps(&r->lineage, &begin, &end, bins, units, pa, &r->n, &r->sweeps);
        return r;
    }

    // The flux of a raw word at a sweep step, as the tables give it, and the
    // phase-space density (the flux without its charge term).
    float Flux(std::int64_t word, int step) const
    {
        const SweepTables &t = shape.tables;
        float v = static_cast<float>(word) / static_cast<float>(t.energy[step]);
        v /= kAccumMs / 1000.0f;
        v /= static_cast<float>(t.geometric);
        v /= static_cast<float>(t.efficiency[0]);
        return v * static_cast<float>(t.charge);
    }
    float Density(std::int64_t word, int step) const
    {
        const SweepTables &t = shape.tables;
        const float q = static_cast<float>(t.charge), m = static_cast<float>(t.mass[0]);
        return Flux(word, step) / q * static_cast<float>(t.factor) / q / m / q / m;
    }

    kombra_test::TempDir root;
    kombra_test::ScopedEnv configEnv{"KOMBRA_CONFIG", root.file("config")};
    kombra_test::ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
    kombra_test::ScopedEnv dataEnv{"KOMBRA_DATA", root.str()};
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "SQLite"};
    kombra_test::ScopedEnv tempEnv{"TEMP", root.str()};
    kombra_test::ScopedEnv logEnv{"KOMBRA_STANDIN_LOG", root.file("fetch.log")};
    kombra_test::ScopedEnv remoteEnv{"KOMBRA_STANDIN_REMOTE", root.file("remote")};
    kombra_test::ScopedEnv archiveEnv{"KOMBRA_STANDIN_ARCHIVE", root.file("data")};
    kombra_test::ScopedEnv pnurEnv{"KOMBRA_STANDIN_PNUR", root.file("pnur")};
    SweepArchive archive{root.str()};
    SweepShape shape;
    int source = 0;
};

TEST_F(SweepRead, OneFileInCountsWithEdgesTimesAndAzimuths)
{
    Describe(source, shape);
    AddFile(0, 90, 16 * kHourMs, 5);
    archive.Write();

    // Up to 16:00:10: the sweeps of 16:00:00, :04, :08 and the one after.
    auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 10000));
    ASSERT_EQ(1, r->status);
    ASSERT_EQ(4, r->n);
    for (int k = 0; k < r->n; ++k) {
        const HALDE_SWEEP_S &s = (*r)[k];
        ASSERT_EQ(kSensors, s.n_sen);
        ASSERT_EQ(kLevels, s.n_lev);
        EXPECT_EQ(PSD_UNITS_CNTS_ACCUM, s.psd_units);
        EXPECT_STREQ("CP3DRH", s.lineage->virtual_inst);
        EXPECT_STREQ("HALDE", s.lineage->experiment);
        // Levels ascend: level l is sweep step kLevels - 1 - l.
        for (int l = 0; l < kLevels; ++l) {
            const int step = kLevels - 1 - l;
            EXPECT_FLOAT_EQ(static_cast<float>(shape.tables.lowEdge[step]), s.elo[l]);
            EXPECT_FLOAT_EQ(static_cast<float>(shape.tables.highEdge[step]), s.ehi[l]);
            for (int c = 0; c < kSensors; ++c)
                EXPECT_FLOAT_EQ(static_cast<float>(Word(0, k, c, step)), s.psd[l + kLevels * c])
                    << "sweep " << k << " sensor " << c << " level " << l;
        }
        for (int c = 0; c < kSensors; ++c) {
            EXPECT_FLOAT_EQ(180.0f - (20 * c + 20), s.thlo[c]);
            EXPECT_FLOAT_EQ(180.0f - 20 * c, s.thhi[c]);
        }
        // Times of the last sensor read; the azimuths span its sweep.
        EXPECT_EQ(90, s.btime.doy);
        EXPECT_EQ(16 * kHourMs + k * kSpinMs + kSensorOffsetMs * (kSensors - 1), Msec(s.btime));
        EXPECT_EQ(16 * kHourMs + k * kSpinMs, Msec(s.suntime));
        EXPECT_GT(Msec(s.etime), Msec(s.btime));
        const float span = mod360(s.phi_hi - s.phi_lo);
        EXPECT_NEAR(360.0f * kLevels * kAccumMs / kSpinMs, span, 1e-3);
        EXPECT_EQ(nullptr, s.pa);
        EXPECT_EQ(0.0f, s.missing_value);
    }
}

TEST_F(SweepRead, EveryUnitFromTheTables)
{
    Describe(source, shape);
    AddFile(0, 90, 16 * kHourMs, 3);
    archive.Write();
    const NURV_TIME_S b = At(90, 16 * kHourMs), e = At(90, 16 * kHourMs + 1000);

    auto flux = Read(b, e, PSD_UNITS_DIFF_ENERGY_FLUX);
    auto psd = Read(b, e, PSD_UNITS_S3_PER_KM6, BIN_UNITS_KM_S);
    auto one = Read(b, e, PSD_UNITS_CNTS_ACCUM_1CNT);
    auto oneFlux = Read(b, e, PSD_UNITS_DIFF_ENERGY_FLUX_1CNT);
    for (const Reading *r : {flux.get(), psd.get(), one.get(), oneFlux.get()}) {
        ASSERT_EQ(1, r->status);
        ASSERT_EQ(2, r->n);
    }
    const HALDE_SWEEP_S &f = (*flux)[0];
    const HALDE_SWEEP_S &p = (*psd)[0];
    const HALDE_SWEEP_S &o = (*one)[0];
    const HALDE_SWEEP_S &of = (*oneFlux)[0];
    EXPECT_EQ(PSD_UNITS_DIFF_ENERGY_FLUX, f.psd_units);
    EXPECT_EQ(PSD_UNITS_S3_PER_KM6, p.psd_units);
    // One-count units come back in their base unit, marked in the lineage.
    EXPECT_EQ(PSD_UNITS_CNTS_ACCUM, o.psd_units);
    EXPECT_EQ(PSD_UNITS_DIFF_ENERGY_FLUX, of.psd_units);
    EXPECT_STREQ("HALDE1cnt", o.lineage->experiment);
    EXPECT_STREQ("HALDE", f.lineage->experiment);
    const SweepTables &t = shape.tables;
    for (int l = 0; l < kLevels; ++l) {
        const int step = kLevels - 1 - l;
        const float speed = [&](double edge) {
            return std::sqrt(static_cast<float>(edge) * static_cast<float>(t.charge) *
                             static_cast<float>(t.speedTerm)) *
                   static_cast<float>(t.speedScale);
        }(t.lowEdge[step]);
        EXPECT_NEAR(speed, p.elo[l], speed * 1e-5);
        for (int c = 0; c < kSensors; ++c) {
            const int i = l + kLevels * c;
            const std::int64_t w = Word(0, 0, c, step);
            EXPECT_NEAR(Flux(w, step), f.psd[i], Flux(w, step) * 1e-5) << i;
            EXPECT_NEAR(Density(w, step), p.psd[i], Density(w, step) * 1e-5) << i;
            EXPECT_FLOAT_EQ(1.0f, o.psd[i]) << i;
            EXPECT_NEAR(Flux(1, step), of.psd[i], Flux(1, step) * 1e-5) << i;
        }
    }
}

TEST_F(SweepRead, RecordsOfMoreLevelsThanTheOldBuffer)
{
    // 120 sweep steps: more than the 93 a fixed conversion buffer held.
    shape.levels = 120;
    shape.tables = FallingSweepTables(120, 1 << 30);
    Describe(source, shape);
    AddFile(0, 90, 16 * kHourMs, 2);
    archive.Write();
    auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 100));
    ASSERT_EQ(1, r->status);
    const HALDE_SWEEP_S &s = (*r)[0];
    ASSERT_EQ(120, s.n_lev);
    for (int c = 0; c < kSensors; ++c)
        for (int l : {0, 92, 93, 119})
            EXPECT_FLOAT_EQ(static_cast<float>(Word(0, 0, c, 119 - l)), s.psd[l + 120 * c]) << c << " " << l;
}

TEST_F(SweepRead, FillWordsBecomeTheMissingValue)
{
    Describe(source, shape);
    archive.AddFiles(source, 2001, 90, 0, SweepFiles(shape, 2001, 90, 0, 2, [](int k, int c, int s) -> std::int64_t {
                         return (k == 0 && c == 2 && s == 5) ? 65535 : Word(0, k, c, s);
                     }));
    archive.Write();
    auto r = Read(At(90, 0), At(90, 100));
    ASSERT_EQ(1, r->status);
    const HALDE_SWEEP_S &s = (*r)[0];
    const int level = kLevels - 1 - 5;
    EXPECT_EQ(s.missing_value, s.psd[level + kLevels * 2]);
    EXPECT_FLOAT_EQ(static_cast<float>(Word(0, 0, 2, 4)), s.psd[level + 1 + kLevels * 2]);
}

TEST_F(SweepRead, FilesInARowAndTheEndOfTheData)
{
    Describe(source, shape);
    AddFile(0, 90, 16 * kHourMs, 5);
    AddFile(1, 90, 16 * kHourMs + 60000, 5);  // names carry minutes, not seconds
    // Files ending in the other end mark, -1: in HDR_OFF, followed by a
    // file; as a header of size 65535 (at 22:00), the last of the data.
    for (const int hour : {20, 22}) {
        NurvFiles f = SweepFiles(shape, 2001, 90, hour * kHourMs, 5, [](int k, int c, int s) { return Word(2, k, c, s); });
        f.headerEnd = 65535;
        f.records.back().hdrOff = {hour == 20 ? -1 : f.HeaderOffset(1)};
        archive.AddFiles(source, 2001, 90, hour * kHourMs, f);
    }
    AddFile(3, 90, 20 * kHourMs + 60000, 5);
    archive.Write();

    // Across the boundary: all five sweeps of the first file, then the
    // second file's up to and just past the end.
    {
        auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 70000));
        ASSERT_EQ(1, r->status);
        ASSERT_EQ(9, r->n);
        for (int k = 0; k < r->n; ++k) {
            const int file = k < 5 ? 0 : 1;
            const int spin = k < 5 ? k : k - 5;
            EXPECT_EQ(16 * kHourMs + file * 60000 + spin * kSpinMs + kSensorOffsetMs * (kSensors - 1),
                      Msec((*r)[k].btime));
            EXPECT_FLOAT_EQ(static_cast<float>(Word(file, spin, 0, kLevels - 1)), (*r)[k].psd[0]);
        }
    }
    // A range running past the last file ends with the data, whichever end
    // mark the files end in (-1 at 20:00 and 22:00).
    for (const auto &[hour, n, last] : {std::tuple{16, 8, 60000}, std::tuple{20, 8, 60000}, std::tuple{22, 3, 0}}) {
        testing::internal::CaptureStdout();
        auto r = Read(At(90, hour * kHourMs + 8000), At(90, (hour + 1) * kHourMs));
        const std::string printed = testing::internal::GetCapturedStdout();
        ASSERT_EQ(1, r->status) << printed;
        ASSERT_EQ(n, r->n) << printed;
        EXPECT_EQ(hour * kHourMs + last + 4 * kSpinMs + kSensorOffsetMs * (kSensors - 1), Msec((*r)[n - 1].btime));
        EXPECT_EQ(std::string::npos, printed.find("cannot be read in order")) << printed;
    }
    // The end of a spin or of sweeps searched across the -1 mark.
    for (const auto &[from, gather, count, end] :
         {std::tuple{16000, GATHER_SPINS, 1, 60000}, std::tuple{12000, GATHER_SWEEPS, 3, 60000 + kLevels * kAccumMs}}) {
        NURV_LINEAGE_S lineage = kombra_test::LineageOf(kHalde);
        NURV_TIME_S b = At(90, 20 * kHourMs + from), e{};
        testing::internal::CaptureStdout();
        const KOMBRA_SHORT status = nurv_n_spin_sweep_etime(&lineage, &b, &e, QPFALSE, gather, count);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(1, status) << printed;
        EXPECT_EQ(20 * kHourMs + end, Msec(e)) << printed;
    }
    // Beginning before the first file.
    {
        auto r = Read(At(90, 16 * kHourMs - 60000), At(90, 16 * kHourMs + 2000));
        ASSERT_EQ(1, r->status);
        ASSERT_GE(r->n, 1);
        EXPECT_EQ(16 * kHourMs + kSensorOffsetMs * (kSensors - 1), Msec((*r)[0].btime));
    }
}

// A file of fifteen spins and one of five that begins 4 s after the first
// one's last spin, and the field in two files whose boundary lies in that
// gap.  A start after the first file's last record is read from the second
// file's first record, with pitch angles; the end of n spins or sweeps is
// found across the boundary; a reading across it says nothing of lost
// sweeps; a time without data says so with its times.
TEST_F(SweepRead, StartsAndSearchesAcrossTheGapBetweenFiles)
{
    const int fgm = DescribeWithField(shape);
    AddFile(0, 90, 16 * kHourMs, 15);
    AddFile(1, 90, 16 * kHourMs + 60000, 5);
    for (const auto &[start, count] : {std::pair{-10000, 70}, std::pair{60000, 30}})
        archive.AddFiles(fgm, 2001, 90, 16 * kHourMs + start,
                         FieldFiles(2001, 90, 16 * kHourMs + start, count, 1000,
                                    [](int) { return std::vector<int>{0, 0, 1000}; }),
                         false, 0);
    archive.Write();
    // The begin of the first sweep of spin k of the second file (its last sensor's).
    const auto second = [](int k) { return 16 * kHourMs + 60000 + k * kSpinMs + kSensorOffsetMs * (kSensors - 1); };

    struct Case {
        const char *name;
        int from, to;  // ms after 16:00
        T_OR_F_E pa;
        int n;
        int first;  // begin of the first sweep
    };
    const Case cases[] = {
        {"start in the gap, with pitch angles", 57000, 70000, QPTRUE, 4, second(0)},
        {"start in the gap", 57000, 70000, QPFALSE, 4, second(0)},
        {"start just after the first file's last record", 56500, 62000, QPTRUE, 2, second(0)},
        {"across the boundary", 52000, 62000, QPTRUE, 4, second(-2)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        auto r = Read(At(90, 16 * kHourMs + c.from), At(90, 16 * kHourMs + c.to), PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV,
                      kHalde, c.pa);
        const std::string printed = testing::internal::GetCapturedStdout();
        ASSERT_EQ(1, r->status) << printed;
        ASSERT_EQ(c.n, r->n) << printed;
        EXPECT_EQ(c.first, Msec((*r)[0].btime));
        EXPECT_EQ(c.pa == QPTRUE, (*r)[0].pa != nullptr);
        for (const char *line : {"ran of file end", "read2filled_sensor", "fill_sweep failed", "rror"})
            EXPECT_EQ(std::string::npos, printed.find(line)) << printed;
    }

    // The end of n spins or sweeps from a start near the first file's end.
    struct Search {
        const char *name;
        int from;
        HALDE_GATHER_CHOICE_E gather;
        int count;
        int end;
    };
    const Search searches[] = {
        {"a spin from the last of the file", 54000, GATHER_SPINS, 1, 16 * kHourMs + 60000},
        {"two spins from the gap", 57000, GATHER_SPINS, 2, 16 * kHourMs + 60000 + 2 * kSpinMs},
        {"three sweeps over the boundary", 52000, GATHER_SWEEPS, 3, 16 * kHourMs + 60000 + kLevels * kAccumMs},
    };
    for (const Search &q : searches) {
        SCOPED_TRACE(q.name);
        NURV_LINEAGE_S lineage = kombra_test::LineageOf(kHalde);
        NURV_TIME_S b = At(90, 16 * kHourMs + q.from), e{};
        testing::internal::CaptureStdout();
        const KOMBRA_SHORT status = nurv_n_spin_sweep_etime(&lineage, &b, &e, QPFALSE, q.gather, q.count);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(1, status) << printed;
        EXPECT_EQ(q.end, Msec(e)) << printed;
        EXPECT_EQ(std::string::npos, printed.find("ailed")) << printed;
    }

    // Between the files, past the last and (within the last file's catalog
    // entry) after its last sweep, where positioning meets the end mark: no
    // data, and the lines say when.
    for (const auto &[from, to, text] : {std::tuple{56500, 59000, "16:00:56.500 to 16:00:59"},
                                         std::tuple{90000, 100000, "16:01:30 to 16:01:40"},
                                         std::tuple{76200, 76400, "16:01:16.200 to 16:01:16.400"}}) {
        testing::internal::CaptureStdout();
        auto r = Read(At(90, 16 * kHourMs + from), At(90, 16 * kHourMs + to));
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(-499, r->status);
        EXPECT_NE(std::string::npos,
                  printed.find(std::string("No data of CLUSTERII C1 HALDE 3DR CP3DRH from 2001/090 ") + text))
            << printed;
    }
}

TEST_F(SweepRead, MissingFilesAreFetchedOrReported)
{
    Describe(source, shape);
    AddFile(0, 90, 16 * kHourMs, 3, /*remote=*/true);
    AddFile(1, 90, 18 * kHourMs, 3, /*remote=*/true);
    archive.InstallFetchProgram(kombra_test::ToolsDir() + "/standins/fetch_standin");
    archive.Write();
    std::filesystem::remove(root.file("remote/srvA/") + NurvFileName("CP3DRH", 2001, 90, 18 * kHourMs, 'D'));

    // The first file reaches the disk through the fetch program.
    {
        auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 1000));
        ASSERT_EQ(1, r->status);
        EXPECT_EQ(2, r->n);
        EXPECT_TRUE(std::filesystem::exists(archive.DataDir(source) + "/" +
                                            NurvFileName("CP3DRH", 2001, 90, 16 * kHourMs, 'D')));
        EXPECT_NE(std::string::npos, kombra_test::ReadFile(root.file("fetch.log")).find("CP3DRH"));
    }
    // The second cannot be had: the data set does not open, and the
    // caller's pointer is left as it was.
    {
        HALDE_SWEEP_S *mine[1] = {nullptr};
        HALDE_SWEEP_S **sweeps = mine;
        NURV_LINEAGE_S lineage{};
        std::snprintf(lineage.project, NURV_LINEAGE_LEN, "CLUSTERII");
        std::snprintf(lineage.mission, NURV_LINEAGE_LEN, "C1");
        std::snprintf(lineage.experiment, NURV_LINEAGE_LEN, "HALDE");
        std::snprintf(lineage.instrument, NURV_LINEAGE_LEN, "3DR");
        std::snprintf(lineage.virtual_inst, NURV_LINEAGE_LEN, "CP3DRH");
        NURV_TIME_S b = At(90, 18 * kHourMs), e = At(90, 18 * kHourMs + 1000);
        int n = -7;
        EXPECT_EQ(-499, GetNHaldeSweeps(&lineage, &b, &e, BIN_UNITS_EV, PSD_UNITS_CNTS_ACCUM, QPFALSE, &n, &sweeps));
        EXPECT_EQ(mine, sweeps);
        EXPECT_EQ(-7, n);
    }
}

TEST_F(SweepRead, FailuresBeforeAndDuringTheReading)
{
    archive.AddSource({"CLUSTERII", "C1", "HALDE", "SPINPAD", "LSPAD"});
    // A description without the speed tables: energies read, speeds fail
    // in the first fill and everything is freed.
    SweepShape few = shape;
    archive.AddDescription(source, {2001, 1, 0}, {2002, 1, 0}, [&] {
        KeldText text = SweepDescription(few, kHalde, {2001, 1, 0}, {2002, 1, 0});
        text.Char("n_tbls", 11);
        return text;
    }());
    AddFile(0, 90, 16 * kHourMs, 3);
    // The same sweeps at 18:00 under a header of the steps the other way round.
    NurvFiles down = SweepFiles(shape, 2001, 90, 18 * kHourMs, 2, [](int k, int c, int s) { return Word(1, k, c, s); });
    std::ranges::reverse(down.headers[0].sampIndex);
    archive.AddFiles(source, 2001, 90, 18 * kHourMs, down);
    archive.Write();
    const NURV_TIME_S b = At(90, 16 * kHourMs), e = At(90, 16 * kHourMs + 1000);
    {
        auto r = Read(b, e, PSD_UNITS_CNTS_ACCUM);
        EXPECT_EQ(1, r->status);
        // A sweep whose bins were made from the steps up takes a sweep of
        // those steps, and refuses one of the steps down.
        for (const auto &[msec, status] : {std::pair{16 * kHourMs, 1}, std::pair{18 * kHourMs, -501}}) {
            NURV_LINEAGE_S l = r->lineage;
            KOMBRA_ULONG key = 0;
            nur_data *nurp = nullptr;
            ASSERT_EQ(1, get_data_key(l.project, l.mission, l.experiment, l.instrument, l.virtual_inst, &key));
            init_nurv();
            get_version_number(&l.vsn);
            ASSERT_EQ(1, create_nur_data_structure(&nurp));
            ASSERT_EQ(1, init_nur_file(At(90, msec), At(90, msec + 1000), key, nurp, l.vsn));
            testing::internal::CaptureStdout();
            EXPECT_EQ(status, fill_sweep(r->sweeps[0], &l, nurp, key, QPTRUE, QPFALSE));
            const std::string printed = testing::internal::GetCapturedStdout();
            free_experiment_info();
            EXPECT_EQ(status == -501, printed.find("HALDE3D: fill sweep psd lev check fail\n") != std::string::npos)
                << printed;
        }
    }
    {
        auto r = Read(b, e, PSD_UNITS_DIFF_ENERGY_FLUX, BIN_UNITS_KM_S);
        EXPECT_EQ(-500, r->status);
        EXPECT_EQ(nullptr, r->sweeps);
    }
    // An end before the begin holds no sweep; the pointer stays.
    {
        auto r = Read(e, b);
        EXPECT_EQ(-501, r->status);
        EXPECT_EQ(nullptr, r->sweeps);
        EXPECT_EQ(-1, r->n);
    }
    // Unknown sources, each named by the first level the hierarchy lacks,
    // and pitch-angle products without a spin set.
    const struct {
        SweepSource source;
        const char *said;
    } unknown[] = {
        {{"CLUSTERII", "C1", "HALDE", "3DR", "NONE"},
         "The instrument 3DR of CLUSTERII C1 HALDE has no product NONE (no instrument of HALDE has it); choose a "
         "product of 3DR: CP3DRH"},
        {{"CLUSTERII", "C1", "HALDE", "3DR", "LSPAD"},
         "The instrument 3DR of CLUSTERII C1 HALDE has no product LSPAD (it is a product of SPINPAD); choose a "
         "product of 3DR: CP3DRH"},
        {{"CLUSTERII", "C1", "HALDE", "PAD", "CPPADAL"},
         "The experiment HALDE of CLUSTERII C1 has no instrument PAD; choose an instrument of HALDE: 3DR, SPINPAD"},
        {{"CLUSTERII", "C9", "HALDE", "3DR", "CP3DRH"},
         "The project CLUSTERII has no mission C9; choose a mission of CLUSTERII: C1"},
        {{"CLUSTER", "C1", "HALDE", "3DR", "CP3DRH"},
         "The hierarchy has no project CLUSTER; choose a project: CLUSTERII"},
    };
    for (const auto &u : unknown) {
        testing::internal::CaptureStdout();
        const KOMBRA_SHORT status = Read(b, e, PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV, u.source)->status;
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(-149, status) << u.said;
        EXPECT_EQ("Error getting data key\n" + std::string(u.said) + "\n", printed);
    }
    EXPECT_EQ(-501, Read(b, e, PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV, {"CLUSTERII", "C1", "HALDE", "PAD", "PADX"})->status);
}

TEST_F(SweepRead, PitchAngleProductsReadThroughTheSpinSet)
{
    const SweepSource spin{"CLUSTERII", "C1", "HALDE", "SPINPAD", "LSPAD"};
    const int src = archive.AddSource(spin);
    archive.AddSource({"CLUSTERII", "C1", "HALDE", "PAD", "CPPADL"});
    archive.AddDescription(src, {2001, 1, 0}, {2002, 1, 0}, SweepDescription(shape, spin, {2001, 1, 0}, {2002, 1, 0}));
    // The last spin of day 90 ends in day 91.
    const int sun = 86398000;
    archive.AddFiles(src, 2001, 90, sun, SweepFiles(shape, 2001, 90, sun, 1, [](int k, int c, int s) { return Word(0, k, c, s); }));
    archive.Write();

    auto r = Read(At(90, sun), At(90, sun + 100), PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV,
                  {"CLUSTERII", "C1", "HALDE", "PAD", "CPPADL"});
    ASSERT_EQ(1, r->status);
    ASSERT_EQ(1, r->n);
    const HALDE_SWEEP_S &s = (*r)[0];
    EXPECT_STREQ("SPINPAD", s.lineage->instrument);
    EXPECT_STREQ("LSPAD", s.lineage->virtual_inst);
    // Sensor 0 in the last row, its angles as they stand.
    for (int c = 0; c < kSensors; ++c) {
        EXPECT_FLOAT_EQ(20.0f * c, s.thlo[kSensors - 1 - c]);
        EXPECT_FLOAT_EQ(static_cast<float>(Word(0, 0, c, kLevels - 1)), s.psd[kLevels * (kSensors - 1 - c)]);
    }
    // From the sun pulse to one spin later, in the next day.
    EXPECT_EQ(90, s.btime.doy);
    EXPECT_EQ(sun, Msec(s.btime));
    EXPECT_EQ(91, s.etime.doy);
    EXPECT_EQ(2, s.etime.sec);
    EXPECT_EQ(0, s.etime.nano);
}

TEST_F(SweepRead, PitchAnglesFromTheFieldSet)
{
    SweepShape withField = shape;
    // Sensors 0 and 2 look along z, 1 and 3 along x; the field is along z.
    withField.normals = {{0, 0, 1000}, {1000, 0, 0}, {0, 0, 1000}, {1000, 0, 0}};
    const int fgm = DescribeWithField(withField);
    AddFile(0, 90, 16 * kHourMs, 3);
    archive.AddFiles(fgm, 2001, 90, 16 * kHourMs - 10000,
                     FieldFiles(2001, 90, 16 * kHourMs - 10000, 40, 1000, [](int) { return std::vector<int>{0, 0, 1000}; }));
    // Sweeps from 120 s, the field of them ending at 122 s.
    AddFile(1, 90, 16 * kHourMs + 120000, 3);
    archive.AddFiles(fgm, 2001, 90, 16 * kHourMs + 110000,
                     FieldFiles(2001, 90, 16 * kHourMs + 110000, 12, 1000, [](int) { return std::vector<int>{0, 0, 1000}; }));
    archive.Write();

    auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 1000), PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV, kHalde,
                  QPTRUE);
    ASSERT_EQ(1, r->status);
    ASSERT_EQ(2, r->n);
    const HALDE_SWEEP_S &s = (*r)[0];
    ASSERT_NE(nullptr, s.pa);
    for (int c = 0; c < kSensors; ++c)
        for (int l = 0; l < kLevels; ++l) {
            const float pa = s.pa[l + kLevels * c];
            if (c % 2 == 1)
                EXPECT_NEAR(90.0f, pa, 0.01f) << c << " " << l;
            else
                EXPECT_TRUE(std::fabs(pa) < 0.01f || std::fabs(pa - 180.0f) < 0.01f) << pa;
        }

    // The field ends at 122 s, inside the sweeps of 120 s to 128 s: a sweep
    // without a pitch angle for each level is refused, not filled.
    testing::internal::CaptureStdout();
    auto past = Read(At(90, 16 * kHourMs + 120000), At(90, 16 * kHourMs + 129000), PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV,
                     kHalde, QPTRUE);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(-500, past->status) << printed;
    EXPECT_NE(std::string::npos, printed.find("Pitch angles requested but nurp->num_pitch = 0 != n_lev = 8\n"))
        << printed;
}

// Two files of sweeps, and two of field records of 25 ms whose boundary
// lies inside a sweep: every value and pitch angle is the same to the bit
// whether the matching converts each field record once and shares the
// field among the sensors or works every step and sensor out anew.
TEST_F(SweepRead, PitchAnglesAlikeWithAndWithoutReuse)
{
    const int fgm = DescribeWithField(shape);
    AddFile(0, 90, 16 * kHourMs, 5);
    AddFile(1, 90, 16 * kHourMs + 60000, 5);
    const auto b = [](int k) { return std::vector<int>{300 + k % 50, 200 - k % 30, 900 - k % 17}; };
    // The first file ends 25 ms into the third sweep, the second begins 15 ms later.
    for (const auto &[start, count] : {std::pair{-10000, 721}, std::pair{8040, 2880}})
        archive.AddFiles(fgm, 2001, 90, 16 * kHourMs + start, FieldFiles(2001, 90, 16 * kHourMs + start, count, 25, b),
                         false, 0);
    archive.Write();

    const auto read = [&](bool reuse) {
        ir_match_reuse = reuse;
        auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 70000), PSD_UNITS_DIFF_ENERGY_FLUX, BIN_UNITS_EV,
                      kHalde, QPTRUE);
        ir_match_reuse = true;
        return r;
    };
    const auto plain = read(false), reused = read(true);
    ASSERT_EQ(1, reused->status);
    ASSERT_EQ(9, reused->n);
    ASSERT_EQ(plain->n, reused->n);
    const auto bits = [](const float *v) {
        std::vector<std::uint32_t> out;
        for (int i = 0; i < kSensors * kLevels; ++i)
            out.push_back(std::bit_cast<std::uint32_t>(v[i]));
        return out;
    };
    for (int k = 0; k < reused->n; ++k) {
        ASSERT_NE(nullptr, (*reused)[k].pa);
        EXPECT_EQ(bits((*plain)[k].psd), bits((*reused)[k].psd)) << "sweep " << k;
        EXPECT_EQ(bits((*plain)[k].pa), bits((*reused)[k].pa)) << "sweep " << k;
    }
}

TEST_F(SweepRead, PitchAnglesWithoutASourceAreDropped)
{
    archive.AddSource({"CLUSTERII", "C1", "FGM", "VEC", "CFUNIT"});
    Describe(source, shape);
    AddFile(0, 90, 16 * kHourMs, 3);
    archive.Write();
    auto r = Read(At(90, 16 * kHourMs), At(90, 16 * kHourMs + 1000), PSD_UNITS_CNTS_ACCUM, BIN_UNITS_EV, kHalde,
                  QPTRUE);
    ASSERT_EQ(1, r->status);
    ASSERT_EQ(2, r->n);
    EXPECT_EQ(nullptr, (*r)[0].pa);
    EXPECT_FLOAT_EQ(static_cast<float>(Word(0, 1, 0, kLevels - 1)), (*r)[1].psd[0]);
}

TEST(SweepTablesOfUnits, ListsByProjectProductAndUnit)
{
    NURV_LINEAGE_S lin{};
    KOMBRA_CHAR n = -1;
    KOMBRA_CHAR tbls[kMaxPsdTables];
    KOMBRA_LONG ops[kMaxPsdTables];
    const auto list = [&](const char *project, const char *instrument, int units) {
        std::snprintf(lin.project, NURV_LINEAGE_LEN, "%s", project);
        std::snprintf(lin.instrument, NURV_LINEAGE_LEN, "%s", instrument);
        n = -1;
        return set_psd_tables(&lin, static_cast<PSD_UNITS_E>(units), &n, tbls, ops);
    };
    ASSERT_EQ(1, list("CLUSTERII", "3DR", 5));
    ASSERT_EQ(11, n);
    EXPECT_EQ(-1, tbls[2]);
    EXPECT_EQ(2052, ops[2]);
    EXPECT_EQ(1, tbls[10]);
    ASSERT_EQ(1, list("CLUSTERII", "3DR", -3));  // unsigned: counts
    EXPECT_EQ(1, n);
    ASSERT_EQ(1, list("DOUBLESTAR", "3DR", 0));
    EXPECT_EQ(0, n);
    ASSERT_EQ(1, list("DOUBLESTAR", "RPAD", 1));
    ASSERT_EQ(3, n);
    EXPECT_EQ(5, tbls[2]);
    EXPECT_EQ(-499, list("DOUBLESTAR", "RPAD", 4));
    EXPECT_EQ(-499, list("UNKNOWN", "3DR", 0));
    EXPECT_EQ(1, list("CLUSTERII", "RPAD", 4));  // r-pad is a Double Star product

    // Whole lists of (table, operation): Double Star's phase-space density
    // of its 3D products and of its r-pad.
    using List = std::vector<std::pair<int, long>>;
    const struct {
        const char *instrument;
        List tables;
    } whole[] = {{"3DR", {{2, 154}, {3, 4}, {4, 4}, {6, 3}, {5, 4}, {1, 4}, {5, 4}, {1, 4}}},
                 {"RPAD", {{0, 0}, {1, 3}, {6, 3}, {5, 4}, {1, 4}, {5, 4}, {1, 4}}}};
    for (const auto &w : whole) {
        ASSERT_EQ(1, list("DOUBLESTAR", w.instrument, PSD_UNITS_S3_PER_KM6)) << w.instrument;
        List got;
        for (int k = 0; k < n; ++k)
            got.emplace_back(tbls[k], ops[k]);
        EXPECT_EQ(w.tables, got) << w.instrument;
    }
}

}  // namespace
