// The per-open blocks made on the first record after an open; the steps they
// call are stood in for through the seams.
#include "libKELD.h"
#include "reader_fixture.h"
#include "support.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

KOMBRA_SHORT g_header_status = 1;
int g_keld_status = 1;
std::vector<KOMBRA_LONG> g_offsets;
int g_item = 0, g_len = 0;

KOMBRA_SHORT table_ok(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, KOMBRA_SHORT,
                      KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG)
{
    return 1;
}

KOMBRA_SHORT read_header(nur_data *) { return g_header_status; }

int read_keld(KOMBRA_ULONG, KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, KOMBRA_SHORT,
              KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, void *var, size_t var_size, int what, KOMBRA_SHORT,
              KOMBRA_LONG, KOMBRA_SHORT len)
{
    g_item = what;
    g_len = len;
    if (g_offsets.size() * sizeof(KOMBRA_LONG) > var_size)
        return -814;
    std::copy(g_offsets.begin(), g_offsets.end(), static_cast<KOMBRA_LONG *>(var));
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
        ir_seams.sensor_combo = ir_seams.get_mode_info = table_ok;
        ir_seams.read_header = read_header;
        ir_seams.read_keld = read_keld;
        ex = &Add(0x1234, "AB", 0);
        ex->num_sensor = 3;
        ex->swp_len = 16;
        ex->max_packing = 2;
    }

    static KOMBRA_SHORT Run() { return ir_alloc_exp_once(2004, 60, 100, 7, 2004, 61, 200, 9, nullptr); }

    experiment_info *ex = nullptr;
};

TEST_F(SetupTest, NothingToDoOnceAHeaderWasRead)
{
    ir_seams = ir_default_seams;  // any read would fail on this bare data set
    ex->info_ptr->h_size = 40;
    EXPECT_STATUS(1, Run());
}

struct MapCase {
    const char *name;
    friend void PrintTo(const MapCase &c, std::ostream *os) { *os << c.name; }
    int header;  // status of the header read
    int keld;    // status of the time-offset read
    int expected;
};

class MapTest : public SetupTest, public ::testing::WithParamInterface<MapCase> {};

TEST_P(MapTest, StatusIsMapped)
{
    g_header_status = static_cast<KOMBRA_SHORT>(GetParam().header);
    g_keld_status = GetParam().keld;
    EXPECT_STATUS(GetParam().expected, Run());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, MapTest,
    ::testing::Values(MapCase{"HeaderReadError", -42, 1, -14}, MapCase{"HeaderNoMemory", -43, 1, -15},
                      MapCase{"HeaderNoGrowth", -44, 1, -16}, MapCase{"HeaderEndMark", 9, 1, 9},
                      MapCase{"HeaderNothingNew", 0, 1, 0}, MapCase{"ItemAbsent", 1, -811, -102},
                      MapCase{"TooLong", 1, -805, -103}, MapCase{"TableNumber", 1, -807, -104},
                      MapCase{"ConstantNumber", 1, -808, -105}, MapCase{"EmptyItem", 1, -806, -106},
                      MapCase{"OtherFailure", 1, -1, -1},
                      MapCase{"BeyondSixteenBits", 1, -100000, -32768}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SetupTest, EqualOffsetsGiveOneTimingRecord)
{
    EXPECT_STATUS(1, Run());
    EXPECT_EQ(48, g_item);
    EXPECT_EQ(-1, g_len);
    EXPECT_EQ(0, ex->all_or_one);
    EXPECT_EQ(-1, ex->timing_ptr[0].pix_num);
    // swp_len steps, four arrays end to end.
    EXPECT_EQ(ex->swp_times.btime_ms + 48, ex->swp_times.etime_ns);
    ex->swp_times.etime_ns[15] = 1;
}

// The offsets are read whole into a buffer of one per sensor: a description
// with more of them fails instead of being cut.
TEST_F(SetupTest, MoreOffsetsThanSensorsFail)
{
    g_offsets = {5, 5, 5, 5};
    EXPECT_STATUS(-814, Run());
}

TEST_F(SetupTest, DifferingOffsetsGiveATimingRecordPerSensor)
{
    g_offsets = {5, 6, 5};
    ex->smp_id = 2;  // steps per header: max_packing
    ex->swp_times.pa_times = 1;
    EXPECT_STATUS(1, Run());
    EXPECT_EQ(1, ex->all_or_one);
    EXPECT_EQ(-1, ex->timing_ptr[2].pix_num);
    EXPECT_EQ(ex->swp_times.btime_ms + 2, ex->swp_times.btime_ns);
    EXPECT_EQ(1, ex->swp_times.pa_times);
    EXPECT_STATUS(1, Run());  // a later open replaces the blocks
    ex->num_sensor = 0;
    EXPECT_STATUS(-20, Run());
}

}  // namespace

namespace {

// The reader's description calls go to the description registry.
TEST(DescriptionSeam, ReachesTheRegistry)
{
    KOMBRA_LONG offset = 7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, ir_default_seams.read_keld(0, 2003, 32, 0, 0, 2003, 32, 1, 0, &offset, sizeof offset, 48, 0, 0, -1));
    EXPECT_EQ("ERROR - KELD not initialized!\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(7, offset);
    EXPECT_EQ(&CloseKELD, ir_default_seams.close_keld);
}

}  // namespace
