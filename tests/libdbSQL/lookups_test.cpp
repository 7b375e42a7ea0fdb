// The look-ups of keys and names from table hierarchy, on the back end of
// the test program.
#include "catalog_env.h"

using namespace dbsql_test;

namespace {

// ---- Keys and names ----------------------------------------------------------

TEST_F(Catalog, KeysAndNamesComeFromTableHierarchy)
{
    EXPECT_EQ(kCP3DRH, dbGetDataKey("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"));
    char p[DB_NAME_SIZE], m[DB_NAME_SIZE], e[DB_NAME_SIZE], i[DB_NAME_SIZE], v[DB_VNAME_SIZE];
    ASSERT_EQ(1, dbKeyToStrings(kPADH, p, m, e, i, v));
    EXPECT_EQ("CLUSTERII/C1/HALDE/PAD/PADH", std::string(p) + "/" + m + "/" + e + "/" + i + "/" + v);
    EXPECT_STREQ("PADH", dbVirtualName(kPADH));
    EXPECT_STREQ("CLUSTERII/C1/HALDE/3DR/CP3DRH", dbHierarchyString(kCP3DRH));

    KOMBRA_ULONG key = 77;
    EXPECT_EQ(-149, get_data_key("CLUSTERII", "C9", "HALDE", "3DR", "CP3DRH", &key));
    EXPECT_EQ(0u, key);
    EXPECT_EQ(1, get_data_key("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH", &key));
    EXPECT_EQ(kCP3DRH, key);

    // A source the table lacks but the project tree has keeps the tree's key.
    Exec("DELETE FROM hierarchy WHERE virtual='CP3DRH';");
    EXPECT_EQ(kCP3DRH, dbGetDataKey("CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"));
}

TEST_F(Catalog, HostileNamesFindNothingAndChangeNothing)
{
    const std::string before = One("SELECT count(*) FROM hierarchy;");
    const char *hostile[] = {"x' OR '1'='1", "x'; DROP TABLE hierarchy; --", "CP3DRH;",
                             "'",            "\"",                            "x\"; DELETE FROM hierarchy; --"};
    const char *good[] = {"CLUSTERII", "C1", "HALDE", "3DR", "CP3DRH"};
    for (const char *name : hostile) {
        for (int level = 0; level < 5; ++level) {
            const char *n[5] = {good[0], good[1], good[2], good[3], good[4]};
            n[level] = name;
            EXPECT_EQ(0u, dbGetDataKey(n[0], n[1], n[2], n[3], n[4])) << name << " at level " << level;
        }
    }
    EXPECT_EQ(before, One("SELECT count(*) FROM hierarchy;"));

    // Names holding quotes are found like any other.
    Exec("INSERT INTO hierarchy VALUES (99, 'O''Brien', 'C1', 'HALDE', '3DR', 'x;y');");
    EXPECT_EQ(99u, dbGetDataKey("O'Brien", "C1", "HALDE", "3DR", "x;y"));
    EXPECT_STREQ("O'Brien/C1/HALDE/3DR/x;y", dbHierarchyString(99));
    // Names match exactly: letter case and trailing blanks count.
    EXPECT_EQ(0u, dbGetDataKey("o'brien", "C1", "HALDE", "3DR", "x;y"));
    EXPECT_EQ(0u, dbGetDataKey("O'Brien", "C1", "HALDE", "3DR", "x;y "));
    EXPECT_EQ(0u, dbGetDataKey("O'Brien", "C1", "HALDE", "3DR", "X;Y"));
}

TEST_F(Catalog, NameCachesAnswerRepeatedKeysUntilTheCatalogCloses)
{
    char p[DB_NAME_SIZE], m[DB_NAME_SIZE], e[DB_NAME_SIZE], i[DB_NAME_SIZE], v[DB_VNAME_SIZE];
    EXPECT_EQ(0, dbKeyToStrings(kNoSuchKey, p, m, e, i, v));
    EXPECT_EQ(0, dbKeyToStrings(kNoSuchKey, p, m, e, i, v));
    ASSERT_EQ(1, dbKeyToStrings(kCP3DRH, p, m, e, i, v));
    EXPECT_STREQ("CLUSTERII/C1/HALDE/3DR/CP3DRH", dbHierarchyString(kCP3DRH));
    EXPECT_STREQ("CP3DRH", dbVirtualName(kCP3DRH));

    Exec("UPDATE hierarchy SET virtual='RENAMED' WHERE data_key=8921217;");
    ASSERT_EQ(1, dbKeyToStrings(kCP3DRH, p, m, e, i, v));
    EXPECT_STREQ("CP3DRH", v);
    EXPECT_STREQ("CLUSTERII/C1/HALDE/3DR/CP3DRH", dbHierarchyString(kCP3DRH));
    EXPECT_STREQ("CP3DRH", dbVirtualName(kCP3DRH));
    ASSERT_EQ(1, dbKeyToStrings_r(kCP3DRH, p, m, e, i, v));
    EXPECT_STREQ("RENAMED", v);
    // A key without a row leaves the hierarchy text of the previous look-up.
    EXPECT_STREQ("CLUSTERII/C1/HALDE/3DR/CP3DRH", dbHierarchyString(kNoSuchKey));

    dbClose();
    ASSERT_EQ(1, dbInitializeMsg());
    EXPECT_STREQ("CLUSTERII/C1/HALDE/3DR/RENAMED", dbHierarchyString(kCP3DRH));
    EXPECT_STREQ("RENAMED", dbVirtualName(kCP3DRH));
}

TEST_F(Catalog, StaticTextsAreOverwrittenInPlace)
{
    // A pointer kept from an earlier call shows the latest text, however
    // much longer it is.
    const char *vinst = dbVirtualName(kPADH);
    const char *text = dbHierarchyString(kPADH);
    const std::string n24(24, 'n'), v33(33, 'v');
    Exec("INSERT INTO hierarchy VALUES (95, '" + n24 + "', '" + n24 + "', '" + n24 + "', '" + n24 + "', '" + v33 +
         "');");
    EXPECT_EQ(vinst, dbVirtualName(95));
    EXPECT_EQ(v33, vinst);
    EXPECT_EQ(text, dbHierarchyString(95));
    EXPECT_EQ(n24 + "/" + n24 + "/" + n24 + "/" + n24 + "/" + v33, text);
}

TEST_F(Catalog, VirtualNamesFitTheCallersBuffers)
{
    char buffer[DB_VNAME_SIZE] = "unchanged";
    EXPECT_EQ(1, dbVirtualName_r(kNoSuchKey, buffer, sizeof buffer));
    EXPECT_STREQ("unchanged", buffer);
    EXPECT_EQ(1, dbVirtualName_r(kPADH, buffer, sizeof buffer));
    EXPECT_STREQ("PADH", buffer);
    char small[4];
    EXPECT_EQ(1, dbVirtualName_r(kPADH, small, sizeof small));
    EXPECT_STREQ("PAD", small);
    // Key 0 is answered by the dBASE look-up.
    char tarvo[DB_VNAME_SIZE] = "x";
    EXPECT_EQ(Tarvo_dbVirtualName_r(0, tarvo, sizeof tarvo), dbVirtualName_r(0, buffer, sizeof buffer));

    const std::string longName(40, 'N');
    Exec("INSERT INTO hierarchy VALUES (98, '" + std::string(30, 'P') + "', 'M', 'E', 'I', '" + longName + "');");
    char p[DB_NAME_SIZE], m[DB_NAME_SIZE], e[DB_NAME_SIZE], i[DB_NAME_SIZE], v[DB_VNAME_SIZE];
    ASSERT_EQ(1, dbKeyToStrings_r(98, p, m, e, i, v));
    EXPECT_EQ(std::string(24, 'P'), p);
    EXPECT_EQ(std::string(33, 'N'), v);
}

TEST_F(Catalog, ConfigurationItemsOfAKey)
{
    ASSERT_NE(nullptr, dbCfgPath(kCP3DRH, "PostTimePath"));
    EXPECT_EQ(InstrumentDir("data"), dbCfgPath(kCP3DRH, "PostTimePath"));
    ASSERT_NE(nullptr, dbCfgItem(kPADH, "NetID", 0));
    EXPECT_STREQ("localhost", dbCfgItem(kPADH, "NetID", 0));
    EXPECT_EQ(nullptr, dbCfgItem(kPADH, "NetID", 1));
    EXPECT_EQ(nullptr, dbCfgPath(kNoSuchKey, "PostTimePath"));
}

}  // namespace
