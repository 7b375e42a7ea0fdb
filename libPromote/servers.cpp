// Servers and fetch programs: each source's ordered server list, the loop
// over the listed entries, the fetch program run once per entry and server
// (with an argument list, never through a shell), and the removal of the
// files a request fetched.
#include "Promote.h"

#include "libCfg.h"
#include "libant.h"
#include "libdbSQL.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

extern char **environ;

// ---- CServer ------------------------------------------------------------------

void CServer::AddServer(const char *ip)
{
    _ip_addr.emplace_back(ip != nullptr ? ip : "");
    _failures.push_back(0);
    _servers_to_use.push_back(_num_servers);
    _state.push_back(MySQL);
    ++_num_servers;
}

int CServer::RemoveServer(int i)
{
    if (_num_servers <= 1 || i < 0 || i >= _num_servers)
        return 0;
    const auto at = static_cast<size_t>(i);
    _ip_addr.erase(_ip_addr.begin() + static_cast<long>(at));
    _failures.erase(_failures.begin() + static_cast<long>(at));
    _servers_to_use.erase(_servers_to_use.begin() + static_cast<long>(at));
    _state.erase(_state.begin() + static_cast<long>(at));
    --_num_servers;
    return 1;
}

const char *CServer::GetServerIPFromID(int i) const
{
    if (i < 0 || i >= _num_servers)
        return nullptr;
    return _ip_addr[static_cast<size_t>(i)].c_str();
}

int CServer::GetNextServer(int i)
{
    if (i + 1 < _num_servers) {
        _current_good_server = i + 1;
        return i + 1;
    }
    _current_good_server = 0;
    return -1;
}

bool CServer::ServerFailure(int i)
{
    if (i < 0 || i >= _num_servers)
        return false;
    const int failures = ++_failures[static_cast<size_t>(i)];
    if (i != _current_good_server || failures <= 3)
        return false;
    const std::string address = _ip_addr[static_cast<size_t>(i)];
    if (RemoveServer(i) != 1)
        return false;
    std::fprintf(stderr, "%s is no longer a good server.... We will remove it from the list!\n", address.c_str());
    if (_current_good_server >= _num_servers)
        _current_good_server = 0;
    return true;
}

// ---- Running programs -----------------------------------------------------------

int _Process(const char *program, ...)
{
    std::vector<std::string> words;
    va_list args;
    va_start(args, program);
    for (const char *word; (word = va_arg(args, const char *)) != nullptr;)
        words.emplace_back(word);
    va_end(args);
    if (program == nullptr || words.empty())
        return -1;
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    // Found as a shell finds a command: a name without a '/' on PATH, any
    // other path as given (so a bare name never runs from the working
    // directory unless PATH names it).
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return status;
}

// ---- Promote: servers and fetching -----------------------------------------------

void Promote::SetupDefaultServers(unsigned src)
{
    auto *servers = new CServer;
    const KOMBRA_ULONG key = _data_sources[src];
    for (int n = 0;; ++n) {
        const char *ip = dbCfgItem(key, "NetID", n);
        if (ip == nullptr)
            break;
        servers->AddServer(ip);
    }
    _Server.push_back(servers);
}

int Promote::PromoteList()
{
    InitializeKestrun(static_cast<int>(_entryList.size()));
    int result = 1;
    for (size_t i = 0; i < _entryList.size() && result == 1; ++i)
        result = PromoteSingleEntry(static_cast<int>(i), _entryList[i], _ServerUsed[i]);
    CloseKestrun();
    return result;
}

namespace {

// The progress lines of one attempt: before it, and after it with the
// outcome.
std::string AttemptLine(char state, char outcome, int index, const char *name, const char *address)
{
    char line[64];
    std::snprintf(line, sizeof line, "List %c %8ld %3d %c - ", state, static_cast<long>(getpid()), index, outcome);
    return std::string(line) + name + " from " + address + "\n";
}

}  // namespace

int Promote::PromoteSingleEntry(int index, Entry *e, int src)
{
    CServer *servers = src >= 0 && static_cast<size_t>(src) < _Server.size() ? _Server[static_cast<size_t>(src)]
                                                                             : nullptr;
    int server = servers != nullptr ? servers->GetCurrentServer() : -1;
    if (server == -1)
        SetError("Config files do not have a server defined for %s!", e->GetVInst());
    const std::string name = BasenameOf(e->GetFName());
    bool fetched = false;
    while (!fetched && server != -1) {
        const std::string address = servers->GetServerIPFromID(server);
        WritePipeMessage(AttemptLine('+', 'P', index, name.c_str(), address.c_str()).c_str());
        if (_XStatus == OFF)
            std::printf("Promoting %s from %s...\n", name.c_str(), address.c_str());
        fetched = PromoteHDI(e, address.c_str()) == 1;
        if (!fetched) {
            SetError("Could not promote %s from %s", name.c_str(), address.c_str());
            // A removed server's place is taken by the one that followed it,
            // which then gets its turn for this entry.
            if (servers->ServerFailure(server)) {
                if (server >= servers->GetNumServers())
                    server = servers->GetNextServer(servers->GetNumServers());
            } else {
                server = servers->GetNextServer(server);
            }
        }
        WritePipeMessage(AttemptLine('-', fetched ? 'C' : 'E', index, name.c_str(), address.c_str()).c_str());
    }
    WritePipeMessage("PercentDec\n");
    return fetched ? 1 : 0;
}

int Promote::PromoteHDI(Entry *e, const char *ip)
{
    char project[DB_NAME_SIZE], mission[DB_NAME_SIZE], experiment[DB_NAME_SIZE], instrument[DB_NAME_SIZE],
        vinst[DB_VNAME_SIZE];
    if (dbKeyToStrings(e->GetSource(), project, mission, experiment, instrument, vinst) != 1)
        return 0;
    const char *found = CfgGetItem("DataPromote", 0, project, mission, experiment, instrument, vinst, nullptr);
    if (found == nullptr)
        return 0;
    const std::string program = found;
    const char *type = nullptr;
    switch (e->GetNURVType()) {
    case PRO_KELD_I: type = "V"; break;
    case PRO_HEADER: type = "H"; break;
    case PRO_DATA: type = "D"; break;
    case PRO_PNUR: type = "P"; break;
    case PRO_SCF: type = "S"; break;
    case PRO_KELD_V3: type = "V.v3"; break;
    default:
        std::fprintf(stderr, "no type for %d\n", e->GetNURVType());
        return 0;
    }
    if (e->FileExists())
        return 1;
    const TimeObj *b = e->GetBegTime();
    const std::string year = std::to_string(b->GetYear()), day = std::to_string(b->GetDay()),
                      msec = std::to_string(b->GetMSec());
    const char pre[2] = {e->GetPreProc(), '\0'}, post[2] = {e->GetPostProc(), '\0'};
    return _Process(program.c_str(), BasenameOf(program.c_str()), ip, type, project, mission, experiment, instrument,
                    vinst, year.c_str(), day.c_str(), msec.c_str(), pre, post, "xxx", _app_name.c_str(),
                    _forcePromote == sTrue ? "1" : "0", static_cast<const char *>(nullptr)) == 0
               ? 1
               : 0;
}

KOMBRA_BOOL Promote::DemoteAllData(KOMBRA_BOOL force)
{
    bool ok = true;
    for (size_t i = 0; i < _entryList.size() && ok; ++i) {
        Entry *e = _entryList[i];
        if (e->GetOldStatus() == OFFLINE || force == sTrue)
            ok = unlink(e->GetFName()) == 0;
    }
    return ok ? sTrue : sFalse;
}
