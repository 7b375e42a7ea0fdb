// Expansion of the compressed records of a CDF: GZIP through zlib, RLE (runs
// of zero bytes) by hand.  HUFF and AHUFF are not read.
#include "kcdf_int.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace kcdf {

namespace {

// A gzip stream (RFC 1952) of one member; bytes after its end are ignored.
Status Gunzip(const unsigned char *in, size_t n, size_t size, std::vector<unsigned char> &out)
{
    z_stream s{};
    if (inflateInit2(&s, 15 + 16) != Z_OK)
        return kDecompress;
    const size_t start = out.size();
    out.resize(start + size, 0);
    s.next_in = const_cast<Bytef *>(in);
    s.next_out = out.data() + start;
    size_t inLeft = n, outLeft = size;
    int z = Z_OK;
    // zlib counts in unsigned int; feed it in pieces.
    while (z == Z_OK) {
        const auto inStep = static_cast<uInt>(std::min<size_t>(inLeft, UINT_MAX));
        const auto outStep = static_cast<uInt>(std::min<size_t>(outLeft, UINT_MAX));
        s.avail_in = inStep;
        s.avail_out = outStep;
        z = inflate(&s, Z_NO_FLUSH);
        inLeft -= inStep - s.avail_in;
        outLeft -= outStep - s.avail_out;
        if (z == Z_OK && (inStep == s.avail_in && outStep == s.avail_out))
            z = Z_BUF_ERROR;  // no progress: input ended or output full
    }
    inflateEnd(&s);
    if (z != Z_STREAM_END || outLeft != 0) {
        out.resize(start);
        return kDecompress;
    }
    return kOk;
}

Status Unrle(const unsigned char *in, size_t n, size_t size, std::vector<unsigned char> &out)
{
    const size_t start = out.size();
    out.resize(start + size, 0);
    unsigned char *to = out.data() + start;
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        if (in[i] != 0) {
            if (at == size) {
                at = size + 1;
                break;
            }
            to[at++] = in[i];
            continue;
        }
        if (i + 1 == n)
            break;
        const size_t zeros = static_cast<size_t>(in[++i]) + 1;
        if (zeros > size - at) {
            at = size + 1;
            break;
        }
        at += zeros;  // already zero
    }
    if (at != size) {
        out.resize(start);
        return kDecompress;
    }
    return kOk;
}

}  // namespace

Status Expand(long method, const unsigned char *in, size_t n, size_t size, std::vector<unsigned char> &out)
{
    switch (method) {
    case kGzipCompression: return Gunzip(in, n, size, out);
    case kRleCompression: return Unrle(in, n, size, out);
    default: return kCompressed;
    }
}

}  // namespace kcdf
