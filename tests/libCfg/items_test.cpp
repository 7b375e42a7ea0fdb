// DB.cfg items attached to the tree and the path look-ups.
#include "config_fixture.h"
#include "libCfg.h"
#include "support.h"
#include "config_reset.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

using kombra_test::ScopedEnv;
using kombra_test::TempDir;
using kombra_test::WriteFile;

namespace {

// Two projects P (missions M, N) and Q (mission M), one experiment E,
// instrument I and virtual instrument V under each mission.
const char *kProjects = "Strings \"P\" \"Q\"\n"
                        "P.Strings \"M\" \"N\"\nQ.Strings \"M\"\n"
                        "P.M.Strings \"E\"\nP.N.Strings \"E\"\nQ.M.Strings \"E\"\n"
                        "P.M.E.Strings \"I\"\nP.N.E.Strings \"I\"\nQ.M.E.Strings \"I\"\n"
                        "P.M.E.I.Strings \"V\"\nP.N.E.I.Strings \"V\"\nQ.M.E.I.Strings \"V\"\n";

class Items : public ::testing::Test {
protected:
    ~Items() override { cfg_test::ResetConfiguration(); }

    // Builds the tree with db as DB.cfg; returns CfgInit's stderr.
    std::string Init(const std::string &db)
    {
        WriteFile(dir.file("PROJECTS.cfg"), kProjects);
        WriteFile(dir.file("DB.cfg"), db);
        WriteFile(dir.file("kombra.cfg"), "");
        testing::internal::CaptureStderr();
        CfgInit();
        return testing::internal::GetCapturedStderr();
    }

    TempDir dir;
    ScopedEnv configEnv{"KOMBRA_CONFIG", dir.str()};
    ScopedEnv homeEnv{"KOMBRA_HOME", std::nullopt};
};

const char *Str(const char *s)
{
    return s ? s : "(null)";
}

TEST_F(Items, LevelValuesOverrideDefaultsAndUnlistedProjectsHaveNone)
{
    const std::string err = Init("ITEMS \"A\" \"B\" \"C\"\nA.VALUE \"x\"\nC.VALUE \"c0\"\n"
                                 "LEVELS \"P\"\nP.A.VALUE \"y\"\n");
    EXPECT_EQ("parse_config: undefined symbol(s)\n\tB.VALUE\n", err);
    EXPECT_STREQ("y", Str(CfgGetItem("A", 0, "P", "M", "E", "I", "V", nullptr)));
    EXPECT_EQ(nullptr, CfgGetItem("B", 0, "P", "M", "E", "I", "V", nullptr));
    EXPECT_STREQ("c0", Str(CfgGetItem("C", 0, "P", "N", nullptr)));
    EXPECT_EQ(nullptr, CfgGetItem("A", 1, "P", nullptr));
    EXPECT_EQ(nullptr, CfgGetItem("Absent", 0, "P", nullptr));
    // Q is not in LEVELS: no item reaches it.
    EXPECT_EQ(nullptr, CfgGetItem("A", 0, "Q", "M", "E", "I", "V", nullptr));
    EXPECT_EQ(nullptr, CfgGetItem("C", 0, "Q", nullptr));
    EXPECT_EQ(nullptr, CfgGetItem("A", 0, "P", "Nope", nullptr));
}

TEST_F(Items, DeeperLevelsWinAndMissingElementsComeFromAbove)
{
    Init("ITEMS \"NetID\" \"Path\"\nNetID.VALUE \"d\"\nPath.VALUE \"/p\"\n"
         "LEVELS \"P\" \"P:M\" \"P:M\"\n"
         "P.NetID.VALUE \"p0\" \"p1\" \"p2\"\nP:M.NetID.VALUE \"m0\" \"m1\"\n");
    EXPECT_STREQ("m0", Str(CfgGetItem("NetID", 0, "P", "M", "E", "I", "V", nullptr)));
    EXPECT_STREQ("m1", Str(CfgGetItem("NetID", 1, "P", "M", nullptr)));
    EXPECT_STREQ("p2", Str(CfgGetItem("NetID", 2, "P", "M", nullptr)));
    EXPECT_EQ(nullptr, CfgGetItem("NetID", 3, "P", "M", nullptr));
    EXPECT_STREQ("p0", Str(CfgGetItem("NetID", 0, "P", "N", "E", nullptr)));
    // The first LEVELS entry for P:M keeps its list (with the defaults for Path).
    StrHier_s *m = SourceByStr(Projects, "P", "M", nullptr);
    auto *items = static_cast<ItemValue_s *>(m->info);
    ASSERT_NE(nullptr, items);
    EXPECT_EQ(2, items->Destroy->NToFree);
    EXPECT_STREQ("NetID", items[0].Item);
    EXPECT_EQ(&items[1], items[0].next);
    EXPECT_EQ(nullptr, items[1].next);
    EXPECT_STREQ("/p", Str(ValueFromItem(m, "Path", 0)));
}

TEST_F(Items, LeadingDollarExpandsOnce)
{
    ScopedEnv home("HOME", "/home/sci");
    ScopedEnv unset("KOMBRA_NOT_SET_ANYWHERE", std::nullopt);
    ScopedEnv dash("A-B_1", "dash");
    Init("ITEMS \"A\" \"B\" \"C\" \"D\" \"E\"\nA.VALUE \"$HOME/x\"\n"
         "B.VALUE \"$KOMBRA_NOT_SET_ANYWHERE/x\"\nC.VALUE \"a$HOME\"\nD.VALUE \"$A-B_1.z\" \"$\"\n"
         "E.VALUE \"$HOME$HOME\"\nLEVELS \"P\"\n");
    EXPECT_STREQ("/home/sci/x", Str(CfgGetItem("A", 0, "P", nullptr)));
    EXPECT_STREQ("$KOMBRA_NOT_SET_ANYWHERE/x", Str(CfgGetItem("B", 0, "P", nullptr)));
    EXPECT_STREQ("a$HOME", Str(CfgGetItem("C", 0, "P", nullptr)));
    EXPECT_STREQ("dash.z", Str(CfgGetItem("D", 0, "P", nullptr)));
    EXPECT_STREQ("$", Str(CfgGetItem("D", 1, "P", nullptr)));
    EXPECT_STREQ("/home/sci$HOME", Str(CfgGetItem("E", 0, "P", nullptr)));
}

TEST_F(Items, PathsAreBuiltFromTheLevelNames)
{
    Init("ITEMS \"PostTimePath\" \"DatabasePath\" \"Flat\"\nPostTimePath.VALUE \"/data\"\n"
         "DatabasePath.VALUE \"/cat\"\nFlat.VALUE \"/data/all%\"\nLEVELS \"P\"\n");
    EXPECT_STREQ("/data/P/M/E/I", Str(CfgGetPath("PostTimePath", "P", "M", "E", "I", "V", nullptr)));
    EXPECT_STREQ("/data/P/M/E/I", Str(CfgGetPath("PostTimePath", "P", "M", "E", "I", nullptr)));
    // Above the instrument the source's own name fills the missing levels.
    EXPECT_STREQ("/data/P/M/M/M", Str(CfgGetPath("PostTimePath", "P", "M", nullptr)));
    EXPECT_STREQ("/data/all", Str(CfgGetPath("Flat", "P", "M", "E", "I", nullptr)));
    EXPECT_EQ(nullptr, CfgGetPath("Absent", "P", nullptr));

    StrHier_s *v = SourceByStr(Projects, "P", "M", "E", "I", "V", nullptr);
    EXPECT_STREQ("/data/P/M", Str(CfgPath(v, "PostTimePath", 2)));
    EXPECT_STREQ("/cat/P/M/E/Database/I", Str(DbfFile(v)));
    StrHier_s *q = SourceByStr(Projects, "Q", "M", "E", "I", "V", nullptr);
    EXPECT_EQ(nullptr, DbfFile(q));
}

TEST_F(Items, LongValuesAreCutToThePathBuffers)
{
    const std::string base(300, 'b');
    Init("ITEMS \"PostTimePath\"\nPostTimePath.VALUE \"/" + base + "\"\nLEVELS \"P\"\n");
    const char *path = CfgGetPath("PostTimePath", "P", "M", "E", "I", nullptr);
    ASSERT_NE(nullptr, path);
    EXPECT_EQ(255u, std::string(path).size());
}

TEST_F(Items, LevelsNamingNoNodeAreDropped)
{
    EXPECT_EQ("", Init("ITEMS \"A\"\nA.VALUE \"x\"\nLEVELS \"Nope\" \"P:Nope\" \"P:N\"\n"));
    EXPECT_EQ(nullptr, CfgGetItem("A", 0, "P", "M", nullptr));
    EXPECT_STREQ("x", Str(CfgGetItem("A", 0, "P", "N", "E", nullptr)));
}

// The fixture writer's texts load without reports beyond the one its
// description asks for (an item without defaults).
TEST(ConfigFixture, WrittenFilesLoadAsDescribed)
{
    using kombra_fixtures::HierNode;
    TempDir dir;
    ScopedEnv configEnv("KOMBRA_CONFIG", dir.str());
    ScopedEnv homeEnv("KOMBRA_HOME", std::nullopt);
    const std::vector<HierNode> projects = {
        HierNode{"P",
                 {HierNode{"My M", {HierNode{"E", {HierNode{"I", {HierNode{"V", {}}}}}}}},
                  HierNode{"N", {HierNode{"E", {HierNode{"I", {HierNode{"V", {}}}}}}}}}},
        HierNode{"Q", {}}};
    kombra_fixtures::DbConfig db;
    db.items = {{"A", {"x"}, {{"P:N", {"y", "z"}}}}, {"B", {}, {}}};
    db.levels = {"P", "P:N"};
    kombra_fixtures::WriteText(dir.file("PROJECTS.cfg"), kombra_fixtures::ProjectsCfgText(projects));
    kombra_fixtures::WriteText(dir.file("DB.cfg"), kombra_fixtures::DbCfgText(db));
    kombra_fixtures::WriteText(dir.file("kombra.cfg"), kombra_fixtures::KombraCfgText({{"KOMBRA_FIXTURE_X", "1"}}));

    testing::internal::CaptureStderr();
    CfgInit();
    // Q has no missions: its level is absent, as the reader reports.
    EXPECT_EQ("parse_config: undefined symbol(s)\n\tQ.Strings\n"
              "parse_config: undefined symbol(s)\n\tB.VALUE\n",
              testing::internal::GetCapturedStderr());
    EXPECT_STREQ("z", Str(CfgGetItem("A", 1, "P", "N", "E", "I", "V", nullptr)));
    EXPECT_STREQ("x", Str(CfgGetItem("A", 0, "P", "My M", "E", "I", "V", nullptr)));
    EXPECT_EQ(nullptr, CfgGetItem("B", 0, "P", nullptr));
    EXPECT_STREQ("1", Str(GetEnv("KOMBRA_FIXTURE_X")));
    cfg_test::ResetConfiguration();

    EXPECT_THROW(kombra_fixtures::WriteText(dir.file("absent/x.cfg"), "x"), std::runtime_error);
    // A symbol name ends at white space: values for such a level cannot be written.
    db.items[0].atLevel = {{"P:My M", {"y"}}};
    EXPECT_THROW(kombra_fixtures::DbCfgText(db), std::invalid_argument);
}

TEST(DbConfig, MissingItemsOrLevelsFailWithoutAttaching)
{
    TempDir dir;
    WriteFile(dir.file("noitems.cfg"), "LEVELS \"P\"\n");
    WriteFile(dir.file("nolevels.cfg"), "ITEMS \"A\"\nA.VALUE \"x\"\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, DB_Config(dir.file("noitems.cfg").c_str(), nullptr));
    EXPECT_EQ(0, DB_Config(dir.file("nolevels.cfg").c_str(), nullptr));
    EXPECT_EQ(0, DB_Config(dir.file("absent.cfg").c_str(), nullptr));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("\tITEMS\n"));
    EXPECT_NE(std::string::npos, err.find("\tLEVELS\n"));
}

TEST(ItemLists, FindAndDestroyChainedLists)
{
    ItemValue_s *a = CreateItemValue(2);
    ItemValue_s *b = CreateItemValue(1);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    a[0].Item = strdup("one");
    a[1].Item = strdup("two");
    a[1].Value = static_cast<char **>(std::calloc(2, sizeof(char *)));
    a[1].Value[0] = strdup("v0");
    a[1].Value[1] = strdup("v1");
    a[1].n_Values = 2;
    b[0].Item = strdup("three");
    a[1].next = b;  // a list that continues into another one
    EXPECT_STREQ("v1", FindItemValue(a, "two", 1));
    EXPECT_EQ(nullptr, FindItemValue(a, "two", 2));
    EXPECT_EQ(nullptr, FindItemValue(a, "two", -1));
    EXPECT_EQ(nullptr, FindItemValue(a, "one", 0));
    EXPECT_EQ(nullptr, FindItemValue(a, "four", 0));
    EXPECT_EQ(nullptr, CreateItemValue(0));
    DestroyItemValue(a);  // frees b as well (checked by the sanitizer build)
}

}  // namespace
