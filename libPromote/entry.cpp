// Times and catalog entries of a promotion request: the text forms of a
// time, an entry's file name and local path, whether the disk holds it (a
// description file in either of its two name forms), and the PNUR and SCF
// entries built from the configuration.
#include "Promote.h"

#include "libCfg.h"
#include "libant.h"
#include "libdbSQL.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char *kV3 = "V.v3";

bool EndsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int TimeObj::CompareWith(const TimeObj *other) const
{
    if (other == this || other == nullptr)
        return 0;
    if (_yr != other->_yr)
        return _yr > other->_yr ? 1 : -1;
    if (_day != other->_day)
        return _day > other->_day ? 1 : -1;
    if (_msec != other->_msec)
        return _msec > other->_msec ? 1 : -1;
    return 0;
}

std::string TimeObj::GetTimeStr(FormatType format) const
{
    const unsigned h = _msec / 3600000, m = (_msec % 3600000) / 60000, s = (_msec % 60000) / 1000,
                   ms = _msec % 1000;
    char text[64];
    switch (format) {
    case NICE_FMT: std::snprintf(text, sizeof text, "%4u/%03u %02u:%02u:%02u", _yr, _day, h, m, s); break;
    case FILENAME: std::snprintf(text, sizeof text, "%04u%03u%02u%02u", _yr, _day, h, m); break;
    case COLON_SEP: std::snprintf(text, sizeof text, "%04u:%03u:%02u:%02u:%02u", _yr, _day, h, m, s); break;
    default: std::snprintf(text, sizeof text, "%02u:%02u:%02u.%02u", h, m, s, ms); break;
    }
    return text;
}

void Entry::SetVirtualName(const char *name)
{
    std::snprintf(_VInst, sizeof _VInst, "%s", name != nullptr ? name : "");
}

std::string Entry::MakeFileName(int which) const
{
    std::string name = std::string(_VInst) + _BegTm.GetTimeStr(FILENAME);
    switch (which) {
    case PRO_KELD_I: return name + "I";
    case PRO_HEADER:
    case PRO_HD: return name + "H";
    case PRO_DATA: return name + "D";
    case PRO_KELD_V3: return name + kV3;
    default: return name;
    }
}

bool Entry::Online(const char *path)
{
    if (path == nullptr || *path == '\0' || access(path, R_OK) != 0)
        return false;
    // A file under a fetch that runs or did not end well is not there yet;
    // one beside something that is no marker of the programs is, and the
    // reader says what is in the way.  Both name forms of a description
    // share the marker of the "I" form, the one a fetch asks for.
    std::string marked = path;
    if (EndsWith(marked, kV3))
        marked.replace(marked.size() - 4, 4, "I");
    const DbFetchState state = dbFetchState(marked);
    return state != DbFetchState::Running && state != DbFetchState::Unfinished;
}

const char *Entry::GetCFGElement(const char *item)
{
    const char *path = dbCfgPath(_source, item);
    if (path == nullptr) {
        // A catalog that stayed locked has already said so: its source is
        // unknown for now, not missing from the configuration.
        if (dbCatalogBusy() != 1)
            std::fprintf(stderr, "ERROR: Database not configured for %s and %s\n", item, dbHierarchyString(_source));
        _Status = BAD;
    }
    return path;
}

void Entry::FillEntry(int which)
{
    // Looked up for every entry: the configuration may have been read again.
    const char *dir = dbCfgPath(_source, "PostTimePath");
    if (dir == nullptr) {
        // A catalog that stayed locked, or whose wait the program's end
        // stopped, has said so: the source's names are unknown for now.
        if (dbCatalogBusy() != 1)
            std::fprintf(stderr, "ERROR: PostTimePath for this project is not in the DB.cfg!\n");
        _Status = BAD;
        return;
    }
    std::string path = std::string(dir) + "/" + MakeFileName(which);
    _Status = Online(path.c_str()) ? ONLINE : OFFLINE;
    if (_Status == OFFLINE && which == PRO_KELD_I) {
        const std::string v3 = path.substr(0, path.size() - 1) + kV3;
        if (Online(v3.c_str())) {
            _Status = ONLINE;
            path = v3;
        }
    }
    FillEntryCommon(which, path);
}

void Entry::FillRemoteEntry(int which)
{
    FillEntryCommon(which, MakeFileName(which));
}

void Entry::FillEntryCommon(int which, const std::string &path)
{
    _FName = path;
    _OldStatus = _Status;
    _NURVType = which == PRO_HD ? PRO_HEADER : which;
    _PostProc = which == PRO_KELD_I ? '4' : '2';
}

Entry *Entry::ConvertEntry() const
{
    auto *copy = new Entry(*this);
    if (!_FName.empty()) {
        char &last = copy->_FName.back();
        if (last == 'D')
            last = 'H';
        else if (last == 'H')
            last = 'D';
        copy->_Status = Online(copy->_FName.c_str()) ? ONLINE : OFFLINE;
        copy->_OldStatus = copy->_Status;
    } else {
        copy->_Status = BAD;
    }
    if (_NURVType == PRO_DATA)
        copy->_NURVType = PRO_HEADER;
    else if (_NURVType == PRO_HEADER)
        copy->_NURVType = PRO_DATA;
    return copy;
}

bool Entry::FileExists()
{
    if (_Status == OFFLINE && _NURVType == PRO_KELD_I && !_FName.empty()) {
        if (EndsWith(_FName, kV3))
            _FName.resize(_FName.size() - 4);
        else
            _FName.pop_back();
        const std::string v3 = _FName + kV3;
        if (Online(v3.c_str())) {
            _FName = v3;
            return true;
        }
        _FName += "I";
    }
    return Online(_FName.c_str());
}

void Entry::CheckKELDEntry()
{
    if (_NURVType != PRO_KELD_I || _FName.empty())
        return;
    std::string other;
    if (_FName.back() == 'I')
        other = _FName.substr(0, _FName.size() - 1) + kV3;
    else if (_FName.back() == '3' && _FName.size() >= 4)
        other = _FName.substr(0, _FName.size() - 4) + "I";
    if (!other.empty() && Online(other.c_str())) {
        _Status = ONLINE;
        _FName = other;
    }
}

int Entry::MakePNUREntry(KOMBRA_ULONG key, shareFileStatusType share)
{
    SetVirtualName(dbVirtualName(key));
    _source = key;
    std::string dir;
    if (share == SHARED) {
        const char *home = GetEnv("KOMBRA_HOME");
        if (home == nullptr)
            return -1;
        dir = std::string(home) + "/SCF";
    } else if (share == LOCAL) {
        const char *home = GetHomeDirectory();
        if (home == nullptr)
            return -1;
        dir = std::string(home) + "/SCF";
    } else {
        const char *path = GetCFGElement("PnurPath");
        if (path == nullptr)
            return -1;
        dir = path;
    }
    return MakePNUREntryCommon(key, share, dir + "/" + _VInst + ".pnur.v2");
}

int Entry::MakeRemotePNUREntry(KOMBRA_ULONG key, shareFileStatusType share)
{
    SetVirtualName(dbVirtualName(key));
    _source = key;
    return MakePNUREntryCommon(key, share, std::string(_VInst) + ".pnur.v2");
}

int Entry::MakePNUREntryCommon(KOMBRA_ULONG key, shareFileStatusType share, const std::string &path)
{
    _source = key;
    _FName = path;
    _Status = Online(path.c_str()) ? ONLINE : OFFLINE;
    _OldStatus = _Status;
    _NURVType = PRO_PNUR;
    _shareStatus = share;
    return 1;
}

int Entry::MakeSCFEntry(const char *name, shareFileStatusType share)
{
    const char *home = nullptr;
    if (share == SHARED)
        home = GetEnv("KOMBRA_HOME");
    else if (share == LOCAL)
        home = GetHomeDirectory();
    else
        std::fprintf(stderr, "Illegal call to MakeSCFEntry!\n");
    if (home == nullptr)
        return -1;
    _FName = std::string(home) + "/SCF/" + (name != nullptr ? name : "");
    _Status = _OldStatus = ONLINE;
    _NURVType = PRO_SCF;
    _shareStatus = share;
    return 1;
}
