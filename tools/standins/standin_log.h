// The argument log of the stand-ins for outside programs: one line per run
// appended to $KOMBRA_STANDIN_LOG, the words separated by tabs, with '\',
// tab and newline escaped as \\, \t and \n.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace standin {

inline std::string Escaped(const char *word)
{
    std::string out;
    for (const char *c = word; *c != '\0'; ++c) {
        switch (*c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        default: out += *c; break;
        }
    }
    return out;
}

inline void Log(int argc, char **argv)
{
    const char *log = std::getenv("KOMBRA_STANDIN_LOG");
    if (log == nullptr)
        return;
    std::string line;
    for (int i = 0; i < argc; ++i)
        line += (i > 0 ? "\t" : "") + Escaped(argv[i]);
    line += "\n";
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        (void)!write(fd, line.data(), line.size());
        close(fd);
    }
}

}  // namespace standin
