// Seed inputs of the settings reader's fuzz target: both programs' files as
// they write them, lines in every spacing, odd numbers, unknown and
// lower-case keys, long lines, NUL bytes, CRLF and Latin-1 or UTF-8 texts,
// plus the Lunder file cut short.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> SettingsSeedCorpus();
