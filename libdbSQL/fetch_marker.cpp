// Files whose fetch has not ended: the marker a fetch keeps beside its file,
// what it says, the lock it is held by and the fetch it records.
#include "libdbSQL.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <utility>

namespace {

// A marker's first line.  A marker of an earlier version of the programs is
// empty, and so is one whose program ended just after it made it.
constexpr char kFirstLine[] = "KOMBRA fetch marker\n";
// What is read of a marker at most: its two lines are far shorter.
constexpr std::size_t kMarkerBytes = 4096;

int g_refused = 0;

// What is at a path that is no plain file, for a line.
std::string KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "no plain file";
}

// This boot's identity: a process id and start time name one process only
// until the machine starts again.
std::string BootId()
{
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

// A process's start (clock ticks after boot) and process group, from the
// fields after the command name of /proc/<pid>/stat.
struct ProcessStat {
    unsigned long long start = 0;
    long group = 0;
};

std::optional<ProcessStat> StatOf(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::nullopt;
    const std::size_t paren = line.rfind(')');
    if (paren == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(paren + 1));
    std::string field;
    ProcessStat st;
    // State is field 3, the process group 5 and the start 22.
    for (int n = 3; n <= 22 && fields >> field; ++n) {
        if (n == 5)
            st.group = std::strtol(field.c_str(), nullptr, 10);
        if (n == 22)
            st.start = std::strtoull(field.c_str(), nullptr, 10);
    }
    return fields ? std::optional(st) : std::nullopt;
}

// Whether a process group has a member (zombies count until reaped).
bool GroupExists(long group)
{
    return group > 0 && (kill(static_cast<pid_t>(-group), 0) == 0 || errno == EPERM);
}

// Whether the fetch a marker's text records still runs: its process group
// has a member, and its leader, when still there, is the process recorded
// (a process id is not given again while a group of that id lives).
bool RecordedRuns(const std::string &text, long *recorded = nullptr)
{
    if (text.size() < sizeof kFirstLine - 1)
        return false;
    std::istringstream in(text.substr(sizeof kFirstLine - 1));
    std::string word, boot;
    long group = 0;
    unsigned long long start = 0;
    if (!(in >> word) || word != "group" || !(in >> group) || !(in >> word) || word != "start" || !(in >> start) ||
        !(in >> word) || word != "boot" || !(in >> boot))
        return false;
    if (boot != BootId() || !GroupExists(group))
        return false;
    const std::optional<ProcessStat> leader = StatOf(group);
    if (recorded != nullptr)
        *recorded = group;
    return !leader || leader->start == start;
}

// Reads what a marker holds, from its start.
bool ReadAll(int fd, std::string &text)
{
    text.assign(kMarkerBytes, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return true;
}

bool Ours(const std::string &text)
{
    return text.empty() || text.compare(0, sizeof kFirstLine - 1, kFirstLine) == 0;
}

struct flock WholeFile(short type)
{
    struct flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

// The open file description lock, unless refused here (for tests too).
int OfdLock(int fd, int command, struct flock &lock)
{
    if (g_refused >= 1) {
        errno = EINVAL;
        return -1;
    }
    return fcntl(fd, command, &lock);
}

int Flock(int fd, int operation)
{
    if (g_refused >= 2) {
        errno = ENOLCK;
        return -1;
    }
    return flock(fd, operation);
}

bool Refusal(int error)
{
    return error == EINVAL || error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

// Whether another open file description holds a lock of either kind on
// the file open at fd.
bool HeldByAnother(int fd)
{
    struct flock lock = WholeFile(F_WRLCK);
    if (OfdLock(fd, F_OFD_GETLK, lock) == 0 && lock.l_type != F_UNLCK)
        return true;
    if (Flock(fd, LOCK_SH | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    Flock(fd, LOCK_UN);
    return false;
}

}  // namespace

std::string dbFetchMarker(const std::string &file)
{
    return file + ".fetch";
}

DbFetchLook dbFetchLook(const std::string &file)
{
    const std::string marker = dbFetchMarker(file);
    struct stat st {};
    if (lstat(marker.c_str(), &st) != 0)
        return errno == ENOENT ? DbFetchLook{} : DbFetchLook{DbFetchState::Unknown, std::strerror(errno)};
    if (!S_ISREG(st.st_mode))
        return {DbFetchState::Blocked, KindOf(st.st_mode)};
    DbFetchMarker open(file);
    switch (open.OpenExisting()) {
    case DbFetchMarker::Opened::Yes: break;
    case DbFetchMarker::Opened::Missing: return {};
    case DbFetchMarker::Opened::Blocked: return {DbFetchState::Blocked, open.error()};
    case DbFetchMarker::Opened::Foreign: return {DbFetchState::Foreign, {}};
    case DbFetchMarker::Opened::Exists:
    case DbFetchMarker::Opened::Failed: return {DbFetchState::Unknown, open.error()};
    }
    // Any lock of another open file description on it (this process's own
    // running fetch included) says that the fetch runs, and so does the
    // fetch it records.
    if (HeldByAnother(open.fd()) || open.Runs())
        return {DbFetchState::Running, {}};
    return {DbFetchState::Unfinished, {}};
}

DbFetchState dbFetchState(const std::string &file)
{
    return dbFetchLook(file).state;
}

void dbSetFetchLocks(int refused)
{
    g_refused = refused;
}

// ---- DbFetchMarker -------------------------------------------------------------

DbFetchMarker::DbFetchMarker(std::string file) : file_(std::move(file)), path_(dbFetchMarker(file_)) {}

DbFetchMarker::~DbFetchMarker()
{
    Close();
}

void DbFetchMarker::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

DbFetchMarker::Opened DbFetchMarker::OpenExisting()
{
    Close();
    // Never followed nor waited for: a link, a FIFO or a device there is
    // refused as it is.
    int fd;
    do {
        fd = open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        if (error == ENOENT)
            return Opened::Missing;
        if (lstat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            error_ = KindOf(st.st_mode);
            return Opened::Blocked;
        }
        error_ = std::strerror(error);
        return Opened::Failed;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = st.st_mode != 0 ? KindOf(st.st_mode) : std::strerror(errno);
        close(fd);
        return st.st_mode != 0 ? Opened::Blocked : Opened::Failed;
    }
    fd_ = fd;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    std::string text;
    if (!ReadAll(fd_, text)) {
        error_ = std::strerror(errno);
        Close();
        return Opened::Failed;
    }
    if (!Ours(text)) {
        Close();
        return Opened::Foreign;
    }
    return Opened::Yes;
}

DbFetchMarker::Opened DbFetchMarker::Make()
{
    Close();
    const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return Opened::Exists;
        if (errno == ENOENT)
            return Opened::Missing;
        error_ = std::strerror(errno);
        return Opened::Failed;
    }
    struct stat st {};
    fstat(fd, &st);
    fd_ = fd;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return Opened::Yes;
}

DbFetchMarker::Lock DbFetchMarker::TryLock()
{
    if (fd_ < 0) {
        error_ = std::strerror(EBADF);
        return Lock::Refused;
    }
    for (;;) {
        struct flock lock = WholeFile(F_WRLCK);
        if (OfdLock(fd_, F_OFD_SETLK, lock) == 0)
            return Lock::Taken;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return Lock::Busy;
        if (!Refusal(errno)) {
            error_ = std::strerror(errno);
            return Lock::Refused;
        }
        break;
    }
    // Where open file description locks are refused, a lock of the whole
    // open file (flock) is inherited and let go the same way.
    for (;;) {
        if (Flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return Lock::Taken;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return Lock::Busy;
        error_ = std::strerror(errno);
        return Lock::Refused;
    }
}

bool DbFetchMarker::Current() const
{
    struct stat named {};
    return fd_ >= 0 && lstat(path_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
}

bool DbFetchMarker::Runs() const
{
    std::string text;
    return fd_ >= 0 && ReadAll(fd_, text) && Ours(text) && !text.empty() && RecordedRuns(text);
}

bool DbFetchMarker::Record(long group)
{
    std::string text = kFirstLine;
    if (group > 0) {
        const std::optional<ProcessStat> leader = StatOf(group);
        text += "group " + std::to_string(group) + " start " + std::to_string(leader ? leader->start : 0) +
                " boot " + BootId() + "\n";
    }
    recorded_ = text;
    if (fd_ < 0 || pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ftruncate(fd_, static_cast<off_t>(text.size())) != 0 || fsync(fd_) != 0) {
        error_ = std::strerror(fd_ < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

void DbFetchMarker::Signal(int sig) const
{
    long group = 0;
    if (RecordedRuns(recorded_, &group))
        kill(static_cast<pid_t>(-group), sig);
}

void DbFetchMarker::Remove()
{
    if (Current())
        unlink(path_.c_str());
    Close();
}
