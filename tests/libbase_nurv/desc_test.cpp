// Description values of a data set: what the reader copies from its
// description once and for each file, the constant rows and unit normals,
// and the descriptions it refuses.
#include "description_fixture.h"

#include <functional>
#include <string>

namespace {

using kombra_fixtures::HaldeDescription;
using kombra_fixtures::KeldText;

TEST_F(DescribedReaderTest, ValuesOfADescriptionReadOnceAndPerFile)
{
    KeldText text = HaldeDescription();
    text.Char("Sensor3.tdw_len", 12).Char("CalSet1.word_len", 20).Char("Table1.tbl_var", 2);
    experiment_info &ex = Open(text);
    EXPECT_EQ(1, ex.max_nss);
    EXPECT_EQ(1, ex.header_format);
    EXPECT_EQ(2, ex.smp_id);
    EXPECT_EQ(2, ex.cal_sets);
    EXPECT_EQ(4, ex.num_sensor);
    EXPECT_EQ(32, ex.swp_len);
    EXPECT_EQ(1, ex.nano_defined);
    EXPECT_EQ(256, ex.info_ptr->d_size);
    ASSERT_NE(nullptr, ex.DATA_MEM);
    EXPECT_EQ(reinterpret_cast<KOMBRA_UCHAR *>(ex.DATA_MEM) + 24, ex.info_ptr->DATA);  // NSS, NANO_RES before
    // sen_mode 4: a sensor's whole sweep, sensors one after another.
    EXPECT_EQ(0, ex.TRC);
    EXPECT_EQ(1, ex.TRP);
    EXPECT_EQ(1, ex.TCP);
    EXPECT_EQ(20, ex.tdw_len);  // the widest sensor or calibration word
    EXPECT_EQ(12, ex.sen_tdw_len[3]);
    EXPECT_EQ(1, ex.CAL_USE[1]);
    EXPECT_EQ(3, ex.d_type[0]);
    EXPECT_EQ(1, ex.sen_status[2]);
    EXPECT_EQ(-1, ex.tbl_info_ptr[0].tbl_sca_sz);
    EXPECT_EQ(1, ex.tbl_info_ptr[0].sen_fn_of_raw);
    EXPECT_EQ(2, ex.tbl_info_ptr[1].tbl_var);
    EXPECT_EQ(2010, ex.de_year);
    EXPECT_EQ(86399999, ex.de_msec);
    EXPECT_EQ(65535, ex.fill_value);
    EXPECT_EQ(1, ex.pa_def);
    EXPECT_EQ(1, ex.euler_def);
    EXPECT_EQ(1, ex.phi_method);
    // Constants with identifiers 0 and 1 fill no row: presets stay.
    ASSERT_NE(nullptr, ex.constants);
    EXPECT_EQ(0.0f, ex.constants[3]);
    EXPECT_EQ(-1.0f, ex.constants[5 * 4 + 3]);
}

struct Refusal {
    const char *name;
    std::function<void(KeldText &)> edit;
    int status;
};

void PrintTo(const Refusal &r, std::ostream *os)
{
    *os << r.name;
}

// A description of one plain tensor per record.
void PlainTensor(KeldText &k)
{
    k.Char("header_format", 2).Char("n_tbls", 0).Char("n_cal_sets", 0).Char("smp_id", 3).Int("swp_len", 1).Char(
        "sen_mode", 3);
}

class DescriptionRefusals : public DescribedReaderTest, public testing::WithParamInterface<Refusal> {};

TEST_P(DescriptionRefusals, AreRefusedWithTheirStatus)
{
    KeldText text = HaldeDescription();
    GetParam().edit(text);
    KOMBRA_SHORT status = 0;
    testing::internal::CaptureStdout();
    Open(text, &status);
    testing::internal::GetCapturedStdout();
    EXPECT_STATUS(GetParam().status, status);
}

INSTANTIATE_TEST_SUITE_P(
    All, DescriptionRefusals,
    testing::Values(
        Refusal{"MaxNssAbsent", [](KeldText &k) { k.Remove("max_nss"); }, -83},
        Refusal{"HeaderFormat3", [](KeldText &k) { k.Char("header_format", 3); }, -351},
        Refusal{"TensorRank11", [](KeldText &k) { k.Char("header_format", 2).Int("TensorDefinition.rank", 11); },
                -352},
        Refusal{"TensorLengthNotGiven",
                [](KeldText &k) { k.Char("header_format", 2).Int("TensorDefinition.rank", 3); }, -353},
        Refusal{"TensorLengthsLongerThanTheirBuffer",
                [](KeldText &k) {
                    k.Char("header_format", 2).Ints("TensorDefinition.rank_lengths", std::vector<long long>(12, 2));
                },
                KELD_SHORT_BUFFER},
        Refusal{"TensorWithTables", [](KeldText &k) { k.Char("header_format", 2); }, -375},
        Refusal{"TensorWithoutFill",
                [](KeldText &k) {
                    PlainTensor(k);
                    k.Char("fill_flag", 0);
                },
                -367},
        Refusal{"TensorWithPitchAngles", PlainTensor, -366},
        Refusal{"RecordShorterThanItsFixedFields", [](KeldText &k) { k.Int("data_len", 23); }, -88},
        Refusal{"NoSensorSetOffsets", [](KeldText &k) { k.Int("max_nss", 0); }, -88},
        Refusal{"SensorWordOf40Bits", [](KeldText &k) { k.Char("Sensor1.tdw_len", 40); }, -461},
        Refusal{"CalibrationWordOf33Bits", [](KeldText &k) { k.Char("CalSet0.word_len", 33); }, -461},
        Refusal{"ModeTableBeforeAnOrdinaryOne", [](KeldText &k) { k.Char("Table0.tbl_var", 4); }, -240},
        Refusal{"DescriptionEndAbsent", [](KeldText &k) { k.Remove("e_year"); }, -73},
        Refusal{"ConstantValuesAbsent",
                [](KeldText &k) { k.Char("Constant0.id", 2).Remove("Constant0.values"); }, -137}),
    [](const testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

// Constants: identifiers 2 to 5 fill rows 0 to 3, 9 and 10 rows 4 and 5 when
// azimuths are fixed; each value times ten to its scale.
TEST_F(DescribedReaderTest, ConstantRowsByIdentifier)
{
    KeldText text = HaldeDescription({.constants = 3});
    text.Char("Constant0.id", 2).Chars("Constant0.scale", {1, 0, -1, 2});
    text.Char("Constant1.id", 9);
    text.Char("Constant2.id", 2).Ints("Constant2.values", {7, 8, 9, 10}).Chars("Constant2.scale", {0, 0, 0, 1});
    experiment_info &ex = Open(text);
    // The later constant with identifier 2 overwrites the earlier one.
    EXPECT_EQ(7.0f, ex.constants[0]);
    EXPECT_EQ(100.0f, ex.constants[3]);
    EXPECT_EQ(2000.0f, ex.constants[4 * 4 + 0]);  // identifier 9: row 4, value 200 at scale 1

    text.Remove("phi_method");  // absent: 0, four rows, identifier 9 ignored
    Open(text);
    EXPECT_EQ(0, ginfo.expt->phi_method);
    EXPECT_EQ(-1.0f, ginfo.expt->constants[4 * 2 - 1]);
}

TEST_F(DescribedReaderTest, ExpandFlagOfATableOfTheStepIsCorrected)
{
    KeldText text = HaldeDescription();
    text.Char("Table2.tbl_var", 3).Char("Table2.tbl_expand", 1);
    testing::internal::CaptureStdout();
    experiment_info &ex = Open(text);
    EXPECT_EQ("\nTBL_EXPAND flag for table 2 has been changed to 0.\nKELD file should be corrected.",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, ex.tbl_info_ptr[2].tbl_expand);
    EXPECT_EQ(0, ex.tbl_info_ptr[2].sen_fn_of_raw);
}

TEST_F(DescribedReaderTest, UnitNormalsFromConstants)
{
    KeldText text = HaldeDescription({.sensors = 2, .constants = 3});
    for (int c = 0; c < 3; ++c)
        text.Char("Constant" + std::to_string(c) + ".id", 6 + c).Chars("Constant" + std::to_string(c) + ".scale",
                                                                       {0, 0});
    text.Ints("Constant0.values", {3, 0}).Ints("Constant1.values", {4, 0}).Ints("Constant2.values", {0, 2});
    experiment_info &ex = Open(text);
    pitch_info pitch{};
    double normals[6] = {}, lengths[2] = {};
    pitch.unit_normals = normals;
    pitch.mag_normal = lengths;
    ex.pitch_angles = &pitch;
    EXPECT_STATUS(1, ir_get_unit_normals(2003, 32, 0, 0, 2003, 32, 60, 0));
    EXPECT_EQ(5.0, lengths[0]);
    EXPECT_EQ(2.0, lengths[1]);

    text.Char("Constant2.id", 0);  // no z components
    Open(text);
    ginfo.expt->pitch_angles = &pitch;
    EXPECT_STATUS(-288, ir_get_unit_normals(2003, 32, 0, 0, 2003, 32, 60, 0));
    ginfo.expt->pitch_angles = nullptr;
}

}  // namespace
