// A configured archive for the reader's open, position and read steps: the
// standard configuration and an SQLite catalog whose CP3DRH entries are the
// file pairs and descriptions a test writes, in the folders the catalog names
// (playback files under data/, real-time files under realtime/).
//
// The data sets have two sensors of four 16-bit steps sampled at once
// (sen_mode 2), one calibration set of two values per sensor, and two
// headers per file.  Every value written follows from the file, record,
// sensor column and step, so a test can tell where each value it reads came
// from.
#pragma once

#include "config_fixture.h"
#include "config_reset.h"
#include "libKELD.h"
#include "libdbSQL.h"
#include "nurv_fixture.h"
#include "reader_fixture.h"
#include "sqlite_catalog_fixture.h"
#include "support.h"

#include <filesystem>
#include <string>
#include <vector>

namespace archive_test {

using namespace kombra_fixtures;

constexpr KOMBRA_ULONG kKey = 8921217;  // CLUSTERII/C1/HALDE/3DR/CP3DRH
constexpr int kHour = 3600000;
constexpr int kSteps = 4;
constexpr int kSensors = 2;
constexpr int kStepMs = 10;  // one sample: 10 ms of accumulation
constexpr int kSensorOffsetMs = 125;  // the description's time offset per sensor number

// Raw values of the data sets.
inline long long Sample(int file, int record, int column, int step)
{
    return file * 1000 + record * 100 + column * 10 + step;
}
inline long long Calibration(int file, int record, int column, int value)
{
    return 5000 + file * 100 + record * 10 + column * 2 + value;
}

// Begin and end (ms of day) of a sensor's sweep in a record stamped time.
inline long long SweepBegin(long long time, int sensor)
{
    return time + kSensorOffsetMs * sensor;
}
inline long long SweepEnd(long long time, int sensor)
{
    return SweepBegin(time, sensor) + kSteps * kStepMs;
}

inline NurvLayout Layout()
{
    NurvLayout layout{.sensors = kSensors, .levels = kSteps, .smpId = 0, .senMode = 2, .calSets = {{.use = 2}}};
    const NurvRecord full{.hdrOff = {0},
                          .sets = {{.samples = std::vector<std::int64_t>(kSensors * kSteps, 0),
                                    .calSensor = std::vector<std::int64_t>(kSensors * 2, 0)}}};
    layout.dataLen = NurvDataLenFor(layout, {full});
    return layout;
}

// Header h of every file: h 0 steps up, h 1 steps down; quality and mode
// tell the two apart.
inline NurvHeader Header(int h)
{
    return {.timeUnits = -3,
            .dataAccum = kStepMs,
            .sampIndex = h == 0 ? std::vector<std::int16_t>{0, 1, 2, 3} : std::vector<std::int16_t>{3, 2, 1, 0},
            .sensorIndex = {0, 1},
            .dqual = {static_cast<std::uint8_t>(10 + h), static_cast<std::uint8_t>(20 + h)},
            .modes = {static_cast<std::uint8_t>(h)}};
}
// The header of record k: the first two records use header 0.
inline int HeaderOf(int record)
{
    return record < 2 ? 0 : 1;
}

// File number file: records stamped start, start + 1 s, ..., each with its
// header, then (unless endMark is 0) an end record whose offset is endMark.
inline NurvFiles Files(int file, int start, int records, int endMark = -2)
{
    NurvFiles f;
    f.layout = Layout();
    f.headers = {Header(0), Header(1)};
    for (int k = 0; k < records; ++k) {
        NurvSensorSet set;
        for (int c = 0; c < kSensors; ++c)
            for (int s = 0; s < kSteps; ++s)
                set.samples.push_back(Sample(file, k, c, s));
        for (int c = 0; c < kSensors; ++c)
            for (int j = 0; j < 2; ++j)
                set.calSensor.push_back(Calibration(file, k, c, j));
        f.records.push_back({.time = start + 1000 * k, .hdrOff = {f.HeaderOffset(HeaderOf(k))}, .sets = {set}});
    }
    if (endMark != 0)
        f.records.push_back({.time = start + 1000 * records, .hdrOff = {endMark}});
    return f;
}

// The description of begin to end: no ancillary source, one table, the
// polar angles of the sensors (constant row 2, id 4) theta and theta + 1.
inline KeldText Description(int theta, CatalogTime begin = {2003, 1, 0}, CatalogTime end = {2004, 1, 0})
{
    HaldeKeldOptions o;
    o.beginYear = begin.yr;
    o.beginDay = begin.day;
    o.beginMsec = begin.msec;
    o.endYear = end.yr;
    o.endDay = end.day;
    o.endMsec = end.msec;
    o.tables = 1;
    o.constants = 1;
    o.pitchAngle = o.pmi = o.potentialSource = o.startOfSpin = o.tensor = false;
    KeldText text = NurvDescription(Layout(), o);
    text.Char("Constant0.id", 4).Ints("Constant0.values", {theta, theta + 1}).Chars("Constant0.scale", {0, 0});
    return text;
}

class ArchiveTest : public ReaderTest {
protected:
    void SetUp() override
    {
        ReaderTest::SetUp();
        std::filesystem::create_directories(root.path() / "config");
        WriteStandardConfig(root.file("config"), root.str());
        cfg_test::ResetConfiguration();
        CfgInit();
        catalog = MakeStandardCatalog();
        std::erase_if(catalog.hdEntries, [](const auto &e) { return e.key == kKey; });
        std::erase_if(catalog.descriptionEntries, [](const auto &e) { return e.key == kKey; });
    }
    void TearDown() override
    {
        ReaderTest::TearDown();
        CloseKELD();
        dbClose();
        cfg_test::ResetConfiguration();
    }

    std::string PlaybackDir() const { return root.str() + "/data/CLUSTERII/C1/HALDE/3DR"; }
    std::string RealTimeDir() const { return root.str() + "/realtime/CLUSTERII/C1/HALDE/3DR"; }

    // Writes files beginning at msec of 2003 day 32 and catalogues them up
    // to the end of the last sweep of their last record.
    void AddFiles(int msec, const NurvFiles &files)
    {
        WriteNurvPair(PlaybackDir(), "CP3DRH", 2003, 32, msec, files);
        int last = msec;
        for (const NurvRecord &r : files.records)
            if (!r.hdrOff.empty() && r.hdrOff[0] >= 0)
                last = r.time;
        catalog.hdEntries.push_back(
            {kKey, {2003, 32, msec}, {2003, 32, static_cast<int>(SweepEnd(last, kSensors - 1))}, 4096, "A1"});
    }
    // Catalogues a description for begin to end (the fixture's own, or
    // text) in the file the catalog names.
    void AddDescription(CatalogTime begin, CatalogTime end, int theta)
    {
        AddDescription(begin, end, Description(theta, begin, end));
    }
    void AddDescription(CatalogTime begin, CatalogTime end, const KeldText &text)
    {
        std::filesystem::create_directories(PlaybackDir());
        const std::string name = NurvFileName("CP3DRH", begin.yr, begin.day, begin.msec, 'V');
        text.Write(PlaybackDir() + "/" + name + ".v3");
        catalog.descriptionEntries.push_back({kKey, begin, end, 512, "K1"});
    }
    // Writes the catalog and opens it.
    void WriteCatalog()
    {
        dbClose();
        kombra_fixtures::WriteCatalog(root.str(), catalog);
        ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    }

    // A new version of the data set and a caller record.
    void NewReader()
    {
        get_version_number(&vnum);
        ASSERT_EQ(1, create_nur_data_structure(&rec));
    }

    KOMBRA_SHORT Open(int day, KOMBRA_LONG sec, KOMBRA_LONG nsec, int end_day = 32, KOMBRA_LONG end_sec = 86399)
    {
        return file_open(kKey, "", vnum, 2003, day, sec, nsec, 2003, end_day, end_sec, 0, 0);
    }
    KOMBRA_SHORT Position(int day, KOMBRA_LONG sec, KOMBRA_LONG nsec, int end_day = 32,
                          KOMBRA_LONG end_sec = 86399)
    {
        return file_pos(kKey, "", vnum, rec, 2003, day, sec, nsec, 2003, end_day, end_sec, 0);
    }
    KOMBRA_SHORT Read(int sensor, bool fwd)
    {
        return read_drec(kKey, "", vnum, rec, static_cast<KOMBRA_SHORT>(sensor), fwd ? 1 : 0, 1);
    }

    kombra_test::TempDir root;
    kombra_test::ScopedEnv configEnv{"KOMBRA_CONFIG", root.file("config")};
    kombra_test::ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
    kombra_test::ScopedEnv dataEnv{"KOMBRA_DATA", root.str()};
    kombra_test::ScopedEnv typeEnv{"KOMBRA_DB_TYPE", "SQLite"};
    StandardCatalog catalog;
    KOMBRA_USHORT vnum = 0;
    nur_data *rec = nullptr;
};

}  // namespace archive_test
