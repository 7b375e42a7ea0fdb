/* KVE, the exchange library: the in-memory data set, the options record
 * that steers every read and write, global attribute utilities, time texts,
 * messages and status codes, and the file, path and string utilities that
 * the writers and readers share.
 *
 * Records are plain structures made by the KvMake functions and released by
 * the KvFree functions here; everything reachable from a data set or an
 * options record belongs to it (except the data set's io_f_extn, which
 * points into the options record).  Results are status codes: 0 success,
 * -1 a warning, 101 to 181 errors; KvErrStr gives their texts.
 *
 * Three host functions complete the library; the program that links it
 * supplies them: KveAlertBox, KveVersion and KvCEFmsg. */
#pragma once

#include <cstdint>
#include <cstdio>

/* The one empty string that marks an unset string field; never freed. */
extern char STR_NULL[1];

/* ---- Data types ------------------------------------------------------------ */

enum {
    CDF_INT1 = 1,
    CDF_INT2 = 2,
    CDF_INT4 = 4,
    CDF_INT8 = 8,
    CDF_UINT1 = 11,
    CDF_UINT2 = 12,
    CDF_UINT4 = 14,
    CDF_REAL4 = 21,
    CDF_REAL8 = 22,
    CDF_EPOCH = 31,
    CDF_EPOCH16 = 32,
    CDF_TIME_TT2000 = 33,
    CDF_BYTE = 41,
    CDF_FLOAT = 44,
    CDF_DOUBLE = 45,
    CDF_CHAR = 51,
    CDF_UCHAR = 52,
    ISO_TIME = 3030 /* the library's own: ISO 8601 text of num_elems characters */
};

/* ---- Status codes (texts: KvErrStr) ----------------------------------------- */

enum {
    KV_WARNING = -1,         /* function may not have executed as expected */
    KV_OK = 0,               /* success */
    KV_NO_VARIABLES = 101,   /* no variable with data, or record counts differ */
    KV_CDF_OPEN = 102,       /* unable to open cdf */
    KV_REC_COUNTS = 103,     /* variables have different numbers of records */
    KV_CDF_COUNTS = 104,     /* CDF reader: counts cannot be read */
    KV_EMPTY = 105,          /* data structure empty */
    KV_CDF_VAR_INFO = 107,   /* CDF reader: variable properties 107..114 */
    KV_READ_TYPE = 109,      /* flat reader: a data type it cannot store */
    KV_BAD_TYPE = 115,       /* can't handle data type */
    KV_CDF_SELECT = 116,     /* the record and hyperslab selection failed */
    KV_CDF_READ = 117,       /* the hyperslab read failed */
    KV_GATTR_CREATE = 119,   /* cannot create a global attribute */
    KV_GENTRY_SELECT = 120,  /* cannot add an entry to a global attribute */
    KV_GENTRY_WRITE = 121,   /* cannot write an entry of a global attribute */
    KV_MAXGENTRY = 122,      /* reading the last global entry number failed */
    KV_VERSION_WRITE = 123,  /* cannot write the software version */
    KV_NO_VAR = 124,         /* cannot find the variable in the file */
    KV_VATTR_CREATE = 126,   /* cannot create a variable attribute */
    KV_VATTR_WRITE = 127,    /* cannot write a variable attribute */
    KV_DATA_WRITE = 128,     /* failed to write data to the cdf file */
    KV_TOO_MANY_ATTRS = 129, /* more attributes or entries than their slots */
    KV_FILE_EXISTS = 130,    /* output file already exists */
    KV_FILE_OPEN = 131,      /* error opening file */
    KV_SYNTAX = 133,         /* bad syntax in a parameter value pair */
    KV_CDF_META = 134,       /* failure returned from a CDF read */
    KV_CDF_ATTR = 135,       /* an attribute cannot be selected or counted */
    KV_CDF_GATTR = 136,      /* a global attribute's name or entry cannot be read */
    KV_CDF_VATTRS = 137,     /* a variable's attributes cannot be read */
    KV_TOO_MANY_DIMS = 138,  /* more than 10 sizes */
    KV_POS_MARK = 139,       /* a position cannot be marked */
    KV_POS_RESET = 140,      /* a position cannot be restored */
    KV_GATTR_FULL = 142,     /* no room for another global attribute */
    KV_COPY_MODE = 143,      /* bad entry copy mode */
    KV_BAD_ISO = 145,        /* bad ISO time string */
    KV_TOO_MANY_VARS = 146,  /* too many variables */
    KV_NO_DATA = 150,        /* no data found */
    KV_BAD_HEADER = 151,     /* cannot understand header */
    KV_HEADER_DATA = 152,    /* header inconsistent with data */
    KV_FILE_TYPE = 153,      /* file type unknown */
    KV_VAR_NO_DATA = 154,    /* a variable without data while records are written */
    KV_SHORT_RECORD = 155,   /* short record in file */
    KV_CORRUPT_FILE = 156,   /* a NUL byte in a text file, or an INCLUDE loop */
    KV_VAR_BLOCK = 157,      /* variable block start and end names differ */
    KV_GLOBAL_BLOCK = 158,   /* global block start and end names differ */
    KV_BAD_DOY = 159,        /* day of year out of range */
    KV_DATE_ITEMS_LEFT = 160,/* a date item after the day of year */
    KV_BAD_MONTH_NAME = 161, /* month name not recognised */
    KV_FT_CAT_LONG = 165,    /* all-records text does not fit */
    KV_FT_ATTR_LONG = 166,   /* time or picture attribute too long */
    KV_FT_NO_PICTURE = 167,  /* no single TIME_FORMAT_STRING */
    KV_FT_ALL_PAIR = 168,    /* all-records attributes do not pair */
    KV_FT_PICTURE_LONG = 169,/* picture too long */
    KV_FT_ALL_LENGTHS = 170, /* all-records picture and time differ in length */
    KV_FT_ALL_MISSING = 171, /* one all-records attribute missing */
    KV_FT_TEXT_LENGTH = 172, /* time text and picture differ in length */
    KV_BAD_MONTH = 173,      /* month below 1 or above 12 */
    KV_BAD_DAY = 174,        /* day out of range of its month */
    KV_BAD_TIME_FORMAT = 175,/* unknown time format */
    KV_BAD_YEAR = 176,       /* a year of 0 written without a '0' */
    KV_NO_YY_OFFSET = 177,   /* a two-digit year and no YY_OFFSET */
    KV_BAD_YY_OFFSET = 178,  /* a bad YY_OFFSET */
    KV_NO_HEADER = 179,      /* unable to find detached header */
    KV_BAD_CEF2_TEXT = 180,  /* badly formed text string in CEF 2 */
    KV_CEF2_RECNUM = 181     /* record numbering in CEF 2 */
};

/* ---- Records ------------------------------------------------------------------ */

typedef enum KvSCDFVariable_novary : int { WRITE_ONCE = 0, EVERY_RECORD = 1 } KvSCDFVariable_novary;

typedef struct KvSVarAttribute {
    long number;    /* its slot index */
    char *name;     /* STR_NULL unset */
    long data_type;
    long num_elems; /* text: num_elems NUL-terminated strings back to back */
    void *data;
} KvVarAttribute;

typedef struct KvSGAttrEntry {
    long exists;    /* 1 present, 0 a gap */
    long data_type;
    long num_elems; /* characters for text */
    void *data;
} KvGAttrEntry;

typedef struct KvSGlobalAttribute {
    long number;
    char *name;
    long num_entries;
    KvGAttrEntry *entry;
} KvGlobalAttribute;

enum { KV_MAX_DIMS = 10, KV_VATTR_ASKED = 200, KV_VATTR_SLOTS = 211 };

typedef struct KvSCDFVariable {
    KvSCDFVariable_novary novary_opt;
    long sizeofentry; /* bytes of one element */
    long number;
    char *name;
    long data_type;
    long rec_vary;    /* -1 varies by record, 0 does not */
    long max_rec_num; /* index of the last record; -1 none */
    long num_dims;    /* 0..10 */
    long *dim_sizes;  /* 10 slots */
    long *dim_varys;  /* 10 slots; -1 varies */
    long num_v_attrs;
    long num_elems;   /* characters of one value for text types; 1 otherwise */
    void *data;       /* record by record, row major */
    KvVarAttribute *attribute; /* 211 slots */
    int isPtrType, isTensorRep_i, isDepend_i, isLabel_i;
    int hasUnits, hasFrame, hasSI_conversion, hasFieldnam, hasLablaxis, hasDepend_0, hasDeltaPlus,
        hasDeltaMinus, hasTensorFrame, hasTensorRank;
    int numTensorRep_i, numLabel_i, numDepend_i, ErrDepend_i, ErrLabel_i, ErrTensorRep_i;
} KvCDFVariable;

typedef struct KvSCDFContents {
    long n_vars;
    long n_recs;
    long time_var_num; /* -1 none */
    char *io_f_name;   /* stem without extension */
    char *io_f_path;   /* directory with its trailing '/' */
    char *io_f_extn;   /* borrowed from the options record */
    long num_g_attrs;
    KvCDFVariable **vardata;
    KvGlobalAttribute **g_attr; /* malloc'd; grows by realloc as attributes are added */
} KvCDFContents;

typedef enum KvSOptions_header : int { ATTACHED = 0, DETACHED = 1, NO_HEADER = 2 } KvSOptions_header;
typedef enum KvSOptions_f_type : int { UNSET = 0, TABULAR = 1, DELIMITED = 2, EXCHANGE = 3, CAA = 4 } KvSOptions_f_type;
typedef enum KvSOptions_rec_num : int { NUM_OFF = 0, NUM_ON = 1 } KvSOptions_rec_num;
typedef enum KvSOptions_priority : int { REPLACE = 1, WARN = 2 } KvSOptions_priority;
typedef enum KvSOptions_object : int { TS = 0, DS = 1 } KvSOptions_object;

typedef struct KvSOptions {
    KvSOptions_header header;
    KvSOptions_f_type f_type;
    KvSOptions_rec_num rec_numbering;
    KvSOptions_priority priority;
    KvSOptions_object object_type;
    char attr_delim;
    char data_delim;
    char rec_end;
    char row_end;
    KvSOptions_f_type type_guess;
    FILE *fp_display;
    FILE *fp_null;
    char debug_choice; /* 'f' to fp_display, 'w' to KveAlertBox */
    double sample_H_interval;
    char *start_after;
    char time_sep_attr;
    char time_sep_data;
    char *header_path;
    char *header_name;
    char *get_only;
    char EXTN_CDF[5];
    char EXTN_QFT[5];
    char EXTN_QFD[5];
    char EXTN_QHD[5];
    char EXTN_CEF[5];
    char *data_until;
    long Nstart;
    long Nend;
} KvOptions;

struct KvSFTpacket;

typedef struct KvSRecord_format {
    char *title;
    int total_width;
    int *col_start;
    int *col_width;
    long *n_items;
    long *ignore;
    struct KvSFTpacket *ftpackets;
} KvRecord_format;

typedef struct KvSCDFepoch {
    double tsince0; /* CDF epoch milliseconds */
    long year, month, day, hour, minute, second, msec;
} cdf_epoch;

/* ---- Constructors and destructors ---------------------------------------------- */

KvCDFContents *KvMakeCDFContentsObj();
KvCDFVariable **KvMakeKvVariablePtrs(long n);
KvGlobalAttribute **KvMakeKvGAttrPtrs(long n);
KvCDFVariable *KvMakeKvVariable();
KvVarAttribute *KvMakeKvVAttr(long n); /* n + 11 slots */
KvGlobalAttribute *KvMakeKvGAttr();
KvGAttrEntry *KvMakeEntries(long n);   /* zeroed entries */
KvOptions *KvMakeOptionsObj();
KvRecord_format *KvMakeFmtObj();
/* Deep frees; each returns NULL. */
KvCDFContents *KvFreeCDFContentsObj(KvCDFContents *contents);
KvRecord_format *KvFreeFormatSpace(KvRecord_format *format);
KvOptions *KvFreeOptionsObj(KvOptions *options);
/* A malloc'd copy; NULL for NULL, STR_NULL when memory runs out. */
char *KvNewStr(const char *text);
/* 1 when the variable at index exists and has data. */
int KvVarSafe(const KvCDFContents *contents, long index);
/* Packs out variables without data (freeing them) and moves time_var_num
 * with its variable (-1 when it was dropped); NULL when none is left. */
KvCDFContents *KvMakeSafe(KvCDFContents *contents);

/* ---- Global attributes and data types ------------------------------------------ */

long CDFsizeof(long data_type, long n);
char *KvCDFDataType(long data_type); /* malloc'd; the caller frees */
int KvInitGlobalContents(KvCDFContents *contents);
long *KvFindGlobalAttr(const KvCDFContents *contents, const char *name, long *index);
int KvCreateGlobalTxtAttr(KvCDFContents *contents, const char *name, const char *text);
int KvReplaceGlobalTxtAttr(KvCDFContents *contents, const char *name, const char *text);
int KvAppendGlobalTxtAttr(KvCDFContents *contents, const char *name, const char *text);
int KvCreateGlobalAttr(KvCDFContents *contents, const KvGlobalAttribute *source, long *index);
int KvCopyGlobalEntry(KvGAttrEntry *dest, const KvGAttrEntry *source, int mode);
int KvIsNewEntry(const KvGlobalAttribute *attr, const KvGAttrEntry *entry);
int KvAppendGlobalAttr(KvGlobalAttribute *target, long index, const KvGlobalAttribute *source);
char *KvCtoISO(char *ctime_text, char *out); /* out holds at least 25 characters */
double KvFindSampleSpacing(const double *times, long n, int depth, double lower);
/* Records left in the flat reader's input, counted without consuming them
 * (0 when the position cannot be taken). */
long KvCountRecords(KvOptions *options);

/* ---- Time text, messages, names ----------------------------------------------- */

/* Time text in a static buffer that the next call overwrites. */
char *KvEpochToISOString(double epoch, char separator);
void KvEpochBreakdown(cdf_epoch *epoch);
void KvEpochCompute(cdf_epoch *epoch);
/* Epoch milliseconds; -1.0 for a missing text or field, 145.0 for a text
 * shorter than 19 characters. */
double KvISOStringToEpoch(const char *text);
/* The same conversion with a status: 0, KV_BAD_ISO (too short) or
 * KV_WARNING (a field missing). */
int KvISOStringToEpochStatus(const char *text, double *epoch);
int KvDisplayMessage(const char *text, KvOptions *options);
int KvEnsureHeader(KvCDFContents *contents, KvOptions *options);
int KvEnsureFileName(KvCDFContents *contents, KvOptions *options);
int KvstrNULL(const char *text);
char *KvFreeStr(char *text);
char *KvErrStr(int code); /* malloc'd; the caller frees */

/* ---- Files, paths, strings ---------------------------------------------------- */

int KvStrcpy(char *dest, const char *source, long n);
int KvStrcat(char *dest, const char *source, long n);
int KvIsDivisible(long a, long b, long *quotient);
/* Modes: "r", "w" and the like; a mode ending in '-' creates the file
 * exclusively (null when it exists). */
FILE *KvOpenFile(const char *mode, const char *dir, const char *name, const char *extn);
/* Closes the stream; a non-zero status removes the file (unlink of the
 * exact path, no shell). */
int KvCloseFile(int status, const char *dir, const char *name, const char *extn, FILE *fp);
/* Why the last file of a write or read of this library failed: "Cannot
 * open", "Cannot write", "Cannot read" or "Cannot remove", the file's path,
 * a colon and the system's reason, as "Cannot write /data/run.cef: No space
 * left on device"; a refused CDF or a data set whose data are shorter than
 * their shape names what it holds wrong, a corrupt input file (a NUL byte,
 * an INCLUDE loop) its line, as "Cannot read /data/run.cef line 22: NUL
 * byte".  Empty when the last
 * write or read (each clears it as it starts) met no file failure.  Stays
 * until the next write or read. */
const char *KvLastFileError(void);
char *KvFindHeader(const char *dir, KvOptions *options);
char *KvSafePath(const char *path);     /* shared buffer, next call overwrites */
char *KvUserHomeDir(const char *user);  /* shared buffer */
char *KvStripQuotes(const char *text);  /* malloc'd copy */
int KvVarExists(const KvCDFContents *contents, const char *name);
int KvIsISOtime(const char *text);
int KvIsNumber(const char *text);

/* ---- Host callbacks (supplied by the program) ---------------------------------- */

int KvCEFmsg(int level, const char *text1, const char *text2, const char *text3);
void KveAlertBox(const char *title, const char *text);
char *KveVersion();
