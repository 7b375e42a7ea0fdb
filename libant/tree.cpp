// Untyped linked lists and the named tree nodes that the configuration
// hierarchy is built on.
#include "libant.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

LinkNode_s *LinkAppend(LinkNode_s *list, void *data)
{
    auto *cell = static_cast<LinkNode_s *>(std::calloc(1, sizeof(LinkNode_s)));
    if (cell == nullptr)
        return list;
    cell->data = data;
    if (list == nullptr)
        return cell;
    LinkNode_s *last = list;
    while (last->next != nullptr)
        last = last->next;
    last->next = cell;
    return list;
}

int LinkCount(const LinkNode_s *list)
{
    int n = 0;
    for (; list != nullptr; list = list->next)
        ++n;
    return n;
}

namespace {

DestroyObj_s *NewHeader(int count)
{
    auto *header = static_cast<DestroyObj_s *>(std::calloc(1, sizeof(DestroyObj_s)));
    if (header != nullptr) {
        header->NToFree = count;
        header->Free = DestroyStrHier;
    }
    return header;
}

}  // namespace

StrHier_s *StrHierNodeCreate(const char *str)
{
    StrHier_s *node = StrHierCreateNodes(1);
    if (node != nullptr && str != nullptr)
        node->str = strdup(str);
    return node;
}

StrHier_s *StrHierCreateNodes(int count)
{
    if (count <= 0) {
        std::fprintf(stderr, "ERROR: Input to StrHierCreateNodes is %d\n", count);
        return nullptr;
    }
    auto *nodes = static_cast<StrHier_s *>(std::calloc(static_cast<size_t>(count), sizeof(StrHier_s)));
    if (nodes == nullptr)
        return nullptr;
    nodes[0].Destroy = NewHeader(count);
    if (nodes[0].Destroy == nullptr) {
        std::free(nodes);
        return nullptr;
    }
    return nodes;
}

void DestroyStrHier(void *record)
{
    auto *nodes = static_cast<StrHier_s *>(record);
    if (nodes == nullptr)
        return;
    const int count = nodes[0].Destroy ? nodes[0].Destroy->NToFree : 1;
    for (int i = count - 1; i >= 0; --i) {
        StrHier_s &node = nodes[i];
        std::free(node.Destroy);
        std::free(node.str);
        if (node.info != nullptr) {
            // Every item list begins with a pointer to its destruction header.
            auto *header = *static_cast<DestroyObj_s **>(node.info);
            if (header != nullptr && header->Free != nullptr)
                header->Free(node.info);
        }
    }
    std::free(nodes);
}

StrHier_s *StrHierAddChildPair(StrHier_s *parent, const char *str, int number)
{
    StrHier_s *node = StrHierNodeCreate(str);
    if (node == nullptr)
        return nullptr;
    node->parent = parent;
    node->number = number;
    if (parent != nullptr)
        parent->sublist = LinkAppend(parent->sublist, node);
    return node;
}

StrHier_s *StrHierAssignStr(StrHier_s *node, const char *str)
{
    if (node != nullptr && str != nullptr) {
        char *copy = strdup(str);
        if (copy != nullptr) {
            std::free(node->str);
            node->str = copy;
        }
    }
    return node;
}

int StrHierDepth(const StrHier_s *node)
{
    int depth = 0;
    for (const StrHier_s *p = node ? node->parent : nullptr; p != nullptr; p = p->parent)
        ++depth;
    return depth;
}

char *StrHierNamer(char *dst, const StrHier_s *node)
{
    std::strcpy(dst, node->str ? node->str : "");
    return dst;
}

void StrHierPrint(const StrHier_s *node)
{
    if (node == nullptr)
        return;
    const int depth = StrHierDepth(node);
    for (int i = 0; i < depth; ++i)
        std::fputs("   ", stdout);
    std::printf("%s\n", node->str ? node->str : "");
    for (const LinkNode_s *c = node->sublist; c != nullptr; c = c->next)
        StrHierPrint(static_cast<const StrHier_s *>(c->data));
}

namespace {
constexpr int kHierLine = 80;  // indented tree files: at most 79 characters a line
}

StrHier_s *StrHierFetch(const char *path)
{
    FILE *in = path ? FopenRegularFile(path, "r") : nullptr;
    if (in == nullptr)
        return nullptr;
    const char *dot = std::strchr(path, '.');
    StrHier_s *root = StrHierNodeCreate(dot ? dot + 1 : path);
    if (root != nullptr) {
        char line[kHierLine];
        StrHierParse(in, line, root, -1);
    }
    std::fclose(in);
    return root;
}

char *StrHierParse(FILE *file, char *line, StrHier_s *parent, int indent)
{
    char *pending = mfgets(line, kHierLine, file);
    while (pending != nullptr) {
        const int own = IndentOf(pending);
        if (own <= indent)
            return pending;
        StrHier_s *child = StrHierAddChildPair(parent, PastWhite(pending), LinkCount(parent->sublist) + 1);
        if (child == nullptr)
            return nullptr;
        pending = StrHierParse(file, line, child, own);
    }
    return nullptr;
}
