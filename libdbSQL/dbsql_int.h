// Internals shared by the sources of libdbSQL: the dispatch table of one
// back end and small copying helpers.
#pragma once

#include "dbBackends.h"

#include <cstring>
#include <string>

namespace dbsql {

// The entries of one back end, in the order of the front end's rows.  A null
// entry is a row that back end does not serve.
struct Backend {
    int (*_isLocal)();
    int (*_isReadOnly)();
    int (*_initializeMsg)();
    int (*_pack)();
    int (*_create)(const char *name);
    int (*_initialize)();
    void (*_databaseName)(const char *name);
    const char *(*_getDBName)();
    int (*_close)();
    DB_RESULT (*_query)(const char *sql);
    KOMBRA_ULONG (*_getDataKey)(const char *, const char *, const char *, const char *, const char *);
    const char *(*_virtualName)(KOMBRA_ULONG key);
    int (*_virtualName_r)(KOMBRA_ULONG key, char *vinst, int len);
    int (*_keyToStr)(KOMBRA_ULONG key, char *, char *, char *, char *, char *);
    int (*_keyToStr_r)(KOMBRA_ULONG key, char *, char *, char *, char *, char *);
    DB_RESULT (*_queryStore)(const char *sql);
    int (*_queryExec)(const char *sql);
    int (*_badQuery)();
    void (*_freeResult)(DB_RESULT result);
    DB_ROW (*_fetchRow)(DB_RESULT result);
    unsigned long (*_numberRows)(DB_RESULT result);
    unsigned int (*_numberFields)(DB_RESULT result);
    const char *(*_fieldName)(DB_RESULT result, int i);
    char *(*_errorMsg)();
    int (*_initializeRemoteMsg)(const char *, const char *, const char *, const char *, const unsigned int);
    int (*_connected)();
    int (*_NURVgetFile)(KOMBRA_ULONG, short, short, long, short, short, long, RequestedDataType, const char *,
                       char *, char *);
    // Bound statements for the shared SQL look-ups; none on Tarvo.
    int (*queryRows)(const char *sql, const std::vector<DbParam> &params, DbRows &rows);
    // The change state of the open catalog, for what the look-ups keep
    // between calls; none where the back end cannot tell (every look-up
    // then reads afresh).
    int (*catalogVersion)(CatalogVersion *version);
    // The span of a key's entries read directly; none where the file
    // look-up works it out in SQL.
    int (*catalogSpan)(const char *table, KOMBRA_ULONG key, CatalogSpan *span);
    // A read snapshot around one file look-up; none where each statement
    // stands alone.
    int (*readBegin)();
    void (*readEnd)();
};

// The back end chosen now.
const Backend &Current();

// Empties the name caches of the look-ups: their names belong to the catalog
// that was open when they were read.
void ForgetNames();

// Copies src into dst of size bytes, cut to fit and always terminated.
inline void CopyName(char *dst, std::size_t size, const std::string &src)
{
    if (dst == nullptr || size == 0)
        return;
    const std::size_t n = src.size() < size - 1 ? src.size() : size - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

inline std::string Text(const DbCell &cell)
{
    return cell ? *cell : std::string();
}

inline const char *OrEmpty(const char *s)
{
    return s != nullptr ? s : "";
}

}  // namespace dbsql
