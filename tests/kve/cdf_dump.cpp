// Listings of a CDF through jcdf (run as a child process with an argument
// list) and through our own CDF module.
#include "cdf_dump.h"

#include "kcdf.h"
#include "support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstring>
#include <vector>

extern char **environ;

namespace kve_test {

std::string RunProgram(const std::vector<std::string> &args, int *status)
{
    int out[2];
    if (::pipe(out) != 0) {
        *status = -1;
        return "";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    if (spawned != 0) {
        *status = -1;
        return text;
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return text;
}

const char *CdfTypeName(long type)
{
    switch (type) {
    case kcdf::kInt1: return "INT1";
    case kcdf::kInt2: return "INT2";
    case kcdf::kInt4: return "INT4";
    case kcdf::kInt8: return "INT8";
    case kcdf::kUint1: return "UINT1";
    case kcdf::kUint2: return "UINT2";
    case kcdf::kUint4: return "UINT4";
    case kcdf::kReal4: return "REAL4";
    case kcdf::kReal8: return "REAL8";
    case kcdf::kEpoch: return "EPOCH";
    case kcdf::kEpoch16: return "EPOCH16";
    case kcdf::kTT2000: return "TIME_TT2000";
    case kcdf::kByte: return "BYTE";
    case kcdf::kFloat: return "FLOAT";
    case kcdf::kDouble: return "DOUBLE";
    case kcdf::kChar: return "CHAR";
    case kcdf::kUchar: return "UCHAR";
    default: return "?";
    }
}

std::string CdfItems(long type, long numElems, const unsigned char *p, size_t values)
{
    std::string out;
    char buf[64];
    for (size_t i = 0; i < values; ++i) {
        if (i > 0)
            out += ' ';
        switch (type) {
        case kcdf::kInt1: case kcdf::kByte: { int8_t v; std::memcpy(&v, p + i, 1); out += std::to_string(v); break; }
        case kcdf::kUint1: out += std::to_string(p[i]); break;
        case kcdf::kInt2: { int16_t v; std::memcpy(&v, p + 2 * i, 2); out += std::to_string(v); break; }
        case kcdf::kUint2: { uint16_t v; std::memcpy(&v, p + 2 * i, 2); out += std::to_string(v); break; }
        case kcdf::kInt4: { int32_t v; std::memcpy(&v, p + 4 * i, 4); out += std::to_string(v); break; }
        case kcdf::kUint4: { uint32_t v; std::memcpy(&v, p + 4 * i, 4); out += std::to_string(v); break; }
        case kcdf::kInt8: case kcdf::kTT2000: { int64_t v; std::memcpy(&v, p + 8 * i, 8); out += std::to_string(v); break; }
        case kcdf::kReal4: case kcdf::kFloat: {
            uint32_t v; std::memcpy(&v, p + 4 * i, 4);
            std::snprintf(buf, sizeof buf, "f%" PRIx32, v);
            out += buf;
            break;
        }
        case kcdf::kReal8: case kcdf::kDouble: case kcdf::kEpoch: {
            uint64_t v; std::memcpy(&v, p + 8 * i, 8);
            std::snprintf(buf, sizeof buf, "d%" PRIx64, v);
            out += buf;
            break;
        }
        case kcdf::kEpoch16: {
            uint64_t v[2]; std::memcpy(v, p + 16 * i, 16);
            std::snprintf(buf, sizeof buf, "d%" PRIx64 " d%" PRIx64, v[0], v[1]);
            out += buf;
            break;
        }
        case kcdf::kChar: case kcdf::kUchar:
            out += "[" + std::string(reinterpret_cast<const char *>(p) + i * static_cast<size_t>(numElems),
                                     static_cast<size_t>(numElems)) + "]";
            break;
        default: out += "?"; break;
        }
    }
    return out;
}

namespace {

std::string EntryText(const kcdf::File &f, long attr, kcdf::EntryKind kind, long entry)
{
    kcdf::EntryInfo info;
    if (f.GetEntryInfo(attr, kind, entry, &info) != kcdf::kOk)
        return "";
    std::vector<unsigned char> bytes(kcdf::ElementSize(info.dataType) * static_cast<size_t>(info.numElems));
    f.GetEntry(attr, kind, entry, bytes.data(), bytes.size());
    std::string text = CdfTypeName(info.dataType);
    if (kcdf::IsText(info.dataType))
        return text + " " + CdfItems(info.dataType, info.numElems, bytes.data(), 1);
    return text + " " + CdfItems(info.dataType, 1, bytes.data(), static_cast<size_t>(info.numElems));
}

}  // namespace

std::optional<std::string> JcdfDump(const std::string &path, std::string *error)
{
    const std::string classes = kombra_test::ToolsDir() + "/checkers/jcdf";
    int status = 0;
    std::string out = RunProgram({"java", "-cp", "/usr/share/java/jcdf.jar:" + classes, "KveCdfDump", path}, &status);
    if (status != 0) {
        *error = "jcdf exit status " + std::to_string(status);
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> KcdfDump(const std::string &path, std::string *error)
{
    std::unique_ptr<kcdf::File> f;
    if (const kcdf::Status s = kcdf::File::Open(path, f); s != kcdf::kOk) {
        *error = kcdf::StatusText(s);
        return std::nullopt;
    }
    std::string out;
    for (long a = 0; a < f->NumAttrs(); ++a) {
        kcdf::AttrInfo info;
        f->GetAttrInfo(a, &info);
        if (info.scope != kcdf::kGlobalScope)
            continue;
        out += "gattr " + info.name + "\n";
        for (long e = 0; e <= info.maxGEntry; ++e) {
            const std::string text = EntryText(*f, a, kcdf::EntryKind::Global, e);
            if (!text.empty())
                out += "  entry " + std::to_string(e) + " " + text + "\n";
        }
    }
    for (long v = 0; v < f->NumVars(); ++v) {
        kcdf::VarInfo info;
        f->GetVarInfo(v, &info);
        std::string dims;
        for (size_t d = 0; d < info.dimSizes.size(); ++d)
            dims += (d > 0 ? "," : "") + std::to_string(info.dimSizes[d]);
        const long records = info.maxRec + 1;
        out += "var " + info.name + " " + CdfTypeName(info.dataType) + " recvary=" + (info.recVary ? "T" : "F") +
               " dims=[" + dims + "] records=" + std::to_string(records) + "\n";
        kcdf::Hyper h;
        h.dimIndices.assign(info.dimSizes.size(), 0);
        h.dimCounts = info.dimSizes;
        for (long r = 0; r < records; ++r) {
            h.recStart = r;
            size_t bytes = 0;
            f->HyperBytes(v, h, &bytes);
            std::vector<unsigned char> values(bytes);
            const kcdf::Status s = f->GetHyper(v, h, values.data(), bytes);
            if (s != kcdf::kOk && s != kcdf::kVirtualRecords) {
                *error = info.name + ": " + kcdf::StatusText(s);
                return std::nullopt;
            }
            const size_t count = bytes / (kcdf::ElementSize(info.dataType) * static_cast<size_t>(info.numElems));
            out += "  rec " + std::to_string(r) + " " + CdfItems(info.dataType, info.numElems, values.data(), count) + "\n";
        }
        for (long a = 0; a < f->NumAttrs(); ++a) {
            kcdf::AttrInfo ai;
            f->GetAttrInfo(a, &ai);
            if (ai.scope != kcdf::kVariableScope)
                continue;
            const std::string text = EntryText(*f, a, kcdf::EntryKind::Variable, v);
            if (!text.empty())
                out += "  attr " + ai.name + " " + text + "\n";
        }
    }
    return out;
}

}  // namespace kve_test
