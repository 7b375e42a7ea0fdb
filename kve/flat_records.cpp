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

void TooLong(Flavor fl, const KvCDFVariable *v, const std::string &text, KvOptions *o)
{
    const bool iso = v->data_type == ISO_TIME;
    if (fl == Flavor::Tabular)
        return;
    if (iso && (fl == Flavor::Exchange || fl == Flavor::Caa)) {
        KvDisplayMessage(KvFormat("KVE Warning: ISO data string too long for Vemlo (>%ld)", v->num_elems).c_str(), o);
        KvDisplayMessage(KvFormat("String is: '%s'", text.c_str()).c_str(), o);
        KvDisplayMessage(KvFormat("for Var: %s", v->name).c_str(), o);
    } else if (fl == Flavor::Caa) {
        KvDisplayMessage(KvFormat("KVE Warning: char data string too long for Vemlo (>%ld)", v->num_elems).c_str(),
                         o);
        KvDisplayMessage(KvFormat("String is: '%s'", text.c_str()).c_str(), o);
    } else {
        KvDisplayMessage(
            KvFormat("KVE Warning: char data string > maxstrlen (%ld) specified in file", v->num_elems).c_str(), o);
        KvDisplayMessage(
            KvFormat(fl == Flavor::Parsed ? "String is: '%s'" : "String is:\n%s", text.c_str()).c_str(), o);
    }
}

// True when a value stored before value k of this record (earlier records,
// and the values of this one already stored: those before k, or after it
// in a TABULAR record, read from its end) is negative.
bool StoredNegative(const KvCDFVariable *v, const KvRecord_format *f, long i, long record, long k, Flavor fl)
{
    const auto n = static_cast<size_t>(f->n_items[i]);
    const size_t first = static_cast<size_t>(record) * n;
    const size_t elem = static_cast<size_t>(KvReadElementSize(v->data_type));
    auto negative = [&](size_t e) {
        const auto *p = static_cast<const unsigned char *>(v->data) + e * elem;
        int8_t b = 0;
        int16_t h = 0;
        int32_t w = 0;
        switch (elem) {
        case 1: std::memcpy(&b, p, 1); return b < 0;
        case 2: std::memcpy(&h, p, 2); return h < 0;
        default: std::memcpy(&w, p, 4); return w < 0;
        }
    };
    for (size_t e = 0; e < first; ++e)
        if (negative(e))
            return true;
    for (size_t e = 0; e < n; ++e)
        if ((fl == Flavor::Tabular ? e > static_cast<size_t>(k) : e < static_cast<size_t>(k)) && negative(first + e))
            return true;
    return false;
}

// Stores an integer value; false when its variable's type (or, when
// nothing stored beside it is negative, that type made unsigned) cannot
// hold it.
bool StoreInteger(KvCDFVariable *v, const KvRecord_format *f, long i, long record, long k, const std::string &value,
                  Flavor fl, unsigned char *at)
{
    long long n = 0;
    if (!KvParseInteger(value, &n))
        return false;
    if (!KvIntegerFits(v->data_type, n)) {
        const long u = KvUnsignedOf(v->data_type);
        if (u == 0 || !KvIntegerFits(u, n) || StoredNegative(v, f, i, record, k, fl))
            return false;
        v->data_type = u;
    }
    KvPutInteger(v->data_type, n, at);
    return true;
}

// Stores value k of a record; 0 or the record's failure status.
int StoreValue(KvCDFContents *c, KvRecord_format *f, long i, long record, long k, const std::string &value,
               Flavor fl, KvOptions *o)
{
    KvCDFVariable *v = c->vardata[i];
    const size_t index = static_cast<size_t>(record) * static_cast<size_t>(f->n_items[i]) + static_cast<size_t>(k);
    auto *data = static_cast<unsigned char *>(v->data);
    if (KvIsTextType(v->data_type)) {
        std::string text = value;
        if (fl == Flavor::Tabular)
            text = text.substr(0, text.find_last_not_of(' ') + 1);  // the column's padding
        else if (v->data_type != ISO_TIME)
            text = KvTextValue(value, fl == Flavor::Caa);
        else if (fl == Flavor::Caa)
            text = Trimmed(text, " ");
        const auto width = static_cast<size_t>(v->num_elems);
        if (text.size() > width)
            TooLong(fl, v, text, o);
        unsigned char *slot = data + index * width;
        std::memset(slot, 0, width);
        std::memcpy(slot, text.data(), std::min(width, text.size()));
        return 0;
    }
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
    const bool stored = KvIsIntegerType(v->data_type) ? StoreInteger(v, f, i, record, k, value, fl, at)
                                                      : KvStoreNumber(v->data_type, value, at);
    if (!stored) {
        // Never stored as another number: the record fails.
        KvDisplayMessage(KvFormat("KVE Error: record %ld: '%s' is no value of %s", record, Trimmed(value).c_str(),
                                  v->name)
                             .c_str(),
                         o);
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

int ReadParsed(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record, Flavor fl)
{
    const char *line = RecordLine(o);
    if (line == nullptr)
        return 1;
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
    if (static_cast<long>(values.size()) > wanted) {
        KvDisplayMessage(KvFormat("KVE Error: record %ld holds more values than its variables", record).c_str(), o);
        return KV_HEADER_DATA;
    }
    size_t at = 0;
    if (o->rec_numbering != NUM_OFF) {
        if (values.empty()) {
            KvDisplayMessage("KVE Error: record line too short", o);
            return KV_SHORT_RECORD;
        }
        if (std::strtol(values[at++].c_str(), nullptr, 10) != record)
            KvDisplayMessage(KvFormat("KVE Warning: record number in file dubious, %ld", record).c_str(), o);
    }
    for (long i = 0; i < c->n_vars; ++i) {
        if (c->vardata[i]->rec_vary == 0)
            continue;
        for (long k = 0; k < f->n_items[i]; ++k) {
            if (at >= values.size()) {
                KvDisplayMessage("KVE Error: record line too short", o);
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

}  // namespace

int KvReadRecsTabular(KvCDFContents *c, KvRecord_format *f, KvOptions *o, long record)
{
    const char *text = RecordLine(o);
    if (text == nullptr)
        return 1;
    const std::string line = text;
    // Text past the last column (but a comment) is a value the variables
    // do not hold.
    size_t end = o->rec_numbering != NUM_OFF ? 11 : 0;
    for (long i = 0; i < c->n_vars; ++i)
        if (c->vardata[i]->rec_vary != 0 && f->col_start[i] >= 0 && f->col_width[i] > 0)
            end = std::max(end, static_cast<size_t>(f->col_start[i]) +
                                    static_cast<size_t>(f->col_width[i]) * static_cast<size_t>(f->n_items[i]));
    if (const size_t past = line.find_first_not_of(" \t", end); past != std::string::npos && line[past] != '!') {
        KvDisplayMessage(KvFormat("KVE Error: record %ld holds more values than its variables", record).c_str(), o);
        return KV_HEADER_DATA;
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
            for (const char *p = line; *p != '\0'; ++p)
                count += *p == o->rec_end ? 1 : 0;
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
    const long elem = isText ? v->num_elems : KvReadElementSize(v->data_type);
    size_t bytes = 0;
    if (elem <= 0 || n <= 0 || __builtin_mul_overflow(static_cast<size_t>(elem), static_cast<size_t>(n), &bytes) ||
        bytes > kv_max_read_bytes)
        return 1;
    std::free(v->data);
    v->data = std::calloc(bytes + 1, 1);
    if (v->data == nullptr)
        return 1;
    const std::vector<std::string> items =
        KvSplitItems(o->attr_delim, text != nullptr ? text : "", v->data_type != ISO_TIME);
    if (static_cast<long>(items.size()) < n)
        return 1;
    auto *data = static_cast<unsigned char *>(v->data);
    for (long k = 0; k < n; ++k) {
        std::string item = items[static_cast<size_t>(k)];
        if (isText) {
            const auto width = static_cast<size_t>(v->num_elems);
            if (v->data_type != ISO_TIME) {
                const std::string value = KvTextValue(item, caa);
                if (caa ? item.size() > width + 2 : value.size() > width) {
                    KvDisplayMessage(
                        KvFormat("KVE Warning: char data string > maxstrlen (%ld) specified in file", v->num_elems)
                            .c_str(),
                        o);
                    KvDisplayMessage(KvFormat("String is:\n%s", item.c_str()).c_str(), o);
                }
                item = value;
            } else if (item.size() > width) {
                KvDisplayMessage("KVE Warning: ISO TIME data string > maxstrlen specified in file", o);
                KvDisplayMessage(KvFormat("String is:\n%s", item.c_str()).c_str(), o);
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
        if (!KvStoreNumbers(&type, std::vector<std::string>(items.begin(), items.begin() + n), data)) {
            KvDisplayMessage(KvFormat("KVE Error: DATA of %s holds an item that is no value of its type", v->name)
                                 .c_str(),
                             o);
            return 1;
        }
        v->data_type = type;
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
    std::vector<size_t> recordBytes(static_cast<size_t>(c->n_vars), 0);
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
        if (!RecordBytes(v, f->n_items[i], &recordBytes[static_cast<size_t>(i)]))
            return KV_BAD_HEADER;
        any = true;
    }
    long capacity = 0;
    // Gives every stored variable room for `records` records.
    auto grow = [&](long records) {
        for (long i = 0; i < c->n_vars; ++i) {
            const size_t per = recordBytes[static_cast<size_t>(i)];
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
            if (i < first)
                continue;
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
        if (recordBytes[static_cast<size_t>(i)] != 0)
            c->vardata[i]->max_rec_num = stored - 1;
    return status;
}
