// The file of a data key and time: catalog file names, the catalog entry
// that overlaps a requested range on the SQL back ends, and the real-time
// files of every back end.
#include "dbsql_int.h"
#include "libCfg.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kBadVirtual[] = "ERROR - dbNURVGetFile - Bad virtual instrument...";
const char kBadType[] = "ERROR - dbNURVGetFile - Bad data type...";
const char kQueryFailed[] = "ERROR - dbNURVGetFile - Query failed!";
const char kNoData[] = "ERROR - dbNURVGetFile - No data for requested time!  Must promote...";
const char kPathTooLong[] = "ERROR - dbNURVGetFile - File path too long...";
const char kRealTimeBadVirtual[] = "ERROR - dbNURVGetRealTimeFile - Bad virtual instrument...";
const char kRealTimeBadType[] = "ERROR - dbNURVGetRealTimeFile - Bad data type...";
const char kRealTimePathTooLong[] = "ERROR - dbNURVGetRealTimeFile - File path too long...";

// The real-time look-up serves every back end: its failures are read back
// through the current back end's error text, the dBASE one's own included.
void RealTimeError(const char *text)
{
    SetErrorString(text);
    if (dbIsTarvo())
        Tarvo_dbSetErrorMsg(text);
}

// The catalog file names are cut to this size.
constexpr int kFileNameSize = 100;

// A time triple as the overlap function reads it: three 32-bit integers.
struct Triple {
    int yr, day, msec;
};

enum class Found { Entry, None, Failed };

// ---- The entry of a key and time -------------------------------------------
//
// The answer is the first entry of the key, in the order of the catalog's
// key (begin time), that overlaps the request by BETWEEN_TIMES.  Without an
// index on the entries' ends that is a scan of every entry of the key, which
// on a miss reads them all.
//
// An entry that overlaps the request begins no earlier than the request's
// begin less the longest entry of the key, and no later than the later of
// the request's begin and end (in the ordering key of the overlap function).
// So with the longest entry of the key known, only that window of begins is
// read, in key order, through the primary-key index.  Translating the window
// into begin triples needs begins that are real calendar times ("tame":
// years 1 to 9999, days within their year, msec within the day, integers
// that the overlap function reads unchanged), where the key order and the
// ordering key agree; a key with any other entry is read with the plain
// statement.  The longest entry and tameness of each key are kept while the
// catalog's change state (CatalogVersion) stays the same; a back end that
// cannot tell it works them out on every look-up.

constexpr long long kDayKey = 144000000;  // ordering-key units per day

using EntrySpan = CatalogSpan;

// The day count of the overlap function's ordering key as a 64-bit
// number: exact for the years 1 to 9999.
long long DayCount(long long yr, long long day)
{
    const long long y = yr - 1;
    return y * 365 + y / 4 - y / 100 + y / 400 - 693500 + day;
}

// The latest calendar day of the years 1 to 9999 whose day count is at most
// count; false before the first.
bool DayAtOrBefore(long long count, Triple &day)
{
    const long long first = DayCount(1, 1);
    const long long last = DayCount(9999, 365);
    if (count < first)
        return false;
    if (count >= last) {
        day = {9999, 365, 0};
        return true;
    }
    long long yr = 1 + (count - first) * 400 / 146097;
    while (yr > 1 && DayCount(yr, 1) > count)
        --yr;
    while (yr < 9999 && DayCount(yr + 1, 1) <= count)
        ++yr;
    day = {static_cast<int>(yr), static_cast<int>(count - DayCount(yr, 1) + 1), 0};
    return true;
}

// The day count of an ordering key (rounded down) and its rest.
struct DayAndRest {
    long long days;
    long long rest;
};

DayAndRest Split(__int128 key)
{
    __int128 days = key / kDayKey;
    if (key % kDayKey < 0)
        --days;
    const __int128 limit = static_cast<__int128>(INT64_MAX / 2);
    if (days > limit)
        days = limit;
    if (days < -limit)
        days = -limit;
    return {static_cast<long long>(days), static_cast<long long>(key - days * kDayKey)};
}

// The begin triple at or before every tame begin whose ordering key is at
// least key; false when there is none to give (no tame begin lies earlier).
bool LowerBound(__int128 key, Triple &bound)
{
    const DayAndRest at = Split(key);
    if (!DayAtOrBefore(at.days, bound))
        return false;
    // On that very day only the msec from the key's rest on qualify.
    if (DayCount(bound.yr, bound.day) == at.days && at.rest <= INT32_MAX)
        bound.msec = static_cast<int>(at.rest);
    return true;
}

// The begin triple at or after every tame begin whose ordering key is at
// most key; false when no tame begin can be that early.
bool UpperBound(__int128 key, Triple &bound)
{
    const DayAndRest at = Split(key);
    if (!DayAtOrBefore(at.days, bound))
        return false;
    bound.msec = DayCount(bound.yr, bound.day) == at.days && at.rest <= INT32_MAX ? static_cast<int>(at.rest)
                                                                                 : INT32_MAX;
    return true;
}

// The count, longest entry and tameness of the entries of a key on MySQL.
// The day counts of begin and end cancel their constant; untame entries may
// give any longest (it is not used then).  Unsigned columns are taken as
// signed before any subtraction; DIV truncates like the overlap function's
// division.
const char kSpanMySQL[] =
    "SELECT COUNT(*), "
    "MAX((ey * 365 + ey DIV 4 - ey DIV 100 + ey DIV 400 + ed "
    "- (by1 * 365 + by1 DIV 4 - by1 DIV 100 + by1 DIV 400 + bd)) * 144000000 + em - bm), "
    "SUM(CASE WHEN by1 BETWEEN 0 AND 9998 "
    "AND bd BETWEEN 1 AND 365 + (((by1 + 1) % 4 = 0 AND (by1 + 1) % 100 <> 0) OR (by1 + 1) % 400 = 0) "
    "AND bm BETWEEN 0 AND 86399999 AND ey BETWEEN -10000 AND 9998 "
    "AND ed BETWEEN -2147483648 AND 2147483647 AND em BETWEEN -2147483648 AND 2147483647 "
    "THEN 0 ELSE 1 END) "
    "FROM (SELECT CAST(b_yr AS SIGNED) - 1 AS by1, CAST(b_day AS SIGNED) AS bd, CAST(b_msec AS SIGNED) AS bm, "
    "CAST(e_yr AS SIGNED) - 1 AS ey, CAST(e_day AS SIGNED) AS ed, CAST(e_msec AS SIGNED) AS em "
    "FROM %s WHERE data_key=?) AS entries;";
// The first overlapping entry among those beginning in a window of begins.
const char kInWindow[] =
    "SELECT b_yr, b_day, b_msec FROM %s WHERE data_key=? "
    "AND (b_yr, b_day, b_msec) >= (?, ?, ?) AND (b_yr, b_day, b_msec) <= (?, ?, ?) "
    "AND BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, ?) > 0 "
    "ORDER BY b_yr, b_day, b_msec LIMIT 1;";
// The first overlapping entry of all.
const char kFirstOverlapping[] =
    "SELECT b_yr, b_day, b_msec FROM %s WHERE data_key=? "
    "AND BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, ?) > 0 "
    "ORDER BY b_yr, b_day, b_msec LIMIT 1;";

std::string Statement(const char *text, const char *table)
{
    const int n = std::snprintf(nullptr, 0, text, table);
    std::string sql(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(sql.data(), sql.size(), text, table);
    sql.resize(static_cast<std::size_t>(n));
    return sql;
}

// A cell holding a plain decimal integer.
bool Integer(const DbCell &cell, long long &value)
{
    if (!cell || cell->empty())
        return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtoll(cell->c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

long long Number(const DbCell &cell)
{
    return cell ? std::atoll(cell->c_str()) : 0;
}

std::vector<DbParam> Params(std::initializer_list<long long> values)
{
    std::vector<DbParam> params;
    params.reserve(values.size());
    for (const long long v : values)
        params.push_back(DbParam::Int(v));
    return params;
}

bool ReadSpan(const char *table, KOMBRA_ULONG key, EntrySpan &span)
{
    if (const auto direct = dbsql::Current().catalogSpan)
        return direct(table, key, &span) == 1;
    DbRows rows;
    if (dbQueryRows(Statement(kSpanMySQL, table).c_str(), Params({static_cast<long long>(key)}), rows) != 1 ||
        rows.empty() || rows.front().size() < 3)
        return false;
    const auto &row = rows.front();
    span = {};
    if (!Integer(row[0], span.count) || span.count <= 0) {
        span.count = 0;
        return true;
    }
    long long untame = 0;
    span.tame = Integer(row[2], untame) && untame == 0 && Integer(row[1], span.longest);
    if (span.longest < 0)
        span.longest = 0;
    return true;
}

// The spans kept for the catalog in one change state.
class SpanCache {
public:
    bool Find(const CatalogVersion &version, const char *table, KOMBRA_ULONG key, EntrySpan &span)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!(version == version_))
            return false;
        const auto it = spans_.find({table, key});
        if (it == spans_.end())
            return false;
        span = it->second;
        return true;
    }
    void Store(const CatalogVersion &version, const char *table, KOMBRA_ULONG key, const EntrySpan &span)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!(version == version_) || spans_.size() >= kMaxSpans) {
            spans_.clear();
            version_ = version;
        }
        spans_[{table, key}] = span;
    }

private:
    static constexpr std::size_t kMaxSpans = 4096;
    std::mutex mutex_;
    CatalogVersion version_;
    std::map<std::pair<std::string, KOMBRA_ULONG>, EntrySpan> spans_;
};

SpanCache &Spans()
{
    static SpanCache cache;
    return cache;
}

Found Answer(int status, const DbRows &rows, Triple &entry)
{
    if (status != 1)
        return Found::Failed;
    if (rows.empty())
        return Found::None;
    const auto &row = rows.front();
    auto at = [&row](std::size_t i) { return i < row.size() ? static_cast<int>(Number(row[i])) : 0; };
    entry = {at(0), at(1), at(2)};
    return Found::Entry;
}

Found FirstOverlapping(const char *table, KOMBRA_ULONG key, const Triple &b, const Triple &e, Triple &entry)
{
    DbRows rows;
    const int status = dbQueryRows(Statement(kFirstOverlapping, table).c_str(),
                                   Params({static_cast<long long>(key), b.yr, b.day, b.msec, e.yr, e.day, e.msec}),
                                   rows);
    return Answer(status, rows, entry);
}

// The first overlapping entry of a key with the span, reading only the
// window of begins where overlapping entries can lie.
Found InWindow(const char *table, KOMBRA_ULONG key, const EntrySpan &span, const Triple &b, const Triple &e,
               Triple &entry)
{
    if (span.count == 0)
        return Found::None;
    if (!span.tame)
        return FirstOverlapping(table, key, b, e, entry);
    const __int128 rb = day_number(b.yr, b.day, b.msec);
    const __int128 re = day_number(e.yr, e.day, e.msec);
    Triple low{0, 0, 0}, high{};
    if (!UpperBound(rb > re ? rb : re, high))
        return Found::None;  // every begin lies later
    if (!LowerBound(rb - span.longest, low))
        low = {0, 0, 0};
    DbRows rows;
    const int status =
        dbQueryRows(Statement(kInWindow, table).c_str(),
                    Params({static_cast<long long>(key), low.yr, low.day, low.msec, high.yr, high.day, high.msec,
                            b.yr, b.day, b.msec, e.yr, e.day, e.msec}),
                    rows);
    return Answer(status, rows, entry);
}

// The statements of one look-up in one read snapshot of the catalog, where
// the back end has them.
class ReadSnapshot {
public:
    ReadSnapshot() : end_(dbsql::Current().readEnd)
    {
        const auto begin = dbsql::Current().readBegin;
        open_ = begin != nullptr && begin() == 1;
    }
    ~ReadSnapshot()
    {
        if (open_)
            end_();
    }
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;
    bool open() const { return open_; }

private:
    void (*end_)();
    bool open_ = false;
};

Found FindEntry(const char *table, KOMBRA_ULONG key, const Triple &begin, const Triple &end, bool snapshot,
                Triple &entry)
{
    const auto versionOf = dbsql::Current().catalogVersion;
    if (versionOf == nullptr) {
        EntrySpan span;
        if (!ReadSpan(table, key, span))
            return Found::Failed;
        return InWindow(table, key, span, begin, end, entry);
    }
    // A span kept for a change state serves a window read in that same
    // state: inside a snapshot that is given; without one, a commit of
    // another connection between the reads makes them read again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        CatalogVersion before, after;
        if (versionOf(&before) != 1)
            return Found::Failed;
        EntrySpan span;
        if (!Spans().Find(before, table, key, span) && !ReadSpan(table, key, span))
            return Found::Failed;
        const Found found = InWindow(table, key, span, begin, end, entry);
        if (found == Found::Failed)
            return found;
        if (!snapshot && versionOf(&after) != 1)
            return Found::Failed;
        if (snapshot || after == before) {
            Spans().Store(before, table, key, span);
            return found;
        }
    }
    return FirstOverlapping(table, key, begin, end, entry);
}

char TypeLetter(RequestedDataType type)
{
    switch (type) {
    case _H_AND_D_:
    case _HEADER_:
        return 'H';
    case _DATA_:
        return 'D';
    case _KELD_:
        return 'I';
    }
    return '\0';
}

bool KnownType(RequestedDataType type)
{
    return type == _H_AND_D_ || type == _HEADER_ || type == _DATA_ || type == _KELD_;
}

// Writes path into name1 and, for a pair, its data twin (last character D)
// into name2; false when the path does not fit DB_PATH_MAX.
bool WriteNames(const std::string &path, RequestedDataType type, char *name1, char *name2)
{
    if (path.size() + 1 > DB_PATH_MAX || name1 == nullptr)
        return false;
    dbsql::CopyName(name1, DB_PATH_MAX, path);
    if (type == _H_AND_D_ && name2 != nullptr) {
        std::string twin = path;
        if (!twin.empty())
            twin.back() = 'D';
        dbsql::CopyName(name2, DB_PATH_MAX, twin);
    }
    return true;
}

}  // namespace

int SQL_dbNURVGetFile(KOMBRA_ULONG data_key, short btime_yr, short btime_day, long btime_msec, short etime_yr,
                      short etime_day, long etime_msec, RequestedDataType dataType, const char *exten,
                      char *name1, char *name2)
{
    if (!KnownType(dataType)) {
        SetErrorString(kBadType);
        return DB_FILE_BAD_SOURCE;
    }
    const ReadSnapshot snapshot;
    char vinst[DB_VNAME_SIZE] = {};
    if (dbVirtualName_r(data_key, vinst, DB_VNAME_SIZE) != 1 || vinst[0] == '\0') {
        // A catalog that stayed locked keeps its own error text: the source
        // is not bad, its name could not be read.
        if (dbCatalogBusy() == 1)
            return DB_FILE_QUERY_FAILED;
        SetErrorString(kBadVirtual);
        return DB_FILE_BAD_SOURCE;
    }

    const char *table = dataType == _KELD_ ? "v_entries" : "hd_entries";
    // The overlap function reads 32-bit integers.
    const Triple begin{btime_yr, btime_day, static_cast<int>(btime_msec)};
    const Triple end{etime_yr, etime_day, static_cast<int>(etime_msec)};
    Triple entry = begin;
    switch (FindEntry(table, data_key, begin, end, snapshot.open(), entry)) {
    case Found::Failed:
        if (dbCatalogBusy() != 1)
            SetErrorString(kQueryFailed);
        return DB_FILE_QUERY_FAILED;
    case Found::None:
        SetErrorString(kNoData);
        return DB_FILE_NO_DATA;
    case Found::Entry:
        break;
    }

    char file[kFileNameSize];
    MakeFileName(vinst, static_cast<unsigned short>(entry.yr), static_cast<unsigned short>(entry.day),
                 static_cast<long>(entry.msec), TypeLetter(dataType), file, kFileNameSize);

    std::string path;
    const std::string ext = dbsql::OrEmpty(exten);
    if (!ext.empty()) {
        const char *dir = std::getenv("USER_DATA");
        if (dir == nullptr)
            dir = GetHomeDirectory();
        if (dir == nullptr)
            return DB_FILE_BAD_SOURCE;
        path = std::string(dir) + "/" + file + ext;
    } else {
        const char *dir = dbCfgPath(data_key, "PostTimePath");
        if (dir == nullptr)
            return DB_FILE_BAD_SOURCE;
        if (CfgPathCut()) {  // a cut directory names another folder
            SetErrorString(kPathTooLong);
            return DB_FILE_BAD_SOURCE;
        }
        path = std::string(dir) + "/" + file;
    }
    if (!WriteNames(path, dataType, name1, name2)) {
        SetErrorString(kPathTooLong);
        return DB_FILE_BAD_SOURCE;
    }
    return 1;
}

int dbNURVGetRealTimeFile(KOMBRA_ULONG data_key, RequestedDataType dataType, const char *exten, char *name1,
                          char *name2)
{
    char vinst[DB_VNAME_SIZE] = {};
    if (dbVirtualName_r(data_key, vinst, DB_VNAME_SIZE) != 1 || vinst[0] == '\0') {
        RealTimeError(kRealTimeBadVirtual);
        return DB_FILE_BAD_SOURCE;
    }
    if (!KnownType(dataType)) {
        RealTimeError(kRealTimeBadType);
        return DB_FILE_BAD_SOURCE;
    }
    const char *dir = dbCfgPath(data_key, "RealTimePath");
    if (dir == nullptr)
        return DB_FILE_BAD_SOURCE;
    if (CfgPathCut()) {
        RealTimeError(kRealTimePathTooLong);
        return DB_FILE_BAD_SOURCE;
    }
    const std::string path = std::string(dir) + "/" + vinst + TypeLetter(dataType) + dbsql::OrEmpty(exten);
    if (!WriteNames(path, dataType, name1, name2)) {
        RealTimeError(kRealTimePathTooLong);
        return DB_FILE_BAD_SOURCE;
    }
    return 1;
}
