/* nurv.h: the NURV instrument data reader.
 *
 * The reader keeps a table of open data sets, each named by a data key, a
 * two-character file extension and a version number (an instance number from
 * get_version_number, so that one data key can be open several times at
 * once).  Callers hold only pointers to the nur_data records that the reader
 * hands out; the reader owns those records and everything they point at until
 * free_experiment_info.
 *
 * Calling order of a read: init_nurv, get_version_number,
 * create_nur_data_structure, file_open, file_pos, then per record and sensor
 * read_drec and convert_to_units; free_experiment_info on every exit.
 *
 * Single-threaded: all reader state is process-wide and unguarded. */
#pragma once

#include <cstdint>

#include "kombra_types.h"

/* 32-bit integers of the reader's records (the same types libant would give
 * them; a repeated identical typedef is harmless). */
typedef int32_t KOMBRA_INT;
typedef uint32_t KOMBRA_UINT;

/* ---- Status codes ------------------------------------------------------
 * Every reader call returns 1 on success; a few positive values report
 * ordinary conditions and every failure site has its own negative code.
 * Codes of a called step are passed up unchanged unless the caller maps
 * them.  The codes of the reader state and data-set table: */
enum {
    NURV_OK = 1,                    /* success */
    NURV_NO_DATA_SET = -3,          /* no such data set, and adding one not asked */
    NURV_NO_PTR_REC = -5,           /* no memory for a data set's record pointers */
    NURV_TABLE_FULL = -6,           /* the table of open data sets cannot grow */
    NURV_HDR_READ_FAILED = -14,     /* per-open set-up: header read failed */
    NURV_HDR_NO_MEMORY = -15,       /* per-open set-up: no memory for the header */
    NURV_HDR_NO_GROWTH = -16,       /* per-open set-up: header buffer cannot grow */
    NURV_SELECT_FAILED = -19,       /* select_sensor: data set not open, or no such sensor */
    NURV_NO_TIME_OFFSETS = -20,     /* per-open set-up: no sensors, or no memory for time offsets */
    NURV_NO_SWP_MEMORY = -61,       /* no memory for the sweep-step array */
    NURV_TIME_OFF_ABSENT = -102,    /* time offsets: item absent */
    NURV_TIME_OFF_TOO_LONG = -103,  /* time offsets: request longer than the item */
    NURV_TIME_OFF_TABLE = -104,     /* time offsets: table number too large */
    NURV_TIME_OFF_CONST = -105,     /* time offsets: constant number too large */
    NURV_TIME_OFF_EMPTY = -106,     /* time offsets: the item is empty */
    NURV_NO_TIMING = -119,          /* no pixel timing records */
    NURV_NOT_OPEN = -122,           /* caller record re-size: data set not open */
    NURV_NO_CAL_MEMORY = -124,      /* no memory for the calibration array */
    NURV_NO_RECORD = -272,          /* no memory for a caller record */
    NURV_NO_RECORD_LIST = -273,     /* no memory for the caller record list */
    NURV_NO_LIST_GROWTH = -274,     /* the caller record list cannot grow */
    NURV_NO_SWEEP_TIMES = -279,     /* no memory for the sweep-step times */
    NURV_NOT_AVAILABLE = -900       /* a reader service that this build does not contain yet */
};

/* Direction cosines of the field per sweep step, three floats per step in
 * each array.  The five arrays lie in one block owned by base_block; the
 * record itself is the nur_data's base_dir_cosines block. */
struct direction_cos {
    KOMBRA_FLOAT *dir_cos123;
    KOMBRA_FLOAT *start_az123;
    KOMBRA_FLOAT *stop_az123;
    KOMBRA_FLOAT *start_theta123;
    KOMBRA_FLOAT *stop_theta123;
    void *base_block;
};

/* One decoded data record for one sensor, made by create_nur_data_structure
 * and owned by the reader.  Times: year and day of year, milliseconds of day
 * with the nanoseconds below them, and the same instant as seconds of day
 * with nanoseconds below the second.  Every array is a malloc block owned by
 * the base_ member named beside it; sizes are in bytes. */
struct nur_data {
    KOMBRA_ULONG data_key;          /* data set of the last fill */
    KOMBRA_SHORT sensor;            /* sensor of the last fill */
    KOMBRA_SHORT byear, bday;       /* begin */
    KOMBRA_LONG bmilli, bnano;
    KOMBRA_LONG bsec, bnsec;
    KOMBRA_SHORT eyear, eday;       /* end */
    KOMBRA_LONG emilli, enano;
    KOMBRA_LONG esec, ensec;
    KOMBRA_SHORT mode_byear, mode_bday;  /* begin and end of the sensor set */
    KOMBRA_LONG mode_bmilli, mode_bnano;
    KOMBRA_SHORT mode_eyear, mode_eday;
    KOMBRA_LONG mode_emilli, mode_enano;
    KOMBRA_LONG data_accum_ms, data_accum_ns;  /* accumulation */
    KOMBRA_LONG data_lat_ms, data_lat_ns;      /* latency */
    KOMBRA_LONG swp_reset_ms, swp_reset_ns;    /* sweep reset */
    KOMBRA_LONG sen_reset_ms, sen_reset_ns;    /* sensor reset */
    KOMBRA_FLOAT *start_az, *stop_az;  /* per step, degrees in [0, 360); base_angle */
    KOMBRA_FLOAT start_theta, stop_theta;  /* polar range of the sensor */
    KOMBRA_FLOAT *pitch_angles;     /* base_pitch */
    KOMBRA_FLOAT *potential;        /* base_potential */
    KOMBRA_FLOAT *euler_angles;     /* base_euler */
    KOMBRA_SHORT *euler_rot_axis;   /* in the base_euler block */
    KOMBRA_SHORT num_swp_steps;
    KOMBRA_USHORT num_sample;
    KOMBRA_LONG cal_len;
    KOMBRA_USHORT num_angle, num_pitch, num_potential, num_euler;
    KOMBRA_LONG sun_sen, spin_rate;  /* the record's SUN_SEN and SPIN */
    KOMBRA_LONG *cal_data;          /* raw calibration words; base_cal */
    KOMBRA_LONG *sen_data;          /* raw samples; base_data */
    KOMBRA_LONG *swp_data;          /* sweep-step numbers; base_swp */
    KOMBRA_LONG *mode;              /* modes; base_mode */
    KOMBRA_LONG d_qual;             /* quality of the sensor; -1 when not in the record */
    KOMBRA_UINT cal_size, data_size, swp_size, mode_size;
    KOMBRA_UINT angle_size, pitch_size, potential_size, euler_size;
    KOMBRA_UCHAR mode_len;
    KOMBRA_CHAR hdr_change;         /* a header change happened with this fill */
    KOMBRA_CHAR exten[3];           /* extension of the last fill */
    KOMBRA_CHAR filled_data;        /* sample values were filled */
    KOMBRA_USHORT version;          /* version of the last fill */
    KOMBRA_USHORT *cset_num;        /* elements per calibration set; base_cset */
    direction_cos *dir_cosines;     /* base_dir_cosines */
    void *base_cal, *base_data, *base_swp, *base_angle, *base_mode;
    void *base_pitch, *base_cset, *base_dir_cosines, *base_potential, *base_euler;
};

/* Records of tensor headers.  No operation of this system makes one; the
 * reader keeps an (empty) list of them. */
struct tensor_data;

/* One-time set-up: clears the table, raises the open-file limit to the hard
 * maximum (a failure there ends the process with status 255 after a
 * "getrlimit" or "setrlimit" error line) and makes the scratch block.  A
 * second call before free_experiment_info does nothing. */
void init_nurv(void);

/* Writes the version number for a new instance through vnum (nothing for a
 * null vnum).  Numbers start at 0 after set-up and after every
 * free_experiment_info. */
void get_version_number(KOMBRA_USHORT *vnum);

/* Makes and registers one zeroed nur_data and writes its address through
 * nur_data_ptr.  1, or -272 (no record; also for a null nur_data_ptr), -273
 * or -274 (the list cannot be made or grown).  The reader frees the record in
 * free_experiment_info. */
KOMBRA_SHORT create_nur_data_structure(nur_data **nur_data_ptr);

/* Marks sensor as needed by the caller.  The first call for a data set first
 * clears every sensor's mark (until then all sensors are needed).  1, or -19
 * when the data set is not open or sensor is not one of its sensors. */
KOMBRA_SHORT select_sensor(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                           KOMBRA_SHORT sensor);

/* Releases every data set, every caller record and every reader buffer,
 * closes the instrument descriptions and returns the reader to its state
 * before init_nurv.  Pointers to caller records are invalid afterwards. */
void free_experiment_info(void);

/* 1 when p was handed out by create_nur_data_structure and not yet freed,
 * else 0. */
int valid_nur_data_structure(const nur_data *p);
/* 1 when p is a registered tensor record, else 0. */
int valid_tensor_data_structure(const tensor_data *p);
