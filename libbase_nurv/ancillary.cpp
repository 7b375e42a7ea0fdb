// Ancillary sources of a main data set (pitch angles from a magnetic field,
// spacecraft potential, attitude angles, start of spin): their set-up from
// the main set's description, the naming and opening of their second data
// sets, their positioning with the main set, their rebuild when the main
// set's description changes, their teardown, and the status query of the
// pitch source.  Matching their records to the main set's steps is in
// matching.cpp.
//
// A set-up returns 1 even when the source cannot be used; the reason stays
// in its file_status and the source then delivers no values.  Lists of the
// description (sensors, tables, operations) are read with their counts into
// blocks of that size; a count outside 0..127 tables makes the source
// unusable.
#include "nurv_int.h"

#include "libKELD.h"
#include "libdbSQL.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kMissingDouble = -3.4e38;
constexpr int kMostTables = 127;

// The description items and codes of one kind.
struct Kind {
    KELD_DEFS defined, format, project, mission, experiment, instrument, vinst, apps, tbls, ops;
    KOMBRA_SHORT first_code;  // the mapping of -811 (then -805, -807, -808, -806)
    KOMBRA_SHORT no_record, tables_block, bad_format, smp_id, position;
    int8_t role;
};

constexpr Kind kPitch{_PA_DEFINED, _PA_FORMAT, _PA_PROJECT, _PA_MISSION, _PA_EXPER, _PA_INST, _PA_VINST,
                      _PA_APPS, _PA_TBLS, _PA_OPS, -280, -277, -278, -96, -286, -285, 3};
constexpr Kind kPotential{_POT_SRC_DEFINED, _POT_SRC_FORMAT, _POT_SRC_PROJECT, _POT_SRC_MISSION, _POT_SRC_EXPER,
                          _POT_SRC_INST, _POT_SRC_VINST, _POT_SRC_APPS, _POT_SRC_TBLS, _POT_SRC_OPS, -25,
                          -449, -446, -95, -447, -453, 5};
constexpr Kind kAttitude{_PMI_DEFINED, _PMI_FORMAT, _PMI_PROJECT, _PMI_MISSION, _PMI_EXPER, _PMI_INST, _PMI_VINST,
                         _PMI_APPS, _PMI_TBLS, _PMI_OPS, -485, -472, -474, -475, -482, -59, 6};
constexpr Kind kSpin{_START_SPIN_DEFINED, _START_SPIN_DEFINED, _START_SPIN_PROJECT, _START_SPIN_MISSION,
                     _START_SPIN_EXPER, _START_SPIN_INST, _START_SPIN_VINST, _PA_APPS, _PA_TBLS, _PA_OPS, -428,
                     -425, 0, 0, -427, -433, 4};

KOMBRA_SHORT Mapped(const Kind &k, int status)
{
    return ir_keld_rval(status, k.first_code);
}

ir_range RangeOf(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec, KOMBRA_SHORT eyr,
                 KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    return {byr, bday, bsec, bnsec, eyr, eday, esec, ensec};
}

// Steps the value blocks hold: the main set's largest record.
long long StepsOf(const experiment_info &ex)
{
    return ex.smp_id == 2 ? ex.max_packing : ex.swp_len;
}

// A zeroed heap block of T.
template <typename T>
T *NewRecord()
{
    return static_cast<T *>(std::calloc(1, sizeof(T)));
}

// The main set and, on return, the main set current again.
struct MainSet {
    experiment_info *ex = ginfo.expt;
    ir_identity self = ir_identity_of(*ginfo.expt);
    void Current() const { ginfo.expt = ex; }
};

// Caller records of the ancillary set: the ones kept from a released
// source of the same kind first, then new ones.
KOMBRA_SHORT CallerRecord(experiment_info &main, ir_ancillary kind, nur_data *&out)
{
    std::vector<nur_data *> &kept = main.kept_records[static_cast<int>(kind)];
    if (!kept.empty()) {
        out = kept.back();
        kept.pop_back();
        return 1;
    }
    return create_nur_data_structure(&out);
}

void KeepRecord(experiment_info &main, ir_ancillary kind, nur_data *&record)
{
    if (record != nullptr)
        main.kept_records[static_cast<int>(kind)].push_back(record);
    record = nullptr;
}

// The common start of a record: the end of the caller's range, the main
// set's extension, "not read yet" formats.
template <typename R>
void Start(R &rec, const experiment_info &main, KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day,
           KOMBRA_LONG stop_sec, KOMBRA_LONG stop_nano)
{
    rec.stop_year = stop_year;
    rec.stop_day = stop_day;
    rec.stop_sec = stop_sec;
    rec.stop_nano = stop_nano;
    std::memcpy(rec.exten, main.exten, 2);
    rec.exten[2] = '\0';
    rec.file_status = 0;
}

// The version of the ancillary set: a new one, or during a reopen of the
// main set the one it keeps, so that the ancillary set keeps its entry.
void Version(KOMBRA_USHORT &version, KOMBRA_USHORT &kept)
{
    if (!ir_inside_reset_exp) {
        get_version_number(&version);
        kept = version;
    } else {
        version = kept;
    }
}

// One description item of the data set of key (the main set's), read for
// the caller's range.
int KeldItem(KOMBRA_ULONG key, const ir_range &r, void *var, size_t size, KELD_DEFS what, KOMBRA_SHORT num = 0,
             KOMBRA_LONG start = 0, KOMBRA_SHORT len = 1)
{
    return ir_seams.read_keld(key, r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec, r.ensec, var, size, what,
                              num, start, len);
}

// One hierarchy name of the description, cut at its first blank.  The
// registry's text is copied, never written to.
int HierarchyName(KOMBRA_ULONG key, const ir_range &r, KELD_DEFS what, std::string &name)
{
    char *text = nullptr;
    const int status = KeldItem(key, r, &text, sizeof text, what);
    if (status != 1)
        return status;
    name = text != nullptr ? text : "";
    const size_t blank = name.find(' ');
    if (blank != std::string::npos)
        name.resize(blank);
    return 1;
}

// Reads the five hierarchy items of a kind and the data key they name.  1,
// or a code (mapped when from the description).
KOMBRA_SHORT Hierarchy(const Kind &k, KOMBRA_ULONG key, const ir_range &r, KOMBRA_ULONG &key_out)
{
    std::string project, mission, experiment, instrument, virtual_instrument;
    const struct {
        KELD_DEFS item;
        std::string *name;
    } items[] = {{k.project, &project},
                 {k.mission, &mission},
                 {k.experiment, &experiment},
                 {k.instrument, &instrument},
                 {k.vinst, &virtual_instrument}};
    for (const auto &item : items) {
        const int status = HierarchyName(key, r, item.item, *item.name);
        if (status != 1)
            return Mapped(k, status);
    }
    const int status = get_data_key(project.c_str(), mission.c_str(), experiment.c_str(), instrument.c_str(),
                                    virtual_instrument.c_str(), &key_out);
    return status == 1 ? KOMBRA_SHORT{1} : static_cast<KOMBRA_SHORT>(std::clamp(status, -32768, 32767));
}

// Naming of the ancillary set: key_out the data key of the set that the
// description of the data set key names, 0 when it names none.
KOMBRA_SHORT DataSource(const Kind &k, KOMBRA_ULONG key, const ir_range &r, KOMBRA_ULONG *key_out, bool has_format)
{
    KOMBRA_ULONG named = 0;
    if (key_out != nullptr)
        *key_out = 0;
    KOMBRA_CHAR defined = 0;
    int status = KeldItem(key, r, &defined, sizeof defined, k.defined, 0, 0, has_format ? 1 : -1);
    if (status != 1)
        return Mapped(k, status);
    if (!defined)
        return 1;
    if (has_format) {
        KOMBRA_SHORT format = 0;
        status = KeldItem(key, r, &format, sizeof format, k.format, 0, 0, 1);
        if (status != 1)
            return Mapped(k, status);
        if (format == 0)
            return 1;
    }
    const KOMBRA_SHORT result = Hierarchy(k, key, r, named);
    if (key_out != nullptr)
        *key_out = named;
    return result;
}

// The conversion table list: count, table numbers and operation codes.
template <typename R>
KOMBRA_SHORT TableList(const Kind &k, const ir_range &r, R &rec)
{
    KOMBRA_SHORT count = 0;
    int status = ir_keld_item(r, &count, sizeof count, k.apps, 0, 0, 1);
    if (status != 1)
        return Mapped(k, status);
    std::free(rec.base_tbls);
    rec.base_tbls = nullptr;
    rec.tbl_apply = nullptr;
    rec.tbl_oper = nullptr;
    rec.num_tbls = 0;
    if (count < 0 || count > kMostTables)
        return Mapped(k, -805);
    if (count == 0)
        return 1;
    rec.base_tbls = std::calloc(static_cast<size_t>(count), sizeof(KOMBRA_LONG) + sizeof(int8_t));
    if (rec.base_tbls == nullptr)
        return k.tables_block;
    rec.tbl_oper = static_cast<KOMBRA_LONG *>(rec.base_tbls);
    rec.tbl_apply = reinterpret_cast<int8_t *>(rec.tbl_oper + count);
    std::vector<KOMBRA_SHORT> tables(static_cast<size_t>(count));
    status = ir_keld_item(r, tables.data(), tables.size() * sizeof(KOMBRA_SHORT), k.tbls, 0, 0, count);
    if (status == 1)
        status = ir_keld_item(r, rec.tbl_oper, static_cast<size_t>(count) * sizeof(KOMBRA_LONG), k.ops, 0, 0,
                              count);
    if (status != 1)
        return Mapped(k, status);
    for (KOMBRA_SHORT i = 0; i < count; ++i)
        rec.tbl_apply[i] = static_cast<int8_t>(tables[static_cast<size_t>(i)]);
    rec.num_tbls = static_cast<KOMBRA_CHAR>(count);
    return 1;
}

// Opens the ancillary set for the caller's range and gives it caller
// records for its sensors.  1 with the ancillary set current, or the
// reason (stored by the caller).
KOMBRA_SHORT OpenAncillary(const Kind &k, experiment_info &main, ir_ancillary kind, KOMBRA_ULONG key,
                           const char *exten, KOMBRA_USHORT version, const ir_range &r, const KOMBRA_SHORT *sensors,
                           nur_data **records, int count)
{
    KOMBRA_SHORT status =
        ir_file_setup(key, exten, version, r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec, r.ensec);
    if (status != 1)
        return status;
    for (int c = 0; c < count; ++c) {
        status = select_sensor(key, exten, version, sensors[c]);
        if (status == 1 && records[c] == nullptr)
            status = CallerRecord(main, kind, records[c]);
        if (status != 1)
            return status;
    }
    if (ir_locate_ex(key, exten, version, 0) != 1)
        return NURV_NO_DATA_SET;
    experiment_info &anc = *ginfo.expt;
    if (anc.smp_id != 2)
        return k.smp_id;
    anc.mode_version = anc.version;
    anc.mode_done = k.role;
    if (ir_inside_reset_exp)
        anc.fnext = 0;
    return 1;
}

// ---- Pitch angles ---------------------------------------------------------

// Sizes the value blocks of a pitch source for steps steps and sensors
// sensors (growing them when a description needs more).
KOMBRA_SHORT SizePitch(pitch_info &p, long long steps, long long sensors)
{
    if (sensors > p.sensors || p.base_normal == nullptr) {
        if (sensors <= 0)
            return -289;
        void *block = std::realloc(p.base_normal, static_cast<size_t>(sensors) * 32);
        if (block == nullptr)
            return -289;
        p.base_normal = block;
        p.sensors = sensors;
        p.unit_normals = static_cast<double *>(block);
        p.mag_normal = p.unit_normals + 3 * sensors;
    }
    if (steps > p.steps || p.base_data == nullptr) {
        if (steps <= 0)
            return -290;
        void *block = std::realloc(p.base_data, static_cast<size_t>(steps) * 132);
        if (block == nullptr)
            return -290;
        p.base_data = block;
        p.steps = steps;
        p.field_steps = 0;
        auto *d = static_cast<double *>(block);
        p.data_val = d;
        p.start_az = d + 3 * steps;
        p.stop_az = d + 6 * steps;
        p.start_theta = d + 9 * steps;
        p.stop_theta = d + 12 * steps;
        p.time_frac = reinterpret_cast<KOMBRA_FLOAT *>(d + 15 * steps);
    }
    return 1;
}

}  // namespace

KOMBRA_SHORT ir_get_pinfo_rval(int status)
{
    return Mapped(kPitch, status);
}
KOMBRA_SHORT ir_get_pot_info_rval(int status)
{
    return Mapped(kPotential, status);
}
KOMBRA_SHORT ir_get_einfo_rval(int status)
{
    return Mapped(kAttitude, status);
}
KOMBRA_SHORT ir_get_spin_sinfo_rval(int status)
{
    return Mapped(kSpin, status);
}

KOMBRA_SHORT ir_get_pitch_angle_constants(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                          KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    experiment_info &ex = *ginfo.expt;
    pitch_info *p = ex.pitch_angles;
    if (p == nullptr || p->unit_normals == nullptr)
        return -289;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    const int n = ex.num_sensor;
    std::fill(p->unit_normals, p->unit_normals + n, kMissingDouble);
    for (int c = 0; c < ex.num_consts; ++c) {
        KOMBRA_CHAR id = 0;
        int status = ir_keld_item(r, &id, sizeof id, _CONST_ID, static_cast<KOMBRA_SHORT>(c), 0, 1);
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(std::clamp(status, -32768, 32767));
        if (id != 11)
            continue;
        for (int s = 0; s < n; ++s) {
            KOMBRA_LONG value = 0;
            int8_t scale = 0;
            status = ir_keld_item(r, &value, sizeof value, _KELD_CONST, static_cast<KOMBRA_SHORT>(c), s, 1);
            if (status == 1)
                status = ir_keld_item(r, &scale, sizeof scale, _CONST_SCA, static_cast<KOMBRA_SHORT>(c), s, 1);
            if (status != 1)
                return static_cast<KOMBRA_SHORT>(std::clamp(status, -32768, 32767));
            p->unit_normals[s] = static_cast<KOMBRA_FLOAT>(value) * ir_tento(scale);
        }
    }
    for (int s = 0; s < n; ++s)
        if (p->unit_normals[s] < -3e38)
            return -327;
    return 1;
}

KOMBRA_SHORT ir_alloc_pitch_info(KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day, KOMBRA_LONG stop_sec,
                                 KOMBRA_LONG stop_nano)
{
    experiment_info &ex = *ginfo.expt;
    ir_free_pitch_angle_data(&ex);
    auto *p = NewRecord<pitch_info>();
    if (p == nullptr)
        return kPitch.no_record;
    ex.bmem.base_pitch_info = p;
    ex.pitch_angles = p;
    Start(*p, ex, stop_year, stop_day, stop_sec, stop_nano);
    p->pa_format = -1;
    p->get_pa_data = 1;
    std::fill(p->next_data, p->next_data + 3, 1);
    return SizePitch(*p, StepsOf(ex), ex.num_sensor);
}

KOMBRA_SHORT ir_pitch_angle_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                     KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                     KOMBRA_LONG ensec, KOMBRA_ULONG *key_out)
{
    return DataSource(kPitch, data_key, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), key_out, true);
}

KOMBRA_SHORT ir_pitch_angle_tbl_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                     KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    pitch_info *p = ginfo.expt->pitch_angles;
    if (p == nullptr)
        return kPitch.no_record;
    return TableList(kPitch, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), *p);
}

KOMBRA_SHORT ir_get_pitch_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                               KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    const MainSet main;
    experiment_info &ex = *main.ex;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (ex.bmem.base_pitch_info == nullptr) {
        const KOMBRA_SHORT made = ir_alloc_pitch_info(eyr, eday, esec, ensec);
        if (made != 1)
            return made;
    }
    pitch_info &p = *ex.pitch_angles;
    // A later description may need more steps or sensors.
    const KOMBRA_SHORT sized = SizePitch(p, StepsOf(ex), ex.num_sensor);
    if (sized != 1)
        return sized;
    Version(p.version, ex.pa_version);

    int status = ir_keld_item(r, &p.pa_format, sizeof p.pa_format, _PA_FORMAT, 0, 0, 1);
    if (status != 1) {
        p.file_status = Mapped(kPitch, status);
        return 1;
    }
    if (p.pa_format == 0) {
        p.file_status = ir_get_pinfo_rval(ir_get_pitch_angle_constants(byr, bday, bsec, bnsec, eyr, eday, esec, ensec));
        return 1;
    }
    if (p.pa_format != 1)
        return kPitch.bad_format;

    status = ir_keld_item(r, p.sensor, sizeof p.sensor, _PA_BXBYBZ, 0, 0, -1);
    KOMBRA_SHORT code = status == 1 ? KOMBRA_SHORT{1} : Mapped(kPitch, status);
    if (code == 1)
        code = ir_pitch_angle_data_src(ex.data_key, byr, bday, bsec, bnsec, eyr, eday, esec, ensec, &p.data_key);
    if (code == 1)
        code = ir_pitch_angle_tbl_info(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (code == 1)
        code = ir_get_pinfo_rval(ir_get_unit_normals(byr, bday, bsec, bnsec, eyr, eday, esec, ensec));
    if (code == 1)
        code = OpenAncillary(kPitch, ex, ir_ancillary::pitch, p.data_key, p.exten, p.version, r, p.sensor,
                             p.nur_data_ptr, 3);
    p.file_status = code;
    if (code != 1) {
        main.Current();
        return 1;
    }
    experiment_info *anc = ginfo.expt;
    ex.swp_times.pa_times = 1;
    ginfo.expt = anc;
    return 1;
}

// ---- Spacecraft potential ---------------------------------------------------

namespace {

KOMBRA_SHORT SizePotential(potential_info &p, long long steps)
{
    if (steps <= p.steps && p.base_data != nullptr)
        return 1;
    if (steps <= 0)
        return -451;
    void *block = std::realloc(p.base_data, static_cast<size_t>(steps) * 13);
    if (block == nullptr)
        return -451;
    p.base_data = block;
    p.steps = steps;
    p.data_val = static_cast<double *>(block);
    p.time_frac = reinterpret_cast<KOMBRA_FLOAT *>(p.data_val + steps);
    p.step_status = reinterpret_cast<KOMBRA_CHAR *>(p.time_frac + steps);
    return 1;
}

}  // namespace

KOMBRA_SHORT ir_alloc_potential_info(KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day, KOMBRA_LONG stop_sec,
                                     KOMBRA_LONG stop_nano)
{
    experiment_info &ex = *ginfo.expt;
    ir_free_potential_data(&ex);
    auto *p = NewRecord<potential_info>();
    if (p == nullptr)
        return kPotential.no_record;
    ex.bmem.base_potential_info = p;
    ex.potential = p;
    Start(*p, ex, stop_year, stop_day, stop_sec, stop_nano);
    p->scpot_format = -1;
    p->get_potential_data = 1;
    p->next_data = 1;
    return SizePotential(*p, StepsOf(ex));
}

KOMBRA_SHORT ir_potential_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                   KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                   KOMBRA_LONG ensec, KOMBRA_ULONG *key_out)
{
    return DataSource(kPotential, data_key, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), key_out, true);
}

KOMBRA_SHORT ir_potential_tbl_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                   KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    potential_info *p = ginfo.expt->potential;
    if (p == nullptr)
        return kPotential.no_record;
    return TableList(kPotential, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), *p);
}

KOMBRA_SHORT ir_get_potential_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                   KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    const MainSet main;
    experiment_info &ex = *main.ex;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (ex.bmem.base_potential_info == nullptr) {
        const KOMBRA_SHORT made = ir_alloc_potential_info(eyr, eday, esec, ensec);
        if (made != 1)
            return made;
    }
    potential_info &p = *ex.potential;
    const KOMBRA_SHORT sized = SizePotential(p, StepsOf(ex));
    if (sized != 1)
        return sized;
    Version(p.version, ex.potential_version);

    int status = ir_keld_item(r, &p.scpot_format, sizeof p.scpot_format, _POT_SRC_FORMAT, 0, 0, 1);
    if (status != 1) {
        p.file_status = Mapped(kPotential, status);
        return 1;
    }
    if (p.scpot_format == 0) {
        status = ir_keld_item(r, &p.constant_val, sizeof p.constant_val, _POT_CONSTANT_VAL, 0, 0, -1);
        p.file_status = status == 1 ? KOMBRA_SHORT{1} : Mapped(kPotential, status);
        return 1;
    }
    if (p.scpot_format != 1)
        return kPotential.bad_format;

    KOMBRA_SHORT code =
        ir_potential_data_src(ex.data_key, byr, bday, bsec, bnsec, eyr, eday, esec, ensec, &p.data_key);
    if (code == 1) {
        status = ir_keld_item(r, &p.sensor, sizeof p.sensor, _POT_SRC_SENSOR, 0, 0, -1);
        code = status == 1 ? KOMBRA_SHORT{1} : Mapped(kPotential, status);
    }
    if (code == 1)
        code = ir_potential_tbl_info(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (code == 1) {
        p.constant_val = IR_MISSING_VALUE;
        status = ir_keld_item(r, &p.constant_val, sizeof p.constant_val, _POT_CONSTANT_VAL, 0, 0, -1);
        code = status == 1 ? KOMBRA_SHORT{1} : Mapped(kPotential, status);
    }
    if (code == 1)
        code = OpenAncillary(kPotential, ex, ir_ancillary::potential, p.data_key, p.exten, p.version, r, &p.sensor,
                             &p.nur_data_ptr, 1);
    p.file_status = code;
    if (code != 1) {
        main.Current();
        return 1;
    }
    experiment_info *anc = ginfo.expt;
    ex.swp_times.pot_times = 1;
    ginfo.expt = anc;
    return 1;
}

// ---- Attitude angles ---------------------------------------------------------

namespace {

// Sizes the angle block of an attitude source (format 1: steps steps;
// format 0: sensors sensors).
KOMBRA_SHORT SizeEuler(euler_info &e, long long steps, long long sensors)
{
    const long long a = e.num_pmi_angles;
    if (e.pmi_format == 1) {
        if (steps <= e.steps && e.base_sensors_axis != nullptr)
            return 1;
        if (steps <= 0)
            return -476;
        // Keep the per-angle arrays when the block grows.
        std::vector<KOMBRA_SHORT> sensor, axis;
        std::vector<KOMBRA_CHAR> next, done;
        if (e.base_sensors_axis != nullptr) {
            sensor.assign(e.sensor, e.sensor + a);
            axis.assign(e.rot_axis, e.rot_axis + a);
            next.assign(e.next_data, e.next_data + a);
            done.assign(e.all_done, e.all_done + a);
        } else {
            sensor.assign(static_cast<size_t>(a), 0);
            axis.assign(static_cast<size_t>(a), 0);
            next.assign(static_cast<size_t>(a), 1);
            done.assign(static_cast<size_t>(a), 0);
        }
        void *block = std::realloc(e.base_sensors_axis, static_cast<size_t>(8 * a * steps + 6 * a));
        if (block == nullptr)
            return -476;
        e.base_sensors_axis = block;
        e.steps = steps;
        e.euler_angle = static_cast<KOMBRA_FLOAT *>(block);
        e.time_frac = e.euler_angle + a * steps;
        e.sensor = reinterpret_cast<KOMBRA_SHORT *>(e.time_frac + a * steps);
        e.rot_axis = e.sensor + a;
        e.next_data = reinterpret_cast<KOMBRA_CHAR *>(e.rot_axis + a);
        e.all_done = e.next_data + a;
        std::copy(sensor.begin(), sensor.end(), e.sensor);
        std::copy(axis.begin(), axis.end(), e.rot_axis);
        std::copy(next.begin(), next.end(), e.next_data);
        std::copy(done.begin(), done.end(), e.all_done);
        return 1;
    }
    if (sensors <= e.sensors && e.base_sensors_axis != nullptr)
        return 1;
    if (sensors <= 0)
        return -476;
    std::free(e.base_sensors_axis);
    e.base_sensors_axis = std::calloc(static_cast<size_t>(6 * a * sensors), 1);
    if (e.base_sensors_axis == nullptr)
        return -476;
    e.sensors = sensors;
    e.euler_angle = static_cast<KOMBRA_FLOAT *>(e.base_sensors_axis);
    e.rot_axis = reinterpret_cast<KOMBRA_SHORT *>(e.euler_angle + a * sensors);
    e.time_frac = nullptr;
    e.sensor = nullptr;
    e.next_data = e.all_done = nullptr;
    return 1;
}

}  // namespace

KOMBRA_SHORT ir_get_euler_angle_constants(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                          KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    experiment_info &ex = *ginfo.expt;
    euler_info *e = ex.euler_angles;
    if (e == nullptr || e->euler_angle == nullptr)
        return -476;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    const int n = ex.num_sensor, a_count = e->num_pmi_angles;
    int a = 0, x = 0;
    for (int c = 0; c < ex.num_consts; ++c) {
        KOMBRA_CHAR id = 0;
        int status = ir_keld_item(r, &id, sizeof id, _CONST_ID, static_cast<KOMBRA_SHORT>(c), 0, 1);
        if (status != 1)
            return static_cast<KOMBRA_SHORT>(std::clamp(status, -32768, 32767));
        if (id != 12 && id != 13)
            continue;
        if (id == 12 && a == a_count)
            return -479;
        if (id == 13 && x == a_count)
            return -480;
        for (int s = 0; s < n; ++s) {
            KOMBRA_LONG value = 0;
            int8_t scale = 0;
            status = ir_keld_item(r, &value, sizeof value, _KELD_CONST, static_cast<KOMBRA_SHORT>(c), s, 1);
            if (status == 1)
                status = ir_keld_item(r, &scale, sizeof scale, _CONST_SCA, static_cast<KOMBRA_SHORT>(c), s, 1);
            if (status != 1)
                return static_cast<KOMBRA_SHORT>(std::clamp(status, -32768, 32767));
            const KOMBRA_FLOAT v = static_cast<KOMBRA_FLOAT>(value) * ir_tento(scale);
            if (id == 12)
                e->euler_angle[a * n + s] = v;
            else
                e->rot_axis[x * n + s] = static_cast<KOMBRA_SHORT>(std::lround(v));
        }
        (id == 12 ? a : x) += 1;
    }
    if (a != a_count)
        return -477;
    if (x != a_count)
        return -478;
    return 1;
}

KOMBRA_SHORT ir_alloc_euler_info(KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day, KOMBRA_LONG stop_sec,
                                 KOMBRA_LONG stop_nano, KOMBRA_SHORT num_pmi_angles, KOMBRA_SHORT pmi_format)
{
    experiment_info &ex = *ginfo.expt;
    if (num_pmi_angles < 1)
        return -476;
    ir_free_euler_angle_data(&ex);
    auto *e = NewRecord<euler_info>();
    if (e == nullptr)
        return kAttitude.no_record;
    ex.bmem.base_euler_info = e;
    ex.euler_angles = e;
    Start(*e, ex, stop_year, stop_day, stop_sec, stop_nano);
    e->num_pmi_angles = num_pmi_angles;
    e->pmi_format = pmi_format;
    e->get_pmi_data = 1;
    if (pmi_format == 1) {
        e->nur_data_ptr =
            static_cast<nur_data **>(std::calloc(static_cast<size_t>(num_pmi_angles), sizeof(nur_data *)));
        if (e->nur_data_ptr == nullptr)
            return -481;
    }
    // No angle block for a format that the set-up refuses.
    if (pmi_format != 0 && pmi_format != 1)
        return 1;
    return SizeEuler(*e, StepsOf(ex), ex.num_sensor);
}

KOMBRA_SHORT ir_euler_angle_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                     KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                     KOMBRA_LONG ensec, KOMBRA_ULONG *key_out)
{
    return DataSource(kAttitude, data_key, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), key_out, true);
}

KOMBRA_SHORT ir_euler_angle_tbl_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                     KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    euler_info *e = ginfo.expt->euler_angles;
    if (e == nullptr)
        return kAttitude.no_record;
    return TableList(kAttitude, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), *e);
}

KOMBRA_SHORT ir_get_euler_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                               KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    const MainSet main;
    experiment_info &ex = *main.ex;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (ex.bmem.base_euler_info == nullptr) {
        KOMBRA_SHORT angles = 0, format = -1;
        int status = ir_keld_item(r, &angles, sizeof angles, _NUM_PMI_ANGLES, 0, 0, 1);
        if (status == 1)
            status = ir_keld_item(r, &format, sizeof format, _PMI_FORMAT, 0, 0, 1);
        if (status != 1)
            return Mapped(kAttitude, status);
        const KOMBRA_SHORT made = ir_alloc_euler_info(eyr, eday, esec, ensec, angles, format);
        if (made != 1)
            return made;
    }
    euler_info &e = *ex.euler_angles;
    if (e.pmi_format == 0 || e.pmi_format == 1) {
        // A later description may need more steps or sensors.
        const KOMBRA_SHORT sized = SizeEuler(e, StepsOf(ex), ex.num_sensor);
        if (sized != 1)
            return sized;
    }
    Version(e.version, ex.pmi_version);
    if (e.pmi_format == 0) {
        e.file_status =
            ir_get_einfo_rval(ir_get_euler_angle_constants(byr, bday, bsec, bnsec, eyr, eday, esec, ensec));
        return 1;
    }
    if (e.pmi_format != 1)
        return kAttitude.bad_format;

    const long long a = e.num_pmi_angles;
    KOMBRA_SHORT code =
        ir_euler_angle_data_src(ex.data_key, byr, bday, bsec, bnsec, eyr, eday, esec, ensec, &e.data_key);
    if (code == 1) {
        int status = ir_keld_item(r, e.sensor, sizeof(KOMBRA_SHORT) * static_cast<size_t>(a), _PMI_SENSORS, 0, 0,
                                  static_cast<KOMBRA_SHORT>(a));
        if (status == 1)
            status = ir_keld_item(r, e.rot_axis, sizeof(KOMBRA_SHORT) * static_cast<size_t>(a), _PMI_ROTATION_AXIS,
                                  0, 0, static_cast<KOMBRA_SHORT>(a));
        code = status == 1 ? KOMBRA_SHORT{1} : Mapped(kAttitude, status);
    }
    if (code == 1)
        code = ir_euler_angle_tbl_info(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (code == 1)
        code = OpenAncillary(kAttitude, ex, ir_ancillary::attitude, e.data_key, e.exten, e.version, r, e.sensor,
                             e.nur_data_ptr, static_cast<int>(a));
    e.file_status = code;
    if (code != 1) {
        main.Current();
        return 1;
    }
    experiment_info *anc = ginfo.expt;
    ex.swp_times.euler_times = 1;
    ginfo.expt = anc;
    return 1;
}

// ---- Start of spin -----------------------------------------------------------

KOMBRA_SHORT ir_alloc_spin_src_info()
{
    experiment_info &ex = *ginfo.expt;
    ir_free_spin_src_data(&ex);
    auto *s = NewRecord<spin_src_info>();
    if (s == nullptr)
        return kSpin.no_record;
    ex.bmem.base_spin_src = s;
    ex.spin_src = s;
    std::memcpy(s->exten, ex.exten, 2);
    s->no_acquire = 1;
    return 1;
}

KOMBRA_SHORT ir_start_spin_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                    KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                    KOMBRA_LONG ensec, KOMBRA_ULONG *key_out)
{
    return DataSource(kSpin, data_key, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec), key_out, false);
}

KOMBRA_SHORT ir_get_spin_src_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                  KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    const MainSet main;
    experiment_info &ex = *main.ex;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
    if (ex.bmem.base_spin_src == nullptr) {
        const KOMBRA_SHORT made = ir_alloc_spin_src_info();
        if (made != 1)
            return made;
    }
    spin_src_info &s = *ex.spin_src;
    Version(s.version, ex.spin_version);
    KOMBRA_SHORT code =
        ir_start_spin_data_src(ex.data_key, byr, bday, bsec, bnsec, eyr, eday, esec, ensec, &s.data_key);
    if (code == 1) {
        int status = ir_keld_item(r, &s.sensor, sizeof s.sensor, _START_SPIN_SENSOR, 0, 0, -1);
        if (status == 1)
            status = ir_keld_item(r, &s.msec_adj, sizeof s.msec_adj, _START_SPIN_MSEC_ADJ, 0, 0, -1);
        if (status == 1)
            status = ir_keld_item(r, &s.nsec_adj, sizeof s.nsec_adj, _START_SPIN_NSEC_ADJ, 0, 0, -1);
        code = status == 1 ? KOMBRA_SHORT{1} : Mapped(kSpin, status);
    }
    if (code == 1)
        code = OpenAncillary(kSpin, ex, ir_ancillary::spin, s.data_key, s.exten, s.version, r, &s.sensor,
                             &s.nur_data_ptr, 1);
    s.file_status = code;
    main.Current();
    if (code == 1)
        ex.spin_method = 1;
    return 1;
}

// ---- The family glue: set-up, positioning, rebuild, teardown ----------------

namespace {

struct SourceState {
    bool exists = false;
    bool ancillary = false;  // format 1 (start of spin: always)
    KOMBRA_SHORT *file_status = nullptr;
    KOMBRA_ULONG key = 0;
    const char *exten = "";
    KOMBRA_USHORT version = 0;
    nur_data *first = nullptr;
    bool unread = false;     // nothing read yet: to be positioned
    const Kind *kind = nullptr;
    int8_t *times_flag = nullptr;
};

SourceState StateOf(experiment_info &ex, ir_ancillary kind)
{
    SourceState s;
    switch (kind) {
    case ir_ancillary::pitch:
        if (pitch_info *p = ex.pitch_angles; p != nullptr && ex.bmem.base_pitch_info != nullptr)
            s = {true, p->pa_format == 1, &p->file_status, p->data_key, p->exten, p->version, p->nur_data_ptr[0],
                 p->ptimes.byear == 0, &kPitch, &ex.swp_times.pa_times};
        break;
    case ir_ancillary::potential:
        if (potential_info *p = ex.potential; p != nullptr && ex.bmem.base_potential_info != nullptr)
            s = {true, p->scpot_format == 1, &p->file_status, p->data_key, p->exten, p->version, p->nur_data_ptr,
                 p->last_swp.byear == 0, &kPotential, &ex.swp_times.pot_times};
        break;
    case ir_ancillary::attitude:
        if (euler_info *e = ex.euler_angles; e != nullptr && ex.bmem.base_euler_info != nullptr)
            s = {true, e->pmi_format == 1, &e->file_status, e->data_key, e->exten, e->version,
                 e->nur_data_ptr != nullptr ? e->nur_data_ptr[0] : nullptr, e->ptimes.byear == 0, &kAttitude,
                 &ex.swp_times.euler_times};
        break;
    case ir_ancillary::spin:
        if (spin_src_info *p = ex.spin_src; p != nullptr && ex.bmem.base_spin_src != nullptr)
            s = {true, true, &p->file_status, p->data_key, p->exten, p->version, p->nur_data_ptr,
                 p->no_acquire != 0, &kSpin, nullptr};
        break;
    }
    return s;
}

KOMBRA_SHORT SetUp(ir_ancillary kind, const ir_range &r)
{
    switch (kind) {
    case ir_ancillary::pitch: return ir_get_pitch_info(r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec, r.ensec);
    case ir_ancillary::potential:
        return ir_get_potential_info(r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec, r.ensec);
    case ir_ancillary::attitude: return ir_get_euler_info(r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec, r.ensec);
    case ir_ancillary::spin: return ir_get_spin_src_info(r.byr, r.bday, r.bsec, r.bnsec, r.eyr, r.eday, r.esec, r.ensec);
    }
    return 1;
}

KOMBRA_SHORT SetupSeam(ir_ancillary kind, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                       KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec)
{
    return SetUp(kind, RangeOf(byr, bday, bsec, bnsec, eyr, eday, esec, ensec));
}

// Rebuild for a new description of the main set from begin on.
KOMBRA_SHORT Renew(ir_ancillary kind, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                   KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG)
{
    const MainSet main;
    experiment_info &ex = *main.ex;
    const ir_range r = RangeOf(byr, bday, bsec, bnsec, ex.etime_year, ex.etime_day, ex.etime_sec, ex.etime_nsec);
    const KOMBRA_SHORT status = SetUp(kind, r);
    const SourceState s = StateOf(ex, kind);
    if (status != 1) {
        main.Current();
        if (s.times_flag != nullptr)
            *s.times_flag = 0;
        return status;
    }
    if (ginfo.expt != main.ex) {
        main.Current();
        if (s.exists && *s.file_status == 1 && ir_locate_ex(s.key, s.exten, s.version, 0) == 1) {
            experiment_info &anc = *ginfo.expt;
            anc.fnext = 0;
            const KOMBRA_LONG next_offset = anc.next_offset;
            const KOMBRA_SHORT pos = file_pos(s.key, s.exten, s.version, s.first, r.byr, r.bday, r.bsec, r.bnsec,
                                              r.eyr, r.eday, r.esec, r.ensec);
            if (pos != 1) {
                main.Current();
                return pos;
            }
            if (ir_locate_ex(s.key, s.exten, s.version, 0) == 1)
                ginfo.expt->next_offset = next_offset;
        }
    }
    main.Current();
    return 1;
}

// Positioning with the main set's first positioning.
KOMBRA_SHORT Position(ir_ancillary kind, nur_data *d)
{
    const MainSet main;
    const SourceState s = StateOf(*main.ex, kind);
    if (!s.exists || !s.ancillary || d == nullptr)
        return 1;
    KOMBRA_SHORT result = 1;
    if (*s.file_status == 1 && s.unread) {
        if (file_pos(s.key, s.exten, s.version, s.first, d->byear, d->bday, d->bsec, d->bnsec, d->eyear, d->eday,
                     d->esec, d->ensec) != 1)
            result = s.kind->position;
    } else if (*s.file_status != 1 && ir_locate_ex(s.key, s.exten, s.version, 0) == 1) {
        experiment_info &anc = *ginfo.expt;
        anc.fnext = 1;
        anc.mode_version = anc.version;
        anc.mode_done = s.kind->role;
    }
    main.Current();
    return result;
}

}  // namespace

// Frees the blocks of a source and its record; its caller records are kept
// for the next set-up of the same kind.
void ir_free_pitch_angle_data(experiment_info *entry)
{
    pitch_info *p = static_cast<pitch_info *>(entry->bmem.base_pitch_info);
    if (p != nullptr) {
        for (nur_data *&record : p->nur_data_ptr)
            KeepRecord(*entry, ir_ancillary::pitch, record);
        std::free(p->base_tbls);
        std::free(p->base_normal);
        std::free(p->base_data);
        std::free(p->base_field);
        std::free(p);
    }
    entry->bmem.base_pitch_info = nullptr;
    entry->pitch_angles = nullptr;
}

void ir_free_potential_data(experiment_info *entry)
{
    potential_info *p = static_cast<potential_info *>(entry->bmem.base_potential_info);
    if (p != nullptr) {
        KeepRecord(*entry, ir_ancillary::potential, p->nur_data_ptr);
        std::free(p->base_tbls);
        std::free(p->base_data);
        std::free(p);
    }
    entry->bmem.base_potential_info = nullptr;
    entry->potential = nullptr;
}

void ir_free_euler_angle_data(experiment_info *entry)
{
    euler_info *e = static_cast<euler_info *>(entry->bmem.base_euler_info);
    if (e != nullptr) {
        if (e->nur_data_ptr != nullptr)
            for (int j = 0; j < e->num_pmi_angles; ++j)
                KeepRecord(*entry, ir_ancillary::attitude, e->nur_data_ptr[j]);
        std::free(e->nur_data_ptr);
        std::free(e->base_tbls);
        std::free(e->base_sensors_axis);
        std::free(e);
    }
    entry->bmem.base_euler_info = nullptr;
    entry->euler_angles = nullptr;
}

void ir_free_spin_src_data(experiment_info *entry)
{
    spin_src_info *s = static_cast<spin_src_info *>(entry->bmem.base_spin_src);
    if (s != nullptr) {
        KeepRecord(*entry, ir_ancillary::spin, s->nur_data_ptr);
        std::free(s);
    }
    entry->bmem.base_spin_src = nullptr;
    entry->spin_src = nullptr;
}

namespace {

// Releases a source's ancillary set, then frees the source.
void Release(experiment_info *entry, ir_ancillary kind)
{
    experiment_info *current = ginfo.expt;
    const SourceState s = StateOf(*entry, kind);
    if (s.exists && s.ancillary && ir_locate_ex(s.key, s.exten, s.version, 0) == 1) {
        experiment_info *anc = ginfo.expt;
        anc->los = 1;
        anc->eop = 1;
        ir_free_ex_structure(anc);
    }
    ginfo.expt = current;
    switch (kind) {
    case ir_ancillary::pitch: ir_free_pitch_angle_data(entry); break;
    case ir_ancillary::potential: ir_free_potential_data(entry); break;
    case ir_ancillary::attitude: ir_free_euler_angle_data(entry); break;
    case ir_ancillary::spin: ir_free_spin_src_data(entry); break;
    }
}

void Rearm(experiment_info *ex)
{
    if (ex->pitch_angles != nullptr)
        ex->pitch_angles->get_pa_data = 1;
    if (ex->potential != nullptr)
        ex->potential->get_potential_data = 1;
    if (ex->euler_angles != nullptr)
        ex->euler_angles->get_pmi_data = 1;
}

long long AttitudeAngles(const experiment_info *ex)
{
    return ex->euler_angles != nullptr ? ex->euler_angles->num_pmi_angles : 0;
}

}  // namespace

void ir_free_pa_information(experiment_info *entry)
{
    Release(entry, ir_ancillary::pitch);
}
void ir_free_potential_information(experiment_info *entry)
{
    Release(entry, ir_ancillary::potential);
}
void ir_free_euler_information(experiment_info *entry)
{
    Release(entry, ir_ancillary::attitude);
}
void ir_free_spin_src_information(experiment_info *entry)
{
    Release(entry, ir_ancillary::spin);
}

KOMBRA_SHORT ir_new_nur_file_pa(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec)
{
    return Renew(ir_ancillary::pitch, byr, bday, bsec, bnsec, 0, 0, 0, 0);
}
KOMBRA_SHORT ir_new_nur_file_potential(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec)
{
    return Renew(ir_ancillary::potential, byr, bday, bsec, bnsec, 0, 0, 0, 0);
}
KOMBRA_SHORT ir_new_nur_file_euler(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec)
{
    return Renew(ir_ancillary::attitude, byr, bday, bsec, bnsec, 0, 0, 0, 0);
}
KOMBRA_SHORT ir_new_nur_file_spin_src(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec)
{
    return Renew(ir_ancillary::spin, byr, bday, bsec, bnsec, 0, 0, 0, 0);
}

KOMBRA_SHORT pitch_angle_source_status(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                                       KOMBRA_USHORT *pa_status, KOMBRA_ULONG *pa_key)
{
    if (pa_key != nullptr)
        *pa_key = 0;
    experiment_info *current = ginfo.called_locate ? ginfo.expt : nullptr;
    if (ir_locate_ex(data_key, exten, vnum, 0) != 1)
        return NURV_PA_NOT_OPEN;
    const experiment_info &ex = *ginfo.expt;
    KOMBRA_USHORT status = 0;
    if (ex.pa_def && ex.bmem.base_pitch_info != nullptr) {
        const pitch_info &p = *ex.pitch_angles;
        const KOMBRA_SHORT f = p.file_status;
        if (p.pa_format == 0) {
            status = f == 1 ? 1 : 4;
        } else {
            if (pa_key != nullptr)
                *pa_key = p.data_key;
            if (f == 1)
                status = 1;
            else if (f >= -1020 && f <= -1000)
                status = 2;
            else if (f > 999 || f == NURV_NO_HEADER_FILE || f == NURV_NO_DATA_FILE)
                status = 3;
            else
                status = 4;
        }
    }
    if (pa_status != nullptr)
        *pa_status = status;
    if (current != nullptr)
        ginfo.expt = current;
    return 1;
}

// The seams' entries of the sources.
KOMBRA_SHORT ir_setup_ancillary(ir_ancillary kind, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                KOMBRA_LONG ensec)
{
    return SetupSeam(kind, byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
}
KOMBRA_SHORT ir_renew_ancillary(ir_ancillary kind, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                KOMBRA_LONG ensec)
{
    return Renew(kind, byr, bday, bsec, bnsec, eyr, eday, esec, ensec);
}
void ir_release_ancillary(experiment_info *entry, ir_ancillary kind)
{
    Release(entry, kind);
}
KOMBRA_SHORT ir_position_ancillary(ir_ancillary kind, nur_data *d)
{
    return Position(kind, d);
}
void ir_rearm_ancillary(experiment_info *entry)
{
    Rearm(entry);
}
long long ir_num_attitude_angles(const experiment_info *entry)
{
    return AttitudeAngles(entry);
}
