// The records of the flat and CEF reader: the driver that sizes the data
// of every stored variable and runs the record reader of the file type, the
// four record readers, the fixed values of a DATA line and the record
// counter.  Data arrays grow with the records found, within
// kv_max_read_bytes per variable; a record that fails is not counted.
#include "kve_read_int.h"
#include "kve_int.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

enum class Flavor { Tabular, Parsed, Exchange, Caa };

std::string Trimmed(const std::string &s, const char *blanks = " \t\n")
{
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

bool Stored(const KvCDFContents *c, const KvRecord_format *f, long i)
{
    return c->vardata[i]->rec_vary != 0 && f->ignore[i] != 1;
}

// Bytes of one record of a stored variable.
bool RecordBytes(const KvCDFVariable *v, long n_items, size_t *bytes)
{
    const long elem = KvIsTextType(v->data_type) ? v->num_elems : KvReadElementSize(v->data_type);
    return elem > 0 && n_items > 0 &&
           !__builtin_mul_overflow(static_cast<size_t>(elem), static_cast<size_t>(n_items), bytes) &&
           *bytes <= kv_max_read_bytes;
}

// Epoch of one time value: free-format by its picture, else ISO text.
int EpochValue(KvFTpacket *pk, const std::string &value, double *out)
{
    if (pk != nullptr && pk->timeformat == FREE_TIME_FORMAT) {
        char text[256] = {};
        const std::string t = Trimmed(value, " \t\n").substr(0, 255);
        std::memcpy(text, t.c_str(), t.size());
        if (pk->AllRecordsFlag == All_records_time_found)
            if (const int status = KvFTCatTime_All(text, pk->AllRecordsTimeString); status != 0)
                return status;
        if (std::strlen(text) != std::strlen(pk->FreeTimeFormatString))
            return KV_FT_TEXT_LENGTH;
        if (const int status = KvFTtoEPOCH(pk, text); status != 0)
            return status;
        *out = pk->epoch.tsince0;
        return 0;
    }
    return KvISOStringToEpochStatus(value.substr(0, 30).c_str(), out) == 0 ? 0 : KV_BAD_ISO;
}

// What the read keeps of each variable: the bytes of one record of it as
// stored, and what its values have shown of its integer type.  A column
// turns unsigned only in a record that is kept, and only when no kept
// record and no value before it in its own record is negative: two flags,
// so that each value is looked at once.
struct Column {
    size_t record_bytes = 0;
    long type = 0;              // its type when the record being read began
    bool negative = false;      // a kept record holds a negative value
    bool negative_now = false;  // the record being read holds one
};

struct ReadState {
    KvCDFVariable **vardata = nullptr;  // the variables the state is of
    std::vector<Column> columns;
    long capacity = 0;  // records the data arrays have room for (0: not known)
    long place = -1;    // the place in the file of the record being read
};

ReadState &State()
{
    static ReadState state;
    return state;
}

// The state of a data set's variables, made afresh for another data set.
ReadState &StateOf(const KvCDFContents *c)
{
    ReadState &s = State();
    if (s.vardata != c->vardata || s.columns.size() < static_cast<size_t>(std::max(c->n_vars, 0L))) {
        s = ReadState{};
        s.vardata = c->vardata;
        s.columns.resize(static_cast<size_t>(std::max(c->n_vars, 0L)));
    }
    return s;
}

// The record's place in the file, counted from 0 as the record-number
// column counts; where no read gave it, the index it is stored at.
long Place(long record)
{
    const long place = State().place;
    return place >= 0 ? place : record;
}

void BeginRecord(const KvCDFContents *c)
{
    ReadState &s = StateOf(c);
    for (long i = 0; i < c->n_vars; ++i) {
        s.columns[static_cast<size_t>(i)].type = c->vardata[i]->data_type;
        s.columns[static_cast<size_t>(i)].negative_now = false;
    }
}

// Ends a record: a kept one keeps what its values showed, a refused one
// leaves every column's type as it was.
int EndRecord(const KvCDFContents *c, int status)
{
    ReadState &s = StateOf(c);
    for (long i = 0; i < c->n_vars; ++i) {
        Column &col = s.columns[static_cast<size_t>(i)];
        if (status == 0)
            col.negative = col.negative || col.negative_now;
        else
            c->vardata[i]->data_type = col.type;
        col.negative_now = false;
    }
    return status;
}

void TooLong(Flavor fl, const KvCDFVariable *v, const std::string &text, KvOptions *o)
{
    const bool iso = v->data_type == ISO_TIME;
    if (fl == Flavor::Tabular)
        return;
    if (iso && (fl == Flavor::Exchange || fl == Flavor::Caa)) {
        KvReadError(KvFormat("KVE Warning: ISO data string too long for Vemlo (>%ld)", v->num_elems), o);
        KvReadError(KvFormat("String is: '%s'", text.c_str()), o);
        KvReadError(KvFormat("for Var: %s", v->name), o);
    } else if (fl == Flavor::Caa) {
        KvReadError(KvFormat("KVE Warning: char data string too long for Vemlo (>%ld)", v->num_elems), o);
        KvReadError(KvFormat("String is: '%s'", text.c_str()), o);
    } else {
        KvReadError(KvFormat("KVE Warning: char data string > maxstrlen (%ld) specified in file", v->num_elems), o);
        KvReadError(KvFormat(fl == Flavor::Parsed ? "String is: '%s'" : "String is:\n%s", text.c_str()), o);
    }
}

// Gives a CEF 2 text variable slots of at least `width` characters: CEF 2
// says no length, its values do.  The records read so far and the one
// being read (`record`) are laid out again, and the room of the read
// becomes theirs, so the width at least doubles each time; false when the
// data would pass kv_max_read_bytes.
bool Widen(KvCDFContents *c, KvRecord_format *f, long i, size_t width, long record)
{
    ReadState &s = StateOf(c);
    KvCDFVariable *v = c->vardata[i];
    const auto old = static_cast<size_t>(v->num_elems);
    const size_t wider = std::max(width, 2 * old);
    const auto slots = static_cast<size_t>(record + 1) * static_cast<size_t>(f->n_items[i]);
    size_t bytes = 0;
    if (record < 0 || record >= s.capacity || old == 0 || __builtin_mul_overflow(slots, wider, &bytes) ||
        bytes > kv_max_read_bytes)
        return false;
    auto *data = static_cast<unsigned char *>(std::calloc(bytes, 1));
    if (data == nullptr)
        return false;
    for (size_t e = 0; e < slots; ++e)
        std::memcpy(data + e * wider, static_cast<const unsigned char *>(v->data) + e * old, old);
    std::free(v->data);
    v->data = data;
    v->num_elems = static_cast<long>(wider);
    s.columns[static_cast<size_t>(i)].record_bytes = wider * static_cast<size_t>(f->n_items[i]);
    // Every other variable has room for more; the next record grows them all.
    s.capacity = record + 1;
    return true;
}

// Stores an integer value; false when its variable's type (or, when no
// kept record and nothing before it in its record is negative, that type
// made unsigned) cannot hold it.
bool StoreInteger(KvCDFVariable *v, Column &col, const std::string &value, unsigned char *at)
{
    long long n = 0;
    if (!KvParseInteger(value, &n))
        return false;
    if (!KvIntegerFits(v->data_type, n)) {
        const long u = KvUnsignedOf(v->data_type);
        if (u == 0 || !KvIntegerFits(u, n) || col.negative || col.negative_now)
            return false;
        v->data_type = u;
    }
    col.negative_now = col.negative_now || n < 0;
    KvPutInteger(v->data_type, n, at);
    if (v->data_type == CDF_INT1 || v->data_type == CDF_BYTE)
        KvWarnSignedByte(v->name, n);
    return true;
}

// Stores value k of a record; 0 or the record's failure status.
int StoreValue(KvCDFContents *c, KvRecord_format *f, long i, long record, long k, const std::string &value,
               Flavor fl, KvOptions *o)
{
    KvCDFVariable *v = c->vardata[i];
    const size_t index = static_cast<size_t>(record) * static_cast<size_t>(f->n_items[i]) + static_cast<size_t>(k);
    if (KvIsTextType(v->data_type)) {
        std::string text = value;
        if (fl == Flavor::Tabular) {
            // One quoted text, or the text before the column's padding.
            if (v->data_type == ISO_TIME || !KvOneQuoted(value, &text, KvLinesEscapes()))
                text = value.substr(0, value.find_last_not_of(' ') + 1);
        } else if (v->data_type != ISO_TIME) {
            text = KvTextValue(value, fl == Flavor::Caa);
        } else if (fl == Flavor::Caa) {
            text = Trimmed(text, " ");
        }
        if (text.size() > static_cast<size_t>(v->num_elems) &&
            !(fl == Flavor::Caa && v->data_type != ISO_TIME && Widen(c, f, i, text.size(), record)))
            TooLong(fl, v, text, o);
        const auto width = static_cast<size_t>(v->num_elems);
        unsigned char *slot = static_cast<unsigned char *>(v->data) + index * width;
        std::memset(slot, 0, width);
        std::memcpy(slot, text.data(), std::min(width, text.size()));
        return 0;
    }
    auto *data = static_cast<unsigned char *>(v->data);
    if (v->data_type == CDF_EPOCH) {
        double epoch = 0.0;
        if (const int status = EpochValue(&f->ftpackets[i], value, &epoch); status != 0)
            return status;
        std::memcpy(data + index * sizeof epoch, &epoch, sizeof epoch);
        return 0;
    }
    const long elem = KvReadElementSize(v->data_type);
    if (elem == 0) {
        switch (fl) {
        case Flavor::Tabular: std::fprintf(stderr, "KvReadRecsTabular: data type ??"); break;
        case Flavor::Parsed: std::fprintf(stderr, "KvReadRecsParsed: data type ??"); break;
        case Flavor::Exchange: std::fprintf(stderr, "KvReadRecsExchange: data type for variable %ld??\n", i); break;
        case Flavor::Caa: std::fprintf(stderr, "KvReadRecsCAA: data type ??"); break;
        }
        return KV_READ_TYPE;
    }
    unsigned char *at = data + index * static_cast<size_t>(elem);
    const bool stored = KvIsIntegerType(v->data_type)
                            ? StoreInteger(v, StateOf(c).columns[static_cast<size_t>(i)], value, at)
                            : KvStoreNumber(v->data_type, value, at);
    if (!stored) {
        // Never stored as another number: the record fails.
        if (KvReadErrorShown()) {
            char *type = KvCDFDataType(v->data_type);
            KvDisplayMessage(KvFormat("KVE Error: record %ld: '%s' is no value of %s (variable %s)", Place(record),
                                      Trimmed(value).c_str(), type, v->name)
                                 .c_str(),
                             o);
            std::free(type);
        }
        return KV_SHORT_RECORD;
    }
    return 0;
}

// The next record line, or null at the end of input or at the end-of-data
// text.
const char *RecordLine(KvOptions *o)
{
    const char *line = KvReadLine(o->start_after);
    if (line != nullptr && !KvstrNULL(o->data_until) && std::strncmp(line, o->data_until, std::strlen(o->data_until)) == 0)
        return nullptr;
    return line;
}

// Values of a DELIMITED, CEF 1 or CEF 2 record line: as many as the record
// holds (`wanted`, from the variables' SIZES), however many that is.
// One value more than wanted shows that the line holds too many.
std::vector<std::string> RecordValues(const std::string &line, Flavor fl, char delim, long wanted)
{
    if (fl != Flavor::Caa)
        return KvSplitItems(delim, line, true, wanted + 1);
    std::vector<std::string> values;
    for (const std::string &item : KvSplitItems(',', line, true, wanted + 1)) {
        std::string v = Trimmed(item, " \t\n");
        if (!v.empty() || !item.empty())
            values.push_back(v.empty() ? std::string(" ") : v);
    }
    return values;
}

bool Blank(const std::string &value) { return value.find_first_not_of(" \t\n") == std::string::npos; }

int ReadValues(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record, Flavor fl, const char *line)
{
    if (fl == Flavor::Caa && o->rec_numbering != NUM_OFF) {
        KvDisplayMessage("KVE Error: record numbering not allowed for CEF 2", o);
        return KV_CEF2_RECNUM;
    }
    // The values of one record: its number, then every value of every
    // varying variable (each at most kMaxItemsPerRecord, at most
    // kMaxReadVars variables: the sum fits).
    long wanted = o->rec_numbering != NUM_OFF ? 1 : 0;
    for (long i = 0; i < c->n_vars; ++i)
        if (c->vardata[i]->rec_vary != 0)
            wanted += f->n_items[i];
    std::vector<std::string> values = RecordValues(line, fl, fl == Flavor::Caa ? ',' : o->data_delim, wanted);
    if (fl == Flavor::Exchange)
        for (std::string &v : values)
            v = Trimmed(v, " \t\n");
    // A delimiter before the record-end mark leaves a blank item after it:
    // no value of its own.
    while (static_cast<long>(values.size()) > wanted && Blank(values.back()))
        values.pop_back();
    if (static_cast<long>(values.size()) > wanted) {
        KvReadError(KvFormat("KVE Error: record %ld holds more values than its variables", Place(record)), o);
        return KV_SHORT_RECORD;
    }
    size_t at = 0;
    if (o->rec_numbering != NUM_OFF) {
        if (values.empty()) {
            KvReadError("KVE Error: record line too short", o);
            return KV_SHORT_RECORD;
        }
        if (std::strtol(values[at++].c_str(), nullptr, 10) != Place(record))
            KvReadError(KvFormat("KVE Warning: record number in file dubious, %ld", Place(record)), o);
    }
    for (long i = 0; i < c->n_vars; ++i) {
        if (c->vardata[i]->rec_vary == 0)
            continue;
        for (long k = 0; k < f->n_items[i]; ++k) {
            if (at >= values.size()) {
                KvReadError("KVE Error: record line too short", o);
                return KV_SHORT_RECORD;
            }
            const std::string &value = values[at++];
            if (f->ignore[i] == 1)
                continue;
            if (const int status = StoreValue(c, f, i, record, k, value, fl, o); status != 0)
                return status;
        }
        c->vardata[i]->max_rec_num = record;
    }
    return 0;
}

int ReadParsed(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record, Flavor fl)
{
    const char *line = RecordLine(o);
    if (line == nullptr)
        return 1;
    BeginRecord(c);
    return EndRecord(c, ReadValues(c, f, o, record, fl, line));
}

int ReadTabular(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record, const std::string &line)
{
    // Text past the last column (but a comment) is a value the variables
    // do not hold.
    size_t end = o->rec_numbering != NUM_OFF ? 11 : 0;
    for (long i = 0; i < c->n_vars; ++i)
        if (c->vardata[i]->rec_vary != 0 && f->col_start[i] >= 0 && f->col_width[i] > 0)
            end = std::max(end, static_cast<size_t>(f->col_start[i]) +
                                    static_cast<size_t>(f->col_width[i]) * static_cast<size_t>(f->n_items[i]));
    if (const size_t past = line.find_first_not_of(" \t", end); past != std::string::npos && line[past] != '!') {
        KvReadError(KvFormat("KVE Error: record %ld holds more values than its variables", Place(record)), o);
        return KV_SHORT_RECORD;
    }
    for (long i = c->n_vars - 1; i >= 0; --i) {
        if (!Stored(c, f, i))
            continue;
        for (long k = f->n_items[i] - 1; k >= 0; --k) {
            const long start = f->col_start[i] + static_cast<long>(f->col_width[i]) * k;
            if (start < 0 || static_cast<size_t>(start) >= line.size())
                return KV_SHORT_RECORD;
            const std::string field = line.substr(static_cast<size_t>(start), static_cast<size_t>(f->col_width[i]));
            if (const int status = StoreValue(c, f, i, record, k, field, Flavor::Tabular, o); status != 0)
                return status;
        }
        c->vardata[i]->max_rec_num = record;
    }
    return 0;
}

}  // namespace

int KvReadRecsTabular(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record)
{
    const char *text = RecordLine(o);
    if (text == nullptr)
        return 1;
    BeginRecord(c);
    return EndRecord(c, ReadTabular(c, f, o, record, text));
}

int KvReadRecsParsed(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record)
{
    return ReadParsed(c, f, o, record, Flavor::Parsed);
}

int KvReadRecsExchange(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record)
{
    return ReadParsed(c, f, o, record, Flavor::Exchange);
}

int KvReadRecsCAA(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record)
{
    return ReadParsed(c, f, o, record, Flavor::Caa);
}

long KvCountRecords(KvOptions *o)
{
    fpos_t pos{};
    int slot = 0;
    if (Kvfgetpos(&pos, &slot) != 0)
        return 0;
    const std::string saved = o->start_after != nullptr ? o->start_after : "";
    long count = 0;
    for (const char *line = KvReadLine(o->start_after); line != nullptr; line = KvReadLine(o->start_after)) {
        if (o->rec_end != '\n') {
            // A record-end mark inside a quoted text ends no record.
            bool quoted = false;
            for (const char *p = line; *p != '\0'; ++p) {
                if (*p == '"' && o->f_type != TABULAR)
                    quoted = !quoted;
                else if (*p == o->rec_end && !quoted)
                    ++count;
            }
            continue;
        }
        if (!KvstrNULL(o->data_until) && std::strncmp(line, o->data_until, std::strlen(o->data_until)) == 0)
            break;
        ++count;
    }
    Kvfsetpos(&pos, slot);
    if (o->start_after != nullptr && o->start_after != STR_NULL)
        std::memcpy(o->start_after, saved.c_str(), saved.size() + 1);
    return count;
}

int KvReadVarData(KvCDFVariable **vars, long index, const char *text, long n, KvOptions *o)
{
    KvCDFVariable *v = vars[index];
    const bool caa = o->f_type == CAA;
    const bool isText = KvIsTextType(v->data_type);
    if (!isText)
        v->num_elems = 1;
    const std::vector<std::string> items =
        KvSplitItems(o->attr_delim, text != nullptr ? text : "", v->data_type != ISO_TIME);
    // CEF 2 says no length of a text: its values do.
    if (caa && isText && v->data_type != ISO_TIME)
        for (long k = 0; k < n && k < static_cast<long>(items.size()); ++k)
            v->num_elems = std::max(v->num_elems,
                                    static_cast<long>(KvTextValue(items[static_cast<size_t>(k)], true).size()));
    const long elem = isText ? v->num_elems : KvReadElementSize(v->data_type);
    size_t bytes = 0;
    if (elem <= 0 || n <= 0 || __builtin_mul_overflow(static_cast<size_t>(elem), static_cast<size_t>(n), &bytes) ||
        bytes > kv_max_read_bytes)
        return 1;
    std::free(v->data);
    v->data = std::calloc(bytes + 1, 1);
    if (v->data == nullptr)
        return 1;
    if (static_cast<long>(items.size()) < n)
        return 1;
    auto *data = static_cast<unsigned char *>(v->data);
    for (long k = 0; k < n; ++k) {
        std::string item = items[static_cast<size_t>(k)];
        if (isText) {
            const auto width = static_cast<size_t>(v->num_elems);
            if (v->data_type != ISO_TIME) {
                const std::string value = KvTextValue(item, caa);
                if (value.size() > width) {
                    KvReadError(KvFormat("KVE Warning: char data string > maxstrlen (%ld) specified in file",
                                         v->num_elems),
                                o);
                    KvReadError(KvFormat("String is:\n%s", item.c_str()), o);
                }
                item = value;
            } else if (item.size() > width) {
                KvReadError("KVE Warning: ISO TIME data string > maxstrlen specified in file", o);
                KvReadError(KvFormat("String is:\n%s", item.c_str()), o);
            }
            std::memcpy(data + static_cast<size_t>(k) * width, item.data(), std::min(width, item.size()));
        } else if (v->data_type == CDF_EPOCH) {
            const double epoch = KvISOStringToEpoch(item.c_str());
            std::memcpy(data + static_cast<size_t>(k) * 8, &epoch, 8);
        } else if (KvReadElementSize(v->data_type) == 0) {
            std::fprintf(stderr, "KvReadVarData: data type ??");
        }
    }
    // The numbers, each wholly a number its type holds.
    if (!isText && v->data_type != CDF_EPOCH && KvReadElementSize(v->data_type) != 0) {
        long type = v->data_type;
        long long signedByte = 0;
        if (!KvStoreNumbers(&type, std::vector<std::string>(items.begin(), items.begin() + n), data, nullptr,
                            &signedByte)) {
            KvReadError(KvFormat("KVE Error: DATA of %s holds an item that is no value of its type", v->name), o);
            return 1;
        }
        v->data_type = type;
        KvWarnSignedByte(v->name, signedByte);
    }
    v->max_rec_num = 0;
    return 0;
}

int KvReadData(KvCDFContents *c, KvRecord_format *f, KvOptions *o)
{
    KvLinesSetHeaderMode(false);
    KvLinesFixedColumns(o->f_type == TABULAR);
    const long counted = KvCountRecords(o);
    const long header = c->n_recs;
    long limit = header > 0 ? header : LONG_MAX;
    if (o->Nend != -1 && o->Nend >= 0 && o->Nend < limit - 1)
        limit = o->Nend + 1;
    const long first = o->Nstart > 0 ? o->Nstart : 0;
    if (o->f_type < TABULAR || o->f_type > CAA)
        return KV_FILE_TYPE;
    if (first > limit || (o->Nend != -1 && o->Nend < 0)) {
        KvDisplayMessage("no records to read, is record range requested within file?\n", o);
        return -1;
    }
    // Stored variables and the bytes of one record of each.
    State() = ReadState{};
    ReadState &state = StateOf(c);
    struct Forget {
        ~Forget() { State() = ReadState{}; }
    } forget;
    bool any = false;
    for (long i = 0; i < c->n_vars; ++i) {
        KvCDFVariable *v = c->vardata[i];
        if (!Stored(c, f, i))
            continue;
        if (o->f_type == TABULAR) {
            if (f->col_start[i] < 0 || f->col_width[i] < 1)
                return KV_BAD_HEADER;
            v->num_elems = std::max(1, f->col_width[i] - 1);
        }
        if (!KvIsTextType(v->data_type))
            v->num_elems = 1;
        if (!RecordBytes(v, f->n_items[i], &state.columns[static_cast<size_t>(i)].record_bytes))
            return KV_BAD_HEADER;
        any = true;
    }
    long &capacity = state.capacity;
    // Gives every stored variable room for `records` records.
    auto grow = [&](long records) {
        for (long i = 0; i < c->n_vars; ++i) {
            const size_t per = state.columns[static_cast<size_t>(i)].record_bytes;
            if (per == 0)
                continue;
            size_t bytes = 0;
            if (__builtin_mul_overflow(per, static_cast<size_t>(records), &bytes) || bytes > kv_max_read_bytes)
                return false;
            void *grown = std::realloc(c->vardata[i]->data, bytes);
            if (grown == nullptr)
                return false;
            c->vardata[i]->data = grown;
        }
        capacity = records;
        return true;
    };
    const long expected = std::min(counted, limit == LONG_MAX ? counted : limit - first);
    if (any && !grow(std::max(1L, std::min(expected, 4096L))))
        return KV_HEADER_DATA;

    KvLinesSetEndOfLine(o->rec_end);
    long stored = 0;
    long read = 0;
    int status = 0;
    int failed = 0;  // the status of the last record that was not stored
    if (any) {
        for (long i = 0; i < limit; ++i) {
            if (stored >= capacity && !grow(capacity * 2)) {
                status = KV_HEADER_DATA;
                break;
            }
            int r = 0;
            state.place = i;
            if (i < first) {
                // A record before the range asked for is passed over
                // unread: it decides nothing of a column.
                if (RecordLine(o) == nullptr)
                    break;
                continue;
            }
            switch (o->f_type) {
            case TABULAR: r = KvReadRecsTabular(c, f, o, stored); break;
            case DELIMITED: r = KvReadRecsParsed(c, f, o, stored); break;
            case EXCHANGE: r = KvReadRecsExchange(c, f, o, stored); break;
            default: r = KvReadRecsCAA(c, f, o, stored); break;
            }
            if (r == 1)
                break;
            if (r == KV_CEF2_RECNUM) {
                status = r;
                break;
            }
            ++read;
            if (r == 0)
                ++stored;
            else
                failed = r;
        }
    } else {
        stored = 1;
    }
    if (any && stored == 0 && read == 0 && status == 0)
        KvDisplayMessage("no records to read, is record range requested within file?\n", o);
    if (any && stored < std::max(read, header > first ? std::min(header, limit) - first : 0)) {
        const std::string warning = KvFormat("KVE Warning: only %ld records read OK out of %ld\n", stored,
                                             std::max(read, header > 0 ? header : read));
        KvDisplayMessage(warning.c_str(), o);
        // Records lost say so also where no one reads the options' display
        // stream; record lines but not one record: the read failed, with
        // the records' own status.
        if (stored == 0 && read > 0 && status == 0) {
            status = failed != 0 ? failed : KV_SHORT_RECORD;
            KveAlertBox("KVE Import ERROR", warning.c_str());
        } else {
            KveAlertBox("KVE Import warning", warning.c_str());
        }
    }
    KvLinesFixedColumns(false);
    if (KvLinesStatus() != 0)
        status = KvLinesStatus();
    c->n_recs = stored;
    for (long i = 0; i < c->n_vars; ++i)
        if (state.columns[static_cast<size_t>(i)].record_bytes != 0)
            c->vardata[i]->max_rec_num = stored - 1;
    return status;
}
