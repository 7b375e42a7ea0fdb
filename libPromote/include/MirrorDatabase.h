// The mirror catalog: rows of a remote MySQL catalog copied into the local
// catalog (SQLite or MySQL, through the catalog front end).  Errors leave
// the operations as thrown texts (const char *).
#pragma once

#include "libdbSQL.h"

#include <optional>
#include <string>
#include <vector>

typedef struct st_mysql MYSQL;

class MirrorDatabase {
public:
    // Connects to server's database as the catalog reader (user pemrox, no
    // password, 10-second time-out); a failed connection is printed and the
    // first remote query fails.
    MirrorDatabase(const char *server, const char *database);
    ~MirrorDatabase();
    MirrorDatabase(const MirrorDatabase &) = delete;
    MirrorDatabase &operator=(const MirrorDatabase &) = delete;

    // One local transaction around the copy (SQLite only).
    void BeginTransaction();
    void EndTransaction();
    // The remote table and the local table it is copied into ("": the same
    // name); only the catalog's entries tables.
    void SetTables(const char *remote_table, const char *local_table);

    // The remote statement, its '?' marks taking params in order.
    void RemoteSetQuery(const char *query_str, std::vector<DbParam> params = {});
    void RemoteExecute();
    unsigned long RemoteGetNumberRows() const
    {
        return _remote_result ? static_cast<unsigned long>(_remote_result->size()) : 0;
    }
    unsigned RemoteGetNumberFields() const { return static_cast<unsigned>(_remote_fields.size()); }
    const char *RemoteGetFieldName(int column) const;
    // The column of the current row; none for SQL NULL or without a row.
    std::optional<std::string> RemoteGetFieldValue(int column) const;
    bool RemoteIsValueNum(int column) const;
    void RemoteNextRow();
    void EndRemoteQuery();

    // The pending local row: column names and values (texts trimmed of
    // blanks, tabs and line ends; none is SQL NULL).
    void LocalAddField(const char *fieldName);
    void LocalAddValue(unsigned long value);
    void LocalAddValue(const std::optional<std::string> &value);
    // Writes the pending row (REPLACE on the primary key) and empties it.
    void LocalAddRow();
    bool LocalTableExists(const char *table);
    // Creates the local table from the remote one's definition.
    void LocalAddTable(const char *remote_table, const char *local_table_name);
    void LocalForceAddTable(const char *table);

private:
    bool SameSchemas(const char *table);
    [[noreturn]] void Throw(const std::string &text);

    // A column description of the remote result.
    struct RemoteField {
        std::string name;
        int type = 0;  // MySQL type code
    };
    using RemoteRow = std::vector<std::optional<std::string>>;  // none: SQL NULL

    MYSQL *_remote_SQL = nullptr;
    std::optional<std::vector<RemoteRow>> _remote_result;  // the stored result, none without one
    size_t _remote_row = 0;                                // index of the current row; past the end after the last
    std::vector<RemoteField> _remote_fields;               // the result's columns
    std::string _remote_query;
    std::vector<DbParam> _remote_params;
    std::string _error_msg;
    std::string _remote_table, _local_table;
    std::vector<std::string> _fields;
    std::vector<std::optional<std::string>> _values;
};
