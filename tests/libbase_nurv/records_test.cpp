// Caller records and the release of everything the reader holds.  Leaks and
// double frees show up under AddressSanitizer.
#include "reader_fixture.h"
#include "support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

int g_close_calls = 0;
int g_pitch_frees = 0;

void count_close(void) { ++g_close_calls; }

void count_pitch_free(experiment_info *entry)
{
    ++g_pitch_frees;
    std::free(entry->bmem.base_pitch_info);
    entry->bmem.base_pitch_info = nullptr;
}

KOMBRA_SHORT header_ok(nur_data *) { return 1; }

TEST_F(ReaderTest, RecordsStayValidWhenTheListGrows)
{
    std::vector<nur_data *> made;
    for (int i = 0; i < 30; ++i) {
        nur_data *p = nullptr;
        ASSERT_EQ(1, create_nur_data_structure(&p));
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(0, p->num_sample);
        EXPECT_EQ(nullptr, p->sen_data);
        made.push_back(p);
    }
    for (nur_data *p : made)
        EXPECT_EQ(1, valid_nur_data_structure(p));
    EXPECT_EQ(50u, ginfo.nur_data_ptr.capacity());
}

TEST_F(ReaderTest, UnregisteredRecordsAreNotValidAndNotFreed)
{
    EXPECT_STATUS(-272, create_nur_data_structure(nullptr));
    nur_data own{};
    own.base_swp = std::malloc(16);
    own.swp_size = 16;
    EXPECT_EQ(0, valid_nur_data_structure(&own));
    EXPECT_EQ(0, valid_nur_data_structure(nullptr));
    EXPECT_EQ(0, valid_tensor_data_structure(nullptr));
    ir_free_nur_data_ptr(&own);
    EXPECT_NE(nullptr, own.base_swp);
    EXPECT_EQ(16u, own.swp_size);
    std::free(own.base_swp);
}

TEST_F(ReaderTest, SweepArrayGrowsAndNeverShrinks)
{
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    EXPECT_STATUS(1, ir_alloc_swp_data(4, p));
    EXPECT_EQ(16u, p->swp_size);
    for (int i = 0; i < 4; ++i)
        p->swp_data[i] = i + 10;
    EXPECT_STATUS(1, ir_alloc_swp_data(8, p));
    EXPECT_EQ(32u, p->swp_size);
    EXPECT_EQ(13, p->swp_data[3]);
    EXPECT_STATUS(1, ir_alloc_swp_data(2, p));
    EXPECT_EQ(32u, p->swp_size);
    EXPECT_EQ(p->base_swp, p->swp_data);
}

TEST_F(ReaderTest, CalibrationArrayHoldsEveryCalibrationSet)
{
    experiment_info &ex = Add(6, "AB", 0);
    auto *block = static_cast<KOMBRA_SHORT *>(std::calloc(4, sizeof(KOMBRA_SHORT)));
    ex.bmem.base_cal = block;
    ex.CAL_USE = block;
    ex.CSET_NUM = reinterpret_cast<KOMBRA_USHORT *>(block + 2);
    ex.cal_sets = 2;
    ex.CSET_NUM[0] = 3;
    ex.CSET_NUM[1] = 4;
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    EXPECT_STATUS(1, ir_check_cal_size(p));
    EXPECT_EQ(7, p->cal_len);
    EXPECT_EQ(28u, p->cal_size);
    ex.CSET_NUM[1] = 1;  // smaller: the array and its length stay
    EXPECT_STATUS(1, ir_check_cal_size(p));
    EXPECT_EQ(7, p->cal_len);
    EXPECT_EQ(28u, p->cal_size);
}

TEST_F(ReaderTest, RecordResizeNeedsAnOpenDataSet)
{
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    EXPECT_STATUS(-122, ir_check_nur_data_memory(6, "AB", 0, p));
    Add(6, "AB", 0);
    Add(6, "AB", 1);
    EXPECT_STATUS(-900, ir_check_nur_data_memory(6, "AB", 0, p));
    EXPECT_EQ(0, ginfo.pos_ex);
    ir_seams.check_dependent_on_header = header_ok;
    EXPECT_STATUS(1, ir_check_nur_data_memory(6, "AB", 1, p));
    EXPECT_EQ(1, ginfo.pos_ex);
}

// Fills an entry and a record with one block of every kind the release
// walks, so that a missed or doubled free shows.
TEST_F(ReaderTest, FreeReleasesEveryBlockAndClosesFiles)
{
    g_close_calls = 0;
    g_pitch_frees = 0;
    ir_seams.close_keld = count_close;
    ir_seams.free_pitch_angle_data = count_pitch_free;

    experiment_info &ex = Add(9, "AB", 0);
    GiveSensors(ex, 2);
    ex.fdh = open("/dev/null", O_RDONLY);
    ex.fdd = open("/dev/null", O_RDONLY);
    ASSERT_GE(ex.fdh, 0);
    const int fdh = ex.fdh;
    ex.d_type = static_cast<int8_t *>(std::malloc(2));
    ex.bmem.base_hdr = ex.HEADER_MEM = static_cast<KOMBRA_CHAR *>(std::malloc(64));
    ex.info_ptr->base_fmt1 = std::malloc(sizeof(nurv_info));
    ex.bmem.base_constant = std::malloc(32);
    ex.bmem.base_pitch_info = std::malloc(8);
    ex.crit_action = 1;
    ex.num_combo = 2;
    auto *combos = static_cast<sensor_tables *>(std::calloc(2, sizeof(sensor_tables)));
    ex.bmem.base_sen_ptr = ex.sen_tbl_ptr = combos;
    for (int c = 0; c < 2; ++c) {
        combos[c].base_tbls = std::malloc(16);
        combos[c].base_misc_tbls = std::malloc(16);
        auto *act = static_cast<crit_action_info *>(std::calloc(1, sizeof(crit_action_info)));
        act->base_action = std::malloc(8);
        combos[c].base_crit_action = combos[c].act_ptr = act;
    }
    ex.num_modes = 1;
    auto *modes = static_cast<mode_tables *>(std::calloc(1, sizeof(mode_tables)));
    modes->base_tbls = std::malloc(8);
    ex.bmem.base_mode_ptr = ex.mode_tbl_ptr = modes;

    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    ASSERT_EQ(1, ir_alloc_swp_data(3, p));
    p->base_angle = std::malloc(24);
    auto *cos = static_cast<direction_cos *>(std::calloc(1, sizeof(direction_cos)));
    cos->base_block = std::malloc(60);
    p->base_dir_cosines = p->dir_cosines = cos;

    free_experiment_info();
    EXPECT_EQ(1, g_close_calls);
    EXPECT_EQ(1, g_pitch_frees);
    EXPECT_EQ(-1, fcntl(fdh, F_GETFD));
    EXPECT_EQ(0, ginfo.nds);
    EXPECT_TRUE(ginfo.nur_data_ptr.empty());
    EXPECT_EQ(nullptr, ir_tmp_space);
    EXPECT_EQ(0, InitNurvEntry);
    init_nurv();
}

TEST_F(ReaderTest, ReleasedEntryKeepsItsIdentity)
{
    experiment_info &ex = Add(9, "AB", 3);
    GiveSensors(ex, 2);
    ex.fdh = open("/dev/null", O_RDONLY);
    ir_free_ex_structure(&ex);
    EXPECT_EQ(-1, ex.fdh);
    EXPECT_EQ(nullptr, ex.sensors_needed);
    EXPECT_EQ(nullptr, ex.info_ptr);
    ir_free_ex_structure(&ex);  // a second release finds nothing left
    EXPECT_STATUS(1, ir_locate_ex(9, "AB", 3, 0));
}

TEST_F(ReaderTest, FreeWithoutAnyDataSetReleasesRecords)
{
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    ASSERT_EQ(1, ir_alloc_swp_data(5, p));
    KOMBRA_USHORT v = 0;
    get_version_number(&v);
    get_version_number(&v);
    free_experiment_info();
    EXPECT_EQ(0, valid_nur_data_structure(p));
    init_nurv();
    get_version_number(&v);
    EXPECT_EQ(0, v);
}

}  // namespace
