// Opening data sets: file_open finds a data set's header and data file
// through the catalog (or waits for fresh real-time files), reads its
// description values once, opens its mode instance and sets up its
// ancillary sources; reset_experiment_info reopens it at a new time;
// next_file_start_time gives the time at which the next file's data start;
// and a record past the description's end period moves the data set to the
// next description.
#include "nurv_int.h"

#include "libant.h"
#include "libdbSQL.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr KOMBRA_LONG kNsPerMs = 1000000;

// How often and how long the real-time wait looks for a new file: 100
// tries, half a second apart.
int g_realtime_tries = 100;
long g_realtime_usec = 500000;

KOMBRA_LONG Msec(KOMBRA_LONG sec, KOMBRA_LONG nsec)
{
    return static_cast<KOMBRA_LONG>(static_cast<long long>(sec) * 1000 + nsec / kNsPerMs);
}

// The interval timer of SIGALRM, stopped while the real-time wait sleeps
// when the process handles that signal, and started again afterwards with
// one full interval.
class AlarmPause {
public:
    AlarmPause()
    {
        struct sigaction current {};
        if (sigaction(SIGALRM, nullptr, &current) != 0 || current.sa_handler == SIG_DFL)
            return;
        struct itimerval zero {};
        if (setitimer(ITIMER_REAL, &zero, &saved_) != 0)
            return;
        saved_.it_value = saved_.it_interval;
        paused_ = true;
    }
    ~AlarmPause()
    {
        if (paused_)
            setitimer(ITIMER_REAL, &saved_, nullptr);
    }
    AlarmPause(const AlarmPause &) = delete;
    AlarmPause &operator=(const AlarmPause &) = delete;

private:
    struct itimerval saved_ {};
    bool paused_ = false;
};

void Nap()
{
    struct timeval wait {};
    wait.tv_sec = g_realtime_usec / 1000000;
    wait.tv_usec = g_realtime_usec % 1000000;
    select(0, nullptr, nullptr, nullptr, &wait);
}

// Opens name once its inode differs from the one opened last (*inode);
// false after every try.  Only a regular file counts: a FIFO or device in its
// place is a failed try.
bool WaitForNewFile(const std::string &name, int &fd, KOMBRA_ULONG &inode)
{
    for (int attempt = 0; attempt < g_realtime_tries; ++attempt) {
        fd = OpenRegularFile(name.c_str(), O_RDONLY);
        if (fd >= 0) {
            struct stat st {};
            if (fstat(fd, &st) == 0 && static_cast<KOMBRA_ULONG>(st.st_ino) != inode) {
                inode = static_cast<KOMBRA_ULONG>(st.st_ino);
                return true;
            }
            ::close(fd);
            fd = -1;
        }
        Nap();
    }
    return false;
}

// Sets up, renews or releases every ancillary source the description
// defines, in the order pitch, potential, spin, attitude (set-up) or pitch,
// spin, potential, attitude (renewal), locating the entry again after each.
struct Source {
    ir_ancillary kind;
    KOMBRA_CHAR experiment_info::*defined;
    void *alloc_experiment::*state;
};

constexpr Source kSetUpOrder[] = {
    {ir_ancillary::pitch, &experiment_info::pa_def, &alloc_experiment::base_pitch_info},
    {ir_ancillary::potential, &experiment_info::potential_def, &alloc_experiment::base_potential_info},
    {ir_ancillary::spin, &experiment_info::spin_src_def, &alloc_experiment::base_spin_src},
    {ir_ancillary::attitude, &experiment_info::euler_def, &alloc_experiment::base_euler_info},
};
constexpr Source kRenewOrder[] = {
    {ir_ancillary::pitch, &experiment_info::pa_def, &alloc_experiment::base_pitch_info},
    {ir_ancillary::spin, &experiment_info::spin_src_def, &alloc_experiment::base_spin_src},
    {ir_ancillary::potential, &experiment_info::potential_def, &alloc_experiment::base_potential_info},
    {ir_ancillary::attitude, &experiment_info::euler_def, &alloc_experiment::base_euler_info},
};

// A catalogued time range: year, day of year, milliseconds of day.
struct Range {
    int byr, bday;
    KOMBRA_LONG bmsec;
    int eyr, eday;
    KOMBRA_LONG emsec;
};

// Why file, of the pair header and data, is not to be read because of its
// fetch marker; "" when it may be read.  The marker of a fetch that did not
// end well is taken here, nothing else holding it: the pair is read when
// its records read whole, and the marker goes.
std::string FetchLeavesUnread(KOMBRA_ULONG data_key, const std::string &header, const std::string &data,
                              const std::string &file, const Range &range)
{
    const DbFetchLook look = dbFetchLook(file);
    const std::string marker = dbFetchMarker(file);
    switch (look.state) {
    case DbFetchState::None:
    case DbFetchState::Foreign: return {};
    case DbFetchState::Running: return "a fetch of it is under way";
    case DbFetchState::Blocked: return marker + " is " + look.detail + ", not a fetch marker; remove it";
    case DbFetchState::Unknown:
        return "whether a fetch of it runs cannot be told, as its fetch marker " + marker +
               " cannot be looked at: " + look.detail;
    case DbFetchState::Unfinished: break;
    }
    DbFetchMarker held(file);
    const DbFetchMarker::Opened opened = held.OpenExisting();
    if (opened == DbFetchMarker::Opened::Missing)
        return {};
    if (opened != DbFetchMarker::Opened::Yes || held.TryLock() == DbFetchMarker::Lock::Busy || held.Runs())
        return "a fetch of it is under way";
    if (!held.Current())
        return {};
    nurv_records_walk walk;
    const KOMBRA_SHORT status = file_records_walk(data_key, header.c_str(), data.c_str(), range.byr, range.bday,
                                                  range.bmsec, range.eyr, range.eday, range.emsec, &walk);
    const std::string seen = status == 1 ? nurv_walk_text(walk)
                                         : "whether it is whole cannot be told (reading it gave status " +
                                               std::to_string(status) + ")";
    if (status == 1 && walk.whole()) {
        held.Remove();
        std::printf("%s: its fetch did not end well, but %s; it is used as it is\n", BasenameOf(file.c_str()),
                    seen.c_str());
        std::fflush(stdout);
        return {};
    }
    return "its fetch did not end well, and " + seen +
           "; the next action fetches it again where a server is configured for its source";
}

}  // namespace

void ir_set_realtime_wait(int tries, long usec)
{
    g_realtime_tries = tries;
    g_realtime_usec = usec;
}

KOMBRA_SHORT ir_playback_data_files(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                    KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                                    KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec,
                                    const char *exten)
{
    experiment_info &ex = *ginfo.expt;
    if (ex.fdh != -1)
        return 1;
    std::string header_path(DB_PATH_MAX, '\0'), data_path(DB_PATH_MAX, '\0');
    const KOMBRA_LONG begin_ms = Msec(btime_sec, btime_nsec);
    const KOMBRA_LONG end_ms = Msec(etime_sec, etime_nsec);
    const int status = dbNURVGetFile(data_key, btime_yr, btime_day, begin_ms, etime_yr, etime_day, end_ms, _H_AND_D_,
                                     exten != nullptr ? exten : "", header_path.data(), data_path.data());
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status < INT16_MIN ? INT16_MIN : status);
    ex.header_name = header_path.c_str();
    ex.data_name = data_path.c_str();
    ex.disorder_at = -1;
    ex.told_disorder = 0;
    // A file whose fetch runs or has not ended well may hold only part of
    // its records: it is not read unless they read whole.
    for (const std::string *name : {&ex.header_name, &ex.data_name}) {
        const std::string said = FetchLeavesUnread(data_key, ex.header_name, ex.data_name, *name,
                                                   {btime_yr, btime_day, begin_ms, etime_yr, etime_day, end_ms});
        if (said.empty())
            continue;
        std::printf("The file %s is not read: %s\n", name->c_str(), said.c_str());
        std::fflush(stdout);
        return name == &ex.header_name ? NURV_NO_HEADER_FILE : NURV_NO_DATA_FILE;
    }
    for (int *fd : {&ex.fdh, &ex.fdd}) {
        const std::string &name = fd == &ex.fdh ? ex.header_name : ex.data_name;
        *fd = OpenRegularFile(name.c_str(), O_RDONLY);
        if (*fd >= 0)
            continue;
        // Anything but a plain file there is refused as it is, unopened.
        if (errno == ENXIO || errno == EISDIR) {
            std::printf("The file %s is not read: it is %s; remove it\n", name.c_str(),
                        errno == EISDIR ? "a directory" : "not a plain file");
            std::fflush(stdout);
        }
        if (fd == &ex.fdd) {
            ::close(ex.fdh);
            ex.fdh = -1;
        }
        return fd == &ex.fdh ? NURV_NO_HEADER_FILE : NURV_NO_DATA_FILE;
    }
    return 1;
}

KOMBRA_SHORT ir_realtime_data_files(KOMBRA_ULONG data_key, const char *exten)
{
    experiment_info &ex = *ginfo.expt;
    if (ex.fdh != -1)
        return 1;
    std::string header_path(DB_PATH_MAX, '\0'), data_path(DB_PATH_MAX, '\0');
    const int status = dbNURVGetRealTimeFile(data_key, _H_AND_D_, exten != nullptr ? exten : "", header_path.data(),
                                             data_path.data());
    if (status != 1)
        return static_cast<KOMBRA_SHORT>(status < INT16_MIN ? INT16_MIN : status);
    const AlarmPause pause;
    ex.header_name = header_path.c_str();
    if (!WaitForNewFile(ex.header_name, ex.fdh, ex.inh))
        return NURV_NO_NEW_HEADER_FILE;
    ex.data_name = data_path.c_str();
    if (!WaitForNewFile(ex.data_name, ex.fdd, ex.ind)) {
        ::close(ex.fdh);
        ex.fdh = -1;
        return NURV_NO_NEW_DATA_FILE;
    }
    return 1;
}

KOMBRA_SHORT ir_file_setup(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, KOMBRA_SHORT btime_yr,
                           KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                           KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                           KOMBRA_LONG etime_nsec)
{
    KOMBRA_SHORT status = ir_locate_ex(data_key, exten, vnum, 1);
    if (status == NURV_NO_PTR_REC)
        return NURV_OPEN_NO_PTR_REC;
    if (status == NURV_TABLE_FULL)
        return NURV_OPEN_TABLE_FULL;
    if (status != 1)
        return status;
    experiment_info &ex = *ginfo.expt;
    ex.btime_year = btime_yr;
    ex.btime_day = btime_day;
    ex.btime_sec = btime_sec;
    ex.btime_nsec = btime_nsec;
    ex.etime_year = etime_yr;
    ex.etime_day = etime_day;
    ex.etime_sec = etime_sec;
    ex.etime_nsec = etime_nsec;

    if (ex.fdh == -1) {
        status = btime_sec < 0 ? ir_realtime_data_files(data_key, exten)
                               : ir_playback_data_files(data_key, btime_yr, btime_day, btime_sec, btime_nsec,
                                                        etime_yr, etime_day, etime_sec, etime_nsec, exten);
        if (status != 1)
            return status;
    }
    if (ex.tdw_len == -1) {
        status = ir_read_nur_once(btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                                  etime_nsec);
        if (status != 1)
            return status;
    }
    if (ex.first_open && ex.sensors_needed == nullptr) {
        if (ex.num_sensor <= 0)
            return NURV_NO_SENSOR_FLAGS;
        ex.sensors_needed = static_cast<KOMBRA_CHAR *>(std::malloc(static_cast<size_t>(ex.num_sensor)));
        if (ex.sensors_needed == nullptr)
            return NURV_NO_SENSOR_FLAGS;
        std::memset(ex.sensors_needed, 1, static_cast<size_t>(ex.num_sensor));
    }
    ex.first_open = 0;
    return 1;
}

KOMBRA_SHORT file_open(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, int btime_yr, int btime_day,
                       KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, int etime_yr, int etime_day,
                       KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec, KOMBRA_CHAR mode_data)
{
    const auto byr = static_cast<KOMBRA_SHORT>(btime_yr), bday = static_cast<KOMBRA_SHORT>(btime_day);
    const auto eyr = static_cast<KOMBRA_SHORT>(etime_yr), eday = static_cast<KOMBRA_SHORT>(etime_day);
    const KOMBRA_SHORT setup =
        ir_file_setup(data_key, exten, vnum, byr, bday, btime_sec, btime_nsec, eyr, eday, etime_sec, etime_nsec);
    if (setup != 1 && setup != 1200)
        return setup;
    const ir_identity self{data_key, exten != nullptr ? exten : "", vnum};

    experiment_info *ex = ginfo.expt;
    if (mode_data == 0) {
        if (ex->mode_done == 0)
            ex->mode_version = ex->version;
    } else if (mode_data == 2) {
        ex->mode_version = ex->version;
        ex->mode_done = 2;
    } else if (mode_data == 1 && ex->mode_done == 0) {
        KOMBRA_USHORT mode_version = ex->mode_version;
        if (!ir_inside_reset_exp)
            get_version_number(&mode_version);
        ex->mode_done = 1;
        ex->mode_version = mode_version;
        const KOMBRA_SHORT status = file_open(data_key, exten, mode_version, btime_yr, btime_day, btime_sec,
                                              btime_nsec, etime_yr, etime_day, etime_sec, etime_nsec, 2);
        if (status != 1)
            return status;
        if (self.Locate() != 1)
            return NURV_NO_DATA_SET;
        ex = ginfo.expt;
    }

    if (ex->mode_done >= 3)
        return setup;  // an ancillary set of another data set
    for (const Source &source : kSetUpOrder) {
        if (!(ex->*source.defined) || ex->bmem.*source.state != nullptr)
            continue;
        const KOMBRA_SHORT status =
            ir_seams.setup_ancillary(source.kind, byr, bday, btime_sec, btime_nsec, eyr, eday, etime_sec, etime_nsec);
        if (self.Locate() != 1)
            return NURV_NO_DATA_SET;
        ex = ginfo.expt;
        if (status != 1) {
            if (source.kind == ir_ancillary::pitch)
                ex->swp_times.pa_times = 0;
            else if (source.kind == ir_ancillary::potential)
                ex->swp_times.pot_times = 0;
            else if (source.kind == ir_ancillary::attitude)
                ex->swp_times.euler_times = 0;
            return status;
        }
    }
    return setup;
}

KOMBRA_SHORT reset_experiment_info(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, int btime_yr,
                                   int btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, int etime_yr,
                                   int etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec)
{
    const ir_identity self{data_key, exten != nullptr ? exten : "", vnum};
    if (self.Locate() != 1)
        return NURV_RESET_NOT_OPEN;
    experiment_info *ex = ginfo.expt;
    for (int *fd : {&ex->fdh, &ex->fdd}) {
        if (*fd != -1)
            ::close(*fd);
        *fd = -1;
    }
    ex->tdw_len = -1;
    ex->info_ptr->h_size = 65535;
    ex->fnext = 0;

    const bool has_mode = ex->mode_version != ex->version;
    if (has_mode) {
        const KOMBRA_SHORT status = reset_experiment_info(data_key, exten, ex->mode_version, btime_yr, btime_day,
                                                          btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                                                          etime_nsec);
        if (status != 1)
            return status;
        if (self.Locate() != 1)
            return NURV_RESET_NOT_OPEN;
        ex = ginfo.expt;
    }
    if (ex->mode_done != 2) {
        // An ancillary set keeps its role: it sets up no sources of its own.
        if (ex->mode_done < 3)
            ex->mode_done = 0;
        ir_inside_reset_exp = 1;
        const KOMBRA_SHORT status = file_open(data_key, exten, vnum, btime_yr, btime_day, btime_sec, btime_nsec,
                                              etime_yr, etime_day, etime_sec, etime_nsec, has_mode ? 1 : 0);
        ir_inside_reset_exp = 0;
        if (status != 1)
            return status;
        if (self.Locate() != 1)
            return NURV_RESET_NOT_OPEN;
        ex = ginfo.expt;
    } else {
        ex->mode_done = 0;
    }
    ir_free_sensor_tables(ex);
    ir_free_mode_tables(ex);
    return 1;
}

KOMBRA_SHORT next_file_start_time(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                                  KOMBRA_CHAR mode_data, KOMBRA_SHORT *start_yr, KOMBRA_SHORT *start_day,
                                  KOMBRA_LONG *start_sec, KOMBRA_LONG *start_nsec)
{
    bool set_locate = false;
    bool mode_instance = false;
    if (!ginfo.called_locate) {
        if (ir_locate_ex(data_key, exten, vnum, 0) != 1)
            return NURV_NEXT_NOT_OPEN;
        if (mode_data) {
            const experiment_info &main = *ginfo.expt;
            if (main.mode_version == main.version)
                return NURV_NEXT_NO_MODE;
            if (ir_locate_ex(data_key, exten, main.mode_version, 0) != 1)
                return NURV_NEXT_MODE_NOT_OPEN;
            mode_instance = true;
        }
        ginfo.called_locate = 1;
        set_locate = true;
    }
    struct Restore {
        bool clear;
        ~Restore()
        {
            if (clear)
                ginfo.called_locate = 0;
        }
    } restore{set_locate};

    const experiment_info &ex = *ginfo.expt;
    // Nothing to give before the data set has been positioned.
    if (!ex.fnext || start_yr == nullptr || start_day == nullptr || start_sec == nullptr || start_nsec == nullptr)
        return NURV_NOT_POSITIONED;
    return ir_after_last_sample(ex, mode_instance, start_yr, start_day, start_sec, start_nsec);
}

KOMBRA_SHORT ir_after_last_sample(const experiment_info &ex, bool mode_instance, KOMBRA_SHORT *start_yr,
                                  KOMBRA_SHORT *start_day, KOMBRA_LONG *start_sec, KOMBRA_LONG *start_nsec)
{
    const ptr_rec *ptr = ex.info_ptr;
    // The end of the last sample read: nothing to give before a record was read.
    if (ptr == nullptr || ptr->h_size == 65535 || ptr->YEAR == nullptr || ex.last_sensor < 0 ||
        ex.last_sensor >= ex.num_sensor)
        return NURV_NOT_POSITIONED;
    *start_yr = *ptr->YEAR;
    *start_day = *ptr->DAYOFYEAR;

    // The latest sensor may have started before the others by the largest
    // spread of time offsets.
    long long add = 0;
    if (!mode_instance && ex.mode_done != 2 && ex.time_off != nullptr) {
        long long most = 0;
        for (int s = 0; s < ex.num_sensor; ++s)
            most = std::max(most, std::llabs(static_cast<long long>(ex.time_off[s])));
        const long long own = ex.time_off[ex.last_sensor];
        add = own < 0 ? most : most - std::llabs(own);
    }
    const long long e = static_cast<long long>(ex.etime_ms) + add;
    KOMBRA_LONG sec = static_cast<KOMBRA_LONG>((ex.etime_ns / kNsPerMs + e + 1) / 1000);
    *start_nsec = static_cast<KOMBRA_LONG>(((e + 1) % 1000) * kNsPerMs + ex.etime_ns);
    adjust_time(start_yr, start_day, &sec, 1);
    *start_sec = sec;
    return 1;
}

KOMBRA_SHORT ir_new_nur_file(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                             KOMBRA_LONG btime_nsec)
{
    struct Restore {
        KOMBRA_CHAR had = ginfo.called_locate;
        ~Restore() { ginfo.called_locate = had; }
    } restore;
    ginfo.called_locate = 0;

    experiment_info *ex = ginfo.expt;
    const ir_identity self = ir_identity_of(*ex);
    const KOMBRA_SHORT eyr = ex->etime_year, eday = ex->etime_day;
    const KOMBRA_LONG esec = ex->etime_sec, ensec = ex->etime_nsec;
    ir_free_sensor_tables(ex);
    ir_free_mode_tables(ex);
    for (const Source &source : kRenewOrder)
        ir_seams.release_ancillary(ex, source.kind);

    KOMBRA_SHORT status = ir_read_nur_update(btime_yr, btime_day, btime_sec, btime_nsec, eyr, eday, esec, ensec);
    if (status == 1)
        status = ir_seams.sensor_combo(btime_yr, btime_day, btime_sec, btime_nsec, eyr, eday, esec, ensec);
    if (status == 1)
        status = ir_seams.get_mode_info(btime_yr, btime_day, btime_sec, btime_nsec, eyr, eday, esec, ensec);
    if (status != 1)
        return status;

    for (const Source &source : kRenewOrder) {
        if (!(ex->*source.defined) || ex->bmem.*source.state != nullptr)
            continue;
        status = ir_seams.renew_ancillary(source.kind, btime_yr, btime_day, btime_sec, btime_nsec, eyr, eday, esec,
                                          ensec);
        if (self.Locate() != 1)
            return NURV_NO_DATA_SET;
        ex = ginfo.expt;
        if (status != 1)
            return status;
    }
    return ir_seams.check_critical_status(btime_yr, btime_day, btime_sec, btime_nsec, eyr, eday, esec, ensec);
}

KOMBRA_SHORT ir_next_nur_file(KOMBRA_LONG cur_msec, KOMBRA_LONG cur_nsec)
{
    const experiment_info &ex = *ginfo.expt;
    const ptr_rec &ptr = *ex.info_ptr;
    const long long year = *ptr.YEAR, day = *ptr.DAYOFYEAR;
    const long long de_nsec = static_cast<long long>(ex.de_usec) * 1000;
    const bool later = year != ex.de_year       ? year > ex.de_year
                       : day != ex.de_day       ? day > ex.de_day
                       : cur_msec != ex.de_msec ? cur_msec > ex.de_msec
                                                : cur_nsec > de_nsec;
    if (!later)
        return 1;
    return ir_new_nur_file(static_cast<KOMBRA_SHORT>(year), static_cast<KOMBRA_SHORT>(day),
                           static_cast<KOMBRA_LONG>((cur_nsec / kNsPerMs + static_cast<long long>(cur_msec)) / 1000),
                           static_cast<KOMBRA_LONG>((cur_msec % 1000) * static_cast<long long>(kNsPerMs) + cur_nsec));
}
