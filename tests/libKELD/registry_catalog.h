// The catalog of a registry test program.  The registry tests run once on an
// SQLite catalog and once on a dBASE catalog, each program linking one of the
// two writers below.
#pragma once

#include "DbDefs.h"

#include <string>
#include <vector>

namespace keld_registry_test {

// A description file of the catalog covering days from .. to of 2003.
struct Span {
    int from, to;
};

// The back end of this program.
dbType CatalogType();

// Writes the catalog of the standard archive under root with one description
// entry of CLUSTERII/C1/HALDE/3DR/CP3DRH per span.
void WriteDescriptions(const std::string &root, const std::vector<Span> &spans);

}  // namespace keld_registry_test
