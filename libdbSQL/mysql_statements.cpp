// Bound statements of the shared look-ups on the MySQL catalog: each text is
// prepared once per connection and database, its '?' marks take the parameters as bound
// values (never as SQL text) and every row is read back as texts.
#include "dbsql_int.h"
#include "mysql_int.h"

#include <memory>
#include <unordered_map>

namespace {

// The look-ups use a handful of texts; other callers' texts must not pile up
// for the life of the connection.
constexpr std::size_t kPreparedMax = 64;

// Column texts up to this size are read in one go; longer ones are fetched
// again at their full length.
constexpr unsigned long kColumnBuffer = 256;

std::unordered_map<std::string, MYSQL_STMT *> &Prepared()
{
    static std::unordered_map<std::string, MYSQL_STMT *> prepared;
    return prepared;
}

void FailFrom(MYSQL_STMT *statement)
{
    dbsql::mysql::NoteFailure(mysql_stmt_errno(statement), mysql_stmt_error(statement));
}

// A statement names its tables, and even DATABASE(), as they stand in the
// database selected when it was prepared; the selection may change since
// (dbCreate, or a USE statement), so a prepared text is only reused under the
// database it was prepared in.
std::string CacheKey(const std::string &text)
{
    const char *schema = nullptr;
    if (mariadb_get_infov(dbsql::mysql::Connection(), MARIADB_CONNECTION_SCHEMA, &schema) != 0 ||
        schema == nullptr)
        schema = "";
    return std::string(schema) + '\0' + text;
}

// The prepared statement of text under key, or null with the error text set.
MYSQL_STMT *PreparedStatement(const std::string &key, const std::string &text)
{
    auto &prepared = Prepared();
    if (auto it = prepared.find(key); it != prepared.end())
        return it->second;

    MYSQL *sql = dbsql::mysql::Connection();
    MYSQL_STMT *statement = mysql_stmt_init(sql);
    if (statement == nullptr) {
        dbsql::mysql::NoteFailure(mysql_errno(sql), mysql_error(sql));
        return nullptr;
    }
    if (mysql_stmt_prepare(statement, text.data(), static_cast<unsigned long>(text.size())) != 0) {
        FailFrom(statement);
        mysql_stmt_close(statement);
        return nullptr;
    }
    if (prepared.size() >= kPreparedMax)
        dbsql::mysql::ForgetStatements();
    prepared.emplace(key, statement);
    return statement;
}

// Drops a statement that failed, so that the next use prepares it afresh.
void Discard(const std::string &key, MYSQL_STMT *statement)
{
    Prepared().erase(key);
    mysql_stmt_close(statement);
}

bool BindParams(MYSQL_STMT *statement, const std::vector<DbParam> &params, std::vector<MYSQL_BIND> &binds,
                std::vector<long long> &integers)
{
    binds.assign(params.size(), MYSQL_BIND{});
    integers.assign(params.size(), 0);
    for (std::size_t i = 0; i < params.size(); ++i) {
        const DbParam &p = params[i];
        MYSQL_BIND &b = binds[i];
        if (p.kind == DbParam::Kind::Text) {
            b.buffer_type = MYSQL_TYPE_STRING;
            b.buffer = const_cast<char *>(p.text.data());
            b.buffer_length = static_cast<unsigned long>(p.text.size());
        } else if (p.kind == DbParam::Kind::Null) {
            b.buffer_type = MYSQL_TYPE_NULL;
        } else {
            integers[i] = p.integer;
            b.buffer_type = MYSQL_TYPE_LONGLONG;
            b.buffer = &integers[i];
        }
    }
    return params.empty() || mysql_stmt_bind_param(statement, binds.data()) == 0;
}

// Reads every row of an executed statement into rows; false on failure.
bool ReadRows(MYSQL_STMT *statement, DbRows &rows)
{
    MYSQL_RES *meta = mysql_stmt_result_metadata(statement);
    if (meta == nullptr)  // a statement without a result set
        return mysql_stmt_errno(statement) == 0;
    const unsigned int cols = mysql_num_fields(meta);
    mysql_free_result(meta);

    std::vector<MYSQL_BIND> binds(cols, MYSQL_BIND{});
    std::vector<std::unique_ptr<char[]>> buffers(cols);
    std::vector<unsigned long> lengths(cols, 0);
    std::unique_ptr<my_bool[]> nulls = std::make_unique<my_bool[]>(cols);
    for (unsigned int c = 0; c < cols; ++c) {
        buffers[c] = std::make_unique<char[]>(kColumnBuffer);
        binds[c].buffer_type = MYSQL_TYPE_STRING;
        binds[c].buffer = buffers[c].get();
        binds[c].buffer_length = kColumnBuffer;
        binds[c].length = &lengths[c];
        binds[c].is_null = &nulls[c];
    }
    if (cols > 0 && mysql_stmt_bind_result(statement, binds.data()) != 0)
        return false;
    if (mysql_stmt_store_result(statement) != 0)
        return false;

    for (;;) {
        const int rc = mysql_stmt_fetch(statement);
        if (rc == MYSQL_NO_DATA)
            return true;
        if (rc != 0 && rc != MYSQL_DATA_TRUNCATED)
            return false;
        std::vector<DbCell> row;
        row.reserve(cols);
        for (unsigned int c = 0; c < cols; ++c) {
            if (nulls[c]) {
                row.emplace_back(std::nullopt);
            } else if (lengths[c] <= kColumnBuffer) {
                row.emplace_back(std::string(buffers[c].get(), lengths[c]));
            } else {
                std::string text(lengths[c], '\0');
                MYSQL_BIND whole{};
                whole.buffer_type = MYSQL_TYPE_STRING;
                whole.buffer = text.data();
                whole.buffer_length = lengths[c];
                if (mysql_stmt_fetch_column(statement, &whole, c, 0) != 0)
                    return false;
                row.emplace_back(std::move(text));
            }
        }
        rows.push_back(std::move(row));
    }
}

}  // namespace

void dbsql::mysql::ForgetStatements()
{
    for (auto &[text, statement] : Prepared())
        mysql_stmt_close(statement);
    Prepared().clear();
}

int MySQL_dbQueryRows(const char *sql, const std::vector<DbParam> &params, DbRows &rows)
{
    rows.clear();
    if (!dbsql::mysql::NeedConnection())
        return 0;
    const std::string text = dbsql::OrEmpty(sql);
    const std::string key = CacheKey(text);
    MYSQL_STMT *statement = PreparedStatement(key, text);
    if (statement == nullptr)
        return 0;

    if (mysql_stmt_param_count(statement) != params.size()) {
        SetErrorString("MySQL_dbQueryRows - wrong number of parameters");
        return 0;
    }
    std::vector<MYSQL_BIND> binds;
    std::vector<long long> integers;
    if (!BindParams(statement, params, binds, integers) || mysql_stmt_execute(statement) != 0 ||
        !ReadRows(statement, rows)) {
        FailFrom(statement);
        rows.clear();
        Discard(key, statement);
        return 0;
    }
    mysql_stmt_free_result(statement);
    return 1;
}
