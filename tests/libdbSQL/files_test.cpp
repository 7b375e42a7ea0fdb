// The files of a key and time: playback look-ups on the catalog of the test
// program's back end, and real-time names.
#include "catalog_env.h"
#include "config_fixture.h"
#include "config_reset.h"

using namespace dbsql_test;
using kombra_test::ScopedEnv;

namespace {

constexpr long H(int hour, int minute = 0)
{
    return hour * 3600000L + minute * 60000L;
}

// ---- Playback files ------------------------------------------

enum class Dir { Post, UserData };

struct Lookup {
    const char *name;
    KOMBRA_ULONG key;
    RequestedDataType type;
    short b_day;
    long b_msec;
    short e_day;
    long e_msec;
    const char *exten;
    int status;
    Dir dir;
    const char *name1;  // file names; "" for none
    const char *name2;
};

void PrintTo(const Lookup &p, std::ostream *os)
{
    *os << p.name;
}

class FileLookup : public Catalog, public ::testing::WithParamInterface<Lookup> {
protected:
    kombra_test::TempDir userData;
    ScopedEnv userDataEnv{"USER_DATA", userData.str()};
};

TEST_P(FileLookup, FindsTheEntryThatOverlapsTheRange)
{
    const Lookup &l = GetParam();
    char name1[DB_PATH_MAX] = "", name2[DB_PATH_MAX] = "";
    EXPECT_EQ(l.status,
              dbNURVGetFile(l.key, 2003, l.b_day, l.b_msec, 2003, l.e_day, l.e_msec, l.type, l.exten, name1, name2))
        << dbErrorMsg();
    const std::string dir =
        l.dir == Dir::UserData ? userData.str() : InstrumentDir("data", l.key == kPADH ? "PAD" : "3DR");
    EXPECT_EQ(*l.name1 ? dir + "/" + l.name1 : "", name1);
    EXPECT_EQ(*l.name2 ? dir + "/" + l.name2 : "", name2);
    if (l.status == DB_FILE_NO_DATA) {
        EXPECT_STREQ("ERROR - dbNURVGetFile - No data for requested time!  Must promote...", dbErrorMsg());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalog, FileLookup,
    ::testing::Values(
        Lookup{"PairInsideTheFirstFile", kCP3DRH, _H_AND_D_, 32, H(14, 30), 32, H(14, 40), "", 1, Dir::Post,
               "CP3DRH20030321405H", "CP3DRH20030321405D"},
        Lookup{"HeaderAtAnExactBegin", kCP3DRH, _HEADER_, 32, H(15), 32, H(15, 10), "", 1, Dir::Post,
               "CP3DRH20030321500H", ""},
        Lookup{"DataOfTheFileInForceAtTheBegin", kCP3DRH, _DATA_, 32, H(14, 59), 32, H(15, 30), "", 1, Dir::Post,
               "CP3DRH20030321405D", ""},
        Lookup{"DescriptionFile", kCP3DRH, _KELD_, 32, H(14, 59), 32, H(15, 30), "", 1, Dir::Post,
               "CP3DRH20030010000I", ""},
        Lookup{"GapThenLaterFile", kCP3DRH, _HEADER_, 32, H(16, 30), 32, H(17, 30), "", 1, Dir::Post,
               "CP3DRH20030321700H", ""},
        Lookup{"RangeEndingInsideTheFirstFile", kCP3DRH, _HEADER_, 32, H(14), 32, H(14, 6), "", 1, Dir::Post,
               "CP3DRH20030321405H", ""},
        Lookup{"FileEndingAtTheBeginIsNoData", kCP3DRH, _HEADER_, 32, H(16), 32, H(16, 30), "", DB_FILE_NO_DATA,
               Dir::Post, "", ""},
        Lookup{"BeforeTheFirstFileIsNoData", kCP3DRH, _HEADER_, 32, H(14), 32, H(14, 5), "", DB_FILE_NO_DATA,
               Dir::Post, "", ""},
        Lookup{"AfterTheLastFileIsNoData", kCP3DRH, _H_AND_D_, 32, H(18), 33, 0, "", DB_FILE_NO_DATA, Dir::Post,
               "", ""},
        Lookup{"OtherSourceHasItsOwnFiles", kPADH, _HEADER_, 32, H(14, 30), 32, H(14, 31), "", 1, Dir::Post,
               "PADH20030321400H", ""},
        Lookup{"ExtensionPlacesTheFileInUserData", kCP3DRH, _H_AND_D_, 32, H(14, 30), 32, H(14, 31), ".gz", 1,
               Dir::UserData, "CP3DRH20030321405H.gz", "CP3DRH20030321405H.gD"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Catalog, ExtensionFallsBackToTheHomeDirectory)
{
    ScopedEnv userData("USER_DATA", std::nullopt);
    ScopedEnv home("HOME", "/home/someone");
    char name1[DB_PATH_MAX];
    ASSERT_EQ(1, dbNURVGetFile(kPADH, 2003, 32, H(14), 2003, 32, H(15), _DATA_, ".z", name1, nullptr));
    EXPECT_STREQ("/home/someone/PADH20030321400D.z", name1);
}

// The header file of CP3DRH for one second from day and msec of year, or
// what the look-up said instead.
std::string HeaderAt(short day, long msec, short year = 2003)
{
    char name1[DB_PATH_MAX] = "";
    const int status = dbNURVGetFile(kCP3DRH, year, day, msec, year, day, msec + 1000, _HEADER_, "", name1, nullptr);
    if (status != 1)
        return "status " + std::to_string(status);
    const std::string path = name1;
    return path.substr(path.rfind('/') + 1);
}

// The first overlapping entry in the order of the catalog's key (the
// earliest beginning) answers, wherever entries overlap each other, and
// entries this process adds count from the next look-up on.
TEST_F(Catalog, OverlappingEntriesGiveTheEarliestBeginningOne)
{
    // A long file (days 40 to 50) under a short one (day 41 to day 42).
    Exec("INSERT INTO hd_entries VALUES (8921217, 2003, 40, 0, 2003, 50, 0, 1, 'A', NULL);");
    Exec("INSERT INTO hd_entries VALUES (8921217, 2003, 41, 0, 2003, 42, 0, 1, 'B', NULL);");
    EXPECT_EQ("CP3DRH20030400000H", HeaderAt(41, H(1)));  // inside both
    EXPECT_EQ("CP3DRH20030400000H", HeaderAt(45, 0));
    EXPECT_EQ("status 1200", HeaderAt(50, 0));  // the long one ends exactly then

    // A longer file still, beginning before both.
    Exec("INSERT INTO hd_entries VALUES (8921217, 2003, 30, 0, 2003, 60, 0, 1, 'C', NULL);");
    EXPECT_EQ("CP3DRH20030300000H", HeaderAt(45, 0));
    EXPECT_EQ("CP3DRH20030300000H", HeaderAt(50, 0));
    Exec("DELETE FROM hd_entries WHERE archive_label = 'C';");
    EXPECT_EQ("CP3DRH20030400000H", HeaderAt(45, 0));
}

// Begins that are no calendar time (day 400 of 2003 is day 35 of 2004 to the
// overlap rule) are found by the rule all the same.
TEST_F(Catalog, EntriesWithOddBeginsFollowTheOverlapRule)
{
    Exec("INSERT INTO hd_entries VALUES (8921217, 2003, 400, 0, 2004, 40, 0, 1, 'A', NULL);");
    EXPECT_EQ("CP3DRH20034000000H", HeaderAt(36, 0, 2004));
    EXPECT_EQ("status 1200", HeaderAt(41, 0, 2004));
    EXPECT_EQ("CP3DRH20030321405H", HeaderAt(32, H(14, 30)));
}

TEST_F(Catalog, BadSourcesAndFailedQueries)
{
    char name1[DB_PATH_MAX] = "untouched";
    EXPECT_EQ(DB_FILE_BAD_SOURCE, dbNURVGetFile(kNoSuchKey, 2003, 32, 0, 2003, 33, 0, _HEADER_, "", name1, nullptr));
    EXPECT_STREQ("ERROR - dbNURVGetFile - Bad virtual instrument...", dbErrorMsg());

    // A source the configuration does not know has no PostTimePath.
    Exec("INSERT INTO hierarchy VALUES (96, 'NOPE', 'C1', 'HALDE', '3DR', 'CP3DRH');");
    Exec("INSERT INTO hd_entries VALUES (96, 2003, 32, 0, 2003, 33, 0, 1, 'A', NULL);");
    SetErrorString("before");
    EXPECT_EQ(DB_FILE_BAD_SOURCE, dbNURVGetFile(96, 2003, 32, 0, 2003, 33, 0, _HEADER_, "", name1, nullptr));
    EXPECT_STREQ("before", dbErrorMsg());
    EXPECT_STREQ("untouched", name1);

    Exec("DROP TABLE hd_entries;");
    EXPECT_EQ(DB_FILE_QUERY_FAILED, dbNURVGetFile(kCP3DRH, 2003, 32, 0, 2003, 33, 0, _HEADER_, "", name1, nullptr));
    EXPECT_STREQ("ERROR - dbNURVGetFile - Query failed!", dbErrorMsg());
    EXPECT_EQ(1, dbNURVGetFile(kCP3DRH, 2003, 32, 0, 2003, 33, 0, _KELD_, "", name1, nullptr));
}

TEST_F(Catalog, PathsTooLongNameTheirFunctionAndWriteNothing)
{
    const std::string longExten(DB_PATH_MAX, 'x');
    for (const bool realTime : {false, true}) {
        char name1[DB_PATH_MAX] = "untouched", name2[DB_PATH_MAX] = "untouched";
        const int status = realTime ? dbNURVGetRealTimeFile(kCP3DRH, _H_AND_D_, longExten.c_str(), name1, name2)
                                    : dbNURVGetFile(kCP3DRH, 2003, 32, H(14, 30), 2003, 32, H(14, 40), _H_AND_D_,
                                                    longExten.c_str(), name1, name2);
        EXPECT_EQ(DB_FILE_BAD_SOURCE, status);
        EXPECT_STREQ(realTime ? "ERROR - dbNURVGetRealTimeFile - File path too long..."
                              : "ERROR - dbNURVGetFile - File path too long...",
                     dbErrorMsg());
        EXPECT_STREQ("untouched", name1);
        EXPECT_STREQ("untouched", name2);
    }
}

// Directories that do not fit their 256-byte buffer would be cut into another
// folder: every back end refuses them.
TEST_F(Catalog, DirectoriesTooLongForTheirBufferAreRefusedOnEveryBackEnd)
{
    struct StandardAgain {
        ~StandardAgain()
        {
            cfg_test::ResetConfiguration();
            CfgInit();
        }
    } standardAgain;
    kombra_test::TempDir config;
    kombra_fixtures::WriteStandardConfig(config.str(), config.str() + "/" + std::string(240, 'r'));
    ScopedEnv configEnv("KOMBRA_CONFIG", config.str());
    cfg_test::ResetConfiguration();
    CfgInit();

    for (dbType backEnd : {TestCatalog::Type(), Tarvo}) {
        SCOPED_TRACE(backEnd);
        ASSERT_EQ(1, dbSetDatabaseType(backEnd, nullptr));
        char name1[DB_PATH_MAX] = "untouched", name2[DB_PATH_MAX] = "untouched";
        EXPECT_EQ(DB_FILE_BAD_SOURCE,
                  dbNURVGetFile(kCP3DRH, 2003, 32, H(14, 30), 2003, 32, H(14, 40), _H_AND_D_, "", name1, name2));
        EXPECT_STREQ("ERROR - dbNURVGetFile - File path too long...", dbErrorMsg());
        EXPECT_EQ(DB_FILE_BAD_SOURCE, dbNURVGetRealTimeFile(kCP3DRH, _H_AND_D_, "", name1, name2));
        EXPECT_STREQ("ERROR - dbNURVGetRealTimeFile - File path too long...", dbErrorMsg());
        EXPECT_STREQ("untouched", name1);
        EXPECT_STREQ("untouched", name2);
    }
}

TEST_F(Catalog, GetFileTakesItsTimesFromTheTriples)
{
    Time_t begin{2003, 32, H(15, 30)};
    char name1[DB_PATH_MAX], name2[DB_PATH_MAX];
    ASSERT_EQ(1, dbGetFile(kCP3DRH, &begin, Time_t{2003, 32, H(16)}, _H_AND_D_, "", name1, name2));
    EXPECT_EQ(InstrumentDir("data") + "/CP3DRH20030321500D", name2);
    EXPECT_EQ(2003, begin.yr);
    EXPECT_EQ(32, begin.day);
}

// ---- Real-time files ---------------------------------------------------------------

TEST_F(Catalog, RealTimeFilesOnEveryBackEnd)
{
    struct Case {
        RequestedDataType type;
        const char *exten;
        const char *name1;
        const char *name2;
    } cases[] = {
        {_H_AND_D_, "", "CP3DRHH", "CP3DRHD"},
        {_HEADER_, "", "CP3DRHH", ""},
        {_DATA_, "", "CP3DRHD", ""},
        {_KELD_, ".x", "CP3DRHI.x", ""},
    };
    const std::string dir = InstrumentDir("realtime") + "/";
    for (dbType backEnd : {TestCatalog::Type(), Tarvo}) {
        ASSERT_EQ(1, dbSetDatabaseType(backEnd, nullptr));
        for (const Case &c : cases) {
            char name1[DB_PATH_MAX] = "", name2[DB_PATH_MAX] = "";
            EXPECT_EQ(1, dbNURVGetRealTimeFile(kCP3DRH, c.type, c.exten, name1, name2));
            EXPECT_EQ(dir + c.name1, name1) << backEnd;
            EXPECT_EQ(*c.name2 ? dir + c.name2 : "", name2) << backEnd;
        }
    }
    ASSERT_EQ(1, dbSetDatabaseType(TestCatalog::Type(), nullptr));
    char name1[DB_PATH_MAX];
    EXPECT_EQ(DB_FILE_BAD_SOURCE, dbNURVGetRealTimeFile(kNoSuchKey, _HEADER_, "", name1, nullptr));
    EXPECT_STREQ("ERROR - dbNURVGetRealTimeFile - Bad virtual instrument...", dbErrorMsg());
}

}  // namespace
