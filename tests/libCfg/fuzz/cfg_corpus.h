// Seed inputs of the configuration readers' fuzz target: the standard
// configuration of the fixture writer and one with items at levels and
// settings expanded, each value type with odd numbers, and edge cases of
// every file (long lines and names, deep levels, missing sections, full
// settings tables, NUL bytes, CRLF), plus the standard input cut short.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> CfgSeedCorpus();
