// Catalog entries of the dBASE back end: finding the entry of a virtual
// instrument that covers a time range, and the path of its file.
#include "dbf.h"
#include "catalog_fields.h"
#include "server_int.h"

#include <fcntl.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace catalog_fields;

// Opened table and index, closed again when the look-up ends.
class CatalogTables {
public:
    ~CatalogTables()
    {
        if (index_ > 0)
            CloseNdx(table_, index_);
        if (table_ > 0)
            CloseDbf(table_);
    }
    bool Open(const std::string &base)
    {
        if (OpenDbf(&table_, (base + ".DBF").c_str(), O_RDONLY) != SUCCESS) {
            table_ = 0;
            return false;
        }
        if (OpenNdx(table_, (base + ".NDX").c_str(), &index_) != SUCCESS) {
            index_ = 0;
            return false;
        }
        return true;
    }
    int table() const { return table_; }
    int index() const { return index_; }

private:
    int table_ = 0;
    int index_ = 0;
};

// The entry overlaps the request when the request begins no later than the
// entry ends and ends no earlier than it begins.
bool Overlaps(const Time_t &entryBegin, const Time_t &entryEnd, const Time_t &reqBegin, const Time_t &reqEnd)
{
    return compare_times(reqBegin, entryEnd) <= 0 && compare_times(reqEnd, entryBegin) >= 0;
}

bool CurrentOverlaps(int table, const Time_t &reqBegin, const Time_t &reqEnd, bool &overlaps)
{
    Time_t b{}, e{};
    if (!ReadTime(table, "B_YR", "B_DAY", "B_MSEC", b) || !ReadTime(table, "E_YR", "E_DAY", "E_MSEC", e))
        return false;
    overlaps = Overlaps(b, e, reqBegin, reqEnd);
    return true;
}

// A begin that a catalog file can be named by.
bool PlausibleBegin(long yr, long day, long msec)
{
    return yr >= 0 && yr <= 9999 && day >= 1 && day <= 366 && msec >= 0 && msec < 86400000;
}

const char kPathTooLong[] = "ERROR - dbNURVGetFile - File path too long...";
const char kRealTimePathTooLong[] = "ERROR - dbNURVGetRealTimeFile - File path too long...";

// A directory or path that does not fit its buffer: cut, it would name a
// file in another folder.
int PathTooLong(const char *text)
{
    server_internal::SetErrorText(text);
    return TARVO_PATH_TOO_LONG;
}

// Copies a built path into a caller's path buffer: 1, or -1002 when it does
// not fit.
int CopyPath(char *out, const std::string &path, const char *tooLong)
{
    if (path.size() >= PATH_MAX)
        return PathTooLong(tooLong);
    server_internal::CopyName(out, PATH_MAX, path.c_str());
    return 1;
}

}  // namespace

int find_entry(int table, int index, const char *vname, long b_yr, long b_day, long b_msec, long e_yr, long e_day,
               long e_msec, int near)
{
    dbfRecord_t *t = dbfHandle(table);
    if (t == nullptr || t->NumRecs <= 0)
        return 0;

    char key[64];
    std::snprintf(key, sizeof key, "%-8s%04ld%3ld%8ld", vname, b_yr, b_day, b_msec);
    const dbFindRet_t found = dbFind(table, index, key, near);
    switch (found) {
    case EXACT_MATCH:
        return 1;
    case MATCH_LESS:  // on the next later entry: look at the one before first
        if (Skip(table, index, -1) != SUCCESS)
            return 0;
        if (!IsInstrument(table, vname)) {
            if (Skip(table, index, 1) != SUCCESS || !IsInstrument(table, vname))
                return 0;
        }
        break;
    case MATCH_GREATER:  // on the entry before
        if (!IsInstrument(table, vname)) {
            if (Skip(table, index, 1) != SUCCESS || !IsInstrument(table, vname))
                return 0;
        }
        break;
    default:
        return 0;
    }

    const Time_t reqBegin{static_cast<KOMBRA_LONG>(b_yr), static_cast<KOMBRA_LONG>(b_day),
                          static_cast<KOMBRA_LONG>(b_msec)};
    const Time_t reqEnd{static_cast<KOMBRA_LONG>(e_yr), static_cast<KOMBRA_LONG>(e_day),
                        static_cast<KOMBRA_LONG>(e_msec)};
    bool overlaps = false;
    if (!CurrentOverlaps(table, reqBegin, reqEnd, overlaps))
        return 0;

    if (overlaps) {
        // An earlier entry of the same instrument may overlap as well: the
        // earliest one covering the request begin wins.
        ndxRecord_t *ndx = ndxHandle(t, index);
        if (ndx == nullptr)
            return 0;
        const long position = ndx->IndexRec;
        const long record = t->CurRec;
        bool earlierOverlaps = false;
        if (Skip(table, index, -1) == SUCCESS && IsInstrument(table, vname) &&
            CurrentOverlaps(table, reqBegin, reqEnd, earlierOverlaps) && earlierOverlaps)
            return 1;
        ndx->IndexRec = position;
        return GoTo(table, record) == SUCCESS ? 1 : 0;
    }

    if (Skip(table, index, 1) != SUCCESS || !IsInstrument(table, vname))
        return 0;
    if (!CurrentOverlaps(table, reqBegin, reqEnd, overlaps) || !overlaps)
        return 0;
    return 1;
}

char *Tarvo_MakeFileName(const char *vname, long year, long day, long msec, char letter)
{
    static char name[128];
    const auto hour = static_cast<short>(msec / 3600000);
    const auto minute = static_cast<short>((msec % 3600000) / 60000);
    std::snprintf(name, sizeof name, "%s%04ld%03ld%02hd%02hd%c", vname, year, day, hour, minute, letter);
    return rtrim(name);
}

int get_file_name(KOMBRA_ULONG key, Time_t begin, long e_yr, long e_day, long e_msec, RequestedDataType type,
                  const char *exten, char *out)
{
    if (type == _H_AND_D_)
        kombra_assert_fail("type != _H_AND_D_", "get_file_name.c", __LINE__, __func__);
    const char letter = type == _HEADER_ ? 'H' : type == _DATA_ ? 'D' : 'I';

    StrHier_s *node = server_internal::NodeOfKey(key);
    if (node == nullptr)
        return TARVO_NO_PATH;
    const std::string vname = node->str ? node->str : "";

    if (begin.yr == -1 || begin.yr == -2) {
        const char *dir = CfgPath(node, "RealTimePath", 4);
        if (dir == nullptr)
            return TARVO_NO_PATH;
        if (CfgPathCut())
            return PathTooLong(kRealTimePathTooLong);
        return CopyPath(out, std::string(dir) + "/" + vname + letter, kRealTimePathTooLong);
    }

    const char *base = DbfFile(node);
    if (base == nullptr)
        return TARVO_NO_PATH;
    if (CfgPathCut())
        return PathTooLong(kPathTooLong);
    CatalogTables tables;
    if (!tables.Open(std::string(base) + (type == _KELD_ ? ".I" : ".HD")))
        return TARVO_OPEN_FAILED;
    if (!TimeFieldsTyped(tables.table()))
        return TARVO_READ_FAILED;
    if (!find_entry(tables.table(), tables.index(), vname.c_str(), begin.yr, begin.day, begin.msec, e_yr, e_day,
                    e_msec, 1))
        return TARVO_NO_DATA;

    long yr = 0, day = 0, msec = 0;
    if (!ReadNumber(tables.table(), "B_YR", yr) || !ReadNumber(tables.table(), "B_DAY", day) ||
        !ReadNumber(tables.table(), "B_MSEC", msec) || !PlausibleBegin(yr, day, msec))
        return TARVO_READ_FAILED;
    const std::string file = Tarvo_MakeFileName(vname.c_str(), yr, day, msec, letter);

    if (exten == nullptr || *exten == '\0') {
        const char *dir = CfgPath(node, "PostTimePath", 4);
        if (dir == nullptr)
            return TARVO_NO_PATH;
        if (CfgPathCut())
            return PathTooLong(kPathTooLong);
        return CopyPath(out, std::string(dir) + "/" + file, kPathTooLong);
    }
    const char *dir = GetEnv("USER_DATA");
    if (dir == nullptr)
        dir = GetHomeDirectory();
    if (dir == nullptr)
        return TARVO_NO_PATH;
    return CopyPath(out, std::string(dir) + "/" + file + exten, kPathTooLong);
}
