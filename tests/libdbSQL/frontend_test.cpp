// Choice of back end, the rows a back end does not serve, and catalog file
// names.
#include "catalog_env.h"

#include <optional>

using namespace dbsql_test;
using kombra_test::ScopedEnv;

namespace {

constexpr long H(int hour, int minute = 0)
{
    return hour * 3600000L + minute * 60000L;
}

// ---- Back-end choice -------------------------------------------------------

struct Choice {
    const char *name;
    dbType start;
    std::optional<std::string> value;
    dbType chosen;
    const char *stderrText;
};

void PrintTo(const Choice &p, std::ostream *os)
{
    *os << p.name;
}

class BackEndChoice : public Catalog, public ::testing::WithParamInterface<Choice> {};

TEST_P(BackEndChoice, KombraDbTypeChoosesTheBackEnd)
{
    const Choice &c = GetParam();
    dbClose();
    dbSetDatabaseType(c.start, nullptr);
    ScopedEnv type("KOMBRA_DB_TYPE", c.value);
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    EXPECT_EQ(c.stderrText, testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.chosen, dbGetDatabaseType());
    EXPECT_EQ(c.chosen == SQLite, dbIsSQLite() == sTrue);
    EXPECT_EQ(c.chosen == Tarvo, dbIsTarvo() == sTrue);
}

const char kUnknown[] = "Unknown database type defined in kombra.cfg!\n\n";

INSTANTIATE_TEST_SUITE_P(
    Catalog, BackEndChoice,
    ::testing::Values(Choice{"UnsetKeepsTarvo", Tarvo, std::nullopt, Tarvo, ""},
                      Choice{"LowerCase", Tarvo, "sqlite", SQLite, ""},
                      Choice{"UpperCase", Tarvo, "SQLITE", SQLite, ""},
                      Choice{"MixedCase", Tarvo, "SqLite", SQLite, ""},
                      Choice{"TarvoWord", SQLite, "TARVO", Tarvo, ""},
                      Choice{"UnknownKeepsTarvo", Tarvo, "Oracle", Tarvo, kUnknown},
                      Choice{"UnknownKeepsSQLite", SQLite, "Oracle", SQLite, kUnknown}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Catalog, TarvoAnswersTheRowsItDoesNotServe)
{
    ASSERT_EQ(1, dbSetDatabaseType(Tarvo, "ignored"));
    EXPECT_STREQ("", dbGetDatabaseName());
    EXPECT_EQ(sTrue, dbIsLocal());
    EXPECT_EQ(0, dbQueryExec("SELECT 1;"));
    EXPECT_EQ(nullptr, dbFetchRow(nullptr));
    EXPECT_EQ(0u, dbNumberRows(nullptr));
    EXPECT_EQ(0, dbCreate("other"));
    DbRows rows;
    EXPECT_EQ(0, dbQueryRows("SELECT 1;", {}, rows));
    // The dBASE catalog's own look-ups answer from the project tree.
    EXPECT_EQ(kCP3DRH, dbGetDataKey("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"));
    EXPECT_STREQ("CLUSTERII/C1/HALDE/3DR/CP3DRH", dbHierarchyString(kCP3DRH));
}

// ---- File names ----------------------------------------------------------------

TEST(MakeFileName, DropsSecondsAndCutsToTheBuffer)
{
    struct Case {
        unsigned short yr, day;
        long msec;
        char tail;
        int len;
        const char *expected;
    } cases[] = {
        {2001, 45, H(13, 7) + 59999, 'H', 100, "X20010451307H"},
        {2001, 45, 0, 'D', 100, "X20010450000D"},
        {2003, 1, H(23, 59), 'I', 100, "X20030012359I"},
        {2001, 45, 0, 'H', 5, "X200"},
    };
    for (const Case &c : cases) {
        char loc[100];
        EXPECT_EQ(13, MakeFileName("X", c.yr, c.day, c.msec, c.tail, loc, c.len));
        EXPECT_STREQ(c.expected, loc);
    }
    EXPECT_EQ(18, MakeFileName("CP3DRH", 2003, 32, H(14, 5) + 30000, 'H', nullptr, 0));
}

}  // namespace
