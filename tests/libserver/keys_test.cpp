// Data keys: packing, names of keys and keys of names, level codes.
#include "server_fixture.h"

#include <cstring>
#include <string>

namespace {

struct PackCase {
    KOMBRA_USHORT fields[5];
    KOMBRA_ULONG key;
};

class KeyPacking : public ::testing::TestWithParam<PackCase> {};

TEST_P(KeyPacking, PacksAndUnpacks)
{
    const PackCase &c = GetParam();
    KOMBRA_ULONG key = 0;
    fields_to_key(c.fields, &key);
    EXPECT_EQ(c.key, key);
    KOMBRA_USHORT back[5];
    key_to_fields(c.key, back);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(c.fields[i], back[i]) << "field " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyPacking,
                         ::testing::Values(PackCase{{2, 1, 3, 4, 5}, 17326597u}, PackCase{{1, 1, 1, 1, 1}, 8921217u},
                                           PackCase{{511, 15, 63, 63, 127}, 0xFFFFFFFFu},
                                           PackCase{{0, 0, 0, 0, 0}, 0u}, PackCase{{256, 0, 0, 0, 0}, 0x80000000u}),
                         [](const auto &info) { return "Key" + std::to_string(info.param.key); });

TEST(KeyPacking, NumbersTooLargeDoNotSpillIntoTheLevelAbove)
{
    const KOMBRA_USHORT fields[5] = {1, 16, 1, 1, 128};
    KOMBRA_ULONG key = 0;
    fields_to_key(fields, &key);
    KOMBRA_USHORT back[5];
    key_to_fields(key, back);
    EXPECT_EQ(1, back[0]);
    EXPECT_EQ(1, back[2]);
    EXPECT_EQ(1, back[3]);
}

TEST(ServerErrors, TextsOfTheLevelCodes)
{
    char text[64];
    EXPECT_STREQ("server: Invalid project!", server_error_string(-145, text));
    EXPECT_STREQ("server: Invalid mission!", server_error_string(-146, text));
    EXPECT_STREQ("server: Invalid experiment!", server_error_string(-147, text));
    EXPECT_STREQ("server: Invalid instrument!", server_error_string(-148, text));
    EXPECT_STREQ("server: Invalid virtual instrument!", server_error_string(-149, text));
    EXPECT_DEATH(server_error_string(-150, text), "");
    EXPECT_DEATH(server_error_string(1, text), "");
}

using KeysOfTheTree = ConfiguredArchive;

TEST_F(KeysOfTheTree, EverySourceRoundTripsThroughItsKey)
{
    Load();
    int sources = 0;
    for (LinkNode_s *p = Projects; p; p = p->next)
        for (LinkNode_s *m = cfg_test::Node(p)->sublist; m; m = m->next)
            for (LinkNode_s *e = cfg_test::Node(m)->sublist; e; e = e->next)
                for (LinkNode_s *i = cfg_test::Node(e)->sublist; i; i = i->next)
                    for (LinkNode_s *v = cfg_test::Node(i)->sublist; v; v = v->next) {
                        const KOMBRA_ULONG key = Key(cfg_test::Node(p)->str, cfg_test::Node(m)->str,
                                                     cfg_test::Node(e)->str, cfg_test::Node(i)->str,
                                                     cfg_test::Node(v)->str);
                        char names[5][34] = {};
                        ASSERT_EQ(1, Tarvo_dbKeyToStrings_r(key, names[0], names[1], names[2], names[3], names[4]));
                        EXPECT_STREQ(cfg_test::Node(m)->str, names[1]);
                        EXPECT_STREQ(cfg_test::Node(v)->str, names[4]);
                        EXPECT_EQ(SourceByNum(Projects, cfg_test::Node(p)->number, cfg_test::Node(m)->number,
                                              cfg_test::Node(e)->number, cfg_test::Node(i)->number,
                                              cfg_test::Node(v)->number, 0),
                                  cfg_test::Node(v));
                        ++sources;
                    }
    EXPECT_EQ(42, sources);
}

TEST_F(KeysOfTheTree, NamesGiveTheTreeNumbers)
{
    Load();
    EXPECT_EQ(8921217u, Key("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"));
    KOMBRA_ULONG key = 0;
    EXPECT_EQ(1, tarvo_get_data_key("DOUBLESTAR", "TC2", "HALDE", "PAD", "PADH", &key));
    KOMBRA_USHORT fields[5];
    key_to_fields(key, fields);
    EXPECT_EQ(2, fields[0]);
    EXPECT_EQ(2, fields[1]);
    EXPECT_EQ(1, fields[2]);
    EXPECT_EQ(2, fields[3]);
    EXPECT_EQ(1, fields[4]);

    KOMBRA_USHORT byName[5] = {};
    EXPECT_EQ(0, StrToKey("DOUBLESTAR", "TC2", "HALDE", "PAD", "PADH", byName));
    EXPECT_EQ(0, std::memcmp(fields, byName, sizeof fields));
}

struct BadNames {
    const char *names[5];
    int code;
};

class UnknownLevels : public ConfiguredArchive, public ::testing::WithParamInterface<BadNames> {};

TEST_P(UnknownLevels, ReportTheFirstMissingLevel)
{
    Load();
    const BadNames &c = GetParam();
    KOMBRA_ULONG key = 77;
    EXPECT_EQ(c.code, tarvo_get_data_key(c.names[0], c.names[1], c.names[2], c.names[3], c.names[4], &key));
    EXPECT_EQ(77u, key);
    KOMBRA_USHORT fields[5];
    EXPECT_EQ(c.code, StrToKey(c.names[0], c.names[1], c.names[2], c.names[3], c.names[4], fields));
    EXPECT_EQ(0u, Tarvo_dbGetDataKey(c.names[0], c.names[1], c.names[2], c.names[3], c.names[4]));
    char text[64];
    EXPECT_STREQ(server_error_string(c.code, text), Tarvo_dbErrorMsg());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnknownLevels,
    ::testing::Values(BadNames{{"X", "C1", "HALDE", "3DR", "CP3DRH"}, -145},
                      BadNames{{"CLUSTERII", "C9", "HALDE", "3DR", "CP3DRH"}, -146},
                      BadNames{{"CLUSTERII", "C1", "HALDEX", "3DR", "CP3DRH"}, -147},
                      BadNames{{"CLUSTERII", "C1", "HALDE", "3dr", "CP3DRH"}, -148},
                      BadNames{{"CLUSTERII", "C1", "HALDE", "3DR", "PADH"}, -149},
                      BadNames{{"CLUSTERII", "C1", "HALDE", "3DR", nullptr}, -149},
                      BadNames{{"CLUSTERII", "C1'; DROP TABLE x;--", "HALDE", "3DR", "CP3DRH"}, -146}),
    [](const auto &info) { return "Level" + std::to_string(-info.param.code) + "_" + std::to_string(info.index); });

TEST_F(KeysOfTheTree, KeysGiveNamesUpToTheFirstUnknownLevel)
{
    Load();
    char p[25] = "", m[25] = "", e[25] = "", i[25] = "", v[34] = "";
    const KOMBRA_USHORT good[5] = {2, 1, 1, 1, 2};
    EXPECT_EQ(1, KeysToStr(good, p, m, e, i, v));
    EXPECT_STREQ("DOUBLESTAR", p);
    EXPECT_STREQ("TC1", m);
    EXPECT_STREQ("CP3DRL", v);

    char q[25] = "", n[25] = "", f[25] = "", j[25] = "", w[34] = "";
    const KOMBRA_USHORT badInstrument[5] = {1, 4, 1, 4, 1};
    EXPECT_EQ(-148, KeysToStr(badInstrument, q, n, f, j, w));
    EXPECT_STREQ("CLUSTERII", q);
    EXPECT_STREQ("C4", n);
    EXPECT_STREQ("HALDE", f);
    EXPECT_STREQ("", j);

    KOMBRA_ULONG key = 0;
    const KOMBRA_USHORT badMission[5] = {1, 5, 1, 1, 1};
    fields_to_key(badMission, &key);
    EXPECT_EQ(0, Tarvo_dbKeyToStrings(key, q, n, f, j, w));
    EXPECT_STREQ("server: Invalid mission!", Tarvo_dbErrorMsg());
    EXPECT_EQ(0, Tarvo_dbKeyToStrings_r(0, q, n, f, j, w));
    EXPECT_STREQ("server: Invalid project!", Tarvo_dbErrorMsg());
}

TEST_F(KeysOfTheTree, NumbersBeyondTheFieldWidthsCannotBeKeyed)
{
    // A sixteenth mission has no room in the key's four bits.
    std::string projects = "Strings \"P\"\nP.Strings";
    for (int i = 1; i <= 16; ++i)
        projects += " \"M" + std::to_string(i) + "\"";
    projects += "\n";
    for (int i = 1; i <= 16; ++i)
        projects += "P.M" + std::to_string(i) + ".Strings \"E\"\nP.M" + std::to_string(i) +
                    ".E.Strings \"I\"\nP.M" + std::to_string(i) + ".E.I.Strings \"V\"\n";
    kombra_test::WriteFile(configDir() + "/PROJECTS.cfg", projects);
    Load();
    KOMBRA_ULONG key = 0;
    EXPECT_EQ(1, tarvo_get_data_key("P", "M15", "E", "I", "V", &key));
    EXPECT_EQ(-146, tarvo_get_data_key("P", "M16", "E", "I", "V", &key));
}

TEST_F(KeysOfTheTree, NamesAndHierarchyListings)
{
    Load();
    const KOMBRA_ULONG key = Key("CLUSTERII", "C3", "HALDE", "PAD", "PADH");
    EXPECT_STREQ("PADH", Tarvo_dbVirtualName(key));
    char name[4] = "xyz";
    EXPECT_EQ(1, Tarvo_dbVirtualName_r(key, name, sizeof name));
    EXPECT_STREQ("PAD", name);  // cut to the caller's buffer
    EXPECT_STREQ("", Tarvo_dbVirtualName(0));
    EXPECT_STREQ("CLUSTERII/C3/HALDE/PAD/PADH", Tarvo_dbHierarchyString(key));

    const char *none[] = {nullptr};
    char **projects = Tarvo_dbHierarchy(0, none);
    ASSERT_NE(nullptr, projects);
    EXPECT_STREQ("CLUSTERII", projects[0]);
    EXPECT_STREQ("DOUBLESTAR", projects[1]);
    EXPECT_EQ(nullptr, projects[2]);
    Tarvo_dbFreeHierarchyList(projects);

    const char *instrument[] = {"CLUSTERII", "C1", "HALDE", "3DR", nullptr};
    char **virtuals = Tarvo_dbHierarchy(0, instrument);
    ASSERT_NE(nullptr, virtuals);
    EXPECT_STREQ("CP3DRH", virtuals[0]);
    EXPECT_STREQ("CP3DRL", virtuals[1]);
    EXPECT_EQ(nullptr, virtuals[2]);
    Tarvo_dbFreeHierarchyList(virtuals);

    const char *leaf[] = {"CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH", nullptr};
    EXPECT_EQ(nullptr, Tarvo_dbHierarchy(0, leaf));
    const char *unknown[] = {"CLUSTERII", "C7", nullptr};
    EXPECT_EQ(nullptr, Tarvo_dbHierarchy(0, unknown));
}

TEST(KeysOfTheTreeDeathTest, KeyLookUpBeforeTheTreeAborts)
{
    KOMBRA_ULONG key = 0;
    EXPECT_DEATH(tarvo_get_data_key("P", "M", "E", "I", "V", &key),
                 "get_data_key.c:[0-9]+: .*Assertion `Projects != \\(\\(void \\*\\)0\\)' failed");
}

}  // namespace
