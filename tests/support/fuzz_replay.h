// Replays of a fuzz target's entry point under GoogleTest: the program links
// the target's source, and KOMBRA_FUZZ_REPLAY_TESTS makes its two tests,
// SeedCorpus (the generated seeds, of which there must be more than
// minimum) and CorpusFolder (the files of a fuzzing run's folder named by an
// environment variable; skipped when it is unset).
#pragma once

#include "support.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
// Where the sanitizers write their reports; defined only in sanitized
// builds, so declared weak.
extern "C" void __sanitizer_set_report_fd(void *fd) __attribute__((weak));

namespace kombra_test {

// Where the readers under test report what they refuse; the replay drops it.
enum class FuzzChatter { None, Stdout, Stderr };

// Runs the entry point over one input with the readers' chatter captured.
// A sanitizer's report still reaches the test log: while standard error is
// captured, the sanitizers write to a copy of it taken beforehand.  A
// replay that fails shows what the readers said.
inline void ReplayFuzzInput(const std::string &input, FuzzChatter chatter)
{
    int report = -1;
    if (chatter == FuzzChatter::Stderr && __sanitizer_set_report_fd != nullptr) {
        report = ::dup(2);
        if (report >= 0)
            __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(report)));
    }
    if (chatter == FuzzChatter::Stdout)
        testing::internal::CaptureStdout();
    if (chatter == FuzzChatter::Stderr)
        testing::internal::CaptureStderr();
    const int result = LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
    std::string said;
    if (chatter == FuzzChatter::Stdout)
        said = testing::internal::GetCapturedStdout();
    if (chatter == FuzzChatter::Stderr)
        said = testing::internal::GetCapturedStderr();
    if (report >= 0) {
        __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(2)));
        ::close(report);
    }
    EXPECT_EQ(0, result) << "replaying an input of " << input.size() << " bytes; the reader said:\n" << said;
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
