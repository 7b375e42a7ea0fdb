// Description items: every one of the 129 items read from a description of
// the fixture writer, with missing keys, short and long lists, element ranges
// past the end and callers' buffers that must not be overrun.
#include "keld_fixture.h"
#include "keld_items_int.h"
#include "keld_test_util.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <variant>
#include <vector>

using kombra_fixtures::KeldText;
using kombra_test::TempDir;

namespace {

// One expected element: a number, a float, a string, or unwritten (the
// buffer's fill bytes are still there).
using V = std::variant<std::monostate, long long, float, std::string>;
const V U{};
// A char element holding the 8 bits of value.
V C(int value) { return static_cast<long long>(static_cast<int8_t>(value)); }

constexpr unsigned char kFill = 0xAB;

// The fixture's description with distinct values where it writes the same
// value for every sensor, set or table.
KeldText Base()
{
    KeldText k = kombra_fixtures::HaldeDescription();
    for (int s = 0; s < 4; ++s) {
        const std::string p = "Sensor" + std::to_string(s) + ".";
        k.Char(p + "d_type", 10 + s).Char(p + "tdw_len", 20 + s).Char(p + "status", 30 + s);
        k.Int(p + "spin_time_offset", -7 * (s + 1));
    }
    for (int c = 0; c < 2; ++c) {
        const std::string p = "CalSet" + std::to_string(c) + ".";
        k.Int(p + "use", 40 + c).Char(p + "word_len", 50 + c).Char(p + "target", 60 + c);
        k.Char(p + "scope", 70 + c).Char(p + "d_type", 80 + c);
    }
    k.Int("Table1.tbl_sca_sz", -4).Int("Table1.crit_act_sz", 3).Chars("Table1.scale", {7});
    k.Chars("Table1.CriticalAction.status", {1, 2, 3, 4}).Ints("Table1.CriticalAction.offset", {5, 6, 7, 8});
    k.Ints("Table1.CriticalAction.table", {9, 10, 11}).Chars("Table1.format", {11, 12, 13, 14});
    k.Ints("Table1.offset", {15, 16, 17, 70000}).Chars("Constant1.scale", {-1, -2, -3, -4});
    k.Int("PitchAngle.bx", 7).Int("PitchAngle.by", 8).Int("PitchAngle.bz", 9);
    k.Ints("PitchAngle.tbls", {3, -4}).Ints("PitchAngle.opers", {100000, -2});
    k.Int("StartOfSpin.sensor", 3).Int("StartOfSpin.msec_adj", -250).Int("StartOfSpin.nsec_adj", 70000);
    return k;
}

struct Request {
    int num = 0, start = 0, len = -1;
    int status = 1;
    std::vector<V> want;
    std::function<void(KeldText &)> edit = nullptr;  // applied to Base()
    long room = -1;  // elements of the caller's buffer (checked form); -1: unchecked
};

struct ItemCase {
    const char *name;
    int what;
    Request r;
};

void PrintTo(const ItemCase &c, std::ostream *os) { *os << c.name; }

// clang-format off
const ItemCase kCases[] = {
    {"Mission", _MISSION, {.want = {"CLUSTERII"}}},
    {"MissionAbsent", _MISSION, {.status = -811, .want = {U}, .edit = [](KeldText &k) { k.Remove("mission"); }}},
    {"MissionNotAString", _MISSION, {.want = {""}, .edit = [](KeldText &k) { k.Int("mission", 5); }}},
    {"Spacecraft", _SPACECRAFT, {.want = {"C1"}}},
    {"Experiment", _EXP_DESC, {.want = {"HALDE"}}},
    {"Instrument", _INST_DESC, {.want = {"3DR"}}},
    {"Contact", _CONTACT, {.want = {"HALDE instrument team", "halde-team@example.org"}}},
    {"ContactLenIsAMaximum", _CONTACT, {.len = 1, .want = {"HALDE instrument team", U}}},
    {"ContactLongerThanTheBuffer", _CONTACT, {.status = -814, .want = {"HALDE instrument team"}, .room = 1}},
    {"NumComments", _NUM_COMNTS, {.want = {0LL}}},
    {"Comments", _COMMENTS, {.want = {}}},
    {"BeginYear", _DS_YEAR, {.want = {2003LL}}},
    {"BeginDay", _DS_DAY, {.want = {1LL}}},
    {"BeginMsec", _DS_MSEC, {.want = {70000000LL}, .edit = [](KeldText &k) { k.Int("s_msec", 70000000); }}},
    {"BeginUsec", _DS_USEC, {.want = {999LL}, .edit = [](KeldText &k) { k.Int("s_usec", 999); }}},
    {"EndYear", _DE_YEAR, {.want = {2010LL}}},
    {"EndDay", _DE_DAY, {.want = {365LL}}},
    {"EndMsec", _DE_MSEC, {.want = {86399999LL}}},
    {"EndUsec", _DE_USEC, {.want = {-7LL}, .edit = [](KeldText &k) { k.Int("e_usec", -7); }}},
    {"ShortTakesLow16Bits", _DE_YEAR, {.want = {0x2345LL}, .edit = [](KeldText &k) { k.Int("e_year", 0x12345); }}},
    {"SmpId", _SMP_ID, {.want = {2LL}}},
    {"SenMode", _SEN_MODE, {.want = {4LL}}},
    {"NQual", _N_QUAL, {.want = {1LL}}},
    {"CalSets", _CAL_SETS, {.want = {2LL}}},
    {"NumTables", _NUM_TBLS, {.want = {3LL}}},
    {"NumConsts", _NUM_CONSTS, {.want = {2LL}}},
    {"StatusBytes", _STATUS, {.want = {2LL}}},
    {"CharTakesLow8Bits", _STATUS, {.want = {C(0x181)}, .edit = [](KeldText &k) { k.Int("n_status", 0x181); }}},
    {"PaDefined", _PA_DEFINED, {.want = {1LL}, .edit = [](KeldText &k) { k.Int("PitchAngle.format", 7); }}},
    {"PaNotDefined", _PA_DEFINED, {.want = {0LL}, .edit = [](KeldText &k) { k.Remove("PitchAngle"); }}},
    {"Sensors", _SEN, {.want = {4LL}}},
    {"SweepLength", _SWP_LEN, {.want = {32LL}}},
    {"MaxNss", _MAX_NSS, {.want = {1LL}}},
    {"DataLength", _DATA_LEN, {.want = {256LL}}},
    {"FillFlag", _FILL_FLG, {.want = {1LL}}},
    {"Fill", _FILL, {.want = {65535LL}}},
    {"LongOfAFloatKeepsItsBits", _FILL, {.want = {0x3FC00000LL}, .edit = [](KeldText &k) { k.Float("fill", 1.5); }}},
    {"DaMethod", _DA_METHOD, {.want = {5LL}, .edit = [](KeldText &k) { k.Char("da_method", 5); }}},
    {"StatusName", _STATUS_NAME, {.num = 1, .want = {"status 1"}}},
    {"States", _STATES, {.want = {2LL, 4LL}}},
    {"StatesFromStart", _STATES, {.start = 1, .want = {4LL, U}}},
    {"StatesStopAtAMissingOne", _STATES, {.want = {2LL, 4LL, U}, .edit = [](KeldText &k) { k.Char("n_status", 3); }}},
    {"StatesNegativeStart", _STATES, {.start = -1, .want = {U, U}}},
    {"SensorName", _SEN_NAME, {.num = 2, .want = {"polar 2"}}},
    {"CalNames", _CAL_NAMES, {.num = 1, .want = {"calibration 1"}}},
    {"CalNamesLenIsAMaximum", _CAL_NAMES, {.num = 1, .len = 2, .want = {"a", "b", U},
     .edit = [](KeldText &k) { k.Strings("CalSet1.name", {"a", "b", "c"}); }}},
    {"CalNamesLenZero", _CAL_NAMES, {.len = 0, .want = {U}}},
    {"QualNames", _QUAL_NAME, {.want = {"quality"}}},
    {"PaFormat", _PA_FORMAT, {.want = {1LL}}},
    {"PaProject", _PA_PROJECT, {.want = {"CLUSTERII"}}},
    {"PaMission", _PA_MISSION, {.want = {"C1"}}},
    {"PaExperiment", _PA_EXPER, {.want = {"HALDE"}}},
    {"PaInstrument", _PA_INST, {.want = {"AUX"}}},
    {"PaVinstrument", _PA_VINST, {.want = {"MAG"}}},
    {"PaBxByBz", _PA_BXBYBZ, {.want = {7LL, 8LL, 9LL}}},
    {"PaBxByBzStopsAtTheFirstAbsent", _PA_BXBYBZ, {.want = {7LL, U, U},
     .edit = [](KeldText &k) { k.Remove("PitchAngle.by"); }}},
    {"PaApps", _PA_APPS, {.want = {1LL}}},
    {"PaTables", _PA_TBLS, {.want = {3LL, -4LL}}},
    {"PaOps", _PA_OPS, {.want = {100000LL, -2LL}}},
    {"DType", _D_TYPE, {.want = {10LL, 11LL, 12LL, 13LL}}},
    {"DTypeSkipsAMissingOne", _D_TYPE, {.want = {10LL, U, 12LL, 13LL}, .edit = [](KeldText &k) { k.Remove("Sensor1.d_type"); }}},
    {"DTypeCountAbsent", _D_TYPE, {.want = {U}, .edit = [](KeldText &k) { k.Remove("n_sensors"); }}},
    {"DTypeLongerThanTheBuffer", _D_TYPE, {.status = -814, .want = {10LL, 11LL}, .room = 2}},
    {"TdwLen", _TDW_LEN, {.start = 2, .len = 1, .want = {22LL, U}}},
    {"SenStatus", _SEN_STATUS, {.start = 3, .len = 5, .want = {33LL, U}}},
    {"TimeOffset", _TIME_OFF, {.want = {0LL, 125LL, 250LL, 375LL}}},
    {"TimeOffsetSkipsAMissingOne", _TIME_OFF, {.want = {0LL, 125LL, U, 375LL},
     .edit = [](KeldText &k) { k.Remove("Sensor2.time_offset"); }}},
    {"CalUseStopsAtAMissingOne", _CAL_USE, {.want = {U, U}, .edit = [](KeldText &k) { k.Remove("CalSet0.use"); }}},
    {"CalUse", _CAL_USE, {.want = {40LL, 41LL}}},
    {"CalWlenStopsAtAMissingOne", _CAL_WLEN, {.want = {50LL, U}, .edit = [](KeldText &k) { k.Remove("CalSet1.word_len"); }}},
    {"CalTarget", _CAL_TARGET, {.start = 1, .len = 1, .want = {61LL, U}}},
    {"CalTargetLongLenInFullInt", _CAL_TARGET, {.len = 300, .want = {60LL, 61LL, U}}},
    {"TableScaleSize", _TBL_SCA_SZ, {.num = 1, .want = {-4LL}}},
    {"TableElementSize", _TBL_ELE_SZ, {.num = 2, .want = {32LL}}},
    {"TableType", _TBL_TYPE, {.num = 2, .want = {1LL}, .edit = [](KeldText &k) { k.Char("Table2.tbl_type", 1); }}},
    {"TableDescLength", _TBL_DESC_LEN, {.want = {0LL}}},
    {"TableDesc", _TBL_DESC, {.status = -811, .want = {U}}},
    {"TableVar", _TBL_VAR, {.num = 1, .want = {0LL}}},
    {"TableExpand", _TBL_EXPAND, {.want = {1LL}, .edit = [](KeldText &k) { k.Char("Table0.tbl_expand", 1); }}},
    {"CritActSize", _CRIT_ACT_SZ, {.num = 1, .want = {3LL}}},
    {"CritStatus", _CRIT_STATUS, {.num = 1, .want = {1LL, 2LL, 3LL, 4LL, U}}},
    {"CritStatusPastTheEnd", _CRIT_STATUS, {.num = 1, .start = 2, .len = 5, .want = {3LL, 4LL, U}}},
    {"CritStatusWhollyPastTheEnd", _CRIT_STATUS, {.num = 1, .start = 9, .want = {U}}},
    {"CritStatusNegativeStart", _CRIT_STATUS, {.num = 1, .start = -2, .len = 2, .want = {U}}},
    {"CritOffset", _CRIT_OFF, {.num = 1, .start = 1, .len = 2, .want = {6LL, 7LL, U}}},
    {"CritAction", _CRIT_ACTION, {.num = 1, .want = {9LL, 10LL, 11LL, U}}},
    {"CritActionLongListCutAtCount", _CRIT_ACTION, {.num = 1, .want = {9LL, 10LL, 11LL, U},
     .edit = [](KeldText &k) { k.Ints("Table1.CriticalAction.table", {9, 10, 11, 12, 13}); }}},
    {"TableFormat", _TBL_FMT, {.num = 1, .want = {11LL, 12LL, 13LL, 14LL}}},
    {"TableFormatOfAModeTable", _TBL_FMT, {.num = 1, .want = {11LL, 12LL, U},
     .edit = [](KeldText &k) { k.Char("Table1.tbl_var", 4); }}},
    {"TableOffset", _TBL_OFF, {.num = 1, .start = 3, .want = {70000LL, U}}},
    {"TableScaleShortList", _TBL_SCA, {.num = 1, .want = {7LL, 0LL, 0LL, 0LL, U}}},
    {"TableScaleNoneWhenZero", _TBL_SCA, {.num = 1, .want = {U}, .edit = [](KeldText &k) { k.Int("Table1.tbl_sca_sz", 0); }}},
    {"Table", _TBL, {.num = 2, .start = 10, .len = 5, .want = {2010LL, 2011LL, U},
     .edit = [](KeldText &k) { k.Int("Table2.tbl_ele_sz", 12); }}},
    {"TableCountAbsent", _TBL, {.num = 1, .status = -811, .want = {U}, .edit = [](KeldText &k) { k.Remove("Table1.tbl_ele_sz"); }}},
    {"TableValuesAbsent", _TBL, {.num = 1, .status = -811, .want = {U}, .edit = [](KeldText &k) { k.Remove("Table1.values"); }}},
    {"TableLongerThanTheBuffer", _TBL, {.num = 1, .start = 4, .status = -814, .want = {1004LL, 1005LL, 1006LL}, .room = 3}},
    {"ConstId", _CONST_ID, {.num = 1, .want = {1LL}}},
    {"ConstDescLength", _CONST_DESC_LEN, {.want = {0LL}}},
    {"ConstDesc", _CONST_DESC, {.status = -811, .want = {U}}},
    {"ConstScale", _CONST_SCA, {.num = 1, .want = {-1LL, -2LL, -3LL, -4LL, U}}},
    {"Const", _KELD_CONST, {.num = 1, .start = 2, .len = 1, .want = {202LL, U}}},
    {"ConstLenOnePastTheEnd", _KELD_CONST, {.num = 1, .start = 1, .len = 4, .want = {201LL, 202LL, 203LL, U}}},
    {"ConstShortList", _KELD_CONST, {.want = {100LL, 101LL, 0LL, 0LL, U},
     .edit = [](KeldText &k) { k.Ints("Constant0.values", {100, 101}); }}},
    {"ConstLongListCutAtCount", _KELD_CONST, {.want = {1LL, 2LL, 3LL, 4LL, U},
     .edit = [](KeldText &k) { k.Ints("Constant0.values", {1, 2, 3, 4, 5, 6}); }}},
    {"ConstCountAbsent", _KELD_CONST, {.status = -811, .want = {U}, .edit = [](KeldText &k) { k.Remove("n_sensors"); }}},
    {"ConstNoRoom", _KELD_CONST, {.status = KELD_SHORT_BUFFER, .want = {U}, .room = 0}},
    {"Version", _VERSION, {.want = {3.0f}}},
    {"FloatOfAnIntKeepsItsBits", _VERSION, {.want = {std::bit_cast<float>(3)}, .edit = [](KeldText &k) { k.Int("version", 3); }}},
    {"State", _STATE, {.num = 1, .want = {4LL}}},
    {"PaBx", _PA_BX, {.want = {7LL}}},
    {"PaBy", _PA_BY, {.want = {8LL}}},
    {"PaBz", _PA_BZ, {.want = {9LL}}},
    {"PhiMethod", _PHI_METHOD, {.want = {1LL}}},
    {"PhiMethodAbsent", _PHI_METHOD, {.status = -811, .want = {U}, .edit = [](KeldText &k) { k.Remove("phi_method"); }}},
    {"NanoDefined", _NANO_DEFINED, {.want = {1LL}}},
    {"NanoDefinedDefault", _NANO_DEFINED, {.want = {0LL}, .edit = [](KeldText &k) { k.Remove("nano_defined"); }}},
    {"DataLatUnits", _DATA_LAT_UNITS, {.want = {3LL}, .edit = [](KeldText &k) { k.Char("data_lat_units", 3); }}},
    {"DataLatUnitsDefault", _DATA_LAT_UNITS, {.want = {C(250)}, .edit = [](KeldText &k) { k.Remove("data_lat_units"); }}},
    {"SwpResetUnitsDefault", _SWP_RESET_UNITS, {.want = {C(250)}, .edit = [](KeldText &k) { k.Remove("swp_reset_units"); }}},
    {"SenResetUnits", _SEN_RESET_UNITS, {.want = {0LL}}},
    {"SenResetUnitsDefault", _SEN_RESET_UNITS, {.want = {C(250)}, .edit = [](KeldText &k) { k.Remove("sen_reset_units"); }}},
    {"PmiDefined", _PMI_DEFINED, {.want = {1LL}}},
    {"PmiNotDefined", _PMI_DEFINED, {.want = {0LL}, .edit = [](KeldText &k) { k.Remove("PMI"); }}},
    {"PmiAngles", _NUM_PMI_ANGLES, {.want = {3LL}}},
    {"PmiProject", _PMI_PROJECT, {.want = {"CLUSTERII"}}},
    {"PmiMission", _PMI_MISSION, {.want = {"C1"}}},
    {"PmiExperiment", _PMI_EXPER, {.want = {"HALDE"}}},
    {"PmiInstrument", _PMI_INST, {.want = {"AUX"}}},
    {"PmiVinstrument", _PMI_VINST, {.want = {"ATT"}}},
    {"PmiSensors", _PMI_SENSORS, {.want = {0LL, 1LL, 2LL, U}}},
    {"PmiSensorsLenIsAMaximum", _PMI_SENSORS, {.len = 2, .want = {0LL, 1LL, U}}},
    {"PmiRotationAxis", _PMI_ROTATION_AXIS, {.want = {0LL, 0LL, 1LL}}},
    {"PmiApps", _PMI_APPS, {.want = {1LL}}},
    {"PmiTables", _PMI_TBLS, {.want = {0LL, U}}},
    {"PmiOps", _PMI_OPS, {.want = {-100000LL}, .edit = [](KeldText &k) { k.Ints("PMI.opers", {-100000}); }}},
    {"PmiFormat", _PMI_FORMAT, {.want = {1LL}}},
    {"RefSenDelay", _REF_SEN_DELAY, {.want = {2.5f}, .edit = [](KeldText &k) { k.Float("ref_sen_delay", 2.5); }}},
    {"RefSenDelayDefault", _REF_SEN_DELAY, {.want = {0.0f}, .edit = [](KeldText &k) { k.Remove("ref_sen_delay"); }}},
    {"RefSenDelayUnit", _REF_SEN_DELAY_UNIT, {.want = {3LL}, .edit = [](KeldText &k) { k.Int("ref_sen_delay_unit", 3); }}},
    {"RefSenDelayUnitDefault", _REF_SEN_DELAY_UNIT, {.want = {1LL}, .edit = [](KeldText &k) { k.Remove("ref_sen_delay_unit"); }}},
    {"OrbitingBody", _ORBITING_BODY, {.want = {2LL}, .edit = [](KeldText &k) { k.Int("orbiting_body", 2); }}},
    {"OrbitingBodyDefault", _ORBITING_BODY, {.want = {0LL}, .edit = [](KeldText &k) { k.Remove("orbiting_body"); }}},
    {"PotDefined", _POT_SRC_DEFINED, {.want = {1LL}}},
    {"PotNotDefined", _POT_SRC_DEFINED, {.want = {0LL}, .edit = [](KeldText &k) { k.Remove("PotentialSource"); }}},
    {"PotFormat", _POT_SRC_FORMAT, {.want = {1LL}}},
    {"PotProject", _POT_SRC_PROJECT, {.want = {"CLUSTERII"}}},
    {"PotMission", _POT_SRC_MISSION, {.want = {"C1"}}},
    {"PotExperiment", _POT_SRC_EXPER, {.want = {"HALDE"}}},
    {"PotInstrument", _POT_SRC_INST, {.want = {"AUX"}}},
    {"PotVinstrument", _POT_SRC_VINST, {.want = {"EFW"}}},
    {"PotSensor", _POT_SRC_SENSOR, {.want = {0LL}}},
    {"PotApps", _POT_SRC_APPS, {.want = {1LL}}},
    {"PotTables", _POT_SRC_TBLS, {.want = {0LL, U}}},
    {"PotOps", _POT_SRC_OPS, {.want = {0LL, U}}},
    {"PotConstant", _POT_CONSTANT_VAL, {.want = {5.0f}}},
    {"CalScope", _CAL_SCOPE, {.want = {70LL, 71LL, U}}},
    {"CalScopeZeroForAMissingOne", _CAL_SCOPE, {.want = {0LL, 71LL}, .edit = [](KeldText &k) { k.Remove("CalSet0.scope"); }}},
    {"MaxPacking", _MAX_PACKING, {.want = {1LL}}},
    {"MaxPackingDefault", _MAX_PACKING, {.want = {1LL}, .edit = [](KeldText &k) { k.Remove("max_packing"); }}},
    {"HeaderFormat", _HEADER_FORMAT, {.want = {2LL}, .edit = [](KeldText &k) { k.Char("header_format", 2); }}},
    {"HeaderFormatDefault", _HEADER_FORMAT, {.want = {1LL}, .edit = [](KeldText &k) { k.Remove("header_format"); }}},
    {"TensorRank", _TENSOR_RANK, {.want = {2LL}}},
    {"TensorLengths", _TENSOR_LENGTHS, {.want = {32LL, 4LL, U}}},
    {"TensorIds", _TENSOR_IDS, {.want = {0LL, 1LL}}},
    {"TensorMin", _TENSOR_MIN_VALS, {.want = {5.0f, 0.0f}}},
    {"TensorMax", _TENSOR_MAX_VALS, {.want = {30000.0f, 180.0f, U}}},
    {"SpinTimeOffset", _SPIN_TIME_OFF, {.want = {-7LL, -14LL, -21LL, -28LL, U}}},
    {"SpinTimeOffsetZeroForAMissingOne", _SPIN_TIME_OFF, {.want = {-7LL, 0LL, -21LL, -28LL},
     .edit = [](KeldText &k) { k.Remove("Sensor1.spin_time_offset"); }}},
    {"StartSpinDefined", _START_SPIN_DEFINED, {.want = {1LL}}},
    {"StartSpinNotDefined", _START_SPIN_DEFINED, {.want = {0LL}, .edit = [](KeldText &k) { k.Remove("StartOfSpin.project"); }}},
    {"StartSpinProject", _START_SPIN_PROJECT, {.want = {"CLUSTERII"}}},
    {"StartSpinMission", _START_SPIN_MISSION, {.want = {"C1"}}},
    {"StartSpinExperiment", _START_SPIN_EXPER, {.want = {"HALDE"}}},
    {"StartSpinInstrument", _START_SPIN_INST, {.want = {"AUX"}}},
    {"StartSpinVinstrument", _START_SPIN_VINST, {.want = {"SPIN"}}},
    {"StartSpinSensor", _START_SPIN_SENSOR, {.want = {3LL}}},
    {"StartSpinMsecAdj", _START_SPIN_MSEC_ADJ, {.want = {-250LL}}},
    {"StartSpinNsecAdj", _START_SPIN_NSEC_ADJ, {.want = {70000LL}}},
    {"CalDType", _CAL_D_TYPE, {.want = {80LL, 81LL}}},
    {"CalDTypeZeroForAMissingOne", _CAL_D_TYPE, {.want = {80LL, 0LL}, .edit = [](KeldText &k) { k.Remove("CalSet1.d_type"); }}},
};
// clang-format on

class KeldItems : public testing::TestWithParam<ItemCase> {};

// Compares element i of buf with want, decoded in the element form.
void ExpectElement(const std::vector<unsigned char> &buf, KeldForm form, size_t i, const V &want)
{
    const size_t size = KeldElementSize(form);
    const unsigned char *at = buf.data() + i * size;
    if (std::holds_alternative<std::monostate>(want)) {
        for (size_t b = 0; b < size; ++b)
            EXPECT_EQ(kFill, at[b]) << "element " << i << " was written";
        return;
    }
    switch (KeldElementForm(form)) {
    case KeldForm::CharPtr: {
        char *text = nullptr;
        std::memcpy(&text, at, sizeof text);
        ASSERT_NE(nullptr, text);
        EXPECT_EQ(std::get<std::string>(want), text) << "element " << i;
        return;
    }
    case KeldForm::Float: {
        float f = 0;
        std::memcpy(&f, at, 4);
        EXPECT_EQ(std::bit_cast<uint32_t>(std::get<float>(want)), std::bit_cast<uint32_t>(f)) << "element " << i;
        return;
    }
    default: {
        long long n = 0;
        if (size == 1)
            n = static_cast<int8_t>(at[0]);
        else if (size == 2)
            n = std::bit_cast<int16_t>(std::array<unsigned char, 2>{at[0], at[1]});
        else
            n = std::bit_cast<int32_t>(std::array<unsigned char, 4>{at[0], at[1], at[2], at[3]});
        EXPECT_EQ(std::get<long long>(want), n) << "element " << i;
    }
    }
}

TEST_P(KeldItems, ReadsTheItem)
{
    const ItemCase &p = GetParam();
    const Request &c = p.r;
    KeldText text = Base();
    if (c.edit)
        c.edit(text);
    TempDir dir;
    const auto parsed = keld_test::ParseText(dir, text.Text());
    ASSERT_EQ("", parsed.out);

    const KeldForm form = KeldItem(p.what)->form;
    const size_t size = std::max<size_t>(KeldElementSize(form), 1);
    std::vector<unsigned char> buf(64 * size, kFill);
    const int status = c.room < 0 ? ReadNewKELD(parsed.map.get(), buf.data(), static_cast<KELD_DEFS>(p.what),
                                                 static_cast<KOMBRA_SHORT>(c.num), c.start,
                                                 static_cast<KOMBRA_SHORT>(c.len))
                                  : ReadNewKELDChecked(parsed.map.get(), buf.data(), c.room * size,
                                                       static_cast<KELD_DEFS>(p.what),
                                                       static_cast<KOMBRA_SHORT>(c.num), c.start,
                                                       static_cast<KOMBRA_SHORT>(c.len));
    EXPECT_STATUS(c.status, status);
    for (size_t i = 0; i < c.want.size(); ++i)
        ExpectElement(buf, form, i, c.want[i]);
    // Nothing past what was asked for, nor past the caller's buffer.
    const size_t end = c.room < 0 ? c.want.size() : static_cast<size_t>(c.room);
    for (size_t b = end * size; b < buf.size(); ++b)
        ASSERT_EQ(kFill, buf[b]) << "byte " << b << " written past the end";
}

INSTANTIATE_TEST_SUITE_P(All, KeldItems, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ItemCase> &info) { return std::string(info.param.name); });

// Codes without an answer are refused with their message, never aborted.
TEST(KeldItemCalls, CodesWithoutAnAnswer)
{
    TempDir dir;
    const auto parsed = keld_test::ParseText(dir, Base().Text());
    const keld_map *map = parsed.map.get();
    char buf[64] = {};
    const struct {
        std::function<int()> call;
        const char *out;
    } cases[] = {
        {[&] { return ReadNewKELD(map, buf, static_cast<KELD_DEFS>(129), 0, 0, -1); }, "Unknown what!!!!\n"},
        {[&] { return ReadNewKELD(map, buf, static_cast<KELD_DEFS>(-1), 0, 0, -1); }, "Unknown what!!!!\n"},
        {[&] { return GetFromNewKELD(map, buf, _PA_BXBYBZ, 0); }, "Unknown what!!!!\n"},
        {[&] { return GetFromNewKELD(map, buf, _START_SPIN_DEFINED, 0); }, "Unknown what!!!!\n"},
        {[&] { return GetFromNewKELD(map, buf, _NUM_COMNTS, 0); }, ""},
        {[&] { return GetFromNewKELD(map, buf, _PA_DEFINED, 0); }, "newRead - unknown what!\n"},
        {[&] { return KELDCheckReturnType(_COMMENTS, nullptr, buf); }, "newRead - unknown what!\n"},
        {[&] { return KELDCheckReturnType(static_cast<KELD_DEFS>(500), nullptr, buf); }, "newRead - unknown what!\n"},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_STATUS(KELD_ITEM_ABSENT, c.call());
        EXPECT_EQ(c.out, testing::internal::GetCapturedStdout());
    }
    for (const char byte : buf)
        EXPECT_EQ(0, byte);
    EXPECT_STATUS(KELD_SHORT_BUFFER, ReadNewKELD(map, nullptr, _MISSION, 0, 0, -1));
    EXPECT_STATUS(1, ReadNewKELD(map, nullptr, _COMMENTS, 0, 0, -1));
}

// GetFromNewKELD and the converters write every value they are given, each
// as the low bits of what was stored.
TEST(KeldItemCalls, ConvertersKeepTheStoredBits)
{
    TempDir dir;
    const auto parsed = keld_test::ParseText(
        dir, Base().Strings("contact", {"a", "b", "c"}).Int("PMI.format", 0x102).Text());
    char *names[4] = {};
    EXPECT_STATUS(1, GetFromNewKELD(parsed.map.get(), names, _CONTACT, 0));
    EXPECT_STREQ("c", names[2]);
    KOMBRA_CHAR flag = 0;
    EXPECT_STATUS(1, GetFromNewKELD(parsed.map.get(), &flag, _PMI_DEFINED, 0));
    EXPECT_EQ(2, flag);
    EXPECT_STATUS(KELD_ITEM_ABSENT, GetFromNewKELD(parsed.map.get(), names, _SEN_NAME, 9));

    keld_vals_s *list = nullptr;
    value_s v{};
    v.ival = 0x12345678;
    AddKELDVal(&list, INT, v);
    v.dval = 1.5f;
    AddKELDVal(&list, FLOAT, v);
    v.ival = 0;
    v.cval = 'A';
    AddKELDVal(&list, CHAR, v);
    KOMBRA_CHAR c[3];
    KOMBRA_SHORT s[3];
    KOMBRA_LONG l[3];
    KOMBRA_FLOAT f[3];
    char *p[3];
    KELDConvertToCharList(list, c);
    KELDConvertToShortList(list, s);
    KELDConvertToLongList(list, l);
    KELDConvertToFloatList(list, f);
    KELDConvertToCharPtrs(list, p);
    EXPECT_EQ((std::vector<int>{0x78, 0, 'A'}), (std::vector<int>{c[0], c[1], c[2]}));
    EXPECT_EQ((std::vector<int>{0x5678, 0, 'A'}), (std::vector<int>{s[0], s[1], s[2]}));
    EXPECT_EQ((std::vector<KOMBRA_LONG>{0x12345678, 0x3FC00000, 'A'}), (std::vector<KOMBRA_LONG>(l, l + 3)));
    EXPECT_EQ(0x12345678u, std::bit_cast<uint32_t>(f[0]));
    EXPECT_EQ(1.5f, f[1]);
    EXPECT_STREQ("", p[0]);  // not a string: no pointer made of its bits
    KOMBRA_LONG one = 0;
    KELDConvertToLong(list->next, &one);
    EXPECT_EQ(0x3FC00000, one);
    EXPECT_STATUS(1, KELDCheckReturnType(_SEN, list, s));
    EXPECT_EQ(0x5678, s[0]);
    FreeKELDVals(&list);
}

// Read again and again, in turn from two descriptions, each item answers
// from its own description: present in one and absent from the other too.
TEST(KeldItemCalls, RepeatedReadsAnswerFromTheirOwnDescription)
{
    TempDir dir_a, dir_b;
    const auto a = keld_test::ParseText(dir_a, Base().Char("fill_flag", 1).Int("fill", 4095).Text());
    const auto b = keld_test::ParseText(dir_b, Base().Char("fill_flag", 0).Remove("fill").Text());
    const struct {
        const keld_map *map;
        int flag, status;
        KOMBRA_LONG fill;
    } reads[] = {{a.map.get(), 1, 1, 4095}, {b.map.get(), 0, KELD_ITEM_ABSENT, -1}, {a.map.get(), 1, 1, 4095},
                 {b.map.get(), 0, KELD_ITEM_ABSENT, -1}};
    for (const auto &r : reads) {
        KOMBRA_CHAR flag = -1;
        KOMBRA_LONG fill = -1;
        EXPECT_STATUS(1, ReadNewKELD(r.map, &flag, _FILL_FLG, 0, 0, 1));
        EXPECT_STATUS(r.status, ReadNewKELD(r.map, &fill, _FILL, 0, 0, 1));
        EXPECT_EQ(r.flag, flag);
        EXPECT_EQ(r.fill, fill);
    }
}

TEST(KeldItemTable, EveryItemHasACase)
{
    std::set<int> seen;
    for (const ItemCase &c : kCases)
        seen.insert(c.what);
    for (int what = 0; what < KELD_NUM_DEFS; ++what)
        EXPECT_TRUE(seen.count(what)) << "no case for item " << KeldItem(what)->name;
}

}  // namespace
