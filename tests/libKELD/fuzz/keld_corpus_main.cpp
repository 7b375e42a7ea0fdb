// keld_fuzz_corpus [--binary] DIR: writes the seed inputs of the text
// description parser's fuzz target (or, with --binary, of the older binary
// format's) into DIR, one file each.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "keld_corpus.h"
#include "keld_old_corpus.h"

int main(int argc, char **argv)
{
    const bool binary = argc == 3 && std::strcmp(argv[1], "--binary") == 0;
    if (argc != 2 && !binary) {
        std::fprintf(stderr, "usage: keld_fuzz_corpus [--binary] DIR\n");
        return 2;
    }
    const char *dir = argv[argc - 1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    int n = 0;
    for (const auto &seed : binary ? KeldOldSeedCorpus() : KeldSeedCorpus()) {
        std::ofstream out(std::filesystem::path(dir) / ("seed-" + std::to_string(n++)), std::ios::binary);
        out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
        if (!out) {
            std::fprintf(stderr, "keld_fuzz_corpus: cannot write into %s\n", dir);
            return 1;
        }
    }
    return 0;
}
