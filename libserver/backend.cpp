// The dBASE catalog back end: the front end's calls answered from the
// configuration tree and the per-instrument catalog tables.
#include "server_int.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

char _error_str[125];   // last failure of a look-up by name or number
bool _wasInitialized = false;

void SetError(int code)
{
    char text[64];
    server_internal::CopyName(_error_str, sizeof _error_str, server_error_string(code, text));
}

// The five names of a key in the front end's buffer sizes.
struct KeyNames {
    char p[25] = "", m[25] = "", e[25] = "", i[25] = "", v[34] = "";
};

int NamesOfKey(KOMBRA_ULONG key, KeyNames &names)
{
    KOMBRA_USHORT fields[5];
    key_to_fields(key, fields);
    return KeysToStr(fields, names.p, names.m, names.e, names.i, names.v);
}

}  // namespace

void server_internal::SetErrorText(const char *text)
{
    CopyName(_error_str, sizeof _error_str, text);
}

void Tarvo_dbSetErrorMsg(const char *text)
{
    server_internal::SetErrorText(text);
}

int Tarvo_dbInitialize(void)
{
    _wasInitialized = true;
    _error_str[0] = '\0';
    return 1;
}

int Tarvo_dbInitializeMsg(void)
{
    return Tarvo_dbInitialize();
}

int Tarvo_dbClose(void)
{
    _wasInitialized = false;
    return 1;
}

int Tarvo_dbIsReadOnly(void)
{
    return 0;
}

int Tarvo_dbConnected(void)
{
    return 1;
}

// This back end runs no SQL.
DB_RESULT Tarvo_dbQuery(const char *)
{
    return nullptr;
}

DB_RESULT Tarvo_dbQueryStore(const char *)
{
    return nullptr;
}

int Tarvo_dbQueryExec(const char *)
{
    return 0;
}

int Tarvo_dbBadQuery(void)
{
    return 0;
}

void Tarvo_dbFreeResult(DB_RESULT) {}

char *Tarvo_dbErrorMsg(void)
{
    return _error_str;
}

KOMBRA_ULONG Tarvo_dbGetDataKey(const char *p, const char *m, const char *e, const char *i, const char *v)
{
    KOMBRA_ULONG key = 0;
    const int code = tarvo_get_data_key(p, m, e, i, v, &key);
    if (code != 1) {
        SetError(code);
        return 0;
    }
    return key;
}

int Tarvo_dbKeyToStrings_r(KOMBRA_ULONG key, char *p, char *m, char *e, char *i, char *v)
{
    KOMBRA_USHORT fields[5];
    key_to_fields(key, fields);
    const int code = KeysToStr(fields, p, m, e, i, v);
    if (code != 1) {
        SetError(code);
        return 0;
    }
    return 1;
}

int Tarvo_dbKeyToStrings(KOMBRA_ULONG key, char *p, char *m, char *e, char *i, char *v)
{
    return Tarvo_dbKeyToStrings_r(key, p, m, e, i, v);
}

const char *Tarvo_dbVirtualName(KOMBRA_ULONG key)
{
    static char name[SERVER_VNAME_MAX + 1];
    const StrHier_s *node = server_internal::NodeOfKey(key);
    server_internal::CopyName(name, sizeof name, node ? node->str : "");
    return name;
}

int Tarvo_dbVirtualName_r(KOMBRA_ULONG key, char *buffer, int len)
{
    if (buffer != nullptr && len > 0)
        server_internal::CopyName(buffer, static_cast<size_t>(len), Tarvo_dbVirtualName(key));
    return 1;
}

char *Tarvo_dbHierarchyString(KOMBRA_ULONG key)
{
    static char text[114];
    KeyNames names;
    NamesOfKey(key, names);
    const std::string joined = std::string(names.p) + "/" + names.m + "/" + names.e + "/" + names.i + "/" + names.v;
    server_internal::CopyName(text, sizeof text, joined.c_str());
    return text;
}

char **Tarvo_dbHierarchy(int, const char *const *names)
{
    LinkNode_s *list = Projects;
    int depth = 0;
    for (; names != nullptr && names[depth] != nullptr; ++depth) {
        if (depth >= 4)
            return nullptr;  // nothing lies below a virtual instrument
        LinkNode_s *cell = FindStr(names[depth], list);
        if (cell == nullptr)
            return nullptr;
        list = static_cast<StrHier_s *>(cell->data)->sublist;
    }
    const int count = LinkCount(list);
    auto **out = static_cast<char **>(std::calloc(static_cast<size_t>(count) + 1, sizeof(char *)));
    if (out == nullptr)
        return nullptr;
    int n = 0;
    for (LinkNode_s *cell = list; cell != nullptr; cell = cell->next) {
        const char *name = static_cast<StrHier_s *>(cell->data)->str;
        if ((out[n] = strdup(name ? name : "")) == nullptr) {
            Tarvo_dbFreeHierarchyList(out);
            return nullptr;
        }
        ++n;
    }
    return out;
}

void Tarvo_dbFreeHierarchyList(char **list)
{
    if (list == nullptr)
        return;
    for (char **p = list; *p != nullptr; ++p)
        std::free(*p);
    std::free(list);
}

char *Tarvo_dbCfgItem(KOMBRA_ULONG key, const char *item, int n)
{
    KeyNames names;
    if (NamesOfKey(key, names) != 1)
        return nullptr;
    return CfgGetItem(item, n, names.p, names.m, names.e, names.i, names.v, nullptr);
}

char *Tarvo_dbCfgPath(KOMBRA_ULONG key, const char *item)
{
    KeyNames names;
    if (NamesOfKey(key, names) != 1)
        return nullptr;
    return CfgGetPath(item, names.p, names.m, names.e, names.i, names.v, nullptr);
}

char *Tarvo_dbFilename(KOMBRA_ULONG key)
{
    KeyNames names;
    if (NamesOfKey(key, names) != 1)
        return nullptr;
    const char *path = CfgGetPath("DatabasePath", names.p, names.m, names.e, names.i, names.v, nullptr);
    if (path == nullptr || CfgPathCut())
        return nullptr;
    std::string base(path);
    const size_t slash = base.rfind('/');
    if (slash != std::string::npos)
        base.resize(slash);
    base += std::string("/Database/") + names.i;
    static char file[256];
    if (base.size() >= sizeof file)  // a cut name would open another catalog
        return nullptr;
    server_internal::CopyName(file, sizeof file, base.c_str());
    return file;
}

int Tarvo_dbNURVGetFile(KOMBRA_ULONG key, KOMBRA_SHORT b_yr, KOMBRA_SHORT b_day, KOMBRA_LONG b_msec,
                        KOMBRA_SHORT e_yr, KOMBRA_SHORT e_day, KOMBRA_LONG e_msec, RequestedDataType type,
                        const char *exten, char *name1, char *name2)
{
    if (!_wasInitialized) {
        std::printf("You need to call dbInitialize!\n");
        std::fflush(stdout);
    }
    const Time_t begin{b_yr, b_day, b_msec};
    if (type != _H_AND_D_)
        return get_file_name(key, begin, e_yr, e_day, e_msec, type, exten, name1);

    const int result = get_file_name(key, begin, e_yr, e_day, e_msec, _HEADER_, exten, name1);
    if (result == 1 && name2 != nullptr) {
        const size_t len = std::strlen(name1);
        std::memcpy(name2, name1, len + 1);
        if (len > 0)
            name2[len - 1] = 'D';
    }
    return result;
}

int Tarvo_dbNURVGetRealTimeFile(KOMBRA_ULONG key, RequestedDataType type, const char *exten, char *name1,
                                char *name2)
{
    return Tarvo_dbNURVGetFile(key, -1, -1, -1, -1, -1, -1, type, exten, name1, name2);
}
