// DB.cfg: the declared configuration items, their per-node values, and the
// look-ups that search them from a node up to its project.
#include "cfg_int.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxItemPrefix = 79;   // "ITEM." and "L." prefixes
constexpr size_t kMaxItemKeyword = 63;  // "ITEM.VALUE"
constexpr size_t kMaxVariable = 61;     // name behind a leading '$'

int gNCP = 0;  // NCP of DB.cfg; kept, read by nothing

std::string Cut(std::string text, size_t max)
{
    if (text.size() > max)
        text.resize(max);
    return text;
}

// Frees a string list as parse_config hands it out.
void FreeList(char **list, int count)
{
    if (list == nullptr)
        return;
    for (int i = 0; i < count; ++i)
        std::free(list[i]);
    std::free(list);
}

// A malloc'd NULL-ended copy of values; NULL when memory runs out.
char **CopyList(const std::vector<std::string> &values)
{
    auto **list = static_cast<char **>(std::calloc(values.size() + 1, sizeof(char *)));
    if (list == nullptr)
        return nullptr;
    for (size_t i = 0; i < values.size(); ++i) {
        if ((list[i] = strdup(values[i].c_str())) == nullptr) {
            FreeList(list, static_cast<int>(i));
            return nullptr;
        }
    }
    return list;
}

std::vector<std::string> TakeList(def_s &entry)
{
    std::vector<std::string> values;
    auto **list = static_cast<char **>(entry.value);
    if (entry.required < 0 && list != nullptr) {
        for (int i = 0; i < entry.n_values; ++i)
            values.emplace_back(list[i]);
        FreeList(list, entry.n_values);
    }
    entry.value = nullptr;
    entry.n_values = 0;
    return values;
}

// A value beginning with '$': the variable named behind it (letters, digits,
// '_' and '-', at most 61 characters) is replaced by its value when GetEnv
// knows it.
std::string Expand(const std::string &value)
{
    if (value.empty() || value[0] != '$')
        return value;
    size_t end = 1;
    while (end < value.size() && end - 1 < kMaxVariable &&
           (std::isalnum(static_cast<unsigned char>(value[end])) || value[end] == '_' || value[end] == '-'))
        ++end;
    if (end == 1)
        return value;
    const char *setting = GetEnv(value.substr(1, end - 1).c_str());
    if (setting == nullptr)
        return value;
    return setting + value.substr(end);
}

// Node named by a LEVELS entry: level names joined by ':'.
StrHier_s *NodeOfLevel(LinkNode_s *projects, const std::string &level)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t colon = level.find(':', start);
        parts.push_back(level.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    std::vector<const char *> names;
    for (const auto &p : parts)
        names.push_back(p.c_str());
    return cfg_internal::FindByNames(projects, names);
}

// One item that ITEMS declares, while DB.cfg is read.
struct GlobalItems_s {
    std::string Item;                 // the item's name
    std::vector<std::string> Values;  // its defaults, from ITEM.VALUE
    int Nvalues = 0;                  // the number of defaults
    std::string keyword;              // ITEM.VALUE, for the per-level look-up
};

}  // namespace

namespace cfg_internal {

std::string MakeDirectory(const char *value, const StrHier_s *node, int n)
{
    std::string dir(value);
    if (!dir.empty() && dir.back() == '%') {
        dir.pop_back();
        return dir;
    }
    std::vector<const StrHier_s *> path;
    for (const StrHier_s *p = node; p != nullptr; p = p->parent)
        path.insert(path.begin(), p);
    for (int i = 0; i < n; ++i) {
        const StrHier_s *level = static_cast<size_t>(i) < path.size() ? path[static_cast<size_t>(i)] : node;
        dir += '/';
        dir += level->str ? level->str : "";
    }
    return dir;
}

}  // namespace cfg_internal

ItemValue_s *CreateItemValue(int count)
{
    if (count <= 0)
        return nullptr;
    auto *items = static_cast<ItemValue_s *>(std::calloc(static_cast<size_t>(count), sizeof(ItemValue_s)));
    if (items == nullptr)
        return nullptr;
    items[0].Destroy = static_cast<DestroyObj_s *>(std::calloc(1, sizeof(DestroyObj_s)));
    if (items[0].Destroy == nullptr) {
        std::free(items);
        return nullptr;
    }
    items[0].Destroy->NToFree = count;
    items[0].Destroy->Free = DestroyItemValue;
    for (int i = 0; i + 1 < count; ++i)
        items[i].next = &items[i + 1];
    return items;
}

void DestroyItemValue(void *record)
{
    auto *items = static_cast<ItemValue_s *>(record);
    if (items == nullptr)
        return;
    const int count = items[0].Destroy ? items[0].Destroy->NToFree : 1;
    for (int i = count - 1; i >= 0; --i) {
        FreeList(items[i].Value, items[i].n_Values);
        std::free(items[i].Item);
    }
    ItemValue_s *further = items[count - 1].next;
    if (further != nullptr && further->Destroy != nullptr && further->Destroy->Free != nullptr)
        further->Destroy->Free(further);
    std::free(items[0].Destroy);
    std::free(items);
}

char *FindItemValue(ItemValue_s *items, const char *name, int n)
{
    for (ItemValue_s *item = items; item != nullptr; item = item->next) {
        if (item->Item != nullptr && std::strcmp(item->Item, name) == 0)
            return n >= 0 && n < item->n_Values ? item->Value[n] : nullptr;
    }
    return nullptr;
}

char *ValueFromItem(StrHier_s *node, const char *name, int n)
{
    return node ? FindItemValue(static_cast<ItemValue_s *>(node->info), name, n) : nullptr;
}

char *CfgItem(StrHier_s *node, const char *name, int n)
{
    for (; node != nullptr; node = node->parent)
        if (char *value = ValueFromItem(node, name, n))
            return value;
    return nullptr;
}

char *CfgPath(StrHier_s *node, const char *name, int n)
{
    cfg_internal::pathCut = false;
    const char *value = CfgItem(node, name, 0);
    if (value == nullptr)
        return nullptr;
    static char path[256];
    return cfg_internal::CopyPathInto(path, cfg_internal::MakeDirectory(value, node, n));
}

char *DbfFile(StrHier_s *node)
{
    const char *base = CfgPath(node, "DatabasePath", 3);
    if (base == nullptr)
        return nullptr;
    const bool baseCut = cfg_internal::pathCut;
    const StrHier_s *owner = node->parent ? node->parent : node;
    static char file[256];
    char *result =
        cfg_internal::CopyPathInto(file, std::string(base) + "/Database/" + (owner->str ? owner->str : ""));
    cfg_internal::pathCut = cfg_internal::pathCut || baseCut;
    return result;
}

int CfgPathCut(void)
{
    return cfg_internal::pathCut ? 1 : 0;
}

namespace cfg_internal {
bool pathCut = false;
}

LinkNode_s *FindStr(const char *name, LinkNode_s *list)
{
    if (name == nullptr)
        return nullptr;
    for (; list != nullptr; list = list->next) {
        auto *node = static_cast<StrHier_s *>(list->data);
        if (node != nullptr && node->str != nullptr && std::strcmp(node->str, name) == 0)
            return list;
    }
    return nullptr;
}

namespace {
int ReadDbConfig(const char *path, LinkNode_s *projects);
}

int DB_Config(const char *path, LinkNode_s *projects)
{
    try {
        return ReadDbConfig(path, projects);
    } catch (const std::bad_alloc &) {
        return 0;  // memory ran out
    }
}

namespace {

int ReadDbConfig(const char *path, LinkNode_s *projects)
{
    config_s *cfg = open_config(path, 0);
    if (cfg == nullptr)
        return 0;
    std::unique_ptr<config_s, int (*)(config_s *)> guard(cfg, close_config);

    int ncp = 0;
    def_s top[] = {{"NCP", PC_INT, &ncp, 0, 0},
                   {"ITEMS", PC_STRING_LIST, nullptr, PC_REQUIRED, 0},
                   {nullptr, 0, nullptr, 0, 0}};
    parse_config(cfg, nullptr, top);
    // An optional entry (required 0) is not marked when filled: the value
    // itself tells whether NCP was given.
    if (ncp > 1)
        gNCP = ncp;
    if (top[1].required >= 0)
        return 0;
    std::vector<std::string> itemNames = TakeList(top[1]);

    std::vector<GlobalItems_s> declared;
    for (const std::string &item : itemNames) {
        const std::string prefix = Cut(item + ".", kMaxItemPrefix);
        def_s values[] = {{"VALUE", PC_STRING_LIST, nullptr, PC_REQUIRED, 0}, {nullptr, 0, nullptr, 0, 0}};
        parse_config(cfg, prefix.c_str(), values);
        std::vector<std::string> defaults = TakeList(values[0]);
        const int count = static_cast<int>(defaults.size());
        declared.push_back({item, std::move(defaults), count, Cut(item + ".VALUE", kMaxItemKeyword)});
    }

    def_s levelsDef[] = {{"LEVELS", PC_STRING_LIST, nullptr, PC_REQUIRED, 0}, {nullptr, 0, nullptr, 0, 0}};
    parse_config(cfg, nullptr, levelsDef);
    if (levelsDef[0].required >= 0)
        return 0;
    const std::vector<std::string> levels = TakeList(levelsDef[0]);

    std::vector<def_s> perLevel(declared.size() + 1, def_s{nullptr, 0, nullptr, 0, 0});
    for (const std::string &level : levels) {
        for (size_t i = 0; i < declared.size(); ++i)
            perLevel[i] = {declared[i].keyword.c_str(), PC_STRING_LIST, nullptr, 1, 0};
        const std::string prefix = Cut(level + ".", kMaxItemPrefix);
        parse_config(cfg, prefix.c_str(), perLevel.data());

        ItemValue_s *items = CreateItemValue(static_cast<int>(declared.size()));
        if (items == nullptr && !declared.empty()) {
            for (size_t i = 0; i < declared.size(); ++i)
                TakeList(perLevel[i]);
            return 0;
        }
        for (size_t i = 0; i < declared.size(); ++i) {
            const bool given = perLevel[i].required < 0;
            std::vector<std::string> values = TakeList(perLevel[i]);
            if (!given) {
                const GlobalItems_s &d = declared[i];
                values.assign(d.Values.begin(), d.Values.begin() + d.Nvalues);
            }
            for (std::string &v : values)
                v = Expand(v);
            items[i].Item = strdup(declared[i].Item.c_str());
            items[i].Value = CopyList(values);
            items[i].n_Values = items[i].Value ? static_cast<int>(values.size()) : 0;
            if (items[i].Item == nullptr || items[i].Value == nullptr) {
                for (size_t j = i + 1; j < declared.size(); ++j)
                    TakeList(perLevel[j]);
                DestroyItemValue(items);
                return 0;
            }
        }

        StrHier_s *node = NodeOfLevel(projects, level);
        if (node != nullptr && node->info == nullptr && items != nullptr)
            node->info = items;
        else
            DestroyItemValue(items);
    }
    return 1;
}

}  // namespace
