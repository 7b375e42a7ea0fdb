// Internals shared by the libdB sources: the failure text, error helpers,
// header parsing steps and the file I/O layer with its fault hook.
#pragma once

#include "dbf.h"
#include "libant.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace libdb {

// Text naming what failed (usually the file name in single quotes) and the
// last composed message line; both 128 bytes.
extern char msg[128];
extern char MSG[128];

// Records a failure: dbf_code = code, msg = the formatted text.
void SetError(int code, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// Records a failure naming a file: msg = "'path'".
void SetFileError(int code, const char *path);
// A successful operation: dbf_code = 0, msg empty.
void ClearError();

// Little-endian encoders for the on-disk records.
inline void PutLE16(unsigned char *p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
inline void PutLE32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// Byte offsets of the .dbf header and field descriptors.
inline constexpr size_t kDbfPrologSize = 32;     // fixed part of the header
inline constexpr size_t kDbfDescSize = 32;       // one field descriptor
inline constexpr size_t kDbfMaxFields = 128;
inline constexpr size_t kDbfHeaderRead = kDbfPrologSize + kDbfMaxFields * kDbfDescSize + 1;  // 4129
inline constexpr unsigned char kDbfVersion = 3;
inline constexpr unsigned char kDescEnd = 0x0D;  // ends the descriptors
inline constexpr unsigned char kFileEnd = 0x1A;  // follows the last record
inline constexpr size_t kDescName = 0, kDescNameLen = 11, kDescType = 11, kDescLen = 16,
                        kDescDec = 17;

// Byte offsets of the .NDX header and key descriptors.
inline constexpr size_t kNdxHeaderSize = 96;
inline constexpr size_t kNdxNextFree = 4, kNdxMaxRecs = 8, kNdxNumFields = 12, kNdxKeyDescs = 16;
inline constexpr size_t kNdxKeyDescSize = 16;
inline constexpr size_t kNdxKeyName = 0, kNdxKeyNameLen = 10, kNdxKeyType = 10, kNdxKeyLen = 11,
                        kNdxKeyDec = 12;
inline constexpr int kNdxMaxKeyFields = 5;

// Size of one index entry: the key rounded up to a multiple of 4, plus the
// 4-byte record number.
inline size_t NdxEntrySize(int keyLen)
{
    return (static_cast<size_t>(keyLen) + 3) / 4 * 4 + 4;
}

// Reading a table header (OpenDbf): the raw bytes, then their meaning.
dbRet_t GetHeader(dbfRecord_t *table, std::vector<unsigned char> &head);
dbRet_t ProcessHeader(dbfRecord_t *table, const std::vector<unsigned char> &head);
// Fills field from the descriptor at desc; `start` is its first byte inside
// the current record.  520 for an unknown type letter.
dbRet_t GetOneFieldDesc(dbfRecord_t *table, const unsigned char *desc, FieldRecord_t *field,
                        char *start);

// Offset of record n (1-based) in the table file.
off_t RecordOffset(const dbfRecord_t *table, long n);
// Writes back the current record when it is Updated and belongs to a record.
dbRet_t WriteBackCurrent(dbfRecord_t *table);

// Frees an index record with its entries and key fields (not unlinked).
void FreeNdxRecord(ndxRecord_t *index);
// Removes a table or index record from its list and frees it.
void DropDbfRecord(dbfRecord_t *table);
void DropNdxRecord(dbfRecord_t *table, ndxRecord_t *index);

// Today's date as {year - 1900, month, day} header bytes.
void TodayBytes(unsigned char out[3]);
// Copies path into a fixed 256-byte name; false when it does not fit.
bool CopyName(char (&dst)[256], const char *path);

namespace io {

// Reads up to count bytes at offset, retrying short reads; the number read,
// or -1 with errno set.
ssize_t ReadAt(int fd, void *buf, size_t count, off_t offset);
// One write call through the fault hook; what pwrite returns.
ssize_t WriteOnce(int fd, const void *buf, size_t count, off_t offset);
// Writes all bytes at offset; false with errno set (0 for a write that
// stored nothing without an error).
bool WriteAt(int fd, const void *buf, size_t count, off_t offset);
// Replaces the file at path by bytes: written to a new file in the same
// folder (mode 0666 less the umask), flushed and renamed over path.  0, or
// the system error number; on failure path is untouched.
int ReplaceFile(const std::string &path, const std::vector<unsigned char> &bytes);

}  // namespace io

}  // namespace libdb
