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
#include <string>

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
    NURV_NO_SWEEP_TIMES = -279      /* no memory for the sweep-step times */
};

/* Description values of a data set.  A failing description read is mapped
 * by the reading step: the registry's -811 (item absent), -805 (longer than
 * the item), -807 (table number), -808 (constant number) and -806 (empty
 * item) become five consecutive codes of the step's own family, first to
 * first - 4: once-per-set values -83, per-file values -73, constants -137,
 * mode table sizes -97, critical actions -107, one table -112, look-up
 * values -126, polynomials -132, sensor table formats -68, mode table
 * formats -232, sensor table offsets -78.  Other failures (-814: a list
 * longer than the reader's buffer, catalog codes) pass on unchanged. */
enum {
    NURV_NO_CAL_USE = -17,          /* no memory for the calibration uses */
    NURV_NO_CONSTANTS = -63,        /* no sensors, or no memory for the constant rows */
    NURV_NO_CONST_SCRATCH = -64,    /* no memory to read the constants through */
    NURV_NO_DATA_BUFFER = -88,      /* record length 0, too short for the record's fixed fields
                                       (or no sensor-set offsets), or no memory for it */
    NURV_NO_D_TYPE = -89,           /* no sensors, or no memory for their data types */
    NURV_NO_TBL_INFO = -90,         /* no memory for the table attributes */
    NURV_NO_CAL_TARGET = -91,       /* no memory for the calibration targets */
    NURV_NO_CAL_WLEN = -92,         /* no memory for the calibration word lengths */
    NURV_NO_TDW_LEN = -93,          /* no memory for the sensor word lengths */
    NURV_NO_SEN_STATUS = -94,       /* no memory for the sensor status */
    NURV_TABLE_ORDER = -240,        /* a mode or string table comes before an ordinary table */
    NURV_NO_UNIT_NORMAL = -288,     /* a sensor lacks a component of its unit normal */
    NURV_NO_CAL_SCOPE = -349,       /* no memory for the calibration scopes */
    NURV_BAD_HEADER_FORMAT = -351,  /* header format neither 1 nor 2 */
    NURV_BAD_TENSOR_RANK = -352,    /* tensor rank outside 1 .. 10 */
    NURV_BAD_TENSOR_SIZE = -353,    /* a tensor length below 1 (or not given) */
    NURV_TENSOR_PITCH = -366,       /* tensor data with pitch angles */
    NURV_TENSOR_NO_FILL = -367,     /* tensor data without a fill value */
    NURV_TENSOR_TABLES = -375,      /* tensor data with tables */
    NURV_TENSOR_CAL_SETS = -376,    /* tensor data with calibration sets */
    NURV_TENSOR_MAX_NSS = -377,     /* tensor data with more than one sensor set */
    NURV_TENSOR_SMP_ID = -378,      /* tensor data whose smp_id is not 3 */
    NURV_TENSOR_DA_METHOD = -379,   /* tensor data whose da_method is not 0 */
    NURV_TENSOR_SWP_LEN = -380,     /* tensor data whose sweep length is not 1 */
    NURV_TENSOR_SEN_MODE = -381,    /* tensor data whose sen_mode is not 3 or 7 */
    NURV_NO_SPIN_OFFSETS = -393,    /* no memory for the spin time offsets */
    NURV_TENSOR_SPIN = -424,        /* tensor data with a start-of-spin source */
    NURV_NO_CAL_D_TYPE = -438,      /* no memory for the calibration data types */
    NURV_TENSOR_POTENTIAL = -445,   /* tensor data with a potential source */
    NURV_TENSOR_ATTITUDE = -456,    /* tensor data with attitude angles */
    NURV_BAD_WORD_LENGTH = -461     /* a sensor or calibration word length outside 0 .. 32 bits */
};

/* Look-up tables of a data set. */
enum {
    NURV_COMBO_TABLE = -62,         /* critical action of a table the combination lacks */
    NURV_NO_TBL_MISC = -66,         /* no memory for a combination's table attributes */
    NURV_NO_TBLS = -67,             /* no memory for a combination's tables */
    NURV_NO_NEW_TBL_SCRATCH = -117, /* no memory to read polynomial coefficients through */
    NURV_NO_READ_IN_SCRATCH = -125, /* no memory to read look-up values through */
    NURV_NO_CREATE_SCRATCH = -131,  /* no memory to read coefficients for expansion through */
    NURV_LOOKUP_SWEEP_TABLE = -224, /* a look-up table of a sweep-type table */
    NURV_LOOKUP_SWEEP_VAR = -225,   /* a look-up table of a plain table of the sweep step */
    NURV_NO_MODE_TABLES = -230,     /* no memory for the mode tables */
    NURV_NO_MODE_MISC = -231,       /* no memory for a mode's table attributes */
    NURV_MODE_LOOKUP_SWEEP = -237,  /* a look-up mode table of sweep type */
    NURV_MODE_LOOKUP_VAR5 = -238,   /* a plain look-up mode table of a table variable 5 */
    NURV_NO_MODE_TBLS = -239,       /* no memory for a mode's tables */
    NURV_NO_TBL_OFFSET = -423,      /* a table without critical actions has no offset */
    NURV_NO_READ_IN_OFFSET = -458,  /* look-up values without critical actions have no offset */
    NURV_NO_CREATE_OFFSET = -459,   /* coefficients without critical actions have no offset */
    NURV_TABLE_TOO_WIDE = -462,     /* a look-up table of 2^w values for a word of 24 bits or more */
    NURV_TABLE_NO_CAL_SET = -463,   /* a table of a calibration set the description lacks */
    NURV_TABLE_NO_SIZE_RULE = -464  /* a look-up table of a variable that fixes no size */
};

/* Opening and positioning. */
enum {
    NURV_OPEN_NO_PTR_REC = -8,      /* file_open: no memory for the record pointers */
    NURV_OPEN_TABLE_FULL = -9,      /* file_open: the table cannot grow */
    NURV_NO_NEW_HEADER_FILE = -10,  /* real time: no new header file after every try */
    NURV_NO_NEW_DATA_FILE = -11,    /* real time: no new data file after every try */
    NURV_NO_SENSOR_FLAGS = -13,     /* no sensors, or no memory for their flags */
    NURV_POS_NOT_OPEN = -34,        /* file_pos: data set not open */
    NURV_POS_MODE = -35,            /* file_pos: the mode instance cannot be positioned */
    NURV_POS_READ = -36,            /* file_pos: read error, an empty file, or a short record */
    NURV_POS_HDR_READ = -37,        /* file_pos: a header read failed */
    NURV_POS_HDR_MEMORY = -38,      /* file_pos: no memory for a header */
    NURV_POS_HDR_GROWTH = -39,      /* file_pos: the header buffer cannot grow */
    NURV_POS_END_MARK = -40,        /* file_pos: the end mark -1 met while searching */
    NURV_POS_END_MARK2 = -41,       /* file_pos: the end mark -2 met while searching */
    NURV_RESET_NOT_OPEN = -55,      /* reset_experiment_info: data set not open */
    NURV_NO_HEADER_FILE = -120,     /* the catalogued header file cannot be opened */
    NURV_NO_DATA_FILE = -121,       /* the catalogued data file cannot be opened */
    NURV_NEXT_NOT_OPEN = -204,      /* next_file_start_time: data set not open */
    NURV_NEXT_NO_MODE = -205,       /* next_file_start_time: no mode instance */
    NURV_NEXT_MODE_NOT_OPEN = -206, /* next_file_start_time: mode instance not open */
    NURV_NOT_POSITIONED = -469      /* next_file_start_time: no record read since the open */
};

/* Reading records. */
enum {
    NURV_READ_NOT_OPEN = -46,       /* read_drec: the data set was never opened */
    NURV_READ_FILES_CLOSED = -48,   /* read_drec: its header or data file is not open */
    NURV_NO_SUCH_SENSOR = -468      /* a sensor outside the description's sensors */
};

/* Ancillary sources. */
enum {
    NURV_PA_NOT_OPEN = -207         /* pitch_angle_source_status: data set not open */
};

/* Conversion to units. */
enum {
    NURV_CONV_NOT_MODE_TABLE = -32, /* kind 4: the table is not a mode table */
    NURV_CONV_NO_WORK = -47,        /* kind 3: no samples, a set longer than the samples, or
                                       no memory for the working array */
    NURV_CONV_NOT_OPEN = -65,       /* the data set is not open */
    NURV_CONV_CAL_LENGTH = -118,    /* kind 3: a table over sensor words, sweep steps,
                                       potential values, or a set of another length */
    NURV_CONV_BAD_CODE = -226,      /* an operation code that no operation defines */
    NURV_CONV_NO_KEEP = -227,       /* a 2001-2999 combination and no 1000-1999 code */
    NURV_CONV_NO_SCRATCH = -228,    /* the scratch buffers cannot grow */
    NURV_CONV_NO_TABLE = -229,      /* a table number not of the data set (a negative one
                                       only with a combination code) */
    NURV_CONV_NO_MODE = -241,       /* kind 4: mode index outside the record's modes */
    NURV_CONV_NO_MODE_TABLE = -242, /* kind 4: the table is not among the mode's tables */
    NURV_CONV_BAD_KIND = -291,      /* data_type above 9 */
    NURV_CONV_EMPTY_BUFFER = -442,  /* a buffer combined that no code of the list loads */
    NURV_CONV_BUFFER_TWO = -443,    /* buffer 2 in a combination between buffers */
    NURV_CONV_SAME_BUFFER = -444,   /* a buffer combined with itself */
    NURV_CONV_NO_CAL_SET = -470     /* kind 3: no such calibration set, or its words lie
                                       past the record's calibration values */
};

/* Sensor combinations and critical actions. */
enum {
    NURV_NO_COMBO_SCRATCH = -21,    /* no memory for the sensors' table offsets */
    NURV_NO_COMBO_INDEX = -22,      /* no memory for the sensors' combination numbers */
    NURV_NO_COMBINATIONS = -23,     /* no needed sensor, or no memory for the combinations */
    NURV_NO_COMBO_FLAGS = -24,      /* no memory for the tables' comparison flags */
    NURV_NO_COMBO_LIST = -30,       /* no needed sensor to compare, or no memory for the list */
    NURV_NO_CRIT_ACTION = -33,      /* a status byte without states, or no memory for its offsets */
    NURV_NO_CRIT_RECORDS = -268     /* no memory for a combination's critical actions */
};

/* Header and data records. */
enum {
    NURV_NO_CSET_MEMORY = -1,       /* no memory for the caller's calibration set counts */
    NURV_SHORT_RECORD = -18,        /* a header or data record cut short (playback) */
    NURV_HDR_READ = -42,            /* header read failed or ended */
    NURV_HDR_MEMORY = -43,          /* no memory for the first header */
    NURV_HDR_GROWTH = -44,          /* the header buffer cannot grow */
    NURV_HDR_ZERO_SIZE = -45,       /* a header size of 0 (playback) */
    NURV_DATA_READ = -49,           /* data read failed or ended (scalar data) */
    NURV_NEW_HDR_READ = -50,        /* header of a sensor set: read failed */
    NURV_NEW_HDR_MEMORY = -51,      /* header of a sensor set: no memory */
    NURV_NEW_HDR_GROWTH = -52,      /* header of a sensor set: buffer cannot grow */
    NURV_NO_EULER_MEMORY = -53,     /* caller record: no memory for attitude angles */
    NURV_NO_MODE_MEMORY = -54,      /* caller record: no memory for the modes */
    NURV_NO_SAMPLES = -56,          /* the header has no samples */
    NURV_NO_DATA_MEMORY = -57,      /* caller record: no memory for the samples */
    NURV_NO_ANGLE_MEMORY = -58,     /* caller record: no memory for the azimuths */
    NURV_NO_PITCH_MEMORY = -275,    /* caller record: no memory for pitch angles */
    NURV_NO_PITCH_GROWTH = -276,    /* caller record: pitch angles cannot grow */
    NURV_NO_DIR_COS = -318,         /* caller record: no memory for the direction cosines */
    NURV_NO_DIR_COS_BLOCK = -319,   /* caller record: no memory for their values */
    NURV_NO_DIR_COS_GROWTH = -320,  /* caller record: direction cosines cannot grow */
    NURV_NO_FMT1_INFO = -354,       /* no memory for the scalar header part */
    NURV_NO_FMT2_INFO = -355,       /* no memory for the tensor header part */
    NURV_TENSOR_SETS = -356,        /* more tensor elements than the tensor holds */
    NURV_TENSOR_RANK = -357,        /* tensor rank other than the description's */
    NURV_TENSOR_INDEX = -358,       /* a tensor index beyond its length */
    NURV_TENSOR_HEADER = -362,      /* a tensor header where scalar data is read */
    NURV_TENSOR_DATA_READ = -365,   /* data read failed or ended (tensor data) */
    NURV_NEW_TENSOR_HDR_READ = -368,    /* tensor header of a set: read failed */
    NURV_NEW_TENSOR_HDR_MEMORY = -369,  /* tensor header of a set: no memory */
    NURV_NEW_TENSOR_HDR_GROWTH = -370,  /* tensor header of a set: buffer cannot grow */
    NURV_NO_POTENTIAL_MEMORY = -455,    /* caller record: no memory for potentials */
    NURV_HDR_CORRUPT = -465,        /* a header record shorter than its fixed part, whose
                                       counts reach past it, or whose sensor numbers lie
                                       outside the description's sensors */
    NURV_HDR_TOO_MANY_SAMPLES = -466,   /* more samples than the sweep length (the packing
                                           limit for one-step headers) or a negative count */
    NURV_REC_CORRUPT = -467         /* a data record whose sensor sets exceed max_nss, or whose
                                       set reaches past the record */
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

/* Opens the data set (data_key, exten, vnum) for the range begin .. end
 * (years and days, seconds of day, nanoseconds; a begin second of -1 or -2
 * reads real-time files): finds its header and data file through the
 * catalog (in real time waits for new ones), reads its description values
 * once, opens its mode instance (mode_data 1; 2 marks the mode instance
 * itself) and sets up its ancillary sources.  1; 1200 when the catalog
 * has no file for the begin (fetch it first; the entry stays without
 * files); else a failure. */
KOMBRA_SHORT file_open(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, int btime_yr, int btime_day,
                       KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, int etime_yr, int etime_day,
                       KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec, KOMBRA_CHAR mode_data);
/* Closes the data set's files and opens it again for a new range (the mode
 * instance with it, under its old version).  1, 1200 or a failure. */
KOMBRA_SHORT reset_experiment_info(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, int btime_yr,
                                   int btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, int etime_yr,
                                   int etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
/* The time 1 ms after the end of the last record read (of the mode
 * instance when mode_data is set), where the next file's data start.  1,
 * -204, -205, -206, or -469 when no record was read since the open. */
KOMBRA_SHORT next_file_start_time(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                                  KOMBRA_CHAR mode_data, KOMBRA_SHORT *start_yr, KOMBRA_SHORT *start_day,
                                  KOMBRA_LONG *start_sec, KOMBRA_LONG *start_nsec);
/* Positions the open data set at the begin time and fills data_ptr with the
 * first sensor of the record it stops at (playback); positions the mode
 * instance and the ancillary sources too.  Once positioned, a further call
 * does nothing until the data set is reopened.  1; in real time 0 (no
 * complete record yet), 9 or 12 (an end mark); else a failure. */
KOMBRA_SHORT file_pos(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *data_ptr,
                      int btime_yr, int btime_day, KOMBRA_LONG btime_sec, KOMBRA_LONG btime_nsec, int etime_yr,
                      int etime_day, KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec);
/* How the records of the header and data file pair of data_key named header
 * and data read, walked from the first to the last record of the data file
 * with their headers (the description read for begin .. end, year, day of
 * year and milliseconds of day): a record reads in order when it and its
 * header read, it begins no earlier than the record before it and no end
 * mark came before it.  The pair is whole when all its records read in
 * order, the last of them an end mark, and no part of a record follows.
 * after_* is the time after the last sample of the last data record in
 * order, reckoned as next_file_start_time reckons it (year 0: none).  Runs
 * on a data-set instance of its own whose files it closes again (a reader
 * not set up before is set up for the call and released after it).  1 with
 * *walk filled, or the status of what could not be read. */
struct nurv_records_walk {
    long long records = 0;   /* whole records of the data file */
    long long in_order = 0;  /* the leading records that read in order */
    bool end_mark = false;   /* an end mark follows the last data record and ends the file */
    bool partial = false;    /* part of a record follows the whole ones */
    int after_yr = 0, after_day = 0;
    KOMBRA_LONG after_msec = 0;
    bool whole() const { return records > 0 && in_order == records && end_mark && !partial; }
};
KOMBRA_SHORT file_records_walk(KOMBRA_ULONG data_key, const char *header, const char *data, int btime_yr,
                               int btime_day, KOMBRA_LONG btime_msec, int etime_yr, int etime_day,
                               KOMBRA_LONG etime_msec, nurv_records_walk *walk);
/* What a walk saw, for a line: "its records read in order from the first
 * to its end mark" when the pair is whole, else the first thing that keeps
 * it from being whole. */
std::string nurv_walk_text(const nurv_records_walk &walk);
/* A time as "2001/090 18:59:59.999" (year, day of year, ms of day). */
std::string nurv_time_text(long long yr, long long day, long long msec);
/* Fills nur_data_ptr with sensor sen of the current record (times, sweep
 * steps, modes, quality, samples, calibration values, azimuths, ancillary
 * values) and, with fwd, advances to the next sample position (all steps
 * of the sweep with full_swp).  1 filled; 2 the sensor is not in the
 * record; 3, 6 no new real-time data yet; 9, 12 end marks; -46, -48, -362,
 * -468 or another failure. */
KOMBRA_SHORT read_drec(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *nur_data_ptr,
                       KOMBRA_SHORT sen, KOMBRA_CHAR fwd, KOMBRA_CHAR full_swp);

/* The state of the pitch-angle source of an open data set: *pa_status 0 no
 * source, 1 pitch angles available, 2 the catalog failed for the field data
 * set, 3 no field data for the range, 4 another failure; *pa_key the field
 * data set's key (0 for constants or no source).  1, or -207 when the data
 * set is not open. */
KOMBRA_SHORT pitch_angle_source_status(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum,
                                       KOMBRA_USHORT *pa_status, KOMBRA_ULONG *pa_key);

/* One kind of value of the record last read (1 sensor values, 2 sweep
 * steps, 3 calibration set cal_set, 4 mode value number sensor, 5 quality,
 * 6 pitch angles, 7 and 8 start and stop azimuths, 9 spacecraft potential)
 * in units, into ret_data, through num_tbls pairs of a table number
 * (signed; 255 reads as -1, "no table", for combination codes) and an
 * operation code: below 1000 an element operation (code mod 10) with the
 * table, then built-in code / 10 when above 9; 1000-1999 the same into
 * scratch buffer 1, 3000-9999 into buffer code / 1000; 2001-2999 combine
 * the result with buffer 1; 10001-99999 combine buffer code / 10000 into
 * buffer (code mod 10000) / 1000 (0 the result).  With chk_fill, raw words
 * equal to fill_value (kinds 1 and 3) become -3.4e38.  1 or a failure. */
KOMBRA_SHORT convert_to_units(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, nur_data *nur_data_ptr,
                              KOMBRA_SHORT sensor, int8_t data_type, int8_t cal_set, int8_t num_tbls,
                              const KOMBRA_CHAR *tbls_to_apply, const KOMBRA_LONG *tbl_oper, KOMBRA_FLOAT *ret_data,
                              int8_t chk_fill, KOMBRA_LONG fill_value);

/* Moves time (seconds of day when time_unit is 1, else milliseconds) into
 * 0 .. one day, stepping year and day one day per whole day moved (a day
 * below 1 is the last of the year before, one past the year's length the
 * first of the next). */
void adjust_time(KOMBRA_SHORT *year, KOMBRA_SHORT *day, KOMBRA_LONG *time, KOMBRA_SHORT time_unit);

/* 1 when p was handed out by create_nur_data_structure and not yet freed,
 * else 0. */
int valid_nur_data_structure(const nur_data *p);
/* 1 when p is a registered tensor record, else 0. */
int valid_tensor_data_structure(const tensor_data *p);
