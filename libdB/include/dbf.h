/* libdB: dBASE III tables (.dbf) and their flat sorted key indexes (.NDX).
 *
 * Tables and indexes are reached through integer handles.  Each open table
 * keeps one current record in a buffer; field values are read from (and
 * written into) that buffer.  An index is loaded whole when it is opened and
 * searched in memory; it names the table record of each entry.
 *
 * Errors: every function records why it failed in dbf_code (one of the codes
 * below, or a system error number) together with a short text naming the file
 * or field; dbf_msg() turns both into one message line and clears them.  A
 * successful operation sets dbf_code to 0.
 *
 * Byte layouts, as read and written here (all numbers little-endian):
 *
 * .dbf  0 version (3), 1-3 date of last update (year-1900, month, day),
 *       4 record count (4), 8 header length (2), 10 record length (2),
 *       12-31 not interpreted; from 32 field descriptors of 32 bytes (0-10
 *       name, 11 type letter C/D/L/M/N, 16 width, 17 decimals), ended by 0x0D.
 *       Records start at the header length; each is a flag byte (blank for a
 *       live record) followed by the fields in descriptor order.
 * .NDX  0 zero, 1-3 date of last write, 4 NextFreeIndexRec (4),
 *       8 MAXIndexRecs (4), 12 NumIndexFields (4, 1 to 5), from 16 key
 *       descriptors of 16 bytes (0-9 name, 10 type, 11 width, 12 decimals),
 *       zero up to 96; from 96 the entries: key bytes, zero up to a multiple
 *       of 4, then the 1-based record number (4), in ascending key order. */
#pragma once

#include "kombra_types.h"

/* ---- Status codes (dbf_code) ------------------------------------------ */

enum {
    DBF_NO_ERROR = 1,           /* no error or warnings */
    DBF_FULL = 500,             /* allocated databases full */
    DBF_NOT_XBASE = 501,        /* not a dBASE III table (bad or inconsistent header) */
    DBF_REC_TOO_HIGH = 502,     /* record or index position above the last one */
    DBF_REC_TOO_LOW = 503,      /* record number below 1 */
    DBF_PARTIAL_READ = 504,     /* partial read error */
    DBF_LSEEK = 505,            /* seek failed */
    DBF_READ = 506,             /* read failed or came back short */
    DBF_WRITE = 507,            /* write failed or came back short */
    DBF_OPEN = 508,             /* table could not be opened */
    DBF_FIELD_TYPE = 520,       /* unknown field type letter */
    DBF_UNKNOWN_FIELD = 521,    /* no field of that name */
    DBF_FIELD_VALUE = 522,      /* value does not fit or suit the field */
    DBF_FIELD_ERROR = 523,      /* bad field name or number */
    DBF_NO_SUCH_HANDLE = 530,   /* no such handle */
    DBF_EMPTY_HANDLE = 531,     /* handle exists but its file is not open / entries not loaded */
    DBF_NO_HANDLES = 532,       /* no handles available */
    DBF_UNKNOWN_HANDLE = 533,   /* no table or index of that number */
    DBF_BAD_SET = 540,          /* invalid set command */
    DBF_BAD_SET_VALUE = 541     /* invalid set value */
};

/* ---- Records ---------------------------------------------------------- */

typedef enum : int { NotOpen = 0, NotUpdated = 1, Updated = 2 } Status_t;
typedef enum : int { FAILURE = 0, SUCCESS = 1 } dbRet_t;
typedef enum : int {
    FAIL = 0,          /* bad handle */
    EXACT_MATCH = 1,   /* an entry begins with the key; its record is current */
    NO_MATCH = 2,      /* no entry begins with the key */
    MATCH_LESS = 3,    /* near: the key is smaller than the entry now current */
    MATCH_GREATER = 4, /* near: the key is larger than the entry now current */
    FIND_ERROR = 5     /* the record of the entry could not be read */
} dbFindRet_t;

/* One field of a table (or one key field of an index). */
typedef struct FieldRecord_s {
    char Name[12];      /* up to 11 characters, NUL-padded */
    char Typ;           /* C, D, L, M or N */
    unsigned char Len;  /* width in bytes */
    unsigned char Dec;  /* decimal places */
    char *Parm;         /* the field's bytes inside the table's CurRecord */
} FieldRecord_t;

/* One open index of a table. */
typedef struct ndxRecord_s {
    int handle;                 /* number within its table, from 1 */
    char IndexName[256];        /* path of the .NDX file */
    long IndexRec;              /* current entry, 1-based; -1 for none */
    long NextFreeIndexRec;      /* highest position Skip may reach */
    long MAXIndexRecs;          /* number of entries */
    Status_t iStatus;
    int NumIndexFields;         /* 1 to 5 */
    FieldRecord_t *IndexFields; /* key fields, Parm into the table's record */
    int KeyLen;                 /* sum of the key fields' widths */
    unsigned char *Index;       /* all entries; NULL until loaded */
    struct ndxRecord_s *next;
} ndxRecord_t;

/* One open table. */
typedef struct dbfRecord_s {
    int handle;                  /* from 1 */
    char FileName[256];
    int dFile;                   /* file descriptor; -1 when closed */
    unsigned char HeadProlog[32];/* first 32 bytes of the file as read */
    Status_t hStatus;            /* Updated: the header must be rewritten */
    int WithMemo;                /* the table has a memo field */
    char DateOfUpdate[12];       /* "%2d/%02d/%02d" of month, day, year byte */
    long NumRecs;
    int HeadLen;
    int RecLen;
    int NumFields;
    FieldRecord_t *Fields;
    long CurRec;                 /* 1-based; 0 before the first read; -1 unopened */
    Status_t rStatus;            /* Updated: CurRecord must be written back */
    char *CurRecord;             /* RecLen + 1 bytes */
    ndxRecord_t *ndxRecords;     /* its open indexes */
    struct dbfRecord_s *next;
} dbfRecord_t;

/* ---- Process-wide state ----------------------------------------------- */

extern dbfRecord_t *dbfRecords; /* open tables, in opening order */
extern int dbf_code;            /* last error code; 0 after a success */

/* ---- Tables ----------------------------------------------------------- */

/* Opens the table at path with the caller's open(2) flags and checks its
 * header; the current record is record 1 when the table has any.  The new
 * handle is written to *handle.  Fails with 508 (open), 506 (read), 501
 * (not a dBASE III table: other version, truncated header, record length or
 * record count that the descriptors or the file size contradict), 520
 * (unknown field type) or a system error number. */
dbRet_t OpenDbf(int *handle, const char *path, int oflag);
/* Writes back an updated current record and an updated header, closes any
 * index still open on the table, then closes and frees it.  On a failed
 * write the table stays open and FAILURE is returned. */
dbRet_t CloseDbf(int handle);
/* Reads record n into the current-record buffer (an updated current record
 * is written back first).  502 above the record count, 503 below 1. */
dbRet_t GetDbfRecord(int handle, long n);
dbRet_t GoTo(int handle, long n);
/* Writes the current-record buffer as record n; n above the record count
 * appends it as a live record (the header is rewritten by CloseDbf).  A
 * failed append leaves the records already in the table untouched. */
dbRet_t PutDbfRecord(int handle, long n);
dbRet_t AppendDbf(int handle);
/* Rewrites bytes 1-7 of the header: the file's modification date and the
 * record count.  505 on a failed seek, 507 on a failed or short write. */
dbRet_t UpdateHeader(dbfRecord_t *table);

/* Creates an empty dBASE III table at path with the given fields (names of
 * 1 to 10 characters, types C, D, L or N; D is 8 wide, L 1 wide) and opens
 * it read-write.  The file is written beside the target and renamed into
 * place, so an existing file survives a failure.  520 for another type, 523
 * for a bad name, width or decimal count, or a system error number. */
dbRet_t CreateDbf(int *handle, const char *path, const FieldRecord_t *fields, int numFields);

/* ---- Indexes ---------------------------------------------------------- */

/* Loads the index at path for an open table.  Every key field must be a
 * table field of that exact name (521) and width (523); 506 for a truncated
 * file, 501 for a bad key-field count, more entries than the file holds or
 * an entry naming a record the table lacks; system error numbers otherwise. */
dbRet_t OpenNdx(int tableHandle, const char *path, int *ndxNum);
/* Rewrites an updated index (beside the target, then renamed into place)
 * and frees it.  On a failed write the index stays open. */
dbRet_t CloseNdx(int tableHandle, int ndxNum);
/* Builds a new index of the table over 1 to 5 key fields, sorted by key
 * bytes, then by record number; it is written by CloseNdx. */
dbRet_t CreateNdx(int tableHandle, const char *path, const char *const *keyFields,
                  int numKeyFields, int *ndxNum);
/* Moves by n records, through the index unless ndxNum is -1, and reads the
 * record reached.  Through an index: a position above NextFreeIndexRec fails
 * with 502, one below 1 is taken as 1. */
dbRet_t Skip(int tableHandle, int ndxNum, long n);
/* Binary search of the index for the entries beginning with key (compared
 * over the shorter of the key and the key length); see dbFindRet_t. */
dbFindRet_t dbFind(int tableHandle, int ndxNum, const char *key, int near);
/* Record number of the entry at a 1-based index position; 0 when none. */
long ItoR(const ndxRecord_t *index, long position);

/* ---- Fields ----------------------------------------------------------- */

/* The field named exactly name, or NULL (521). */
FieldRecord_t *dbField(int handle, const char *name);
/* 0-based number of the field named name in upper case, or -1 (523). */
int FieldNo(int handle, const char *name);
/* Value of field i of the current record into out: C fields their width of
 * characters and a terminator, D fields 8 characters, N fields a double
 * (with decimals) or a KOMBRA_LONG; L and M fields store nothing.  FAILURE
 * for a bad handle or field number (523), or an N field wider than 63
 * characters or out of range of a KOMBRA_LONG (522). */
dbRet_t FieldGet(int handle, int i, void *out);
dbRet_t FieldGetN(int handle, const char *name, void *out);
/* Sets field i of the current record from text: C left-aligned, N
 * right-aligned, both blank-padded; D 8 digits, L one of "TtFfYyNn?"; an
 * empty text blanks the field.  522 when it does not fit or suit the field.
 * The record becomes Updated and is written back when another record is
 * read or the table is closed. */
dbRet_t FieldPut(int handle, int i, const char *text);
dbRet_t FieldPutN(int handle, const char *name, const char *text);
/* Writes back an updated current record, then blanks the buffer and detaches
 * it from any record (CurRec 0), ready to be filled and appended. */
dbRet_t BlankRecord(int handle);

/* ---- Messages --------------------------------------------------------- */

/* Text of a code; "dbf: unknown error or warning code" for others. */
const char *_dbf_msg(int code);
/* "%s, %s" of the code's text and the failure text; clears both.  The
 * result is a static buffer overwritten by the next call. */
char *dbf_msg(void);

/* ---- Handles ---------------------------------------------------------- */

dbfRecord_t *dbfHandle(int n);                       /* else NULL, 533 */
ndxRecord_t *ndxHandle(dbfRecord_t *table, int n);   /* else NULL, 533 */
dbfRecord_t *GetOldDbfHandle(int n);                 /* also open, else 531 */
ndxRecord_t *GetOldNdxHandle(dbfRecord_t *table, int n); /* also loaded, else 531 */
dbfRecord_t *GetNewDbfHandle(void);                  /* appended to dbfRecords */
ndxRecord_t *GetNewNdxHandle(dbfRecord_t *table);    /* appended to its list */
void InitDbfHandle(dbfRecord_t *table);
void InitNdxHandle(ndxRecord_t *index);

/* ---- Text and number helpers ------------------------------------------ */

/* Removes trailing blanks in place (never the first character). */
char *rtrim(char *s);
/* Moves the text behind leading blanks to the start of s. */
char *ltrim(char *s);
/* Lower-case letters to upper case, in place. */
char *to_upper(char *s);
long MakeLong(const unsigned char *p); /* 4 bytes, little-endian, unsigned */
int MakeInt(const unsigned char *p);   /* 2 bytes, little-endian, unsigned */

/* ---- Fault injection (tests) ------------------------------------------ */

/* Lets `after` more writes to table and index files through, then fails
 * the next `count` writes (count < 0: all of them) with ENOSPC; a failing
 * write stores the first half of its bytes first.  after < 0 switches the
 * hook off. */
void dbfFailWrites(long after, long count);
