// Fuzz entry point of the configuration readers, as they read text that has
// already been through the preprocessor.  The input holds up to four texts
// split by the byte 0x1E: a file for the generic reader, kombra.cfg,
// PROJECTS.cfg and DB.cfg.  Each is written into a scratch folder and read:
// the generic file with a keyword table of every value type, kombra.cfg into
// the settings table (whose names DB.cfg values may refer to), PROJECTS.cfg
// into the hierarchy tree and DB.cfg onto that tree; then the tree's shape
// is checked and its first 256 nodes are looked up again by names and
// numbers and their items are read.  All
// is freed and the process-wide tree and settings are reset after each
// input.  Built with libFuzzer under clang (see CMakeLists.txt here) and
// replayed over a generated corpus by the normal test build.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config_reset.h"
#include "fuzz_scratch.h"
#include "libCfg.h"

namespace {

constexpr char kSplit = '\x1e';
constexpr int kBufRoom = 16;  // the PC_STRING_BUF keyword's buffer
constexpr unsigned char kFill = 0xAB;
constexpr size_t kMaxWalk = 256;  // nodes looked up per input
constexpr size_t kMaxItems = 16;  // items read per node

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// The four texts; a text the input does not reach is missing.
std::array<std::optional<std::string_view>, 4> Split(const uint8_t *data, size_t size)
{
    std::array<std::optional<std::string_view>, 4> parts;
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    for (size_t i = 0; i < parts.size(); ++i) {
        const size_t at = i + 1 < parts.size() ? rest.find(kSplit) : std::string_view::npos;
        parts[i] = rest.substr(0, at);
        if (at == std::string_view::npos)
            break;
        rest.remove_prefix(at + 1);
    }
    return parts;
}

// Writes a text to the scratch file name and returns its path; for a text
// that is missing (or cannot be written) the path of a file that does not
// exist.
std::string Place(const std::optional<std::string_view> &text, const char *name)
{
    const std::string path = fuzz_scratch::Path(name);
    if (text && fuzz_scratch::Write(path, text->data(), text->size()))
        return path;
    return fuzz_scratch::Path("absent.cfg");
}

// ---- The generic reader ---------------------------------------------------

template <typename T>
void ReadArray(def_s &entry, size_t size)
{
    auto *values = *static_cast<T **>(entry.value);
    if (values == nullptr)
        return;
    // No more values than blank-separated words in the input.
    Check(entry.n_values >= 0 && static_cast<size_t>(entry.n_values) <= size);
    volatile T sink{};
    for (int i = 0; i < entry.n_values; ++i)
        sink = values[i];
    (void)sink;
    std::free(values);
}

// Fills a keyword table with one keyword of every value type (mandatory,
// optional and marked-optional ones, and a type the reader does not know)
// from the symbols prefix+keyword, then checks and frees what it handed out.
void ParseEveryType(config_s *cfg, const char *prefix, size_t size)
{
    char c = 0;
    int16_t h = 0;
    int32_t i = 0;
    float f = 0;
    double d = 0;
    unsigned char buf[kBufRoom + 16];
    std::memset(buf, kFill, sizeof buf);
    int16_t *shorts = nullptr;
    int32_t *ints = nullptr;
    float *floats = nullptr;
    double *doubles = nullptr;
    def_s table[] = {{"c", PC_CHAR, &c, 0, 0},
                     {"h", PC_SHORT, &h, 1, 0},
                     {"i", PC_INT, &i, PC_REQUIRED, 0},
                     {"f", PC_FLOAT, &f, 1, 0},
                     {"d", PC_DOUBLE, &d, 0, 0},
                     {"b", PC_STRING_BUF, buf, 1, kBufRoom},
                     {"s", PC_STRING, nullptr, 1, 0},
                     {"sa", PC_SHORT_ARRAY, &shorts, 1, 0},
                     {"ia", PC_INT_ARRAY, &ints, 0, 0},
                     {"fa", PC_FLOAT_ARRAY, &floats, 1, 0},
                     {"da", PC_DOUBLE_ARRAY, &doubles, PC_REQUIRED, 0},
                     {"l", PC_STRING_LIST, nullptr, 1, 0},
                     {"x", 12, &i, 1, 0},
                     {nullptr, 0, nullptr, 0, 0}};
    const int status = parse_config(cfg, prefix, table);
    Check(status == 0 || status == -1);

    // A copy into the buffer is cut to its size and ends inside it; nothing
    // lands behind it.
    if (table[5].required < 0)
        Check(std::memchr(buf, '\0', kBufRoom) != nullptr);
    for (size_t at = table[5].required < 0 ? kBufRoom : 0; at < sizeof buf; ++at)
        Check(buf[at] == kFill);
    if (auto *text = static_cast<char *>(table[6].value)) {
        Check(std::strlen(text) <= size);
        std::free(text);
    }
    ReadArray<int16_t>(table[7], size);
    ReadArray<int32_t>(table[8], size);
    ReadArray<float>(table[9], size);
    ReadArray<double>(table[10], size);
    if (auto **list = static_cast<char **>(table[11].value)) {
        Check(table[11].n_values >= 0 && static_cast<size_t>(table[11].n_values) <= size);
        Check(list[table[11].n_values] == nullptr);
        for (int k = 0; k < table[11].n_values; ++k) {
            Check(std::strlen(list[k]) <= size);
            std::free(list[k]);
        }
        std::free(list);
    }
}

// Every symbol of name is handed out once, in file order; after the marks
// are cleared the same values come back in the same order.
void CheckHandOut(config_s *cfg, const std::string &name, size_t size)
{
    refresh_config(cfg);
    std::vector<const char *> first;
    while (const char *value = get_symbol(cfg, name.c_str())) {
        Check(std::strlen(value) <= size && first.size() < size);
        first.push_back(value);
    }
    refresh_config(cfg);
    for (const char *value : first)
        Check(get_symbol(cfg, name.c_str()) == value);
    Check(get_symbol(cfg, name.c_str()) == nullptr);
}

void ReadGeneric(const std::string &path, std::string_view text)
{
    config_s *cfg = open_config(path.c_str(), 0);
    Check(cfg != nullptr);
    ParseEveryType(cfg, nullptr, text.size());
    ParseEveryType(cfg, "p.", text.size());
    refresh_config(cfg);
    ParseEveryType(cfg, nullptr, text.size());
    // The name of the first line, and two of the table's.
    const size_t blank = text.find_first_of(" \t\r\n");
    CheckHandOut(cfg, std::string(text.substr(0, blank == std::string_view::npos ? 64 : blank)), text.size());
    CheckHandOut(cfg, "l", text.size());
    CheckHandOut(cfg, "p.i", text.size());
    Check(close_config(cfg) == 0);
}

// ---- kombra.cfg -----------------------------------------------------------

void ReadKombraCfg(const std::string &path)
{
    InitKOMBRACfg(path.c_str());
    // One slot beyond the file's lines is kept for the default folder.
    Check(numRead >= 0 && numRead <= KOMBRA_CFG_MAX + 1);
    for (int k = 0; k < numRead; ++k) {
        Check(cfgData[k] != nullptr && cfgData[k]->var != nullptr && cfgData[k]->value != nullptr);
        Check(GetEnv(cfgData[k]->var) != nullptr);
    }
    // A filled table is read only once.
    const int read = numRead;
    InitKOMBRACfg(path.c_str());
    Check(read == 0 || numRead == read);
}

// ---- The tree and its items -------------------------------------------------

// One node with the names and numbers of its path from the projects, and
// whether each node on that path is the first of its name among its
// siblings (so that its names lead to it).
struct Visit {
    StrHier_s *node;
    std::array<const char *, 5> names;
    std::array<int, 5> numbers;
    int depth;
    bool firstOfNames;
};

bool FirstOfName(LinkNode_s *list, const StrHier_s *node)
{
    for (; list != nullptr; list = list->next) {
        const auto *other = static_cast<const StrHier_s *>(list->data);
        if (std::strcmp(other->str, node->str) == 0)
            return other == node;
    }
    return false;
}

// Checks the shape of a level list and collects its nodes, depth first.
void Walk(LinkNode_s *list, StrHier_s *parent, Visit path, int depth, std::vector<Visit> &out)
{
    Check(depth < 5 || list == nullptr);
    const bool first = path.firstOfNames;
    int number = 0;
    for (LinkNode_s *cell = list; cell != nullptr; cell = cell->next) {
        auto *node = static_cast<StrHier_s *>(cell->data);
        Check(node != nullptr && node->str != nullptr && node->parent == parent && node->number == ++number);
        const bool scf = std::strstr(node->str, ".scf") != nullptr;
        if (scf)
            Check(node->GetNextItems == SCFNextItems && node->sublist == nullptr);
        else if (depth == 4)
            Check(node->GetNextItems == KELDNextItems && node->sublist == nullptr);
        else
            Check(node->GetNextItems == NURVNextItems && node->GetNextItems(node) == node->sublist);
        path.node = node;
        path.names[static_cast<size_t>(depth)] = node->str;
        path.numbers[static_cast<size_t>(depth)] = node->number;
        path.depth = depth + 1;
        path.firstOfNames = first && FirstOfName(list, node);
        out.push_back(path);
        Walk(node->sublist, node, path, depth + 1, out);
    }
}

// The node is found again from the projects by its numbers, and by its
// names when no earlier sibling on its path bears the same name (otherwise
// the names may lead elsewhere or nowhere).
void LookUp(const Visit &v)
{
    const auto &n = v.names;
    const auto &k = v.numbers;
    Check(SourceByNum(Projects, k[0], k[1], k[2], k[3], k[4], 0) == v.node);
    StrHier_s *byName = SourceByStr(Projects, n[0], n[1], n[2], n[3], n[4], nullptr);
    Check(v.firstOfNames ? byName == v.node : byName == nullptr || std::strcmp(byName->str, v.node->str) == 0);
    Check(CfgStrHier(v.depth, n[0], n[1], n[2], n[3], n[4]) == byName);
    Check(CfgHierarchy(v.depth, n[0], n[1], n[2], n[3], n[4]) == (byName ? byName->sublist : nullptr));
    Check(FindStr(v.node->str, v.node->parent ? v.node->parent->sublist : Projects) != nullptr);
}

// A path handed out fits its 256-byte buffer; one flagged as cut fills it.
void CheckPath(const char *path)
{
    if (path == nullptr)
        return;
    const size_t length = std::strlen(path);
    Check(length < 256 && (CfgPathCut() == 0 || length == 255));
}

// Reads the items DB.cfg attached to the node, through the node and from
// the projects by its names.
void ReadItems(const Visit &v)
{
    const auto &n = v.names;
    auto *items = static_cast<ItemValue_s *>(v.node->info);
    if (items != nullptr)
        Check(items->Destroy != nullptr && items->Destroy->Free == DestroyItemValue && items->Destroy->NToFree > 0);
    size_t seen = 0;
    for (ItemValue_s *item = items; item != nullptr && seen < kMaxItems; item = item->next, ++seen) {
        Check(item->Item != nullptr && item->Value != nullptr && item->n_Values >= 0);
        Check(item->Value[item->n_Values] == nullptr);
        Check(FindItemValue(items, item->Item, -1) == nullptr);
        FindItemValue(items, item->Item, item->n_Values);
        CfgItem(v.node, item->Item, 0);
        for (int depth = 0; depth <= 6; ++depth)
            CheckPath(CfgPath(v.node, item->Item, depth));
        CfgGetItem(item->Item, 0, n[0], n[1], n[2], n[3], n[4], nullptr);
        CheckPath(CfgGetPath(item->Item, n[0], n[1], n[2], n[3], n[4], nullptr));
    }
    CheckPath(DbfFile(v.node));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto parts = Split(data, size);
    const std::string generic = Place(parts[0], "generic.cfg");
    const std::string kombra = Place(parts[1], "kombra.cfg");
    // P_Config ends the process on a file it cannot open: always write one.
    const std::string projects = Place(parts[2].value_or(std::string_view()), "PROJECTS.cfg");
    const std::string db = Place(parts[3], "DB.cfg");

    if (parts[0])
        ReadGeneric(generic, *parts[0]);
    ReadKombraCfg(kombra);
    Projects = P_Config(projects.c_str());
    const int status = DB_Config(db.c_str(), Projects);
    Check(status == 0 || status == 1);

    std::vector<Visit> nodes;
    Walk(Projects, nullptr, Visit{nullptr, {}, {}, 0, true}, 0, nodes);
    for (size_t k = 0; k < nodes.size() && k < kMaxWalk; ++k) {
        LookUp(nodes[k]);
        ReadItems(nodes[k]);
    }

    cfg_test::ResetConfiguration();
    return 0;
}
