// Fuzz entry point of the free-format time parsers.  The input is a
// picture, a newline and a time text; its first byte sets the year state
// (offset and century rolling).  The picture is parsed, the text converted,
// and a date that parses has its month and day within range.  Built with
// libFuzzer under clang (see CMakeLists.txt here) and replayed over a
// generated corpus by the normal test build.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "kve_flat.h"
#include "kve_read_int.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    kv_reader_year = KvYearState{};
    kv_reader_year.offset = (data[0] & 1) != 0 ? 1900 : -1;
    kv_reader_year.increasing = (data[0] & 2) != 0;
    const std::string_view input(reinterpret_cast<const char *>(data + 1), size - 1);
    const size_t nl = input.find('\n');
    const std::string picture(input.substr(0, std::min<size_t>(nl, 255)));
    const std::string text(nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1));

    KvFTpacket pk{};
    std::strncpy(pk.FreeTimeFormatString, picture.c_str(), 255);
    char all[256] = {};
    std::strncpy(all, picture.c_str(), 255);
    KvFTCatTime_All(all, text.substr(0, 255).c_str());
    Check(std::strlen(all) < 256);
    KvParseFreeTimeFormatString_date(pk.FreeTimeFormatString, &pk.ft_parser_s);
    KvParseFreeTimeFormatString_time(pk.FreeTimeFormatString, &pk.ft_parser_s);
    KvFTCpyCalcmsecsFactors(&pk.ft_parser_s, pk.time2msecs_factors_adjusted);
    Check(pk.ft_parser_s.n_found_date >= 0 && pk.ft_parser_s.n_found_date <= 6);
    Check(pk.ft_parser_s.n_found_time >= 0 && pk.ft_parser_s.n_found_time <= 9);
    long year = 0, month = 0, day = 0;
    if (KvFTGetDate(&pk.ft_parser_s, text.c_str(), &year, &month, &day) == 0) {
        Check(month >= 1 && month <= 12 && day >= 1 && day <= 31);
        Check(KvFTtoEPOCH(&pk, text.c_str()) == 0);
    }
    long m = 0, d = 0;
    KvYearDoyToDate(static_cast<long>(size) - 200, static_cast<long>(data[0]) * 2, &m, &d);
    return 0;
}
