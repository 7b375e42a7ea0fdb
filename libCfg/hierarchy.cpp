// Finding the configuration files, the one-time set-up and the building of
// the hierarchy tree from PROJECTS.cfg.
#include "cfg_int.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

LinkNode_s *Projects = nullptr;

namespace {

constexpr int kDeepestLevel = 4;   // virtual instruments are leaves
constexpr size_t kMaxPrefix = 79;  // a symbol prefix (names and dots)

int gLevel = 0;  // level being built, shared by the recursion of aConfig

bool Readable(const std::string &path)
{
    return access(path.c_str(), R_OK) == 0;
}

bool IsScfLeaf(const char *name)
{
    return name != nullptr && std::strstr(name, ".scf") != nullptr;
}

// A symbol prefix: parent prefix, name and a dot, with white space, ',' and
// '>' written as '_', at most 79 characters.
std::string ChildPrefix(const char *parentPrefix, const char *name)
{
    std::string prefix = std::string(parentPrefix ? parentPrefix : "") + name + ".";
    for (char &c : prefix)
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == '>')
            c = '_';
    if (prefix.size() > kMaxPrefix)
        prefix.resize(kMaxPrefix);
    return prefix;
}

}  // namespace

namespace cfg_internal {

StrHier_s *FindByNames(LinkNode_s *list, const std::vector<const char *> &names)
{
    StrHier_s *node = nullptr;
    for (const char *name : names) {
        LinkNode_s *cell = FindStr(name, list);
        if (cell == nullptr)
            return nullptr;
        node = static_cast<StrHier_s *>(cell->data);
        list = node->sublist;
    }
    return node;
}

std::vector<const char *> TakeNames(va_list ap, size_t max)
{
    std::vector<const char *> names;
    while (names.size() < max) {
        const char *name = va_arg(ap, const char *);
        if (name == nullptr)
            break;
        names.push_back(name);
    }
    return names;
}

}  // namespace cfg_internal

LinkNode_s *NURVNextItems(StrHier_s *node)
{
    return node ? node->sublist : nullptr;
}

LinkNode_s *KELDNextItems(StrHier_s *)
{
    return nullptr;
}

LinkNode_s *SCFNextItems(StrHier_s *)
{
    return nullptr;
}

char *GetGoodPath(const char *name)
{
    static char path[256];
    if (const char *config = std::getenv("KOMBRA_CONFIG")) {
        cfg_internal::CopyInto(path, std::string(config) + "/" + name);
        if (Readable(path))
            return path;
        std::fprintf(stderr, "Defaulting to $KOMBRA_HOME for %s.\n", name);
    }
    const char *home = std::getenv("KOMBRA_HOME");
    if (home == nullptr)
        return nullptr;
    cfg_internal::CopyInto(path, std::string(home) + "/config/" + name);
    return Readable(path) ? path : nullptr;
}

namespace {

std::string gCfgError;  // the line of the latest CfgInitMsg failure

// Frees a level list with everything below it and the item lists.
void FreeLevel(LinkNode_s *list)
{
    if (list == nullptr)
        return;
    auto *first = static_cast<StrHier_s *>(list->data);
    for (LinkNode_s *cell = list; cell != nullptr;) {
        FreeLevel(static_cast<StrHier_s *>(cell->data)->sublist);
        LinkNode_s *next = cell->next;
        std::free(cell);
        cell = next;
    }
    DestroyStrHier(first);
}

// The tree of the loaded PROJECTS.cfg (closed here); NULL without a usable
// top-level Strings list.
LinkNode_s *BuildTree(config_s *cfg)
{
    gLevel = 0;
    LinkNode_s *list = aConfig(cfg, nullptr, nullptr);
    close_config(cfg);
    return list;
}

// Where a configuration file was looked for, for the line of a file that
// was not found.
std::string LookedIn(const char *name)
{
    const char *config = std::getenv("KOMBRA_CONFIG");
    const char *home = std::getenv("KOMBRA_HOME");
    return std::string("no readable ") + name + " in $KOMBRA_CONFIG (" + (config ? config : "not set") +
           ") or $KOMBRA_HOME/config (" + (home ? std::string(home) + "/config" : std::string("not set")) + ")";
}

int Fail(const std::string &line)
{
    gCfgError = line;
    return 0;
}

// Why a file that was found cannot be read: the open's own error.
std::string OpenProblem(const std::string &path)
{
    const int fd = OpenRegularFile(path.c_str(), O_RDONLY);
    if (fd < 0)
        return OpenErrorText(errno);
    close(fd);
    return {};
}

}  // namespace

int CfgInitMsg(void)
{
    if (Projects != nullptr)
        return 1;

    if (const char *kombra = GetGoodPath("kombra.cfg"))
        InitKOMBRACfg(std::string(kombra).c_str());

    const char *found = GetGoodPath("PROJECTS.cfg");
    if (found == nullptr)
        return Fail("Cannot read PROJECTS configuration: " + LookedIn("PROJECTS.cfg"));
    const std::string projects = found;
    config_s *cfg = open_config(projects.c_str(), 0);
    if (cfg == nullptr) {
        const std::string problem = OpenProblem(projects);
        return Fail("Cannot read PROJECTS configuration " + projects + ": " +
                    (problem.empty() ? std::string("cannot be read") : problem));
    }
    LinkNode_s *tree = BuildTree(cfg);
    if (tree == nullptr)
        return Fail("PROJECTS configuration " + projects + " has no usable top-level Strings list of projects");

    found = GetGoodPath("DB.cfg");
    if (found == nullptr) {
        FreeLevel(tree);
        return Fail("Cannot read DB configuration: " + LookedIn("DB.cfg"));
    }
    const std::string db = found;
    if (DB_Config(db.c_str(), tree) != 1) {
        FreeLevel(tree);
        const std::string problem = OpenProblem(db);
        return Fail("Cannot read DB configuration " + db + ": " +
                    (problem.empty() ? std::string("no usable ITEMS or LEVELS list") : problem));
    }
    Projects = tree;
    gCfgError.clear();
    return 1;
}

const char *CfgErrorMsg(void)
{
    return gCfgError.c_str();
}

void CfgInit(void)
{
    if (Projects != nullptr)
        return;

    if (const char *kombra = GetGoodPath("kombra.cfg"))
        InitKOMBRACfg(std::string(kombra).c_str());

    const char *projects = GetGoodPath("PROJECTS.cfg");
    if (projects == nullptr) {
        std::fputs("Cannot read PROJECTS configuration [NULL]\nIs KOMBRA_HOME set?\n", stderr);
        std::exit(2);
    }
    Projects = P_Config(std::string(projects).c_str());

    const char *db = GetGoodPath("DB.cfg");
    if (db == nullptr) {
        std::fprintf(stderr, "Cannot read DB configuration [%s]\n", "NULL");
        std::exit(2);
    }
    DB_Config(std::string(db).c_str(), Projects);
}

LinkNode_s *P_Config(const char *path)
{
    config_s *cfg = open_config(path, 0);
    if (cfg == nullptr) {
        std::fprintf(stderr, "...Error opening %s\n", path);
        std::exit(3);
    }
    return BuildTree(cfg);
}

LinkNode_s *aConfig(config_s *cfg, const char *prefix, StrHier_s *parent)
{
    def_s table[] = {{"Strings", PC_STRING_LIST, nullptr, PC_REQUIRED, 0}, {nullptr, 0, nullptr, 0, 0}};
    if (parse_config(cfg, prefix, table) != 0 || table[0].value == nullptr)
        return nullptr;

    auto **names = static_cast<char **>(table[0].value);
    const int count = table[0].n_values;
    StrHier_s *nodes = StrHierCreateNodes(count);
    if (nodes == nullptr) {
        for (int i = 0; i < count; ++i)
            std::free(names[i]);
        std::free(names);
        return nullptr;
    }

    LinkNode_s *list = nullptr;
    for (int i = 0; i < count; ++i) {
        StrHier_s &node = nodes[i];
        node.str = names[i];  // the node takes the list's copy
        node.number = i + 1;
        node.parent = parent;
        if (IsScfLeaf(node.str))
            node.GetNextItems = SCFNextItems;
        else if (gLevel == kDeepestLevel)
            node.GetNextItems = KELDNextItems;
        else
            node.GetNextItems = NURVNextItems;
        list = LinkAppend(list, &node);
    }
    std::free(names);

    if (++gLevel > kDeepestLevel) {
        --gLevel;
        return list;
    }
    for (int i = 0; i < count; ++i) {
        StrHier_s &node = nodes[i];
        if (IsScfLeaf(node.str))
            continue;
        const std::string childPrefix = ChildPrefix(prefix, node.str);
        node.sublist = aConfig(cfg, childPrefix.c_str(), &node);
    }
    --gLevel;
    return list;
}
