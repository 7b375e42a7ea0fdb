// Real-time data sets: the open waits for fresh files, positioning takes the
// start or the last complete record, and reading follows a file that a
// writer is still appending to.
#include "archive_fixture.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace archive_test;
using namespace std::chrono_literals;

using Bytes = std::vector<unsigned char>;

class RealTimeTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        ArchiveTest::SetUp();
        AddDescription({2003, 1, 0}, {2004, 1, 0}, 20);
        WriteCatalog();
        NewReader();
        std::filesystem::create_directories(RealTimeDir());
        ir_set_realtime_wait(12000, 5000);  // 5 ms apart, at most a minute: a guard against a hang
        files = Files(0, 14 * kHour, 3, 0);
        header = files.HeaderBytes();
        data = files.DataBytes();
    }
    void TearDown() override
    {
        ir_set_realtime_wait(100, 500000);
        ArchiveTest::TearDown();
    }

    std::string HeaderFile() const { return RealTimeDir() + "/CP3DRHH"; }
    std::string DataFile() const { return RealTimeDir() + "/CP3DRHD"; }

    // Bytes from .. to of all as a new file (a new inode, as a writer that
    // replaces the file makes).
    static void Replace(const std::string &path, const Bytes &all, size_t from, size_t to)
    {
        const std::string temporary = path + ".new";
        kombra_test::WriteBytes(temporary, Bytes(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to)));
        std::filesystem::rename(temporary, path);
    }
    static void Append(const std::string &path, const Bytes &all, size_t from, size_t to)
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char *>(all.data() + from), static_cast<std::streamsize>(to - from));
    }
    size_t Record(double n) const { return static_cast<size_t>(n * files.layout.dataLen); }
    size_t HeaderAt(int h) const { return static_cast<size_t>(files.HeaderOffset(static_cast<size_t>(h))); }

    KOMBRA_SHORT OpenRealTime(KOMBRA_LONG sec) { return Open(32, sec, 0, 32, sec); }
    KOMBRA_SHORT PositionRealTime(KOMBRA_LONG sec) { return Position(32, sec, 0, 32, sec); }

    // Reads sensor of the current record, retrying while it is not
    // complete; gives up after a minute (a guard against a hang).
    KOMBRA_SHORT ReadWhenComplete(int sensor, bool fwd)
    {
        KOMBRA_SHORT status = 3;
        for (int i = 0; i < 6000 && status == 3; ++i) {
            status = Read(sensor, fwd);
            if (status == 3)
                std::this_thread::sleep_for(10ms);
        }
        return status;
    }

    void ExpectRecord(int record, int sensor)
    {
        EXPECT_EQ(SweepBegin(14 * kHour + 1000 * record, sensor), rec->bmilli);
        ASSERT_EQ(kSteps, rec->num_sample);
        for (int s = 0; s < kSteps; ++s)
            EXPECT_EQ(Sample(0, record, sensor, s), rec->sen_data[s]) << "record " << record << " step " << s;
        EXPECT_EQ((sensor == 0 ? 10 : 20) + HeaderOf(record), rec->d_qual);
    }

    NurvFiles files;
    Bytes header, data;
};

// The open waits until the writer has made both files; reading then follows
// the data file as it grows: 6 when the sensor's values were delivered but
// the next record is not complete, 3 while it stays incomplete, its values
// once the writer has finished it and the header it names.
TEST_F(RealTimeTest, OpenWaitsForTheFilesAndReadingFollowsTheWriter)
{
    std::thread writer([&] {
        std::this_thread::sleep_for(100ms);
        Replace(HeaderFile(), header, 0, HeaderAt(1));
        Replace(DataFile(), data, 0, Record(1.5));
    });
    const KOMBRA_SHORT opened = OpenRealTime(-1);
    writer.join();
    ASSERT_STATUS(1, opened);
    ASSERT_STATUS(1, PositionRealTime(-1));

    ASSERT_STATUS(1, Read(0, false));
    ExpectRecord(0, 0);
    ASSERT_STATUS(6, Read(1, true));
    ExpectRecord(0, 1);
    EXPECT_STATUS(3, Read(0, false));

    writer = std::thread([&] {
        std::this_thread::sleep_for(50ms);
        Append(DataFile(), data, Record(1.5), Record(2));
    });
    const KOMBRA_SHORT completed = ReadWhenComplete(0, false);
    writer.join();
    ASSERT_STATUS(1, completed);
    ExpectRecord(1, 0);

    // Record 2 is complete before the header it names.
    Append(DataFile(), data, Record(2), Record(3));
    ASSERT_STATUS(6, Read(1, true));
    ExpectRecord(1, 1);
    EXPECT_STATUS(3, Read(0, false));
    Append(HeaderFile(), header, HeaderAt(1), header.size());
    ASSERT_STATUS(1, Read(0, false));
    ExpectRecord(2, 0);
}

// -2 starts at the last complete record, -1 at the first; a data file with
// no complete record yet leaves the data set unpositioned until one is.
TEST_F(RealTimeTest, PositionAtTheStartOrTheLastCompleteRecord)
{
    Replace(HeaderFile(), header, 0, header.size());
    Replace(DataFile(), data, 0, Record(2.5));
    ASSERT_STATUS(1, OpenRealTime(-2));
    ASSERT_STATUS(1, PositionRealTime(-2));
    ASSERT_STATUS(1, Read(0, false));
    ExpectRecord(1, 0);

    Replace(HeaderFile(), header, 0, header.size());
    Replace(DataFile(), data, 0, 0);
    ASSERT_STATUS(1, reset_experiment_info(kKey, "", vnum, 2003, 32, -1, 0, 2003, 32, -1, 0));
    EXPECT_STATUS(0, PositionRealTime(-1));
    EXPECT_NE(0, ginfo.expt->drec_eof);
    Append(DataFile(), data, 0, Record(1));
    ASSERT_STATUS(1, PositionRealTime(-1));
    ASSERT_STATUS(1, Read(0, false));
    ExpectRecord(0, 0);
}

// A reopen takes only files the writer has replaced since the last open
// (another inode), and gives up after its tries.
TEST_F(RealTimeTest, ReopenWaitsForReplacedFiles)
{
    Replace(HeaderFile(), header, 0, header.size());
    Replace(DataFile(), data, 0, Record(3));
    ASSERT_STATUS(1, OpenRealTime(-1));
    ir_set_realtime_wait(3, 1000);
    auto reopen = [&] { return reset_experiment_info(kKey, "", vnum, 2003, 32, -1, 0, 2003, 32, -1, 0); };
    EXPECT_STATUS(NURV_NO_NEW_HEADER_FILE, reopen());
    Replace(HeaderFile(), header, 0, header.size());
    EXPECT_STATUS(NURV_NO_NEW_DATA_FILE, reopen());
    Replace(HeaderFile(), header, 0, header.size());
    Replace(DataFile(), data, Record(1), Record(3));
    ASSERT_STATUS(1, reopen());
    ASSERT_STATUS(1, PositionRealTime(-1));
    ASSERT_STATUS(1, Read(0, false));
    ExpectRecord(1, 0);
}

}  // namespace
