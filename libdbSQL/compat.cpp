// The older compatibility calls.
#include "dbsql_int.h"

int get_data_key(const char *project, const char *mission, const char *experiment, const char *instrument,
                 const char *virtual_, KOMBRA_ULONG *data_key)
{
    const KOMBRA_ULONG key = dbGetDataKey(project, mission, experiment, instrument, virtual_);
    if (data_key != nullptr)
        *data_key = key;
    return key != 0 ? 1 : SERVER_BAD_VIRTUAL;
}

int dbGetFile(KOMBRA_ULONG data_key, Time_t *btime, Time_t etime, RequestedDataType dataType, const char *exten,
              char *name1, char *name2)
{
    const Time_t begin = btime != nullptr ? *btime : Time_t{0, 0, 0};
    return dbNURVGetFile(data_key, static_cast<short>(begin.yr), static_cast<short>(begin.day), begin.msec,
                         static_cast<short>(etime.yr), static_cast<short>(etime.day), etime.msec, dataType, exten,
                         name1, name2);
}

char *db_msgs(void)
{
    return dbErrorMsg();
}
