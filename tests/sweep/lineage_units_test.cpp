// Lineage copies and marks, spacecraft names, the version text and the unit
// labels.
#include "Qnurv_utils.h"
#include "support.h"

#include <cstring>

namespace {

NURV_LINEAGE_S Lineage(const char *virtual_inst)
{
    NURV_LINEAGE_S l{};
    std::strcpy(l.project, "CLUSTERII");
    std::strcpy(l.mission, "CLUSTER-1");
    std::strcpy(l.experiment, "HALDE");
    std::strcpy(l.instrument, "PAD");
    std::strcpy(l.virtual_inst, virtual_inst);
    l.vsn = 7;
    return l;
}

TEST(Lineage, CopyIsWholeAndBoundedByTheField)
{
    NURV_LINEAGE_S src = Lineage("CPPADL");
    std::memset(src.exten, 'e', sizeof src.exten); // no terminator at all
    NURV_LINEAGE_S dst;
    std::memset(&dst, 'z', sizeof dst);
    copy_lineage(&dst, &src);
    EXPECT_STREQ("CLUSTERII", dst.project);
    EXPECT_STREQ("CPPADL", dst.virtual_inst);
    EXPECT_EQ(7, dst.vsn);
    EXPECT_EQ(99u, std::strlen(dst.exten));
    EXPECT_EQ('\0', dst.exten[99]);

    copy_lineage(&dst, &dst);
    EXPECT_STREQ("HALDE", dst.experiment) << "copying onto itself";
}

TEST(Lineage, MarksAppendOnlyWhenThereIsRoomAndStayTerminated)
{
    NURV_LINEAGE_S l = Lineage("CPPADL");
    EXPECT_TRUE(append_lineage_mark(l.virtual_inst, "_pa", 96));
    EXPECT_STREQ("CPPADL_pa", l.virtual_inst);

    std::memset(l.virtual_inst, 'v', 96);
    l.virtual_inst[96] = '\0';
    EXPECT_FALSE(append_lineage_mark(l.virtual_inst, "_pa", 96));
    EXPECT_EQ(96u, std::strlen(l.virtual_inst));

    std::memset(l.experiment, 'x', 93);
    l.experiment[93] = '\0';
    EXPECT_TRUE(append_lineage_mark(l.experiment, lineage_scale_mark(-1.5e-30f).c_str(), 94));
    EXPECT_EQ(99u, std::strlen(l.experiment)) << "a long mark is cut at 99 characters";
}

TEST(Lineage, ScaleMarkKeepsTheWrittenPadding)
{
    EXPECT_EQ("x 2.5", lineage_scale_mark(2.5f));
    EXPECT_EQ("x   2", lineage_scale_mark(2.0f));
    EXPECT_EQ("x 0.5", lineage_scale_mark(0.5f));
    EXPECT_EQ("x1e+02", lineage_scale_mark(100.0f));
    EXPECT_EQ("x1e-05", lineage_scale_mark(1e-5f));
}

TEST(Lineage, Prints)
{
    const NURV_LINEAGE_S l = Lineage("CPPADL");
    testing::internal::CaptureStdout();
    print_nurv_lineage(&l);
    EXPECT_EQ("NURV Lineage Strings are:\nproject |CLUSTERII|\nmission |CLUSTER-1|\nexperiment |HALDE|\n"
              "instrument |PAD|\nvirtual_inst |CPPADL|\nexten ||\n",
              testing::internal::GetCapturedStdout());
}

TEST(Names, SpacecraftAndVersion)
{
    const char *expected[] = {"CLUSTER-1", "CLUSTER-2", "CLUSTER-3", "CLUSTER-4", "C1234", "TC-1", "TC-2"};
    for (int sc = CLUSTER1; sc <= TC2; ++sc)
        EXPECT_STREQ(expected[sc], SC_NAME(sc));
    EXPECT_STREQ("UNKNOWN", SC_NAME(7));
    EXPECT_STREQ("UNKNOWN", SC_NAME(-1));

    char *v = velora_version_str();
    EXPECT_STREQ("Velora Software V3.6.1 October 2007", v);
    v[0] = '?';
    EXPECT_STREQ("Velora Software V3.6.1 October 2007", velora_version_str()) << "rewritten on every call";
}

TEST(Units, LabelsConversionsAndFallbacks)
{
    EXPECT_STREQ("1-Count Phase space density s**3/km**6", PSD_UNITS_STRING(PSD_UNITS_S3_PER_KM6_1CNT));
    for (int bad : {6, 7, -1})
        EXPECT_STREQ("UNKNOWN PSD UNITS", PSD_UNITS_STRING(bad)) << bad;
    EXPECT_STREQ("1>(unknown psd units)", PSD_UNITS_SI_conv_STRING(99));

    EXPECT_STREQ("Speed km/s", BIN_UNITS_STRING(BIN_UNITS_KM_S));
    EXPECT_STREQ("Unknown Energy Units", BIN_UNITS_STRING(2));
    EXPECT_STREQ("1>(UNKNOWN ENERGY BIN UNITS)", BIN_UNITS_SI_conv_STRING(-1));
}

TEST(Units, CountsAddUpOtherUnitsAverage)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(INTEGRAL, diff_or_integral(PSD_UNITS_CNTS_ACCUM));
    EXPECT_EQ(DIFFERENTIAL, diff_or_integral(PSD_UNITS_DIFF_ENERGY_FLUX));
    EXPECT_EQ(DIFFERENTIAL, diff_or_integral(PSD_UNITS_S3_PER_KM6));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());

    testing::internal::CaptureStdout();
    EXPECT_EQ(DIFFERENTIAL, diff_or_integral(PSD_UNITS_CNTS_ACCUM_1CNT));
    EXPECT_EQ("Unknown PSD_UNITS:diff_or_integral defaults to differential\n",
              testing::internal::GetCapturedStdout());
}

} // namespace
