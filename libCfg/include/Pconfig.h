/* Pconfig: the generic reader of configuration files.
 *
 * A file is made of logical lines "name value" (with '#' comments and
 * backslash continuation).  open_config loads a whole file into a symbol
 * table; parse_config fills a caller's keyword table from the symbols named
 * by a prefix followed by each keyword, converting the value text by the
 * keyword's type.  Reports go to stderr. */
#pragma once

#include <cstdio>

struct config_s;

/* Keyword types of def_s. */
enum {
    PC_CHAR = 1,         /* 'c' or an integer below 256 in magnitude -> char at value */
    PC_SHORT = 2,        /* integer below 65536 in magnitude -> 16-bit at value */
    PC_INT = 3,          /* integer -> 32-bit at value */
    PC_FLOAT = 4,        /* real within float range -> float at value */
    PC_DOUBLE = 5,       /* real -> double at value */
    PC_STRING_BUF = 6,   /* "text" -> copied into the buffer at value */
    PC_STRING = 7,       /* "text" -> value set to a new copy */
    PC_SHORT_ARRAY = 8,  /* integers -> *(short **)value = new array */
    PC_INT_ARRAY = 9,    /* integers -> *(int **)value = new array */
    PC_FLOAT_ARRAY = 10, /* reals -> *(float **)value = new array */
    PC_DOUBLE_ARRAY = 11,/* reals -> *(double **)value = new array */
    PC_STRING_LIST = 13  /* "a" "b" ... -> value set to a new array of new strings */
};

/* required: mandatory keyword; 0 and 1 are optional, negative means filled. */
enum { PC_REQUIRED = 2 };

/* One keyword of a caller's table; a table ends with param == NULL.
 * Arrays, lists and PC_STRING copies are malloc'd and belong to the caller.
 * For PC_STRING_BUF a positive n_values on entry is taken as the buffer's
 * size, and the copy is cut to fit. */
struct def_s {
    const char *param;
    int type;
    void *value;
    int required;
    int n_values;
};

/* Loads path (through the preprocessor named by PC_PP/PC_PPOPTS when
 * preprocess is set; "" or "-..." without it, and NULL, mean stdin).
 * Returns the table, or NULL when the input cannot be opened, the
 * preprocessor fails or memory runs out. */
config_s *open_config(const char *path, int preprocess);
/* Frees the table; returns 0. */
int close_config(config_s *cfg);
/* Value of the first symbol named name not handed out yet (then marked);
 * NULL when none is left.  The text belongs to the table. */
char *get_symbol(config_s *cfg, const char *name);
/* Clears every handed-out mark. */
void refresh_config(config_s *cfg);
/* Fills table from the symbols prefix+param (prefix may be NULL); 0, or -1
 * when a mandatory keyword is missing. */
int parse_config(config_s *cfg, const char *prefix, def_s *table);
