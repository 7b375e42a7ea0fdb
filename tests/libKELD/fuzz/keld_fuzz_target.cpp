// Fuzz entry point of the text description parser: parses the input as a
// description and walks every value of the resulting map.  Built with
// libFuzzer under clang (see CMakeLists.txt here) and replayed over a
// generated corpus by the normal test build.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "keld_int.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // fmemopen reads the bytes as they are, NULs included; an empty input
    // gets a one-byte buffer of which nothing is read.
    static char empty[1];
    FILE *in = size > 0 ? fmemopen(const_cast<uint8_t *>(data), size, "r") : fmemopen(empty, 0, "r");
    if (in == nullptr)
        return 0;
    keld_map *map = nullptr;
    const int status = ParseNewKELDFromStream(&map, in, "fuzz-input.V.v3");
    std::fclose(in);
    if (status != KELD_SUCCESS || map == nullptr)
        __builtin_trap();

    for (const auto &[key, values] : map->entries) {
        // Every string comes from the input, so none can be longer.
        for (const keld_entry &entry : values)
            if (entry.type == STRING && std::strlen(entry.val.sval) > size)
                __builtin_trap();
        // Every key must come back through the list interface unchanged.
        keld_vals_s *list = nullptr;
        FindNameinKELD(map, key.c_str(), &list);
        size_t n = 0;
        for (const keld_vals_s *cell = list; cell != nullptr; cell = cell->next)
            ++n;
        FreeKELDVals(&list);
        if (n != values.size() || key.compare(0, 5, "KELD.") != 0)
            __builtin_trap();
    }
    DeleteKELD(map);
    return 0;
}
