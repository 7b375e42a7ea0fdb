// The shared last-error text of the SQL back ends and the file look-ups.
#include "dbBackends.h"

#include <cstdio>
#include <cstring>

namespace {

char _error_msg[DB_ERROR_SIZE];

}  // namespace

char *SetErrorString(const char *text)
{
    std::snprintf(_error_msg, sizeof _error_msg, "%s", text != nullptr ? text : "");
    return _error_msg;
}

char *GetErrorString(void)
{
    return _error_msg;
}

char *SQL_dbErrorMsg(void)
{
    return _error_msg;
}

char *CommonErrorString(const char *what, const char *message)
{
    std::snprintf(_error_msg, sizeof _error_msg, "ERROR: %s - %s!", what != nullptr ? what : "",
                  message != nullptr ? message : "");
    return _error_msg;
}
