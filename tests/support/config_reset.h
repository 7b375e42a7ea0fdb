// Header-only helpers for tests that build the configuration tree (they link
// the Cfg library): a fresh tree per test.
#pragma once

#include "libCfg.h"

#include <cstring>

namespace cfg_test {

// Frees a level list and everything below it.
inline void FreeLevel(LinkNode_s *list)
{
    if (list == nullptr)
        return;
    auto *first = static_cast<StrHier_s *>(list->data);
    for (LinkNode_s *cell = list; cell != nullptr;) {
        FreeLevel(static_cast<StrHier_s *>(cell->data)->sublist);
        LinkNode_s *next = cell->next;
        std::free(cell);
        cell = next;
    }
    DestroyStrHier(first);
}

// Forgets the tree and the kombra.cfg table so that CfgInit reads again.
inline void ResetConfiguration()
{
    FreeLevel(Projects);
    Projects = nullptr;
    FreeKOMBRACfg();
}

inline StrHier_s *Node(LinkNode_s *cell)
{
    return static_cast<StrHier_s *>(cell->data);
}

}  // namespace cfg_test
