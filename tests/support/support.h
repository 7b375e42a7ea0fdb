// Helpers shared by every test program: temporary folders, environment
// overrides, whole-file reads and writes, and the status assertion.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kombra_test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::string str() const { return path_.string(); }
    // path() / name, as a string.
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets (or, with std::nullopt, unsets) one environment variable for the
// lifetime of the object and restores the earlier state afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

void WriteFile(const std::string &path, const std::string &text);
void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes);
std::string ReadFile(const std::string &path);
std::vector<unsigned char> ReadBytes(const std::string &path);

// Folder of the built fixture writers and stand-in programs
// ($KOMBRA_TOOLS_DIR overrides it).
std::string ToolsDir();
// The project's source tree ($KOMBRA_SOURCE_DIR overrides it).
std::string SourceDir();

// Connection settings of the private MariaDB server of tests declared with
// MARIADB (socket, port, user, password, database), read from server.env in
// the server's folder ($KOMBRA_TEST_MARIADB_DIR overrides it); empty when no
// server runs.
struct MariaDbServer {
    std::string socket;
    unsigned port = 0;
    std::string user;
    std::string password;
    std::string database;
};
std::optional<MariaDbServer> TestMariaDb();

}  // namespace kombra_test

// EXPECT_STATUS(expected, call): compares a status return and names the call
// on mismatch.
#define EXPECT_STATUS(expected, call)                                                  \
    do {                                                                               \
        const long long kombra_status_ = static_cast<long long>(call);                 \
        EXPECT_EQ(static_cast<long long>(expected), kombra_status_) << "from " #call; \
    } while (0)
// The same, ending the test on a mismatch.
#define ASSERT_STATUS(expected, call)                                                  \
    do {                                                                               \
        const long long kombra_status_ = static_cast<long long>(call);                 \
        ASSERT_EQ(static_cast<long long>(expected), kombra_status_) << "from " #call; \
    } while (0)
