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
