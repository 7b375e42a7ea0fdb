// The registry of loaded descriptions on a configured archive, with the
// description files found through the catalog of the test program (SQLite
// or dBASE): which file is loaded, what later requests find, and what a
// failed look-up or load leaves behind.
#include "config_fixture.h"
#include "config_reset.h"
#include "keld_fixture.h"
#include "libKELD.h"
#include "libdbSQL.h"
#include "registry_catalog.h"
#include "support.h"

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using kombra_test::ScopedEnv;
using kombra_test::TempDir;

namespace {

constexpr KOMBRA_ULONG kKey = 8921217;  // CLUSTERII/C1/HALDE/3DR/CP3DRH

using keld_registry_test::Span;

class Registry : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(root.path() / "config");
        kombra_fixtures::WriteStandardConfig(root.file("config"), root.str());
        cfg_test::ResetConfiguration();
        CfgInit();
        Catalog({{1, 365}});
        ASSERT_EQ(keld_registry_test::CatalogType(), dbGetDatabaseType());
    }
    void TearDown() override
    {
        CloseKELD();
        dbClose();
        cfg_test::ResetConfiguration();
    }

    // The catalog's description entries of the key, each covering its days;
    // an open catalog is opened again.
    void Catalog(const std::vector<Span> &spans)
    {
        dbClose();
        keld_registry_test::WriteDescriptions(root.str(), spans);
        ASSERT_EQ(1, dbInitializeMsg()) << dbErrorMsg();
    }

    // The catalogued file of a description beginning on day of 2003, and the
    // text file beside it.
    std::string Catalogued(int day) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "CP3DRH2003%03d0000", day);
        return dir() + "/" + name + "I";
    }
    std::string TextBeside(int day) const
    {
        const std::string path = Catalogued(day);
        return path.substr(0, path.size() - 1) + "V.v3";
    }
    std::string dir() const { return root.str() + "/data/CLUSTERII/C1/HALDE/3DR"; }

    // A description of the fixture spanning days from .. to of 2003.
    static kombra_fixtures::KeldText Description(Span span, const std::string &mission = "CLUSTERII")
    {
        kombra_fixtures::HaldeKeldOptions o;
        o.beginDay = span.from;
        o.endYear = 2003;
        o.endDay = span.to;
        o.mission = mission;
        return kombra_fixtures::HaldeDescription(o);
    }
    void WriteText(int day, Span span, const std::string &mission = "CLUSTERII")
    {
        std::filesystem::create_directories(dir());
        Description(span, mission).Write(TextBeside(day));
    }
    void WriteOld(int day, Span span, const std::string &mission = "CLUSTERII")
    {
        std::filesystem::create_directories(dir());
        kombra_fixtures::OldImageOf(Description(span, mission)).Write(Catalogued(day));
    }

    // ReadKELD of the mission for a request on days from .. to of 2003 (year
    // -1: any description of the key).
    int Mission(KOMBRA_ULONG key, int from, int to, std::string &mission, KOMBRA_SHORT year = 2003)
    {
        char *text = nullptr;
        const int status = ReadKELD(key, year, static_cast<KOMBRA_SHORT>(from), 3600, 0, 2003,
                                    static_cast<KOMBRA_SHORT>(to), 7200, 0, &text, _MISSION, 0, 0, -1);
        mission = status == 1 && text != nullptr ? text : "";
        return status;
    }

    TempDir root;
    ScopedEnv configEnv{"KOMBRA_CONFIG", root.file("config")};
    ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
    ScopedEnv dataEnv{"KOMBRA_DATA", root.str()};
    ScopedEnv typeEnv{"KOMBRA_DB_TYPE", keld_registry_test::CatalogType() == SQLite ? "SQLite" : "Tarvo"};
};

// The text file beside the catalogued one wins; without it the catalogued
// file is read in the older format.
TEST_F(Registry, LoadsTheTextFileBesideTheCatalogedOneElseTheOlderFile)
{
    WriteOld(1, {1, 365}, "OLDER");
    std::string mission;
    EXPECT_STATUS(1, Mission(kKey, 32, 33, mission));
    EXPECT_EQ("OLDER", mission);
    EXPECT_EQ(Catalogued(1), KELDs[0]->_FileName);
    EXPECT_EQ(0, KELDs[0]->_usingNewKELD);
    EXPECT_EQ(365, KELDs[0]->_ETime.day);
    KOMBRA_FLOAT version = 0;
    EXPECT_STATUS(1, ReadKELD(0, 0, 0, 0, 0, 0, 0, 0, 0, &version, _VERSION, 0, 0, -1));
    EXPECT_EQ(2.1f, version);

    CloseKELD();
    WriteText(1, {1, 365});
    EXPECT_STATUS(1, Mission(kKey, 32, 33, mission));
    EXPECT_EQ("CLUSTERII", mission);
    ASSERT_EQ(1, numKELDs);
    EXPECT_EQ(TextBeside(1), KELDs[0]->_FileName);
    EXPECT_EQ(1, KELDs[0]->_usingNewKELD);
    EXPECT_EQ(2003, KELDs[0]->_BTime.yr);
    EXPECT_EQ(86399999, KELDs[0]->_ETime.msec);
}

TEST_F(Registry, LoadsOnceServesFromMemoryAndForgetsOnClosing)
{
    WriteText(1, {1, 300});
    std::string mission;
    EXPECT_STATUS(1, Mission(kKey, 32, 33, mission));
    std::filesystem::rename(TextBeside(1), TextBeside(1) + ".away");  // a second load would now fail
    EXPECT_STATUS(1, Mission(kKey, 100, 340, mission));  // begin inside, end after the span
    EXPECT_STATUS(1, Mission(kKey, 0, 0, mission, -1));
    EXPECT_STATUS(1, Mission(0, 0, 0, mission));
    KOMBRA_SHORT sensors = 0;
    EXPECT_STATUS(1, read_nur(kKey, "", 0, &sensors, _SEN, 0, 0, -1));
    EXPECT_EQ(4, sensors);
    EXPECT_EQ(1, numKELDs);

    CloseKELD();
    EXPECT_EQ(0, numKELDs);
    EXPECT_EQ(nullptr, _Cache);
    testing::internal::CaptureStderr();
    EXPECT_STATUS(-1, read_nur(kKey, "", 0, &sensors, _SEN, 0, 0, -1));
    EXPECT_STATUS(-1, ReadKELD(0, 0, 0, 0, 0, 0, 0, 0, 0, &sensors, _SEN, 0, 0, -1));
    EXPECT_EQ("ERROR - KELD not initialized!\nERROR - KELD not initialized!\n",
              testing::internal::GetCapturedStderr());
    CloseKELD();  // nothing left to close
    std::filesystem::rename(TextBeside(1) + ".away", TextBeside(1));
    EXPECT_STATUS(1, Mission(kKey, 32, 33, mission));  // loaded again
}

TEST_F(Registry, EachSpanOfAKeyIsItsOwnEntry)
{
    Catalog({{1, 180}, {180, 365}});
    WriteText(1, {1, 180}, "FIRST");
    WriteOld(180, {180, 365}, "SECOND");
    std::string mission;
    EXPECT_STATUS(1, Mission(kKey, 200, 201, mission));
    EXPECT_EQ("SECOND", mission);
    EXPECT_STATUS(1, Mission(kKey, 32, 33, mission));
    EXPECT_EQ("FIRST", mission);
    EXPECT_EQ(2, numKELDs);
    EXPECT_STATUS(1, Mission(kKey, 0, 0, mission, -1));  // any span: the first in the registry
    EXPECT_EQ("SECOND", mission);
    char *text = nullptr;
    EXPECT_STATUS(1, read_nur(kKey, "", 0, &text, _MISSION, 0, 0, -1));
    EXPECT_STREQ("SECOND", text);
}

TEST_F(Registry, DescriptionThatDisagreesWithTheCatalogIsOutOfDate)
{
    WriteText(1, {100, 200});
    std::string mission;
    testing::internal::CaptureStderr();
    EXPECT_STATUS(KELD_OUT_OF_DATE, Mission(kKey, 32, 33, mission));
    EXPECT_EQ("ERROR - KELD database is out of date!  The file, " + TextBeside(1) +
                  ", is reporting a different time than the database reports.  You must repromote the meta data!\n",
              testing::internal::GetCapturedStderr());
    // Asked again and again, it takes one entry and is never served from
    // memory: not even to a request for any span of the key, which finds no
    // file once it is gone.
    testing::internal::CaptureStderr();
    for (int n = 0; n < 50; ++n)
        ASSERT_EQ(KELD_OUT_OF_DATE, Mission(kKey, 32, 33, mission));
    EXPECT_EQ(1, numKELDs);
    std::filesystem::remove(TextBeside(1));
    EXPECT_NE(1, Mission(kKey, 150, 151, mission, -1));
    char *text = nullptr;
    EXPECT_STATUS(-1, read_nur(kKey, "", 0, &text, _MISSION, 0, 0, -1));
    testing::internal::GetCapturedStderr();
    // An older file of the wrong version says so the same way: its times
    // stay zero.
    CloseKELD();
    std::filesystem::remove(TextBeside(1));
    kombra_fixtures::KeldOldImage image = kombra_fixtures::OldImageOf(Description({1, 365}));
    image.version = "V2.0";
    image.Write(Catalogued(1));
    testing::internal::CaptureStderr();
    EXPECT_STATUS(KELD_OUT_OF_DATE, Mission(kKey, 32, 33, mission));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find(Catalogued(1)));
    EXPECT_EQ(1, numKELDs);
}

// The reader's form: a list comes whole or, when the caller's buffer is too
// small for it, as a failure (never cut to what fits), in both formats.
TEST_F(Registry, CheckedRequestsGetEveryValueOrFail)
{
    for (const bool text : {true, false}) {
        SCOPED_TRACE(text ? "text" : "older");
        CloseKELD();
        std::filesystem::remove(TextBeside(1));
        text ? WriteText(1, {1, 365}) : WriteOld(1, {1, 365});
        auto read = [](KOMBRA_LONG *var, size_t size) {
            return ReadKELDChecked(kKey, 2003, 32, 3600, 0, 2003, 33, 7200, 0, var, size, _TIME_OFF, 0, 0, -1);
        };
        KOMBRA_LONG offsets[5] = {-1, -1, -1, -1, -1};
        EXPECT_STATUS(1, read(offsets, sizeof offsets));
        EXPECT_EQ((std::vector<KOMBRA_LONG>{0, 125, 250, 375, -1}), std::vector<KOMBRA_LONG>(offsets, offsets + 5));
        KOMBRA_LONG three[4] = {-1, -1, -1, -1};
        EXPECT_STATUS(KELD_SHORT_BUFFER, read(three, 3 * sizeof(KOMBRA_LONG)));
        EXPECT_EQ(-1, three[3]);
    }
}

// Failures leave no description to read through, and repeating them does
// not pile up entries.
TEST_F(Registry, FailedLookUpsAndLoadsLeaveNothingToRead)
{
    std::string mission;
    testing::internal::CaptureStderr();
    EXPECT_STATUS(1200, Mission(kKey, 400, 401, mission));  // the catalog has no entry then
    EXPECT_STATUS(KELD_NOT_ONLINE, Mission(kKey, 32, 33, mission));
    EXPECT_STATUS(KELD_NOT_ONLINE, Mission(kKey, 32, 33, mission));
    EXPECT_EQ("ERROR - KELD " + Catalogued(1) + " needs to be online!  ERROR - KELD " + Catalogued(1) +
                  " needs to be online!  ",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(1, numKELDs);

    // A file that is cut short: refused, and then out of date, as its times
    // could not be read.
    std::filesystem::create_directories(dir());
    auto bytes = kombra_fixtures::OldImageOf(Description({1, 365})).Bytes();
    bytes.resize(bytes.size() - 1);
    kombra_test::WriteBytes(Catalogued(1), bytes);
    testing::internal::CaptureStderr();
    EXPECT_STATUS(KELD_OUT_OF_DATE, Mission(kKey, 32, 33, mission));
    EXPECT_EQ(1, numKELDs);

    // No later request reads through the entry: not by any span (which asks
    // the catalog again), nor by key 0 or read_nur.
    char buf[64];
    EXPECT_NE(1, Mission(kKey, 0, 0, mission, -1));
    testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_STATUS(-1, ReadKELD(0, 0, 0, 0, 0, 0, 0, 0, 0, buf, _MISSION, 0, 0, -1));
    EXPECT_STATUS(-1, read_nur(kKey, "", 0, buf, _MISSION, 0, 0, -1));
    EXPECT_EQ("ERROR - KELD not initialized!\nERROR - KELD not initialized!\n",
              testing::internal::GetCapturedStderr());

    WriteOld(1, {1, 365});
    EXPECT_STATUS(1, Mission(kKey, 32, 33, mission));
    EXPECT_EQ(1, numKELDs);
}

TEST_F(Registry, ConcurrentFirstRequestsLoadOnce)
{
    WriteOld(1, {1, 365});
    std::vector<int> status(8, 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < status.size(); ++i)
        threads.emplace_back([&status, i] { status[i] = InitializeKELD(kKey, 2003, 32, 0, 0, 2003, 33, 0, 0); });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(std::vector<int>(8, 1), status);
    EXPECT_EQ(1, numKELDs);
}

// Requests of two threads for two spans each read their own description:
// no thread moves the current entry between another's search and read.
TEST_F(Registry, ConcurrentRequestsReadTheirOwnDescription)
{
    Catalog({{1, 180}, {180, 365}});
    WriteText(1, {1, 180}, "FIRST");
    WriteOld(180, {180, 365}, "SECOND");
    std::string mission;
    ASSERT_EQ(1, Mission(kKey, 200, 201, mission));
    ASSERT_EQ(1, Mission(kKey, 32, 33, mission));
    std::vector<int> wrong(2, 0);
    auto reader = [this, &wrong](size_t t, int day, const char *expected) {
        std::string got;
        for (int i = 0; i < 20000; ++i)
            if (Mission(kKey, day, day + 1, got) != 1 || got != expected)
                ++wrong[t];
    };
    std::thread first(reader, 0, 32, "FIRST");
    std::thread second(reader, 1, 200, "SECOND");
    first.join();
    second.join();
    EXPECT_EQ(std::vector<int>(2, 0), wrong);
    EXPECT_EQ(2, numKELDs);
}

TEST_F(Registry, FilesNamedDirectly)
{
    WriteText(1, {1, 365});
    WriteOld(1, {1, 365}, "OLDER");
    EXPECT_STATUS(1, InitializeKELDFromFile(TextBeside(1).c_str()));
    EXPECT_STATUS(1, InitializeKELDFromFile(Catalogued(1).c_str()));
    EXPECT_STATUS(1, InitializeKELDFromFile(TextBeside(1).c_str()));
    EXPECT_EQ(2, numKELDs);
    EXPECT_EQ(0, whichKELD);
    EXPECT_EQ(0u, KELDs[1]->_DataKey);
    EXPECT_EQ(365, KELDs[1]->_ETime.day);
    EXPECT_STATUS(KELD_NOT_ONLINE, InitializeKELDFromFile(root.file("absent").c_str()));
}

}  // namespace
