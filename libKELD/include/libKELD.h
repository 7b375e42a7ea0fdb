/* libKELD: instrument description files.
 *
 * Text descriptions ("...V.v3" files) are scanned and parsed into a tree of
 * declarations, and the tree is then flattened into a key map: every value
 * stored under its dotted key ("KELD.Sensor0.d_type"), the values of one key
 * in file order.  Item requests (KELD_DEFS) look keys up in that map and
 * write the item in its fixed result form; table values are kept converted
 * in the item cache.  Descriptions of the older binary format are loaded
 * whole into an image (keld_info) and serve the same items.
 *
 * The registry finds the description of a data key and time through the
 * catalog, loads it once and answers item requests from it (ReadKELD,
 * read_nur); CloseKELD frees it all.
 *
 * Records are taken with malloc and released by their own free functions;
 * the key map is released by DeleteKELD.  Nothing here throws. */
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kombra_types.h"
#include "libant.h"

/* ---- Status codes ---------------------------------------------------- */

enum {
    KELD_SUCCESS = 1,            /* the call did what was asked */
    KELD_OPEN_FAILED = -1,       /* the text file could not be opened or read, or
                                    no description is loaded for the request */
    KELD_NO_IMAGE = -801,        /* no memory for an older-format image record */
    KELD_BAD_VERSION = -802,     /* older file whose version is not "V2.1" */
    KELD_NO_TABLE_MEMORY = -803, /* no memory for the table offset list */
    KELD_NO_CONST_MEMORY = -804, /* no memory for the constant offset list */
    KELD_TOO_LONG = -805,        /* request reaches past the stored item */
    KELD_ITEM_EMPTY = -806,      /* whole-item request for an empty item */
    KELD_BAD_TABLE = -807,       /* table number not below the table count */
    KELD_BAD_CONST = -808,       /* constant number not below the constant count */
    KELD_NOT_ONLINE = -809,      /* the description file cannot be opened */
    KELD_DISK_MODE = -810,       /* request for reading from the disk */
    KELD_ITEM_ABSENT = -811,     /* the item is not in the description and has no default */
    KELD_OUT_OF_DATE = -812,     /* the description's time span does not cover the request */
    KELD_NO_MEMORY = -813,       /* no memory for a description or its registry entry */
    KELD_SHORT_BUFFER = -814,    /* the caller's buffer cannot hold what the request asks for
                                    (a checked request: the elements that fit are written) */
    KELD_CORRUPT = -815          /* older file cut short, or lengths and offsets that do
                                    not fit its layout */
};

/* Text of a status code of this library; "Unknown KELD status" for others. */
const char *KELDStatusText(int status);

/* ---- Parse tree ------------------------------------------------------ */

/* Token numbers of the text format.  A node's symtype is one of the first
 * six: the root, a struct or one of the four value types. */
enum keld_token : int {
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

enum keld_value_type : int { FLOAT = 0, INT = 1, STRING = 2, CHAR = 3 };

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
/* Whether the description file reads whole, printing nothing: the text
 * form (a name holding "V.v3") parses without a syntax error into at least
 * one key, the older form loads (ParseOldKELD).  KELD_SUCCESS;
 * KELD_CORRUPT for a text that does not parse so; else the status that
 * stopped it. */
int KELDFileReadsWhole(const char *filename);

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

/* Frees the map with its strings and drops its elements from the item
 * cache; NULL is fine. */
void DeleteKELD(keld_map *map);
/* "KELD:" and then "key - value" for every value, on stdout. */
void PrintKELD(const keld_map *map);
/* Adds value under "v2_" + a + "." + b; returns 1 (KELD_NO_MEMORY when
 * memory is short or an argument is NULL). */
int KELD_InsertIntoKELD_INT(keld_map *map, const char *a, const char *b, int value);

/* ---- Description items ------------------------------------------------ */

/* The numbered items of a description.  Result forms (what a request writes
 * at var): char 8-bit, short 16-bit, long 32-bit (KOMBRA_LONG, never the
 * platform's long), float 32-bit, a char pointer into the loaded description,
 * an array of char pointers, or an array of one of the numeric forms, one
 * element per value in file order.  Numbers are handed over as the low 8, 16
 * or all 32 bits of the stored value, never converted between integer and
 * float. */
enum KELD_DEFS : int {
    _MISSION = 0,
    _SPACECRAFT = 1,
    _EXP_DESC = 2,
    _INST_DESC = 3,
    _CONTACT = 4,
    _NUM_COMNTS = 5,
    _COMMENTS = 6,
    _DS_YEAR = 7,
    _DS_DAY = 8,
    _DS_MSEC = 9,
    _DS_USEC = 10,
    _DE_YEAR = 11,
    _DE_DAY = 12,
    _DE_MSEC = 13,
    _DE_USEC = 14,
    _SMP_ID = 15,
    _SEN_MODE = 16,
    _N_QUAL = 17,
    _CAL_SETS = 18,
    _NUM_TBLS = 19,
    _NUM_CONSTS = 20,
    _STATUS = 21,
    _PA_DEFINED = 22,
    _SEN = 23,
    _SWP_LEN = 24,
    _MAX_NSS = 25,
    _DATA_LEN = 26,
    _FILL_FLG = 27,
    _FILL = 28,
    _DA_METHOD = 29,
    _STATUS_NAME = 30,
    _STATES = 31,
    _SEN_NAME = 32,
    _CAL_NAMES = 33,
    _QUAL_NAME = 34,
    _PA_FORMAT = 35,
    _PA_PROJECT = 36,
    _PA_MISSION = 37,
    _PA_EXPER = 38,
    _PA_INST = 39,
    _PA_VINST = 40,
    _PA_BXBYBZ = 41,
    _PA_APPS = 42,
    _PA_TBLS = 43,
    _PA_OPS = 44,
    _D_TYPE = 45,
    _TDW_LEN = 46,
    _SEN_STATUS = 47,
    _TIME_OFF = 48,
    _CAL_USE = 49,
    _CAL_WLEN = 50,
    _CAL_TARGET = 51,
    _TBL_SCA_SZ = 52,
    _TBL_ELE_SZ = 53,
    _TBL_TYPE = 54,
    _TBL_DESC_LEN = 55,
    _TBL_DESC = 56,
    _TBL_VAR = 57,
    _TBL_EXPAND = 58,
    _CRIT_ACT_SZ = 59,
    _CRIT_STATUS = 60,
    _CRIT_OFF = 61,
    _CRIT_ACTION = 62,
    _TBL_FMT = 63,
    _TBL_OFF = 64,
    _TBL_SCA = 65,
    _TBL = 66,
    _CONST_ID = 67,
    _CONST_DESC_LEN = 68,
    _CONST_DESC = 69,
    _CONST_SCA = 70,
    _KELD_CONST = 71,
    _VERSION = 72,
    _STATE = 73,
    _PA_BX = 74,
    _PA_BY = 75,
    _PA_BZ = 76,
    _PHI_METHOD = 77,
    _NANO_DEFINED = 78,
    _DATA_LAT_UNITS = 79,
    _SWP_RESET_UNITS = 80,
    _SEN_RESET_UNITS = 81,
    _PMI_DEFINED = 82,
    _NUM_PMI_ANGLES = 83,
    _PMI_PROJECT = 84,
    _PMI_MISSION = 85,
    _PMI_EXPER = 86,
    _PMI_INST = 87,
    _PMI_VINST = 88,
    _PMI_SENSORS = 89,
    _PMI_ROTATION_AXIS = 90,
    _PMI_APPS = 91,
    _PMI_TBLS = 92,
    _PMI_OPS = 93,
    _PMI_FORMAT = 94,
    _REF_SEN_DELAY = 95,
    _REF_SEN_DELAY_UNIT = 96,
    _ORBITING_BODY = 97,
    _POT_SRC_DEFINED = 98,
    _POT_SRC_FORMAT = 99,
    _POT_SRC_PROJECT = 100,
    _POT_SRC_MISSION = 101,
    _POT_SRC_EXPER = 102,
    _POT_SRC_INST = 103,
    _POT_SRC_VINST = 104,
    _POT_SRC_SENSOR = 105,
    _POT_SRC_APPS = 106,
    _POT_SRC_TBLS = 107,
    _POT_SRC_OPS = 108,
    _POT_CONSTANT_VAL = 109,
    _CAL_SCOPE = 110,
    _MAX_PACKING = 111,
    _HEADER_FORMAT = 112,
    _TENSOR_RANK = 113,
    _TENSOR_LENGTHS = 114,
    _TENSOR_IDS = 115,
    _TENSOR_MIN_VALS = 116,
    _TENSOR_MAX_VALS = 117,
    _SPIN_TIME_OFF = 118,
    _START_SPIN_DEFINED = 119,
    _START_SPIN_PROJECT = 120,
    _START_SPIN_MISSION = 121,
    _START_SPIN_EXPER = 122,
    _START_SPIN_INST = 123,
    _START_SPIN_VINST = 124,
    _START_SPIN_SENSOR = 125,
    _START_SPIN_MSEC_ADJ = 126,
    _START_SPIN_NSEC_ADJ = 127,
    _CAL_D_TYPE = 128,
};

inline constexpr int KELD_NUM_DEFS = 129;  /* codes 0 .. 128 */

/* Reads item what of the text description pKELD into var.  which is the
 * structure number (the %d of keys such as "KELD.Sensor%d.d_type"), start the
 * first element and len the number of elements, -1 for all; only the
 * per-element and slice items use start, and a list item writes at most len
 * values (all with -1); a negative start or a range past the end writes
 * nothing.  Returns 1, KELD_ITEM_ABSENT (-811) when the item is absent and
 * has no default, has no answer in this format, or is a table, constant or
 * critical-action list whose count item (or, for a non-empty range, whose
 * list) is absent; KELD_SHORT_BUFFER for a null var; KELD_NO_MEMORY when
 * table values cannot be held.  The caller provides memory for the whole
 * result; ReadNewKELDChecked is the form that never writes more than var_size
 * bytes: when the answer holds more elements than fit (a list of the file
 * longer than the buffer, with len -1), the elements that fit are written
 * and KELD_SHORT_BUFFER is returned, never a silent cut. */
int ReadNewKELD(const keld_map *pKELD, void *var, KELD_DEFS what, KOMBRA_SHORT which,
                KOMBRA_LONG start, KOMBRA_SHORT len);
int ReadNewKELDChecked(const keld_map *pKELD, void *var, size_t var_size, KELD_DEFS what,
                       KOMBRA_SHORT which, KOMBRA_LONG start, KOMBRA_SHORT len);

/* Looks up the key of what (with which for %d) and writes every value found
 * into ToBeFilled in the item's form; 1, or -811 when nothing is found (then
 * ToBeFilled is left alone).  Codes outside 0 .. 128, _PA_BXBYBZ and
 * _START_SPIN_DEFINED print "Unknown what!!!!" on stdout and give -811. */
int GetFromNewKELD(const keld_map *pKELD, void *ToBeFilled, KELD_DEFS what, KOMBRA_SHORT which);

/* Converts the value list ret_val to the form of item what into ToBeFilled.
 * 1, or -811 after "newRead - unknown what!" on stdout for the items that
 * have no single converted form (5, 6, 22, 41, 55, 56, 68, 69, 119 and codes
 * outside 0 .. 128). */
int KELDCheckReturnType(KELD_DEFS what, const keld_vals_s *ret_val, void *ToBeFilled);

/* The converters: the first five write the first value of list, the others
 * every value into consecutive elements.  A char pointer to a value that is
 * not a string points at an empty string. */
void KELDConvertToChar(const keld_vals_s *list, KOMBRA_CHAR *var);
void KELDConvertToShort(const keld_vals_s *list, KOMBRA_SHORT *var);
void KELDConvertToLong(const keld_vals_s *list, KOMBRA_LONG *var);
void KELDConvertToFloat(const keld_vals_s *list, KOMBRA_FLOAT *var);
void KELDConvertToCharPtr(const keld_vals_s *list, char **var);
void KELDConvertToCharList(const keld_vals_s *list, KOMBRA_CHAR *var);
void KELDConvertToShortList(const keld_vals_s *list, KOMBRA_SHORT *var);
void KELDConvertToLongList(const keld_vals_s *list, KOMBRA_LONG *var);
void KELDConvertToFloatList(const keld_vals_s *list, KOMBRA_FLOAT *var);
void KELDConvertToCharPtrs(const keld_vals_s *list, char **var);

/* ---- Item cache ---------------------------------------------------------- */

/* One cached item list: the converted values of (keld_ptr, what, which), or
 * for a count item the count itself in the pointer slot. */
struct cache_element {
    const void *keld_ptr;  /* the loaded description the values belong to */
    KELD_DEFS what;
    KOMBRA_SHORT which;    /* structure (table) number */
    void *values;          /* malloc'd values, or a count */
    bool freeme;           /* the cache owns values and frees them */
};

/* The cache: elements in insertion order, found by a linear scan.  Only the
 * table values (_TBL with their count _TBL_ELE_SZ) go through it. */
class CacheType {
public:
    CacheType() = default;
    CacheType(const CacheType &) = delete;
    CacheType &operator=(const CacheType &) = delete;
    /* Frees the values of every element that owns them. */
    virtual ~CacheType();

    /* values of the first element with these three keys; NULL when none. */
    void *GetFromCache(const void *keld_ptr, KELD_DEFS what, KOMBRA_SHORT which) const;
    /* Appends an element (no check for one with the same keys); false when
     * memory is short (values then stay with the caller). */
    bool AddToCache(const void *keld_ptr, KELD_DEFS what, KOMBRA_SHORT which, void *values, bool freeme);
    /* Frees the element's values when it owns them and removes it; later
     * elements move down.  An index past the end does nothing. */
    void FreeCacheElement(size_t index);

    std::vector<cache_element> _cache_elements;
};

/* The one cache of the process; NULL when there is none. */
extern CacheType *_Cache;
/* Makes an empty _Cache when there is none. */
void CreateCache(void);
/* Destroys _Cache (with every element) and sets it to NULL. */
void ClearCache(void);

/* ---- Older binary descriptions ---------------------------------------- */

/* File layout, in the byte order of the reading machine, fields packed:
 *   0   char[8] version, beginning with "V2.1"
 *   8   u32 items_len: bytes of the item offset list (288: 72 entries)
 *  12   i32[72] offsets of items 0 .. 71 in the data block
 *       u32 TABLES, u32 tables_len, i32[tables_len/4]: per table 15 offsets
 *           (items 52 .. 66), table after table
 *       u32 CONSTS, u32 consts_len, i32[consts_len/4]: per constant 5
 *           offsets (items 67 .. 71)
 *       u32 data_len, then data_len bytes of item data
 * An item's length is the next entry of its list minus its own offset, so
 * the table and constant lists hold one entry more than their items. */
inline constexpr int KELD_OLD_ITEMS = 72;       /* entries of the item offset list */
inline constexpr int KELD_OLD_TABLE_ITEMS = 15; /* offsets per table */
inline constexpr int KELD_OLD_CONST_ITEMS = 5;  /* offsets per constant */

/* A loaded older description.  Offsets are checked on loading: every list
 * rises and stays inside the data block, so every item lies inside it. */
struct keld_info {
    char version[9];                    /* first 8 bytes of the file, NUL */
    char *keld_data;                    /* data block, one NUL byte past its end */
    KOMBRA_ULONG data_len;              /* bytes of the data block */
    KOMBRA_LONG info_off;               /* file offset of the data block */
    KOMBRA_LONG offsets[KELD_OLD_ITEMS]; /* item offsets */
    KOMBRA_LONG *tbl_offs;              /* table offset list */
    KOMBRA_ULONG n_tbl_offs;            /* its entries */
    KOMBRA_LONG *const_offs;            /* constant offset list */
    KOMBRA_ULONG n_const_offs;
    KOMBRA_ULONG TABLES;                /* number of tables */
    KOMBRA_ULONG CONSTS;                /* number of constants */
};

/* A zeroed image at *out (free it with free_keld_structure, then free());
 * 1, or KELD_NO_IMAGE. */
int create_keld_structure(keld_info **out);
/* Frees the data block and both offset lists and zeroes every field; the
 * record itself stays with the caller.  NULL is fine. */
void free_keld_structure(keld_info *info);

/* Loads the older description filename into KELD_INFO (whatever it held is
 * freed first).  1; KELD_NOT_ONLINE when the file cannot be opened or read;
 * KELD_BAD_VERSION; KELD_CORRUPT when the file is shorter than its lengths
 * say, its item offset list does not hold exactly 72 entries, a table or
 * constant list does not hold 15 or 5 entries per table or constant and
 * one more, or an offset list falls or leaves the data block;
 * KELD_NO_TABLE_MEMORY, KELD_NO_CONST_MEMORY or KELD_NO_MEMORY.  On failure
 * the image is left empty.  The 80- and 21-byte strings of the image are
 * given a NUL in their last byte. */
int ParseOldKELD(keld_info *KELD_INFO, const char *filename);
/* The same for a file already in memory. */
int ParseOldKELDBytes(keld_info *KELD_INFO, const unsigned char *bytes, size_t size);

/* Item request against an older image.  fdi must be 0 (reading from the
 * image); anything else prints "read_nur_disk no longer supported!!!" on
 * stderr and gives KELD_DISK_MODE.  Items 72 and up have fixed answers
 * (_VERSION 2.1, units 250, ...); items 73 to 76 have none (-811).  Items
 * 0 .. 71 are read_nur_memory, except _PA_OPS, whose stored 16-bit elements
 * are widened to 32 bits.  Returns 1 or a code above; the caller provides
 * memory for the whole result (ReadOldKELDChecked never writes more than
 * var_size bytes and answers KELD_SHORT_BUFFER when the result does not fit,
 * as ReadNewKELDChecked does). */
int ReadOldKELD(const keld_info *KELD_INFO, int fdi, void *var, KELD_DEFS quan, KOMBRA_SHORT num,
                KOMBRA_LONG start, KOMBRA_SHORT len);
int ReadOldKELDChecked(const keld_info *KELD_INFO, void *var, size_t var_size, KELD_DEFS quan,
                       KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len);
/* Copies one of items 0 .. 71 from the image.  len below 1 asks for the
 * rest of the item from element start; otherwise len elements of the
 * item's stored size, KELD_TOO_LONG when they reach past its end.  String
 * items hand out char pointers into the image, one per 80 (or 21) bytes,
 * shifted by num strings.  Tables and constants are picked by num
 * (KELD_BAD_TABLE, KELD_BAD_CONST).  KELD_ITEM_EMPTY for a whole request of
 * an empty item; KELD_ITEM_ABSENT for items the format has no slot for. */
int read_nur_memory(const keld_info *KELD_INFO, void *var, KELD_DEFS quan, KOMBRA_SHORT num,
                    KOMBRA_LONG start, KOMBRA_SHORT len);

/* ---- Registry of loaded descriptions ------------------------------------- */

/* One loaded description.  Entries whose loading or span check failed hold
 * no description, stay in the registry with _loaded false and are never
 * read from; the next description loaded takes their place. */
struct KELDInfo {
    KELDInfo() = default;
    KELDInfo(const KELDInfo &) = delete;
    KELDInfo &operator=(const KELDInfo &) = delete;
    /* Frees the description by its format. */
    ~KELDInfo();

    KOMBRA_ULONG _DataKey = 0;
    std::string _FileName;        /* the file actually loaded */
    char _VirtualName[9] = {};    /* not filled */
    Time_t _BTime = {};           /* the description's own begin and end */
    Time_t _ETime = {};
    void *_keld = nullptr;        /* keld_map (text) or keld_info (older) */
    KOMBRA_LONG _usingNewKELD = 0; /* 1 text format, 0 older format */
    bool _loaded = false;         /* _keld holds a description */
};

/* The registry: entries in the order they were added, and the index of the
 * current one (the description that data key 0 and read_nur read from). */
extern std::vector<std::unique_ptr<KELDInfo>> KELDs;
extern int numKELDs;
extern int whichKELD;

/* Item request for data key and the caller's begin and end (year, day of
 * year, second of day, nanosecond).  A key other than 0 first finds or
 * loads its description (InitializeKELD) and returns its status unless it is
 * 1; key 0 reads from the current description.  Then the item as
 * ReadFromCurrentKELD.  With no description to read from:
 * "ERROR - KELD not initialized!" on stderr and KELD_OPEN_FAILED (-1).
 * The search, the loading and the read hold the registry's mutex together,
 * as do read_nur, ReadFromCurrentKELD and CloseKELD. */
int ReadKELD(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
             KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
             KOMBRA_LONG etime_nsec, void *var, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start,
             KOMBRA_SHORT len);
/* ReadKELD into a buffer of var_size bytes, the form for callers inside the
 * system: nothing is written past the buffer, and a result that does not fit
 * whole (a list with more values than the buffer holds) is KELD_SHORT_BUFFER
 * rather than a cut list. */
int ReadKELDChecked(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                    KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                    KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec, void *var, size_t var_size, KELD_DEFS what,
                    KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len);
/* Finds the loaded description of data_key whose span holds the begin (any
 * span when btime_yr is -1), or asks the catalog for the description file
 * and loads it: the text file beside it (the catalog name cut before its
 * last 'I', with "V.v3") when that is readable, else the catalogued file in
 * the older format.  Makes it current.  1; a catalog status other than 1
 * (1200: the file must be promoted first); KELD_NOT_ONLINE ("ERROR - KELD
 * %s needs to be online!  " on stderr); a loading code; KELD_OUT_OF_DATE
 * when the loaded description's span does not hold the request (message on
 * stderr).  The search and the loading run under the registry's mutex. */
int InitializeKELD(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                   KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                   KOMBRA_LONG etime_nsec);
/* The same by file name, without the catalog: text format when the name
 * holds "V.v3", else the older format; the entry's data key is 0. */
int InitializeKELDFromFile(const char *keld_filename);
/* Item request without a catalog look-up: the first loaded description of
 * data_key becomes current and answers.  exten and vnum are not used.  None
 * loaded: "ERROR - KELD not initialized!" on stderr and -1. */
KOMBRA_LONG read_nur(KOMBRA_ULONG data_key, const char *exten, KOMBRA_USHORT vnum, void *var, KELD_DEFS quan,
                     KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len);
/* Reads the item from the current description by its format; -1 with the
 * message above when there is none. */
int ReadFromCurrentKELD(void *var, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len);
/* Frees every description, the registry and the item cache. */
void CloseKELD(void);
/* Makes the item cache when there is none and appends a fresh entry;
 * NULL when memory is short. */
KELDInfo *AddKELD(void);
/* Sets the current entry's _BTime and _ETime from its items 7 to 9 and 11
 * to 13; 1, or the status of the first item that fails. */
int FillTimes(void);
