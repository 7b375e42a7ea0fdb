// Fuzz entry point of the text description parser: parses the input as a
// description, walks every value of the resulting map and reads every item
// from it into a bounded buffer that must stay within its bounds.  Built with
// libFuzzer under clang (see CMakeLists.txt here) and replayed over a
// generated corpus by the normal test build.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "keld_int.h"
#include "libKELD.h"

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

    // Every item, through the table cache too, with a few element ranges;
    // nothing may be written past the 64 bytes offered.
    CreateCache();
    unsigned char buf[96];
    const int ranges[][2] = {{0, -1}, {1, 2}, {-1, -1}, {30, 300}, {2, 0}};
    for (int what = 0; what < KELD_NUM_DEFS; ++what)
        for (KOMBRA_SHORT num = 0; num < 2; ++num)
            for (const auto &[start, len] : ranges) {
                std::memset(buf, 0xAB, sizeof buf);
                const int status = ReadNewKELDChecked(map, buf, 64, static_cast<KELD_DEFS>(what), num, start,
                                                      static_cast<KOMBRA_SHORT>(len));
                if (status != KELD_SUCCESS && status != KELD_ITEM_ABSENT && status != KELD_SHORT_BUFFER)
                    __builtin_trap();
                for (size_t i = 64; i < sizeof buf; ++i)
                    if (buf[i] != 0xAB)
                        __builtin_trap();
            }
    DeleteKELD(map);
    ClearCache();
    return 0;
}
