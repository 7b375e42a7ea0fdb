// The older binary description format: a file loaded whole into an image,
// its lengths and offsets checked once, and item requests served from it.
//
// Loading refuses a file whose fields do not fit together, so that the
// readers below can take every item as lying inside the data block: the item
// offset list holds exactly 72 entries, the table and constant lists 15 and
// 5 entries per table and constant and one more, every list entry that is
// read rises and ends inside the data block, and the file holds every byte
// its lengths announce.  Of the item offset list only entries 0 to 52 are
// read (items 0 to 51 and the end of item 51; tables and constants have
// lists of their own): real files may hold anything, zeros among it, in
// entries 53 to 71.
//
// Reading works on whole elements of an item's stored size: a request from
// element start for len elements (len below 1: the rest of the item) must lie
// inside the item.  String items are handed out as char pointers into the
// image, one per 80-byte (or 21-byte) string, and every such string has a NUL
// in its last byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "keld_items_int.h"

namespace {

using F = KeldForm;

constexpr uint32_t kItemsLen = KELD_OLD_ITEMS * 4;  // the only item list length there is
constexpr size_t kItemOffsetsRead = _TBL_SCA_SZ + 1;  // entries 0 .. 52 of the item list
constexpr size_t kLongString = 80;
constexpr size_t kShortString = 21;
constexpr long long kMaxOps = 5000;  // most _PA_OPS elements one request reads

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

// The fields of a file in order; every read is checked against what is left.
class Cursor {
public:
    Cursor(const unsigned char *bytes, size_t size) : p_(bytes), left_(size) {}

    bool Bytes(void *to, size_t n)
    {
        if (n > left_)
            return false;
        if (n > 0)
            std::memcpy(to, p_, n);
        p_ += n;
        left_ -= n;
        return true;
    }
    bool U32(uint32_t &value) { return Bytes(&value, sizeof value); }
    size_t Left() const { return left_; }

private:
    const unsigned char *p_;
    size_t left_;
};

// Reads entries 32-bit offsets into a new list (NULL for none).  no_memory is
// returned when it cannot be allocated.
int ReadList(Cursor &in, size_t entries, int no_memory, Owned<KOMBRA_LONG> &list)
{
    list.reset();
    if (entries == 0)
        return KELD_SUCCESS;
    list.reset(static_cast<KOMBRA_LONG *>(std::malloc(entries * sizeof(KOMBRA_LONG))));
    if (!list)
        return no_memory;
    for (size_t i = 0; i < entries; ++i) {
        int32_t value = 0;
        if (!in.Bytes(&value, sizeof value))
            return KELD_CORRUPT;
        list.get()[i] = value;
    }
    return KELD_SUCCESS;
}

// A table or constant list of entries for count structures of per items:
// per items each and the end of the last; an empty count may have the end
// entry or nothing.
bool ListFits(uint64_t entries, uint32_t count, int per)
{
    if (count == 0)
        return entries <= 1;
    return entries == static_cast<uint64_t>(count) * static_cast<uint64_t>(per) + 1;
}

// Reads one length-prefixed list: its count, its byte length, its entries.
int ReadCountedList(Cursor &in, int per, int no_memory, uint32_t &count, uint32_t &bytes,
                    Owned<KOMBRA_LONG> &list)
{
    if (!in.U32(count) || !in.U32(bytes))
        return KELD_CORRUPT;
    if (bytes % 4 != 0 || bytes > in.Left() || !ListFits(bytes / 4, count, per))
        return KELD_CORRUPT;
    return ReadList(in, bytes / 4, no_memory, list);
}

// Every entry at least the one before it (the first at least 0) and none
// past the end of the data block.
bool Rises(const KOMBRA_LONG *list, size_t entries, uint32_t data_len)
{
    KOMBRA_LONG previous = 0;
    for (size_t i = 0; i < entries; ++i) {
        if (list[i] < previous || static_cast<uint32_t>(list[i]) > data_len)
            return false;
        previous = list[i];
    }
    return true;
}

// Bytes [off, off + len) of the data block that one item takes.
struct Span {
    size_t off = 0;
    size_t len = 0;
};

// The span of item quan (0 .. 71) of table or constant num; 1, or -807,
// -808 for a structure number out of range and -811 past item 71.
int SpanOf(const keld_info &k, int quan, int num, Span &span)
{
    const KOMBRA_LONG *list = nullptr;
    size_t entries = 0;
    size_t index = 0;
    if (quan < 0 || quan >= KELD_OLD_ITEMS) {
        return KELD_ITEM_ABSENT;
    } else if (quan < _TBL_SCA_SZ) {
        list = k.offsets;
        entries = KELD_OLD_ITEMS;
        index = static_cast<size_t>(quan);
    } else if (quan <= _TBL) {
        if (num < 0 || static_cast<KOMBRA_ULONG>(num) >= k.TABLES)
            return KELD_BAD_TABLE;
        list = k.tbl_offs;
        entries = k.n_tbl_offs;
        index = static_cast<size_t>(num) * KELD_OLD_TABLE_ITEMS + static_cast<size_t>(quan - _TBL_SCA_SZ);
    } else {
        if (num < 0 || static_cast<KOMBRA_ULONG>(num) >= k.CONSTS)
            return KELD_BAD_CONST;
        list = k.const_offs;
        entries = k.n_const_offs;
        index = static_cast<size_t>(num) * KELD_OLD_CONST_ITEMS + static_cast<size_t>(quan - _CONST_ID);
    }
    // Loading made every list long enough; an image filled some other way
    // reads as empty rather than out of bounds.
    if (list == nullptr || index + 1 >= entries || list[index + 1] < list[index]) {
        span = {};
        return KELD_SUCCESS;
    }
    span.off = static_cast<size_t>(list[index]);
    span.len = static_cast<size_t>(list[index + 1] - list[index]);
    return KELD_SUCCESS;
}

// Stride of the strings of a string item; 0 for the others.
size_t StringStride(int quan)
{
    switch (quan) {
    case _MISSION:
    case _SPACECRAFT:
    case _EXP_DESC:
    case _INST_DESC:
    case _CONTACT:
    case _STATUS_NAME:
    case _SEN_NAME:
    case _CAL_NAMES:
    case _QUAL_NAME: return kLongString;
    case _PA_PROJECT:
    case _PA_MISSION:
    case _PA_EXPER:
    case _PA_INST:
    case _PA_VINST: return kShortString;
    default: return 0;
    }
}

// A table whose _TBL_TYPE byte is 1 holds 21-byte strings as its values.
bool TableHoldsStrings(const keld_info &k, int table)
{
    Span type;
    if (SpanOf(k, _TBL_TYPE, table, type) != KELD_SUCCESS || type.len < 1)
        return false;
    return k.keld_data[type.off] == 1;
}

// Puts a NUL into the last byte of every whole string slot of an item.
void Terminate(keld_info &k, const Span &span, size_t stride)
{
    for (size_t end = stride; end <= span.len; end += stride)
        k.keld_data[span.off + end - 1] = '\0';
}

void TerminateStrings(keld_info &k)
{
    for (int quan = 0; quan < _TBL_SCA_SZ; ++quan) {
        const size_t stride = StringStride(quan);
        Span span;
        if (stride != 0 && SpanOf(k, quan, 0, span) == KELD_SUCCESS)
            Terminate(k, span, stride);
    }
    for (KOMBRA_ULONG t = 0; t < k.TABLES; ++t) {
        const int table = static_cast<int>(t);
        Span span;
        if (TableHoldsStrings(k, table) && SpanOf(k, _TBL, table, span) == KELD_SUCCESS)
            Terminate(k, span, kShortString);
    }
}

// ---- Reading ------------------------------------------------------------

// Where a request's elements lie in the item: the first byte and the number
// of bytes, or the status that refuses the request.
struct Extent {
    int status = KELD_SUCCESS;
    long long first = 0;
    long long bytes = 0;
};

// Elements of size bytes from element start (shifted by skip bytes), len of
// them or, for len below 1, the rest of the item.
Extent ExtentOf(const Span &span, size_t size, long long skip, long long start, long long len)
{
    Extent e;
    if (start < 0 || skip < 0) {
        e.status = KELD_TOO_LONG;
        return e;
    }
    e.first = start * static_cast<long long>(size) + skip;
    const auto have = static_cast<long long>(span.len);
    if (len < 1) {
        if (have == 0)
            e.status = KELD_ITEM_EMPTY;
        else if (e.first >= have)
            e.status = KELD_TOO_LONG;
        else
            e.bytes = have - e.first;
    } else {
        e.bytes = len * static_cast<long long>(size);
        if (e.first > have || e.bytes > have - e.first)
            e.status = KELD_TOO_LONG;
    }
    return e;
}

// Items 0 .. 71 as they are stored (read_nur_memory).
int ReadStored(const keld_info &k, const KeldRequest &rq, KeldDest &dest)
{
    const KeldItemDef *item = KeldItem(rq.what);
    if (item == nullptr || rq.what >= KELD_OLD_ITEMS)
        return KELD_ITEM_ABSENT;
    Span span;
    const int status = SpanOf(k, rq.what, rq.num, span);
    if (status != KELD_SUCCESS)
        return status;

    size_t size = item->ir_size;
    size_t stride = StringStride(rq.what);
    long long skip = 0;
    if (stride != 0)
        skip = static_cast<long long>(rq.num) * static_cast<long long>(stride);
    if (rq.what == _TBL && TableHoldsStrings(k, rq.num))
        size = stride = kShortString;

    const Extent e = ExtentOf(span, size, skip, rq.start, rq.len);
    if (e.status != KELD_SUCCESS)
        return e.status;
    char *from = k.keld_data + span.off + e.first;
    const auto bytes = static_cast<size_t>(e.bytes);

    if (stride != 0) {
        const size_t n = bytes / stride;
        if (n == 0)
            return KELD_TOO_LONG;
        for (size_t i = 0; i < n; ++i)
            if (!dest.Put(i, from + i * stride))
                break;
        return KELD_SUCCESS;
    }
    if (rq.what == _NUM_COMNTS) {
        // Stored as 16 bits, handed over as the char the item is.
        if (bytes < 2)
            return KELD_TOO_LONG;
        for (size_t i = 0; i + 2 <= bytes; i += 2) {
            int16_t value = 0;
            std::memcpy(&value, from + i, sizeof value);
            if (!dest.Put(i / 2, static_cast<KOMBRA_CHAR>(value)))
                break;
        }
        return KELD_SUCCESS;
    }
    if (dest.PutBytes(from, bytes, size) == 0)
        return KELD_SHORT_BUFFER;
    return KELD_SUCCESS;
}

// _PA_OPS: 16-bit operations widened with their sign, len of them or the
// stored _PA_APPS for len below 1, at most kMaxOps.
int ReadPitchOps(const keld_info &k, const KeldRequest &rq, KeldDest &dest)
{
    long long n = rq.len;
    if (n < 1) {
        KOMBRA_SHORT apps = 0;
        KeldDest appsDest(&apps, sizeof apps);
        const int status = ReadStored(k, {&apps, sizeof apps, _PA_APPS, 0, 0, 1}, appsDest);
        if (status != KELD_SUCCESS)
            return status;
        n = apps;
    }
    if (n > kMaxOps)
        n = kMaxOps;
    if (n <= 0)
        return KELD_SUCCESS;
    Span span;
    SpanOf(k, _PA_OPS, 0, span);
    const Extent e = ExtentOf(span, 2, 0, rq.start, n);
    if (e.status != KELD_SUCCESS)
        return e.status;
    const char *from = k.keld_data + span.off + e.first;
    for (long long i = 0; i < n; ++i) {
        int16_t value = 0;
        std::memcpy(&value, from + i * 2, sizeof value);
        if (!dest.Put(static_cast<size_t>(i), static_cast<KOMBRA_LONG>(value)))
            break;
    }
    return KELD_SUCCESS;
}

// Items the format has no slot for, answered the same for every file.
struct Fixed {
    KELD_DEFS what;
    uint32_t bits;
};

constexpr Fixed kFixed[] = {
    {_PHI_METHOD, 0},        {_NANO_DEFINED, 0},      {_DATA_LAT_UNITS, 250},  {_SWP_RESET_UNITS, 250},
    {_SEN_RESET_UNITS, 250}, {_PMI_DEFINED, 0},       {_NUM_PMI_ANGLES, 0},    {_PMI_PROJECT, 0},
    {_PMI_MISSION, 0},       {_PMI_EXPER, 0},         {_PMI_INST, 0},          {_PMI_VINST, 0},
    {_PMI_SENSORS, 0},       {_PMI_ROTATION_AXIS, 0}, {_PMI_APPS, 0},          {_PMI_TBLS, 0},
    {_PMI_OPS, 0},           {_PMI_FORMAT, 1},        {_REF_SEN_DELAY, 0},     {_REF_SEN_DELAY_UNIT, 1},
    {_ORBITING_BODY, 0},     {_POT_SRC_DEFINED, 0},   {_POT_SRC_FORMAT, 1},    {_POT_SRC_PROJECT, 0},
    {_POT_SRC_MISSION, 0},   {_POT_SRC_EXPER, 0},     {_POT_SRC_INST, 0},      {_POT_SRC_VINST, 0},
    {_POT_SRC_SENSOR, 0},    {_POT_SRC_APPS, 0},      {_POT_SRC_TBLS, 0},      {_POT_SRC_OPS, 0},
    {_POT_CONSTANT_VAL, 0},  {_MAX_PACKING, 1},       {_HEADER_FORMAT, 1},     {_TENSOR_RANK, 0},
    {_TENSOR_LENGTHS, 0},    {_TENSOR_IDS, 0},        {_TENSOR_MIN_VALS, 0},   {_TENSOR_MAX_VALS, 0},
    {_START_SPIN_DEFINED, 0}, {_START_SPIN_PROJECT, 0}, {_START_SPIN_MISSION, 0}, {_START_SPIN_EXPER, 0},
    {_START_SPIN_INST, 0},   {_START_SPIN_VINST, 0},  {_START_SPIN_SENSOR, 0}, {_START_SPIN_MSEC_ADJ, 0},
    {_START_SPIN_NSEC_ADJ, 0},
};

// One element of the item's own form: a pointer item gets a whole null
// pointer, a number the low bits of the value.
int WriteFixed(const Fixed &rule, KeldDest &dest)
{
    const KeldForm element = KeldElementForm(KeldItem(rule.what)->form);
    if (element == F::CharPtr) {
        dest.Put(0, static_cast<char *>(nullptr));
    } else {
        value_s value{};
        value.ival = static_cast<KOMBRA_LONG>(rule.bits);
        KeldPut(dest, element, 0, value, INT);
    }
    return KELD_SUCCESS;
}

// A zero per calibration set or sensor, elements start .. end-1 as the text
// format's per-element items count them; nothing when the count is not
// stored.
int WriteZeros(const keld_info &k, const KeldRequest &rq, KELD_DEFS count_item, KeldDest &dest)
{
    long long count = 0;
    if (count_item == _SEN) {
        KOMBRA_SHORT sensors = 0;
        KeldDest d(&sensors, sizeof sensors);
        if (ReadStored(k, {&sensors, sizeof sensors, _SEN, 0, 0, 1}, d) != KELD_SUCCESS)
            return KELD_SUCCESS;
        count = sensors;
    } else {
        KOMBRA_CHAR sets = 0;
        KeldDest d(&sets, sizeof sets);
        if (ReadStored(k, {&sets, sizeof sets, count_item, 0, 0, 1}, d) != KELD_SUCCESS)
            return KELD_SUCCESS;
        count = sets;
    }
    if (rq.start < 0)
        return KELD_SUCCESS;
    long long end = static_cast<long long>(rq.start) + rq.len;
    if (rq.len == -1 || end > count)
        end = count;
    const KeldForm element = KeldItem(rq.what)->form;
    for (long long i = rq.start; i < end; ++i)
        if (!KeldPutZero(dest, element, static_cast<size_t>(i - rq.start)))
            break;
    return KELD_SUCCESS;
}

}  // namespace

int create_keld_structure(keld_info **out)
{
    if (out == nullptr)
        return KELD_NO_IMAGE;
    *out = static_cast<keld_info *>(std::calloc(1, sizeof(keld_info)));
    return *out != nullptr ? KELD_SUCCESS : KELD_NO_IMAGE;
}

void free_keld_structure(keld_info *info)
{
    if (info == nullptr)
        return;
    std::free(info->keld_data);
    std::free(info->tbl_offs);
    std::free(info->const_offs);
    std::memset(info, 0, sizeof *info);
}

int ParseOldKELDBytes(keld_info *KELD_INFO, const unsigned char *bytes, size_t size)
{
    if (KELD_INFO == nullptr)
        return KELD_NO_IMAGE;
    free_keld_structure(KELD_INFO);
    if (bytes == nullptr)
        size = 0;
    Cursor in(bytes, size);

    // A file too short to begin with "V2.1" is of another version; one that
    // begins with it but ends inside the version field is cut short.
    char version[8];
    if (size < 4 || std::memcmp(bytes, "V2.1", 4) != 0)
        return KELD_BAD_VERSION;
    if (!in.Bytes(version, sizeof version))
        return KELD_CORRUPT;

    uint32_t items_len = 0;
    if (!in.U32(items_len) || items_len != kItemsLen)
        return KELD_CORRUPT;
    KOMBRA_LONG offsets[KELD_OLD_ITEMS];
    for (KOMBRA_LONG &offset : offsets) {
        int32_t value = 0;
        if (!in.Bytes(&value, sizeof value))
            return KELD_CORRUPT;
        offset = value;
    }

    uint32_t tables = 0, tables_len = 0, consts = 0, consts_len = 0, data_len = 0;
    Owned<KOMBRA_LONG> tbl_offs, const_offs;
    int status = ReadCountedList(in, KELD_OLD_TABLE_ITEMS, KELD_NO_TABLE_MEMORY, tables, tables_len, tbl_offs);
    if (status != KELD_SUCCESS)
        return status;
    status = ReadCountedList(in, KELD_OLD_CONST_ITEMS, KELD_NO_CONST_MEMORY, consts, consts_len, const_offs);
    if (status != KELD_SUCCESS)
        return status;

    if (!in.U32(data_len) || data_len > in.Left())
        return KELD_CORRUPT;
    if (!Rises(offsets, kItemOffsetsRead, data_len) || !Rises(tbl_offs.get(), tables_len / 4, data_len) ||
        !Rises(const_offs.get(), consts_len / 4, data_len))
        return KELD_CORRUPT;
    const uint64_t info_off = 8ull + 4 + items_len + 4 + 4 + tables_len + 4 + 4 + consts_len + 4;
    if (info_off > INT32_MAX)
        return KELD_CORRUPT;

    // One byte more than the block, so that even a string at its very end
    // is followed by a NUL.
    Owned<char> data(static_cast<char *>(std::malloc(static_cast<size_t>(data_len) + 1)));
    if (!data)
        return KELD_NO_MEMORY;
    in.Bytes(data.get(), data_len);
    data.get()[data_len] = '\0';

    std::memcpy(KELD_INFO->version, version, sizeof version);
    KELD_INFO->version[8] = '\0';
    KELD_INFO->keld_data = data.release();
    KELD_INFO->data_len = data_len;
    KELD_INFO->info_off = static_cast<KOMBRA_LONG>(info_off);
    std::memcpy(KELD_INFO->offsets, offsets, sizeof offsets);
    KELD_INFO->tbl_offs = tbl_offs.release();
    KELD_INFO->n_tbl_offs = tables_len / 4;
    KELD_INFO->const_offs = const_offs.release();
    KELD_INFO->n_const_offs = consts_len / 4;
    KELD_INFO->TABLES = tables;
    KELD_INFO->CONSTS = consts;
    TerminateStrings(*KELD_INFO);
    return KELD_SUCCESS;
}

int ParseOldKELD(keld_info *KELD_INFO, const char *filename)
{
    if (KELD_INFO == nullptr)
        return KELD_NO_IMAGE;
    free_keld_structure(KELD_INFO);
    FILE *in = filename != nullptr ? FopenRegularFile(filename, "rb") : nullptr;
    if (in == nullptr)
        return KELD_NOT_ONLINE;
    std::vector<unsigned char> bytes;
    bool failed = false;
    try {
        unsigned char block[65536];
        size_t got = 0;
        while ((got = std::fread(block, 1, sizeof block, in)) > 0)
            bytes.insert(bytes.end(), block, block + got);
        failed = std::ferror(in) != 0;
    } catch (const std::bad_alloc &) {
        std::fclose(in);
        return KELD_NO_MEMORY;
    }
    std::fclose(in);
    if (failed)
        return KELD_NOT_ONLINE;
    return ParseOldKELDBytes(KELD_INFO, bytes.data(), bytes.size());
}

namespace {

int ReadOldItem(const keld_info *image, const KeldRequest &rq, KeldDest &dest)
{
    const KeldItemDef *item = KeldItem(rq.what);
    if (image == nullptr || item == nullptr)
        return KELD_ITEM_ABSENT;
    const size_t size = KeldElementSize(item->form);
    if (size != 0 && !dest.Fits(0, size))
        return KELD_SHORT_BUFFER;

    switch (rq.what) {
    case _PA_OPS: return ReadPitchOps(*image, rq, dest);
    case _VERSION:
        dest.Put(0, KOMBRA_FLOAT{2.1f});
        return KELD_SUCCESS;
    case _CAL_SCOPE:
    case _CAL_D_TYPE: return WriteZeros(*image, rq, _CAL_SETS, dest);
    case _SPIN_TIME_OFF: return WriteZeros(*image, rq, _SEN, dest);
    default: break;
    }
    for (const Fixed &rule : kFixed)
        if (rule.what == rq.what)
            return WriteFixed(rule, dest);
    return ReadStored(*image, rq, dest);
}

}  // namespace

int KeldReadOldItem(const keld_info *image, const KeldRequest &rq)
{
    KeldDest dest(rq.var, rq.capacity);
    const int status = ReadOldItem(image, rq, dest);
    return status == KELD_SUCCESS && dest.Overflowed() ? KELD_SHORT_BUFFER : status;
}

int ReadOldKELD(const keld_info *KELD_INFO, int fdi, void *var, KELD_DEFS quan, KOMBRA_SHORT num,
                KOMBRA_LONG start, KOMBRA_SHORT len)
{
    if (fdi != 0) {
        std::fprintf(stderr, "read_nur_disk no longer supported!!!\n");
        return KELD_DISK_MODE;
    }
    return KeldReadOldItem(KELD_INFO, {var, KeldDest::kUnchecked, quan, num, start, len});
}

int ReadOldKELDChecked(const keld_info *KELD_INFO, void *var, size_t var_size, KELD_DEFS quan,
                       KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len)
{
    return KeldReadOldItem(KELD_INFO, {var, var_size, quan, num, start, len});
}

int read_nur_memory(const keld_info *KELD_INFO, void *var, KELD_DEFS quan, KOMBRA_SHORT num,
                    KOMBRA_LONG start, KOMBRA_SHORT len)
{
    if (KELD_INFO == nullptr)
        return KELD_ITEM_ABSENT;
    KeldDest dest(var, KeldDest::kUnchecked);
    return ReadStored(*KELD_INFO, {var, KeldDest::kUnchecked, quan, num, start, len}, dest);
}
