// The CDF handle: creating, opening, closing and deleting files, and the
// operations on variables, hyperslabs, attributes and entries of the
// in-memory CDF.
#include "kcdf_int.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

namespace kcdf {

size_t max_value_bytes = size_t{256} << 20;
size_t max_file_bytes = size_t{1} << 30;

size_t ElementSize(long dataType)
{
    switch (dataType) {
    case kInt1: case kUint1: case kByte: case kChar: case kUchar:
        return 1;
    case kInt2: case kUint2:
        return 2;
    case kInt4: case kUint4: case kReal4: case kFloat:
        return 4;
    case kInt8: case kReal8: case kDouble: case kEpoch: case kTT2000:
        return 8;
    case kEpoch16:
        return 16;
    default:
        return 0;
    }
}

size_t Variable::RecordValues() const
{
    size_t n = 1;
    for (size_t d = 0; d < dimSizes.size(); ++d)
        if (dimVarys[d] != 0)
            n *= static_cast<size_t>(dimSizes[d]);  // bounded by CheckShape
    return n;
}

std::vector<unsigned char> Variable::PadValue() const
{
    if (pad.size() == ValueBytes())
        return pad;
    std::vector<unsigned char> value(ValueBytes(), 0);
    auto fill = [&](const auto &v) {
        for (size_t at = 0; at + sizeof v <= value.size(); at += sizeof v)
            std::memcpy(value.data() + at, &v, sizeof v);
    };
    switch (dataType) {
    case kInt1: case kByte: fill(int8_t{-127}); break;
    case kUint1: fill(uint8_t{254}); break;
    case kInt2: fill(int16_t{-32767}); break;
    case kUint2: fill(uint16_t{65534}); break;
    case kInt4: fill(int32_t{-2147483647}); break;
    case kUint4: fill(uint32_t{4294967294u}); break;
    case kInt8: case kTT2000: fill(int64_t{-9223372036854775807LL}); break;
    case kReal4: case kFloat: fill(-1.0e30f); break;
    case kReal8: case kDouble: fill(-1.0e30); break;
    case kChar: case kUchar: fill(' '); break;
    default: break;  // EPOCH and EPOCH16: zero
    }
    return value;
}

Status CheckShape(long dataType, long numElems, const std::vector<long> &dimSizes)
{
    if (ElementSize(dataType) == 0)
        return kBadDataType;
    if (numElems < 1 || (!IsText(dataType) && numElems != 1))
        return kBadNumElems;
    if (dimSizes.size() > static_cast<size_t>(kMaxDims))
        return kBadNumDims;
    size_t total = ElementSize(dataType) * static_cast<size_t>(numElems);
    for (long size : dimSizes) {
        if (size < 1)
            return kBadDimSize;
        if (!MulSize(total, static_cast<size_t>(size), &total) || total > max_value_bytes)
            return kTooBig;
    }
    return total > max_value_bytes ? kTooBig : kOk;
}

namespace {

// Checks a hyperslab against a variable and gives its value count.
Status CheckHyper(const Variable &v, const Hyper &h, size_t *values)
{
    const size_t dims = v.dimSizes.size();
    if (h.recInterval != 1 || h.dimIndices.size() != dims || h.dimCounts.size() != dims ||
        (!h.dimIntervals.empty() && h.dimIntervals.size() != dims))
        return kBadHyper;
    if (h.recStart < 0 || h.recCount < 1 || h.recStart > 0x7FFFFFFE - (h.recCount - 1))
        return kBadRecord;
    size_t n = static_cast<size_t>(h.recCount);
    for (size_t d = 0; d < dims; ++d) {
        if ((!h.dimIntervals.empty() && h.dimIntervals[d] != 1) || h.dimIndices[d] < 0 || h.dimCounts[d] < 1 ||
            h.dimIndices[d] > v.dimSizes[d] - h.dimCounts[d])
            return kBadHyper;
        if (!MulSize(n, static_cast<size_t>(h.dimCounts[d]), &n))
            return kTooBig;
    }
    *values = n;
    return kOk;
}

// Walks the values of one record of a hyperslab in row-major order, giving
// for each its position k in the hyperslab's record, the index of its value
// in the physical record (dimensions that do not vary count for nothing)
// and whether it lies at index 0 of every dimension that does not vary.
template <typename Visit>
void WalkRecord(const Variable &v, const Hyper &h, Visit visit)
{
    const size_t dims = v.dimSizes.size();
    std::vector<long> at(dims, 0);
    for (size_t k = 0;; ++k) {
        size_t phys = 0;
        bool onStored = true;
        for (size_t d = 0; d < dims; ++d) {
            const long index = h.dimIndices[d] + at[d];
            if (v.dimVarys[d] != 0)
                phys = phys * static_cast<size_t>(v.dimSizes[d]) + static_cast<size_t>(index);
            else if (index != 0)
                onStored = false;
        }
        visit(k, phys, onStored);
        size_t d = dims;
        for (; d > 0; --d) {
            if (++at[d - 1] < h.dimCounts[d - 1])
                break;
            at[d - 1] = 0;
        }
        if (d == 0)
            return;
    }
}

std::string last_error;

// Fails with the system's reason of errno for the file.
Status SystemFailure(Status status, const std::string &path, int error)
{
    SetLastError(path, std::strerror(error));
    return status;
}

Status ClaimPath(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return SystemFailure(errno == EEXIST ? kCdfExists : kWriteFailed, path, errno);
    ::close(fd);
    return kOk;
}

// Writes the image beside path and renames it into place.
Status WriteImage(const std::string &path, const std::vector<unsigned char> &image)
{
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return SystemFailure(kWriteFailed, path, errno);
    struct stat st{};
    mode_t mode;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // The first failure's reason is kept: later steps only clean up.
    int error = ::fchmod(fd, mode) == 0 ? 0 : errno;
    size_t done = 0;
    while (error == 0 && done < image.size()) {
        const ssize_t n = ::write(fd, image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 && error == 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) == 0)
        return kOk;
    if (error == 0)
        error = errno;
    ::unlink(temp.c_str());
    return SystemFailure(kWriteFailed, path, error);
}

bool ValidName(const std::string &name)
{
    return !name.empty() && name.size() <= kMaxNameLength && name.find('\0') == std::string::npos;
}

}  // namespace

void SetLastError(const std::string &path, const std::string &reason) { last_error = path + ": " + reason; }

const std::string &LastError() { return last_error; }

File::File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
File::~File() = default;

Status File::Create(const std::string &name, std::unique_ptr<File> &out)
{
    if (name.empty())
        return kBadName;
    auto impl = std::make_unique<Impl>();
    impl->path = name + ".cdf";
    if (const Status status = ClaimPath(impl->path); status != kOk)
        return status;
    impl->writable = true;
    out.reset(new File(std::move(impl)));
    return kOk;
}

Status File::Open(const std::string &name, std::unique_ptr<File> &out)
{
    std::string path = name;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    const bool hasExtension = path.size() >= 4 && path.compare(path.size() - 4, 4, ".cdf") == 0;
    if (fd < 0 && !hasExtension) {
        path += ".cdf";
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    }
    if (fd < 0)
        return SystemFailure(kNoSuchCdf, path, errno);
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        if (S_ISREG(st.st_mode))
            return SystemFailure(kNoSuchCdf, path, error);
        SetLastError(path, "not a regular file");
        return kNoSuchCdf;
    }
    if (static_cast<unsigned long long>(st.st_size) > max_file_bytes) {
        ::close(fd);
        SetLastError(path, StatusText(kTooBig));
        return kTooBig;
    }
    std::vector<unsigned char> image(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = ::read(fd, image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return SystemFailure(kNoSuchCdf, path, error);
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    image.resize(done);
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    if (const Status status = impl->Parse(image); status != kOk) {
        SetLastError(path, std::string(StatusText(status)) + (impl->problem.empty() ? "" : " (" + impl->problem + ")"));
        return status;
    }
    out.reset(new File(std::move(impl)));
    return kOk;
}

Status File::Close()
{
    if (impl_->closed)
        return kClosed;
    impl_->closed = true;
    if (!impl_->writable)
        return kOk;
    std::vector<unsigned char> image;
    if (const Status status = impl_->Serialize(image); status != kOk) {
        SetLastError(impl_->path, StatusText(status));
        return status;
    }
    return WriteImage(impl_->path, image);
}

Status File::Delete()
{
    if (impl_->closed)
        return kClosed;
    impl_->closed = true;
    return ::unlink(impl_->path.c_str()) == 0 ? kOk : SystemFailure(kWriteFailed, impl_->path, errno);
}

Status File::SetEncoding(long encoding)
{
    if (impl_->closed)
        return kClosed;
    if (!EncodingIsBigEndian(encoding))
        return kBadArgument;
    impl_->encoding = encoding;
    impl_->writable = true;
    return kOk;
}

Status File::SetMajority(long majority)
{
    if (impl_->closed)
        return kClosed;
    if (majority != kRowMajor && majority != kColumnMajor)
        return kBadArgument;
    impl_->majority = majority;
    impl_->writable = true;
    return kOk;
}

long File::Encoding() const { return impl_->encoding; }
long File::Majority() const { return impl_->majority; }
const std::string &File::Path() const { return impl_->path; }
long File::NumVars() const { return static_cast<long>(impl_->vars.size()); }

size_t File::HeldBytes() const
{
    size_t held = 0;
    for (const Variable &v : impl_->vars)
        held += v.data.size() + v.written.size() / 8 + v.pad.size();
    for (const Attribute &a : impl_->attrs)
        for (const auto *entries : {&a.gEntries, &a.zEntries})
            for (const auto &[num, e] : *entries)
                held += e.bytes.size() + sizeof e;
    return held;
}

long File::MaxRec() const
{
    long maxRec = -1;
    for (const Variable &v : impl_->vars)
        maxRec = std::max(maxRec, v.maxRec);
    return maxRec;
}

Status File::VarNumber(const std::string &name, long *num) const
{
    for (size_t i = 0; i < impl_->vars.size(); ++i) {
        if (impl_->vars[i].name == name) {
            *num = static_cast<long>(i);
            return kOk;
        }
    }
    return kNoSuchVar;
}

Status File::CreateVar(const VarSpec &spec, long *num)
{
    if (impl_->closed)
        return kClosed;
    if (!ValidName(spec.name))
        return kBadName;
    if (const Status status = CheckShape(spec.dataType, spec.numElems, spec.dimSizes); status != kOk)
        return status;
    if (spec.dimVarys.size() != spec.dimSizes.size())
        return kBadArgument;
    long existing = 0;
    if (VarNumber(spec.name, &existing) == kOk)
        return kVarExists;
    Variable v;
    v.name = spec.name;
    v.dataType = spec.dataType;
    v.numElems = spec.numElems;
    v.dimSizes = spec.dimSizes;
    for (long vary : spec.dimVarys)
        v.dimVarys.push_back(vary != 0 ? -1 : 0);
    v.recVary = spec.recVary;
    impl_->vars.push_back(std::move(v));
    impl_->writable = true;
    *num = static_cast<long>(impl_->vars.size()) - 1;
    return kOk;
}

Status File::GetVarInfo(long num, VarInfo *info) const
{
    if (num < 0 || num >= NumVars())
        return kNoSuchVar;
    const Variable &v = impl_->vars[static_cast<size_t>(num)];
    info->name = v.name;
    info->dataType = v.dataType;
    info->numElems = v.numElems;
    info->dimSizes = v.dimSizes;
    info->dimVarys = v.dimVarys;
    info->recVary = v.recVary;
    info->maxRec = v.maxRec;
    info->blockingFactor = v.blockingFactor;
    info->compression = v.compression;
    info->unreadable = v.unreadable;
    return kOk;
}

Status File::SetBlockingFactor(long num, long factor)
{
    if (impl_->closed)
        return kClosed;
    if (num < 0 || num >= NumVars())
        return kNoSuchVar;
    if (factor < 0)
        return kBadArgument;
    impl_->vars[static_cast<size_t>(num)].blockingFactor = factor;
    impl_->writable = true;
    return kOk;
}

Status File::HyperBytes(long num, const Hyper &hyper, size_t *bytes) const
{
    if (num < 0 || num >= NumVars())
        return kNoSuchVar;
    const Variable &v = impl_->vars[static_cast<size_t>(num)];
    size_t values = 0;
    if (const Status status = CheckHyper(v, hyper, &values); status != kOk)
        return status;
    if (!MulSize(values, v.ValueBytes(), bytes) || *bytes > max_value_bytes)
        return kTooBig;
    return kOk;
}

Status File::PutHyper(long num, const Hyper &hyper, const void *values, size_t bytes)
{
    if (impl_->closed)
        return kClosed;
    size_t expected = 0;
    if (const Status status = HyperBytes(num, hyper, &expected); status != kOk)
        return status;
    if (bytes != expected || values == nullptr)
        return kBadArgument;
    Variable &v = impl_->vars[static_cast<size_t>(num)];
    // A variable that does not vary by record stores record 0 only.
    const long first = v.recVary ? hyper.recStart : 0;
    const long last = v.recVary ? hyper.recStart + hyper.recCount - 1 : 0;
    if (!v.recVary && hyper.recStart != 0)
        return kOk;
    const size_t recordBytes = v.RecordBytes();
    size_t needed = 0;
    if (!MulSize(static_cast<size_t>(last) + 1, recordBytes, &needed) || needed > max_value_bytes)
        return kTooBig;
    if (v.data.size() < needed) {
        v.data.resize(needed);
        v.written.resize(static_cast<size_t>(last) + 1, false);
    }
    const auto *in = static_cast<const unsigned char *>(values);
    const size_t valueBytes = v.ValueBytes();
    size_t perRecord = 1;
    for (long count : hyper.dimCounts)
        perRecord *= static_cast<size_t>(count);
    // Whole records of a variable whose dimensions all vary: one copy.
    bool whole = true;
    for (size_t d = 0; d < v.dimSizes.size(); ++d)
        whole = whole && v.dimVarys[d] != 0 && hyper.dimIndices[d] == 0 && hyper.dimCounts[d] == v.dimSizes[d];
    if (whole) {
        std::memcpy(v.data.data() + static_cast<size_t>(first) * recordBytes, in,
                    static_cast<size_t>(last - first + 1) * recordBytes);
        std::fill(v.written.begin() + first, v.written.begin() + last + 1, true);
        v.maxRec = std::max(v.maxRec, last);
        impl_->writable = true;
        return kOk;
    }
    for (long r = first; r <= last; ++r) {
        unsigned char *record = v.data.data() + static_cast<size_t>(r) * recordBytes;
        const unsigned char *from = in + static_cast<size_t>(r - first) * perRecord * valueBytes;
        WalkRecord(v, hyper, [&](size_t k, size_t phys, bool onStored) {
            if (onStored)
                std::memcpy(record + phys * valueBytes, from + k * valueBytes, valueBytes);
        });
        v.written[static_cast<size_t>(r)] = true;
    }
    v.maxRec = std::max(v.maxRec, last);
    impl_->writable = true;
    return kOk;
}

Status File::GetHyper(long num, const Hyper &hyper, void *values, size_t bytes) const
{
    size_t expected = 0;
    if (const Status status = HyperBytes(num, hyper, &expected); status != kOk)
        return status;
    if (bytes != expected || values == nullptr)
        return kBadArgument;
    const Variable &v = impl_->vars[static_cast<size_t>(num)];
    if (v.unreadable != kOk)
        return v.unreadable;
    const size_t valueBytes = v.ValueBytes();
    const size_t recordBytes = v.RecordBytes();
    const std::vector<unsigned char> pad = v.PadValue();
    std::vector<unsigned char> padRecord;
    size_t perRecord = 1;
    for (long count : hyper.dimCounts)
        perRecord *= static_cast<size_t>(count);
    auto *out = static_cast<unsigned char *>(values);
    bool virtualRead = false;
    for (long r = hyper.recStart; r < hyper.recStart + hyper.recCount; ++r) {
        long stored = v.recVary ? r : 0;
        auto isWritten = [&](long s) {
            return s >= 0 && static_cast<size_t>(s) < v.written.size() && v.written[static_cast<size_t>(s)];
        };
        if (!isWritten(stored) && v.sparse == kPrevSparse && v.recVary) {
            long s = std::min(stored, static_cast<long>(v.written.size()) - 1);
            while (s >= 0 && !isWritten(s))
                --s;
            stored = s;
        }
        const unsigned char *record = nullptr;
        if (isWritten(stored)) {
            record = v.data.data() + static_cast<size_t>(stored) * recordBytes;
        } else {
            virtualRead = true;
            if (padRecord.empty()) {
                padRecord.resize(recordBytes);
                for (size_t at = 0; at < recordBytes; at += valueBytes)
                    std::memcpy(padRecord.data() + at, pad.data(), valueBytes);
            }
            record = padRecord.data();
        }
        unsigned char *to = out + static_cast<size_t>(r - hyper.recStart) * perRecord * valueBytes;
        // Along a dimension that does not vary, every index reads the one
        // stored value.
        WalkRecord(v, hyper, [&](size_t k, size_t phys, bool) {
            std::memcpy(to + k * valueBytes, record + phys * valueBytes, valueBytes);
        });
    }
    return virtualRead ? kVirtualRecords : kOk;
}

long File::NumAttrs() const { return static_cast<long>(impl_->attrs.size()); }

long File::NumGAttrs() const
{
    return static_cast<long>(std::count_if(impl_->attrs.begin(), impl_->attrs.end(),
                                           [](const Attribute &a) { return a.scope == kGlobalScope; }));
}

long File::NumVAttrs() const { return NumAttrs() - NumGAttrs(); }

Status File::AttrNumber(const std::string &name, long *num) const
{
    for (size_t i = 0; i < impl_->attrs.size(); ++i) {
        if (impl_->attrs[i].name == name) {
            *num = static_cast<long>(i);
            return kOk;
        }
    }
    return kNoSuchAttr;
}

Status File::CreateAttr(const std::string &name, long scope, long *num)
{
    if (impl_->closed)
        return kClosed;
    if (!ValidName(name))
        return kBadName;
    if (scope != kGlobalScope && scope != kVariableScope)
        return kBadScope;
    long existing = 0;
    if (AttrNumber(name, &existing) == kOk)
        return kAttrExists;
    Attribute a;
    a.name = name;
    a.scope = scope;
    impl_->attrs.push_back(std::move(a));
    impl_->writable = true;
    *num = static_cast<long>(impl_->attrs.size()) - 1;
    return kOk;
}

Status File::GetAttrInfo(long num, AttrInfo *info) const
{
    if (num < 0 || num >= NumAttrs())
        return kNoSuchAttr;
    const Attribute &a = impl_->attrs[static_cast<size_t>(num)];
    info->name = a.name;
    info->scope = a.scope;
    info->numGEntries = static_cast<long>(a.gEntries.size());
    info->maxGEntry = a.gEntries.empty() ? -1 : a.gEntries.rbegin()->first;
    info->numZEntries = static_cast<long>(a.zEntries.size());
    info->maxZEntry = a.zEntries.empty() ? -1 : a.zEntries.rbegin()->first;
    return kOk;
}

namespace {

const std::map<long, Entry> *EntriesOf(const std::vector<Attribute> &attrs, long attr, EntryKind kind,
                                       Status *status)
{
    if (attr < 0 || static_cast<size_t>(attr) >= attrs.size()) {
        *status = kNoSuchAttr;
        return nullptr;
    }
    const Attribute &a = attrs[static_cast<size_t>(attr)];
    if ((kind == EntryKind::Global) != (a.scope == kGlobalScope)) {
        *status = kBadScope;
        return nullptr;
    }
    *status = kOk;
    return kind == EntryKind::Global ? &a.gEntries : &a.zEntries;
}

}  // namespace

Status File::GetEntryInfo(long attr, EntryKind kind, long entry, EntryInfo *info) const
{
    Status status = kOk;
    const auto *entries = EntriesOf(impl_->attrs, attr, kind, &status);
    if (entries == nullptr)
        return status;
    const auto found = entries->find(entry);
    if (found == entries->end())
        return kNoSuchEntry;
    info->dataType = found->second.dataType;
    info->numElems = found->second.numElems;
    return kOk;
}

Status File::GetEntry(long attr, EntryKind kind, long entry, void *values, size_t bytes) const
{
    Status status = kOk;
    const auto *entries = EntriesOf(impl_->attrs, attr, kind, &status);
    if (entries == nullptr)
        return status;
    const auto found = entries->find(entry);
    if (found == entries->end())
        return kNoSuchEntry;
    if (values == nullptr || bytes != found->second.bytes.size())
        return kBadArgument;
    std::memcpy(values, found->second.bytes.data(), bytes);
    return kOk;
}

Status File::PutEntry(long attr, EntryKind kind, long entry, long dataType, long numElems, const void *values,
                      size_t bytes)
{
    if (impl_->closed)
        return kClosed;
    Status status = kOk;
    if (EntriesOf(impl_->attrs, attr, kind, &status) == nullptr)
        return status;
    if (entry < 0 || entry > 0x7FFFFFFE || (kind == EntryKind::Variable && entry >= NumVars()))
        return kBadEntryNum;
    if (ElementSize(dataType) == 0)
        return kBadDataType;
    if (numElems < 1 || numElems > 0x7FFFFFFF)
        return kBadNumElems;
    size_t expected = 0;
    if (!MulSize(ElementSize(dataType), static_cast<size_t>(numElems), &expected) || expected > max_value_bytes)
        return kTooBig;
    if (bytes != expected || values == nullptr)
        return kBadArgument;
    Attribute &a = impl_->attrs[static_cast<size_t>(attr)];
    Entry &e = (kind == EntryKind::Global ? a.gEntries : a.zEntries)[entry];
    e.dataType = dataType;
    e.numElems = numElems;
    e.bytes.assign(static_cast<const unsigned char *>(values), static_cast<const unsigned char *>(values) + bytes);
    impl_->writable = true;
    return kOk;
}

}  // namespace kcdf
