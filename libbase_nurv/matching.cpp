// Values of the ancillary sources for the steps of the main data set's
// current record: constants of the description, or the records of the
// ancillary data set matched in time.  For each step the ancillary records
// that overlap it are read in turn; each present value is weighted by the
// share of the step the record covers (its overlap with the step over the
// step's length) and the weighted sum divided by the sum of the shares.  A
// record with an end mark switches the ancillary set to its next file.
//
// Missing values (below -3e38) change neither sum nor weight; a step with
// no present value stays missing, or for the potential takes the constant.
// Every array is written only as far as it holds values.
//
// One acquisition converts each ancillary record once, however many steps
// it covers (a field record of a spin covers every step of a sweep), and
// the pitch source works out once what the angles of every sensor share;
// both give the values the plain way would give, bit for bit
// (ir_match_reuse).
#include "nurv_int.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double kMissing = -3.4e38;
constexpr long long kNsPerMs = 1000000;
constexpr long long kNsPerDay = 86400LL * 1000 * kNsPerMs;

bool Present(double v)
{
    return v >= -3e38;
}

bool Leap(long long y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from the start of year 1 to the start of year y, then to day d.
long long DayNumber(long long y, long long d)
{
    const long long p = y - 1;
    return 365 * p + p / 4 - p / 100 + p / 400 + d - 1;
}

// An instant as a day number and nanoseconds of day.
struct Instant {
    long long day, ns;
    auto operator<=>(const Instant &) const = default;
};

Instant BeginOf(const time_span &t)
{
    return {DayNumber(t.byear, t.bday), t.bmilli * kNsPerMs + t.bnano};
}
Instant EndOf(const time_span &t)
{
    return {DayNumber(t.eyear, t.eday), t.emilli * kNsPerMs + t.enano};
}
Instant EndAt(KOMBRA_SHORT eyear, KOMBRA_SHORT eday, KOMBRA_LONG emilli, KOMBRA_LONG enano)
{
    return {DayNumber(eyear, eday), emilli * kNsPerMs + enano};
}
long long Nanoseconds(const Instant &from, const Instant &to)
{
    return (to.day - from.day) * kNsPerDay + (to.ns - from.ns);
}

// The record times of a caller record.
time_span RecordSpan(const nur_data &d)
{
    time_span t{};
    t.byear = d.byear;
    t.bday = d.bday;
    t.bmilli = d.bmilli;
    t.bnano = d.bnano;
    t.eyear = d.eyear;
    t.eday = d.eday;
    t.emilli = d.emilli;
    t.enano = d.enano;
    return t;
}

void SetRecordTimes(nur_data &d, const time_span &t)
{
    d.byear = t.byear;
    d.bday = t.bday;
    d.bmilli = t.bmilli;
    d.bnano = t.bnano;
    d.eyear = t.eyear;
    d.eday = t.eday;
    d.emilli = t.emilli;
    d.enano = t.enano;
}

// Year, day and milliseconds of day normalised (days beyond the year's end
// move into the next year).
void Normalise(KOMBRA_SHORT &year, KOMBRA_SHORT &day, KOMBRA_LONG &msec)
{
    adjust_time(&year, &day, &msec, 2);
    while (day > (Leap(year) ? 366 : 365)) {
        day = static_cast<KOMBRA_SHORT>(day - (Leap(year) ? 366 : 365));
        ++year;
    }
}

// Makes a caller array of floats hold count values.
bool Room(void *&base, KOMBRA_UINT &size, long long bytes)
{
    if (bytes <= static_cast<long long>(size))
        return true;
    void *grown = std::realloc(base, static_cast<size_t>(bytes));
    if (grown == nullptr)
        return false;
    base = grown;
    size = static_cast<KOMBRA_UINT>(bytes);
    return true;
}

// One kind of source as the matching sees it.
class Source {
public:
    virtual ~Source() = default;
    int components = 1;
    KOMBRA_ULONG key = 0;
    const char *exten = "";
    KOMBRA_USHORT version = 0;
    KOMBRA_SHORT *file_status = nullptr;
    KOMBRA_CHAR *acquire = nullptr;
    KOMBRA_SHORT same_day_code = 0, fraction_code = 0;
    int8_t role = 0;
    KOMBRA_CHAR num_tbls = 0;
    const int8_t *tbl_apply = nullptr;
    const KOMBRA_LONG *tbl_oper = nullptr;
    KOMBRA_SHORT stop_year = 0, stop_day = 0;
    KOMBRA_LONG stop_sec = 0, stop_nano = 0;

    virtual nur_data *Record(int c) = 0;
    virtual KOMBRA_SHORT Sensor(int c) const = 0;
    virtual KOMBRA_CHAR &NextData(int c) = 0;
    virtual KOMBRA_CHAR &AllDone(int c) = 0;
    virtual time_span &Last() = 0;
    virtual long long Steps() const = 0;
    virtual void Preset(long long m) = 0;
    // value of component c weighted by f into step k.
    virtual void Add(long long k, int c, double value, double f, const nur_data &record) = 0;
    virtual void Finish(long long k) = 0;
    // The value of a record without sample data.
    virtual double Unfilled() const { return kMissing; }
    virtual KOMBRA_SHORT Deliver(nur_data &d, long long n, KOMBRA_SHORT sensor) = 0;
    virtual void NoValues(nur_data &d) = 0;
    // Where component c's converted value is kept (null, as for the
    // attitude angles: converted anew at every step).
    virtual held_value *Held(int) { return nullptr; }

    // The kind's own steps: acquisition of step k (same_times the main
    // set's flag), accumulation of component c's record, its time fraction
    // and end-time test, the record times of the components (first: the
    // record that gives them) and the switch to the next file.
    virtual KOMBRA_SHORT AcquireStep(const time_span &step, long long k, int8_t same_times) = 0;
    virtual KOMBRA_SHORT Process(const time_span &step, int c, long long k) = 0;
    virtual KOMBRA_FLOAT TimeFrac(const time_span &step, int c) = 0;
    virtual void EndTime(const time_span &step, const time_span &record, int c) = 0;
    virtual void SameTime(bool first, int c);
    virtual KOMBRA_SHORT LosNextFile(int c, const time_span &step) = 0;

    // Several components read one record: the later ones take component
    // 0's fraction and, where the copy flags say so, its read flags (null
    // for a source of one component).
    KOMBRA_FLOAT *last_comp_frac = nullptr;
    KOMBRA_BOOL *copy_next_data = nullptr, *copy_all_done = nullptr;
};

// The share of step covered by record: overlap over the step's length.
double Fraction(const time_span &step, const time_span &record)
{
    const Instant b = BeginOf(step), e = EndOf(step);
    const long long length = Nanoseconds(b, e);
    if (length <= 0)
        return -1.0;
    if (ir_check_time_range(step, record.byear, record.bday, record.bmilli, record.bnano))
        return -1.0;
    const Instant from =
        ir_frac_start_time(step, record.byear, record.bday, record.bmilli, record.bnano) == 3 ? BeginOf(record) : b;
    const long long overlap = Nanoseconds(from, std::min(e, EndOf(record)));
    if (overlap <= 0)
        return -1.0;
    return static_cast<double>(overlap) / static_cast<double>(length);
}

// The read state of component c after its record ends at end: the record
// also serves the next step (step ends before it), completes this one
// exactly, or another record is needed.  The copy flags tell the later
// components which of component 0's flags to take.
void EndTimeTest(Source &src, int c, const time_span &step, const Instant &end)
{
    const Instant s = EndOf(step);
    bool copy_done = true;
    if (s < end) {
        src.NextData(c) = 0;
        src.AllDone(c) = 1;
    } else if (s == end) {
        src.NextData(c) = 1;
        src.AllDone(c) = 1;
    } else {
        src.NextData(c) = 1;
        copy_done = false;
    }
    if (src.copy_next_data != nullptr) {
        *src.copy_next_data = sTrue;
        *src.copy_all_done = copy_done ? sTrue : sFalse;
    }
}

// The time fraction of component c's record in step: computed by component
// 0 (after its end-time test), taken over by the later components.
KOMBRA_FLOAT TimeFraction(Source &src, int c, const time_span &step)
{
    if (c > 0 && src.last_comp_frac != nullptr) {
        if (*src.copy_next_data)
            src.NextData(c) = src.NextData(0);
        if (*src.copy_all_done)
            src.AllDone(c) = src.AllDone(0);
        return *src.last_comp_frac;
    }
    const time_span record = RecordSpan(*src.Record(c));
    src.EndTime(step, record, c);
    const auto f = static_cast<KOMBRA_FLOAT>(Fraction(step, record));
    if (src.last_comp_frac != nullptr)
        *src.last_comp_frac = f;
    return f;
}

// Component 0's record times become the source's; a later component's
// record takes them over its own.
void SameTimes(Source &src, bool first, int c)
{
    if (!first) {
        SetRecordTimes(*src.Record(c), src.Last());
        return;
    }
    src.Last() = RecordSpan(*src.Record(c));
    if (src.last_comp_frac != nullptr) {
        *src.copy_next_data = sFalse;
        *src.copy_all_done = sFalse;
        *src.last_comp_frac = 0;
    }
}

void Source::SameTime(bool first, int c)
{
    SameTimes(*this, first, c);
}

// Drops the kept converted value of component c, or of every component
// when c is negative: its record is about to change.
void Forget(Source &src, int c = -1)
{
    const int from = c < 0 ? 0 : c, to = c < 0 ? src.components : c + 1;
    for (int j = from; j < to; ++j)
        if (held_value *h = src.Held(j))
            h->valid = 0;
}

// Keeps the converted values for the length of one acquisition only, so
// that nothing outside it (positioning, a rebuild) can leave one stale.
struct HeldForAcquisition {
    Source &src;
    explicit HeldForAcquisition(Source &s) : src(s) { Forget(src); }
    ~HeldForAcquisition() { Forget(src); }
    HeldForAcquisition(const HeldForAcquisition &) = delete;
    HeldForAcquisition &operator=(const HeldForAcquisition &) = delete;
};

KOMBRA_SHORT Convert(Source &src, int c, double &value);

// The first converted value of component c's record: converted once while
// the record serves further steps of the acquisition.
KOMBRA_SHORT Value(Source &src, int c, double &value)
{
    held_value *held = ir_match_reuse ? src.Held(c) : nullptr;
    if (held != nullptr && held->valid) {
        value = held->value;
        return 1;
    }
    const KOMBRA_SHORT status = Convert(src, c, value);
    if (status == 1 && held != nullptr) {
        held->value = value;
        held->valid = 1;
    }
    return status;
}

KOMBRA_SHORT Convert(Source &src, int c, double &value)
{
    nur_data &d = *src.Record(c);
    if (!d.filled_data) {
        value = src.Unfilled();
        return 1;
    }
    static std::vector<KOMBRA_FLOAT> wide;
    KOMBRA_FLOAT *out = ir_conv_fill;
    const size_t need = std::max<size_t>({d.num_sample, static_cast<size_t>(std::max<int>(d.num_swp_steps, 0)), 1});
    if (need > sizeof ir_conv_fill / sizeof ir_conv_fill[0]) {
        wide.resize(need);
        out = wide.data();
    }
    const experiment_info &anc = *ginfo.expt;
    const KOMBRA_SHORT status =
        convert_to_units(src.key, src.exten, src.version, &d, src.Sensor(c), 1, 0, src.num_tbls,
                         reinterpret_cast<const KOMBRA_CHAR *>(src.tbl_apply), src.tbl_oper, out,
                         static_cast<int8_t>(anc.fill_flag), anc.fill_value);
    if (status != 1)
        return status;
    value = out[0];
    return 1;
}

// Component c's record accumulated into step k.
KOMBRA_SHORT Accumulate(Source &src, int c, const time_span &step, long long k)
{
    double value = kMissing;
    const KOMBRA_SHORT status = Value(src, c, value);
    if (status != 1)
        return status;
    const KOMBRA_FLOAT f = src.TimeFrac(step, c);
    if (f > 1.0f)
        return src.fraction_code;
    if (f > 0 && Present(value))
        src.Add(k, c, value, f, *src.Record(c));
    return 1;
}

// Reopens the ancillary set 1 ms after the end of the record, when that
// end is not after the step's end.
KOMBRA_SHORT NextFile(Source &src, int c, const time_span &step)
{
    const time_span record = RecordSpan(*src.Record(c));
    if (EndOf(record) > EndOf(step))
        return 1;
    Forget(src);
    KOMBRA_SHORT year = record.eyear, day = record.eday;
    long long ns = record.enano + kNsPerMs;
    long long msec = record.emilli + ns / kNsPerMs;
    ns %= kNsPerMs;
    KOMBRA_LONG sec = static_cast<KOMBRA_LONG>(msec / 1000);
    const KOMBRA_LONG nsec = static_cast<KOMBRA_LONG>((msec % 1000) * kNsPerMs + ns);
    adjust_time(&year, &day, &sec, 1);
    *src.file_status = reset_experiment_info(src.key, src.exten, src.version, year, day, sec, nsec, src.stop_year,
                                             src.stop_day, src.stop_sec, src.stop_nano);
    if (ir_locate_ex(src.key, src.exten, src.version, 0) == 1)
        ginfo.expt->mode_done = src.role;
    if (*src.file_status != 1)
        return *src.file_status;
    return file_pos(src.key, src.exten, src.version, src.Record(c), year, day, sec, nsec, src.stop_year, src.stop_day,
                    src.stop_sec, src.stop_nano);
}

// Reads and accumulates the records that overlap step k.
KOMBRA_SHORT Acquire(Source &src, const time_span &step, long long k)
{
    const int nc = src.components;
    for (;;) {
        int done = 0;
        for (int c = 0; c < nc; ++c)
            done += src.AllDone(c) ? 1 : 0;
        if (done == nc)
            break;
        bool restart = false;
        for (int c = 0; c < nc && !restart; ++c) {
            if (src.AllDone(c))
                continue;
            if (!src.NextData(c)) {
                const KOMBRA_SHORT status = src.Process(step, c, k);
                if (status != 1)
                    return status;
                continue;
            }
            nur_data &d = *src.Record(c);
            Forget(src, c);
            const KOMBRA_SHORT got = read_drec(src.key, src.exten, src.version, &d, src.Sensor(c),
                                               c == nc - 1 ? 1 : 0, 0);
            if (got < 0)
                return got;
            if (got == 3 || got == 6) {
                // Real time: nothing new yet.  The step ends with what it
                // has; the next call reads on.
                for (int j = 0; j < nc; ++j) {
                    src.AllDone(j) = 1;
                    src.NextData(j) = 1;
                }
                break;
            }
            src.SameTime(c == 0, c);
            if (d.hdr_change) {
                Forget(src);
                for (int j = 0; j < nc; ++j) {
                    const KOMBRA_SHORT status = ir_check_nur_data_memory(src.key, src.exten, src.version,
                                                                         src.Record(j));
                    if (status != 1)
                        return status;
                }
            }
            const bool end_mark = got == 9 || got == 12;
            if (end_mark && !d.filled_data) {
                // Only the end mark: on to the next file, every component
                // from its first record there.
                const KOMBRA_SHORT status = src.LosNextFile(c, step);
                if (status != 1)
                    return status;
                for (int j = 0; j < nc; ++j)
                    src.NextData(j) = 1;
                restart = true;
                continue;
            }
            KOMBRA_SHORT status = src.Process(step, c, k);
            if (status != 1)
                return status;
            if (end_mark) {
                status = src.LosNextFile(c, step);
                if (status != 1)
                    return status;
            }
        }
    }
    src.Finish(k);
    for (int c = 0; c < nc; ++c)
        src.AllDone(c) = 0;
    return 1;
}

// The values of one record of the main set (main set current).
KOMBRA_SHORT Values(Source &src, KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data &d)
{
    experiment_info *main = ginfo.expt;
    struct Back {
        experiment_info *main;
        ~Back() { ginfo.expt = main; }
    } back{main};
    if (*src.file_status != 1 || ir_locate_ex(src.key, src.exten, src.version, 0) != 1 || !ginfo.expt->fnext) {
        src.NoValues(d);
        return 1;
    }
    if (main->header_format != 1)
        return NURV_TENSOR_HEADER;
    const ptr_rec &p = *main->info_ptr;
    long long n = (main->smp_id == 2 && !full_swp) ? 1 : *p.hdr_fmt1_ptr->N_SAMPLE - p.time_row;
    const long long m = src.Steps();
    n = std::clamp(n, 0LL, m);
    const sweep_timing &st = main->swp_times;
    if (*src.acquire) {
        *src.acquire = 0;
        const HeldForAcquisition held(src);
        src.Preset(m);
        const bool same_day = d.eday == d.bday;
        for (long long k = 0; k < n; ++k) {
            time_span step{};
            step.byear = d.byear;
            step.bday = d.bday;
            step.bmilli = st.btime_ms[k];
            step.bnano = st.btime_ns[k];
            Normalise(step.byear, step.bday, step.bmilli);
            step.eyear = st.use_end_yr_day ? d.eyear : d.byear;
            step.eday = st.use_end_yr_day ? d.eday : d.bday;
            step.emilli = st.etime_ms[k];
            step.enano = st.etime_ns[k];
            Normalise(step.eyear, step.eday, step.emilli);
            if (step.emilli < step.bmilli && step.eday == step.bday && step.eyear == step.byear) {
                if (same_day)
                    return src.same_day_code;
                ++step.eday;
                Normalise(step.eyear, step.eday, step.emilli);
            }
            step.leap_year = Leap(step.byear) ? sTrue : sFalse;
            step.bdays_in_yr = Leap(step.byear) ? 366 : 365;
            // A step repeated with same_times reads nothing.
            const bool repeat = st.same_times && k > 0;
            if (!repeat && ir_locate_ex(src.key, src.exten, src.version, 0) != 1) {
                src.NoValues(d);
                return 1;
            }
            const KOMBRA_SHORT status = src.AcquireStep(step, k, st.same_times);
            if (status != 1) {
                *src.file_status = status;
                src.NoValues(d);
                return 1;
            }
        }
    }
    ginfo.expt = main;
    const KOMBRA_SHORT delivered = src.Deliver(d, n, sensor);
    if (delivered == 1 && fwd)
        *src.acquire = 1;
    return delivered;
}

// ---- Pitch angles -------------------------------------------------------------

// The angle in degrees between the field b of length length (above 0) and
// a sensor's normal of magnitude magnitude (above 0).  Double precision is
// ample for an angle delivered as a float.
KOMBRA_FLOAT AngleOf(const double *normal, double magnitude, const double *b, double length)
{
    const double dot = normal[0] * b[0] + normal[1] * b[1] + normal[2] * b[2];
    const double cosine = std::clamp(-dot / (magnitude * length), -1.0, 1.0);
    return static_cast<KOMBRA_FLOAT>(std::acos(cosine) / 0.017453292519943);
}

// The length of the field b: 0 when a component is missing.
double FieldLength(const double *b)
{
    const bool present = Present(b[0]) && Present(b[1]) && Present(b[2]);
    return present ? std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]) : 0;
}

// Works out for the first n steps what every sensor's delivery shares: the
// field's length, its direction cosines and the averaged look angles as
// floats.  False when there is no room for them (the caller then works
// each sensor out in full).
bool PrepareField(pitch_info &p, long long n)
{
    if (n <= p.field_steps)
        return true;
    if (n > p.field_room) {
        const size_t bytes = static_cast<size_t>(n) * (sizeof(KOMBRA_DOUBLE) + 15 * sizeof(KOMBRA_FLOAT));
        void *block = std::realloc(p.base_field, bytes);
        if (block == nullptr)
            return false;
        p.base_field = block;
        p.field_room = n;
        p.field_length = static_cast<KOMBRA_DOUBLE *>(block);
        p.field_floats = reinterpret_cast<KOMBRA_FLOAT *>(p.field_length + n);
    }
    const long long room = p.field_room;
    KOMBRA_FLOAT *dir = p.field_floats;
    const KOMBRA_DOUBLE *angles[4] = {p.start_az, p.stop_az, p.start_theta, p.stop_theta};
    const auto missing = static_cast<KOMBRA_FLOAT>(kMissing);
    for (long long k = 0; k < n; ++k) {
        const double *b = p.data_val + 3 * k;
        const double length = FieldLength(b);
        p.field_length[k] = length;
        for (int c = 0; c < 3; ++c)
            dir[3 * k + c] = length > 0 ? static_cast<KOMBRA_FLOAT>(b[c] / length) : missing;
        for (int a = 0; a < 4; ++a)
            for (int c = 0; c < 3; ++c)
                dir[3 * room * (a + 1) + 3 * k + c] = static_cast<KOMBRA_FLOAT>(angles[a][3 * k + c]);
    }
    p.field_steps = n;
    return true;
}

// ir_compute_pitch_angle from what PrepareField worked out for n steps.
void PitchAnglesOfField(const pitch_info &p, KOMBRA_FLOAT *angles, KOMBRA_SHORT sensor, long long n,
                        direction_cos *dc)
{
    const double *normal = p.unit_normals + 3 * sensor;
    const double magnitude = p.mag_normal[sensor];
    const auto missing = static_cast<KOMBRA_FLOAT>(kMissing);
    for (long long k = 0; k < n; ++k) {
        const double *b = p.data_val + 3 * k;
        // Steps inside one field record hold the same field, bit for bit:
        // their angle is the one just worked out.
        if (k > 0 && std::memcmp(b, b - 3, 3 * sizeof *b) == 0) {
            angles[k] = angles[k - 1];
            continue;
        }
        const double length = p.field_length[k];
        angles[k] = length > 0 && magnitude > 0 ? AngleOf(normal, magnitude, b, length) : missing;
    }
    if (dc == nullptr)
        return;
    KOMBRA_FLOAT *targets[5] = {dc->dir_cos123, dc->start_az123, dc->stop_az123, dc->start_theta123,
                                dc->stop_theta123};
    const size_t count = static_cast<size_t>(3 * n);
    for (int a = 0; a < 5; ++a) {
        if (a == 0 && !(magnitude > 0))
            std::fill(targets[a], targets[a] + count, missing);
        else
            std::copy(p.field_floats + 3 * p.field_room * a, p.field_floats + 3 * p.field_room * a + count,
                      targets[a]);
    }
}

class PitchSource : public Source {
public:
    explicit PitchSource(pitch_info &p) : p_(p)
    {
        components = 3;
        key = p.data_key;
        exten = p.exten;
        version = p.version;
        file_status = &p.file_status;
        acquire = &p.get_pa_data;
        same_day_code = -292;
        fraction_code = -287;
        role = 3;
        num_tbls = p.num_tbls;
        tbl_apply = p.tbl_apply;
        tbl_oper = p.tbl_oper;
        stop_year = p.stop_year;
        stop_day = p.stop_day;
        stop_sec = p.stop_sec;
        stop_nano = p.stop_nano;
        last_comp_frac = &p.last_comp_frac;
        copy_next_data = &p.copy_next_data;
        copy_all_done = &p.copy_all_done;
    }
    KOMBRA_SHORT AcquireStep(const time_span &step, long long k, int8_t same_times) override
    {
        if (same_times && k > 0) {
            ir_copy_pitch_angle(&p_, static_cast<KOMBRA_USHORT>(k));
            return 1;
        }
        return ir_acquire_pitch_data(step, &p_, static_cast<KOMBRA_USHORT>(k));
    }
    KOMBRA_SHORT Process(const time_span &step, int c, long long k) override
    {
        return ir_process_pitch_data(&p_, step, static_cast<KOMBRA_SHORT>(c), static_cast<KOMBRA_USHORT>(k));
    }
    KOMBRA_FLOAT TimeFrac(const time_span &step, int c) override
    {
        return ir_pitch_time_frac(&p_, step, static_cast<KOMBRA_SHORT>(c));
    }
    void EndTime(const time_span &step, const time_span &r, int c) override
    {
        ir_pitch_end_time(&p_, step, r.eyear, r.eday, r.emilli, r.enano, static_cast<KOMBRA_SHORT>(c));
    }
    void SameTime(bool first, int c) override
    {
        ir_same_pitch_time(&p_, first ? 1 : 0, static_cast<KOMBRA_SHORT>(c));
    }
    KOMBRA_SHORT LosNextFile(int c, const time_span &step) override
    {
        return ir_pitch_los_next_file(&p_, static_cast<KOMBRA_SHORT>(c), step);
    }
    nur_data *Record(int c) override { return p_.nur_data_ptr[c]; }
    KOMBRA_SHORT Sensor(int c) const override { return p_.sensor[c]; }
    KOMBRA_CHAR &NextData(int c) override { return p_.next_data[c]; }
    KOMBRA_CHAR &AllDone(int c) override { return p_.all_done[c]; }
    time_span &Last() override { return p_.ptimes; }
    long long Steps() const override { return p_.steps; }
    void Preset(long long m) override
    {
        for (double *a : {p_.data_val, p_.start_az, p_.stop_az, p_.start_theta, p_.stop_theta})
            std::fill(a, a + 3 * m, kMissing);
        std::fill(p_.time_frac, p_.time_frac + 3 * m, -1.0f);
        p_.field_steps = 0;
    }
    void Add(long long k, int c, double value, double f, const nur_data &r) override
    {
        p_.field_steps = 0;
        const long long i = 3 * k + c;
        const double angles[4] = {r.num_angle > 0 && r.start_az != nullptr ? r.start_az[0] : kMissing,
                                  r.num_angle > 0 && r.stop_az != nullptr ? r.stop_az[0] : kMissing, r.start_theta,
                                  r.stop_theta};
        double *targets[4] = {p_.start_az, p_.stop_az, p_.start_theta, p_.stop_theta};
        const bool first = p_.time_frac[i] < 0;
        p_.data_val[i] = first ? value * f : p_.data_val[i] + value * f;
        for (int a = 0; a < 4; ++a)
            targets[a][i] = first ? angles[a] * f : targets[a][i] + angles[a] * f;
        p_.time_frac[i] = first ? static_cast<KOMBRA_FLOAT>(f) : p_.time_frac[i] + static_cast<KOMBRA_FLOAT>(f);
    }
    void Finish(long long k) override
    {
        p_.field_steps = 0;
        for (long long i = 3 * k; i < 3 * k + 3; ++i) {
            // A step one record covers whole keeps its sums: dividing by 1
            // is exact.
            if (p_.time_frac[i] <= 0 || p_.time_frac[i] == 1.0f)
                continue;
            for (double *a : {p_.data_val, p_.start_az, p_.stop_az, p_.start_theta, p_.stop_theta})
                a[i] /= p_.time_frac[i];
        }
    }
    KOMBRA_SHORT Deliver(nur_data &d, long long n, KOMBRA_SHORT sensor) override
    {
        const experiment_info &main = *ginfo.expt;
        if (sensor < 0 || sensor >= main.num_sensor || sensor >= p_.sensors) {
            d.num_pitch = 0;
            return NURV_NO_SUCH_SENSOR;
        }
        if (!Room(d.base_pitch, d.pitch_size, 4 * n))
            return NURV_NO_PITCH_GROWTH;
        d.pitch_angles = static_cast<KOMBRA_FLOAT *>(d.base_pitch);
        direction_cos *dc = d.dir_cosines;
        if (dc != nullptr) {
            // The block holds 15 floats per step of the pitch array.
            const long long cap = d.pitch_size / 4;
            void *block = std::realloc(dc->base_block, static_cast<size_t>(60 * cap));
            if (block == nullptr)
                return NURV_NO_DIR_COS_GROWTH;
            dc->base_block = block;
            auto *v = static_cast<KOMBRA_FLOAT *>(block);
            dc->dir_cos123 = v;
            dc->start_az123 = v + 3 * cap;
            dc->stop_az123 = v + 6 * cap;
            dc->start_theta123 = v + 9 * cap;
            dc->stop_theta123 = v + 12 * cap;
        }
        if (ir_match_reuse && PrepareField(p_, n))
            PitchAnglesOfField(p_, d.pitch_angles, sensor, n, dc);
        else
            ir_compute_pitch_angle(&p_, d.pitch_angles, sensor, static_cast<KOMBRA_USHORT>(n), dc);
        d.num_pitch = static_cast<KOMBRA_USHORT>(n);
        return 1;
    }
    void NoValues(nur_data &d) override { d.num_pitch = 0; }
    held_value *Held(int c) override { return &p_.held[c]; }

private:
    pitch_info &p_;
};

// ---- Spacecraft potential ---------------------------------------------------

class PotentialSource : public Source {
public:
    explicit PotentialSource(potential_info &p) : p_(p)
    {
        key = p.data_key;
        exten = p.exten;
        version = p.version;
        file_status = &p.file_status;
        acquire = &p.get_potential_data;
        same_day_code = -454;
        fraction_code = -448;
        role = 5;
        num_tbls = p.num_tbls;
        tbl_apply = p.tbl_apply;
        tbl_oper = p.tbl_oper;
        stop_year = p.stop_year;
        stop_day = p.stop_day;
        stop_sec = p.stop_sec;
        stop_nano = p.stop_nano;
    }
    KOMBRA_SHORT AcquireStep(const time_span &step, long long k, int8_t same_times) override
    {
        return ir_acquire_potential_data(step, &p_, static_cast<KOMBRA_USHORT>(k), same_times);
    }
    KOMBRA_SHORT Process(const time_span &step, int, long long k) override
    {
        return ir_process_potential_data(&p_, step, static_cast<KOMBRA_USHORT>(k));
    }
    KOMBRA_FLOAT TimeFrac(const time_span &step, int) override { return ir_potential_time_frac(&p_, step); }
    void EndTime(const time_span &step, const time_span &r, int) override
    {
        ir_potential_end_time(&p_, step, r.eyear, r.eday, r.emilli, r.enano);
    }
    KOMBRA_SHORT LosNextFile(int, const time_span &step) override { return ir_potential_los_next_file(&p_, step); }
    nur_data *Record(int) override { return p_.nur_data_ptr; }
    KOMBRA_SHORT Sensor(int) const override { return p_.sensor; }
    KOMBRA_CHAR &NextData(int) override { return p_.next_data; }
    KOMBRA_CHAR &AllDone(int) override { return p_.all_done; }
    time_span &Last() override { return p_.last_swp; }
    long long Steps() const override { return p_.steps; }
    void Preset(long long m) override
    {
        std::fill(p_.data_val, p_.data_val + m, kMissing);
        std::fill(p_.time_frac, p_.time_frac + m, -1.0f);
        std::fill(p_.step_status, p_.step_status + m, 0);
    }
    void Add(long long k, int, double value, double f, const nur_data &) override
    {
        if (p_.time_frac[k] < 0) {
            p_.data_val[k] = value * f;
            p_.time_frac[k] = static_cast<KOMBRA_FLOAT>(f);
        } else {
            p_.data_val[k] += value * f;
            p_.time_frac[k] += static_cast<KOMBRA_FLOAT>(f);
        }
    }
    // A step without a present value takes the constant.
    void Finish(long long k) override
    {
        if (p_.time_frac[k] > 0) {
            p_.data_val[k] /= p_.time_frac[k];
            return;
        }
        p_.data_val[k] = p_.constant_val;
        p_.time_frac[k] = 1.0f;
        p_.step_status[k] = 2;
    }
    double Unfilled() const override { return p_.constant_val; }
    KOMBRA_SHORT Deliver(nur_data &d, long long n, KOMBRA_SHORT) override
    {
        if (!Room(d.base_potential, d.potential_size, 4 * n))
            return NURV_NO_POTENTIAL_MEMORY;
        d.potential = static_cast<KOMBRA_FLOAT *>(d.base_potential);
        for (long long k = 0; k < n; ++k)
            d.potential[k] = static_cast<KOMBRA_FLOAT>(p_.data_val[k]);
        d.num_potential = static_cast<KOMBRA_USHORT>(n);
        return 1;
    }
    void NoValues(nur_data &d) override { d.num_potential = 0; }
    held_value *Held(int) override { return &p_.held; }

private:
    potential_info &p_;
};

// ---- Attitude angles -----------------------------------------------------------

// Makes the caller's attitude arrays hold angles angles for n steps.
bool EulerRoom(nur_data &d, long long angles, long long n)
{
    if (!Room(d.base_euler, d.euler_size, 4 * angles * n + 2 * angles))
        return false;
    d.euler_angles = static_cast<KOMBRA_FLOAT *>(d.base_euler);
    d.euler_rot_axis = reinterpret_cast<KOMBRA_SHORT *>(d.euler_angles + angles * n);
    return true;
}

class EulerSource : public Source {
public:
    explicit EulerSource(euler_info &e) : e_(e)
    {
        components = e.num_pmi_angles;
        key = e.data_key;
        exten = e.exten;
        version = e.version;
        file_status = &e.file_status;
        acquire = &e.get_pmi_data;
        same_day_code = -483;
        fraction_code = -484;
        role = 6;
        num_tbls = e.num_tbls;
        tbl_apply = e.tbl_apply;
        tbl_oper = e.tbl_oper;
        stop_year = e.stop_year;
        stop_day = e.stop_day;
        stop_sec = e.stop_sec;
        stop_nano = e.stop_nano;
        last_comp_frac = &e.last_comp_frac;
        copy_next_data = &e.copy_next_data;
        copy_all_done = &e.copy_all_done;
    }
    KOMBRA_SHORT AcquireStep(const time_span &step, long long k, int8_t same_times) override
    {
        if (same_times && k > 0) {
            ir_copy_euler_angle(&e_, static_cast<KOMBRA_USHORT>(k));
            return 1;
        }
        return ir_acquire_euler_data(step, &e_, static_cast<KOMBRA_USHORT>(k));
    }
    KOMBRA_SHORT Process(const time_span &step, int c, long long k) override
    {
        return ir_process_euler_data(&e_, step, static_cast<KOMBRA_SHORT>(c), static_cast<KOMBRA_USHORT>(k));
    }
    KOMBRA_FLOAT TimeFrac(const time_span &step, int c) override
    {
        return ir_euler_time_frac(&e_, step, static_cast<KOMBRA_SHORT>(c));
    }
    void EndTime(const time_span &step, const time_span &r, int c) override
    {
        ir_euler_end_time(&e_, step, r.eyear, r.eday, r.emilli, r.enano, static_cast<KOMBRA_SHORT>(c));
    }
    void SameTime(bool first, int c) override
    {
        ir_same_euler_time(&e_, first ? 1 : 0, static_cast<KOMBRA_SHORT>(c));
    }
    KOMBRA_SHORT LosNextFile(int c, const time_span &step) override
    {
        return ir_euler_los_next_file(&e_, static_cast<KOMBRA_SHORT>(c), step);
    }
    nur_data *Record(int c) override { return e_.nur_data_ptr[c]; }
    KOMBRA_SHORT Sensor(int c) const override { return e_.sensor[c]; }
    KOMBRA_CHAR &NextData(int c) override { return e_.next_data[c]; }
    KOMBRA_CHAR &AllDone(int c) override { return e_.all_done[c]; }
    time_span &Last() override { return e_.ptimes; }
    long long Steps() const override { return e_.steps; }
    void Preset(long long m) override
    {
        const long long a = e_.num_pmi_angles;
        std::fill(e_.euler_angle, e_.euler_angle + a * m, static_cast<KOMBRA_FLOAT>(kMissing));
        std::fill(e_.time_frac, e_.time_frac + a * m, -1.0f);
    }
    void Add(long long k, int c, double value, double f, const nur_data &) override
    {
        const long long i = k * e_.num_pmi_angles + c;
        if (e_.time_frac[i] < 0) {
            e_.euler_angle[i] = static_cast<KOMBRA_FLOAT>(value * f);
            e_.time_frac[i] = static_cast<KOMBRA_FLOAT>(f);
        } else {
            e_.euler_angle[i] += static_cast<KOMBRA_FLOAT>(value * f);
            e_.time_frac[i] += static_cast<KOMBRA_FLOAT>(f);
        }
    }
    void Finish(long long k) override
    {
        const long long a = e_.num_pmi_angles;
        for (long long i = k * a; i < (k + 1) * a; ++i)
            if (e_.time_frac[i] > 0)
                e_.euler_angle[i] /= e_.time_frac[i];
    }
    KOMBRA_SHORT Deliver(nur_data &d, long long n, KOMBRA_SHORT) override
    {
        const long long a = e_.num_pmi_angles;
        if (!EulerRoom(d, a, n))
            return NURV_NO_EULER_MEMORY;
        std::copy(e_.euler_angle, e_.euler_angle + a * n, d.euler_angles);
        std::copy(e_.rot_axis, e_.rot_axis + a, d.euler_rot_axis);
        d.num_euler = static_cast<KOMBRA_USHORT>(a);
        return 1;
    }
    void NoValues(nur_data &d) override { d.num_euler = 0; }

private:
    euler_info &e_;
};

// Steps of the current record.
long long StepsNow(const experiment_info &ex, KOMBRA_CHAR full_swp)
{
    const ptr_rec &p = *ex.info_ptr;
    return (ex.smp_id == 2 && !full_swp) ? 1 : *p.hdr_fmt1_ptr->N_SAMPLE - p.time_row;
}

}  // namespace

KOMBRA_FLOAT ir_overlap_fraction(const time_span &step, const time_span &record)
{
    return static_cast<KOMBRA_FLOAT>(Fraction(step, record));
}

void ir_compute_pitch_angle(const pitch_info *pitch, KOMBRA_FLOAT *angles, KOMBRA_SHORT sensor, KOMBRA_USHORT n,
                            direction_cos *dir_cosines)
{
    const double *normal = pitch->unit_normals + 3 * sensor;
    const double magnitude = pitch->mag_normal[sensor];
    const auto missing = static_cast<KOMBRA_FLOAT>(kMissing);
    for (long long k = 0; k < n; ++k) {
        const double *b = pitch->data_val + 3 * k;
        const double length = FieldLength(b);
        if (length > 0 && magnitude > 0) {
            angles[k] = AngleOf(normal, magnitude, b, length);
            if (dir_cosines != nullptr)
                for (int c = 0; c < 3; ++c)
                    dir_cosines->dir_cos123[3 * k + c] = static_cast<KOMBRA_FLOAT>(b[c] / length);
        } else {
            angles[k] = missing;
            if (dir_cosines != nullptr)
                for (int c = 0; c < 3; ++c)
                    dir_cosines->dir_cos123[3 * k + c] = missing;
        }
        if (dir_cosines != nullptr)
            for (int c = 0; c < 3; ++c) {
                dir_cosines->start_az123[3 * k + c] = static_cast<KOMBRA_FLOAT>(pitch->start_az[3 * k + c]);
                dir_cosines->stop_az123[3 * k + c] = static_cast<KOMBRA_FLOAT>(pitch->stop_az[3 * k + c]);
                dir_cosines->start_theta123[3 * k + c] = static_cast<KOMBRA_FLOAT>(pitch->start_theta[3 * k + c]);
                dir_cosines->stop_theta123[3 * k + c] = static_cast<KOMBRA_FLOAT>(pitch->stop_theta[3 * k + c]);
            }
    }
}

KOMBRA_SHORT ir_frac_start_time(const time_span &step, KOMBRA_SHORT byear, KOMBRA_SHORT bday, KOMBRA_LONG bmilli,
                                KOMBRA_LONG bnano)
{
    time_span record{};
    record.byear = byear;
    record.bday = bday;
    record.bmilli = bmilli;
    record.bnano = bnano;
    const Instant s = BeginOf(step), r = BeginOf(record);
    return s > r ? 1 : s == r ? 2 : 3;
}

bool ir_check_time_range(const time_span &step, KOMBRA_SHORT byear, KOMBRA_SHORT bday, KOMBRA_LONG bmilli,
                         KOMBRA_LONG bnano)
{
    time_span record{};
    record.byear = byear;
    record.bday = bday;
    record.bmilli = bmilli;
    record.bnano = bnano;
    return EndOf(step) < BeginOf(record);
}

// ---- The kinds' members of the matching --------------------------------------

KOMBRA_SHORT ir_acquire_pitch_data(time_span step, pitch_info *pitch, KOMBRA_USHORT step_index)
{
    PitchSource src(*pitch);
    return Acquire(src, step, step_index);
}

KOMBRA_SHORT ir_process_pitch_data(pitch_info *pitch, const time_span &step, KOMBRA_SHORT component,
                                   KOMBRA_USHORT step_index)
{
    PitchSource src(*pitch);
    return Accumulate(src, component, step, step_index);
}

KOMBRA_FLOAT ir_pitch_time_frac(pitch_info *pitch, const time_span &step, KOMBRA_SHORT component)
{
    PitchSource src(*pitch);
    return TimeFraction(src, component, step);
}

void ir_pitch_end_time(pitch_info *pitch, const time_span &step, KOMBRA_SHORT eyear, KOMBRA_SHORT eday,
                       KOMBRA_LONG emilli, KOMBRA_LONG enano, KOMBRA_SHORT component)
{
    PitchSource src(*pitch);
    EndTimeTest(src, component, step, EndAt(eyear, eday, emilli, enano));
}

void ir_same_pitch_time(pitch_info *pitch, KOMBRA_CHAR first, KOMBRA_SHORT component)
{
    PitchSource src(*pitch);
    SameTimes(src, first != 0, component);
}

void ir_copy_pitch_angle(pitch_info *pitch, KOMBRA_USHORT k)
{
    pitch->field_steps = 0;
    for (int c = 0; c < 3; ++c) {
        for (KOMBRA_DOUBLE *a : {pitch->data_val, pitch->start_az, pitch->stop_az, pitch->start_theta,
                                 pitch->stop_theta})
            a[3 * k + c] = a[c];
        pitch->time_frac[3 * k + c] = 1.0f;
        pitch->all_done[c] = 0;
    }
}

KOMBRA_SHORT ir_pitch_los_next_file(pitch_info *pitch, KOMBRA_SHORT component, const time_span &step)
{
    PitchSource src(*pitch);
    return NextFile(src, component, step);
}

// The potential's single record gives its own times; a step repeated with
// same_times takes step 0's value, fraction and fallback mark unchanged.
KOMBRA_SHORT ir_acquire_potential_data(time_span step, potential_info *potential, KOMBRA_USHORT step_index,
                                       int8_t same_times)
{
    if (same_times && step_index > 0) {
        potential->data_val[step_index] = potential->data_val[0];
        potential->time_frac[step_index] = potential->time_frac[0];
        potential->step_status[step_index] = potential->step_status[0];
        return 1;
    }
    PotentialSource src(*potential);
    return Acquire(src, step, step_index);
}

KOMBRA_SHORT ir_process_potential_data(potential_info *potential, const time_span &step, KOMBRA_USHORT step_index)
{
    PotentialSource src(*potential);
    return Accumulate(src, 0, step, step_index);
}

KOMBRA_FLOAT ir_potential_time_frac(potential_info *potential, const time_span &step)
{
    PotentialSource src(*potential);
    return TimeFraction(src, 0, step);
}

void ir_potential_end_time(potential_info *potential, const time_span &step, KOMBRA_SHORT eyear, KOMBRA_SHORT eday,
                           KOMBRA_LONG emilli, KOMBRA_LONG enano)
{
    PotentialSource src(*potential);
    EndTimeTest(src, 0, step, EndAt(eyear, eday, emilli, enano));
}

KOMBRA_SHORT ir_potential_los_next_file(potential_info *potential, const time_span &step)
{
    PotentialSource src(*potential);
    return NextFile(src, 0, step);
}

KOMBRA_SHORT ir_acquire_euler_data(time_span step, euler_info *euler, KOMBRA_USHORT step_index)
{
    EulerSource src(*euler);
    return Acquire(src, step, step_index);
}

KOMBRA_SHORT ir_process_euler_data(euler_info *euler, const time_span &step, KOMBRA_SHORT component,
                                   KOMBRA_USHORT step_index)
{
    EulerSource src(*euler);
    return Accumulate(src, component, step, step_index);
}

KOMBRA_FLOAT ir_euler_time_frac(euler_info *euler, const time_span &step, KOMBRA_SHORT component)
{
    EulerSource src(*euler);
    return TimeFraction(src, component, step);
}

void ir_euler_end_time(euler_info *euler, const time_span &step, KOMBRA_SHORT eyear, KOMBRA_SHORT eday,
                       KOMBRA_LONG emilli, KOMBRA_LONG enano, KOMBRA_SHORT component)
{
    EulerSource src(*euler);
    EndTimeTest(src, component, step, EndAt(eyear, eday, emilli, enano));
}

void ir_same_euler_time(euler_info *euler, KOMBRA_CHAR first, KOMBRA_SHORT component)
{
    EulerSource src(*euler);
    SameTimes(src, first != 0, component);
}

void ir_copy_euler_angle(euler_info *euler, KOMBRA_USHORT k)
{
    const long long a = euler->num_pmi_angles;
    for (long long j = 0; j < a; ++j) {
        euler->euler_angle[k * a + j] = euler->euler_angle[j];
        euler->time_frac[k * a + j] = 1.0f;
        euler->all_done[j] = 0;
    }
}

KOMBRA_SHORT ir_euler_los_next_file(euler_info *euler, KOMBRA_SHORT component, const time_span &step)
{
    EulerSource src(*euler);
    return NextFile(src, component, step);
}

KOMBRA_SHORT ir_nurv_pitch_angles(KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr)
{
    PitchSource src(*ginfo.expt->pitch_angles);
    return Values(src, fwd, full_swp, sensor, *nur_data_ptr);
}

KOMBRA_SHORT ir_nurv_potential_values(KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor,
                                      nur_data *nur_data_ptr)
{
    PotentialSource src(*ginfo.expt->potential);
    return Values(src, fwd, full_swp, sensor, *nur_data_ptr);
}

KOMBRA_SHORT ir_nurv_euler_angles(KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr)
{
    EulerSource src(*ginfo.expt->euler_angles);
    return Values(src, fwd, full_swp, sensor, *nur_data_ptr);
}

KOMBRA_SHORT ir_constant_pitch_angles(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    const pitch_info &p = *ex.pitch_angles;
    nur_data &d = *nur_data_ptr;
    if (p.file_status != 1) {
        d.num_pitch = 0;
        return 1;
    }
    if (ex.header_format != 1)
        return NURV_TENSOR_HEADER;
    if (sensor < 0 || sensor >= ex.num_sensor || sensor >= p.sensors)
        return NURV_NO_SUCH_SENSOR;
    const long long n = std::max(0LL, StepsNow(ex, full_swp));
    if (!Room(d.base_pitch, d.pitch_size, 4 * n))
        return NURV_NO_PITCH_GROWTH;
    d.pitch_angles = static_cast<KOMBRA_FLOAT *>(d.base_pitch);
    std::fill(d.pitch_angles, d.pitch_angles + n, static_cast<KOMBRA_FLOAT>(p.unit_normals[sensor]));
    d.num_pitch = static_cast<KOMBRA_USHORT>(n);
    return 1;
}

KOMBRA_SHORT ir_constant_spacecraft_potential(KOMBRA_CHAR full_swp, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    const potential_info &p = *ex.potential;
    nur_data &d = *nur_data_ptr;
    if (p.file_status != 1) {
        d.num_potential = 0;
        return 1;
    }
    if (ex.header_format != 1)
        return NURV_TENSOR_HEADER;
    const long long n = std::max(0LL, StepsNow(ex, full_swp));
    if (!Room(d.base_potential, d.potential_size, 4 * n))
        return NURV_NO_POTENTIAL_MEMORY;
    d.potential = static_cast<KOMBRA_FLOAT *>(d.base_potential);
    std::fill(d.potential, d.potential + n, p.constant_val);
    d.num_potential = static_cast<KOMBRA_USHORT>(n);
    return 1;
}

KOMBRA_SHORT ir_constant_euler_angles(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr)
{
    const experiment_info &ex = *ginfo.expt;
    const euler_info &e = *ex.euler_angles;
    nur_data &d = *nur_data_ptr;
    if (e.file_status != 1) {
        d.num_euler = 0;
        return 1;
    }
    if (ex.header_format != 1)
        return NURV_TENSOR_HEADER;
    if (sensor < 0 || sensor >= ex.num_sensor || sensor >= e.sensors)
        return NURV_NO_SUCH_SENSOR;
    const long long a = e.num_pmi_angles, n = std::max(0LL, StepsNow(ex, full_swp)), s = ex.num_sensor;
    if (!EulerRoom(d, a, n))
        return NURV_NO_EULER_MEMORY;
    for (long long k = 0; k < n; ++k)
        for (long long j = 0; j < a; ++j)
            d.euler_angles[k * a + j] = e.euler_angle[j * s + sensor];
    for (long long j = 0; j < a; ++j)
        d.euler_rot_axis[j] = e.rot_axis[j * s + sensor];
    d.num_euler = static_cast<KOMBRA_USHORT>(a);
    return 1;
}

KOMBRA_SHORT ir_ancillary_values(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR full_swp)
{
    experiment_info *ex = ginfo.expt;
    nur_data &d = *nur_data_ptr;
    KOMBRA_SHORT status = 1;
    if (ex->pa_def && ex->bmem.base_pitch_info != nullptr) {
        if (ex->return_pitch_angles == sTrue)
            status = ex->pitch_angles->pa_format == 1 ? ir_nurv_pitch_angles(0, full_swp, sensor, &d)
                                                      : ir_constant_pitch_angles(full_swp, sensor, &d);
        else
            d.num_pitch = 0;
        ginfo.expt = ex;
        if (status != 1)
            return status;
    }
    if (ex->potential_def && ex->bmem.base_potential_info != nullptr) {
        status = ex->potential->scpot_format == 1 ? ir_nurv_potential_values(0, full_swp, sensor, &d)
                                                  : ir_constant_spacecraft_potential(full_swp, &d);
        ginfo.expt = ex;
        if (status != 1)
            return status;
    }
    if (ex->euler_def && ex->bmem.base_euler_info != nullptr) {
        if (ex->return_euler_angles == sTrue)
            status = ex->euler_angles->pmi_format == 1 ? ir_nurv_euler_angles(0, full_swp, sensor, &d)
                                                       : ir_constant_euler_angles(full_swp, sensor, &d);
        else
            d.num_euler = 0;
        ginfo.expt = ex;
    }
    return status;
}
