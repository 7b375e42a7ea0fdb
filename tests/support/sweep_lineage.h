// The lineage record of a source of the fixture writers, as the programs
// fill it from their lineage fields.
#pragma once

#include "Qsweep_spin.h"
#include "sweep_archive_fixture.h"

#include <cstdio>

namespace kombra_test {

inline NURV_LINEAGE_S LineageOf(const kombra_fixtures::SweepSource &from)
{
    NURV_LINEAGE_S l{};
    std::snprintf(l.project, NURV_LINEAGE_LEN, "%s", from.project.c_str());
    std::snprintf(l.mission, NURV_LINEAGE_LEN, "%s", from.mission.c_str());
    std::snprintf(l.experiment, NURV_LINEAGE_LEN, "%s", from.experiment.c_str());
    std::snprintf(l.instrument, NURV_LINEAGE_LEN, "%s", from.instrument.c_str());
    std::snprintf(l.virtual_inst, NURV_LINEAGE_LEN, "%s", from.vinst.c_str());
    return l;
}

}  // namespace kombra_test
