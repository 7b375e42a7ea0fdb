// Releasing the blocks of table entries and caller records.  Every pointer
// is nulled as its block goes, so a release may run twice.
#include "nurv_int.h"

#include <cstdlib>
#include <unistd.h>

namespace {

template <typename T>
void release(T *&block)
{
    std::free(block);
    block = nullptr;
}

}  // namespace

void ir_free_sensor_tables(experiment_info *entry)
{
    if (entry == nullptr)
        return;
    if (entry->sen_tbl_ptr != nullptr) {
        for (int c = 0; c < entry->num_combo; ++c) {
            sensor_tables &st = entry->sen_tbl_ptr[c];
            release(st.base_tbls);
            release(st.base_misc_tbls);
            st.tbls = nullptr;
            st.tbl_ptr = nullptr;
            st.tbl_size = nullptr;
            st.tbl_expand = nullptr;
            st.tbl_fmt = nullptr;
            if (st.act_ptr != nullptr)
                for (int a = 0; a < entry->crit_action; ++a)
                    release(st.act_ptr[a].base_action);
            release(st.base_crit_action);
            st.act_ptr = nullptr;
        }
    }
    release(entry->bmem.base_sen_ptr);
    entry->sen_tbl_ptr = nullptr;
    entry->num_combo = 0;
    release(entry->bmem.base_tbl_index);
    entry->index_sen_tbl = nullptr;
}

void ir_free_mode_tables(experiment_info *entry)
{
    if (entry == nullptr)
        return;
    if (entry->mode_tbl_ptr != nullptr) {
        for (int m = 0; m < entry->num_modes; ++m) {
            mode_tables &mt = entry->mode_tbl_ptr[m];
            release(mt.base_tbls);
            release(mt.base_misc_tbls);
        }
    }
    release(entry->bmem.base_mode_ptr);
    entry->mode_tbl_ptr = nullptr;
}

void ir_free_ex_structure(experiment_info *entry)
{
    if (entry == nullptr)
        return;
    alloc_experiment &b = entry->bmem;

    release(b.base_inst_tbl_info);
    entry->tbl_info_ptr = nullptr;
    release(entry->cal_target);
    release(entry->cal_wlen);
    release(entry->cal_scope);
    release(entry->cal_d_type);
    release(entry->d_type);
    release(entry->sen_tdw_len);
    release(entry->sen_status);

    if (ptr_rec *ptr = entry->info_ptr) {
        release(ptr->base_fmt1);
        release(ptr->base_fmt2);
        ptr->hdr_fmt1_ptr = nullptr;
        ptr->hdr_fmt2_ptr = nullptr;
    }
    release(b.base_hdr);
    entry->HEADER_MEM = nullptr;
    release(b.base_data);
    entry->DATA_MEM = nullptr;
    release(b.base_info_ptr);
    entry->info_ptr = nullptr;

    release(b.base_cal);
    entry->CAL_USE = nullptr;
    entry->CSET_NUM = nullptr;
    release(b.base_time_off);
    entry->time_off = nullptr;
    release(entry->swp_times.base_time);
    entry->swp_times.btime_ms = entry->swp_times.btime_ns = nullptr;
    entry->swp_times.etime_ms = entry->swp_times.etime_ns = nullptr;
    release(b.base_start_spin_off);
    entry->start_spin_off = nullptr;
    release(b.base_start_spin_info);
    entry->start_sptr = nullptr;
    release(b.base_constant);
    entry->constants = nullptr;
    release(entry->sensors_needed);

    ir_free_sensor_tables(entry);
    ir_free_mode_tables(entry);

    // Display-side records: never made by this system, released if present.
    release(b.base_pinfo_ptr);
    entry->plot_info = nullptr;
    release(b.base_tab_data);
    entry->tab_data = nullptr;
    release(b.base_fill_sen);
    entry->fill_sen_ptr = nullptr;
    release(b.base_mode_info);
    entry->mode_info_ptr = nullptr;
    release(b.base_collapse);
    entry->collapse_ptr = nullptr;
    release(b.base_bin);
    entry->bin_ptr = nullptr;
    release(b.base_fill_arrays);
    entry->fill_arrays = nullptr;
    release(b.base_mode_arrays);
    entry->mode_arrays = nullptr;
    release(b.base_timing);
    entry->timing_ptr = nullptr;

    if (b.base_pitch_info != nullptr)
        ir_seams.free_pitch_angle_data(entry);
    if (b.base_spin_src != nullptr)
        ir_seams.free_spin_src_data(entry);
    if (b.base_potential_info != nullptr)
        ir_seams.free_potential_data(entry);
    if (b.base_euler_info != nullptr)
        ir_seams.free_euler_angle_data(entry);

    if (entry->fdh != -1)
        close(entry->fdh);
    if (entry->fdd != -1)
        close(entry->fdd);
    entry->fdh = entry->fdd = -1;
}

void ir_free_nur_data_ptr(nur_data *p)
{
    if (valid_nur_data_structure(p) == 0)
        return;
    release(p->base_cal);
    p->cal_data = nullptr;
    p->cal_size = 0;
    p->cal_len = 0;
    release(p->base_data);
    p->sen_data = nullptr;
    p->data_size = 0;
    p->num_sample = 0;
    release(p->base_swp);
    p->swp_data = nullptr;
    p->swp_size = 0;
    p->num_swp_steps = 0;
    release(p->base_angle);
    p->start_az = p->stop_az = nullptr;
    p->angle_size = 0;
    p->num_angle = 0;
    release(p->base_mode);
    p->mode = nullptr;
    p->mode_size = 0;
    p->mode_len = 0;
    release(p->base_pitch);
    p->pitch_angles = nullptr;
    p->pitch_size = 0;
    p->num_pitch = 0;
    release(p->base_cset);
    p->cset_num = nullptr;
    if (p->dir_cosines != nullptr)
        release(p->dir_cosines->base_block);
    release(p->base_dir_cosines);
    p->dir_cosines = nullptr;
    release(p->base_potential);
    p->potential = nullptr;
    p->potential_size = 0;
    p->num_potential = 0;
    release(p->base_euler);
    p->euler_angles = nullptr;
    p->euler_rot_axis = nullptr;
    p->euler_size = 0;
    p->num_euler = 0;
}

// No operation of this system makes tensor records, so a registered one owns
// no arrays that the reader knows of; only registration is checked.
void ir_free_tensor_data_ptr(tensor_data *p)
{
    if (valid_tensor_data_structure(p) == 0)
        return;
}
