// The reader's process-wide state: its globals, the one-time set-up, version
// numbers and the final release of everything.
#include "nurv_int.h"

#include <cstdlib>

general_info ginfo;
KOMBRA_LONG InitNurvEntry = 0;
void *ir_tmp_space = nullptr;
KOMBRA_UINT ir_tmp_bytes = 0;
void *ir_base_units = nullptr;
KOMBRA_FLOAT *ir_units_data = nullptr;
KOMBRA_UINT ir_units_bytes = 0;
void *ir_base_swp = nullptr;
KOMBRA_FLOAT *ir_swp_base_units = nullptr, *ir_swp_high = nullptr, *ir_swp_low = nullptr;
KOMBRA_UINT ir_swp_bytes = 0;
KOMBRA_CHAR ir_block_adv = 0, ir_swap_data = 0, ir_inside_reset_exp = 0, ir_reset_sensors = 0;
KOMBRA_FLOAT ir_conv_fill[8192];
ir_nur_oper_fn NUR_OPER[10];
ir_combine_fn COMBINE_OPER[10];
KOMBRA_SHORT ir_table_limit = INT16_MAX;
bool ir_match_reuse = true;

void ir_init_struct(void)
{
    ginfo = general_info{};
}

void init_nurv(void)
{
    if (InitNurvEntry == IR_INIT_MARK)
        return;
    ir_init_struct();
    ir_seams.oper_asgn();
    ir_base_units = nullptr;
    ir_units_data = nullptr;
    ir_base_swp = nullptr;
    ir_swp_base_units = ir_swp_high = ir_swp_low = nullptr;
    ir_tmp_space = nullptr;
    ir_units_bytes = 0;
    ir_swp_bytes = 0;
    ir_tmp_bytes = IR_TMP_START_BYTES;
    ir_block_adv = 0;
    ir_swap_data = 0;
    ir_inside_reset_exp = 0;
    ir_set_fd_limit();
    // A missing scratch block is not reported: the steps that need scratch
    // grow it themselves and report their own failure.
    ir_tmp_space = std::malloc(ir_tmp_bytes);
    if (ir_tmp_space == nullptr)
        ir_tmp_bytes = 0;
    InitNurvEntry = IR_INIT_MARK;
}

// A retired entry (data key 0) gives its number back once; every later entry
// with data key 0 and the same number is retired with it (65535), so that
// the number is handed out only once.
void get_version_number(KOMBRA_USHORT *vnum)
{
    if (vnum == nullptr)
        return;
    for (int i = 0; i < ginfo.nds; ++i) {
        experiment_info &ex = ginfo.exbase[i];
        if (ex.data_key != 0 || ex.version >= 65535)
            continue;
        const KOMBRA_USHORT reused = ex.version;
        *vnum = reused;
        ex.version = 65535;
        for (int j = i + 1; j < ginfo.nds; ++j) {
            experiment_info &later = ginfo.exbase[j];
            if (later.data_key == 0 && later.version == reused)
                later.version = 65535;
        }
        return;
    }
    *vnum = ginfo.next_version++;
}

void free_experiment_info(void)
{
    // Caller records and the version count are released even when no data
    // set was ever opened, so nothing leaks and numbering restarts at 0.
    for (experiment_info &ex : ginfo.exbase)
        ir_free_ex_structure(&ex);
    for (nur_data *p : ginfo.nur_data_ptr) {
        ir_free_nur_data_ptr(p);
        std::free(p);
    }
    for (tensor_data *p : ginfo.tensor_data_ptr) {
        ir_free_tensor_data_ptr(p);
        std::free(p);
    }
    for (void *p : ginfo.moments_data_ptr)
        std::free(p);
    ir_init_struct();

    std::free(ir_tmp_space);
    ir_tmp_space = nullptr;
    ir_tmp_bytes = 0;
    std::free(ir_base_swp);
    ir_base_swp = nullptr;
    ir_swp_base_units = ir_swp_high = ir_swp_low = nullptr;
    ir_swp_bytes = 0;
    std::free(ir_base_units);
    ir_base_units = nullptr;
    ir_units_data = nullptr;
    ir_units_bytes = 0;

    ir_seams.close_keld();
    InitNurvEntry = 0;
}
