// The key map of a text description: loading a file into it, looking keys
// up, freeing it.
//
// Each key keeps its values in one vector in file order, so an array of n
// values costs one key and n entries.  Strings are copies owned by the map;
// string slots the file left unfilled all point at the map's one empty string.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "keld_int.h"
#include "keld_items_int.h"

namespace {

// Appends count values of one node under key.  Throws std::bad_alloc.
void InsertValues(keld_map &map, const std::string &key, const symtab_s &node)
{
    const auto count = static_cast<size_t>(node.array_length);
    std::vector<keld_entry> &values = map.entries[key];
    values.reserve(values.size() + count);
    for (size_t i = 0; i < count; ++i) {
        keld_entry entry{};
        switch (node.symtype) {
        case Y_INT:
        case Y_FLOAT:
            entry.type = node.symtype == Y_INT ? INT : FLOAT;
            if (node.ptr != nullptr)
                std::memcpy(&entry.val.ival, static_cast<const char *>(node.ptr) + i * 4, 4);
            break;
        case Y_CHAR:
            entry.type = CHAR;
            if (node.ptr != nullptr)
                entry.val.cval = static_cast<const char *>(node.ptr)[i];
            break;
        case Y_STRING: {
            entry.type = STRING;
            const char *text = count == 1 ? static_cast<const char *>(node.ptr)
                                          : static_cast<char *const *>(node.ptr)[i];
            if (text == nullptr || text[0] == '\0') {
                entry.val.sval = map.empty;
            } else {
                entry.val.sval = strdup(text);
                if (entry.val.sval == nullptr)
                    throw std::bad_alloc();
            }
            break;
        }
        default:
            return;
        }
        values.push_back(entry);  // cannot throw after the reserve
    }
}

void Convert(keld_map &map, const symtab_s *list, const std::string &prefix)
{
    for (const symtab_s *node = list; node != nullptr; node = node->next) {
        if (node->symname == nullptr)
            continue;
        switch (node->symtype) {
        case Y_KELD:
            Convert(map, static_cast<const symtab_s *>(node->ptr), node->symname);
            break;
        case Y_STRUCT:
            Convert(map, static_cast<const symtab_s *>(node->ptr), prefix + "." + node->symname);
            break;
        case Y_INT:
        case Y_FLOAT:
        case Y_CHAR:
        case Y_STRING:
            if (node->array_length >= 1 && (node->ptr != nullptr || node->symtype == Y_STRING))
                InsertValues(map, prefix + "." + node->symname, *node);
            break;
        default:
            break;
        }
    }
}

// Appends a zeroed cell after tail (NULL for an empty list); NULL when memory
// is short.
keld_vals_s *AppendCell(keld_vals_s **list, keld_vals_s *tail, keld_value_type type, value_s value)
{
    auto *cell = static_cast<keld_vals_s *>(std::calloc(1, sizeof(keld_vals_s)));
    if (cell == nullptr)
        return nullptr;
    cell->type = type;
    if (type == CHAR)
        cell->val.cval = value.cval;
    else
        cell->val = value;
    if (tail == nullptr)
        *list = cell;
    else
        tail->next = cell;
    return cell;
}

keld_vals_s *LastCell(keld_vals_s *list)
{
    while (list != nullptr && list->next != nullptr)
        list = list->next;
    return list;
}

}  // namespace

int ConvertToMap(keld_map *map, const symtab_s *list, const char *prefix)
{
    if (map == nullptr)
        return KELD_NO_MEMORY;
    try {
        Convert(*map, list, prefix != nullptr ? prefix : "");
    } catch (const std::bad_alloc &) {
        return KELD_NO_MEMORY;
    }
    return KELD_SUCCESS;
}

int ParseNewKELDFromStream(keld_map **keld, FILE *in, const char *name)
{
    keld_set_file_name(name);
    keld_lineno = 1;
    DeleteKELDSYMTAB(GLOBAL_KELD);
    GLOBAL_KELD = nullptr;

    // A fresh scanner for every file: no buffer, mode or position of an
    // earlier file (or of one abandoned half-way) is taken over.
    keld_scanner_reset(in);
    while (!std::feof(in) && !std::ferror(in) && keld_read_errno() == 0)
        v_parse();
    const int readErrno = keld_read_errno();
    keld_scanner_reset(nullptr);

    int status = KELD_SUCCESS;
    if (readErrno != 0) {
        std::fprintf(stderr, "ParseKELD: ERROR - reading KELD: %s\n", std::strerror(readErrno));
        status = KELD_OPEN_FAILED;
    } else {
        auto *map = new (std::nothrow) keld_map;
        status = ConvertToMap(map, GLOBAL_KELD, "");
        if (status == KELD_SUCCESS)
            *keld = map;
        else
            DeleteKELD(map);
    }
    DeleteKELDSYMTAB(GLOBAL_KELD);
    GLOBAL_KELD = nullptr;
    return status;
}

int ParseNewKELD(keld_map **keld, const char *filename)
{
    FILE *in = filename != nullptr ? FopenRegularFile(filename, "r") : nullptr;
    if (in == nullptr) {
        if (filename == nullptr)
            errno = EINVAL;
        std::fprintf(stderr, "ParseKELD: ERROR - opening KELD: %s\n", OpenErrorText(errno));
        return KELD_OPEN_FAILED;
    }
    const int status = ParseNewKELDFromStream(keld, in, filename);
    if (std::fclose(in) != 0)
        std::perror("ParseKELD: ERROR - closing KELD");
    return status;
}

int KELDFileReadsWhole(const char *filename)
{
    if (filename == nullptr)
        return KELD_OPEN_FAILED;
    if (std::strstr(filename, "V.v3") == nullptr) {
        keld_info *image = nullptr;
        int status = create_keld_structure(&image);
        if (status == KELD_SUCCESS) {
            status = ParseOldKELD(image, filename);
            free_keld_structure(image);
            std::free(image);
        }
        return status;
    }
    FILE *in = FopenRegularFile(filename, "r");
    if (in == nullptr)
        return KELD_OPEN_FAILED;
    keld_map *map = nullptr;
    keld_quiet(1);
    int status = ParseNewKELDFromStream(&map, in, filename);
    keld_quiet(0);
    std::fclose(in);
    // A text cut short ends inside a description: a syntax error.
    if (status == KELD_SUCCESS && (keld_syntax_errors() != 0 || map == nullptr || KELDKeyCount(map) == 0))
        status = KELD_CORRUPT;
    DeleteKELD(map);
    return status;
}

keld_vals_s *FindNameinKELD(const keld_map *keld, const char *tmp, keld_vals_s **ret_val)
{
    const std::span<const keld_entry> values =
        KELDFind(keld, tmp != nullptr ? std::string_view(tmp) : std::string_view());
    if (values.empty() || ret_val == nullptr)
        return nullptr;
    keld_vals_s *tail = LastCell(*ret_val);
    for (const keld_entry &entry : values) {
        keld_vals_s *cell = AppendCell(ret_val, tail, entry.type, entry.val);
        if (cell == nullptr)
            break;
        tail = cell;
    }
    return *ret_val;
}

keld_vals_s *AddKELDVal(keld_vals_s **list, keld_value_type type, value_s value)
{
    if (list == nullptr)
        return nullptr;
    AppendCell(list, LastCell(*list), type, value);
    return *list;
}

void FreeKELDVals(keld_vals_s **list)
{
    if (list == nullptr)
        return;
    keld_vals_s *cell = *list;
    while (cell != nullptr) {
        keld_vals_s *next = cell->next;
        std::free(cell);
        cell = next;
    }
    *list = nullptr;
}

std::span<const keld_entry> KELDFind(const keld_map *keld, std::string_view key)
{
    if (keld == nullptr)
        return {};
    const auto found = keld->entries.find(key);
    if (found == keld->entries.end())
        return {};
    return found->second;
}

std::span<const keld_entry> KeldFindItem(const keld_map *keld, int what, const KeldItemDef &item, int which)
{
    if (keld == nullptr || item.key == nullptr)
        return {};
    const bool numbered = std::strstr(item.key, "%d") != nullptr;
    const bool slot = !numbered && what >= 0 && what < KELD_NUM_DEFS;
    if (slot)
        if (const std::vector<keld_entry> *values = keld->found[static_cast<size_t>(what)].load(std::memory_order_acquire))
            return *values;
    const auto found = keld->entries.find(KeldItemKey(item, which));
    if (found == keld->entries.end())
        return {};
    if (slot)
        keld->found[static_cast<size_t>(what)].store(&found->second, std::memory_order_release);
    return found->second;
}

size_t KELDKeyCount(const keld_map *keld) { return keld != nullptr ? keld->entries.size() : 0; }

size_t KELDValueCount(const keld_map *keld)
{
    size_t count = 0;
    if (keld != nullptr)
        for (const auto &[key, values] : keld->entries)
            count += values.size();
    return count;
}

void DeleteKELD(keld_map *map)
{
    if (map == nullptr)
        return;
    KeldForgetCached(map);
    for (auto &[key, values] : map->entries)
        for (keld_entry &entry : values)
            if (entry.type == STRING && entry.val.sval != map->empty)
                std::free(entry.val.sval);
    delete map;
}

void PrintKELD(const keld_map *map)
{
    std::printf("KELD:\n");
    if (map == nullptr)
        return;
    for (const auto &[key, values] : map->entries) {
        for (const keld_entry &entry : values) {
            switch (entry.type) {
            case INT: std::printf("%s - %d\n", key.c_str(), static_cast<int>(entry.val.ival)); break;
            case FLOAT: std::printf("%s - %g\n", key.c_str(), static_cast<double>(entry.val.dval)); break;
            case CHAR: std::printf("%s - %d\n", key.c_str(), static_cast<unsigned char>(entry.val.cval)); break;
            case STRING: std::printf("%s - %s\n", key.c_str(), entry.val.sval); break;
            }
        }
    }
}

int KELD_InsertIntoKELD_INT(keld_map *map, const char *a, const char *b, int value)
{
    if (map == nullptr || a == nullptr || b == nullptr)
        return KELD_NO_MEMORY;
    try {
        keld_entry entry{};
        entry.type = INT;
        entry.val.ival = value;
        map->entries[std::string("v2_") + a + "." + b].push_back(entry);
    } catch (const std::bad_alloc &) {
        return KELD_NO_MEMORY;
    }
    return KELD_SUCCESS;
}
