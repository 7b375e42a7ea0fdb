// Conversion of a symbol's value text to the type of a keyword.
#include "pconfig_int.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr double kFloatMax = 3.4028234663852886e38;
constexpr double kFloatMin = 1.1754943508222875e-38;
constexpr double kDoubleMax = 1.7976931348623157e308;
constexpr double kDoubleMin = 2.2250738585072014e-308;

// |v| >= limit, without negating v (|LLONG_MIN| has no long long).
bool MagnitudeAtLeast(long long v, long long limit)
{
    return v >= limit || v <= -limit;
}

bool EndsToken(char c)
{
    return c == '\0' || std::isspace(static_cast<unsigned char>(c)) != 0;
}

// An integer in decimal, 0x hexadecimal or leading-zero octal, followed by
// the end of the text or white space.
std::optional<long long> ParseInteger(const char *text)
{
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text, &end, 0);
    if (end == text || !EndsToken(*end) || errno == ERANGE)
        return std::nullopt;
    return v;
}

std::optional<double> ParseReal(const char *text)
{
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || !EndsToken(*end))
        return std::nullopt;
    return v;
}

bool FloatInRange(double v)
{
    const double m = std::fabs(v);
    return !(m > kFloatMax || (m != 0.0 && m < kFloatMin));
}

bool DoubleInRange(double v)
{
    const double m = std::fabs(v);
    return !(m > kDoubleMax || (m != 0.0 && m < kDoubleMin));
}

std::vector<std::string> SplitBlanks(const char *text)
{
    std::vector<std::string> pieces;
    const char *p = text;
    while (*p != '\0') {
        while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        const char *start = p;
        while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        if (p > start)
            pieces.emplace_back(start, p);
    }
    return pieces;
}

// A malloc'd copy of values (at least one element, so that an empty array
// is still a valid allocation the caller can free).
template <typename T>
T *NewArray(const std::vector<T> &values)
{
    const size_t n = values.empty() ? 1 : values.size();
    auto *arr = static_cast<T *>(std::calloc(n, sizeof(T)));
    if (arr != nullptr && !values.empty())
        std::memcpy(arr, values.data(), values.size() * sizeof(T));
    return arr;
}

void Mark(def_s &entry)
{
    if (entry.required > 0)
        entry.required = -entry.required;
}

void StoreChar(def_s &entry, const std::string &keyword, const char *text)
{
    if (std::strlen(text) == 3 && text[0] == '\'' && text[2] == '\'') {
        *static_cast<char *>(entry.value) = text[1];
        Mark(entry);
        return;
    }
    const auto v = ParseInteger(text);
    if (!v) {
        std::fputs("parse_config: Expected a char in\n", stderr);
        std::fprintf(stderr, "\t%s\n", keyword.c_str());
        return;
    }
    if (MagnitudeAtLeast(*v, 256)) {
        std::fputs("parse_config: Value out of range for char in\n", stderr);
        std::fprintf(stderr, "\t%s\n", keyword.c_str());
        return;
    }
    *static_cast<char *>(entry.value) = static_cast<char>(*v);
    Mark(entry);
}

void StoreInteger(def_s &entry, const std::string &keyword, const char *text)
{
    const bool isShort = entry.type == PC_SHORT;
    const auto v = ParseInteger(text);
    if (!v) {
        std::fprintf(stderr, "parse_config: Expected an %s for\n", isShort ? "short" : "int");
        std::fprintf(stderr, "\t%s -> %s\n", keyword.c_str(), text);
        return;
    }
    if (isShort) {
        if (MagnitudeAtLeast(*v, 65536)) {
            std::fputs("parse_config: Value out of range for short in\n", stderr);
            std::fprintf(stderr, "\t%s\n", keyword.c_str());
        } else {
            *static_cast<int16_t *>(entry.value) = static_cast<int16_t>(*v);
        }
    } else {
        // Wider integers keep their low 32 bits.
        *static_cast<int32_t *>(entry.value) = static_cast<int32_t>(static_cast<uint32_t>(*v));
    }
    Mark(entry);
}

void StoreReal(def_s &entry, const std::string &keyword, const char *text)
{
    const bool isFloat = entry.type == PC_FLOAT;
    const auto v = ParseReal(text);
    if (!v) {
        std::fprintf(stderr, "parse_config: Expected a %s in\n", isFloat ? "float" : "double");
        std::fprintf(stderr, "\t%s -> %s\n", keyword.c_str(), text);
        return;
    }
    if (isFloat) {
        if (!FloatInRange(*v)) {
            std::fputs("parse_config: Value out of range for float in\n", stderr);
            std::fprintf(stderr, "\t%s\n", keyword.c_str());
        } else {
            *static_cast<float *>(entry.value) = static_cast<float>(*v);
        }
    } else {
        *static_cast<double *>(entry.value) = *v;
    }
    Mark(entry);
}

void StoreString(def_s &entry, const std::string &keyword, const char *text)
{
    if (*text != '"') {
        std::fputs("parse_config: Expected a string for\n", stderr);
        std::fprintf(stderr, "\t%s -> %s\n", keyword.c_str(), text);
        return;
    }
    const char *close = std::strchr(text + 1, '"');
    if (close == nullptr) {
        std::fputs("parse_config: Unbalanced quotes for\n", stderr);
        std::fprintf(stderr, "\t%s -> %s\n", keyword.c_str(), text + 1);
        return;
    }
    const std::string s(text + 1, close);
    if (entry.type == PC_STRING) {
        char *copy = strdup(s.c_str());
        if (copy == nullptr)
            return;
        entry.value = copy;
    } else {
        auto *buf = static_cast<char *>(entry.value);
        size_t n = s.size();
        if (entry.n_values > 0 && n >= static_cast<size_t>(entry.n_values))
            n = static_cast<size_t>(entry.n_values) - 1;
        std::memcpy(buf, s.data(), n);
        buf[n] = '\0';
    }
    Mark(entry);
}

void StoreIntegerArray(def_s &entry, const std::string &keyword, const char *text)
{
    const bool isShort = entry.type == PC_SHORT_ARRAY;
    std::vector<int16_t> shorts;
    std::vector<int32_t> ints;
    bool reportedRange = false;
    const auto pieces = SplitBlanks(text);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto v = ParseInteger(pieces[i].c_str());
        if (!v) {
            std::fprintf(stderr, "parse_config: Expected an %s value for\n", isShort ? "short" : "int");
            std::fprintf(stderr, "\t%s[%d] -> %s\n", keyword.c_str(), static_cast<int>(i), pieces[i].c_str());
            break;
        }
        if (!isShort) {
            ints.push_back(static_cast<int32_t>(static_cast<uint32_t>(*v)));
        } else if (MagnitudeAtLeast(*v, 65536)) {
            if (!reportedRange)
                std::fputs("parse_config: Value(s) out of range for a short:\n", stderr);
            reportedRange = true;
            std::fprintf(stderr, "\t%s[%d] -> %s\n", keyword.c_str(), static_cast<int>(i), pieces[i].c_str());
            shorts.push_back(0);
        } else {
            shorts.push_back(static_cast<int16_t>(*v));
        }
    }
    void *arr = isShort ? static_cast<void *>(NewArray(shorts)) : static_cast<void *>(NewArray(ints));
    if (arr == nullptr)
        return;
    *static_cast<void **>(entry.value) = arr;
    entry.n_values = static_cast<int>(isShort ? shorts.size() : ints.size());
    Mark(entry);
}

void StoreRealArray(def_s &entry, const std::string &keyword, const char *text)
{
    const bool isFloat = entry.type == PC_FLOAT_ARRAY;
    std::vector<float> floats;
    std::vector<double> doubles;
    bool reportedRange = false;
    const auto pieces = SplitBlanks(text);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto v = ParseReal(pieces[i].c_str());
        if (!v) {
            std::fputs("parse_config: Expected a float value for\n", stderr);
            std::fprintf(stderr, "\t%s[%d] -> %s\n", keyword.c_str(), static_cast<int>(i), pieces[i].c_str());
            break;
        }
        if (isFloat ? !FloatInRange(*v) : !DoubleInRange(*v)) {
            if (!reportedRange) {
                std::fprintf(stderr, "parse_config: Value out of range for %s in\n", isFloat ? "float" : "double");
                std::fprintf(stderr, "\t%s\n", keyword.c_str());
            }
            reportedRange = true;
            continue;
        }
        if (isFloat)
            floats.push_back(static_cast<float>(*v));
        else
            doubles.push_back(*v);
    }
    void *arr = isFloat ? static_cast<void *>(NewArray(floats)) : static_cast<void *>(NewArray(doubles));
    if (arr == nullptr)
        return;
    *static_cast<void **>(entry.value) = arr;
    entry.n_values = static_cast<int>(isFloat ? floats.size() : doubles.size());
    Mark(entry);
}

// A list of double-quoted strings; a '*' before a closing quote is dropped
// and the rest of the list is still read.
void StoreStringList(def_s &entry, const std::string &keyword, const char *text)
{
    std::vector<std::string> items;
    const char *p = text;
    int index = 0;
    for (;;) {
        while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        if (*p == '\0')
            break;
        if (*p != '"') {
            std::fputs("parse_config: Expected a string for\n", stderr);
            std::fprintf(stderr, "\t%s[%d] -> %s\n", keyword.c_str(), index, p);
            while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p)))
                ++p;
            ++index;
            continue;
        }
        const char *close = std::strchr(p + 1, '"');
        if (close == nullptr) {
            std::fputs("parse_config: Unbalanced quotes for\n", stderr);
            std::fprintf(stderr, "\t%s[%d] -> %s\n", keyword.c_str(), index, p);
            break;
        }
        std::string item(p + 1, close);
        if (!item.empty() && item.back() == '*')
            item.pop_back();
        items.push_back(std::move(item));
        p = close + 1;
        ++index;
    }

    auto **list = static_cast<char **>(std::calloc(items.size() + 1, sizeof(char *)));
    if (list == nullptr)
        return;
    for (size_t i = 0; i < items.size(); ++i) {
        list[i] = strdup(items[i].c_str());
        if (list[i] == nullptr) {
            for (size_t j = 0; j < i; ++j)
                std::free(list[j]);
            std::free(list);
            return;
        }
    }
    entry.value = list;
    entry.n_values = static_cast<int>(items.size());
    Mark(entry);
}

}  // namespace

void process_symbol(def_s &entry, const std::string &keyword, const char *text)
{
    switch (entry.type) {
    case PC_CHAR:
        StoreChar(entry, keyword, text);
        break;
    case PC_SHORT:
    case PC_INT:
        StoreInteger(entry, keyword, text);
        break;
    case PC_FLOAT:
    case PC_DOUBLE:
        StoreReal(entry, keyword, text);
        break;
    case PC_STRING_BUF:
    case PC_STRING:
        StoreString(entry, keyword, text);
        break;
    case PC_SHORT_ARRAY:
    case PC_INT_ARRAY:
        StoreIntegerArray(entry, keyword, text);
        break;
    case PC_FLOAT_ARRAY:
    case PC_DOUBLE_ARRAY:
        StoreRealArray(entry, keyword, text);
        break;
    case PC_STRING_LIST:
        StoreStringList(entry, keyword, text);
        break;
    default:
        std::fprintf(stderr, "parse_config: Unknown type expected in %s\n", keyword.c_str());
        break;
    }
}
