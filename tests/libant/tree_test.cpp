// Linked lists and named tree nodes.
#include "libant.h"
#include "support.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Frees a tree whose nodes were created one by one.
void FreeTree(StrHier_s *node)
{
    for (LinkNode_s *cell = node->sublist; cell != nullptr;) {
        FreeTree(static_cast<StrHier_s *>(cell->data));
        LinkNode_s *next = cell->next;
        std::free(cell);
        cell = next;
    }
    DestroyStrHier(node);
}

TEST(LinkList, AppendsInOrderAndCounts)
{
    int a = 1, b = 2, c = 3;
    EXPECT_EQ(0, LinkCount(nullptr));
    LinkNode_s *list = LinkAppend(nullptr, &a);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(list, LinkAppend(list, &b));
    LinkAppend(list, &c);
    EXPECT_EQ(3, LinkCount(list));
    EXPECT_EQ(&a, list->data);
    EXPECT_EQ(&b, list->next->data);
    EXPECT_EQ(&c, list->next->next->data);
    EXPECT_EQ(nullptr, list->next->next->next);
    while (list) {
        LinkNode_s *next = list->next;
        std::free(list);
        list = next;
    }
}

TEST(StrHierNodes, ArrayHeaderCountsAllNodes)
{
    StrHier_s *nodes = StrHierCreateNodes(3);
    ASSERT_NE(nullptr, nodes);
    ASSERT_NE(nullptr, nodes[0].Destroy);
    EXPECT_EQ(3, nodes[0].Destroy->NToFree);
    EXPECT_EQ(nullptr, nodes[1].Destroy);
    EXPECT_EQ(nullptr, nodes[2].str);
    nodes[1].str = strdup("x");
    nodes[0].Destroy->Free(nodes);
}

TEST(StrHierNodes, NonPositiveCountIsRefused)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, StrHierCreateNodes(0));
    EXPECT_EQ(nullptr, StrHierCreateNodes(-4));
    EXPECT_EQ("ERROR: Input to StrHierCreateNodes is 0\nERROR: Input to StrHierCreateNodes is -4\n",
              testing::internal::GetCapturedStderr());
}

// An item list stand-in: records that it was destroyed.
struct FakeInfo {
    DestroyObj_s *Destroy;
    int *destroyed;
};

void FreeFake(void *p)
{
    auto *info = static_cast<FakeInfo *>(p);
    ++*info->destroyed;
    std::free(info->Destroy);
    std::free(info);
}

TEST(StrHierNodes, DestroyFreesItemListsThroughTheirHeader)
{
    int destroyed = 0;
    StrHier_s *node = StrHierNodeCreate("n");
    auto *info = static_cast<FakeInfo *>(std::calloc(1, sizeof(FakeInfo)));
    info->Destroy = static_cast<DestroyObj_s *>(std::calloc(1, sizeof(DestroyObj_s)));
    info->Destroy->NToFree = 1;
    info->Destroy->Free = FreeFake;
    info->destroyed = &destroyed;
    node->info = info;
    DestroyStrHier(node);
    EXPECT_EQ(1, destroyed);
}

TEST(StrHierNodes, ChildrenDepthNamesAndPrint)
{
    StrHier_s *root = StrHierNodeCreate("root");
    StrHier_s *a = StrHierAddChildPair(root, "a", 1);
    StrHier_s *b = StrHierAddChildPair(a, "b", 1);
    StrHierAddChildPair(root, "c", 2);
    EXPECT_EQ(0, StrHierDepth(root));
    EXPECT_EQ(2, StrHierDepth(b));
    EXPECT_EQ(a, b->parent);
    StrHierAssignStr(b, "bee");
    char name[16];
    EXPECT_STREQ("bee", StrHierNamer(name, b));

    testing::internal::CaptureStdout();
    StrHierPrint(root);
    EXPECT_EQ("root\n   a\n      bee\n   c\n", testing::internal::GetCapturedStdout());
    FreeTree(root);
}

TEST(StrHierNodes, FetchReadsAnIndentedFile)
{
    kombra_test::TempDir dir;
    const std::string path = dir.file("tree.levels");
    kombra_test::WriteFile(path, "P1\n  M1\n    E1\n  M2\nP2\n\tM3\n");
    StrHier_s *root = StrHierFetch(path.c_str());
    ASSERT_NE(nullptr, root);
    // The root is named by what stands behind the first dot of the path.
    EXPECT_NE(nullptr, std::strstr(root->str, "levels"));
    ASSERT_EQ(2, LinkCount(root->sublist));
    auto *p1 = static_cast<StrHier_s *>(root->sublist->data);
    auto *p2 = static_cast<StrHier_s *>(root->sublist->next->data);
    EXPECT_STREQ("P1", p1->str);
    EXPECT_STREQ("P2", p2->str);
    ASSERT_EQ(2, LinkCount(p1->sublist));
    auto *m1 = static_cast<StrHier_s *>(p1->sublist->data);
    EXPECT_STREQ("M1", m1->str);
    EXPECT_EQ(1, LinkCount(m1->sublist));
    EXPECT_STREQ("M2", static_cast<StrHier_s *>(p1->sublist->next->data)->str);
    ASSERT_EQ(1, LinkCount(p2->sublist));
    EXPECT_STREQ("M3", static_cast<StrHier_s *>(p2->sublist->data)->str);
    EXPECT_EQ(nullptr, StrHierFetch(dir.file("absent").c_str()));
    FreeTree(root);
}

}  // namespace
