// Seed inputs of the description parser's fuzz target: whole descriptions
// from the fixture writer, every construct of the format, typical faults and
// descriptions cut off at many points.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> KeldSeedCorpus();
