// Data sets read through the catalog: opened, positioned and read sensor by
// sensor to the end of their files and on across them, the way the sweep
// model moves from file to file, with a change of description on the way;
// and files too short to search.
#include "archive_fixture.h"

#include <ostream>

namespace {

using namespace archive_test;

// What one read_drec delivered into the caller's record.
struct Got {
    int status = 0;
    int sensor = 0;
    long long bmilli = 0, emilli = 0;
    std::vector<long long> steps, samples, calibration;
    long long quality = 0, mode = 0;
    float theta = 0;
    bool operator==(const Got &) const = default;
    friend void PrintTo(const Got &g, std::ostream *os)
    {
        *os << "status " << g.status << " sensor " << g.sensor << " " << g.bmilli << "-" << g.emilli << " samples";
        for (long long v : g.samples)
            *os << " " << v;
        *os << " cal";
        for (long long v : g.calibration)
            *os << " " << v;
        *os << " steps";
        for (long long v : g.steps)
            *os << " " << v;
        *os << " quality " << g.quality << " mode " << g.mode << " theta " << g.theta;
    }
};

Got Snapshot(int status, const nur_data &d)
{
    Got g;
    g.status = status;
    g.sensor = d.sensor;
    g.bmilli = d.bmilli;
    g.emilli = d.emilli;
    g.steps.assign(d.swp_data, d.swp_data + d.num_swp_steps);
    g.samples.assign(d.sen_data, d.sen_data + d.num_sample);
    g.calibration.assign(d.cal_data, d.cal_data + d.cal_len);
    g.quality = d.d_qual;
    g.mode = d.mode_len > 0 ? d.mode[0] : -1;
    g.theta = d.start_theta;
    return g;
}

// What sensor of record k of a file should deliver.
Got Expected(int status, int file, int start, int record, int sensor, float theta)
{
    const long long time = start + 1000LL * record;
    const int h = HeaderOf(record);
    Got g;
    g.status = status;
    g.sensor = sensor;
    g.bmilli = SweepBegin(time, sensor);
    g.emilli = SweepEnd(time, sensor);
    for (int s = 0; s < kSteps; ++s) {
        g.steps.push_back(h == 0 ? s : kSteps - 1 - s);
        g.samples.push_back(Sample(file, record, sensor, s));
    }
    g.calibration = {Calibration(file, record, sensor, 0), Calibration(file, record, sensor, 1)};
    g.quality = (sensor == 0 ? 10 : 20) + h;
    g.mode = h;
    g.theta = theta + sensor;
    return g;
}

class DataSetTest : public ArchiveTest {
protected:
    // Three files of four records: two a minute apart, the third after a
    // gap of three minutes.
    static constexpr int kStarts[] = {14 * kHour, 14 * kHour + 60000, 14 * kHour + 300000};
    void ThreeFiles()
    {
        for (int f = 0; f < 3; ++f)
            AddFiles(kStarts[f], Files(f, kStarts[f], 4));
    }
};

// The sweep model's loop: every sensor of a record, moving on after the last;
// at a file's end mark the next file's start, a reopen there and a new
// positioning, until the catalog has nothing more.  The description changes
// on the first read of a record past its end.
TEST_F(DataSetTest, ReadsEverySensorToTheEndAcrossFilesAndDescriptions)
{
    ThreeFiles();
    const int change = 14 * kHour + 62500;  // between records 2 and 3 of the second file
    AddDescription({2003, 1, 0}, {2003, 32, change}, 20);
    AddDescription({2003, 32, change}, {2004, 1, 0}, 30);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
    KOMBRA_SHORT year = 0, day = 0;
    KOMBRA_LONG sec = 0, nsec = 0;
    EXPECT_STATUS(NURV_NOT_POSITIONED, next_file_start_time(kKey, "", vnum, 0, &year, &day, &sec, &nsec));
    ASSERT_STATUS(1, Position(32, 14 * 3600, 0));

    std::vector<Got> got;
    std::vector<long long> next_starts;
    for (int files = 0; files < 5; ++files) {
        KOMBRA_SHORT status = 1;
        while (status == 1 && got.size() < 100) {
            for (int s = 0; s < kSensors; ++s) {
                status = Read(s, s == kSensors - 1);
                got.push_back(Snapshot(status, *rec));
            }
        }
        ASSERT_STATUS(12, status);
        ASSERT_STATUS(1, next_file_start_time(kKey, "", vnum, 0, &year, &day, &sec, &nsec));
        ASSERT_EQ(2003, year);
        ASSERT_EQ(32, day);
        next_starts.push_back(sec * 1000LL + nsec / 1000000);
        status = reset_experiment_info(kKey, "", vnum, 2003, day, sec, nsec, 2003, 32, 86399, 0);
        if (status == 1200)
            break;
        ASSERT_STATUS(1, status);
        ASSERT_STATUS(1, Position(day, sec, nsec));
    }

    std::vector<Got> expected;
    std::vector<long long> expected_starts;
    bool described_anew = false;
    for (int f = 0; f < 3; ++f) {
        for (int k = 0; k < 4; ++k)
            for (int s = 0; s < kSensors; ++s) {
                expected.push_back(Expected(k == 3 && s == 1 ? 12 : 1, f, kStarts[f], k, s, described_anew ? 30 : 20));
                described_anew = described_anew || SweepBegin(kStarts[f] + 1000 * k, s) > change;
            }
        expected_starts.push_back(SweepEnd(kStarts[f] + 3000, kSensors - 1) + 1);
    }
    EXPECT_EQ(expected, got);
    EXPECT_EQ(expected_starts, next_starts);
}

// Step times taken for the ancillary sources are worked out anew for each
// record, also after an advance on a sensor the record does not hold.
TEST_F(DataSetTest, StepTimesFollowEveryAdvanceFoundOrNot)
{
    NurvFiles files = Files(0, kStarts[0], 3);
    for (NurvHeader &h : files.headers) {
        h.sensorIndex = {0};
        h.dqual.resize(1);
    }
    for (size_t k = 0; k < 3; ++k) {
        files.records[k].hdrOff = {files.HeaderOffset(static_cast<size_t>(HeaderOf(static_cast<int>(k))))};
        files.records[k].sets[0].samples.resize(kSteps);
        files.records[k].sets[0].calSensor.resize(2);
    }
    AddFiles(kStarts[0], files);
    AddDescription({2003, 1, 0}, {2004, 1, 0}, 20);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
    ginfo.expt->swp_times.pa_times = 1;  // as a pitch-angle source taken by time sets it
    ASSERT_STATUS(1, Position(32, 14 * 3600, 0));
    for (int k = 0; k < 3; ++k) {
        ASSERT_STATUS(1, Read(0, false));
        EXPECT_EQ(kStarts[0] + 1000 * k, ginfo.expt->swp_times.btime_ms[0]) << "record " << k;
        EXPECT_EQ(kStarts[0] + 1000 * k + 3 * kStepMs, ginfo.expt->swp_times.btime_ms[3]) << "record " << k;
        ASSERT_STATUS(k == 2 ? 12 : 2, Read(1, true));
    }
}

// Under the sensor modes that read a record sensor after sensor (0, 1, 4
// and 5) only the column at the record's cursor reads: a sensor asked out of
// turn is not in the record yet.
TEST_F(DataSetTest, SensorModesByCursorReadOnlyTheCursorsColumn)
{
    AddFiles(kStarts[0], Files(0, kStarts[0], 2));
    KeldText text = Description(20);
    text.Char("sen_mode", 4);
    AddDescription({2003, 1, 0}, {2004, 1, 0}, text);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
    ASSERT_STATUS(1, Position(32, 14 * 3600, 0));
    rec->filled_data = 0;
    EXPECT_STATUS(2, Read(1, false));
    EXPECT_EQ(0, rec->filled_data);
    EXPECT_STATUS(1, Read(0, false));
    EXPECT_EQ(Sample(0, 0, 0, 0), rec->sen_data[0]);
}

// A data set opened with a mode instance: the instance has a version of its
// own, is positioned with its owner and reopened with it under that version.
TEST_F(DataSetTest, ModeInstanceFollowsItsOwner)
{
    ThreeFiles();
    AddDescription({2003, 1, 0}, {2004, 1, 0}, 20);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, file_open(kKey, "", vnum, 2003, 32, 14 * 3600, 0, 2003, 32, 86399, 0, 1));
    const int header_fd = ginfo.expt->fdh;
    const KOMBRA_USHORT mode = ginfo.expt->mode_version;
    EXPECT_NE(vnum, mode);
    // Opening again only takes the new range.
    ASSERT_STATUS(1, file_open(kKey, "", vnum, 2003, 32, 14 * 3600 + 2, 0, 2003, 32, 86399, 0, 1));
    EXPECT_EQ(header_fd, ginfo.expt->fdh);
    EXPECT_EQ(14 * 3600 + 2, ginfo.expt->btime_sec);

    auto instance = [&]() -> experiment_info & {
        EXPECT_EQ(1, ir_locate_ex(kKey, "", mode, 0));
        return *ginfo.expt;
    };
    ASSERT_STATUS(1, Position(32, 14 * 3600 + 2, 0));
    EXPECT_EQ(2, instance().mode_done);
    EXPECT_EQ(1, instance().fnext);

    ASSERT_STATUS(1, reset_experiment_info(kKey, "", vnum, 2003, 32, 14 * 3600 + 60, 0, 2003, 32, 86399, 0));
    EXPECT_EQ(0, instance().fnext);
    EXPECT_NE(-1, instance().fdh);
    ASSERT_EQ(1, ir_locate_ex(kKey, "", vnum, 0));
    EXPECT_EQ(mode, ginfo.expt->mode_version);
    ASSERT_STATUS(1, Position(32, 14 * 3600 + 60, 0));
    EXPECT_EQ(1, instance().fnext);
    ASSERT_STATUS(1, Read(0, false));
    EXPECT_EQ(kStarts[1], rec->bmilli);
}

struct PositionCase {
    const char *name;
    int msec;    // begin on day 32
    int status;  // of file_pos, or 1200 of file_open
    int file, record;
    friend void PrintTo(const PositionCase &c, std::ostream *os) { *os << c.name; }
};

class Positioning : public DataSetTest, public ::testing::WithParamInterface<PositionCase> {};

// file_pos stops at the record whose sweep holds the begin or at the first
// record after it, fills the caller's record from it and stays there until
// the next reopen.
TEST_P(Positioning, StopsAtTheRecordHoldingOrFollowingTheBegin)
{
    const PositionCase &c = GetParam();
    ThreeFiles();
    AddDescription({2003, 1, 0}, {2004, 1, 0}, 20);
    WriteCatalog();
    NewReader();
    const KOMBRA_LONG sec = c.msec / 1000, nsec = (c.msec % 1000) * 1000000LL;
    const KOMBRA_SHORT opened = Open(32, sec, nsec);
    if (c.status == 1200) {
        EXPECT_STATUS(1200, opened);
        EXPECT_EQ(-1, ginfo.expt->fdh);  // the entry exists without files
        return;
    }
    ASSERT_STATUS(1, opened);
    ASSERT_STATUS(c.status, Position(32, sec, nsec));
    if (c.status != 1)
        return;
    const Got expected = Expected(1, c.file, kStarts[c.file], c.record, 0, 20);
    EXPECT_EQ(expected, Snapshot(1, *rec));
    // Positioned: a second file_pos does not move.
    EXPECT_STATUS(1, Position(32, 14 * 3600, 0));
    EXPECT_EQ(expected, Snapshot(Read(0, false), *rec));
}

INSTANTIATE_TEST_SUITE_P(
    Begins, Positioning,
    ::testing::Values(PositionCase{"BeforeTheFirstRecord", 14 * kHour - 10000, 1, 0, 0},
                      PositionCase{"AtARecordsStamp", 14 * kHour + 2000, 1, 0, 2},
                      PositionCase{"InsideASweep", 14 * kHour + 2020, 1, 0, 2},
                      PositionCase{"BetweenRecords", 14 * kHour + 2500, 1, 0, 3},
                      PositionCase{"BetweenFiles", 14 * kHour + 180000, 1, 2, 0},
                      PositionCase{"InsideTheLastSweep", 14 * kHour + 303030, 1, 2, 3},
                      PositionCase{"AfterTheLastSweep", 14 * kHour + 303100, NURV_POS_END_MARK2, 0, 0},
                      PositionCase{"AfterEveryFile", 15 * kHour, 1200, 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct ShortFileCase {
    const char *name;
    int records;  // data records before the end record
    int endMark;  // its offset; 0: no end record
    int status;
    friend void PrintTo(const ShortFileCase &c, std::ostream *os) { *os << c.name; }
};

class ShortFiles : public DataSetTest, public ::testing::WithParamInterface<ShortFileCase> {};

// A data file too short for the search: nothing to position at, only an end
// mark, or one record that is its own candidate.
TEST_P(ShortFiles, PositionOrSayWhyNot)
{
    const ShortFileCase &c = GetParam();
    constexpr int start = 14 * kHour;
    AddFiles(start, Files(0, start, c.records, c.endMark));
    AddDescription({2003, 1, 0}, {2004, 1, 0}, 20);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 14 * 3600 - 60, 0));
    EXPECT_STATUS(c.status, Position(32, 14 * 3600 - 60, 0));
    if (c.status == 1) {
        EXPECT_EQ(Expected(1, 0, start, 0, 0, 20), Snapshot(Read(0, false), *rec));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ShortFiles,
                         ::testing::Values(ShortFileCase{"Empty", 0, 0, NURV_POS_READ},
                                           ShortFileCase{"EndMarkOne", 0, -1, NURV_POS_END_MARK},
                                           ShortFileCase{"EndMarkTwo", 0, -2, NURV_POS_END_MARK2},
                                           ShortFileCase{"OneRecord", 1, 0, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// The next file starts 1 ms after the last sweep read: past the day's last
// millisecond that is the next day's first second.
TEST_F(DataSetTest, NextFileStartsOnTheNextDayAfterMidnight)
{
    constexpr int start = 86399999 - kSensorOffsetMs - kSteps * kStepMs;
    AddFiles(start, Files(0, start, 1, 0));
    AddDescription({2003, 1, 0}, {2004, 1, 0}, 20);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 86399, 0, 33, 3600));
    ASSERT_STATUS(1, Position(32, 86399, 0, 33, 3600));
    ASSERT_STATUS(1, Read(0, false));
    ASSERT_STATUS(1, Read(1, false));
    EXPECT_EQ(86399999, rec->emilli);
    KOMBRA_SHORT year = 0, day = 0;
    KOMBRA_LONG sec = -1, nsec = -1;
    ASSERT_STATUS(1, next_file_start_time(kKey, "", vnum, 0, &year, &day, &sec, &nsec));
    EXPECT_EQ(2003, year);
    EXPECT_EQ(33, day);
    EXPECT_EQ(0, sec);
    EXPECT_EQ(0, nsec);
}

}  // namespace
