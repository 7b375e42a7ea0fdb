// Replays of a fuzz target's entry point under GoogleTest: the program links
// the target's source, and KOMBRA_FUZZ_REPLAY_TESTS makes its two tests,
// SeedCorpus (the generated seeds, of which there must be more than
// minimum) and CorpusFolder (the files of a fuzzing run's folder named by an
// environment variable; skipped when it is unset).
#pragma once

#include "support.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace kombra_test {

// Where the readers under test report what they refuse; the replay drops it.
enum class FuzzChatter { None, Stdout, Stderr };

inline void ReplayFuzzInput(const std::string &input, FuzzChatter chatter)
{
    if (chatter == FuzzChatter::Stdout)
        testing::internal::CaptureStdout();
    if (chatter == FuzzChatter::Stderr)
        testing::internal::CaptureStderr();
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size()));
    if (chatter == FuzzChatter::Stdout)
        testing::internal::GetCapturedStdout();
    if (chatter == FuzzChatter::Stderr)
        testing::internal::GetCapturedStderr();
}

}  // namespace kombra_test

#define KOMBRA_FUZZ_REPLAY_TESTS(Suite, seeds, minimum, variable, chatter)                        \
    TEST(Suite, SeedCorpus)                                                                       \
    {                                                                                             \
        const auto all = (seeds)();                                                               \
        EXPECT_GT(all.size(), static_cast<size_t>(minimum));                                      \
        for (const auto &seed : all)                                                              \
            kombra_test::ReplayFuzzInput(seed, chatter);                                          \
    }                                                                                             \
    TEST(Suite, CorpusFolder)                                                                     \
    {                                                                                             \
        const char *dir = std::getenv(variable);                                                  \
        if (dir == nullptr)                                                                       \
            GTEST_SKIP() << variable " not set";                                                  \
        for (const auto &entry : std::filesystem::directory_iterator(dir))                        \
            if (entry.is_regular_file())                                                          \
                kombra_test::ReplayFuzzInput(kombra_test::ReadFile(entry.path().string()), chatter); \
    }
