// Servers and fetch programs: each source's ordered server list, the loop
// over the listed entries, the fetch program run once per entry and server
// (with an argument list, never through a shell), and the removal of the
// files a request fetched.
#include "Promote.h"

#include "libCfg.h"
#include "libKELD.h"
#include "libant.h"
#include "libdbSQL.h"
#include "nurv.h"
#include "promote_int.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
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

namespace {

constexpr int kDefaultFetchSeconds = 300;
// How often the wait for a program looks at it and calls the wait hook.
constexpr auto kPollPause = std::chrono::milliseconds(25);
// How long a program stopped (at its time limit, or as this program ends)
// has to end after SIGTERM before its process group is killed.
constexpr auto kStopGrace = std::chrono::seconds(3);

void (*g_wait_hook)() = nullptr;
// Set (from a signal handler too) when the program that runs the fetches
// ends: running fetch programs are stopped, no new one starts.
volatile sig_atomic_t g_ending = 0;

// Waits for pid without blocking; true when it ended (status filled).
bool Ended(pid_t pid, int &status)
{
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return true;
        if (r == 0)
            return false;
        if (errno != EINTR) {
            status = -1;
            return true;
        }
    }
}

// Whether pid has ended, leaving it unreaped so that its process id (the
// id of its process group) stays taken.
bool EndedUnreaped(pid_t pid)
{
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        if (errno != EINTR)
            return true;
    return info.si_pid == pid;
}

// Ends the program pid and its process group: SIGTERM, a grace time for the
// leader to end, then SIGKILL to the group (also when the leader ended by
// itself, as what it started goes too; the group's id is its own until it
// is reaped), and the leader reaped.
void StopGroup(pid_t pid, int &status)
{
    kill(-pid, SIGTERM);
    const auto grace = std::chrono::steady_clock::now() + kStopGrace;
    while (!EndedUnreaped(pid) && std::chrono::steady_clock::now() < grace)
        std::this_thread::sleep_for(kPollPause);
    kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

int pro_FetchTimeLimit()
{
    const char *text = GetEnv("KOMBRA_FETCH_TIMEOUT");
    if (text == nullptr)
        return kDefaultFetchSeconds;
    char *end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text, &end, 10);
    if (errno == 0 && end != text && *end == '\0' && seconds >= 1 && seconds <= 86400)
        return static_cast<int>(seconds);
    // Said once for each value: every fetch asks again.
    static std::optional<std::string> announced;
    if (!announced || *announced != text) {
        announced = text;
        std::printf("KOMBRA_FETCH_TIMEOUT is \"%.60s\", not a whole number of seconds from 1 to 86400; fetch programs "
                    "may run %d s\n",
                    text, kDefaultFetchSeconds);
        std::fflush(stdout);
    }
    return kDefaultFetchSeconds;
}

std::string ProgramEnd::Describe(const std::string &name) const
{
    if (notStarted)
        return name + " was not started, as the program is ending";
    if (stopped)
        return name + " was stopped, as the program is ending";
    if (timedOut)
        return name + " did not end within " + std::to_string(limitSeconds) + " s and was stopped";
    if (status == -1)
        return name + " could not be started";
    if (WIFEXITED(status))
        return name + " exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return name + " was ended by signal " + std::to_string(WTERMSIG(status));
    return name + " ended with wait status " + std::to_string(status);
}

ProgramEnd RunProgram(const char *program, std::vector<std::string> words, const std::function<void()> &watch,
                      int inherit, const std::function<void(long)> &started)
{
    ProgramEnd end;
    if (program == nullptr || words.empty())
        return end;
    if (g_ending != 0) {
        end.notStarted = true;
        return end;
    }
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    // The program leads a process group of its own, so that it can be ended
    // together with whatever it started.
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0)
        return end;
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    // A descriptor duplicated onto itself loses its close-on-exec flag in
    // the program only.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inherit >= 0)
        posix_spawn_file_actions_adddup2(&actions, inherit, inherit);
    // Found as a shell finds a command: a name without a '/' on PATH, any
    // other path as given (so a bare name never runs from the working
    // directory unless PATH names it).
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program, &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        return end;
    if (started)
        started(pid);

    using Clock = std::chrono::steady_clock;
    end.limitSeconds = pro_FetchTimeLimit();
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(end.limitSeconds);
    int status = 0;
    while (!Ended(pid, status)) {
        if (watch)
            watch();
        if (g_ending != 0) {
            end.stopped = true;
            StopGroup(pid, status);
            break;
        }
        if (Clock::now() >= limit) {
            end.timedOut = true;
            StopGroup(pid, status);
            std::printf("%s\n", end.Describe(BasenameOf(program)).c_str());
            std::fflush(stdout);
            break;
        }
        if (g_wait_hook != nullptr)
            g_wait_hook();
        std::this_thread::sleep_for(kPollPause);
    }
    if (watch)
        watch();
    end.status = status;
    return end;
}

int _Process(const char *program, ...)
{
    std::vector<std::string> words;
    va_list args;
    va_start(args, program);
    for (const char *word; (word = va_arg(args, const char *)) != nullptr;)
        words.emplace_back(word);
    va_end(args);
    const ProgramEnd end = RunProgram(program, std::move(words));
    return end.timedOut || end.stopped || end.notStarted ? -1 : end.status;
}

extern "C" void pro_SetWaitHook(void (*hook)(void))
{
    g_wait_hook = hook;
}

extern "C" void pro_EndFetches(int ending)
{
    g_ending = ending != 0 ? 1 : 0;
}

extern "C" void pro_SetWatchFails(int fails)
{
    g_watch_fails = fails != 0;
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
    _fetch_failure.clear();
    for (size_t i = 0; i < _entryList.size() && result == 1; ++i)
        result = PromoteSingleEntry(static_cast<int>(i), _entryList[i], _ServerUsed[i]);
    CloseKestrun();
    // The entry that could not be fetched, and how its program ended.
    if (result != 1) {
        std::printf("%s%s%s\n", _error_msg, _fetch_failure.empty() ? "" : ": ", _fetch_failure.c_str());
        std::fflush(stdout);
    }
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
        _stop_entry = false;
        fetched = PromoteHDI(e, address.c_str()) == 1;
        if (!fetched && _stop_entry) {
            SetError("Could not promote %s from %s", name.c_str(), address.c_str());
            server = -1;
        } else if (!fetched) {
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

namespace {

// Whether the file at path of an entry is whole, and what was seen, for the
// line that says what is done with it.  A header and data pair is whole when
// its records read in order from the first to its end mark; a description
// when it reads whole as one; other files cannot be told.
struct Judgement {
    enum class Kind { Whole, Not, Untold } kind = Kind::Untold;
    std::string seen;
    bool whole() const { return kind == Kind::Whole; }
};

Judgement JudgeWhole(const Entry *e, const std::string &path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {Judgement::Kind::Not, "it is no plain file"};
    const int type = e->GetNURVType();
    if (type == PRO_KELD_I || type == PRO_KELD_V3) {
        const int status = KELDFileReadsWhole(path.c_str());
        if (status == KELD_SUCCESS)
            return {Judgement::Kind::Whole, "it reads whole as a description"};
        return {Judgement::Kind::Not, std::string("it does not read whole as a description (") +
                                          KELDStatusText(status) + ")"};
    }
    if (type != PRO_HEADER && type != PRO_DATA)
        return {Judgement::Kind::Untold, "whether it is whole cannot be told for a file of its kind"};
    const std::string stem = path.substr(0, path.size() - 1);
    const std::string header = stem + "H", data = stem + "D";
    // The header alone, before its data file is there, cannot be told.
    if (access(header.c_str(), F_OK) != 0 || access(data.c_str(), F_OK) != 0)
        return {Judgement::Kind::Untold, "whether it is whole cannot be told without both files of its pair"};
    const TimeObj *b = e->GetBegTime(), *end = e->GetEndTime();
    nurv_records_walk walk;
    const KOMBRA_SHORT status = file_records_walk(
        e->GetSource(), header.c_str(), data.c_str(), static_cast<int>(b->GetYear()), static_cast<int>(b->GetDay()),
        static_cast<KOMBRA_LONG>(b->GetMSec()), static_cast<int>(end->GetYear()), static_cast<int>(end->GetDay()),
        static_cast<KOMBRA_LONG>(end->GetMSec()), &walk);
    if (status != 1)
        return {Judgement::Kind::Untold,
                "whether it is whole cannot be told (reading it gave status " + std::to_string(status) + ")"};
    std::string seen = nurv_walk_text(walk);
    if (walk.after_yr != 0 && walk.in_order == walk.records && !walk.end_mark)
        seen += " (its catalog entry ends at " + nurv_time_text(end->GetYear(), end->GetDay(), end->GetMSec()) + ")";
    return {walk.whole() ? Judgement::Kind::Whole : Judgement::Kind::Not, seen};
}

// What is at path when it is no plain file ("a FIFO"), "" for a plain file
// or nothing.
std::string NotPlain(const std::string &path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return S_ISDIR(st.st_mode)    ? "a directory"
           : S_ISFIFO(st.st_mode) ? "a FIFO"
           : S_ISSOCK(st.st_mode) ? "a socket"
                                  : "a device";
}

bool Present(const std::string &path)
{
    return !path.empty() && access(path.c_str(), F_OK) == 0;
}

}  // namespace

int Promote::PromoteHDI(Entry *e, const char *ip)
{
    char project[DB_NAME_SIZE], mission[DB_NAME_SIZE], experiment[DB_NAME_SIZE], instrument[DB_NAME_SIZE],
        vinst[DB_VNAME_SIZE];
    if (dbKeyToStrings(e->GetSource(), project, mission, experiment, instrument, vinst) != 1)
        return 0;
    const char *found = CfgGetItem("DataPromote", 0, project, mission, experiment, instrument, vinst, nullptr);
    if (found == nullptr) {
        _fetch_failure = "no fetch program (DataPromote) is configured";
        return 0;
    }
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
    const std::string name = BasenameOf(program.c_str());
    const std::string file = BasenameOf(e->GetFName());
    if (g_ending != 0) {
        ProgramEnd notStarted;
        notStarted.notStarted = true;
        _fetch_failure = notStarted.Describe(name);
        _stop_entry = true;
        return 0;
    }
    // The paths the program may write the entry to (a description in either
    // name form), watched while it runs.
    std::vector<std::string> paths{e->GetFName()};
    if (e->GetNURVType() == PRO_KELD_I && !paths[0].empty()) {
        const std::string &f = paths[0];
        const std::string stem = f.size() > 4 && f.compare(f.size() - 4, 4, "V.v3") == 0 ? f.substr(0, f.size() - 4)
                                                                                         : f.substr(0, f.size() - 1);
        paths = {stem + "I", stem + "V.v3"};
    }
    const auto present = [&paths]() -> std::string {
        for (const std::string &p : paths)
            if (Present(p))
                return p;
        return {};
    };

    // One fetch of a file at a time: another program's is waited for, at
    // most as long as a fetch may run, with the window repainting.
    using Clock = std::chrono::steady_clock;
    const int limitSeconds = pro_FetchTimeLimit();
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(limitSeconds);
    bool waited = false, timedOut = false;
    FetchClaim claim(paths[0]);
    const FetchClaim::Outcome outcome = claim.Take([&present] { return !present().empty(); }, [&] {
        if (!waited) {
            waited = true;
            std::printf("%s: another program is fetching it; this action waits for that fetch (at most %d s)\n",
                        file.c_str(), limitSeconds);
            std::fflush(stdout);
        }
        if (g_ending != 0)
            return false;
        if (Clock::now() >= limit) {
            timedOut = true;
            return false;
        }
        if (g_wait_hook != nullptr)
            g_wait_hook();
        std::this_thread::sleep_for(kPollPause);
        return true;
    });
    // A file that did not come whole from a fetch is kept aside, not
    // removed, until its replacement is there.
    std::string aside;
    switch (outcome) {
    case FetchClaim::Outcome::Stopped:
        _fetch_failure = timedOut ? "another program's fetch of it did not end within " +
                                        std::to_string(limitSeconds) + " s"
                                  : "the wait for another program's fetch of it was stopped, as the program is ending";
        _stop_entry = true;
        return 0;
    case FetchClaim::Outcome::Failed:
        _fetch_failure = claim.error();
        _stop_entry = true;
        return 0;
    case FetchClaim::Outcome::Done:
        // Put in place whole meanwhile (by the fetch waited for, or another
        // process).
        if (waited) {
            std::printf("%s: the other program's fetch of it ended well; it is used\n", file.c_str());
            std::fflush(stdout);
        }
        e->FileExists();
        return 1;
    case FetchClaim::Outcome::Fresh:
        break;
    case FetchClaim::Outcome::Left:
        // A file kept aside by a fetch that then did not end well is back
        // first.
        for (const std::string &p : paths)
            if (access(p.c_str(), F_OK) != 0 && errno == ENOENT)
                rename((p + ".kept").c_str(), p.c_str());
        // A fetch of it began and did not end well: the file it left is
        // taken only where it is whole.
        if (const std::string left = present(); !left.empty()) {
            const Judgement judged = JudgeWhole(e, left);
            const std::string leftName = BasenameOf(left.c_str());
            if (judged.whole()) {
                std::printf("%s: its fetch did not end well, but %s; it is used as it is\n", leftName.c_str(),
                            judged.seen.c_str());
                std::fflush(stdout);
                claim.Remove();
                e->FileExists();
                return 1;
            }
            std::printf("%s: its fetch did not end well, and %s; it is fetched again\n", leftName.c_str(),
                        judged.seen.c_str());
            std::fflush(stdout);
            if (rename(left.c_str(), (left + ".kept").c_str()) == 0)
                aside = left;
        }
        break;
    }
    if (!claim.unlocked().empty()) {
        std::printf("%s: no lock can be taken on its fetch marker here (%s); it is fetched without one\n",
                    file.c_str(), claim.unlocked().c_str());
        std::fflush(stdout);
    }
    // What was kept aside goes once its replacement is there, and comes back
    // when there is none (still under the marker, as it was).
    bool restored = false;
    const auto settleAside = [&aside, &restored](bool replaced) {
        if (aside.empty())
            return;
        const std::string kept = aside + ".kept";
        if (!replaced && link(kept.c_str(), aside.c_str()) == 0)
            restored = true;
        if (replaced || restored || errno == EEXIST)
            unlink(kept.c_str());
        aside.clear();
    };
    if (!claim.MakeDurable()) {
        _fetch_failure = claim.error();
        _stop_entry = true;
        claim.Abandon();
        settleAside(false);
        return 0;
    }

    FetchWatch watch(paths);
    const TimeObj *b = e->GetBegTime();
    const std::string year = std::to_string(b->GetYear()), day = std::to_string(b->GetDay()),
                      msec = std::to_string(b->GetMSec());
    const std::string pre(1, e->GetPreProc()), post(1, e->GetPostProc());
    const ProgramEnd end = RunProgram(
        program.c_str(),
        {name, ip, type, project, mission, experiment, instrument, vinst, year, day, msec, pre, post, "xxx", _app_name,
         _forcePromote == sTrue ? "1" : "0"},
        [&watch] { watch.Take(); }, claim.Inherited(), [&claim](long pid) { claim.Started(pid); });

    // What the program started may hold the marker after it ended, or run
    // on: waited for within the fetch's time limit, then stopped.
    bool held = false;
    std::optional<Clock::time_point> stopping;
    const FetchClaim::Back back = claim.TakeBack([&] {
        if (!held) {
            held = true;
            std::printf("%s: %s has ended, but what it started still holds the file's fetch marker; this action "
                        "waits for it (at most %d s)\n",
                        file.c_str(), name.c_str(), limitSeconds);
            std::fflush(stdout);
        }
        watch.Take();
        const Clock::time_point now = Clock::now();
        if (!stopping && (g_ending != 0 || now >= limit)) {
            stopping = now;
            claim.Signal(SIGTERM);
        }
        if (stopping && now >= *stopping + kStopGrace)
            claim.Signal(SIGKILL);
        if (stopping && now >= *stopping + 2 * kStopGrace)
            return false;
        if (g_wait_hook != nullptr)
            g_wait_hook();
        std::this_thread::sleep_for(kPollPause);
        return true;
    });
    watch.Take();
    if (back == FetchClaim::Back::Stopped) {
        // Whatever holds it still, outside the program's process group,
        // keeps the marker: the file is not taken.
        _fetch_failure = name + " has ended, but what it started still held the file's fetch marker after " +
                         std::to_string(limitSeconds) + " s";
        _stop_entry = true;
        settleAside(false);
        return 0;
    }
    if (back == FetchClaim::Back::Lost) {
        // Another program took the marker over and settled the file.
        settleAside(e->FileExists());
        if (e->FileExists())
            return 1;
        _fetch_failure = name + " has ended, and another program took over the file's fetch marker";
        return 0;
    }

    std::string failure = end.Describe(name);
    if (!end.timedOut && !end.stopped && end.status == 0) {
        // What the program left is judged before it is used.
        const std::string wrote = present();
        const std::string odd = NotPlain(wrote);
        const Judgement judged = wrote.empty() || !odd.empty() ? Judgement{} : JudgeWhole(e, wrote);
        if (wrote.empty()) {
            failure = name + " exited with status 0 but wrote no file";
        } else if (!odd.empty()) {
            failure += ", but what it left at " + wrote + " is " + odd + ", not a plain file";
        } else if (judged.kind != Judgement::Kind::Not ||
                   (e->GetNURVType() != PRO_HEADER && e->GetNURVType() != PRO_DATA)) {
            claim.Remove();
            settleAside(true);
            if (held) {
                std::printf("%s: what %s started has ended, and %s; it is used as it is\n", file.c_str(),
                            name.c_str(), judged.seen.c_str());
                std::fflush(stdout);
            }
            if (e->FileExists())
                return 1;
            _fetch_failure = name + " exited with status 0 but its file cannot be read";
            return 0;
        } else {
            failure += ", but " + judged.seen;
        }
    }
    // A program that failed, or left no whole plain file, may have left part
    // of the file: what it wrote goes; a file another may have put there
    // stays and, where whole, is used as the next action would use it.
    const std::vector<std::string> kept = watch.RemoveWhatTheFetchMade(
        [e](const std::string &path) { return NotPlain(path).empty() && JudgeWhole(e, path).whole(); });
    if (!watch.lost().empty())
        for (const std::string &k : kept) {
            const std::size_t slash = k.find_last_of('/');
            std::printf("The folder %s could not be watched during the fetch (%s): %s is kept, as another process "
                        "may have put it there\n",
                        slash == std::string::npos ? "." : k.substr(0, slash).c_str(), watch.lost().c_str(),
                        k.c_str());
        }
    for (const std::string &k : kept) {
        if (!NotPlain(k).empty())
            continue;
        const Judgement judged = JudgeWhole(e, k);
        if (!judged.whole())
            continue;
        claim.Remove();
        settleAside(true);
        std::printf("%s: %s, but %s; it is used as it is\n", file.c_str(), end.Describe(name).c_str(),
                    judged.seen.c_str());
        std::fflush(stdout);
        if (e->FileExists())
            return 1;
    }
    for (const std::string &k : kept)
        if (const std::string odd = NotPlain(k); !odd.empty())
            failure += "; " + k + " is " + odd + ", not a plain file: remove it";
    settleAside(false);
    if (kept.empty() && !restored)
        claim.Remove();
    std::fflush(stdout);
    _fetch_failure = failure;
    return 0;
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
