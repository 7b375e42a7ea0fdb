// catalog_lookup_bench [LOOKUPS]: times the file look-up of the SQLite
// catalog.  Fills a catalog with one year of hourly files for 10 sources,
// each file covering the first 50 minutes of its hour, then asks
// dbNURVGetFile for LOOKUPS (default 10000) random times of each kind:
//   hits     a time inside a file;
//   gaps     a time in the last 10 minutes of an hour (no file);
//   after    a time after the catalogued year (no file);
// and, as the baseline of the same run, as many bare SELECTs of one entry by
// its whole primary key.  Prints the median and 90th percentile of each, the
// look-ups per second, the ratio of each median to the baseline's, the first
// look-up of a source (which reads what the look-up keeps of it) and the
// peak memory.  Exit status 1 when a look-up gives a wrong answer.
#include "libCfg.h"
#include "libdbSQL.h"
#include "sqlite_catalog_fixture.h"

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kSources = 10;
constexpr int kYear = 2003;
constexpr int kMinute = 60000;
constexpr int kHour = 60 * kMinute;
constexpr int kCovered = 50 * kMinute;  // of each hour

using Clock = std::chrono::steady_clock;

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
    for (const CatalogSource &s : sources)
        writer.AddSource(s);
    for (const CatalogSource &s : sources)
        for (int day = 1; day <= 365; ++day)
            for (int hour = 0; hour < 24; ++hour)
                writer.AddHdEntry({s.key, {kYear, day, hour * kHour}, {kYear, day, hour * kHour + kCovered}, 1 << 20,
                                   "B1"});
    writer.Commit();
    return sources;
}

struct Request {
    KOMBRA_ULONG key;
    std::string vinst;
    short day;
    long msec;
};

struct Figures {
    double median = 0, p90 = 0;
};

// Times each call of one; false as soon as one answers wrongly.
bool Time(const std::vector<Request> &requests, const std::function<bool(const Request &)> &one, Figures &out)
{
    std::vector<double> us;
    us.reserve(requests.size());
    for (const Request &r : requests) {
        const auto start = Clock::now();
        const bool right = one(r);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (!right)
            return false;
    }
    std::sort(us.begin(), us.end());
    out.median = us[us.size() / 2];
    out.p90 = us[us.size() * 9 / 10];
    return true;
}

void Print(const char *what, const Figures &f, const Figures &baseline)
{
    std::printf("%-34s median %8.1f us  p90 %8.1f us  %9.0f per second  %6.1f x baseline\n", what, f.median, f.p90,
                1e6 / f.median, f.median / baseline.median);
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
        std::uniform_int_distribution<int> pickSource(0, kSources - 1), pickDay(1, 365), pickHour(0, 23),
            pickCovered(0, kCovered - 1001), pickGap(kCovered, kHour - 1001);
        auto make = [&](const std::function<long()> &within) {
            std::vector<Request> out;
            for (long n = 0; n < lookups; ++n) {
                const auto &s = sources[static_cast<std::size_t>(pickSource(random))];
                out.push_back({s.key, s.vinst, static_cast<short>(pickDay(random)), pickHour(random) * kHour + within()});
            }
            return out;
        };
        const auto hits = make([&] { return static_cast<long>(pickCovered(random)); });
        const auto gaps = make([&] { return static_cast<long>(pickGap(random)); });

        std::vector<char> name1(DB_PATH_MAX), name2(DB_PATH_MAX);
        auto lookUp = [&](const Request &r, short yr) {
            return dbNURVGetFile(r.key, yr, r.day, r.msec, yr, r.day, r.msec + 1000, _H_AND_D_, "", name1.data(),
                                 name2.data());
        };

        // The first look-up of each source reads what is kept of it.
        std::vector<Request> firsts;
        for (const auto &s : sources)
            firsts.push_back({s.key, s.vinst, 100, 0});
        Figures first;
        if (!Time(firsts, [&](const Request &r) { return lookUp(r, kYear) == 1; }, first))
            throw std::runtime_error(std::string("first look-up failed: ") + dbErrorMsg());

        Figures baseline, hit, gap, after;
        DbRows rows;
        const bool right =
            Time(hits,
                 [&](const Request &r) {
                     const long begin = r.msec / kHour * kHour;
                     return dbQueryRows("SELECT b_yr, b_day, b_msec FROM hd_entries WHERE data_key=? AND b_yr=? "
                                        "AND b_day=? AND b_msec=?;",
                                        {DbParam::Int(r.key), DbParam::Int(kYear), DbParam::Int(r.day),
                                         DbParam::Int(begin)},
                                        rows) == 1 &&
                            rows.size() == 1;
                 },
                 baseline) &&
            Time(hits,
                 [&](const Request &r) {
                     char expected[64];
                     std::snprintf(expected, sizeof expected, "/%s%04d%03d%02ld00H", r.vinst.c_str(), kYear, r.day,
                                   r.msec / kHour);
                     return lookUp(r, kYear) == 1 && std::strstr(name1.data(), expected) != nullptr;
                 },
                 hit) &&
            Time(gaps, [&](const Request &r) { return lookUp(r, kYear) == DB_FILE_NO_DATA; }, gap) &&
            Time(hits, [&](const Request &r) { return lookUp(r, kYear + 1) == DB_FILE_NO_DATA; }, after);
        dbClose();
        if (!right) {
            std::fprintf(stderr, "a look-up gave a wrong answer (%s)\n", dbErrorMsg());
            return 1;
        }

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("catalog: %d sources x %d hourly files, %ld look-ups of each kind\n", kSources, 365 * 24, lookups);
        Print("baseline: bare SELECT by key", baseline, baseline);
        Print("hit: time inside a file", hit, baseline);
        Print("miss: time in a gap", gap, baseline);
        Print("miss: time after the last file", after, baseline);
        Print("first look-up of a source", first, baseline);
        std::printf("peak memory: %ld kB\n", usage.ru_maxrss);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
