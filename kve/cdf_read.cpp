// The CDF reader of the exchange library: a whole CDF (every zVariable with
// all its records and variable attributes, every global attribute with its
// entries) into an empty data set, through our CDF module.  The module
// holds values row major in host order whatever the file's majority and
// encoding; the data of a variable hold every value of every dimension,
// the ones that do not vary repeated, so that a read data set writes back.
//
// What a file asks the reader to build (virtual records, dimensions that do
// not vary, entry numbers far apart) is not bounded by its size, so the
// data set of one file takes at most what the module's limit of one file
// (kcdf::max_file_bytes) leaves after what the module holds; each
// allocation is checked against that before it is made.
#include "kcdf.h"
#include "kve_cdf.h"
#include "kve_cdf_int.h"
#include "kve_int.h"

#include <cstdlib>
#include <cstring>
#include <memory>

using kve_cdf::current;

namespace {

// Bytes the read in progress may still take for its data set.
size_t read_left = kcdf::max_file_bytes;

bool TakeBytes(size_t bytes)
{
    if (bytes > read_left)
        return false;
    read_left -= bytes;
    return true;
}

// Bytes of one variable record of the data set with its attribute slots.
constexpr size_t kVariableBytes =
    sizeof(KvCDFVariable *) + sizeof(KvCDFVariable) + KV_VATTR_SLOTS * sizeof(KvVarAttribute) + 2 * KV_MAX_DIMS * sizeof(long);

// Bytes of one element as the data set holds it; 0 for types it does not.
long ReadElementSize(long type)
{
    switch (type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: case CDF_CHAR: case CDF_UCHAR: return 1;
    case CDF_INT2: case CDF_UINT2: return 2;
    case CDF_INT4: case CDF_UINT4: case CDF_REAL4: case CDF_FLOAT: return 4;
    case CDF_REAL8: case CDF_DOUBLE: case CDF_EPOCH: return 8;
    default: return 0;
    }
}

// Ends the open CDF on every path.
struct CloseCurrent {
    bool closed = false;
    ~CloseCurrent()
    {
        if (!closed && current)
            current->Close();
        current.reset();
    }
};

}  // namespace

void *KvAttrEntryMalloc(long n, long type)
{
    if (n < 1)
        n = 1;
    size_t elem = 8;
    switch (type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: elem = 1; break;
    case CDF_INT2: case CDF_UINT2: elem = 2; break;
    case CDF_INT4: case CDF_UINT4: case CDF_REAL4: case CDF_FLOAT: elem = 4; break;
    case CDF_EPOCH16: elem = 16; break;
    case CDF_CHAR: case CDF_UCHAR: {
        auto *text = static_cast<char *>(std::calloc(static_cast<size_t>(n) + 1, 1));
        return text;
    }
    default: break;
    }
    size_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<size_t>(n), elem, &bytes))
        return nullptr;
    return std::calloc(bytes, 1);
}

int KvGetVariableAttr(long number, KvCDFVariable *var)
{
    if (!current)
        return KV_CDF_ATTR;
    // Every attribute of the file is looked at; those for which the
    // variable has no slot left are counted and said.
    long slot = 0, left_out = 0;
    for (long a = 0; a < current->NumAttrs(); ++a) {
        kcdf::AttrInfo info;
        kcdf::EntryInfo entry;
        if (current->GetAttrInfo(a, &info) != kcdf::kOk || info.scope != kcdf::kVariableScope ||
            current->GetEntryInfo(a, kcdf::EntryKind::Variable, number, &entry) != kcdf::kOk)
            continue;
        if (slot == KV_VATTR_SLOTS) {
            ++left_out;
            continue;
        }
        const size_t elem = kcdf::ElementSize(entry.dataType);
        size_t bytes = 0;
        if (elem == 0 || entry.numElems < 1 || __builtin_mul_overflow(elem, static_cast<size_t>(entry.numElems), &bytes) ||
            !TakeBytes(bytes + 1))
            continue;
        void *data = KvAttrEntryMalloc(entry.numElems, entry.dataType);
        // Only an entry whose data cannot be read gives its slot to the next.
        if (data == nullptr || current->GetEntry(a, kcdf::EntryKind::Variable, number, data, bytes) != kcdf::kOk) {
            std::free(data);
            continue;
        }
        KvVarAttribute &attr = var->attribute[slot];
        attr.number = slot;
        attr.name = KvNewStr(info.name.c_str());
        attr.data_type = entry.dataType;
        attr.num_elems = kcdf::IsText(entry.dataType) ? 1 : entry.numElems;
        attr.data = data;
        var->num_v_attrs = ++slot;
    }
    if (left_out > 0) {
        const std::string text = KvFormat(": %ld variable attributes left out, no slot beyond %d", left_out,
                                          static_cast<int>(KV_VATTR_SLOTS));
        KveAlertBox(var->name, text.c_str());
    }
    return 0;
}

int KvGetCDFVar(KvCDFVariable *var, long number, int *epoch_flag)
{
    kcdf::VarInfo info;
    if (!current || current->GetVarInfo(number, &info) != kcdf::kOk)
        return KV_CDF_VAR_INFO;
    var->number = number;
    var->name = KvNewStr(info.name.c_str());
    var->data_type = info.dataType;
    var->rec_vary = info.recVary ? -1 : 0;
    var->num_elems = info.numElems;
    var->num_dims = static_cast<long>(info.dimSizes.size());
    var->max_rec_num = info.maxRec;
    if (var->max_rec_num < 0) {
        var->max_rec_num = 0;
        KveAlertBox(var->name, ": variable is virtual");
    }
    if (var->num_dims > KV_MAX_DIMS)
        return 113;
    for (long d = 0; d < var->num_dims; ++d) {
        var->dim_sizes[d] = info.dimSizes[static_cast<size_t>(d)];
        var->dim_varys[d] = info.dimVarys[static_cast<size_t>(d)] != 0 ? -1 : 0;
    }
    *epoch_flag = var->data_type == CDF_EPOCH ? 0 : -1;
    const long elem = ReadElementSize(var->data_type);
    if (elem == 0)
        return KV_BAD_TYPE;
    var->sizeofentry = elem;
    if (info.unreadable != kcdf::kOk) {
        std::fprintf(stderr, "CDFlib err code %ld", info.unreadable);
        return KV_CDF_READ;
    }

    kcdf::Hyper hyper;
    hyper.recStart = 0;
    hyper.recCount = var->max_rec_num + 1;
    hyper.dimIndices.assign(info.dimSizes.size(), 0);
    hyper.dimCounts = info.dimSizes;
    hyper.dimIntervals.assign(info.dimSizes.size(), 1);
    size_t bytes = 0;
    kcdf::Status selected = current->HyperBytes(number, hyper, &bytes);
    if (selected == kcdf::kOk && !TakeBytes(bytes))
        selected = kcdf::kTooBig;
    if (selected < kcdf::kWarn) {
        std::fprintf(stderr, "CDFlib err code %ld", selected);
        return KV_CDF_SELECT;
    }
    var->data = std::malloc(std::max<size_t>(bytes, 1));
    if (var->data == nullptr)
        return KV_CDF_SELECT;
    if (const kcdf::Status status = current->GetHyper(number, hyper, var->data, bytes); status < kcdf::kWarn) {
        std::fprintf(stderr, "CDFlib err code %ld", status);
        return KV_CDF_READ;
    }
    return KvGetVariableAttr(number, var) == 0 ? 0 : KV_CDF_VATTRS;
}

int KvGetGlobalAttr(long number, KvGlobalAttribute *attr)
{
    kcdf::AttrInfo info;
    if (!current || current->GetAttrInfo(attr->number, &info) != kcdf::kOk) {
        KveAlertBox("warning", "Failed to get name for attribute");
        return KV_CDF_GATTR;
    }
    const long cdfNumber = attr->number;
    attr->number = number;
    if (info.maxGEntry < 0)
        return 1;
    attr->name = KvNewStr(info.name.c_str());
    // Entries are numbered, not counted: one entry numbered near 2^31 makes
    // the array that long.
    const size_t entries = static_cast<size_t>(info.maxGEntry) + 1;
    if (!TakeBytes(entries * sizeof(KvGAttrEntry))) {
        KveAlertBox(attr->name, "- Failed to get entry info for attribute");
        return KV_CDF_GATTR;
    }
    attr->entry = KvMakeEntries(static_cast<long>(entries));
    if (attr->entry == nullptr)
        return KV_CDF_GATTR;
    attr->num_entries = static_cast<long>(entries);
    kcdf::Status last = kcdf::kOk;
    for (long e = 0; e < attr->num_entries; ++e) {
        kcdf::EntryInfo entry;
        if (current->GetEntryInfo(cdfNumber, kcdf::EntryKind::Global, e, &entry) != kcdf::kOk)
            continue;
        const size_t elem = kcdf::ElementSize(entry.dataType);
        size_t bytes = 0;
        if (elem == 0 || __builtin_mul_overflow(elem, static_cast<size_t>(entry.numElems), &bytes) ||
            !TakeBytes(bytes + 1)) {
            KveAlertBox(attr->name, "- Failed to get entry info for attribute");
            return KV_CDF_GATTR;
        }
        KvGAttrEntry &to = attr->entry[e];
        to.exists = 1;
        to.data_type = entry.dataType;
        to.num_elems = entry.numElems;
        to.data = KvAttrEntryMalloc(entry.numElems, entry.dataType);
        last = to.data == nullptr ? kcdf::kTooBig
                                  : current->GetEntry(cdfNumber, kcdf::EntryKind::Global, e, to.data, bytes);
    }
    return KvStatusHandler(last, attr->name);
}

int KvGetCDFmetadata(KvCDFContents *c)
{
    if (!current)
        return KV_CDF_META;
    const long globals = current->NumGAttrs();
    c->g_attr = KvMakeKvGAttrPtrs(globals);
    c->num_g_attrs = 0;
    if (c->g_attr == nullptr)
        return KV_CDF_META;
    for (long a = 0; a < current->NumAttrs(); ++a) {
        kcdf::AttrInfo info;
        if (current->GetAttrInfo(a, &info) != kcdf::kOk)
            return KV_CDF_META;
        if (info.scope != kcdf::kGlobalScope || c->num_g_attrs >= globals)
            continue;
        KvGlobalAttribute *g = KvMakeKvGAttr();
        if (g == nullptr)
            return KV_CDF_META;
        g->number = a;
        if (KvGetGlobalAttr(c->num_g_attrs, g) != 0) {
            KvFreeGlobalAttribute(g);
            continue;
        }
        c->g_attr[c->num_g_attrs++] = g;
    }
    return 0;
}

int KvGetCSDSgenCDF(const char *name, KvCDFContents *c)
{
    CloseCurrent closer;
    current.reset();
    KvClearFileError();
    if (name == nullptr || c == nullptr)
        return KV_CDF_OPEN;
    if (kcdf::File::Open(name, current) != kcdf::kOk) {
        // The file and why: the system's reason, or what the file holds
        // wrong (a chain of records that loops, a size beyond the file).
        KvNoteFileError("Cannot open", kcdf::LastError());
        KveAlertBox("KVE Import ERROR", KvLastFileError());
        return KV_CDF_OPEN;
    }
    const size_t held = current->HeldBytes();
    read_left = kcdf::max_file_bytes > held ? kcdf::max_file_bytes - held : 0;
    const long n = current->NumVars();
    c->n_vars = 0;
    c->n_recs = current->MaxRec() + 1;
    if (!TakeBytes(static_cast<size_t>(n) * kVariableBytes))
        return KV_CDF_COUNTS;
    c->vardata = KvMakeKvVariablePtrs(n);
    if (c->vardata == nullptr)
        return KV_CDF_COUNTS;
    for (long i = 0; i < n; ++i) {
        KvCDFVariable *v = KvMakeKvVariable();
        if (v == nullptr)
            return KV_CDF_COUNTS;
        int epoch = -1;
        if (const int status = KvGetCDFVar(v, i, &epoch); status != 0) {
            // The slot stays empty: the half-read variable goes.
            KvCDFContents *scrap = KvMakeCDFContentsObj();
            scrap->n_vars = 1;
            scrap->vardata = KvMakeKvVariablePtrs(1);
            if (scrap->vardata != nullptr)
                scrap->vardata[0] = v;
            KvFreeCDFContentsObj(scrap);
            return status;
        }
        c->vardata[i] = v;
        c->n_vars = i + 1;
        if (epoch == 0 && c->time_var_num == -1)
            c->time_var_num = i;
    }
    if (const int status = KvGetCDFmetadata(c); status != 0)
        return status;
    closer.closed = true;
    const kcdf::Status status = current->Close();
    current.reset();
    return status == kcdf::kOk ? 0 : -1;
}
