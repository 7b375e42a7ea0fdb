// Default members of the seam table: the reader's own steps and, for the
// ancillary sources (pitch angles, spin, potential, attitude), "no source":
// set-up succeeds without allocating and the value calls deliver nothing.
#include "nurv_int.h"

#include "libKELD.h"

#include <cstdlib>

namespace {

// The description registry in its checked form: the reader's buffers are
// sized from counts of the description, and a list that holds more values
// must fail rather than be cut.  The seam takes the item code as a plain int.
int read_keld(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
              KOMBRA_LONG etime_nsec, void *var, size_t var_size, int what, KOMBRA_SHORT num,
              KOMBRA_LONG start, KOMBRA_SHORT len)
{
    return ReadKELDChecked(data_key, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                           etime_nsec, var, var_size, static_cast<KELD_DEFS>(what), num, start, len);
}

// No ancillary source is built yet: nothing is set up, so there are no
// values to deliver and nothing to re-arm.
KOMBRA_SHORT no_ancillary_values(nur_data *, KOMBRA_SHORT, KOMBRA_CHAR)
{
    return 1;
}

void no_rearm(experiment_info *) {}

KOMBRA_SHORT no_ancillary_step(ir_ancillary, KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, KOMBRA_SHORT,
                               KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG)
{
    return 1;
}

void no_ancillary_release(experiment_info *, ir_ancillary) {}

KOMBRA_SHORT no_ancillary_position(ir_ancillary, nur_data *)
{
    return 1;
}

// No attitude source is built yet.
long long no_attitude_angles(const experiment_info *)
{
    return 0;
}

// Nothing sets up an ancillary source yet; should a record exist, its block
// is released so that it does not outlive the entry.
void free_pitch_record(experiment_info *entry)
{
    std::free(entry->bmem.base_pitch_info);
    entry->bmem.base_pitch_info = nullptr;
    entry->pitch_angles = nullptr;
}

void free_potential_record(experiment_info *entry)
{
    std::free(entry->bmem.base_potential_info);
    entry->bmem.base_potential_info = nullptr;
    entry->potential = nullptr;
}

void free_euler_record(experiment_info *entry)
{
    std::free(entry->bmem.base_euler_info);
    entry->bmem.base_euler_info = nullptr;
    entry->euler_angles = nullptr;
}

void free_spin_record(experiment_info *entry)
{
    std::free(entry->bmem.base_spin_src);
    entry->bmem.base_spin_src = nullptr;
    entry->spin_src = nullptr;
}

}  // namespace

const nurv_seams ir_default_seams = {
    .read_keld = read_keld,
    .close_keld = CloseKELD,
    .oper_asgn = ir_oper_asgn,
    .sensor_combo = ir_sensor_combo,
    .get_mode_info = ir_get_mode_info,
    .read_header = ir_read_header,
    .check_dependent_on_header = ir_check_dependent_on_header,
    .num_attitude_angles = no_attitude_angles,
    .setup_ancillary = no_ancillary_step,
    .renew_ancillary = no_ancillary_step,
    .release_ancillary = no_ancillary_release,
    .position_ancillary = no_ancillary_position,
    .ancillary_values = no_ancillary_values,
    .rearm_ancillary = no_rearm,
    .check_critical_status = ir_check_critical_status,
    .free_pitch_angle_data = free_pitch_record,
    .free_potential_data = free_potential_record,
    .free_euler_angle_data = free_euler_record,
    .free_spin_src_data = free_spin_record,
};

nurv_seams ir_seams = ir_default_seams;
