// Other forms of a CDF image: see cdf_forms.h.
#include "cdf_forms.h"

#include <zlib.h>

namespace cdf_forms {

namespace {

void Append(std::string &out, int bytes, uint64_t value)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

std::string Gzip(const std::string &data)
{
    z_stream s{};
    if (deflateInit2(&s, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&s, static_cast<uLong>(data.size())) + 32, '\0');
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    const int z = deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return z == Z_STREAM_END ? out : std::string();
}

// Runs of zero bytes as a zero and the count of the zeros after the first
// (at most 255); every other byte as it is.
std::string Rle(const std::string &data)
{
    std::string out;
    for (size_t i = 0; i < data.size();) {
        if (data[i] != '\0') {
            out.push_back(data[i++]);
            continue;
        }
        size_t run = 0;
        while (i + run < data.size() && data[i + run] == '\0' && run < 256)
            ++run;
        out.push_back('\0');
        out.push_back(static_cast<char>(run - 1));
        i += run;
    }
    return out;
}

void AppendCpr(std::string &image, int32_t method)
{
    Append(image, 8, 28);
    Append(image, 4, 11);
    Append(image, 4, static_cast<uint32_t>(method));
    Append(image, 4, 0);
    Append(image, 4, 1);
    Append(image, 4, method == kGzip ? 6 : 0);
}

}  // namespace

uint64_t Get(const std::string &image, uint64_t at, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<unsigned char>(image.at(at + static_cast<uint64_t>(i)));
    return v;
}

void Put(std::string &image, uint64_t at, int bytes, uint64_t value)
{
    for (int i = 0; i < bytes; ++i)
        image.at(at + static_cast<uint64_t>(i)) = static_cast<char>(value >> (8 * (bytes - 1 - i)));
}

std::string Compress(int32_t method, const std::string &data)
{
    switch (method) {
    case kGzip: return Gzip(data);
    case kRle: return Rle(data);
    default: return data;
    }
}

uint64_t Gdr(const std::string &image) { return Get(image, 20, 8); }

namespace {

// The records of a chain from its head, each naming the next at +12.
std::vector<uint64_t> Chain(const std::string &image, uint64_t head, std::vector<uint64_t> into = {})
{
    for (uint64_t at = head; at != 0 && into.size() < 100000; at = Get(image, at + 12, 8))
        into.push_back(at);
    return into;
}

}  // namespace

std::vector<uint64_t> Vdrs(const std::string &image) { return Chain(image, Get(image, Gdr(image) + 20, 8)); }
std::vector<uint64_t> Adrs(const std::string &image) { return Chain(image, Get(image, Gdr(image) + 28, 8)); }

std::vector<uint64_t> Entries(const std::string &image, uint64_t adr)
{
    return Chain(image, Get(image, adr + 48, 8), Chain(image, Get(image, adr + 20, 8)));
}

std::string CompressVariables(const std::string &image, int32_t method)
{
    std::string out = image;
    for (const uint64_t vdr : Vdrs(image)) {
        const uint64_t vxr = Get(out, vdr + 28, 8);
        if (vxr == 0)
            continue;
        const uint64_t n = Get(out, vxr + 20, 4);
        const uint64_t used = Get(out, vxr + 24, 4);
        for (uint64_t k = 0; k < used; ++k) {
            const uint64_t entry = vxr + 28 + 8 * n + 8 * k;
            const uint64_t vvr = Get(out, entry, 8);
            const std::string records = out.substr(vvr + 12, Get(out, vvr, 8) - 12);
            const std::string packed = Compress(method, records);
            Put(out, entry, 8, out.size());
            Append(out, 8, 24 + packed.size());
            Append(out, 4, 13);
            Append(out, 4, 0);
            Append(out, 8, packed.size());
            out += packed;
        }
        Put(out, vdr + 44, 4, Get(out, vdr + 44, 4) | 4);
        Put(out, vdr + 72, 8, out.size());
        AppendCpr(out, method);
    }
    Put(out, Gdr(out) + 36, 8, out.size());
    return out;
}

std::string CompressFile(const std::string &image, int32_t method)
{
    const std::string rest = image.substr(8);
    const std::string packed = Compress(method, rest);
    std::string out;
    Append(out, 4, 0xCDF30001u);
    Append(out, 4, 0xCCCC0001u);
    const uint64_t ccrSize = 32 + packed.size();
    Append(out, 8, ccrSize);
    Append(out, 4, 10);
    Append(out, 8, 8 + ccrSize);  // the CPR follows
    Append(out, 8, rest.size());  // uncompressed, without the magic numbers
    Append(out, 4, 0);
    out += packed;
    AppendCpr(out, method);
    return out;
}

}  // namespace cdf_forms
