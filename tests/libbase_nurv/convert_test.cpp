// Conversion to units: the element operations, combinations and built-in
// functions on their own, then convert_to_units on records read from files
// of the NURV writer through a description with look-up, polynomial, sweep,
// sectioned, calibration and mode tables.
#include "archive_fixture.h"

#include <cmath>
#include <limits>

namespace {

using namespace archive_test;

constexpr float kMissing = IR_MISSING_VALUE;
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- Kernels ----------------------------------------------------------------

struct OperationCase {
    int index;  // NUR_OPER
    float o, r, expected;
};

// One element, the table a single value r looked up by input 0.
float Operate(int index, float o, float r)
{
    ir_oper_asgn();
    const KOMBRA_LONG input = 0;
    NUR_OPER[index](&o, &input, 0, &r, 1, 1, 1, 0, 1, 1, 16, 0, nullptr, 0);
    return o;
}

TEST(Kernels, ElementOperations)
{
    const OperationCase cases[] = {
        {0, 5, 2, 2},          {1, 5, 2, 7},          {2, 5, 2, 3},         {3, 5, 2, 10},
        {4, 5, 2, 2.5f},       {4, 5, 0, kInf},       {5, 6.97f, 3, 3},     {6, 4, 3, 7},
        {7, 16, 2, 4},         {7, 16, 34, 4},        {8, 1, 33, 2},        {8, 1, 31, 2147483648.0f},
        {9, -7.5f, 3, -1},     {9, -7, 3, 0},         {9, 7, 3, 1},         {9, 7, 0, kMissing},
        // Integer steps on values without an integer value.
        {5, kMissing, 3, kMissing}, {6, kInf, 3, kMissing}, {7, kNaN, 1, kMissing}, {8, 1, kMissing, kMissing},
        {9, 3e9f, 2, kMissing},
    };
    for (const OperationCase &c : cases)
        EXPECT_EQ(c.expected, Operate(c.index, c.o, c.r)) << "operation " << c.index << " on " << c.o << ", " << c.r;
}

TEST(Kernels, WalkHoldsSectionsAndBounds)
{
    ir_oper_asgn();
    float table[16];
    for (int i = 0; i < 16; ++i)
        table[i] = 100.0f + i;
    // Three targets per input word; only three words are read.
    const KOMBRA_LONG words[] = {5, 6, 7, 99};
    float out[7] = {};
    ir_nur_look_up(out, words, 0, table, 16, 7, 1, 0, 3, 1, 16, 0, nullptr, 0);
    EXPECT_EQ((std::vector<float>{105, 105, 105, 106, 106, 106, 107}), std::vector<float>(out, out + 7));

    // Four sections of four values: target k reads section swp_data[k];
    // indices and sections past the table give the missing value.
    const KOMBRA_LONG steps[] = {0, 3, 2, 4, 1};
    const KOMBRA_LONG index[] = {1, 2, 3, 0, 4};
    float sectioned[5] = {};
    ir_nur_look_up(sectioned, index, 0, table, 4, 5, 1, 0, 1, 1, 16, 2, steps, 4);
    EXPECT_EQ((std::vector<float>{101, 114, 111, kMissing, kMissing}), std::vector<float>(sectioned, sectioned + 5));

    // Polynomials: of the raw value (sign-extended) or of a float input.
    const float line[] = {1.0f, 3.0f};
    const KOMBRA_LONG raw[] = {0xFFF};  // -1 in 12 bits
    float poly = 0;
    ir_nur_look_up(&poly, raw, 0, line, 2, 1, 0, 1, 1, 1, 12, 0, nullptr, 0);
    EXPECT_EQ(-2.0f, poly);
    float value = 2.5f;
    ir_nur_add(&value, &value, 0, line, 2, 1, 0, 2, 1, 0, 0, 0, nullptr, 0);
    EXPECT_EQ(11.0f, value);  // 2.5 + (1 + 3 * 2.5)

    // A look-up of a float input changes nothing; signed look-ups before
    // the table's storage are missing.
    float unchanged = 42;
    ir_nur_look_up(&unchanged, &value, 0, table, 16, 1, 1, 2, 1, 1, 16, 0, nullptr, 0);
    EXPECT_EQ(42.0f, unchanged);
    const KOMBRA_LONG negative[] = {0xF};  // -1 in 4 bits
    ir_nur_look_up(&unchanged, negative, 0, table, 16, 1, 1, 1, 1, 1, 4, 0, nullptr, 0);
    EXPECT_EQ(kMissing, unchanged);
    ir_table_bounds = {table, table + 16};
    ir_nur_look_up(&unchanged, negative, 0, table + 8, 8, 1, 1, 1, 1, 1, 4, 0, nullptr, 0);
    ir_table_bounds = {};
    EXPECT_EQ(107.0f, unchanged);
}

TEST(Kernels, Combinations)
{
    ir_oper_asgn();
    float out[] = {8, 8, 8, 8, -8, 0};
    const float with[] = {2, 2, 2, 2, 0.5f, -1};
    for (int c = 1; c <= 4; ++c)
        COMBINE_OPER[c](out + c - 1, with + c - 1, 1);
    COMBINE_OPER[5](out + 4, with + 4, 2);
    // pow reports a negative base with a fractional exponent, and 0 to a
    // negative power.
    EXPECT_EQ((std::vector<float>{10, 6, 16, 4, kMissing, kMissing}), std::vector<float>(out, out + 6));
    EXPECT_EQ(nullptr, COMBINE_OPER[0]);
    EXPECT_EQ(nullptr, COMBINE_OPER[6]);
}

struct BuiltinCase {
    int number;
    float x, expected;
};

TEST(Kernels, BuiltinFunctions)
{
    nur_data d{};
    float start[] = {350, 10}, stop[] = {10, 30};
    d.start_az = start;
    d.stop_az = stop;
    d.num_angle = 2;
    const BuiltinCase cases[] = {
        {1, 0, 1},        {2, 1, 0},           {2, 0, kMissing},      {2, kMissing, kMissing}, {3, 2, 100},
        {4, 1000, 3},     {4, -1, kMissing},   {5, 10, 1024},         {6, 16, 4},              {6, 0, 0},
        {6, -4, kMissing}, {7, 60, 0.5f},      {8, 90, 1},            {9, 45, 1},              {10, 1, 0},
        {12, 0, 0},       {13, 4, 0.25f},      {13, 0, kMissing},     {16, 3, -3},             {17, -3, 9},
        {18, 5, 5},       {19, -2, 2},         {20, 20, 10},          {21, -2.7f, -2},         {21, kInf, kMissing},
        {22, 200, -56},   {22, 300, 300},      {23, 65535, -1},       {24, 4095, -1},          {25, 16777215, -1},
        {26, -2.5f, -2},  {27, -2.5f, -0.5f},  {28, 1.2f, 2},         {29, -1.2f, -2},         {30, 0, 0},
        {0, 7, 7},        {31, 7, 7},
    };
    for (const BuiltinCase &c : cases) {
        float x = c.x;
        ir_nur_ex_func(c.number, &x, 1, &d);
        EXPECT_NEAR(c.expected, x, std::fabs(c.expected) * 1e-6f) << "built-in " << c.number << " of " << c.x;
    }
    // Azimuth built-ins past the record's azimuths have no value.
    float three[] = {1, 1, 1};
    ir_nur_ex_func(20, three, 3, &d);
    EXPECT_EQ(kMissing, three[2]);
    EXPECT_EQ(351.0f, three[0]);
}

// ---- convert_to_units on a data set ------------------------------------------

// Two sensors of four 8-bit steps; one calibration set of two values per
// sensor; two modes (2 and 4 states).  Tables: 0 look-up of sensor words
// (2 x raw), 1 polynomial 1 + 3 x of sensor words, 2 look-up of sweep steps,
// 3 a constant per sweep step (100 + step, one section per step), 4 look-up
// of calibration words (1000 + raw), 5 look-up of mode 0's states.
constexpr int kConvSteps = 4;

KeldText ConversionDescription(const NurvLayout &layout)
{
    HaldeKeldOptions o;
    o.tables = 6;
    o.constants = 1;
    o.pitchAngle = o.pmi = o.potentialSource = o.startOfSpin = o.tensor = false;
    KeldText text = NurvDescription(layout, o);
    text.Char("Sensor0.d_type", 0).Char("Sensor1.d_type", 0);  // unsigned words
    std::vector<long long> twice, thousand;
    for (int i = 0; i < 256; ++i) {
        twice.push_back(2 * i);
        thousand.push_back(1000 + i);
    }
    struct Table {
        int fmt, var, type;
        std::vector<long long> values;
        std::vector<long long> offsets;
    };
    const Table tables[] = {
        {0, 0, 0, twice, {0, 0}},
        {2, 0, 0, {1, 3}, {0, 0}},
        {0, 2, 0, {10, 20, 30, 40}, {0, 0}},
        {1, 1, 2, {100, 101, 102, 103}, {0, 0}},
        {0, -1, 0, thousand, {0, 0}},
        {0, 4, 0, {7, 9, 70, 71, 72, 73}, {0, 2}},
    };
    for (int t = 0; t < 6; ++t) {
        const Table &tb = tables[t];
        const std::string p = "Table" + std::to_string(t) + ".";
        text.Chars(p + "format", {tb.fmt, tb.fmt})
            .Char(p + "tbl_var", tb.var)
            .Char(p + "tbl_type", tb.type)
            .Int(p + "tbl_ele_sz", static_cast<long long>(tb.values.size()))
            .Ints(p + "values", tb.values)
            .Ints(p + "offset", tb.offsets)
            .Int(p + "tbl_sca_sz", 0);
    }
    return text;
}

class ConvertTest : public ArchiveTest {
protected:
    // One file of two records (and an end record) under layout; record k
    // holds raw sensor words 10 k + 4 c + s and calibration words 50 + 10 k + 2 c + j.
    void Archive(NurvLayout layout, const NurvHeader &header)
    {
        layout.dataLen = 0;
        NurvFiles f;
        f.layout = layout;
        f.headers = {header};
        const int steps = header.sampleCount();
        for (int k = 0; k < 2; ++k) {
            NurvSensorSet set;
            for (int c = 0; c < 2; ++c)
                for (int s = 0; s < steps; ++s)
                    set.samples.push_back(10 * k + 4 * c + s);
            for (int c = 0; c < 2; ++c)
                for (int j = 0; j < (steps + 1) / 2; ++j)
                    set.calSensor.push_back(50 + 10 * k + 2 * c + j);
            f.records.push_back({.time = 14 * kHour + 1000 * k, .hdrOff = {0}, .sets = {set}});
        }
        f.records.push_back({.time = 14 * kHour + 2000, .hdrOff = {-2}});
        f.layout.dataLen = NurvDataLenFor(f.layout, f.records);
        AddFiles(14 * kHour, f);
        AddDescription({2003, 1, 0}, {2004, 1, 0}, ConversionDescription(f.layout));
        WriteCatalog();
        NewReader();
        ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
        ASSERT_STATUS(1, Position(32, 14 * 3600, 0));
        ASSERT_STATUS(1, Read(1, false));
    }
    void StandardArchive()
    {
        NurvLayout layout{.sensors = 2, .levels = kConvSteps, .smpId = 0, .senMode = 2,
                          .sensorBits = {8, 8}, .calSets = {{.use = 2, .bits = 8, .dType = 0}}};
        Archive(layout, {.timeUnits = -3, .dataAccum = 10, .sampIndex = {0, 1, 2, 3}, .sensorIndex = {0, 1},
                         .dqual = {5, 6}, .modes = {1, 3}});
    }

    // convert_to_units of sensor 1 with pairs (table, code).
    KOMBRA_SHORT Convert(int kind, const std::vector<std::pair<int, long>> &pairs, std::vector<float> &out,
                         int sensor = 1, bool fill = false, long fill_value = 0, int cal_set = 0)
    {
        std::vector<KOMBRA_CHAR> tables;
        std::vector<KOMBRA_LONG> codes;
        for (const auto &[t, v] : pairs) {
            tables.push_back(static_cast<KOMBRA_CHAR>(t));
            codes.push_back(static_cast<KOMBRA_LONG>(v));
        }
        out.assign(16, -1.0f);
        const KOMBRA_SHORT status = convert_to_units(
            kKey, "", vnum, rec, static_cast<KOMBRA_SHORT>(sensor), static_cast<int8_t>(kind),
            static_cast<int8_t>(cal_set), static_cast<int8_t>(pairs.size()), tables.data(), codes.data(), out.data(),
            fill ? 1 : 0, static_cast<KOMBRA_LONG>(fill_value));
        return status;
    }
    static std::vector<float> First(const std::vector<float> &v, size_t n) { return {v.begin(), v.begin() + n}; }
};

// Sensor 1 of record 0 holds raw words 4, 5, 6, 7 at steps 0 to 3.
TEST_F(ConvertTest, SensorValuesThroughTablesAndBuffers)
{
    StandardArchive();
    std::vector<float> out;
    ASSERT_STATUS(1, Convert(1, {}, out));
    EXPECT_EQ((std::vector<float>{4, 5, 6, 7}), First(out, 4));
    ASSERT_STATUS(1, Convert(1, {}, out, 1, true, 6));
    EXPECT_EQ((std::vector<float>{4, 5, kMissing, 7}), First(out, 4));

    const struct {
        const char *what;
        std::vector<std::pair<int, long>> pairs;
        std::vector<float> expected;
    } cases[] = {
        {"look-up", {{0, 0}}, {8, 10, 12, 14}},
        {"polynomial", {{1, 0}}, {13, 16, 19, 22}},
        {"times the sweep table", {{0, 0}, {2, 3}}, {80, 200, 360, 560}},
        {"times 100 + step, one section per step", {{0, 0}, {3, 3}}, {800, 1010, 1224, 1442}},
        {"over the sweep table and the accumulation", {{0, 0}, {2, 154}}, {80, 50, 40, 35}},
        {"one count", {{0, 0}, {0, 1000}, {255, 2052}}, {1, 1, 1, 1}},
        {"kept, combined later by buffer code", {{0, 3000}, {1, 0}, {255, 30001}}, {21, 26, 31, 36}},
        {"square root of the difference", {{0, 1000}, {1, 0}, {255, 10062}},
         {std::sqrt(5.0f), std::sqrt(6.0f), std::sqrt(7.0f), std::sqrt(8.0f)}},
    };
    for (const auto &c : cases) {
        ASSERT_STATUS(1, Convert(1, c.pairs, out));
        for (size_t k = 0; k < c.expected.size(); ++k)
            EXPECT_FLOAT_EQ(c.expected[k], out[k]) << c.what << " element " << k;
    }
    // A missing raw word stays missing whatever the tables make of it.
    ASSERT_STATUS(1, Convert(1, {{0, 0}, {0, 1000}, {255, 2052}}, out, 1, true, 5));
    EXPECT_EQ((std::vector<float>{1, kMissing, 1, 1}), First(out, 4));
    // Buffer 1 keeps its preset under an add.
    ASSERT_STATUS(1, Convert(1, {{0, 1001}, {255, 10001}}, out));
    EXPECT_GT(out[0], 3e38f);
}

TEST_F(ConvertTest, OtherKinds)
{
    StandardArchive();
    std::vector<float> out;
    ASSERT_STATUS(1, Convert(2, {{2, 0}}, out));
    EXPECT_EQ((std::vector<float>{10, 20, 30, 40}), First(out, 4));
    // Calibration set 0 of sensor 1: words 52, 53, each for two steps.
    ASSERT_STATUS(1, Convert(3, {{4, 0}}, out));
    EXPECT_EQ((std::vector<float>{1052, 1052, 1053, 1053}), First(out, 4));
    ASSERT_STATUS(1, Convert(3, {}, out, 1, true, 53));
    EXPECT_EQ((std::vector<float>{52, 52, kMissing, kMissing}), First(out, 4));
    EXPECT_STATUS(NURV_CONV_CAL_LENGTH, Convert(3, {{0, 0}}, out));
    EXPECT_STATUS(NURV_CONV_NO_CAL_SET, Convert(3, {}, out, 1, false, 0, 1));
    // Mode 0 holds 1: state 1 of its table.
    ASSERT_STATUS(1, Convert(4, {}, out, 0));
    EXPECT_EQ(1.0f, out[0]);
    ASSERT_STATUS(1, Convert(4, {{5, 0}}, out, 0));
    EXPECT_EQ(9.0f, out[0]);
    EXPECT_STATUS(NURV_CONV_NO_MODE_TABLE, Convert(4, {{0, 0}}, out, 0));
    EXPECT_STATUS(1, Convert(4, {}, out, 2));  // one past the modes passes, with no value
    EXPECT_EQ(kMissing, out[0]);
    EXPECT_STATUS(NURV_CONV_NO_MODE, Convert(4, {}, out, 3));
    ASSERT_STATUS(1, Convert(5, {{0, 0}}, out));
    EXPECT_EQ(6.0f, out[0]);
    ASSERT_STATUS(1, Convert(6, {}, out));
    EXPECT_EQ((std::vector<float>{kMissing, kMissing, kMissing, kMissing}), First(out, 4));
    ASSERT_STATUS(1, Convert(7, {}, out));
    EXPECT_EQ(std::vector<float>(rec->start_az, rec->start_az + 4), First(out, 4));
    ASSERT_STATUS(1, Convert(9, {{0, 0}}, out));
    EXPECT_EQ(kMissing, out[0]);
}

TEST_F(ConvertTest, CodeListsAreCheckedFirst)
{
    StandardArchive();
    const struct {
        std::vector<std::pair<int, long>> pairs;
        int status;
    } cases[] = {
        {{{255, 2003}}, NURV_CONV_NO_KEEP},      {{{0, 3000}, {255, 31002}}, 1},
        {{{0, 3000}, {255, 21002}}, NURV_CONV_BUFFER_TWO}, {{{0, 3000}, {255, 12002}}, NURV_CONV_BUFFER_TWO},
        {{{0, 1000}, {255, 11002}}, NURV_CONV_SAME_BUFFER}, {{{0, 3000}, {255, 31000}}, NURV_CONV_BAD_CODE},
        {{{255, 31001}}, NURV_CONV_EMPTY_BUFFER}, {{{255, 31001}, {0, 3000}}, 1},
        {{{0, 2000}}, NURV_CONV_BAD_CODE},        {{{0, 1000}, {0, 2006}}, NURV_CONV_BAD_CODE},
        {{{0, -5}}, NURV_CONV_BAD_CODE},          {{{0, 100000}}, NURV_CONV_BAD_CODE},
        {{{6, 0}}, NURV_CONV_NO_TABLE},           {{{255, 0}}, NURV_CONV_NO_TABLE},
        {{{255, 1000}}, NURV_CONV_NO_TABLE},      {{{0, 1000}, {255, 2052}}, 1},
    };
    std::vector<float> out;
    for (const auto &c : cases) {
        EXPECT_STATUS(c.status, Convert(1, c.pairs, out));
        if (c.status != 1) {
            EXPECT_EQ(-1.0f, out[0]);  // untouched
        }
    }
    EXPECT_STATUS(NURV_CONV_BAD_KIND, Convert(10, {}, out));
    EXPECT_STATUS(1, Convert(0, {}, out));
    EXPECT_STATUS(NURV_NO_SUCH_SENSOR, Convert(1, {}, out, 2));
    std::vector<KOMBRA_CHAR> none;
    EXPECT_STATUS(NURV_CONV_NOT_OPEN,
                  convert_to_units(kKey, "", static_cast<KOMBRA_USHORT>(vnum + 1), rec, 0, 1, 0, 0, none.data(),
                                   nullptr, out.data(), 0, 0));
}

// One sweep step per header (smp_id 2): the step's table value holds for
// every sample, in tables over the step and sectioned tables alike.
TEST_F(ConvertTest, OneStepPerHeaderHoldsTheStepValue)
{
    NurvLayout layout{.sensors = 2, .levels = kConvSteps, .smpId = 2, .senMode = 2, .maxPacking = kConvSteps,
                      .sensorBits = {8, 8}, .calSets = {{.use = 2, .bits = 8, .dType = 0}}};
    Archive(layout, {.timeUnits = -3, .dataAccum = 10, .nSample = 4, .sampIndex = {2}, .sensorIndex = {0, 1},
                     .dqual = {5, 6}, .modes = {1, 3}});
    ASSERT_EQ(4, rec->num_sample);
    ASSERT_EQ(1, rec->num_swp_steps);
    std::vector<float> out;
    ASSERT_STATUS(1, Convert(1, {{0, 0}, {2, 3}}, out));
    EXPECT_EQ((std::vector<float>{240, 300, 360, 420}), First(out, 4));
    ASSERT_STATUS(1, Convert(1, {{0, 0}, {3, 3}}, out));
    EXPECT_EQ((std::vector<float>{816, 1020, 1224, 1428}), First(out, 4));
}

}  // namespace
