// The kombra.cfg table and GetEnv: settings looked up in the environment
// first, then in the name = "value" lines of kombra.cfg.
#include "libant.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

cfgEntry *cfgData[KOMBRA_CFG_MAX + 1];
int numRead = 0;

namespace {

constexpr int kLineBuffer = 1024;  // kombra.cfg lines hold at most 1023 characters

void StoreEntry(const std::string &var, const std::string &value)
{
    auto *entry = static_cast<cfgEntry *>(std::calloc(1, sizeof(cfgEntry)));
    if (entry == nullptr)
        return;
    entry->var = strdup(var.c_str());
    entry->value = strdup(value.c_str());
    if (entry->var == nullptr || entry->value == nullptr) {
        std::free(entry->var);
        std::free(entry->value);
        std::free(entry);
        return;
    }
    cfgData[numRead++] = entry;
}

// Reads one physical line of at most kLineBuffer-1 characters; a longer line
// is handled in pieces, as fgets would.
bool ReadLine(FILE *in, std::string &line)
{
    char buf[kLineBuffer];
    if (std::fgets(buf, sizeof buf, in) == nullptr)
        return false;
    line.assign(buf);
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return true;
}

}  // namespace

void InitKOMBRACfg(const char *path)
{
    if (numRead != 0)
        return;

    bool namesConfig = false;
    if (FILE *in = path ? FopenRegularFile(path, "r") : nullptr) {
        std::string line;
        while (numRead < KOMBRA_CFG_MAX && ReadLine(in, line)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos) {
                std::fputs("Error reading kombra.cfg file - No equal sign!\n", stderr);
                continue;
            }
            const std::string name = line.substr(0, eq);
            if (name == "KOMBRA_CONFIG")
                namesConfig = true;
            const auto open = line.find('"', eq + 1);
            if (open == std::string::npos) {
                std::fputs("Error reading kombra.cfg file - no leading quote!\n", stderr);
                continue;
            }
            const auto close = line.rfind('"');
            if (close == open) {
                std::fputs("Error reading kombra.cfg file - no trailing quote!\n", stderr);
                continue;
            }
            StoreEntry(name, line.substr(open + 1, close - open - 1));
        }
        std::fclose(in);
    }

    // Without a line of its own, the configuration folder defaults to
    // $KOMBRA_HOME/config.  The table keeps a spare slot for this entry; with
    // no KOMBRA_HOME anywhere there is no base folder and nothing is stored.
    if (!namesConfig) {
        if (const char *home = GetEnv("KOMBRA_HOME"))
            StoreEntry("KOMBRA_CONFIG", std::string(home) + "/config");
    }
}

char *GetEnv(const char *name)
{
    if (name == nullptr)
        return nullptr;
    if (char *env = std::getenv(name))
        return env;
    for (int i = 0; i < numRead; ++i)
        if (std::strcmp(cfgData[i]->var, name) == 0)
            return cfgData[i]->value;
    return nullptr;
}

void FreeKOMBRACfg(void)
{
    for (int i = 0; i < numRead; ++i) {
        std::free(cfgData[i]->var);
        std::free(cfgData[i]->value);
        std::free(cfgData[i]);
        cfgData[i] = nullptr;
    }
    numRead = 0;
}
