// Fuzz entry point of the older binary description format: loads the input
// as a file of that format and, when it is accepted, reads every item with a
// few structure numbers and element ranges into a bounded buffer that must
// stay within its bounds; every string handed out must lie in the image and
// end inside it.  Built with libFuzzer under clang (see CMakeLists.txt here)
// and replayed over a generated corpus by the normal test build.
#include <cstdint>
#include <cstring>

#include "keld_items_int.h"
#include "libKELD.h"

namespace {

constexpr size_t kRoom = 64;
constexpr unsigned char kFill = 0xAB;

// Each pointer written is the fill, null, or a string inside the image.
void CheckPointers(const keld_info &image, const unsigned char *buf)
{
    const char *begin = image.keld_data;
    const char *end = begin + image.data_len;
    for (size_t at = 0; at + sizeof(char *) <= kRoom; at += sizeof(char *)) {
        bool fill = true;
        for (size_t b = 0; b < sizeof(char *); ++b)
            fill = fill && buf[at + b] == kFill;
        if (fill)
            continue;
        const char *text = nullptr;
        std::memcpy(&text, buf + at, sizeof text);
        if (text == nullptr)
            continue;
        if (text < begin || text >= end || std::memchr(text, '\0', static_cast<size_t>(end - text)) == nullptr)
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    keld_info image{};
    const int status = ParseOldKELDBytes(&image, data, size);
    if (status != KELD_SUCCESS) {
        // Refused files leave nothing behind.
        if ((status != KELD_CORRUPT && status != KELD_BAD_VERSION) || image.keld_data != nullptr ||
            image.tbl_offs != nullptr || image.const_offs != nullptr)
            __builtin_trap();
        return 0;
    }

    unsigned char buf[kRoom + 32];
    const int ranges[][2] = {{0, -1}, {0, 1}, {1, 2}, {-1, 1}, {3, 0}, {0, 300}};
    for (int what = 0; what < KELD_NUM_DEFS; ++what)
        for (KOMBRA_SHORT num = -1; num < 3; ++num)
            for (const auto &[start, len] : ranges) {
                std::memset(buf, kFill, sizeof buf);
                const int got = ReadOldKELDChecked(&image, buf, kRoom, static_cast<KELD_DEFS>(what), num, start,
                                                   static_cast<KOMBRA_SHORT>(len));
                switch (got) {
                case KELD_SUCCESS:
                case KELD_TOO_LONG:
                case KELD_ITEM_EMPTY:
                case KELD_BAD_TABLE:
                case KELD_BAD_CONST:
                case KELD_ITEM_ABSENT:
                case KELD_SHORT_BUFFER: break;
                default: __builtin_trap();
                }
                for (size_t i = kRoom; i < sizeof buf; ++i)
                    if (buf[i] != kFill)
                        __builtin_trap();
                if (got != KELD_SUCCESS)
                    continue;
                KOMBRA_CHAR type = 0;
                const bool strings =
                    KeldElementForm(KeldItem(what)->form) == KeldForm::CharPtr ||
                    (what == _TBL && ReadOldKELDChecked(&image, &type, 1, _TBL_TYPE, num, 0, 1) == 1 && type == 1);
                if (strings)
                    CheckPointers(image, buf);
            }
    free_keld_structure(&image);
    return 0;
}
