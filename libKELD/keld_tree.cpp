// The parse tree of a text description: the parser's actions that build it
// and the functions that free it.
//
// Array values are reduced last first: each one takes the slot below the
// previous, so that with the declared number of values they stand in file
// order, with too many only the last ones are kept, and with too few the
// first slots stay zero.  Values are not converted between int and float (the
// bits are kept), but a string given to a number or a number given to a
// string is refused with a warning and leaves 0 or an empty string.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "keld_int.h"

symtab_s *GLOBAL_KELD = nullptr;

namespace {

// The declaration being parsed.  Reset at the start of every parse, so that
// nothing of an abandoned parse is taken over.
struct ParserState {
    int symtype = 0;
    int symsize = 0;
    long long counter = 0;                    // slots still free, counting down
    keld_pending_array *tmp_array = nullptr;  // not owned: it sits on the parser stack
    long long elements = 0;                   // array slots made by this parse
};

ParserState g_state;

size_t SlotSize(int symtype)
{
    switch (symtype) {
    case Y_CHAR: return 1;
    case Y_STRING: return sizeof(char *);
    default: return sizeof(KOMBRA_LONG);
    }
}

// The 32 bits a number token stores under an int or float declaration.
uint32_t NumberBits(const keld_value &value)
{
    uint32_t bits = 0;
    if (value.kind == Y_FLOAT_NUM)
        std::memcpy(&bits, &value.fval, sizeof bits);
    else
        std::memcpy(&bits, &value.ival, sizeof bits);
    return bits;
}

// The byte a char declaration keeps: the low byte of a number, the first
// character of a string.
char CharOf(const keld_value &value)
{
    if (value.kind == Y_QUOTED_STRING)
        return value.sval != nullptr ? value.sval[0] : '\0';
    return static_cast<char>(NumberBits(value) & 0xFFu);
}

bool IsNumberType(int symtype) { return symtype == Y_INT || symtype == Y_FLOAT; }

// Checks value against a declaration's type; a mismatch is reported.
bool Fits(int symtype, const keld_value &value)
{
    const bool isString = value.kind == Y_QUOTED_STRING;
    if ((IsNumberType(symtype) && isString) || (symtype == Y_STRING && !isString)) {
        v_error(kKeldWrongType);
        return false;
    }
    return true;
}

void SetParent(symtab_s *head, symtab_s *parent)
{
    for (symtab_s *node = head; node != nullptr; node = node->next)
        node->parent = parent;
}

}  // namespace

void keld_parse_begin(void) { g_state = ParserState{}; }

void keld_set_type(int symtype)
{
    g_state.symtype = symtype;
    g_state.symsize = symtype == Y_CHAR ? 1 : symtype == Y_STRING ? 0 : 4;
}

symtab_s *keld_new_decl(void)
{
    auto *node = static_cast<symtab_s *>(std::calloc(1, sizeof(symtab_s)));
    if (node != nullptr) {
        node->symtype = g_state.symtype;
        node->symsize = g_state.symsize;
        node->array_length = 1;
    }
    return node;
}

keld_pending_array *keld_begin_array(KOMBRA_LONG size)
{
    g_state.counter = 0;
    g_state.tmp_array = nullptr;
    auto *array = static_cast<keld_pending_array *>(std::calloc(1, sizeof(keld_pending_array)));
    if (array == nullptr)
        return nullptr;
    array->symtype = g_state.symtype;
    g_state.tmp_array = array;
    if (size <= 0 || size > kKeldMaxArray || g_state.elements + size > kKeldMaxElements) {
        v_error(kKeldBadSize);
        array->refused = 1;
        return array;
    }
    array->data = std::calloc(static_cast<size_t>(size), SlotSize(array->symtype));
    if (array->data == nullptr) {
        v_error("memory exhausted");
        array->refused = 1;
        return array;
    }
    array->length = size;
    g_state.elements += size;
    g_state.counter = size;
    return array;
}

void keld_add_array_value(keld_value value)
{
    keld_pending_array *array = g_state.tmp_array;
    --g_state.counter;
    if (array == nullptr || array->refused) {
        keld_free_value(&value);
        return;
    }
    if (g_state.counter < 0) {
        v_error(kKeldTooSmall);
        keld_free_value(&value);
        return;
    }
    const auto slot = static_cast<size_t>(g_state.counter);
    switch (array->symtype) {
    case Y_INT:
    case Y_FLOAT:
        if (Fits(array->symtype, value)) {
            const uint32_t bits = NumberBits(value);
            std::memcpy(static_cast<char *>(array->data) + slot * sizeof bits, &bits, sizeof bits);
        }
        break;
    case Y_CHAR:
        static_cast<char *>(array->data)[slot] = CharOf(value);
        break;
    case Y_STRING:
        if (Fits(array->symtype, value)) {
            static_cast<char **>(array->data)[slot] = value.sval;
            value.sval = nullptr;
        }
        break;
    default:
        break;
    }
    keld_free_value(&value);
}

symtab_s *keld_finish_array(symtab_s *node, char *name, keld_pending_array *array)
{
    if (g_state.tmp_array == array)
        g_state.tmp_array = nullptr;
    if (node == nullptr || array == nullptr || array->refused) {
        std::free(name);
        keld_free_pending(array);
        free_keld_list(node);
        return nullptr;
    }
    if (g_state.counter >= 1)
        v_error(kKeldTooBig);
    node->symname = name;
    node->array_length = array->length;
    if (node->symtype == Y_STRING && array->length == 1) {
        // One string is kept like a scalar: ptr is the string itself.
        auto **slots = static_cast<char **>(array->data);
        node->ptr = slots[0] != nullptr ? slots[0] : strdup("");
        node->symsize = node->ptr != nullptr ? static_cast<int>(std::strlen(static_cast<char *>(node->ptr))) : 0;
        std::free(slots);
    } else {
        node->ptr = array->data;
    }
    std::free(array);
    return node;
}

symtab_s *keld_finish_scalar(symtab_s *node, char *name, keld_value value)
{
    if (node == nullptr) {
        std::free(name);
        keld_free_value(&value);
        return nullptr;
    }
    node->symname = name;
    switch (node->symtype) {
    case Y_INT:
    case Y_FLOAT: {
        const uint32_t bits = Fits(node->symtype, value) ? NumberBits(value) : 0u;
        node->ptr = std::malloc(sizeof bits);
        if (node->ptr != nullptr)
            std::memcpy(node->ptr, &bits, sizeof bits);
        break;
    }
    case Y_CHAR:
        node->ptr = std::malloc(1);
        if (node->ptr != nullptr)
            *static_cast<char *>(node->ptr) = CharOf(value);
        break;
    case Y_STRING:
        if (Fits(node->symtype, value)) {
            node->ptr = value.sval;
            value.sval = nullptr;
        } else {
            node->ptr = strdup("");
        }
        node->symsize = node->ptr != nullptr ? static_cast<int>(std::strlen(static_cast<char *>(node->ptr))) : 0;
        break;
    default:
        break;
    }
    keld_free_value(&value);
    return node;
}

symtab_s *keld_make_struct(char *name, symtab_s *last_member)
{
    symtab_s *head = keld_get_list_head(last_member);
    auto *node = static_cast<symtab_s *>(std::calloc(1, sizeof(symtab_s)));
    if (node == nullptr) {
        std::free(name);
        free_keld_list(head);
        return nullptr;
    }
    node->symname = name;
    node->symtype = Y_STRUCT;
    node->array_length = 1;
    node->ptr = head;
    SetParent(head, node);
    return node;
}

symtab_s *keld_append_decl(symtab_s *last, symtab_s *decl)
{
    if (decl == nullptr)
        return last;
    if (last == nullptr)
        return decl;
    last->next = decl;
    decl->prev = last;
    return decl;
}

void keld_finish_root(char *name, symtab_s *last_decl)
{
    // The name written in the file is not kept: every root is "KELD".
    std::free(name);
    symtab_s *head = keld_get_list_head(last_decl);
    auto *root = static_cast<symtab_s *>(std::calloc(1, sizeof(symtab_s)));
    char *rootName = strdup("KELD");
    if (root == nullptr || rootName == nullptr) {
        std::free(root);
        std::free(rootName);
        free_keld_list(head);
        return;
    }
    root->symname = rootName;
    root->symtype = Y_KELD;
    root->array_length = 1;
    root->ptr = head;
    SetParent(head, root);
    // A later root of the same input replaces an earlier one.
    DeleteKELDSYMTAB(GLOBAL_KELD);
    GLOBAL_KELD = root;
}

void keld_free_value(keld_value *value)
{
    if (value->kind == Y_QUOTED_STRING)
        std::free(value->sval);
    value->sval = nullptr;
}

void keld_free_pending(keld_pending_array *array)
{
    if (array == nullptr)
        return;
    if (g_state.tmp_array == array)
        g_state.tmp_array = nullptr;
    if (array->symtype == Y_STRING && array->data != nullptr) {
        auto **slots = static_cast<char **>(array->data);
        for (int i = 0; i < array->length; ++i)
            std::free(slots[i]);
    }
    std::free(array->data);
    std::free(array);
}

symtab_s *keld_get_list_head(symtab_s *node)
{
    while (node != nullptr && node->prev != nullptr)
        node = node->prev;
    return node;
}

void free_keld_list(symtab_s *list)
{
    while (list != nullptr) {
        symtab_s *next = list->next;
        if (list->symtype == Y_KELD || list->symtype == Y_STRUCT) {
            free_keld_list(static_cast<symtab_s *>(list->ptr));
        } else {
            if (list->symtype == Y_STRING && list->array_length > 1 && list->ptr != nullptr) {
                auto **slots = static_cast<char **>(list->ptr);
                for (int i = 0; i < list->array_length; ++i)
                    std::free(slots[i]);
            }
            std::free(list->ptr);
        }
        std::free(list->symname);
        std::free(list);
        list = next;
    }
}

int DeleteKELDSYMTAB(symtab_s *root)
{
    free_keld_list(root);
    return 1;
}
