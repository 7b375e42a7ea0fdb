// Finding the configuration files, CfgInit and the hierarchy tree.
#include "config_fixture.h"
#include "libCfg.h"
#include "support.h"
#include "config_reset.h"

#include <filesystem>
#include <string>

using kombra_fixtures::HierNode;
using kombra_test::ScopedEnv;
using kombra_test::TempDir;
using kombra_test::WriteFile;

namespace {

class Hierarchy : public ::testing::Test {
protected:
    Hierarchy()
    {
        std::filesystem::create_directories(home.path() / "config");
        WriteFile(configDir() + "/DB.cfg", "ITEMS \"A\"\nA.VALUE \"x\"\nLEVELS \"A\"\n");
    }
    ~Hierarchy() override { cfg_test::ResetConfiguration(); }

    std::string configDir() const { return home.str() + "/config"; }
    void Projects_(const std::string &text) { WriteFile(configDir() + "/PROJECTS.cfg", text); }
    // CfgInit with its stderr.
    std::string Init()
    {
        testing::internal::CaptureStderr();
        CfgInit();
        return testing::internal::GetCapturedStderr();
    }

    TempDir home;
    ScopedEnv homeEnv{"KOMBRA_HOME", home.str()};
    ScopedEnv configEnv{"KOMBRA_CONFIG", std::nullopt};
};

TEST_F(Hierarchy, NodesAreNumberedInFileOrderAndFoundByNamesOrNumbers)
{
    Projects_("Strings \"A\" \"B\"\nA.Strings \"X\" \"Y\"\nB.Strings \"Z\"\n"
              "A.X.Strings \"E\"\nA.Y.Strings \"E\"\nB.Z.Strings \"E\"\n"
              "A.X.E.Strings \"I\"\nA.Y.E.Strings \"I\"\nB.Z.E.Strings \"I\"\n"
              "A.X.E.I.Strings \"V1\" \"V2\"\nA.Y.E.I.Strings \"V\"\nB.Z.E.I.Strings \"V\"\n");
    EXPECT_EQ("", Init());
    ASSERT_NE(nullptr, Projects);
    EXPECT_EQ(Projects, CfgProjects());
    ASSERT_EQ(2, LinkCount(Projects));

    StrHier_s *y = SourceByStr(Projects, "A", "Y", nullptr);
    ASSERT_NE(nullptr, y);
    EXPECT_EQ(2, y->number);
    EXPECT_STREQ("A", y->parent->str);
    EXPECT_EQ(nullptr, y->parent->parent);
    EXPECT_EQ(y, SourceByNum(Projects, 1, 2, 0));

    StrHier_s *v2 = SourceByNum(Projects, 1, 1, 1, 1, 2, 0);
    ASSERT_NE(nullptr, v2);
    EXPECT_STREQ("V2", CfgListName(v2));
    EXPECT_EQ(v2, SourceByStr(Projects, "A", "X", "E", "I", "V2", nullptr));
    EXPECT_EQ(v2->GetNextItems, KELDNextItems);
    EXPECT_EQ(nullptr, v2->GetNextItems(v2));
    EXPECT_EQ(v2->parent->GetNextItems, NURVNextItems);
    EXPECT_EQ(v2->parent->sublist, v2->parent->GetNextItems(v2->parent));

    EXPECT_EQ(nullptr, SourceByStr(Projects, "A", "Z", nullptr));
    EXPECT_EQ(nullptr, SourceByStr(Projects, "a", nullptr));
    EXPECT_EQ(nullptr, SourceByNum(Projects, 3, 0));
    EXPECT_EQ(nullptr, SourceByNum(Projects, 2, 2, 0));

    EXPECT_EQ(Projects, CfgHierarchy(0));
    EXPECT_EQ(y->sublist, CfgHierarchy(2, "A", "Y"));
    EXPECT_EQ(nullptr, CfgHierarchy(2, "A", "Q"));
    EXPECT_EQ(y, CfgStrHier(2, "A", "Y"));
    EXPECT_EQ(nullptr, CfgStrHier(1, "Q"));
}

TEST_F(Hierarchy, BlanksInNamesBecomeUnderscoresInSymbolNamesOnly)
{
    Projects_("Strings \"P\"\nP.Strings \"My, Mission>1\"\nP.My__Mission_1.Strings \"E\"\n");
    const std::string err = Init();
    StrHier_s *e = SourceByStr(Projects, "P", "My, Mission>1", "E", nullptr);
    ASSERT_NE(nullptr, e);
    // E's own children are missing: reported, the rest still built.
    EXPECT_EQ("parse_config: undefined symbol(s)\n\tP.My__Mission_1.E.Strings\n", err);
    EXPECT_EQ(nullptr, e->sublist);
}

TEST_F(Hierarchy, ScfNamesAreLeavesAtAnyLevel)
{
    Projects_("Strings \"P\"\nP.Strings \"orbit.scf\" \"M\"\nP.M.Strings \"E\"\nP.M.E.Strings \"I\"\n"
              "P.M.E.I.Strings \"V\"\n");
    EXPECT_EQ("", Init());
    StrHier_s *scf = SourceByStr(Projects, "P", "orbit.scf", nullptr);
    ASSERT_NE(nullptr, scf);
    EXPECT_EQ(SCFNextItems, scf->GetNextItems);
    EXPECT_EQ(nullptr, scf->sublist);
    EXPECT_EQ(2, SourceByStr(Projects, "P", "M", nullptr)->number);
}

TEST_F(Hierarchy, EmptyTopListLeavesTheTreeUnsetSoTheNextInitTriesAgain)
{
    Projects_("Strings nothing-quoted\n");
    const std::string err = Init();
    EXPECT_NE(std::string::npos, err.find("ERROR: Input to StrHierCreateNodes is 0\n"));
    EXPECT_EQ(nullptr, Projects);
    Projects_("Strings \"P\"\n");
    Init();
    EXPECT_NE(nullptr, Projects);
}

TEST_F(Hierarchy, SecondInitReadsNothing)
{
    Projects_("Strings \"P\"\n");
    Init();
    LinkNode_s *first = Projects;
    Projects_("Strings \"Q\" \"R\"\n");
    EXPECT_EQ("", Init());
    EXPECT_EQ(first, Projects);
    EXPECT_EQ(1, LinkCount(Projects));
}

TEST_F(Hierarchy, KombraCfgIsLoadedFromTheConfigurationFolder)
{
    Projects_("Strings \"P\"\n");
    WriteFile(configDir() + "/kombra.cfg", "KOMBRA_TEST_SETTING=\"from file\"\n");
    ScopedEnv unset("KOMBRA_TEST_SETTING", std::nullopt);
    Init();
    ASSERT_NE(nullptr, GetEnv("KOMBRA_TEST_SETTING"));
    EXPECT_STREQ("from file", GetEnv("KOMBRA_TEST_SETTING"));
}

TEST_F(Hierarchy, ConfigFolderFallsBackToHome)
{
    Projects_("Strings \"P\"\n");
    TempDir other;
    WriteFile(other.file("PROJECTS.cfg"), "Strings \"Other\"\nOther.Strings \"X.scf\"\n");
    ScopedEnv config("KOMBRA_CONFIG", other.str());
    const std::string err = Init();
    // PROJECTS.cfg comes from KOMBRA_CONFIG, DB.cfg (and kombra.cfg) from home.
    EXPECT_EQ("Defaulting to $KOMBRA_HOME for kombra.cfg.\nDefaulting to $KOMBRA_HOME for DB.cfg.\n", err);
    EXPECT_NE(nullptr, SourceByStr(Projects, "Other", nullptr));
}

TEST(GoodPath, SearchOrderAndLimits)
{
    TempDir a, b;
    std::filesystem::create_directories(b.path() / "config");
    WriteFile(a.file("x.cfg"), "");
    WriteFile(b.str() + "/config/y.cfg", "");
    ScopedEnv config("KOMBRA_CONFIG", a.str());
    ScopedEnv home("KOMBRA_HOME", b.str());
    EXPECT_EQ(a.file("x.cfg"), std::string(GetGoodPath("x.cfg")));
    testing::internal::CaptureStderr();
    EXPECT_EQ(b.str() + "/config/y.cfg", std::string(GetGoodPath("y.cfg")));
    EXPECT_EQ(nullptr, GetGoodPath("z.cfg"));
    EXPECT_EQ("Defaulting to $KOMBRA_HOME for y.cfg.\nDefaulting to $KOMBRA_HOME for z.cfg.\n",
              testing::internal::GetCapturedStderr());

    ScopedEnv noHome("KOMBRA_HOME", std::nullopt);
    ScopedEnv longConfig("KOMBRA_CONFIG", std::string(400, 'd'));
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, GetGoodPath("x.cfg"));
    testing::internal::GetCapturedStderr();
}

using HierarchyDeathTest = Hierarchy;

TEST_F(HierarchyDeathTest, MissingProjectsFileEndsWithStatus2)
{
    EXPECT_EXIT(CfgInit(), ::testing::ExitedWithCode(2),
                "^Cannot read PROJECTS configuration \\[NULL\\]\nIs KOMBRA_HOME set\\?\n$");
    ScopedEnv noHome("KOMBRA_HOME", std::nullopt);
    EXPECT_EXIT(CfgInit(), ::testing::ExitedWithCode(2), "Cannot read PROJECTS configuration");
}

TEST_F(HierarchyDeathTest, MissingDbFileEndsWithStatus2)
{
    Projects_("Strings \"P\"\nP.Strings \"M\"\n");
    std::filesystem::remove(configDir() + "/DB.cfg");
    EXPECT_EXIT(CfgInit(), ::testing::ExitedWithCode(2), "\nCannot read DB configuration \\[NULL\\]\n$");
}

TEST_F(HierarchyDeathTest, UnopenableProjectsFileEndsWithStatus3)
{
    const std::string path = home.file("absent/PROJECTS.cfg");
    EXPECT_EXIT(P_Config(path.c_str()), ::testing::ExitedWithCode(3), "\\.\\.\\.Error opening " + path + "\n$");
}

TEST_F(HierarchyDeathTest, LookUpsBeforeTheTreeAbort)
{
    const char *expected = "backward.c:[0-9]+: .*Assertion `Projects != \\(\\(void \\*\\)0\\)' failed";
    EXPECT_DEATH(CfgGetItem("A", 0, "P", nullptr), expected);
    EXPECT_DEATH(CfgGetPath("A", "P", nullptr), expected);
    EXPECT_DEATH(CfgHierarchy(0), expected);
    EXPECT_DEATH(CfgStrHier(1, "P"), expected);
}

TEST_F(Hierarchy, StandardFixtureBuildsTheWholeTree)
{
    kombra_fixtures::WriteStandardConfig(configDir(), "/archive");
    EXPECT_EQ("", Init());
    StrHier_s *v = SourceByStr(Projects, "DOUBLESTAR", "TC2", "HALDE", "PAD", "PADH", nullptr);
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(v, SourceByNum(Projects, 2, 2, 1, 2, 1, 0));
}

}  // namespace
