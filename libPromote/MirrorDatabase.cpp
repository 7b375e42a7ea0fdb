// The mirror catalog: a connection to a remote MySQL catalog, the result of
// its last statement, and the rows written into the local catalog.  The
// copy of a source's rows is Promote::PromoteMetaForSource_MYSQL
// (ALL_DB_inc.cpp).
//
// The remote server is outside the system: its values reach the local
// catalog only as bound parameters, under the catalog's own column names
// and table names (a remote result with other columns is refused), and an
// SQL NULL stays NULL.  The remote statement binds the source's names.
#include "MirrorDatabase.h"
#include "promote_int.h"

#include "libdbSQL.h"

#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool EntriesTable(const std::string &name)
{
    return name == "v_entries" || name == "hd_entries";
}

bool EntryColumn(const std::string &name)
{
    return std::any_of(std::begin(kEntryColumns), std::end(kEntryColumns),
                       [&name](const char *c) { return name == c; });
}

std::string Trimmed(const std::string &text)
{
    const char *blank = " \t\r\n";
    const size_t first = text.find_first_not_of(blank);
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(blank) - first + 1);
}

}  // namespace

MirrorDatabase::MirrorDatabase(const char *server, const char *database)
{
    MYSQL *handle = mysql_init(nullptr);
    if (handle == nullptr) {
        _error_msg = "MirrorDatabase::MirrorDatabase(): mysql_init - Out of memory?\n";
        std::fprintf(stderr, "%s\n", _error_msg.c_str());
        return;
    }
    const unsigned int timeout = 10;
    mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    if (mysql_real_connect(handle, server, "pemrox", "", database, 0, nullptr, 0) == nullptr) {
        _error_msg = std::string("MirrorDatabase::MirrorDatabase(): mysql_real_connect - ") + mysql_error(handle) + "\n";
        mysql_close(handle);
        std::fprintf(stderr, "%s\n", _error_msg.c_str());
        return;
    }
    _remote_SQL = handle;
}

MirrorDatabase::~MirrorDatabase()
{
    EndRemoteQuery();
    if (_remote_SQL != nullptr)
        mysql_close(_remote_SQL);
}

void MirrorDatabase::Throw(const std::string &text)
{
    _error_msg = text;
    throw _error_msg.c_str();
}

void MirrorDatabase::BeginTransaction()
{
    if (dbGetDatabaseType() == SQLite && dbQueryExec("BEGIN TRANSACTION") != 1)
        std::fprintf(stderr, "MirrorDatabase::BeginTransaction - begin transaction error: %s\n", dbErrorMsg());
}

void MirrorDatabase::EndTransaction()
{
    if (dbGetDatabaseType() == SQLite && dbQueryExec("COMMIT TRANSACTION") != 1)
        std::fprintf(stderr, "MirrorDatabase::EndTransaction - end transaction error: %s\n", dbErrorMsg());
}

void MirrorDatabase::SetTables(const char *remote_table, const char *local_table)
{
    _remote_table = remote_table != nullptr ? remote_table : "";
    _local_table = local_table != nullptr && *local_table != '\0' ? local_table : _remote_table;
}

void MirrorDatabase::RemoteSetQuery(const char *query_str, std::vector<DbParam> params)
{
    _remote_query = query_str != nullptr ? query_str : "";
    _remote_params = std::move(params);
}

void MirrorDatabase::RemoteExecute()
{
    EndRemoteQuery();
    if (_remote_SQL == nullptr) {
        std::fprintf(stderr, "%s\n", _error_msg.c_str());
        Throw("MirrorDatabase::RemoteExecute() - Database not connected\n");
    }
    auto failed = [this](const char *message) {
        Throw(std::string("MirrorDatabase::RemoteExecute(): ") + message + "\n");
    };
    std::unique_ptr<MYSQL_STMT, decltype(&mysql_stmt_close)> statement(mysql_stmt_init(_remote_SQL),
                                                                       mysql_stmt_close);
    if (!statement)
        failed(mysql_error(_remote_SQL));
    if (mysql_stmt_prepare(statement.get(), _remote_query.c_str(), _remote_query.size()) != 0)
        failed(mysql_stmt_error(statement.get()));
    std::vector<MYSQL_BIND> binds(_remote_params.size(), MYSQL_BIND{});
    std::vector<long long> integers(_remote_params.size(), 0);
    for (size_t i = 0; i < _remote_params.size(); ++i) {
        DbParam &p = _remote_params[i];
        if (p.kind == DbParam::Kind::Text) {
            binds[i].buffer_type = MYSQL_TYPE_STRING;
            binds[i].buffer = p.text.data();
            binds[i].buffer_length = static_cast<unsigned long>(p.text.size());
        } else if (p.kind == DbParam::Kind::Null) {
            binds[i].buffer_type = MYSQL_TYPE_NULL;
        } else {
            integers[i] = p.integer;
            binds[i].buffer_type = MYSQL_TYPE_LONGLONG;
            binds[i].buffer = &integers[i];
        }
    }
    if ((!binds.empty() && mysql_stmt_bind_param(statement.get(), binds.data()) != 0) ||
        mysql_stmt_execute(statement.get()) != 0)
        failed(mysql_stmt_error(statement.get()));
    MYSQL_RES *meta = mysql_stmt_result_metadata(statement.get());
    if (meta == nullptr)
        failed(mysql_stmt_error(statement.get()));
    const unsigned columns = mysql_num_fields(meta);
    const MYSQL_FIELD *fields = mysql_fetch_fields(meta);
    for (unsigned c = 0; c < columns; ++c) {
        _remote_fields.push_back({fields[c].name != nullptr ? fields[c].name : "", static_cast<int>(fields[c].type)});
    }
    mysql_free_result(meta);

    // Every column fetched as text, then its whole length.
    std::vector<MYSQL_BIND> out(columns, MYSQL_BIND{});
    std::vector<unsigned long> lengths(columns, 0);
    std::vector<my_bool> nulls(columns, 0);
    std::vector<std::vector<char>> buffers(columns, std::vector<char>(64));
    for (unsigned c = 0; c < columns; ++c) {
        out[c].buffer_type = MYSQL_TYPE_STRING;
        out[c].buffer = buffers[c].data();
        out[c].buffer_length = static_cast<unsigned long>(buffers[c].size());
        out[c].length = &lengths[c];
        out[c].is_null = &nulls[c];
    }
    if (columns > 0 && mysql_stmt_bind_result(statement.get(), out.data()) != 0)
        failed(mysql_stmt_error(statement.get()));
    if (mysql_stmt_store_result(statement.get()) != 0)
        failed(mysql_stmt_error(statement.get()));
    std::vector<RemoteRow> rows;
    for (;;) {
        const int rc = mysql_stmt_fetch(statement.get());
        if (rc == MYSQL_NO_DATA)
            break;
        if (rc == 1)
            failed(mysql_stmt_error(statement.get()));
        RemoteRow row(columns);
        for (unsigned c = 0; c < columns; ++c) {
            if (nulls[c])
                continue;
            std::string text(lengths[c], '\0');
            if (lengths[c] <= buffers[c].size()) {
                std::memcpy(text.data(), buffers[c].data(), lengths[c]);
            } else {
                MYSQL_BIND whole{};
                whole.buffer_type = MYSQL_TYPE_STRING;
                whole.buffer = text.data();
                whole.buffer_length = lengths[c];
                if (mysql_stmt_fetch_column(statement.get(), &whole, c, 0) != 0)
                    failed(mysql_stmt_error(statement.get()));
            }
            row[c] = std::move(text);
        }
        rows.push_back(std::move(row));
    }
    _remote_result = std::move(rows);
    _remote_row = 0;
}

const char *MirrorDatabase::RemoteGetFieldName(int column) const
{
    return column >= 0 && static_cast<size_t>(column) < _remote_fields.size()
               ? _remote_fields[static_cast<size_t>(column)].name.c_str()
               : "";
}

std::optional<std::string> MirrorDatabase::RemoteGetFieldValue(int column) const
{
    if (!_remote_result || _remote_row >= _remote_result->size() || column < 0)
        return std::nullopt;
    const RemoteRow &row = (*_remote_result)[_remote_row];
    if (static_cast<size_t>(column) >= row.size())
        return std::nullopt;
    return row[static_cast<size_t>(column)];
}

bool MirrorDatabase::RemoteIsValueNum(int column) const
{
    if (column < 0 || static_cast<size_t>(column) >= _remote_fields.size())
        return false;
    const int type = _remote_fields[static_cast<size_t>(column)].type;
    return (type >= MYSQL_TYPE_DECIMAL && type <= MYSQL_TYPE_INT24) || type == MYSQL_TYPE_YEAR ||
           type == MYSQL_TYPE_NEWDECIMAL;
}

void MirrorDatabase::RemoteNextRow()
{
    if (!_remote_result)
        Throw("MirrorDatabase::RemoteNextRow() = _remote_result = NULL\n");
    if (_remote_row < _remote_result->size())
        ++_remote_row;
}

void MirrorDatabase::EndRemoteQuery()
{
    _remote_result.reset();
    _remote_fields.clear();
    _remote_row = 0;
}

void MirrorDatabase::LocalAddField(const char *fieldName)
{
    _fields.emplace_back(fieldName != nullptr ? fieldName : "");
}

void MirrorDatabase::LocalAddValue(unsigned long value)
{
    _values.emplace_back(std::to_string(value));
}

void MirrorDatabase::LocalAddValue(const std::optional<std::string> &value)
{
    _values.push_back(value ? std::optional<std::string>(Trimmed(*value)) : std::nullopt);
}

void MirrorDatabase::LocalAddRow()
{
    if (_fields.size() != _values.size())
        Throw("MirrorDatabase::LocalAddRow() - There should be the same number of fields and values used.\n");
    const std::vector<std::string> fields = std::move(_fields);
    const std::vector<std::optional<std::string>> values = std::move(_values);
    _fields.clear();
    _values.clear();
    if (!EntriesTable(_local_table))
        Throw("MirrorDatabase::LocalAddRow() - not a catalog entries table: " + _local_table + "\n");
    std::string columns, marks;
    std::vector<DbParam> params;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!EntryColumn(fields[i]))
            Throw("MirrorDatabase::LocalAddRow() - not a column of the catalog's entries: " + fields[i] + "\n");
        columns += (i > 0 ? ", " : "") + fields[i];
        marks += i > 0 ? ", ?" : "?";
        params.push_back(DbParam::Cell(values[i]));
    }
    const std::string sql = "REPLACE INTO " + _local_table + "(" + columns + ") VALUES (" + marks + ");";
    DbRows none;
    if (dbQueryRows(sql.c_str(), params, none) != 1)
        Throw(std::string("MirrorDatabase::LocalAddRow() - ") + dbErrorMsg() + "\n");
}

bool MirrorDatabase::LocalTableExists(const char *table)
{
    if (table == nullptr || !EntriesTable(table))
        return false;
    DbRows rows;
    return dbQueryRows((std::string("SELECT * FROM ") + table + " LIMIT 1;").c_str(), {}, rows) == 1;
}

void MirrorDatabase::LocalAddTable(const char *remote_table, const char *local_table_name)
{
    if (_remote_SQL == nullptr)
        Throw("MirrorDatabase::LocalAddTable() - Database not connected\n");
    SetTables(remote_table, local_table_name);
    if (!EntriesTable(_remote_table) || !EntriesTable(_local_table))
        Throw("MirrorDatabase::LocalAddTable() - not a catalog entries table\n");
    auto remote = [this](const std::string &sql) {
        if (mysql_query(_remote_SQL, sql.c_str()) != 0)
            Throw(std::string("MirrorDatabase::LocalAddTable() - mysql_query: ") + mysql_error(_remote_SQL) + "\n");
        MYSQL_RES *result = mysql_store_result(_remote_SQL);
        if (result == nullptr)
            Throw(std::string("MirrorDatabase::LocalAddTable() - mysql_store_result: ") + mysql_error(_remote_SQL) +
                  "\n");
        return std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)>(result, mysql_free_result);
    };
    remote("SELECT * FROM " + _remote_table + " LIMIT 1");
    if (LocalTableExists(_local_table.c_str()))
        return;
    std::string create;
    {
        const auto result = remote("SHOW CREATE TABLE " + _remote_table);
        MYSQL_ROW row = mysql_fetch_row(result.get());
        if (row == nullptr || mysql_num_fields(result.get()) < 2 || row[1] == nullptr)
            Throw("MirrorDatabase::LocalAddTable() - row is empty\n");
        create = row[1];
    }
    if (dbGetDatabaseType() == SQLite) {
        // The MySQL statement as SQLite takes it: no backquotes, no table
        // options, the local name, and each KEY as an index of its own.
        create.erase(std::remove(create.begin(), create.end(), '`'), create.end());
        const size_t close = create.rfind(')');
        if (close != std::string::npos)
            create.resize(close + 1);
        const size_t second = create.find(' ', create.find(' ') + 1);
        const size_t third = second != std::string::npos ? create.find(' ', second + 1) : std::string::npos;
        if (third != std::string::npos)
            create.replace(second + 1, third - second, _local_table + " ");
        size_t key = create.find("KEY");
        if (key != std::string::npos) {
            const size_t comma = create.rfind(',', key);
            if (comma != std::string::npos)
                create.replace(comma, 1, ");");
        }
        for (int n = 1; (key = create.find("KEY")) != std::string::npos; ++n) {
            create.replace(key, 3, "CREATE INDEX");
            const size_t b2 = create.find(' ', create.find(' ', key) + 1);
            const size_t b3 = b2 != std::string::npos ? create.find(' ', b2 + 1) : std::string::npos;
            if (b3 == std::string::npos)
                break;
            create.replace(b2 + 1, b3 - b2, _local_table + "_index" + std::to_string(n) + " ON " + _local_table);
            if (create.size() >= 2)
                create.replace(create.size() - 2, 2, ";");
        }
    }
    if (dbQueryExec(create.c_str()) != 1)
        Throw(std::string("MirrorDatabase::LocalAddTable() - dbQueryExec: ") + dbErrorMsg() + "\n");
}

void MirrorDatabase::LocalForceAddTable(const char *table)
{
    if (table == nullptr || !EntriesTable(table))
        Throw("MirrorDatabase::LocalAddTable() - not a catalog entries table\n");
    if (LocalTableExists(table) && dbQueryExec((std::string("DROP TABLE ") + table).c_str()) != 1)
        Throw(std::string("MirrorDatabase::LocalAddTable() - dbQueryExec: ") + dbErrorMsg() + "\n");
    LocalAddTable(table, "");
}

bool MirrorDatabase::SameSchemas(const char *table)
{
    if (table == nullptr || !EntriesTable(table))
        return false;
    DB_RESULT result = dbQuery((std::string("SELECT * FROM ") + table).c_str());
    if (result == nullptr)
        Throw(std::string("MirrorDatabase::SameSchemas() - dbQuery: ") + dbErrorMsg() + "\n");
    bool same = dbNumberFields(result) == RemoteGetNumberFields();
    for (unsigned c = 0; same && c < RemoteGetNumberFields(); ++c)
        same = std::strcmp(dbFieldName(result, static_cast<int>(c)), RemoteGetFieldName(static_cast<int>(c))) == 0;
    dbFreeResult(result);
    return same;
}
