// Listing catalog entries: for each source of a request, the description,
// header, data and PNUR entries that overlap the request's range, kept when
// their status matches the filter.  On an SQL catalog the rows come from
// hd_entries and v_entries; a source without rows gets its catalog rows
// fetched once and is queried again.  Every outside value goes into the SQL
// as a bound parameter; rows whose time cells are missing or impossible are
// skipped.
#include "Promote.h"

#include "libdbSQL.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

namespace {

// A cell as a whole number in lo..hi.
std::optional<long> Number(const DbCell &cell, long lo, long hi)
{
    if (!cell)
        return std::nullopt;
    long value = 0;
    const char *first = cell->data(), *last = cell->data() + cell->size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || value < lo || value > hi)
        return std::nullopt;
    return value;
}

// The begin and end of a catalog row (b_yr, b_day, b_msec, e_yr, e_day,
// e_msec); none when a cell is missing or outside a calendar time.
std::optional<std::array<long, 6>> RowTimes(const std::vector<DbCell> &row)
{
    if (row.size() < 6)
        return std::nullopt;
    std::array<long, 6> t{};
    for (int i = 0; i < 6; ++i) {
        const int field = i % 3;
        const auto v = field == 0 ? Number(row[static_cast<size_t>(i)], 0, 9999)
                                  : field == 1 ? Number(row[static_cast<size_t>(i)], 1, 366)
                                               : Number(row[static_cast<size_t>(i)], 0, 86400000);
        if (!v)
            return std::nullopt;
        t[static_cast<size_t>(i)] = *v;
    }
    return t;
}

const char *TableOf(int which)
{
    return which == PRO_KELD_I || which == PRO_KELD_V3 ? "v_entries" : "hd_entries";
}

}  // namespace

void Promote::Keep(Entry *e, FileStatusType status, int &added, bool front)
{
    if (status != EITHER && e->GetStatus() != status) {
        delete e;
        return;
    }
    if (front) {
        _entryList.insert(_entryList.begin(), e);
        _ServerUsed.insert(_ServerUsed.begin(), _src_in_use);
    } else {
        _entryList.push_back(e);
        _ServerUsed.push_back(_src_in_use);
    }
    ++added;
}

int Promote::BuildDBList(int which, FileStatusType status, int limit)
{
    if (_data_sources.empty()) {
        std::fprintf(stderr, "libPromote/BuildDBList: Invalid source!\n");
        SetError("The data sources are not valid!");
        return -1;
    }
    return dbIsTarvo() ? Tarvo_BuildDBList(which, status, limit) : SQL_BuildDBList(which, status, limit);
}

int Promote::SQL_BuildDBList(int which, FileStatusType status, int limit)
{
    int added = 0;
    for (size_t src = 0; src < _data_sources.size() && added < limit; ++src) {
        _haveMeta = DB_GOOD;
        _src_in_use = static_cast<int>(src);
        if ((which & PRO_KELD_V3) && _haveMeta != DB_ERROR)
            added += MakeList(PRO_KELD_V3, status, limit, &Promote::RegularQueryCallback);
        if ((which & PRO_KELD_I) && _haveMeta != DB_ERROR)
            added += MakeList(PRO_KELD_I, status, limit, &Promote::RegularQueryCallback);
        if ((which & PRO_HD) == PRO_HD) {
            if (_haveMeta != DB_ERROR)
                added += MakeList(PRO_HD, status, limit, &Promote::RegularQueryCallback);
        } else {
            if ((which & PRO_HEADER) && _haveMeta != DB_ERROR)
                added += MakeList(PRO_HEADER, status, limit, &Promote::RegularQueryCallback);
            if ((which & PRO_DATA) && _haveMeta != DB_ERROR)
                added += MakeList(PRO_DATA, status, limit, &Promote::RegularQueryCallback);
        }
        if (which & PRO_PNUR) {
            auto *e = new Entry;
            const KOMBRA_ULONG key = _data_sources[src];
            const int made = dbIsLocal() ? e->MakePNUREntry(key, GLOBAL) : e->MakeRemotePNUREntry(key, GLOBAL);
            if (made == 1)
                Keep(e, status, added, true);
            else
                delete e;
        }
    }
    return added;
}

int Promote::BuildDBIntersectionList(int which, FileStatusType status, int limit)
{
    if (_data_sources.size() < 2) {
        std::fprintf(stderr, "You must choose more than one source!\n");
        return -1;
    }
    _haveMeta = DB_GOOD;
    _src_in_use = 0;
    int added = 0;
    if (which & PRO_KELD_V3)
        added += MakeList(PRO_KELD_V3, status, limit, &Promote::IntersectionQueryCallback);
    if ((which & PRO_KELD_I) && _haveMeta != DB_ERROR)
        added += MakeList(PRO_KELD_I, status, limit, &Promote::IntersectionQueryCallback);
    if ((which & PRO_HD) == PRO_HD) {
        if (_haveMeta != DB_ERROR)
            added += MakeList(PRO_HD, status, limit, &Promote::IntersectionQueryCallback);
    } else {
        if ((which & PRO_HEADER) && _haveMeta != DB_ERROR)
            added += MakeList(PRO_HEADER, status, limit, &Promote::IntersectionQueryCallback);
        if ((which & PRO_DATA) && _haveMeta != DB_ERROR)
            added += MakeList(PRO_DATA, status, limit, &Promote::IntersectionQueryCallback);
    }
    if (which & PRO_PNUR) {
        auto *e = new Entry;
        const int made = dbIsLocal() ? e->MakePNUREntry(_data_sources[0], GLOBAL)
                                     : e->MakeRemotePNUREntry(_data_sources[0], GLOBAL);
        if (made == 1)
            Keep(e, status, added, true);
        else
            delete e;
    }
    return added;
}

int Promote::MakeList(int which, FileStatusType status, int limit, QueryFn query)
{
    const KOMBRA_ULONG key = _data_sources[static_cast<size_t>(_src_in_use)];
    const char *table = TableOf(which);
    int added = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DbRows rows;
        if (!query(this, table, limit, rows)) {
            // A catalog that stayed locked has said so once for the action.
            if (dbCatalogBusy() != 1)
                std::fprintf(stderr, "Promote::MakeList: %s\n", dbErrorMsg());
            return added;
        }
        if (!rows.empty()) {
            char vinst[DB_VNAME_SIZE] = {};
            dbVirtualName_r(key, vinst, sizeof vinst);
            int skipped = 0;
            for (const auto &row : rows) {
                const auto t = RowTimes(row);
                if (!t) {
                    ++skipped;
                    continue;
                }
                auto *e = new Entry;
                e->SetSource(key);
                e->SetVirtualName(vinst);
                e->SetBTime(static_cast<unsigned>((*t)[0]), static_cast<unsigned>((*t)[1]),
                            static_cast<unsigned>((*t)[2]));
                e->SetETime(static_cast<unsigned>((*t)[3]), static_cast<unsigned>((*t)[4]),
                            static_cast<unsigned>((*t)[5]));
                if (dbIsLocal())
                    e->FillEntry(which);
                else
                    e->FillRemoteEntry(which);
                if (e->GetStatus() == BAD) {
                    delete e;
                    _haveMeta = DB_ERROR;
                    break;
                }
                Entry *data = which == PRO_HD ? e->ConvertEntry() : nullptr;
                Keep(e, status, added);
                if (data != nullptr)
                    Keep(data, status, added);
            }
            if (skipped > 0)
                std::fprintf(stderr, "Promote::MakeList: %d rows of %s with missing or impossible times skipped\n",
                             skipped, table);
            return added;
        }
        if (attempt == 1) {
            _haveMeta = DB_NO_DATA;
            return added;
        }
        SetError("ERROR (no data, trying to promote it): %s", dbErrorMsg());
        if (AutoGetMeta(key) == 0) {
            _haveMeta = DB_ERROR;
            return added;
        }
    }
    return added;
}

bool Promote::RegularQueryCallback(Promote *request, const char *table, int limit, DbRows &rows)
{
    return request->RegularQuery(table, limit, rows);
}

bool Promote::IntersectionQueryCallback(Promote *request, const char *table, int limit, DbRows &rows)
{
    return request->IntersectionQuery(table, limit, rows);
}

bool Promote::RegularQuery(const char *table, int limit, DbRows &rows)
{
    const std::string sql = std::string("SELECT b_yr, b_day, b_msec, e_yr, e_day, e_msec FROM ") + table +
                            " WHERE data_key=? AND BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, "
                            "?, ?) > 0 LIMIT ?;";
    const KOMBRA_ULONG key = _data_sources[static_cast<size_t>(_src_in_use)];
    return dbQueryRows(sql.c_str(),
                       {DbParam::Int(key), DbParam::Int(_btime->GetYear()), DbParam::Int(_btime->GetDay()),
                        DbParam::Int(_btime->GetMSec()), DbParam::Int(_etime->GetYear()),
                        DbParam::Int(_etime->GetDay()), DbParam::Int(_etime->GetMSec()), DbParam::Int(limit)},
                       rows) == 1;
}

bool Promote::IntersectionQuery(const char *table, int limit, DbRows &rows)
{
    DbRows none;
    auto exec = [&none](const std::string &sql, const std::vector<DbParam> &params = {}) {
        return dbQueryRows(sql.c_str(), params, none) == 1;
    };
    bool ok = true;
    for (size_t i = 0; i < _data_sources.size() && ok; ++i)
        ok = exec("CREATE TEMPORARY TABLE t" + std::to_string(i) +
                      " AS SELECT data_key, b_yr, b_day, b_msec, e_yr, e_day, e_msec, size, archive_label, "
                      "archive_date FROM " +
                      table +
                      " WHERE DATA_KEY=? AND BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, "
                      "?) > 0 LIMIT ?;",
                  {DbParam::Int(_data_sources[i]), DbParam::Int(_btime->GetYear()), DbParam::Int(_btime->GetDay()),
                   DbParam::Int(_btime->GetMSec()), DbParam::Int(_etime->GetYear()),
                   DbParam::Int(_etime->GetDay()), DbParam::Int(_etime->GetMSec()), DbParam::Int(limit)});
    ok = ok &&
         // The columns hold whatever the catalog's own columns hold (keys
         // and sizes of 32 bits, labels of up to 64 characters).
         exec("CREATE TEMPORARY TABLE answer (data_key INT UNSIGNED NOT NULL, b_yr YEAR NOT NULL, b_day SMALLINT "
              "UNSIGNED NOT NULL, b_msec INT UNSIGNED NOT NULL, e_yr YEAR NOT NULL, e_day SMALLINT UNSIGNED NOT NULL, "
              "e_msec INT UNSIGNED NOT NULL, size INT UNSIGNED, archive_label VARCHAR(64), archive_date TIMESTAMP NULL "
              "DEFAULT NULL, PRIMARY KEY (data_key, b_yr, b_day, b_msec) );") &&
         exec("CREATE INDEX index_answer ON answer (data_key, b_yr, b_day, b_msec);");
    // The first source's entries that overlap an entry of every other
    // source, each once (an entry of the first that overlaps entries of
    // several others is one row of the answer).
    std::string shared = "INSERT INTO answer SELECT t0.data_key, t0.b_yr, t0.b_day, t0.b_msec, t0.e_yr, t0.e_day, "
                         "t0.e_msec, t0.size, t0.archive_label, t0.archive_date FROM t0 WHERE ";
    for (size_t i = 1; i < _data_sources.size(); ++i) {
        const std::string t = "t" + std::to_string(i);
        shared += std::string(i > 1 ? " AND " : "") + "EXISTS (SELECT 1 FROM " + t +
                  " WHERE BETWEEN_TIMES(t0.b_yr, t0.b_day, t0.b_msec, t0.e_yr, t0.e_day, t0.e_msec," + t + ".b_yr, " +
                  t + ".b_day, " + t + ".b_msec, " + t + ".e_yr, " + t + ".e_day, " + t + ".e_msec) > 0)";
    }
    ok = ok && exec(shared + ";");
    for (size_t i = 1; i < _data_sources.size() && ok; ++i)
        ok = exec("DROP TABLE t" + std::to_string(i));
    ok = ok && exec("DROP TABLE t0") &&
         dbQueryRows("SELECT b_yr, b_day, b_msec, e_yr, e_day, e_msec FROM answer;", {}, rows) == 1;
    exec("DROP TABLE answer");  // its index goes with it
    // A failed step leaves no temporary table behind for the next listing.
    if (!ok) {
        for (size_t i = 0; i < _data_sources.size(); ++i)
            exec("DROP TABLE IF EXISTS t" + std::to_string(i));
        exec("DROP TABLE IF EXISTS answer");
    }
    return ok;
}
