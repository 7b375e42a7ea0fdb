// Header-only writer of a fuzz target's seed corpus, for the corpus programs
// of the fuzz builds (which link no test library).
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fuzz_corpus {

// Writes each seed into dir as seed-0, seed-1, ... (making dir when
// missing); 0, or 1 after a message naming program when a file cannot be
// written.
inline int Write(const char *program, const char *dir, const std::vector<std::string> &seeds)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    int n = 0;
    for (const auto &seed : seeds) {
        std::ofstream out(std::filesystem::path(dir) / ("seed-" + std::to_string(n++)), std::ios::binary);
        out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
        if (!out) {
            std::fprintf(stderr, "%s: cannot write into %s\n", program, dir);
            return 1;
        }
    }
    return 0;
}

}  // namespace fuzz_corpus
