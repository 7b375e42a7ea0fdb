/* libKELD: instrument description files.
 *
 * Text descriptions ("...V.v3" files) are scanned and parsed into a tree of
 * declarations, and the tree is then flattened into a key map: every value
 * stored under its dotted key ("KELD.Sensor0.d_type"), the values of one key
 * in file order.  Item requests look keys up in that map.
 *
 * Records are taken with malloc and released by their own free functions;
 * the key map is released by DeleteKELD.  Nothing here throws. */
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <string_view>

#include "kombra_types.h"

/* ---- Status codes ---------------------------------------------------- */

enum {
    KELD_SUCCESS = 1,     /* the call did what was asked */
    KELD_OPEN_FAILED = -1, /* the description file could not be opened or read */
    KELD_NO_MEMORY = -813  /* no memory for the key map */
};

/* Text of a status code of this library; "Unknown KELD status" for others. */
const char *KELDStatusText(int status);

/* ---- Parse tree ------------------------------------------------------ */

/* Token numbers of the text format.  A node's symtype is one of the first
 * six: the root, a struct or one of the four value types. */
enum keld_token {
    Y_KELD = 258,          /* "KELD" or "keld" */
    Y_STRUCT = 259,        /* "STRUCT" or "struct" */
    Y_CHAR = 260,          /* "CHAR" or "char" */
    Y_INT = 261,           /* "INT" or "int" */
    Y_FLOAT = 262,         /* "FLOAT" or "float" */
    Y_STRING = 263,        /* "STRING" or "string" */
    Y_NAME = 264,          /* letter, then letters, digits and underscores */
    Y_FLOAT_NUM = 265,     /* 32-bit float */
    Y_INT_NUM = 266,       /* 32-bit integer, decimal or 0x hexadecimal */
    Y_QUOTED_STRING = 267  /* '...' or "...", ended by the quote or the line end */
};

/* One declaration of a description.  Siblings are linked in file order. */
struct symtab_s {
    char *symname;      /* declared name; "KELD" for the root */
    int array_length;   /* 1 for a scalar (and a string array of size 1),
                           else the declared size */
    int symtype;        /* Y_INT, Y_FLOAT, Y_CHAR, Y_STRING, Y_STRUCT or Y_KELD */
    int symsize;        /* element size: 4 int and float, 1 char; for a string
                           scalar its length, 0 for a string array */
    symtab_s *next;
    symtab_s *prev;
    symtab_s *parent;   /* enclosing struct or root */
    void *ptr;          /* root and struct: first child.  Scalar: the value
                           (KOMBRA_LONG, KOMBRA_FLOAT, one char, or the string).
                           Array: array_length KOMBRA_LONGs, KOMBRA_FLOATs, chars,
                           or char pointers (NULL where no value was given) */
};

/* Root of the last description parsed; owned by whoever parses it. */
extern symtab_s *GLOBAL_KELD;
/* Name of the file being parsed, cut to 254 characters. */
extern char GLOBAL_KELDFileName[255];
/* Line counter of the scanner, 1 at the start of every file. */
extern int keld_lineno;

/* The scanner and the parser of the text format.  v_parse parses one
 * description from v_in into GLOBAL_KELD: 0 accepted, 1 after a syntax error,
 * 2 when its stack is exhausted.  v_error reports one message through the
 * once-per-file reporter and returns -1.  v_lex returns the next token (its
 * number, or the character itself) and 0 at the end of the input;
 * v_lex_destroy frees the scanner's buffers and resets it to its start. */
extern FILE *v_in;
int v_lex(void);
int v_parse(void);
int v_error(const char *message);
int v_lex_destroy(void);

/* The scanner's input buffers, as flex makes them. */
struct yy_buffer_state;
void v_restart(FILE *input_file);
yy_buffer_state *v_create_buffer(FILE *file, int size);
void v_delete_buffer(yy_buffer_state *buffer);
yy_buffer_state *v_scan_string(const char *text);
yy_buffer_state *v_scan_bytes(const char *bytes, int length);
yy_buffer_state *v_scan_buffer(char *base, size_t size);
void v_push_buffer_state(yy_buffer_state *buffer);
void v_pop_buffer_state(void);
FILE *v_get_in(void);
void v_set_in(FILE *in);
FILE *v_get_out(void);
void v_set_out(FILE *out);
int v_get_leng(void);
char *v_get_text(void);
int v_get_debug(void);
void v_set_debug(int flag);

/* First node of the sibling list that holds node (NULL stays NULL). */
symtab_s *keld_get_list_head(symtab_s *node);
/* Frees the whole tree under root; NULL is fine.  Returns 1. */
int DeleteKELDSYMTAB(symtab_s *root);
/* Frees a sibling list from list on: subtrees, names, values, nodes. */
void free_keld_list(symtab_s *list);

/* ---- Key map ---------------------------------------------------------- */

/* A stored value.  Strings point into the map that holds them. */
union value_s {
    void *ptr;
    KOMBRA_CHAR cval;
    KOMBRA_LONG ival;
    KOMBRA_FLOAT dval;
    char *sval;
};

enum keld_value_type { FLOAT = 0, INT = 1, STRING = 2, CHAR = 3 };

/* One value of the map. */
struct keld_entry {
    value_s val;
    keld_value_type type;
};

/* A look-up result: one cell per value, in file order. */
struct keld_vals_s {
    value_s val;
    keld_value_type type;
    keld_vals_s *next;
};

/* The key map of one description (opaque). */
struct keld_map;

/* Parses the text description filename into a new map at *keld.  1, or -1
 * when the file cannot be opened or read ("ParseKELD: ERROR - opening KELD"
 * with the system error on stderr; *keld is then left alone).  Syntax errors
 * are reported by the parser and never make it fail: the map then holds the
 * last description completed, or nothing. */
int ParseNewKELD(keld_map **keld, const char *filename);
/* The same for a stream the caller opened (and closes); name is the file
 * name that messages give. */
int ParseNewKELDFromStream(keld_map **keld, FILE *in, const char *name);

/* Adds the values of a sibling list to map under prefix + "." + name, the
 * root's children under "KELD".  Strings are copied.  1, or KELD_NO_MEMORY
 * (values added so far stay in the map). */
int ConvertToMap(keld_map *map, const symtab_s *list, const char *prefix);

/* Appends one cell per value stored under key tmp, in file order, to the list
 * at *ret_val and returns its head; NULL (the list untouched) when the key is
 * absent.  Free the list with FreeKELDVals. */
keld_vals_s *FindNameinKELD(const keld_map *keld, const char *tmp, keld_vals_s **ret_val);
/* Appends a cell to *list (which may be empty); returns the head. */
keld_vals_s *AddKELDVal(keld_vals_s **list, keld_value_type type, value_s value);
/* Frees every cell and sets *list to NULL. */
void FreeKELDVals(keld_vals_s **list);

/* The values under key in file order, without copying; empty when absent.
 * Valid until the map changes or is deleted. */
std::span<const keld_entry> KELDFind(const keld_map *keld, std::string_view key);
/* Number of distinct keys and of values in the map. */
size_t KELDKeyCount(const keld_map *keld);
size_t KELDValueCount(const keld_map *keld);

/* Frees the map with its strings; NULL is fine. */
void DeleteKELD(keld_map *map);
/* "KELD:" and then "key - value" for every value, on stdout. */
void PrintKELD(const keld_map *map);
/* Adds value under "v2_" + a + "." + b; returns 1 (KELD_NO_MEMORY when
 * memory is short or an argument is NULL). */
int KELD_InsertIntoKELD_INT(keld_map *map, const char *a, const char *b, int value);
