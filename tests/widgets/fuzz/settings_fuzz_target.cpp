// Fuzz entry point of the settings-file reader: the input is read as a
// settings file against both programs' key tables.  Each match must name
// its key and carry a stripped one-line value, and each line that sets
// nothing must be one of the two kinds named; the number readers must
// agree with one another; and the first lines of the input, written back
// as values by the writer's line forms, must read back as written.  Built
// with libFuzzer under clang (see CMakeLists.txt here) and replayed over a
// generated corpus by the normal test build.
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings_file.h"
#include "settings_keys.h"

namespace {

constexpr size_t kMaxRoundTrips = 64; // input lines written back per input

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void CheckMatches(std::string_view text, std::span<const char *const> keys)
{
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    const auto matches = settings::match_lines(text, keys);
    Check(matches.size() <= lines + 1);
    for (const settings::Match &m : matches) {
        Check(m.value.find('\n') == std::string::npos);
        if (m.index < 0) {
            // A line that sets nothing: not blank, and with "=" only when
            // its key is none of the table's.
            Check(m.index == settings::kNoKey || m.index == settings::kNoEquals);
            Check(!m.value.empty() && !IsSpace(m.value.front()) && !IsSpace(m.value.back()));
            Check((m.value.find('=') == std::string::npos) == (m.index == settings::kNoEquals));
            for (const char *key : keys)
                Check(m.index == settings::kNoEquals || settings::split_line(m.value).key != key);
            continue;
        }
        Check(static_cast<size_t>(m.index) < keys.size());
        Check(std::string(keys[static_cast<size_t>(m.index)]) != "DUMMY_STRING");
        Check(m.value.empty() || (!IsSpace(m.value.front()) && !IsSpace(m.value.back())));
        const int strict = settings::strict_int(m.value);
        if (strict != 0)
            Check(settings::leading_int(m.value) == strict);
        (void)settings::leading_float(m.value);
    }
}

// One value written in each form reads back as it was written.
void CheckRoundTrip(std::string_view line)
{
    const char *const key[] = {"PLOT_STEM"};
    const std::string_view stripped = settings::split_line(line).key; // the whole line, stripped
    if (line.find('=') == std::string_view::npos) {
        const auto text = settings::match_lines(settings::text_line(key[0], stripped), key);
        Check(text.size() == 1 && text[0].value == stripped);
    }

    const int n = settings::leading_int(line);
    const auto ints = settings::match_lines(settings::int_line(key[0], n), key);
    Check(ints.size() == 1 && settings::strict_int(ints[0].value) == n);

    // Six significant digits: writing what was read changes nothing more.
    const std::string once = settings::real_line(key[0], settings::leading_float(line));
    const auto reals = settings::match_lines(once, key);
    Check(reals.size() == 1);
    Check(settings::real_line(key[0], settings::leading_float(reals[0].value)) == once);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    CheckMatches(text, std::span<const char *const>(lunder::savestrings, lunder::N_SAVED_KEYS));
    CheckMatches(text, std::span<const char *const>(mirvek::savestrings, mirvek::N_SAVED_KEYS));

    std::string_view rest = text;
    for (size_t k = 0; k < kMaxRoundTrips && !rest.empty(); ++k) {
        const size_t end = rest.find('\n');
        CheckRoundTrip(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return 0;
}
