// Positioning by time: file_pos finds the data record at which reading is
// to start, by bisection over the fixed-length records of a playback data
// file and a forward search inside the record found, or at the start or the
// last complete record of a real-time file; then it positions the mode
// instance and the ancillary sources.
#include "nurv_int.h"

#include "libant.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr KOMBRA_LONG kNsPerMs = 1000000;

// A time of the record layer: year, day, second of day, nanosecond.
struct When {
    long long year, day, sec, nsec;
    auto operator<=>(const When &) const = default;
};

// The current record's time: its header's date, TIME and NANO_RES.
When RecordTime(const experiment_info &ex)
{
    const ptr_rec &p = *ex.info_ptr;
    const long long time = *p.TIME;
    long long nsec = (time % 1000) * kNsPerMs;
    if (ex.nano_defined && p.NANO_RES != nullptr)
        nsec += *p.NANO_RES;
    return {*p.YEAR, *p.DAYOFYEAR, time / 1000, nsec};
}

void ResetCursor(experiment_info &ex)
{
    ptr_rec &p = *ex.info_ptr;
    p.time_row = p.time_col = p.cur_sen_set = 0;
    p.chg_sen_set = 0;
    p.reset_hdr = 1;
    ex.accum_ss_sz = ex.accum_ss_ms = ex.accum_ss_ns = 0;
}

// The record at the data file's position made current with its header:
// 1, or the positioning statuses.  The first record after an open makes the
// per-open blocks (its header included).
KOMBRA_SHORT ReadRecord(experiment_info &ex, const When &begin, nur_data *data_ptr)
{
    KOMBRA_SHORT status = ir_new_data_record(0);
    switch (status) {
    case 1: break;
    case 9: return NURV_POS_END_MARK;
    case 12: return NURV_POS_END_MARK2;
    case NURV_REC_CORRUPT: return status;
    default: return NURV_POS_READ;
    }
    ex.drec_eof = 0;
    const KOMBRA_LONG offset = ex.info_ptr->HDR_OFF[0];
    if (offset == -1)
        return NURV_POS_END_MARK;
    if (offset == -2)
        return NURV_POS_END_MARK2;
    if (offset < 0 || lseek(ex.fdh, offset, SEEK_SET) < 0)
        return NURV_POS_READ;
    if (ex.info_ptr->h_size == 65535) {
        status = ir_alloc_exp_once(static_cast<KOMBRA_SHORT>(begin.year), static_cast<KOMBRA_SHORT>(begin.day),
                                   static_cast<KOMBRA_LONG>(begin.sec), static_cast<KOMBRA_LONG>(begin.nsec),
                                   ex.etime_year, ex.etime_day, ex.etime_sec, ex.etime_nsec, data_ptr);
    } else {
        status = ir_seams.read_header(data_ptr);
        switch (status) {
        case NURV_HDR_READ: status = NURV_POS_HDR_READ; break;
        case NURV_HDR_MEMORY: status = NURV_POS_HDR_MEMORY; break;
        case NURV_HDR_GROWTH: status = NURV_POS_HDR_GROWTH; break;
        default: break;
        }
    }
    if (status == 9)
        return NURV_POS_END_MARK;
    if (status == 12)
        return NURV_POS_END_MARK2;
    if (status != 1)
        return status;
    ir_swap_data_array();
    return 1;
}

// Reads record i of the data file.
KOMBRA_SHORT ReadRecordAt(experiment_info &ex, long long i, const When &begin, nur_data *data_ptr)
{
    if (lseek(ex.fdd, static_cast<off_t>(i * ex.info_ptr->d_size), SEEK_SET) < 0)
        return NURV_POS_READ;
    return ReadRecord(ex, begin, data_ptr);
}

// Walks of files seen, by the files' identities: a file that changes gets
// a new one.  A handful of files are read at a time; the table is emptied
// when it grows past that.
struct WalkKey {
    dev_t ddev, hdev;
    ino_t dino, hino;
    off_t dsize, hsize;
    long long dtime, htime;  // change times, in nanoseconds
    long long d_size;
    auto operator<=>(const WalkKey &) const = default;
};
std::map<WalkKey, ir_record_walk> g_walks;
constexpr std::size_t kWalksKept = 64;

long long Nanoseconds(const timespec &t)
{
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// ir_walk_records of the open files, once for each state of theirs.
KOMBRA_SHORT WalkRecords(const experiment_info &ex, ir_record_walk &walk)
{
    struct stat data {}, header {};
    if (fstat(ex.fdd, &data) != 0 || fstat(ex.fdh, &header) != 0)
        return NURV_POS_READ;
    const WalkKey key{data.st_dev,  header.st_dev,  data.st_ino, header.st_ino, data.st_size, header.st_size,
                      Nanoseconds(data.st_ctim), Nanoseconds(header.st_ctim), ex.info_ptr->d_size};
    if (const auto seen = g_walks.find(key); seen != g_walks.end()) {
        walk = seen->second;
        return 1;
    }
    const KOMBRA_SHORT status = ir_walk_records(ex, walk);
    if (status != 1)
        return status;
    if (g_walks.size() >= kWalksKept)
        g_walks.clear();
    g_walks.emplace(key, walk);
    return 1;
}

// read_drec of the record's first sensor, without advance: 1, or the status
// that ends positioning (end marks as positioning's own).
KOMBRA_SHORT FillFirstSensor(experiment_info &ex, nur_data *data_ptr, KOMBRA_CHAR fwd)
{
    const ir_identity self = ir_identity_of(ex);
    const KOMBRA_SHORT status =
        read_drec(self.key, self.exten.c_str(), self.vnum, data_ptr, ex.info_ptr->SENSOR_INDEX[0], fwd, 0);
    if (status == 9)
        return NURV_POS_END_MARK;
    if (status == 12)
        return NURV_POS_END_MARK2;
    if (status < 0 || status % 3 == 0)
        return status;
    return 1;
}

// The begin time lies after the open file's last record (the search met
// the file's end mark, status): the data go on in the file that follows.
// The data set is opened again from just after the last sample read, or
// from the begin time when that is later, so that the catalog names the next
// file, up to the data set's end time, and positioned at the begin time,
// which there lies before the first record.  The end mark's status stands
// when the catalog names no other file.
KOMBRA_SHORT PositionInNextFile(const ir_identity &self, nur_data *data_ptr, const When &begin, KOMBRA_SHORT status)
{
    // A file whose catalog entry runs past its last record is named again:
    // a few files on, the search gives up.
    for (int files = 0; files < 4 && (status == NURV_POS_END_MARK || status == NURV_POS_END_MARK2); ++files) {
        if (self.Locate() != 1)
            return NURV_POS_NOT_OPEN;
        experiment_info &ex = *ginfo.expt;
        KOMBRA_SHORT yr = 0, day = 0;
        KOMBRA_LONG sec = 0, nsec = 0;
        if (ir_after_last_sample(ex, ex.mode_done == 2, &yr, &day, &sec, &nsec) != 1)
            return status;
        if (When{yr, day, sec, nsec} < begin) {
            yr = static_cast<KOMBRA_SHORT>(begin.year);
            day = static_cast<KOMBRA_SHORT>(begin.day);
            sec = static_cast<KOMBRA_LONG>(begin.sec);
            nsec = static_cast<KOMBRA_LONG>(begin.nsec);
        }
        const std::string was = ex.data_name;
        if (reset_experiment_info(self.key, self.exten.c_str(), self.vnum, yr, day, sec, nsec, ex.etime_year,
                                  ex.etime_day, ex.etime_sec, ex.etime_nsec) != 1 ||
            self.Locate() != 1 || ginfo.expt->data_name == was)
            return status;
        status = ir_position_playback(data_ptr, static_cast<KOMBRA_SHORT>(begin.year),
                                      static_cast<KOMBRA_SHORT>(begin.day), static_cast<KOMBRA_LONG>(begin.sec),
                                      static_cast<KOMBRA_LONG>(begin.nsec));
    }
    return status;
}

}  // namespace

KOMBRA_SHORT ir_fine_search(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *data_ptr,
                            KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                            KOMBRA_LONG btime_nsec)
{
    experiment_info *ex = ginfo.expt;
    const ir_identity self{data_key, exten != nullptr ? exten : "", vnum};
    const When t{btime_yr, btime_day, btime_sec, btime_nsec};
    KOMBRA_SHORT status = FillFirstSensor(*ex, data_ptr, 0);
    if (status != 1)
        return status;
    for (;;) {
        const nur_data &d = *data_ptr;
        const When b{d.byear, d.bday, d.bsec, d.bnsec};
        const When e{d.eyear, d.eday, d.esec, d.ensec};
        const bool same_day = b.year == t.year && b.day == t.day;
        if (b > t || (same_day && b <= t && t < e) ||
            (d.bday != d.eday && t.year == e.year && t.day == e.day && t <= e))
            break;
        status = FillFirstSensor(*ex, data_ptr, 1);
        if (status == 1)
            status = FillFirstSensor(*ex, data_ptr, 0);
        if (status != 1)
            return status;
        if (self.Locate() != 1)
            return NURV_POS_NOT_OPEN;
        ex = ginfo.expt;
    }
    ex->next_offset = ex->info_ptr->cur_sen_set;
    return 1;
}

KOMBRA_SHORT ir_position_playback(nur_data *data_ptr, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                  KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec)
{
    experiment_info &ex = *ginfo.expt;
    struct stat st {};
    if (stat(ex.data_name.c_str(), &st) != 0 || ex.info_ptr->d_size <= 0)
        return NURV_POS_READ;
    const long long records = static_cast<long long>(st.st_size) / ex.info_ptr->d_size;
    const When begin{btime_yr, btime_day, btime_sec, btime_nsec};

    // The last record of a file is never a candidate: it is its end mark.
    // A file of one record that is not a mark is its own candidate.
    if (records == 0)
        return NURV_POS_READ;
    long long low = 0, high = records - 2;
    if (records == 1)
        high = 0;
    // Only records that read in order are candidates (a file that cannot
    // be walked is searched as it is).
    ir_record_walk walk;
    const bool walked = WalkRecords(ex, walk) == 1;
    ex.disorder_at = walked && walk.in_order < walk.records ? walk.in_order : -1;
    ex.records_whole = walk.records;
    if (ex.disorder_at >= 0) {
        high = std::min(high, walk.last_data);
        // Nothing before them reads: the file ends at once, as read.
        if (high < 0)
            return ReadRecordAt(ex, walk.in_order, begin, data_ptr);
    }
    long long last = -1;
    When last_time{};
    while (low <= high) {
        const long long mid = (low + high) / 2;
        const KOMBRA_SHORT status = ReadRecordAt(ex, mid, begin, data_ptr);
        if (status != 1)
            return status;
        last = mid;
        last_time = RecordTime(ex);
        if (last_time >= begin)
            high = mid - 1;
        else
            low = mid + 1;
    }
    if (high != -1 && last > 0 && last_time > begin) {
        const KOMBRA_SHORT status = ReadRecordAt(ex, last - 1, begin, data_ptr);
        if (status != 1)
            return status;
        last_time = RecordTime(ex);
    }
    ResetCursor(ex);

    if (last_time < begin) {
        if (ex.header_format == 1) {
            const ir_identity self = ir_identity_of(ex);
            const KOMBRA_SHORT status =
                ir_fine_search(self.key, self.exten.c_str(), self.vnum, data_ptr, btime_yr, btime_day, btime_sec,
                               btime_nsec);
            if (status != 1)
                return status;
        }
    } else {
        const KOMBRA_SHORT status = FillFirstSensor(ex, data_ptr, 0);
        if (status != 1)
            return status;
        if (ex.header_format == 1)
            ex.num_sample = ex.smp_id == 2 ? 1 : *ex.info_ptr->hdr_fmt1_ptr->N_SAMPLE;
    }
    experiment_info &now = *ginfo.expt;
    now.fnext = 1;
    now.info_ptr->reset_hdr = 1;
    return 1;
}

KOMBRA_SHORT ir_position_real_time(nur_data *data_ptr, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                   KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec)
{
    experiment_info &ex = *ginfo.expt;
    const long long size = ex.info_ptr->d_size;
    off_t at = 0;
    if (btime_sec == -2) {
        struct stat st {};
        if (fstat(ex.fdd, &st) != 0)
            return NURV_POS_READ;
        const long long records = static_cast<long long>(st.st_size) / size;
        at = static_cast<off_t>(records > 0 ? (records - 1) * size : 0);
    }
    if (lseek(ex.fdd, at, SEEK_SET) < 0)
        return NURV_POS_READ;
    KOMBRA_SHORT status = ir_new_data_record(0);
    switch (status) {
    case 1: break;
    case 3: return 0;  // nothing complete yet; drec_eof is set
    case 9:
    case 12: return status;
    case NURV_REC_CORRUPT: return status;
    default: return NURV_POS_READ;
    }
    const KOMBRA_LONG offset = ex.info_ptr->HDR_OFF[0];
    if (offset == -1 || offset == -2)
        return offset == -1 ? 9 : 12;
    if (offset < 0 || lseek(ex.fdh, offset, SEEK_SET) < 0)
        return NURV_POS_READ;
    const When begin{btime_yr, btime_day, btime_sec, btime_nsec};
    status = ir_alloc_exp_once(static_cast<KOMBRA_SHORT>(begin.year), static_cast<KOMBRA_SHORT>(begin.day),
                               btime_sec, btime_nsec, ex.etime_year, ex.etime_day, ex.etime_sec, ex.etime_nsec,
                               data_ptr);
    if (status != 1)
        return status;
    ir_swap_data_array();
    ResetCursor(ex);
    ex.fnext = 1;
    if (ex.header_format == 1)
        ex.num_sample = ex.smp_id == 2 ? 1 : *ex.info_ptr->hdr_fmt1_ptr->N_SAMPLE;
    return 1;
}

KOMBRA_SHORT file_pos(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *data_ptr,
                      int btime_yr, int btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, int etime_yr,
                      int etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    const ir_identity self{data_key, exten != nullptr ? exten : "", vnum};
    if (self.Locate() != 1 || data_ptr == nullptr)
        return NURV_POS_NOT_OPEN;
    experiment_info *ex = ginfo.expt;
    if (ex->fnext)
        return 1;
    if (ex->fdh < 0 || ex->fdd < 0 || ex->info_ptr == nullptr)
        return NURV_POS_NOT_OPEN;
    ex->hrec_eof = ex->drec_eof = 0;
    const auto byr = static_cast<KOMBRA_SHORT>(btime_yr), bday = static_cast<KOMBRA_SHORT>(btime_day);
    const bool real_time = btime_sec == -1 || btime_sec == -2;
    KOMBRA_SHORT status = real_time ? ir_position_real_time(data_ptr, byr, bday, btime_sec, btime_nsec)
                                    : ir_position_playback(data_ptr, byr, bday, btime_sec, btime_nsec);
    if (!real_time)
        status = PositionInNextFile(self, data_ptr, {byr, bday, btime_sec, btime_nsec}, status);
    if (status != 1)
        return status;
    if (self.Locate() != 1)
        return NURV_POS_NOT_OPEN;
    ex = ginfo.expt;

    if (ex->mode_version != ex->version) {
        const KOMBRA_USHORT mode = ex->mode_version;
        if (select_sensor(data_key, exten, mode, 0) != 1 ||
            file_pos(data_key, exten, mode, data_ptr, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr,
                     etime_day, etime_sec, etime_nsec) != 1)
            return NURV_POS_MODE;
        if (self.Locate() != 1)
            return NURV_POS_NOT_OPEN;
        ex = ginfo.expt;
    }
    for (const ir_ancillary kind : {ir_ancillary::pitch, ir_ancillary::spin, ir_ancillary::potential,
                                    ir_ancillary::attitude}) {
        status = ir_seams.position_ancillary(kind, data_ptr);
        if (self.Locate() != 1)
            return NURV_POS_NOT_OPEN;
        if (status != 1)
            return status;
    }
    return 1;
}

KOMBRA_SHORT file_records_walk(KOMBRA_ULONG data_key, const char *header, const char *data, int btime_yr,
                               int btime_day, KOMBRA_LONG btime_msec, int etime_yr, int etime_day,
                               KOMBRA_LONG etime_msec, nurv_records_walk *walk)
{
    if (walk == nullptr)
        return NURV_NO_RECORD;
    *walk = {};
    if (header == nullptr || data == nullptr)
        return NURV_NO_HEADER_FILE;
    // A reader set up here only for this look is released again.
    struct Release {
        bool own = InitNurvEntry != IR_INIT_MARK;
        ~Release()
        {
            if (own)
                free_experiment_info();
        }
    } release;
    init_nurv();
    // The caller's current entry and locate state come back as they were.
    struct Restore {
        experiment_info *expt = ginfo.expt;
        KOMBRA_SHORT pos = ginfo.pos_ex;
        KOMBRA_CHAR called = ginfo.called_locate;
        ~Restore()
        {
            ginfo.expt = expt;
            ginfo.pos_ex = pos;
            ginfo.called_locate = called;
        }
    } restore;
    ginfo.called_locate = 0;
    // The look's own caller record goes with it.
    struct Record {
        nur_data *p = nullptr;
        ~Record()
        {
            if (p == nullptr || InitNurvEntry != IR_INIT_MARK)
                return;
            ir_free_nur_data_ptr(p);
            std::erase(ginfo.nur_data_ptr, p);
            std::free(p);
        }
    } record;
    KOMBRA_SHORT status = create_nur_data_structure(&record.p);
    if (status != 1)
        return status;
    KOMBRA_USHORT vnum = 0;
    get_version_number(&vnum);
    status = ir_locate_ex(data_key, "", vnum, 1);
    if (status != 1)
        return status;
    experiment_info &ex = *ginfo.expt;
    // The instance is retired when done: its number goes back, its blocks and
    // files are released.
    struct Retire {
        experiment_info &ex;
        ~Retire()
        {
            ir_free_ex_structure(&ex);
            ex.data_key = 0;
        }
    } retire{ex};

    const When begin{btime_yr, btime_day, btime_msec / 1000, (btime_msec % 1000) * kNsPerMs};
    const When end{etime_yr, etime_day, etime_msec / 1000, (etime_msec % 1000) * kNsPerMs};
    ex.btime_year = static_cast<KOMBRA_SHORT>(begin.year);
    ex.btime_day = static_cast<KOMBRA_SHORT>(begin.day);
    ex.btime_sec = static_cast<KOMBRA_LONG>(begin.sec);
    ex.btime_nsec = static_cast<KOMBRA_LONG>(begin.nsec);
    ex.etime_year = static_cast<KOMBRA_SHORT>(end.year);
    ex.etime_day = static_cast<KOMBRA_SHORT>(end.day);
    ex.etime_sec = static_cast<KOMBRA_LONG>(end.sec);
    ex.etime_nsec = static_cast<KOMBRA_LONG>(end.nsec);
    ex.header_name = header;
    ex.data_name = data;
    ex.fdh = OpenRegularFile(header, O_RDONLY);
    if (ex.fdh < 0)
        return NURV_NO_HEADER_FILE;
    ex.fdd = OpenRegularFile(data, O_RDONLY);
    if (ex.fdd < 0)
        return NURV_NO_DATA_FILE;
    status = ir_read_nur_once(ex.btime_year, ex.btime_day, ex.btime_sec, ex.btime_nsec, ex.etime_year,
                              ex.etime_day, ex.etime_sec, ex.etime_nsec);
    if (status != 1)
        return status;
    ir_record_walk walked;
    status = WalkRecords(ex, walked);
    if (status != 1)
        return status;
    walk->records = walked.records;
    walk->in_order = walked.in_order;
    walk->end_mark = walked.end_mark;
    walk->partial = walked.partial;
    if (walked.last_data < 0)
        return 1;

    // The time after the last sample of the last data record in order.
    status = ReadRecordAt(ex, walked.last_data, begin, record.p);
    if (status != 1)
        return status;
    ResetCursor(ex);
    status = FillFirstSensor(ex, record.p, 0);
    if (status != 1)
        return status;
    if (ir_locate_ex(data_key, "", vnum, 0) != 1)
        return NURV_POS_NOT_OPEN;
    KOMBRA_SHORT yr = 0, day = 0;
    KOMBRA_LONG sec = 0, nsec = 0;
    status = ir_after_last_sample(*ginfo.expt, false, &yr, &day, &sec, &nsec);
    if (status != 1)
        return status;
    walk->after_yr = yr;
    walk->after_day = day;
    walk->after_msec = sec * 1000 + nsec / kNsPerMs;
    return 1;
}

std::string nurv_time_text(long long yr, long long day, long long msec)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04lld/%03lld %02lld:%02lld:%02lld.%03lld", yr, day, msec / 3600000,
                  msec % 3600000 / 60000, msec % 60000 / 1000, msec % 1000);
    return text;
}

std::string nurv_walk_text(const nurv_records_walk &walk)
{
    if (walk.after_yr == 0)
        return "its data file holds no data record";
    if (walk.in_order < walk.records)
        return "its records cannot be read in order from record " + std::to_string(walk.in_order + 1) + " of " +
               std::to_string(walk.records) + " on";
    if (!walk.end_mark)
        return "its records end at " +
               nurv_time_text(walk.after_yr, walk.after_day, walk.after_msec > 0 ? walk.after_msec - 1 : 0) +
               " without its end mark";
    if (walk.partial)
        return "its data file ends in part of a record";
    return "its records read in order from the first to its end mark";
}
