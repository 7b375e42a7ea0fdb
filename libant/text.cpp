// Small helpers for lines, white space, file names and the user's
// directories.
#include "libant.h"

#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

char *mfgets(char *buf, int n, FILE *stream)
{
    if (std::fgets(buf, n, stream) == nullptr)
        return nullptr;
    const size_t len = std::strlen(buf);
    if (len > 0 && buf[len - 1] == '\n')
        buf[len - 1] = '\0';
    return buf;
}

char *strlast(const char *s)
{
    if (s == nullptr || *s == '\0')
        return nullptr;
    return const_cast<char *>(s + std::strlen(s) - 1);
}

namespace {
bool IsWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

char *PastWhite(const char *s)
{
    if (s == nullptr)
        return nullptr;
    while (*s != '\0' && IsWhite(*s))
        ++s;
    return const_cast<char *>(s);
}

int IndentOf(const char *line)
{
    if (line == nullptr)
        return 0;
    int indent = 0;
    for (; *line == ' ' || *line == '\t'; ++line)
        indent += *line == '\t' ? 8 : 1;
    return indent;
}

char *BasenameOf(const char *path)
{
    if (path == nullptr)
        return nullptr;
    const char *slash = std::strrchr(path, '/');
    return const_cast<char *>(slash ? slash + 1 : path);
}

namespace {

// Copies src into a fixed static buffer, cutting it to the buffer's size.
template <size_t N>
char *CopyBounded(char (&dst)[N], const char *src)
{
    std::strncpy(dst, src, N - 1);
    dst[N - 1] = '\0';
    return dst;
}

}  // namespace

char *GetTempDirectory(void)
{
    static char dir[255];
    const char *temp = std::getenv("TEMP");
    return CopyBounded(dir, temp ? temp : "/tmp");
}

char *GetUserName(void)
{
    static char name[30];
    CopyBounded(name, "unknown");
    if (const char *user = std::getenv("USER")) {
        CopyBounded(name, user);
    } else if (const passwd *pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        CopyBounded(name, pw->pw_name);
    }
    return name;
}

char *GetHomeDirectory(void)
{
    if (char *home = std::getenv("HOME"))
        return home;
    if (const passwd *pw = getpwuid(getuid()); pw != nullptr)
        return pw->pw_dir;
    return nullptr;
}

void kombra_assert_fail(const char *expr, const char *file, unsigned line, const char *function)
{
    std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name, file, line,
                 function, expr);
    std::fflush(stderr);
    std::abort();
}
