// The catalog's SQL functions and whole results, on the back end of the test
// program.
#include "catalog_env.h"

using namespace dbsql_test;

namespace {

// ---- Overlap rule -----------------------------------------------------------

struct Overlap {
    const char *name;
    int entry[6];
    int request[6];
    int expected;
};

void PrintTo(const Overlap &p, std::ostream *os)
{
    *os << p.name;
}

class BetweenTimes : public Catalog, public ::testing::WithParamInterface<Overlap> {};

TEST_P(BetweenTimes, FollowsTheCatalogRuleInCAndInSQL)
{
    const Overlap &o = GetParam();
    EXPECT_EQ(o.expected, CatalogBetweenTimes(o.entry, o.entry + 3, o.request, o.request + 3));
    std::string sql = "SELECT between_times(";
    for (int i = 0; i < 12; ++i)
        sql += std::to_string(i < 6 ? o.entry[i] : o.request[i - 6]) + (i < 11 ? "," : ");");
    EXPECT_EQ(std::to_string(o.expected), One(sql));
}

INSTANTIATE_TEST_SUITE_P(
    Catalog, BetweenTimes,
    ::testing::Values(Overlap{"EndsAtRequestBegin", {2001, 10, 0, 2001, 11, 0}, {2001, 11, 0, 2001, 12, 0}, 0},
                      Overlap{"BeginsAtRequestEnd", {2001, 10, 0, 2001, 11, 0}, {2001, 9, 0, 2001, 10, 0}, 1},
                      Overlap{"ContainsRequest", {2001, 10, 0, 2001, 11, 0}, {2001, 10, 5, 2001, 10, 6}, 1},
                      Overlap{"EqualBeginsOverlapEvenEmpty", {2001, 10, 0, 2001, 10, 0}, {2001, 10, 0, 2001, 9, 0}, 1},
                      Overlap{"EndsBeforeRequest", {2001, 10, 0, 2001, 10, 5}, {2001, 10, 6, 2001, 10, 9}, 0},
                      Overlap{"BeginsAfterRequest", {2001, 10, 9, 2001, 11, 0}, {2001, 10, 0, 2001, 10, 8}, 0},
                      Overlap{"AcrossTheNewYear", {2003, 365, 0, 2004, 1, 3600000}, {2004, 1, 0, 2004, 1, 1}, 1},
                      Overlap{"LastDayOfLeapYear", {2004, 366, 0, 2005, 1, 0}, {2004, 365, 0, 2004, 366, 0}, 1},
                      Overlap{"HugeYearsStayOrdered", {2000000000, 1, 0, 2000000000, 2, 0},
                              {-2000000000, 1, 0, 2000000000, 1, 5}, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Catalog, CompareTimesIsRegisteredToo)
{
    EXPECT_EQ("-1", One("SELECT compare_times(2003, 32, 0, 2003, 32, 1);"));
    EXPECT_EQ("0", One("SELECT compare_times(2003, 32, 5, 2003, 32, 5);"));
    EXPECT_EQ("1", One("SELECT COMPARE_TIMES(2004, 1, 0, 2003, 365, 86399999);"));
}

// ---- Whole results ------------------------------------------------------------

TEST_F(Catalog, StoredResults)
{
    DB_RESULT none = dbQueryStore("SELECT virtual FROM hierarchy WHERE data_key=1;");
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(0u, dbNumberRows(none));
    EXPECT_EQ(nullptr, dbFetchRow(none));
    dbFreeResult(none);

    DB_RESULT two = dbQueryStore("SELECT virtual, data_key FROM hierarchy WHERE instrument='3DR' AND mission='C1' "
                                 "ORDER BY virtual;");
    ASSERT_NE(nullptr, two);
    EXPECT_EQ(2u, dbNumberRows(two));
    EXPECT_EQ(2u, dbNumberFields(two));
    EXPECT_STREQ("data_key", dbFieldName(two, 1));
    DB_ROW first = dbFetchRow(two);
    ASSERT_NE(nullptr, first);
    EXPECT_STREQ("CP3DRH", first[0]);
    DB_ROW second = dbFetchRow(two);
    ASSERT_NE(nullptr, second);
    EXPECT_STREQ("CP3DRL", second[0]);
    EXPECT_STREQ("8921218", second[1]);
    EXPECT_EQ(nullptr, dbFetchRow(two));
    dbFreeResult(two);
    dbFreeResult(two);  // a second release finds nothing to free
}

}  // namespace
