// The key map: look-ups into value lists, printing, insertion, files that
// cannot be read, and a whole description from the fixture writer.
#include "keld_fixture.h"
#include "keld_test_util.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

using kombra_test::TempDir;
using keld_test::ParseText;

namespace {

TEST(KeldLookup, AppendsToTheCallersListInFileOrder)
{
    TempDir dir;
    const auto parsed = ParseText(dir, "KELD x {\n int a[3] = {4, 5, 6};\n char c = 200;\n}\n");
    keld_vals_s *list = nullptr;
    value_s first{};
    first.ival = 0x1234;
    AddKELDVal(&list, CHAR, first);
    EXPECT_EQ(0x34, list->val.ival);  // only the low byte of a char is kept

    EXPECT_EQ(list, FindNameinKELD(parsed.map.get(), "KELD.a", &list));
    std::vector<int> seen;
    for (const keld_vals_s *cell = list->next; cell != nullptr; cell = cell->next) {
        EXPECT_EQ(INT, cell->type);
        seen.push_back(cell->val.ival);
    }
    EXPECT_EQ((std::vector<int>{4, 5, 6}), seen);

    keld_vals_s *untouched = nullptr;
    EXPECT_EQ(nullptr, FindNameinKELD(parsed.map.get(), "KELD.missing", &untouched));
    EXPECT_EQ(nullptr, untouched);
    EXPECT_EQ(nullptr, FindNameinKELD(parsed.map.get(), "KELD", &untouched));
    FreeKELDVals(&list);
    EXPECT_EQ(nullptr, list);
}

TEST(KeldMap, PrintAndInsert)
{
    TempDir dir;
    const auto parsed = ParseText(dir, "KELD x {\n float f = 2.5;\n string s = \"t\";\n char c = 250;\n"
                                       " struct B { int i[2] = {-1, 2}; };\n}\n");
    EXPECT_EQ(1, KELD_InsertIntoKELD_INT(parsed.map.get(), "a", "b", 42));
    testing::internal::CaptureStdout();
    PrintKELD(parsed.map.get());
    EXPECT_EQ("KELD:\nKELD.B.i - -1\nKELD.B.i - 2\nKELD.c - 250\nKELD.f - 2.5\nKELD.s - t\nv2_a.b - 42\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(6u, KELDValueCount(parsed.map.get()));
}

// Files that are absent or not regular files fail at the open with its
// reason, without waiting on a FIFO or reading a device for ever.
TEST(KeldFiles, UnreadableFilesFailWithTheSystemError)
{
    TempDir dir;
    mkfifo(dir.file("fifo.V.v3").c_str(), 0600);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.V.v3"));
    const std::pair<std::string, const char *> cases[] = {
        {dir.file("absent.V.v3"), "No such file or directory"},
        {dir.str(), "Is a directory"},
        {dir.file("fifo.V.v3"), "not a regular file"},
        {dir.file("zero.V.v3"), "not a regular file"},
    };
    for (const auto &[path, reason] : cases) {
        keld_map *map = nullptr;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_STATUS(KELD_OPEN_FAILED, ParseNewKELD(&map, path.c_str()));
        EXPECT_EQ("", testing::internal::GetCapturedStdout());
        EXPECT_EQ(std::string("ParseKELD: ERROR - opening KELD: ") + reason + "\n",
                  testing::internal::GetCapturedStderr());
        EXPECT_EQ(nullptr, map);
    }
}

TEST(KeldStatus, EveryCodeHasItsText)
{
    const std::pair<int, const char *> texts[] = {
        {KELD_SUCCESS, "success"},
        {KELD_OPEN_FAILED, "description file cannot be opened or read, or none loaded"},
        {KELD_NO_IMAGE, "no memory for the description image"},
        {KELD_BAD_VERSION, "older description is not version V2.1"},
        {KELD_NO_TABLE_MEMORY, "no memory for the table offsets"},
        {KELD_NO_CONST_MEMORY, "no memory for the constant offsets"},
        {KELD_TOO_LONG, "request longer than the stored item"},
        {KELD_ITEM_EMPTY, "whole request of an empty item"},
        {KELD_BAD_TABLE, "no such table"},
        {KELD_BAD_CONST, "no such constant"},
        {KELD_NOT_ONLINE, "description file is not online"},
        {KELD_DISK_MODE, "reading from the disk is no longer supported"},
        {KELD_ITEM_ABSENT, "item not in the description"},
        {KELD_OUT_OF_DATE, "description does not cover the requested time"},
        {KELD_NO_MEMORY, "no memory for the description"},
        {KELD_SHORT_BUFFER, "buffer too small for the item"},
        {KELD_CORRUPT, "older description is corrupt"},
        {0, "Unknown KELD status"},
    };
    for (const auto &[code, text] : texts)
        EXPECT_STREQ(text, KELDStatusText(code)) << code;
}

// Every key an item request may look up, with %d as 0, and its stored type.
const std::pair<const char *, keld_value_type> kReaderKeys[] = {
    {"mission", STRING}, {"spacecraft", STRING}, {"experiment", STRING}, {"instrument", STRING},
    {"contact", STRING}, {"s_year", INT}, {"s_day", INT}, {"s_msec", INT}, {"s_usec", INT},
    {"e_year", INT}, {"e_day", INT}, {"e_msec", INT}, {"e_usec", INT}, {"smp_id", CHAR},
    {"sen_mode", CHAR}, {"n_qual", CHAR}, {"n_cal_sets", CHAR}, {"n_tbls", CHAR}, {"n_consts", CHAR},
    {"n_status", CHAR}, {"n_sensors", INT}, {"swp_len", INT}, {"max_nss", INT}, {"data_len", INT},
    {"fill_flag", CHAR}, {"fill", INT}, {"da_method", CHAR}, {"Status0.name", STRING},
    {"Status0.state", INT}, {"Sensor0.name", STRING}, {"CalSet0.name", STRING}, {"qual_names", STRING},
    {"PitchAngle.format", INT}, {"PitchAngle.project", STRING}, {"PitchAngle.mission", STRING},
    {"PitchAngle.experiment", STRING}, {"PitchAngle.instrument", STRING},
    {"PitchAngle.vinstrument", STRING}, {"PitchAngle.num_tbls", INT}, {"PitchAngle.tbls", INT},
    {"PitchAngle.opers", INT}, {"Sensor0.d_type", CHAR}, {"Sensor0.tdw_len", CHAR},
    {"Sensor0.status", CHAR}, {"Sensor0.time_offset", INT}, {"CalSet0.use", INT},
    {"CalSet0.word_len", CHAR}, {"CalSet0.target", CHAR}, {"Table0.tbl_sca_sz", INT},
    {"Table0.tbl_ele_sz", INT}, {"Table0.tbl_type", CHAR}, {"Table0.tbl_var", CHAR},
    {"Table0.tbl_expand", CHAR}, {"Table0.crit_act_sz", INT}, {"Table0.CriticalAction.status", CHAR},
    {"Table0.CriticalAction.offset", INT}, {"Table0.CriticalAction.table", INT}, {"Table0.format", CHAR},
    {"Table0.offset", INT}, {"Table0.scale", CHAR}, {"Table0.values", INT}, {"Constant0.id", CHAR},
    {"Constant0.scale", CHAR}, {"Constant0.values", INT}, {"version", FLOAT}, {"PitchAngle.bx", INT},
    {"PitchAngle.by", INT}, {"PitchAngle.bz", INT}, {"phi_method", CHAR}, {"nano_defined", CHAR},
    {"data_lat_units", CHAR}, {"swp_reset_units", CHAR}, {"sen_reset_units", CHAR},
    {"PMI.format", INT}, {"PMI.num_angles", INT}, {"PMI.project", STRING}, {"PMI.mission", STRING},
    {"PMI.experiment", STRING}, {"PMI.instrument", STRING}, {"PMI.vinstrument", STRING},
    {"PMI.sensors", INT}, {"PMI.rot_axis", INT}, {"PMI.num_tbls", INT}, {"PMI.tbls", INT},
    {"PMI.opers", INT}, {"ref_sen_delay", FLOAT}, {"ref_sen_delay_unit", INT}, {"orbiting_body", INT},
    {"PotentialSource.format", INT}, {"PotentialSource.project", STRING},
    {"PotentialSource.mission", STRING}, {"PotentialSource.experiment", STRING},
    {"PotentialSource.instrument", STRING}, {"PotentialSource.vinstrument", STRING},
    {"PotentialSource.potential_sensor", INT}, {"PotentialSource.num_tbls", INT},
    {"PotentialSource.tbls", INT}, {"PotentialSource.opers", INT},
    {"PotentialSource.constant_value", FLOAT}, {"CalSet0.scope", CHAR}, {"max_packing", INT},
    {"header_format", CHAR}, {"TensorDefinition.rank", INT}, {"TensorDefinition.rank_lengths", INT},
    {"TensorDefinition.rank_ids", INT}, {"TensorDefinition.rank_min_vals", FLOAT},
    {"TensorDefinition.rank_max_vals", FLOAT}, {"Sensor0.spin_time_offset", INT},
    {"StartOfSpin.project", STRING}, {"StartOfSpin.mission", STRING}, {"StartOfSpin.experiment", STRING},
    {"StartOfSpin.instrument", STRING}, {"StartOfSpin.vinstrument", STRING}, {"StartOfSpin.sensor", INT},
    {"StartOfSpin.msec_adj", INT}, {"StartOfSpin.nsec_adj", INT}, {"CalSet0.d_type", CHAR},
};

TEST(KeldFixture, HaldeDescriptionHoldsEveryReaderKey)
{
    TempDir dir;
    kombra_fixtures::HaldeKeldOptions options;
    options.sensors = 3;
    options.tables = 2;
    options.tableValues = 5;
    const std::string text = kombra_fixtures::HaldeDescription(options).Text();
    const auto parsed = ParseText(dir, text);
    EXPECT_EQ("", parsed.out);
    for (const auto &[key, type] : kReaderKeys) {
        const auto values = KELDFind(parsed.map.get(), std::string("KELD.") + key);
        ASSERT_FALSE(values.empty()) << key;
        EXPECT_EQ(type, values[0].type) << key;
    }
    EXPECT_EQ(3, keld_test::IntAt(parsed.map.get(), "KELD.n_sensors"));
    EXPECT_EQ(3u, KELDFind(parsed.map.get(), "KELD.Constant1.values").size());
    EXPECT_EQ(1004, keld_test::IntAt(parsed.map.get(), "KELD.Table1.values", 4));
    EXPECT_TRUE(KELDFind(parsed.map.get(), "KELD.Sensor3.name").empty());
}

TEST(KeldFixture, WriterEditsAndRefusesWhatTheFormatCannotHold)
{
    kombra_fixtures::KeldText k("R");
    k.Int("a", 1).Floats("S.f", {0.1, -2.0, 1e30}).Ints("S.n", {1, 2}).DeclaredSize("S.n", 4);
    k.Int("a", 5).String("q", "say \"x\"");
    EXPECT_TRUE(k.Has("S.f"));
    k.Remove("S.f");
    EXPECT_FALSE(k.Has("S.f"));
    EXPECT_EQ("KELD R {\n    int a = 5;\n    struct S {\n        int n[4] = {1, 2};\n    };\n"
              "    string q = 'say \"x\"';\n}\n",
              k.Text());
    EXPECT_EQ("0.1", kombra_fixtures::KeldFloatText(0.1));
    EXPECT_EQ("1e+30", kombra_fixtures::KeldFloatText(1e30));
    EXPECT_EQ("-2.0", kombra_fixtures::KeldFloatText(-2.0));
    EXPECT_THROW(k.String("bad", "both \" and '"), std::invalid_argument);
    EXPECT_THROW(k.Int("a.b", 1), std::invalid_argument);
}

}  // namespace
