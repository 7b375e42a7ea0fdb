// Fields of the dBASE catalog tables, read with the checks an outside
// table needs: a field is read only when it has the type it is read as, and
// every copy is as wide as the field's declared width.
#pragma once

#include "kombra_types.h"
#include "libant.h"

#include <string>

struct FieldRecord_s;

namespace catalog_fields {

// The descriptor of field name of an open table when it has type (and its
// number in index), else nullptr.
const FieldRecord_s *TypedField(int table, const char *name, char type, int &index);
// A numeric field of the current record as a whole number.
bool ReadNumber(int table, const char *name, long &out);
// Three numeric fields (year, day, milliseconds) as a time.
bool ReadTime(int table, const char *yr, const char *day, const char *msec, Time_t &t);
// A character field of the current record without trailing blanks.
bool ReadText(int table, const char *name, std::string &out);
// The begin and end fields are all numeric.
bool TimeFieldsTyped(int table);
// Whether the current record's V_INST (a character field) is vname.
bool IsInstrument(int table, const char *vname);

}  // namespace catalog_fields
