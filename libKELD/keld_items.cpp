// The item table of instrument descriptions and the conversion of stored
// values into the items' result forms.
//
// Every numeric form takes the low 8, 16 or all 32 bits of the stored 32-bit
// value as they are: an int read as a float item keeps its bits, a float read
// as a long keeps its bits.  A char value has its upper bits zero.
#include <bit>
#include <cstdint>

#include "keld_items_int.h"

namespace {

using F = KeldForm;

constexpr KeldItemDef kItems[] = {
    {_MISSION, "_MISSION", "%s.mission", F::CharPtr, 80},
    {_SPACECRAFT, "_SPACECRAFT", "%s.spacecraft", F::CharPtr, 80},
    {_EXP_DESC, "_EXP_DESC", "%s.experiment", F::CharPtr, 80},
    {_INST_DESC, "_INST_DESC", "%s.instrument", F::CharPtr, 80},
    {_CONTACT, "_CONTACT", "%s.contact", F::CharPtrs, 400},
    {_NUM_COMNTS, "_NUM_COMNTS", nullptr, F::Char, 2},
    {_COMMENTS, "_COMMENTS", nullptr, F::None, 80},
    {_DS_YEAR, "_DS_YEAR", "%s.s_year", F::Short, 2},
    {_DS_DAY, "_DS_DAY", "%s.s_day", F::Short, 2},
    {_DS_MSEC, "_DS_MSEC", "%s.s_msec", F::Long, 4},
    {_DS_USEC, "_DS_USEC", "%s.s_usec", F::Short, 2},
    {_DE_YEAR, "_DE_YEAR", "%s.e_year", F::Short, 2},
    {_DE_DAY, "_DE_DAY", "%s.e_day", F::Short, 2},
    {_DE_MSEC, "_DE_MSEC", "%s.e_msec", F::Long, 4},
    {_DE_USEC, "_DE_USEC", "%s.e_usec", F::Short, 2},
    {_SMP_ID, "_SMP_ID", "%s.smp_id", F::Char, 1},
    {_SEN_MODE, "_SEN_MODE", "%s.sen_mode", F::Char, 1},
    {_N_QUAL, "_N_QUAL", "%s.n_qual", F::Char, 1},
    {_CAL_SETS, "_CAL_SETS", "%s.n_cal_sets", F::Char, 1},
    {_NUM_TBLS, "_NUM_TBLS", "%s.n_tbls", F::Char, 1},
    {_NUM_CONSTS, "_NUM_CONSTS", "%s.n_consts", F::Char, 1},
    {_STATUS, "_STATUS", "%s.n_status", F::Char, 1},
    {_PA_DEFINED, "_PA_DEFINED", "%s.PitchAngle.format", F::Char, 1},
    {_SEN, "_SEN", "%s.n_sensors", F::Short, 2},
    {_SWP_LEN, "_SWP_LEN", "%s.swp_len", F::Short, 2},
    {_MAX_NSS, "_MAX_NSS", "%s.max_nss", F::Short, 2},
    {_DATA_LEN, "_DATA_LEN", "%s.data_len", F::Long, 4},
    {_FILL_FLG, "_FILL_FLG", "%s.fill_flag", F::Char, 1},
    {_FILL, "_FILL", "%s.fill", F::Long, 4},
    {_DA_METHOD, "_DA_METHOD", "%s.da_method", F::Char, 1},
    {_STATUS_NAME, "_STATUS_NAME", "%s.Status%d.name", F::CharPtr, 80},
    {_STATES, "_STATES", "%s.Status%d.state", F::Short, 2},
    {_SEN_NAME, "_SEN_NAME", "%s.Sensor%d.name", F::CharPtr, 80},
    {_CAL_NAMES, "_CAL_NAMES", "%s.CalSet%d.name", F::CharPtrs, 80},
    {_QUAL_NAME, "_QUAL_NAME", "%s.qual_names", F::CharPtrs, 80},
    {_PA_FORMAT, "_PA_FORMAT", "%s.PitchAngle.format", F::Short, 2},
    {_PA_PROJECT, "_PA_PROJECT", "%s.PitchAngle.project", F::CharPtr, 21},
    {_PA_MISSION, "_PA_MISSION", "%s.PitchAngle.mission", F::CharPtr, 21},
    {_PA_EXPER, "_PA_EXPER", "%s.PitchAngle.experiment", F::CharPtr, 21},
    {_PA_INST, "_PA_INST", "%s.PitchAngle.instrument", F::CharPtr, 21},
    {_PA_VINST, "_PA_VINST", "%s.PitchAngle.vinstrument", F::CharPtr, 21},
    {_PA_BXBYBZ, "_PA_BXBYBZ", nullptr, F::Shorts3, 6},
    {_PA_APPS, "_PA_APPS", "%s.PitchAngle.num_tbls", F::Short, 2},
    {_PA_TBLS, "_PA_TBLS", "%s.PitchAngle.tbls", F::ShortArray, 2},
    {_PA_OPS, "_PA_OPS", "%s.PitchAngle.opers", F::LongArray, 2},
    {_D_TYPE, "_D_TYPE", "%s.Sensor%d.d_type", F::Char, 1},
    {_TDW_LEN, "_TDW_LEN", "%s.Sensor%d.tdw_len", F::Char, 1},
    {_SEN_STATUS, "_SEN_STATUS", "%s.Sensor%d.status", F::Char, 1},
    {_TIME_OFF, "_TIME_OFF", "%s.Sensor%d.time_offset", F::Long, 4},
    {_CAL_USE, "_CAL_USE", "%s.CalSet%d.use", F::Short, 2},
    {_CAL_WLEN, "_CAL_WLEN", "%s.CalSet%d.word_len", F::Char, 1},
    {_CAL_TARGET, "_CAL_TARGET", "%s.CalSet%d.target", F::Char, 1},
    {_TBL_SCA_SZ, "_TBL_SCA_SZ", "%s.Table%d.tbl_sca_sz", F::Long, 4},
    {_TBL_ELE_SZ, "_TBL_ELE_SZ", "%s.Table%d.tbl_ele_sz", F::Long, 4},
    {_TBL_TYPE, "_TBL_TYPE", "%s.Table%d.tbl_type", F::Char, 1},
    {_TBL_DESC_LEN, "_TBL_DESC_LEN", nullptr, F::Short, 2},
    {_TBL_DESC, "_TBL_DESC", nullptr, F::None, 80},
    {_TBL_VAR, "_TBL_VAR", "%s.Table%d.tbl_var", F::Char, 1},
    {_TBL_EXPAND, "_TBL_EXPAND", "%s.Table%d.tbl_expand", F::Char, 1},
    {_CRIT_ACT_SZ, "_CRIT_ACT_SZ", "%s.Table%d.crit_act_sz", F::Long, 4},
    {_CRIT_STATUS, "_CRIT_STATUS", "%s.Table%d.CriticalAction.status", F::CharArray, 1},
    {_CRIT_OFF, "_CRIT_OFF", "%s.Table%d.CriticalAction.offset", F::ShortArray, 2},
    {_CRIT_ACTION, "_CRIT_ACTION", "%s.Table%d.CriticalAction.table", F::LongArray, 4},
    {_TBL_FMT, "_TBL_FMT", "%s.Table%d.format", F::CharArray, 1},
    {_TBL_OFF, "_TBL_OFF", "%s.Table%d.offset", F::LongArray, 4},
    {_TBL_SCA, "_TBL_SCA", "%s.Table%d.scale", F::CharArray, 1},
    {_TBL, "_TBL", "%s.Table%d.values", F::LongArray, 4},
    {_CONST_ID, "_CONST_ID", "%s.Constant%d.id", F::Char, 1},
    {_CONST_DESC_LEN, "_CONST_DESC_LEN", nullptr, F::Short, 2},
    {_CONST_DESC, "_CONST_DESC", nullptr, F::None, 80},
    {_CONST_SCA, "_CONST_SCA", "%s.Constant%d.scale", F::CharArray, 1},
    {_KELD_CONST, "_KELD_CONST", "%s.Constant%d.values", F::LongArray, 4},
    {_VERSION, "_VERSION", "%s.version", F::Float, 0},
    {_STATE, "_STATE", "%s.Status%d.state", F::Short, 0},
    {_PA_BX, "_PA_BX", "%s.PitchAngle.bx", F::Short, 0},
    {_PA_BY, "_PA_BY", "%s.PitchAngle.by", F::Short, 0},
    {_PA_BZ, "_PA_BZ", "%s.PitchAngle.bz", F::Short, 0},
    {_PHI_METHOD, "_PHI_METHOD", "%s.phi_method", F::Char, 0},
    {_NANO_DEFINED, "_NANO_DEFINED", "%s.nano_defined", F::Char, 0},
    {_DATA_LAT_UNITS, "_DATA_LAT_UNITS", "%s.data_lat_units", F::Char, 0},
    {_SWP_RESET_UNITS, "_SWP_RESET_UNITS", "%s.swp_reset_units", F::Char, 0},
    {_SEN_RESET_UNITS, "_SEN_RESET_UNITS", "%s.sen_reset_units", F::Char, 0},
    {_PMI_DEFINED, "_PMI_DEFINED", "%s.PMI.format", F::Char, 0},
    {_NUM_PMI_ANGLES, "_NUM_PMI_ANGLES", "%s.PMI.num_angles", F::Short, 0},
    {_PMI_PROJECT, "_PMI_PROJECT", "%s.PMI.project", F::CharPtr, 0},
    {_PMI_MISSION, "_PMI_MISSION", "%s.PMI.mission", F::CharPtr, 0},
    {_PMI_EXPER, "_PMI_EXPER", "%s.PMI.experiment", F::CharPtr, 0},
    {_PMI_INST, "_PMI_INST", "%s.PMI.instrument", F::CharPtr, 0},
    {_PMI_VINST, "_PMI_VINST", "%s.PMI.vinstrument", F::CharPtr, 0},
    {_PMI_SENSORS, "_PMI_SENSORS", "%s.PMI.sensors", F::ShortArray, 0},
    {_PMI_ROTATION_AXIS, "_PMI_ROTATION_AXIS", "%s.PMI.rot_axis", F::ShortArray, 0},
    {_PMI_APPS, "_PMI_APPS", "%s.PMI.num_tbls", F::Short, 0},
    {_PMI_TBLS, "_PMI_TBLS", "%s.PMI.tbls", F::ShortArray, 0},
    {_PMI_OPS, "_PMI_OPS", "%s.PMI.opers", F::LongArray, 0},
    {_PMI_FORMAT, "_PMI_FORMAT", "%s.PMI.format", F::Short, 0},
    {_REF_SEN_DELAY, "_REF_SEN_DELAY", "%s.ref_sen_delay", F::Float, 0},
    {_REF_SEN_DELAY_UNIT, "_REF_SEN_DELAY_UNIT", "%s.ref_sen_delay_unit", F::Short, 0},
    {_ORBITING_BODY, "_ORBITING_BODY", "%s.orbiting_body", F::Short, 0},
    {_POT_SRC_DEFINED, "_POT_SRC_DEFINED", "%s.PotentialSource.format", F::Char, 0},
    {_POT_SRC_FORMAT, "_POT_SRC_FORMAT", "%s.PotentialSource.format", F::Short, 0},
    {_POT_SRC_PROJECT, "_POT_SRC_PROJECT", "%s.PotentialSource.project", F::CharPtr, 0},
    {_POT_SRC_MISSION, "_POT_SRC_MISSION", "%s.PotentialSource.mission", F::CharPtr, 0},
    {_POT_SRC_EXPER, "_POT_SRC_EXPER", "%s.PotentialSource.experiment", F::CharPtr, 0},
    {_POT_SRC_INST, "_POT_SRC_INST", "%s.PotentialSource.instrument", F::CharPtr, 0},
    {_POT_SRC_VINST, "_POT_SRC_VINST", "%s.PotentialSource.vinstrument", F::CharPtr, 0},
    {_POT_SRC_SENSOR, "_POT_SRC_SENSOR", "%s.PotentialSource.potential_sensor", F::Short, 0},
    {_POT_SRC_APPS, "_POT_SRC_APPS", "%s.PotentialSource.num_tbls", F::Short, 0},
    {_POT_SRC_TBLS, "_POT_SRC_TBLS", "%s.PotentialSource.tbls", F::ShortArray, 0},
    {_POT_SRC_OPS, "_POT_SRC_OPS", "%s.PotentialSource.opers", F::LongArray, 0},
    {_POT_CONSTANT_VAL, "_POT_CONSTANT_VAL", "%s.PotentialSource.constant_value", F::Float, 0},
    {_CAL_SCOPE, "_CAL_SCOPE", "%s.CalSet%d.scope", F::Char, 0},
    {_MAX_PACKING, "_MAX_PACKING", "%s.max_packing", F::Short, 0},
    {_HEADER_FORMAT, "_HEADER_FORMAT", "%s.header_format", F::Char, 0},
    {_TENSOR_RANK, "_TENSOR_RANK", "%s.TensorDefinition.rank", F::Short, 0},
    {_TENSOR_LENGTHS, "_TENSOR_LENGTHS", "%s.TensorDefinition.rank_lengths", F::LongArray, 0},
    {_TENSOR_IDS, "_TENSOR_IDS", "%s.TensorDefinition.rank_ids", F::ShortArray, 0},
    {_TENSOR_MIN_VALS, "_TENSOR_MIN_VALS", "%s.TensorDefinition.rank_min_vals", F::FloatArray, 0},
    {_TENSOR_MAX_VALS, "_TENSOR_MAX_VALS", "%s.TensorDefinition.rank_max_vals", F::FloatArray, 0},
    {_SPIN_TIME_OFF, "_SPIN_TIME_OFF", "%s.Sensor%d.spin_time_offset", F::Long, 0},
    {_START_SPIN_DEFINED, "_START_SPIN_DEFINED", "%s.StartOfSpin.project", F::Char, 0},
    {_START_SPIN_PROJECT, "_START_SPIN_PROJECT", "%s.StartOfSpin.project", F::CharPtr, 0},
    {_START_SPIN_MISSION, "_START_SPIN_MISSION", "%s.StartOfSpin.mission", F::CharPtr, 0},
    {_START_SPIN_EXPER, "_START_SPIN_EXPER", "%s.StartOfSpin.experiment", F::CharPtr, 0},
    {_START_SPIN_INST, "_START_SPIN_INST", "%s.StartOfSpin.instrument", F::CharPtr, 0},
    {_START_SPIN_VINST, "_START_SPIN_VINST", "%s.StartOfSpin.vinstrument", F::CharPtr, 0},
    {_START_SPIN_SENSOR, "_START_SPIN_SENSOR", "%s.StartOfSpin.sensor", F::Short, 0},
    {_START_SPIN_MSEC_ADJ, "_START_SPIN_MSEC_ADJ", "%s.StartOfSpin.msec_adj", F::Long, 0},
    {_START_SPIN_NSEC_ADJ, "_START_SPIN_NSEC_ADJ", "%s.StartOfSpin.nsec_adj", F::Long, 0},
    {_CAL_D_TYPE, "_CAL_D_TYPE", "%s.CalSet%d.d_type", F::Char, 0},
};

static_assert(std::size(kItems) == KELD_NUM_DEFS);

constexpr bool InCodeOrder()
{
    for (size_t i = 0; i < std::size(kItems); ++i)
        if (kItems[i].code != static_cast<int>(i))
            return false;
    return true;
}
static_assert(InCodeOrder());

// What a char pointer item hands over for a value that is not a string: the
// raw bits of a number would be no pointer at all.
char g_noString[1] = {0};

}  // namespace

const KeldItemDef *KeldItem(int what)
{
    if (what < 0 || what >= KELD_NUM_DEFS)
        return nullptr;
    return &kItems[what];
}

std::span<const KeldItemDef> KeldItems() { return kItems; }

std::string KeldItemKey(const KeldItemDef &item, int which)
{
    std::string key;
    if (item.key == nullptr)
        return key;
    for (const char *p = item.key; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            key += "KELD";
            ++p;
        } else if (p[0] == '%' && p[1] == 'd') {
            key += std::to_string(which);
            ++p;
        } else {
            key += *p;
        }
    }
    return key;
}

KeldForm KeldElementForm(KeldForm form)
{
    switch (form) {
    case F::CharPtrs: return F::CharPtr;
    case F::CharArray: return F::Char;
    case F::ShortArray:
    case F::Shorts3: return F::Short;
    case F::LongArray: return F::Long;
    case F::FloatArray: return F::Float;
    default: return form;
    }
}

size_t KeldElementSize(KeldForm form)
{
    switch (KeldElementForm(form)) {
    case F::Char: return sizeof(KOMBRA_CHAR);
    case F::Short: return sizeof(KOMBRA_SHORT);
    case F::Long: return sizeof(KOMBRA_LONG);
    case F::Float: return sizeof(KOMBRA_FLOAT);
    case F::CharPtr: return sizeof(char *);
    default: return 0;
    }
}

bool KeldIsList(KeldForm form)
{
    switch (form) {
    case F::CharPtrs:
    case F::CharArray:
    case F::ShortArray:
    case F::LongArray:
    case F::FloatArray: return true;
    default: return false;
    }
}

uint32_t KeldBits(const value_s &value, keld_value_type type)
{
    switch (type) {
    case INT: return static_cast<uint32_t>(value.ival);
    case FLOAT: return std::bit_cast<uint32_t>(value.dval);
    case CHAR: return static_cast<unsigned char>(value.cval);
    case STRING: return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value.sval));
    }
    return 0;
}

bool KeldPut(KeldDest &dest, KeldForm element, size_t index, const value_s &value,
             keld_value_type type)
{
    const uint32_t bits = KeldBits(value, type);
    switch (element) {
    case F::Char: return dest.Put(index, static_cast<KOMBRA_CHAR>(bits & 0xffu));
    case F::Short: return dest.Put(index, static_cast<KOMBRA_SHORT>(bits & 0xffffu));
    case F::Long: return dest.Put(index, static_cast<KOMBRA_LONG>(bits));
    case F::Float: return dest.Put(index, std::bit_cast<KOMBRA_FLOAT>(bits));
    case F::CharPtr: return dest.Put(index, type == STRING && value.sval != nullptr ? value.sval : g_noString);
    default: return false;
    }
}

bool KeldPutZero(KeldDest &dest, KeldForm element, size_t index)
{
    value_s zero{};
    return KeldPut(dest, element, index, zero, INT);
}
