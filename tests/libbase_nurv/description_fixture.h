// A reader whose description reads are served from one text description
// parsed in memory (through the same item reader the registry uses), so
// that the description steps run without a catalog.
#pragma once

#include "keld_fixture.h"
#include "libKELD.h"
#include "reader_fixture.h"
#include "support.h"

#include <cstdio>
#include <memory>
#include <string>

class DescribedReaderTest : public ReaderTest {
protected:
    void TearDown() override
    {
        ReaderTest::TearDown();
        DeleteKELD(map_);
        map_ = nullptr;
        ClearCache();
    }

    // Parses text as the description every read answers from.
    void Describe(const kombra_fixtures::KeldText &text)
    {
        DeleteKELD(map_);
        map_ = nullptr;
        const std::string body = text.Text();
        FILE *in = fmemopen(const_cast<char *>(body.data()), body.size(), "r");
        ASSERT_NE(nullptr, in);
        const int status = ParseNewKELDFromStream(&map_, in, "test.V.v3");
        std::fclose(in);
        ASSERT_EQ(1, status);
        ir_seams.read_keld = Read;
        CreateCache();
    }

    // An open data set whose description has been read once.
    experiment_info &Open(const kombra_fixtures::KeldText &text, KOMBRA_SHORT *status = nullptr)
    {
        Describe(text);
        experiment_info &ex = Add(0x8000, "AB", 0);
        const KOMBRA_SHORT got = ir_read_nur_once(2003, 32, 0, 0, 2003, 32, 60, 0);
        if (status != nullptr)
            *status = got;
        else
            EXPECT_STATUS(1, got);
        return ex;
    }

private:
    static int Read(KOMBRA_ULONG, KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG, KOMBRA_SHORT, KOMBRA_SHORT,
                    KOMBRA_LONG, KOMBRA_LONG, void *var, size_t var_size, int what, KOMBRA_SHORT num,
                    KOMBRA_LONG start, KOMBRA_SHORT len)
    {
        return ReadNewKELDChecked(map_, var, var_size, static_cast<KELD_DEFS>(what), num, start, len);
    }

    static inline keld_map *map_ = nullptr;
};
