// Reading data records: read_drec finds the requested sensor among the
// current record's columns and fills the caller's record with the record's
// times, sweep steps, modes, quality, samples, calibration values, azimuths
// and ancillary values, then advances to the next sample position when
// asked.
//
// The sensor asked for must be one of the description's sensors, and every
// array is filled only as far as the caller's array holds; the current
// set's samples and calibration values were checked to lie inside the
// record when its header was made current.
#include "nurv_int.h"

#include <cstring>

namespace {

// One calibration value of 8, 16 or 32 bits, in host order.
KOMBRA_LONG ByteValue(const KOMBRA_UCHAR *at, int size)
{
    if (size == 1)
        return *at;
    if (size == 2) {
        KOMBRA_USHORT v = 0;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    KOMBRA_ULONG v = 0;
    std::memcpy(&v, at, sizeof v);
    return static_cast<KOMBRA_LONG>(v);
}

// The calibration values of column in byte containers, set after set, each
// set from its source: the arrays stored once for all sensors (scope 1) or
// per column, for the sweep (target 1) or the sensor.  Each source is read
// on from where its previous set stopped; positions count containers.
template <typename Read>
void WalkCalibrationSets(const experiment_info &ex, nur_data &d, long long column, const Read &read)
{
    const ptr_rec &p = *ex.info_ptr;
    const long long n_sen = *p.N_SEN > 0 ? *p.N_SEN : 1;
    long long all_swp = 0, all_sen = 0;
    long long swp = (p.num_swp_cal / n_sen) * column;
    long long sen = (p.num_sen_cal / n_sen) * column;
    const long long room = d.cal_size / sizeof(KOMBRA_LONG);
    d.cal_len = 0;
    for (int i = 0; i < ex.cal_sets; ++i) {
        const bool all = ex.cal_scope[i] == 1;
        const bool sweep = ex.cal_target[i] == 1;
        const KOMBRA_UCHAR *array = all ? (sweep ? p.ALL_CAL_SWP : p.ALL_CAL_SEN) : (sweep ? p.CAL_SWP_TBL : p.CAL_SENSOR);
        long long &at = all ? (sweep ? all_swp : all_sen) : (sweep ? swp : sen);
        for (long long k = 0; k < ex.CSET_NUM[i]; ++k, ++at) {
            if (array == nullptr || d.cal_len >= room)
                continue;
            d.cal_data[d.cal_len++] = read(array, at);
        }
        if (d.cset_num != nullptr)
            d.cset_num[i] = ex.CSET_NUM[i];
    }
}

// One calibration set's elements of width bits from array: element k at
// bit position *bit_pos + k * width of the area that begins skip bytes into
// array.  Values go to cal_data from *index on, as far as it holds them.
void CopyCalibrationBits(const KOMBRA_UCHAR *array, KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set,
                         long long *bit_pos, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    nur_data &d = *nur_data_ptr;
    const long long room = d.cal_size / sizeof(KOMBRA_LONG);
    for (long long k = 0; k < ex.CSET_NUM[set]; ++k, *bit_pos += width) {
        if (array == nullptr || *index >= room)
            continue;
        ir_fill_cal_array_bit_data(&d.cal_data[*index], array + skip + *bit_pos / 8, static_cast<int>(*bit_pos % 8));
        ++*index;
        ++d.cal_len;
    }
}

}  // namespace

KOMBRA_SHORT ir_fill_data_array(KOMBRA_LONG column, KOMBRA_CHAR full_swp, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    const ptr_rec &p = *ex.info_ptr;
    nur_data &d = *nur_data_ptr;
    if (ex.header_format != 1)
        return NURV_TENSOR_HEADER;
    const long long steps = *p.hdr_fmt1_ptr->N_SAMPLE;
    long long n = (ex.smp_id == 2 && !full_swp) ? 1 : steps - p.time_row;
    if (p.time_row >= steps || n < 0)
        n = 0;
    const long long room = d.data_size / sizeof(KOMBRA_LONG);
    if (n > room)
        n = room;
    const long long skip = (ex.accum_ss_sz + 7) / 8;
    const long long first = steps * column + p.time_row;
    for (long long i = 0; i < n; ++i)
        d.sen_data[i] = static_cast<KOMBRA_LONG>(
            ir_container_value(p.DATA + skip, static_cast<KOMBRA_ULONG>(first + i), ex.tdw_len));
    d.num_sample = static_cast<KOMBRA_USHORT>(n);
    return 1;
}

void ir_fill_cal_array_byte(KOMBRA_LONG column, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    const int size = ex.tdw_len <= 8 ? 1 : (ex.tdw_len <= 16 ? 2 : 4);
    const long long skip = (ex.accum_ss_sz + 7) / 8;
    WalkCalibrationSets(ex, *nur_data_ptr, column, [&](const KOMBRA_UCHAR *array, long long at) {
        return ByteValue(array + skip + at * size, size);
    });
}

void ir_fill_cal_array_bit_data(KOMBRA_LONG *destination, const KOMBRA_UCHAR *byte, int bit)
{
    const int8_t tdw_len = ginfo.expt->tdw_len;
    const int width = tdw_len <= 4 ? ir_container_width(tdw_len) : 8;
    KOMBRA_ULONG v = ir_bits_at(byte, static_cast<KOMBRA_ULONG>(bit), width);
    if (tdw_len == 3)
        v &= 7u;
    *destination = static_cast<KOMBRA_LONG>(v);
}

void ir_fill_cal_array_bit_all_swp(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                                   nur_data *nur_data_ptr)
{
    CopyCalibrationBits(ginfo.expt->info_ptr->ALL_CAL_SWP, index, width, skip, set, bit_pos, nur_data_ptr);
}

void ir_fill_cal_array_bit_all_sen(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                                   nur_data *nur_data_ptr)
{
    CopyCalibrationBits(ginfo.expt->info_ptr->ALL_CAL_SEN, index, width, skip, set, bit_pos, nur_data_ptr);
}

void ir_fill_cal_array_bit_swp(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                               nur_data *nur_data_ptr)
{
    CopyCalibrationBits(ginfo.expt->info_ptr->CAL_SWP_TBL, index, width, skip, set, bit_pos, nur_data_ptr);
}

void ir_fill_cal_array_bit_sen(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                               nur_data *nur_data_ptr)
{
    CopyCalibrationBits(ginfo.expt->info_ptr->CAL_SENSOR, index, width, skip, set, bit_pos, nur_data_ptr);
}

void ir_fill_cal_array_bit(KOMBRA_LONG column, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    const ptr_rec &p = *ex.info_ptr;
    nur_data &d = *nur_data_ptr;
    const int width = ex.tdw_len <= 4 ? ir_container_width(ex.tdw_len) : 8;
    const KOMBRA_LONG skip = (ex.accum_ss_sz + 7) / 8;
    const long long n_sen = *p.N_SEN > 0 ? *p.N_SEN : 1;
    // Where each source's values begin: the per-column sources past the
    // values of the columns before this one.
    long long all_swp_bit = p.all_swp_bit, all_sen_bit = p.all_sen_bit;
    long long swp_bit = p.swp_bit + width * (p.num_swp_cal / n_sen) * column;
    long long sen_bit = p.sen_bit + width * (p.num_sen_cal / n_sen) * column;
    KOMBRA_LONG index = 0;
    d.cal_len = 0;
    for (int set = 0; set < ex.cal_sets; ++set) {
        const bool all = ex.cal_scope[set] == 1;
        const bool sweep = ex.cal_target[set] == 1;
        if (all && sweep)
            ir_fill_cal_array_bit_all_swp(&index, width, skip, set, &all_swp_bit, nur_data_ptr);
        else if (all)
            ir_fill_cal_array_bit_all_sen(&index, width, skip, set, &all_sen_bit, nur_data_ptr);
        else if (sweep)
            ir_fill_cal_array_bit_swp(&index, width, skip, set, &swp_bit, nur_data_ptr);
        else
            ir_fill_cal_array_bit_sen(&index, width, skip, set, &sen_bit, nur_data_ptr);
        if (d.cset_num != nullptr)
            d.cset_num[set] = ex.CSET_NUM[set];
    }
}

KOMBRA_SHORT ir_read_drec_data_values(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR fwd,
                                      KOMBRA_CHAR full_swp, KOMBRA_LONG column)
{
    experiment_info &ex = *ginfo.expt;
    ptr_rec &p = *ex.info_ptr;
    nur_data &d = *nur_data_ptr;
    d.filled_data = 1;
    KOMBRA_SHORT status = ir_fill_data_array(column, full_swp, nur_data_ptr);
    if (status != 1)
        return status;
    if (p.num_all_swp_cal != 0 || p.num_all_sen_cal != 0 || p.num_swp_cal != 0 || p.num_sen_cal != 0) {
        if (ex.tdw_len < 8)
            ir_fill_cal_array_bit(column, nur_data_ptr);
        else
            ir_fill_cal_array_byte(column, nur_data_ptr);
    }
    ex.num_sample = d.num_sample;
    status = ir_fill_angle_array(full_swp, sensor, nur_data_ptr);
    if (status != 1)
        return status;
    if (ex.constants != nullptr) {
        d.start_theta = ex.constants[2 * ex.num_sensor + sensor];
        d.stop_theta = ex.constants[3 * ex.num_sensor + sensor];
    }
    sweep_timing &st = ex.swp_times;
    if ((st.pa_times || st.pot_times || st.euler_times) && st.get_times) {
        st.get_times = 0;
        const KOMBRA_LONG steps = (ex.smp_id == 2 && !full_swp) ? 1 : *p.hdr_fmt1_ptr->N_SAMPLE - p.time_row;
        status = ir_compute_nurv_sweep_times(&ex, &p, steps, sensor);
        if (status != 1)
            return status;
    }
    status = ir_seams.ancillary_values(nur_data_ptr, sensor, full_swp);
    if (status != 1)
        return status;
    if (fwd)
        st.get_times = 1;
    return 1;
}

KOMBRA_SHORT read_drec(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *nur_data_ptr,
                       KOMBRA_SHORT sen, KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp)
{
    if (nur_data_ptr == nullptr)
        return NURV_READ_NOT_OPEN;
    nur_data &d = *nur_data_ptr;
    d.filled_data = 0;
    ir_locate_hold hold;
    if (!ginfo.called_locate) {
        if (ir_locate_ex(data_key, exten, vnum, 0) != 1)
            return NURV_READ_NOT_OPEN;
        hold.Set();
    }
    experiment_info *ex = ginfo.expt;
    if (ex->header_format != 1)
        return NURV_TENSOR_HEADER;
    if (ex->fdh < 0 || ex->fdd < 0 || ex->info_ptr == nullptr)
        return NURV_READ_FILES_CLOSED;
    if (sen < 0 || sen >= ex->num_sensor)
        return NURV_NO_SUCH_SENSOR;
    ptr_rec *p = ex->info_ptr;
    p->time_advanced = 0;
    if (p->chg_sen_set)
        d.hdr_change = 0;
    ir_reset_sensors = 0;

    // A record or header that came up short last time is read again.
    auto failed = [&](KOMBRA_SHORT status) {
        ir_set_last_time_values(nur_data_ptr);
        return status;
    };
    if (ex->drec_eof) {
        ex->drec_eof = 0;
        KOMBRA_SHORT status = ir_new_data_record(0);
        if (status == 1)
            status = ir_new_header_record(0, nur_data_ptr);
        if (status != 1)
            return failed(status);
        ir_reset_sensors = 1;
    }
    if (ex->hrec_eof) {
        ex->hrec_eof = 0;
        const KOMBRA_SHORT status = ir_new_header_record(0, nur_data_ptr);
        if (status != 1)
            return failed(status);
        ir_reset_sensors = 1;
    }
    if (p->hdr_fmt1_ptr == nullptr || p->SENSOR_INDEX == nullptr)
        return failed(NURV_NEW_HDR_READ);

    // The sensor's column: the first one listing it; under sen_mode 0, 1, 4
    // and 5 only the cursor's column counts.
    const long long columns = *p->N_SEN;
    long long column = -1;
    bool found = false;
    for (long long c = 0; c < columns; ++c) {
        if (p->SENSOR_INDEX[c] != sen)
            continue;
        column = c;
        const bool by_cursor = ex->sen_mode == 0 || ex->sen_mode == 1 || ex->sen_mode == 4 || ex->sen_mode == 5;
        found = !by_cursor || c == p->time_col;
        break;
    }

    if (!p->reset_hdr) {
        d.byear = d.eyear = d.mode_byear = d.mode_eyear = *p->YEAR;
        d.bday = d.eday = d.mode_bday = d.mode_eday = *p->DAYOFYEAR;
        ir_read_drec_times(nur_data_ptr, sen, full_swp);
    } else {
        const long long set = *p->NSS >= 1 ? p->cur_sen_set : 0;
        const KOMBRA_LONG offset = set >= 0 && set < ex->max_nss ? p->HDR_OFF[set] : -3;
        if (offset == -1)
            return failed(9);
        if (offset == -2)
            return failed(12);
        const KOMBRA_SHORT status = ir_reset_header(nur_data_ptr, sen, full_swp);
        if (status != 1)
            return failed(status);
    }

    // Sweep steps and modes of the header.
    const long long steps = ex->smp_id == 2 ? 1 : *p->hdr_fmt1_ptr->N_SAMPLE;
    const long long swp_room = d.swp_size / sizeof(KOMBRA_LONG);
    d.num_swp_steps = static_cast<KOMBRA_SHORT>(steps < swp_room ? steps : swp_room);
    for (long long i = 0; i < d.num_swp_steps; ++i)
        d.swp_data[i] = p->hdr_fmt1_ptr->SAMP_INDEX[i];
    const long long modes = *p->I_MODE;
    const long long mode_room = d.mode_size / sizeof(KOMBRA_LONG);
    for (long long i = 0; i < modes && i < mode_room; ++i)
        d.mode[i] = p->MODE_INDEX[i];
    d.mode_len = static_cast<KOMBRA_UCHAR>(modes < mode_room ? modes : mode_room);

    if (found) {
        d.d_qual = p->DQUAL[column];
        const KOMBRA_SHORT status = ir_read_drec_data_values(nur_data_ptr, sen, fwd, full_swp, column);
        if (status != 1)
            return status;
    } else {
        d.d_qual = -1;
    }

    // Records after the description's end take the next description.
    if (ex->de_year < 65535) {
        const KOMBRA_SHORT status = ir_next_nur_file(d.bmilli, d.bnano);
        if (status != 1)
            return status;
        if (ir_locate_ex(data_key, exten, vnum, 0) != 1)
            return NURV_READ_NOT_OPEN;
        ex = ginfo.expt;
        p = ex->info_ptr;
    }

    ex->last_sensor = sen;
    d.data_key = data_key;
    d.version = vnum;
    d.sensor = sen;
    d.spin_rate = *p->SPIN;
    d.sun_sen = *p->SUN_SEN;
    d.exten[0] = d.exten[1] = d.exten[2] = '\0';
    for (int i = 0; i < 2 && exten != nullptr && exten[i] != '\0'; ++i)
        d.exten[i] = exten[i];

    if (fwd && !(ir_reset_sensors && ir_block_adv)) {
        const KOMBRA_SHORT status = ir_read_drec_time_advance(nur_data_ptr, sen, full_swp, found ? 1 : 0);
        // The next position's step times are computed anew, whatever the
        // sensor that was found.
        ex->swp_times.get_times = 1;
        ir_seams.rearm_ancillary(ex);
        if (status != 1)
            return status;
    }
    return found ? 1 : 2;
}
