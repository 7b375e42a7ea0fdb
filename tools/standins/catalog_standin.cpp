// Stand-in for the catalog fetch program (MetaPromote):
//
//   fetch_catalog SERVER BEGIN END PROJECT MISSION EXPERIMENT INSTRUMENT VINST
//
// Appends its argument vector to $KOMBRA_STANDIN_LOG (as fetch_standin
// does), then writes the rows of $KOMBRA_STANDIN_ROWS into the local
// catalog and exits 0; exits 1 when that file is missing (a server without
// rows).  Each line of the file is
//
//   TABLE VINST B_YR B_DAY B_MSEC E_YR E_DAY E_MSEC
//
// with TABLE hd_entries or v_entries.  With $KOMBRA_STANDIN_DBF_BASE set
// the catalog is the dBASE one: every row of the file is written into
// BASE.HD or BASE.I (tables and indexes rewritten whole, rows named by
// their VINST); else into the SQLite catalog $KOMBRA_DATA/nurv.db3, under
// the key the hierarchy gives the argument names.
#include "dbf_fixture.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include "standin_log.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string table;
    kombra_fixtures::DbfCatalogEntry entry;
};

int WriteSqlite(const std::vector<Row> &rows, char **argv)
{
    const char *data = std::getenv("KOMBRA_DATA");
    if (data == nullptr)
        return 2;
    sqlite3 *db = nullptr;
    if (sqlite3_open((std::string(data) + "/nurv.db3").c_str(), &db) != SQLITE_OK)
        return 1;
    sqlite3_busy_timeout(db, 10000);  // the programs may be reading
    sqlite3_stmt *find = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT data_key FROM hierarchy WHERE project=? AND mission=? AND experiment=? AND "
                       "instrument=? AND virtual=?;",
                       -1, &find, nullptr);
    for (int i = 0; i < 5; ++i)
        sqlite3_bind_text(find, i + 1, argv[4 + i], -1, SQLITE_TRANSIENT);
    long long key = -1;
    if (sqlite3_step(find) == SQLITE_ROW)
        key = sqlite3_column_int64(find, 0);
    sqlite3_finalize(find);
    int status = key < 0 ? 1 : 0;
    for (const Row &r : rows) {
        if (status != 0)
            break;
        const std::string sql = "REPLACE INTO " + std::string(r.table == "v_entries" ? "v_entries" : "hd_entries") +
                                " (data_key, b_yr, b_day, b_msec, e_yr, e_day, e_msec, size, archive_label) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, 0, 'C1');";
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr);
        const long long values[7] = {key, r.entry.b_yr, r.entry.b_day, r.entry.b_msec, r.entry.e_yr, r.entry.e_day,
                                     r.entry.e_msec};
        for (int i = 0; i < 7; ++i)
            sqlite3_bind_int64(insert, i + 1, values[i]);
        status = sqlite3_step(insert) == SQLITE_DONE ? 0 : 1;
        sqlite3_finalize(insert);
    }
    sqlite3_close(db);
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    standin::Log(argc, argv);
    if (argc != 9)
        return 2;
    const char *file = std::getenv("KOMBRA_STANDIN_ROWS");
    std::ifstream in(file != nullptr ? file : "");
    if (!in)
        return 1;
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        Row r;
        words >> r.table >> r.entry.vinst >> r.entry.b_yr >> r.entry.b_day >> r.entry.b_msec >> r.entry.e_yr >>
            r.entry.e_day >> r.entry.e_msec;
        if (words)
            rows.push_back(r);
    }
    if (const char *base = std::getenv("KOMBRA_STANDIN_DBF_BASE")) {
        std::vector<kombra_fixtures::DbfCatalogEntry> hd, descriptions;
        for (const Row &r : rows)
            (r.table == "v_entries" ? descriptions : hd).push_back(r.entry);
        try {
            kombra_fixtures::WriteCatalogTables(base, "HD", hd);
            kombra_fixtures::WriteCatalogTables(base, "I", descriptions);
        } catch (const std::exception &) {
            return 1;
        }
        return 0;
    }
    return WriteSqlite(rows, argv);
}
