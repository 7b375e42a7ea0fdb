// The file of a data key and time: catalog file names, the catalog entry
// that overlaps a requested range on the SQL back ends, and the real-time
// files of every back end.
#include "dbsql_int.h"
#include "libCfg.h"

#include <cstdio>
#include <cstdlib>

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

struct Triple {
    long long yr, day, msec;
};

enum class Found { Entry, None, Failed };

// Statement texts with the entries table in place of %s.  The overlap
// itself is always decided by BETWEEN_TIMES.
//
// Entry in force at the request begin: the latest entry beginning at or
// before it (one index step), with its overlap.
const char kAtBegin[] =
    "SELECT b_yr, b_day, b_msec, BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, ?) "
    "FROM %s WHERE data_key=? AND (b_yr, b_day, b_msec) <= (?, ?, ?) "
    "ORDER BY b_yr DESC, b_day DESC, b_msec DESC LIMIT 1;";
// First entry that begins inside the requested range.
const char kInside[] =
    "SELECT b_yr, b_day, b_msec FROM %s WHERE data_key=? AND (b_yr, b_day, b_msec) > (?, ?, ?) "
    "AND (b_yr, b_day, b_msec) <= (?, ?, ?) "
    "AND BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, ?) > 0 "
    "ORDER BY b_yr, b_day, b_msec LIMIT 1;";
// Any overlapping entry at all: reached only when the two above found none
// (a miss, or entries that overlap each other), and reads every entry of the
// key.
const char kAny[] =
    "SELECT b_yr, b_day, b_msec FROM %s WHERE data_key=? AND "
    "BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, ?) > 0 LIMIT 1;";

std::string Statement(const char *text, const char *table)
{
    const int n = std::snprintf(nullptr, 0, text, table);
    std::string sql(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(sql.data(), sql.size(), text, table);
    sql.resize(static_cast<std::size_t>(n));
    return sql;
}

long long Number(const DbCell &cell)
{
    return cell ? std::atoll(cell->c_str()) : 0;
}

Triple BeginOf(const std::vector<DbCell> &row)
{
    auto at = [&row](std::size_t i) { return i < row.size() ? Number(row[i]) : 0; };
    return {at(0), at(1), at(2)};
}

// The catalog entry of key in table that overlaps begin..end.  An entry in
// force at the begin wins, then the first that begins inside the range, then
// any other that overlaps.
Found FindEntry(const char *table, KOMBRA_ULONG key, const Triple &begin, const Triple &end, Triple &entry)
{
    const std::vector<DbParam> request = {DbParam::Int(begin.yr), DbParam::Int(begin.day),
                                          DbParam::Int(begin.msec), DbParam::Int(end.yr),
                                          DbParam::Int(end.day),    DbParam::Int(end.msec)};
    const DbParam keyParam = DbParam::Int(static_cast<long long>(key));
    auto with = [](std::vector<DbParam> params, const std::vector<DbParam> &more) {
        params.insert(params.end(), more.begin(), more.end());
        return params;
    };
    const std::vector<DbParam> beginParams(request.begin(), request.begin() + 3);
    const std::vector<DbParam> endParams(request.begin() + 3, request.end());

    DbRows rows;
    if (dbQueryRows(Statement(kAtBegin, table).c_str(), with(with(request, {keyParam}), beginParams), rows) != 1)
        return Found::Failed;
    if (!rows.empty() && rows.front().size() > 3 && Number(rows.front()[3]) > 0) {
        entry = BeginOf(rows.front());
        return Found::Entry;
    }

    if (dbQueryRows(Statement(kInside, table).c_str(),
                    with(with(with({keyParam}, beginParams), endParams), request), rows) != 1)
        return Found::Failed;
    if (rows.empty() &&
        dbQueryRows(Statement(kAny, table).c_str(), with({keyParam}, request), rows) != 1)
        return Found::Failed;
    if (rows.empty())
        return Found::None;
    entry = BeginOf(rows.front());
    return Found::Entry;
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

int MakeFileName(const char *vinst, unsigned short time_yr, unsigned short time_day, long time_msec, char tail,
                 char *loc, int len)
{
    const short hour = static_cast<short>(time_msec / 3600000);
    const short minute = static_cast<short>((time_msec % 3600000) / 60000);
    const std::size_t size = (loc != nullptr && len > 0) ? static_cast<std::size_t>(len) : 0;
    return std::snprintf(size > 0 ? loc : nullptr, size, "%s%04d%03d%02hd%02hd%c", dbsql::OrEmpty(vinst),
                         static_cast<int>(time_yr), static_cast<int>(time_day), hour, minute, tail);
}

int SQL_dbNURVGetFile(KOMBRA_ULONG data_key, short btime_yr, short btime_day, long btime_msec, short etime_yr,
                      short etime_day, long etime_msec, RequestedDataType dataType, const char *exten,
                      char *name1, char *name2)
{
    if (!KnownType(dataType)) {
        SetErrorString(kBadType);
        return DB_FILE_BAD_SOURCE;
    }
    char vinst[DB_VNAME_SIZE] = {};
    if (dbVirtualName_r(data_key, vinst, DB_VNAME_SIZE) != 1 || vinst[0] == '\0') {
        SetErrorString(kBadVirtual);
        return DB_FILE_BAD_SOURCE;
    }

    const char *table = dataType == _KELD_ ? "v_entries" : "hd_entries";
    const Triple begin{btime_yr, btime_day, btime_msec};
    const Triple end{etime_yr, etime_day, etime_msec};
    Triple entry = begin;
    switch (FindEntry(table, data_key, begin, end, entry)) {
    case Found::Failed:
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
