// kve_fuzz_corpus DIR: writes the seed inputs of the exchange library's
// fuzz targets into DIR/flat, DIR/time and DIR/cdf, one file each.
#include <cstdio>
#include <string>

#include "fuzz_corpus.h"
#include "kve_corpus.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kve_fuzz_corpus DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    return fuzz_corpus::Write("kve_fuzz_corpus", (dir + "/flat").c_str(), KveFlatSeedCorpus()) |
           fuzz_corpus::Write("kve_fuzz_corpus", (dir + "/time").c_str(), KveTimeSeedCorpus()) |
           fuzz_corpus::Write("kve_fuzz_corpus", (dir + "/cdf").c_str(), KveCdfSeedCorpus());
}
