// Item requests against the key map of a text description.
//
// Most items are one key whose values are converted into the item's form.
// The rest, by kind:
//  - fixed answers without a key (_NUM_COMNTS 0, _COMMENTS nothing,
//    _TBL_DESC_LEN and _CONST_DESC_LEN 0; _TBL_DESC and _CONST_DESC absent);
//  - presence flags: char 1 when their key is in the map, else 0;
//  - items with a default for descriptions that leave them out;
//  - _PA_BXBYBZ: the three shorts _PA_BX, _PA_BY, _PA_BZ;
//  - per-element items: one key per structure (sensor, calibration set,
//    status byte), elements start .. end-1 of a count item;
//  - slice items: elements start .. start+n-1 of one list, cut at a count
//    item; the table values (_TBL) go through the item cache.
//
// start and len are worked in full int (len -1 means all, any other negative
// len nothing); a negative start, or a range wholly past the end, writes
// nothing.  Elements of a slice past the end of the file's list but before the
// count read as 0.  No request writes past the caller's buffer when its size
// is known (ReadNewKELDChecked).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "keld_items_int.h"

namespace {

using F = KeldForm;

// ---- Item rules ---------------------------------------------------------

struct Default {
    KELD_DEFS what;
    uint32_t bits;  // stored as the item's form would take it
};

constexpr Default kDefaults[] = {
    {_NANO_DEFINED, 0},       {_DATA_LAT_UNITS, 250},   {_SWP_RESET_UNITS, 250},
    {_SEN_RESET_UNITS, 250},  {_REF_SEN_DELAY, 0},      {_REF_SEN_DELAY_UNIT, 1},
    {_MAX_PACKING, 1},        {_ORBITING_BODY, 0},      {_HEADER_FORMAT, 1},
};

// What an element whose key is missing becomes.
enum class Missing {
    Zero,  // 0, and go on
    Skip,  // left unwritten, go on
    Stop   // left unwritten with every later element
};

// The rule of a per-element item.
struct PerElement {
    KELD_DEFS element;  // the item read for each element
    KELD_DEFS count;    // read with num 0
    Missing missing;
};

// Where a slice's count comes from.
enum class CountOf {
    Sensors,        // _SEN
    TableScales,    // |_TBL_SCA_SZ| of table num
    TableSensors,   // _STATUS when _TBL_VAR of table num is 4 or more, else _SEN
    CritActions,    // _CRIT_ACT_SZ of table num
    TableValues     // _TBL_ELE_SZ of table num
};

// The rule of a slice item: its list, read with num, and its count.
struct Slice {
    KELD_DEFS what;
    CountOf count;
};

template <typename Row, size_t N>
const Row *RuleOf(const Row (&rows)[N], int what)
{
    for (const Row &row : rows)
        if (row.what == what)
            return &row;
    return nullptr;
}

// ---- Values ---------------------------------------------------------------

// A keld_vals_s list as a range.
struct ListValues {
    const keld_vals_s *head;
    struct iterator {
        const keld_vals_s *cell;
        const keld_vals_s &operator*() const { return *cell; }
        iterator &operator++()
        {
            cell = cell->next;
            return *this;
        }
        bool operator!=(const iterator &other) const { return cell != other.cell; }
    };
    iterator begin() const { return {head}; }
    iterator end() const { return {nullptr}; }
};

std::span<const keld_entry> Lookup(const keld_map *map, KELD_DEFS what, int num)
{
    const KeldItemDef *item = KeldItem(what);
    if (item == nullptr || item->key == nullptr)
        return {};
    return KeldFindItem(map, what, *item, num);
}

// The first value of a char, short or long item as its signed number.
std::optional<long long> ReadNumber(const keld_map *map, KELD_DEFS what, int num)
{
    const auto values = Lookup(map, what, num);
    if (values.empty())
        return std::nullopt;
    const uint32_t bits = KeldBits(values[0].val, values[0].type);
    switch (KeldItem(what)->form) {
    case F::Char: return static_cast<int8_t>(bits & 0xffu);
    case F::Short: return static_cast<int16_t>(bits & 0xffffu);
    default: return static_cast<int32_t>(bits);
    }
}

// Items that have one form to convert a value list into.
bool HasConverter(int what)
{
    switch (what) {
    case _NUM_COMNTS:
    case _COMMENTS:
    case _PA_DEFINED:
    case _PA_BXBYBZ:
    case _TBL_DESC_LEN:
    case _TBL_DESC:
    case _CONST_DESC_LEN:
    case _CONST_DESC:
    case _START_SPIN_DEFINED: return false;
    default: return KeldItem(what) != nullptr;
    }
}

// Converts values into the form of what: the first value of a scalar item,
// else at most max values (all when max is negative), cut at the buffer.
template <typename Values>
int ConvertValues(int what, const Values &values, KeldDest &dest, long long max)
{
    if (!HasConverter(what)) {
        std::printf("newRead - unknown what!\n");
        std::fflush(stdout);
        return KELD_ITEM_ABSENT;
    }
    const KeldForm form = KeldItem(what)->form;
    const KeldForm element = KeldElementForm(form);
    long long written = 0;
    for (const auto &value : values) {
        if (KeldIsList(form) && max >= 0 && written >= max)
            break;
        if (!KeldPut(dest, element, static_cast<size_t>(written), value.val, value.type))
            break;
        ++written;
        if (!KeldIsList(form))
            break;
    }
    return KELD_SUCCESS;
}

// ---- Handlers ---------------------------------------------------------------

int ReadPlain(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    const auto values = Lookup(map, static_cast<KELD_DEFS>(rq.what), rq.num);
    if (values.empty())
        return KELD_ITEM_ABSENT;
    return ConvertValues(rq.what, values, dest, rq.len == -1 ? -1 : std::max(rq.len, 0));
}

int ReadDefaulted(const keld_map *map, const KeldRequest &rq, const Default &rule, KeldDest &dest)
{
    const int status = ReadPlain(map, rq, dest);
    if (status != KELD_ITEM_ABSENT)
        return status;
    value_s value{};
    value.ival = static_cast<KOMBRA_LONG>(rule.bits);
    KeldPut(dest, KeldItem(rule.what)->form, 0, value, INT);
    return KELD_SUCCESS;
}

int ReadPresence(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    const bool present = !Lookup(map, static_cast<KELD_DEFS>(rq.what), 0).empty();
    dest.Put(0, static_cast<KOMBRA_CHAR>(present ? 1 : 0));
    return KELD_SUCCESS;
}

int ReadBxByBz(const keld_map *map, KeldDest &dest)
{
    const KELD_DEFS parts[] = {_PA_BX, _PA_BY, _PA_BZ};
    for (size_t k = 0; k < std::size(parts); ++k) {
        const auto values = Lookup(map, parts[k], 0);
        if (values.empty() || !KeldPut(dest, F::Short, k, values[0].val, values[0].type))
            break;
    }
    return KELD_SUCCESS;
}

// Elements start .. end-1 (end = start + len, or the count when len is -1 or
// start + len passes it), element i read with num i into var[i - start].
// Nothing is written when the count item is absent; the result is 1.
int ReadPerElement(const keld_map *map, const KeldRequest &rq, const PerElement &rule, KeldDest &dest)
{
    const auto count = ReadNumber(map, rule.count, 0);
    if (!count || rq.start < 0)
        return KELD_SUCCESS;
    const long long start = rq.start;
    long long end = start + rq.len;
    if (rq.len == -1 || end > *count)
        end = *count;
    const KeldForm form = KeldItem(rule.element)->form;
    const size_t size = KeldElementSize(form);
    for (long long i = start; i < end; ++i) {
        const auto index = static_cast<size_t>(i - start);
        if (!dest.Fits(index, size)) {
            dest.Overflow();
            break;
        }
        const auto values = Lookup(map, rule.element, static_cast<int>(i));
        if (!values.empty()) {
            KeldPut(dest, form, index, values[0].val, values[0].type);
        } else if (rule.missing == Missing::Zero) {
            KeldPutZero(dest, form, index);
        } else if (rule.missing == Missing::Stop) {
            break;
        }
    }
    return KELD_SUCCESS;
}

// The elements [first, first + n) of a slice of a list of count elements.
struct Range {
    long long first = 0;
    long long n = 0;
};

Range SliceRange(long long count, int start, int len)
{
    if (start < 0)
        return {};
    long long n = (len == -1 || len > count) ? count : len;
    if (start + n > count)
        n = count - start;
    return {start, std::max(n, 0LL)};
}

std::optional<long long> SliceCount(const keld_map *map, CountOf of, int num)
{
    switch (of) {
    case CountOf::Sensors: return ReadNumber(map, _SEN, 0);
    case CountOf::TableScales: {
        const auto size = ReadNumber(map, _TBL_SCA_SZ, num);
        return size ? std::optional<long long>(std::abs(*size)) : std::nullopt;
    }
    case CountOf::TableSensors:
        // A table without tbl_var is taken as a function of the sensor.
        if (ReadNumber(map, _TBL_VAR, num).value_or(0) >= 4)
            return ReadNumber(map, _STATUS, 0);
        return ReadNumber(map, _SEN, 0);
    case CountOf::CritActions: return ReadNumber(map, _CRIT_ACT_SZ, num);
    case CountOf::TableValues: return ReadNumber(map, _TBL_ELE_SZ, num);
    }
    return std::nullopt;
}

int ReadSlice(const keld_map *map, const KeldRequest &rq, const Slice &rule, KeldDest &dest)
{
    const auto count = SliceCount(map, rule.count, rq.num);
    if (!count)
        return KELD_ITEM_ABSENT;
    const Range range = SliceRange(*count, rq.start, rq.len);
    if (range.n == 0)
        return KELD_SUCCESS;
    const auto values = Lookup(map, rule.what, rq.num);
    if (values.empty())
        return KELD_ITEM_ABSENT;
    const KeldForm element = KeldElementForm(KeldItem(rule.what)->form);
    for (long long k = 0; k < range.n; ++k) {
        const auto from = static_cast<size_t>(range.first + k);
        const bool ok = from < values.size()
                            ? KeldPut(dest, element, static_cast<size_t>(k), values[from].val, values[from].type)
                            : KeldPutZero(dest, element, static_cast<size_t>(k));
        if (!ok)
            break;
    }
    return KELD_SUCCESS;
}

// Table values as the cache keeps them: one malloc'd block of KOMBRA_LONGs,
// the number of values first, then the values.  Elements between the end of
// the list and the table's count read as 0, so the block never has to be
// sized from a count in the file.
struct FreeBlock {
    void operator()(KOMBRA_LONG *block) const { std::free(block); }
};
using TableBlock = std::unique_ptr<KOMBRA_LONG, FreeBlock>;

TableBlock MakeTableBlock(std::span<const keld_entry> values)
{
    TableBlock block(static_cast<KOMBRA_LONG *>(std::malloc((values.size() + 1) * sizeof(KOMBRA_LONG))));
    if (!block)
        return block;
    block.get()[0] = static_cast<KOMBRA_LONG>(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        block.get()[i + 1] = static_cast<KOMBRA_LONG>(KeldBits(values[i].val, values[i].type));
    return block;
}

// _TBL: served from the cache when it holds (map, _TBL, num); else read from
// the map and then added to the cache (values owned by the cache, the count
// not).  Without a cache the values are read for this request only.
int HandleTBL(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    const auto which = static_cast<KOMBRA_SHORT>(rq.num);
    const KOMBRA_LONG *block = nullptr;
    long long count = 0;
    TableBlock owned;
    if (_Cache != nullptr)
        block = static_cast<const KOMBRA_LONG *>(_Cache->GetFromCache(map, _TBL, which));
    if (block != nullptr) {
        count = static_cast<KOMBRA_LONG>(
            reinterpret_cast<intptr_t>(_Cache->GetFromCache(map, _TBL_ELE_SZ, which)));
    } else {
        const auto size = ReadNumber(map, _TBL_ELE_SZ, rq.num);
        if (!size)
            return KELD_ITEM_ABSENT;
        count = *size;
        const auto values = Lookup(map, _TBL, rq.num);
        if (values.empty())
            return SliceRange(count, rq.start, rq.len).n > 0 ? KELD_ITEM_ABSENT : KELD_SUCCESS;
        owned = MakeTableBlock(values);
        if (!owned)
            return KELD_NO_MEMORY;
        block = owned.get();
    }

    const Range range = SliceRange(count, rq.start, rq.len);
    const long long stored = block[0];
    for (long long k = 0; k < range.n; ++k) {
        const long long from = range.first + k;
        if (!dest.Put(static_cast<size_t>(k), from < stored ? block[from + 1] : KOMBRA_LONG{0}))
            break;
    }

    if (owned && _Cache != nullptr && _Cache->AddToCache(map, _TBL, which, owned.get(), true)) {
        owned.release();
        if (!_Cache->AddToCache(map, _TBL_ELE_SZ, which, reinterpret_cast<void *>(static_cast<intptr_t>(count)),
                                false))
            _Cache->FreeCacheElement(_Cache->_cache_elements.size() - 1);
    }
    return KELD_SUCCESS;
}

// ---- Per-element items -----------------------------------------------------

int HandleSTATES(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_STATE, _STATUS, Missing::Stop}, dest);
}

int HandleD_TYPE(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_D_TYPE, _SEN, Missing::Skip}, dest);
}

int HandleTDW_LEN(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_TDW_LEN, _SEN, Missing::Skip}, dest);
}

int HandleSEN_STATUS(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_SEN_STATUS, _SEN, Missing::Skip}, dest);
}

int HandleTIME_OFF(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_TIME_OFF, _SEN, Missing::Skip}, dest);
}

int HandleSPIN_TIME_OFF(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_SPIN_TIME_OFF, _SEN, Missing::Zero}, dest);
}

int HandleCAL_USE(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_CAL_USE, _CAL_SETS, Missing::Stop}, dest);
}

int HandleCAL_WLEN(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_CAL_WLEN, _CAL_SETS, Missing::Stop}, dest);
}

int HandleCAL_TARGET(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_CAL_TARGET, _CAL_SETS, Missing::Stop}, dest);
}

int HandleCAL_SCOPE(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_CAL_SCOPE, _CAL_SETS, Missing::Zero}, dest);
}

int HandleCAL_D_TYPE(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadPerElement(map, rq, {_CAL_D_TYPE, _CAL_SETS, Missing::Zero}, dest);
}

// ---- Slice items ------------------------------------------------------------

int HandleCONST(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_KELD_CONST, CountOf::Sensors}, dest);
}

int HandleCONST_SCA(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_CONST_SCA, CountOf::Sensors}, dest);
}

int HandleTBL_SCA(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_TBL_SCA, CountOf::TableScales}, dest);
}

int HandleTBL_OFF(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_TBL_OFF, CountOf::TableSensors}, dest);
}

int HandleTBL_FMT(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_TBL_FMT, CountOf::TableSensors}, dest);
}

int HandleCRIT_ACTION(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_CRIT_ACTION, CountOf::CritActions}, dest);
}

int HandleCRIT_OFF(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_CRIT_OFF, CountOf::Sensors}, dest);
}

int HandleCRIT_STATUS(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    return ReadSlice(map, rq, {_CRIT_STATUS, CountOf::Sensors}, dest);
}

int UnknownWhat()
{
    std::printf("Unknown what!!!!\n");
    std::fflush(stdout);
    return KELD_ITEM_ABSENT;
}

}  // namespace

namespace {

int ReadTextItem(const keld_map *map, const KeldRequest &rq, KeldDest &dest);

}  // namespace

int KeldReadTextItem(const keld_map *map, const KeldRequest &rq)
{
    KeldDest dest(rq.var, rq.capacity);
    const int status = ReadTextItem(map, rq, dest);
    return status == KELD_SUCCESS && dest.Overflowed() ? KELD_SHORT_BUFFER : status;
}

namespace {

int ReadTextItem(const keld_map *map, const KeldRequest &rq, KeldDest &dest)
{
    const KeldItemDef *item = KeldItem(rq.what);
    if (item == nullptr)
        return UnknownWhat();
    const size_t size = KeldElementSize(item->form);
    if (size != 0 && !dest.Fits(0, size))
        return KELD_SHORT_BUFFER;

    switch (rq.what) {
    case _NUM_COMNTS:
        dest.Put(0, KOMBRA_CHAR{0});
        return KELD_SUCCESS;
    case _COMMENTS: return KELD_SUCCESS;
    case _TBL_DESC_LEN:
    case _CONST_DESC_LEN:
        dest.Put(0, KOMBRA_SHORT{0});
        return KELD_SUCCESS;
    case _TBL_DESC:
    case _CONST_DESC: return KELD_ITEM_ABSENT;
    case _PA_DEFINED:
    case _PMI_DEFINED:
    case _POT_SRC_DEFINED:
    case _START_SPIN_DEFINED: return ReadPresence(map, rq, dest);
    case _PA_BXBYBZ: return ReadBxByBz(map, dest);
    case _STATES: return HandleSTATES(map, rq, dest);
    case _D_TYPE: return HandleD_TYPE(map, rq, dest);
    case _TDW_LEN: return HandleTDW_LEN(map, rq, dest);
    case _SEN_STATUS: return HandleSEN_STATUS(map, rq, dest);
    case _TIME_OFF: return HandleTIME_OFF(map, rq, dest);
    case _SPIN_TIME_OFF: return HandleSPIN_TIME_OFF(map, rq, dest);
    case _CAL_USE: return HandleCAL_USE(map, rq, dest);
    case _CAL_WLEN: return HandleCAL_WLEN(map, rq, dest);
    case _CAL_TARGET: return HandleCAL_TARGET(map, rq, dest);
    case _CAL_SCOPE: return HandleCAL_SCOPE(map, rq, dest);
    case _CAL_D_TYPE: return HandleCAL_D_TYPE(map, rq, dest);
    case _KELD_CONST: return HandleCONST(map, rq, dest);
    case _CONST_SCA: return HandleCONST_SCA(map, rq, dest);
    case _TBL_SCA: return HandleTBL_SCA(map, rq, dest);
    case _TBL_OFF: return HandleTBL_OFF(map, rq, dest);
    case _TBL_FMT: return HandleTBL_FMT(map, rq, dest);
    case _CRIT_ACTION: return HandleCRIT_ACTION(map, rq, dest);
    case _CRIT_OFF: return HandleCRIT_OFF(map, rq, dest);
    case _CRIT_STATUS: return HandleCRIT_STATUS(map, rq, dest);
    case _TBL: return HandleTBL(map, rq, dest);
    default: break;
    }
    if (const Default *rule = RuleOf(kDefaults, rq.what))
        return ReadDefaulted(map, rq, *rule, dest);
    return ReadPlain(map, rq, dest);
}

}  // namespace

int KeldReadItem(const KeldLoaded &loaded, const KeldRequest &request)
{
    if (loaded.map != nullptr)
        return KeldReadTextItem(loaded.map, request);
    if (loaded.old != nullptr)
        return KeldReadOldItem(loaded.old, request);
    return KELD_ITEM_ABSENT;
}

int ReadNewKELD(const keld_map *pKELD, void *var, KELD_DEFS what, KOMBRA_SHORT which, KOMBRA_LONG start,
                KOMBRA_SHORT len)
{
    return KeldReadTextItem(pKELD, {var, KeldDest::kUnchecked, what, which, start, len});
}

int ReadNewKELDChecked(const keld_map *pKELD, void *var, size_t var_size, KELD_DEFS what, KOMBRA_SHORT which,
                       KOMBRA_LONG start, KOMBRA_SHORT len)
{
    return KeldReadTextItem(pKELD, {var, var_size, what, which, start, len});
}

int GetFromNewKELD(const keld_map *pKELD, void *ToBeFilled, KELD_DEFS what, KOMBRA_SHORT which)
{
    if (KeldItem(what) == nullptr || what == _PA_BXBYBZ || what == _START_SPIN_DEFINED)
        return UnknownWhat();
    const auto values = Lookup(pKELD, what, which);
    if (values.empty())
        return KELD_ITEM_ABSENT;
    KeldDest dest(ToBeFilled, KeldDest::kUnchecked);
    return ConvertValues(what, values, dest, -1);
}

int KELDCheckReturnType(KELD_DEFS what, const keld_vals_s *ret_val, void *ToBeFilled)
{
    KeldDest dest(ToBeFilled, KeldDest::kUnchecked);
    return ConvertValues(what, ListValues{ret_val}, dest, -1);
}

namespace {

void ConvertFirst(const keld_vals_s *list, void *var, KeldForm form)
{
    KeldDest dest(var, KeldDest::kUnchecked);
    if (list != nullptr)
        KeldPut(dest, form, 0, list->val, list->type);
}

void ConvertAll(const keld_vals_s *list, void *var, KeldForm form)
{
    KeldDest dest(var, KeldDest::kUnchecked);
    size_t i = 0;
    for (const keld_vals_s *cell = list; cell != nullptr; cell = cell->next)
        KeldPut(dest, form, i++, cell->val, cell->type);
}

}  // namespace

void KELDConvertToChar(const keld_vals_s *list, KOMBRA_CHAR *var) { ConvertFirst(list, var, F::Char); }
void KELDConvertToShort(const keld_vals_s *list, KOMBRA_SHORT *var) { ConvertFirst(list, var, F::Short); }
void KELDConvertToLong(const keld_vals_s *list, KOMBRA_LONG *var) { ConvertFirst(list, var, F::Long); }
void KELDConvertToFloat(const keld_vals_s *list, KOMBRA_FLOAT *var) { ConvertFirst(list, var, F::Float); }
void KELDConvertToCharPtr(const keld_vals_s *list, char **var) { ConvertFirst(list, var, F::CharPtr); }
void KELDConvertToCharList(const keld_vals_s *list, KOMBRA_CHAR *var) { ConvertAll(list, var, F::Char); }
void KELDConvertToShortList(const keld_vals_s *list, KOMBRA_SHORT *var) { ConvertAll(list, var, F::Short); }
void KELDConvertToLongList(const keld_vals_s *list, KOMBRA_LONG *var) { ConvertAll(list, var, F::Long); }
void KELDConvertToFloatList(const keld_vals_s *list, KOMBRA_FLOAT *var) { ConvertAll(list, var, F::Float); }
void KELDConvertToCharPtrs(const keld_vals_s *list, char **var) { ConvertAll(list, var, F::CharPtr); }
