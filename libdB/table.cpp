// Tables: opening and checking the header, reading, writing and appending
// records, rewriting the header, closing, and creating new tables.
#include "dbf_int.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

using libdb::ClearError;
using libdb::SetError;
using libdb::SetFileError;
namespace io = libdb::io;

namespace {

// A header that cannot belong to a dBASE III table.
dbRet_t NotXbase(const dbfRecord_t *table)
{
    std::fputs("Not A Dbase File\n", stderr);
    SetFileError(DBF_NOT_XBASE, table->FileName);
    return FAILURE;
}

bool KnownType(char type)
{
    return type == 'C' || type == 'D' || type == 'L' || type == 'M' || type == 'N';
}

}  // namespace

namespace libdb {

dbRet_t GetHeader(dbfRecord_t *table, std::vector<unsigned char> &head)
{
    head.assign(kDbfHeaderRead, 0);
    const ssize_t got = io::ReadAt(table->dFile, head.data(), head.size(), 0);
    if (got < 0) {
        SetFileError(DBF_READ, table->FileName);
        return FAILURE;
    }
    head.resize(static_cast<size_t>(got));
    return SUCCESS;
}

dbRet_t GetOneFieldDesc(dbfRecord_t *table, const unsigned char *desc, FieldRecord_t *field,
                        char *start)
{
    std::memset(field->Name, 0, sizeof field->Name);
    for (size_t i = 0; i < kDescNameLen && desc[kDescName + i] != 0; ++i)
        field->Name[i] = static_cast<char>(desc[kDescName + i]);
    field->Typ = static_cast<char>(desc[kDescType]);
    field->Len = desc[kDescLen];
    field->Dec = desc[kDescDec];
    field->Parm = start;
    if (!KnownType(field->Typ)) {
        SetError(DBF_FIELD_TYPE, "'%s' in '%s'", field->Name, table->FileName);
        return FAILURE;
    }
    // FieldGet hands out 8 characters of a date.
    if (field->Typ == 'D' && field->Len != 8)
        return NotXbase(table);
    return SUCCESS;
}

dbRet_t ProcessHeader(dbfRecord_t *table, const std::vector<unsigned char> &head)
{
    if (head.empty())
        return NotXbase(table);
    if (head[0] != kDbfVersion) {
        if (head[0] == 4)
            std::fputs("File Type: Dbase III w/memo\n", stderr);
        else if (head[0] == 2)
            std::fputs("File Type: Dbase II\n", stderr);
        else
            std::fputs("File Type: UNKNOWN\n", stderr);
        SetFileError(DBF_NOT_XBASE, table->FileName);
        return FAILURE;
    }
    if (head.size() < kDbfPrologSize)
        return NotXbase(table);

    std::snprintf(table->DateOfUpdate, sizeof table->DateOfUpdate, "%2d/%02d/%02d", head[2],
                  head[3], head[1]);
    table->NumRecs = MakeLong(&head[4]);
    table->HeadLen = MakeInt(&head[8]);
    if (static_cast<size_t>(table->HeadLen) > head.size())
        return NotXbase(table);
    table->RecLen = MakeInt(&head[10]);
    std::memcpy(table->HeadProlog, head.data(), kDbfPrologSize);

    // Count the descriptors and add up their widths before trusting them:
    // the terminator must lie inside the header, and the fields must fill
    // the record exactly behind its flag byte.
    const size_t headLen = static_cast<size_t>(table->HeadLen);
    size_t pos = kDbfPrologSize;
    int count = 0;
    long widths = 0;
    for (;;) {
        if (pos >= headLen)
            return NotXbase(table);
        if (head[pos] == kDescEnd)
            break;
        if (pos + kDbfDescSize > headLen)
            return NotXbase(table);
        widths += head[pos + kDescLen];
        ++count;
        pos += kDbfDescSize;
    }
    if (table->RecLen != widths + 1)
        return NotXbase(table);

    // The records the header counts must all be in the file.
    struct stat st {};
    if (::fstat(table->dFile, &st) != 0) {
        SetFileError(errno, table->FileName);
        return FAILURE;
    }
    const long long need = static_cast<long long>(table->HeadLen) +
                           static_cast<long long>(table->NumRecs) * table->RecLen;
    if (need > static_cast<long long>(st.st_size))
        return NotXbase(table);

    table->CurRecord = static_cast<char *>(std::malloc(static_cast<size_t>(table->RecLen) + 1));
    table->Fields = static_cast<FieldRecord_t *>(
        std::calloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(FieldRecord_t)));
    if (table->CurRecord == nullptr || table->Fields == nullptr) {
        SetFileError(ENOMEM, table->FileName);
        return FAILURE;
    }
    std::memset(table->CurRecord, ' ', static_cast<size_t>(table->RecLen));
    table->CurRecord[table->RecLen] = '\0';

    char *start = table->CurRecord + 1;
    table->NumFields = count;
    for (int i = 0; i < count; ++i) {
        FieldRecord_t *field = &table->Fields[i];
        if (!GetOneFieldDesc(table, &head[kDbfPrologSize + static_cast<size_t>(i) * kDbfDescSize],
                             field, start))
            return FAILURE;
        if (field->Typ == 'M')
            table->WithMemo = 1;
        start += field->Len;
    }
    return SUCCESS;
}

off_t RecordOffset(const dbfRecord_t *table, long n)
{
    return static_cast<off_t>(table->HeadLen) + static_cast<off_t>(n - 1) * table->RecLen;
}

dbRet_t WriteBackCurrent(dbfRecord_t *table)
{
    if (table->rStatus != Updated || table->CurRec < 1 || table->CurRec > table->NumRecs)
        return SUCCESS;
    return PutDbfRecord(table->handle, table->CurRec);
}

}  // namespace libdb

dbRet_t OpenDbf(int *handle, const char *path, int oflag)
{
    if (handle == nullptr || path == nullptr) {
        SetError(DBF_OPEN, "'%s'", path ? path : "");
        return FAILURE;
    }
    dbfRecord_t *table = GetNewDbfHandle();
    if (table == nullptr)
        return FAILURE;
    if (!libdb::CopyName(table->FileName, path)) {
        libdb::DropDbfRecord(table);
        SetFileError(DBF_OPEN, path);
        return FAILURE;
    }
    table->dFile = OpenRegularFile(path, oflag);
    if (table->dFile < 0) {
        table->dFile = -1;
        libdb::DropDbfRecord(table);
        SetFileError(DBF_OPEN, path);
        return FAILURE;
    }
    std::vector<unsigned char> head;
    if (!libdb::GetHeader(table, head) || !libdb::ProcessHeader(table, head)) {
        libdb::DropDbfRecord(table);
        return FAILURE;
    }
    table->hStatus = NotUpdated;
    table->rStatus = NotUpdated;
    table->CurRec = 0;
    if (table->NumRecs > 0 && !GetDbfRecord(table->handle, 1)) {
        libdb::DropDbfRecord(table);
        return FAILURE;
    }
    *handle = table->handle;
    ClearError();
    return SUCCESS;
}

dbRet_t CloseDbf(int handle)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    // Indexes still open go first; an updated one is written out.
    while (table->ndxRecords != nullptr) {
        ndxRecord_t *index = table->ndxRecords;
        if (index->Index == nullptr)
            libdb::DropNdxRecord(table, index);
        else if (!CloseNdx(handle, index->handle))
            return FAILURE;
    }
    if (!libdb::WriteBackCurrent(table))
        return FAILURE;
    if (table->hStatus == Updated && !UpdateHeader(table))
        return FAILURE;
    libdb::DropDbfRecord(table);
    ClearError();
    return SUCCESS;
}

dbRet_t GetDbfRecord(int handle, long n)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    if (n > table->NumRecs) {
        SetFileError(DBF_REC_TOO_HIGH, table->FileName);
        return FAILURE;
    }
    if (n < 1) {
        SetFileError(DBF_REC_TOO_LOW, table->FileName);
        return FAILURE;
    }
    if (!libdb::WriteBackCurrent(table))
        return FAILURE;
    const size_t len = static_cast<size_t>(table->RecLen);
    std::vector<char> buf(len);
    const ssize_t got = io::ReadAt(table->dFile, buf.data(), len, libdb::RecordOffset(table, n));
    if (got < 0) {
        SetFileError(errno, table->FileName);
        return FAILURE;
    }
    if (static_cast<size_t>(got) < len) {
        SetFileError(DBF_READ, table->FileName);
        return FAILURE;
    }
    std::memcpy(table->CurRecord, buf.data(), len);
    table->CurRec = n;
    table->rStatus = NotUpdated;
    ClearError();
    return SUCCESS;
}

dbRet_t GoTo(int handle, long n)
{
    return GetDbfRecord(handle, n);
}

namespace {

// Appends the current record behind the last one.  The fields and the end
// mark are written first and the flag byte last: until the flag lands, the
// old end mark still closes the table for readers that scan for it, and the
// header count is raised only later by UpdateHeader.  A failure cuts the
// file back to its old length.
dbRet_t AppendRecord(dbfRecord_t *table)
{
    if (table->NumRecs >= 0xFFFFFFFFL) {
        SetFileError(DBF_REC_TOO_HIGH, table->FileName);
        return FAILURE;
    }
    struct stat st {};
    if (::fstat(table->dFile, &st) != 0) {
        SetFileError(errno, table->FileName);
        return FAILURE;
    }
    table->CurRecord[0] = ' ';
    const off_t at = libdb::RecordOffset(table, table->NumRecs + 1);
    const size_t len = static_cast<size_t>(table->RecLen);
    std::vector<unsigned char> tail(table->CurRecord + 1, table->CurRecord + len);
    tail.push_back(libdb::kFileEnd);
    if (!io::WriteAt(table->dFile, tail.data(), tail.size(), at + 1) ||
        !io::WriteAt(table->dFile, table->CurRecord, 1, at)) {
        const int err = errno != 0 ? errno : DBF_WRITE;
        // Best effort: the header count still ends the table where it was.
        [[maybe_unused]] const int cut = ::ftruncate(table->dFile, st.st_size);
        SetFileError(err, table->FileName);
        return FAILURE;
    }
    ++table->NumRecs;
    table->hStatus = Updated;
    return SUCCESS;
}

// Overwrites record n in place; on a failed write the bytes it held are
// put back.
dbRet_t OverwriteRecord(dbfRecord_t *table, long n)
{
    const size_t len = static_cast<size_t>(table->RecLen);
    const off_t at = libdb::RecordOffset(table, n);
    std::vector<unsigned char> old(len);
    const ssize_t got = io::ReadAt(table->dFile, old.data(), len, at);
    if (got < 0 || static_cast<size_t>(got) < len) {
        SetFileError(got < 0 ? errno : DBF_READ, table->FileName);
        return FAILURE;
    }
    if (!io::WriteAt(table->dFile, table->CurRecord, len, at)) {
        const int err = errno != 0 ? errno : DBF_WRITE;
        (void)io::WriteAt(table->dFile, old.data(), len, at);
        SetFileError(err, table->FileName);
        return FAILURE;
    }
    return SUCCESS;
}

}  // namespace

dbRet_t PutDbfRecord(int handle, long n)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    if (n < 1) {
        SetFileError(DBF_REC_TOO_LOW, table->FileName);
        return FAILURE;
    }
    if (n > table->NumRecs) {
        if (!AppendRecord(table))
            return FAILURE;
        n = table->NumRecs;
    } else if (!OverwriteRecord(table, n)) {
        return FAILURE;
    }
    table->CurRec = n;
    table->rStatus = NotUpdated;
    ClearError();
    return SUCCESS;
}

dbRet_t AppendDbf(int handle)
{
    dbfRecord_t *table = GetOldDbfHandle(handle);
    if (table == nullptr)
        return FAILURE;
    return PutDbfRecord(handle, table->NumRecs + 1);
}

dbRet_t UpdateHeader(dbfRecord_t *table)
{
    if (table == nullptr || table->dFile == -1) {
        SetError(DBF_EMPTY_HANDLE, "%s", "");
        return FAILURE;
    }
    unsigned char bytes[8];
    bytes[0] = table->HeadProlog[0];
    struct stat st {};
    if (::fstat(table->dFile, &st) == 0) {
        std::tm local{};
        ::localtime_r(&st.st_mtime, &local);
        bytes[1] = static_cast<unsigned char>(local.tm_year);
        bytes[2] = static_cast<unsigned char>(local.tm_mon + 1);
        bytes[3] = static_cast<unsigned char>(local.tm_mday);
    } else {
        libdb::TodayBytes(&bytes[1]);
    }
    libdb::PutLE32(&bytes[4], static_cast<uint32_t>(table->NumRecs));
    ssize_t put;
    do
        put = io::WriteOnce(table->dFile, bytes, sizeof bytes, 0);
    while (put < 0 && errno == EINTR);
    if (put != static_cast<ssize_t>(sizeof bytes)) {
        SetFileError(DBF_WRITE, table->FileName);
        return FAILURE;
    }
    std::memcpy(table->HeadProlog, bytes, sizeof bytes);
    std::snprintf(table->DateOfUpdate, sizeof table->DateOfUpdate, "%2d/%02d/%02d", bytes[2],
                  bytes[3], bytes[1]);
    table->hStatus = NotUpdated;
    ClearError();
    return SUCCESS;
}

dbRet_t CreateDbf(int *handle, const char *path, const FieldRecord_t *fields, int numFields)
{
    if (handle == nullptr || path == nullptr || std::strlen(path) >= sizeof(dbfRecord_t{}.FileName)) {
        SetError(DBF_OPEN, "'%s'", path ? path : "");
        return FAILURE;
    }
    if (fields == nullptr || numFields < 1 || numFields > static_cast<int>(libdb::kDbfMaxFields)) {
        SetError(DBF_FIELD_ERROR, "'%d' in '%s'", numFields, path);
        return FAILURE;
    }
    // Check every descriptor before anything is written.
    std::set<std::string> names;
    long recLen = 1;
    for (int i = 0; i < numFields; ++i) {
        const FieldRecord_t &f = fields[i];
        const size_t nameLen = strnlen(f.Name, sizeof f.Name);
        const std::string name(f.Name, nameLen);
        if (f.Typ != 'C' && f.Typ != 'D' && f.Typ != 'L' && f.Typ != 'N') {
            SetError(DBF_FIELD_TYPE, "'%s' in '%s'", name.c_str(), path);
            return FAILURE;
        }
        const bool widthOk = (f.Typ == 'C' && f.Len >= 1) || (f.Typ == 'D' && f.Len == 8) ||
                             (f.Typ == 'L' && f.Len == 1) || (f.Typ == 'N' && f.Len >= 1 && f.Len <= 63);
        const bool decOk = f.Typ == 'N' ? f.Dec < f.Len : f.Dec == 0;
        if (nameLen < 1 || nameLen > libdb::kNdxKeyNameLen || !names.insert(name).second ||
            !widthOk || !decOk) {
            SetError(DBF_FIELD_ERROR, "'%s' in '%s'", name.c_str(), path);
            return FAILURE;
        }
        recLen += f.Len;
    }

    const size_t headLen = libdb::kDbfPrologSize + static_cast<size_t>(numFields) * libdb::kDbfDescSize + 1;
    std::vector<unsigned char> bytes(headLen + 1, 0);
    bytes[0] = libdb::kDbfVersion;
    libdb::TodayBytes(&bytes[1]);
    libdb::PutLE32(&bytes[4], 0);
    libdb::PutLE16(&bytes[8], static_cast<uint32_t>(headLen));
    libdb::PutLE16(&bytes[10], static_cast<uint32_t>(recLen));
    for (int i = 0; i < numFields; ++i) {
        unsigned char *desc = &bytes[libdb::kDbfPrologSize + static_cast<size_t>(i) * libdb::kDbfDescSize];
        std::memcpy(desc + libdb::kDescName, fields[i].Name, strnlen(fields[i].Name, libdb::kNdxKeyNameLen));
        desc[libdb::kDescType] = static_cast<unsigned char>(fields[i].Typ);
        desc[libdb::kDescLen] = fields[i].Len;
        desc[libdb::kDescDec] = fields[i].Dec;
    }
    bytes[headLen - 1] = libdb::kDescEnd;
    bytes[headLen] = libdb::kFileEnd;

    if (const int err = io::ReplaceFile(path, bytes); err != 0) {
        SetFileError(err, path);
        return FAILURE;
    }
    return OpenDbf(handle, path, O_RDWR);
}
