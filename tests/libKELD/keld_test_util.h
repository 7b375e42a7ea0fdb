// Parsing text descriptions in tests: the file is written into a temporary
// folder, the reporter's output captured, the map freed with the result.
#pragma once

#include "libKELD.h"
#include "support.h"

#include <cstring>
#include <memory>
#include <string>

namespace keld_test {

struct MapDeleter {
    void operator()(keld_map *map) const { DeleteKELD(map); }
};
using MapPtr = std::unique_ptr<keld_map, MapDeleter>;

struct Parsed {
    int status = 0;
    MapPtr map;
    std::string out;  // what the reporter printed
};

// Parses text as the file dir/name.
inline Parsed ParseText(const kombra_test::TempDir &dir, const std::string &text,
                        const std::string &name = "test.V.v3")
{
    kombra_test::WriteFile(dir.file(name), text);
    Parsed result;
    keld_map *map = nullptr;
    testing::internal::CaptureStdout();
    result.status = ParseNewKELD(&map, dir.file(name).c_str());
    result.out = testing::internal::GetCapturedStdout();
    result.map.reset(map);
    return result;
}

// The reporter's text for one message.
inline std::string Report(const std::string &file, int line, const std::string &message,
                          const std::string &token)
{
    return "\nError in " + file + ": Line " + std::to_string(line) + " : " + message + " at '" + token +
           "'\n\nFix KELD before continuing...\n\n";
}

inline int IntAt(const keld_map *map, const std::string &key, size_t i = 0)
{
    const auto values = KELDFind(map, key);
    return i < values.size() ? values[i].val.ival : -999999;
}

}  // namespace keld_test
