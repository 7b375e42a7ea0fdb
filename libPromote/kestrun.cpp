// The progress window (Kestrun): started once per user, reached over TCP on
// the loopback address at the port kept in the user's port file in the
// temporary folder, and sent one plain line per step of a promotion.
//
// The port file appears whole or not at all (written to a private file and
// linked into place), so two processes starting at once agree on one
// window; an existing port file is used only when it is a regular file of
// this user that nobody else may write, and only a port of 1 to 65535 is
// taken from it.  The program is started with an argument list; a start
// that fails removes the port file, so no later request waits on a window
// that will never come.  Writes never raise SIGPIPE.
#include "Promote.h"

#include "libant.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr int kDefaultPort = 11012;
constexpr int kPortBytes = 10;

std::mutex g_start;
int g_wait_msec = 2000;

void Wait()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(g_wait_msec));
}

std::string PortFileName()
{
    return std::string(GetTempDirectory()) + "/" + GetUserName() + ".NamedPipe";
}

// A port in text: digits, then a newline or nothing.
std::optional<int> ParsePort(const char *text, size_t size)
{
    int port = 0;
    const auto [end, error] = std::from_chars(text, text + size, port);
    if (error != std::errc() || end == text || port < 1 || port > 65535)
        return std::nullopt;
    const size_t rest = static_cast<size_t>(text + size - end);
    if (rest > 1 || (rest == 1 && *end != '\n'))
        return std::nullopt;
    return port;
}

enum class PortFile { Absent, Port, Unsafe, Unreadable };

// The port of an existing port file.
PortFile ReadPortFile(const std::string &name, int &port)
{
    const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? PortFile::Absent : PortFile::Unsafe;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        close(fd);
        return PortFile::Unsafe;
    }
    char text[kPortBytes + 1] = {};
    const ssize_t n = read(fd, text, kPortBytes + 1);
    close(fd);
    if (n <= 0 || n > kPortBytes)
        return PortFile::Unreadable;
    const auto parsed = ParsePort(text, static_cast<size_t>(n));
    if (!parsed)
        return PortFile::Unreadable;
    port = *parsed;
    return PortFile::Port;
}

// Writes the port file whole: a private file linked into place.  1 written,
// 0 another process wrote it first, -1 failure.
int WritePortFile(const std::string &name, int port)
{
    std::string tmp = name + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0)
        return -1;
    fchmod(fd, 0600);
    const std::string text = std::to_string(port) + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    int result = -1;
    if (written)
        result = link(tmp.c_str(), name.c_str()) == 0 ? 1 : (errno == EEXIST ? 0 : -1);
    unlink(tmp.c_str());
    return result;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Asks a window listening on the default port which port to use: its reply
// (up to 10 bytes, at most 2 s), else the default.  -1 when no socket.
int ProbePort()
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    int port = kDefaultPort;
    const sockaddr_in address = Loopback(kDefaultPort);
    if (connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        pollfd p{s, POLLIN, 0};
        char reply[kPortBytes] = {};
        if (poll(&p, 1, 2000) == 1) {
            const ssize_t n = recv(s, reply, sizeof reply, 0);
            if (n > 0) {
                // The reply may end in a newline or not.
                size_t size = static_cast<size_t>(n);
                while (size > 0 && (reply[size - 1] == '\n' || reply[size - 1] == '\r' || reply[size - 1] == '\0'))
                    --size;
                if (const auto parsed = ParsePort(reply, size))
                    port = *parsed;
            }
        }
    } else {
        perror("KESTRUN - connect1");
    }
    close(s);
    return port;
}

// Starts program in the background, detached (no child left to wait for).
// False when it could not be run.
bool StartDetached(const std::string &program)
{
    std::string name = BasenameOf(program.c_str());
    char *argv[] = {name.data(), nullptr};
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        close(report[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0)
            _exit(grandchild < 0 ? 1 : 0);
        execv(program.c_str(), argv);
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n > 0) {
        errno = error;
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void pro_SetKestrunWait(int msec)
{
    g_wait_msec = msec < 0 ? 0 : msec;
}

int _StartKestrun()
{
    const std::lock_guard<std::mutex> lock(g_start);
    const std::string name = PortFileName();
    int port = kDefaultPort;
    PortFile found = ReadPortFile(name, port);
    if (found == PortFile::Absent) {
        signal(SIGPIPE, SIG_IGN);
        port = ProbePort();
        if (port < 0) {
            std::fprintf(stderr, "Error creating the sockets!\n");
            return -1;
        }
        const int written = WritePortFile(name, port);
        if (written == 0) {
            found = ReadPortFile(name, port);  // another process is starting the window
        } else {
            const char *home = GetEnv("KOMBRA_HOME");
            const std::string program = std::string(home != nullptr ? home : "") + "/bin/Kestrun";
            errno = home == nullptr ? ENOENT : 0;
            if (written < 0 || home == nullptr || !StartDetached(program)) {
                std::fprintf(stderr, "ERROR - Couldn't execute Kestrun\n");
                perror("KESTRUN");
                unlink(name.c_str());
                return 0;
            }
            found = PortFile::Port;
        }
    }
    if (found == PortFile::Unsafe) {
        std::fprintf(stderr, "KESTRUN - %s is not this user's own port file; no progress window\n", name.c_str());
        return 0;
    }
    if (found == PortFile::Unreadable) {
        std::fprintf(stderr, "KESTRUN - %s holds no port; no progress window\n", name.c_str());
        return 0;
    }

    const sockaddr_in address = Loopback(port);
    Wait();
    int s = 0;
    for (int attempt = 1; attempt <= 5; ++attempt) {
        s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (s < 0) {
            perror("KESTRUN - socket");
            s = 0;
        } else if (connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
            break;
        } else {
            perror("KESTRUN - connect");
            if (errno == EADDRNOTAVAIL)
                break;
            close(s);
            s = 0;
        }
        std::fprintf(stderr, "Attempt %d failed...\n", attempt);
        if (attempt < 5)
            Wait();
    }
    return s;
}

void Promote::InitializeKestrun(int count)
{
    if (_XStatus != ON)
        return;
    const int fd = _StartKestrun();
    _PipeFD = fd > 0 ? fd : 0;
    char line[32];
    std::snprintf(line, sizeof line, "PercentSetup %3d\n", count);
    WritePipeMessage(line);
}

void Promote::WritePipeMessage(const char *text)
{
    if (_PipeFD <= 0 || _XStatus != ON || text == nullptr)
        return;
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = send(_PipeFD, text, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

void Promote::CloseKestrun()
{
    if (_XStatus != ON)
        return;
    if (_PipeFD > 0)
        close(_PipeFD);
    _PipeFD = 0;
}
