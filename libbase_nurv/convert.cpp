// Conversion to units: one kind of value of the caller's record (sensor
// values, sweep steps, a calibration set, a mode value, quality, pitch
// angles, azimuths, spacecraft potential) in physical units, through the
// caller's list of (table, operation code) pairs: element operations with
// the data set's tables into the result or one of nine scratch buffers,
// combinations of the result and the buffers, and built-in functions.
//
// Table numbers are signed bytes, so the "no table" 255 of a combination
// code arrives as -1: combination codes take any table number, table
// operations only the data set's tables.  The buffers are as long as the
// longest array of the record (at least the sweep), and every input array
// is read only as far as the record holds values; target elements without
// an input value get the missing value.
#include "nurv_int.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr KOMBRA_FLOAT kMissing = IR_MISSING_VALUE;
constexpr KOMBRA_FLOAT kPreset = IR_BUFFER_PRESET;

// What one operation code asks for.
struct Op {
    enum Kind { Invalid, Table, Combine } kind = Invalid;
    int buffer = 0;   // table operation: target buffer (0: the working array)
    int element = 0;  // table operation: element operation
    int source = 0;   // combination: source buffer
    int target = 0;   // combination: target buffer (0: the working array)
    int combine = 0;  // combination: COMBINE_OPER index
    int builtin = 0;  // built-in applied afterwards (0: none)
};

Op Decode(KOMBRA_LONG v)
{
    Op op;
    if ((v >= 0 && v < 2000) || (v >= 3000 && v < 10000)) {
        const int c = static_cast<int>(v % 1000);
        op.kind = Op::Table;
        op.buffer = static_cast<int>(v / 1000);
        op.element = c % 10;
        op.builtin = c > 9 ? c / 10 : 0;
    } else if (v > 2000 && v < 3000) {
        const int c = static_cast<int>(v - 2000);
        op.kind = Op::Combine;
        op.source = 1;
        op.combine = c % 10;
        op.builtin = c > 9 ? c / 10 : 0;
    } else if (v > 10000 && v < 100000) {
        const int c = static_cast<int>(v % 1000);
        op.kind = Op::Combine;
        op.source = static_cast<int>(v / 10000);
        op.target = static_cast<int>((v % 10000) / 1000);
        op.combine = c % 10;
        op.builtin = c > 9 ? c / 10 : 0;
    }
    return op;
}

// Checks the code list: 1, or the status of its first fault.  Sets whether
// any code addresses a buffer.
KOMBRA_SHORT CheckList(const experiment_info &ex, int n, const KOMBRA_CHAR *tables, const KOMBRA_LONG *codes,
                       bool &buffers)
{
    bool loaded[10] = {}, used[10] = {};
    bool keep = false, combine_with_keep = false, between_buffers = false;
    buffers = false;
    for (int i = 0; i < n; ++i) {
        const int t = static_cast<int8_t>(tables[i]);
        const KOMBRA_LONG v = codes[i];
        const Op op = Decode(v);
        if (t >= ex.num_tbls || (t < 0 && op.kind == Op::Table))
            return NURV_CONV_NO_TABLE;
        if (op.kind == Op::Invalid)
            return NURV_CONV_BAD_CODE;
        if (op.kind == Op::Table) {
            if (op.buffer != 0) {
                loaded[op.buffer] = true;
                keep = keep || op.buffer == 1;
                buffers = true;
            }
            continue;
        }
        if (op.combine < 1 || op.combine > 5 || COMBINE_OPER[op.combine] == nullptr)
            return NURV_CONV_BAD_CODE;
        buffers = true;
        if (v < 3000) {
            combine_with_keep = true;
            continue;
        }
        between_buffers = true;
        if (op.source == 2 || op.target == 2)
            return NURV_CONV_BUFFER_TWO;
        if (op.source == op.target)
            return NURV_CONV_SAME_BUFFER;
        used[op.source] = true;
        if (op.target != 0)
            loaded[op.target] = true;
    }
    if (combine_with_keep && !keep)
        return NURV_CONV_NO_KEEP;
    if (between_buffers)
        for (int b = 1; b < 10; ++b)
            if (used[b] && !loaded[b])
                return NURV_CONV_EMPTY_BUFFER;
    return 1;
}

// The nine buffers, each stride floats, in the reader's scratch area.
KOMBRA_SHORT SetUpBuffers(long long stride, KOMBRA_FLOAT *&base)
{
    const long long bytes = 9 * stride * static_cast<long long>(sizeof(KOMBRA_FLOAT));
    if (bytes > UINT32_MAX)
        return NURV_CONV_NO_SCRATCH;
    if (bytes > ir_tmp_bytes || ir_tmp_space == nullptr) {
        void *grown = std::realloc(ir_tmp_space, static_cast<size_t>(bytes));
        if (grown == nullptr)
            return NURV_CONV_NO_SCRATCH;
        ir_tmp_space = grown;
        ir_tmp_bytes = static_cast<KOMBRA_UINT>(bytes);
    }
    base = static_cast<KOMBRA_FLOAT *>(ir_tmp_space);
    std::fill(base, base + 9 * stride, kPreset);
    return 1;
}

// Where a table's values lie: its storage and, when it holds one section
// per sweep step, the length of a section.
struct TableInfo {
    const KOMBRA_FLOAT *tbl = nullptr;
    const KOMBRA_FLOAT *first = nullptr;
    long long size = 0;
    bool sectioned = false;
    long long length = 0;  // per section when sectioned
    int8_t look_up = 0;
};

// The sections follow the layout the tables were built with: unexpanded
// polynomials, and look-up values over calibration words, of tables whose
// tbl_type is not 0 hold one section per sweep step.
TableInfo SensorTable(const experiment_info &ex, const sensor_tables &st, int t)
{
    TableInfo info;
    const inst_tbl_info &a = ex.tbl_info_ptr[t];
    info.tbl = st.tbl_ptr[t];
    info.size = st.tbl_size[t];
    info.look_up = st.tbl_expand[t];
    const KOMBRA_FLOAT *start = st.tbls;
    for (int u = 0; u < t; ++u)
        if (st.tbl_fmt[u] >= 0)
            start += st.tbl_size[u];
    info.first = start;
    const int fmt = st.tbl_fmt[t];
    info.sectioned = a.tbl_type != 0 && ((fmt > 0 && !st.tbl_expand[t]) || (fmt == 0 && a.tbl_var < 0)) &&
                     ex.swp_len > 0 && info.size % ex.swp_len == 0;
    info.length = info.sectioned ? info.size / ex.swp_len : info.size;
    return info;
}

TableInfo ModeTable(const experiment_info &ex, const inst_tbl_info &a, const mode_tables &mt, int j)
{
    TableInfo info;
    info.tbl = mt.tbl_ptr[j];
    info.first = info.tbl;
    info.size = mt.tbl_size[j];
    info.look_up = mt.tbl_expand[j];
    info.sectioned = a.tbl_type != 0 && mt.tbl_fmt[j] > 0 && !mt.tbl_expand[j] && ex.swp_len > 0 &&
                     info.size % ex.swp_len == 0;
    info.length = info.sectioned ? info.size / ex.swp_len : info.size;
    return info;
}

// One input array of a table operation.
struct Input {
    const void *words = nullptr;  // 32-bit words (raw, or floats)
    long long start = 0;
    long long available = 0;      // words from start on
    int8_t dtype = 0;
    long long hold = 1;
    long long count = 0;          // target elements
};

class Conversion {
public:
    Conversion(experiment_info &ex, nur_data &d, KOMBRA_SHORT sensor, int kind, KOMBRA_FLOAT *buffers,
               long long stride)
        : ex_(ex), d_(d), sensor_(sensor), kind_(kind), buffers_(buffers), stride_(stride)
    {
        const int c = ex.index_sen_tbl != nullptr && sensor >= 0 && sensor < ex.num_sensor
                          ? ex.index_sen_tbl[sensor]
                          : -1;
        if (c >= 0 && c < ex.num_combo && ex.sen_tbl_ptr != nullptr)
            st_ = &ex.sen_tbl_ptr[c];
    }

    // The working array and its element count.
    KOMBRA_FLOAT *work = nullptr;
    long long count = 0;
    // Kind 3: the converted calibration set's first word and its one-sample row.
    long long cal_first = 0, cal_row = -1;

    KOMBRA_FLOAT *Target(int buffer) { return buffer == 0 ? work : buffers_ + (buffer - 1) * stride_; }

    // result := target OP source over the element count, then the built-in.
    void Combine(const Op &op)
    {
        KOMBRA_FLOAT *target = Target(op.target);
        COMBINE_OPER[op.combine](target, Target(op.source), static_cast<KOMBRA_LONG>(count));
        ir_nur_ex_func(op.builtin, target, static_cast<KOMBRA_LONG>(count), &d_);
    }

    // Table t applied by op (kinds 1, 2, 3 and 9).
    KOMBRA_SHORT TableOperation(int t, const Op &op)
    {
        const inst_tbl_info &a = ex_.tbl_info_ptr[t];
        if (a.tbl_type == 1 || a.tbl_var == 4 || a.tbl_var == 5)
            return 1;
        if (st_ == nullptr || t >= st_->num_tbls || st_->tbl_size[t] == 0 || st_->tbl_ptr[t] == nullptr)
            return 1;
        KOMBRA_FLOAT *target = Target(op.buffer);
        Input in;
        const KOMBRA_SHORT status = InputOf(a.tbl_var, target, in);
        if (status != 1)
            return status == 0 ? KOMBRA_SHORT{1} : status;
        if (kind_ == 2)
            count = in.count;
        const TableInfo table = SensorTable(ex_, *st_, t);
        Apply(op, table, in, target, FnOfRaw(a), ex_.sen_tdw_len != nullptr ? ex_.sen_tdw_len[sensor_] : 0,
              a.tbl_type);
        return 1;
    }

    // Table t applied by op to the mode value m (kind 4).
    KOMBRA_SHORT ModeOperation(int t, const Op &op, int m, const mode_tables *mt)
    {
        int j = -1;
        for (int i = 0; mt != nullptr && i < mt->num_tbls; ++i)
            if (mt->tbl_num[i] == t) {
                j = i;
                break;
            }
        if (j < 0)
            return NURV_CONV_NO_MODE_TABLE;
        const inst_tbl_info &a = ex_.tbl_info_ptr[t];
        if (a.tbl_type == 1)
            return 1;
        if (a.tbl_var != 4 && a.tbl_var != 5)
            return NURV_CONV_NOT_MODE_TABLE;
        if (mt->tbl_size[j] == 0 || mt->tbl_ptr[j] == nullptr)
            return 1;
        KOMBRA_FLOAT *target = Target(op.buffer);
        Input in;
        in.count = 1;
        if (mt->tbl_var[j] == 4) {
            in.words = d_.mode;
            in.start = m;
            in.available = m < d_.mode_len ? 1 : 0;
            in.dtype = 0;
        } else {
            in.words = target;
            in.available = 1;
            in.dtype = 2;
        }
        Apply(op, ModeTable(ex_, a, *mt, j), in, target, a.mode_fn_of_raw, 0, a.tbl_type);
        return 1;
    }

private:
    int8_t FnOfRaw(const inst_tbl_info &a) const
    {
        switch (kind_) {
        case 1: return a.sen_fn_of_raw;
        case 2: return a.swp_fn_of_raw;
        case 3: return a.cal_fn_of_raw;
        default: return a.scpot_fn_of_raw;
        }
    }

    // Elements per input value: the whole count for a single-valued sweep
    // step (one step per header, kinds 1 and 9), else one.
    long long HoldRule(int8_t tbl_var, long long n) const
    {
        if ((kind_ == 1 || kind_ == 9) && ex_.smp_id == 2 && n != 1 && tbl_var == 2)
            return n;
        return 1;
    }

    // The input of a table over tbl_var: 1 with in filled, 0 when the pair
    // is skipped, or a failure.
    KOMBRA_SHORT InputOf(int8_t tbl_var, KOMBRA_FLOAT *target, Input &in) const
    {
        const bool cal = kind_ == 3;
        if (tbl_var < 0) {
            const int s = -tbl_var - 1;
            if (s >= ex_.cal_sets || d_.cset_num == nullptr || ex_.CAL_USE == nullptr)
                return 0;
            long long first = 0;
            for (int i = 0; i < s; ++i)
                first += d_.cset_num[i];
            if (cal) {
                if (ex_.smp_id != 2 && d_.cset_num[s] != count)
                    return NURV_CONV_CAL_LENGTH;
                if (cal_row >= 0)
                    first += cal_row;
            }
            in.words = d_.cal_data;
            in.start = first;
            in.available = static_cast<long long>(d_.cal_len) - first;
            in.dtype = ex_.cal_d_type != nullptr ? ex_.cal_d_type[s] : 0;
            in.count = kind_ == 2 ? d_.num_sample : count;
            in.hold = cal ? 1 : (ex_.CAL_USE[s] != 0 ? ex_.CAL_USE[s] : in.count);
            return 1;
        }
        switch (tbl_var) {
        case 0:
            if (cal)
                return NURV_CONV_CAL_LENGTH;
            in.words = d_.sen_data;
            in.available = d_.num_sample;
            in.dtype = ex_.d_type != nullptr ? ex_.d_type[sensor_] : 0;
            in.count = kind_ == 2 ? d_.num_sample : count;
            break;
        case 1:
            in.words = target;
            in.available = kind_ == 2 ? d_.num_swp_steps : count;
            in.dtype = 2;
            in.count = kind_ == 2 ? d_.num_swp_steps : count;
            break;
        case 2:
            if (cal)
                return NURV_CONV_CAL_LENGTH;
            in.words = d_.swp_data;
            in.available = d_.num_swp_steps;
            in.dtype = 0;
            in.count = kind_ == 2 ? d_.num_swp_steps : count;
            break;
        case 3:
            if (d_.num_potential == 0)
                return 0;
            if (cal)
                return NURV_CONV_CAL_LENGTH;
            in.words = d_.potential;
            in.available = d_.num_potential;
            in.dtype = 2;
            in.count = kind_ == 2 ? d_.num_potential : count;
            break;
        default:
            return 0;  // a table of no input this reader knows
        }
        in.hold = HoldRule(tbl_var, in.count);
        return 1;
    }

    // The element operation over the input, as far as the input holds
    // values, then the built-in.
    void Apply(const Op &op, const TableInfo &table, const Input &in, KOMBRA_FLOAT *target, int8_t fn_of_raw,
               int8_t tdw_len, int8_t tbl_type)
    {
        if (in.words == nullptr || target == nullptr)
            return;
        const long long words = std::max(0LL, in.available);
        const long long covered = std::min(in.count, words * in.hold);
        // Section of each target element: its sweep step; every element past
        // the record's steps takes the last one (one step per header).
        const KOMBRA_LONG *steps = d_.swp_data;
        if (table.sectioned && covered > d_.num_swp_steps) {
            sections_.assign(static_cast<size_t>(covered), d_.num_swp_steps > 0 ? d_.swp_data[d_.num_swp_steps - 1] : -1);
            std::copy(d_.swp_data, d_.swp_data + std::max<long long>(0, d_.num_swp_steps), sections_.begin());
            steps = sections_.data();
        }
        ir_table_bounds = {table.first, table.first + table.size};
        NUR_OPER[op.element](target, in.words, static_cast<KOMBRA_LONG>(in.start), table.tbl,
                             static_cast<KOMBRA_LONG>(table.length), static_cast<KOMBRA_LONG>(covered), table.look_up,
                             in.dtype, static_cast<KOMBRA_LONG>(in.hold), fn_of_raw, tdw_len,
                             table.sectioned ? tbl_type : int8_t{0}, steps, ex_.swp_len);
        ir_table_bounds = {};
        for (long long k = covered; k < in.count; ++k)
            target[k] = kMissing;
        ir_nur_ex_func(op.builtin, target, static_cast<KOMBRA_LONG>(in.count), &d_);
    }

    experiment_info &ex_;
    nur_data &d_;
    KOMBRA_SHORT sensor_;
    int kind_;
    KOMBRA_FLOAT *buffers_;
    long long stride_;
    const sensor_tables *st_ = nullptr;
    std::vector<KOMBRA_LONG> sections_;
};

// The pairs in order over the working array (kinds 1, 2, 3 and 9).
KOMBRA_SHORT RunPairs(Conversion &c, int n, const KOMBRA_CHAR *tables, const KOMBRA_LONG *codes)
{
    for (int i = 0; i < n; ++i) {
        const Op op = Decode(codes[i]);
        if (op.kind == Op::Combine) {
            c.Combine(op);
            continue;
        }
        const KOMBRA_SHORT status = c.TableOperation(static_cast<int8_t>(tables[i]), op);
        if (status != 1)
            return status;
    }
    return 1;
}

void Missing(KOMBRA_FLOAT *ret, long long n)
{
    std::fill(ret, ret + std::max(0LL, n), kMissing);
}

// What a conversion asks for, as convert_to_units was given it.
struct ir_conversion_request {
    KOMBRA_SHORT sensor;  // kind 4: the mode index
    int8_t cal_set;
    int n;  // pairs
    const KOMBRA_CHAR *tables;
    const KOMBRA_LONG *codes;
    KOMBRA_FLOAT *ret_data;
    int8_t chk_fill;
    KOMBRA_LONG fill_value;
};

// Kind 1: the sensor's values, then the fill check on the raw words.
KOMBRA_SHORT ir_convert_sensor_data(Conversion &c, const experiment_info &ex, const nur_data &d,
                                    const ir_conversion_request &q)
{
    c.work = q.ret_data;
    c.count = d.num_sample;
    ir_transfer_data(q.ret_data, d.sen_data, d.num_sample, ex.d_type != nullptr ? ex.d_type[q.sensor] : 0,
                     ex.sen_tdw_len != nullptr ? ex.sen_tdw_len[q.sensor] : 0, 0);
    RunPairs(c, q.n, q.tables, q.codes);
    if (q.chk_fill)
        for (long long k = 0; k < d.num_sample; ++k)
            if (d.sen_data[k] == q.fill_value)
                q.ret_data[k] = kMissing;
    return 1;
}

// Kind 2: the sweep steps.
KOMBRA_SHORT ir_convert_sweep_data(Conversion &c, const nur_data &d, const ir_conversion_request &q)
{
    c.work = q.ret_data;
    c.count = d.num_swp_steps;
    for (long long k = 0; k < d.num_swp_steps; ++k)
        q.ret_data[k] = static_cast<KOMBRA_FLOAT>(static_cast<KOMBRA_ULONG>(d.swp_data[k]));
    RunPairs(c, q.n, q.tables, q.codes);
    return 1;
}

// Kind 3: calibration set cal_set, converted in a working array and spread
// over the samples it applies to.
KOMBRA_SHORT ir_convert_cal_data(Conversion &c, const experiment_info &ex, const nur_data &d,
                                 const ir_conversion_request &q)
{
    const int8_t cal_set = q.cal_set;
    if (d.num_sample == 0 || d.cset_num == nullptr)
        return NURV_CONV_NO_WORK;
    if (cal_set < 0 || cal_set >= ex.cal_sets)
        return NURV_CONV_NO_CAL_SET;
    std::vector<KOMBRA_FLOAT> work;
    try {
        work.assign(d.num_sample, 0.0f);
    } catch (const std::bad_alloc &) {
        return NURV_CONV_NO_WORK;
    }
    long long words = d.cset_num[cal_set];
    if (words > d.num_sample)
        return NURV_CONV_NO_WORK;
    long long first = 0;
    for (int i = 0; i < cal_set; ++i)
        first += d.cset_num[i];
    if (ex.smp_id == 2 && d.num_sample == 1 && words != 1) {
        const ptr_rec *p = ex.info_ptr;
        long long row = p != nullptr ? (p->time_advanced ? p->time_row - 1 : p->time_row) : 0;
        if (row < 0)
            row = words - 1;
        c.cal_row = row;
        first += row;
        words = 1;
    }
    if (first < 0 || first + words > d.cal_len)
        return NURV_CONV_NO_CAL_SET;
    c.work = work.data();
    c.count = words;
    c.cal_first = first;
    ir_transfer_data(work.data(), d.cal_data, static_cast<KOMBRA_LONG>(words),
                     ex.cal_d_type != nullptr ? ex.cal_d_type[cal_set] : 0,
                     ex.cal_wlen != nullptr ? ex.cal_wlen[cal_set] : 0, static_cast<KOMBRA_LONG>(first));
    const KOMBRA_SHORT status = RunPairs(c, q.n, q.tables, q.codes);
    if (status != 1)
        return status;
    if (q.chk_fill)
        for (long long k = 0; k < words; ++k)
            if (d.cal_data[first + k] == q.fill_value)
                work[static_cast<size_t>(k)] = kMissing;
    const long long rep = ex.CAL_USE != nullptr && ex.CAL_USE[cal_set] != 0 ? ex.CAL_USE[cal_set] : d.num_sample;
    for (long long j = 0, out = 0; j < words && out < d.num_sample; ++j)
        for (long long r = 0; r < rep && out < d.num_sample; ++r)
            q.ret_data[out++] = work[static_cast<size_t>(j)];
    return 1;
}

// Kind 4: mode value number sensor, through the mode's tables.
KOMBRA_SHORT ir_convert_mode_data(Conversion &c, const experiment_info &ex, const nur_data &d,
                                  const ir_conversion_request &q)
{
    const int m = q.sensor;
    if (m < 0 || m > d.mode_len)
        return NURV_CONV_NO_MODE;
    c.work = q.ret_data;
    c.count = 1;
    q.ret_data[0] = m < d.mode_len ? static_cast<KOMBRA_FLOAT>(static_cast<KOMBRA_ULONG>(d.mode[m])) : kMissing;
    const mode_tables *mt = ex.mode_tbl_ptr != nullptr && m < ex.num_modes ? &ex.mode_tbl_ptr[m] : nullptr;
    for (int i = 0; i < q.n; ++i) {
        const Op op = Decode(q.codes[i]);
        if (op.kind == Op::Combine) {
            c.Combine(op);
            continue;
        }
        const KOMBRA_SHORT status = c.ModeOperation(static_cast<int8_t>(q.tables[i]), op, m, mt);
        if (status != 1)
            return status;
    }
    return 1;
}

// Kind 9: the spacecraft potential values present in the record.
KOMBRA_SHORT ir_convert_spacecraft_potential_data(Conversion &c, const nur_data &d, const ir_conversion_request &q)
{
    c.work = q.ret_data;
    c.count = d.num_potential;
    std::copy(d.potential, d.potential + d.num_potential, q.ret_data);
    RunPairs(c, q.n, q.tables, q.codes);
    return 1;
}

}  // namespace

KOMBRA_SHORT convert_to_units(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *nur_data_ptr,
                              KOMBRA_SHORT sensor, int8_t data_type, int8_t cal_set, int8_t num_tbls,
                              const KOMBRA_CHAR *tbls_to_apply, const KOMBRA_LONG *tbl_oper, KOMBRA_FLOAT *ret_data,
                              int8_t chk_fill, KOMBRA_LONG fill_value)
{
    ir_locate_hold hold;
    if (!ginfo.called_locate) {
        if (ir_locate_ex(data_key, exten, vnum, 0) != 1)
            return NURV_CONV_NOT_OPEN;
        hold.Set();
    }
    if (data_type > 9)
        return NURV_CONV_BAD_KIND;
    experiment_info &ex = *ginfo.expt;
    const int n = num_tbls > 0 && tbls_to_apply != nullptr && tbl_oper != nullptr ? num_tbls : 0;
    bool buffers = false;
    KOMBRA_SHORT status = CheckList(ex, n, tbls_to_apply, tbl_oper, buffers);
    if (status != 1)
        return status;
    if (data_type <= 0)
        return 1;
    if (nur_data_ptr == nullptr || ret_data == nullptr)
        return NURV_CONV_NOT_OPEN;
    nur_data &d = *nur_data_ptr;
    if ((data_type <= 3 || data_type == 9) && (sensor < 0 || sensor >= ex.num_sensor))
        return NURV_NO_SUCH_SENSOR;

    KOMBRA_FLOAT *base = nullptr;
    const long long stride = std::max({static_cast<long long>(ex.swp_len), static_cast<long long>(d.num_sample),
                                       static_cast<long long>(d.num_swp_steps),
                                       static_cast<long long>(d.num_potential), 1LL});
    if (buffers) {
        status = SetUpBuffers(stride, base);
        if (status != 1)
            return status;
    }
    Conversion c(ex, d, sensor, data_type, base, stride);

    const ir_conversion_request q{sensor, cal_set, n, tbls_to_apply, tbl_oper, ret_data, chk_fill, fill_value};
    switch (data_type) {
    case 1:
        return ir_convert_sensor_data(c, ex, d, q);
    case 2:
        return ir_convert_sweep_data(c, d, q);
    case 3:
        return ir_convert_cal_data(c, ex, d, q);
    case 4:
        return ir_convert_mode_data(c, ex, d, q);
    case 5:
        ret_data[0] = static_cast<KOMBRA_FLOAT>(d.d_qual);
        return 1;
    case 6:
        if (d.num_pitch != 0 && d.pitch_angles != nullptr)
            std::copy(d.pitch_angles, d.pitch_angles + d.num_pitch, ret_data);
        else
            Missing(ret_data, d.num_sample);
        return 1;
    case 7:
    case 8: {
        const KOMBRA_FLOAT *az = data_type == 7 ? d.start_az : d.stop_az;
        if (az != nullptr)
            std::copy(az, az + d.num_angle, ret_data);
        return 1;
    }
    default:  // 9
        if (d.num_potential == 0 || d.potential == nullptr) {
            Missing(ret_data, d.num_sample);
            return 1;
        }
        return ir_convert_spacecraft_potential_data(c, d, q);
    }
}
