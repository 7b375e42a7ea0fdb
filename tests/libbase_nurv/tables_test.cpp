// Look-up tables of a data set: sizes, look-up values, expanded polynomials,
// scale factors, mode tables, and tables that cannot be built.
#include "description_fixture.h"

#include <cstdlib>
#include <vector>

namespace {

using kombra_fixtures::HaldeDescription;
using kombra_fixtures::KeldText;

class TablesTest : public DescribedReaderTest {
protected:
    // Builds the tables of one combination of every sensor, its words bits
    // wide; the status of the build.
    KOMBRA_SHORT Build(const KeldText &text, int bits)
    {
        experiment_info &ex = Open(text);
        ex.bmem.base_sen_ptr = std::calloc(1, sizeof(sensor_tables));
        ex.sen_tbl_ptr = static_cast<sensor_tables *>(ex.bmem.base_sen_ptr);
        ex.num_combo = 1;
        ex.sen_tbl_ptr[0].max_tdw_len = static_cast<int8_t>(bits);
        return ir_get_tbl_info(0, 0, 2003, 32, 0, 0, 2003, 32, 60, 0);
    }
    const sensor_tables &Tables() const { return ginfo.expt->sen_tbl_ptr[0]; }

    // A description whose table 0 is the polynomial 5 + 3x, expanded.
    static KeldText Polynomial()
    {
        KeldText text = HaldeDescription({.tables = 1});
        text.Chars("Table0.format", {2, 2, 2, 2})
            .Char("Table0.tbl_expand", 1)
            .Int("Table0.tbl_sca_sz", 0)
            .Ints("Table0.values", {5, 3});
        return text;
    }
};

TEST_F(TablesTest, ExpandedPolynomialCoversEveryRawValue)
{
    ASSERT_EQ(1, Build(Polynomial(), 12));
    EXPECT_EQ(4096, Tables().tbl_size[0]);
    EXPECT_EQ(5.0f, Tables().tbl_ptr[0][0]);
    EXPECT_EQ(5.0f + 3 * 4095, Tables().tbl_ptr[0][4095]);
}

TEST_F(TablesTest, SignedSamplesLookUpFromTheMiddle)
{
    KeldText text = Polynomial();
    text.Char("Sensor0.d_type", 1);
    ASSERT_EQ(1, Build(text, 12));
    EXPECT_EQ(Tables().tbls + 2048, Tables().tbl_ptr[0]);
    EXPECT_EQ(5.0f, Tables().tbl_ptr[0][0]);
    EXPECT_EQ(5.0f - 3 * 2048, Tables().tbl_ptr[0][-2048]);
    EXPECT_EQ(5.0f + 3 * 2047, Tables().tbl_ptr[0][2047]);
}

TEST_F(TablesTest, LookUpValuesScaledPerSensorAndNegativeFormats)
{
    KeldText text = HaldeDescription();
    text.Chars("Table0.format", {-1, -1, -1, -1});
    text.Chars("Table1.format", {0, 0, 0, 0}).Char("Table1.tbl_var", 2).Chars("Table1.scale", {-1, 0, 0, 0});
    ASSERT_EQ(1, Build(text, 16));
    EXPECT_EQ(nullptr, Tables().tbl_ptr[0]);
    EXPECT_EQ(0, Tables().tbl_size[0]);
    ASSERT_EQ(32, Tables().tbl_size[1]);  // one value per sweep step
    EXPECT_FLOAT_EQ(100.0f, Tables().tbl_ptr[1][0]);
    EXPECT_FLOAT_EQ(103.1f, Tables().tbl_ptr[1][31]);
}

TEST_F(TablesTest, DataSetPotentialPolynomialReplacesTheDescriptions)
{
    KeldText text = HaldeDescription({.tables = 1});
    text.Chars("Table0.format", {0, 0, 0, 0}).Char("Table0.tbl_var", 3);
    Describe(text);
    experiment_info &ex = Add(0x8000, "AB", 0);
    ex.override_potential_poly = sTrue;
    ex.potential_intercept = 1.5f;
    ex.potential_slope = -0.25f;
    ASSERT_EQ(1, ir_read_nur_once(2003, 32, 0, 0, 2003, 32, 60, 0));
    ex.bmem.base_sen_ptr = std::calloc(1, sizeof(sensor_tables));
    ex.sen_tbl_ptr = static_cast<sensor_tables *>(ex.bmem.base_sen_ptr);
    ex.num_combo = 1;
    ASSERT_EQ(1, ir_get_tbl_info(0, 0, 2003, 32, 0, 0, 2003, 32, 60, 0));
    EXPECT_EQ(1.5f, Tables().tbl_ptr[0][0]);
    EXPECT_EQ(-0.25f, Tables().tbl_ptr[0][1]);
    EXPECT_EQ(2.0f, Tables().tbl_ptr[0][2]);
}

struct Refusal {
    const char *name;
    void (*edit)(KeldText &);
    int bits;
    int status;
};

void PrintTo(const Refusal &r, std::ostream *os)
{
    *os << r.name;
}

class TableRefusals : public TablesTest, public testing::WithParamInterface<Refusal> {};

TEST_P(TableRefusals, AreRefusedWithTheirStatus)
{
    KeldText text = HaldeDescription({.tables = 1});
    text.Chars("Table0.format", {0, 0, 0, 0});
    GetParam().edit(text);
    EXPECT_STATUS(GetParam().status, Build(text, GetParam().bits));
}

INSTANTIATE_TEST_SUITE_P(
    All, TableRefusals,
    testing::Values(
        // Look-up values of table 0 from offset 20 reach past its 32 values.
        Refusal{"ValuesPastTheTable",
                [](KeldText &k) { k.Char("Table0.tbl_var", 2).Ints("Table0.offset", {20, 20, 20, 20}); }, 16, -127},
        Refusal{"ScalesPastTheirList",
                [](KeldText &k) { k.Char("Table0.tbl_var", 2).Int("Table0.tbl_sca_sz", 8); }, 16, -127},
        Refusal{"WordOf24Bits", [](KeldText &k) { k.Char("Table0.tbl_var", 0); }, 24, -462},
        Refusal{"CalibrationSetTheDescriptionLacks", [](KeldText &k) { k.Char("Table0.tbl_var", -3); }, 16, -463},
        Refusal{"LookUpOfVariableSix", [](KeldText &k) { k.Char("Table0.tbl_var", 6); }, 16, -464},
        Refusal{"LookUpOfASweepTable", [](KeldText &k) { k.Char("Table0.tbl_type", 2); }, 16, -224},
        Refusal{"FormatAbsent", [](KeldText &k) { k.Remove("Table0.format"); }, 16, -68},
        Refusal{"NoOffsetWithoutCriticalActions",
                [](KeldText &k) { k.Char("Table0.tbl_var", 2).Ints("Table0.offset", {-1, -1, -1, -1}); }, 16,
                -458}),
    [](const testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

// Mode tables: one per mode byte, as many values as the byte has states.
TEST_F(TablesTest, ModeTablesHoldAValuePerState)
{
    KeldText text = HaldeDescription({.tables = 2});
    text.Chars("Table1.format", {0, 0}).Char("Table1.tbl_var", 4).Int("Table1.tbl_sca_sz", -2)
        .Chars("Table1.scale", {0, 1}).Ints("Table1.offset", {0, 5});
    experiment_info &ex = Open(text);
    ASSERT_EQ(1, ir_get_mode_info(2003, 32, 0, 0, 2003, 32, 60, 0));
    ASSERT_EQ(2, ex.num_modes);
    const mode_tables &m0 = ex.mode_tbl_ptr[0], &m1 = ex.mode_tbl_ptr[1];
    ASSERT_EQ(1, m0.num_tbls);
    EXPECT_EQ(1, m0.tbl_num[0]);
    EXPECT_EQ(2, m0.tbl_size[0]);  // Status0 has 2 states, Status1 4
    EXPECT_EQ(4, m1.tbl_size[0]);
    EXPECT_EQ(1000.0f, m0.tbl_ptr[0][1 - 1]);
    EXPECT_EQ(10050.0f, m1.tbl_ptr[0][0]);  // offset 5, scale 1
}

}  // namespace
