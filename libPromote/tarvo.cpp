// Listing on the dBASE catalog: per source its description table ("I") and
// its header-and-data table ("HD"), each with its key index; the first
// record of the source that overlaps the request is found through the
// index, and the records are walked from there while they belong to the
// source and overlap.
//
// Fields are read only when they have the type they are read as, each copy
// as wide as the field; the tables are closed before the catalog fetch
// program may rewrite them, one fetch at most per open; a record belongs to
// the source only when its trimmed V_INST equals the virtual name.
#include "Promote.h"

#include "DbDefs.h"
#include "catalog_fields.h"
#include "dbf.h"
#include "libdbSQL.h"

#include <fcntl.h>

#include <cstdio>
#include <limits>
#include <string>

namespace {

bool Overlaps(const TimeObj &b, const TimeObj &e, const TimeObj *rb, const TimeObj *re)
{
    return rb->CompareWith(&e) <= 0 && re->CompareWith(&b) >= 0;
}

}  // namespace

int Promote::OpenDatabase(const char *suffix, int *dbf, int *ndx)
{
    *dbf = *ndx = 0;
    const KOMBRA_ULONG key = _data_sources[static_cast<size_t>(_src_in_use)];
    const char *base_name = Tarvo_dbFilename(key);
    if (base_name == nullptr) {
        SetError("Error while opening database: no catalog path for the source");
        std::fprintf(stderr, "%s\n", _error_msg);
        return 0;
    }
    const std::string base = std::string(base_name) + "." + suffix;
    bool fetched = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int table = 0, index = 0;
        if (OpenDbf(&table, (base + ".DBF").c_str(), O_RDONLY) != SUCCESS) {
            SetError("Error while opening database: %s", dbf_msg());
            std::fprintf(stderr, "%s\n", _error_msg);
            if (fetched || AutoGetMeta(key) != 1)
                return 0;
            fetched = true;
            continue;
        }
        if (OpenNdx(table, (base + ".NDX").c_str(), &index) != SUCCESS) {
            SetError("Error while opening database index: %s", dbf_msg());
            std::fprintf(stderr, "%s\n", _error_msg);
            CloseDbf(table);
            return 0;
        }
        const dbfRecord_t *t = dbfHandle(table);
        if (t == nullptr || t->NumRecs == 0) {
            // Closed before the catalog fetch program rewrites the tables.
            CloseDatabase(table, index);
            if (fetched || AutoGetMeta(key) != 1)
                return 0;
            fetched = true;
            continue;
        }
        *dbf = table;
        *ndx = index;
        return 1;
    }
    return 0;
}

void Promote::CloseDatabase(int dbf, int ndx)
{
    if (dbf <= 0)
        return;
    if (ndx > 0)
        CloseNdx(dbf, ndx);
    CloseDbf(dbf);
}

int Promote::GetField(int dbf, const char *name, std::string &value)
{
    if (catalog_fields::ReadText(dbf, name, value))
        return 1;
    DatabaseError();
    return 0;
}

int Promote::GetField(int dbf, const char *name, long &value)
{
    if (catalog_fields::ReadNumber(dbf, name, value))
        return 1;
    DatabaseError();
    return 0;
}

void Promote::DatabaseError()
{
    std::fprintf(stderr, "Error with database!\n");
    SetError("Error with database!");
}

int Promote::FillInfoFromDB(int dbf, std::string &vinst, TimeObj &beg, TimeObj &end)
{
    static constexpr const char *kTimeFields[6] = {"B_YR", "B_DAY", "B_MSEC", "E_YR", "E_DAY", "E_MSEC"};
    long t[6] = {};
    if (!GetField(dbf, "V_INST", vinst))
        return 0;
    for (int i = 0; i < 6; ++i)
        if (!GetField(dbf, kTimeFields[i], t[i]))
            return 0;
    for (const long v : t)
        if (v < 0 || v > std::numeric_limits<KOMBRA_LONG>::max()) {
            DatabaseError();
            return 0;
        }
    beg.SetTime(static_cast<unsigned>(t[0]), static_cast<unsigned>(t[1]), static_cast<unsigned>(t[2]));
    end.SetTime(static_cast<unsigned>(t[3]), static_cast<unsigned>(t[4]), static_cast<unsigned>(t[5]));
    return 1;
}

int Promote::FindEntry(int dbf, int ndx)
{
    const KOMBRA_ULONG key = _data_sources[static_cast<size_t>(_src_in_use)];
    const std::string vname = dbVirtualName(key);
    char search[64];
    std::snprintf(search, sizeof search, "%-8s%04u%3u%8u", vname.c_str(), _btime->GetYear(), _btime->GetDay(),
                  _btime->GetMSec());
    auto mine = [&]() { return catalog_fields::IsInstrument(dbf, vname.c_str()); };
    switch (dbFind(dbf, ndx, search, 1)) {
    case EXACT_MATCH: return 1;
    case MATCH_LESS:
        if (Skip(dbf, ndx, -1) != SUCCESS)
            return 0;
        if (!mine() && (Skip(dbf, ndx, 1) != SUCCESS || !mine()))
            return 0;
        break;
    case MATCH_GREATER:
        if (!mine() && (Skip(dbf, ndx, 1) != SUCCESS || !mine()))
            return 0;
        break;
    default: return 0;
    }
    std::string vinst;
    TimeObj b, e;
    if (!FillInfoFromDB(dbf, vinst, b, e))
        return 0;
    if (Overlaps(b, e, _btime, _etime)) {
        // The record before may overlap too: the walk starts at the first.
        const dbfRecord_t *t = dbfHandle(dbf);
        ndxRecord_t *index = t != nullptr ? ndxHandle(const_cast<dbfRecord_t *>(t), ndx) : nullptr;
        if (t == nullptr || index == nullptr)
            return 0;
        const long record = t->CurRec, position = index->IndexRec;
        if (Skip(dbf, ndx, -1) != SUCCESS)
            return 0;
        if (position > 1 && FillInfoFromDB(dbf, vinst, b, e) && vinst == vname && Overlaps(b, e, _btime, _etime))
            return 1;
        if (GoTo(dbf, record) != SUCCESS)
            return 0;
        index->IndexRec = position;
        return 1;
    }
    if (Skip(dbf, ndx, 1) != SUCCESS || !FillInfoFromDB(dbf, vinst, b, e))
        return 0;
    return vinst == vname && Overlaps(b, e, _btime, _etime) ? 1 : 0;
}

int Promote::MakeList(int &dbf, int &ndx, const char *suffix, int which, FileStatusType status, int limit)
{
    const KOMBRA_ULONG key = _data_sources[static_cast<size_t>(_src_in_use)];
    const std::string vname = dbVirtualName(key);
    if (!FindEntry(dbf, ndx)) {
        // The tables are closed while the catalog fetch program runs.
        CloseDatabase(dbf, ndx);
        dbf = ndx = 0;
        if (AutoGetMeta(key) != 1) {
            SetError("No data available for : %s", vname.c_str());
            std::fprintf(stderr, "%s\n", _error_msg);
            _haveMeta = DB_NO_DATA;
            return 0;
        }
        const bool auto_meta = _autoPromoteMeta == sTrue;
        _autoPromoteMeta = sFalse;  // one fetch per open
        const int opened = OpenDatabase(suffix, &dbf, &ndx);
        _autoPromoteMeta = auto_meta ? sTrue : sFalse;
        if (!opened || !FindEntry(dbf, ndx)) {
            _haveMeta = DB_ERROR;
            if (!opened)
                return 0;
        }
    }
    int added = 0;
    for (;;) {
        auto *e = new Entry;
        std::string vinst;
        TimeObj b, end;
        if (!FillInfoFromDB(dbf, vinst, b, end) || vinst != vname || !Overlaps(b, end, _btime, _etime)) {
            delete e;
            break;
        }
        e->SetVirtualName(vname.c_str());
        e->SetSource(key);
        e->SetBTime(b.GetYear(), b.GetDay(), b.GetMSec());
        e->SetETime(end.GetYear(), end.GetDay(), end.GetMSec());
        e->FillEntry(which);
        if (e->GetStatus() == BAD) {
            delete e;
            _haveMeta = DB_ERROR;
            break;
        }
        Entry *data = which == PRO_HD ? e->ConvertEntry() : nullptr;
        Keep(e, status, added);
        if (data != nullptr)
            Keep(data, status, added);
        if (added >= limit || Skip(dbf, ndx, 1) != SUCCESS)
            break;
    }
    return added;
}

int Promote::Tarvo_BuildDBList(int which, FileStatusType status, int limit)
{
    int added = 0;
    for (size_t src = 0; src < _data_sources.size() && added < limit; ++src) {
        _src_in_use = static_cast<int>(src);
        _haveMeta = DB_GOOD;
        if (which & PRO_PNUR) {
            auto *e = new Entry;
            if (e->MakePNUREntry(_data_sources[src], GLOBAL) == 1)
                Keep(e, status, added);
            else
                delete e;
        }
        auto list = [&](const char *suffix, int type) {
            int dbf = 0, ndx = 0;
            if (!OpenDatabase(suffix, &dbf, &ndx)) {
                _haveMeta = DB_ERROR;
                return;
            }
            if (_haveMeta != DB_ERROR)
                added += MakeList(dbf, ndx, suffix, type, status, limit);
            CloseDatabase(dbf, ndx);
        };
        if (which & PRO_KELD_V3)
            list("I", PRO_KELD_V3);
        if (which & PRO_KELD_I)
            list("I", PRO_KELD_I);
        if ((which & PRO_HD) == PRO_HD) {
            list("HD", PRO_HD);
        } else if (which & (PRO_HEADER | PRO_DATA)) {
            int dbf = 0, ndx = 0;
            if (!OpenDatabase("HD", &dbf, &ndx)) {
                _haveMeta = DB_ERROR;
            } else {
                if ((which & PRO_HEADER) && _haveMeta != DB_ERROR)
                    added += MakeList(dbf, ndx, "HD", PRO_HEADER, status, limit);
                if ((which & PRO_DATA) && _haveMeta != DB_ERROR && dbf > 0)
                    added += MakeList(dbf, ndx, "HD", PRO_DATA, status, limit);
                CloseDatabase(dbf, ndx);
            }
        }
    }
    return added;
}
