// Caller records and the release of everything the reader holds.  Leaks and
// double frees show up under AddressSanitizer.
#include "reader_fixture.h"
#include "support.h"

#include <fcntl.h>

#include <vector>

namespace {

int g_close_calls = 0;

void count_close(void) { ++g_close_calls; }
KOMBRA_SHORT header_ok(nur_data *) { return 1; }

TEST_F(ReaderTest, RecordsStayValidWhenTheListGrows)
{
    std::vector<nur_data *> made(30);
    for (nur_data *&p : made)
        ASSERT_EQ(1, create_nur_data_structure(&p));
    for (nur_data *p : made)
        EXPECT_EQ(1, valid_nur_data_structure(p));
    EXPECT_STATUS(-272, create_nur_data_structure(nullptr));
    EXPECT_EQ(30, ginfo.num_nur_data_ptr());  // the failed call registered nothing
}

TEST_F(ReaderTest, UnregisteredRecordIsNeitherValidNorFreed)
{
    nur_data own{};
    own.base_swp = std::malloc(16);
    EXPECT_EQ(0, valid_nur_data_structure(&own));
    ir_free_nur_data_ptr(&own);
    EXPECT_NE(nullptr, own.base_swp);
    std::free(own.base_swp);
}

TEST_F(ReaderTest, ArraysGrowAndNeverShrink)
{
    experiment_info &ex = Add(6, "AB", 0);
    auto *block = static_cast<KOMBRA_SHORT *>(std::calloc(4, sizeof(KOMBRA_SHORT)));
    ex.bmem.base_cal = ex.CAL_USE = block;
    ex.CSET_NUM = reinterpret_cast<KOMBRA_USHORT *>(block + 2);
    ex.cal_sets = 2;
    ex.CSET_NUM[0] = 3;
    ex.CSET_NUM[1] = 4;
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    EXPECT_STATUS(1, ir_check_cal_size(p));
    EXPECT_EQ(7, p->cal_len);
    ex.CSET_NUM[1] = 1;
    EXPECT_STATUS(1, ir_check_cal_size(p));
    EXPECT_EQ(28u, p->cal_size);

    EXPECT_STATUS(1, ir_alloc_swp_data(4, p));
    p->swp_data[3] = 13;
    EXPECT_STATUS(1, ir_alloc_swp_data(8, p));
    EXPECT_STATUS(1, ir_alloc_swp_data(2, p));
    EXPECT_EQ(32u, p->swp_size);
    EXPECT_EQ(13, p->swp_data[3]);
}

TEST_F(ReaderTest, RecordResizeNeedsAnOpenDataSet)
{
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    EXPECT_STATUS(-122, ir_check_nur_data_memory(6, "AB", 0, p));
    Add(6, "AB", 0);
    Add(6, "AB", 1);
    EXPECT_STATUS(-56, ir_check_nur_data_memory(6, "AB", 0, p));  // no header read yet
    ir_seams.check_dependent_on_header = header_ok;
    EXPECT_STATUS(1, ir_check_nur_data_memory(6, "AB", 1, p));
    EXPECT_EQ(1, ginfo.pos_ex);
}

// One block of every kind the release walks, so that a missed or doubled
// free shows.
TEST_F(ReaderTest, FreeReleasesEveryBlockAndClosesFiles)
{
    g_close_calls = 0;
    ir_seams.close_keld = count_close;
    experiment_info &ex = Add(9, "AB", 0);
    GiveSensors(ex, 2);
    ex.fdh = open("/dev/null", O_RDONLY);
    const int fdh = ex.fdh;
    ex.d_type = static_cast<int8_t *>(std::malloc(2));
    ex.bmem.base_hdr = ex.HEADER_MEM = static_cast<KOMBRA_CHAR *>(std::malloc(64));
    ex.info_ptr->base_fmt1 = std::malloc(sizeof(nurv_info));
    ex.bmem.base_pitch_info = std::calloc(1, sizeof(pitch_info));
    ex.crit_action = 1;
    ex.num_combo = 2;
    auto *combos = static_cast<sensor_tables *>(std::calloc(2, sizeof(sensor_tables)));
    ex.bmem.base_sen_ptr = ex.sen_tbl_ptr = combos;
    for (int c = 0; c < 2; ++c) {
        combos[c].base_tbls = std::malloc(16);
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
    auto *cos = static_cast<direction_cos *>(std::calloc(1, sizeof(direction_cos)));
    cos->base_block = std::malloc(60);
    p->base_dir_cosines = p->dir_cosines = cos;

    ir_free_ex_structure(&ex);  // the entry stays, emptied, and may be released again
    EXPECT_EQ(-1, ex.fdh);
    EXPECT_EQ(-1, fcntl(fdh, F_GETFD));
    EXPECT_EQ(nullptr, ex.sen_tbl_ptr);
    EXPECT_STATUS(1, ir_locate_ex(9, "AB", 0, 0));
    free_experiment_info();
    EXPECT_EQ(1, g_close_calls);
    EXPECT_EQ(0, ginfo.nds);
    EXPECT_EQ(0, InitNurvEntry);
    init_nurv();
}

TEST_F(ReaderTest, FreeWithoutAnyDataSetReleasesRecords)
{
    nur_data *p = nullptr;
    ASSERT_EQ(1, create_nur_data_structure(&p));
    ASSERT_EQ(1, ir_alloc_swp_data(5, p));
    free_experiment_info();
    EXPECT_EQ(0, valid_nur_data_structure(p));
    EXPECT_EQ(0, ginfo.num_nur_data_ptr());
    EXPECT_EQ(0, ginfo.num_tensor_data_ptr());
    EXPECT_EQ(0, ginfo.num_moments_data_ptr());
    init_nurv();
}

}  // namespace
