// Listings of a CDF in the fixed form of the jcdf checker
// (tools/checkers/KveCdfDump.java): one through jcdf itself, one through
// our own CDF module, so that tests compare the two and what they wrote.
#pragma once

#include <optional>
#include <string>

#include <vector>

namespace kve_test {

// Runs a program with an argument list (no shell) and gives its standard
// output; its exit status in *status (-1 when it could not start).
std::string RunProgram(const std::vector<std::string> &args, int *status);

// jcdf's listing, or nullopt (with the reason in *error) when jcdf rejects
// the file.
std::optional<std::string> JcdfDump(const std::string &path, std::string *error);
// Our module's listing; nullopt with the status text when it cannot open it.
std::optional<std::string> KcdfDump(const std::string &path, std::string *error);

// The listing's name of a CDF data type ("?" for an unknown code).
const char *CdfTypeName(long type);
// Items of values in the listing's form: reals as the hex of their bits,
// text as one [..] per value of numElems characters, an EPOCH16 value as its
// two doubles.
std::string CdfItems(long type, long numElems, const unsigned char *values, size_t count);

}  // namespace kve_test
