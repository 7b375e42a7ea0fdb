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
// Bytes of one value as the data hold it (num_elems characters for text
// types); 0 for a type the writers do not know.
long KvValueBytes(const KvCDFVariable *v);
// Values of that layout over the given records (SIZE_MAX on overflow).
size_t KvShapeValues(const KvCDFVariable *v, long records);
// Values of valueBytes bytes the block of the data can hold.  The data set
// holds its data in blocks of malloc, whose size is known; it is only a
// guard against data visibly shorter than their shape, never a source of
// their layout.
size_t KvHeldValues(const KvCDFVariable *v, size_t valueBytes);
// 0, or `status` after the message "KVE Error: variable %s holds %zu
// values, fewer than its shape needs" (through KvDisplayMessage, or on the
// standard output when o is null) for the first variable whose block is
// smaller than its shape over the data set's records.
int KvCheckDataShapes(const KvCDFContents *c, KvOptions *o, int status);

// The text KvLastFileError gives: clearing it, and keeping "<what> <path>:
// <reason>" (the reason the system's text of an errno, or a text).
void KvClearFileError();
void KvNoteFileError(const char *what, const std::string &path, int error);
void KvNoteFileError(const char *what, const std::string &pathAndReason);
