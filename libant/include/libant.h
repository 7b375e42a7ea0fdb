/* libant: the lowest layer of the data-access libraries.
 *
 * Settings from the environment and kombra.cfg, the catalog's time triple,
 * untyped linked lists, named tree nodes with their destruction headers, and
 * small helpers for lines, white space, file names and the user's
 * directories.  Plain functions over plain records, allocated with malloc and
 * released by each record family's own free function. */
#pragma once

#include <cstdio>

#include "kombra_types.h"

/* ---- Settings -------------------------------------------------------- */

/* Slots of the kombra.cfg table. */
enum { KOMBRA_CFG_MAX = 20 };

/* One kombra.cfg setting; both strings are owned. */
struct cfgEntry {
    char *var;
    char *value;
};

/* The process-wide kombra.cfg table: numRead entries are in use.  One slot
 * beyond KOMBRA_CFG_MAX is kept for the KOMBRA_CONFIG default. */
extern cfgEntry *cfgData[KOMBRA_CFG_MAX + 1];
extern int numRead;

/* Reads kombra.cfg at path into the table, once: does nothing while the table
 * holds an entry.  Faulty lines are reported on stderr and skipped. */
void InitKOMBRACfg(const char *path);
/* Environment first (an empty value counts), then the table; NULL when
 * neither has the name.  The result points into the environment or table. */
char *GetEnv(const char *name);
/* Empties the table so that InitKOMBRACfg reads again. */
void FreeKOMBRACfg(void);

/* ---- Time ------------------------------------------------------------ */

/* Year, day of year (1-based) and milliseconds of day; never normalised. */
struct Time_t {
    KOMBRA_LONG yr;
    KOMBRA_LONG day;
    KOMBRA_LONG msec;
};

/* -1 when a is earlier than b, 1 when later, 0 when equal (yr, day, msec). */
int compare_times(Time_t a, Time_t b);

/* ---- Lists and destroyable records ----------------------------------- */

/* Heads every destroyable record: Free releases an array of NToFree records. */
struct DestroyObj_s {
    int NToFree;
    void (*Free)(void *record);
};

/* One cell of an untyped singly linked list; data is not owned. */
struct LinkNode_s {
    void *data;
    LinkNode_s *next;
};

/* Appends a new cell holding data; returns the head (the new cell for NULL). */
LinkNode_s *LinkAppend(LinkNode_s *list, void *data);
/* Number of cells; 0 for NULL. */
int LinkCount(const LinkNode_s *list);

/* ---- Named tree nodes ------------------------------------------------ */

struct StrHier_s;
typedef StrHier_s StrHier;

struct StrHier_s {
    DestroyObj_s *Destroy;   /* set on a single node or the first of an array */
    char *str;               /* owned name */
    KOMBRA_LONG number;      /* 1-based position among the siblings */
    StrHier_s *parent;       /* NULL at a root */
    LinkNode_s *sublist;     /* children, in insertion order */
    void *info;              /* item list; begins with a DestroyObj_s pointer */
    LinkNode_s *(*GetNextItems)(StrHier_s *node);
};

/* One zeroed node with a copy of str and its own destruction header. */
StrHier_s *StrHierNodeCreate(const char *str);
/* count zeroed nodes in one block; the first heads it.  NULL (with a message
 * on stderr) for a count below 1. */
StrHier_s *StrHierCreateNodes(int count);
/* Frees the array headed by nodes, with names and item lists; children are
 * not visited.  Takes void * so that it can serve as a DestroyObj_s Free. */
void DestroyStrHier(void *nodes);
StrHier_s *StrHierAddChildPair(StrHier_s *parent, const char *str, int number);
StrHier_s *StrHierAssignStr(StrHier_s *node, const char *str);
int StrHierDepth(const StrHier_s *node);
/* Copies the node's name into dst, which must have room for it. */
char *StrHierNamer(char *dst, const StrHier_s *node);
void StrHierPrint(const StrHier_s *node);
/* Reads an indented text file into a new tree; NULL when it cannot be opened. */
StrHier_s *StrHierFetch(const char *path);
/* Reads the children of parent that are indented deeper than indent; line is
 * the caller's buffer of at least 80 bytes.  Returns the pending line that
 * ended the level, or NULL at the end of the file. */
char *StrHierParse(FILE *file, char *line, StrHier_s *parent, int indent);

/* ---- Text and system helpers ----------------------------------------- */

/* fgets that drops one trailing newline; NULL at the end of the input. */
char *mfgets(char *buf, int n, FILE *stream);
/* Last character of s; NULL for NULL or "". */
char *strlast(const char *s);
/* First character of s that is not white space; NULL stays NULL. */
char *PastWhite(const char *s);
/* Leading tabs (8) and blanks (1) of a line; 0 for NULL. */
int IndentOf(const char *line);
/* The part behind the last '/', or path itself; NULL stays NULL. */
char *BasenameOf(const char *path);
/* $TEMP or "/tmp", in a static buffer (at most 254 characters). */
char *GetTempDirectory(void);
/* $USER, else the effective user's login name, else "unknown"; static buffer
 * (at most 29 characters). */
char *GetUserName(void);
/* $HOME, else the real user's home directory, else NULL; not a copy. */
char *GetHomeDirectory(void);

/* Opens path like open(2) with flags (O_CLOEXEC always added), but only when
 * it names a regular file (after symbolic links); the open itself never
 * waits, so a FIFO cannot block it.  Returns the descriptor, or -1 with
 * errno set: the open's own error, EISDIR for a folder, ENXIO for a FIFO,
 * device or socket. */
int OpenRegularFile(const char *path, int flags);
/* The same as a stream; mode must be a read mode ("r", "rb", "r+" ...),
 * else NULL with EINVAL. */
FILE *FopenRegularFile(const char *path, const char *mode);
/* Text of an errno value from an open: "not a regular file" for ENXIO,
 * otherwise strerror's. */
const char *OpenErrorText(int error);

/* Reports a failed assertion in the C library's words ("prog: file:line:
 * function: Assertion `expr' failed.") and aborts, whatever the build's
 * NDEBUG: used where a call before set-up is a programming error. */
[[noreturn]] void kombra_assert_fail(const char *expr, const char *file, unsigned line, const char *function);
