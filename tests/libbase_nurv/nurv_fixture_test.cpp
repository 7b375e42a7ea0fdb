// The NURV file writer the reader's tests stand on: one file pair against
// bytes worked out by hand, the packing of containers narrower and wider
// than 16 bits, the calibration counts, and the description's layout keys.
#include "nurv_fixture.h"
#include "support.h"

#include <sstream>

using namespace kombra_fixtures;

namespace {

std::vector<unsigned char> Hex(const std::string &text)
{
    std::istringstream in(text);
    std::vector<unsigned char> bytes;
    unsigned v = 0;
    while (in >> std::hex >> v)
        bytes.push_back(static_cast<unsigned char>(v));
    return bytes;
}

// Two 16-bit sensors of 3 steps, one sweep calibration per 2 steps and
// sensor, NANO_RES, two HDR_OFF slots.
NurvFiles SmallPair()
{
    NurvFiles f;
    f.layout = {.sensors = 2, .levels = 3, .maxNss = 2, .nano = true,
                .calSets = {{.use = 2, .bits = 16, .target = 1, .scope = 0}}};
    f.headers = {{.dataAccum = 1000, .dataLat = -1, .swpReset = 3000,
                  .sampIndex = {0, 1, 2}, .sensorIndex = {0, 1}, .dqual = {0, 2}, .modes = {7}},
                 {.nSample = 3, .sampIndex = {-5}, .sensorIndex = {1}}};
    f.headerEnd = 65534;
    f.records = {{.time = 50730000, .sunSen = -12, .hdrOff = {0, f.HeaderOffset(1)}, .nanoRes = 250,
                  .sets = {{.samples = {1, 2, 3, 0x100, 0x8000, -1}, .calSwpTbl = {10, 11, 20, 21}},
                           {.samples = {7, 8, 9}, .calSwpTbl = {30, 31}}}},
                 {.hdrOff = {-2}, .length = 24}};
    return f;
}

const char *const kHeaderFile =
    "00 29 07 D3 00 20 FD 01 00 00 03 E8 FF FF FF FF 00 00 0B B8 00 00 00 00 00 02 "
    "00 03 00 00 00 01 00 02 00 00 00 01 00 02 07 "
    "00 21 07 D3 00 20 FD 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 "
    "00 03 FF FB 00 01 00 "
    "FF FE";

const char *const kDataFile =
    "03 06 14 10 00 00 0F A0 FF FF FF F4 00 00 00 00 00 00 00 29 00 00 00 02 00 00 00 FA "
    "00 01 00 02 00 03 01 00 80 00 FF FF 00 0A 00 0B 00 14 00 15 "
    "00 07 00 08 00 09 00 1E 00 1F 00 00 "
    "00 00 00 00 00 00 0F A0 00 00 00 00 FF FF FF FE FF FF FF FF 00 00 00 00";

TEST(NurvFixture, SmallPairMatchesHandWorkedBytes)
{
    NurvFiles f = SmallPair();
    EXPECT_EQ(41, f.HeaderOffset(1));
    EXPECT_EQ(74, f.HeaderOffset(2));
    EXPECT_EQ(58, NurvDataLenFor(f.layout, f.records));
    f.layout.dataLen = 60;

    kombra_test::TempDir dir;
    const NurvPaths paths = WriteNurvPair(dir.file("C1/CP3DRH"), "CP3DRH", 2003, 32, 50730000, f);
    EXPECT_EQ(dir.file("C1/CP3DRH/CP3DRH20030321405H"), paths.header);
    EXPECT_EQ(dir.file("C1/CP3DRH/CP3DRH20030321405D"), paths.data);
    EXPECT_EQ(Hex(kHeaderFile), kombra_test::ReadBytes(paths.header));
    EXPECT_EQ(Hex(kDataFile), kombra_test::ReadBytes(paths.data));
}

TEST(NurvFixture, CalibrationCountsFollowTargetAndScope)
{
    NurvLayout layout;
    layout.calSets = {{.use = 0, .target = 1, .scope = 1},
                      {.use = 2, .target = 0, .scope = 1},
                      {.use = 3, .target = 1, .scope = 0},
                      {.use = 1, .target = 2, .scope = 2}};
    const NurvCalCounts c = NurvCalibrationCounts(layout, 3, 2);
    EXPECT_EQ((std::vector<int>{1, 2, 1, 3}), c.csetNum);
    EXPECT_EQ(1, c.allSwp);
    EXPECT_EQ(2, c.allSen);
    EXPECT_EQ(2, c.swp);
    EXPECT_EQ(6, c.sen);
}

TEST(NurvFixture, ContainerWidthOfWordLength)
{
    const std::vector<std::pair<int, int>> widths = {{1, 1},  {2, 2},   {3, 4},   {4, 4},   {5, 8},
                                                     {8, 8},  {9, 16},  {16, 16}, {17, 32}, {32, 32}};
    for (const auto &[tdw, bits] : widths) {
        const NurvLayout sensor{.sensorBits = {1, tdw}};
        const NurvLayout cal{.sensorBits = {1}, .calSets = {{.bits = tdw}}};
        EXPECT_EQ(bits, sensor.containerBits()) << "sensor tdw_len " << tdw;
        EXPECT_EQ(bits, cal.containerBits()) << "word_len " << tdw;
    }
}

TEST(NurvFixture, RefusesWhatCannotBeLaidOut)
{
    const NurvLayout oneBit{.sensors = 1, .sensorBits = {1}, .dataLen = 20};
    EXPECT_THROW(NurvSetBytes(oneBit, {.samples = {2}}), std::invalid_argument);
    EXPECT_THROW(NurvSetBytes(oneBit, {.calSensor = {-2}}), std::invalid_argument);
    EXPECT_THROW(NurvRecordBytes(oneBit, {.hdrOff = {0, 0}}), std::invalid_argument);
    EXPECT_THROW(NurvRecordBytes(oneBit, {.sets = {{.raw = std::vector<unsigned char>(5)}}}),
                 std::invalid_argument);
    EXPECT_EQ(22u, NurvRecordBytes(oneBit, {.sets = {{.raw = std::vector<unsigned char>(9)}}, .length = 22})
                       .size());
    EXPECT_THROW(NurvRecordBytes(NurvLayout{}, {}), std::invalid_argument);
    EXPECT_THROW(NurvHeaderBytes({.headerFormat = 3}, {}), std::invalid_argument);
}

// Two sensor sets of one record: each set's calibration arrays continue one
// bit stream from the byte after its samples, the second set from the byte
// after the first.
struct PackingCase {
    const char *name;
    int sensorBits;
    int calBits;  // word_len of a calibration set; 0: none
    NurvSensorSet first, second;
    const char *data;
};

void PrintTo(const PackingCase &c, std::ostream *os) { *os << c.name; }

class NurvPacking : public ::testing::TestWithParam<PackingCase> {};

TEST_P(NurvPacking, SetsFollowOneAnotherFromWholeBytes)
{
    const PackingCase &c = GetParam();
    NurvLayout layout{.sensors = 1, .sensorBits = {c.sensorBits}};
    if (c.calBits > 0)
        layout.calSets = {{.bits = c.calBits}};
    const NurvRecord record{.sets = {c.first, c.second}};
    layout.dataLen = NurvDataLenFor(layout, {record});
    const auto bytes = NurvRecordBytes(layout, record);
    EXPECT_EQ(Hex(c.data), std::vector<unsigned char>(bytes.begin() + layout.fixedLen(), bytes.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Widths, NurvPacking,
    ::testing::Values(
        PackingCase{"OneBit", 1, 0,
                    {.samples = {1, 0, 1}, .allCalSwp = {1}, .allCalSen = {0}, .calSwpTbl = {1},
                     .calSensor = {1, 0, 1}},
                    {.samples = {1}}, "A0 B4 80"},
        PackingCase{"TwoBits", 2, 0,
                    {.samples = {3, 1, 2}, .allCalSwp = {1, 2}, .allCalSen = {3}, .calSensor = {0, 1, 2}},
                    {.samples = {-2}}, "D8 6C 60 80"},
        PackingCase{"NibblesForThreeBits", 3, 0,
                    {.samples = {0xA, 5, 7}, .allCalSen = {0xF}, .calSwpTbl = {1, 2}},
                    {.samples = {-1}}, "A5 70 F1 20 F0"},
        PackingCase{"BytesForCalibrationWordOfFive", 4, 5,
                    {.samples = {0x81, 2}, .calSensor = {-1}}, {.samples = {3}}, "81 02 FF 03"},
        PackingCase{"LongsForSeventeen", 17, 0, {.samples = {-2}, .allCalSwp = {0x01020304}},
                    {.samples = {5}}, "FF FF FF FE 01 02 03 04 00 00 00 05"}),
    [](const ::testing::TestParamInfo<PackingCase> &info) { return std::string(info.param.name); });

TEST(NurvFixture, DescriptionCarriesTheLayout)
{
    const NurvLayout layout{.sensors = 3, .levels = 8, .maxNss = 2, .nano = true, .headerFormat = 2,
                            .smpId = 2, .senMode = 1, .daMethod = 2, .maxPacking = 3,
                            .sensorBits = {4, 12, 16},
                            .calSets = {{.use = 0, .bits = 8, .target = 1, .scope = 1, .dType = 1}},
                            .dataLen = 120};
    const KeldText k = NurvDescription(layout, {.spacecraft = "C3"});
    const std::vector<std::pair<const char *, const char *>> keys = {
        {"spacecraft", "\"C3\""}, {"n_sensors", "3"},     {"swp_len", "8"},          {"n_cal_sets", "1"},
        {"smp_id", "2"},          {"sen_mode", "1"},      {"da_method", "2"},        {"max_nss", "2"},
        {"max_packing", "3"},     {"data_len", "120"},    {"nano_defined", "1"},     {"header_format", "2"},
        {"Sensor0.tdw_len", "4"}, {"Sensor1.tdw_len", "12"}, {"Sensor2.tdw_len", "16"},
        {"CalSet0.use", "0"},     {"CalSet0.word_len", "8"}, {"CalSet0.target", "1"},
        {"CalSet0.scope", "1"},   {"CalSet0.d_type", "1"}};
    for (const auto &[path, text] : keys) {
        const KeldDecl *decl = k.Find(path);
        ASSERT_NE(nullptr, decl) << path;
        EXPECT_EQ((std::vector<std::string>{text}), decl->values) << path;
    }
    EXPECT_FALSE(k.Has("Sensor3"));
    EXPECT_FALSE(k.Has("CalSet1"));
    EXPECT_THROW(NurvDescription({.sensors = 2, .sensorBits = {16}}), std::invalid_argument);
}

}  // namespace
