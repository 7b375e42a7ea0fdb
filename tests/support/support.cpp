// Shared test helpers: see support.h.
#include "support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kombra_test {

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/kombra-test-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed for " + templ);
    path_ = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name))
{
    if (const char *old = std::getenv(name_.c_str()))
        saved_ = old;
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv()
{
    if (saved_)
        setenv(name_.c_str(), saved_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out << text;
}

void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes)
{
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<unsigned char> ReadBytes(const std::string &path)
{
    const std::string s = ReadFile(path);
    return std::vector<unsigned char>(s.begin(), s.end());
}

std::string ToolsDir()
{
    const char *dir = std::getenv("KOMBRA_TOOLS_DIR");
    return dir ? dir : KOMBRA_BUILT_TOOLS_DIR;
}

std::string SourceDir()
{
    const char *dir = std::getenv("KOMBRA_SOURCE_DIR");
    return dir ? dir : KOMBRA_BUILT_SOURCE_DIR;
}

std::optional<MariaDbServer> TestMariaDb()
{
    const char *env = std::getenv("KOMBRA_TEST_MARIADB_DIR");
    const std::string dir = env ? env : KOMBRA_BUILT_MARIADB_DIR;
    std::ifstream in(dir + "/server.env");
    if (!in)
        return std::nullopt;
    MariaDbServer server;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "KOMBRA_TEST_MYSQL_SOCKET")
            server.socket = value;
        else if (name == "KOMBRA_TEST_MYSQL_PORT")
            server.port = static_cast<unsigned>(std::stoul(value));
        else if (name == "KOMBRA_TEST_MYSQL_USER")
            server.user = value;
        else if (name == "KOMBRA_TEST_MYSQL_PASSWORD")
            server.password = value;
        else if (name == "KOMBRA_TEST_MYSQL_DB")
            server.database = value;
    }
    return server;
}

}  // namespace kombra_test
