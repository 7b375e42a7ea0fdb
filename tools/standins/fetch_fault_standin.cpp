// Stand-ins for data fetch programs (DataPromote) that fail part-way, with
// the command line of fetch_standin:
//
//   fetch_partial SERVER TYPE PROJECT MISSION EXPERIMENT INSTRUMENT VINST
//                 YEAR DAY MSEC PRE POST xxx APP FORCE
//
// Both log their argument vector as fetch_standin does and write the first
// half of $KOMBRA_STANDIN_REMOTE/SERVER/<file> (or a few bytes when the
// server has no such file) straight to the file's final path in
// $KOMBRA_STANDIN_ARCHIVE/PROJECT/MISSION/EXPERIMENT/INSTRUMENT/.
// fetch_partial_standin then exits 1.  fetch_hang_standin (built with
// FETCH_HANG) starts a child that sleeps, appends the child's process id
// and a newline to $KOMBRA_STANDIN_PIDS, and never ends: both wait until a
// signal ends them.  Exits 2 on a usage error.
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
    std::string bytes = "partial";
    if (std::ifstream in(fs::path(remote) / server / name, std::ios::binary); in) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        bytes.resize(bytes.size() / 2);
    }
    const fs::path dir = fs::path(archive) / argv[3] / argv[4] / argv[5] / argv[6];
    std::error_code ec;
    fs::create_directories(dir, ec);
    {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
#ifdef FETCH_HANG
    const pid_t child = fork();
    if (child == 0) {
        for (;;)
            pause();
    }
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDS"); pids != nullptr && child > 0)
        std::ofstream(pids, std::ios::app) << child << "\n";
    for (;;)
        pause();
#else
    return 1;
#endif
}
