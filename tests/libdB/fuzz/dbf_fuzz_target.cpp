// Fuzz entry point of the dBASE table and index readers.  The input is a
// table, optionally followed by the marker "--NDX--" and an index of it; both
// are written into a scratch folder and opened read-only, as catalog tables
// written by an outside program are.  Every field of the first 256 records
// and of the last is read into a buffer sized for its field that must stay
// within its bounds, the table is walked by record and by index, keys are
// searched exactly and near, and everything is closed again.  Built with
// libFuzzer under clang (see CMakeLists.txt here) and replayed over a
// generated corpus by the normal test build.
#include <fcntl.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dbf.h"
#include "fuzz_scratch.h"

namespace {

constexpr std::string_view kMarker = "--NDX--";
constexpr unsigned char kFill = 0xAB;
constexpr size_t kGuard = 16;     // bytes behind each buffer that nothing may touch
constexpr long kMaxRecords = 256;  // records read and skipped per input

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// A failure leaves a code and a message line that fits its buffer; reading
// the message clears both.
void CheckFailure()
{
    Check(dbf_code != 0);
    Check(std::strlen(dbf_msg()) < 128 && dbf_code == 0);
}

// Reads field i of the current record into a buffer of the size its type
// needs: width + 1 for C, 8 for D and N, none for L and M.
void ReadField(int table, int i, const FieldRecord_t &field)
{
    size_t room = 0;
    if (field.Typ == 'C')
        room = static_cast<size_t>(field.Len) + 1;
    else if (field.Typ == 'D' || field.Typ == 'N')
        room = 8;
    std::vector<unsigned char> buf(room + kGuard, kFill);
    if (FieldGet(table, i, buf.data()) != SUCCESS) {
        // Only a number too wide or too large for its type is refused.
        Check(field.Typ == 'N');
        CheckFailure();
    } else if (field.Typ == 'C') {
        Check(buf[field.Len] == '\0');
    }
    for (size_t at = room; at < buf.size(); ++at)
        Check(buf[at] == kFill);
}

// The header's fields fill the record exactly behind its flag byte, in
// descriptor order, and the records it counts lie inside the file.
void CheckLayout(const dbfRecord_t *t, size_t fileSize)
{
    Check(t->NumFields >= 0 && t->RecLen >= 1 && t->NumRecs >= 0);
    const char *at = t->CurRecord + 1;
    for (int i = 0; i < t->NumFields; ++i) {
        Check(t->Fields[i].Parm == at && std::strlen(t->Fields[i].Name) < sizeof t->Fields[i].Name);
        at += t->Fields[i].Len;
    }
    Check(at == t->CurRecord + t->RecLen);
    Check(static_cast<unsigned long long>(t->HeadLen) +
              static_cast<unsigned long long>(t->NumRecs) * static_cast<unsigned long long>(t->RecLen) <=
          fileSize);
    Check(t->CurRec == (t->NumRecs > 0 ? 1 : 0));
}

// Every field of the first records, and of the last, by number and name.
void ReadRecords(int table, const dbfRecord_t *t)
{
    for (long r = 1; r <= t->NumRecs; ++r) {
        if (r > kMaxRecords)
            r = t->NumRecs;
        Check(GoTo(table, r) == SUCCESS && t->CurRec == r);
        for (int i = 0; i < t->NumFields; ++i)
            ReadField(table, i, t->Fields[i]);
    }
    for (int i = 0; i < t->NumFields; ++i) {
        const FieldRecord_t *byName = dbField(table, t->Fields[i].Name);
        Check(byName != nullptr && std::strcmp(byName->Name, t->Fields[i].Name) == 0);
        const int number = FieldNo(table, t->Fields[i].Name);
        Check(number >= -1 && number < t->NumFields);
        if (number < 0)
            CheckFailure();
    }
    for (const long n : {0L, -1L, t->NumRecs + 1, LONG_MAX, LONG_MIN}) {
        Check(GoTo(table, n) == FAILURE);
        CheckFailure();
    }
}

// Skips through the table from its first record to its end and back.
void SkipRecords(int table, const dbfRecord_t *t)
{
    if (t->NumRecs == 0)
        return;
    Check(GoTo(table, 1) == SUCCESS);
    long steps = 0;
    while (steps < kMaxRecords && Skip(table, -1, 1) == SUCCESS)
        ++steps;
    Check(steps == std::min(t->NumRecs - 1, kMaxRecords));
    dbf_msg();
    while (steps > 0 && Skip(table, -1, -1) == SUCCESS)
        --steps;
    Check(steps == 0 && t->CurRec == 1);
    Check(Skip(table, -1, LONG_MAX) == FAILURE && Skip(table, -1, LONG_MIN) == FAILURE);
    dbf_msg();
}

// Walks the index from its first entry and back, and searches it for keys
// taken from its first entry, its middle entry and the current record, and
// for keys below and above every entry.
void UseIndex(int table, int ndx, const dbfRecord_t *t, const ndxRecord_t *x)
{
    Check(x->NumIndexFields >= 1 && x->NumIndexFields <= 5 && x->MAXIndexRecs >= 0);
    int keyLen = 0;
    for (int k = 0; k < x->NumIndexFields; ++k)
        keyLen += x->IndexFields[k].Len;
    Check(keyLen == x->KeyLen);
    for (long p = 1; p <= x->MAXIndexRecs && p <= kMaxRecords; ++p) {
        const long r = ItoR(x, p);
        Check(r >= 1 && r <= t->NumRecs);
    }
    Check(ItoR(x, 0) == 0 && ItoR(x, x->MAXIndexRecs + 1) == 0);

    long steps = 0;
    while (steps < kMaxRecords && Skip(table, ndx, 1) == SUCCESS) {
        Check(t->CurRec == ItoR(x, x->IndexRec));
        ++steps;
    }
    dbf_msg();
    while (steps > 0 && Skip(table, ndx, -1) == SUCCESS)
        --steps;
    dbf_msg();

    const size_t entrySize = (static_cast<size_t>(x->KeyLen) + 3) / 4 * 4 + 4;
    std::vector<std::string> keys = {"", " ", "0", std::string(static_cast<size_t>(x->KeyLen) + 4, '\xff')};
    if (x->MAXIndexRecs > 0) {
        for (const long p : {1L, (x->MAXIndexRecs + 1) / 2}) {
            const auto *entry = reinterpret_cast<const char *>(x->Index) + static_cast<size_t>(p - 1) * entrySize;
            keys.emplace_back(entry, static_cast<size_t>(x->KeyLen));
        }
    }
    std::string current;
    for (int k = 0; k < x->NumIndexFields; ++k)
        current.append(x->IndexFields[k].Parm, x->IndexFields[k].Len);
    keys.push_back(current);
    for (const std::string &key : keys) {
        for (const int near : {0, 1}) {
            // Keys are C strings: a NUL in the bytes ends them early.
            const dbFindRet_t found = dbFind(table, ndx, key.c_str(), near);
            Check(found == EXACT_MATCH || found == NO_MATCH || found == MATCH_LESS || found == MATCH_GREATER);
            if (found != NO_MATCH)
                Check(x->IndexRec >= 1 && x->IndexRec <= x->MAXIndexRecs && t->CurRec == ItoR(x, x->IndexRec));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find(kMarker);
    const std::string_view tableBytes = input.substr(0, split);
    const std::string tablePath = fuzz_scratch::Path("table.dbf");
    const std::string indexPath = fuzz_scratch::Path("table.ndx");
    if (!fuzz_scratch::Write(tablePath, tableBytes.data(), tableBytes.size()))
        return 0;
    const bool withIndex = split != std::string_view::npos;
    if (withIndex) {
        const std::string_view indexBytes = input.substr(split + kMarker.size());
        if (!fuzz_scratch::Write(indexPath, indexBytes.data(), indexBytes.size()))
            return 0;
    }

    int table = 0;
    if (OpenDbf(&table, tablePath.c_str(), O_RDONLY) != SUCCESS) {
        // A refused table leaves no handle behind.
        Check(dbfRecords == nullptr);
        CheckFailure();
        return 0;
    }
    dbfRecord_t *t = dbfHandle(table);
    Check(t != nullptr);
    CheckLayout(t, tableBytes.size());
    ReadRecords(table, t);
    SkipRecords(table, t);

    if (withIndex) {
        int ndx = 0;
        if (OpenNdx(table, indexPath.c_str(), &ndx) == SUCCESS) {
            UseIndex(table, ndx, t, ndxHandle(t, ndx));
            // A second handle on the same file, closed on its own; the
            // first is left for CloseDbf.
            int again = 0;
            Check(OpenNdx(table, indexPath.c_str(), &again) == SUCCESS && again != ndx);
            Check(CloseNdx(table, again) == SUCCESS && t->ndxRecords != nullptr);
        } else {
            Check(t->ndxRecords == nullptr);
            CheckFailure();
        }
    }
    Check(CloseDbf(table) == SUCCESS && dbfRecords == nullptr);
    return 0;
}
