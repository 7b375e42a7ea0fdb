// Files, paths and strings of the exchange library: opening by directory,
// name and extension, removing a failed output, finding a detached header,
// home-relative paths, quotes, ISO time and number forms.
#include "kve_int.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int KvStrcpy(char *dest, const char *source, long n)
{
    const size_t len = std::strlen(source);
    if (n >= 0 && len > static_cast<size_t>(n)) {
        std::memcpy(dest, source, static_cast<size_t>(n));
        dest[n] = '\0';
    } else {
        std::memcpy(dest, source, len + 1);
    }
    return 0;
}

int KvStrcat(char *dest, const char *source, long n)
{
    const size_t at = std::strlen(dest);
    const size_t len = std::strlen(source);
    const size_t take = n >= 0 && len > static_cast<size_t>(n) ? static_cast<size_t>(n) : len;
    std::memcpy(dest + at, source, take);
    dest[at + take] = '\0';
    return 0;
}

int KvIsDivisible(long a, long b, long *quotient)
{
    if (a == 0 || b == 0 || a % b != 0)
        return 0;
    *quotient = a / b;
    return 1;
}

namespace {

std::string last_file_error;

}  // namespace

void KvClearFileError() { last_file_error.clear(); }

void KvNoteFileError(const char *what, const std::string &path, int error)
{
    last_file_error = std::string(what) + " " + path + ": " + std::strerror(error);
}

void KvNoteFileError(const char *what, const std::string &pathAndReason)
{
    last_file_error = std::string(what) + " " + pathAndReason;
}

const char *KvLastFileError(void) { return last_file_error.c_str(); }

std::string KvJoinPath(const char *dir, const char *name, const char *extn)
{
    std::string path = KvstrNULL(dir) ? "." : dir;
    if (path.back() != '/')
        path += '/';
    path += name != nullptr ? name : "";
    path += extn != nullptr ? extn : "";
    return path;
}

FILE *KvOpenFile(const char *mode, const char *dir, const char *name, const char *extn)
{
    std::string m(mode != nullptr ? mode : "r", 0, 2);
    const std::string path = KvSafePath(KvJoinPath(dir, name, extn).c_str());
    if (path.empty()) {
        KvNoteFileError("Cannot open", KvJoinPath(dir, name, extn) + ": no such home folder");
        return nullptr;
    }
    // A failed open keeps the system's reason for the path asked for.
    auto noted = [&path](FILE *fp) {
        if (fp == nullptr)
            KvNoteFileError("Cannot open", path, errno);
        return fp;
    };
    if (!m.empty() && m.back() == '-') {
        // Exclusive create: an existing file is never touched.
        m.pop_back();
        m += 'x';
        return noted(std::fopen(path.c_str(), m.c_str()));
    }
    if (!m.empty() && m[0] == 'r') {
        // Only regular files are read (never a FIFO or device): the file is
        // opened without waiting and checked before it is read, so a FIFO
        // put in its place cannot block the open.
        auto regular = [&m](const std::string &p) -> FILE * {
            const int flags = m.find('+') != std::string::npos ? O_RDWR : O_RDONLY;
            const int fd = ::open(p.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0)
                return nullptr;
            struct stat st{};
            FILE *stream = nullptr;
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
                stream = ::fdopen(fd, m.c_str());
            if (stream == nullptr) {
                ::close(fd);
                errno = S_ISREG(st.st_mode) ? errno : EINVAL;
            }
            return stream;
        };
        if (FILE *stream = regular(path))
            return stream;
        const int error = errno;
        const std::string bare = KvSafePath(KvJoinPath(dir, name, "").c_str());
        if (FILE *stream = bare.empty() ? nullptr : regular(bare))
            return stream;
        KvNoteFileError("Cannot open", path, error);
        return nullptr;
    }
    return noted(std::fopen(path.c_str(), m.c_str()));
}

int KvCloseFile(int status, const char *dir, const char *name, const char *extn, FILE *fp)
{
    if (fp != nullptr)
        std::fclose(fp);
    if (status != 0) {
        const std::string path = KvSafePath(KvJoinPath(dir, name, extn).c_str());
        if (!path.empty() && ::unlink(path.c_str()) != 0 && errno != ENOENT && *KvLastFileError() == '\0')
            KvNoteFileError("Cannot remove", path, errno);
    }
    return status;
}

char *KvFindHeader(const char *dir, KvOptions *options)
{
    const std::string d = KvstrNULL(dir) ? "." : dir;
    DIR *handle = ::opendir(d.c_str());
    if (handle == nullptr) {
        KvDisplayMessage(KvFormat("Unable to open directory \"%s\" ", d.c_str()).c_str(), options);
        return STR_NULL;
    }
    char *found = STR_NULL;
    while (const dirent *entry = ::readdir(handle)) {
        std::string name(entry->d_name, std::min<size_t>(std::strlen(entry->d_name), 2000));
        const size_t dot = name.rfind('.');
        if (dot == std::string::npos)
            continue;
        if (name.compare(dot, 4, options->EXTN_QHD) == 0) {
            found = KvNewStr(name.substr(0, dot).c_str());
            break;
        }
    }
    ::closedir(handle);
    return found;
}

char *KvUserHomeDir(const char *user)
{
    static std::string buffer;
    buffer.clear();
    if (user != nullptr) {
        struct passwd pw{};
        struct passwd *result = nullptr;
        std::string scratch(16384, '\0');
        if (getpwnam_r(user, &pw, scratch.data(), scratch.size(), &result) == 0 && result != nullptr)
            buffer = result->pw_dir;
    }
    return buffer.data();
}

char *KvSafePath(const char *path)
{
    static std::string buffer;
    const std::string p = path != nullptr ? path : "";
    if (p.empty() || p[0] != '~') {
        buffer = p;
        return buffer.data();
    }
    const size_t slash = p.find('/');
    const std::string user = p.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string home;
    if (user.empty()) {
        const char *env = std::getenv("HOME");
        home = env != nullptr ? env : "";
    } else {
        home = KvUserHomeDir(user.c_str());
    }
    if (home.empty()) {
        buffer.clear();
        return buffer.data();
    }
    buffer = home + "/";
    if (slash != std::string::npos)
        buffer += p.substr(slash + 1);
    return buffer.data();
}

char *KvStripQuotes(const char *text)
{
    std::string s = text != nullptr ? text : "";
    size_t start = s.find_first_not_of(' ');
    if (start == std::string::npos)
        return KvNewStr("");
    s.erase(0, start);
    if (s[0] != '"')
        KvCEFmsg(0, "Text string does not start with double quote", text, " ");
    else
        s.erase(0, 1);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    if (s.empty())
        return KvNewStr("");
    if (s.back() != '"')
        KvCEFmsg(0, "Text string does not end with double quote", text, " ");
    else
        s.pop_back();
    return KvNewStr(s.c_str());
}

namespace {

// Characters the line layer of the reader does not give back as they are
// (a line end ends the line; CR, FF, VT and BEL are dropped): inside quotes
// they are written as a backslash and three octal digits.
bool Escaped(char ch) { return ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v' || ch == '\a'; }

bool OctalEscapeAt(const std::string &s, size_t i)
{
    return i + 3 < s.size() && s[i] == '\\' && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
           s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7';
}

}  // namespace

bool KvTextNeedsEscapes(const std::string &text)
{
    for (const char ch : text)
        if (Escaped(ch))
            return true;
    return false;
}

bool KvTextNeedsQuotes(const std::string &text, char delim, char rec_end, bool record)
{
    if (text.empty() || text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t')
        return true;
    // At the start of a line '&' skips lines, and a record line holding '='
    // would be taken for a keyword where no header stands before it.
    if (record && (text.front() == '&' || text.find('=') != std::string::npos))
        return true;
    for (const char ch : text)
        if (ch == delim || ch == '"' || ch == '!' || ch == rec_end || Escaped(ch))
            return true;
    return false;
}

std::string KvQuoted(const std::string &text, bool escapes)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (escapes && Escaped(ch)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned>(static_cast<unsigned char>(ch)));
            out += buf;
            continue;
        }
        // A backslash that would read as the start of an escape, before
        // three octal digits, is written as an escape itself.
        if (escapes && ch == '\\' && OctalEscapeAt(text, i)) {
            out += "\\134";
            continue;
        }
        out += ch;
        if (ch == '"')
            out += '"';
    }
    return out + '"';
}

bool KvOneQuoted(const std::string &item, std::string *text, bool escapes)
{
    const size_t open = item.find_first_not_of(" \t");
    if (open == std::string::npos || item[open] != '"')
        return false;
    std::string out;
    for (size_t i = open + 1; i < item.size(); ++i) {
        if (item[i] != '"') {
            if (escapes && OctalEscapeAt(item, i)) {
                out += static_cast<char>((item[i + 1] - '0') * 64 + (item[i + 2] - '0') * 8 + (item[i + 3] - '0'));
                i += 3;
            } else {
                out += item[i];
            }
        } else if (i + 1 < item.size() && item[i + 1] == '"') {
            out += '"';
            ++i;
        } else {
            if (item.find_first_not_of(" \t\n", i + 1) != std::string::npos)
                return false;
            *text = out;
            return true;
        }
    }
    return false;
}

int KvVarExists(const KvCDFContents *c, const char *name)
{
    if (c == nullptr || c->vardata == nullptr || name == nullptr)
        return 0;
    for (long i = 0; i < c->n_vars; ++i)
        if (c->vardata[i] != nullptr && c->vardata[i]->name != nullptr && std::strcmp(c->vardata[i]->name, name) == 0)
            return 1;
    return 0;
}

int KvIsNumber(const char *text)
{
    for (const char *p = text; *p != '\0'; ++p)
        if ((*p < '0' || *p > '9') && *p != '.')
            return 0;
    return 1;
}

int KvIsISOtime(const char *text)
{
    if (text == nullptr)
        return 0;
    while (*text == ' ')
        ++text;
    const std::string s = text;
    if (s.size() < 19)
        return 0;
    const char *const stops[] = {"-", "-", " T", ":", ":", " Z"};
    size_t at = 0;
    for (int f = 0; f < 6; ++f) {
        if (at >= s.size())
            return 0;
        size_t end = s.find_first_of(stops[f], at);
        if (end == std::string::npos) {
            if (f != 5)
                return 0;
            end = s.size();
        }
        const std::string part = s.substr(at, end - at);
        if (part.empty() || !KvIsNumber(part.c_str()))
            return 0;
        at = end + 1;
    }
    return 1;
}
