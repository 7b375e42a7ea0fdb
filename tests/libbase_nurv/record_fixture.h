// A data set on a header and data file pair written by the NURV file writer,
// its description read from the matching text description, with both files
// open for the record steps.
#pragma once

#include "description_fixture.h"
#include "nurv_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

class RecordTest : public DescribedReaderTest {
protected:
    // Writes files, reads description (the one matching the files' layout
    // when none is given) and opens both files; the entry is current.
    experiment_info &OpenFiles(kombra_fixtures::NurvFiles files,
                               const kombra_fixtures::KeldText *description = nullptr)
    {
        if (files.layout.dataLen == 0)
            files.layout.dataLen = kombra_fixtures::NurvDataLenFor(files.layout, files.records);
        files.Write(dir.file("set.H"), dir.file("set.D"));
        experiment_info &ex = Open(description ? *description : kombra_fixtures::NurvDescription(files.layout));
        for (int fd : {ex.fdh, ex.fdd})
            if (fd != -1)
                ::close(fd);
        ex.info_ptr->cur_sen_set = 0;  // as opening and positioning leave them
        ex.info_ptr->prev_hd = -1;
        ex.fdh = ::open(dir.file("set.H").c_str(), O_RDONLY);
        ex.fdd = ::open(dir.file("set.D").c_str(), O_RDONLY);
        EXPECT_NE(-1, ex.fdh);
        EXPECT_NE(-1, ex.fdd);
        EXPECT_EQ(1, create_nur_data_structure(&record));
        return ex;
    }

    // The next data record and the header of its current set.
    KOMBRA_SHORT Next(KOMBRA_CHAR found_sensor = 0)
    {
        const KOMBRA_SHORT status = ir_new_data_record(found_sensor);
        if (status != 1)
            return status;
        return ir_new_header_record(found_sensor, record);
    }

    static const ptr_rec &Ptr() { return *ginfo.expt->info_ptr; }

    kombra_test::TempDir dir;
    nur_data *record = nullptr;
};
