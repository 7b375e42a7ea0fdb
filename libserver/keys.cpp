// Data keys: packing the five hierarchy numbers and converting between keys,
// numbers and level names.
#include "server_int.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Field widths in bits, project first.
constexpr int kBits[5] = {9, 4, 6, 6, 7};
constexpr KOMBRA_ULONG kMax[5] = {511, 15, 63, 63, 127};
constexpr int kLevelCode[5] = {SERVER_BAD_PROJECT, SERVER_BAD_MISSION, SERVER_BAD_EXPERIMENT,
                               SERVER_BAD_INSTRUMENT, SERVER_BAD_VIRTUAL};
// Buffer sizes of the names handed to callers: levels 25, virtual 34.
constexpr size_t kNameSize[5] = {25, 25, 25, 25, 34};

// Walks the tree by names; returns 0 with the five numbers, or the code of
// the first level not found (or numbered beyond its field's width).
int NumbersOfNames(const char *const names[5], KOMBRA_USHORT fields[5])
{
    LinkNode_s *list = Projects;
    for (int level = 0; level < 5; ++level) {
        LinkNode_s *cell = names[level] ? FindStr(names[level], list) : nullptr;
        if (cell == nullptr)
            return kLevelCode[level];
        auto *node = static_cast<StrHier_s *>(cell->data);
        if (node->number < 1 || static_cast<KOMBRA_ULONG>(node->number) > kMax[level])
            return kLevelCode[level];
        fields[level] = static_cast<KOMBRA_USHORT>(node->number);
        list = node->sublist;
    }
    return 0;
}

}  // namespace

namespace server_internal {

void CopyName(char *dst, size_t size, const char *text)
{
    if (dst == nullptr || size == 0)
        return;
    std::snprintf(dst, size, "%s", text ? text : "");
}

StrHier_s *NodeOfKey(KOMBRA_ULONG key)
{
    KOMBRA_USHORT f[5];
    key_to_fields(key, f);
    if (f[0] == 0 || f[1] == 0 || f[2] == 0 || f[3] == 0 || f[4] == 0)
        return nullptr;
    return SourceByNum(Projects, int{f[0]}, int{f[1]}, int{f[2]}, int{f[3]}, int{f[4]}, 0);
}

}  // namespace server_internal

void fields_to_key(const KOMBRA_USHORT fields[5], KOMBRA_ULONG *key)
{
    // Each number is kept to its field's width so that a number too large
    // never spills into the field above it.
    KOMBRA_ULONG k = 0;
    for (int level = 0; level < 5; ++level)
        k = (k << kBits[level]) | (fields[level] & kMax[level]);
    *key = k;
}

void key_to_fields(KOMBRA_ULONG key, KOMBRA_USHORT fields[5])
{
    fields[0] = static_cast<KOMBRA_USHORT>(key >> 23);
    fields[1] = static_cast<KOMBRA_USHORT>((key >> 19) & 15);
    fields[2] = static_cast<KOMBRA_USHORT>((key >> 13) & 63);
    fields[3] = static_cast<KOMBRA_USHORT>((key >> 7) & 63);
    fields[4] = static_cast<KOMBRA_USHORT>(key & 127);
}

int tarvo_get_data_key(const char *p, const char *m, const char *e, const char *i, const char *v,
                       KOMBRA_ULONG *key)
{
    if (Projects == nullptr)
        kombra_assert_fail("Projects != ((void *)0)", "get_data_key.c", __LINE__, __func__);
    const char *names[5] = {p, m, e, i, v};
    KOMBRA_USHORT fields[5] = {};
    const int code = NumbersOfNames(names, fields);
    if (code != 0)
        return code;
    fields_to_key(fields, key);
    return 1;
}

int StrToKey(const char *p, const char *m, const char *e, const char *i, const char *v, KOMBRA_USHORT fields[5])
{
    const char *names[5] = {p, m, e, i, v};
    return NumbersOfNames(names, fields);
}

int KeysToStr(const KOMBRA_USHORT fields[5], char *p, char *m, char *e, char *i, char *v)
{
    char *out[5] = {p, m, e, i, v};
    LinkNode_s *list = Projects;
    for (int level = 0; level < 5; ++level) {
        StrHier_s *found = nullptr;
        for (LinkNode_s *cell = list; cell != nullptr; cell = cell->next) {
            auto *node = static_cast<StrHier_s *>(cell->data);
            if (fields[level] != 0 && node->number == fields[level]) {
                found = node;
                break;
            }
        }
        if (found == nullptr)
            return kLevelCode[level];
        server_internal::CopyName(out[level], kNameSize[level], found->str);
        list = found->sublist;
    }
    return 1;
}

char *server_error_string(int code, char *text)
{
    static const char *const kTexts[5] = {"server: Invalid project!", "server: Invalid mission!",
                                          "server: Invalid experiment!", "server: Invalid instrument!",
                                          "server: Invalid virtual instrument!"};
    if (code > SERVER_BAD_PROJECT || code < SERVER_BAD_VIRTUAL) {
        std::fprintf(stderr, "server_error_string: unexpected code %d\n", code);
        std::abort();
    }
    std::strcpy(text, kTexts[SERVER_BAD_PROJECT - code]);
    return text;
}
