// The catalog's file names: virtual-instrument name, begin year, day of
// year, hour and minute, and the type letter.
#include "dbsql_int.h"

#include <cstdio>

int MakeFileName(const char *vinst, unsigned short time_yr, unsigned short time_day, long time_msec, char tail,
                 char *loc, int len)
{
    const short hour = static_cast<short>(time_msec / 3600000);
    const short minute = static_cast<short>((time_msec % 3600000) / 60000);
    const std::size_t size = (loc != nullptr && len > 0) ? static_cast<std::size_t>(len) : 0;
    return std::snprintf(size > 0 ? loc : nullptr, size, "%s%04d%03d%02hd%02hd%c", dbsql::OrEmpty(vinst),
                         static_cast<int>(time_yr), static_cast<int>(time_day), hour, minute, tail);
}
