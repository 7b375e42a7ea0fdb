// Internal pieces of the configuration reader shared by its two sources.
#pragma once

#include "Pconfig.h"

#include <array>
#include <string>
#include <vector>

// One symbol: a name/value pair of the file and whether get_symbol has
// handed it out.
struct symb_s {
    short referenced = 0;
    std::string param;
    std::string value;
};

// A loaded file: symbols in 128 buckets by the first byte of their name,
// each bucket in file order.
struct config_s {
    std::array<std::vector<symb_s>, 128> symbols;
};

// Converts the value text of the symbol found for entry (one keyword of a
// caller's table) and marks the entry where a value counts as given.  Its
// reports name the keyword as the table spells it, without the prefix.
void process_symbol(def_s &entry, const std::string &keyword, const char *text);
