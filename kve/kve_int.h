// Internals shared by the sources of the exchange library.
#pragma once

#include "kve_meta.h"

#include <string>

// Frees one global attribute deeply.
void KvFreeGlobalAttribute(KvGlobalAttribute *attr);
// Appends an attribute to the data set's growing array; 0 or KV_GATTR_FULL
// when memory runs out (the attribute is then left to the caller).
int KvPushGlobalAttr(KvCDFContents *contents, KvGlobalAttribute *attr);
// Time text of an epoch, as KvEpochToISOString, into a string.
std::string KvEpochText(double epoch, char separator);
// printf into a std::string.
std::string KvFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Full path of directory + name + extension as KvOpenFile builds it.
std::string KvJoinPath(const char *dir, const char *name, const char *extn);

// The data of a variable hold every value of every dimension over its
// records, record by record in row-major order, a dimension that does not
// vary repeated: the one layout of the data set, written and read so by
// every writer and reader.
//
// The data are the caller's, taken for what that shape says, as any C
// interface takes its buffers: nothing asks the allocator how large they
// are.
//
// Bytes of one value as the data hold it (num_elems characters for text
// types); 0 for a type the writers do not know.
long KvValueBytes(const KvCDFVariable *v);
// Values of that layout over the given records (SIZE_MAX on overflow).
size_t KvShapeValues(const KvCDFVariable *v, long records);
// 0, or `status` after the message "KVE Error: variable %s: its shape
// passes what memory holds" for the first variable with data whose shape
// over the data set's records is more bytes than memory can address.  The
// message goes through KvDisplayMessage and is kept as the reason why
// `path` was not written (KvLastFileError).
int KvCheckDataShapes(const KvCDFContents *c, KvOptions *o, int status, const std::string &path);

// A missing time: the epoch the writers and readers use for it (CDF's fill
// value of EPOCH), written as the text of the last millisecond of 9999 and
// read back from any text of that last second.
inline constexpr double kKvFillEpoch = -1.0e31;

// Text values that the delimited layouts carry: a text is written inside
// double quotes (a quote in it doubled) when bare it would not read back:
// empty, blanks at either end, or holding the delimiter, a quote, '!', the
// record-end mark or a character the line layer does not give back (a line
// end, CR, FF, VT, BEL); a record value also when it begins with '&' (the
// mark that skips lines) or holds '=' (a keyword line where no header
// stands before it).
//
// A file that holds such a character in a text is marked as ours:
// kKvEscapesMark ends its magic line, a comment to any other reader.  Only
// there are escapes written (`escapes`): inside the quotes those characters
// are a backslash and three octal digits ("a\012b"), as is a backslash that
// comes before three octal digits ("\134").  Only in a file so marked does
// the reader turn escapes back: the texts of other writers' files, and of
// our files written before the mark, read as stored, and a file without
// such a character holds its backslashes as they are.  Bare text is never
// unescaped.
inline constexpr char kKvEscapesMark[] = "@octal-escapes";
bool KvTextNeedsQuotes(const std::string &text, char delim, char rec_end, bool record = false);
bool KvTextNeedsEscapes(const std::string &text);
std::string KvQuoted(const std::string &text, bool escapes);
// The text of one quoted item (blanks around it allowed, doubled quotes
// single again, escapes turned back when the file has them); false when
// the item is not one quoted text (text after its closing quote, or none).
bool KvOneQuoted(const std::string &item, std::string *text, bool escapes);

// The text KvLastFileError gives: clearing it, and keeping "<what> <path>:
// <reason>" (the reason the system's text of an errno, or a text).
void KvClearFileError();
void KvNoteFileError(const char *what, const std::string &path, int error);
void KvNoteFileError(const char *what, const std::string &pathAndReason);
