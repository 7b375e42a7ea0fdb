// The per-open blocks made on the first record after an open: the steps they
// call are stood in for through the seams.
#include "reader_fixture.h"
#include "support.h"

#include <string>
#include <vector>

namespace {

// What the stand-ins answer and what they were asked.
KOMBRA_SHORT g_header_status = 1;
int g_keld_status = 1;
std::vector<KOMBRA_LONG> g_offsets;
struct KeldCall {
    KOMBRA_ULONG key = 0;
    KOMBRA_SHORT byr = 0, eday = 0;
    KOMBRA_LONG bsec = 0, ensec = 0;
    int what = 0;
    KOMBRA_SHORT num = 0;
    KOMBRA_LONG start = 0;
    KOMBRA_SHORT len = 0;
    int calls = 0;
} g_keld;

KOMBRA_SHORT table_ok(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, KOMBRA_SHORT,
                      KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG)
{
    return 1;
}

KOMBRA_SHORT table_fails(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, KOMBRA_SHORT,
                         KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG)
{
    return -21;
}

KOMBRA_SHORT read_header(nur_data *) { return g_header_status; }

int read_keld(KOMBRA_ULONG key, KOMBRA_SHORT byr, KOMBRA_SHORT, KOMBRA_LONG bsec, KOMBRA_LONG,
              KOMBRA_SHORT, KOMBRA_SHORT eday, KOMBRA_LONG, KOMBRA_LONG ensec, void *var, int what,
              KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len)
{
    g_keld = {key, byr, eday, bsec, ensec, what, num, start, len, g_keld.calls + 1};
    auto *out = static_cast<KOMBRA_LONG *>(var);
    for (size_t i = 0; i < g_offsets.size(); ++i)
        out[i] = g_offsets[i];
    return g_keld_status;
}

class SetupTest : public ReaderTest {
protected:
    void SetUp() override
    {
        ReaderTest::SetUp();
        g_header_status = 1;
        g_keld_status = 1;
        g_offsets = {5, 5, 5};
        g_keld = {};
        ir_seams.sensor_combo = table_ok;
        ir_seams.get_mode_info = table_ok;
        ir_seams.read_header = read_header;
        ir_seams.read_keld = read_keld;
        ex = &Add(0x1234, "AB", 0);
        ex->num_sensor = 3;
        ex->swp_len = 16;
        ex->max_packing = 2;
    }

    KOMBRA_SHORT Run()
    {
        return ir_alloc_exp_once(2004, 60, 100, 7, 2004, 61, 200, 9, nullptr);
    }

    experiment_info *ex = nullptr;
};

TEST_F(SetupTest, NothingToDoOnceAHeaderWasRead)
{
    ex->info_ptr->h_size = 40;
    ir_seams = ir_default_seams;
    EXPECT_STATUS(1, Run());
    EXPECT_EQ(nullptr, ex->time_off);
}

TEST_F(SetupTest, MissingStepsReportNotAvailable)
{
    ir_seams = ir_default_seams;
    EXPECT_STATUS(-900, Run());
}

TEST_F(SetupTest, TableFailurePassesUp)
{
    ir_seams.get_mode_info = table_fails;
    EXPECT_STATUS(-21, Run());
}

struct MapCase {
    const char *name;
    friend void PrintTo(const MapCase &c, std::ostream *os) { *os << c.name; }
    int from;
    int expected;
};

class HeaderMapTest : public SetupTest, public ::testing::WithParamInterface<MapCase> {};

TEST_P(HeaderMapTest, HeaderStatusIsMapped)
{
    g_header_status = static_cast<KOMBRA_SHORT>(GetParam().from);
    EXPECT_STATUS(GetParam().expected, Run());
    EXPECT_EQ(0, g_keld.calls);
}

INSTANTIATE_TEST_SUITE_P(Statuses, HeaderMapTest,
                         ::testing::Values(MapCase{"ReadError", -42, -14},
                                           MapCase{"NoMemory", -43, -15},
                                           MapCase{"NoGrowth", -44, -16},
                                           MapCase{"EndMark", 9, 9},
                                           MapCase{"NothingNewYet", 0, 0},
                                           MapCase{"Other", -18, -18}),
                         [](const auto &info) { return std::string(info.param.name); });

class OffsetMapTest : public SetupTest, public ::testing::WithParamInterface<MapCase> {};

TEST_P(OffsetMapTest, DescriptionStatusIsMapped)
{
    g_keld_status = GetParam().from;
    EXPECT_STATUS(GetParam().expected, Run());
}

INSTANTIATE_TEST_SUITE_P(Statuses, OffsetMapTest,
                         ::testing::Values(MapCase{"ItemAbsent", -811, -102},
                                           MapCase{"TooLong", -805, -103},
                                           MapCase{"TableNumber", -807, -104},
                                           MapCase{"ConstantNumber", -808, -105},
                                           MapCase{"EmptyItem", -806, -106},
                                           MapCase{"Other", -1, -1},
                                           MapCase{"BeyondSixteenBits", -100000, -32768}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(SetupTest, EqualOffsetsGiveOneTimingRecord)
{
    EXPECT_STATUS(1, Run());
    EXPECT_EQ(1, g_keld.calls);
    EXPECT_EQ(0x1234u, g_keld.key);
    EXPECT_EQ(2004, g_keld.byr);
    EXPECT_EQ(100, g_keld.bsec);
    EXPECT_EQ(61, g_keld.eday);
    EXPECT_EQ(9, g_keld.ensec);
    EXPECT_EQ(48, g_keld.what);
    EXPECT_EQ(0, g_keld.start);
    EXPECT_EQ(-1, g_keld.len);
    EXPECT_EQ(0, ex->all_or_one);
    ASSERT_NE(nullptr, ex->timing_ptr);
    EXPECT_EQ(-1, ex->timing_ptr[0].pix_num);
    EXPECT_EQ(1, ex->swp_times.get_times);
    // Sixteen steps (swp_len), four arrays end to end.
    EXPECT_EQ(ex->swp_times.btime_ms + 16, ex->swp_times.btime_ns);
    EXPECT_EQ(ex->swp_times.btime_ms + 48, ex->swp_times.etime_ns);
    ex->swp_times.etime_ns[15] = 1;
}

TEST_F(SetupTest, DifferingOffsetsGiveATimingRecordPerSensor)
{
    g_offsets = {5, 6, 5};
    ex->smp_id = 2;  // steps per header: max_packing
    ex->swp_times.pa_times = 1;
    EXPECT_STATUS(1, Run());
    EXPECT_EQ(1, ex->all_or_one);
    EXPECT_EQ(6, ex->time_off[1]);
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(-1, ex->timing_ptr[s].pix_num);
    EXPECT_EQ(ex->swp_times.btime_ms + 2, ex->swp_times.btime_ns);
    EXPECT_EQ(1, ex->swp_times.pa_times);
    // A second open's set-up replaces the blocks.
    EXPECT_STATUS(1, Run());
}

TEST_F(SetupTest, NoSensorsGiveNoTimeOffsets)
{
    ex->num_sensor = 0;
    EXPECT_STATUS(-20, Run());
}

TEST_F(SetupTest, PixelTimingEndCarriesIntoTheNextYear)
{
    ex->all_or_one = 0;
    ex->time_values = {2003, 365, 86399, 999999999, 7, 0, 1, 0.0f};
    EXPECT_STATUS(1, ir_alloc_timing());
    const timing &t = ex->timing_ptr[0];
    EXPECT_EQ(7, t.pix_num);
    EXPECT_EQ(2003, t.start_yr);
    EXPECT_EQ(86399, t.start_sec);
    EXPECT_EQ(2004, t.end_yr);
    EXPECT_EQ(1, t.end_day);
    EXPECT_EQ(0, t.end_sec);
    EXPECT_EQ(0, t.end_nano);
}

}  // namespace
