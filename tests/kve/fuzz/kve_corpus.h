// Seed inputs of the exchange library's fuzz targets: files of every
// layout our writers produce, hand-written CEF 2 files with include files,
// header faults, time pictures with texts, and CDFs of our writer with
// cut, altered and compressed copies.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> KveFlatSeedCorpus();
std::vector<std::string> KveTimeSeedCorpus();
std::vector<std::string> KveCdfSeedCorpus();
