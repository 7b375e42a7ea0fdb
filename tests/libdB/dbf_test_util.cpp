#include "dbf_test_util.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace dbf_test {

std::vector<unsigned char> Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {static_cast<unsigned char>(local.tm_year), static_cast<unsigned char>(local.tm_mon + 1),
            static_cast<unsigned char>(local.tm_mday)};
}

std::vector<kombra_fixtures::DbfCatalogEntry> SampleEntries()
{
    return {{"CP3DRH", 2003, 32, 50730000, 2003, 32, 54330000},
            {"CP3DRH", 2003, 31, 0, 2003, 31, 86399999},
            {"CP3DRL", 2003, 31, 0, 2003, 31, 86399999},
            {"CP3DRH", 2003, 33, 3600000, 2003, 33, 7200000},
            {"AAAA", 2002, 100, 0, 2002, 100, 1000}};
}

std::string CheckDbf(const std::string &path, int &rc)
{
    const char *env = std::getenv("KOMBRA_SOURCE_DIR");
    const std::string source = env != nullptr && *env != '\0' ? env : KOMBRA_DBF_SOURCE_DIR;
    const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string cmd = python + " '" + source +
                            "/tools/checkers/dbf_check.py' '" + path + "' 2>&1";
    std::string out;
    FILE *pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        rc = -1;
        return out;
    }
    std::array<char, 512> buf{};
    size_t got;
    while ((got = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), got);
    const int status = pclose(pipe);
    rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

}  // namespace dbf_test
