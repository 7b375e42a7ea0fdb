// Catalog rows of a request's range for a source whose catalog tables have
// none: at each of the source's servers, on an SQL catalog the remote MySQL
// catalog (the mirror) first and the catalog fetch program when that fails,
// on the dBASE catalog the catalog fetch program only.
#include "Promote.h"

#include "libCfg.h"
#include "libant.h"
#include "libdbSQL.h"

int Promote::AutoGetMeta(KOMBRA_ULONG key)
{
    if (_autoPromoteMeta == sFalse)
        return 0;
    return PromoteMetaForSource(key, 0);
}

int Promote::PromoteMetaForSource(KOMBRA_ULONG key, int src)
{
    if (src < 0 || static_cast<size_t>(src) >= _Server.size())
        return 0;
    CServer &servers = *_Server[static_cast<size_t>(src)];
    int server = servers.GetCurrentServer();
    DBPromoteStatus mirror = DB_ERROR;
    bool done = false;
    while (!done && server != -1) {
        const std::string address = servers.GetServerIPFromID(server);
        if (dbGetDatabaseType() != Tarvo && servers.IsSQL(server) != CServer::OLD) {
            mirror = PromoteMetaForSource_MYSQL(address.c_str(), key);
            done = true;
        }
        if (mirror == DB_ERROR)
            done = PromoteMetaForSource_EXTERNAL(address.c_str(), key) == 1;
        if (!done) {
            // A removed server's place is taken by the one that followed it.
            if (servers.ServerFailure(server)) {
                if (server >= servers.GetNumServers())
                    server = servers.GetNextServer(servers.GetNumServers());
            } else {
                server = servers.GetNextServer(server);
            }
        }
    }
    return done ? 1 : 0;
}

int Promote::PromoteMetaForSource_EXTERNAL(const char *ip, KOMBRA_ULONG key)
{
    char project[DB_NAME_SIZE], mission[DB_NAME_SIZE], experiment[DB_NAME_SIZE], instrument[DB_NAME_SIZE],
        vinst[DB_VNAME_SIZE];
    if (dbKeyToStrings(key, project, mission, experiment, instrument, vinst) != 1)
        return 0;
    const char *found = CfgGetItem("MetaPromote", 0, project, mission, experiment, instrument, vinst, nullptr);
    if (found == nullptr)
        return 0;
    const std::string program = found;
    const std::string begin = _btime->GetTimeStr(COLON_SEP), end = _etime->GetTimeStr(COLON_SEP);
    return _Process(program.c_str(), BasenameOf(program.c_str()), ip, begin.c_str(), end.c_str(), project, mission,
                    experiment, instrument, vinst, static_cast<const char *>(nullptr)) == 0
               ? 1
               : 0;
}

KOMBRA_BOOL Promote::PromoteMeta()
{
    if (_data_sources.empty())
        return sFalse;
    bool all = true;
    for (size_t i = 0; i < _data_sources.size(); ++i) {
        _src_in_use = static_cast<int>(i);
        all = PromoteMetaForSource(_data_sources[i], static_cast<int>(i)) == 1 && all;
    }
    return all ? sTrue : sFalse;
}
