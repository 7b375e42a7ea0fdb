// The files of a key and time: playback look-ups on the catalog of the test
// program's back end, and real-time names.
#include "catalog_env.h"
#include "config_fixture.h"
#include "config_reset.h"

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <utility>
#include <vector>

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

// On entries short and long around the turn of a leap year, each look-up
// answers what the catalog's statement itself answers: the first entry by
// begin that BETWEEN_TIMES finds overlapping.  Entries lie on a grid of
// whole hours and requests on one of half hours, so that begins, ends and
// requests often meet exactly or just miss.
TEST_F(Catalog, LookUpsAnswerAsTheOverlapStatementDoes)
{
    std::mt19937 random(366);
    // Half hours from 2004 day 355, whose year has 366 days.
    auto triple = [](int halves) {
        const int days = halves / 48;
        const long msec = (halves % 48) * 1800000L;
        return days < 12 ? std::array<long, 3>{2004, 355 + days, msec} : std::array<long, 3>{2005, days - 11, msec};
    };
    std::uniform_int_distribution<int> hour(0, 20 * 24), shortHours(-2, 6), longHours(24, 72), percent(0, 99),
        span(-2, 60);
    std::set<int> begins;
    std::vector<std::pair<int, int>> requests;  // in half hours: begin, end
    std::string insert = "INSERT INTO hd_entries VALUES ";
    while (begins.size() < 60) {
        const int from = hour(random);
        if (!begins.insert(from).second)
            continue;
        const int length = percent(random) < 85 ? shortHours(random) : longHours(random);
        // Requests at the entry's edges: its begin, just before its end, its end.
        for (const int at : {2 * from, 2 * (from + length) - 1, 2 * (from + length)})
            if (at >= 0)
                requests.push_back({at, at + span(random)});
        const auto b = triple(2 * from);
        const auto e = triple(std::max(0, 2 * (from + length)));
        insert += (begins.size() > 1 ? ", (" : "(") + std::to_string(kCP3DRH);
        for (const long v : {b[0], b[1], b[2], e[0], e[1], e[2]})
            insert += ", " + std::to_string(v);
        insert += ", 1, 'R', NULL)";
    }
    Exec(insert + ";");

    const std::string statement =
        "SELECT b_yr, b_day, b_msec FROM hd_entries WHERE data_key=? AND BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, "
        "e_day, e_msec, ?, ?, ?, ?, ?, ?) > 0 ORDER BY b_yr, b_day, b_msec LIMIT 1;";
    std::uniform_int_distribution<int> half(0, 20 * 48);
    for (int n = 0; n < 800; ++n) {
        const int from = half(random);
        requests.push_back({from, from + span(random)});
    }
    for (const auto &[from, to] : requests) {
        const auto b = triple(from);
        const auto e = triple(std::max(0, to));
        DbRows rows;
        ASSERT_EQ(1, dbQueryRows(statement.c_str(),
                                 {DbParam::Int(kCP3DRH), DbParam::Int(b[0]), DbParam::Int(b[1]), DbParam::Int(b[2]),
                                  DbParam::Int(e[0]), DbParam::Int(e[1]), DbParam::Int(e[2])},
                                 rows));
        std::string expected = "status 1200";
        if (!rows.empty()) {
            char file[64];
            MakeFileName("CP3DRH", static_cast<unsigned short>(std::stoi(*rows[0][0])),
                         static_cast<unsigned short>(std::stoi(*rows[0][1])), std::stol(*rows[0][2]), 'H', file,
                         sizeof file);
            expected = file;
        }
        char name1[DB_PATH_MAX] = "";
        const int status = dbNURVGetFile(kCP3DRH, static_cast<short>(b[0]), static_cast<short>(b[1]), b[2],
                                         static_cast<short>(e[0]), static_cast<short>(e[1]), e[2], _HEADER_, "",
                                         name1, nullptr);
        const std::string path = name1;
        ASSERT_EQ(expected, status == 1 ? path.substr(path.rfind('/') + 1) : "status " + std::to_string(status))
            << "request " << b[0] << "/" << b[1] << "/" << b[2] << " - " << e[0] << "/" << e[1] << "/" << e[2];
    }
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
