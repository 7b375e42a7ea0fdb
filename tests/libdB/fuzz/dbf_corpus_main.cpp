// dbf_fuzz_corpus DIR: writes the seed inputs of the dBASE readers' fuzz
// target into DIR, one file each.
#include <cstdio>

#include "dbf_corpus.h"
#include "fuzz_corpus.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dbf_fuzz_corpus DIR\n");
        return 2;
    }
    return fuzz_corpus::Write("dbf_fuzz_corpus", argv[1], DbfSeedCorpus());
}
