// Look-ups of nodes and items by level names or numbers.  The calls that need
// the tree stop the process when it has not been read.
#include "cfg_int.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMaxSourceNames = 10;  // SourceByStr / SourceByNum
constexpr size_t kMaxLevels = 5;        // the hierarchy's depth

StrHier_s *gCurrent = nullptr;  // node of the latest look-up

// A look-up before CfgInit is a programming error: stop as an assertion would.
#define REQUIRE_TREE()                                                      \
    do {                                                                    \
        if (Projects == nullptr)                                            \
            kombra_assert_fail("Projects != ((void *)0)", "backward.c", __LINE__, __func__); \
    } while (0)

}  // namespace

StrHier_s *SourceByStr(LinkNode_s *list, ...)
{
    va_list ap;
    va_start(ap, list);
    const auto names = cfg_internal::TakeNames(ap, kMaxSourceNames);
    va_end(ap);
    gCurrent = cfg_internal::FindByNames(list, names);
    return gCurrent;
}

StrHier_s *SourceByNum(LinkNode_s *list, ...)
{
    va_list ap;
    va_start(ap, list);
    StrHier_s *node = nullptr;
    for (size_t i = 0; i < kMaxSourceNames; ++i) {
        const int number = va_arg(ap, int);
        if (number == 0)
            break;
        node = nullptr;
        for (LinkNode_s *cell = list; cell != nullptr; cell = cell->next) {
            auto *candidate = static_cast<StrHier_s *>(cell->data);
            if (candidate->number == number) {
                node = candidate;
                break;
            }
        }
        if (node == nullptr)
            break;
        list = node->sublist;
    }
    va_end(ap);
    gCurrent = node;
    return node;
}

LinkNode_s *CfgProjects(void)
{
    return Projects;
}

namespace {

// The first n (at most five) names of a counted argument list.
std::vector<const char *> TakeCounted(int n, va_list ap)
{
    std::vector<const char *> names;
    for (int i = 0; i < n && names.size() < kMaxLevels; ++i)
        names.push_back(va_arg(ap, const char *));
    return names;
}

}  // namespace

LinkNode_s *CfgHierarchy(int n, ...)
{
    REQUIRE_TREE();
    if (n <= 0)
        return Projects;
    va_list ap;
    va_start(ap, n);
    const auto names = TakeCounted(n, ap);
    va_end(ap);
    StrHier_s *node = cfg_internal::FindByNames(Projects, names);
    return node ? node->sublist : nullptr;
}

StrHier_s *CfgStrHier(int n, ...)
{
    REQUIRE_TREE();
    va_list ap;
    va_start(ap, n);
    const auto names = TakeCounted(n, ap);
    va_end(ap);
    return names.empty() ? nullptr : cfg_internal::FindByNames(Projects, names);
}

char *CfgListName(StrHier_s *node)
{
    return node ? node->str : nullptr;
}

namespace {

// Node reached from the projects by up to five names ended by NULL.
StrHier_s *NodeOfNames(va_list ap)
{
    return cfg_internal::FindByNames(Projects, cfg_internal::TakeNames(ap, kMaxLevels));
}

}  // namespace

char *CfgGetItem(const char *name, int n, ...)
{
    REQUIRE_TREE();
    va_list ap;
    va_start(ap, n);
    StrHier_s *node = NodeOfNames(ap);
    va_end(ap);
    return node ? CfgItem(node, name, n) : nullptr;
}

char *CfgGetPath(const char *name, ...)
{
    REQUIRE_TREE();
    cfg_internal::pathCut = false;
    va_list ap;
    va_start(ap, name);
    StrHier_s *node = NodeOfNames(ap);
    va_end(ap);
    if (node == nullptr)
        return nullptr;
    const char *value = CfgItem(node, name, 0);
    if (value == nullptr)
        return nullptr;
    static char path[256];
    return cfg_internal::CopyPathInto(path, cfg_internal::MakeDirectory(value, node, 4));
}
