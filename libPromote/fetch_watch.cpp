// The watch on the paths a fetch program may write: see FetchWatch in
// promote_int.h.
#include "promote_int.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

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

FetchWatch::FetchWatch(std::vector<std::string> paths)
{
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    lost_ = fd_ < 0;
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
            lost_ = lost_ || p.watch < 0;
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
                lost_ = true;
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

void FetchWatch::RemoveWhatTheFetchMade()
{
    Take();
    for (const Path &p : paths_) {
        dev_t device;
        ino_t inode;
        if (p.before || !Identity(p.path, device, inode))
            continue;
        if (!lost_ && p.arrival == Arrival::Renamed && device == p.device && inode == p.inode)
            continue;
        unlink(p.path.c_str());
    }
}
