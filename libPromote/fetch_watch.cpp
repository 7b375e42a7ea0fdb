// The watch on the paths a fetch program may write: see FetchWatch in
// promote_int.h.
#include "promote_int.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

bool g_watch_fails = false;

namespace {

// Why a watch could not be set, in the words of the limits it met.
std::string WatchFailure(int error)
{
    switch (error) {
    case ENOSPC: return "the limit of inotify watches is reached";
    case EMFILE: return "the limit of inotify instances is reached";
    default: return std::strerror(error);
    }
}

bool Identity(const std::string &path, dev_t &device, ino_t &inode)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

}  // namespace

void FetchWatch::Lose(const std::string &why)
{
    if (lostWhy_.empty())
        lostWhy_ = why;
}

FetchWatch::FetchWatch(std::vector<std::string> paths)
{
    fd_ = g_watch_fails ? (errno = ENOSPC, -1) : inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        Lose(WatchFailure(errno));
    for (std::string &path : paths) {
        Path p;
        const std::size_t slash = path.rfind('/');
        p.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        p.name = slash == std::string::npos ? path : path.substr(slash + 1);
        p.path = std::move(path);
        dev_t device;
        ino_t inode;
        p.before = Identity(p.path, device, inode);
        if (fd_ >= 0) {
            // Every arrival and departure of a name in the folder; a folder
            // watched twice answers with the same descriptor.
            p.watch = inotify_add_watch(fd_, p.folder.c_str(),
                                        IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR);
            if (p.watch < 0)
                Lose(WatchFailure(errno));
        }
        paths_.push_back(std::move(p));
    }
}

FetchWatch::~FetchWatch()
{
    if (fd_ >= 0)
        close(fd_);
}

void FetchWatch::Take()
{
    if (fd_ < 0)
        return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char *name = buffer + at + sizeof event;
            at += static_cast<ssize_t>(sizeof event + event.len);
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                Lose("notifications were lost");
                continue;
            }
            if (event.len == 0 || at > n)
                continue;
            for (Path &p : paths_) {
                if (p.watch != event.wd || std::strncmp(name, p.name.c_str(), event.len) != 0 ||
                    p.name.size() >= event.len)
                    continue;
                // The file is looked at as the notification is read; a later
                // arrival brings its own notification.
                if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 && Identity(p.path, p.device, p.inode))
                    p.arrival = (event.mask & IN_MOVED_TO) != 0 ? Arrival::Renamed : Arrival::Made;
                else
                    p.arrival = Arrival::None;
            }
        }
    }
}

std::vector<std::string> FetchWatch::RemoveWhatTheFetchMade(const std::function<bool(const std::string &)> &whole)
{
    Take();
    std::vector<std::string> kept;
    for (const Path &p : paths_) {
        dev_t device;
        ino_t inode;
        if (!Identity(p.path, device, inode))
            continue;
        // Made here while the fetch ran and not whole: what the fetch wrote.
        // Another process putting the file in place puts it whole.
        const bool own = lostWhy_.empty() && !p.before && p.arrival == Arrival::Made && device == p.device &&
                         inode == p.inode && !whole(p.path);
        if (own)
            unlink(p.path.c_str());
        else
            kept.push_back(p.path);
    }
    return kept;
}
