// The writer of the four ASCII layouts: header (magic line, comment box,
// keywords, global blocks, variable blocks with their attributes) and the
// record sections of the fixed-width table, the delimited table, CEF 1 and
// CEF 2.
#include "kve_cdf.h"
#include "kve_flat.h"
#include "kve_int.h"
#include "kve_read_int.h"

#include <charconv>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const kBox[] = {
    nullptr,
    "!------------------- OBRA ASCII File -------------------|",
    "! Fixed column width table padded with CSDS fill values |",
    "! Column position in record counted from 0              |",
    "!                                                       |",
    "! ASCII Format                                          |",
    "! Native C ordering, last index varies fastest          |",
    "! Blank lines are ignored                               |",
    "! \"!\" escapes rest of line as comment                   |",
    "!-------------------------------------------------------|",
    "! Free width data entries separated by delimiters       |",
    "!--------------- Cluster Exchange ASCII File -----------|",
    "!-------- Cluster Exchange Version 2 ASCII File --------|",
};

bool IsText(long type) { return type == CDF_CHAR || type == CDF_UCHAR; }

// Whether the file being written holds escaped texts, as its magic line
// says; set by WriteHeaderFlat for everything written after it.
bool escaping = true;

// The first header line of the file being written that passes what a
// reader takes in one line: why it is refused.
std::string overlong;

// False when a line, as a reader joins it (CEF 2 continuations, a
// backslash, a blank and a line end, joined), passes what it takes.
bool Fits(const std::string &text)
{
    size_t run = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 3, "\\ \n") == 0) {
            at += 2;
            continue;
        }
        if ((run = text[at] == '\n' ? 0 : run + 1) > kMaxPhysicalLine)
            return false;
    }
    return true;
}

// Notes a header line that passes what a reader takes, the first of a file.
void CheckLine(const std::string &text, const char *what)
{
    if (overlong.empty() && !Fits(text))
        overlong = KvFormat("%s line passes the %zu characters a reader takes", what, kMaxPhysicalLine);
}

// The escaped form of a delimiter: printable characters as they are, a
// newline as \n, a tab as \t, anything else as nothing.
std::string DelimText(char delim)
{
    if (delim == '\n')
        return "\\n";
    if (delim == '\t')
        return "\\t";
    if (static_cast<unsigned char>(delim) >= 0x20 && static_cast<unsigned char>(delim) < 0x7f)
        return std::string(1, delim);
    return "";
}

// Appends the text of element i of a numeric array ("%g" for reals, the
// decimal integer otherwise); false for a type that is not numeric.
bool AppendNumber(std::string &out, long type, const void *data, long i)
{
    char buf[64];
    std::to_chars_result r{};
    switch (type) {
    case CDF_INT1: case CDF_BYTE: r = std::to_chars(buf, buf + sizeof buf, static_cast<const int8_t *>(data)[i]); break;
    case CDF_UINT1: r = std::to_chars(buf, buf + sizeof buf, static_cast<const uint8_t *>(data)[i]); break;
    case CDF_INT2: r = std::to_chars(buf, buf + sizeof buf, static_cast<const int16_t *>(data)[i]); break;
    case CDF_UINT2: r = std::to_chars(buf, buf + sizeof buf, static_cast<const uint16_t *>(data)[i]); break;
    case CDF_INT4: r = std::to_chars(buf, buf + sizeof buf, static_cast<const int32_t *>(data)[i]); break;
    case CDF_UINT4: r = std::to_chars(buf, buf + sizeof buf, static_cast<const uint32_t *>(data)[i]); break;
    case CDF_REAL4: case CDF_FLOAT:
        // As "%g": six significant digits, trailing zeros dropped.
        r = std::to_chars(buf, buf + sizeof buf, static_cast<const float *>(data)[i],
                          std::chars_format::general, 6);
        break;
    case CDF_REAL8: case CDF_DOUBLE:
        r = std::to_chars(buf, buf + sizeof buf, static_cast<const double *>(data)[i], std::chars_format::general, 6);
        break;
    default:
        return false;
    }
    out.append(buf, r.ptr);
    return true;
}

// Number text of element i of a numeric array of the given type; empty for
// a type that is not numeric.
std::string NumberText(long type, const void *data, long i)
{
    char buf[64];
    switch (type) {
    case CDF_INT1: case CDF_BYTE:
        std::snprintf(buf, sizeof buf, "%d", static_cast<const int8_t *>(data)[i]);
        return buf;
    case CDF_UINT1:
        std::snprintf(buf, sizeof buf, "%u", static_cast<const uint8_t *>(data)[i]);
        return buf;
    case CDF_INT2:
        std::snprintf(buf, sizeof buf, "%d", static_cast<const int16_t *>(data)[i]);
        return buf;
    case CDF_UINT2:
        std::snprintf(buf, sizeof buf, "%u", static_cast<const uint16_t *>(data)[i]);
        return buf;
    case CDF_INT4:
        std::snprintf(buf, sizeof buf, "%" PRId32, static_cast<const int32_t *>(data)[i]);
        return buf;
    case CDF_UINT4:
        std::snprintf(buf, sizeof buf, "%" PRIu32, static_cast<const uint32_t *>(data)[i]);
        return buf;
    case CDF_REAL4: case CDF_FLOAT:
        std::snprintf(buf, sizeof buf, "%g", static_cast<double>(static_cast<const float *>(data)[i]));
        return buf;
    case CDF_REAL8: case CDF_DOUBLE:
        std::snprintf(buf, sizeof buf, "%g", static_cast<const double *>(data)[i]);
        return buf;
    default:
        return "";
    }
}

// Text slot i of num_elems characters, cut at a terminator.
std::string SlotText(const void *data, long num_elems, long i)
{
    const char *p = static_cast<const char *>(data) + i * num_elems;
    return std::string(p, strnlen(p, static_cast<size_t>(num_elems)));
}

long ItemsOf(const KvCDFVariable *v)
{
    long n = 1;
    for (long d = 0; d < v->num_dims && d < KV_MAX_DIMS; ++d)
        n *= v->dim_sizes[d];
    return n;
}

// A variable that does not vary is written in every record when it asks so
// and there are records; else once, in its DATA line.
bool HasColumn(const KvCDFContents *c, const KvCDFVariable *v)
{
    return v->rec_vary != 0 || (v->novary_opt == EVERY_RECORD && c->n_recs > 0);
}

// Element index of value `position` of record r (record 0 for a variable
// that does not vary).
long Element(const KvCDFVariable *v, long record, long position, long n_items)
{
    return (v->rec_vary != 0 ? record : 0) * n_items + position;
}

// A text between delimiters: always quoted in CEF 2, elsewhere when bare it
// would not read back (a record value also where it may start a line).
std::string TextItem(const std::string &s, char delim, const KvOptions *o, char other = '\0', bool record = false)
{
    const bool quote = o->f_type == CAA || KvTextNeedsQuotes(s, delim, o->rec_end, record) ||
                       (other != '\0' && KvTextNeedsQuotes(s, other, o->rec_end, record));
    return quote ? KvQuoted(s, escaping) : s;
}

// How a text is written in a fixed-width column: bare, or quoted (with its
// escapes) when bare it would not read back: blanks at its end (the
// column's padding), a quote as its first and last character but blanks
// (the form of a quoted text), a character the line layer does not give
// back, '!' or '&' as its first character but blanks (a comment, or the
// mark that skips lines, where only blanks stand before it), '=' (a keyword
// line where no header stands before the records); in the first column of
// a line also blank or empty, so that no record line is blank.
std::string TabularText(const std::string &s, bool firstColumn)
{
    const size_t b = s.find_first_not_of(" \t");
    const size_t e = s.find_last_not_of(" \t\n");
    const bool quote = (!s.empty() && s.back() == ' ') || (b != std::string::npos && s[b] == '"' && s[e] == '"') ||
                       KvTextNeedsEscapes(s) || (b != std::string::npos && (s[b] == '!' || s[b] == '&')) ||
                       s.find('=') != std::string::npos || (firstColumn && b == std::string::npos);
    return quote ? KvQuoted(s, escaping) : s;
}

// A UINT1 value above 127 is no value of BYTE, which the readers take as
// signed: such variables and entries are written under INT.
bool BytesBeyondSigned(long type, const void *data, size_t n)
{
    if (type != CDF_UINT1 || data == nullptr)
        return false;
    const auto *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < n; ++i)
        if (p[i] > 127)
            return true;
    return false;
}

// Integer k of integer data of a type; false for a type that is not one.
bool IntegerAt(long type, const void *data, long k, long long *value)
{
    switch (type) {
    case CDF_INT1: case CDF_BYTE: *value = static_cast<const int8_t *>(data)[k]; return true;
    case CDF_UINT1: *value = static_cast<const uint8_t *>(data)[k]; return true;
    case CDF_INT2: *value = static_cast<const int16_t *>(data)[k]; return true;
    case CDF_UINT2: *value = static_cast<const uint16_t *>(data)[k]; return true;
    case CDF_INT4: *value = static_cast<const int32_t *>(data)[k]; return true;
    case CDF_UINT4: *value = static_cast<const uint32_t *>(data)[k]; return true;
    default: return false;
    }
}

// A 1-byte variable whose values (n of them) or integer attributes, which
// a reader reads in the variable's type, hold what a signed byte does not
// is written under INT.
bool VariableBeyondSigned(const KvCDFVariable *v, size_t n)
{
    if (BytesBeyondSigned(v->data_type, v->data, n))
        return true;
    for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS && v->attribute[a].data != nullptr; ++a) {
        long long value = 0;
        for (long k = 0; k < v->attribute[a].num_elems; ++k)
            if (IntegerAt(v->attribute[a].data_type, v->attribute[a].data, k, &value) &&
                (value < INT8_MIN || value > INT8_MAX))
                return true;
    }
    return false;
}

// Whether a data set holds a text with a character the readers' line layer
// does not give back, which only an escape carries: in a global entry, a
// variable attribute or the values of a text variable.
bool NeedsEscapes(const KvCDFContents *c)
{
    auto escaped = [](const void *data, size_t n) {
        const auto *p = static_cast<const char *>(data);
        return data != nullptr && KvTextNeedsEscapes(std::string(p, strnlen(p, n)));
    };
    for (long g = 0; g < c->num_g_attrs && c->g_attr != nullptr; ++g)
        for (long e = 0; c->g_attr[g] != nullptr && e < c->g_attr[g]->num_entries; ++e) {
            const KvGAttrEntry &entry = c->g_attr[g]->entry[e];
            if (entry.exists == 1 && IsText(entry.data_type) &&
                escaped(entry.data, static_cast<size_t>(std::max(entry.num_elems, 0L))))
                return true;
        }
    for (long i = 0; i < c->n_vars && c->vardata != nullptr; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        for (long a = 0; v->attribute != nullptr && a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            const KvVarAttribute &attr = v->attribute[a];
            const char *p = static_cast<const char *>(attr.data);
            for (long k = 0; p != nullptr && IsText(attr.data_type) && k < attr.num_elems; ++k) {
                if (KvTextNeedsEscapes(p))
                    return true;
                p += std::strlen(p) + 1;
            }
        }
        if (!IsText(v->data_type) || v->data == nullptr || v->num_elems < 1)
            continue;
        const size_t values = KvShapeValues(v, v->rec_vary != 0 ? c->n_recs : 1);
        const auto width = static_cast<size_t>(v->num_elems);
        for (size_t k = 0; values != SIZE_MAX && k < values; ++k)
            if (escaped(static_cast<const char *>(v->data) + k * width, width))
                return true;
    }
    return false;
}

// The type name of a global entry's G_Attr_Data_type line.
std::string EntryTypeName(const KvGAttrEntry *e, const KvOptions *o)
{
    if (o->f_type == CAA && e->data_type == CDF_EPOCH)
        return "ISO_TIME";
    if (BytesBeyondSigned(e->data_type, e->data, static_cast<size_t>(std::max(e->num_elems, 0L))))
        return "INT";
    char *name = KvCDFDataType(e->data_type);
    const std::string text = name;
    std::free(name);
    return text;
}

// The text of one data value (value table of the layouts), delimited by
// `delim` (and `other` where either may delimit it); `record` for a value
// of a record line.
std::string ValueText(const KvCDFVariable *v, long element, const KvOptions *o, char delim, char other = '\0',
                      bool record = false)
{
    switch (v->data_type) {
    case CDF_EPOCH:
        return KvEpochText(static_cast<const double *>(v->data)[element], o->time_sep_data);
    case CDF_CHAR: case CDF_UCHAR:
        return TextItem(SlotText(v->data, v->num_elems, element), delim, o, other, record);
    case ISO_TIME: {
        std::string s(static_cast<const char *>(v->data) + element * v->num_elems, static_cast<size_t>(v->num_elems));
        s.resize(strnlen(s.c_str(), s.size()));
        s.resize(static_cast<size_t>(v->num_elems), ' ');
        return s;
    }
    default: {
        std::string s;
        return AppendNumber(s, v->data_type, v->data, element) ? s : "??";
    }
    }
}

// Appends one data value to a record line being built.
void AppendValue(std::string &out, const KvCDFVariable *v, long element, const KvOptions *o, char delim)
{
    if (!AppendNumber(out, v->data_type, v->data, element))
        out += ValueText(v, element, o, delim, '\0', true);
}

// CEF order: the time variable first, then the others in data set order.
std::vector<long> CefOrder(const KvCDFContents *c, bool cef)
{
    std::vector<long> order;
    if (cef && c->time_var_num >= 0 && c->time_var_num < c->n_vars)
        order.push_back(c->time_var_num);
    for (long i = 0; i < c->n_vars; ++i)
        if (!(cef && i == c->time_var_num))
            order.push_back(i);
    return order;
}

void Line(FILE *fp, const std::string &text)
{
    std::fputs(text.c_str(), fp);
    std::fputc('\n', fp);
}

std::string StartData(long n_recs) { return KvFormat("%s = %ld ! Data records to follow", "Start_data", n_recs); }

// The data file's path, for the reason of a refused write.
std::string DataPath(const KvCDFContents *c, const char *extn)
{
    return KvSafePath(KvJoinPath(c->io_f_path, c->io_f_name, extn).c_str());
}

// Refuses what the layout's reader would not take back, in a line naming
// the variable (and the record), kept as the reason; status 115.
int Refuse(const KvCDFContents *c, const std::string &what, KvOptions *o)
{
    KvDisplayMessage(("KVE Error: " + what).c_str(), o);
    KvNoteFileError("Cannot write", DataPath(c, c->io_f_extn) + ": " + what);
    return KV_BAD_TYPE;
}

// The entry line of a global entry (KvWriteEntry), without its line end.
std::string EntryLine(const KvGAttrEntry *e, const KvOptions *o)
{
    if (e->data == nullptr)
        return "";
    std::string text = "Entry = ";
    const std::string delim(1, o->attr_delim);
    switch (e->data_type) {
    case CDF_CHAR: case CDF_UCHAR:
        text += TextItem(std::string(static_cast<const char *>(e->data),
                                     strnlen(static_cast<const char *>(e->data), static_cast<size_t>(e->num_elems))),
                         o->attr_delim, o);
        break;
    case ISO_TIME:
        text += std::string(static_cast<const char *>(e->data),
                            strnlen(static_cast<const char *>(e->data), static_cast<size_t>(e->num_elems)));
        break;
    case CDF_EPOCH:
        text += KvEpochText(*static_cast<const double *>(e->data), o->time_sep_attr);
        break;
    default: {
        if (NumberText(e->data_type, e->data, 0).empty()) {
            text += "unreadable";
            break;
        }
        for (long i = 0; i < e->num_elems; ++i) {
            if (i > 0)
                text += delim;
            text += NumberText(e->data_type, e->data, i);
        }
    }
    }
    return text;
}

// The values of a DATA line (KvWriteVarDataNRV).
std::string NrvValues(KvCDFVariable **vars, long index, long n_items, long record, int first, const KvOptions *o,
                      char delim)
{
    const KvCDFVariable *v = vars[index];
    std::string out;
    for (long k = 0; k < n_items; ++k) {
        if (!(first == 0 && k == 0)) {
            out += delim;
            if (o->f_type == CAA && k % 10 == 0)
                out += "\\ \n";
        }
        if (v->data == nullptr) {
            std::printf("KVE Warning: variable %s data is NULL", v->name);
            continue;
        }
        out += ValueText(v, Element(v, record, k, n_items), o, o->data_delim, o->attr_delim);
    }
    return out;
}

}  // namespace

int KvPutDelim(FILE *fp, char delim)
{
    const std::string text = DelimText(delim);
    if (text.empty())
        return -1;
    std::fputs(text.c_str(), fp);
    return 0;
}

char KvGetDelim(const char *text)
{
    if (text == nullptr || text[0] == '\0' || text[0] == '\n')
        return ' ';
    if (text[0] == '"' && text[1] != '\0')
        return text[1];
    if (text[0] != '\\')
        return text[0];
    switch (text[1]) {
    case 't': return '\t';
    case 'n': return '\n';
    case '\'': return '\'';
    case '"': return '"';
    default: return ' ';
    }
}

int KvWriteEntry(KvGAttrEntry *e, KvOptions *o, FILE *fp)
{
    Line(fp, EntryLine(e, o));
    return 0;
}

int KvWriteGlobalFlat(KvCDFContents *c, KvOptions *o, long index, FILE *fp)
{
    KvGlobalAttribute *g = c->g_attr != nullptr ? c->g_attr[index] : nullptr;
    if (g == nullptr)
        return -1;
    const bool version = std::strcmp(g->name, "Software_version") == 0;
    Line(fp, std::string("Start_meta = ") + g->name);
    if (o->f_type != CAA)
        Line(fp, KvFormat("Number_of_entries = %ld", g->num_entries + (version ? 1 : 0)));
    long previous = CDF_CHAR;
    std::string previousName = "CHAR";
    for (long e = 0; e < g->num_entries; ++e) {
        KvGAttrEntry *entry = &g->entry[e];
        if (entry->exists != 1)
            continue;
        const std::string name = EntryTypeName(entry, o);
        if (entry->data_type != previous || name != previousName) {
            Line(fp, "G_Attr_Data_type = " + name);
            previous = entry->data_type;
            previousName = name;
        }
        const std::string text = EntryLine(entry, o);
        CheckLine(text, KvFormat("global attribute %s entry %ld: its", g->name, e).c_str());
        Line(fp, text);
    }
    if (version)
        Line(fp, std::string("Entry = ") + (o->f_type == CAA ? "\"" : "") + KveVersion() +
                     (o->f_type == CAA ? "\"" : ""));
    Line(fp, std::string("End_meta = ") + g->name);
    Line(fp, "!");
    return 0;
}

int WriteHeaderFlat(KvCDFContents *c, FILE *fp, KvOptions *o)
{
    std::vector<int> box;
    std::string magic;
    escaping = NeedsEscapes(c);
    overlong.clear();
    switch (o->f_type) {
    case TABULAR:
        magic = KvFormat("!@%s@%s", c->io_f_extn, KveVersion());
        box = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        break;
    case DELIMITED:
        magic = KvFormat("!@%s@%s", c->io_f_extn, KveVersion());
        box = {1, 10, 4, 5, 6, 7, 8, 9};
        break;
    case EXCHANGE:
        magic = KvFormat("!@%s1@%s", c->io_f_extn, KveVersion());
        box = {11, 10, 4, 5, 6, 7, 8, 9};
        break;
    case CAA:
        magic = KvFormat("!@%s2@%s", c->io_f_extn, KveVersion());
        box = {12, 10, 4, 5, 6, 7, 8, 9};
        break;
    default:
        return KV_FILE_TYPE;
    }
    if (o->attr_delim == ' ')
        o->time_sep_attr = 'T';
    if (escaping)
        magic += kKvEscapesMark;
    Line(fp, magic);
    for (int b : box)
        Line(fp, kBox[b]);
    if (o->f_type == TABULAR)
        Line(fp, "File_type = t");
    if (o->f_type == DELIMITED)
        Line(fp, "File_type = d");
    if (o->f_type == CAA)
        Line(fp, "!");
    if (o->header == ATTACHED)
        Line(fp, std::string("FILE_NAME = ") + c->io_f_name + c->io_f_extn);
    else
        Line(fp, std::string("FILE_NAME = ") + o->header_name + o->EXTN_QHD);
    Line(fp, "!");
    if (o->f_type == CAA) {
        Line(fp, "FILE_FORMAT_VERSION = CEF-2.0");
        Line(fp, "!");
    } else {
        Line(fp, "Attribute_delimiter = " + DelimText(o->attr_delim));
    }
    if (o->f_type == DELIMITED || o->f_type == EXCHANGE)
        Line(fp, "Data_delimiter = " + DelimText(o->data_delim));
    if (o->f_type == EXCHANGE && o->rec_end != '\n')
        Line(fp, "End_of_record_marker = " + DelimText(o->rec_end));
    if (o->f_type == CAA)
        Line(fp, "End_of_record_marker = \"" + DelimText(o->rec_end) + "\"");
    if (o->f_type != CAA)
        Line(fp, std::string("Record_numbering = ") + (o->rec_numbering == NUM_ON ? "on" : "off"));
    Line(fp, "!");
    for (long g = 0; g < c->num_g_attrs; ++g)
        KvWriteGlobalFlat(c, o, g, fp);
    return overlong.empty() ? 0 : Refuse(c, overlong, o);
}

int KvAttrs_to_Text(KvCDFContents *c, long index, FILE *fp, KvOptions *o)
{
    const KvCDFVariable *v = c->vardata[index];
    const bool caa = o->f_type == CAA;
    const std::string delim(1, o->attr_delim);
    const std::string brk = "\\ \n";
    for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
        const KvVarAttribute &attr = v->attribute[a];
        if (attr.data == nullptr)
            break;
        std::string text = std::string(attr.name) + " = ";
        if (IsText(attr.data_type)) {
            const char *first = static_cast<const char *>(attr.data);
            if (KvVarExists(c, first) && std::strcmp(first, v->name) != 0) {
                Line(fp, text + first);
                continue;
            }
        }
        switch (attr.data_type) {
        case CDF_CHAR: case CDF_UCHAR: case ISO_TIME: {
            // num_elems strings back to back, each with its terminator.
            std::vector<std::string> strings;
            const char *p = static_cast<const char *>(attr.data);
            for (long i = 0; i < attr.num_elems; ++i) {
                strings.emplace_back(p);
                p += strings.back().size() + 1;
            }
            const bool isText = attr.data_type != ISO_TIME;
            for (size_t i = 0; i < strings.size(); ++i) {
                if (i > 0) {
                    text += delim;
                    if (caa) {
                        size_t ahead = 0;
                        for (size_t j = i; j < strings.size(); ++j)
                            ahead += strings[j].size() + 1;
                        if (ahead > 255)
                            text += brk;
                    }
                }
                text += isText ? TextItem(strings[i], o->attr_delim, o) : strings[i];
            }
            break;
        }
        case CDF_EPOCH: {
            for (long i = 0; i < attr.num_elems; ++i) {
                if (i > 0) {
                    text += delim;
                    if (caa && i % 9 == 0)
                        text += brk;
                }
                text += KvEpochText(static_cast<const double *>(attr.data)[i], o->time_sep_attr);
            }
            break;
        }
        default: {
            if (NumberText(attr.data_type, attr.data, 0).empty()) {
                text += "unreadable";
                break;
            }
            const long bytes = CDFsizeof(attr.data_type, 1);
            const long per = bytes == 1 ? 43 : bytes == 8 ? 13 : 19;
            for (long i = 0; i < attr.num_elems; ++i) {
                if (i > 0) {
                    text += delim;
                    if (caa && i % per == 0)
                        text += brk;
                }
                text += NumberText(attr.data_type, attr.data, i);
            }
        }
        }
        CheckLine(text, KvFormat("variable %s attribute %s: its", v->name, attr.name).c_str());
        Line(fp, text);
    }
    return 0;
}

int KvWriteDataValue(FILE *fp, KvCDFVariable **vars, long index, long position, long n_items, long record,
                     KvOptions *o)
{
    const KvCDFVariable *v = vars[index];
    if (v->data == nullptr) {
        std::printf("KVE Warning: variable %s data is NULL", v->name);
        return -1;
    }
    // Written between data delimiters, or in a DATA line between attribute
    // delimiters.
    std::fputs(ValueText(v, Element(v, record, position, n_items), o, o->data_delim, o->attr_delim).c_str(), fp);
    return 0;
}

int KvWriteVarData(FILE *fp, KvCDFVariable **vars, long index, long n_items, long record, int first, KvOptions *o,
                   char delim)
{
    for (long k = 0; k < n_items; ++k) {
        if (!(first == 0 && k == 0))
            std::fputc(delim, fp);
        KvWriteDataValue(fp, vars, index, k, n_items, record, o);
    }
    return 0;
}

int KvWriteVarDataNRV(FILE *fp, KvCDFVariable **vars, long index, long n_items, long record, int first,
                      KvOptions *o, char delim)
{
    std::fputs(NrvValues(vars, index, n_items, record, first, o, delim).c_str(), fp);
    return 0;
}

namespace {

// The blocked values of KvWriteVarBlocked, appended to out.
void AppendBlocked(std::string &out, const KvCDFVariable *v, long k, long n_items, long record, const KvOptions *o,
                   char delim)
{
    const std::string gap = std::string(1, o->row_end) + "  ";
    for (long pos = 0; pos < n_items; ++pos) {
        AppendValue(out, v, Element(v, record, pos, n_items), o, delim);
        if (v->num_dims == 0) {
            if (k != 0) {
                out += delim;
                out += gap;
            }
            continue;
        }
        if (pos == n_items - 1 && k == 0)
            continue;
        out += delim;
        out += "  ";
        long count = pos + 1;
        for (long d = v->num_dims - 1; d >= 0; --d) {
            const long size = v->dim_sizes[d];
            if (size <= 0 || count % size != 0)
                break;
            out += gap;
            count /= size;
        }
    }
}

}  // namespace

int KvWriteVarBlocked(FILE *fp, KvCDFVariable **vars, long index, long k, long n_items, long record, KvOptions *o,
                      char delim)
{
    const KvCDFVariable *v = vars[index];
    if (v->data == nullptr) {
        std::printf("KVE Warning: variable %s data is NULL", v->name);
        return 0;
    }
    std::string out;
    out.reserve(static_cast<size_t>(n_items) * 16);
    AppendBlocked(out, v, k, n_items, record, o, delim);
    std::fwrite(out.data(), 1, out.size(), fp);
    return 0;
}

namespace {

// A record line longer than the reader's physical lines: its values are
// refused, never written cut.
int RefuseLine(const KvCDFContents *c, const KvCDFVariable *v, long record, KvOptions *o)
{
    return Refuse(c,
                  KvFormat("variable %s record %ld: the record's line passes the %zu characters a reader takes",
                           v->name, record, kMaxPhysicalLine),
                  o);
}

}  // namespace

int KvWriteVarObjects(KvCDFContents *c, long index, KvOptions *o, KvRecord_format *f, FILE *fp)
{
    KvCDFVariable *v = c->vardata[index];
    const long items = ItemsOf(v);
    f->n_items[index] = items;
    overlong.clear();
    int minimum = 0;
    switch (v->data_type) {
    case CDF_REAL8: case CDF_DOUBLE: minimum = 20; break;
    case CDF_INT2: case CDF_INT4: case CDF_UINT2: case CDF_UINT4: case CDF_REAL4: case CDF_FLOAT: minimum = 13; break;
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE: minimum = 5; break;
    case CDF_EPOCH: minimum = 30; break;
    case CDF_CHAR: case CDF_UCHAR: case ISO_TIME: minimum = static_cast<int>(v->num_elems) + 1; break;
    default: return KV_BAD_TYPE;
    }
    int width = static_cast<int>(static_cast<long>(std::strlen(v->name)) / (items > 0 ? items : 1)) + 1;
    f->col_width[index] = std::max(width, minimum);
    const size_t values = KvShapeValues(v, v->rec_vary != 0 ? c->n_recs : 1);
    // The reader takes no MAXSTRLEN above kMaxTextLength and no column
    // beyond kMaxColumn.
    if (IsText(v->data_type) && o->f_type != CAA && v->num_elems > kMaxTextLength)
        return Refuse(c, KvFormat("variable %s holds texts of %ld characters, more than the %ld a reader takes",
                                  v->name, v->num_elems, kMaxTextLength),
                      o);
    if (IsText(v->data_type) && v->data != nullptr && o->f_type == TABULAR && HasColumn(c, v)) {
        // A quoted text in a fixed-width column widens it.
        for (size_t e = 0; e < values; ++e) {
            const bool first = o->rec_numbering != NUM_ON && f->total_width == 0 && e % items == 0;
            const std::string text = TabularText(SlotText(v->data, v->num_elems, static_cast<long>(e)), first);
            f->col_width[index] = std::max(f->col_width[index], static_cast<int>(text.size()) + 1);
        }
    }
    f->col_start[index] = f->total_width;
    if (o->f_type == TABULAR && HasColumn(c, v) &&
        static_cast<long>(f->total_width) + items * static_cast<long>(f->col_width[index]) > kMaxColumn)
        return Refuse(c, KvFormat("variable %s: its columns pass the %ld a reader takes", v->name, kMaxColumn), o);
    Line(fp, std::string("START_VARIABLE = ") + v->name);
    if (HasColumn(c, v)) {
        f->total_width += static_cast<int>(items) * f->col_width[index];
        if (o->f_type == TABULAR) {
            Line(fp, KvFormat("Column_start = %d", f->col_start[index]));
            Line(fp, KvFormat("Column_width = %d", f->col_width[index]));
        }
    }
    if (v->num_dims > 0) {
        std::string sizes = KvFormat("SIZES =  %ld", v->dim_sizes[0]);
        for (long d = 1; d < v->num_dims && d < KV_MAX_DIMS; ++d)
            sizes += KvFormat("%c %ld", o->attr_delim, v->dim_sizes[d]);
        Line(fp, sizes);
    }
    switch (v->data_type) {
    case CDF_REAL8: case CDF_DOUBLE: Line(fp, "VALUE_TYPE = DOUBLE"); break;
    case CDF_REAL4: case CDF_FLOAT: Line(fp, "VALUE_TYPE = FLOAT"); break;
    case CDF_INT2: case CDF_INT4: case CDF_UINT2: case CDF_UINT4: Line(fp, "VALUE_TYPE = INT"); break;
    case CDF_INT1: case CDF_UINT1: case CDF_BYTE:
        Line(fp, VariableBeyondSigned(v, values) ? "VALUE_TYPE = INT" : "VALUE_TYPE = BYTE");
        break;
    case ISO_TIME: Line(fp, "VALUE_TYPE = ISO_TIME"); break;
    case CDF_CHAR: case CDF_UCHAR:
        Line(fp, "VALUE_TYPE = CHAR");
        if (o->f_type != CAA)
            Line(fp, KvFormat("MAXSTRLEN = %ld", v->num_elems));
        break;
    case CDF_EPOCH:
        if (o->f_type == CAA) {
            Line(fp, "VALUE_TYPE = ISO_TIME");
        } else {
            Line(fp, "VALUE_TYPE = EPOCH");
            Line(fp, "TIME_FORMAT = ISO");
        }
        break;
    default: break;
    }
    if (!HasColumn(c, v) && v->data != nullptr) {
        const std::string line = "DATA = " + NrvValues(c->vardata, index, items, 0, 0, o, o->attr_delim);
        CheckLine(line, KvFormat("variable %s: its DATA", v->name).c_str());
        Line(fp, line);
    }
    if (v->attribute != nullptr)
        KvAttrs_to_Text(c, index, fp, o);
    Line(fp, std::string("END_VARIABLE = ") + v->name);
    Line(fp, "");
    return overlong.empty() ? 0 : Refuse(c, overlong, o);
}

namespace {

int MissingData(const KvCDFContents *c, KvOptions *o, bool tabular)
{
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        if (HasColumn(c, v) && v->data == nullptr) {
            KvDisplayMessage(KvFormat(tabular ? "KVE Error: data not available for var number %ld"
                                              : "KVE Error: data not available, var number %ld",
                                      i)
                                 .c_str(),
                             o);
            KvNoteFileError("Cannot write", DataPath(c, c->io_f_extn) + ": variable " + v->name + " has no data");
            return KV_VAR_NO_DATA;
        }
    }
    return KvCheckDataShapes(c, o, KV_VAR_NO_DATA, DataPath(c, c->io_f_extn));
}

}  // namespace

int KvWriteRecsTabular(KvCDFContents *c, KvRecord_format *f, KvOptions *o, FILE *fp)
{
    if (const int status = MissingData(c, o, true); status != 0)
        return status;
    std::string title = o->rec_numbering == NUM_ON ? "! Record  " : "!";
    for (long i = 0; i < c->n_vars; ++i) {
        if (!HasColumn(c, c->vardata[i]))
            continue;
        if (title.size() < static_cast<size_t>(f->col_start[i]))
            title.resize(static_cast<size_t>(f->col_start[i]), ' ');
        title += c->vardata[i]->name;
    }
    if (o->header == ATTACHED) {
        Line(fp, title);
        Line(fp, "");
        Line(fp, StartData(c->n_recs));
    }
    std::string line;
    for (long r = 0; r < c->n_recs; ++r) {
        line.clear();
        if (o->rec_numbering == NUM_ON)
            line += KvFormat("%-10ld ", r);
        bool first = true;
        for (long i = 0; i < c->n_vars; ++i) {
            const KvCDFVariable *v = c->vardata[i];
            if (!HasColumn(c, v))
                continue;
            const int w = f->col_width[i] - 1;
            for (long k = 0; k < f->n_items[i]; ++k) {
                if (!first)
                    line += ' ';
                first = false;
                const long e = Element(v, r, k, f->n_items[i]);
                std::string s;
                if (v->data_type == CDF_EPOCH) {
                    s = KvEpochText(static_cast<const double *>(v->data)[e], o->time_sep_data);
                } else if (IsText(v->data_type)) {
                    // Its characters (quoted where bare they would not read
                    // back), padded to its column as a number is.
                    s = TabularText(SlotText(v->data, v->num_elems, e), line.empty());
                    if (s.size() < static_cast<size_t>(v->num_elems))
                        s.resize(static_cast<size_t>(v->num_elems), ' ');
                } else if (v->data_type == ISO_TIME) {
                    s = SlotText(v->data, v->num_elems, e);
                    s.resize(static_cast<size_t>(v->num_elems), ' ');
                } else {
                    s = NumberText(v->data_type, v->data, e);
                    if (s.empty())
                        s = "??";
                }
                if (s.size() < static_cast<size_t>(w))
                    s.resize(static_cast<size_t>(w), ' ');
                line += s;
                if (line.size() > kMaxPhysicalLine)
                    return RefuseLine(c, v, r, o);
            }
        }
        Line(fp, line);
    }
    return 0;
}

int KvWriteRecsParsed(KvCDFContents *c, KvRecord_format *f, KvOptions *o, FILE *fp)
{
    if (const int status = MissingData(c, o, false); status != 0)
        return status;
    if (o->data_delim == ' ')
        o->time_sep_data = 'T';
    std::string title = o->rec_numbering == NUM_ON ? std::string("!Record") + o->data_delim : "!";
    for (long i = 0; i < c->n_vars; ++i) {
        if (i > 0)
            title += o->data_delim;
        title += std::string(c->vardata[i]->name).substr(0, static_cast<size_t>(std::max(f->col_width[i] - 1, 0)));
    }
    if (o->header == ATTACHED) {
        Line(fp, title);
        Line(fp, "");
        Line(fp, StartData(c->n_recs));
    }
    std::string line;
    for (long r = 0; r < c->n_recs; ++r) {
        line.clear();
        bool first = true;
        if (o->rec_numbering == NUM_ON) {
            line += std::to_string(r);
            first = false;
        }
        for (long i = 0; i < c->n_vars; ++i) {
            const KvCDFVariable *v = c->vardata[i];
            if (!HasColumn(c, v))
                continue;
            for (long k = 0; k < f->n_items[i]; ++k) {
                if (!first)
                    line += o->data_delim;
                first = false;
                line += ValueText(v, Element(v, r, k, f->n_items[i]), o, o->data_delim, '\0', true);
                if (line.size() > kMaxPhysicalLine)
                    return RefuseLine(c, v, r, o);
            }
        }
        Line(fp, line);
    }
    return 0;
}

namespace {

int WriteRecsCef(KvCDFContents *c, KvRecord_format *f, KvOptions *o, FILE *fp, bool caa)
{
    if (const int status = MissingData(c, o, false); status != 0)
        return status;
    o->row_end = (o->rec_end == '\n' || o->rec_end == '\t') ? ' ' : '\n';
    if (o->data_delim == ' ')
        o->time_sep_data = 'T';
    const std::vector<long> order = CefOrder(c, true);
    const bool numbering = !caa && o->rec_numbering == NUM_ON;
    if (f->total_width > 0 && o->header == ATTACHED) {
        std::string title = numbering ? std::string("!Record") + o->data_delim : "! ";
        bool first = true;
        for (size_t n = 0; n < order.size(); ++n) {
            const KvCDFVariable *v = c->vardata[order[n]];
            if (n > 0 && v->rec_vary == 0)
                continue;
            if (!first) {
                title += o->data_delim;
                title += ' ';
            }
            first = false;
            title += std::string(v->name).substr(0, static_cast<size_t>(std::max(f->col_width[order[n]] - 1, 0)));
        }
        Line(fp, title);
        Line(fp, "");
        Line(fp, caa ? std::string("DATA_UNTIL = \"End_of_Data\"") : StartData(c->n_recs));
    }
    long written = 0;
    for (long i : order)
        if (HasColumn(c, c->vardata[i]))
            ++written;
    std::string record;
    for (long r = 0; r < c->n_recs; ++r) {
        record.clear();
        if (numbering)
            record += std::to_string(r);
        long k = written;
        bool first = true;
        // Characters of the physical line so far: false once one passes
        // what a reader takes.
        size_t run = record.size();
        auto fits = [&](size_t from) {
            for (size_t at = from; at < record.size(); ++at)
                if ((run = record[at] == '\n' ? 0 : run + 1) > kMaxPhysicalLine)
                    return false;
            return true;
        };
        const KvCDFVariable *last = nullptr;
        for (long i : order) {
            if (!HasColumn(c, c->vardata[i]))
                continue;
            const size_t from = record.size();
            record += o->row_end;
            if (!first)
                record += "   ";
            first = false;
            --k;
            last = c->vardata[i];
            AppendBlocked(record, last, k, f->n_items[i], r, o, o->data_delim);
            if (!fits(from))
                return RefuseLine(c, last, r, o);
        }
        const size_t from = record.size();
        record += o->row_end;
        record += o->rec_end;
        if (o->rec_end != '\n')
            record += '\n';
        if (last != nullptr && !fits(from))
            return RefuseLine(c, last, r, o);
        std::fwrite(record.data(), 1, record.size(), fp);
    }
    if (caa)
        Line(fp, "End_of_Data");
    return 0;
}

}  // namespace

int KvWriteRecsExchange(KvCDFContents *c, KvRecord_format *f, KvOptions *o, FILE *fp)
{
    return WriteRecsCef(c, f, o, fp, false);
}

int KvWriteRecsCAA(KvCDFContents *c, KvRecord_format *f, KvOptions *o, FILE *fp)
{
    return WriteRecsCef(c, f, o, fp, true);
}

int KvWriteCSDSgenFlat(KvCDFContents *c, KvOptions *o)
{
    KvClearFileError();
    // Parts written on their own after this file escape their texts.
    struct Restore {
        ~Restore() { escaping = true; }
    } restore;
    if (c == nullptr || o == nullptr)
        return KV_NO_VARIABLES;
    KvEnsureFileName(c, o);
    char *extn = nullptr;
    switch (o->f_type) {
    case UNSET: case TABULAR: extn = o->EXTN_QFT; break;
    case DELIMITED: extn = o->EXTN_QFD; break;
    case EXCHANGE: case CAA: extn = o->EXTN_CEF; break;
    default: return KV_FILE_TYPE;
    }
    if (const int status = KvCheckDataShapes(c, o, KV_VAR_NO_DATA, DataPath(c, extn)); status != 0)
        return status;
    if (o->f_type != CAA)
        KvRemoveISO_TIME(c);
    if (KvMakeSafe(c) == nullptr || KvTestStructure(c) != 0)
        return KV_NO_VARIABLES;
    c->io_f_extn = extn;
    if (o->f_type == UNSET)
        o->f_type = TABULAR;
    if (o->f_type == CAA) {
        o->time_sep_data = 'T';
        o->time_sep_attr = 'T';
        KvRemoveEpoch(c);
    }
    const bool replace = o->priority == REPLACE;
    auto open = [&](const char *dir, const char *name, const char *extn, int *status) -> FILE * {
        errno = 0;
        FILE *fp = KvOpenFile(replace ? "w" : "w-", dir, name, extn);
        if (fp == nullptr)
            *status = (!replace && errno == EEXIST) ? KV_FILE_EXISTS : KV_FILE_OPEN;
        return fp;
    };
    int status = 0;
    FILE *data = open(c->io_f_path, c->io_f_name, c->io_f_extn, &status);
    if (data == nullptr)
        return status;
    FILE *header = data;
    bool ownHeader = false;
    switch (o->header) {
    case ATTACHED:
        break;
    case DETACHED:
        KvEnsureHeader(c, o);
        header = open(o->header_path, o->header_name, o->EXTN_QHD, &status);
        if (header == nullptr) {
            KvCloseFile(status, c->io_f_path, c->io_f_name, c->io_f_extn, data);
            return status;
        }
        ownHeader = true;
        break;
    case NO_HEADER:
        header = o->fp_null;
        break;
    default:
        KvDisplayMessage("KVE Warning: unknown option no header written", o);
        header = o->fp_null;
        break;
    }
    KvRecord_format *f = KvMakeFmtObj();
    status = WriteHeaderFlat(c, header, o);
    const size_t n = static_cast<size_t>(c->n_vars);
    f->col_start = static_cast<int *>(std::calloc(n, sizeof(int)));
    f->col_width = static_cast<int *>(std::calloc(n, sizeof(int)));
    f->n_items = static_cast<long *>(std::calloc(n, sizeof(long)));
    f->total_width = o->rec_numbering == NUM_ON ? 11 : 0;
    if (status == 0) {
        for (long i : CefOrder(c, o->f_type == EXCHANGE || o->f_type == CAA)) {
            status = KvWriteVarObjects(c, i, o, f, header);
            if (status != 0)
                break;
        }
    }
    if (status == 0) {
        switch (o->f_type) {
        case TABULAR: status = KvWriteRecsTabular(c, f, o, data); break;
        case DELIMITED: status = KvWriteRecsParsed(c, f, o, data); break;
        case EXCHANGE: status = KvWriteRecsExchange(c, f, o, data); break;
        default: status = KvWriteRecsCAA(c, f, o, data); break;
        }
    }
    KvFreeFormatSpace(f);
    // A write that failed (a full disk) fails the export as an open does,
    // saying which file and why.
    auto written = [&status](FILE *fp, const std::string &path) {
        errno = 0;
        if ((std::fflush(fp) != 0 || std::ferror(fp) != 0) && status == 0) {
            KvNoteFileError("Cannot write", path, errno != 0 ? errno : EIO);
            status = KV_FILE_OPEN;
        }
    };
    if (ownHeader)
        written(header, KvSafePath(KvJoinPath(o->header_path, o->header_name, o->EXTN_QHD).c_str()));
    written(data, KvSafePath(KvJoinPath(c->io_f_path, c->io_f_name, c->io_f_extn).c_str()));
    if (ownHeader)
        KvCloseFile(status, o->header_path, o->header_name, o->EXTN_QHD, header);
    return KvCloseFile(status, c->io_f_path, c->io_f_name, c->io_f_extn, data);
}
