// The table of open data sets: set-up, version numbers, locating and adding
// entries, and sensor selection.
#include "reader_fixture.h"
#include "support.h"

#include <sys/resource.h>

#include <string>

namespace {

TEST_F(ReaderTest, SetUpOnceRaisingTheFileLimit)
{
    Add(7, "AB", 0);
    void *scratch = ir_tmp_space;
    init_nurv();  // a second call changes nothing
    EXPECT_EQ(1, ginfo.nds);
    EXPECT_EQ(scratch, ir_tmp_space);
    rlimit limit{};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &limit));
    EXPECT_EQ(limit.rlim_max, limit.rlim_cur);
}

TEST_F(ReaderTest, VersionsCountFromZeroAndRestartAfterFree)
{
    KOMBRA_USHORT v = 99;
    get_version_number(&v);
    get_version_number(&v);
    EXPECT_EQ(1, v);
    free_experiment_info();
    init_nurv();
    get_version_number(&v);
    EXPECT_EQ(0, v);
}

TEST_F(ReaderTest, RetiredEntryGivesItsVersionBackOnce)
{
    Add(0, "AB", 5);
    Add(0, "CD", 5);
    KOMBRA_USHORT v = 0;
    get_version_number(&v);
    EXPECT_EQ(5, v);
    EXPECT_EQ(65535, ginfo.exbase[1].version);
    get_version_number(&v);
    EXPECT_EQ(0, v);
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
    Add(9, "ZZ", 9);
    const LocateCase &c = GetParam();
    EXPECT_STATUS(c.status, ir_locate_ex(c.key, c.exten, c.vnum, 0));
    EXPECT_EQ(5, ginfo.nds);
    if (c.status == 1) {
        EXPECT_EQ(&ginfo.exbase[c.index], ginfo.expt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LocateTest,
    ::testing::Values(LocateCase{"FirstVersion", 7, "AB", 0, 1, 0},
                      LocateCase{"SecondVersion", 7, "AB", 1, 1, 1},
                      LocateCase{"EmptyExtension", 7, "", 2, 1, 2},
                      LocateCase{"NullExtensionIsEmpty", 7, nullptr, 2, 1, 2},
                      LocateCase{"OneCharacterExtension", 8, "A", 0, 1, 3},
                      LocateCase{"OnlyTwoCharactersCompared", 7, "ABZ", 0, 1, 0},
                      LocateCase{"SecondCharacterDiffers", 7, "AC", 0, -3, 0},
                      LocateCase{"LongerThanStored", 8, "AB", 0, -3, 0},
                      LocateCase{"OtherVersion", 7, "AB", 2, -3, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ReaderTest, NewEntryKeepsAtMostTwoExtensionCharacters)
{
    const experiment_info &ex = Add(5, "ABCDEF", 0);
    EXPECT_EQ("AB", std::string(ex.exten));
    EXPECT_EQ("X", std::string(Add(5, "X", 1).exten));
    ASSERT_NE(nullptr, ex.info_ptr);
    EXPECT_EQ(65535, ex.info_ptr->h_size);
    EXPECT_EQ(-1, ex.info_ptr->prev_hd);
}

TEST_F(ReaderTest, EntriesStayInPlaceWhileTheTableGrows)
{
    experiment_info *first = &Add(1, "AB", 0);
    for (KOMBRA_USHORT v = 1; v <= 1000; ++v)
        Add(1, "AB", v);
    EXPECT_EQ(&ginfo.exbase[0], first);
    EXPECT_EQ(1, ir_locate_ex(1, "AB", 0, 0));
    EXPECT_EQ(first, ginfo.expt);
}

TEST_F(ReaderTest, FullTableRefusesAnotherEntry)
{
    ir_table_limit = 2;
    Add(2, "AB", 0);
    Add(2, "AB", 1);
    EXPECT_STATUS(-6, ir_locate_ex(2, "AB", 2, 1));
    EXPECT_EQ(2, ginfo.nds);
    EXPECT_STATUS(1, ir_locate_ex(2, "AB", 1, 1));
}

TEST_F(ReaderTest, FirstSelectionClearsTheOtherSensors)
{
    GiveSensors(Add(4, "AB", 0), 4);
    Add(4, "AB", 1);  // another current entry
    EXPECT_STATUS(1, select_sensor(4, "AB", 0, 2));
    EXPECT_STATUS(1, select_sensor(4, "AB", 0, 0));
    EXPECT_EQ(std::string("\1\0\1\0", 4), std::string(ginfo.exbase[0].sensors_needed, 4));
    // Inside a reader call the current entry is used whatever is named.
    ir_locate_ex(4, "AB", 0, 0);
    ginfo.called_locate = 1;
    EXPECT_STATUS(1, select_sensor(99, "ZZ", 9, 3));
    EXPECT_EQ(1, ginfo.exbase[0].sensors_needed[3]);
}

TEST_F(ReaderTest, SelectionRejectsUnknownSetsAndSensors)
{
    GiveSensors(Add(4, "AB", 0), 3);
    Add(4, "AB", 1);  // added but never opened: no sensor flags
    EXPECT_STATUS(-19, select_sensor(5, "AB", 0, 0));
    EXPECT_STATUS(-19, select_sensor(4, "AB", 1, 0));
    EXPECT_STATUS(-19, select_sensor(4, "AB", 0, -1));
    EXPECT_STATUS(-19, select_sensor(4, "AB", 0, 3));
    EXPECT_EQ(std::string("\1\1\1", 3), std::string(ginfo.exbase[0].sensors_needed, 3));
}

}  // namespace
