// Sensor combinations and critical actions: the needed sensors grouped by
// where their tables start, and tables re-read when a header changes the
// status byte that selects them.
#include "description_fixture.h"

#include <vector>

namespace {

using kombra_fixtures::HaldeDescription;
using kombra_fixtures::KeldText;

// Three sensors and two tables of one value per sweep step (32), each read
// from a list of 48 values 1000 t + i, one scale factor per sensor.
KeldText ThreeSensors()
{
    KeldText text = HaldeDescription({.sensors = 3, .tables = 2});
    for (const char *t : {"Table0.", "Table1."}) {
        const std::string p = t;
        std::vector<long long> values;
        for (int i = 0; i < 48; ++i)
            values.push_back((p == "Table0." ? 0 : 1000) + i);
        text.Chars(p + "format", {0, 0, 0})
            .Char(p + "tbl_var", 2)
            .Int(p + "tbl_ele_sz", 48)
            .Ints(p + "values", values)
            .Int(p + "tbl_sca_sz", -3)
            .Chars(p + "scale", {0, 0, 0});
    }
    return text;
}

// Table t's critical action on status byte 0 (two states), choosing the
// table's offsets 0 and 8.
void Critical(KeldText &text, int t)
{
    const std::string p = "Table" + std::to_string(t) + ".";
    text.Int(p + "crit_act_sz", 2)
        .Chars(p + "CriticalAction.status", {0, 0, 0})
        .Ints(p + "CriticalAction.offset", {0, 0, 0})
        .Ints(p + "CriticalAction.table", {0, 8});
}

class ComboTest : public DescribedReaderTest {
protected:
    // Opens text afresh with needed sensors and builds the combinations.
    KOMBRA_SHORT Build(const KeldText &text, const std::vector<int> &needed = {1, 1, 1})
    {
        free_experiment_info();
        init_nurv();
        experiment_info &ex = Open(text);
        GiveSensors(ex, static_cast<int>(needed.size()));
        for (size_t s = 0; s < needed.size(); ++s)
            ex.sensors_needed[s] = static_cast<KOMBRA_CHAR>(needed[s]);
        return ir_sensor_combo(2003, 32, 0, 0, 2003, 32, 60, 0);
    }
    static std::vector<int> Index()
    {
        const experiment_info &ex = *ginfo.expt;
        return {ex.index_sen_tbl, ex.index_sen_tbl + ex.num_sensor};
    }
    // First value of table t of combination c.
    static float First(int c, int t) { return ginfo.expt->sen_tbl_ptr[c].tbl_ptr[t][0]; }

    // Runs the status check under a header whose status byte 0 is v.
    static KOMBRA_SHORT Header(KOMBRA_UCHAR v)
    {
        static KOMBRA_UCHAR modes = 1, status[1];
        status[0] = v;
        ptr_rec &p = *ginfo.expt->info_ptr;
        p.I_MODE = &modes;
        p.MODE_INDEX = status;
        const KOMBRA_SHORT got = ir_check_critical_status(2003, 32, 0, 0, 2003, 32, 60, 0);
        p.I_MODE = p.MODE_INDEX = nullptr;
        return got;
    }
};

TEST_F(ComboTest, SensorsShareTablesThatStartAtTheSameOffsets)
{
    ASSERT_STATUS(1, Build(ThreeSensors()));
    EXPECT_EQ(1, ginfo.expt->num_combo);
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Index());

    KeldText text = ThreeSensors();
    text.Ints("Table1.offset", {0, 8, 0});
    ASSERT_STATUS(1, Build(text));
    EXPECT_EQ(2, ginfo.expt->num_combo);
    EXPECT_EQ((std::vector<int>{0, 1, 0}), Index());
    EXPECT_EQ(1000.0f, First(0, 1));
    EXPECT_EQ(1008.0f, First(1, 1));
    EXPECT_EQ(0.0f, First(1, 0));

    // The odd sensor out is not needed: one combination, and no index for it.
    ASSERT_STATUS(1, Build(text, {1, 0, 1}));
    EXPECT_EQ(1, ginfo.expt->num_combo);
    EXPECT_EQ((std::vector<int>{0, -1, 0}), Index());
}

TEST_F(ComboTest, TwoCriticalTablesGiveEverySensorItsOwnCombination)
{
    KeldText text = ThreeSensors();
    Critical(text, 0);
    Critical(text, 1);
    ASSERT_STATUS(1, Build(text, {1, 0, 1}));
    EXPECT_EQ(2, ginfo.expt->crit_action);
    EXPECT_EQ(2, ginfo.expt->num_combo);
    EXPECT_EQ((std::vector<int>{0, -1, 1}), Index());
}

// A header that changes the status value re-reads the table from the
// state's offset; an unchanged value or a state the action does not list
// reads nothing.
TEST_F(ComboTest, StatusChangesRefillTheTable)
{
    KeldText text = ThreeSensors();
    Critical(text, 1);
    ASSERT_STATUS(1, Build(text));
    ASSERT_EQ(1, ginfo.expt->num_combo);
    const crit_action_info &action = ginfo.expt->sen_tbl_ptr[0].act_ptr[0];
    EXPECT_EQ(1, action.crit_tbl);
    EXPECT_EQ(-1, action.crit_flag);

    ASSERT_STATUS(1, Header(1));
    EXPECT_EQ(1008.0f, First(0, 1));
    EXPECT_EQ(8, action.crit_offset);
    ginfo.expt->sen_tbl_ptr[0].tbl_ptr[1][0] = -5.0f;  // shows whether the table is read again
    ASSERT_STATUS(1, Header(1));
    EXPECT_EQ(-5.0f, First(0, 1));
    ASSERT_STATUS(1, Header(7));
    EXPECT_EQ(-5.0f, First(0, 1));
    ASSERT_STATUS(1, Header(0));
    EXPECT_EQ(1000.0f, First(0, 1));
    EXPECT_EQ(0.0f, First(0, 0));  // the other table stays as it was
}

}  // namespace
