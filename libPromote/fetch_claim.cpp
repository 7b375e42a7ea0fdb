// The claim of a fetch on its file's marker: see FetchClaim in
// promote_int.h.
#include "promote_int.h"

#include "libdbSQL.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Makes folder and the folders above it that are missing.
bool MakeFolders(const std::string &folder)
{
    if (folder.empty() || mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0 || !MakeFolders(folder.substr(0, slash)))
        return false;
    return mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

bool Sync(const std::string &path, int flags)
{
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

flock WholeFile(short type)
{
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

}  // namespace

FetchClaim::FetchClaim(std::string file) : file_(std::move(file)), marker_(dbFetchMarker(file_))
{
    const std::size_t slash = file_.find_last_of('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : file_.substr(0, slash);
}

FetchClaim::~FetchClaim()
{
    if (fd_ >= 0)
        close(fd_);
}

FetchClaim::Outcome FetchClaim::Take(const std::function<bool()> &present, const std::function<bool()> &wait)
{
    const auto failed = [this](const char *what) {
        error_ = std::string(what) + " " + marker_ + ": " + std::strerror(errno);
        return Outcome::Failed;
    };
    for (;;) {
        bool fresh = false;
        fd_ = open(marker_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0 && errno == ENOENT) {
            // A fetch that ends well puts its file in place before its
            // marker goes.
            if (present())
                return Outcome::Done;
            fresh = true;
            fd_ = open(marker_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd_ < 0 && errno == ENOENT) {
                if (!MakeFolders(folder_))
                    return failed("cannot make the folder of the fetch marker");
                continue;
            }
            if (fd_ < 0 && errno == EEXIST)
                continue;
        }
        if (fd_ < 0)
            return failed("cannot make the fetch marker");
        flock lock = WholeFile(F_WRLCK);
        while (fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
            if (errno != EAGAIN && errno != EACCES && errno != EINTR)
                return failed("cannot lock the fetch marker");
            if (!wait()) {
                close(fd_);
                fd_ = -1;
                return Outcome::Stopped;
            }
        }
        // A fetch that ended well removed the marker locked here: its file
        // is looked at afresh.
        struct stat held {}, named {};
        const bool current = fstat(fd_, &held) == 0 && lstat(marker_.c_str(), &named) == 0 &&
                             held.st_dev == named.st_dev && held.st_ino == named.st_ino;
        if (current && !(fresh && present()))
            return fresh ? Outcome::Fresh : Outcome::Left;
        // Made just as another fetch put the file in place and went.
        if (current)
            unlink(marker_.c_str());
        close(fd_);
        fd_ = -1;
    }
}

bool FetchClaim::MakeDurable()
{
    if (fd_ >= 0 && fsync(fd_) == 0 && Sync(folder_, O_RDONLY | O_DIRECTORY))
        return true;
    error_ = "cannot write the fetch marker " + marker_ + " to the disk: " + std::strerror(errno);
    return false;
}

void FetchClaim::Remove()
{
    if (fd_ < 0)
        return;
    // The file reaches the disk before its marker goes: a power loss in
    // between leaves the marker, never a short file without one.
    Sync(file_, O_RDONLY);
    unlink(marker_.c_str());
    Sync(folder_, O_RDONLY | O_DIRECTORY);
    close(fd_);
    fd_ = -1;
}
