// Replays the older binary format's fuzz target over its generated seed
// corpus, and over the files of $KELD_OLD_FUZZ_CORPUS (a folder of a fuzzing
// run) when it is set.
#include "fuzz/keld_old_corpus.h"
#include "support.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void Replay(const std::string &input)
{
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size()));
}

TEST(KeldOldFuzzReplay, SeedCorpus)
{
    const auto seeds = KeldOldSeedCorpus();
    EXPECT_GT(seeds.size(), 20u);
    for (const auto &seed : seeds)
        Replay(seed);
}

TEST(KeldOldFuzzReplay, CorpusFolder)
{
    const char *dir = std::getenv("KELD_OLD_FUZZ_CORPUS");
    if (dir == nullptr)
        GTEST_SKIP() << "KELD_OLD_FUZZ_CORPUS not set";
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            Replay(kombra_test::ReadFile(entry.path().string()));
}

}  // namespace
