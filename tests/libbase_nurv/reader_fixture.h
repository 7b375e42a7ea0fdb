// A reader set up for each test and released afterwards, with the seams,
// the table limit and the matching's reuse put back.
#pragma once

#include <gtest/gtest.h>

#include "nurv_int.h"

#include <cstdlib>

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override { init_nurv(); }
    void TearDown() override
    {
        free_experiment_info();
        ir_seams = ir_default_seams;
        ir_table_limit = INT16_MAX;
        ir_match_reuse = true;
    }

    // Adds (or finds) an entry and returns it.
    static experiment_info &Add(KOMBRA_ULONG key, const char *exten, KOMBRA_USHORT vnum)
    {
        EXPECT_EQ(1, ir_locate_ex(key, exten, vnum, 1));
        return *ginfo.expt;
    }

    // Gives an entry num_sensor sensors, all needed, as an open does.
    static void GiveSensors(experiment_info &ex, int num_sensor)
    {
        ex.num_sensor = static_cast<KOMBRA_SHORT>(num_sensor);
        ex.sensors_needed = static_cast<KOMBRA_CHAR *>(std::malloc(num_sensor));
        for (int s = 0; s < num_sensor; ++s)
            ex.sensors_needed[s] = 1;
    }
};
