// Default members of the seam table: the reader's own steps.
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

}  // namespace

const nurv_seams ir_default_seams = {
    .read_keld = read_keld,
    .close_keld = CloseKELD,
    .oper_asgn = ir_oper_asgn,
    .sensor_combo = ir_sensor_combo,
    .get_mode_info = ir_get_mode_info,
    .read_header = ir_read_header,
    .check_dependent_on_header = ir_check_dependent_on_header,
    .num_attitude_angles = ir_num_attitude_angles,
    .setup_ancillary = ir_setup_ancillary,
    .renew_ancillary = ir_renew_ancillary,
    .release_ancillary = ir_release_ancillary,
    .position_ancillary = ir_position_ancillary,
    .ancillary_values = ir_ancillary_values,
    .rearm_ancillary = ir_rearm_ancillary,
    .check_critical_status = ir_check_critical_status,
    .free_pitch_angle_data = ir_free_pitch_angle_data,
    .free_potential_data = ir_free_potential_data,
    .free_euler_angle_data = ir_free_euler_angle_data,
    .free_spin_src_data = ir_free_spin_src_data,
};

nurv_seams ir_seams = ir_default_seams;
