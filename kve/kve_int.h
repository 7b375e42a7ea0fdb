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

// The layout a variable's data hold, told by the size of their block:
// every value of every dimension (the project's own), only the values of
// its varying dimensions (a dimension that does not vary counted once), or
// fewer than either.  The data set holds its data in blocks of malloc, so
// the block's size is known (malloc_usable_size); a layout is taken when the
// block holds at least its bytes, and where the allocator's rounding of a
// small block leaves both possible, every dimension is taken when the
// values repeat along the dimensions that do not vary.  *values is the
// number of values of valueBytes bytes the layout reads over the given
// records (for kShort, what the block holds).  Reads nothing past the block.
enum class KvDataLayout { kEveryDimension, kVaryingOnly, kShort };
KvDataLayout KvDataLayoutOf(const KvCDFVariable *v, long records, size_t valueBytes, size_t *values);
// Replaces data that hold only the varying values over the data set's
// records by every value of every dimension, repeated along the dimensions
// that do not vary: 0, or -1 (nothing changed) when the data are shorter
// than both layouts or memory runs out.
int KvDataToEveryDimension(const KvCDFContents *c, KvCDFVariable *v);
