// The mirror catalog: the rows of a remote MySQL catalog's entries tables
// for a source and time range, copied into the local catalog under the
// local data key.
//
// The remote server is outside the system: its values reach the local
// catalog only as bound parameters, under the catalog's own column names
// and table names (a remote result with other columns is refused), and an
// SQL NULL stays NULL.  The remote statement binds the source's names.
#include "MirrorDatabase.h"
#include "Promote.h"

#include "libdbSQL.h"

#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The columns of an entries table, in order.
const char *const kEntryColumns[] = {"data_key", "b_yr",  "b_day", "b_msec",        "e_yr",
                                     "e_day",    "e_msec", "size", "archive_label", "archive_date"};

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
        _names.emplace_back(fields[c].name != nullptr ? fields[c].name : "");
        _types.push_back(static_cast<int>(fields[c].type));
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
    for (;;) {
        const int rc = mysql_stmt_fetch(statement.get());
        if (rc == MYSQL_NO_DATA)
            break;
        if (rc == 1)
            failed(mysql_stmt_error(statement.get()));
        std::vector<std::optional<std::string>> row(columns);
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
        _rows.push_back(std::move(row));
    }
    _have_result = true;
    _row = 0;
}

const char *MirrorDatabase::RemoteGetFieldName(int column) const
{
    return column >= 0 && static_cast<size_t>(column) < _names.size() ? _names[static_cast<size_t>(column)].c_str()
                                                                        : "";
}

std::optional<std::string> MirrorDatabase::RemoteGetFieldValue(int column) const
{
    if (_row >= _rows.size() || column < 0 || static_cast<size_t>(column) >= _rows[_row].size())
        return std::nullopt;
    return _rows[_row][static_cast<size_t>(column)];
}

bool MirrorDatabase::RemoteIsValueNum(int column) const
{
    if (column < 0 || static_cast<size_t>(column) >= _types.size())
        return false;
    const int type = _types[static_cast<size_t>(column)];
    return (type >= MYSQL_TYPE_DECIMAL && type <= MYSQL_TYPE_INT24) || type == MYSQL_TYPE_YEAR ||
           type == MYSQL_TYPE_NEWDECIMAL;
}

void MirrorDatabase::RemoteNextRow()
{
    if (!_have_result)
        Throw("MirrorDatabase::RemoteNextRow() = _remote_result = NULL\n");
    if (_row < _rows.size())
        ++_row;
}

void MirrorDatabase::EndRemoteQuery()
{
    _have_result = false;
    _rows.clear();
    _names.clear();
    _types.clear();
    _row = 0;
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

// ---- Promote: rows from a remote catalog ----------------------------------

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
