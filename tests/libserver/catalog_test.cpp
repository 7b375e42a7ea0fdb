// File look-ups through the dBASE catalog tables.
#include "dbf_fixture.h"
#include "server_fixture.h"

#include <filesystem>
#include <string>

using kombra_fixtures::DbfCatalogEntry;
using kombra_test::ScopedEnv;

namespace {

constexpr long kHour = 3600000;

class DbaseCatalog : public ConfiguredArchive {
protected:
    void SetUp() override
    {
        Load();
        Tarvo_dbInitialize();
        key = Key("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH");
        // CP3DRH: 00-01, 01-02, then a gap, 03-04 on day 32 of 2003; CP3DRL
        // shares the table with 00-05.
        kombra_fixtures::WriteCatalogTables(
            base(), "HD",
            {DbfCatalogEntry{"CP3DRH", 2003, 32, 0, 2003, 32, kHour},
             DbfCatalogEntry{"CP3DRL", 2003, 32, 0, 2003, 32, 5 * kHour},
             DbfCatalogEntry{"CP3DRH", 2003, 32, 3 * kHour, 2003, 32, 4 * kHour},
             DbfCatalogEntry{"CP3DRH", 2003, 32, kHour, 2003, 32, 2 * kHour}});
        kombra_fixtures::WriteCatalogTables(base(), "I", {DbfCatalogEntry{"CP3DRH", 2003, 1, 0, 2004, 1, 0}});
    }

    std::string base() const { return root.str() + "/catalog/CLUSTERII/C1/HALDE/Database/3DR"; }
    std::string dataDir() const { return root.str() + "/data/CLUSTERII/C1/HALDE/3DR"; }

    // get_file_name for a request on day 32 between two times (msec).
    int Find(long from, long to, RequestedDataType type = _HEADER_, const char *exten = "")
    {
        name[0] = '\0';
        return get_file_name(key, Time_t{2003, 32, static_cast<KOMBRA_LONG>(from)}, 2003, 32, to, type, exten,
                             name);
    }

    KOMBRA_ULONG key = 0;
    char name[4096] = "";
};

TEST_F(DbaseCatalog, EntryFileNamesCarryBeginHourAndMinute)
{
    EXPECT_STREQ("CP3DRH20030321405H", Tarvo_MakeFileName("CP3DRH", 2003, 32, 14 * kHour + 5 * 60000 + 30000, 'H'));
    EXPECT_STREQ("X20010451307I", Tarvo_MakeFileName("X", 2001, 45, 13 * kHour + 7 * 60000 + 59999, 'I'));
}

TEST_F(DbaseCatalog, RequestsFindTheCoveringEntry)
{
    EXPECT_EQ(1, Find(kHour, kHour + 10));  // begins exactly at an entry
    EXPECT_EQ(dataDir() + "/CP3DRH20030320100H", std::string(name));
    EXPECT_EQ(1, Find(kHour + 1800000, kHour + 1900000));  // inside an entry that began earlier
    EXPECT_EQ(dataDir() + "/CP3DRH20030320100H", std::string(name));
    EXPECT_EQ(1, Find(10, 20));
    EXPECT_EQ(dataDir() + "/CP3DRH20030320000H", std::string(name));
    EXPECT_EQ(1, Find(2 * kHour + 1800000, 3 * kHour + 60000, _DATA_));  // gap, overlapping the later entry
    EXPECT_EQ(dataDir() + "/CP3DRH20030320300D", std::string(name));
    EXPECT_EQ(TARVO_NO_DATA, Find(2 * kHour + 60000, 2 * kHour + 120000));  // inside the gap only
    EXPECT_EQ(TARVO_NO_DATA, Find(5 * kHour, 6 * kHour));                   // after the last entry
    EXPECT_EQ("", std::string(name));
}

TEST_F(DbaseCatalog, OtherInstrumentsOfTheTableAreSkipped)
{
    key = Key("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRL");
    EXPECT_EQ(1, Find(4 * kHour, 4 * kHour + 10));
    EXPECT_EQ(dataDir() + "/CP3DRL20030320000H", std::string(name));
}

TEST_F(DbaseCatalog, HeaderAndDataPairAndDescriptionFiles)
{
    char h[4096] = "", d[4096] = "";
    EXPECT_EQ(1, Tarvo_dbNURVGetFile(key, 2003, 32, 10, 2003, 32, 20, _H_AND_D_, "", h, d));
    EXPECT_EQ(dataDir() + "/CP3DRH20030320000H", std::string(h));
    EXPECT_EQ(dataDir() + "/CP3DRH20030320000D", std::string(d));
    EXPECT_EQ(1, Tarvo_dbNURVGetFile(key, 2003, 32, 10, 2003, 32, 20, _KELD_, "", h, nullptr));
    EXPECT_EQ(dataDir() + "/CP3DRH20030010000I", std::string(h));
}

TEST_F(DbaseCatalog, ExtensionsPutFilesInTheUsersDataFolder)
{
    {
        ScopedEnv userData("USER_DATA", "/u/data");
        EXPECT_EQ(1, Find(10, 20, _HEADER_, ".gz"));
        EXPECT_STREQ("/u/data/CP3DRH20030320000H.gz", name);
    }
    ScopedEnv noUserData("USER_DATA", std::nullopt);
    ScopedEnv home("HOME", "/home/sci");
    EXPECT_EQ(1, Find(10, 20, _KELD_, ".x"));
    EXPECT_STREQ("/home/sci/CP3DRH20030010000I.x", name);
}

TEST_F(DbaseCatalog, RealTimeFilesLieInTheRealTimeFolder)
{
    char h[4096] = "", d[4096] = "";
    EXPECT_EQ(1, Tarvo_dbNURVGetRealTimeFile(key, _H_AND_D_, "", h, d));
    const std::string dir = root.str() + "/realtime/CLUSTERII/C1/HALDE/3DR";
    EXPECT_EQ(dir + "/CP3DRHH", std::string(h));
    EXPECT_EQ(dir + "/CP3DRHD", std::string(d));
    EXPECT_EQ(1, Tarvo_dbNURVGetFile(key, -2, 0, 0, 0, 0, 0, _KELD_, "", h, nullptr));
    EXPECT_EQ(dir + "/CP3DRHI", std::string(h));
}

TEST_F(DbaseCatalog, MissingTablesAndPathsHaveTheirCodes)
{
    std::filesystem::remove(base() + ".I.NDX");
    EXPECT_EQ(TARVO_OPEN_FAILED, Find(10, 20, _KELD_));
    std::filesystem::remove(base() + ".HD.DBF");
    EXPECT_EQ(TARVO_OPEN_FAILED, Find(10, 20));
    EXPECT_EQ(TARVO_NO_PATH, get_file_name(0, Time_t{2003, 32, 0}, 2003, 32, 1, _HEADER_, "", name));
}

TEST_F(DbaseCatalog, ImpossibleBeginTimesAreRefused)
{
    kombra_fixtures::WriteCatalogTables(base(), "HD", {DbfCatalogEntry{"CP3DRH", 2003, 32, -5, 2003, 32, kHour}});
    EXPECT_EQ(TARVO_READ_FAILED, Find(10, 20));
    kombra_fixtures::WriteCatalogTables(base(), "HD", {DbfCatalogEntry{"CP3DRH", 2003, 400, 0, 2003, 401, 0}});
    EXPECT_EQ(TARVO_READ_FAILED, get_file_name(key, Time_t{2003, 400, 0}, 2003, 400, 10, _HEADER_, "", name));
}

// Overlapping entries: the dBASE catalog walks its index from where the
// request begin would stand, one entry back at most, so it may answer with
// another covering entry than the earliest beginning one, or with none.
TEST_F(DbaseCatalog, OverlappingEntriesAnswerAsTheIndexWalkFindsThem)
{
    kombra_fixtures::WriteCatalogTables(base(), "HD",
                                        {DbfCatalogEntry{"CP3DRH", 2003, 40, 0, 2003, 50, 0},
                                         DbfCatalogEntry{"CP3DRH", 2003, 41, 0, 2003, 42, 0},
                                         DbfCatalogEntry{"CP3DRH", 2003, 42, 0, 2003, 43, 0}});
    auto header = [this](long day) {
        name[0] = '\0';
        const int status = get_file_name(key, Time_t{2003, static_cast<KOMBRA_LONG>(day), kHour}, 2003, day,
                                          kHour + 1000, _HEADER_, "", name);
        return status == 1 ? std::filesystem::path(name).filename().string() : std::to_string(status);
    };
    EXPECT_EQ("CP3DRH20030400000H", header(41));  // the entry before the one found overlaps too
    EXPECT_EQ("CP3DRH20030420000H", header(42));  // the one before does not: the long one stays unseen
    EXPECT_EQ("1200", header(45));  // the last entry ends before; nothing after it
}

// Catalog tables come from an outside program: a field of another type than
// the one read (copies as wide as that type) is refused, never copied.
TEST_F(DbaseCatalog, MistypedFieldsAreRefusedUnread)
{
    struct Case {
        const char *field;
        kombra_fixtures::DbfField as;
        const char *value;
        int expected;
    };
    const Case cases[] = {
        {"B_MSEC", {"B_MSEC", 'C', 8, 0}, "0", TARVO_READ_FAILED},  // 9 bytes into a 32-bit number
        {"E_YR", {"E_YR", 'D', 8, 0}, "20030201", TARVO_READ_FAILED},
        {"B_DAY", {"B_DAY", 'L', 1, 0}, "T", TARVO_READ_FAILED},
        {"E_MSEC", {"E_MSEC", 'C', 200, 0}, "3600000", TARVO_READ_FAILED},
        {"V_INST", {"V_INST", 'N', 3, 1}, "1.5", TARVO_NO_DATA},  // a double into 4 bytes of text
        {"V_INST", {"V_INST", 'D', 8, 0}, "20030201", TARVO_NO_DATA},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.field) + " as " + c.as.type);
        auto fields = kombra_fixtures::CatalogFields();
        auto row = kombra_fixtures::CatalogRow({"CP3DRH", 2003, 32, 0, 2003, 32, kHour});
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].name == c.field) {
                fields[i] = c.as;
                row[i] = c.value;
            }
        kombra_fixtures::WriteDbf(base() + ".HD.DBF", fields, {row});
        kombra_fixtures::WriteNdx(base() + ".HD.NDX", fields, {row}, kombra_fixtures::CatalogKeyFields());
        EXPECT_EQ(c.expected, Find(10, 20));
        EXPECT_STREQ("", name);
    }
}

TEST_F(DbaseCatalog, LookUpBeforeInitialisationWarnsAndGoesOn)
{
    Tarvo_dbClose();
    char h[4096] = "";
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, Tarvo_dbNURVGetFile(key, 2003, 32, 10, 2003, 32, 20, _HEADER_, "", h, nullptr));
    EXPECT_EQ("You need to call dbInitialize!\n", testing::internal::GetCapturedStdout());
}

TEST_F(DbaseCatalog, TypeZeroIsRefusedByTheLowLevelLookUp)
{
    EXPECT_DEATH(Find(10, 20, _H_AND_D_), "Assertion `type != _H_AND_D_' failed");
}

TEST_F(DbaseCatalog, CatalogBaseNamesAndItems)
{
    EXPECT_EQ(base(), std::string(Tarvo_dbFilename(key)));
    EXPECT_EQ(root.str() + "/bin/fetch_data", std::string(Tarvo_dbCfgItem(key, "DataPromote", 0)));
    EXPECT_EQ(nullptr, Tarvo_dbCfgItem(key, "NetID", 1));
    EXPECT_EQ(dataDir(), std::string(Tarvo_dbCfgPath(key, "PostTimePath")));
    EXPECT_EQ(nullptr, Tarvo_dbCfgPath(0, "PostTimePath"));
}

// A directory or path that does not fit its buffer is refused: cut, it would
// name a file in another folder.
TEST_F(ConfiguredArchive, PathsThatDoNotFitTheirBuffersAreRefused)
{
    auto config = kombra_fixtures::MakeStandardConfig(root.str());
    for (auto &item : config.db.items)
        if (item.name == "PostTimePath" || item.name == "RealTimePath")
            item.defaults = {root.str() + "/" + std::string(250, 'p')};
    kombra_fixtures::WriteText(configDir() + "/DB.cfg", kombra_fixtures::DbCfgText(config.db));
    Load();
    Tarvo_dbInitialize();
    const KOMBRA_ULONG key = Key("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH");
    kombra_fixtures::WriteCatalogTables(root.str() + "/catalog/CLUSTERII/C1/HALDE/Database/3DR", "HD",
                                        {DbfCatalogEntry{"CP3DRH", 2003, 32, 0, 2003, 32, kHour}});
    char name[4096] = "untouched";
    const Time_t begin{2003, 32, 10};
    EXPECT_EQ(TARVO_PATH_TOO_LONG, get_file_name(key, begin, 2003, 32, 20, _HEADER_, "", name));
    EXPECT_STREQ("ERROR - dbNURVGetFile - File path too long...", Tarvo_dbErrorMsg());
    EXPECT_EQ(TARVO_PATH_TOO_LONG, Tarvo_dbNURVGetRealTimeFile(key, _HEADER_, "", name, nullptr));
    EXPECT_STREQ("ERROR - dbNURVGetRealTimeFile - File path too long...", Tarvo_dbErrorMsg());

    // A whole path beyond the callers' 4096 bytes.
    ScopedEnv userData("USER_DATA", root.str());
    Tarvo_dbInitialize();
    const std::string longExten(4096, 'x');
    EXPECT_EQ(TARVO_PATH_TOO_LONG, get_file_name(key, begin, 2003, 32, 20, _HEADER_, longExten.c_str(), name));
    EXPECT_STREQ("ERROR - dbNURVGetFile - File path too long...", Tarvo_dbErrorMsg());
    EXPECT_STREQ("untouched", name);
}

TEST_F(ConfiguredArchive, PercentDatabasePathDiffersBetweenTheTwoBaseNames)
{
    kombra_test::WriteFile(configDir() + "/DB.cfg", "ITEMS \"DatabasePath\"\nDatabasePath.VALUE \"/db/x%\"\n"
                                                    "LEVELS \"CLUSTERII\"\n");
    Load();
    const KOMBRA_ULONG key = Key("CLUSTERII", "C2", "HALDE", "3DR", "CP3DRH");
    EXPECT_STREQ("/db/Database/3DR", Tarvo_dbFilename(key));
    StrHier_s *node = SourceByStr(Projects, "CLUSTERII", "C2", "HALDE", "3DR", "CP3DRH", nullptr);
    EXPECT_STREQ("/db/x/Database/3DR", DbfFile(node));
    char name[4096];
    EXPECT_EQ(TARVO_NO_PATH, get_file_name(key, Time_t{-1, 0, 0}, 0, 0, 0, _HEADER_, "", name));
}

}  // namespace
