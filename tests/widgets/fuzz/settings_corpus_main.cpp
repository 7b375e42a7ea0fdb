// settings_fuzz_corpus DIR: writes the seed inputs of the settings reader's
// fuzz target into DIR, one file each.
#include <cstdio>

#include "fuzz_corpus.h"
#include "settings_corpus.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_fuzz_corpus DIR\n");
        return 2;
    }
    return fuzz_corpus::Write("settings_fuzz_corpus", argv[1], SettingsSeedCorpus());
}
