// Catalog rows of a request's range: fetched for a source whose catalog
// tables have no rows, before it is listed again.  No way of fetching rows
// is built in yet: every source reports that none could be fetched, and the
// dBASE catalog lists no entries.
#include "Promote.h"

int Promote::AutoGetMeta(KOMBRA_ULONG key)
{
    if (_autoPromoteMeta == sFalse)
        return 0;
    return PromoteMetaForSource(key, 0);
}

int Promote::PromoteMetaForSource(KOMBRA_ULONG, int)
{
    return 0;
}

KOMBRA_BOOL Promote::PromoteMeta()
{
    if (_data_sources.empty())
        return sFalse;
    bool all = true;
    for (size_t i = 0; i < _data_sources.size(); ++i) {
        _src_in_use = static_cast<int>(i);
        all = PromoteMetaForSource(_data_sources[i], static_cast<int>(i)) == 1 && all;
    }
    return all ? sTrue : sFalse;
}

int Promote::Tarvo_BuildDBList(int, FileStatusType, int)
{
    return 0;
}
