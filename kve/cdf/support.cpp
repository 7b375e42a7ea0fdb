// Byte order, majority and epoch helpers of the CDF module, and the texts of
// its statuses.
#include "kcdf_int.h"

#include <bit>
#include <cmath>

namespace kcdf {

const char *StatusText(Status status)
{
    switch (status) {
    case kOk: return "CDF_OK: function completed successfully";
    case kVirtualRecords: return "VIRTUAL_RECORD_DATA: one or more of the records are virtual";
    case kCdfExists: return "CDF_EXISTS: the CDF named already exists";
    case kNoSuchCdf: return "NO_SUCH_CDF: the CDF cannot be opened or read";
    case kNotACdf: return "NOT_A_CDF: not a single-file CDF of version 3";
    case kCorrupt: return "CORRUPTED_V3_CDF: a record or size does not fit the file";
    case kCompressed: return "UNSUPPORTED_COMPRESSION: HUFF and AHUFF compression are not handled";
    case kBadEncoding: return "BAD_ENCODING: the encoding's numbers are not IEEE";
    case kMultiFile: return "UNSUPPORTED_FORMAT: multi-file CDFs are not handled";
    case kBadDataType: return "BAD_DATA_TYPE: unknown data type";
    case kBadNumElems: return "BAD_NUM_ELEMS: element count out of range";
    case kBadNumDims: return "BAD_NUM_DIMS: more than 10 dimensions";
    case kBadDimSize: return "BAD_DIM_SIZE: a dimension size below 1";
    case kVarExists: return "VAR_EXISTS: a variable of that name exists";
    case kNoSuchVar: return "NO_SUCH_VAR: no such variable";
    case kAttrExists: return "ATTR_EXISTS: an attribute of that name exists";
    case kNoSuchAttr: return "NO_SUCH_ATTR: no such attribute";
    case kBadScope: return "BAD_SCOPE: scope other than global or variable";
    case kNoSuchEntry: return "NO_SUCH_ENTRY: the attribute has no such entry";
    case kBadEntryNum: return "BAD_ENTRY_NUM: entry number out of range";
    case kBadRecord: return "BAD_REC_NUM: record number out of range";
    case kBadHyper: return "BAD_DIM_INDEX: hyperslab outside the dimensions";
    case kTooBig: return "TOO_BIG: sizes beyond what is held in memory";
    case kWriteFailed: return "CDF_WRITE_ERROR: the file could not be written";
    case kBadName: return "BAD_NAME: empty name or one longer than 256 characters";
    case kBadArgument: return "BAD_ARGUMENT: an argument is out of range";
    case kClosed: return "BAD_CDF_ID: the handle was closed or deleted";
    case kDecompress: return "DECOMPRESSION_ERROR: compressed data do not expand to their size";
    default: return "UNKNOWN_STATUS: a status this module does not know";
    }
}

std::optional<bool> EncodingIsBigEndian(long encoding)
{
    switch (encoding) {
    case 1: case 2: case 5: case 7: case 9: case 11: case 12: case 18:  // NETWORK, SUN, SGi, IBMRS, PPC, HP, NeXT, ARM_BIG
        return true;
    case 4: case 6: case 13: case 16: case 17: case 19:  // DECSTATION, IBMPC, ALPHAOSF1, ALPHAVMSi, ARM_LITTLE, IA64VMSi
        return false;
    default:  // VAX and the VMS D/G float encodings, HOST, unknown
        return std::nullopt;
    }
}

size_t SwapUnit(long dataType)
{
    switch (dataType) {
    case kEpoch16:
        return 8;  // two doubles
    case kChar: case kUchar: case kInt1: case kUint1: case kByte:
        return 1;
    default:
        return ElementSize(dataType);
    }
}

void ConvertOrder(unsigned char *values, size_t bytes, long dataType, bool fileBigEndian)
{
    const bool hostBig = std::endian::native == std::endian::big;
    const size_t unit = SwapUnit(dataType);
    if (hostBig == fileBigEndian || unit <= 1)
        return;
    for (size_t at = 0; at + unit <= bytes; at += unit)
        for (size_t i = 0; i < unit / 2; ++i)
            std::swap(values[at + i], values[at + unit - 1 - i]);
}

void Transpose(const unsigned char *from, unsigned char *to, const std::vector<long> &dims, size_t valueBytes,
               bool toColumnMajor)
{
    const size_t n = dims.size();
    size_t total = 1;
    for (long d : dims)
        total *= static_cast<size_t>(d);
    if (n < 2) {
        std::memcpy(to, from, total * valueBytes);
        return;
    }
    // Strides of both orders; walk the row-major index and place each value.
    std::vector<size_t> rowStride(n), colStride(n);
    rowStride[n - 1] = 1;
    for (size_t d = n - 1; d > 0; --d)
        rowStride[d - 1] = rowStride[d] * static_cast<size_t>(dims[d]);
    colStride[0] = 1;
    for (size_t d = 1; d < n; ++d)
        colStride[d] = colStride[d - 1] * static_cast<size_t>(dims[d - 1]);
    std::vector<long> at(n, 0);
    for (size_t k = 0; k < total; ++k) {
        size_t col = 0;
        for (size_t d = 0; d < n; ++d)
            col += static_cast<size_t>(at[d]) * colStride[d];
        if (toColumnMajor)
            std::memcpy(to + col * valueBytes, from + k * valueBytes, valueBytes);
        else
            std::memcpy(to + k * valueBytes, from + col * valueBytes, valueBytes);
        for (size_t d = n; d > 0; --d) {
            if (++at[d - 1] < dims[d - 1])
                break;
            at[d - 1] = 0;
        }
    }
}

namespace {

// Days since 0000-01-01 of a date, by the CDF library's day-count rule
// (integer divisions truncating toward zero).
long DayCount(long y, long m, long d)
{
    return 367 * y - 7 * (y + (m + 9) / 12) / 4 - 3 * ((y + (m - 9) / 7) / 100 + 1) / 4 + 275 * m / 9 + d +
           1721029 - 1721060;
}

}  // namespace

double ComputeEpoch(long year, long month, long day, long hour, long minute, long second, long msec)
{
    const double days = static_cast<double>(DayCount(year, month, day));
    return (((days * 24.0 + static_cast<double>(hour)) * 60.0 + static_cast<double>(minute)) * 60.0 +
            static_cast<double>(second)) * 1000.0 + static_cast<double>(msec);
}

void EPOCHbreakdown(double epoch, long *year, long *month, long *day, long *hour, long *minute, long *second,
                    long *msec)
{
    constexpr double kLast = 315569519999999.0;  // 9999-12-31T23:59:59.999
    double whole = std::isfinite(epoch) ? std::trunc(epoch) : -1.0;
    if (whole < 0.0 || whole > kLast) {
        *year = 9999; *month = 12; *day = 31; *hour = 23; *minute = 59; *second = 59; *msec = 999;
        return;
    }
    const auto ms = static_cast<long long>(whole);
    const long long days = ms / 86400000;
    long long rest = ms % 86400000;
    // Gregorian date of a Julian day number (Fliegel and Van Flandern).
    long long l = days + 1721060 + 68569;
    const long long n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    const long long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long long j = 80 * l / 2447;
    *day = static_cast<long>(l - 2447 * j / 80);
    l = j / 11;
    *month = static_cast<long>(j + 2 - 12 * l);
    *year = static_cast<long>(100 * (n - 49) + i + l);
    *hour = static_cast<long>(rest / 3600000);
    rest %= 3600000;
    *minute = static_cast<long>(rest / 60000);
    rest %= 60000;
    *second = static_cast<long>(rest / 1000);
    *msec = static_cast<long>(rest % 1000);
}

}  // namespace kcdf
