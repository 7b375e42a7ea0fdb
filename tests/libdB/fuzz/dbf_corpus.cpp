// Seed inputs of the dBASE readers' fuzz target: see dbf_corpus.h.
#include "dbf_corpus.h"

#include "dbf_fixture.h"

#include <functional>
#include <utility>

namespace {

using kombra_fixtures::DbfField;
using kombra_fixtures::DbfRow;
using Bytes = std::vector<unsigned char>;

// A table, and its index behind the marker the target splits at.
std::string Input(const Bytes &table, const Bytes *index = nullptr)
{
    std::string input(table.begin(), table.end());
    if (index != nullptr)
        input += "--NDX--" + std::string(index->begin(), index->end());
    return input;
}

Bytes Spoiled(Bytes bytes, const std::function<void(Bytes &)> &spoil)
{
    spoil(bytes);
    return bytes;
}

void Set16(Bytes &b, size_t at, unsigned v)
{
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

void Set32(Bytes &b, size_t at, unsigned long v)
{
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

std::vector<std::string> DbfSeedCorpus()
{
    // Catalog tables: 7 fields, header 257 bytes, records of 39 bytes; index
    // entries of 28 bytes (23 key bytes, 1 pad, the record number) from 96.
    const std::vector<DbfField> catalog = kombra_fixtures::CatalogFields();
    const std::vector<std::string> keys = kombra_fixtures::CatalogKeyFields();
    std::vector<DbfRow> rows;
    for (const kombra_fixtures::DbfCatalogEntry &e : std::vector<kombra_fixtures::DbfCatalogEntry>{
             {"CP3DRH", 2003, 32, 0, 2003, 32, 3600000},
             {"CP3DRL", 2003, 32, 0, 2003, 33, 0},
             {"CP3DRH", 2003, 31, 86399999, 2003, 32, 1},
             {"PADH", 2004, 366, 5, 2005, 1, 0},
             {"CP3DRH", 2003, 32, 0, 2003, 32, 7200000}})
        rows.push_back(kombra_fixtures::CatalogRow(e));
    const Bytes table = kombra_fixtures::DbfBytes(catalog, rows);
    const Bytes index = kombra_fixtures::NdxBytes(catalog, rows, keys);
    const Bytes emptyTable = kombra_fixtures::DbfBytes(catalog, {});
    const Bytes emptyIndex = kombra_fixtures::NdxBytes(catalog, {}, keys);

    std::vector<std::string> seeds = {
        Input(table, &index), Input(table), Input(emptyTable, &emptyIndex), Input(table, &emptyIndex), "",
        "--NDX--",
    };

    // 128 one-byte fields, indexed over five of them.
    std::vector<DbfField> wide;
    DbfRow wideRow;
    for (int i = 0; i < 128; ++i) {
        wide.push_back({"F" + std::to_string(i), 'C', 1, 0});
        wideRow.push_back(std::string(1, static_cast<char>('a' + i % 26)));
    }
    const std::vector<DbfRow> wideRows = {wideRow, DbfRow(128, "z"), DbfRow(128, "")};
    const Bytes wideIndex = kombra_fixtures::NdxBytes(wide, wideRows, {"F4", "F3", "F2", "F1", "F0"});
    seeds.push_back(Input(kombra_fixtures::DbfBytes(wide, wideRows), &wideIndex));

    // Every field type; numbers with decimals, too wide, too large or not
    // numbers at all; a lower-case name and one of ten characters.
    const std::vector<DbfField> types = {{"TEXT", 'C', 10, 0},   {"DAY", 'D', 8, 0},    {"FLAG", 'L', 1, 0},
                                         {"MEMO", 'M', 10, 0},   {"REAL", 'N', 8, 2},   {"WIDE", 'N', 63, 0},
                                         {"WIDER", 'N', 64, 0},  {"lower", 'N', 20, 0}, {"TENLETTERS", 'C', 255, 0}};
    const std::vector<DbfRow> typeRows = {
        {"alpha", "20030201", "T", "1", "-12.50", "123", "1", "99999999999", "x"},
        {"", "", "?", "", "abc", "-2147483648", "", "-2147483649", std::string(255, 'y')},
        {"omega", "19991231", "n", "0000000010", "1e5", "2147483647", "7", " 12 ", ""}};
    const Bytes typeIndex = kombra_fixtures::NdxBytes(types, typeRows, {"REAL", "DAY"});
    seeds.push_back(Input(kombra_fixtures::DbfBytes(types, typeRows), &typeIndex));

    // Damaged table headers.
    const std::vector<std::function<void(Bytes &)>> tableFaults = {
        [](Bytes &b) { b.resize(20); },
        [](Bytes &b) { b.resize(60); },
        [](Bytes &b) { b[0] = 0x83; },
        [](Bytes &b) { b[0] = 4; },
        [](Bytes &b) { b[0] = 2; },
        [](Bytes &b) { Set16(b, 8, 5000); },
        [](Bytes &b) { Set16(b, 8, 31); },
        [](Bytes &b) { b[256] = 'X'; },
        [](Bytes &b) { Set16(b, 10, 38); },
        [](Bytes &b) { Set16(b, 10, 40); },
        [](Bytes &b) { b[32 + 16] = 200; },
        [](Bytes &b) { b[4] = 6; },
        [](Bytes &b) { b[7] = 0xFF; },
        [](Bytes &b) { b.resize(b.size() - 3); },
        [](Bytes &b) { b[32 + 11] = 'X'; },
        [](Bytes &b) { b[64 + 11] = 'D'; },
        [](Bytes &b) { std::fill(b.begin() + 32, b.begin() + 43, 'A'); },  // a name without its NUL
        [](Bytes &b) { b[32] = 0x0D; Set16(b, 10, 1); },                      // no fields at all
    };
    for (const auto &fault : tableFaults)
        seeds.push_back(Input(Spoiled(table, fault), &index));

    // Damaged indexes of the good table.
    const std::vector<std::function<void(Bytes &)>> indexFaults = {
        [](Bytes &b) { b.resize(50); },
        [](Bytes &b) { b[12] = 0; },
        [](Bytes &b) { b[12] = 6; },
        [](Bytes &b) { b[16] = 'X'; },
        [](Bytes &b) { b[16 + 11] = 9; },
        [](Bytes &b) { b[16 + 10] = 'N'; },
        [](Bytes &b) { b[8] = 6; },
        [](Bytes &b) { b[11] = 0x80; },
        [](Bytes &b) { b.resize(b.size() - 2); },
        [](Bytes &b) { b[96 + 2 * 28 + 24] = 6; },
        [](Bytes &b) { b[96 + 24] = 0; },
        [](Bytes &b) { Set32(b, 4, 0); },
        [](Bytes &b) { Set32(b, 4, 0xFFFFFFFF); },
        [](Bytes &b) { Set32(b, 8, 2); },
        // Entries out of order, for the binary search.
        [](Bytes &b) {
            for (size_t i = 0; i < 28; ++i)
                std::swap(b[96 + i], b[96 + 4 * 28 + i]);
        },
        // A key with a NUL byte in it.
        [](Bytes &b) { b[96 + 2] = 0; },
    };
    for (const auto &fault : indexFaults) {
        const Bytes spoiled = Spoiled(index, fault);
        seeds.push_back(Input(table, &spoiled));
    }
    return seeds;
}
