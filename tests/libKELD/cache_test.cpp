// The item cache: table values kept per description and table, served from
// there while the description stays loaded, dropped with it.
#include "keld_fixture.h"
#include "keld_int.h"
#include "keld_test_util.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using kombra_fixtures::KeldText;
using kombra_test::TempDir;

namespace {

constexpr KOMBRA_LONG kUnset = -999999;

class KeldCache : public testing::Test {
protected:
    void SetUp() override
    {
        ClearCache();
        CreateCache();
    }
    void TearDown() override { ClearCache(); }

    keld_test::MapPtr Parse(const KeldText &text)
    {
        auto parsed = keld_test::ParseText(dir_, text.Text(), "d" + std::to_string(files_++) + ".V.v3");
        return std::move(parsed.map);
    }

    // Up to 8 values of table t from start.
    static std::vector<KOMBRA_LONG> Table(const keld_map *map, int t, int start, int len = -1)
    {
        std::vector<KOMBRA_LONG> out(8, kUnset);
        EXPECT_STATUS(1, ReadNewKELDChecked(map, out.data(), out.size() * sizeof(KOMBRA_LONG), _TBL,
                                            static_cast<KOMBRA_SHORT>(t), start, static_cast<KOMBRA_SHORT>(len)));
        while (!out.empty() && out.back() == kUnset)
            out.pop_back();
        return out;
    }

    static std::vector<keld_entry> &Values(keld_map *map, const char *key) { return map->entries.at(key); }

    TempDir dir_;
    int files_ = 0;
};

TEST_F(KeldCache, TwoTablesAreTwoPairsAndDescriptionsDoNotShare)
{
    const auto a = Parse(kombra_fixtures::HaldeDescription());
    const auto b = Parse(kombra_fixtures::HaldeDescription());
    EXPECT_EQ((std::vector<KOMBRA_LONG>{1000, 1001}), Table(a.get(), 1, 0, 2));
    EXPECT_EQ((std::vector<KOMBRA_LONG>{2031}), Table(a.get(), 2, 31));
    EXPECT_EQ((std::vector<KOMBRA_LONG>{1005}), Table(b.get(), 1, 5, 1));

    const auto &elements = _Cache->_cache_elements;
    ASSERT_EQ(6u, elements.size());
    const struct {
        const keld_map *map;
        KELD_DEFS what;
        int which;
        bool freeme;
    } want[] = {{a.get(), _TBL, 1, true}, {a.get(), _TBL_ELE_SZ, 1, false}, {a.get(), _TBL, 2, true},
                {a.get(), _TBL_ELE_SZ, 2, false}, {b.get(), _TBL, 1, true}, {b.get(), _TBL_ELE_SZ, 1, false}};
    for (size_t i = 0; i < elements.size(); ++i) {
        EXPECT_EQ(want[i].map, elements[i].keld_ptr) << i;
        EXPECT_EQ(want[i].what, elements[i].what) << i;
        EXPECT_EQ(want[i].which, elements[i].which) << i;
        EXPECT_EQ(want[i].freeme, elements[i].freeme) << i;
    }
    EXPECT_EQ(32, reinterpret_cast<intptr_t>(elements[1].values));
}

TEST_F(KeldCache, ServedFromTheCacheUntilItIsCleared)
{
    const auto map = Parse(kombra_fixtures::HaldeDescription());
    EXPECT_EQ((std::vector<KOMBRA_LONG>{1000, 1001, 1002}), Table(map.get(), 1, 0, 3));
    // Changing the map does not reach a cached table: neither its values nor
    // its count are looked up again.
    Values(map.get(), "KELD.Table1.values")[0].val.ival = 5;
    Values(map.get(), "KELD.Table1.tbl_ele_sz")[0].val.ival = 2;
    EXPECT_EQ((std::vector<KOMBRA_LONG>{1000, 1001, 1002}), Table(map.get(), 1, 0, 3));
    EXPECT_EQ(2u, _Cache->_cache_elements.size());

    ClearCache();
    CreateCache();
    EXPECT_EQ((std::vector<KOMBRA_LONG>{5, 1001}), Table(map.get(), 1, 0, 3));
}

TEST_F(KeldCache, ACountOfZeroComesFromTheCache)
{
    const auto map = Parse(kombra_fixtures::HaldeDescription().Int("Table0.tbl_ele_sz", 0));
    EXPECT_EQ(std::vector<KOMBRA_LONG>{}, Table(map.get(), 0, 0));
    Values(map.get(), "KELD.Table0.tbl_ele_sz")[0].val.ival = 5;
    EXPECT_EQ(std::vector<KOMBRA_LONG>{}, Table(map.get(), 0, 0));
}

TEST_F(KeldCache, FreeingADescriptionDropsItsElements)
{
    auto a = Parse(kombra_fixtures::HaldeDescription());
    const auto b = Parse(kombra_fixtures::HaldeDescription());
    Table(a.get(), 0, 0, 2);
    Table(b.get(), 0, 0, 2);
    a.reset();
    ASSERT_EQ(2u, _Cache->_cache_elements.size());
    EXPECT_EQ(b.get(), _Cache->_cache_elements[0].keld_ptr);
    EXPECT_EQ(b.get(), _Cache->_cache_elements[1].keld_ptr);
}

TEST_F(KeldCache, ElementsAreFoundInInsertionOrderAndRemovedOneByOne)
{
    const int key = 0;
    CreateCache();  // keeps the cache there is
    ASSERT_TRUE(_Cache->AddToCache(&key, _TBL, 0, std::malloc(4), true));
    ASSERT_TRUE(_Cache->AddToCache(&key, _TBL_ELE_SZ, 0, reinterpret_cast<void *>(7), false));
    ASSERT_TRUE(_Cache->AddToCache(&key, _TBL_ELE_SZ, 0, reinterpret_cast<void *>(8), false));
    ASSERT_TRUE(_Cache->AddToCache(&key, _TBL, 1, std::malloc(4), true));
    EXPECT_EQ(reinterpret_cast<void *>(7), _Cache->GetFromCache(&key, _TBL_ELE_SZ, 0));
    EXPECT_EQ(nullptr, _Cache->GetFromCache(&key, _TBL, 2));

    _Cache->FreeCacheElement(1);
    _Cache->FreeCacheElement(0);
    _Cache->FreeCacheElement(9);
    ASSERT_EQ(2u, _Cache->_cache_elements.size());
    EXPECT_EQ(reinterpret_cast<void *>(8), _Cache->GetFromCache(&key, _TBL_ELE_SZ, 0));
    EXPECT_EQ(1, _Cache->_cache_elements[1].which);
    // The destructor frees the owned block that is left.
}

TEST_F(KeldCache, WithoutACacheTablesAreReadEveryTime)
{
    ClearCache();
    const auto map = Parse(kombra_fixtures::HaldeDescription());
    EXPECT_EQ((std::vector<KOMBRA_LONG>{2030, 2031}), Table(map.get(), 2, 30));
    Values(map.get(), "KELD.Table2.values")[31].val.ival = -1;
    EXPECT_EQ((std::vector<KOMBRA_LONG>{2030, -1}), Table(map.get(), 2, 30));
    EXPECT_EQ(nullptr, _Cache);
}

}  // namespace
