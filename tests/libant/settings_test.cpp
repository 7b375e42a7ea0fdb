// kombra.cfg table, GetEnv and the time triple.
#include "libant.h"
#include "support.h"

#include <string>

using kombra_test::ScopedEnv;
using kombra_test::TempDir;
using kombra_test::WriteFile;

namespace {

class KombraCfg : public ::testing::Test {
protected:
    void SetUp() override { FreeKOMBRACfg(); }
    void TearDown() override { FreeKOMBRACfg(); }

    // Loads text as kombra.cfg and returns what was written to stderr.
    std::string Load(const std::string &text)
    {
        WriteFile(dir.file("kombra.cfg"), text);
        testing::internal::CaptureStderr();
        InitKOMBRACfg(dir.file("kombra.cfg").c_str());
        return testing::internal::GetCapturedStderr();
    }

    TempDir dir;
    ScopedEnv noHome{"KOMBRA_HOME", std::nullopt};
    ScopedEnv noConfig{"KOMBRA_CONFIG", std::nullopt};
};

TEST_F(KombraCfg, QuotedValuesAreStoredAndFoundByExactName)
{
    ScopedEnv unset("KOMBRA_DB_TYPE", std::nullopt);
    EXPECT_EQ("", Load("KOMBRA_DB_TYPE=\"SQLite\"\nOTHER = junk\"x\"tail\n"));
    ASSERT_NE(nullptr, GetEnv("KOMBRA_DB_TYPE"));
    EXPECT_STREQ("SQLite", GetEnv("KOMBRA_DB_TYPE"));
    // The name is taken untrimmed, text outside the quotes is ignored.
    EXPECT_EQ(nullptr, GetEnv("OTHER"));
    EXPECT_STREQ("x", GetEnv("OTHER "));
    EXPECT_EQ(nullptr, GetEnv("kombra_db_type"));
}

TEST_F(KombraCfg, EnvironmentWinsAndEmptyValueCountsAsSet)
{
    Load("TEMP_KOMBRA_X=\"file\"\n");
    ScopedEnv env("TEMP_KOMBRA_X", "");
    EXPECT_STREQ("", GetEnv("TEMP_KOMBRA_X"));
}

TEST_F(KombraCfg, InnerQuotesStayInTheValue)
{
    Load("Q=\"a\"b\"\n");
    EXPECT_STREQ("a\"b", GetEnv("Q"));
}

TEST_F(KombraCfg, FaultyLinesAreReportedAndSkipped)
{
    const std::string err = Load("\n# comment\nA=unquoted\nB=\"open\nC=\"ok\"\n");
    EXPECT_EQ("Error reading kombra.cfg file - No equal sign!\n"
              "Error reading kombra.cfg file - No equal sign!\n"
              "Error reading kombra.cfg file - no leading quote!\n"
              "Error reading kombra.cfg file - no trailing quote!\n",
              err);
    EXPECT_EQ(nullptr, GetEnv("A"));
    EXPECT_EQ(nullptr, GetEnv("B"));
    EXPECT_STREQ("ok", GetEnv("C"));
}

TEST_F(KombraCfg, OnlyTwentyEntriesAreRead)
{
    std::string text;
    for (int i = 0; i < 25; ++i)
        text += "V" + std::to_string(i) + "=\"" + std::to_string(i) + "\"\n";
    Load(text);
    EXPECT_STREQ("19", GetEnv("V19"));
    EXPECT_EQ(nullptr, GetEnv("V20"));
    EXPECT_EQ(20, numRead);
}

TEST_F(KombraCfg, ConfigDefaultsToHomeConfig)
{
    ScopedEnv home("KOMBRA_HOME", "/opt/kombra");
    Load("A=\"1\"\n");
    EXPECT_STREQ("/opt/kombra/config", GetEnv("KOMBRA_CONFIG"));
}

TEST_F(KombraCfg, ConfigDefaultUsesHomeFromTheFileAndSurvivesAFullTable)
{
    std::string text = "KOMBRA_HOME=\"/srv/k\"\n";
    for (int i = 1; i < 25; ++i)
        text += "V" + std::to_string(i) + "=\"x\"\n";
    Load(text);
    EXPECT_STREQ("/srv/k/config", GetEnv("KOMBRA_CONFIG"));
    EXPECT_EQ(KOMBRA_CFG_MAX + 1, numRead);
}

TEST_F(KombraCfg, ConfigLineEvenWhenRejectedSuppressesTheDefault)
{
    ScopedEnv home("KOMBRA_HOME", "/opt/kombra");
    Load("KOMBRA_CONFIG=/no/quotes\n");
    EXPECT_EQ(nullptr, GetEnv("KOMBRA_CONFIG"));
}

TEST_F(KombraCfg, NoHomeAnywhereStoresNoDefault)
{
    Load("A=\"1\"\n");
    EXPECT_EQ(nullptr, GetEnv("KOMBRA_CONFIG"));
}

TEST_F(KombraCfg, MissingFileIsSilentButStillDefaults)
{
    ScopedEnv home("KOMBRA_HOME", "/h");
    testing::internal::CaptureStderr();
    InitKOMBRACfg(dir.file("absent.cfg").c_str());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_STREQ("/h/config", GetEnv("KOMBRA_CONFIG"));
}

TEST_F(KombraCfg, SecondInitIsIgnoredUntilFreed)
{
    Load("A=\"first\"\n");
    WriteFile(dir.file("other.cfg"), "A=\"second\"\n");
    InitKOMBRACfg(dir.file("other.cfg").c_str());
    EXPECT_STREQ("first", GetEnv("A"));
    FreeKOMBRACfg();
    EXPECT_EQ(nullptr, GetEnv("A"));
    InitKOMBRACfg(dir.file("other.cfg").c_str());
    EXPECT_STREQ("second", GetEnv("A"));
}

TEST_F(KombraCfg, VeryLongLinesDoNotOverrun)
{
    Load("L=\"" + std::string(5000, 'z') + "\"\nM=\"m\"\n");
    EXPECT_STREQ("m", GetEnv("M"));
}

struct TimeCase {
    Time_t a, b;
    int expected;
};

void PrintTo(const TimeCase &c, std::ostream *os)
{
    *os << "{" << c.a.yr << "," << c.a.day << "," << c.a.msec << "} vs {" << c.b.yr << "," << c.b.day << ","
        << c.b.msec << "}";
}

class CompareTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(CompareTimes, OrdersFieldByField)
{
    const TimeCase &c = GetParam();
    EXPECT_EQ(c.expected, compare_times(c.a, c.b));
    EXPECT_EQ(-c.expected, compare_times(c.b, c.a));
}

INSTANTIATE_TEST_SUITE_P(Cases, CompareTimes,
                         ::testing::Values(TimeCase{{2003, 32, 0}, {2003, 31, 86400000}, 1},
                                           TimeCase{{2003, 1, 5}, {2003, 1, 5}, 0},
                                           TimeCase{{2002, 365, 86399999}, {2003, 1, 0}, -1},
                                           TimeCase{{2003, 1, -1}, {2003, 1, 0}, -1},
                                           TimeCase{{-1, 1, 0}, {0, 1, 0}, -1}),
                         [](const auto &info) { return "Case" + std::to_string(info.index); });

}  // namespace
