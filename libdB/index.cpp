// Indexes: loading, building and writing the flat sorted key files, and
// moving through a table by index position or key.
#include "dbf_int.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using libdb::ClearError;
using libdb::SetError;
using libdb::SetFileError;
namespace io = libdb::io;

namespace {

// Closes a descriptor when it goes out of scope.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;

private:
    int fd_;
};

// Offset of the record number inside an entry.
size_t RecNoOffset(int keyLen)
{
    return libdb::NdxEntrySize(keyLen) - 4;
}

const unsigned char *EntryAt(const ndxRecord_t *index, long position)
{
    return index->Index + static_cast<size_t>(position - 1) * libdb::NdxEntrySize(index->KeyLen);
}

// a + b, held to the range of long.
long AddClamped(long a, long b)
{
    long sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? LONG_MAX : LONG_MIN;
    return sum;
}

// Reads the header and key fields of an index file into index.
dbRet_t LoadIndex(int tableHandle, dbfRecord_t *table, ndxRecord_t *index, int fd)
{
    unsigned char head[libdb::kNdxHeaderSize];
    const ssize_t got = io::ReadAt(fd, head, sizeof head, 0);
    if (got < 0) {
        SetFileError(errno, index->IndexName);
        return FAILURE;
    }
    if (static_cast<size_t>(got) < sizeof head) {
        SetFileError(DBF_READ, index->IndexName);
        return FAILURE;
    }
    index->NextFreeIndexRec = MakeLong(&head[libdb::kNdxNextFree]);
    index->MAXIndexRecs = MakeLong(&head[libdb::kNdxMaxRecs]);
    const long numFields = MakeLong(&head[libdb::kNdxNumFields]);
    if (numFields < 1 || numFields > libdb::kNdxMaxKeyFields) {
        SetFileError(DBF_NOT_XBASE, index->IndexName);
        return FAILURE;
    }
    index->IndexFields =
        static_cast<FieldRecord_t *>(std::calloc(static_cast<size_t>(numFields), sizeof(FieldRecord_t)));
    if (index->IndexFields == nullptr) {
        SetFileError(ENOMEM, index->IndexName);
        return FAILURE;
    }
    index->NumIndexFields = static_cast<int>(numFields);
    index->KeyLen = 0;
    for (int k = 0; k < index->NumIndexFields; ++k) {
        const unsigned char *desc = &head[libdb::kNdxKeyDescs + static_cast<size_t>(k) * libdb::kNdxKeyDescSize];
        char name[libdb::kNdxKeyNameLen + 1] = {};
        std::memcpy(name, desc + libdb::kNdxKeyName, libdb::kNdxKeyNameLen);
        const FieldRecord_t *field = dbField(tableHandle, name);
        if (field == nullptr)
            return FAILURE;
        if (field->Len != desc[libdb::kNdxKeyLen] || field->Typ != static_cast<char>(desc[libdb::kNdxKeyType])) {
            SetError(DBF_FIELD_ERROR, "'%s' in '%s'", name, index->IndexName);
            return FAILURE;
        }
        index->IndexFields[k] = *field;
        index->KeyLen += field->Len;
    }

    // Every entry must be in the file and name a record of the table.
    const size_t entrySize = libdb::NdxEntrySize(index->KeyLen);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        SetFileError(errno, index->IndexName);
        return FAILURE;
    }
    const unsigned long long room = static_cast<unsigned long long>(st.st_size) - libdb::kNdxHeaderSize;
    if (static_cast<unsigned long long>(index->MAXIndexRecs) > room / entrySize) {
        SetFileError(DBF_NOT_XBASE, index->IndexName);
        return FAILURE;
    }
    const size_t bytes = static_cast<size_t>(index->MAXIndexRecs) * entrySize;
    auto *entries = static_cast<unsigned char *>(std::malloc(bytes > 0 ? bytes : 1));
    if (entries == nullptr) {
        SetFileError(ENOMEM, index->IndexName);
        return FAILURE;
    }
    const ssize_t read = io::ReadAt(fd, entries, bytes, libdb::kNdxHeaderSize);
    if (read < 0 || static_cast<size_t>(read) < bytes) {
        SetFileError(read < 0 ? errno : DBF_READ, index->IndexName);
        std::free(entries);
        return FAILURE;
    }
    const size_t recOff = RecNoOffset(index->KeyLen);
    for (long i = 0; i < index->MAXIndexRecs; ++i) {
        const long rec = MakeLong(entries + static_cast<size_t>(i) * entrySize + recOff);
        if (rec < 1 || rec > table->NumRecs) {
            SetFileError(DBF_NOT_XBASE, index->IndexName);
            std::free(entries);
            return FAILURE;
        }
    }
    index->Index = entries;
    return SUCCESS;
}

// The bytes of an index file: header, key descriptors and all entries.
std::vector<unsigned char> IndexBytes(const ndxRecord_t *index)
{
    const size_t entries = static_cast<size_t>(index->MAXIndexRecs) * libdb::NdxEntrySize(index->KeyLen);
    std::vector<unsigned char> bytes(libdb::kNdxHeaderSize, 0);
    libdb::TodayBytes(&bytes[1]);
    libdb::PutLE32(&bytes[libdb::kNdxNextFree], static_cast<uint32_t>(index->NextFreeIndexRec));
    libdb::PutLE32(&bytes[libdb::kNdxMaxRecs], static_cast<uint32_t>(index->MAXIndexRecs));
    libdb::PutLE32(&bytes[libdb::kNdxNumFields], static_cast<uint32_t>(index->NumIndexFields));
    for (int k = 0; k < index->NumIndexFields; ++k) {
        const FieldRecord_t &f = index->IndexFields[k];
        unsigned char *desc = &bytes[libdb::kNdxKeyDescs + static_cast<size_t>(k) * libdb::kNdxKeyDescSize];
        std::memcpy(desc + libdb::kNdxKeyName, f.Name, strnlen(f.Name, libdb::kNdxKeyNameLen));
        desc[libdb::kNdxKeyType] = static_cast<unsigned char>(f.Typ);
        desc[libdb::kNdxKeyLen] = f.Len;
        desc[libdb::kNdxKeyDec] = f.Dec;
    }
    bytes.insert(bytes.end(), index->Index, index->Index + entries);
    return bytes;
}

}  // namespace

long ItoR(const ndxRecord_t *index, long position)
{
    if (index == nullptr || index->Index == nullptr || position < 1 || position > index->MAXIndexRecs)
        return 0;
    return MakeLong(EntryAt(index, position) + RecNoOffset(index->KeyLen));
}

dbRet_t OpenNdx(int tableHandle, const char *path, int *ndxNum)
{
    dbfRecord_t *table = GetOldDbfHandle(tableHandle);
    if (table == nullptr)
        return FAILURE;
    if (path == nullptr || ndxNum == nullptr) {
        SetError(EINVAL, "'%s'", path ? path : "");
        return FAILURE;
    }
    ndxRecord_t *index = GetNewNdxHandle(table);
    if (index == nullptr)
        return FAILURE;
    if (!libdb::CopyName(index->IndexName, path)) {
        libdb::DropNdxRecord(table, index);
        SetFileError(ENAMETOOLONG, path);
        return FAILURE;
    }
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0) {
        SetFileError(errno, path);
        libdb::DropNdxRecord(table, index);
        return FAILURE;
    }
    FdGuard guard(fd);
    if (!LoadIndex(tableHandle, table, index, fd)) {
        libdb::DropNdxRecord(table, index);
        return FAILURE;
    }
    index->iStatus = NotUpdated;
    index->IndexRec = -1;
    *ndxNum = index->handle;
    ClearError();
    return SUCCESS;
}

dbRet_t CloseNdx(int tableHandle, int ndxNum)
{
    dbfRecord_t *table = GetOldDbfHandle(tableHandle);
    if (table == nullptr)
        return FAILURE;
    ndxRecord_t *index = ndxHandle(table, ndxNum);
    if (index == nullptr)
        return FAILURE;
    if (index->Index == nullptr) {
        ClearError();
        return SUCCESS;
    }
    if (index->iStatus == Updated) {
        int err = 0;
        try {
            err = io::ReplaceFile(index->IndexName, IndexBytes(index));
        } catch (const std::bad_alloc &) {
            err = ENOMEM;
        }
        if (err != 0) {
            SetFileError(err, index->IndexName);
            return FAILURE;
        }
    }
    libdb::DropNdxRecord(table, index);
    ClearError();
    return SUCCESS;
}

dbRet_t CreateNdx(int tableHandle, const char *path, const char *const *keyFields, int numKeyFields,
                  int *ndxNum)
{
    dbfRecord_t *table = GetOldDbfHandle(tableHandle);
    if (table == nullptr)
        return FAILURE;
    if (path == nullptr || ndxNum == nullptr || std::strlen(path) >= sizeof(ndxRecord_t{}.IndexName)) {
        SetError(ENAMETOOLONG, "'%s'", path ? path : "");
        return FAILURE;
    }
    if (keyFields == nullptr || numKeyFields < 1 || numKeyFields > libdb::kNdxMaxKeyFields) {
        SetError(DBF_FIELD_ERROR, "'%d' in '%s'", numKeyFields, path);
        return FAILURE;
    }
    std::vector<FieldRecord_t> fields;
    int keyLen = 0;
    for (int k = 0; k < numKeyFields; ++k) {
        const FieldRecord_t *field = dbField(tableHandle, keyFields[k]);
        if (field == nullptr)
            return FAILURE;
        if (std::strlen(field->Name) > libdb::kNdxKeyNameLen) {
            SetError(DBF_FIELD_ERROR, "'%s' in '%s'", field->Name, path);
            return FAILURE;
        }
        fields.push_back(*field);
        keyLen += field->Len;
    }
    if (!libdb::WriteBackCurrent(table))
        return FAILURE;

    // Collect the key of every record, then sort by key bytes and record.
    struct Entry {
        std::vector<unsigned char> key;
        long rec;
    };
    std::vector<Entry> entries;
    try {
        entries.reserve(static_cast<size_t>(table->NumRecs));
        const size_t recLen = static_cast<size_t>(table->RecLen);
        std::vector<unsigned char> record(recLen);
        for (long r = 1; r <= table->NumRecs; ++r) {
            const ssize_t got = io::ReadAt(table->dFile, record.data(), recLen, libdb::RecordOffset(table, r));
            if (got < 0 || static_cast<size_t>(got) < recLen) {
                SetFileError(got < 0 ? errno : DBF_READ, table->FileName);
                return FAILURE;
            }
            Entry entry{{}, r};
            for (const FieldRecord_t &f : fields) {
                const auto *at = record.data() + (f.Parm - table->CurRecord);
                entry.key.insert(entry.key.end(), at, at + f.Len);
            }
            entries.push_back(std::move(entry));
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry &a, const Entry &b) { return a.key < b.key; });
    } catch (const std::bad_alloc &) {  // a table too large to index in memory
        SetFileError(ENOMEM, path);
        return FAILURE;
    }

    const size_t entrySize = libdb::NdxEntrySize(keyLen);
    const size_t bytes = entries.size() * entrySize;
    auto *buffer = static_cast<unsigned char *>(std::calloc(bytes > 0 ? bytes : 1, 1));
    auto *keyDescs = static_cast<FieldRecord_t *>(std::calloc(fields.size(), sizeof(FieldRecord_t)));
    ndxRecord_t *index = (buffer && keyDescs) ? GetNewNdxHandle(table) : nullptr;
    if (index == nullptr) {
        std::free(buffer);
        std::free(keyDescs);
        SetFileError(ENOMEM, path);
        return FAILURE;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        unsigned char *at = buffer + i * entrySize;
        std::memcpy(at, entries[i].key.data(), entries[i].key.size());
        libdb::PutLE32(at + RecNoOffset(keyLen), static_cast<uint32_t>(entries[i].rec));
    }
    std::copy(fields.begin(), fields.end(), keyDescs);
    libdb::CopyName(index->IndexName, path);
    index->IndexFields = keyDescs;
    index->NumIndexFields = numKeyFields;
    index->KeyLen = keyLen;
    index->Index = buffer;
    index->MAXIndexRecs = table->NumRecs;
    index->NextFreeIndexRec = table->NumRecs;
    index->IndexRec = -1;
    index->iStatus = Updated;
    *ndxNum = index->handle;
    ClearError();
    return SUCCESS;
}

dbRet_t Skip(int tableHandle, int ndxNum, long n)
{
    dbfRecord_t *table = GetOldDbfHandle(tableHandle);
    if (table == nullptr)
        return FAILURE;
    if (ndxNum == -1)
        return GetDbfRecord(tableHandle, AddClamped(table->CurRec, n));
    ndxRecord_t *index = GetOldNdxHandle(table, ndxNum);
    if (index == nullptr)
        return FAILURE;
    long position = AddClamped(index->IndexRec, n);
    if (position < 1)
        position = 1;
    if (position > index->NextFreeIndexRec || position > index->MAXIndexRecs) {
        SetFileError(DBF_REC_TOO_HIGH, index->IndexName);
        return FAILURE;
    }
    if (!GoTo(tableHandle, ItoR(index, position)))
        return FAILURE;
    index->IndexRec = position;
    return SUCCESS;
}

dbFindRet_t dbFind(int tableHandle, int ndxNum, const char *key, int near)
{
    dbfRecord_t *table = GetOldDbfHandle(tableHandle);
    if (table == nullptr)
        return FAIL;
    ndxRecord_t *index = GetOldNdxHandle(table, ndxNum);
    if (index == nullptr)
        return FAIL;
    if (key == nullptr) {
        SetFileError(DBF_FIELD_VALUE, index->IndexName);
        return FAIL;
    }
    const size_t compared = std::min(std::strlen(key), static_cast<size_t>(index->KeyLen));
    const long count = std::min(table->NumRecs, index->MAXIndexRecs);
    if (count <= 0) {
        ClearError();
        return NO_MATCH;
    }
    long lo = 1, hi = count, probe = 0;
    int order = 0;
    while (lo <= hi) {
        probe = lo + (hi - lo) / 2;
        order = std::memcmp(key, EntryAt(index, probe), compared);
        if (order == 0)
            break;
        if (order < 0)
            hi = probe - 1;
        else
            lo = probe + 1;
    }
    if (order != 0 && !near) {
        ClearError();
        return NO_MATCH;
    }
    if (!GoTo(tableHandle, ItoR(index, probe)))
        return FIND_ERROR;
    index->IndexRec = probe;
    if (order == 0)
        return EXACT_MATCH;
    return order < 0 ? MATCH_LESS : MATCH_GREATER;
}
