// The file image of an in-memory CDF: magic numbers, CDR, GDR, the
// attributes with their entries, then each zVariable with one VXR and one
// VVR per run of written records.  Every header field is big-endian and
// every offset 8 bytes wide (CDF 3); values are in the CDF's encoding and
// majority.
#include "kcdf_int.h"

#include <bit>

namespace kcdf {

namespace {

constexpr uint32_t kMagic1 = 0xCDF30001u;
constexpr uint32_t kMagicUncompressed = 0x0000FFFFu;
constexpr size_t kCdrSize = 312;
constexpr size_t kGdrSize = 84;
constexpr size_t kAdrSize = 324;
constexpr size_t kAedrHead = 56;
constexpr size_t kVdrHead = 344;  // before the dimension sizes and variances
constexpr int64_t kNoOffset = -1;

class Image {
public:
    explicit Image(std::vector<unsigned char> &out) : out_(out) {}
    size_t Size() const { return out_.size(); }
    void I32(int64_t v) { Put(static_cast<uint32_t>(static_cast<int32_t>(v)), 4); }
    void I64(int64_t v) { Put(static_cast<uint64_t>(v), 8); }
    void Bytes(const unsigned char *p, size_t n) { out_.insert(out_.end(), p, p + n); }
    void Name(const std::string &name)
    {
        const size_t at = out_.size();
        out_.resize(at + kMaxNameLength, 0);
        std::memcpy(out_.data() + at, name.data(), std::min(name.size(), kMaxNameLength));
    }
    void Patch64(size_t at, int64_t v)
    {
        for (int i = 0; i < 8; ++i)
            out_[at + static_cast<size_t>(i)] = static_cast<unsigned char>(static_cast<uint64_t>(v) >> (56 - 8 * i));
    }

private:
    void Put(uint64_t v, int bytes)
    {
        for (int i = bytes - 1; i >= 0; --i)
            out_.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
    std::vector<unsigned char> &out_;
};

// Writes one chain of entries (AgrEDRs or AzEDRs); returns the head offset.
int64_t WriteEntries(Image &img, const std::map<long, Entry> &entries, long attrNum, bool zEntries, bool big)
{
    int64_t head = 0;
    size_t prevNext = 0;
    for (const auto &[num, e] : entries) {
        const size_t at = img.Size();
        if (prevNext != 0)
            img.Patch64(prevNext, static_cast<int64_t>(at));
        else
            head = static_cast<int64_t>(at);
        img.I64(static_cast<int64_t>(kAedrHead + e.bytes.size()));
        img.I32(zEntries ? 9 : 5);
        prevNext = img.Size();
        img.I64(0);  // AEDRnext
        img.I32(attrNum);
        img.I32(e.dataType);
        img.I32(num);
        img.I32(e.numElems);
        img.I32(IsText(e.dataType) ? 1 : 0);  // NumStrings
        img.I32(0);
        img.I32(0);
        img.I32(-1);
        img.I32(-1);
        std::vector<unsigned char> value = e.bytes;
        ConvertOrder(value.data(), value.size(), e.dataType, big);
        img.Bytes(value.data(), value.size());
    }
    return head;
}

}  // namespace

Status File::Impl::Serialize(std::vector<unsigned char> &out) const
{
    // A variable whose values were never read would be written without
    // them.
    for (const Variable &v : vars)
        if (v.unreadable != kOk)
            return v.unreadable;
    const bool big = *EncodingIsBigEndian(encoding);
    out.clear();
    size_t planned = 8 + 312 + 84;
    for (const Attribute &a : attrs) {
        planned += 324;
        for (const auto &entries : {&a.gEntries, &a.zEntries})
            for (const auto &[num, e] : *entries)
                planned += 56 + e.bytes.size();
    }
    for (const Variable &v : vars)
        planned += 344 + 8 * v.dimSizes.size() + 28 + 16 * v.written.size() + 12 * v.written.size() + v.data.size();
    out.reserve(planned);
    Image img(out);
    img.I32(static_cast<int32_t>(kMagic1));
    img.I32(static_cast<int32_t>(kMagicUncompressed));

    // CDR
    img.I64(kCdrSize);
    img.I32(1);
    img.I64(8 + kCdrSize);  // GDRoffset
    img.I32(3);             // version
    img.I32(9);             // release
    img.I32(encoding);
    img.I32((majority == kRowMajor ? 1 : 0) | 2);  // majority, single-file
    img.I32(0);
    img.I32(0);
    img.I32(0);   // increment
    img.I32(-1);  // identifier
    img.I32(-1);
    img.Name("Common Data Format (CDF)\nwritten by the KVE exchange library\n");

    // GDR; the heads and end of file are patched once known.
    const size_t gdr = img.Size();
    img.I64(kGdrSize);
    img.I32(2);
    img.I64(0);  // rVDRhead
    const size_t zVdrHeadAt = img.Size();
    img.I64(0);
    const size_t adrHeadAt = img.Size();
    img.I64(0);
    const size_t eofAt = img.Size();
    img.I64(0);
    img.I32(0);  // NrVars
    img.I32(static_cast<int64_t>(attrs.size()));
    img.I32(-1);  // rMaxRec
    img.I32(0);   // rNumDims
    img.I32(static_cast<int64_t>(vars.size()));
    img.I64(0);  // UIRhead
    img.I32(0);
    img.I32(0);  // leap second table date
    img.I32(-1);
    if (img.Size() != gdr + kGdrSize)
        return kCorrupt;

    size_t prevNext = adrHeadAt;
    for (size_t a = 0; a < attrs.size(); ++a) {
        const Attribute &attr = attrs[a];
        const size_t at = img.Size();
        img.Patch64(prevNext, static_cast<int64_t>(at));
        img.I64(kAdrSize);
        img.I32(4);
        prevNext = img.Size();
        img.I64(0);  // ADRnext
        const size_t gHeadAt = img.Size();
        img.I64(0);
        img.I32(attr.scope);
        img.I32(static_cast<int64_t>(a));
        img.I32(static_cast<int64_t>(attr.gEntries.size()));
        img.I32(attr.gEntries.empty() ? -1 : attr.gEntries.rbegin()->first);
        img.I32(0);
        const size_t zHeadAt = img.Size();
        img.I64(0);
        img.I32(static_cast<int64_t>(attr.zEntries.size()));
        img.I32(attr.zEntries.empty() ? -1 : attr.zEntries.rbegin()->first);
        img.I32(-1);
        img.Name(attr.name);
        if (img.Size() != at + kAdrSize)
            return kCorrupt;
        img.Patch64(gHeadAt, WriteEntries(img, attr.gEntries, static_cast<long>(a), false, big));
        img.Patch64(zHeadAt, WriteEntries(img, attr.zEntries, static_cast<long>(a), true, big));
    }

    prevNext = zVdrHeadAt;
    for (size_t n = 0; n < vars.size(); ++n) {
        const Variable &v = vars[n];
        const size_t at = img.Size();
        const size_t dims = v.dimSizes.size();
        img.Patch64(prevNext, static_cast<int64_t>(at));
        img.I64(static_cast<int64_t>(kVdrHead + 8 * dims));
        img.I32(8);
        prevNext = img.Size();
        img.I64(0);  // VDRnext
        img.I32(v.dataType);
        img.I32(v.maxRec);
        const size_t vxrHeadAt = img.Size();
        img.I64(0);
        img.I64(0);
        img.I32(v.recVary ? 1 : 0);
        img.I32(0);  // SRecords
        img.I32(0);
        img.I32(-1);
        img.I32(-1);
        img.I32(v.numElems);
        img.I32(static_cast<int64_t>(n));
        img.I64(kNoOffset);  // CPRorSPRoffset
        img.I32(v.blockingFactor);
        img.Name(v.name);
        img.I32(static_cast<int64_t>(dims));
        for (long s : v.dimSizes)
            img.I32(s);
        for (long vary : v.dimVarys)
            img.I32(vary != 0 ? -1 : 0);
        if (img.Size() != at + kVdrHead + 8 * dims)
            return kCorrupt;

        // Runs of written records.
        std::vector<std::pair<long, long>> runs;
        const long last = std::min<long>(v.maxRec, static_cast<long>(v.written.size()) - 1);
        for (long r = 0; r <= last; ++r) {
            if (!v.written[static_cast<size_t>(r)])
                continue;
            if (!runs.empty() && runs.back().second == r - 1)
                runs.back().second = r;
            else
                runs.emplace_back(r, r);
        }
        if (runs.empty())
            continue;
        const size_t vxr = img.Size();
        img.Patch64(vxrHeadAt, static_cast<int64_t>(vxr));
        img.Patch64(vxrHeadAt + 8, static_cast<int64_t>(vxr));
        img.I64(static_cast<int64_t>(28 + 16 * runs.size()));
        img.I32(6);
        img.I64(0);
        img.I32(static_cast<int64_t>(runs.size()));
        img.I32(static_cast<int64_t>(runs.size()));
        for (const auto &run : runs)
            img.I32(run.first);
        for (const auto &run : runs)
            img.I32(run.second);
        const size_t offsetsAt = img.Size();
        for (size_t k = 0; k < runs.size(); ++k)
            img.I64(0);
        const size_t recordBytes = v.RecordBytes();
        std::vector<long> varying;
        for (size_t d = 0; d < dims; ++d)
            if (v.dimVarys[d] != 0)
                varying.push_back(v.dimSizes[d]);
        std::vector<unsigned char> record(recordBytes);
        for (size_t k = 0; k < runs.size(); ++k) {
            img.Patch64(offsetsAt + 8 * k, static_cast<int64_t>(img.Size()));
            const size_t count = static_cast<size_t>(runs[k].second - runs[k].first + 1);
            img.I64(static_cast<int64_t>(12 + count * recordBytes));
            img.I32(7);
            for (long r = runs[k].first; r <= runs[k].second; ++r) {
                const unsigned char *from = v.data.data() + static_cast<size_t>(r) * recordBytes;
                if (majority == kColumnMajor)
                    Transpose(from, record.data(), varying, v.ValueBytes(), true);
                else
                    std::memcpy(record.data(), from, recordBytes);
                ConvertOrder(record.data(), recordBytes, v.dataType, big);
                img.Bytes(record.data(), recordBytes);
            }
        }
    }
    img.Patch64(eofAt, static_cast<int64_t>(img.Size()));
    return kOk;
}

}  // namespace kcdf
