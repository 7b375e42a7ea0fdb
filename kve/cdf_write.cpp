// The CDF writer of the exchange library and the ISO_TIME / CDF_EPOCH
// conversions the writers apply before writing.
#include "kcdf.h"
#include "kve_cdf.h"
#include "kve_int.h"
#include "kve_cdf_int.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kve_cdf {
std::unique_ptr<kcdf::File> current;
}

using kve_cdf::current;

namespace {

constexpr char kVersionText[] = "KVE V_3.2.0 [9 Dec 2004]";

std::string Upper(const char *name)
{
    std::string s = name != nullptr ? name : "";
    for (char &ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

void SetAttr(KvVarAttribute *a, long type, const void *value, size_t bytes)
{
    std::free(a->data);
    a->data = std::calloc(bytes + 1, 1);
    std::memcpy(a->data, value, bytes);
    a->data_type = type;
    a->num_elems = 1;
}

void SetAttrText(KvVarAttribute *a, long type, const std::string &text)
{
    SetAttr(a, type, text.c_str(), text.size() + 1);
}

void SetAttrEpoch(KvVarAttribute *a, double epoch) { SetAttr(a, CDF_EPOCH, &epoch, sizeof epoch); }

bool TextType(long type) { return type == CDF_CHAR || type == CDF_UCHAR || type == ISO_TIME; }

void IsoAttrsToEpoch(KvCDFVariable *v)
{
    for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
        KvVarAttribute *attr = &v->attribute[a];
        if (attr->data_type == ISO_TIME && attr->data != nullptr)
            SetAttrEpoch(attr, KvISOStringToEpoch(static_cast<const char *>(attr->data)));
    }
}

}  // namespace

long KvValueBytes(const KvCDFVariable *v)
{
    if (TextType(v->data_type))
        return std::max(v->num_elems, 0L);
    return static_cast<long>(kcdf::ElementSize(v->data_type));
}

size_t KvShapeValues(const KvCDFVariable *v, long records)
{
    size_t count = records > 0 ? static_cast<size_t>(records) : 0;
    for (long d = 0; d < v->num_dims && d < KV_MAX_DIMS; ++d)
        if (__builtin_mul_overflow(count, v->dim_sizes[d] > 0 ? static_cast<size_t>(v->dim_sizes[d]) : 0, &count))
            return SIZE_MAX;
    return count;
}

int KvCheckDataShapes(const KvCDFContents *c, KvOptions *o, int status, const std::string &path)
{
    for (long i = 0; i < c->n_vars && c->vardata != nullptr; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        const long valueBytes = v != nullptr && v->data != nullptr ? KvValueBytes(v) : 0;
        if (valueBytes <= 0)
            continue;
        const size_t values = KvShapeValues(v, v->rec_vary != 0 ? c->n_recs : 1);
        size_t bytes = 0;
        if (values == SIZE_MAX || __builtin_mul_overflow(values, static_cast<size_t>(valueBytes), &bytes) ||
            bytes > PTRDIFF_MAX) {
            const std::string what = KvFormat("variable %s: its shape passes what memory holds", v->name);
            KvDisplayMessage(("KVE Error: " + what).c_str(), o);
            KvNoteFileError("Cannot write", path + ": " + what);
            return status;
        }
    }
    return 0;
}

int KvTestStructure(const KvCDFContents *c)
{
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        if (v != nullptr && v->rec_vary != 0 && v->max_rec_num != c->n_recs - 1)
            return KV_REC_COUNTS;
    }
    return 0;
}

int KvRemoveISO_TIME(KvCDFContents *c)
{
    for (long g = 0; g < c->num_g_attrs && c->g_attr != nullptr; ++g) {
        KvGlobalAttribute *attr = c->g_attr[g];
        for (long e = 0; attr != nullptr && e < attr->num_entries; ++e) {
            KvGAttrEntry *entry = &attr->entry[e];
            if (entry->exists == 0 || entry->data_type != ISO_TIME)
                continue;
            entry->data_type = CDF_EPOCH;
            if (entry->data != nullptr) {
                const double epoch = KvISOStringToEpoch(static_cast<const char *>(entry->data));
                std::free(entry->data);
                entry->data = std::malloc(sizeof(double));
                std::memcpy(entry->data, &epoch, sizeof epoch);
                entry->num_elems = 1;
            }
        }
    }
    for (long i = 0; i < c->n_vars && c->vardata != nullptr; ++i) {
        KvCDFVariable *v = c->vardata[i];
        if (v == nullptr)
            continue;
        if (v->data_type != ISO_TIME) {
            IsoAttrsToEpoch(v);
            continue;
        }
        const long width = v->num_elems;
        v->num_elems = 1;
        v->data_type = CDF_EPOCH;
        v->sizeofentry = 8;
        if (v->data == nullptr) {
            std::printf("variable %s data is NULL\n", v->name);
            continue;
        }
        // Every value of every dimension.
        const size_t slot = static_cast<size_t>(std::max(width, 1L));
        const size_t count = KvShapeValues(v, v->rec_vary != 0 ? c->n_recs : 1);
        auto *epochs = count < SIZE_MAX / sizeof(double)
                           ? static_cast<double *>(std::calloc(std::max<size_t>(count, 1), sizeof(double)))
                           : nullptr;
        for (size_t k = 0; epochs != nullptr && k < count; ++k) {
            const char *text = static_cast<const char *>(v->data) + k * slot;
            epochs[k] = KvISOStringToEpoch(std::string(text, strnlen(text, slot)).c_str());
        }
        std::free(v->data);
        v->data = epochs;
        for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            KvVarAttribute *attr = &v->attribute[a];
            const std::string name = Upper(attr->name);
            if (name == "UNITS") {
                SetAttrText(attr, CDF_CHAR, "ms");
            } else if (name == "SI_CONVERSION") {
                SetAttrText(attr, CDF_CHAR, "1.0e-3>s");
            } else if (name == "FILLVAL") {
                // The epoch its missing times carry, CDF's fill of EPOCH.
                SetAttrEpoch(attr, kKvFillEpoch);
            } else if (name == "VALIDMIN" || name == "VALIDMAX" || name == "SCALEMIN" || name == "SCALEMAX") {
                if (attr->data != nullptr && TextType(attr->data_type))
                    SetAttrEpoch(attr, KvISOStringToEpoch(static_cast<const char *>(attr->data)));
            } else if ((name == "DELTA_PLUS" || name == "DELTA_MINUS") && attr->data_type == CDF_DOUBLE &&
                       attr->data != nullptr) {
                for (long k = 0; k < attr->num_elems; ++k)
                    static_cast<double *>(attr->data)[k] *= 1000.0;
            }
        }
    }
    return 0;
}

int KvRemoveEpoch(KvCDFContents *c)
{
    for (long g = 0; g < c->num_g_attrs && c->g_attr != nullptr; ++g) {
        KvGlobalAttribute *attr = c->g_attr[g];
        for (long e = 0; attr != nullptr && e < attr->num_entries; ++e) {
            KvGAttrEntry *entry = &attr->entry[e];
            if (entry->exists == 0 || entry->data == nullptr || entry->data_type != CDF_EPOCH)
                continue;
            const std::string text = KvEpochText(*static_cast<const double *>(entry->data), 'T');
            std::free(entry->data);
            entry->data = KvNewStr(text.c_str());
            entry->data_type = ISO_TIME;
            entry->num_elems = static_cast<long>(text.size());
        }
    }
    for (long i = 0; i < c->n_vars && c->vardata != nullptr; ++i) {
        KvCDFVariable *v = c->vardata[i];
        if (v == nullptr)
            continue;
        if (v->data == nullptr) {
            std::printf("Variable %s data is NULL\n", v->name);
            continue;
        }
        if (v->data_type != CDF_EPOCH) {
            IsoAttrsToEpoch(v);
            continue;
        }
        constexpr long kSlot = 30;
        const size_t count = KvShapeValues(v, v->rec_vary != 0 ? c->n_recs : 1);
        char *texts = count < SIZE_MAX / kSlot ? static_cast<char *>(std::calloc(std::max<size_t>(count, 1), kSlot))
                                               : nullptr;
        for (size_t k = 0; texts != nullptr && k < count; ++k) {
            const std::string text = KvEpochText(static_cast<const double *>(v->data)[k], 'T');
            std::memcpy(texts + k * kSlot, text.c_str(), std::min<size_t>(text.size(), kSlot));
        }
        std::free(v->data);
        v->data = texts;
        v->data_type = ISO_TIME;
        v->sizeofentry = 8;
        v->num_elems = kSlot;
        for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            KvVarAttribute *attr = &v->attribute[a];
            const std::string name = Upper(attr->name);
            if (name == "UNITS") {
                SetAttrText(attr, CDF_CHAR, "s");
            } else if (name == "SI_CONVERSION") {
                SetAttrText(attr, CDF_CHAR, "1.0>s");
            } else if (name == "FILLVAL") {
                // The text its missing values are written as.
                SetAttrText(attr, ISO_TIME, KvEpochText(kKvFillEpoch, 'T'));
            } else if (name == "VALID_MIN" || name == "VALID_MAX") {
                if (attr->data != nullptr && attr->data_type == CDF_EPOCH)
                    SetAttrText(attr, ISO_TIME, KvEpochText(*static_cast<const double *>(attr->data), 'T'));
            } else if ((name == "DELTA_PLUS" || name == "DELTA_MINUS") && attr->data_type == CDF_DOUBLE &&
                       attr->data != nullptr) {
                for (long k = 0; k < attr->num_elems; ++k)
                    static_cast<double *>(attr->data)[k] /= 1000.0;
            }
        }
    }
    return 0;
}

int KvStatusHandler(long status, const char *context)
{
    if (status == kcdf::kOk)
        return 0;
    std::fprintf(stderr, "%s\n", context != nullptr ? context : "");
    int result = 0;
    if (status < kcdf::kWarn) {
        result = 1;
    } else if (status < 0) {
        std::fputs("Warning message from CDF...\n", stderr);
        result = -1;
    } else {
        std::fputs("CDF function executed OK, but...\n", stderr);
    }
    std::fprintf(stderr, " CDF> %s\n", kcdf::StatusText(status));
    return result;
}

int KvCreateCDF(const char *name, KvOptions *o)
{
    const std::string base = KvSafePath(name);
    if (base.empty())
        return KV_CDF_OPEN;
    const std::string path = base + ".cdf";
    if (path.size() > 4096)
        return KV_CDF_OPEN;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0) {
        if (o->priority != REPLACE)
            return KV_FILE_EXISTS;
        if (::unlink(path.c_str()) != 0) {
            KvNoteFileError("Cannot remove", path, errno);
            return KV_CDF_OPEN;
        }
    }
    std::unique_ptr<kcdf::File> file;
    if (const long created = kcdf::File::Create(base, file); created != kcdf::kOk) {
        if (created == kcdf::kCdfExists && o->priority != REPLACE)
            return KV_FILE_EXISTS;
        KvNoteFileError("Cannot open", kcdf::LastError());
        return KV_CDF_OPEN;
    }
    if (file->SetEncoding(kcdf::kNetworkEncoding) != kcdf::kOk || file->SetMajority(kcdf::kRowMajor) != kcdf::kOk) {
        file->Delete();
        return KV_CDF_OPEN;
    }
    if (file->Close() != kcdf::kOk) {
        KvNoteFileError("Cannot write", kcdf::LastError());
        return KV_CDF_OPEN;
    }
    return 0;
}

int KvWriteGlobals(KvCDFContents *c)
{
    int noted = 0;
    for (long g = 0; g < c->num_g_attrs && c->g_attr != nullptr; ++g) {
        const KvGlobalAttribute *attr = c->g_attr[g];
        if (attr == nullptr)
            continue;
        long num = 0;
        if (current->AttrNumber(attr->name, &num) != kcdf::kOk &&
            current->CreateAttr(attr->name, kcdf::kGlobalScope, &num) != kcdf::kOk) {
            noted = KV_GATTR_CREATE;
            continue;
        }
        for (long e = 0; e < attr->num_entries; ++e) {
            const KvGAttrEntry &entry = attr->entry[e];
            if (entry.exists == 0)
                continue;
            long status;
            if (entry.data_type == CDF_CHAR || entry.data_type == CDF_UCHAR) {
                // An empty text is stored as one NUL, which every reader
                // ends the text at: CDF entries hold at least one element.
                std::string text = entry.data != nullptr
                                       ? std::string(static_cast<const char *>(entry.data),
                                                     strnlen(static_cast<const char *>(entry.data),
                                                             static_cast<size_t>(std::max(entry.num_elems, 0L))))
                                       : std::string();
                if (text.empty())
                    text.assign(1, '\0');
                status = current->PutEntry(num, kcdf::EntryKind::Global, e, entry.data_type,
                                           static_cast<long>(text.size()), text.data(), text.size());
            } else if (entry.data == nullptr || kcdf::ElementSize(entry.data_type) == 0 || entry.num_elems < 1) {
                status = kcdf::kBadArgument;
            } else {
                status = current->PutEntry(num, kcdf::EntryKind::Global, e, entry.data_type, entry.num_elems,
                                           entry.data,
                                           kcdf::ElementSize(entry.data_type) * static_cast<size_t>(entry.num_elems));
            }
            if (status == kcdf::kBadEntryNum) {
                KvStatusHandler(status, "on next global entry");
                noted = KV_GENTRY_SELECT;
            } else if (status != kcdf::kOk) {
                noted = KV_GENTRY_WRITE;
            }
        }
    }
    long num = 0;
    if (current->AttrNumber("Software_version", &num) != kcdf::kOk &&
        current->CreateAttr("Software_version", kcdf::kGlobalScope, &num) != kcdf::kOk)
        return KV_GATTR_CREATE;
    kcdf::AttrInfo info;
    if (current->GetAttrInfo(num, &info) != kcdf::kOk || info.scope != kcdf::kGlobalScope)
        return KV_MAXGENTRY;
    if (current->PutEntry(num, kcdf::EntryKind::Global, info.maxGEntry + 1, CDF_CHAR, 24, kVersionText, 24) !=
        kcdf::kOk)
        return KV_VERSION_WRITE;
    return noted;
}

int KvWriteVarAttrs(KvCDFContents *c, long index)
{
    const KvCDFVariable *v = c->vardata[index];
    long var = 0;
    if (current->VarNumber(v->name, &var) != kcdf::kOk)
        return KV_NO_VAR;
    int noted = 0;
    for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
        const KvVarAttribute &attr = v->attribute[a];
        if (attr.data == nullptr)
            continue;
        long num = 0;
        if (current->AttrNumber(attr.name, &num) != kcdf::kOk &&
            current->CreateAttr(attr.name, kcdf::kVariableScope, &num) != kcdf::kOk) {
            noted = KV_VATTR_CREATE;
            continue;
        }
        if (attr.data_type == CDF_CHAR || attr.data_type == CDF_UCHAR) {
            if (attr.num_elems > 1)
                std::printf("CDF cannot write multiple entries for char type V attribute %s of variable %s\n",
                            attr.name, v->name);
            std::string joined;
            const char *p = static_cast<const char *>(attr.data);
            for (long k = 0; k < std::max(attr.num_elems, 1L); ++k) {
                if (k > 0)
                    joined += ", ";
                const std::string s = p;
                joined += s;
                p += s.size() + 1;
            }
            if (joined.empty())
                joined.assign(1, '\0');  // as an empty entry text
            if (current->PutEntry(num, kcdf::EntryKind::Variable, var, attr.data_type,
                                  static_cast<long>(joined.size()), joined.data(), joined.size()) != kcdf::kOk) {
                std::printf("CDF error writing  char V attribute %s of variable %s\n", attr.name, v->name);
                noted = KV_VATTR_WRITE;
            }
            continue;
        }
        const size_t elem = kcdf::ElementSize(attr.data_type);
        if (elem == 0 || attr.num_elems < 1 ||
            current->PutEntry(num, kcdf::EntryKind::Variable, var, attr.data_type, attr.num_elems, attr.data,
                              elem * static_cast<size_t>(attr.num_elems)) != kcdf::kOk) {
            std::printf("CDF error writing  V attribute %s of variable %s\n", attr.name, v->name);
            noted = KV_VATTR_WRITE;
        }
    }
    return noted;
}

int KvWriteVariable(KvCDFContents *c, long index)
{
    const KvCDFVariable *v = c->vardata[index];
    long num = 0;
    if (current->VarNumber(v->name, &num) == kcdf::kOk) {
        // Two variables of one name: the second is refused, never written
        // over the first.
        std::printf("KVE Error: variable %s is in the data set twice\n", v->name);
        return KV_DATA_WRITE;
    }
    kcdf::VarSpec spec;
    spec.name = v->name;
    spec.dataType = v->data_type;
    spec.numElems = v->num_elems;
    spec.recVary = v->rec_vary != 0;
    for (long d = 0; d < v->num_dims && d < KV_MAX_DIMS; ++d) {
        spec.dimSizes.push_back(v->dim_sizes[d]);
        spec.dimVarys.push_back(v->dim_varys[d] != 0 ? -1 : 0);
    }
    const long created = current->CreateVar(spec, &num);
    if (KvStatusHandler(created, " on create") != 0 || created != kcdf::kOk)
        return KV_CDF_SELECT;
    current->SetBlockingFactor(num, v->max_rec_num);
    // Records 0 to max_rec_num, none of a data set of no records; one record
    // of a variable that does not vary by record, which is all its data hold.
    const long records = v->rec_vary != 0 ? std::max(v->max_rec_num + 1, 0L) : 1;
    kcdf::Hyper hyper;
    hyper.recCount = records;
    hyper.dimIndices.assign(spec.dimSizes.size(), 0);
    hyper.dimCounts = spec.dimSizes;
    hyper.dimIntervals.assign(spec.dimSizes.size(), 1);
    size_t bytes = 0;
    if (records > 0 && KvStatusHandler(current->HyperBytes(num, hyper, &bytes), " on select") != 0)
        return KV_CDF_SELECT;
    if (v->data == nullptr) {
        std::printf("Variable %s data is NULL\n", v->name);
        return -1;
    }
    // The data hold every value of every dimension (one along a dimension
    // that does not vary repeated), as the shape says.
    if (records > 0 && current->PutHyper(num, hyper, v->data, bytes) != kcdf::kOk)
        return KV_DATA_WRITE;
    return KvWriteVarAttrs(c, index);
}

int KvWriteContents(KvCDFContents *c, KvOptions *o)
{
    if (const int status = KvWriteGlobals(c); status != 0) {
        char *text = KvErrStr(status);
        KvDisplayMessage(text, o);
        std::free(text);
    }
    for (long i = 0; i < c->n_vars; ++i)
        if (const int status = KvWriteVariable(c, i); status != 0)
            return status;
    return 0;
}

int KvWriteCSDSgenCDF(KvCDFContents *c, KvOptions *o)
{
    KvClearFileError();
    if (c == nullptr || o == nullptr)
        return KV_NO_VARIABLES;
    KvEnsureFileName(c, o);
    const std::string name = std::string(c->io_f_path) + c->io_f_name;
    const std::string path = std::string(KvSafePath(name.c_str())) + ".cdf";
    if (const int status = KvCheckDataShapes(c, o, KV_DATA_WRITE, path); status != 0)
        return status;
    KvRemoveISO_TIME(c);
    if (KvMakeSafe(c) == nullptr || KvTestStructure(c) != 0)
        return KV_NO_VARIABLES;
    c->io_f_extn = o->EXTN_CDF;
    if (const int status = KvCreateCDF(name.c_str(), o); status != 0)
        return status;
    current.reset();
    if (kcdf::File::Open(path, current) != kcdf::kOk) {
        KvNoteFileError("Cannot open", kcdf::LastError());
        current.reset();
        return KV_CDF_OPEN;
    }
    int status = KvWriteContents(c, o);
    if (status != 0) {
        current->Delete();
    } else if (current->Close() != kcdf::kOk) {
        // The file written before (the empty CDF just made) goes.
        KvNoteFileError("Cannot write", kcdf::LastError());
        ::unlink(path.c_str());
        status = KV_DATA_WRITE;
    }
    current.reset();
    return status;
}
