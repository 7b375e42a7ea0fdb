// Sample times and spin azimuths: the time of every sample of a record from
// the record's time stamp and the header's and description's timing, the
// sample cursor (step, sensor column, sensor set) with the time and bits of
// the completed sets, the record times of the caller's record, the begin and
// end of every sweep step, and the spin azimuth of every step.
//
// Times are a millisecond part and a nanosecond part.  Every sum is worked
// in 64 bits and kept as the 32-bit field it belongs in, so that timing
// values of any size wrap instead of overflowing.  Indexes taken from the
// header (SAMP_INDEX entries, sensors) are bounds-checked: an entry the
// header does not hold reads as 0.
#include "nurv_int.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr long long kMsPerDay = 86400000;
constexpr long long kNsPerMs = 1000000;

KOMBRA_LONG Keep(long long value)
{
    return static_cast<KOMBRA_LONG>(value);
}

int YearLength(int year)
{
    return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 366 : 365;
}

// Steps of the current header: N_SAMPLE (scalar), the first TENSOR_SETS
// value (tensor), else 0.
long long Steps(const experiment_info &ex)
{
    const ptr_rec &ptr = *ex.info_ptr;
    if (ex.header_format == 1 && ptr.hdr_fmt1_ptr != nullptr && ptr.hdr_fmt1_ptr->N_SAMPLE != nullptr)
        return *ptr.hdr_fmt1_ptr->N_SAMPLE;
    if (ex.header_format == 2 && ptr.hdr_fmt2_ptr != nullptr && ptr.hdr_fmt2_ptr->TENSOR_SETS != nullptr)
        return *ptr.hdr_fmt2_ptr->TENSOR_SETS;
    return 0;
}

// SAMP_INDEX entry j; 0 for an entry the header does not hold.
long long SampIndex(const experiment_info &ex, long long j)
{
    const ptr_rec &ptr = *ex.info_ptr;
    if (ex.header_format != 1 || ptr.hdr_fmt1_ptr == nullptr || ptr.hdr_fmt1_ptr->SAMP_INDEX == nullptr)
        return 0;
    const long long entries = ex.smp_id == 2 ? 1 : *ptr.hdr_fmt1_ptr->N_SAMPLE;
    return j >= 0 && j < entries ? ptr.hdr_fmt1_ptr->SAMP_INDEX[j] : 0;
}

// Per-sensor value of a block; 0 for a sensor the description lacks.
template <typename T>
long long PerSensor(const experiment_info &ex, const T *values, long long sensor)
{
    return values != nullptr && sensor >= 0 && sensor < ex.num_sensor ? static_cast<long long>(values[sensor]) : 0;
}

KOMBRA_FLOAT Constant(const experiment_info &ex, int row, long long sensor)
{
    if (ex.constants == nullptr || sensor < 0 || sensor >= ex.num_sensor)
        return 0.0f;
    return ex.constants[row * static_cast<long long>(ex.num_sensor) + sensor];
}

long long Nano(const experiment_info &ex)
{
    const ptr_rec &ptr = *ex.info_ptr;
    return ex.nano_defined && ptr.NANO_RES != nullptr ? *ptr.NANO_RES : 0;
}

// Moves whole milliseconds of ns into ms; ns keeps its rest.
void Normalise(long long &ms, long long &ns)
{
    ms += ns / kNsPerMs;
    ns %= kNsPerMs;
}

// The k of a sweep's end: how many steps one sweep of the sensor takes.
long long SweepSteps(const experiment_info &ex, long long n)
{
    switch (ex.da_method) {
    case 3: return n == 1 ? 1 : std::llabs(SampIndex(ex, 1) - SampIndex(ex, 0)) * n;
    case 0: return n;
    case 1: return ex.swp_len;
    default: return n > 0 ? std::llabs(SampIndex(ex, n - 1) - SampIndex(ex, 0)) : 0;
    }
}

// An angle wrapped into [0, 360), whatever its size.
KOMBRA_FLOAT Wrap(double degrees)
{
    if (!std::isfinite(degrees))
        return 0.0f;
    // Within one turn the remainder is the angle itself.
    double v = std::fabs(degrees) < 360.0 ? degrees : std::fmod(degrees, 360.0);
    if (v < 0)
        v += 360.0;
    auto f = static_cast<KOMBRA_FLOAT>(v);
    if (f >= 360.0f)
        f -= 360.0f;
    return f;
}

}  // namespace

void ir_instrument_timing(KOMBRA_LONG time_value, int8_t scale_factor, KOMBRA_LONG *time_ms, KOMBRA_LONG *time_ns)
{
    const long long v = time_value;
    long long ms = 0, ns = 0;
    if (scale_factor < -3) {
        long long d = 1;
        for (int i = 0; i < -3 - scale_factor && d <= 1000000000000LL; ++i)
            d *= 10;
        ms = v / d;
        const long long rest = v % d;
        // rest counts units of 10^scale s: nanoseconds when scale is -9,
        // a fraction of one below that.
        if (scale_factor >= -9) {
            long long f = 1;
            for (int i = 0; i < scale_factor + 9; ++i)
                f *= 10;
            ns = rest * f;
        } else {
            long long f = 1;
            for (int i = 0; i < -9 - scale_factor && f <= 1000000000000LL; ++i)
                f *= 10;
            ns = rest / f;
        }
    } else {
        // Beyond 10^12 ms no 32-bit time is left; the value saturates.
        long long f = 1;
        for (int i = 0; i < scale_factor + 3 && f <= 1000000000000LL; ++i)
            f *= 10;
        const long long limit = INT32_MAX;
        ms = v == 0 ? 0 : (std::llabs(v) > limit / f ? (v < 0 ? -limit : limit) : v * f);
    }
    if (time_ms != nullptr)
        *time_ms = Keep(ms);
    if (time_ns != nullptr)
        *time_ns = Keep(ns);
}

void ir_get_time_components(void)
{
    experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    if (ptr.DATA_ACCUM == nullptr)
        return;
    ir_instrument_timing(*ptr.DATA_ACCUM, *ptr.TIME_UNITS, &ex.accum_ms, &ex.accum_ns);
    ir_instrument_timing(*ptr.DATA_LAT, ex.data_lat_units, &ex.lat_ms, &ex.lat_ns);
    ir_instrument_timing(*ptr.SWP_RESET, ex.swp_reset_units, &ex.swp_ms, &ex.swp_ns);
    ir_instrument_timing(*ptr.SEN_RESET, ex.sen_reset_units, &ex.sen_ms, &ex.sen_ns);
    const long long sm_ms = static_cast<long long>(ex.accum_ms) + ex.lat_ms;
    const long long sm_ns = static_cast<long long>(ex.accum_ns) + ex.lat_ns;
    ex.time_sm_ms = Keep(sm_ms);
    ex.time_sm_ns = Keep(sm_ns);

    const long long s = *ptr.N_SEN, n = Steps(ex);
    const long long trc = ex.TRC, trp = ex.TRP, tcp = ex.TCP;
    // Each formula on the millisecond and on the nanosecond parts alike.
    auto col = [&](long long sample, long long reset) {
        return tcp * (trc * sample + (1 - trc) * ((trp * s - trp + 1) * sample + reset));
    };
    auto row = [&](long long sample, long long reset) {
        return trp * ((1 - trc) * sample + trc * ((tcp * n - tcp + 1) * sample + reset));
    };
    ex.time_col_ms = Keep(col(sm_ms, ex.swp_ms));
    ex.time_col_ns = Keep(col(sm_ns, ex.swp_ns));
    ex.time_row_ms = Keep(row(sm_ms, ex.swp_ms));
    ex.time_row_ns = Keep(row(sm_ns, ex.swp_ns));
}

void ir_sample_time(KOMBRA_LONG max_ele, KOMBRA_SHORT sensor, KOMBRA_LONG time_row, KOMBRA_LONG time_col,
                    KOMBRA_LONG *btime_ms, KOMBRA_LONG *btime_ns, KOMBRA_LONG *etime_ms, KOMBRA_LONG *etime_ns,
                    KOMBRA_CHAR *decrement_bday, KOMBRA_CHAR *decrement_eday)
{
    const experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    *decrement_bday = *decrement_eday = 0;
    const long long r = Nano(ex);
    const long long base = static_cast<long long>(*ptr.TIME) + PerSensor(ex, ex.time_off, sensor) + ex.accum_ss_ms;
    const long long col = time_col, step = time_row;

    long long b_ms = base + col * ex.time_row_ms + step * ex.time_col_ms;
    long long b_ns = static_cast<long long>(ex.accum_ss_ns) + r + col * ex.time_row_ns + step * ex.time_col_ns;
    if (b_ms < 0) {
        *decrement_bday = 1;
        b_ms += kMsPerDay;
    }
    Normalise(b_ms, b_ns);

    long long e_ms = 0, e_ns = 0;
    if (ex.TCP == 0) {
        e_ms = b_ms + ex.time_sm_ms;
        e_ns = b_ns + ex.time_sm_ns;
    } else {
        const long long n = Steps(ex);
        long long k = 0;
        if (ex.smp_id != 2)
            k = SweepSteps(ex, n);
        else
            k = max_ele == 1 ? step + 1 : n;
        e_ms = base + col * ex.time_row_ms + k * ex.time_col_ms;
        e_ns = static_cast<long long>(ex.accum_ss_ns) + r + col * ex.time_row_ns + k * ex.time_col_ns;
    }
    if (e_ms < 0) {
        *decrement_eday = 1;
        e_ms += kMsPerDay;
    }
    Normalise(e_ms, e_ns);
    *btime_ms = Keep(b_ms);
    *btime_ns = Keep(b_ns);
    *etime_ms = Keep(e_ms);
    *etime_ns = Keep(e_ns);
}

void ir_set_time(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr, KOMBRA_CHAR *decrement_bday,
                 KOMBRA_CHAR *decrement_eday)
{
    experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    nur_data &d = *nur_data_ptr;
    KOMBRA_LONG max_ele = 0;
    if (ex.header_format == 1 || ex.header_format == 2) {
        d.data_accum_ms = ex.accum_ms;
        d.data_accum_ns = ex.accum_ns;
        d.data_lat_ms = ex.lat_ms;
        d.data_lat_ns = ex.lat_ns;
        d.swp_reset_ms = ex.swp_ms;
        d.swp_reset_ns = ex.swp_ns;
        d.sen_reset_ms = ex.sen_ms;
        d.sen_reset_ns = ex.sen_ns;
        if (ex.header_format == 2)
            max_ele = 1;
        else if (ex.smp_id == 2 && !full_swp)
            max_ele = 1;
        else
            max_ele = Keep(Steps(ex) - ptr.time_row);
    }
    ir_sample_time(max_ele, sensor, ptr.time_row, ptr.time_col, &ex.btime_ms, &ex.btime_ns, &ex.etime_ms,
                   &ex.etime_ns, decrement_bday, decrement_eday);
}

void ir_sensor_set_time(KOMBRA_LONG *btime_ms, KOMBRA_LONG *btime_ns, KOMBRA_LONG *etime_ms, KOMBRA_LONG *etime_ns)
{
    const experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    long long k = 1;
    if (ex.header_format == 1)
        k = (ex.smp_id == 2 && ex.max_packing == 1) ? 1 : Steps(ex) - 1;
    long long b_ms = static_cast<long long>(*ptr.TIME) + ex.accum_ss_ms;
    long long b_ns = static_cast<long long>(ex.accum_ss_ns) + Nano(ex);
    Normalise(b_ms, b_ns);
    const long long sensors = *ptr.N_SEN - 1LL;
    long long e_ms = b_ms + k * ex.time_col_ms + sensors * ex.time_row_ms + ex.time_sm_ms + ex.swp_ms + ex.sen_ms;
    long long e_ns = b_ns + k * ex.time_col_ns + sensors * ex.time_row_ns + ex.time_sm_ns + ex.swp_ns + ex.sen_ns;
    Normalise(e_ms, e_ns);
    *btime_ms = Keep(b_ms);
    *btime_ns = Keep(b_ns);
    *etime_ms = Keep(e_ms);
    *etime_ns = Keep(e_ns);
}

void ir_adjust_year_day(KOMBRA_SHORT *year, KOMBRA_SHORT *day, KOMBRA_CHAR decrement_day)
{
    if (decrement_day) {
        if (--*day < 1) {
            --*year;
            *day = static_cast<KOMBRA_SHORT>(YearLength(*year));
        }
    } else if (++*day > YearLength(*year)) {
        *day = 1;
        ++*year;
    }
}

void adjust_time(KOMBRA_SHORT *year, KOMBRA_SHORT *day, KOMBRA_LONG *time, KOMBRA_SHORT time_unit)
{
    const long long unit = time_unit == 1 ? 86400 : kMsPerDay;
    long long t = *time;
    // Whole days at once: a time of any size takes a bounded number of steps
    // of the calendar, one per day it moves.
    while (t < 0) {
        t += unit;
        ir_adjust_year_day(year, day, 1);
    }
    while (t >= unit) {
        t -= unit;
        ir_adjust_year_day(year, day, 0);
    }
    *time = Keep(t);
}

void ir_read_drec_times(nur_data *nur_data_ptr, KOMBRA_SHORT sen, KOMBRA_CHAR full_swp)
{
    experiment_info &ex = *ginfo.expt;
    nur_data &d = *nur_data_ptr;
    KOMBRA_CHAR back_b = 0, back_e = 0;
    ir_set_time(full_swp, sen, nur_data_ptr, &back_b, &back_e);
    if (back_b)
        ir_adjust_year_day(&d.byear, &d.bday, 1);
    if (back_e)
        ir_adjust_year_day(&d.eyear, &d.eday, 1);

    const int length = YearLength(d.byear);
    auto place = [length](KOMBRA_SHORT &year, KOMBRA_SHORT &day, KOMBRA_LONG &milli, KOMBRA_LONG &nano,
                          KOMBRA_LONG &sec, KOMBRA_LONG &nsec, long long ms, long long ns) {
        day = static_cast<KOMBRA_SHORT>(day + ms / kMsPerDay);
        milli = Keep(ms % kMsPerDay);
        nano = Keep(ns);
        sec = Keep((milli + nano / kNsPerMs) / 1000);
        nsec = Keep((milli % 1000) * kNsPerMs + nano);
        if (day > length) {
            day = 1;
            ++year;
        }
    };
    place(d.byear, d.bday, d.bmilli, d.bnano, d.bsec, d.bnsec, ex.btime_ms, ex.btime_ns);
    place(d.eyear, d.eday, d.emilli, d.enano, d.esec, d.ensec, ex.etime_ms, ex.etime_ns);

    KOMBRA_LONG mb_ms = 0, mb_ns = 0, me_ms = 0, me_ns = 0;
    ir_sensor_set_time(&mb_ms, &mb_ns, &me_ms, &me_ns);
    const int mode_length = YearLength(d.mode_byear);
    auto place_mode = [mode_length](KOMBRA_SHORT &year, KOMBRA_SHORT &day, KOMBRA_LONG &milli, KOMBRA_LONG &nano,
                                    long long ms, long long ns) {
        day = static_cast<KOMBRA_SHORT>(day + ms / kMsPerDay);
        milli = Keep(ms % kMsPerDay);
        nano = Keep(ns);
        if (day > mode_length) {
            day = 1;
            ++year;
        }
    };
    place_mode(d.mode_byear, d.mode_bday, d.mode_bmilli, d.mode_bnano, mb_ms, mb_ns);
    place_mode(d.mode_eyear, d.mode_eday, d.mode_emilli, d.mode_enano, me_ms, me_ns);
}

void ir_set_last_time_values(nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    nur_data &d = *nur_data_ptr;
    d.bmilli = Keep(ex.btime_ms % kMsPerDay);
    d.bnano = ex.btime_ns;
    d.bsec = Keep((d.bmilli + static_cast<long long>(d.bnano) / kNsPerMs) / 1000);
    d.bnsec = Keep((d.bmilli % 1000) * kNsPerMs + d.bnano);
    d.emilli = Keep(ex.etime_ms % kMsPerDay);
    d.enano = ex.etime_ns;
    d.esec = Keep((d.emilli + static_cast<long long>(d.enano) / kNsPerMs) / 1000);
    d.ensec = Keep((d.emilli % 1000) * kNsPerMs + d.enano);
}

void ir_advance_time_pointers(KOMBRA_CHAR full_swp)
{
    experiment_info &ex = *ginfo.expt;
    ptr_rec &ptr = *ex.info_ptr;
    const long long n = Steps(ex);
    const long long inc = (ex.smp_id == 2 && !full_swp) ? 1 : n;
    const long long n_sen = ptr.N_SEN != nullptr ? *ptr.N_SEN : 0;
    auto next_set = [&ptr] {
        ++ptr.cur_sen_set;
        ptr.chg_sen_set = 1;
    };
    auto next_column = [&] {
        if (++ptr.time_col >= n_sen) {
            ptr.time_col = 0;
            next_set();
        }
    };
    switch (ex.sen_mode) {
    case 0:
        ptr.time_row = Keep(ptr.time_row + inc);
        if (ptr.time_row >= n) {
            ptr.time_row = 0;
            next_column();
        }
        break;
    case 1:
    case 5: next_column(); break;
    case 2:
    case 6:
        if (ex.smp_id != 2) {
            next_set();
        } else {
            ptr.time_row = Keep(ptr.time_row + inc);
            if (ptr.time_row >= n) {
                ptr.time_row = 0;
                next_set();
            }
        }
        break;
    case 3:
    case 7: next_set(); break;
    case 4:
        if (++ptr.time_col >= n_sen) {
            ptr.time_col = 0;
            ptr.time_row = Keep(ptr.time_row + inc);
            if (ptr.time_row >= n) {
                ptr.time_row = 0;
                next_set();
            }
        }
        break;
    default: break;
    }
}

void ir_reset_sen_set_time(void)
{
    experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    const long long n = Steps(ex);
    long long k = 0;
    if (ex.smp_id == 2 || ex.smp_id == 3)
        k = n;
    else if (ex.smp_id == 0 || ex.smp_id == 1)
        k = n == 1 ? 1 : SweepSteps(ex, n);
    const long long sensors = (ptr.N_SEN != nullptr ? *ptr.N_SEN : 0) - 1LL;
    ex.accum_ss_ms = Keep(ex.accum_ss_ms + sensors * ex.time_row_ms + (k - 1) * ex.time_col_ms + ex.swp_ms +
                          ex.sen_ms + ex.time_sm_ms);
    ex.accum_ss_ns = Keep(ex.accum_ss_ns + sensors * ex.time_row_ns + (k - 1) * ex.time_col_ns + ex.swp_ns +
                          ex.sen_ns + ex.time_sm_ns);

    // A set takes its samples from a whole byte on and its calibration
    // values from the next whole byte after them, so it ends on a whole
    // byte; the next set starts there.
    const long long w = ir_container_width(ex.tdw_len);
    const long long samples = (sensors + 1) * n;
    const long long cal = static_cast<long long>(ptr.num_all_swp_cal) + ptr.num_all_sen_cal + ptr.num_swp_cal +
                          ptr.num_sen_cal;
    ex.accum_ss_sz = Keep(ex.accum_ss_sz + ((w * samples + 7) / 8 + (w * cal + 7) / 8) * 8);
}

KOMBRA_SHORT ir_read_drec_time_advance(nur_data *nur_data_ptr, KOMBRA_SHORT sen, KOMBRA_CHAR full_swp,
                                       KOMBRA_CHAR found_sensor)
{
    (void)sen;
    experiment_info &ex = *ginfo.expt;
    ptr_rec &ptr = *ex.info_ptr;
    ptr.chg_sen_set = 0;
    ptr.time_advanced = 1;
    ir_advance_time_pointers(full_swp);
    if (ptr.chg_sen_set)
        ir_reset_sen_set_time();

    bool new_record = false;
    KOMBRA_LONG kept_ms = 0, kept_ns = 0;
    const long long sets = ptr.NSS != nullptr ? std::llabs(static_cast<long long>(*ptr.NSS)) : 0;
    if (ptr.cur_sen_set >= sets) {
        ptr.cur_sen_set = 0;
        kept_ms = ex.accum_ss_ms;
        kept_ns = ex.accum_ss_ns;
        ex.accum_ss_ms = ex.accum_ss_ns = 0;
        ex.accum_ss_sz = 0;
        const KOMBRA_SHORT status = ir_new_data_record(found_sensor);
        if (status != 1)
            return status;
        new_record = true;
    }
    // A header that fails after a new record was read leaves the old
    // record's set times, except when it is still being written (real
    // time): the new record stays current and its header is read again.
    const KOMBRA_SHORT status = ir_new_header_record(found_sensor, nur_data_ptr);
    if (status != 1 && new_record && !ex.hrec_eof) {
        ex.accum_ss_ms = kept_ms;
        ex.accum_ss_ns = kept_ns;
    }
    return status;
}

KOMBRA_SHORT ir_compute_nurv_sweep_times(experiment_info *ex, ptr_rec *ptr, KOMBRA_LONG max_ele,
                                         KOMBRA_SHORT sensor)
{
    sweep_timing &st = ex->swp_times;
    if (st.btime_ms == nullptr || max_ele <= 0)
        return 1;
    // The sweep-time block holds max_packing (smp_id 2) or swp_len steps.
    const long long room = ex->smp_id == 2 ? ex->max_packing : ex->swp_len;
    const long long count = max_ele < room ? max_ele : (room > 0 ? room : 1);
    const long long step = ptr->time_row;
    long long a_ms = static_cast<long long>(ex->accum_ms) + ex->lat_ms;
    long long a_ns = static_cast<long long>(ex->accum_ns) + ex->lat_ns;
    Normalise(a_ms, a_ns);
    const long long base_ms = ex->btime_ms % kMsPerDay, base_ns = ex->btime_ns;
    const long long end_ms = ex->etime_ms % kMsPerDay, end_ns = ex->etime_ns;

    if (ex->sen_mode != 0 && ex->sen_mode != 2) {
        st.use_end_yr_day = 1;
        for (long long i = 0; i < count; ++i) {
            if (ex->sen_mode == 1 || ex->sen_mode == 3) {
                st.btime_ms[i] = Keep(base_ms);
                st.btime_ns[i] = Keep(base_ns);
                st.etime_ms[i] = Keep(end_ms);
                st.etime_ns[i] = Keep(end_ns);
            } else {
                KOMBRA_CHAR db = 0, de = 0;
                ir_sample_time(max_ele, sensor, Keep(step + i), ptr->time_col, &st.btime_ms[i], &st.btime_ns[i],
                               &st.etime_ms[i], &st.etime_ns[i], &db, &de);
            }
        }
    } else {
        const long long s0 = SampIndex(*ex, 0), s1 = SampIndex(*ex, 1);
        bool filled = true;
        for (long long i = 0; i < count && filled; ++i) {
            long long f = 0;
            if (ex->smp_id == 2) {
                f = i;
            } else {
                switch (ex->da_method) {
                case 0: f = step + i; break;
                case 1: f = SampIndex(*ex, step + i); break;
                case 2:
                case 3: f = s0 <= s1 ? SampIndex(*ex, step + i) - s0 : s0 - SampIndex(*ex, step + i); break;
                default: filled = false; break;
                }
            }
            if (!filled)
                break;
            long long ms = base_ms + f * a_ms, ns = base_ns + f * a_ns;
            Normalise(ms, ns);
            st.btime_ms[i] = Keep(ms);
            st.btime_ns[i] = Keep(ns);
        }
        if (filled) {
            if (count > 1) {
                for (long long i = 0; i + 1 < count; ++i) {
                    st.etime_ms[i] = st.btime_ms[i + 1];
                    st.etime_ns[i] = st.btime_ns[i + 1];
                }
                st.etime_ms[count - 1] = Keep(end_ms);
                st.etime_ns[count - 1] = Keep(end_ns);
            } else if (ex->da_method == 0) {
                long long ms = static_cast<long long>(st.btime_ms[0]) + a_ms;
                long long ns = static_cast<long long>(st.btime_ns[0]) + a_ns;
                Normalise(ms, ns);
                st.etime_ms[0] = Keep(ms);
                st.etime_ns[0] = Keep(ns);
            }
        }
        st.use_end_yr_day = 0;
    }
    st.same_times = 1;
    for (long long i = 1; i < count; ++i)
        if (st.btime_ms[i] != st.btime_ms[0] || st.btime_ns[i] != st.btime_ns[0])
            st.same_times = 0;
    return 1;
}

KOMBRA_SHORT ir_fill_angle_array(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr)
{
    experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    nur_data &d = *nur_data_ptr;
    if (ex.header_format != 1)
        return NURV_TENSOR_HEADER;
    long long m = (ex.smp_id == 2 && !full_swp) ? 1 : Steps(ex) - ptr.time_row;
    // The caller's arrays hold as many steps as their block.
    const long long room = d.start_az != nullptr ? d.angle_size / (2 * sizeof(KOMBRA_FLOAT)) : 0;
    m = m < 0 ? 0 : (m > room ? room : m);
    KOMBRA_FLOAT *start = d.start_az;
    KOMBRA_FLOAT *stop = d.stop_az;
    const KOMBRA_FLOAT offset = Constant(ex, 0, sensor);
    for (long long i = 0; i < m; ++i) {
        start[i] = offset;
        stop[i] = 0.0f;
    }
    d.num_angle = static_cast<KOMBRA_USHORT>(m);

    if (ex.phi_method == 1) {  // fixed azimuths of the description
        for (long long i = 0; i < m; ++i) {
            start[i] = Constant(ex, 4, sensor);
            stop[i] = Constant(ex, 5, sensor);
        }
        return 1;
    }
    if (*ptr.SPIN == 0) {  // not spinning: the sun sensor gives hundredths of a degree
        for (long long i = 0; i < m; ++i) {
            start[i] += static_cast<KOMBRA_FLOAT>(*ptr.SUN_SEN) / 100.0f;
            stop[i] = start[i];
        }
        return 1;
    }

    // Offset plus the spin angle swept since the sun-sensor crossing.
    const KOMBRA_FLOAT deg = ptr.deg_per_msec;
    const KOMBRA_FLOAT a = static_cast<KOMBRA_FLOAT>(ex.accum_ms) + static_cast<KOMBRA_FLOAT>(ex.accum_ns) * 1e-6f +
                           static_cast<KOMBRA_FLOAT>(ex.lat_ms) + static_cast<KOMBRA_FLOAT>(ex.lat_ns) * 1e-6f;
    const auto spin_off = static_cast<KOMBRA_FLOAT>(PerSensor(ex, ex.start_spin_off, sensor));
    const KOMBRA_FLOAT c =
        static_cast<KOMBRA_FLOAT>(ex.btime_ms % kMsPerDay) - static_cast<KOMBRA_FLOAT>(*ptr.SUN_SEN) + spin_off;
    const bool stepped = ex.sen_mode == 0 || ex.sen_mode == 2;
    const long long row = ptr.time_row;
    const long long s0 = SampIndex(ex, 0), s1 = SampIndex(ex, 1);
    KOMBRA_FLOAT t = 0.0f;
    if (stepped && ex.smp_id != 2 && ex.da_method == 0)
        t = std::trunc(static_cast<KOMBRA_FLOAT>(row) * a);
    for (long long i = 0; i < m; ++i) {
        if (stepped) {
            if (ex.smp_id == 2 || ex.da_method == 0) {
                if (i > 0)
                    t = std::trunc(t + a);
                start[i] += (t + c) * deg;
            } else if (ex.da_method == 1) {
                start[i] += (static_cast<KOMBRA_FLOAT>(SampIndex(ex, row + i)) * a + c) * deg;
            } else if (ex.da_method == 2 || ex.da_method == 3) {
                const long long j = SampIndex(ex, row + i);
                start[i] += (static_cast<KOMBRA_FLOAT>(s1 >= s0 ? j - s0 : s0 - j) * a + c) * deg;
            }
        } else if (ex.sen_mode == 1 || ex.sen_mode == 3) {
            start[i] += c * deg;
        } else {
            KOMBRA_LONG b_ms = 0, b_ns = 0, e_ms = 0, e_ns = 0;
            KOMBRA_CHAR db = 0, de = 0;
            ir_sample_time(Keep(m), sensor, Keep(row + i), ptr.time_col, &b_ms, &b_ns, &e_ms, &e_ns, &db, &de);
            start[i] += (static_cast<KOMBRA_FLOAT>(b_ms) - static_cast<KOMBRA_FLOAT>(*ptr.SUN_SEN) + spin_off) * deg;
        }
    }
    for (long long i = 0; i < m; ++i)
        start[i] = Wrap(start[i]);
    const bool from_next = stepped && ex.da_method == 3;
    for (long long i = 0; i < m; ++i)
        stop[i] = Wrap(from_next && i + 1 < m ? start[i + 1] : start[i] + a * deg);
    return 1;
}
