// keld_fuzz_corpus [--binary] DIR: writes the seed inputs of the text
// description parser's fuzz target (or, with --binary, of the older binary
// format's) into DIR, one file each.
#include <cstdio>
#include <cstring>

#include "fuzz_corpus.h"
#include "keld_corpus.h"
#include "keld_old_corpus.h"

int main(int argc, char **argv)
{
    const bool binary = argc == 3 && std::strcmp(argv[1], "--binary") == 0;
    if (argc != 2 && !binary) {
        std::fprintf(stderr, "usage: keld_fuzz_corpus [--binary] DIR\n");
        return 2;
    }
    return fuzz_corpus::Write("keld_fuzz_corpus", argv[argc - 1], binary ? KeldOldSeedCorpus() : KeldSeedCorpus());
}
