// The table of open data sets: adding and locating entries, sensor
// selection, and the per-open blocks made on the first record after an open.
#include "nurv_int.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <new>

namespace {

// The extension of a data set: at most two characters, stopping at the
// terminator (a null extension counts as "").
void copy_exten(KOMBRA_CHAR (&dst)[3], const char *exten)
{
    dst[0] = dst[1] = dst[2] = '\0';
    if (exten == nullptr)
        return;
    for (int i = 0; i < 2 && exten[i] != '\0'; ++i)
        dst[i] = exten[i];
}

// An entry's extension matches when the first characters agree and either
// that character ends the text or the second characters agree too.
bool exten_matches(const KOMBRA_CHAR (&have)[3], const char *want)
{
    const char w0 = want != nullptr ? want[0] : '\0';
    if (have[0] != w0)
        return false;
    return w0 == '\0' || have[1] == want[1];
}

bool is_leap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

void ir_init_experiment_info(int index)
{
    ginfo.exbase[index] = experiment_info{};
}

KOMBRA_SHORT ir_locate_ex(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                          KOMBRA_CHAR alloc_mem)
{
    for (int i = 0; i < ginfo.nds; ++i) {
        experiment_info &ex = ginfo.exbase[i];
        if (ex.data_key == data_key && ex.version == vnum && exten_matches(ex.exten, exten)) {
            ginfo.pos_ex = static_cast<KOMBRA_SHORT>(i);
            ginfo.expt = &ex;
            return 1;
        }
    }
    if (!alloc_mem)
        return NURV_NO_DATA_SET;
    if (ginfo.nds >= ir_table_limit)
        return NURV_TABLE_FULL;

    // The pointer record is made before the entry joins the table, so that a
    // failure leaves no entry without one.
    auto *ptr = static_cast<ptr_rec *>(std::calloc(1, sizeof(ptr_rec)));
    if (ptr == nullptr)
        return NURV_NO_PTR_REC;
    ptr->prev_hd = -1;
    ptr->cur_sen_set = -1;
    ptr->h_size = 65535;
    ptr->chg_sen_set = 0;

    try {
        ginfo.exbase.emplace_back();
    } catch (const std::bad_alloc &) {
        std::free(ptr);
        return NURV_TABLE_FULL;
    }
    const int index = ginfo.nds;
    ir_init_experiment_info(index);
    experiment_info &ex = ginfo.exbase[index];
    ex.data_key = data_key;
    copy_exten(ex.exten, exten);
    ex.version = vnum;
    ex.bmem.base_info_ptr = ptr;
    ex.info_ptr = ptr;
    ginfo.pos_ex = static_cast<KOMBRA_SHORT>(index);
    ginfo.expt = &ex;
    ++ginfo.nds;
    return 1;
}

KOMBRA_SHORT select_sensor(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                           KOMBRA_SHORT sensor)
{
    if (!ginfo.called_locate && ir_locate_ex(data_key, exten, vnum, 0) != 1)
        return NURV_SELECT_FAILED;
    experiment_info *ex = ginfo.expt;
    // Until the data set has been opened there are no flags to set.
    if (ex == nullptr || ex->sensors_needed == nullptr || sensor < 0 || sensor >= ex->num_sensor)
        return NURV_SELECT_FAILED;
    if (ex->first_select) {
        ex->first_select = 0;
        for (int s = 0; s < ex->num_sensor; ++s)
            ex->sensors_needed[s] = 0;
    }
    ex->sensors_needed[sensor] = 1;
    return 1;
}

KOMBRA_SHORT ir_alloc_exp_once(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                               KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                               KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec, nur_data *nur_data_ptr)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr || ex->info_ptr == nullptr)
        return NURV_NO_DATA_SET;
    if (ex->info_ptr->h_size < 65535)
        return 1;  // a header has been read since the open

    KOMBRA_SHORT rval = ir_seams.sensor_combo(btime_yr, btime_day, btime_sec, btime_nsec, etime_yr,
                                              etime_day, etime_sec, etime_nsec);
    if (rval != 1)
        return rval;
    rval = ir_seams.get_mode_info(btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day,
                                  etime_sec, etime_nsec);
    if (rval != 1)
        return rval;

    rval = ir_seams.read_header(nur_data_ptr);
    switch (rval) {
    case 1: break;
    case -42: return NURV_HDR_READ_FAILED;
    case -43: return NURV_HDR_NO_MEMORY;
    case -44: return NURV_HDR_NO_GROWTH;
    default: return rval;
    }
    // ex stays valid even if the steps above added entries: entries never move.

    // Begin and end of every sweep step: four arrays of n values in one
    // block.  A block of at least one step keeps the arrays addressable
    // when the description gives no steps.
    KOMBRA_LONG n = ex->smp_id == 2 ? ex->max_packing : ex->swp_len;
    if (n < 1)
        n = 1;
    std::free(ex->swp_times.base_time);
    ex->swp_times.base_time = nullptr;
    ex->swp_times.btime_ms = ex->swp_times.btime_ns = nullptr;
    ex->swp_times.etime_ms = ex->swp_times.etime_ns = nullptr;
    auto *times = static_cast<KOMBRA_LONG *>(std::malloc(4 * sizeof(KOMBRA_LONG) * n));
    if (times == nullptr)
        return NURV_NO_SWEEP_TIMES;
    ex->swp_times.base_time = times;
    ex->swp_times.btime_ms = times;
    ex->swp_times.btime_ns = times + n;
    ex->swp_times.etime_ms = times + 2 * n;
    ex->swp_times.etime_ns = times + 3 * n;
    ex->swp_times.get_times = 1;

    std::free(ex->bmem.base_time_off);
    ex->bmem.base_time_off = nullptr;
    ex->time_off = nullptr;
    if (ex->num_sensor <= 0)
        return NURV_NO_TIME_OFFSETS;
    auto *off = static_cast<KOMBRA_LONG *>(std::calloc(ex->num_sensor, sizeof(KOMBRA_LONG)));
    if (off == nullptr)
        return NURV_NO_TIME_OFFSETS;
    ex->bmem.base_time_off = off;
    ex->time_off = off;
    const int got = ir_seams.read_keld(ex->data_key, btime_yr, btime_day, btime_sec, btime_nsec,
                                       etime_yr, etime_day, etime_sec, etime_nsec, off,
                                       static_cast<size_t>(ex->num_sensor) * sizeof(KOMBRA_LONG),
                                       IR_ITEM_TIME_OFF, 0, 0, -1);
    switch (got) {
    case -811: return NURV_TIME_OFF_ABSENT;
    case -805: return NURV_TIME_OFF_TOO_LONG;
    case -807: return NURV_TIME_OFF_TABLE;
    case -808: return NURV_TIME_OFF_CONST;
    case -806: return NURV_TIME_OFF_EMPTY;
    default:
        // Other failures pass up; one beyond 16 bits stays a failure.
        if (got < 0)
            return got < INT16_MIN ? INT16_MIN : static_cast<KOMBRA_SHORT>(got);
    }

    ex->all_or_one = 0;
    for (int s = 1; s < ex->num_sensor; ++s)
        if (off[s] != off[0])
            ex->all_or_one = 1;

    return ir_alloc_timing();
}

KOMBRA_SHORT ir_alloc_timing(void)
{
    experiment_info *ex = ginfo.expt;
    if (ex == nullptr)
        return NURV_NO_TIMING;
    std::free(ex->bmem.base_timing);
    ex->bmem.base_timing = nullptr;
    ex->timing_ptr = nullptr;

    const int count = ex->all_or_one ? ex->num_sensor : 1;
    if (count <= 0)
        return NURV_NO_TIMING;
    auto *recs = static_cast<timing *>(std::calloc(count, sizeof(timing)));
    if (recs == nullptr)
        return NURV_NO_TIMING;
    ex->bmem.base_timing = recs;
    ex->timing_ptr = recs;

    const time_info &tv = ex->time_values;
    for (int i = 0; i < count; ++i) {
        timing &t = recs[i];
        if (tv.base_year == 0) {
            t = timing{};
            t.pix_num = -1;
            continue;
        }
        t.pix_num = tv.base_pix;
        t.start_yr = tv.base_year;
        t.start_day = tv.base_day;
        t.start_sec = tv.base_sec;
        t.start_nano = tv.base_nano;
        // 64-bit sums so that large resolutions cannot overflow.
        long long nano = static_cast<long long>(tv.base_nano) + tv.res_nano;
        long long sec = static_cast<long long>(tv.base_sec) + tv.res_sec;
        if (nano > 999999999) {
            nano -= 1000000000;
            sec += 1;
        }
        long long day = tv.base_day;
        long long year = tv.base_year;
        if (sec >= 86400) {
            day += sec / 86400;
            sec %= 86400;
        }
        const int length = is_leap(tv.base_year) ? 366 : 365;
        if (day > length) {
            year += day / length;
            day %= length;
        }
        t.end_nano = static_cast<KOMBRA_LONG>(nano);
        t.end_sec = static_cast<KOMBRA_LONG>(sec);
        t.end_day = static_cast<KOMBRA_SHORT>(day);
        t.end_yr = static_cast<KOMBRA_SHORT>(year);
    }
    return 1;
}

KOMBRA_SHORT ir_identity::Locate() const
{
    return ir_locate_ex(key, exten.c_str(), vnum, 0);
}

ir_identity ir_identity_of(const experiment_info &ex)
{
    return {ex.data_key, std::string(ex.exten, strnlen(ex.exten, 2)), ex.version};
}
