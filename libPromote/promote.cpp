// A promotion request (time range, sources with their servers, listed
// entries) and the plain-function interface that hands it out as a handle.
#include "Promote.h"

#include "libCfg.h"
#include "libant.h"
#include "libdbSQL.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

Promote::Promote(const char *app_name, KOMBRA_BOOL force)
    : _btime(new TimeObj), _etime(new TimeObj), _app_name(app_name != nullptr ? app_name : "UNKNOWN"),
      _forcePromote(force)
{
    if (Projects == nullptr)
        kombra_assert_fail("Projects != __null", __FILE__, __LINE__, __func__);
}

Promote::~Promote()
{
    for (CServer *s : _Server)
        delete s;
    _Server.clear();
    for (Entry *e : _entryList)
        delete e;
    _entryList.clear();
    _ServerUsed.clear();
    delete _btime;
    delete _etime;
}

void Promote::SetBTime(int yr, int day, long msec)
{
    _btime->SetTime(static_cast<unsigned>(yr), static_cast<unsigned>(day), static_cast<unsigned>(msec));
}

void Promote::SetETime(int yr, int day, long msec)
{
    _etime->SetTime(static_cast<unsigned>(yr), static_cast<unsigned>(day), static_cast<unsigned>(msec));
}

void Promote::SetBTime(int yr, int day, int hour, int min, int sec, long msec)
{
    SetBTime(yr, day, hour * 3600000L + min * 60000L + sec * 1000L + msec);
}

void Promote::SetETime(int yr, int day, int hour, int min, int sec, long msec)
{
    SetETime(yr, day, hour * 3600000L + min * 60000L + sec * 1000L + msec);
}

void Promote::SetError(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(_error_msg, sizeof _error_msg, format, args);
    va_end(args);
}

void Promote::AddSource(KOMBRA_ULONG key)
{
    if (key == 0 || std::find(_data_sources.begin(), _data_sources.end(), key) != _data_sources.end())
        return;
    _data_sources.push_back(key);
    SetupDefaultServers(static_cast<unsigned>(_data_sources.size() - 1));
}

void Promote::AddSource(const char *project, const char *mission, const char *experiment, const char *instrument,
                        const char *virtual_inst)
{
    auto text = [](const char *s) { return std::string(s != nullptr ? s : ""); };
    KOMBRA_ULONG key = dbGetDataKey(project, mission, experiment, instrument, virtual_inst);
    if (key == 0) {
        DbRows rows;
        if (dbQueryRows("INSERT INTO hierarchy VALUES (NULL, ?, ?, ?, ?, ?);",
                        {DbParam::Text(text(project)), DbParam::Text(text(mission)), DbParam::Text(text(experiment)),
                         DbParam::Text(text(instrument)), DbParam::Text(text(virtual_inst))},
                        rows) != 1) {
            SetError("failed to insert %s, %s, %s, %s, %s\nPromote::AddSource - error: %s\n", text(project).c_str(),
                     text(mission).c_str(), text(experiment).c_str(), text(instrument).c_str(),
                     text(virtual_inst).c_str(), dbErrorMsg());
            std::fprintf(stderr, "%s\n", _error_msg);
        }
        key = dbGetDataKey(project, mission, experiment, instrument, virtual_inst);
    }
    AddSource(key);
}

Entry *Promote::GetEntry(size_t whichEntry) const
{
    if (whichEntry >= _entryList.size())
        kombra_assert_fail("whichEntry < _entryList.size ()", __FILE__, __LINE__, __func__);
    return _entryList[whichEntry];
}

// ---- The plain-function interface -----------------------------------------

namespace {

Promote *Request(void *handle)
{
    return static_cast<Promote *>(handle);
}

Promote *NewRequest(const char *name, KOMBRA_BOOL force, int byear, int bday, long bmsec, int eyear, int eday,
                    long emsec, int xstatus)
{
    auto *p = new Promote(name, force);
    p->SetBTime(byear, bday, bmsec);
    p->SetETime(eyear, eday, emsec);
    p->SetXStatus(xstatus == 1 ? ON : OFF);
    return p;
}

// A one-shot request of key, listing the entries of type which.
int OneShot(KOMBRA_ULONG key, int which, const TimeObj *begin, const TimeObj *end)
{
    Promote request("UNKNOWN", sFalse);
    request.AddSource(key);
    if (begin != nullptr) {
        request.SetBTime(static_cast<int>(begin->GetYear()), static_cast<int>(begin->GetDay()),
                         static_cast<long>(begin->GetMSec()));
        request.SetETime(static_cast<int>(end->GetYear()), static_cast<int>(end->GetDay()),
                         static_cast<long>(end->GetMSec()));
    }
    request.SetXStatus(OFF);
    return request.BuildDBList(which, OFFLINE, 1000) > 0 ? request.PromoteList() : 0;
}

}  // namespace

extern "C" {

void *pro_InitPromote(int byear, int bday, long bmsec, int eyear, int eday, long emsec, int xstatus)
{
    return NewRequest("UNKNOWN", sFalse, byear, bday, bmsec, eyear, eday, emsec, xstatus);
}

void *pro_InitPromoteNamed(int byear, int bday, long bmsec, int eyear, int eday, long emsec, int xstatus,
                           const char *app_name, KOMBRA_BOOL force)
{
    return NewRequest(app_name, force, byear, bday, bmsec, eyear, eday, emsec, xstatus);
}

void pro_AddSource(void *handle, KOMBRA_ULONG key)
{
    if (handle != nullptr)
        Request(handle)->AddSource(key);
}

KOMBRA_BOOL pro_NeedToPromote(void *handle)
{
    if (handle == nullptr)
        return sFalse;
    return Request(handle)->BuildDBList(PRO_KELD_I | PRO_HEADER | PRO_DATA | PRO_PNUR, OFFLINE, 1000) > 0 ? sTrue
                                                                                                           : sFalse;
}

KOMBRA_BOOL pro_PromoteAll(void *handle)
{
    if (handle == nullptr)
        return sFalse;
    return Request(handle)->PromoteList() == 1 ? sTrue : sFalse;
}

int pro_DemoteAll(void *handle)
{
    if (handle == nullptr)
        return 0;
    return Request(handle)->DemoteAllData(sFalse) == sTrue ? 0 : 1;
}

void pro_FreePromote(void *handle)
{
    delete Request(handle);
}

int pro_PromoteKELD(KOMBRA_ULONG key, KOMBRA_SHORT byear, KOMBRA_SHORT bday, KOMBRA_LONG bmsec, KOMBRA_SHORT eyear,
                    KOMBRA_SHORT eday, KOMBRA_LONG emsec)
{
    const TimeObj begin(static_cast<unsigned>(byear), static_cast<unsigned>(bday), static_cast<unsigned>(bmsec));
    const TimeObj end(static_cast<unsigned>(eyear), static_cast<unsigned>(eday), static_cast<unsigned>(emsec));
    return OneShot(key, PRO_KELD_I, &begin, &end);
}

int pro_PromotePNUR(KOMBRA_ULONG key)
{
    return OneShot(key, PRO_PNUR, nullptr, nullptr);
}

}  // extern "C"
