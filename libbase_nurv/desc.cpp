// Description values of a data set: what the reader copies from the data
// set's instrument description before the first record is read (record
// sizes, calibration sets, word lengths, table attributes, ancillary-source
// flags), what it reads again for every new file, the constant rows and the
// unit normals of the sensors.
//
// Every value comes from the description registry through the read_keld
// seam, in the buffer-bounded form: a list reads whole into a buffer sized
// from its count, and a list that holds more values than its count is a
// failure, never a cut.  Destinations of per-element items are zero-filled
// first, so an element the description leaves out reads as 0, never as
// whatever the memory held.
#include "nurv_int.h"

#include "libKELD.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

using Range = ir_range;

int Item(const Range &r, void *var, size_t size, KELD_DEFS what, KOMBRA_SHORT num = 0, KOMBRA_LONG start = 0,
         KOMBRA_SHORT len = -1)
{
    return ir_keld_item(r, var, size, what, num, start, len);
}

// A scalar item into out, which keeps its value when the read fails.
template <typename T>
int Scalar(const Range &r, T &out, KELD_DEFS what, KOMBRA_SHORT num = 0)
{
    T value{};
    const int status = Item(r, &value, sizeof value, what, num);
    if (status == 1)
        out = value;
    return status;
}

// A new zero-filled block of count elements of size bytes in place of the
// one at *block; false when it cannot be had (the old block is gone then).
template <typename T>
bool Renew(T *&block, long long count, size_t size = sizeof(T))
{
    std::free(block);
    block = nullptr;
    if (count <= 0)
        return false;
    block = static_cast<T *>(std::calloc(static_cast<size_t>(count), size));
    return block != nullptr;
}

// The same for a block owned through a void pointer of bmem.
template <typename T>
bool RenewOwned(void *&owner, T *&typed, long long count, size_t size = sizeof(T))
{
    std::free(owner);
    owner = nullptr;
    typed = nullptr;
    if (count <= 0)
        return false;
    owner = std::calloc(static_cast<size_t>(count), size);
    typed = static_cast<T *>(owner);
    return owner != nullptr;
}

// A per-sensor or per-set char list read whole into a new block of count
// bytes.  alloc_failed is returned when the block cannot be had.
int CharList(const Range &r, int8_t *&block, long long count, KELD_DEFS what, KOMBRA_SHORT alloc_failed)
{
    if (!Renew(block, count))
        return alloc_failed;
    return ir_once_rval(Item(r, block, static_cast<size_t>(count), what));
}

// A failure passed on as it stands, cut to 16 bits.
KOMBRA_SHORT Unmapped(int status)
{
    return status < INT16_MIN ? INT16_MIN : static_cast<KOMBRA_SHORT>(status);
}

int WordLengthOk(int8_t bits)
{
    return bits >= 0 && bits <= 32;
}

// Once-per-set steps; each returns 1 or its failure.
int ReadFormat(const Range &r, experiment_info &ex)
{
    KOMBRA_CHAR format = 0;
    int status = ir_once_rval(Scalar(r, format, _HEADER_FORMAT));
    if (status != 1)
        return status;
    if (format != 1 && format != 2)
        return NURV_BAD_HEADER_FORMAT;
    ex.header_format = static_cast<int8_t>(format);
    if (format != 2)
        return 1;

    status = ir_once_rval(Scalar(r, ex.tensor_rank, _TENSOR_RANK));
    if (status != 1)
        return status;
    if (ex.tensor_rank < 1 || ex.tensor_rank > 10)
        return NURV_BAD_TENSOR_RANK;
    for (KOMBRA_LONG &size : ex.tensor_sizes)
        size = -1;  // lengths the description leaves out stay refused below
    status = ir_once_rval(Item(r, ex.tensor_sizes, sizeof ex.tensor_sizes, _TENSOR_LENGTHS));
    if (status != 1)
        return status;
    for (int j = 0; j < ex.tensor_rank; ++j)
        if (ex.tensor_sizes[j] < 1)
            return NURV_BAD_TENSOR_SIZE;
    return 1;
}

int ReadCalibrationSets(const Range &r, experiment_info &ex)
{
    std::free(ex.cal_target);
    std::free(ex.cal_wlen);
    std::free(ex.cal_scope);
    std::free(ex.cal_d_type);
    ex.cal_target = ex.cal_wlen = ex.cal_scope = ex.cal_d_type = nullptr;
    std::free(ex.bmem.base_cal);
    ex.bmem.base_cal = nullptr;
    ex.CAL_USE = nullptr;
    ex.CSET_NUM = nullptr;
    if (ex.cal_sets < 0)
        return NURV_NO_CAL_TARGET;
    if (ex.cal_sets == 0)
        return 1;

    const struct {
        int8_t *&block;
        KELD_DEFS what;
        KOMBRA_SHORT alloc_failed;
    } lists[] = {
        {ex.cal_target, _CAL_TARGET, NURV_NO_CAL_TARGET},
        {ex.cal_wlen, _CAL_WLEN, NURV_NO_CAL_WLEN},
        {ex.cal_scope, _CAL_SCOPE, NURV_NO_CAL_SCOPE},
        {ex.cal_d_type, _CAL_D_TYPE, NURV_NO_CAL_D_TYPE},
    };
    for (const auto &list : lists) {
        const int status = CharList(r, list.block, ex.cal_sets, list.what, list.alloc_failed);
        if (status != 1)
            return status;
    }
    for (int i = 0; i < ex.cal_sets; ++i)
        if (!WordLengthOk(ex.cal_wlen[i]))
            return NURV_BAD_WORD_LENGTH;

    // One block: CAL_USE (16-bit signed), then CSET_NUM (16-bit unsigned).
    ex.bmem.base_cal = std::calloc(static_cast<size_t>(ex.cal_sets), 4);
    if (ex.bmem.base_cal == nullptr)
        return NURV_NO_CAL_USE;
    ex.CAL_USE = static_cast<KOMBRA_SHORT *>(ex.bmem.base_cal);
    ex.CSET_NUM = reinterpret_cast<KOMBRA_USHORT *>(ex.CAL_USE + ex.cal_sets);
    return ir_once_rval(Item(r, ex.CAL_USE, sizeof(KOMBRA_SHORT) * static_cast<size_t>(ex.cal_sets), _CAL_USE, 0,
                             0, ex.cal_sets));
}

// The data buffer of d_size bytes; the record's fixed fields must fit it.
int ReadDataLength(const Range &r, experiment_info &ex)
{
    ptr_rec *ptr = ex.info_ptr;
    KOMBRA_LONG length = 0;
    const int status = ir_once_rval(Scalar(r, length, _DATA_LEN));
    if (status != 1)
        return status;
    std::free(ex.bmem.base_data);
    ex.bmem.base_data = nullptr;
    ex.DATA_MEM = nullptr;
    ptr->d_size = length;
    const long long fixed = 16LL + 4LL * ex.max_nss + (ex.nano_defined ? 4 : 0);
    if (length <= 0 || ex.max_nss < 1 || length < fixed)
        return NURV_NO_DATA_BUFFER;
    ex.bmem.base_data = std::calloc(static_cast<size_t>(length), 1);
    if (ex.bmem.base_data == nullptr)
        return NURV_NO_DATA_BUFFER;
    ex.DATA_MEM = static_cast<KOMBRA_CHAR *>(ex.bmem.base_data);
    return ir_assign_pointers(0, 1, nullptr);
}

int ReadSensors(const Range &r, experiment_info &ex)
{
    if (ex.num_sensor <= 0) {
        std::free(ex.d_type);
        ex.d_type = nullptr;
        return NURV_NO_D_TYPE;
    }
    int status = CharList(r, ex.d_type, ex.num_sensor, _D_TYPE, NURV_NO_D_TYPE);
    if (status != 1)
        return status;
    status = CharList(r, ex.sen_tdw_len, ex.num_sensor, _TDW_LEN, NURV_NO_TDW_LEN);
    if (status != 1)
        return status;

    int8_t widest = 0;
    for (int s = 0; s < ex.num_sensor; ++s) {
        if (!WordLengthOk(ex.sen_tdw_len[s]))
            return NURV_BAD_WORD_LENGTH;
        widest = ex.sen_tdw_len[s] > widest ? ex.sen_tdw_len[s] : widest;
    }
    for (int i = 0; i < ex.cal_sets && ex.cal_wlen != nullptr; ++i)
        widest = ex.cal_wlen[i] > widest ? ex.cal_wlen[i] : widest;
    ex.tdw_len = widest;

    std::free(ex.bmem.base_inst_tbl_info);
    ex.bmem.base_inst_tbl_info = nullptr;
    ex.tbl_info_ptr = nullptr;
    if (ex.num_tbls < 0)
        return NURV_NO_TBL_INFO;
    if (ex.num_tbls > 0 && !RenewOwned(ex.bmem.base_inst_tbl_info, ex.tbl_info_ptr, ex.num_tbls))
        return NURV_NO_TBL_INFO;

    if (!RenewOwned(ex.bmem.base_start_spin_off, ex.start_spin_off, ex.num_sensor))
        return NURV_NO_SPIN_OFFSETS;
    status = ir_once_rval(Item(r, ex.start_spin_off, sizeof(KOMBRA_LONG) * static_cast<size_t>(ex.num_sensor),
                               _SPIN_TIME_OFF));
    if (status != 1)
        return status;

    if (!Renew(ex.sen_status, ex.num_sensor))
        return NURV_NO_SEN_STATUS;
    return 1;
}

// A tensor description describes one plain tensor per record.
int CheckTensor(const experiment_info &ex)
{
    if (ex.num_tbls != 0)
        return NURV_TENSOR_TABLES;
    if (ex.cal_sets != 0)
        return NURV_TENSOR_CAL_SETS;
    if (ex.max_nss != 1)
        return NURV_TENSOR_MAX_NSS;
    if (ex.smp_id != 3)
        return NURV_TENSOR_SMP_ID;
    if (ex.da_method != 0)
        return NURV_TENSOR_DA_METHOD;
    if (ex.swp_len != 1)
        return NURV_TENSOR_SWP_LEN;
    if (ex.sen_mode != 3 && ex.sen_mode != 7)
        return NURV_TENSOR_SEN_MODE;
    return 1;
}

// Table attributes, read for every table.
int ReadTableInfo(const Range &r, experiment_info &ex)
{
    for (int t = 0; t < ex.num_tbls; ++t) {
        inst_tbl_info &info = ex.tbl_info_ptr[t];
        const auto num = static_cast<KOMBRA_SHORT>(t);
        int status = 1;
        status = ir_update_rval(Scalar(r, info.tbl_sca_sz, _TBL_SCA_SZ, num));
        if (status == 1)
            status = ir_update_rval(Scalar(r, info.crit_act_sz, _CRIT_ACT_SZ, num));
        if (status == 1)
            status = ir_update_rval(Scalar(r, info.tbl_type, _TBL_TYPE, num));
        if (status == 1)
            status = ir_update_rval(Scalar(r, info.tbl_var, _TBL_VAR, num));
        if (status != 1)
            return status;
        const int8_t plain = (info.tbl_var == 1 || info.tbl_var == 3) ? 0 : 1;
        info.sen_fn_of_raw = info.swp_fn_of_raw = info.cal_fn_of_raw = info.scpot_fn_of_raw = plain;
        info.mode_fn_of_raw = info.tbl_var == 4 ? 1 : 0;

        status = ir_update_rval(Scalar(r, info.tbl_expand, _TBL_EXPAND, num));
        if (status != 1)
            return status;
        if ((info.tbl_var == 1 || info.tbl_var == 3 || info.tbl_var == 5) && info.tbl_expand != 0) {
            std::printf("\nTBL_EXPAND flag for table %d has been changed to 0.", t);
            std::printf("\nKELD file should be corrected.");
            std::fflush(stdout);
            info.tbl_expand = 0;
        }
    }

    // Ordinary tables (tbl_type not 1, tbl_var neither 4 nor 5) come first:
    // the sensor tables are indexed by table number and sized by their count.
    int last_ordinary = -1;
    for (int t = 0; t < ex.num_tbls; ++t)
        if (ir_ordinary_table(ex.tbl_info_ptr[t]))
            last_ordinary = t;
    for (int t = 0; t < last_ordinary; ++t)
        if (!ir_ordinary_table(ex.tbl_info_ptr[t]))
            return NURV_TABLE_ORDER;
    return 1;
}

}  // namespace

int ir_keld_item(const ir_range &r, void *var, size_t size, int what, KOMBRA_SHORT num, KOMBRA_LONG start,
                 KOMBRA_SHORT len)
{
    return ir_seams.read_keld(ginfo.expt->data_key, r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec,
                              r.ensec, var, size, what, num, start, len);
}

KOMBRA_SHORT ir_keld_rval(int status, KOMBRA_SHORT first)
{
    switch (status) {
    case -811: return first;
    case -805: return static_cast<KOMBRA_SHORT>(first - 1);
    case -807: return static_cast<KOMBRA_SHORT>(first - 2);
    case -808: return static_cast<KOMBRA_SHORT>(first - 3);
    case -806: return static_cast<KOMBRA_SHORT>(first - 4);
    default: break;
    }
    if (status < INT16_MIN)
        return INT16_MIN;
    if (status > INT16_MAX)
        return INT16_MAX;
    return static_cast<KOMBRA_SHORT>(status);
}

KOMBRA_SHORT ir_once_rval(int status) { return ir_keld_rval(status, -83); }
KOMBRA_SHORT ir_update_rval(int status) { return ir_keld_rval(status, -73); }
KOMBRA_SHORT ir_mode_tbl_size_rval(int status) { return ir_keld_rval(status, -97); }
KOMBRA_SHORT ir_get_crit_rval(int status) { return ir_keld_rval(status, -107); }
KOMBRA_SHORT ir_get_new_rval(int status) { return ir_keld_rval(status, -112); }
KOMBRA_SHORT ir_read_in_rval(int status) { return ir_keld_rval(status, -126); }
KOMBRA_SHORT ir_create_rval(int status) { return ir_keld_rval(status, -132); }
KOMBRA_SHORT ir_get_const_rval(int status) { return ir_keld_rval(status, -137); }

bool ir_ordinary_table(const inst_tbl_info &info)
{
    return info.tbl_type != 1 && info.tbl_var != 4 && info.tbl_var != 5;
}

KOMBRA_SHORT ir_read_nur_once(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                              KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->info_ptr == nullptr)
        return NURV_NO_DATA_SET;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};

    // The first request finds the description; a 1200 (the description
    // must be fetched first) comes back unchanged.
    int status = ir_once_rval(Scalar(r, ex->max_nss, _MAX_NSS));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    status = ReadFormat(r, *ex);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);

    status = ir_once_rval(Scalar(r, ex->smp_id, _SMP_ID));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    KOMBRA_CHAR byte = 0;
    status = ir_once_rval(Scalar(r, ex->max_packing, _MAX_PACKING));
    if (status == 1)
        status = ir_once_rval(Scalar(r, byte, _CAL_SETS));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    ex->cal_sets = static_cast<int8_t>(byte);
    status = ir_once_rval(Scalar(r, byte, _DA_METHOD));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    ex->da_method = static_cast<int8_t>(byte);
    status = ir_once_rval(Scalar(r, byte, _NUM_TBLS));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    ex->num_tbls = static_cast<int8_t>(byte);
    status = ir_once_rval(Scalar(r, byte, _STATUS));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    ex->num_modes = static_cast<KOMBRA_UCHAR>(byte);

    status = ReadCalibrationSets(r, *ex);
    if (status == 1)
        status = ir_once_rval(Scalar(r, ex->num_sensor, _SEN));
    if (status == 1)
        status = ir_once_rval(Scalar(r, ex->swp_len, _SWP_LEN));
    if (status == 1)
        status = ir_once_rval(Scalar(r, ex->nano_defined, _NANO_DEFINED));
    if (status == 1)
        status = ReadDataLength(r, *ex);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);

    status = ir_once_rval(Scalar(r, byte, _SEN_MODE));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    ex->sen_mode = static_cast<int8_t>(byte);
    ex->TRC = static_cast<int8_t>(1 - ex->sen_mode / 4);
    ex->TRP = static_cast<int8_t>(1 - (ex->sen_mode % 4) / 2);
    ex->TCP = static_cast<int8_t>(1 - (ex->sen_mode % 2));

    status = ReadSensors(r, *ex);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    if (ex->header_format == 2) {
        status = CheckTensor(*ex);
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(status);
    }
    return ir_read_nur_update(btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                              etime_nsec);
}

KOMBRA_SHORT ir_read_nur_update(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr)
        return NURV_NO_DATA_SET;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};

    // The end of the description's data; a year of 65535 means none.
    KOMBRA_SHORT year = 0;
    int status = ir_update_rval(Scalar(r, year, _DE_YEAR));
    if (status == 1)
        status = ir_update_rval(Scalar(r, ex->de_day, _DE_DAY));
    if (status == 1)
        status = ir_update_rval(Scalar(r, ex->de_msec, _DE_MSEC));
    if (status == 1)
        status = ir_update_rval(Scalar(r, ex->de_usec, _DE_USEC));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    ex->de_year = static_cast<KOMBRA_USHORT>(year);

    status = ir_update_rval(Scalar(r, ex->fill_flag, _FILL_FLG));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    if (ex->fill_flag == 1) {
        status = ir_update_rval(Scalar(r, ex->fill_value, _FILL));
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(status);
    } else if (ex->header_format == 2) {
        return NURV_TENSOR_NO_FILL;
    }

    const struct {
        KOMBRA_CHAR *to;
        KELD_DEFS what;
        KOMBRA_SHORT tensor_refused;
    } flags[] = {
        {&ex->pa_def, _PA_DEFINED, NURV_TENSOR_PITCH},
        {&ex->spin_src_def, _START_SPIN_DEFINED, NURV_TENSOR_SPIN},
        {&ex->potential_def, _POT_SRC_DEFINED, NURV_TENSOR_POTENTIAL},
        {&ex->euler_def, _PMI_DEFINED, NURV_TENSOR_ATTITUDE},
    };
    for (const auto &flag : flags) {
        status = ir_update_rval(Scalar(r, *flag.to, flag.what));
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(status);
        if (*flag.to && ex->header_format == 2)
            return flag.tensor_refused;
    }

    if (ex->sen_status != nullptr && ex->num_sensor > 0) {
        std::memset(ex->sen_status, 0, static_cast<size_t>(ex->num_sensor));
        status = ir_update_rval(Item(r, ex->sen_status, static_cast<size_t>(ex->num_sensor), _SEN_STATUS));
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(status);
    }
    status = ReadTableInfo(r, *ex);
    if (status == 1)
        status = ir_update_rval(Scalar(r, ex->num_consts, _NUM_CONSTS));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);

    KOMBRA_CHAR phi = 0;
    status = Scalar(r, phi, _PHI_METHOD);
    if (status == -811)
        phi = 0;
    else if (status != 1)
        return ir_update_rval(status);
    ex->phi_method = phi;

    status = ir_update_rval(Scalar(r, ex->data_lat_units, _DATA_LAT_UNITS));
    if (status == 1)
        status = ir_update_rval(Scalar(r, ex->swp_reset_units, _SWP_RESET_UNITS));
    if (status == 1)
        status = ir_update_rval(Scalar(r, ex->sen_reset_units, _SEN_RESET_UNITS));
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);

    return ir_get_constants(btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                            etime_nsec);
}

KOMBRA_SHORT ir_get_constants(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                              KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr)
        return NURV_NO_DATA_SET;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    const int rows = ex->phi_method == 1 ? 6 : 4;
    const long long n = ex->num_sensor;
    if (!RenewOwned(ex->bmem.base_constant, ex->constants, n * rows))
        return NURV_NO_CONSTANTS;
    for (long long s = 0; s < n; ++s) {
        ex->constants[s] = 0.0f;
        for (int row = 1; row < rows; ++row)
            ex->constants[row * n + s] = -1.0f;
    }
    if (ex->num_consts <= 0)
        return 1;

    std::vector<KOMBRA_LONG> values;
    std::vector<int8_t> scales;
    try {
        values.resize(static_cast<size_t>(n));
        scales.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc &) {
        return NURV_NO_CONST_SCRATCH;
    }
    for (int c = 0; c < ex->num_consts; ++c) {
        const auto num = static_cast<KOMBRA_SHORT>(c);
        KOMBRA_CHAR id = 0;
        int status = Scalar(r, id, _CONST_ID, num);
        if (status != 1)
            return ir_get_const_rval(status);
        int row = -1;
        if (id >= 2 && id <= 5)
            row = id - 2;
        else if (ex->phi_method == 1 && id == 9)
            row = 4;
        else if (ex->phi_method == 1 && id == 10)
            row = 5;
        if (row < 0)
            continue;
        std::fill(values.begin(), values.end(), 0);
        std::fill(scales.begin(), scales.end(), 0);
        status = Item(r, values.data(), values.size() * sizeof(KOMBRA_LONG), _KELD_CONST, num, 0,
                      static_cast<KOMBRA_SHORT>(n));
        if (status == 1)
            status = Item(r, scales.data(), scales.size(), _CONST_SCA, num, 0, static_cast<KOMBRA_SHORT>(n));
        if (status != 1)
            return ir_get_const_rval(status);
        for (long long s = 0; s < n; ++s)
            ex->constants[row * n + s] =
                static_cast<KOMBRA_FLOAT>(values[static_cast<size_t>(s)]) * ir_tento(scales[static_cast<size_t>(s)]);
    }
    return 1;
}

KOMBRA_SHORT ir_get_unit_normals(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                 KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                 KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr)
        return NURV_NO_DATA_SET;
    pitch_info *pitch = ex->pitch_angles;
    if (pitch == nullptr || pitch->unit_normals == nullptr || pitch->mag_normal == nullptr)
        return NURV_NO_UNIT_NORMAL;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    const int n = ex->num_sensor;
    for (int k = 0; k < 3 * n; ++k)
        pitch->unit_normals[k] = -3.4e38;

    for (int c = 0; c < ex->num_consts; ++c) {
        const auto num = static_cast<KOMBRA_SHORT>(c);
        KOMBRA_CHAR id = 0;
        int status = Scalar(r, id, _CONST_ID, num);
        if (status != 1)
            return Unmapped(status);
        if (id < 6 || id > 8)
            continue;
        const int component = id - 6;
        for (int s = 0; s < n; ++s) {
            KOMBRA_LONG value = 0;
            int8_t scale = 0;
            status = Item(r, &value, sizeof value, _KELD_CONST, num, s, 1);
            if (status == 1)
                status = Item(r, &scale, sizeof scale, _CONST_SCA, num, s, 1);
            if (status != 1)
                return Unmapped(status);
            pitch->unit_normals[3 * s + component] = static_cast<KOMBRA_FLOAT>(value) * ir_tento(scale);
        }
    }
    for (int s = 0; s < n; ++s) {
        double sum = 0;
        for (int k = 0; k < 3; ++k) {
            const double v = pitch->unit_normals[3 * s + k];
            if (v <= -3e38)
                return NURV_NO_UNIT_NORMAL;
            sum += v * v;
        }
        pitch->mag_normal[s] = std::sqrt(sum);
    }
    return 1;
}
