// Internals shared by the look-ups that both SQL back ends answer from table
// hierarchy (GetDataKey, KeyToStrings, VirtualName, HierarchyString).
#pragma once

#include "dbsql_int.h"

#include <optional>
#include <string>
#include <vector>

namespace dbsql {

inline constexpr char kNamesOfKey[] =
    "SELECT project, mission, experiment, instrument, virtual FROM hierarchy WHERE data_key=?;";

// The names of one source, each cut to the size of the buffers it is
// handed out in.
struct Names {
    std::string _project, _mission, _experiment, _instrument, _vinst;
};

// The five names of a row of kNamesOfKey; missing columns are empty.
Names FromRow(const std::vector<DbCell> &row);

// A key as the one parameter of a statement.
std::vector<DbParam> KeyParam(KOMBRA_ULONG key);

// A names cache: the last key found and its names.  No key is remembered
// at first, so that key 0 is looked up like any other.
struct KeyCache {
    std::optional<KOMBRA_ULONG> _last_data_key;
    Names names;
};

// Each look-up's cache emptied (ForgetNames calls all three).
void ForgetKeyNames();
void ForgetVirtualName();
void ForgetHierarchyNames();

}  // namespace dbsql
