// The fuzz replay's own behaviour, over an entry point of its own: what the
// reader under test says on standard error is dropped, but a sanitizer's
// report of a memory fault and the reader's words on a failed replay reach
// the test log.
#include "fuzz_replay.h"

#include <gtest/gtest-spi.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define KVE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVE_TEST_ASAN 1
#endif
#endif

namespace {

volatile size_t g_past = 0;  // keeps the overrun from being optimised away

}  // namespace

// A reader that talks on standard error (on standard output for inputs
// ending in "-out"): "chatter" then succeeds, "fail" and "fail-out" fail,
// "overrun" reads past a heap block.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const bool out = input.ends_with("-out");
    std::fputs("reader: this input is refused\n", out ? stdout : stderr);
    std::fflush(out ? stdout : stderr);
    if (input.starts_with("fail"))
        return 1;
    if (input == "overrun") {
        std::vector<char> block(8, 'x');
        char *p = block.data();
        g_past = g_past + static_cast<size_t>(p[8 + g_past]);
    }
    return 0;
}

namespace {

// What reaches file descriptor 2 while run() runs.
template <typename Run>
std::string OnStderr(Run run)
{
    std::fflush(stderr);
    std::FILE *sink = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(sink), 2);
    run();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::string text;
    std::rewind(sink);
    for (int ch; (ch = std::fgetc(sink)) != EOF;)
        text += static_cast<char>(ch);
    std::fclose(sink);
    return text;
}

TEST(FuzzReplay, ChatterOfAPassingReplayIsDropped)
{
    EXPECT_EQ("", OnStderr([] { kombra_test::ReplayFuzzInput("chatter", kombra_test::FuzzChatter::Stderr); }));
}

TEST(FuzzReplay, AFailedReplayShowsWhatTheReaderSaid)
{
    EXPECT_NONFATAL_FAILURE(kombra_test::ReplayFuzzInput("fail", kombra_test::FuzzChatter::Stderr),
                            "reader: this input is refused");
    EXPECT_NONFATAL_FAILURE(kombra_test::ReplayFuzzInput("fail-out", kombra_test::FuzzChatter::Stdout),
                            "reader: this input is refused");
}

TEST(FuzzReplayDeathTest, ASanitizerReportReachesTheLog)
{
#ifdef KVE_TEST_ASAN
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(kombra_test::ReplayFuzzInput("overrun", kombra_test::FuzzChatter::Stderr),
                 "heap-buffer-overflow");
#else
    GTEST_SKIP() << "built without AddressSanitizer";
#endif
}

}  // namespace
