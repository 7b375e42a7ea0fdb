// Fields of the dBASE catalog tables.  Catalog tables come from an outside
// program, so a field is read only when it has the type this code reads it
// as: the copies of FieldGet are as wide as that type, not as the
// destination.
#include "catalog_fields.h"

#include "dbf.h"

#include <climits>
#include <cstring>
#include <vector>

namespace catalog_fields {

const FieldRecord_t *TypedField(int table, const char *name, char type, int &index)
{
    index = FieldNo(table, name);
    const dbfRecord_t *t = dbfHandle(table);
    if (index < 0 || t == nullptr || index >= t->NumFields)
        return nullptr;
    const FieldRecord_t *field = &t->Fields[index];
    return field->Typ == type ? field : nullptr;
}

bool ReadNumber(int table, const char *name, long &out)
{
    int index = 0;
    const FieldRecord_t *field = TypedField(table, name, 'N', index);
    if (field == nullptr)
        return false;
    if (field->Dec > 0) {
        double d = 0;
        constexpr auto kLow = static_cast<double>(LONG_MIN), kHigh = static_cast<double>(LONG_MAX);
        if (FieldGet(table, index, &d) != SUCCESS || !(d > kLow && d < kHigh))
            return false;
        out = static_cast<long>(d);
        return true;
    }
    KOMBRA_LONG v = 0;
    if (FieldGet(table, index, &v) != SUCCESS)
        return false;
    out = v;
    return true;
}

bool ReadTime(int table, const char *yr, const char *day, const char *msec, Time_t &t)
{
    long y = 0, d = 0, m = 0;
    if (!ReadNumber(table, yr, y) || !ReadNumber(table, day, d) || !ReadNumber(table, msec, m))
        return false;
    t = Time_t{static_cast<KOMBRA_LONG>(y), static_cast<KOMBRA_LONG>(d), static_cast<KOMBRA_LONG>(m)};
    return true;
}

bool ReadText(int table, const char *name, std::string &out)
{
    int index = 0;
    const FieldRecord_t *field = TypedField(table, name, 'C', index);
    if (field == nullptr)
        return false;
    std::vector<char> text(static_cast<size_t>(field->Len) + 1, '\0');
    if (FieldGet(table, index, text.data()) != SUCCESS)
        return false;
    out = text.data();
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return true;
}

bool TimeFieldsTyped(int table)
{
    for (const char *name : {"B_YR", "B_DAY", "B_MSEC", "E_YR", "E_DAY", "E_MSEC"}) {
        int index = 0;
        if (TypedField(table, name, 'N', index) == nullptr)
            return false;
    }
    return true;
}

bool IsInstrument(int table, const char *vname)
{
    std::string text;
    return ReadText(table, "V_INST", text) && text == vname;
}

}  // namespace catalog_fields
