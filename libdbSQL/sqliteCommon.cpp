// The catalog's overlap rule and the SQL functions that every SQLite
// connection registers: between_times and compare_times; beside them the
// row callback and result step that the SQLite back end keeps for older
// callers.
#include "dbBackends.h"
#include "sqlite_int.h"

#include <sqlite3.h>

// The ordering key is a day count times 144000000 plus msec (an ordering
// key, not a count of milliseconds).  128-bit arithmetic keeps it exact and
// defined for any stored triple; for real years it equals the 32-bit day
// count of the catalog's rule.
__int128 day_number(int yr, int day, int msec)
{
    const long long y = static_cast<long long>(yr) - 1;
    const long long days = y * 365 + y / 4 - y / 100 + y / 400 - 693500 + day;
    return static_cast<__int128>(days) * 144000000 + msec;
}

int CatalogBetweenTimes(const int entry_begin[3], const int entry_end[3], const int req_begin[3],
                        const int req_end[3])
{
    const __int128 b = day_number(entry_begin[0], entry_begin[1], entry_begin[2]);
    const __int128 e = day_number(entry_end[0], entry_end[1], entry_end[2]);
    const __int128 rb = day_number(req_begin[0], req_begin[1], req_begin[2]);
    const __int128 re = day_number(req_end[0], req_end[1], req_end[2]);
    if ((rb > b && rb >= e) || (rb < b && b > re))
        return 0;
    return 1;
}

namespace {

void between_times(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    int t[12] = {};
    for (int i = 0; i < argc && i < 12; ++i)
        t[i] = sqlite3_value_int(argv[i]);
    sqlite3_result_int(context, CatalogBetweenTimes(t, t + 3, t + 6, t + 9));
}

void compare_times_sql(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    int t[6] = {};
    for (int i = 0; i < argc && i < 6; ++i)
        t[i] = sqlite3_value_int(argv[i]);
    sqlite3_result_int(context, compare_times(Time_t{t[0], t[1], t[2]}, Time_t{t[3], t[4], t[5]}));
}

}  // namespace

int GenericSQLCallback(void *, int, char **, char **)
{
    return 0;
}

void sqlite_store_result(void) {}

namespace dbsql {

void create_between_times(sqlite3 *db)
{
    // Results ignored: a catalog without them still answers other queries.
    sqlite3_create_function(db, "between_times", 12, SQLITE_ANY, nullptr, between_times, nullptr, nullptr);
    sqlite3_create_function(db, "compare_times", 6, SQLITE_ANY, nullptr, compare_times_sql, nullptr, nullptr);
}

}  // namespace dbsql
