/* Lineage records, the spacecraft names and the suite's version text. */
#include "Qnurv_utils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

/* Copies at most 99 characters of a text that may lack its terminator. */
void CopyText(char (&dst)[NURV_LINEAGE_LEN], const char (&src)[NURV_LINEAGE_LEN])
{
    const std::size_t len = strnlen(src, NURV_LINEAGE_LEN - 1);
    std::memmove(dst, src, len);
    dst[len] = '\0';
}

} // namespace

void copy_lineage(NURV_LINEAGE_S *dst, const NURV_LINEAGE_S *src)
{
    CopyText(dst->project, src->project);
    CopyText(dst->mission, src->mission);
    CopyText(dst->experiment, src->experiment);
    CopyText(dst->instrument, src->instrument);
    CopyText(dst->virtual_inst, src->virtual_inst);
    CopyText(dst->exten, src->exten);
    dst->vsn = src->vsn;
}

void print_nurv_lineage(const NURV_LINEAGE_S *lineage)
{
    std::printf("NURV Lineage Strings are:\n");
    std::printf("project |%.99s|\n", lineage->project);
    std::printf("mission |%.99s|\n", lineage->mission);
    std::printf("experiment |%.99s|\n", lineage->experiment);
    std::printf("instrument |%.99s|\n", lineage->instrument);
    std::printf("virtual_inst |%.99s|\n", lineage->virtual_inst);
    std::printf("exten |%.99s|\n", lineage->exten);
}

bool append_lineage_mark(char (&text)[NURV_LINEAGE_LEN], const char *mark, std::size_t room_below)
{
    const std::size_t len = strnlen(text, NURV_LINEAGE_LEN - 1);
    if (len >= room_below)
        return false;
    const std::size_t add = std::min(std::strlen(mark), NURV_LINEAGE_LEN - 1 - len);
    std::memcpy(text + len, mark, add);
    text[len + add] = '\0';
    return true;
}

std::string lineage_scale_mark(float mult)
{
    char mark[32];
    std::snprintf(mark, sizeof mark, "x%4.2g", static_cast<double>(mult));
    return mark;
}

const char *SC_NAME(int sc)
{
    static const char *const names[] = {"CLUSTER-1", "CLUSTER-2", "CLUSTER-3", "CLUSTER-4", "C1234", "TC-1", "TC-2"};
    if (sc < 0 || sc > TC2)
        return "UNKNOWN";
    return names[sc];
}

char *velora_version_str()
{
    static char version[80];
    std::snprintf(version, sizeof version, "%s", "Velora Software V3.6.1 October 2007");
    return version;
}
