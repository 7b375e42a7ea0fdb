// What the benchmarks share: a scratch folder removed afterwards, timing,
// and the baseline of reading data files whole.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
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
