// The error state of the library and its message table.
#include "dbf_int.h"

#include <cstdarg>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

int dbf_code = 0;

namespace libdb {

char msg[128] = "";
char MSG[128] = "";

void SetError(int code, const char *fmt, ...)
{
    dbf_code = code;
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(msg, sizeof msg, fmt, args);
    va_end(args);
}

void SetFileError(int code, const char *path)
{
    SetError(code, "'%s'", path);
}

void ClearError()
{
    dbf_code = 0;
    msg[0] = '\0';
}

}  // namespace libdb

namespace {

struct MessageRow {
    int code;
    const char *text;
};

constexpr MessageRow kMessages[] = {
    {DBF_NO_ERROR, "dbf: No error or warnings"},
    {DBF_FULL, "dbf: allocated databases full"},
    {DBF_NOT_XBASE, "dbf: not a xbase type file"},
    {DBF_REC_TOO_HIGH, "dbf: record number too high (out of range)"},
    {DBF_REC_TOO_LOW, "dbf: record number too low (out of range)"},
    {DBF_PARTIAL_READ, "dbf: partial read error"},
    {DBF_LSEEK, "dbf: lseek error"},
    {DBF_READ, "dbf: read error"},
    {DBF_WRITE, "dbf: write error"},
    {DBF_OPEN, "dbf: file open error"},
    {DBF_FIELD_TYPE, "dbf: unknown field type"},
    {DBF_UNKNOWN_FIELD, "dbf: unknown field"},
    {DBF_FIELD_VALUE, "dbf: field value error"},
    {DBF_FIELD_ERROR, "dbf: field error"},
    {DBF_NO_SUCH_HANDLE, "dbf: no such handle"},
    {DBF_EMPTY_HANDLE, "dbf: empty handle"},
    {DBF_NO_HANDLES, "dbf: no handles available"},
    {DBF_UNKNOWN_HANDLE, "dbf: unknown handle"},
    {DBF_BAD_SET, "dbf: invalid set command"},
    {DBF_BAD_SET_VALUE, "dbf: invalid set value"},
};

}  // namespace

const char *_dbf_msg(int code)
{
    for (const MessageRow &row : kMessages)
        if (row.code == code)
            return row.text;
    return "dbf: unknown error or warning code";
}

char *dbf_msg(void)
{
    const std::string line = std::string(_dbf_msg(dbf_code)) + ", " + libdb::msg;
    const size_t len = std::min(line.size(), sizeof libdb::MSG - 1);
    std::memcpy(libdb::MSG, line.data(), len);
    libdb::MSG[len] = '\0';
    libdb::ClearError();
    return libdb::MSG;
}
