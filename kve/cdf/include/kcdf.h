/* kcdf: our own reader and writer of single-file CDF 3 files, behind an
 * interface shaped like the CDF library's internal one: one handle per open
 * file, variables and attributes addressed by number, hyperslab reads and
 * writes, and every operation answering with a status.
 *
 * What it handles: single-file CDF 3; both byte orders of IEEE data
 * (NETWORK, IBMPC and their kin) and both majorities when reading, of which
 * the writer produces the four combinations; rVariables and zVariables when
 * reading (rVariables come first and are seen as zVariables, their rEntries
 * as zEntries), zVariables only when writing; 0 to 10 dimensions with record
 * and dimension variances; sparse records (pad and previous); global and
 * variable attributes with their entries; the 17 data types of CDF 3;
 * whole-file and per-variable compression by GZIP and RLE when reading (the
 * writer writes uncompressed files).  Refused with a status: HUFF and AHUFF
 * compression (a file so compressed does not open; a variable so compressed
 * opens, and reading its values answers kCompressed), multi-file CDFs, CDF 2
 * files, VAX encodings, any record or size that does not fit the file, and
 * files whose reading would take more memory than max_file_bytes.
 *
 * In memory every value is held in host byte order, row major, with only the
 * varying dimensions of each record stored, as the file stores it; the file
 * is read whole (and decompressed) by Open and written whole by Close,
 * through a temporary file beside it that is renamed into place.
 *
 * Statuses: 0 success; positive: done, with a remark; -1 to -2000: warnings;
 * below -2000 (kWarn): errors, of which nothing was changed.  StatusText
 * gives each one's text.
 *
 * On-disk layout written (all header fields big-endian, offsets 8 bytes):
 *   0      magic 0xCDF30001, 0x0000FFFF
 *   8      CDR (312 bytes)
 *   320    GDR (84 bytes)
 *   ...    per attribute: ADR, its gEntries (AgrEDR), its zEntries (AzEDR)
 *   ...    per variable: zVDR, one VXR, one VVR per run of written records
 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kcdf {

using Status = long;

/* ---- Status codes ----------------------------------------------------- */

inline constexpr Status kOk = 0;                  /* done */
inline constexpr Status kVirtualRecords = 1001;   /* read, and some records were virtual (pad values) */
inline constexpr Status kWarn = -2000;            /* statuses below this are errors */
inline constexpr Status kCdfExists = -2001;       /* the file to create exists already */
inline constexpr Status kNoSuchCdf = -2002;       /* the file cannot be opened or read */
inline constexpr Status kNotACdf = -2003;         /* no CDF 3 magic numbers */
inline constexpr Status kCorrupt = -2004;         /* a record or size does not fit the file */
inline constexpr Status kCompressed = -2005;      /* HUFF or AHUFF compression: not handled */
inline constexpr Status kBadEncoding = -2006;     /* an encoding whose numbers are not IEEE */
inline constexpr Status kMultiFile = -2007;       /* a multi-file CDF: not handled */
inline constexpr Status kBadDataType = -2008;     /* unknown data type code */
inline constexpr Status kBadNumElems = -2009;     /* element count below 1, or above 1 for a number */
inline constexpr Status kBadNumDims = -2010;      /* more than 10 dimensions */
inline constexpr Status kBadDimSize = -2011;      /* a dimension size below 1 */
inline constexpr Status kVarExists = -2012;       /* a variable of that name exists */
inline constexpr Status kNoSuchVar = -2013;       /* no variable of that name or number */
inline constexpr Status kAttrExists = -2014;      /* an attribute of that name exists */
inline constexpr Status kNoSuchAttr = -2015;      /* no attribute of that name or number */
inline constexpr Status kBadScope = -2016;        /* scope other than global or variable */
inline constexpr Status kNoSuchEntry = -2017;     /* the attribute has no such entry */
inline constexpr Status kBadEntryNum = -2018;     /* entry number below 0 or not a variable's */
inline constexpr Status kBadRecord = -2019;       /* record selection outside 0 .. 2^31-2 */
inline constexpr Status kBadHyper = -2020;        /* hyperslab outside the dimensions, or an interval not 1 */
inline constexpr Status kTooBig = -2021;          /* sizes beyond what is held in memory */
inline constexpr Status kWriteFailed = -2022;     /* the file could not be written */
inline constexpr Status kBadName = -2023;         /* empty name or one longer than 256 characters */
inline constexpr Status kBadArgument = -2024;     /* an encoding, majority or count out of range */
inline constexpr Status kClosed = -2025;          /* the handle was closed or deleted */
inline constexpr Status kDecompress = -2026;      /* compressed data that do not expand to their size */

/* The text of a status; unknown codes have a text naming them. */
const char *StatusText(Status status);
/* What the last failed Open, Create, Close or Delete met: the path, a colon
 * and the reason (the system's own for a file that could not be read or
 * written, the status text and what the file holds wrong for a file that
 * is refused); empty when nothing failed yet.  Each failure replaces it. */
const std::string &LastError();

/* ---- Data types, encodings, scopes ------------------------------------ */

inline constexpr long kInt1 = 1, kInt2 = 2, kInt4 = 4, kInt8 = 8;
inline constexpr long kUint1 = 11, kUint2 = 12, kUint4 = 14;
inline constexpr long kReal4 = 21, kReal8 = 22;
inline constexpr long kEpoch = 31, kEpoch16 = 32, kTT2000 = 33;
inline constexpr long kByte = 41, kFloat = 44, kDouble = 45;
inline constexpr long kChar = 51, kUchar = 52;

/* Bytes of one element of a data type; 0 for an unknown code. */
size_t ElementSize(long dataType);
inline bool IsText(long dataType) { return dataType == kChar || dataType == kUchar; }

inline constexpr long kNetworkEncoding = 1;  /* big-endian IEEE */
inline constexpr long kIbmpcEncoding = 6;    /* little-endian IEEE */
inline constexpr long kRowMajor = 1, kColumnMajor = 2;
inline constexpr long kGlobalScope = 1, kVariableScope = 2;

inline constexpr long kMaxDims = 10;
inline constexpr size_t kMaxNameLength = 256;
/* Most bytes of values one variable, or one read, may hold in memory; a
 * hook for tests and fuzzing, which lower it. */
extern size_t max_value_bytes;
/* Most bytes that reading one file may take in memory at once: its image,
 * its decompressed image and records, the values and entries it holds, and
 * what a reader of this module builds from them (see File::HeldBytes); a
 * larger file does not open (kTooBig).  Also a hook for tests and fuzzing. */
extern size_t max_file_bytes;

/* Compression methods of a file or variable. */
inline constexpr long kNoCompression = 0, kRleCompression = 1, kHuffCompression = 2, kAhuffCompression = 3,
                      kGzipCompression = 5;

/* ---- Records of the interface ------------------------------------------ */

struct VarSpec {
    std::string name;
    long dataType = kDouble;
    long numElems = 1;
    std::vector<long> dimSizes;   /* 0 to 10 sizes, each at least 1 */
    std::vector<long> dimVarys;   /* one per dimension: non-zero varies */
    bool recVary = true;
};

struct VarInfo {
    std::string name;
    long dataType = 0;
    long numElems = 0;
    std::vector<long> dimSizes;
    std::vector<long> dimVarys;   /* -1 varies, 0 does not */
    bool recVary = true;
    long maxRec = -1;             /* highest record written; -1 none */
    long blockingFactor = 0;
    long compression = kNoCompression;  /* of its records in the file */
    Status unreadable = kOk;      /* kCompressed or kDecompress: its values cannot be read */
};

/* A hyperslab: records recStart .. recStart+recCount-1 and, per dimension,
 * indices dimIndices[d] .. +dimCounts[d]-1; intervals must be 1.  The values
 * are record by record, each in row-major order over the counts; along a
 * dimension that does not vary every index stands for the one stored value,
 * and a write keeps the values at index 0 of such a dimension. */
struct Hyper {
    long recStart = 0;
    long recCount = 1;
    long recInterval = 1;
    std::vector<long> dimIndices;
    std::vector<long> dimCounts;
    std::vector<long> dimIntervals;
};

struct AttrInfo {
    std::string name;
    long scope = kGlobalScope;
    long maxGEntry = -1;   /* highest gEntry number; -1 none */
    long numGEntries = 0;
    long maxZEntry = -1;   /* highest zEntry number (a variable number); -1 none */
    long numZEntries = 0;
};

enum class EntryKind { Global, Variable };

struct EntryInfo {
    long dataType = 0;
    long numElems = 0;
};

/* ---- The file handle ----------------------------------------------------- */

class File {
public:
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    /* Creates name + ".cdf" (the name is given without extension), claiming
     * the path exclusively: kCdfExists when it exists.  The new CDF is
     * NETWORK-encoded and row major until changed. */
    static Status Create(const std::string &name, std::unique_ptr<File> &out);
    /* Reads the CDF at name, or at name + ".cdf" when name does not end so:
     * kNoSuchCdf, kNotACdf, kCorrupt, kCompressed, kDecompress (both for a
     * compressed file), kBadEncoding, kMultiFile, kTooBig.  Every count and
     * size is checked against the file before anything is allocated. */
    static Status Open(const std::string &name, std::unique_ptr<File> &out);
    /* Writes a created or changed CDF (temporary file, then rename) and ends
     * the handle; kWriteFailed leaves any earlier file untouched, as does a
     * variable whose values could not be read (its status). */
    Status Close();
    /* Removes the file and ends the handle. */
    Status Delete();

    Status SetEncoding(long encoding);
    Status SetMajority(long majority);
    long Encoding() const;
    long Majority() const;
    const std::string &Path() const;

    /* Variables. */
    long NumVars() const;
    long MaxRec() const;  /* highest record over all variables; -1 none */
    /* Bytes of values and entries the handle holds in memory. */
    size_t HeldBytes() const;
    Status VarNumber(const std::string &name, long *num) const;
    Status CreateVar(const VarSpec &spec, long *num);
    Status GetVarInfo(long num, VarInfo *info) const;
    Status SetBlockingFactor(long num, long factor);
    /* Bytes of the values a hyperslab moves: records x counts x elements. */
    Status HyperBytes(long num, const Hyper &hyper, size_t *bytes) const;
    Status PutHyper(long num, const Hyper &hyper, const void *values, size_t bytes);
    /* Records never written read as the pad value (or, for sparse
     * "previous" variables, the last written record before them); such a
     * read answers kVirtualRecords.  A variable whose values cannot be read
     * answers its VarInfo::unreadable status. */
    Status GetHyper(long num, const Hyper &hyper, void *values, size_t bytes) const;

    /* Attributes. */
    long NumAttrs() const;
    long NumGAttrs() const;
    long NumVAttrs() const;
    Status AttrNumber(const std::string &name, long *num) const;
    Status CreateAttr(const std::string &name, long scope, long *num);
    Status GetAttrInfo(long num, AttrInfo *info) const;
    /* Entries: gEntries of a global attribute, zEntries (numbered by
     * variable) of a variable attribute.  kNoSuchEntry when absent. */
    Status GetEntryInfo(long attr, EntryKind kind, long entry, EntryInfo *info) const;
    Status GetEntry(long attr, EntryKind kind, long entry, void *values, size_t bytes) const;
    /* Sets an entry: numElems elements of dataType (characters for text). */
    Status PutEntry(long attr, EntryKind kind, long entry, long dataType, long numElems, const void *values,
                    size_t bytes);

    struct Impl;

private:
    explicit File(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

/* ---- CDF_EPOCH ------------------------------------------------------------ */

/* Milliseconds since 0000-01-01T00:00:00.000 of a date and time. */
double ComputeEpoch(long year, long month, long day, long hour, long minute, long second, long msec);
/* Breaks an epoch down to its date and time.  A value that is not finite,
 * below 0 (after truncation to whole milliseconds) or after the last
 * millisecond of 9999 gives 9999-12-31 23:59:59.999, as fill values do. */
void EPOCHbreakdown(double epoch, long *year, long *month, long *day, long *hour, long *minute, long *second,
                    long *msec);

}  // namespace kcdf
