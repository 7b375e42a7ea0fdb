// The table of open data sets: set-up, version numbers, locating and adding
// entries, and sensor selection.
#include "reader_fixture.h"
#include "support.h"

#include <sys/resource.h>

#include <string>

namespace {

TEST_F(ReaderTest, SecondInitChangesNothing)
{
    Add(7, "AB", 0);
    void *scratch = ir_tmp_space;
    init_nurv();
    EXPECT_EQ(1, ginfo.nds);
    EXPECT_EQ(scratch, ir_tmp_space);
    EXPECT_EQ(1024u, ir_tmp_bytes);
    EXPECT_EQ(1234567890, InitNurvEntry);
}

TEST_F(ReaderTest, InitRaisesOpenFileLimitToHardMaximum)
{
    rlimit limit{};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &limit));
    EXPECT_EQ(limit.rlim_max, limit.rlim_cur);
}

TEST_F(ReaderTest, VersionsCountFromZeroAndRestartAfterFree)
{
    KOMBRA_USHORT v = 99;
    for (KOMBRA_USHORT expected = 0; expected < 3; ++expected) {
        get_version_number(&v);
        EXPECT_EQ(expected, v);
    }
    free_experiment_info();
    init_nurv();
    get_version_number(&v);
    EXPECT_EQ(0, v);
}

TEST_F(ReaderTest, RetiredEntryGivesItsVersionBackOnce)
{
    KOMBRA_USHORT v = 0;
    get_version_number(&v);  // 0
    Add(0, "AB", 5);
    Add(0, "CD", 5);
    get_version_number(&v);
    EXPECT_EQ(5, v);
    EXPECT_EQ(65535, ginfo.exbase[0].version);
    EXPECT_EQ(65535, ginfo.exbase[1].version);
    get_version_number(&v);
    EXPECT_EQ(1, v);
}

struct LocateCase {
    const char *name;
    friend void PrintTo(const LocateCase &c, std::ostream *os) { *os << c.name; }
    KOMBRA_ULONG key;
    const char *exten;
    KOMBRA_USHORT vnum;
    int status;
    int index;  // entry made current on success
};

class LocateTest : public ReaderTest, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(LocateTest, FindsTheMatchingEntry)
{
    Add(7, "AB", 0);
    Add(7, "AB", 1);
    Add(7, "", 2);
    Add(8, "A", 0);
    ir_locate_ex(9, "ZZ", 9, 1);  // current entry is now another one
    const LocateCase &c = GetParam();
    EXPECT_STATUS(c.status, ir_locate_ex(c.key, c.exten, c.vnum, 0));
    EXPECT_EQ(5, ginfo.nds);
    if (c.status == 1) {
        EXPECT_EQ(c.index, ginfo.pos_ex);
        EXPECT_EQ(&ginfo.exbase[c.index], ginfo.expt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LocateTest,
    ::testing::Values(LocateCase{"SameKeyFirstVersion", 7, "AB", 0, 1, 0},
                      LocateCase{"SameKeySecondVersion", 7, "AB", 1, 1, 1},
                      LocateCase{"EmptyExtension", 7, "", 2, 1, 2},
                      LocateCase{"NullExtensionIsEmpty", 7, nullptr, 2, 1, 2},
                      LocateCase{"OneCharacterExtension", 8, "A", 0, 1, 3},
                      LocateCase{"OnlyTwoCharactersCompared", 7, "ABZ", 0, 1, 0},
                      LocateCase{"SecondCharacterDiffers", 7, "AC", 0, -3, 0},
                      LocateCase{"LongerThanStored", 8, "AB", 0, -3, 0},
                      LocateCase{"OtherVersion", 7, "AB", 2, -3, 0},
                      LocateCase{"OtherKey", 6, "AB", 0, -3, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ReaderTest, ExtensionKeepsAtMostTwoCharacters)
{
    EXPECT_EQ("AB", std::string(Add(5, "ABCDEF", 0).exten));
    EXPECT_EQ("X", std::string(Add(5, "X", 1).exten));
    EXPECT_EQ("", std::string(Add(5, nullptr, 2).exten));
}

TEST_F(ReaderTest, NewEntryStartsWithItsInitialValues)
{
    const experiment_info &ex = Add(3, "CD", 4);
    EXPECT_EQ(3u, ex.data_key);
    EXPECT_EQ(4, ex.version);
    EXPECT_EQ(-1, ex.fdh);
    EXPECT_EQ(-1, ex.fdd);
    EXPECT_EQ(1, ex.first_open);
    EXPECT_EQ(1, ex.first_select);
    EXPECT_EQ(-1, ex.tdw_len);
    EXPECT_EQ(32767, ex.mode_version);
    EXPECT_EQ(-1, ex.initial_gap);
    EXPECT_EQ(-1, ex.last_sensor);
    EXPECT_EQ(-1, ex.header_format);
    EXPECT_EQ(-1, ex.tensor_rank);
    for (KOMBRA_LONG size : ex.tensor_sizes)
        EXPECT_EQ(-1, size);
    EXPECT_EQ(-1, ex.spin_sen_ctrl);
    EXPECT_EQ(2, ex.spin_method);
    EXPECT_EQ(sTrue, ex.return_pitch_angles);
    EXPECT_EQ(sFalse, ex.return_euler_angles);
    EXPECT_EQ(sFalse, ex.override_potential_poly);
    ASSERT_NE(nullptr, ex.info_ptr);
    EXPECT_EQ(ex.info_ptr, ex.bmem.base_info_ptr);
    EXPECT_EQ(65535, ex.info_ptr->h_size);
    EXPECT_EQ(-1, ex.info_ptr->prev_hd);
    EXPECT_EQ(-1, ex.info_ptr->cur_sen_set);
    EXPECT_EQ(0, ex.info_ptr->chg_sen_set);
}

TEST_F(ReaderTest, EntriesStayInPlaceWhileTheTableGrows)
{
    experiment_info *first = &Add(1, "AB", 0);
    first->num_sensor = 12;
    for (KOMBRA_USHORT v = 1; v <= 1000; ++v)
        Add(1, "AB", v);
    EXPECT_EQ(&ginfo.exbase[0], first);
    EXPECT_EQ(12, first->num_sensor);
    EXPECT_EQ(1, ir_locate_ex(1, "AB", 0, 0));
    EXPECT_EQ(first, ginfo.expt);
}

TEST_F(ReaderTest, FullTableRefusesAnotherEntry)
{
    ir_table_limit = 3;
    for (KOMBRA_USHORT v = 0; v < 3; ++v)
        Add(2, "AB", v);
    EXPECT_STATUS(-6, ir_locate_ex(2, "AB", 3, 1));
    EXPECT_EQ(3, ginfo.nds);
    EXPECT_STATUS(1, ir_locate_ex(2, "AB", 1, 1));
    EXPECT_EQ(1, ginfo.pos_ex);
}

TEST_F(ReaderTest, FirstSelectionClearsTheOtherSensors)
{
    GiveSensors(Add(4, "AB", 0), 4);
    Add(4, "AB", 1);  // another current entry
    EXPECT_STATUS(1, select_sensor(4, "AB", 0, 2));
    EXPECT_STATUS(1, select_sensor(4, "AB", 0, 0));
    const experiment_info &ex = ginfo.exbase[0];
    EXPECT_EQ(0, ex.first_select);
    EXPECT_EQ(std::string("\1\0\1\0", 4), std::string(ex.sensors_needed, 4));
}

TEST_F(ReaderTest, SelectionRejectsUnknownSetsAndSensors)
{
    GiveSensors(Add(4, "AB", 0), 3);
    Add(4, "AB", 1);  // added but never opened: no sensor flags
    EXPECT_STATUS(-19, select_sensor(5, "AB", 0, 0));
    EXPECT_STATUS(-19, select_sensor(4, "AB", 1, 0));
    EXPECT_STATUS(-19, select_sensor(4, "AB", 0, -1));
    EXPECT_STATUS(-19, select_sensor(4, "AB", 0, 3));
    // A refused selection leaves the flags as the open left them.
    const experiment_info &ex = ginfo.exbase[0];
    EXPECT_EQ(1, ex.first_select);
    EXPECT_EQ(std::string("\1\1\1", 3), std::string(ex.sensors_needed, 3));
}

TEST_F(ReaderTest, SelectionInsideACallUsesTheCurrentEntry)
{
    GiveSensors(Add(4, "AB", 0), 2);
    ginfo.called_locate = 1;
    EXPECT_STATUS(1, select_sensor(99, "ZZ", 9, 1));
    EXPECT_EQ(std::string("\0\1", 2), std::string(ginfo.exbase[0].sensors_needed, 2));
}

}  // namespace
