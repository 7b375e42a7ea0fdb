// Seed inputs of the older binary format's fuzz target: whole files of the
// fixture writer, files with string tables and without tables, and files cut
// off or with a length field changed.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> KeldOldSeedCorpus();
