// Replays the parser's fuzz target over the generated seed corpus, and over
// the files of $KELD_FUZZ_CORPUS (a folder of a fuzzing run) when it is set.
#include "fuzz/keld_corpus.h"
#include "support.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void Replay(const std::string &input)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size()));
    testing::internal::GetCapturedStdout();
}

TEST(KeldFuzzReplay, SeedCorpus)
{
    const auto seeds = KeldSeedCorpus();
    EXPECT_GT(seeds.size(), 20u);
    for (const auto &seed : seeds)
        Replay(seed);
}

TEST(KeldFuzzReplay, CorpusFolder)
{
    const char *dir = std::getenv("KELD_FUZZ_CORPUS");
    if (dir == nullptr)
        GTEST_SKIP() << "KELD_FUZZ_CORPUS not set";
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            Replay(kombra_test::ReadFile(entry.path().string()));
}

}  // namespace
