// What the benchmarks share: a scratch folder removed afterwards, timing,
// and the baseline of reading data files whole.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// A point of a run: the wall clock, the processor time of the process and
// its page faults so far (each first touch of a page of memory).
struct Mark {
    Clock::time_point wall = Clock::now();
    double cpu = 0;
    long faults = 0;
    Mark()
    {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        cpu = u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
        faults = u.ru_minflt + u.ru_majflt;
    }
};

// One line of a phase from a to b: wall seconds, processor seconds and page
// faults.
inline void PrintPhase(const char *name, const Mark &a, const Mark &b)
{
    std::printf("  %-36s %8.3f s  (processor %7.3f s, %7ld page faults)\n", name, Seconds(b.wall - a.wall),
                b.cpu - a.cpu, b.faults - a.faults);
}

// A fresh folder under the temporary directory, removed with everything in it.
struct Scratch {
    std::string path;
    explicit Scratch(const std::string &name = "kombra-bench")
    {
        std::string templ = std::filesystem::temp_directory_path().string() + "/" + name + "-XXXXXX";
        if (mkdtemp(templ.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path = templ;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
};

// The NURV data files (names ending in D) of a folder.
inline std::vector<std::string> DataFiles(const std::string &dir)
{
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().string();
        if (!name.empty() && name.back() == 'D')
            files.push_back(name);
    }
    return files;
}

// The baseline: the files read whole and their big-endian 16-bit words
// summed into sum; returns the seconds it took.
inline double ReadWhole(const std::vector<std::string> &files, unsigned long long &sum)
{
    const auto start = Clock::now();
    std::vector<unsigned char> buffer(1 << 20);
    for (const std::string &name : files) {
        const int fd = ::open(name.c_str(), O_RDONLY);
        if (fd < 0)
            throw std::runtime_error("cannot open " + name);
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
            for (ssize_t i = 0; i + 1 < n; i += 2)
                sum += static_cast<unsigned>(buffer[static_cast<std::size_t>(i)] << 8 |
                                             buffer[static_cast<std::size_t>(i) + 1]);
        ::close(fd);
    }
    return Seconds(Clock::now() - start);
}

}  // namespace bench
