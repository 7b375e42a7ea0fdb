// Internal helpers shared by the hierarchy, look-up and item sources.
#pragma once

#include "libCfg.h"

#include <cstdarg>
#include <string>
#include <vector>

namespace cfg_internal {

// Node reached by the names from list, or nullptr.
StrHier_s *FindByNames(LinkNode_s *list, const std::vector<const char *> &names);
// Reads names from a va_list until NULL, at most max of them.
std::vector<const char *> TakeNames(va_list ap, size_t max);
// value made into a directory: without a trailing '%', followed by '/' and
// each of the first n level names of node's path (names below the node repeat
// its own name); with one, just the value without the '%'.
std::string MakeDirectory(const char *value, const StrHier_s *node, int n);
// Whether the text of the last path look-up (CfgGetPath, CfgPath, DbfFile)
// was cut to its buffer; read by CfgPathCut.
extern bool pathCut;

// Copies the text of a path look-up into its static buffer, cut to fit, and
// records whether it was cut.
template <size_t N>
char *CopyPathInto(char (&dst)[N], const std::string &text);

// Copies text into a fixed static buffer, cut to fit.
template <size_t N>
char *CopyInto(char (&dst)[N], const std::string &text)
{
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(dst, n);
    dst[n] = '\0';
    return dst;
}

template <size_t N>
char *CopyPathInto(char (&dst)[N], const std::string &text)
{
    pathCut = text.size() > N - 1;
    return CopyInto(dst, text);
}

}  // namespace cfg_internal
