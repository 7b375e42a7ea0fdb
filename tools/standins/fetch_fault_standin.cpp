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
// place and exits 0; 1 when it is never told to go.
// fetch_prealloc_standin (FETCH_PREALLOC) makes the file at its final path
// as long as the whole one, as download tools do, writes its first 1,000
// and last 30,000 bytes and exits 1; fetch_prealloc_done_standin (also
// FETCH_EXIT0) exits 0 so.  fetch_background_standin (FETCH_BACKGROUND)
// hands the fetch to a grandchild (a double fork) and exits 0 at once; the
// grandchild writes the file's first 1,000 bytes in place, appends its own
// process id and then the stand-in's, a line each, to $KOMBRA_STANDIN_PIDS,
// waits to be told to go as fetch_stall_standin does and writes the whole
// file.  fetch_closing_standin (FETCH_CLOSING) closes every descriptor it
// inherited but its standard ones, appends the file's first half to the
// final path, appends its process id to $KOMBRA_STANDIN_PIDS, waits to be
// told to go and appends the second half (opening the file anew for each
// part, as a shell's >> does), then exits 0.  fetch_fifo_standin
// (FETCH_FIFO) makes a FIFO at the final path and exits 0.  Exits 2 on a
// usage error.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "standin_fetch.h"
#include "standin_log.h"

#include <algorithm>
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
    std::string whole;
    if (std::ifstream in(fs::path(remote) / server / name, std::ios::binary); in)
        whole.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::error_code made;
    fs::create_directories(dir, made);
    const std::string to = (dir / name).string();
    [[maybe_unused]] const auto told = [] {
        const char *go = std::getenv("KOMBRA_STANDIN_GO");
        for (int i = 0; i < 60000 && (go == nullptr || !fs::exists(go)); ++i)
            usleep(10000);
        return go != nullptr && fs::exists(go);
    };
    [[maybe_unused]] const auto put = [&to](const std::string &bytes, int flags, off_t at) {
        const int fd = open(to.c_str(), O_WRONLY | O_CREAT | flags, 0644);
        if (fd < 0)
            return false;
        const ssize_t n = (flags & O_APPEND) != 0 ? write(fd, bytes.data(), bytes.size())
                                                  : pwrite(fd, bytes.data(), bytes.size(), at);
        const bool wrote = n == static_cast<ssize_t>(bytes.size());
        return close(fd) == 0 && wrote;
    };
#if defined(FETCH_PREALLOC)
    const std::size_t head = std::min<std::size_t>(1000, whole.size());
    const std::size_t tail = std::min<std::size_t>(30000, whole.size());
    if (!put(std::string(), O_TRUNC, 0) || truncate(to.c_str(), static_cast<off_t>(whole.size())) != 0 ||
        !put(whole.substr(0, head), 0, 0) ||
        !put(whole.substr(whole.size() - tail), 0, static_cast<off_t>(whole.size() - tail)))
        return 1;
#if defined(FETCH_EXIT0)
    return 0;
#else
    return 1;
#endif
#elif defined(FETCH_BACKGROUND)
    const pid_t leader = getpid();
    if (fork() != 0)
        return 0;
    if (fork() != 0)
        _exit(0);
    if (!put(whole.substr(0, std::min<std::size_t>(1000, whole.size())), O_TRUNC, 0))
        _exit(1);
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDS"); pids != nullptr)
        std::ofstream(pids, std::ios::app) << getpid() << "\n" << leader << "\n";
    _exit(told() && put(whole, O_TRUNC, 0) ? 0 : 1);
#elif defined(FETCH_CLOSING)
    for (int fd = 3; fd < 1024; ++fd)
        close(fd);
    const std::size_t half = whole.size() / 2;
    if (!put(whole.substr(0, half), O_APPEND, 0))
        return 1;
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDS"); pids != nullptr)
        std::ofstream(pids, std::ios::app) << getpid() << "\n";
    return told() && put(whole.substr(half), O_APPEND, 0) ? 0 : 1;
#elif defined(FETCH_FIFO)
    return mkfifo(to.c_str(), 0600) == 0 ? 0 : 1;
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
