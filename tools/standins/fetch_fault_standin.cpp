// Stand-ins for data fetch programs (DataPromote) that misbehave, with the
// command line of fetch_standin:
//
//   fetch_partial SERVER TYPE PROJECT MISSION EXPERIMENT INSTRUMENT VINST
//                 YEAR DAY MSEC PRE POST xxx APP FORCE
//
// All log their argument vector as fetch_standin does.  The first two write
// the first half of $KOMBRA_STANDIN_REMOTE/SERVER/<file> (or a few bytes
// when the server has no such file) straight to the file's final path in
// $KOMBRA_STANDIN_ARCHIVE/PROJECT/MISSION/EXPERIMENT/INSTRUMENT/.
// fetch_partial_standin then exits 1.  fetch_hang_standin (built with
// FETCH_HANG) starts a child that sleeps, appends the child's process id
// and then its own, a line each, to $KOMBRA_STANDIN_PIDS, and never ends:
// both wait until a signal ends them.  fetch_empty_standin (FETCH_NOTHING)
// writes nothing and exits 0.  fetch_outrun_standin (FETCH_OUTRUN) writes
// nothing, appends its process id to $KOMBRA_STANDIN_PIDS, waits until
// another process has put the file at its final path (at most 120 s) and
// exits 1.  fetch_stall_standin (FETCH_STALL) writes the first half, appends
// its process id to $KOMBRA_STANDIN_PIDS, waits until the file
// $KOMBRA_STANDIN_GO exists (at most 600 s), then writes the whole file in
// place and exits 0; 1 when it is never told to go.  Exits 2 on a usage
// error.
#include <signal.h>
#include <unistd.h>

#include "standin_fetch.h"
#include "standin_log.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char **argv)
{
    standin::Log(argc, argv);
    if (argc != 16)
        return 2;
    const std::string server = argv[1];
    const std::string name = standin::FetchedName(argv);
    if (name.empty())
        return 2;
    const char *remote = std::getenv("KOMBRA_STANDIN_REMOTE");
    const char *archive = std::getenv("KOMBRA_STANDIN_ARCHIVE");
    if (remote == nullptr || archive == nullptr)
        return 2;
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(archive) / argv[3] / argv[4] / argv[5] / argv[6];
#if defined(FETCH_NOTHING)
    return 0;
#elif defined(FETCH_OUTRUN)
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDS"); pids != nullptr)
        std::ofstream(pids, std::ios::app) << getpid() << "\n";
    for (int i = 0; i < 12000 && !fs::exists(dir / name); ++i)
        usleep(10000);
    return 1;
#endif
    std::string bytes = "partial";
    if (std::ifstream in(fs::path(remote) / server / name, std::ios::binary); in) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        bytes.resize(bytes.size() / 2);
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
#if defined(FETCH_STALL)
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDS"); pids != nullptr)
        std::ofstream(pids, std::ios::app) << getpid() << "\n";
    const char *go = std::getenv("KOMBRA_STANDIN_GO");
    for (int i = 0; i < 60000 && (go == nullptr || !fs::exists(go)); ++i)
        usleep(10000);
    if (go == nullptr || !fs::exists(go))
        return 1;
    std::ifstream in(fs::path(remote) / server / name, std::ios::binary);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return out && in ? 0 : 1;
#elif defined(FETCH_HANG)
    const pid_t child = fork();
    if (child == 0) {
        for (;;)
            pause();
    }
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDS"); pids != nullptr && child > 0)
        std::ofstream(pids, std::ios::app) << child << "\n" << getpid() << "\n";
    for (;;)
        pause();
#else
    return 1;
#endif
}
