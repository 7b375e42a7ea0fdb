// Internals of the CDF module: the in-memory CDF, byte-order helpers and the
// parse and write steps, shared by the kcdf sources.
#pragma once

#include "kcdf.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kcdf {

// One attribute entry: numElems elements of dataType, host byte order.
struct Entry {
    long dataType = 0;
    long numElems = 0;
    std::vector<unsigned char> bytes;
};

struct Attribute {
    std::string name;
    long scope = kGlobalScope;
    std::map<long, Entry> gEntries;  // by entry number
    std::map<long, Entry> zEntries;  // by variable number
};

// Sparse-record modes of a variable (the VDR's SRecords).
inline constexpr long kNoSparse = 0, kPadSparse = 1, kPrevSparse = 2;

struct Variable {
    std::string name;
    long dataType = kDouble;
    long numElems = 1;
    std::vector<long> dimSizes;
    std::vector<long> dimVarys;  // -1 varies, 0 does not
    bool recVary = true;
    long maxRec = -1;
    long blockingFactor = 0;
    long sparse = kNoSparse;
    std::vector<unsigned char> pad;     // one value; empty: the type's default
    std::vector<unsigned char> data;    // physical records 0 .. data.size()/RecordBytes()-1
    std::vector<bool> written;          // per physical record
    long compression = kNoCompression;  // of its records in the file
    Status unreadable = kOk;            // kCompressed or kDecompress: values not read

    // Bytes of one value (all its elements).
    size_t ValueBytes() const { return ElementSize(dataType) * static_cast<size_t>(numElems); }
    // Values in one physical record: the product of the varying dimensions.
    size_t RecordValues() const;
    size_t RecordBytes() const { return RecordValues() * ValueBytes(); }
    // The pad value (given or default), ValueBytes() long.
    std::vector<unsigned char> PadValue() const;
};

// Checked arithmetic on sizes: false on overflow.
inline bool MulSize(size_t a, size_t b, size_t *out) { return !__builtin_mul_overflow(a, b, out); }
inline bool AddSize(size_t a, size_t b, size_t *out) { return !__builtin_add_overflow(a, b, out); }

// Byte order of an encoding: true for big-endian IEEE, false for
// little-endian IEEE; nullopt for an encoding this module cannot read.
std::optional<bool> EncodingIsBigEndian(long encoding);
// Width of the units a value of dataType is byte-swapped in (1: none).
size_t SwapUnit(long dataType);
// Converts count bytes of values of dataType between host order and the
// given file order, in place.
void ConvertOrder(unsigned char *values, size_t bytes, long dataType, bool fileBigEndian);

// Reorders the values of one physical record between row-major and
// column-major order over dims (the varying dimension sizes).
void Transpose(const unsigned char *from, unsigned char *to, const std::vector<long> &dims, size_t valueBytes,
               bool toColumnMajor);

// Checks a variable's shape: type, elements, dimensions.
Status CheckShape(long dataType, long numElems, const std::vector<long> &dimSizes);

// Expands n bytes compressed by method (GZIP: a gzip stream; RLE: runs of
// zero bytes as a zero and a count of the zeros after the first), appending
// them to out; they must come to exactly size bytes, which the caller has
// checked against its limits.  kOk; kCompressed for HUFF, AHUFF or another
// method; kDecompress for data that do not expand to exactly size bytes
// (out is then as it was).
Status Expand(long method, const unsigned char *in, size_t n, size_t size, std::vector<unsigned char> &out);

// Keeps the text LastError gives: the file and the reason.
void SetLastError(const std::string &path, const std::string &reason);

}  // namespace kcdf

struct kcdf::File::Impl {
    std::string path;
    bool writable = false;  // made by Create, or changed since Open
    bool closed = false;
    long encoding = kNetworkEncoding;
    long majority = kRowMajor;
    std::vector<Variable> vars;
    std::vector<Attribute> attrs;
    std::string problem;  // what a refused parse found, when it says more than its status

    // The parse of a whole file image into this CDF, expanded first when
    // the whole file is compressed (file_read.cpp).
    Status Parse(const std::vector<unsigned char> &image);
    // The parse of an uncompressed image, keeping at most budget bytes.
    Status ParseImage(const std::vector<unsigned char> &image, size_t budget);
    // The file image of this CDF (file_write.cpp).
    Status Serialize(std::vector<unsigned char> &image) const;
};
