// Seed inputs of the dBASE readers' fuzz target: catalog tables of the
// fixture writer with and without their index, an empty table, tables with
// many fields and with every field type, and tables and indexes with damaged
// headers, counts and entries.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> DbfSeedCorpus();
