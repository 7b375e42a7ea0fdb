// The registry of loaded descriptions: finding the description of a data key
// and time through the catalog, loading it once in whichever format lies on
// disk, and answering item requests from the current one.
//
// An entry is marked loaded only when its file was read and its span checked
// against the request; an entry whose catalog look-up, loading or check
// failed gives its description back at once, stays in the registry as the
// last entry but is never found by a search nor read from, and the next
// description that is loaded takes its place (so failed requests repeated,
// out-of-date ones among them, do not pile up entries).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "keld_items_int.h"
#include "libdbSQL.h"

std::vector<std::unique_ptr<KELDInfo>> KELDs;
int numKELDs = 0;
int whichKELD = 0;

namespace {

// Held while the registry is searched, grown, read from or closed.
std::mutex _mutex;

constexpr const char *kNotInitialized = "ERROR - KELD not initialized!\n";

// Milliseconds of day of a second and nanosecond of day, worked in 64 bits
// and kept as the 32-bit field of a time triple.
KOMBRA_LONG MsecOfDay(KOMBRA_LONG sec, KOMBRA_LONG nsec)
{
    return static_cast<KOMBRA_LONG>(static_cast<int64_t>(sec) * 1000 + nsec / 1000000);
}

// The description's span holds the begin, and the end is not before its
// begin (the end is not held against the span's end).
bool Covers(const KELDInfo &entry, Time_t begin, Time_t end)
{
    return compare_times(begin, entry._ETime) <= 0 && compare_times(begin, entry._BTime) >= 0 &&
           compare_times(end, entry._BTime) >= 0;
}

KeldLoaded LoadedOf(const KELDInfo &entry)
{
    KeldLoaded loaded;
    if (!entry._loaded)
        return loaded;
    if (entry._usingNewKELD)
        loaded.map = static_cast<const keld_map *>(entry._keld);
    else
        loaded.old = static_cast<const keld_info *>(entry._keld);
    return loaded;
}

int LoadText(KELDInfo &entry, const std::string &file)
{
    entry._usingNewKELD = 1;
    entry._FileName = file;
    keld_map *map = nullptr;
    const int status = ParseNewKELD(&map, file.c_str());
    if (status == KELD_SUCCESS && map != nullptr) {
        entry._keld = map;
        entry._loaded = true;
        return KELD_SUCCESS;
    }
    DeleteKELD(map);
    return status == KELD_SUCCESS ? KELD_NO_MEMORY : status;
}

int LoadOld(KELDInfo &entry, const std::string &file)
{
    entry._usingNewKELD = 0;
    entry._FileName = file;
    keld_info *image = nullptr;
    int status = create_keld_structure(&image);
    if (status != KELD_SUCCESS)
        return status;
    status = ParseOldKELD(image, file.c_str());
    if (status != KELD_SUCCESS) {
        free_keld_structure(image);
        std::free(image);
        return status;
    }
    entry._keld = image;
    entry._loaded = true;
    return KELD_SUCCESS;
}

// The entry a new description goes into, made current: the last entry when
// it holds nothing, else a new one.  NULL when memory is short.
KELDInfo *FreshEntry()
{
    if (!KELDs.empty() && !KELDs.back()->_loaded) {
        auto *entry = new (std::nothrow) KELDInfo;
        if (entry == nullptr)
            return nullptr;
        CreateCache();
        KELDs.back().reset(entry);
        whichKELD = numKELDs - 1;
        return entry;
    }
    whichKELD = numKELDs;
    return AddKELD();
}

// Frees the description an entry holds; the entry is then never read from.
void Unload(KELDInfo &entry)
{
    if (entry._keld != nullptr) {
        if (entry._usingNewKELD) {
            DeleteKELD(static_cast<keld_map *>(entry._keld));
        } else {
            free_keld_structure(static_cast<keld_info *>(entry._keld));
            std::free(entry._keld);
        }
    }
    entry._keld = nullptr;
    entry._loaded = false;
}

KELDInfo *Current()
{
    if (whichKELD < 0 || whichKELD >= numKELDs || !KELDs[static_cast<size_t>(whichKELD)]->_loaded)
        return nullptr;
    return KELDs[static_cast<size_t>(whichKELD)].get();
}

int NotInitialized()
{
    std::fputs(kNotInitialized, stderr);
    return KELD_OPEN_FAILED;
}

// The catalog path written into a buffer of the size the catalog asks for.
int CatalogPath(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, const Time_t &begin,
                KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, const Time_t &end, std::string &path)
{
    path.assign(DB_PATH_MAX, '\0');
    const int status = dbNURVGetFile(data_key, btime_yr, btime_day, begin.msec, etime_yr, etime_day, end.msec,
                                     _KELD_, "", path.data(), nullptr);
    path.resize(strnlen(path.c_str(), path.size()));
    return status;
}

}  // namespace

KELDInfo::~KELDInfo()
{
    Unload(*this);
}

KELDInfo *AddKELD(void)
{
    CreateCache();
    auto *entry = new (std::nothrow) KELDInfo;
    if (entry == nullptr)
        return nullptr;
    try {
        KELDs.emplace_back(entry);
    } catch (const std::bad_alloc &) {
        delete entry;
        return nullptr;
    }
    numKELDs = static_cast<int>(KELDs.size());
    return entry;
}

int FillTimes(void)
{
    KELDInfo *entry = Current();
    if (entry == nullptr)
        return NotInitialized();
    struct Field {
        KELD_DEFS what;
        KOMBRA_LONG *to;
    };
    const Field fields[] = {
        {_DS_YEAR, &entry->_BTime.yr}, {_DS_DAY, &entry->_BTime.day}, {_DS_MSEC, &entry->_BTime.msec},
        {_DE_YEAR, &entry->_ETime.yr}, {_DE_DAY, &entry->_ETime.day}, {_DE_MSEC, &entry->_ETime.msec},
    };
    const KeldLoaded loaded = LoadedOf(*entry);
    for (const Field &field : fields) {
        int status = KELD_SUCCESS;
        if (KeldItem(field.what)->form == KeldForm::Short) {
            KOMBRA_SHORT value = 0;
            status = KeldReadItem(loaded, {&value, sizeof value, field.what, 0, 0, -1});
            *field.to = value;
        } else {
            KOMBRA_LONG value = 0;
            status = KeldReadItem(loaded, {&value, sizeof value, field.what, 0, 0, -1});
            *field.to = value;
        }
        if (status != KELD_SUCCESS)
            return status;
    }
    return KELD_SUCCESS;
}

namespace {

// InitializeKELD with _mutex held by the caller.
int InitializeLocked(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                     KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                     KOMBRA_LONG etime_nsec)
{
    const Time_t begin{btime_yr, btime_day, MsecOfDay(btime_sec, btime_nsec)};
    const Time_t end{etime_yr, etime_day, MsecOfDay(etime_sec, etime_nsec)};

    for (int i = 0; i < numKELDs; ++i) {
        const KELDInfo &entry = *KELDs[static_cast<size_t>(i)];
        if (entry._loaded && entry._DataKey == data_key && (btime_yr == -1 || Covers(entry, begin, end))) {
            whichKELD = i;
            return KELD_SUCCESS;
        }
    }

    KELDInfo *entry = FreshEntry();
    if (entry == nullptr)
        return KELD_NO_MEMORY;
    std::string path;
    int status = CatalogPath(data_key, btime_yr, btime_day, begin, etime_yr, etime_day, end, path);
    if (status != 1)
        return status;

    // The text description lies beside the catalogued file: its name cut
    // before its last capital I, with "V.v3".
    const size_t cut = path.rfind('I');
    const std::string text = cut == std::string::npos ? std::string() : path.substr(0, cut) + "V.v3";
    if (!text.empty() && access(text.c_str(), R_OK) == 0) {
        status = LoadText(*entry, text);
    } else if (access(path.c_str(), R_OK) == 0) {
        status = LoadOld(*entry, path);
    } else {
        std::fprintf(stderr, "ERROR - KELD %s needs to be online!  ", path.c_str());
        return KELD_NOT_ONLINE;
    }

    entry->_DataKey = data_key;
    if (status == KELD_SUCCESS)
        status = FillTimes();
    if (btime_yr != -1 && !Covers(*entry, begin, end)) {
        std::fprintf(stderr,
                     "ERROR - KELD database is out of date!  The file, %s, is reporting a different time than "
                     "the database reports.  You must repromote the meta data!\n",
                     entry->_FileName.c_str());
        status = KELD_OUT_OF_DATE;
    }
    if (status != KELD_SUCCESS)
        Unload(*entry);
    return status;
}

// ReadFromCurrentKELD with _mutex held by the caller; capacity as in
// KeldRequest.
int ReadCurrentLocked(void *var, size_t capacity, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start,
                      KOMBRA_SHORT len)
{
    const KELDInfo *entry = Current();
    if (entry == nullptr)
        return NotInitialized();
    return KeldReadItem(LoadedOf(*entry), {var, capacity, what, num, start, len});
}

// ReadKELD into var of capacity bytes.
int ReadLocked(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
               KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
               KOMBRA_LONG etime_nsec, void *var, size_t capacity, KELD_DEFS what, KOMBRA_SHORT num,
               KOMBRA_LONG start, KOMBRA_SHORT len)
{
    if (data_key != 0) {
        const int status = InitializeLocked(data_key, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr,
                                            etime_day, etime_sec, etime_nsec);
        if (status != KELD_SUCCESS)
            return status;
    }
    return ReadCurrentLocked(var, capacity, what, num, start, len);
}

}  // namespace

int InitializeKELD(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                   KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
                   KOMBRA_LONG etime_nsec)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return InitializeLocked(data_key, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                            etime_nsec);
}

int InitializeKELDFromFile(const char *keld_filename)
{
    if (keld_filename == nullptr)
        return KELD_NOT_ONLINE;
    const std::lock_guard<std::mutex> lock(_mutex);
    for (int i = 0; i < numKELDs; ++i) {
        const KELDInfo &entry = *KELDs[static_cast<size_t>(i)];
        if (entry._loaded && entry._FileName == keld_filename) {
            whichKELD = i;
            return KELD_SUCCESS;
        }
    }
    KELDInfo *entry = FreshEntry();
    if (entry == nullptr)
        return KELD_NO_MEMORY;
    int status = std::strstr(keld_filename, "V.v3") != nullptr ? LoadText(*entry, keld_filename)
                                                              : LoadOld(*entry, keld_filename);
    entry->_DataKey = 0;
    if (status == KELD_SUCCESS)
        status = FillTimes();
    if (status != KELD_SUCCESS)
        Unload(*entry);
    return status;
}

int ReadFromCurrentKELD(void *var, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return ReadCurrentLocked(var, KeldDest::kUnchecked, what, num, start, len);
}

// The search, the loading and the reading of one request run under one hold
// of the mutex, so that another thread can neither move the current entry in
// between nor grow or close the registry while an item is read.
int ReadKELD(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
             KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day, KOMBRA_LONG etime_sec,
             KOMBRA_LONG etime_nsec, void *var, KELD_DEFS what, KOMBRA_SHORT num, KOMBRA_LONG start,
             KOMBRA_SHORT len)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return ReadLocked(data_key, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                      etime_nsec, var, KeldDest::kUnchecked, what, num, start, len);
}

int ReadKELDChecked(KOMBRA_ULONG data_key, KOMBRA_SHORT btime_yr, KOMBRA_SHORT btime_day, KOMBRA_LONG btime_sec,
                    KOMBRA_LONG btime_nsec, KOMBRA_SHORT etime_yr, KOMBRA_SHORT etime_day,
                    KOMBRA_LONG etime_sec, KOMBRA_LONG etime_nsec, void *var, size_t var_size, KELD_DEFS what,
                    KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return ReadLocked(data_key, btime_yr, btime_day, btime_sec, btime_nsec, etime_yr, etime_day, etime_sec,
                      etime_nsec, var, var_size, what, num, start, len);
}

KOMBRA_LONG read_nur(KOMBRA_ULONG data_key, const char * /*exten*/, KOMBRA_USHORT /*vnum*/, void *var,
                     KELD_DEFS quan, KOMBRA_SHORT num, KOMBRA_LONG start, KOMBRA_SHORT len)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    for (int i = 0; i < numKELDs; ++i) {
        const KELDInfo &entry = *KELDs[static_cast<size_t>(i)];
        if (entry._loaded && entry._DataKey == data_key) {
            whichKELD = i;
            return ReadCurrentLocked(var, KeldDest::kUnchecked, quan, num, start, len);
        }
    }
    return NotInitialized();
}

void CloseKELD(void)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    if (KELDs.empty())
        return;
    KELDs.clear();
    numKELDs = 0;
    whichKELD = 0;
    ClearCache();
}
