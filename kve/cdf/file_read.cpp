// The parse of a whole single-file CDF 3 image into the in-memory CDF, its
// compressed file or records expanded.  Every offset, record size and count
// is checked against the image before use; chains are walked at most as
// many steps as the image could hold records, so a loop of offsets ends as
// corrupt.  What the parse keeps or expands in memory is taken from the
// file's budget of max_file_bytes (less the image itself), and the bytes it
// copies or expands from a budget as large, so that no file makes it hold
// or move more than that whatever its offsets say.  Every chain (variables,
// attributes, entries, index records) keeps the offsets it has visited: a
// record met twice is a loop, refused as corrupt with the chain named.
#include "kcdf_int.h"

#include <set>

namespace kcdf {

namespace {

constexpr uint32_t kMagic3 = 0xCDF30001u;
constexpr uint32_t kMagicCompressed = 0xCCCC0001u;
constexpr uint32_t kMagicUncompressed = 0x0000FFFFu;

// Smallest sizes of the records that counts in the GDR and ADRs stand for.
constexpr uint64_t kRVdrSize = 340, kZVdrSize = 344, kAdrSize = 68 + kMaxNameLength, kAedrSize = 56;
// Header bytes of a CCR, CPR and CVVR before their data or parameters.
constexpr uint64_t kCcrHead = 32, kCprHead = 24, kCvvrHead = 24;

class Reader {
public:
    explicit Reader(const std::vector<unsigned char> &image) : img_(image) {}
    size_t Size() const { return img_.size(); }
    bool Has(uint64_t at, uint64_t n) const { return at <= img_.size() && n <= img_.size() - at; }
    uint64_t U(uint64_t at, int bytes) const
    {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | img_[static_cast<size_t>(at) + static_cast<size_t>(i)];
        return v;
    }
    int32_t I32(uint64_t at) const { return static_cast<int32_t>(static_cast<uint32_t>(U(at, 4))); }
    int64_t I64(uint64_t at) const { return static_cast<int64_t>(U(at, 8)); }
    const unsigned char *Ptr(uint64_t at) const { return img_.data() + at; }
    std::string Name(uint64_t at) const
    {
        std::string name(reinterpret_cast<const char *>(img_.data() + at), kMaxNameLength);
        name.resize(std::strlen(name.c_str()));
        return name;
    }

    // Checks that a record of the given type starts at offset and lies
    // within the image with at least minSize bytes; gives its size.
    bool Record(int64_t offset, int32_t type, uint64_t minSize, uint64_t *size) const
    {
        if (offset < 8 || !Has(static_cast<uint64_t>(offset), 12))
            return false;
        const int64_t s = I64(static_cast<uint64_t>(offset));
        if (s < static_cast<int64_t>(minSize) || !Has(static_cast<uint64_t>(offset), static_cast<uint64_t>(s)))
            return false;
        if (I32(static_cast<uint64_t>(offset) + 8) != type)
            return false;
        *size = static_cast<uint64_t>(s);
        return true;
    }

private:
    const std::vector<unsigned char> &img_;
};

struct Context {
    const Reader &r;
    bool big;
    bool columnMajor;
    size_t steps;   // chain steps left over the whole parse
    size_t budget;  // bytes the parse may still keep in memory
    size_t work;    // bytes it may still copy or expand
    std::string problem;  // what made the parse refuse the file, when said
    bool Step()
    {
        if (steps == 0)
            return false;
        --steps;
        return true;
    }
    bool Take(size_t n)
    {
        if (n > budget)
            return false;
        budget -= n;
        return true;
    }
    bool Move(size_t n)
    {
        if (n > work)
            return false;
        work -= n;
        return true;
    }
    // Marks a record of a chain visited; false, with the loop said, when
    // it was visited before.
    bool Visit(std::set<int64_t> &seen, int64_t at, const char *chain)
    {
        if (seen.insert(at).second)
            return true;
        problem = std::string("the ") + chain + " chain loops back to offset " + std::to_string(at);
        return false;
    }
};

Status ReadEntryChain(Context &c, int64_t head, long count, std::map<long, Entry> &into, int32_t type,
                      long numberBase)
{
    int64_t at = head;
    std::set<int64_t> seen;
    for (long k = 0; k < count && at != 0; ++k) {
        uint64_t size = 0;
        if (!c.Visit(seen, at, "entry") || !c.Step() || !c.r.Record(at, type, 56, &size))
            return kCorrupt;
        const auto u = static_cast<uint64_t>(at);
        Entry e;
        e.dataType = c.r.I32(u + 24);
        const long num = c.r.I32(u + 28);
        e.numElems = c.r.I32(u + 32);
        const size_t elem = ElementSize(e.dataType);
        if (elem == 0)
            return kBadDataType;
        if (e.numElems < 1 || num < 0)
            return kCorrupt;
        size_t bytes = 0;
        if (!MulSize(elem, static_cast<size_t>(e.numElems), &bytes) || bytes > size - 56)
            return kCorrupt;
        if (!c.Take(bytes + sizeof e))
            return kTooBig;
        e.bytes.assign(c.r.Ptr(u + 56), c.r.Ptr(u + 56) + bytes);
        ConvertOrder(e.bytes.data(), bytes, e.dataType, c.big);
        long key = 0;
        if (__builtin_add_overflow(num, numberBase, &key))
            return kCorrupt;
        into[key] = std::move(e);
        at = c.r.I64(u + 12);
    }
    return at != 0 && seen.count(at) != 0 && !c.Visit(seen, at, "entry") ? kCorrupt : kOk;
}

// Copies the records a VXR tree indexes into the variable, expanding the
// compressed ones; records after the variable's highest are left out.  A
// variable whose compressed records do not expand is marked unreadable.
Status ReadIndex(Context &c, Variable &v, int64_t head, int depth, std::set<int64_t> &seen)
{
    if (depth > 8)
        return kCorrupt;
    const size_t recordBytes = v.RecordBytes();
    std::vector<unsigned char> plain;
    int64_t at = head;
    while (at != 0) {
        uint64_t size = 0;
        if (!c.Visit(seen, at, "index") || !c.Step() || !c.r.Record(at, 6, 28, &size))
            return kCorrupt;
        const auto u = static_cast<uint64_t>(at);
        const int32_t n = c.r.I32(u + 20);
        const int32_t used = c.r.I32(u + 24);
        if (n < 0 || used < 0 || used > n || 28 + 16 * static_cast<uint64_t>(n) > size)
            return kCorrupt;
        for (int32_t k = 0; k < used; ++k) {
            const int32_t first = c.r.I32(u + 28 + 4 * static_cast<uint64_t>(k));
            const int32_t last = c.r.I32(u + 28 + 4 * static_cast<uint64_t>(n) + 4 * static_cast<uint64_t>(k));
            const int64_t off = c.r.I64(u + 28 + 8 * static_cast<uint64_t>(n) + 8 * static_cast<uint64_t>(k));
            if (first < 0 || last < first || off < 8 || !c.r.Has(static_cast<uint64_t>(off), 12))
                return kCorrupt;
            const auto o = static_cast<uint64_t>(off);
            const int32_t type = c.r.I32(o + 8);
            if (type == 6) {
                if (const Status s = ReadIndex(c, v, off, depth + 1, seen); s != kOk)
                    return s;
                continue;
            }
            const size_t count = static_cast<size_t>(last - first) + 1;
            size_t bytes = 0;
            if (!MulSize(count, recordBytes, &bytes))
                return kCorrupt;
            const unsigned char *records = nullptr;
            uint64_t recSize = 0;
            if (type == 13) {
                if (v.compression == kNoCompression || !c.r.Record(off, 13, kCvvrHead, &recSize))
                    return kCorrupt;
                const int64_t cSize = c.r.I64(o + 16);
                if (cSize < 0 || static_cast<uint64_t>(cSize) > recSize - kCvvrHead)
                    return kCorrupt;
                if (v.unreadable != kOk || first > v.maxRec)
                    continue;
                // The expanded records are held only until copied.
                if (bytes > max_value_bytes || bytes > c.budget || !c.Move(bytes))
                    return kTooBig;
                plain.clear();
                const Status s =
                    Expand(v.compression, c.r.Ptr(o + kCvvrHead), static_cast<size_t>(cSize), bytes, plain);
                if (s != kOk) {
                    v.unreadable = s;
                    continue;
                }
                records = plain.data();
            } else {
                if (!c.r.Record(off, 7, 12, &recSize) || bytes > recSize - 12)
                    return kCorrupt;
                records = c.r.Ptr(o + 12);
            }
            if (first > v.maxRec || v.unreadable != kOk)
                continue;
            const long kept = std::min<long>(last, v.maxRec);
            const size_t keptBytes = static_cast<size_t>(kept - first + 1) * recordBytes;
            size_t needed = 0;
            if (!MulSize(static_cast<size_t>(kept) + 1, recordBytes, &needed) || needed > max_value_bytes)
                return kTooBig;
            if (v.data.size() < needed) {
                if (!c.Take(needed - v.data.size() + (static_cast<size_t>(kept) + 1) / 8))
                    return kTooBig;
                v.data.resize(needed);
                v.written.resize(static_cast<size_t>(kept) + 1, false);
            }
            if (type != 13 && !c.Move(keptBytes))
                return kTooBig;
            std::memcpy(v.data.data() + static_cast<size_t>(first) * recordBytes, records, keptBytes);
            for (size_t r = static_cast<size_t>(first); r <= static_cast<size_t>(kept); ++r)
                v.written[r] = true;
        }
        at = c.r.I64(u + 12);
    }
    return kOk;
}

Status ReadVariables(Context &c, int64_t head, long count, bool zVars, const std::vector<long> &rDims,
                     std::vector<Variable> &vars)
{
    int64_t at = head;
    std::set<int64_t> seen;
    for (long k = 0; k < count; ++k) {
        uint64_t size = 0;
        if (at == 0 || !c.Visit(seen, at, "variable") || !c.Step() ||
            !c.r.Record(at, zVars ? 8 : 3, zVars ? 344 : 340, &size))
            return kCorrupt;
        const auto u = static_cast<uint64_t>(at);
        Variable v;
        v.dataType = c.r.I32(u + 20);
        v.maxRec = c.r.I32(u + 24);
        const int64_t vxrHead = c.r.I64(u + 28);
        const int32_t flags = c.r.I32(u + 44);
        v.sparse = c.r.I32(u + 48);
        v.numElems = c.r.I32(u + 64);
        v.blockingFactor = c.r.I32(u + 80);
        v.name = c.r.Name(u + 84);
        v.recVary = (flags & 1) != 0;
        if ((flags & 4) != 0) {
            // The CPR names the method; one not read leaves the variable
            // unreadable, the rest of the file is read.
            const int64_t cpr = c.r.I64(u + 72);
            uint64_t cprSize = 0;
            if (!c.r.Record(cpr, 11, kCprHead, &cprSize))
                return kCorrupt;
            v.compression = c.r.I32(static_cast<uint64_t>(cpr) + 12);
            if (v.compression != kNoCompression && v.compression != kRleCompression &&
                v.compression != kGzipCompression)
                v.unreadable = kCompressed;
        }
        uint64_t pos = u + 340;
        if (zVars) {
            const int32_t dims = c.r.I32(pos);
            pos += 4;
            if (dims < 0 || dims > kMaxDims || pos + 8 * static_cast<uint64_t>(dims) > u + size)
                return kCorrupt;
            for (int32_t d = 0; d < dims; ++d)
                v.dimSizes.push_back(c.r.I32(pos + 4 * static_cast<uint64_t>(d)));
            pos += 4 * static_cast<uint64_t>(dims);
        } else {
            v.dimSizes = rDims;
            if (pos + 4 * rDims.size() > u + size)
                return kCorrupt;
        }
        for (size_t d = 0; d < v.dimSizes.size(); ++d)
            v.dimVarys.push_back(c.r.I32(pos + 4 * d) != 0 ? -1 : 0);
        pos += 4 * v.dimSizes.size();
        if (const Status s = CheckShape(v.dataType, v.numElems, v.dimSizes); s != kOk)
            return s == kBadDataType ? kBadDataType : kCorrupt;
        if (v.maxRec < -1 || (!v.recVary && v.maxRec > 0 && false))
            return kCorrupt;
        if ((flags & 2) != 0) {
            const size_t bytes = v.ValueBytes();
            if (pos + bytes > u + size)
                return kCorrupt;
            v.pad.assign(c.r.Ptr(pos), c.r.Ptr(pos) + bytes);
            ConvertOrder(v.pad.data(), bytes, v.dataType, c.big);
        }
        std::set<int64_t> indexSeen;
        if (v.unreadable == kOk && v.maxRec >= 0 && vxrHead != 0)
            if (const Status s = ReadIndex(c, v, vxrHead, 0, indexSeen); s != kOk)
                return s;
        if (v.unreadable != kOk) {
            c.budget += v.data.size();
            v.data = {};
            v.written = {};
        } else {
            const size_t recordBytes = v.RecordBytes();
            std::vector<long> varying;
            for (size_t d = 0; d < v.dimSizes.size(); ++d)
                if (v.dimVarys[d] != 0)
                    varying.push_back(v.dimSizes[d]);
            std::vector<unsigned char> record(recordBytes);
            for (size_t r = 0; r < v.written.size(); ++r) {
                unsigned char *p = v.data.data() + r * recordBytes;
                ConvertOrder(p, recordBytes, v.dataType, c.big);
                if (c.columnMajor && varying.size() > 1) {
                    Transpose(p, record.data(), varying, v.ValueBytes(), false);
                    std::memcpy(p, record.data(), recordBytes);
                }
            }
        }
        vars.push_back(std::move(v));
        at = c.r.I64(u + 12);
    }
    return at != 0 && seen.count(at) != 0 && !c.Visit(seen, at, "variable") ? kCorrupt : kOk;
}

// The image of a compressed file expanded: the magic numbers of an
// uncompressed file, then the records the CCR holds.
Status ExpandFile(const std::vector<unsigned char> &image, size_t *budget, std::vector<unsigned char> &plain)
{
    const Reader r(image);
    uint64_t ccrSize = 0, cprSize = 0;
    if (!r.Record(8, 10, kCcrHead, &ccrSize))
        return kCorrupt;
    const int64_t cpr = r.I64(20);
    const int64_t uSize = r.I64(28);
    if (!r.Record(cpr, 11, kCprHead, &cprSize) || uSize < 0)
        return kCorrupt;
    const long method = r.I32(static_cast<uint64_t>(cpr) + 12);
    if (method != kRleCompression && method != kGzipCompression)
        return method == kHuffCompression || method == kAhuffCompression ? kCompressed : kCorrupt;
    if (*budget < 8 || static_cast<uint64_t>(uSize) > *budget - 8)
        return kTooBig;
    *budget -= static_cast<size_t>(uSize) + 8;
    plain.reserve(static_cast<size_t>(uSize) + 8);
    for (const uint32_t magic : {kMagic3, kMagicUncompressed})
        for (int shift = 24; shift >= 0; shift -= 8)
            plain.push_back(static_cast<unsigned char>(magic >> shift));
    return Expand(method, r.Ptr(8 + kCcrHead), static_cast<size_t>(ccrSize - kCcrHead), static_cast<size_t>(uSize),
                  plain);
}

// The variables and attributes of the image, each chain walked once.
Status ParseRecords(Context &c, int64_t rVdrHead, int64_t zVdrHead, int64_t adrHead, int32_t nrVars, int32_t nzVars,
                    int32_t numAttr, const std::vector<long> &rDims, std::vector<Variable> &vars,
                    std::vector<Attribute> &attrs)
{
    const Reader &r = c.r;
    uint64_t size = 0;
    if (const Status s = ReadVariables(c, rVdrHead, nrVars, false, rDims, vars); s != kOk)
        return s;
    if (const Status s = ReadVariables(c, zVdrHead, nzVars, true, rDims, vars); s != kOk)
        return s;
    int64_t at = adrHead;
    std::set<int64_t> seen;
    for (int32_t a = 0; a < numAttr; ++a) {
        if (at == 0 || !c.Visit(seen, at, "attribute") || !c.Step() || !r.Record(at, 4, 68 + kMaxNameLength, &size))
            return kCorrupt;
        const auto u = static_cast<uint64_t>(at);
        Attribute attr;
        const int32_t scope = r.I32(u + 28);
        attr.scope = (scope == 1 || scope == 3) ? kGlobalScope : kVariableScope;
        attr.name = r.Name(u + 68);
        const bool global = attr.scope == kGlobalScope;
        const int32_t nGr = r.I32(u + 36), nZ = r.I32(u + 56);
        if (nGr < 0 || nZ < 0 || kAedrSize * (static_cast<uint64_t>(nGr) + static_cast<uint64_t>(nZ)) > r.Size())
            return kCorrupt;
        // A variable attribute's gr-entries are its rVariables' entries; its
        // z-entries follow the rVariables in our numbering.
        if (const Status s = ReadEntryChain(c, r.I64(u + 20), nGr, global ? attr.gEntries : attr.zEntries, 5, 0);
            s != kOk)
            return s;
        if (const Status s = ReadEntryChain(c, r.I64(u + 48), nZ, attr.zEntries, 9, global ? 0 : nrVars);
            s != kOk)
            return s;
        attrs.push_back(std::move(attr));
        at = r.I64(u + 12);
    }
    return at != 0 && seen.count(at) != 0 && !c.Visit(seen, at, "attribute") ? kCorrupt : kOk;
}

}  // namespace

Status File::Impl::Parse(const std::vector<unsigned char> &image)
{
    size_t budget = image.size() < max_file_bytes ? max_file_bytes - image.size() : 0;
    const Reader outer(image);
    if (outer.Has(0, 8) && outer.U(0, 4) == kMagic3 && outer.U(4, 4) == kMagicCompressed) {
        std::vector<unsigned char> plain;
        if (const Status s = ExpandFile(image, &budget, plain); s != kOk)
            return s;
        return ParseImage(plain, budget);
    }
    return ParseImage(image, budget);
}

Status File::Impl::ParseImage(const std::vector<unsigned char> &image, size_t budget)
{
    const Reader r(image);
    if (!r.Has(0, 8))
        return kNotACdf;
    const auto magic1 = static_cast<uint32_t>(r.U(0, 4));
    const auto magic2 = static_cast<uint32_t>(r.U(4, 4));
    if (magic1 != kMagic3 || magic2 == kMagicCompressed)
        return kNotACdf;
    uint64_t size = 0;
    if (!r.Record(8, 1, 56 + kMaxNameLength, &size))
        return kCorrupt;
    const int64_t gdr = r.I64(20);
    encoding = r.I32(36);
    const int32_t flags = r.I32(40);
    const auto big = EncodingIsBigEndian(encoding);
    if (!big)
        return kBadEncoding;
    if ((flags & 2) == 0)
        return kMultiFile;
    majority = (flags & 1) != 0 ? kRowMajor : kColumnMajor;
    if (!r.Record(gdr, 2, 84, &size))
        return kCorrupt;
    const auto g = static_cast<uint64_t>(gdr);
    const int64_t rVdrHead = r.I64(g + 12);
    const int64_t zVdrHead = r.I64(g + 20);
    const int64_t adrHead = r.I64(g + 28);
    const int32_t nrVars = r.I32(g + 44);
    const int32_t numAttr = r.I32(g + 48);
    const int32_t rNumDims = r.I32(g + 56);
    const int32_t nzVars = r.I32(g + 60);
    if (nrVars < 0 || nzVars < 0 || numAttr < 0 || rNumDims < 0 || rNumDims > kMaxDims ||
        84 + 4 * static_cast<uint64_t>(rNumDims) > size)
        return kCorrupt;
    // Each variable and attribute counted is a record of the image.
    if (kRVdrSize * static_cast<uint64_t>(nrVars) + kZVdrSize * static_cast<uint64_t>(nzVars) > image.size() ||
        kAdrSize * static_cast<uint64_t>(numAttr) > image.size())
        return kCorrupt;
    std::vector<long> rDims;
    for (int32_t d = 0; d < rNumDims; ++d)
        rDims.push_back(r.I32(g + 84 + 4 * static_cast<uint64_t>(d)));
    Context c{r, *big, majority == kColumnMajor, image.size() / 12 + 1, budget, max_file_bytes, {}};
    const Status status = ParseRecords(c, rVdrHead, zVdrHead, adrHead, nrVars, nzVars, numAttr, rDims, vars, attrs);
    problem = c.problem;
    return status;
}

}  // namespace kcdf
