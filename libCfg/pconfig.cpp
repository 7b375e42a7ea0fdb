// The configuration reader: input (file, stdin or preprocessor pipe),
// logical lines, tokens, the symbol table and the keyword-table filler.
#include "pconfig_int.h"
#include "libant.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kPiece = 256;  // physical lines are read in pieces of 255 characters

// An open input: a file, the standard input or a preprocessor pipe.
struct Input {
    FILE *fp = nullptr;
    bool pipe = false;
};

// Quotes text for the shell so that it stays one word whatever it holds.
std::string ShellQuote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

bool pc_open_input(const char *path, int preprocess, Input &in)
{
    if (preprocess) {
        // The one pipe through a shell: PC_PP and PC_PPOPTS are the user's
        // own command line for the preprocessor (a program and its options,
        // split as the user wrote them, as the configuration files have
        // always been read); the file name is the only word of ours in it.
        const char *pp = GetEnv("PC_PP");
        const char *opts = GetEnv("PC_PPOPTS");
        std::string command = pp ? pp : "/usr/lib/cpp -P -Y.";
        command += ' ';
        command += opts ? opts : " ";
        command += ' ';
        // The path is one quoted word: blanks, quotes or ';' in a file name
        // never reach the shell as syntax, and a leading '-' never reaches
        // the preprocessor as an option.
        if (path == nullptr)
            command += "-";
        else
            command += ShellQuote(path[0] == '-' ? std::string("./") + path : std::string(path));
        // The preprocessor reads the file itself: it must be a regular file,
        // or the preprocessor would wait on a FIFO or read a device for ever.
        if (path != nullptr) {
            const int fd = OpenRegularFile(path, O_RDONLY);
            if (fd < 0) {
                std::fprintf(stderr, "open_config.pc_open_input.popen: %s\n", OpenErrorText(errno));
                return false;
            }
            close(fd);
        }
        std::fflush(nullptr);
        in.fp = popen(command.c_str(), "r");
        if (in.fp == nullptr) {
            std::perror("open_config.pc_open_input.popen");
            return false;
        }
        in.pipe = true;
        return true;
    }
    if (path == nullptr || *path == '\0' || *path == '-') {
        in.fp = stdin;
        return true;
    }
    in.fp = FopenRegularFile(path, "r");
    if (in.fp == nullptr) {
        const int error = errno;
        std::fprintf(stderr, "open_config.pc_open_input.fopen: %s\n", OpenErrorText(error));
        errno = error;
        return false;
    }
    return true;
}

// Closes the input; false when a preprocessor did not finish cleanly, so
// that its partial or empty output is not taken for the file.
bool pc_close_input(Input &in)
{
    if (in.fp == nullptr || in.fp == stdin)
        return true;
    if (in.pipe) {
        const int status = pclose(in.fp);
        in.fp = nullptr;
        if (status == -1) {
            std::perror("open_config.pc_close_input.pclose");
            return false;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "open_config.pc_close_input: preprocessor failed (status %d)\n",
                         WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            return false;
        }
        return true;
    }
    std::fclose(in.fp);
    in.fp = nullptr;
    return true;
}

// Reads one logical line into line: physical lines joined where they end in
// a backslash before the newline (or before a carriage return).  The newline
// is never kept.  False when no line is left.
bool pc_get_line(FILE *in, std::string &line)
{
    line.clear();
    size_t physicalStart = 0;
    char piece[kPiece];
    while (std::fgets(piece, sizeof piece, in) != nullptr) {
        size_t n = std::strlen(piece);
        if (n == 0 || piece[n - 1] != '\n') {
            line.append(piece, n);  // a long line or the last line of the file
            continue;
        }
        line.append(piece, n - 1);
        const size_t len = line.size();
        if (len > physicalStart && line[len - 1] == '\\') {
            line.resize(len - 1);
        } else if (len > physicalStart + 1 && line[len - 1] == '\r' && line[len - 2] == '\\') {
            line.resize(len - 2);
        } else {
            return true;
        }
        physicalStart = line.size();
    }
    return !line.empty();
}

bool IsWhite(unsigned char c)
{
    return std::isspace(c) != 0;
}

enum Tokens { kEnd = -1, kNothing = 0, kError = 1, kPair = 2 };

// Splits one logical line into name and value.
int pc_get_tokens(const std::string &line, std::string &name, std::string &value)
{
    const char *p = line.c_str();
    while (*p != '\0' && IsWhite(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0' || *p == '#')
        return kNothing;

    const char *start = p;
    while (*p != '\0' && (std::isalnum(static_cast<unsigned char>(*p)) || std::ispunct(static_cast<unsigned char>(*p))))
        ++p;
    if (*p == '\0' || !IsWhite(static_cast<unsigned char>(*p))) {
        std::fputs("open_config.pc_get_tokens: ", stderr);
        std::fputs("Non-whitespace terminating name field\n", stderr);
        std::fprintf(stderr, "---->%s\n", line.c_str());
        return kNothing;
    }
    name.assign(start, p);

    while (*p != '\0' && IsWhite(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0' || *p == '#') {
        std::fputs("open_config.pc_get_tokens: ", stderr);
        std::fputs("No parameter value field found\n", stderr);
        std::fprintf(stderr, "---->%s\n", line.c_str());
        return kError;
    }

    const char *vstart = p;
    while (*p != '\0' && !(*p == '#' && p[-1] != '\\'))
        ++p;
    const char *vend = p;
    while (vend > vstart && IsWhite(static_cast<unsigned char>(vend[-1])))
        --vend;
    value.assign(vstart, vend);
    return kPair;
}

size_t Bucket(const std::string &name)
{
    return static_cast<unsigned char>(name.empty() ? 0 : name[0]) % 128;
}

void pc_add_symbol(config_s &cfg, std::string name, std::string value)
{
    auto &bucket = cfg.symbols[Bucket(name)];
    if (bucket.size() == bucket.capacity())
        bucket.reserve(bucket.size() + 10);
    bucket.push_back(symb_s{0, std::move(name), std::move(value)});
}

void pc_load_config(FILE *in, config_s &cfg)
{
    std::string line, name, value;
    while (pc_get_line(in, line)) {
        if (pc_get_tokens(line, name, value) == kPair)
            pc_add_symbol(cfg, name, value);
    }
}

// An empty table; null when memory runs out.
config_s *pc_create_config()
{
    return new (std::nothrow) config_s;
}

// Frees every symbol and bucket and the table itself.
void pc_destroy_config(config_s *cfg)
{
    delete cfg;
}

}  // namespace

config_s *open_config(const char *path, int preprocess)
{
    Input in;
    if (!pc_open_input(path, preprocess, in))
        return nullptr;
    config_s *cfg = pc_create_config();
    if (cfg == nullptr) {
        std::perror("open_config.pc_create_config.calloc");
        pc_close_input(in);
        return nullptr;
    }
    try {
        pc_load_config(in.fp, *cfg);
    } catch (const std::bad_alloc &) {
        std::perror("open_config.pc_add_symbol.pc_grow");
        pc_destroy_config(cfg);
        pc_close_input(in);
        return nullptr;
    }
    if (!pc_close_input(in)) {
        pc_destroy_config(cfg);
        return nullptr;
    }
    return cfg;
}

int close_config(config_s *cfg)
{
    pc_destroy_config(cfg);
    return 0;
}

char *get_symbol(config_s *cfg, const char *name)
{
    if (cfg == nullptr || name == nullptr)
        return nullptr;
    const std::string key(name);
    for (symb_s &sym : cfg->symbols[Bucket(key)]) {
        if (sym.referenced == 0 && sym.param == key) {
            sym.referenced = 1;
            return sym.value.data();
        }
    }
    return nullptr;
}

void refresh_config(config_s *cfg)
{
    if (cfg == nullptr)
        return;
    for (auto &bucket : cfg->symbols)
        for (symb_s &sym : bucket)
            sym.referenced = 0;
}

namespace {

int ParseTable(config_s *cfg, const char *prefix, def_s *table)
{
    int result = 0;
    bool reportedMissing = false;
    for (def_s *entry = table; entry != nullptr && entry->param != nullptr; ++entry) {
        if (entry->required < 0)
            continue;
        const std::string key = std::string(prefix ? prefix : "") + entry->param;
        if (const char *text = get_symbol(cfg, key.c_str())) {
            process_symbol(*entry, entry->param, text);
        } else if (entry->required == PC_REQUIRED) {
            if (!reportedMissing)
                std::fputs("parse_config: undefined symbol(s)\n", stderr);
            reportedMissing = true;
            std::fprintf(stderr, "\t%s\n", key.c_str());
            result = -1;
        }
    }
    return result;
}

}  // namespace

int parse_config(config_s *cfg, const char *prefix, def_s *table)
{
    try {
        return ParseTable(cfg, prefix, table);
    } catch (const std::bad_alloc &) {
        std::fputs("parse_config: out of memory\n", stderr);
        return -1;
    }
}
