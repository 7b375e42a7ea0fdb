// nurv_int.h: the reader's internal records, process-wide state and the
// seams through which it calls steps and libraries that live elsewhere.
//
// Ownership rule for every record below: each block hung on a table entry
// (experiment_info) or on a caller record (nur_data) is a malloc/calloc/
// realloc block, owned by the member the comments name, and released with
// free() by ir_free_ex_structure or ir_free_nur_data_ptr.  Typed members
// point into those blocks.
//
// Locate rule: every public call that names a data set first makes its entry
// current (ir_locate_ex) unless ginfo.called_locate is set, in which case the
// current entry is used as it stands.  A public call that calls other public
// calls sets called_locate after locating and clears it on every return when
// it was the one that set it.
#pragma once

#include "nurv.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// ---- Header and data record pointers ------------------------------------

// Format-1 (scalar) header part: pointers into the header buffer.
struct nurv_info {
    KOMBRA_USHORT *N_SAMPLE;
    KOMBRA_SHORT *SAMP_INDEX;
};

// Format-2 (tensor) header part: pointers into the header buffer.
struct tensor_info {
    KOMBRA_SHORT *TENSOR_RANK;
    KOMBRA_ULONG *TENSOR_SETS;
    KOMBRA_LONG *TENSOR_INDEX;
};

// Pointers into the current header record (HEADER_MEM) and data record
// (DATA_MEM) of one data set, and the record cursor.  Made when the entry is
// added; the header and data readers aim the pointers.
struct ptr_rec {
    KOMBRA_LONG d_size;             // bytes of every data record
    KOMBRA_USHORT h_size;           // bytes of the header in memory; 65535 until the first header
    // header fields
    KOMBRA_SHORT *YEAR;
    KOMBRA_SHORT *DAYOFYEAR;
    int8_t *TIME_UNITS;
    KOMBRA_UCHAR *I_MODE;
    KOMBRA_LONG *DATA_ACCUM;
    KOMBRA_LONG *DATA_LAT;
    KOMBRA_LONG *SWP_RESET;
    KOMBRA_LONG *SEN_RESET;
    KOMBRA_SHORT *N_SEN;
    KOMBRA_SHORT *SENSOR_INDEX;
    KOMBRA_UCHAR *DQUAL;
    KOMBRA_UCHAR *MODE_INDEX;
    // data record fields
    KOMBRA_LONG *TIME;
    KOMBRA_LONG *SPIN;
    KOMBRA_LONG *SUN_SEN;
    KOMBRA_LONG *HDR_OFF;
    KOMBRA_LONG *NSS;
    KOMBRA_LONG *NANO_RES;          // null when the records carry none
    KOMBRA_UCHAR *DATA;
    KOMBRA_UCHAR *CAL_SWP_TBL;      // each calibration pointer null when its count is 0
    KOMBRA_UCHAR *CAL_SENSOR;
    KOMBRA_UCHAR *ALL_CAL_SWP;
    KOMBRA_UCHAR *ALL_CAL_SEN;
    // cursor
    KOMBRA_CHAR reset_hdr;          // a header change waits for completion
    KOMBRA_CHAR chg_sen_set;        // the last advance completed a sensor set
    KOMBRA_LONG prev_hd;            // header-file offset of the header in memory; -1 none
    KOMBRA_LONG cur_sen_set;        // current sensor set; -1 before the first record
    KOMBRA_LONG time_row;           // current sweep step
    KOMBRA_LONG time_col;           // current sensor column
    KOMBRA_LONG num_all_swp_cal, num_all_sen_cal, num_swp_cal, num_sen_cal;
    int8_t swp_bit, sen_bit, all_swp_bit, all_sen_bit;  // bit offsets 0..7
    KOMBRA_CHAR time_advanced;
    KOMBRA_CHAR increasing_angles;  // SPIN > 0
    KOMBRA_FLOAT deg_per_msec;      // 360 / SPIN
    nurv_info *hdr_fmt1_ptr;        // in base_fmt1
    tensor_info *hdr_fmt2_ptr;      // in base_fmt2
    void *base_fmt1;
    void *base_fmt2;
};

// ---- Description-side records --------------------------------------------

// Attributes of one description table.
struct inst_tbl_info {
    KOMBRA_LONG tbl_sca_sz;         // scale factors: >0 one per value, <0 one per sensor, 0 none
    KOMBRA_LONG crit_act_sz;        // non-zero: the table has critical actions
    int8_t tbl_type;
    int8_t tbl_var;                 // what the table is a function of
    int8_t tbl_expand;
    int8_t sen_fn_of_raw, swp_fn_of_raw, cal_fn_of_raw, scpot_fn_of_raw, mode_fn_of_raw;
};

// One critical action of a combination's table.
struct crit_action_info {
    KOMBRA_LONG *crit_action;       // description offset per status value; base_action
    KOMBRA_LONG crit_offset;        // offset now loaded; -1 none
    KOMBRA_SHORT crit_flag;         // status value now loaded; -1 none
    KOMBRA_UCHAR crit_status;       // MODE_INDEX byte holding the status; 255 none
    int8_t crit_tbl;                // the table's number
    KOMBRA_SHORT num_states;        // offsets in crit_action: the status byte's states
    void *base_action;
};

// Conversion tables of one sensor combination.
struct sensor_tables {
    KOMBRA_FLOAT *tbls;             // all tables, one after the other; base_tbls
    KOMBRA_FLOAT **tbl_ptr;         // per table number; null for a table of negative format
    KOMBRA_LONG *tbl_size;          // values per table
    int8_t *tbl_expand;
    int8_t *tbl_fmt;
    int8_t num_tbls;                // ordinary tables
    void *base_tbls;
    void *base_misc_tbls;           // holds tbl_size, tbl_ptr, tbl_expand, tbl_fmt
    int8_t max_tdw_len;
    crit_action_info *act_ptr;      // one per table with critical actions; base_crit_action
    void *base_crit_action;
};

// Conversion tables of one mode byte.
struct mode_tables {
    KOMBRA_FLOAT *tbls;
    KOMBRA_FLOAT **tbl_ptr;
    KOMBRA_LONG *tbl_size;
    int8_t *tbl_expand;
    int8_t *tbl_var;
    int8_t *tbl_fmt;
    int8_t *tbl_num;                // description table number of each mode table
    int8_t num_tbls;
    void *base_tbls;
    void *base_misc_tbls;           // holds tbl_size, tbl_ptr, tbl_var, tbl_expand, tbl_fmt, tbl_num
};

// ---- Timing records ------------------------------------------------------

// Pixel timing record.
struct timing {
    KOMBRA_LONG pix_num, start_sec, start_nano, end_sec, end_nano;
    KOMBRA_SHORT start_yr, start_day, end_yr, end_day;
};

// Pixel time base; all zero in this system.
struct time_info {
    KOMBRA_SHORT base_year, base_day;
    KOMBRA_LONG base_sec, base_nano, base_pix, res_sec, res_nano;
    KOMBRA_FLOAT pix_width;
};

// Begin and end of every sweep step: four arrays in the one block base_time.
struct sweep_timing {
    KOMBRA_LONG *btime_ms, *btime_ns, *etime_ms, *etime_ns;
    int8_t get_times, pa_times, pot_times, euler_times, use_end_yr_day, same_times;
    void *base_time;
};

// Owning pointers of an entry's blocks.  A non-null base_pitch_info,
// base_spin_src, base_potential_info or base_euler_info also means that the
// ancillary source has been set up.
struct alloc_experiment {
    void *base_hdr;             // HEADER_MEM
    void *base_data;            // DATA_MEM
    void *base_cal;             // CAL_USE, then CSET_NUM
    void *base_info_ptr;        // info_ptr
    void *base_sen_ptr;         // sen_tbl_ptr (num_combo records)
    void *base_mode_ptr;        // mode_tbl_ptr (num_modes records)
    void *base_pinfo_ptr;       // plot_info
    void *base_tab_data;        // tab_data
    void *base_time_off;        // time_off
    void *base_tbl_index;       // index_sen_tbl
    void *base_fill_sen;        // fill_sen_ptr
    void *base_mode_info;       // mode_info_ptr
    void *base_constant;        // constants
    void *base_collapse;        // collapse_ptr
    void *base_bin;             // bin_ptr
    void *base_timing;          // timing_ptr
    void *base_fill_arrays;     // fill_arrays
    void *base_mode_arrays;     // mode_arrays
    void *base_pitch_info;      // pitch_angles
    void *base_euler_info;      // euler_angles
    void *base_spin_src;        // spin_src
    void *base_start_spin_off;  // start_spin_off
    void *base_start_spin_info; // start_sptr
    void *base_potential_info;  // potential
    void *base_inst_tbl_info;   // tbl_info_ptr
};

// The begin and end of a step or an ancillary record.
struct time_span {
    KOMBRA_SHORT byear, bday;
    KOMBRA_LONG bmilli;             // milliseconds of day
    KOMBRA_LONG bnano;              // nanoseconds below the millisecond, 0 .. 999999
    KOMBRA_SHORT eyear, eday;
    KOMBRA_LONG emilli, enano;
    KOMBRA_BOOL leap_year;
    KOMBRA_SHORT bdays_in_yr;       // 365 or 366, of the begin year
};

// The ancillary sources of a main data set share these members (by name):
// data_key, version and exten of the ancillary data set, file_status (1
// usable, else the reason), the end of the caller's range (stop_year,
// stop_day, stop_sec, stop_nano) and the conversion table list (num_tbls,
// tbl_apply, tbl_oper in the block base_tbls).  Each record is one zeroed
// heap block (the entry's bmem pointer); its value blocks are sized for
// steps steps (and sensors sensors) and grow when a later description needs
// more.

// The converted value of a source component's current record, kept while
// that record serves further steps of one acquisition (valid 0: none kept).
struct held_value {
    KOMBRA_DOUBLE value;
    KOMBRA_CHAR valid;
};

// The pitch-angle source.  Element 3k + c of a value array belongs to step
// k and field component c (0 x, 1 y, 2 z).
struct pitch_info {
    time_span ptimes;               // the field record last read for component 0
    KOMBRA_DOUBLE *start_az, *stop_az, *start_theta, *stop_theta;  // in base_data
    KOMBRA_DOUBLE *data_val;        // in base_data
    KOMBRA_DOUBLE *unit_normals;    // per sensor x, y, z (format 1), or its constant angle; base_normal
    KOMBRA_DOUBLE *mag_normal;      // per sensor, in base_normal
    KOMBRA_FLOAT *time_frac;        // in base_data; -1 before any
    KOMBRA_FLOAT last_comp_frac;
    KOMBRA_ULONG data_key;          // the field data set
    KOMBRA_LONG stop_sec, stop_nano;
    KOMBRA_SHORT stop_year, stop_day;
    KOMBRA_SHORT sensor[3];
    KOMBRA_SHORT pa_format;         // 0 constants, 1 field data set, -1 not read
    KOMBRA_SHORT file_status;       // 1 usable, else the reason
    KOMBRA_LONG *tbl_oper;          // in base_tbls
    KOMBRA_USHORT version;
    int8_t *tbl_apply;              // in base_tbls
    KOMBRA_CHAR num_tbls;
    KOMBRA_CHAR next_data[3], all_done[3];
    KOMBRA_CHAR exten[3];
    KOMBRA_CHAR get_pa_data;
    KOMBRA_BOOL copy_next_data, copy_all_done;
    nur_data *nur_data_ptr[3];
    void *base_tbls, *base_normal, *base_data;
    long long steps, sensors;       // sizes of base_data (steps) and base_normal (sensors)
    // What the deliveries of one acquisition share: each component's
    // converted value, and per step the field's length (0 when a component
    // is missing) and the floats that every sensor gets alike (direction
    // cosines, then the four look angles, 3 per step each) for the first
    // field_steps steps (0: not worked out since the values last changed).
    held_value held[3];
    KOMBRA_DOUBLE *field_length;    // in base_field
    KOMBRA_FLOAT *field_floats;     // in base_field, 15 x field_room
    void *base_field;
    long long field_room, field_steps;
};

// The spacecraft-potential source.
struct potential_info {
    time_span last_swp;             // the record last read
    KOMBRA_DOUBLE *data_val;        // per step, in base_data
    KOMBRA_FLOAT *time_frac;        // per step, in base_data; -1 before any
    KOMBRA_CHAR *step_status;       // per step, 2 while it holds the constant fallback
    KOMBRA_FLOAT constant_val;
    KOMBRA_ULONG data_key;
    KOMBRA_LONG stop_sec, stop_nano;
    KOMBRA_SHORT stop_year, stop_day;
    KOMBRA_SHORT sensor;
    KOMBRA_SHORT file_status;
    KOMBRA_SHORT scpot_format;      // 0 constant, 1 potential data set, -1 not read
    KOMBRA_LONG *tbl_oper;
    KOMBRA_USHORT version;
    int8_t *tbl_apply;
    KOMBRA_CHAR num_tbls;
    KOMBRA_CHAR next_data, all_done;
    KOMBRA_CHAR exten[3];
    KOMBRA_CHAR get_potential_data;
    nur_data *nur_data_ptr;
    void *base_tbls, *base_data;
    long long steps;
    held_value held;                // the current record's converted value
};

// The attitude source: num_pmi_angles (A) angles.  Format 1: element
// k A + j of euler_angle and time_frac belongs to step k and angle j;
// format 0: element j num_sensor + s of euler_angle and rot_axis to angle j
// and sensor s.
struct euler_info {
    time_span ptimes;
    KOMBRA_FLOAT *euler_angle;      // in base_sensors_axis
    KOMBRA_FLOAT *time_frac;        // format 1, in base_sensors_axis
    KOMBRA_FLOAT last_comp_frac;
    KOMBRA_ULONG data_key;
    KOMBRA_LONG *tbl_oper;
    KOMBRA_LONG stop_sec, stop_nano;
    KOMBRA_SHORT stop_year, stop_day;
    KOMBRA_SHORT pmi_format;        // 0 constants, 1 attitude data set
    KOMBRA_SHORT num_pmi_angles;
    KOMBRA_SHORT file_status;
    KOMBRA_SHORT *sensor;           // format 1: per angle
    KOMBRA_SHORT *rot_axis;         // per angle (format 1) or per angle and sensor (format 0)
    KOMBRA_USHORT version;
    int8_t *tbl_apply;
    KOMBRA_CHAR *next_data, *all_done;  // format 1: per angle
    KOMBRA_CHAR num_tbls;
    KOMBRA_CHAR exten[3];
    KOMBRA_CHAR get_pmi_data;
    KOMBRA_BOOL copy_next_data, copy_all_done;
    void *base_tbls, *base_sensors_axis;
    nur_data **nur_data_ptr;        // format 1: per angle, an own block
    long long steps, sensors;       // sizes of the angle block
};

// The start-of-spin source.
struct spin_src_info {
    KOMBRA_ULONG data_key;
    KOMBRA_LONG msec_adj, nsec_adj;
    KOMBRA_USHORT version;
    KOMBRA_SHORT sensor;
    KOMBRA_SHORT file_status;
    KOMBRA_CHAR no_acquire;         // 1: positioned with the main set
    KOMBRA_CHAR los_flag;
    KOMBRA_CHAR exten[3];
    nur_data *nur_data_ptr;
};

struct start_spin_info;

// ---- One open data set ---------------------------------------------------

// A table entry.  The default values are those of a new entry.  Arrays
// without a base_ member of bmem (per-sensor and calibration attributes,
// sensors_needed) are their own blocks.
struct experiment_info {
    alloc_experiment bmem{};
    ptr_rec *info_ptr = nullptr;
    inst_tbl_info *tbl_info_ptr = nullptr;
    sensor_tables *sen_tbl_ptr = nullptr;
    mode_tables *mode_tbl_ptr = nullptr;
    void *plot_info = nullptr;          // display side: never made here
    void *tab_data = nullptr;
    void *fill_sen_ptr = nullptr;
    void *mode_info_ptr = nullptr;
    void *collapse_ptr = nullptr;
    void *bin_ptr = nullptr;
    timing *timing_ptr = nullptr;
    void *fill_arrays = nullptr;
    void *mode_arrays = nullptr;
    time_info time_values{};
    sweep_timing swp_times{};
    pitch_info *pitch_angles = nullptr;
    spin_src_info *spin_src = nullptr;
    start_spin_info *start_sptr = nullptr;
    potential_info *potential = nullptr;
    euler_info *euler_angles = nullptr;
    int fdh = -1, fdd = -1;             // header and data file; -1 while closed
    KOMBRA_ULONG inh = 0, ind = 0;      // inodes of the real-time files opened last
    KOMBRA_ULONG data_key = 0;
    KOMBRA_LONG btime_sec = 0, btime_nsec = 0, etime_sec = 0, etime_nsec = 0;  // requested range
    KOMBRA_LONG btime_ms = 0, btime_ns = 0, etime_ms = 0, etime_ns = 0;        // current sample
    KOMBRA_LONG accum_ss_ms = 0, accum_ss_ns = 0;
    KOMBRA_LONG next_offset = 0;
    KOMBRA_LONG initial_gap = -1;
    KOMBRA_LONG *start_spin_off = nullptr;  // per sensor, ms
    KOMBRA_LONG *time_off = nullptr;        // per sensor, ms
    KOMBRA_LONG de_msec = 0;
    KOMBRA_LONG fill_value = 0;
    KOMBRA_LONG accum_ss_sz = 0;
    KOMBRA_LONG accum_ms = 0, accum_ns = 0, lat_ms = 0, lat_ns = 0;
    KOMBRA_LONG swp_ms = 0, swp_ns = 0, sen_ms = 0, sen_ns = 0;
    KOMBRA_LONG time_col_ms = 0, time_col_ns = 0, time_row_ms = 0, time_row_ns = 0;
    KOMBRA_LONG time_sm_ms = 0, time_sm_ns = 0;
    KOMBRA_FLOAT rec_time = 0, read_cnt = 0;
    KOMBRA_FLOAT *constants = nullptr;  // num_sensor values per row
    KOMBRA_USHORT de_year = 0;          // description end; 65535: none
    KOMBRA_SHORT de_day = 0, de_usec = 0;
    KOMBRA_SHORT num_of_plots = 0, swp_len = 0;
    KOMBRA_SHORT *CAL_USE = nullptr;    // in bmem.base_cal
    KOMBRA_USHORT *CSET_NUM = nullptr;  // in bmem.base_cal
    KOMBRA_USHORT num_sample = 0;
    KOMBRA_SHORT num_sensor = 0, num_sen_used = 0, num_combo = 0;
    KOMBRA_SHORT *index_sen_tbl = nullptr;
    KOMBRA_SHORT num_fill_sensor = 0, num_mode_info = 0;
    KOMBRA_SHORT max_packing = 0, max_nss = 0;
    KOMBRA_SHORT btime_year = 0, btime_day = 0, etime_year = 0, etime_day = 0;
    KOMBRA_USHORT version = 0, mode_version = 32767, pa_version = 0, pmi_version = 0;
    KOMBRA_USHORT spin_version = 0, potential_version = 0;
    std::string header_name, data_name;  // paths of the open files
    // Playback: the first record of the data file from which on its records
    // do not read in order, and its number of whole records (positioning
    // walks them); a read there meets the file's end, and says so once.
    // -1 while every record reads in order, before positioning and in real
    // time.
    long long disorder_at = -1, records_whole = 0;
    KOMBRA_CHAR told_disorder = 0;
    // Caller records of released ancillary sets, per kind (ir_ancillary),
    // for the next set-up of that kind.
    std::vector<nur_data *> kept_records[4];
    KOMBRA_CHAR exten[3] = {0, 0, 0};
    KOMBRA_CHAR fnext = 0;
    KOMBRA_CHAR first_open = 1;
    KOMBRA_CHAR fill_flag = 0;
    int8_t num_tbls = 0, num_consts = 0;
    int8_t tdw_len = -1;                // sample width in bits; -1 until the description is read
    int8_t *sen_tdw_len = nullptr;      // own block
    KOMBRA_CHAR *sen_status = nullptr;  // own block
    int8_t cal_sets = 0;
    int8_t *cal_wlen = nullptr;         // own block
    int8_t smp_id = 0;
    int8_t *d_type = nullptr;           // own block
    int8_t sen_mode = 0;
    int8_t TRC = 0, TRP = 0, TCP = 0;
    KOMBRA_CHAR *HEADER_MEM = nullptr;  // bmem.base_hdr
    KOMBRA_CHAR *DATA_MEM = nullptr;    // bmem.base_data
    KOMBRA_CHAR first_select = 1;
    KOMBRA_CHAR los = 0, eop = 0;
    KOMBRA_CHAR *sensors_needed = nullptr;  // own block, num_sensor flags
    KOMBRA_CHAR drec_eof = 0, hrec_eof = 0;
    int8_t da_method = 0;
    int8_t *cal_target = nullptr, *cal_scope = nullptr, *cal_d_type = nullptr;  // own blocks
    KOMBRA_UCHAR cur_panel = 0;
    int8_t cal_mod_swp = 0;
    KOMBRA_CHAR all_or_one = 0;         // per-sensor time offsets differ
    int8_t crit_action = 0;             // tables with critical actions
    KOMBRA_UCHAR num_modes = 0;
    int8_t mode_done = 0;
    KOMBRA_CHAR pa_def = 0, spin_src_def = 0, potential_def = 0, euler_def = 0;
    KOMBRA_CHAR scf_tie = 0;
    KOMBRA_CHAR phi_method = 0;
    KOMBRA_CHAR nano_defined = 0;
    int8_t data_lat_units = 0, swp_reset_units = 0, sen_reset_units = 0;  // powers of ten
    KOMBRA_SHORT last_sensor = -1;
    int8_t header_format = -1;
    KOMBRA_SHORT tensor_rank = -1;
    KOMBRA_LONG tensor_sizes[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    KOMBRA_SHORT spin_sen_ctrl = -1, spin_method = 2;
    KOMBRA_BOOL return_euler_angles = sFalse;
    KOMBRA_BOOL return_pitch_angles = sTrue;
    KOMBRA_BOOL override_potential_poly = sFalse;
    KOMBRA_FLOAT potential_slope = 0, potential_intercept = 0;
};

// ---- Process-wide state --------------------------------------------------

// The table of open data sets and the records handed to callers.  Entries
// live in a deque: adding one never moves the others, so a pointer to an
// entry (expt, or one a caller holds across a call that adds entries) stays
// valid until free_experiment_info.
struct general_info {
    KOMBRA_SHORT nds = 0;               // entries in exbase
    KOMBRA_SHORT pos_ex = 0;            // index of the current entry
    std::deque<experiment_info> exbase; // the table; entry i is exbase[i]
    experiment_info *expt = nullptr;    // current entry
    KOMBRA_CHAR called_locate = 0;
    KOMBRA_USHORT next_version = 0;
    std::vector<nur_data *> nur_data_ptr;        // registered caller records
    std::vector<tensor_data *> tensor_data_ptr;  // registered tensor records (none made)
    std::vector<void *> moments_data_ptr;        // registered moments records (none made)

    // How many records each list holds.
    KOMBRA_LONG num_nur_data_ptr() const { return static_cast<KOMBRA_LONG>(nur_data_ptr.size()); }
    KOMBRA_LONG num_tensor_data_ptr() const { return static_cast<KOMBRA_LONG>(tensor_data_ptr.size()); }
    KOMBRA_LONG num_moments_data_ptr() const { return static_cast<KOMBRA_LONG>(moments_data_ptr.size()); }
};

// Element operation of the conversion kernels: combines target elements with
// one table applied to an input array.
typedef void (*ir_nur_oper_fn)(KOMBRA_FLOAT *ret_data, const void *inp_data, KOMBRA_LONG inp_start,
                               const KOMBRA_FLOAT *tbl, KOMBRA_LONG tbl_sz, KOMBRA_LONG num_data,
                               int8_t look_up, int8_t dtype, KOMBRA_LONG hold_val, int8_t fn_of_raw,
                               int8_t tdw_len, int8_t tbl_type, const KOMBRA_LONG *swp_data,
                               KOMBRA_SHORT swp_len);
// Buffer combination: ret_data[j] := ret_data[j] OP accum_data[j].
typedef void (*ir_combine_fn)(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data,
                              KOMBRA_LONG num_data);

constexpr KOMBRA_LONG IR_INIT_MARK = 1234567890;  // InitNurvEntry once set up
constexpr KOMBRA_UINT IR_TMP_START_BYTES = 1024;  // first size of the scratch block
constexpr int IR_NUR_DATA_STEP = 25;              // caller-record list grows by this many
constexpr int IR_ITEM_TIME_OFF = 48;              // description item: per-sensor time offsets

extern general_info ginfo;
extern KOMBRA_LONG InitNurvEntry;
extern void *ir_tmp_space;
extern KOMBRA_UINT ir_tmp_bytes;
extern void *ir_base_units;
extern KOMBRA_FLOAT *ir_units_data;
extern KOMBRA_UINT ir_units_bytes;
extern void *ir_base_swp;
extern KOMBRA_FLOAT *ir_swp_base_units, *ir_swp_high, *ir_swp_low;
extern KOMBRA_UINT ir_swp_bytes;
extern KOMBRA_CHAR ir_block_adv, ir_swap_data, ir_inside_reset_exp, ir_reset_sensors;
extern KOMBRA_FLOAT ir_conv_fill[8192];
extern ir_nur_oper_fn NUR_OPER[10];
extern ir_combine_fn COMBINE_OPER[10];

// Most entries the table may hold (its index is 16-bit).  Tests lower it to
// reach the limit quickly.
extern KOMBRA_SHORT ir_table_limit;

// Set: the matching converts an ancillary record once while it serves
// further steps, and works out once per acquisition what the pitch angles
// of every sensor share.  Tests clear it to have every step converted and
// every sensor worked out anew, and compare the two.
extern bool ir_match_reuse;

// The ancillary sources of a data set.
enum class ir_ancillary { pitch, spin, potential, attitude };

// ---- Seams ----------------------------------------------------------------
// Calls into other steps and libraries, swappable so that tests can stand in
// for them.  Each member starts at a default from seams.cpp: the real step,
// or, for the ancillary sources, "no source".  Tests swap members and
// restore them.  Times are (year, day, second of day, nanosecond) of the begin and
// then the end of the caller's range.
struct nurv_seams {
    // Description registry: ReadKELDChecked (what is the item code) into var
    // of var_size bytes; a list with more values than var holds is -814.
    int (*read_keld)(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                     KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                     KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec,
                     void *var, size_t var_size, int what, KOMBRA_SHORT num, KOMBRA_LONG start,
                     KOMBRA_SHORT len);
    // Description registry: CloseKELD, closing every loaded description.
    void (*close_keld)(void);
    // Fills NUR_OPER and COMBINE_OPER (ir_oper_asgn).
    void (*oper_asgn)(void);
    // Sensor combinations with their tables (ir_sensor_combo), current entry.
    KOMBRA_SHORT (*sensor_combo)(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG,
                                 KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG);
    // Mode tables (ir_get_mode_info), current entry.
    KOMBRA_SHORT (*get_mode_info)(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG,
                                  KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG);
    // Reads the header at the header file's position (ir_read_header):
    // 1, 0, 9, 12, -42 (read), -43 (no memory), -44 (no growth) or another code.
    KOMBRA_SHORT (*read_header)(nur_data *nur_data_ptr);
    // Re-sizes the caller record for the current header (ir_check_dependent_on_header).
    KOMBRA_SHORT (*check_dependent_on_header)(nur_data *nur_data_ptr);
    // Number of attitude angles of the entry's attitude source (its
    // num_pmi_angles; 0 while it has none).
    long long (*num_attitude_angles)(const experiment_info *entry);
    // Sets up an ancillary source of the current entry that its description
    // defines, for the open's begin and end; it may add table entries.
    KOMBRA_SHORT (*setup_ancillary)(ir_ancillary kind, KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG,
                                    KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG);
    // Renews it when the data set moves to the next description.
    KOMBRA_SHORT (*renew_ancillary)(ir_ancillary kind, KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG,
                                    KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG);
    // Releases it (entry's source state and the source's data set).
    void (*release_ancillary)(experiment_info *entry, ir_ancillary kind);
    // Positions it at the time of the record just positioned at (the caller
    // record's begin and end); 1 or a failure.
    KOMBRA_SHORT (*position_ancillary)(ir_ancillary kind, nur_data *nur_data_ptr);
    // Values of the ancillary sources (pitch angles, spacecraft potential,
    // attitude angles) of the current record into the caller's record, for
    // the sources that are set up; 1 or a failure.
    KOMBRA_SHORT (*ancillary_values)(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR full_swp);
    // Re-arms the acquisition of each ancillary source for the next record.
    void (*rearm_ancillary)(experiment_info *entry);
    // Re-reads the tables whose critical status the new header changed
    // (ir_check_critical_status), for the caller's begin and end.
    KOMBRA_SHORT (*check_critical_status)(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG,
                                          KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG);
    // Free operations of the ancillary sources of an entry: free the source
    // record and its blocks and null the entry's pointers to them.
    void (*free_pitch_angle_data)(experiment_info *entry);
    void (*free_potential_data)(experiment_info *entry);
    void (*free_euler_angle_data)(experiment_info *entry);
    void (*free_spin_src_data)(experiment_info *entry);
};

extern nurv_seams ir_seams;
// The defaults, so that a test can restore them.
extern const nurv_seams ir_default_seams;

// ---- Reader state and table ----------------------------------------------

// A data set's identity, to make its entry current again after a call that
// may have made another one current.
struct ir_identity {
    KOMBRA_ULONG key;
    std::string exten;
    KOMBRA_USHORT vnum;
    KOMBRA_SHORT Locate() const;
};
ir_identity ir_identity_of(const experiment_info &ex);

// Marks a public call as the one that located the current entry
// (ginfo.called_locate) and clears the mark on every return of that call.
class ir_locate_hold {
public:
    ir_locate_hold() = default;
    ~ir_locate_hold()
    {
        if (set_)
            ginfo.called_locate = 0;
    }
    ir_locate_hold(const ir_locate_hold &) = delete;
    ir_locate_hold &operator=(const ir_locate_hold &) = delete;
    void Set()
    {
        ginfo.called_locate = 1;
        set_ = true;
    }

private:
    bool set_ = false;
};

// Clears every member of ginfo.
void ir_init_struct(void);
// Gives entry index its initial values.
void ir_init_experiment_info(int index);
// Makes the entry (data_key, exten, vnum) current; with alloc_mem set, adds it
// when absent.  A null exten counts as "".  1, -3 (absent), -5, -6.
KOMBRA_SHORT ir_locate_ex(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                          KOMBRA_CHAR alloc_mem);
// Per-open blocks of the current entry, made on the first record after an
// open: sweep-step times, time offsets, pixel timing.  1 or a failure code.
KOMBRA_SHORT ir_alloc_exp_once(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                               KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                               KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec, nur_data *nur_data_ptr);
// Pixel timing records of the current entry.  1 or -119.
KOMBRA_SHORT ir_alloc_timing(void);
// Raises the soft open-file limit to the hard limit; a failure is printed and
// the limit stays as it was (-1).
int ir_set_fd_limit(void);

// ---- Caller records ---------------------------------------------------------

// Ensures swp_data holds num_ele values.  1 or -61.
KOMBRA_SHORT ir_alloc_swp_data(KOMBRA_LONG num_ele, nur_data *nur_data_ptr);
// Ensures cal_data holds the calibration values of the current entry.  1 or -124.
KOMBRA_SHORT ir_check_cal_size(nur_data *nur_data_ptr);
// Re-sizes a caller record for the current header of (data_key, exten, vnum).
KOMBRA_SHORT ir_check_nur_data_memory(KOMBRA_ULONG data_key, const char *exten,
                                      KOMBRA_USHORT vnum, nur_data *nur_data_ptr);

// ---- Release ----------------------------------------------------------------

// Frees every block of an entry, closes its files; the entry stays in the table.
void ir_free_ex_structure(experiment_info *entry);
// Frees the arrays of a registered caller record (not the record).
void ir_free_nur_data_ptr(nur_data *p);
void ir_free_tensor_data_ptr(tensor_data *p);
void ir_free_sensor_tables(experiment_info *entry);
void ir_free_mode_tables(experiment_info *entry);

// ---- Description values -----------------------------------------------------
// Each takes the caller's begin and end (year, day, second of day, nanosecond)
// and works on the current entry.

// The caller's begin and end, as every description read takes them.
struct ir_range {
    KOMBRA_SHORT byr, bday;
    KOMBRA_LONG bsec, bnsec;
    KOMBRA_SHORT eyr, eday;
    KOMBRA_LONG esec, ensec;
};
// Item what of the current entry's description into var of size bytes,
// through the read_keld seam.
int ir_keld_item(const ir_range &r, void *var, size_t size, int what, KOMBRA_SHORT num = 0, KOMBRA_LONG start = 0,
                 KOMBRA_SHORT len = -1);

// Maps a description read's -811, -805, -807, -808, -806 to first .. first-4;
// other values pass on, cut to 16 bits.
KOMBRA_SHORT ir_keld_rval(int status, KOMBRA_SHORT first);
KOMBRA_SHORT ir_once_rval(int status);
KOMBRA_SHORT ir_update_rval(int status);
KOMBRA_SHORT ir_mode_tbl_size_rval(int status);
KOMBRA_SHORT ir_get_crit_rval(int status);
KOMBRA_SHORT ir_get_new_rval(int status);
KOMBRA_SHORT ir_read_in_rval(int status);
KOMBRA_SHORT ir_create_rval(int status);
KOMBRA_SHORT ir_get_const_rval(int status);
// A table with tbl_type not 1 and tbl_var neither 4 nor 5.
bool ir_ordinary_table(const inst_tbl_info &info);

// The once-per-set values, then ir_read_nur_update.
KOMBRA_SHORT ir_read_nur_once(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                              KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// The per-file values, then ir_get_constants.
KOMBRA_SHORT ir_read_nur_update(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// The constant rows (4, or 6 when phi_method is 1, of num_sensor values).
KOMBRA_SHORT ir_get_constants(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                              KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// The sensors' unit normals into the entry's pitch record (whose normals
// block exists); -288 when a sensor lacks a component.
KOMBRA_SHORT ir_get_unit_normals(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                 KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                 KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);

// ---- Look-up tables -----------------------------------------------------------

// Tables of combination combo (sen_tbl_ptr[combo], its max_tdw_len set)
// from the description values of its first sensor.
KOMBRA_SHORT ir_get_tbl_info(KOMBRA_SHORT sensor, KOMBRA_SHORT combo, KOMBRA_SHORT btime_yr,
                             KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                             KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                             KOMBRA_LONG etime_nsec);
// tbl_size of every ordinary table of combination combo and the total bytes.
// 1, or -462, -463, -464 for a table that no size can be given.
KOMBRA_SHORT ir_tbl_size(KOMBRA_SHORT combo, KOMBRA_LONG *bytes);
// Fills one table of size values at destination for element (sensor or
// mode); offset -1: read _TBL_OFF.
KOMBRA_SHORT ir_get_new_tbl(KOMBRA_SHORT element, KOMBRA_SHORT table, int8_t expand, int8_t fmt,
                            KOMBRA_FLOAT *destination, KOMBRA_LONG size, KOMBRA_LONG offset,
                            KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                            KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                            KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
KOMBRA_SHORT ir_read_in_tbl(KOMBRA_SHORT element, KOMBRA_FLOAT *destination, KOMBRA_LONG offset,
                            KOMBRA_LONG size, KOMBRA_SHORT table, KOMBRA_SHORT btime_yr,
                            KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                            KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                            KOMBRA_LONG etime_nsec);
KOMBRA_SHORT ir_create_tbl(KOMBRA_SHORT element, KOMBRA_FLOAT *destination, KOMBRA_LONG size, int8_t fmt,
                           KOMBRA_SHORT table, int8_t expand, KOMBRA_LONG offset, KOMBRA_SHORT btime_yr,
                           KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                           KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                           KOMBRA_LONG etime_nsec);
// All mode tables of the current entry.
KOMBRA_SHORT ir_get_mode_info(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                              KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                              KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
KOMBRA_SHORT ir_get_mode_tbl(KOMBRA_UCHAR mode, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                             KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                             KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
KOMBRA_SHORT ir_mode_tbl_size(KOMBRA_UCHAR mode, KOMBRA_LONG *bytes, KOMBRA_SHORT btime_yr,
                              KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                              KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                              KOMBRA_LONG etime_nsec);

// ---- Sensor combinations and critical actions ------------------------------------

// Groups the needed sensors by their tables' offsets and critical status
// and builds each group's tables.
KOMBRA_SHORT ir_sensor_combo(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                             KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                             KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// Reads every sensor's table offsets into tbl_ptrs and the status bytes of
// the tables with critical actions into crit_stat_ptrs (table t, sensor s
// at t * num_sensor + s); marks in chk_tbl and chk_crit which tables differ
// between the needed sensors; *crit_tbl becomes the first table with
// critical actions (255 none).  1 or -78 .. -82.
KOMBRA_SHORT ir_get_sensor_tables(std::vector<int8_t> &chk_tbl, std::vector<int8_t> &chk_crit,
                                  std::vector<KOMBRA_LONG> &tbl_ptrs, std::vector<KOMBRA_UCHAR> &crit_stat_ptrs,
                                  int *crit_tbl, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                  KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                                  KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// Numbers the combinations of the needed sensors into index_sen_tbl; their
// count, or -30, -31.
KOMBRA_SHORT ir_count_combo(const std::vector<int8_t> &chk_tbl, const std::vector<int8_t> &chk_crit,
                            const std::vector<KOMBRA_LONG> &tbl_ptrs, const std::vector<KOMBRA_UCHAR> &crit_stat_ptrs,
                            int crit_tbl);
// Fills each of the num_combo combinations: its widest word, its critical
// actions (one per table marked in chk_crit) and its tables.
KOMBRA_SHORT ir_init_sensor_ptr(KOMBRA_SHORT num_combo, const std::vector<KOMBRA_UCHAR> &crit_stat_ptrs,
                                KOMBRA_CHAR first_time, int crit_tbl, const std::vector<int8_t> &chk_crit,
                                KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// The critical action act_index of combination combo from sensor's values.
KOMBRA_SHORT ir_get_critical_info(KOMBRA_UCHAR cstat, KOMBRA_SHORT combo, KOMBRA_SHORT sensor, KOMBRA_SHORT table,
                                  int act_index, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                  KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                                  KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
// Re-reads the tables whose status byte the current header changed.
KOMBRA_SHORT ir_check_critical_status(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                                      KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                                      KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);

// ---- Header and data records ---------------------------------------------------
// Each works on the current entry; statuses in nurv.h.

// Reads the header record at the header file's position into HEADER_MEM:
// 1; 0 nothing complete yet (real time); 9 and 12 the end marks; -18, -42,
// -43, -44, -45, -465, -466 or a code of the format routines.
KOMBRA_SHORT ir_read_header(nur_data *nur_data_ptr);
KOMBRA_SHORT ir_read_header_format_one(KOMBRA_CHAR new_mem, nur_data *nur_data_ptr);
KOMBRA_SHORT ir_read_header_format_two(KOMBRA_CHAR new_mem, nur_data *nur_data_ptr);
// Aims the header pointers (then ir_fix_pointers) and/or the data pointers.
KOMBRA_SHORT ir_assign_pointers(KOMBRA_CHAR header, KOMBRA_CHAR data, nur_data *nur_data_ptr);
// Aims the pointers that depend on the header's counts, and the calibration
// pointers; -467 when a sensor set cannot lie inside a record.
KOMBRA_SHORT ir_fix_pointers(nur_data *nur_data_ptr);
// Converts the fixed fields of the header and/or data record in place.
void ir_network_order(KOMBRA_CHAR header, KOMBRA_CHAR data);
// Converts the record's samples once (ir_swap_data set).
void ir_swap_data_array(void);
// Reads the next data record: 1; 3, 6 nothing complete yet (real time);
// 9, 12 end marks; -18, -49, -365, -467.
KOMBRA_SHORT ir_new_data_record(KOMBRA_CHAR found_sensor);
// Makes the header of the current sensor set current: 1, 3, 6, 9, 12,
// -50 .. -52, -368 .. -370, -467 or a code of ir_read_header.
KOMBRA_SHORT ir_new_header_record(KOMBRA_CHAR found_sensor, nur_data *nur_data_ptr);
// Re-sizes the caller record's header-dependent arrays.
KOMBRA_SHORT ir_check_dependent_on_header(nur_data *nur_data_ptr);
// Completes a header change for the caller's record.
KOMBRA_SHORT ir_reset_header(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR full_swp);
// The four calibration counts of a sensor set and CSET_NUM; then grows the
// caller's calibration array (when a record is given).
KOMBRA_SHORT ir_number_of_cal_elements(KOMBRA_LONG *num_all_swp_cal, KOMBRA_LONG *num_all_sen_cal,
                                       KOMBRA_LONG *num_swp_cal, KOMBRA_LONG *num_sen_cal, KOMBRA_LONG n_sample,
                                       KOMBRA_LONG n_sen, nur_data *nur_data_ptr);

// ---- Opening and positioning ---------------------------------------------------

// How many times and how long apart the real-time wait looks for a new
// file (100 times, 500000 us: tests shorten it).
void ir_set_realtime_wait(int tries, long usec);
// Adds or finds the entry, stores the range, opens its files and reads its
// description values once.  1, 1200 or a failure.
KOMBRA_SHORT ir_file_setup(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, KOMBRA_SHORT btime_yr,
                           KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec,
                           KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                           KOMBRA_LONG etime_nsec);
KOMBRA_SHORT ir_playback_data_files(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                    KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr,
                                    KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec,
                                    const char *exten);
KOMBRA_SHORT ir_realtime_data_files(KOMBRA_ULONG data_key, const char *exten);
// Moves the current entry to the description of a record past the
// description's end (the record's time in ms of day and ns).
KOMBRA_SHORT ir_next_nur_file(KOMBRA_LONG cur_msec, KOMBRA_LONG cur_nsec);
// The time just after the last sample the data set read (its latest sensor
// included, unless it is a mode instance), as next_file_start_time gives it:
// 1, or NURV_NOT_POSITIONED before a record was read.
// How the records of a playback data file read, from its first to its last
// (ir_walk_records): a record reads in order when its bytes are all there,
// its sensor set count and first header offset are possible, the header
// there reads (size and checks of ir_read_header), it begins no earlier
// than the record before it, and no end mark came before it.  A file whose
// writing ended well holds nothing else, its last record an end mark; one
// preallocated or written in pieces may hold zeros, or records out of place,
// anywhere.
struct ir_record_walk {
    long long records = 0;    // whole records
    long long in_order = 0;   // the leading records that read in order (end marks included)
    long long last_data = -1; // the last data record among them, -1 when none
    bool end_mark = false;    // an end mark follows the last data record and ends the file
    bool partial = false;     // part of a record follows the whole ones
};
// Walks the open data and header files of ex with their raw bytes, without
// touching the records in memory.  1, or NURV_POS_READ when the files
// cannot be read or the description's record size cannot hold a record's
// fixed part.
KOMBRA_SHORT ir_walk_records(const experiment_info &ex, ir_record_walk &walk);
KOMBRA_SHORT ir_after_last_sample(const experiment_info &ex, bool mode_instance, KOMBRA_SHORT *start_yr,
                                  KOMBRA_SHORT *start_day, KOMBRA_LONG *start_sec, KOMBRA_LONG *start_nsec);
KOMBRA_SHORT ir_new_nur_file(KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                             KOMBRA_LONG btime_nsec);
KOMBRA_SHORT ir_position_playback(nur_data *data_ptr, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                  KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec);
KOMBRA_SHORT ir_position_real_time(nur_data *data_ptr, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day,
                                   KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec);
// Reads forward from the current record to the sample position that holds
// (or first follows) the begin time.
KOMBRA_SHORT ir_fine_search(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *data_ptr,
                            KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                            KOMBRA_LONG btime_nsec);

// ---- Reading data records ----------------------------------------------------

// The found column's samples from the cursor's step on.  1 or -362.
KOMBRA_SHORT ir_fill_data_array(KOMBRA_LONG column, KOMBRA_CHAR full_swp, nur_data *nur_data_ptr);
// The column's calibration values: 8-, 16- and 32-bit containers, and the
// narrower ones (and bytes of 5- to 7-bit words) bit by bit.
void ir_fill_cal_array_byte(KOMBRA_LONG column, nur_data *nur_data_ptr);
void ir_fill_cal_array_bit(KOMBRA_LONG column, nur_data *nur_data_ptr);
// One calibration set's elements (of width bits) from ALL_CAL_SWP,
// ALL_CAL_SEN, CAL_SWP_TBL or CAL_SENSOR: element k at bit position
// *bit_pos + k * width of the area that begins skip bytes into the array,
// into cal_data from *index on.  *bit_pos moves past the set; *index and
// cal_len grow by the values stored.
void ir_fill_cal_array_bit_all_swp(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                                   nur_data *nur_data_ptr);
void ir_fill_cal_array_bit_all_sen(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                                   nur_data *nur_data_ptr);
void ir_fill_cal_array_bit_swp(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                               nur_data *nur_data_ptr);
void ir_fill_cal_array_bit_sen(KOMBRA_LONG *index, int width, KOMBRA_LONG skip, int set, long long *bit_pos,
                               nur_data *nur_data_ptr);
// The container of the current entry's width at bit bit (0 .. 7) of byte,
// as an unsigned value.
void ir_fill_cal_array_bit_data(KOMBRA_LONG *destination, const KOMBRA_UCHAR *byte, int bit);
// Every value of the found column into the caller's record.
KOMBRA_SHORT ir_read_drec_data_values(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR fwd,
                                      KOMBRA_CHAR full_swp, KOMBRA_LONG column);

// ---- Sample times and azimuths -------------------------------------------------

// time_value units of 10^scale_factor s as milliseconds and nanoseconds.
void ir_instrument_timing(KOMBRA_LONG time_value, int8_t scale_factor, KOMBRA_LONG *time_ms,
                          KOMBRA_LONG *time_ns);
// The durations of the current header.
void ir_get_time_components(void);
void ir_sample_time(KOMBRA_LONG max_ele, KOMBRA_SHORT sensor, KOMBRA_LONG time_row, KOMBRA_LONG time_col,
                    KOMBRA_LONG *btime_ms, KOMBRA_LONG *btime_ns, KOMBRA_LONG *etime_ms, KOMBRA_LONG *etime_ns,
                    KOMBRA_CHAR *decrement_bday, KOMBRA_CHAR *decrement_eday);
void ir_set_time(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr, KOMBRA_CHAR *decrement_bday,
                 KOMBRA_CHAR *decrement_eday);
// The record times into the caller's record, whose eight date members hold
// the header's YEAR and DAYOFYEAR.
void ir_read_drec_times(nur_data *nur_data_ptr, KOMBRA_SHORT sen, KOMBRA_CHAR full_swp);
void ir_sensor_set_time(KOMBRA_LONG *btime_ms, KOMBRA_LONG *btime_ns, KOMBRA_LONG *etime_ms,
                        KOMBRA_LONG *etime_ns);
void ir_set_last_time_values(nur_data *nur_data_ptr);
void ir_adjust_year_day(KOMBRA_SHORT *year, KOMBRA_SHORT *day, KOMBRA_CHAR decrement_day);
// Advances the sample cursor (and at a record's end reads the next record)
// and makes the set's header current.
KOMBRA_SHORT ir_read_drec_time_advance(nur_data *nur_data_ptr, KOMBRA_SHORT sen, KOMBRA_CHAR full_swp,
                                       KOMBRA_CHAR found_sensor);
void ir_advance_time_pointers(KOMBRA_CHAR full_swp);
void ir_reset_sen_set_time(void);
// Begin and end of max_ele sweep steps (at most the sweep-time block).
KOMBRA_SHORT ir_compute_nurv_sweep_times(experiment_info *ex, ptr_rec *ptr, KOMBRA_LONG max_ele,
                                         KOMBRA_SHORT sensor);
// Start and stop azimuth of every step into the caller's record.
KOMBRA_SHORT ir_fill_angle_array(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr);

// ---- Ancillary sources ---------------------------------------------------------
// Set-ups of the sources of the current (main) entry for the caller's range:
// 1 also when a source cannot be used (its file_status says why); allocation
// failures and formats other than 0 and 1 are returned.  They may return
// with the ancillary set current.
KOMBRA_SHORT ir_get_pitch_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                               KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
KOMBRA_SHORT ir_get_potential_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                   KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
KOMBRA_SHORT ir_get_euler_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                               KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
KOMBRA_SHORT ir_get_spin_src_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                  KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
// Allocation of a source record of the current (main) entry, with the end
// of the caller's range, its value blocks sized for the entry: 1, or the
// kind's allocation code (pitch -277, -289, -290; potential -449, -451;
// attitude -472, -476, -481; start of spin -425).
KOMBRA_SHORT ir_alloc_pitch_info(KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day, KOMBRA_LONG stop_sec,
                                 KOMBRA_LONG stop_nano);
KOMBRA_SHORT ir_alloc_potential_info(KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day, KOMBRA_LONG stop_sec,
                                     KOMBRA_LONG stop_nano);
KOMBRA_SHORT ir_alloc_euler_info(KOMBRA_SHORT stop_year, KOMBRA_SHORT stop_day, KOMBRA_LONG stop_sec,
                                 KOMBRA_LONG stop_nano, KOMBRA_SHORT num_pmi_angles, KOMBRA_SHORT pmi_format);
KOMBRA_SHORT ir_alloc_spin_src_info();
// Naming of the ancillary set from the description of data_key: *key_out
// the data key its hierarchy names, 0 when the source is not defined or
// takes constants.  1, a mapped description code, or get_data_key's code.
KOMBRA_SHORT ir_pitch_angle_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                     KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                     KOMBRA_LONG ensec, KOMBRA_ULONG *key_out);
KOMBRA_SHORT ir_potential_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                   KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                   KOMBRA_LONG ensec, KOMBRA_ULONG *key_out);
KOMBRA_SHORT ir_euler_angle_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                     KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                     KOMBRA_LONG ensec, KOMBRA_ULONG *key_out);
KOMBRA_SHORT ir_start_spin_data_src(KOMBRA_ULONG data_key, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                    KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                    KOMBRA_LONG ensec, KOMBRA_ULONG *key_out);
// The conversion table list of the current entry's source: 1, a mapped
// description code, or the kind's table block code (-278, -446, -474).
KOMBRA_SHORT ir_pitch_angle_tbl_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                     KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
KOMBRA_SHORT ir_potential_tbl_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                   KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
KOMBRA_SHORT ir_euler_angle_tbl_info(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                     KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
// Constants of format 0 (pitch: identifier 11 per sensor; attitude:
// identifiers 12 and 13).
KOMBRA_SHORT ir_get_pitch_angle_constants(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                          KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
KOMBRA_SHORT ir_get_euler_angle_constants(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec,
                                          KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec, KOMBRA_LONG ensec);
// Description codes mapped per kind (-811, -805, -807, -808, -806).
KOMBRA_SHORT ir_get_pinfo_rval(int status);
KOMBRA_SHORT ir_get_pot_info_rval(int status);
KOMBRA_SHORT ir_get_einfo_rval(int status);
KOMBRA_SHORT ir_get_spin_sinfo_rval(int status);
// Rebuilds for a new description of the main set from the given begin.
KOMBRA_SHORT ir_new_nur_file_pa(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec);
KOMBRA_SHORT ir_new_nur_file_potential(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec);
KOMBRA_SHORT ir_new_nur_file_euler(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec);
KOMBRA_SHORT ir_new_nur_file_spin_src(KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec, KOMBRA_LONG bnsec);
// Teardown: release the ancillary set and free the source; free only.
void ir_free_pa_information(experiment_info *entry);
void ir_free_potential_information(experiment_info *entry);
void ir_free_euler_information(experiment_info *entry);
void ir_free_spin_src_information(experiment_info *entry);
void ir_free_pitch_angle_data(experiment_info *entry);
void ir_free_potential_data(experiment_info *entry);
void ir_free_euler_angle_data(experiment_info *entry);
void ir_free_spin_src_data(experiment_info *entry);
// The entries of the seams.
KOMBRA_SHORT ir_setup_ancillary(ir_ancillary kind, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                KOMBRA_LONG ensec);
KOMBRA_SHORT ir_renew_ancillary(ir_ancillary kind, KOMBRA_SHORT byr, KOMBRA_SHORT bday, KOMBRA_LONG bsec,
                                KOMBRA_LONG bnsec, KOMBRA_SHORT eyr, KOMBRA_SHORT eday, KOMBRA_LONG esec,
                                KOMBRA_LONG ensec);
void ir_release_ancillary(experiment_info *entry, ir_ancillary kind);
KOMBRA_SHORT ir_position_ancillary(ir_ancillary kind, nur_data *nur_data_ptr);
void ir_rearm_ancillary(experiment_info *entry);
long long ir_num_attitude_angles(const experiment_info *entry);
// Values of the sources of the current (main) entry for the record just
// read, into the caller's record.
KOMBRA_SHORT ir_ancillary_values(nur_data *nur_data_ptr, KOMBRA_SHORT sensor, KOMBRA_CHAR full_swp);
KOMBRA_SHORT ir_nurv_pitch_angles(KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr);
KOMBRA_SHORT ir_nurv_potential_values(KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor,
                                      nur_data *nur_data_ptr);
KOMBRA_SHORT ir_nurv_euler_angles(KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr);
KOMBRA_SHORT ir_constant_pitch_angles(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr);
KOMBRA_SHORT ir_constant_spacecraft_potential(KOMBRA_CHAR full_swp, nur_data *nur_data_ptr);
KOMBRA_SHORT ir_constant_euler_angles(KOMBRA_CHAR full_swp, KOMBRA_SHORT sensor, nur_data *nur_data_ptr);
// Pitch angles of the main set's sensor for n steps from the averaged field.
void ir_compute_pitch_angle(const pitch_info *pitch, KOMBRA_FLOAT *angles, KOMBRA_SHORT sensor, KOMBRA_USHORT n,
                            direction_cos *dir_cosines);
// The share of step covered by the record of begin r and end e: the overlap
// divided by the step's length, or -1.0 for no overlap (also for a step of
// no length).
KOMBRA_FLOAT ir_overlap_fraction(const time_span &step, const time_span &record);
// Record begin (year, day, milliseconds, nanoseconds) against a step: 1 when
// the step begins after it, 2 at the same time, 3 before it.
KOMBRA_SHORT ir_frac_start_time(const time_span &step, KOMBRA_SHORT byear, KOMBRA_SHORT bday, KOMBRA_LONG bmilli,
                                KOMBRA_LONG bnano);
// Whether the step ends before the record begins.
bool ir_check_time_range(const time_span &step, KOMBRA_SHORT byear, KOMBRA_SHORT bday, KOMBRA_LONG bmilli,
                         KOMBRA_LONG bnano);
// The kinds' steps of the matching (the ancillary set current).
// Acquisition of step step_index: reads and accumulates the records that
// overlap it, then averages; 1 or the failure of a read, conversion, time
// fraction (-287, -448, -484), memory check or file switch.  The potential
// repeats step 0 for a later step when same_times is set.
KOMBRA_SHORT ir_acquire_pitch_data(time_span step, pitch_info *pitch, KOMBRA_USHORT step_index);
KOMBRA_SHORT ir_acquire_potential_data(time_span step, potential_info *potential, KOMBRA_USHORT step_index,
                                       int8_t same_times);
KOMBRA_SHORT ir_acquire_euler_data(time_span step, euler_info *euler, KOMBRA_USHORT step_index);
// Accumulation of a component's current record into a step.
KOMBRA_SHORT ir_process_pitch_data(pitch_info *pitch, const time_span &step, KOMBRA_SHORT component,
                                   KOMBRA_USHORT step_index);
KOMBRA_SHORT ir_process_potential_data(potential_info *potential, const time_span &step, KOMBRA_USHORT step_index);
KOMBRA_SHORT ir_process_euler_data(euler_info *euler, const time_span &step, KOMBRA_SHORT component,
                                   KOMBRA_USHORT step_index);
// The share of the step that a component's current record covers (-1.0 for
// none), after its end-time test; later components take component 0's.
KOMBRA_FLOAT ir_pitch_time_frac(pitch_info *pitch, const time_span &step, KOMBRA_SHORT component);
KOMBRA_FLOAT ir_potential_time_frac(potential_info *potential, const time_span &step);
KOMBRA_FLOAT ir_euler_time_frac(euler_info *euler, const time_span &step, KOMBRA_SHORT component);
// The read flags of a component whose record ends at the given end.
void ir_pitch_end_time(pitch_info *pitch, const time_span &step, KOMBRA_SHORT eyear, KOMBRA_SHORT eday,
                       KOMBRA_LONG emilli, KOMBRA_LONG enano, KOMBRA_SHORT component);
void ir_potential_end_time(potential_info *potential, const time_span &step, KOMBRA_SHORT eyear, KOMBRA_SHORT eday,
                           KOMBRA_LONG emilli, KOMBRA_LONG enano);
void ir_euler_end_time(euler_info *euler, const time_span &step, KOMBRA_SHORT eyear, KOMBRA_SHORT eday,
                       KOMBRA_LONG emilli, KOMBRA_LONG enano, KOMBRA_SHORT component);
// Record times of the components: first set, the component's record gives
// them (ptimes; copy flags and last_comp_frac cleared); else it takes them.
void ir_same_pitch_time(pitch_info *pitch, KOMBRA_CHAR first, KOMBRA_SHORT component);
void ir_same_euler_time(euler_info *euler, KOMBRA_CHAR first, KOMBRA_SHORT component);
// Step 0's averaged values into step k (fraction 1.0, every all_done clear).
void ir_copy_pitch_angle(pitch_info *pitch, KOMBRA_USHORT k);
void ir_copy_euler_angle(euler_info *euler, KOMBRA_USHORT k);
// After a record with an end mark that ends no later than the step: the
// ancillary set reopened 1 ms after the record's end (its result kept in
// file_status) and positioned; 1, or the failure of either.
KOMBRA_SHORT ir_pitch_los_next_file(pitch_info *pitch, KOMBRA_SHORT component, const time_span &step);
KOMBRA_SHORT ir_potential_los_next_file(potential_info *potential, const time_span &step);
KOMBRA_SHORT ir_euler_los_next_file(euler_info *euler, KOMBRA_SHORT component, const time_span &step);

// ---- Conversion kernels ------------------------------------------------------

// The missing value (bits 0xFF7FC99E) and the preset of the scratch buffers
// (0x7F7FC99E, not missing).
constexpr KOMBRA_FLOAT IR_MISSING_VALUE = -3.4e38f;
constexpr KOMBRA_FLOAT IR_BUFFER_PRESET = 3.4e38f;

// Storage of the table the next element operation reads: every value it
// takes lies in [first, end), else it gets the missing value.  The
// conversion sets it around each operation; with first null a kernel takes
// its table as tbl_sz values (one section per sweep step when tbl_type is
// not 0) from tbl.
struct ir_table_extent {
    const KOMBRA_FLOAT *first = nullptr;
    const KOMBRA_FLOAT *end = nullptr;
};
extern ir_table_extent ir_table_bounds;

// The element operations (NUR_OPER 0 to 9).
#define IR_ELEMENT_OPERATION_DECL(name)                                                                          \
    void name(KOMBRA_FLOAT *ret_data, const void *inp_data, KOMBRA_LONG inp_start, const KOMBRA_FLOAT *tbl,    \
              KOMBRA_LONG tbl_sz, KOMBRA_LONG num_data, int8_t look_up, int8_t dtype, KOMBRA_LONG hold_val,   \
              int8_t fn_of_raw, int8_t tdw_len, int8_t tbl_type, const KOMBRA_LONG *swp_data,                  \
              KOMBRA_SHORT swp_len);
IR_ELEMENT_OPERATION_DECL(ir_nur_look_up)
IR_ELEMENT_OPERATION_DECL(ir_nur_add)
IR_ELEMENT_OPERATION_DECL(ir_nur_subtract)
IR_ELEMENT_OPERATION_DECL(ir_nur_multiply)
IR_ELEMENT_OPERATION_DECL(ir_nur_divide)
IR_ELEMENT_OPERATION_DECL(ir_nur_and)
IR_ELEMENT_OPERATION_DECL(ir_nur_or)
IR_ELEMENT_OPERATION_DECL(ir_nur_shiftr)
IR_ELEMENT_OPERATION_DECL(ir_nur_shiftl)
IR_ELEMENT_OPERATION_DECL(ir_nur_mod)
#undef IR_ELEMENT_OPERATION_DECL
// The buffer combinations (COMBINE_OPER 1 to 5).
void ir_combine_add(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data, KOMBRA_LONG num_data);
void ir_combine_subtract(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data, KOMBRA_LONG num_data);
void ir_combine_multiply(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data, KOMBRA_LONG num_data);
void ir_combine_divide(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data, KOMBRA_LONG num_data);
void ir_combine_power(KOMBRA_FLOAT *ret_data, const KOMBRA_FLOAT *accum_data, KOMBRA_LONG num_data);
// Fills NUR_OPER and COMBINE_OPER.
void ir_oper_asgn(void);
// Built-in function oper_type (1 to 30; others change nothing) on num_data
// floats in place; nur_data_ptr gives the azimuths of built-ins 18 and 20.
void ir_nur_ex_func(int oper_type, KOMBRA_FLOAT *ret_data, KOMBRA_LONG num_data, const nur_data *nur_data_ptr);

// ---- Raw word decoding ------------------------------------------------------
// Data type codes: 0 unsigned integer, 1 two's complement of tdw_len bits,
// 2 decimal float in 32 bits, 4 decimal float in 16 bits, 5 binary float in
// 16 bits, 6 binary float in 16 bits with a small-integer form.

// ret_data[k] := the float of word inp_data[inp_start + k], k < num_data.
void ir_transfer_data(KOMBRA_FLOAT *ret_data, const KOMBRA_LONG *inp_data, KOMBRA_LONG num_data,
                      int8_t dtype, int8_t tdw_len, KOMBRA_LONG inp_start);
// Sign extension of a tdw_len-bit value (bits above are not masked).
KOMBRA_FLOAT ir_to_sign(KOMBRA_LONG new_val, int8_t tdw_len);
// Integer-coded floating-point word of type dtype.
KOMBRA_FLOAT ir_intfp2fp(KOMBRA_ULONG intfp, int8_t dtype);
// c0 + c1 x + c2 x^2 ... over tbl_sz coefficients; 0 without coefficients.
KOMBRA_FLOAT ir_poly_expand(KOMBRA_FLOAT inp_data, const KOMBRA_FLOAT *tbl, KOMBRA_LONG tbl_sz);
// 10^cvar by repeated float multiplication or division.
KOMBRA_FLOAT ir_tento(int8_t cvar);
// A double rounded to float; beyond float range it becomes an infinity.
KOMBRA_FLOAT ir_round_to_float(double value);

// Width in bits of the containers that hold samples of tdw_len bits:
// 1, 2, 4 (3 and 4), 8 (5 to 8), 16 (9 to 16), 32 (17 and more); 0 below 1.
int ir_container_width(int8_t tdw_len);
// The width-bit field at bit position bitpos of area, bits counted from the
// most significant bit of each byte (width 1, 2, 4 or 8).
KOMBRA_ULONG ir_bits_at(const KOMBRA_UCHAR *area, KOMBRA_ULONG bitpos, int width);
// Value of container number index of an area of tdw_len-bit samples: the bit,
// the 2 bits, the nibble masked with 7 (tdw_len 3) or 15, the byte, or the
// 16- or 32-bit unit in host order.
KOMBRA_ULONG ir_container_value(const KOMBRA_UCHAR *area, KOMBRA_ULONG index, int8_t tdw_len);
