// The flat and CEF reader: the entry, recognition of the file type, the
// first header pass (keywords and global attribute blocks) and the second
// (variable blocks with their types, sizes, attributes and fixed values).
// Every number a header gives is checked before it sizes anything; the
// records are read by flat_records.cpp.
#include "kve_read_int.h"
#include "kve_int.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

size_t kv_max_read_bytes = size_t{256} << 20;

namespace {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

// A quote-stripped copy of a value as a string.
std::string Stripped(const std::string &value)
{
    char *s = KvStripQuotes(value.c_str());
    std::string out = s != nullptr ? s : "";
    if (s != nullptr && s != STR_NULL)
        std::free(s);
    return out;
}

// A whole number of a header value within [lo, hi].
bool HeaderNumber(const std::string &value, long lo, long hi, long *out)
{
    errno = 0;
    char *end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (end == value.c_str() || errno != 0 || n < lo || n > hi)
        return false;
    *out = n;
    return true;
}

void Echo(const char *line, KvOptions *o) { KvDisplayMessage(line, o); }

// Frees the variables and global attributes of a data set, leaving it empty.
void ClearDataSet(KvCDFContents *c)
{
    KvCDFContents *old = KvMakeCDFContentsObj();
    old->n_vars = c->n_vars;
    old->vardata = c->vardata;
    old->num_g_attrs = c->num_g_attrs;
    old->g_attr = c->g_attr;
    KvFreeCDFContentsObj(old);
    c->n_vars = 0;
    c->n_recs = 0;
    c->time_var_num = -1;
    c->vardata = nullptr;
    c->num_g_attrs = 0;
    c->g_attr = nullptr;
}

// Keys that begin what follows a variable block: a variable block that
// meets one has run past its end.
bool BeginsAnother(const std::string &key)
{
    return key.starts_with("START_VARIABLE") || key.starts_with("START_META") || key.starts_with("DATA_UNTIL") ||
           key.starts_with("START_DATA");
}

bool GiveVariableSlots(KvCDFContents *c)
{
    c->vardata = KvMakeKvVariablePtrs(kMaxReadVars);
    return c->vardata != nullptr;
}

}  // namespace

bool KvIsTextType(long type) { return type == CDF_CHAR || type == CDF_UCHAR || type == ISO_TIME; }

long KvReadElementSize(long type)
{
    switch (type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: case CDF_CHAR: case CDF_UCHAR: case ISO_TIME: return 1;
    case CDF_INT2: case CDF_UINT2: return 2;
    case CDF_INT4: case CDF_UINT4: case CDF_REAL4: case CDF_FLOAT: return 4;
    case CDF_REAL8: case CDF_DOUBLE: case CDF_EPOCH: return 8;
    default: return 0;
    }
}

namespace {

// The text without the blanks around it.
std::string Bare(const std::string &text)
{
    const size_t b = text.find_first_not_of(" \t\n");
    return b == std::string::npos ? std::string() : text.substr(b, text.find_last_not_of(" \t\n") - b + 1);
}

// A whole real number; one the type cannot hold (beyond its largest
// magnitude) is none.
template <typename T>
bool ParseReal(const std::string &text, T *value)
{
    const std::string s = Bare(text);
    if (s.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const T v = std::is_same_v<T, float> ? std::strtof(s.c_str(), &end) : std::strtod(s.c_str(), &end);
    if (*end != '\0' || (errno == ERANGE && std::isinf(v)))
        return false;
    *value = v;
    return true;
}

}  // namespace

bool KvIsIntegerType(long type)
{
    switch (type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: case CDF_INT2: case CDF_UINT2: case CDF_INT4: case CDF_UINT4:
        return true;
    default:
        return false;
    }
}

bool KvParseInteger(const std::string &text, long long *value)
{
    const std::string s = Bare(text);
    if (s.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return false;
    *value = v;
    return true;
}

bool KvIntegerFits(long type, long long v)
{
    switch (type) {
    // A BYTE item of 128 to 255 is the signed byte it stands for, as the
    // previous writer wrote them and its reader read them.
    case CDF_INT1: case CDF_BYTE: return v >= INT8_MIN && v <= UINT8_MAX;
    case CDF_UINT1: return v >= 0 && v <= UINT8_MAX;
    case CDF_INT2: return v >= INT16_MIN && v <= INT16_MAX;
    case CDF_UINT2: return v >= 0 && v <= UINT16_MAX;
    case CDF_INT4: return v >= INT32_MIN && v <= INT32_MAX;
    case CDF_UINT4: return v >= 0 && v <= UINT32_MAX;
    default: return false;
    }
}

long KvUnsignedOf(long type)
{
    switch (type) {
    case CDF_INT2: return CDF_UINT2;
    case CDF_INT4: return CDF_UINT4;
    default: return 0;
    }
}

void KvPutInteger(long type, long long v, void *at)
{
    switch (KvReadElementSize(type)) {
    case 1: *static_cast<uint8_t *>(at) = static_cast<uint8_t>(v); break;
    case 2: { const auto w = static_cast<uint16_t>(v); std::memcpy(at, &w, sizeof w); break; }
    default: { const auto w = static_cast<uint32_t>(v); std::memcpy(at, &w, sizeof w); break; }
    }
}

bool KvStoreNumber(long type, const std::string &text, void *at)
{
    switch (type) {
    case CDF_REAL8: case CDF_DOUBLE: case CDF_EPOCH: {
        double v = 0.0;
        if (!ParseReal(text, &v))
            return false;
        std::memcpy(at, &v, sizeof v);
        return true;
    }
    case CDF_REAL4: case CDF_FLOAT: {
        float v = 0.0f;
        if (!ParseReal(text, &v))
            return false;
        std::memcpy(at, &v, sizeof v);
        return true;
    }
    default: {
        long long v = 0;
        if (!KvIsIntegerType(type) || !KvParseInteger(text, &v) || !KvIntegerFits(type, v))
            return false;
        KvPutInteger(type, v, at);
        return true;
    }
    }
}

bool KvStoreNumbers(long *type, const std::vector<std::string> &items, unsigned char *out,
                    std::vector<std::string> *refused, long long *signedByte)
{
    const auto elem = static_cast<size_t>(KvReadElementSize(*type));
    size_t kept = 0;
    // Stores item i in the next place, or leaves it out (named in
    // *refused) where the caller keeps the rest; false where it does not.
    auto take = [&](size_t i, bool ok) {
        if (ok) {
            ++kept;
            return true;
        }
        if (refused == nullptr)
            return false;
        refused->push_back(items[i]);
        return true;
    };
    if (!KvIsIntegerType(*type)) {
        for (size_t i = 0; i < items.size(); ++i)
            if (!take(i, KvStoreNumber(*type, items[i], out + kept * elem)))
                return false;
        return kept > 0 || items.empty();
    }
    // The numbers among the items decide the type; an item that is none
    // is refused whatever the type.
    std::vector<long long> values(items.size());
    std::vector<bool> parsed(items.size());
    bool signedFits = true, unsignedFits = KvUnsignedOf(*type) != 0;
    for (size_t i = 0; i < items.size(); ++i) {
        parsed[i] = KvParseInteger(items[i], &values[i]);
        signedFits = signedFits && (!parsed[i] || KvIntegerFits(*type, values[i]));
        unsignedFits = unsignedFits && (!parsed[i] || KvIntegerFits(KvUnsignedOf(*type), values[i]));
    }
    if (!signedFits && unsignedFits)
        *type = KvUnsignedOf(*type);
    const bool bytes = *type == CDF_INT1 || *type == CDF_BYTE;
    for (size_t i = 0; i < values.size(); ++i) {
        const bool fits = parsed[i] && KvIntegerFits(*type, values[i]);
        if (fits)
            KvPutInteger(*type, values[i], out + kept * elem);
        if (fits && bytes && values[i] > INT8_MAX && signedByte != nullptr && *signedByte == 0)
            *signedByte = values[i];
        if (!take(i, fits))
            return false;
    }
    return kept > 0 || items.empty();
}

std::string KvTextValue(const std::string &item, bool caa)
{
    std::string text;
    if (KvOneQuoted(item, &text, KvLinesEscapes()))
        return text;
    return caa ? Stripped(item) : item;
}

long KvDataType(const char *text, long *size)
{
    struct Name {
        const char *prefix;
        long type;
        long size;
    };
    static const Name kNames[] = {{"DOUBLE", CDF_DOUBLE, 8}, {"FLOAT", CDF_FLOAT, 4}, {"EPOCH", CDF_EPOCH, 8},
                                  {"ISO_", ISO_TIME, 1},     {"CHAR", CDF_CHAR, 1},   {"INT", CDF_INT4, 4},
                                  {"BYTE", CDF_INT1, 1},     {"SHORT", CDF_INT2, 2}};
    for (const Name &n : kNames) {
        if (text != nullptr && std::strncmp(text, n.prefix, std::strlen(n.prefix)) == 0) {
            *size = n.size;
            return n.type;
        }
    }
    // An unknown name reads as doubles, with their size.
    *size = 8;
    return CDF_DOUBLE;
}

namespace {

// KvSetEntry, naming in *refused the items of a numeric entry its type
// cannot hold (they are left out, the rest kept), and in *signedByte its
// first BYTE item above 127.
int SetEntry(KvGAttrEntry *e, const char *value, long size, char delim, std::vector<std::string> *refused,
             long long *signedByte)
{
    std::free(e->data);
    e->data = nullptr;
    const std::string v = value != nullptr ? value : "";
    switch (e->data_type) {
    case CDF_CHAR: case CDF_UCHAR: {
        const std::string text = KvTextValue(v, KvLinesCef2());
        e->num_elems = static_cast<long>(text.size());
        e->data = KvNewStr(text.c_str());
        return e->data != STR_NULL ? 0 : KV_BAD_TYPE;
    }
    case ISO_TIME:
        e->num_elems = static_cast<long>(v.size());
        e->data = KvNewStr(v.c_str());
        return e->data != STR_NULL ? 0 : KV_BAD_TYPE;
    case CDF_EPOCH: {
        const double epoch = KvISOStringToEpoch(v.c_str());
        e->num_elems = 1;
        e->data = std::malloc(sizeof epoch);
        if (e->data == nullptr)
            return KV_BAD_TYPE;
        std::memcpy(e->data, &epoch, sizeof epoch);
        return 0;
    }
    default:
        break;
    }
    const long elem = KvReadElementSize(e->data_type);
    if (elem == 0 || elem != size)
        return KV_BAD_TYPE;
    const std::vector<std::string> items = KvSplitItems(delim, v, false);
    if (items.empty())
        return KV_SYNTAX;
    std::unique_ptr<unsigned char, FreeDeleter> data(static_cast<unsigned char *>(std::calloc(items.size(), elem)));
    if (!data)
        return KV_BAD_TYPE;
    if (!KvStoreNumbers(&e->data_type, items, data.get(), refused, signedByte))
        return KV_SYNTAX;
    e->num_elems = static_cast<long>(items.size() - (refused != nullptr ? refused->size() : 0));
    e->data = data.release();
    return 0;
}

// "KVE Error: <where>: '<item>' is no value of <type>", for each item left out.
void NameRefused(const std::vector<std::string> &refused, const std::string &where, long type, KvOptions *o)
{
    char *name = KvCDFDataType(type);
    for (const std::string &item : refused)
        KvReadError(KvFormat("KVE Error: %s: '%s' is no value of %s", where.c_str(), Bare(item).c_str(), name), o);
    std::free(name);
}

}  // namespace

int KvSetEntry(KvGAttrEntry *e, const char *value, long size, char delim)
{
    return SetEntry(e, value, size, delim, nullptr, nullptr);
}

int KvFindVersion(KvOptions *o)
{
    fpos_t pos{};
    int slot = 0;
    if (Kvfgetpos(&pos, &slot) != 0) {
        KvDisplayMessage("In KvFindVersion: Failed to locate position in file", o);
        return 0;
    }
    FILE *fp = KvLinesCurrentStream();
    const char *first = KvGetLine(fp);
    KvLinesSetEscapes(false);
    if (first != nullptr && std::strncmp(first, "!@", 2) == 0) {
        const std::string magic(first + 2, strnlen(first + 2, 2000));
        const std::string ext = magic.substr(0, 4);
        // Our writer marks a file whose quoted texts hold escapes.
        KvLinesSetEscapes(Bare(magic).ends_with(kKvEscapesMark));
        const char digit = magic.size() > 4 ? magic[4] : '\0';
        if (ext == o->EXTN_QHD) {
        } else if (ext == o->EXTN_QFT) {
            o->f_type = TABULAR;
            KvDisplayMessage("KVE magic number in file, file type is TABULAR", o);
            KvCEFmsg(0, "version identifier found, but does not specify cef 2 ", " ", " ");
        } else if (ext == o->EXTN_QFD) {
            o->f_type = DELIMITED;
            KvDisplayMessage("KVE magic number in file, file type is DELIMITED", o);
            KvCEFmsg(0, "version identifier found, but does not specify cef 2 ", " ", " ");
        } else if (ext == o->EXTN_CEF && digit == '1') {
            o->f_type = EXCHANGE;
            KvDisplayMessage("KVE magic number in file, in CSDS Cluster Exchange Format (CEF 1)", o);
            KvCEFmsg(0, "version identifier found, but specifies cef 1 ", " ", " ");
        } else if (ext == o->EXTN_CEF && digit == '2') {
            o->f_type = CAA;
            KvDisplayMessage("KVE magic number in file, in CAA Cluster Exchange Format (CEF 2)", o);
        } else {
            KvCEFmsg(0, "version identifier found, but does not specify cef 2 ", " ", " ");
        }
    }
    for (const char *line = first; line != nullptr; line = KvGetLine(fp)) {
        std::string key, value;
        if (KvParseParamValue(line, key, value) != 0)
            continue;
        const std::string k = KvUpper(key);
        if (k == "FILE_FORMAT_VERSION") {
            if (KvUpper(value).find("CEF-2") != std::string::npos)
                o->f_type = CAA;
            break;
        }
        if (k == "START_DATA" || k == "DATA_UNTIL")
            break;
    }
    if (Kvfsetpos(&pos, slot) != 0)
        KvDisplayMessage("In KvFindVersion: Failed to reset position in file", o);
    return 0;
}

int KvReadGlobalFlat(KvCDFContents *c, KvOptions *o, const char *name)
{
    long type = CDF_CHAR;
    long size = 1;
    fpos_t pos{};
    int slot = 0;
    if (Kvfgetpos(&pos, &slot) != 0)
        KvDisplayMessage("In KvReadGlobalFlat: Failed to locate position in file", o);
    long count = 0;
    for (const char *line = KvReadLine(nullptr); line != nullptr; line = KvReadLine(nullptr)) {
        std::string key, value;
        if (KvParseParamValue(line, key, value) != 0)
            continue;
        const std::string k = KvUpper(key);
        if (k.starts_with("END_META"))
            break;
        if (k.starts_with("ENTRY"))
            ++count;
    }
    if (Kvfsetpos(&pos, slot) != 0)
        KvDisplayMessage("In KvReadGlobalFlat: Failed to reset position in file", o);

    KvGlobalAttribute attr{};
    attr.name = const_cast<char *>(name);
    attr.entry = KvMakeEntries(count);
    if (attr.entry == nullptr)
        return KV_TOO_MANY_ATTRS;
    long next = 0;
    int status = KV_GLOBAL_BLOCK;
    for (const char *line = KvReadLine(nullptr); line != nullptr; line = KvReadLine(nullptr)) {
        std::string key, value;
        if (KvParseParamValue(line, key, value) != 0)
            continue;
        Echo(line, o);
        const std::string k = KvUpper(key);
        if (k.starts_with("END_META")) {
            status = value == name ? 0 : KV_GLOBAL_BLOCK;
            break;
        }
        if (k.starts_with("G_ATTR_DATA_TYPE") || k.starts_with("VALUE_TYPE")) {
            type = KvDataType(value.c_str(), &size);
        } else if (k.starts_with("ENTRY") && next < count) {
            KvGAttrEntry *e = &attr.entry[next];
            e->data_type = type;
            std::vector<std::string> refused;
            long long signedByte = 0;
            const int set = SetEntry(e, value.c_str(), size, o->attr_delim, &refused, &signedByte);
            NameRefused(refused, KvFormat("entry %ld of %s", next, name), type, o);
            KvWarnSignedByte(std::string("global attribute ") + name, signedByte);
            if (set == 0) {
                e->exists = 1;
                ++next;
            } else {
                std::free(e->data);
                e->data = nullptr;
            }
        }
    }
    attr.num_entries = next;
    if (status == 0) {
        long index = 0;
        status = c->num_g_attrs >= kMaxReadGAttrs ? KV_GATTR_FULL : KvCreateGlobalAttr(c, &attr, &index);
    }
    for (long e = 0; e < count; ++e)
        std::free(attr.entry[e].data);
    std::free(attr.entry);
    return status;
}

int KvConfigureRead(KvCDFContents *c, KvOptions *o, KvRecord_format *)
{
    KvLinesSetComment('!');
    c->n_vars = 0;
    kv_reader_year = KvYearState{};
    KvFindVersion(o);
    if (o->f_type == CAA) {
        o->attr_delim = ',';
        o->data_delim = ',';
        KvLinesSetCef2(true);
    }
    fpos_t pos{};
    int slot = 0;
    if (Kvfgetpos(&pos, &slot) != 0)
        KvDisplayMessage("In KvConfigureRead: Failed to locate position in file", o);
    int status = 0;
    bool dropped = false;
    for (const char *line = KvReadLine(nullptr); line != nullptr && status == 0; line = KvReadLine(nullptr)) {
        Echo(line, o);
        if (std::isdigit(static_cast<unsigned char>(line[0])))
            break;
        std::string key, value;
        if (KvParseParamValue(line, key, value) != 0) {
            KvCEFmsg(0, "unidentified input line ", line, " ");
            continue;
        }
        const std::string k = KvUpper(key);
        if (k.starts_with("START_DATA")) {
            c->n_recs = std::max(0L, std::strtol(value.c_str(), nullptr, 10));
            break;
        }
        if (k.starts_with("DATA_UNTIL")) {
            o->type_guess = CAA;
            if (o->data_until != STR_NULL)
                std::free(o->data_until);
            o->data_until = KvNewStr(Stripped(value).c_str());
            break;
        }
        if (k.starts_with("START_META")) {
            // A block past the read's slots is dropped, and the first named.
            if (KvReadGlobalFlat(c, o, value.c_str()) == KV_GATTR_FULL && !dropped) {
                dropped = true;
                KvReadWarning(KvFormat("KVE Warning: global attributes from %s on are dropped: a read keeps %ld",
                                       value.c_str(), kMaxReadGAttrs));
            }
        } else if (k.starts_with("YY_OFFSET")) {
            kv_reader_year.offset = std::strtol(value.c_str(), nullptr, 10);
            if (kv_reader_year.offset == 0 && value.find('0') == std::string::npos)
                status = KV_BAD_YY_OFFSET;
        } else if (k == "YEAR_INCREASING") {
            kv_reader_year.increasing = value.find_first_of("yY") != std::string::npos;
        } else if (k.starts_with("FILE_TYPE")) {
            if (o->f_type != CAA && value[0] == 'd')
                o->f_type = DELIMITED;
            else if (o->f_type != CAA && value[0] == 't')
                o->f_type = TABULAR;
        } else if (k.starts_with("COMMENT_MARKER")) {
            KvLinesSetComment(value[0]);
        } else if (k.starts_with("START_AFTER")) {
            if (o->start_after != STR_NULL)
                std::free(o->start_after);
            o->start_after = KvNewStr(value.c_str());
        } else if (k.starts_with("ATTRIBUTE_DELIMITER")) {
            o->attr_delim = KvGetDelim(value.c_str());
        } else if (k.starts_with("DATA_DELIMITER")) {
            o->type_guess = EXCHANGE;
            o->data_delim = KvGetDelim(value.c_str());
        } else if (k.starts_with("END_OF_RECORD_MARKER")) {
            o->type_guess = CAA;
            const std::string mark = Stripped(value);
            o->rec_end = mark.empty() || mark[0] == '\n' ? '\n' : KvGetDelim(mark.c_str());
        } else if (k.starts_with("RECORD_NUMBERING")) {
            o->rec_numbering = value.starts_with("on") && o->f_type != CAA ? NUM_ON : NUM_OFF;
        } else if (k.starts_with("FILE_NAME")) {
            KvDisplayMessage(KvFormat("file: %s", value.c_str()).c_str(), o);
        } else if (k.starts_with("START_VARIABLE")) {
            if (c->n_vars >= kMaxReadVars) {
                status = KV_TOO_MANY_VARS;
                break;
            }
            KvCDFVariable *v = KvMakeKvVariable();
            if (v == nullptr) {
                status = KV_TOO_MANY_VARS;
                break;
            }
            v->name = KvNewStr(value.c_str());
            v->number = c->n_vars;
            c->vardata[c->n_vars++] = v;
        }
    }
    if (Kvfsetpos(&pos, slot) != 0)
        KvDisplayMessage("In KvConfigureRead: Failed to reset position in file", o);
    if (status != 0)
        return status;
    return c->n_vars == 0 ? KV_BAD_HEADER : 0;
}

int KvGetDataType(KvCDFContents *c, long *size, KvOptions *o, KvRecord_format *f, long i)
{
    KvCDFVariable *v = c->vardata[i];
    v->data_type = CDF_REAL8;
    v->sizeofentry = 8;
    *size = 8;
    int taken = 0;
    for (const char *line = KvReadLine(nullptr); line != nullptr && taken < 2; line = KvReadLine(nullptr)) {
        std::string key, value;
        if (KvParseParamValue(line, key, value) != 0)
            break;
        const std::string k = KvUpper(key);
        if (k.starts_with("END_VARIABLE") || BeginsAnother(k))
            break;
        if (k.starts_with("DATA_TYPE") || k.starts_with("VALUE_TYPE")) {
            ++taken;
            v->data_type = KvDataType(value.c_str(), size);
            v->sizeofentry = *size;
            if (v->data_type == CDF_EPOCH || v->data_type == ISO_TIME) {
                if (c->time_var_num == -1)
                    c->time_var_num = i;
                if (v->data_type == CDF_EPOCH && o->f_type == CAA)
                    KvCEFmsg(1, " epoch time not allowed in CEF 2 ", " specify ISO_TIME ", " ");
                if (v->data_type == ISO_TIME)
                    v->num_elems = 30;
            } else if (v->data_type == CDF_CHAR || v->data_type == CDF_UCHAR) {
                v->num_elems = 256;
            }
        } else if (k.starts_with("SIZES")) {
            ++taken;
            const std::vector<std::string> sizes = KvSplitItems(o->attr_delim, value, false);
            if (sizes.size() > static_cast<size_t>(KV_MAX_DIMS))
                return KV_TOO_MANY_DIMS;
            long items = 1;
            for (size_t d = 0; d < sizes.size(); ++d) {
                long n = 0;
                if (!HeaderNumber(sizes[d], 1, kMaxItemsPerRecord, &n) || __builtin_mul_overflow(items, n, &items) ||
                    items > kMaxItemsPerRecord)
                    return KV_BAD_HEADER;
                v->dim_sizes[d] = n;
                v->dim_varys[d] = -1;
            }
            v->num_dims = static_cast<long>(sizes.size());
            f->n_items[i] = items;
        }
    }
    return 0;
}

int KvText_to_Attr(KvCDFContents *c, KvOptions *o, const char *key, const char *value, long i, long index)
{
    KvCDFVariable *v = c->vardata[i];
    KvVarAttribute *a = &v->attribute[index];
    const std::string val = value != nullptr ? value : "";
    long type = CDF_CHAR;
    const long vtype = v->data_type;
    if (o->f_type != CAA) {
        static const char *const kTyped[] = {"SCALEMIN", "SCALEMAX", "FILLVAL", "VALIDMIN", "VALIDMAX"};
        for (const char *t : kTyped)
            if (std::strncmp(key, t, std::strlen(t)) == 0)
                type = vtype;
    } else if (val.size() >= 2 && val.front() == '"' && val.back() == '"') {
        type = CDF_CHAR;
    } else if (KvVarExists(c, val.c_str())) {
        type = CDF_CHAR;
    } else if (vtype != CDF_EPOCH && vtype != ISO_TIME) {
        type = KvIsISOtime(val.c_str()) ? static_cast<long>(ISO_TIME) : vtype;
    } else {
        type = KvIsISOtime(val.c_str()) ? ISO_TIME : CDF_DOUBLE;
    }

    std::vector<unsigned char> data;
    long elems = 1;
    const bool caa = o->f_type == CAA;
    if (type == CDF_CHAR || type == CDF_UCHAR || type == ISO_TIME) {
        if (!caa) {
            const std::string text = type == ISO_TIME ? val : KvTextValue(val, false);
            data.assign(text.begin(), text.end());
            data.push_back('\0');
        } else {
            const bool isText = type != ISO_TIME;
            const std::vector<std::string> items = KvSplitItems(o->attr_delim, val, isText);
            for (const std::string &item : items) {
                const std::string s = isText ? KvTextValue(item, true) : item;
                data.insert(data.end(), s.begin(), s.end());
                data.push_back('\0');
            }
            elems = static_cast<long>(items.size());
            if (elems == 0) {
                data.push_back('\0');
                elems = 1;
            }
        }
    } else if (type == CDF_EPOCH && !caa) {
        const double epoch = KvISOStringToEpoch(val.c_str());
        data.resize(sizeof epoch);
        std::memcpy(data.data(), &epoch, sizeof epoch);
    } else {
        const long elem = KvReadElementSize(type);
        if (elem == 0)
            return KV_BAD_TYPE;
        const std::vector<std::string> items = KvSplitItems(o->attr_delim, val, false);
        if (items.empty())
            return KV_SYNTAX;
        data.resize(items.size() * static_cast<size_t>(elem));
        elems = static_cast<long>(items.size());
        if (type == CDF_EPOCH) {
            for (size_t k = 0; k < items.size(); ++k) {
                const double epoch = KvISOStringToEpoch(items[k].c_str());
                std::memcpy(data.data() + k * 8, &epoch, 8);
            }
        } else {
            // Items the type cannot hold are named and left out; the rest
            // of the attribute is kept.
            std::vector<std::string> refused;
            const long asked = type;
            long long signedByte = 0;
            const bool kept = KvStoreNumbers(&type, items, data.data(), &refused, &signedByte);
            NameRefused(refused, std::string(key) + " of " + v->name, asked, o);
            KvWarnSignedByte(v->name, signedByte);
            if (!kept)
                return KV_SYNTAX;
            elems -= static_cast<long>(refused.size());
            data.resize(static_cast<size_t>(elems) * static_cast<size_t>(elem));
        }
    }
    void *copy = std::malloc(data.size());
    if (copy == nullptr)
        return KV_BAD_TYPE;
    std::memcpy(copy, data.data(), data.size());
    a->number = index;
    a->name = KvNewStr(key);
    a->data_type = type;
    a->num_elems = elems;
    a->data = copy;
    return 0;
}

int KvReadVmeta(KvCDFContents *c, KvOptions *o, KvRecord_format *f)
{
    long i = 0;
    for (;;) {
        fpos_t before{};
        int beforeSlot = 0;
        const bool marked = Kvfgetpos(&before, &beforeSlot) == 0;
        const char *line = KvReadLine(nullptr);
        if (line == nullptr)
            break;
        if (std::isdigit(static_cast<unsigned char>(line[0]))) {
            // The data begin without a START_DATA line.
            if (marked)
                Kvfsetpos(&before, beforeSlot);
            break;
        }
        std::string key, value;
        if (KvParseParamValue(line, key, value) != 0)
            continue;
        const std::string k = KvUpper(key);
        if (k.starts_with("START_DATA")) {
            if (o->f_type != CAA)
                break;
            KvCEFmsg(0, "START_DATA detected: being ignored ", " ", " ");
            continue;
        }
        if (k.starts_with("DATA_UNTIL"))
            break;
        if (!k.starts_with("START_VARIABLE"))
            continue;
        if (i >= c->n_vars)
            return KV_HEADER_DATA;
        KvCDFVariable *v = c->vardata[i];
        const std::string name = value;
        f->col_start[i] = -1;
        f->col_width[i] = -1;
        f->ignore[i] = 0;
        f->ftpackets[i].timeformat = NOT_A_TIME;
        v->rec_vary = -1;
        v->num_dims = 0;
        if (v->name != STR_NULL)
            std::free(v->name);
        v->name = KvNewStr(name.c_str());
        v->number = i;
        f->n_items[i] = 1;

        fpos_t pos{};
        int slot = 0;
        if (Kvfgetpos(&pos, &slot) != 0)
            return KV_POS_MARK;
        long size = 8;
        if (const int status = KvGetDataType(c, &size, o, f, i); status != 0)
            return status;
        if (Kvfsetpos(&pos, slot) != 0)
            return KV_POS_RESET;

        long attrs = 0;
        int status = KV_VAR_BLOCK;
        for (;;) {
            // A block without its END_VARIABLE ends before the line that
            // shows it: the line is read again after it, and the user told.
            fpos_t lineAt{};
            int lineSlot = 0;
            const bool lineMarked = Kvfgetpos(&lineAt, &lineSlot) == 0;
            line = KvReadLine(nullptr);
            if (line == nullptr)
                break;
            const bool pair = KvParseParamValue(line, key, value) == 0;
            const std::string bk = pair ? KvUpper(key) : std::string();
            if (!pair || BeginsAnother(bk)) {
                if (lineMarked)
                    Kvfsetpos(&lineAt, lineSlot);
                const std::string text = KvFormat("KVE Warning: variable %s has no END_VARIABLE", name.c_str());
                KvDisplayMessage(text.c_str(), o);
                KveAlertBox("KVE Import warning", text.c_str());
                status = 0;
                break;
            }
            long n = 0;
            if (bk.starts_with("END_VARIABLE")) {
                status = value == name ? 0 : KV_VAR_BLOCK;
                break;
            }
            if (bk.starts_with("COLUMN_START")) {
                if (!HeaderNumber(value, 0, kMaxColumn, &n))
                    return KV_BAD_HEADER;
                f->col_start[i] = static_cast<int>(n);
                KvCEFmsg(0, "COLUNM_START detected for  ", name.c_str(), ": being ignored");
            } else if (bk.starts_with("COLUMN_WIDTH")) {
                if (!HeaderNumber(value, 1, kMaxColumn, &n))
                    return KV_BAD_HEADER;
                f->col_width[i] = static_cast<int>(n);
                KvCEFmsg(0, "COLUNM_WIDTH detected for  ", name.c_str(), ": being ignored");
            } else if (bk.starts_with("IGNORE_ON_READ")) {
                if (value[0] == 'y' || value[0] == 'Y')
                    f->ignore[i] = 1;
                KvCEFmsg(0, "IGNORE_ON_READ flag detected for  ", name.c_str(), ": being ignored");
            } else if (bk.starts_with("MAXSTRLEN")) {
                if (!HeaderNumber(value, 1, kMaxTextLength, &n))
                    return KV_BAD_HEADER;
                v->num_elems = n;
                KvCEFmsg(0, "MAXSTRLEN detected for  ", name.c_str(), " not in CEF 2 syntax");
            } else if (bk.starts_with("DATA_TYPE") || bk.starts_with("VALUE_TYPE") || bk.starts_with("SIZES")) {
            } else if (bk == "DATA") {
                v->rec_vary = 0;
                if (KvReadVarData(c->vardata, i, value.c_str(), f->n_items[i], o) != 0)
                    return KV_SHORT_RECORD;
            } else if (bk == "TIME_FORMAT") {
                KvCEFmsg(0, "TIME_FORMAT descriptor detected for  ", name.c_str(), " not in CEF 2 syntax");
                if (value.starts_with("FREE_TIME_FORMAT")) {
                    f->ftpackets[i].timeformat = FREE_TIME_FORMAT;
                } else if (value.starts_with("ISO")) {
                    f->ftpackets[i].timeformat = ISO;
                } else {
                    std::printf(" time format %s\n", value.c_str());
                    return KV_BAD_TIME_FORMAT;
                }
            } else {
                if (attrs >= KV_VATTR_SLOTS)
                    return KV_TOO_MANY_ATTRS;
                // A failed attribute leaves no hole: its slot is taken by the next.
                if (const int s = KvText_to_Attr(c, o, key.c_str(), value.c_str(), i, attrs); s != 0) {
                    char *text = KvErrStr(s);
                    KvDisplayMessage(text, o);
                    if (text != STR_NULL)
                        std::free(text);
                } else {
                    v->num_v_attrs = ++attrs;
                }
            }
        }
        if (line == nullptr)
            status = 0;
        if (status != 0)
            return status;
        v->num_v_attrs = attrs;
        ++i;
    }
    if (i != c->n_vars)
        return KV_HEADER_DATA;
    return KvFTinit_parsers(c, f);
}

int KvSetVarToGet(KvCDFContents *c, KvRecord_format *f, const char *name)
{
    for (long i = 0; i < c->n_vars; ++i)
        f->ignore[i] = (i != c->time_var_num && std::strcmp(c->vardata[i]->name, name) != 0) ? 1 : 0;
    return 0;
}

int KvReadHeader(KvCDFContents *c, KvOptions *o, KvRecord_format *f, FILE *fp)
{
    KvLinesSetFile(fp);
    if (const int status = KvConfigureRead(c, o, f); status != 0)
        return status;
    if (o->f_type == CAA) {
        std::printf("Reading as CEF 2 syntax ");
        const char *go = " Continuing to attempt read";
        if (c->n_recs != 0) {
            KvCEFmsg(0, "START_DATA not used in CEF 2 syntax", " ", " ");
            c->n_recs = 0;
        }
        if (KvstrNULL(o->data_until))
            KvCEFmsg(1, "No DATA_UNTIL parameter found in header. ", go, " ");
        if (!KvstrNULL(o->start_after))
            KvCEFmsg(0, "START_AFTER parameter is ignored. ", go, " ");
        if (KvLinesComment() != '!')
            KvCEFmsg(1, "CEF 2 format failure: Comment marker not exclamation mark '!'. ", go, " ");
        if (o->attr_delim != ',')
            KvCEFmsg(1, "CEF 2 format failure: Attribute delimiter must be a comma. ", go, " ");
        if (o->data_delim != ',')
            KvCEFmsg(1, "CEF 2 format failure: Data delimiter must be a comma. ", go, " ");
        if (o->rec_numbering != NUM_OFF)
            KvCEFmsg(0, "CEF 2 format warning: Record numbering is not supported in CEF 2. ", go, " ");
    }
    const auto n = static_cast<size_t>(c->n_vars);
    f->col_start = static_cast<int *>(std::calloc(n, sizeof(int)));
    f->col_width = static_cast<int *>(std::calloc(n, sizeof(int)));
    f->n_items = static_cast<long *>(std::calloc(n, sizeof(long)));
    f->ignore = static_cast<long *>(std::calloc(n, sizeof(long)));
    f->ftpackets = static_cast<KvFTpacket *>(std::calloc(n, sizeof(KvFTpacket)));
    if (f->col_start == nullptr || f->col_width == nullptr || f->n_items == nullptr || f->ignore == nullptr ||
        f->ftpackets == nullptr)
        return KV_TOO_MANY_VARS;
    if (const int status = KvReadVmeta(c, o, f); status != 0)
        return status;
    bool tabular = true;
    for (long i = 0; i < c->n_vars; ++i)
        if (c->vardata[i]->rec_vary != 0 && (f->col_start[i] < 0 || f->col_width[i] < 0))
            tabular = false;
    if (o->f_type == UNSET && tabular)
        o->type_guess = TABULAR;
    if (o->f_type == TABULAR && !tabular) {
        o->f_type = UNSET;
        KvDisplayMessage("KVE Warning: Header not consistent with TABULAR file", o);
    }
    if (!KvstrNULL(o->get_only))
        KvSetVarToGet(c, f, o->get_only);
    return 0;
}

int KvGetCSDSgenFlat(KvCDFContents *c, KvOptions *o)
{
    KvClearFileError();
    if (c == nullptr || o == nullptr)
        return KV_EMPTY;
    KvLinesReset(c->io_f_path, o);
    // However the read ends, the warnings and errors past their caps are
    // counted in one line.
    struct Report {
        ~Report() { KvLinesReportUnshown(); }
    } report;
    std::unique_ptr<KvRecord_format, decltype(&KvFreeFormatSpace)> f(KvMakeFmtObj(), &KvFreeFormatSpace);
    FILE *data = KvOpenFile("r", c->io_f_path, c->io_f_name, c->io_f_extn);
    if (data == nullptr) {
        KveAlertBox("KVE Import ERROR",
                    KvFormat("Cannot open data file \n%s%s\n", c->io_f_name, c->io_f_extn).c_str());
        return KV_FILE_OPEN;
    }
    if (c->vardata == nullptr && !GiveVariableSlots(c)) {
        std::fclose(data);
        return KV_TOO_MANY_VARS;
    }
    int status = 0;
    bool detachedRead = false;
    const std::string dataPath = KvJoinPath(c->io_f_path, c->io_f_name, c->io_f_extn);
    KvLinesNameFile(dataPath);
    if (o->header == ATTACHED) {
        status = KvReadHeader(c, o, f.get(), data);
        if (KvLinesStatus() != 0) {
            // A corrupt file is no header to fall back from.
            KvLinesCloseAll(data);
            std::fclose(data);
            return KvLinesStatus();
        }
        if (status != 0) {
            char *text = KvErrStr(status);
            std::printf("%s", text);
            if (text != STR_NULL)
                std::free(text);
            // Start again clean: no variables, attributes or INCLUDE files
            // of the failed read, the data file from its top.
            KvLinesCloseAll(data);
            ClearDataSet(c);
            if (!GiveVariableSlots(c)) {
                std::fclose(data);
                return KV_TOO_MANY_VARS;
            }
            std::rewind(data);
            f.reset(KvMakeFmtObj());
            o->header = DETACHED;
            KvLinesSetCef2(false);
            KveAlertBox("warning", "can't read attached header, looking for detached");
        }
    }
    if (o->header == DETACHED) {
        if (KvstrNULL(o->header_name)) {
            if (o->header_path != STR_NULL)
                std::free(o->header_path);
            o->header_path = KvNewStr(c->io_f_path);
            if (o->header_name != STR_NULL)
                std::free(o->header_name);
            o->header_name = KvFindHeader(o->header_path, o);
        }
        if (KvstrNULL(o->header_name)) {
            std::fclose(data);
            return KV_NO_HEADER;
        }
        FILE *header = KvOpenFile("r", o->header_path, o->header_name, o->EXTN_QHD);
        if (header == nullptr) {
            KveAlertBox("KVE Import ERROR",
                        KvFormat("Cannot open header file \n%s%s\n", o->header_name, o->EXTN_QHD).c_str());
            std::fclose(data);
            return KV_FILE_OPEN;
        }
        KvLinesNameFile(KvJoinPath(o->header_path, o->header_name, o->EXTN_QHD));
        status = KvReadHeader(c, o, f.get(), header);
        if (KvLinesStatus() != 0)
            status = KvLinesStatus();
        detachedRead = true;
    } else if (o->header == NO_HEADER) {
        // Nothing tells what the records hold.
        status = KV_BAD_HEADER;
    }
    if (status == 0 && o->f_type == UNSET) {
        o->f_type = o->type_guess;
        switch (o->type_guess) {
        case DELIMITED:
            KvDisplayMessage(
                KvFormat("Trying to open ascii data file with entries delimited by \"%c\" ", o->data_delim).c_str(), o);
            break;
        case TABULAR: KvDisplayMessage("Trying to open ascii data file as flat tabular entries", o); break;
        case EXCHANGE: KvDisplayMessage("Trying to open file as Cluster Exchange format", o); break;
        case CAA: KvDisplayMessage("Trying to open file as Cluster Exchange format 2 (CAA)", o); break;
        default: KvDisplayMessage("Trying to open unknown file type", o); break;
        }
    }
    if (detachedRead) {
        KvLinesCloseAll(data);
        KvLinesSetFile(data);
        KvLinesNameFile(dataPath);
    }
    if (status == 0)
        status = KvReadData(c, f.get(), o);
    KvLinesCloseAll(nullptr);
    if (!detachedRead && o->header != ATTACHED && o->header != DETACHED)
        std::fclose(data);
    return status;
}
