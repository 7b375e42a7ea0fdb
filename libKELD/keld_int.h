/* Private to libKELD: what the generated scanner and parser share with the
 * hand-written tree, reporter and map code. */
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "libKELD.h"

/* Messages of the reporter beside bison's "syntax error" and "memory
 * exhausted". */
inline constexpr const char *kKeldTooSmall =
    "WARNING: array size does not match the number of elements (too small)!";
inline constexpr const char *kKeldTooBig =
    "WARNING: array size does not match the number of elements (too big)!";
inline constexpr const char *kKeldWrongType = "WARNING: value does not match the declared type!";
inline constexpr const char *kKeldBadSize = "WARNING: array size is out of range!";

/* Largest array one declaration may have, and the most elements all arrays
 * of one description may have together.  Larger sizes are refused. */
inline constexpr long long kKeldMaxArray = 1 << 20;
inline constexpr long long kKeldMaxElements = 1 << 22;

/* A value token on its way through the parser: kind is Y_INT_NUM,
 * Y_FLOAT_NUM or Y_QUOTED_STRING.  A string is owned until it is stored. */
struct keld_value {
    int kind;
    KOMBRA_LONG ival;
    KOMBRA_FLOAT fval;
    char *sval;
};

/* The array of a declaration between its size and its closing brace.  Values
 * arrive last first and are stored downwards from the last slot. */
struct keld_pending_array {
    int symtype;
    int length;    /* declared size; 0 when the size was refused */
    int refused;
    void *data;    /* length slots of the element type, zeroed */
};

/* Parser actions (keld_tree.cpp); each takes ownership of its arguments. */
void keld_parse_begin(void);                          /* start of every v_parse */
void keld_set_type(int symtype);                      /* basetype */
symtab_s *keld_new_decl(void);                        /* type */
keld_pending_array *keld_begin_array(KOMBRA_LONG size); /* size */
void keld_add_array_value(keld_value value);          /* values */
symtab_s *keld_finish_array(symtab_s *node, char *name, keld_pending_array *array);
symtab_s *keld_finish_scalar(symtab_s *node, char *name, keld_value value);
symtab_s *keld_make_struct(char *name, symtab_s *last_member);
symtab_s *keld_append_decl(symtab_s *last, symtab_s *decl);
void keld_finish_root(char *name, symtab_s *last_decl);
void keld_free_value(keld_value *value);
void keld_free_pending(keld_pending_array *array);

/* Reporter (keld_report.cpp): the file name that messages give (the count
 * of syntax errors starts again with it); the syntax errors met since; no
 * message printed while quiet is 1. */
void keld_set_file_name(const char *name);
long keld_syntax_errors(void);
void keld_quiet(int quiet);

/* Scanner (keld.l): a fresh scanner reading in (all buffers of the previous
 * input freed, normal mode); the errno of a failed read of v_in, 0 when none;
 * the text of the current token. */
void keld_scanner_reset(FILE *in);
int keld_read_errno(void);
extern char *v_text;

/* The key map: every key with its values in file order. */
struct keld_map {
    std::map<std::string, std::vector<keld_entry>, std::less<>> entries;
    char empty[1] = {0};  /* stands for every string slot left unfilled */
    /* Per item code, the values of an item whose key takes no structure
     * number, once looked up and found.  Keys are only ever added, so a
     * found vector stays where it is while the map lives. */
    mutable std::array<std::atomic<const std::vector<keld_entry> *>, KELD_NUM_DEFS> found{};
};
