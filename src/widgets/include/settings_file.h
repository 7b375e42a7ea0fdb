/* The settings files of both programs: the line format, its reader and the
 * writer that replaces a file only once the new one is whole.
 *
 * A settings file holds one setting a line: the key, " = " and the value,
 * written as "%s = %d", "%s = %g" or "%s = %s" by the kind of widget.  A
 * reader takes the key before the first "=" and the value after it, both
 * stripped of white space.  Lines may be of any length; a UTF-8 byte-order
 * mark before the first is passed over.  Keys are matched exactly, case and
 * all; a line whose key names nothing in the table, and a line without "=",
 * set nothing and are handed to the caller to be named.  Numbers are
 * decimal: "0x10" is no number.
 *
 * Nothing here knows about widgets: this is the part that reads untrusted
 * text, kept free of the toolkit so that it can be fuzzed on its own. */
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

/* How a setting's value is written. */
enum class Form {
    Int = 0,  /* "%d": a combo index, a spin box, a time field or an integer edit */
    Real = 1, /* "%g": the edit's text read as a float, 6 significant digits */
    Text = 2  /* "%s": the text unchanged */
};

/* Statuses of replace_file. */
enum {
    SETTINGS_OK = 1,            /* the file was replaced */
    SETTINGS_OPEN_FAILED = -1,  /* the file (or a temporary beside it) cannot be written */
    SETTINGS_WRITE_FAILED = -2  /* a write, the close or the rename failed; the old file is kept */
};

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

/* Key and value of one line (its end of line already removed): the text
 * before and after the first "=", each stripped of blanks, tabs, carriage
 * returns and the other ASCII white space.  Views into line. */
KeyValue split_line(std::string_view line);

/* A line of a file whose key is keys[index], with its value; or a line that
 * sets nothing (index kNoKey: its key is none of keys; kNoEquals: it holds
 * no "="), with the whole line, stripped. */
struct Match {
    int index;
    std::string value;
};
inline constexpr int kNoKey = -1;
inline constexpr int kNoEquals = -2;

/* Every line of text (split at line feeds) but the blank ones, in file
 * order; the first entry of keys equal to a line's key is its match. */
std::vector<Match> match_lines(std::string_view text, std::span<const char *const> keys);

/* A whole base-10 integer with optional sign and blanks around it; 0 for
 * anything else, an int overflow included. */
int strict_int(std::string_view text);
/* The leading base-10 integer after optional blanks and sign, reading up to
 * the first other character; 0 without digits, clamped to the int range. */
int leading_int(std::string_view text);
/* The leading decimal number in single precision as the C locale writes
 * numbers, whatever the process's locale; 0 when there is none. */
float leading_float(std::string_view text);

/* What a number field's text holds, for the field's reader: nothing but
 * blanks (Empty, which reads as 0); one number its reader can hold, with
 * blanks around it only (Number); a number too large for the reader, not
 * finite, or for an integer field not a whole one (OutOfRange); anything
 * else, such as text after the number ("2,5", "5" and a NUL, "0x10") or no
 * number at all (NotANumber). */
enum class NumberText { Empty = 0, Number = 1, OutOfRange = 2, NotANumber = 3 };
NumberText real_text_kind(std::string_view text);
NumberText int_text_kind(std::string_view text);
/* True for Empty and Number. */
bool real_text_usable(std::string_view text);
bool int_text_usable(std::string_view text);

/* A value as it is echoed in a message: at most its first 60 bytes, with
 * control characters (a NUL among them) written as \0, \t or \xNN. */
std::string shown_value(std::string_view text);

/* One line of the file, ended by a line feed.  real_line prints like "%g"
 * in the C locale. */
std::string int_line(std::string_view key, int value);
std::string real_line(std::string_view key, float value);
std::string text_line(std::string_view key, std::string_view value);

/* The most a settings file may hold: far above any real one, which holds a
 * few kilobytes. */
inline constexpr long long kMaxSettingsBytes = 1 << 20;

/* The whole content of a file; false when it cannot be opened or read, is
 * not a regular file, or holds more than limit bytes (when limit is not
 * negative), which is found without reading it whole.  *size, when size is
 * not null, is the size found (0 when the file did not open). */
bool read_file(const std::string &path, std::string &contents, long long limit = -1, long long *size = nullptr);

/* Writes contents to a new file beside path and renames it over path only
 * when every write, the flush and the close succeeded; on failure the
 * temporary file is removed and an existing file at path is left as it was.
 * A new file gets the permissions the process would give it, a replaced
 * one keeps its own; a symbolic link is followed.  Returns SETTINGS_OK,
 * SETTINGS_OPEN_FAILED or SETTINGS_WRITE_FAILED; after a failure errno
 * holds the reason. */
int replace_file(const std::string &path, std::string_view contents);

} // namespace settings
