/* The settings-file line format, its reader and the replacing writer. */
#include "settings_file.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settings {

namespace {

constexpr std::string_view kSpace = " \t\n\v\f\r";

/* The C locale for number reading, made once. */
locale_t c_locale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

std::string_view strip(std::string_view s)
{
    const size_t first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

/* The length of the decimal number at the start of text, after blanks and
 * an optional sign, and its value in *value; 0 (and *value 0) when text
 * starts with none.  Only decimal digits, a decimal point and a decimal
 * exponent make a number (and "inf" and "nan" as the C library writes
 * them): "0x10" is the number 0 followed by text.  The C locale's form,
 * whatever locale the process runs in.  A number beyond a double's range
 * is an infinity of its sign, one too small for it zero. */
std::size_t decimal_prefix(std::string_view text, double *value)
{
    *value = 0;
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return 0;
    const char *begin = text.data() + first;
    const char *const end = text.data() + text.size();
    /* from_chars takes a minus sign only. */
    if (*begin == '+' && end - begin > 1 && begin[1] != '-' && begin[1] != '+')
        ++begin;
    double v = 0;
    const auto [at, ec] = std::from_chars(begin, end, v, std::chars_format::general);
    if (ec == std::errc::invalid_argument)
        return 0;
    if (ec == std::errc::result_out_of_range) {
        /* The span is a decimal number: strtod in the C locale gives it as
         * the C library rounds it, an infinity or zero of its sign. */
        const std::string number(begin, at);
        v = strtod_l(number.c_str(), nullptr, c_locale());
    }
    *value = v;
    return static_cast<std::size_t>(at - text.data());
}

} // namespace

KeyValue split_line(std::string_view line)
{
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        const std::string_view whole = strip(line);
        return {whole, whole};
    }
    return {strip(line.substr(0, eq)), strip(line.substr(eq + 1))};
}

std::vector<Match> match_lines(std::string_view text, std::span<const char *const> keys)
{
    /* A byte-order mark that an editor put before the first key. */
    constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    std::vector<Match> matches;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        const std::string_view whole = strip(line);
        if (whole.empty())
            continue;
        if (whole.find('=') == std::string_view::npos) {
            matches.push_back({kNoEquals, std::string(whole)});
            continue;
        }
        const KeyValue kv = split_line(line);
        int index = kNoKey;
        for (size_t i = 0; i < keys.size() && index == kNoKey; ++i)
            if (kv.key == keys[i])
                index = static_cast<int>(i);
        matches.push_back({index, std::string(index == kNoKey ? whole : kv.value)});
    }
    return matches;
}

int strict_int(std::string_view text)
{
    text = strip(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return 0;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return 0;
    return value;
}

int leading_int(std::string_view text)
{
    size_t at = text.find_first_not_of(kSpace);
    if (at == std::string_view::npos)
        return 0;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-')
        negative = text[at++] == '-';
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int>(value);
}

float leading_float(std::string_view text)
{
    double value = 0;
    decimal_prefix(text, &value);
    /* Beyond a float's range as strtof has it: an infinity of its sign. */
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

NumberText real_text_kind(std::string_view text)
{
    const std::string_view stripped = strip(text);
    if (stripped.empty())
        return NumberText::Empty;
    /* Read in double precision, so that a value beyond a float's range is
     * seen as what it is rather than as the float's infinity.  Anything
     * after the number (a NUL among it) makes the text no number. */
    double value = 0;
    if (decimal_prefix(stripped, &value) != stripped.size())
        return NumberText::NotANumber;
    return std::isfinite(value) && std::fabs(value) <= FLT_MAX ? NumberText::Number : NumberText::OutOfRange;
}

NumberText int_text_kind(std::string_view text)
{
    const NumberText kind = real_text_kind(text);
    if (kind == NumberText::Empty || kind == NumberText::NotANumber)
        return kind;
    std::string_view digits = strip(text);
    if (digits.front() == '+')
        digits.remove_prefix(1);
    int value = 0;
    const auto [at, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    return ec == std::errc() && at == digits.data() + digits.size() ? NumberText::Number : NumberText::OutOfRange;
}

bool real_text_usable(std::string_view text)
{
    const NumberText kind = real_text_kind(text);
    return kind == NumberText::Empty || kind == NumberText::Number;
}

bool int_text_usable(std::string_view text)
{
    const NumberText kind = int_text_kind(text);
    return kind == NumberText::Empty || kind == NumberText::Number;
}

std::string shown_value(std::string_view text)
{
    constexpr std::size_t kShown = 60;
    std::string shown;
    for (const char c : text.substr(0, kShown)) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0) {
            shown += "\\0";
        } else if (b == '\t') {
            shown += "\\t";
        } else if (b < 0x20 || b == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            shown += hex;
        } else {
            shown += c;
        }
    }
    if (text.size() > kShown)
        shown += "...";
    return shown;
}

std::string int_line(std::string_view key, int value)
{
    return std::string(key) + " = " + std::to_string(value) + "\n";
}

std::string real_line(std::string_view key, float value)
{
    /* to_chars with a precision formats as printf's "%g" does in the C
     * locale, whatever locale the process runs in. */
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
    return std::string(key) + " = " + std::string(buf, result.ptr) + "\n";
}

std::string text_line(std::string_view key, std::string_view value)
{
    return std::string(key) + " = " + std::string(value) + "\n";
}

bool read_file(const std::string &path, std::string &contents, long long limit, long long *size)
{
    if (size != nullptr)
        *size = 0;
    /* Only a regular file: the open of a FIFO would wait for a writer, and
     * a device such as /dev/zero never ends.  O_NONBLOCK keeps the open
     * itself from waiting. */
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    if (size != nullptr)
        *size = st.st_size;
    if (limit >= 0 && st.st_size > limit) {
        ::close(fd);
        return false;
    }
    std::FILE *in = ::fdopen(fd, "rb");
    if (in == nullptr) {
        ::close(fd);
        return false;
    }
    contents.clear();
    char buf[8192];
    size_t n;
    /* A file that grows while it is read stops being read past the limit. */
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        contents.append(buf, n);
        if (limit >= 0 && static_cast<long long>(contents.size()) > limit)
            break;
    }
    const bool ok = std::ferror(in) == 0;
    std::fclose(in);
    if (limit >= 0 && static_cast<long long>(contents.size()) > limit) {
        if (size != nullptr)
            *size = static_cast<long long>(contents.size());
        contents.clear();
        return false;
    }
    return ok;
}

int replace_file(const std::string &path, std::string_view contents)
{
    if (path.empty()) {
        errno = ENOENT;
        return SETTINGS_OPEN_FAILED;
    }

    /* Replace what a link points at, not the link. */
    std::string target = path;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }

    /* A file we could not open for writing is refused as it was before the
     * writer went through a temporary file. */
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return SETTINGS_OPEN_FAILED;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return SETTINGS_OPEN_FAILED;

    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return SETTINGS_OPEN_FAILED;

    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    int error = ok ? 0 : errno;

    const char *data = contents.data();
    size_t left = contents.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) {
        error = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = error;
        return SETTINGS_WRITE_FAILED;
    }
    return SETTINGS_OK;
}

} // namespace settings
