// The fuzz replay over an entry point of its own: a failed replay shows what
// the reader said, and a sanitizer's report reaches the test log although
// the reader's standard error is captured.
#include "fuzz_replay.h"

#include <gtest/gtest-spi.h>

#include <cstdio>
#include <vector>

// Talks on standard error (standard output for "fail-out"); "fail..." then
// fails, "overrun" reads past a heap block.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::FILE *to = input == "fail-out" ? stdout : stderr;
    std::fputs("reader: this input is refused\n", to);
    std::fflush(to);
    if (input == "overrun") {
        std::vector<char> block(8, 'x');
        static volatile size_t past = 8;
        std::fputc(block.data()[past], stderr);
    }
    return input.starts_with("fail") ? 1 : 0;
}

namespace {

TEST(FuzzReplay, AFailedReplayShowsWhatTheReaderSaid)
{
    EXPECT_NONFATAL_FAILURE(kombra_test::ReplayFuzzInput("fail", kombra_test::FuzzChatter::Stderr),
                            "reader: this input is refused");
    EXPECT_NONFATAL_FAILURE(kombra_test::ReplayFuzzInput("fail-out", kombra_test::FuzzChatter::Stdout),
                            "reader: this input is refused");
}

TEST(FuzzReplayDeathTest, ASanitizerReportReachesTheLog)
{
    if (__sanitizer_set_report_fd == nullptr)
        GTEST_SKIP() << "built without sanitizers";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(kombra_test::ReplayFuzzInput("overrun", kombra_test::FuzzChatter::Stderr), "heap-buffer-overflow");
}

}  // namespace
