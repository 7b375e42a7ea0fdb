// Look-up tables of a data set: for each sensor combination and each mode
// byte one block of floats holding all of its tables, read from the
// description as look-up values or polynomial coefficients (expanded into
// look-up values where the description asks), each value scaled by its
// power of ten.
//
// Every read is bounded: a table's values are asked for only where the
// description's own count says they lie (a request past it is the "longer
// than the item" failure of the step), lists longer than the reader's buffer
// are refused by the registry, and a table whose size would need 2^w values
// for a word of 24 bits or more, or that no size rule fits, is refused.
#include "nurv_int.h"

#include "libKELD.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

using Range = ir_range;

using Mapper = KOMBRA_SHORT (*)(int);

// The registry's codes the mappers turn into a step's family.
constexpr int kLongerThanItem = -805;
// Most elements one registry request asks for (its length is 16-bit).
constexpr KOMBRA_LONG kChunk = 32767;
// Words of this many bits or more would need look-up tables of 2^24 values.
constexpr int kWidestTableWord = 24;

int Item(const Range &r, void *var, size_t size, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start,
         KOMBRA_SHORT len)
{
    return ir_keld_item(r, var, size, what, num, start, len);
}

// n elements of an array item from start on, in requests of at most kChunk.
template <typename T>
int ItemRange(const Range &r, T *out, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_LONG n)
{
    for (KOMBRA_LONG done = 0; done < n;) {
        const KOMBRA_LONG part = n - done < kChunk ? n - done : kChunk;
        const int status = Item(r, out + done, sizeof(T) * static_cast<size_t>(part), what, num, start + done,
                                static_cast<KOMBRA_SHORT>(part));
        if (status != 1)
            return status;
        done += part;
    }
    return 1;
}

// The description offset of a table for element: the given one, else
// _TBL_OFF.  A table without an offset there is refused with no_offset
// unless it has critical actions (whose offsets come later).
int TableOffset(const Range &r, KOMBRA_SHORT element, KOMBRA_SHORT table, KOMBRA_LONG &offset, Mapper map,
                KOMBRA_SHORT no_offset)
{
    if (offset != -1)
        return 1;
    const int status = Item(r, &offset, sizeof offset, _TBL_OFF, table, element, 1);
    if (status != 1)
        return map(status);
    if (offset == -1) {
        if (ginfo.expt->tbl_info_ptr[table].crit_act_sz == 0)
            return no_offset;
        offset = 0;
    }
    return 1;
}

// n values of table from offset, each scaled by its power of ten, into out.
// A request past the table's values or its scale factors is refused.
int ReadScaled(const Range &r, KOMBRA_SHORT element, KOMBRA_SHORT table, KOMBRA_LONG offset, KOMBRA_LONG n,
               std::vector<KOMBRA_FLOAT> &out, Mapper map, KOMBRA_SHORT no_scratch)
{
    const experiment_info &ex = *ginfo.expt;
    const inst_tbl_info &info = ex.tbl_info_ptr[table];
    std::vector<KOMBRA_LONG> values;
    std::vector<int8_t> scales;
    try {
        values.assign(static_cast<size_t>(n), 0);
        scales.assign(info.tbl_sca_sz >= 1 ? static_cast<size_t>(n) : 0, 0);
        out.assign(static_cast<size_t>(n), 0.0f);
    } catch (const std::bad_alloc &) {
        return no_scratch;
    }

    KOMBRA_LONG count = 0;
    int status = Item(r, &count, sizeof count, _TBL_ELE_SZ, table, 0, -1);
    if (status != 1)
        return map(status);
    if (offset < 0 || n > count || offset > count - n)
        return map(kLongerThanItem);
    status = ItemRange(r, values.data(), _TBL, table, offset, n);
    if (status != 1)
        return map(status);

    int8_t one_scale = 0;
    if (info.tbl_sca_sz >= 1) {
        if (n > info.tbl_sca_sz || offset > info.tbl_sca_sz - n)
            return map(kLongerThanItem);
        status = ItemRange(r, scales.data(), _TBL_SCA, table, offset, n);
    } else if (info.tbl_sca_sz < 0) {
        if (element >= -static_cast<long long>(info.tbl_sca_sz))
            return map(kLongerThanItem);
        status = Item(r, &one_scale, sizeof one_scale, _TBL_SCA, table, element, 1);
    }
    if (status != 1)
        return map(status);

    const KOMBRA_FLOAT one = info.tbl_sca_sz < 0 ? ir_tento(one_scale) : 1.0f;
    for (size_t i = 0; i < out.size(); ++i) {
        const KOMBRA_FLOAT factor = info.tbl_sca_sz >= 1 ? ir_tento(scales[i]) : one;
        out[i] = static_cast<KOMBRA_FLOAT>(values[i]) * factor;
    }
    // The data set may bring its own potential correction polynomial.
    if (info.tbl_var == 3 && ex.override_potential_poly == sTrue) {
        if (!out.empty())
            out[0] = ex.potential_intercept;
        if (out.size() > 1)
            out[1] = ex.potential_slope;
    }
    return 1;
}

// 2^bits values for a table of words of that many bits.
int PowerOfTwo(int bits, long long &values)
{
    if (bits < 0 || bits >= kWidestTableWord)
        return NURV_TABLE_TOO_WIDE;
    values = 1LL << bits;
    return 1;
}

// 2^(word length of calibration set k) for a table whose tbl_var is -k.
int CalibrationValues(const experiment_info &ex, int tbl_var, long long &values)
{
    const int k = -tbl_var;
    if (k < 1 || k > ex.cal_sets || ex.cal_wlen == nullptr)
        return NURV_TABLE_NO_CAL_SET;
    return PowerOfTwo(ex.cal_wlen[k - 1], values);
}

// Number of values of one ordinary table.
int TableSize(const experiment_info &ex, const sensor_tables &st, int t, long long &size)
{
    const inst_tbl_info &info = ex.tbl_info_ptr[t];
    const int fmt = st.tbl_fmt[t];
    const long long sweep = ex.swp_len;
    size = 0;
    if (fmt < 0)
        return 1;
    if (sweep < 0)
        return NURV_TABLE_NO_SIZE_RULE;
    if (fmt > 0) {
        if (st.tbl_expand[t] == 1) {
            if (info.tbl_var < 0)
                return CalibrationValues(ex, info.tbl_var, size);
            if (info.tbl_var == 2) {
                size = sweep;
                return 1;
            }
            if (info.tbl_var == 0)
                return PowerOfTwo(st.max_tdw_len, size);
        }
        size = info.tbl_type != 0 ? fmt * sweep : fmt;
        return 1;
    }
    if (info.tbl_var == 0)
        return PowerOfTwo(st.max_tdw_len, size);
    if (info.tbl_var < 0) {
        const int status = CalibrationValues(ex, info.tbl_var, size);
        if (status == 1 && info.tbl_type != 0)
            size *= sweep;
        return status;
    }
    if (info.tbl_var == 2 || info.tbl_var == 3) {
        size = sweep;
        return 1;
    }
    return NURV_TABLE_NO_SIZE_RULE;
}

// Whether a table is a look-up table in memory: read as values or expanded.
int8_t InMemory(const inst_tbl_info &info, int fmt)
{
    if (fmt < 1)
        return 1;
    return info.tbl_type == 2 ? 0 : info.tbl_expand;
}

// A block for the pointer, size and flag arrays of count tables, in the
// order the struct's owner frees it as one.
struct MiscBlock {
    void *base = nullptr;
    KOMBRA_FLOAT **ptr = nullptr;
    KOMBRA_LONG *size = nullptr;
    int8_t *bytes = nullptr;  // byte arrays follow, count each
};

bool MakeMisc(MiscBlock &m, size_t count, size_t byte_arrays)
{
    const size_t bytes = count * (sizeof(KOMBRA_FLOAT *) + sizeof(KOMBRA_LONG) + byte_arrays);
    m.base = std::calloc(bytes, 1);
    if (m.base == nullptr)
        return false;
    auto *at = static_cast<unsigned char *>(m.base);
    m.ptr = reinterpret_cast<KOMBRA_FLOAT **>(at);
    m.size = reinterpret_cast<KOMBRA_LONG *>(at + count * sizeof(KOMBRA_FLOAT *));
    m.bytes = reinterpret_cast<int8_t *>(at + count * (sizeof(KOMBRA_FLOAT *) + sizeof(KOMBRA_LONG)));
    return true;
}

void ClearSensorTables(sensor_tables &st)
{
    std::free(st.base_tbls);
    std::free(st.base_misc_tbls);
    st.base_tbls = st.base_misc_tbls = nullptr;
    st.tbls = nullptr;
    st.tbl_ptr = nullptr;
    st.tbl_size = nullptr;
    st.tbl_expand = st.tbl_fmt = nullptr;
    st.num_tbls = 0;
}

void ClearModeTables(mode_tables &mt)
{
    std::free(mt.base_tbls);
    std::free(mt.base_misc_tbls);
    mt = mode_tables{};
}

}  // namespace

KOMBRA_SHORT ir_tbl_size(KOMBRA_SHORT combo, KOMBRA_LONG *bytes)
{
    const experiment_info *entry = ginfo.expt;
    if (entry == nullptr || entry->sen_tbl_ptr == nullptr || combo < 0 || combo >= entry->num_combo)
        return NURV_NO_DATA_SET;
    const experiment_info &ex = *entry;
    sensor_tables &st = ex.sen_tbl_ptr[combo];
    long long total = 0;
    for (int t = 0; t < st.num_tbls; ++t) {
        long long size = 0;
        const int status = TableSize(ex, st, t, size);
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(status);
        st.tbl_size[t] = static_cast<KOMBRA_LONG>(size);
        total += size;
        if (total > INT32_MAX / static_cast<long long>(sizeof(KOMBRA_FLOAT)))
            return NURV_TABLE_TOO_WIDE;
    }
    if (bytes != nullptr)
        *bytes = static_cast<KOMBRA_LONG>(total * static_cast<long long>(sizeof(KOMBRA_FLOAT)));
    return 1;
}

KOMBRA_SHORT ir_get_tbl_info(KOMBRA_SHORT sensor, KOMBRA_SHORT combo, KOMBRA_SHORT btime_yr,
                             KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                             KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                             KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->sen_tbl_ptr == nullptr || combo < 0 || combo >= ex->num_combo || sensor < 0 ||
        sensor >= ex->num_sensor)
        return NURV_NO_DATA_SET;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    sensor_tables &st = ex->sen_tbl_ptr[combo];
    ClearSensorTables(st);
    if (ex->num_tbls > 0 && ex->tbl_info_ptr == nullptr)
        return NURV_NO_DATA_SET;
    int count = 0;
    for (int t = 0; t < ex->num_tbls; ++t)
        if (ir_ordinary_table(ex->tbl_info_ptr[t]))
            ++count;
    if (count == 0)
        return 1;

    MiscBlock misc;
    if (!MakeMisc(misc, static_cast<size_t>(count), 2))
        return NURV_NO_TBL_MISC;
    st.base_misc_tbls = misc.base;
    st.tbl_ptr = misc.ptr;
    st.tbl_size = misc.size;
    st.tbl_expand = misc.bytes;
    st.tbl_fmt = misc.bytes + count;
    st.num_tbls = static_cast<int8_t>(count);

    for (int t = 0; t < count; ++t) {
        const inst_tbl_info &info = ex->tbl_info_ptr[t];
        int8_t fmt = 0;
        const int status = Item(r, &fmt, sizeof fmt, _TBL_FMT, static_cast<KOMBRA_SHORT>(t), sensor, 1);
        if (status != 1)
            return ir_keld_rval(status, -68);
        if (fmt == 0 && info.tbl_type == 2 && info.tbl_var >= 0)
            return NURV_LOOKUP_SWEEP_TABLE;
        if (fmt == 0 && info.tbl_type == 0 && info.tbl_var == 1)
            return NURV_LOOKUP_SWEEP_VAR;
        st.tbl_fmt[t] = fmt;
        st.tbl_expand[t] = InMemory(info, fmt);
    }

    KOMBRA_LONG bytes = 0;
    KOMBRA_SHORT status = ir_tbl_size(combo, &bytes);
    if (status != 1 || bytes == 0)
        return status;
    st.base_tbls = std::calloc(static_cast<size_t>(bytes), 1);
    if (st.base_tbls == nullptr)
        return NURV_NO_TBLS;
    st.tbls = static_cast<KOMBRA_FLOAT *>(st.base_tbls);

    KOMBRA_FLOAT *next = st.tbls;
    for (int t = 0; t < count; ++t) {
        if (st.tbl_fmt[t] < 0)
            continue;
        st.tbl_ptr[t] = next;
        status = ir_get_new_tbl(sensor, static_cast<KOMBRA_SHORT>(t), st.tbl_expand[t], st.tbl_fmt[t], next,
                                st.tbl_size[t], -1, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr,
                                etime_day, etime_sec, etime_nsec);
        if (status != 1)
            return status;
        next += st.tbl_size[t];
        // An expanded table of signed samples is looked up from its middle:
        // the value of raw x lies at tbl_ptr + x.
        if (ex->d_type != nullptr && ex->d_type[sensor] == 1 && ex->tbl_info_ptr[t].tbl_var == 0 &&
            st.tbl_fmt[t] > 0 && st.tbl_expand[t] == 1)
            st.tbl_ptr[t] += st.tbl_size[t] / 2;
    }
    return 1;
}

KOMBRA_SHORT ir_get_new_tbl(KOMBRA_SHORT element, KOMBRA_SHORT table, int8_t expand, int8_t fmt,
                            KOMBRA_FLOAT *destination, KOMBRA_LONG size, KOMBRA_LONG offset,
                            KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                            KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                            KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->tbl_info_ptr == nullptr || table < 0 || table >= ex->num_tbls)
        return NURV_NO_DATA_SET;
    if (fmt == 0)
        return ir_read_in_tbl(element, destination, offset, size, table, btime_yr, btime_day, btime_sec,
                              btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec);
    if (fmt > 0 && expand)
        return ir_create_tbl(element, destination, size, fmt, table, 1, offset, btime_yr, btime_day, btime_sec,
                             btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec);
    if (fmt < 0)
        return 1;

    // Coefficients kept as they are: one set per sweep step for sweep tables.
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    const inst_tbl_info &info = ex->tbl_info_ptr[table];
    const long long n = info.tbl_type == 2 ? static_cast<long long>(fmt) * ex->swp_len : fmt;
    if (n < 0 || n > size || destination == nullptr)
        return NURV_TABLE_NO_SIZE_RULE;
    int status = TableOffset(r, element, table, offset, ir_get_new_rval, NURV_NO_TBL_OFFSET);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    std::vector<KOMBRA_FLOAT> values;
    status = ReadScaled(r, element, table, offset, static_cast<KOMBRA_LONG>(n), values, ir_get_new_rval,
                        NURV_NO_NEW_TBL_SCRATCH);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    std::memcpy(destination, values.data(), values.size() * sizeof(KOMBRA_FLOAT));
    return 1;
}

KOMBRA_SHORT ir_read_in_tbl(KOMBRA_SHORT element, KOMBRA_FLOAT *destination, KOMBRA_LONG offset,
                            KOMBRA_LONG size, KOMBRA_SHORT table, KOMBRA_SHORT btime_yr,
                            KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                            KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                            KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->tbl_info_ptr == nullptr || table < 0 || table >= ex->num_tbls)
        return NURV_NO_DATA_SET;
    if (size <= 0)
        return 1;
    if (destination == nullptr)
        return NURV_TABLE_NO_SIZE_RULE;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    int status = TableOffset(r, element, table, offset, ir_read_in_rval, NURV_NO_READ_IN_OFFSET);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    std::vector<KOMBRA_FLOAT> values;
    status = ReadScaled(r, element, table, offset, size, values, ir_read_in_rval, NURV_NO_READ_IN_SCRATCH);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    std::memcpy(destination, values.data(), values.size() * sizeof(KOMBRA_FLOAT));
    return 1;
}

KOMBRA_SHORT ir_create_tbl(KOMBRA_SHORT element, KOMBRA_FLOAT *destination, KOMBRA_LONG size, int8_t fmt,
                           KOMBRA_SHORT table, int8_t expand, KOMBRA_LONG offset, KOMBRA_SHORT btime_yr,
                           KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                           KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                           KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->tbl_info_ptr == nullptr || table < 0 || table >= ex->num_tbls)
        return NURV_NO_DATA_SET;
    if (fmt <= 0 || size <= 0)
        return 1;
    if (destination == nullptr)
        return NURV_TABLE_NO_SIZE_RULE;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    int status = TableOffset(r, element, table, offset, ir_create_rval, NURV_NO_CREATE_OFFSET);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);
    std::vector<KOMBRA_FLOAT> coefficients;
    status = ReadScaled(r, element, table, offset, fmt, coefficients, ir_create_rval, NURV_NO_CREATE_SCRATCH);
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status);

    if (!expand) {
        const size_t n = coefficients.size() < static_cast<size_t>(size) ? coefficients.size()
                                                                         : static_cast<size_t>(size);
        std::memcpy(destination, coefficients.data(), n * sizeof(KOMBRA_FLOAT));
        return 1;
    }
    // A table of signed samples runs from -size/2 so that raw 0 sits in the
    // middle.
    KOMBRA_FLOAT x = 0.0f;
    if (ex->tbl_info_ptr[table].tbl_var == 0 && element >= 0 && element < ex->num_sensor &&
        ex->d_type != nullptr && ex->d_type[element] == 1)
        x = -static_cast<KOMBRA_FLOAT>(size / 2);
    for (KOMBRA_LONG i = 0; i < size; ++i, x += 1.0f)
        destination[i] = ir_poly_expand(x, coefficients.data(), fmt);
    return 1;
}

KOMBRA_SHORT ir_get_mode_info(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                              KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr)
        return NURV_NO_DATA_SET;
    ir_free_mode_tables(ex);
    if (ex->num_modes == 0)
        return 1;
    ex->bmem.base_mode_ptr = std::calloc(ex->num_modes, sizeof(mode_tables));
    if (ex->bmem.base_mode_ptr == nullptr)
        return NURV_NO_MODE_TABLES;
    ex->mode_tbl_ptr = static_cast<mode_tables *>(ex->bmem.base_mode_ptr);
    for (int m = 0; m < ex->num_modes; ++m) {
        const KOMBRA_SHORT status = ir_get_mode_tbl(static_cast<KOMBRA_UCHAR>(m), btime_yr, btime_day, btime_sec,
                                                    btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec);
        if (status != 1)
            return status;
    }
    return 1;
}

KOMBRA_SHORT ir_get_mode_tbl(KOMBRA_UCHAR mode, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                             KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                             KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->mode_tbl_ptr == nullptr || mode >= ex->num_modes)
        return NURV_NO_DATA_SET;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    mode_tables &mt = ex->mode_tbl_ptr[mode];
    ClearModeTables(mt);
    if (ex->num_tbls > 0 && ex->tbl_info_ptr == nullptr)
        return NURV_NO_DATA_SET;
    int count = 0;
    for (int t = 0; t < ex->num_tbls; ++t)
        if (!ir_ordinary_table(ex->tbl_info_ptr[t]) && ex->tbl_info_ptr[t].tbl_type != 1)
            ++count;
    if (count == 0)
        return 1;

    MiscBlock misc;
    if (!MakeMisc(misc, static_cast<size_t>(count), 4))
        return NURV_NO_MODE_MISC;
    mt.base_misc_tbls = misc.base;
    mt.tbl_ptr = misc.ptr;
    mt.tbl_size = misc.size;
    mt.tbl_var = misc.bytes;
    mt.tbl_expand = misc.bytes + count;
    mt.tbl_fmt = misc.bytes + 2 * count;
    mt.tbl_num = misc.bytes + 3 * count;
    mt.num_tbls = static_cast<int8_t>(count);

    for (int t = 0, i = 0; t < ex->num_tbls; ++t) {
        const inst_tbl_info &info = ex->tbl_info_ptr[t];
        if (ir_ordinary_table(info) || info.tbl_type == 1)
            continue;
        mt.tbl_num[i] = static_cast<int8_t>(t);
        mt.tbl_var[i] = info.tbl_var;
        int8_t fmt = 0;
        const int status = Item(r, &fmt, sizeof fmt, _TBL_FMT, static_cast<KOMBRA_SHORT>(t), mode, 1);
        if (status != 1)
            return ir_keld_rval(status, -232);
        if (fmt == 0 && info.tbl_type == 2)
            return NURV_MODE_LOOKUP_SWEEP;
        if (fmt == 0 && info.tbl_type == 0 && info.tbl_var == 5)
            return NURV_MODE_LOOKUP_VAR5;
        mt.tbl_fmt[i] = fmt;
        mt.tbl_expand[i] = InMemory(info, fmt);
        ++i;
    }

    KOMBRA_LONG bytes = 0;
    KOMBRA_SHORT status = ir_mode_tbl_size(mode, &bytes, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr,
                                           etime_day, etime_sec, etime_nsec);
    if (status != 1 || bytes == 0)
        return status;
    mt.base_tbls = std::calloc(static_cast<size_t>(bytes), 1);
    if (mt.base_tbls == nullptr)
        return NURV_NO_MODE_TBLS;
    mt.tbls = static_cast<KOMBRA_FLOAT *>(mt.base_tbls);
    KOMBRA_FLOAT *next = mt.tbls;
    for (int i = 0; i < count; ++i) {
        if (mt.tbl_fmt[i] < 0)
            continue;
        mt.tbl_ptr[i] = next;
        status = ir_get_new_tbl(mode, mt.tbl_num[i], mt.tbl_expand[i], mt.tbl_fmt[i], next, mt.tbl_size[i], -1,
                                btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                                etime_nsec);
        if (status != 1)
            return status;
        next += mt.tbl_size[i];
    }
    return 1;
}

KOMBRA_SHORT ir_mode_tbl_size(KOMBRA_UCHAR mode, KOMBRA_LONG *bytes, KOMBRA_SHORT btime_yr,
                              KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                              KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                              KOMBRA_LONG etime_nsec)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->mode_tbl_ptr == nullptr || mode >= ex->num_modes)
        return NURV_NO_DATA_SET;
    const Range r{btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec};
    mode_tables &mt = ex->mode_tbl_ptr[mode];
    long long total = 0;
    for (int i = 0; i < mt.num_tbls; ++i) {
        const inst_tbl_info &info = ex->tbl_info_ptr[mt.tbl_num[i]];
        const int fmt = mt.tbl_fmt[i];
        long long size = 0;
        if (fmt == 0 || (fmt > 0 && mt.tbl_expand[i] == 1)) {
            KOMBRA_SHORT states = 0;
            const int status = Item(r, &states, sizeof states, _STATES, 0, mode, 1);
            if (status != 1)
                return ir_mode_tbl_size_rval(status);
            size = states;
        } else if (fmt > 0) {
            size = info.tbl_type != 0 ? static_cast<long long>(fmt) * ex->swp_len : fmt;
        }
        if (size < 0)
            return NURV_TABLE_NO_SIZE_RULE;
        mt.tbl_size[i] = static_cast<KOMBRA_LONG>(size);
        total += size;
        if (total > INT32_MAX / static_cast<long long>(sizeof(KOMBRA_FLOAT)))
            return NURV_TABLE_TOO_WIDE;
    }
    if (bytes != nullptr)
        *bytes = static_cast<KOMBRA_LONG>(total * static_cast<long long>(sizeof(KOMBRA_FLOAT)));
    return 1;
}
