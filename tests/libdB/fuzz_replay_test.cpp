// Replays the dBASE readers' fuzz target over its generated seed corpus, and
// over the files of $DBF_FUZZ_CORPUS (a folder of a fuzzing run) when it is
// set.  The readers' reports on stderr are dropped.
#include "fuzz/dbf_corpus.h"
#include "support.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void Replay(const std::string &input)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size()));
    testing::internal::GetCapturedStderr();
}

TEST(DbfFuzzReplay, SeedCorpus)
{
    const auto seeds = DbfSeedCorpus();
    EXPECT_GT(seeds.size(), 40u);
    for (const auto &seed : seeds)
        Replay(seed);
}

TEST(DbfFuzzReplay, CorpusFolder)
{
    const char *dir = std::getenv("DBF_FUZZ_CORPUS");
    if (dir == nullptr)
        GTEST_SKIP() << "DBF_FUZZ_CORPUS not set";
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            Replay(kombra_test::ReadFile(entry.path().string()));
}

}  // namespace
