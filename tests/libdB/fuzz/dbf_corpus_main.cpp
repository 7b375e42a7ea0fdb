// dbf_fuzz_corpus DIR: writes the seed inputs of the dBASE readers' fuzz
// target into DIR, one file each.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "dbf_corpus.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dbf_fuzz_corpus DIR\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    int n = 0;
    for (const auto &seed : DbfSeedCorpus()) {
        std::ofstream out(std::filesystem::path(argv[1]) / ("seed-" + std::to_string(n++)), std::ios::binary);
        out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
        if (!out) {
            std::fprintf(stderr, "dbf_fuzz_corpus: cannot write into %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
