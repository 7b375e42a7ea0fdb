// Internals of the flat and CEF reader shared by its sources: the
// process-wide line layer (streams of the file and its INCLUDE files,
// logical lines, positions), the year state of two-digit years, the header
// passes and the record readers.
#pragma once

#include "kve_flat.h"

#include <cstdio>
#include <string>
#include <vector>

// Year state of two-digit years, reset by every header read.
struct KvYearState {
    long offset = -1;            // YY_OFFSET; -1 until given
    bool increasing = false;     // YEAR_INCREASING: two-digit years roll the century
    long last_yy = -2000000000;  // the last two-digit year read
};
extern KvYearState kv_reader_year;

// Limits of one read.
inline constexpr long kMaxReadVars = 100;
inline constexpr long kMaxReadGAttrs = 200;
inline constexpr long kMaxItems = 1000;
inline constexpr long kMaxTextLength = 65536;       // MAXSTRLEN and the like
inline constexpr long kMaxColumn = 1L << 20;        // COLUMN_START, COLUMN_WIDTH
inline constexpr long kMaxItemsPerRecord = 1L << 20; // product of SIZES
inline constexpr size_t kMaxPhysicalLine = 1 << 20; // longer physical lines are cut, with a warning
extern size_t kv_max_read_bytes;                     // all values of one variable; lowered by fuzzing

// ---- Line layer ---------------------------------------------------------------

// Sets up the line layer for a new read: no streams, INCLUDE names relative
// to dir, comment mark '!', end-of-line mark newline, header mode on, not
// corrupt; its messages go through `options`.
void KvLinesReset(const char *dir, KvOptions *options = nullptr);
// The name the messages give the file in slot 0 (its path).
void KvLinesNameFile(const std::string &path);
// 0, or KV_CORRUPT_FILE once a NUL byte or an INCLUDE loop was met: the
// line layer then gives no more lines, and the read fails.
int KvLinesStatus();
// Record lines of fixed columns: they keep their leading blanks, and a
// quote in them is text like any other character.
void KvLinesFixedColumns(bool on);
// The quoted texts of the file hold our escapes: its magic line carries
// kKvEscapesMark.  Off for every other file.
void KvLinesSetEscapes(bool on);
bool KvLinesEscapes();
// Errors and warnings of one read about its header values and records (a
// value its type cannot hold, a short record, a text too long): the first
// 20 go through KvDisplayMessage, later ones are counted.  Warnings (those
// of the line layer, KvReadWarning) have a cap of 20 of their own.
void KvReadError(const std::string &text, KvOptions *options);
// A warning of the read: through KvDisplayMessage and the host's alert box,
// or counted past the cap.
void KvReadWarning(const std::string &text);
// Warns, once for each owner (a variable's name, "global attribute NAME"),
// that a BYTE item above 127 is read as the signed byte it stands for.
void KvWarnSignedByte(const std::string &owner, long long value);
// Counts one such message; false when it is past the cap and is not to be
// given (nor made).
bool KvReadErrorShown();
// One line, "KVE Warning: N more warnings and errors of this read not
// shown", through KvDisplayMessage and the host's alert box, when the caps
// held any back.
void KvLinesReportUnshown();
// Closes every stream in slots 0..last (those of `keep` are left open) and
// empties the tables.
void KvLinesCloseAll(FILE *keep);
// Makes fp slot 0 (and the current slot); the last slot becomes 0.
void KvLinesSetFile(FILE *fp);
FILE *KvLinesCurrentStream();
void KvLinesSetEndOfLine(char mark);
void KvLinesSetComment(char mark);
char KvLinesComment();
void KvLinesSetCef2(bool on);
bool KvLinesCef2();
// In header mode INCLUDE keys are followed; records never include.
void KvLinesSetHeaderMode(bool on);

// Next logical line (continuations joined, comments dropped, INCLUDE files
// followed), or null at the end of all files.  The text stays valid until
// the next call.  A non-empty marker drops every line up to and including
// the first that contains it, then is emptied in place.
const char *KvReadLine(char *marker);
// Next physical line of fp in a shared buffer, or null at its end.
const char *KvGetLine(FILE *fp);
int Kvfgetpos(fpos_t *pos, int *slot);
int Kvfsetpos(const fpos_t *pos, int slot);
int KvFindAlreadyOpen(const char *name, int *slot);

// Key (before the first '=') and value (after it, up to a '!' outside
// double quotes); 133 when the line holds no key.
int KvParseParamValue(const char *line, std::string &key, std::string &value);
// The delimiter-separated items of a text (empty items skipped; stops at
// an item beginning '!', and after `limit` items: the cap of one attribute
// or entry value by default, a record's own count of values for a record).
std::vector<std::string> KvSplitItems(char delim, const std::string &text, bool quoted, long limit = kMaxItems);
// Upper-case copy of a string.
std::string KvUpper(const std::string &text);

// ---- Header ----------------------------------------------------------------

int KvReadHeader(KvCDFContents *contents, KvOptions *options, KvRecord_format *format, FILE *fp);
int KvConfigureRead(KvCDFContents *contents, KvOptions *options, KvRecord_format *format);
int KvFindVersion(KvOptions *options);
int KvReadGlobalFlat(KvCDFContents *contents, KvOptions *options, const char *name);
int KvSetEntry(KvGAttrEntry *entry, const char *value, long size, char delim);
int KvReadVmeta(KvCDFContents *contents, KvOptions *options, KvRecord_format *format);
int KvGetDataType(KvCDFContents *contents, long *size, KvOptions *options, KvRecord_format *format, long index);
int KvText_to_Attr(KvCDFContents *contents, KvOptions *options, const char *key, const char *value, long index,
                   long attr);

// Stores one number of a data type read from text at `at`; false for text
// that is not wholly a number (blanks around it allowed), a number that
// the type cannot hold, or a type that is not numeric.
bool KvStoreNumber(long type, const std::string &text, void *at);
// Integers: a whole base-10 integer of 64 bits, the range check of an
// integer type (BYTE holds 128 to 255 too, as the signed byte they stand
// for), and the unsigned type of the same width as a signed INT (0 for
// other types): an INT item beyond the signed range is kept in it when
// nothing negative sits beside it.
bool KvIsIntegerType(long type);
bool KvParseInteger(const std::string &text, long long *value);
bool KvIntegerFits(long type, long long value);
long KvUnsignedOf(long type);
void KvPutInteger(long type, long long value, void *at);
// Stores items of a numeric type one after the other at `out` (room for
// each at its element size); an integer type turns unsigned (*type) when
// only that holds every item that is a number.  False when an item is not
// a number the type (or its unsigned form) holds; with `refused`, such
// items are left out and named there instead, and false only when none is
// left.  *signedByte gets the first BYTE item above 127 stored.
bool KvStoreNumbers(long *type, const std::vector<std::string> &items, unsigned char *out,
                    std::vector<std::string> *refused = nullptr, long long *signedByte = nullptr);
// A text value of a header or record as stored: one quoted item unquoted
// (its escapes turned back in a file of ours that has them); in CEF 2 any
// other item loses its quotes as before; else unchanged.
std::string KvTextValue(const std::string &item, bool caa);
// Bytes one element of a data type takes in memory as the reader holds it.
long KvReadElementSize(long type);
bool KvIsTextType(long type);

// ---- Records ---------------------------------------------------------------

int KvReadData(KvCDFContents *contents, KvRecord_format *format, KvOptions *options);
int KvReadRecsTabular(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, long record);
int KvReadRecsParsed(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, long record);
int KvReadRecsExchange(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, long record);
int KvReadRecsCAA(KvCDFContents *contents, KvRecord_format *format, KvOptions *options, long record);
int KvReadVarData(KvCDFVariable **vars, long index, const char *text, long n, KvOptions *options);
