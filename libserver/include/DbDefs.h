/* DbDefs: data keys and the dBASE catalog back end ("Tarvo").
 *
 * A data key packs the 1-based hierarchy numbers of a data source: project
 * 9 bits, mission 4, experiment 6, instrument 6, virtual instrument 7, from
 * the high bits down.  The Tarvo back end answers the catalog front end's
 * calls from the configuration tree and from one pair of dBASE tables per
 * instrument (<base>.HD.DBF/.NDX for header and data files, <base>.I.DBF/.NDX
 * for description files).  This header also holds the catalog types shared
 * with the front end. */
#pragma once

#include "libant.h"

/* ---- Catalog types shared with the front end --------------------------- */

typedef enum : int { SQLite = 0, MySQL = 1, Tarvo = 2 } dbType;

/* One query result (opaque) and the column texts of its current row. */
typedef void *DB_RESULT;
typedef char **DB_ROW;

/* Kind of catalogued file asked for. */
typedef enum : int {
    _H_AND_D_ = 0, /* header and data pair */
    _HEADER_ = 1,
    _DATA_ = 2,
    _KELD_ = 3     /* description file */
} RequestedDataType;

/* ---- Status codes ------------------------------------------------------ */

enum {
    SERVER_BAD_PROJECT = -145,      /* "server: Invalid project!" */
    SERVER_BAD_MISSION = -146,      /* "server: Invalid mission!" */
    SERVER_BAD_EXPERIMENT = -147,   /* "server: Invalid experiment!" */
    SERVER_BAD_INSTRUMENT = -148,   /* "server: Invalid instrument!" */
    SERVER_BAD_VIRTUAL = -149,      /* "server: Invalid virtual instrument!" */
    TARVO_NO_DATA = 1200,           /* no catalog entry covers the time */
    TARVO_OPEN_FAILED = -1010,      /* a catalog table or its index cannot be opened */
    TARVO_READ_FAILED = -1011,      /* the entry's begin fields cannot be read */
    TARVO_PATH_TOO_LONG = -1002,    /* a directory or the file's path does not fit its buffer */
    TARVO_NO_PATH = -1170           /* no DatabasePath (playback) or RealTimePath (real time) */
};

/* Level names passed through this back end: at most 24 characters, virtual
 * instruments at most 8. */
enum { SERVER_NAME_MAX = 24, SERVER_VNAME_MAX = 8 };

/* ---- Keys --------------------------------------------------------------- */

/* fields: project, mission, experiment, instrument, virtual instrument. */
void fields_to_key(const KOMBRA_USHORT fields[5], KOMBRA_ULONG *key);
void key_to_fields(KOMBRA_ULONG key, KOMBRA_USHORT fields[5]);

/* Key of five level names from the tree; 1, or -145..-149 for the first
 * level not found. */
int tarvo_get_data_key(const char *p, const char *m, const char *e, const char *i, const char *v,
                       KOMBRA_ULONG *key);
/* Names of the numbered nodes into five caller buffers (25, 25, 25, 25 and
 * 34 bytes at least); 1, or -145..-149. */
int KeysToStr(const KOMBRA_USHORT fields[5], char *p, char *m, char *e, char *i, char *v);
/* Numbers of the named nodes; 0, or -145..-149. */
int StrToKey(const char *p, const char *m, const char *e, const char *i, const char *v,
             KOMBRA_USHORT fields[5]);
/* Text of a level code (-145..-149) copied into text (at least 40 bytes);
 * any other code aborts. */
char *server_error_string(int code, char *text);

/* ---- Catalog entries and file names ------------------------------------ */

/* Positions table on the entry of vname covering the range; 1 or 0. */
int find_entry(int table, int index, const char *vname, long b_yr, long b_day, long b_msec, long e_yr,
               long e_day, long e_msec, int near);
/* Path of the file of key covering begin..end into out (a path buffer of
 * PATH_MAX bytes); 1, 1200, -1002 (a directory or the path does not fit its
 * buffer, with the error text "... - File path too long..."), -1010, -1011
 * or -1170.  type must not be _H_AND_D_. */
int get_file_name(KOMBRA_ULONG key, Time_t begin, long e_yr, long e_day, long e_msec, RequestedDataType type,
                  const char *exten, char *out);
/* vname, begin year, day, hour and minute and the letter; static buffer. */
char *Tarvo_MakeFileName(const char *vname, long year, long day, long msec, char letter);

/* ---- The back end ------------------------------------------------------- */

int Tarvo_dbInitialize(void);
int Tarvo_dbInitializeMsg(void);
int Tarvo_dbClose(void);
int Tarvo_dbIsReadOnly(void);
int Tarvo_dbConnected(void);
DB_RESULT Tarvo_dbQuery(const char *sql);
DB_RESULT Tarvo_dbQueryStore(const char *sql);
int Tarvo_dbQueryExec(const char *sql);
int Tarvo_dbBadQuery(void);
void Tarvo_dbFreeResult(DB_RESULT result);
char *Tarvo_dbErrorMsg(void);
/* Sets that text (cut to 124 characters), for the look-ups that the front
 * end answers for every back end. */
void Tarvo_dbSetErrorMsg(const char *text);
KOMBRA_ULONG Tarvo_dbGetDataKey(const char *p, const char *m, const char *e, const char *i, const char *v);
int Tarvo_dbKeyToStrings_r(KOMBRA_ULONG key, char *p, char *m, char *e, char *i, char *v);
int Tarvo_dbKeyToStrings(KOMBRA_ULONG key, char *p, char *m, char *e, char *i, char *v);
/* Virtual-instrument name of key; static buffer of 9 bytes ("" when none). */
const char *Tarvo_dbVirtualName(KOMBRA_ULONG key);
/* The same into buffer (at most len bytes); 1 in every case. */
int Tarvo_dbVirtualName_r(KOMBRA_ULONG key, char *buffer, int len);
/* "p/m/e/i/v" of the key; static buffer of 114 bytes. */
char *Tarvo_dbHierarchyString(KOMBRA_ULONG key);
/* Names below the path names[] (ended by NULL, up to five): a new NULL-ended
 * array of new strings, or NULL. */
char **Tarvo_dbHierarchy(int ignored, const char *const *names);
void Tarvo_dbFreeHierarchyList(char **list);
char *Tarvo_dbCfgItem(KOMBRA_ULONG key, const char *item, int n);
char *Tarvo_dbCfgPath(KOMBRA_ULONG key, const char *item);
/* Catalog base name of the key; static buffer of 256 bytes, NULL without a
 * DatabasePath or when the name does not fit. */
char *Tarvo_dbFilename(KOMBRA_ULONG key);
int Tarvo_dbNURVGetFile(KOMBRA_ULONG key, KOMBRA_SHORT b_yr, KOMBRA_SHORT b_day, KOMBRA_LONG b_msec,
                        KOMBRA_SHORT e_yr, KOMBRA_SHORT e_day, KOMBRA_LONG e_msec, RequestedDataType type,
                        const char *exten, char *name1, char *name2);
int Tarvo_dbNURVGetRealTimeFile(KOMBRA_ULONG key, RequestedDataType type, const char *exten, char *name1,
                                char *name2);
