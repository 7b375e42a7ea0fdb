// catalog_lookup_bench [LOOKUPS]: times the file look-up of the SQLite
// catalog.  Fills a catalog with one year of 1-hour files for 10 sources,
// then asks dbNURVGetFile for LOOKUPS (default 10000) random times inside
// that year and prints the time per look-up; a few look-ups after the year
// (misses) are timed as well.  Exit status 1 when a look-up gives a wrong
// answer.
#include "libCfg.h"
#include "libdbSQL.h"
#include "sqlite_catalog_fixture.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kSources = 10;
constexpr int kYear = 2003;
constexpr int kHour = 3600000;

// A temporary folder removed at the end.
struct Scratch {
    std::string path;
    Scratch()
    {
        std::string templ = std::filesystem::temp_directory_path().string() + "/kombra-bench-XXXXXX";
        if (mkdtemp(templ.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path = templ;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

std::vector<kombra_fixtures::CatalogSource> FillCatalog(const std::string &dataRoot)
{
    using namespace kombra_fixtures;
    std::vector<CatalogSource> sources = SourcesOfTree(MakeStandardConfig(dataRoot).projects);
    sources.resize(kSources);
    SqliteCatalogWriter writer(dataRoot + "/nurv.db3");
    writer.Begin();
    for (const CatalogSource &s : sources) {
        writer.AddSource(s);
        for (int day = 1; day <= 365; ++day) {
            for (int hour = 0; hour < 24; ++hour) {
                const CatalogTime end = hour == 23 ? CatalogTime{day == 365 ? kYear + 1 : kYear, day == 365 ? 1 : day + 1, 0}
                                                   : CatalogTime{kYear, day, (hour + 1) * kHour};
                writer.AddHdEntry({s.key, {kYear, day, hour * kHour}, end, 1 << 20, "B1"});
            }
        }
    }
    writer.Commit();
    return sources;
}

}  // namespace

int main(int argc, char **argv)
{
    const long lookups = argc > 1 ? std::atol(argv[1]) : 10000;
    if (lookups <= 0) {
        std::fprintf(stderr, "usage: %s [LOOKUPS]\n", argv[0]);
        return 2;
    }
    try {
        Scratch scratch;
        kombra_fixtures::WriteStandardConfig(scratch.path, scratch.path);
        setenv("KOMBRA_CONFIG", scratch.path.c_str(), 1);
        setenv("KOMBRA_DATA", scratch.path.c_str(), 1);
        setenv("KOMBRA_DB_TYPE", "SQLite", 1);
        CfgInit();

        const auto sources = FillCatalog(scratch.path);
        if (dbInitializeMsg() != 1) {
            std::fprintf(stderr, "%s\n", dbErrorMsg());
            return 1;
        }

        std::mt19937 random(20030101);
        std::uniform_int_distribution<int> pickSource(0, kSources - 1), pickDay(1, 365), pickMsec(0, 86399999);
        struct Request {
            KOMBRA_ULONG key;
            short day;
            long msec;
            std::string vinst;
        };
        std::vector<Request> requests;
        for (long n = 0; n < lookups; ++n) {
            const auto &s = sources[static_cast<std::size_t>(pickSource(random))];
            requests.push_back({s.key, static_cast<short>(pickDay(random)), pickMsec(random), s.vinst});
        }

        std::vector<char> name1(DB_PATH_MAX), name2(DB_PATH_MAX);
        const auto start = std::chrono::steady_clock::now();
        for (const Request &r : requests) {
            if (dbNURVGetFile(r.key, kYear, r.day, r.msec, kYear, r.day, r.msec + 1000, _H_AND_D_, "", name1.data(),
                              name2.data()) != 1) {
                std::fprintf(stderr, "look-up failed: %s\n", dbErrorMsg());
                return 1;
            }
        }
        const double hitUs =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / lookups;

        // Check one answer: the file of the hour that holds the time.
        const Request &last = requests.back();
        char expected[64];
        std::snprintf(expected, sizeof expected, "/%s%04d%03d%02ld00H", last.vinst.c_str(), kYear, last.day,
                      last.msec / kHour);
        if (std::strstr(name1.data(), expected) == nullptr) {
            std::fprintf(stderr, "wrong file %s, expected one ending %s\n", name1.data(), expected);
            return 1;
        }

        const long misses = lookups < 100 ? lookups : 100;
        const auto missStart = std::chrono::steady_clock::now();
        for (long n = 0; n < misses; ++n) {
            const Request &r = requests[static_cast<std::size_t>(n)];
            if (dbNURVGetFile(r.key, kYear + 1, 2, 0, kYear + 1, 3, 0, _H_AND_D_, "", name1.data(), name2.data()) !=
                DB_FILE_NO_DATA) {
                std::fprintf(stderr, "a look-up after the year found a file\n");
                return 1;
            }
        }
        const double missUs =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - missStart).count() /
            misses;
        dbClose();

        std::printf("catalog: %d sources x %d hourly files\n", kSources, 365 * 24);
        std::printf("look-ups: %ld, %.1f microseconds per look-up\n", lookups, hitUs);
        std::printf("look-ups after the catalogued year (no data): %ld, %.1f microseconds per look-up\n", misses,
                    missUs);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
