// Global attributes of a data set (create, find, replace, append, copy
// entries), sizes and names of data types, ctime to ISO text and the
// sample-spacing estimate.
#include "kve_int.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

std::string KvFormat(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    va_end(again);
    return out;
}

long CDFsizeof(long data_type, long n)
{
    switch (data_type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: return n;
    case CDF_INT2: case CDF_UINT2: return 2 * n;
    case CDF_INT4: case CDF_UINT4: case CDF_REAL4: case CDF_FLOAT: return 4 * n;
    case CDF_REAL8: case CDF_EPOCH: case CDF_DOUBLE: return 8 * n;
    case CDF_CHAR: case CDF_UCHAR: case ISO_TIME: return n + 1;
    default: return 1;
    }
}

char *KvCDFDataType(long data_type)
{
    const char *name = "UNKNOWN";
    switch (data_type) {
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: name = "BYTE"; break;
    case CDF_INT2: case CDF_INT4: case CDF_UINT2: case CDF_UINT4: name = "INT"; break;
    case CDF_REAL4: case CDF_FLOAT: name = "FLOAT"; break;
    case CDF_REAL8: case CDF_DOUBLE: name = "DOUBLE"; break;
    case CDF_EPOCH: name = "EPOCH"; break;
    case CDF_CHAR: case CDF_UCHAR: name = "CHAR"; break;
    case ISO_TIME: name = "ISO_TIME"; break;
    default: break;
    }
    return KvNewStr(name);
}

int KvPushGlobalAttr(KvCDFContents *c, KvGlobalAttribute *attr)
{
    auto *grown = static_cast<KvGlobalAttribute **>(
        std::realloc(c->g_attr, static_cast<size_t>(c->num_g_attrs + 1) * sizeof(KvGlobalAttribute *)));
    if (grown == nullptr)
        return KV_GATTR_FULL;
    c->g_attr = grown;
    attr->number = c->num_g_attrs;
    c->g_attr[c->num_g_attrs++] = attr;
    return 0;
}

namespace {

// A one-entry text attribute's entry: CDF_CHAR, its length, a copy.
bool SetTextEntry(KvGAttrEntry *e, const char *text)
{
    e->exists = 1;
    e->data_type = CDF_CHAR;
    e->num_elems = static_cast<long>(std::strlen(text));
    e->data = strdup(text);
    return e->data != nullptr;
}

long EntryBytes(const KvGAttrEntry *e, bool text)
{
    return CDFsizeof(e->data_type, text ? e->num_elems - 1 : e->num_elems);
}

}  // namespace

int KvInitGlobalContents(KvCDFContents *c)
{
    if (c->g_attr != nullptr) {
        for (long i = 0; i < c->num_g_attrs; ++i)
            KvFreeGlobalAttribute(c->g_attr[i]);
        std::free(c->g_attr);
    }
    c->g_attr = nullptr;
    c->num_g_attrs = 0;
    KvReplaceGlobalTxtAttr(c, "TITLE", "Data exported from OBRA analysis software");
    KvReplaceGlobalTxtAttr(c, "MODS", "Data and/or timeline was processed by OBRA");
    // The time in UTC, in the form of ctime, which the ISO text marks "Z".
    char when[64] = "";
    char iso[64];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (gmtime_r(&now, &utc) != nullptr)
        asctime_r(&utc, when);
    KvReplaceGlobalTxtAttr(c, "Generation_date", KvCtoISO(when, iso));
    return 0;
}

long *KvFindGlobalAttr(const KvCDFContents *c, const char *name, long *index)
{
    if (c == nullptr || name == nullptr || c->g_attr == nullptr)
        return nullptr;
    for (long i = 0; i < c->num_g_attrs; ++i) {
        if (c->g_attr[i] != nullptr && c->g_attr[i]->name != nullptr && std::strcmp(c->g_attr[i]->name, name) == 0) {
            *index = i;
            return index;
        }
    }
    return nullptr;
}

int KvCreateGlobalTxtAttr(KvCDFContents *c, const char *name, const char *text)
{
    KvGlobalAttribute *g = KvMakeKvGAttr();
    g->name = KvNewStr(name);
    g->entry = KvMakeEntries(1);
    g->num_entries = 1;
    SetTextEntry(&g->entry[0], text != nullptr ? text : "");
    if (const int status = KvPushGlobalAttr(c, g); status != 0) {
        KvFreeGlobalAttribute(g);
        return status;
    }
    return 0;
}

int KvReplaceGlobalTxtAttr(KvCDFContents *c, const char *name, const char *text)
{
    long index = 0;
    if (KvFindGlobalAttr(c, name, &index) == nullptr)
        return KvCreateGlobalTxtAttr(c, name, text);
    KvGlobalAttribute *g = c->g_attr[index];
    if (g->entry != nullptr) {
        for (long e = 0; e < g->num_entries; ++e)
            std::free(g->entry[e].data);
        std::free(g->entry);
    }
    g->entry = KvMakeEntries(1);
    g->num_entries = 1;
    SetTextEntry(&g->entry[0], text != nullptr ? text : "");
    return 0;
}

int KvAppendGlobalTxtAttr(KvCDFContents *c, const char *name, const char *text)
{
    if (text == nullptr)
        return 0;
    long index = 0;
    if (KvFindGlobalAttr(c, name, &index) == nullptr)
        return KvCreateGlobalTxtAttr(c, name, text);
    KvGlobalAttribute source{};
    KvGAttrEntry entry{};
    SetTextEntry(&entry, text);
    source.name = const_cast<char *>(name);
    source.num_entries = 1;
    source.entry = &entry;
    const int status = KvAppendGlobalAttr(c->g_attr[index], index, &source);
    std::free(entry.data);
    return status;
}

int KvCopyGlobalEntry(KvGAttrEntry *dest, const KvGAttrEntry *source, int mode)
{
    dest->exists = source->exists;
    dest->data_type = source->data_type;
    dest->num_elems = source->num_elems;
    if (mode == 10) {
        dest->data = source->data;
        return 0;
    }
    if (mode != 20)
        return KV_COPY_MODE;
    dest->data = nullptr;
    if (source->data != nullptr) {
        const long bytes = CDFsizeof(source->data_type, source->num_elems);
        dest->data = std::calloc(static_cast<size_t>(bytes), 1);
        if (dest->data != nullptr) {
            // Text entries hold num_elems characters and a terminator; the
            // source may lack the terminator.
            const bool text = source->data_type == CDF_CHAR || source->data_type == CDF_UCHAR ||
                              source->data_type == ISO_TIME;
            std::memcpy(dest->data, source->data, static_cast<size_t>(text ? bytes - 1 : bytes));
        }
    }
    return 0;
}

int KvCreateGlobalAttr(KvCDFContents *c, const KvGlobalAttribute *source, long *index)
{
    KvGlobalAttribute *g = KvMakeKvGAttr();
    g->name = KvNewStr(source->name != nullptr ? source->name : "");
    g->num_entries = source->num_entries;
    g->entry = KvMakeEntries(source->num_entries);
    for (long e = 0; e < source->num_entries; ++e)
        KvCopyGlobalEntry(&g->entry[e], &source->entry[e], 20);
    if (const int status = KvPushGlobalAttr(c, g); status != 0) {
        KvFreeGlobalAttribute(g);
        return status;
    }
    *index = g->number;
    return 0;
}

int KvIsNewEntry(const KvGlobalAttribute *attr, const KvGAttrEntry *entry)
{
    const bool text = entry->data_type == CDF_CHAR || entry->data_type == CDF_UCHAR;
    const long size = EntryBytes(entry, text);
    for (long e = 0; e < attr->num_entries; ++e) {
        const KvGAttrEntry &old = attr->entry[e];
        if (old.data == nullptr || entry->data == nullptr || EntryBytes(&old, text) != size)
            continue;
        if (std::memcmp(old.data, entry->data, static_cast<size_t>(size)) == 0)
            return 1;
    }
    return 0;
}

int KvAppendGlobalAttr(KvGlobalAttribute *target, long index, const KvGlobalAttribute *source)
{
    (void)index;
    std::vector<const KvGAttrEntry *> fresh;
    for (long e = 0; e < source->num_entries && fresh.size() < 5000; ++e)
        if (!KvIsNewEntry(target, &source->entry[e]))
            fresh.push_back(&source->entry[e]);
    KvGAttrEntry *entries = KvMakeEntries(target->num_entries + static_cast<long>(fresh.size()));
    long kept = 0;
    for (long e = 0; e < target->num_entries; ++e) {
        const KvGAttrEntry &old = target->entry[e];
        const bool overwritten = old.data != nullptr && CDFsizeof(old.data_type, old.num_elems) >= 17 &&
                                 std::strncmp(static_cast<const char *>(old.data), "TO BE OVERWRITTEN", 17) == 0;
        if (overwritten)
            std::free(old.data);
        else
            entries[kept++] = old;
    }
    for (const KvGAttrEntry *e : fresh)
        KvCopyGlobalEntry(&entries[kept++], e, 20);
    std::free(target->entry);
    target->entry = entries;
    target->num_entries = kept;
    return 0;
}

char *KvCtoISO(char *text, char *out)
{
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // "Www Mmm dd hh:mm:ss yyyy"
    char mon[4] = {};
    char day[3] = {};
    char hms[9] = {};
    char year[5] = {};
    const size_t len = std::strlen(text);
    if (len < 24) {
        out[0] = '\0';
        return out;
    }
    std::memcpy(mon, text + 4, 3);
    std::memcpy(day, text + 8, 2);
    std::memcpy(hms, text + 11, 8);
    std::memcpy(year, text + 20, 4);
    std::string month = mon;
    for (int m = 0; m < 12; ++m)
        if (month == kMonths[m])
            month = KvFormat("%2.2d", m + 1);
    std::string iso = std::string(year) + "-" + month + "-" + day + "T" + hms + ".000Z";
    for (size_t i = 0; i < iso.size() && i < 25; ++i)
        if (iso[i] == ' ')
            iso[i] = '0';
    std::memcpy(out, iso.c_str(), iso.size() + 1);
    return out;
}

double KvFindSampleSpacing(const double *t, long n, int depth, double lower)
{
    if (n <= 2)
        return -1.0;
    double d = t[1] - t[0];
    for (long i = 1; i + 1 < n; ++i) {
        const double s = t[i + 1] - t[i];
        if (s < d && s > lower)
            d = s;
    }
    long count = 0;
    for (long i = 0; i + 1 < n; ++i)
        if (t[i + 1] - t[i] < 1.5 * d)
            ++count;
    if (100 * count > n)
        return d / 2;
    if (depth + 1 < 6)
        return KvFindSampleSpacing(t, n, depth + 1, d);
    return -1.0;
}
