// Fields of the current record: finding them by name, reading their values
// and setting them from text; the text and byte-order helpers.
#include "dbf_int.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using libdb::ClearError;
using libdb::SetError;

namespace {

// Field i of an open table, or NULL (523).
FieldRecord_t *FieldAt(dbfRecord_t *table, int i)
{
    if (i < 0 || i >= table->NumFields) {
        SetError(DBF_FIELD_ERROR, "'%d' in '%s'", i, table->FileName);
        return nullptr;
    }
    return &table->Fields[i];
}

dbRet_t BadValue(const dbfRecord_t *table, const FieldRecord_t *field)
{
    SetError(DBF_FIELD_VALUE, "'%s' in '%s'", field->Name, table->FileName);
    return FAILURE;
}

// Text of a numeric field: optional sign, digits, optional fraction, with at
// least one digit.
bool IsNumber(const std::string &s)
{
    size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        ++i;
    size_t digits = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
            ++digits;
    return i == s.size() && digits > 0;
}

}  // namespace

FieldRecord_t *dbField(int handle, const char *name)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return nullptr;
    if (name != nullptr)
        for (int i = 0; i < table->NumFields; ++i)
            if (std::strcmp(table->Fields[i].Name, name) == 0) {
                ClearError();
                return &table->Fields[i];
            }
    SetError(DBF_UNKNOWN_FIELD, "'%s' in '%s'", name ? name : "", table->FileName);
    return nullptr;
}

int FieldNo(int handle, const char *name)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return -1;
    if (name != nullptr) {
        std::string upper(name);
        to_upper(upper.data());
        for (int i = 0; i < table->NumFields; ++i)
            if (upper == table->Fields[i].Name) {
                ClearError();
                return i;
            }
    }
    SetError(DBF_FIELD_ERROR, "'%s' in '%s'", name ? name : "", table->FileName);
    return -1;
}

dbRet_t FieldGet(int handle, int i, void *out)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    const FieldRecord_t *field = FieldAt(table, i);
    if (field == nullptr)
        return FAILURE;
    if (out == nullptr)
        return BadValue(table, field);
    switch (field->Typ) {
    case 'C':
        std::memcpy(out, field->Parm, field->Len);
        static_cast<char *>(out)[field->Len] = '\0';
        break;
    case 'D':
        std::memcpy(out, field->Parm, 8);
        break;
    case 'N': {
        if (field->Len > 63)
            return BadValue(table, field);
        const std::string text(field->Parm, field->Len);
        if (field->Dec > 0) {
            const double value = std::strtod(text.c_str(), nullptr);
            std::memcpy(out, &value, sizeof value);
        } else {
            errno = 0;
            const long long value = std::strtoll(text.c_str(), nullptr, 10);
            if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
                return BadValue(table, field);
            const KOMBRA_LONG narrow = static_cast<KOMBRA_LONG>(value);
            std::memcpy(out, &narrow, sizeof narrow);
        }
        break;
    }
    default:  // L and M: nothing to hand out
        break;
    }
    ClearError();
    return SUCCESS;
}

dbRet_t FieldGetN(int handle, const char *name, void *out)
{
    const int i = FieldNo(handle, name);
    if (i < 0)
        return FAILURE;
    return FieldGet(handle, i, out);
}

dbRet_t FieldPut(int handle, int i, const char *text)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    FieldRecord_t *field = FieldAt(table, i);
    if (field == nullptr)
        return FAILURE;
    std::string value(text ? text : "");
    const size_t width = field->Len;
    std::string cell;
    switch (field->Typ) {
    case 'C':
        if (value.size() > width)
            return BadValue(table, field);
        cell = value + std::string(width - value.size(), ' ');
        break;
    case 'N': {
        const size_t first = value.find_first_not_of(' ');
        value = first == std::string::npos ? "" : value.substr(first, value.find_last_not_of(' ') - first + 1);
        if (value.size() > width || (!value.empty() && !IsNumber(value)))
            return BadValue(table, field);
        cell = std::string(width - value.size(), ' ') + value;
        break;
    }
    case 'D': {
        bool ok = value.empty() || value.size() == 8;
        for (char c : value)
            ok = ok && std::isdigit(static_cast<unsigned char>(c));
        if (!ok)
            return BadValue(table, field);
        cell = value.empty() ? std::string(8, ' ') : value;
        break;
    }
    case 'L':
        // A table read from disk may give a logical field any width, 0 too.
        if (value.size() > 1 || value.size() > width ||
            (value.size() == 1 && std::strchr("TtFfYyNn?", value[0]) == nullptr))
            return BadValue(table, field);
        cell = value.empty() ? std::string(width, ' ') : value + std::string(width - 1, ' ');
        break;
    default:
        return BadValue(table, field);
    }
    std::memcpy(field->Parm, cell.data(), width);
    table->rStatus = Updated;
    ClearError();
    return SUCCESS;
}

dbRet_t FieldPutN(int handle, const char *name, const char *text)
{
    const int i = FieldNo(handle, name);
    if (i < 0)
        return FAILURE;
    return FieldPut(handle, i, text);
}

dbRet_t BlankRecord(int handle)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    if (!libdb::WriteBackCurrent(table))
        return FAILURE;
    std::memset(table->CurRecord, ' ', static_cast<size_t>(table->RecLen));
    table->CurRec = 0;
    table->rStatus = NotUpdated;
    ClearError();
    return SUCCESS;
}

char *rtrim(char *s)
{
    if (s == nullptr)
        return s;
    size_t len = std::strlen(s);
    while (len > 1 && s[len - 1] == ' ')  // the first character always stays
        --len;
    s[len] = '\0';
    return s;
}

char *ltrim(char *s)
{
    if (s == nullptr)
        return s;
    const char *p = s;
    while (*p == ' ')
        ++p;
    std::memmove(s, p, std::strlen(p) + 1);
    return s;
}

char *to_upper(char *s)
{
    if (s == nullptr)
        return s;
    for (char *p = s; *p != '\0'; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return s;
}

long MakeLong(const unsigned char *p)
{
    return static_cast<long>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                             static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

int MakeInt(const unsigned char *p)
{
    return static_cast<int>(static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8);
}
