// Meta promotion from a remote catalog: the rows of a remote MySQL
// catalog's entries tables for a source and the request's range, copied
// through the mirror catalog into the local catalog under the local data
// key.  The remote statement binds the source's names and the times; a
// remote result whose columns are not the catalog's is refused.
#include "MirrorDatabase.h"
#include "Promote.h"
#include "promote_int.h"

#include "libdbSQL.h"

#include <cstdio>
#include <cstring>
#include <string>

Promote::DBPromoteStatus Promote::PromoteMetaForSource_MYSQL(const char *which_server, KOMBRA_ULONG local_data_key,
                                                             const char *proj, const char *miss, const char *exp,
                                                             const char *inst, const char *vinst)
{
    char names[5][DB_VNAME_SIZE] = {};
    if (local_data_key == 0) {
        local_data_key = dbGetDataKey(proj, miss, exp, inst, vinst);
        const char *given[5] = {proj, miss, exp, inst, vinst};
        for (int i = 0; i < 5; ++i)
            std::snprintf(names[i], sizeof names[i], "%s", given[i] != nullptr ? given[i] : "");
    } else if (dbKeyToStrings(local_data_key, names[0], names[1], names[2], names[3], names[4]) != 1) {
        return DB_ERROR;
    }
    bool hd_rows = false;
    try {
        _mirror = new MirrorDatabase(which_server, "nurv");
        _mirror->BeginTransaction();
        for (const char *table : {"v_entries", "hd_entries"}) {
            const std::string sql =
                std::string("SELECT b_yr, b_day, b_msec, e_yr, e_day, e_msec, size, archive_label, archive_date FROM "
                            "hierarchy,") +
                table + " WHERE hierarchy.data_key=" + table +
                ".data_key AND project=? AND mission=? AND experiment=? AND instrument=? AND virtual=? AND "
                "BETWEEN_TIMES(b_yr, b_day, b_msec, e_yr, e_day, e_msec, ?, ?, ?, ?, ?, ?) > 0;";
            _mirror->SetTables(table, "");
            _mirror->RemoteSetQuery(
                sql.c_str(), {DbParam::Text(names[0]), DbParam::Text(names[1]), DbParam::Text(names[2]),
                              DbParam::Text(names[3]), DbParam::Text(names[4]), DbParam::Int(_btime->GetYear()),
                              DbParam::Int(_btime->GetDay()), DbParam::Int(_btime->GetMSec()),
                              DbParam::Int(_etime->GetYear()), DbParam::Int(_etime->GetDay()),
                              DbParam::Int(_etime->GetMSec())});
            _mirror->RemoteExecute();
            const unsigned long rows = _mirror->RemoteGetNumberRows();
            const unsigned columns = _mirror->RemoteGetNumberFields();
            // The remote result must have the catalog's own columns.
            if (columns != 9)
                throw "MirrorDatabase: the remote table's columns differ from the catalog's\n";
            for (unsigned c = 0; c < columns; ++c)
                if (std::strcmp(_mirror->RemoteGetFieldName(static_cast<int>(c)), kEntryColumns[c + 1]) != 0)
                    throw "MirrorDatabase: the remote table's columns differ from the catalog's\n";
            for (unsigned long r = 0; r < rows; ++r) {
                _mirror->LocalAddField("data_key");
                _mirror->LocalAddValue(static_cast<unsigned long>(local_data_key));
                for (unsigned c = 0; c < columns; ++c) {
                    _mirror->LocalAddField(kEntryColumns[c + 1]);
                    _mirror->LocalAddValue(_mirror->RemoteGetFieldValue(static_cast<int>(c)));
                }
                _mirror->LocalAddRow();
                _mirror->RemoteNextRow();
            }
            if (std::strcmp(table, "hd_entries") == 0)
                hd_rows = rows > 0;
            _mirror->EndRemoteQuery();
        }
        _mirror->EndTransaction();
        delete _mirror;
        _mirror = nullptr;
    } catch (const char *text) {
        std::fprintf(stderr, "PromoteMetaForSource_MySQL() Error: %s\n", text);
        if (_mirror != nullptr) {
            _mirror->EndRemoteQuery();
            _mirror->EndTransaction();
            delete _mirror;
            _mirror = nullptr;
        }
        return DB_ERROR;
    }
    return hd_rows ? DB_GOOD : DB_NO_DATA;
}
