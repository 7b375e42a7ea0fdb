// Shared set-up of the dBASE tests: a temporary folder, a check that every
// test closes what it opened, and the independent table checker.
#pragma once

#include "dbf.h"
#include "dbf_fixture.h"
#include "support.h"

#include <string>
#include <vector>

namespace dbf_test {

// Each test starts with no open table and must leave none behind.
class DbfTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        dbfFailWrites(-1, 0);
        EXPECT_EQ(nullptr, dbfRecords) << "a table was left open";
        while (dbfRecords != nullptr && CloseDbf(dbfRecords->handle)) {
        }
        dbf_msg();
    }

    // Opens path and returns its handle (0 on failure, with the message).
    int Open(const std::string &path, int oflag = 0)
    {
        int handle = 0;
        EXPECT_EQ(SUCCESS, OpenDbf(&handle, path.c_str(), oflag)) << dbf_msg();
        return handle;
    }

    kombra_test::TempDir dir;
};

// dbf_msg() as a string.
inline std::string Msg()
{
    return dbf_msg();
}

// Today's date as header bytes {year - 1900, month, day}.
std::vector<unsigned char> Today();

// The catalog entries the index and table tests use, in record order.
std::vector<kombra_fixtures::DbfCatalogEntry> SampleEntries();

// Runs tools/checkers/dbf_check.py (under $KOMBRA_SOURCE_DIR, else the
// source tree this test was built from) on a table: its output, and rc its exit
// status.
std::string CheckDbf(const std::string &path, int &rc);

}  // namespace dbf_test
