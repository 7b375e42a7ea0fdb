// The claim of a fetch on its file's marker: see FetchClaim in
// promote_int.h.
#include "promote_int.h"

#include "libant.h"
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

// Writes a plain file or folder to the disk; anything else at the path is
// neither opened nor waited for.
bool Sync(const std::string &path, bool folder)
{
    const int fd = folder ? open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                          : OpenRegularFile(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

}  // namespace

FetchClaim::FetchClaim(std::string file) : file_(std::move(file)), marker_(file_)
{
    const std::size_t slash = file_.find_last_of('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : file_.substr(0, slash);
}

FetchClaim::Outcome FetchClaim::Take(const std::function<bool()> &present, const std::function<bool()> &wait)
{
    const std::string &path = marker_.path();
    for (;;) {
        bool fresh = false;
        DbFetchMarker::Opened opened = marker_.OpenExisting();
        if (opened == DbFetchMarker::Opened::Missing) {
            // A fetch that ends well puts its file in place before its
            // marker goes.
            if (present())
                return Outcome::Done;
            fresh = true;
            opened = marker_.Make();
            if (opened == DbFetchMarker::Opened::Missing) {
                if (!MakeFolders(folder_)) {
                    error_ = "cannot make the folder of the fetch marker " + path + ": " + std::strerror(errno);
                    return Outcome::Failed;
                }
                continue;
            }
            if (opened == DbFetchMarker::Opened::Exists)
                continue;
        }
        switch (opened) {
        case DbFetchMarker::Opened::Yes: break;
        case DbFetchMarker::Opened::Blocked:
            error_ = path + " is " + marker_.error() + ", not a fetch marker; remove it";
            return Outcome::Failed;
        case DbFetchMarker::Opened::Foreign:
            error_ = path + " is not a fetch marker of these programs; rename or remove it so that the file can be "
                            "fetched";
            return Outcome::Failed;
        default:
            error_ = "cannot open the fetch marker " + path + ": " + marker_.error();
            return Outcome::Failed;
        }
        const DbFetchMarker::Lock lock = marker_.TryLock();
        locked_ = lock == DbFetchMarker::Lock::Taken;
        // Another program's fetch, also one whose program let go of its
        // descriptors, is waited for.
        if (lock == DbFetchMarker::Lock::Busy || (!fresh && marker_.Runs())) {
            marker_.Close();
            if (!wait())
                return Outcome::Stopped;
            continue;
        }
        if (lock == DbFetchMarker::Lock::Refused)
            unlocked_ = marker_.error();
        // A fetch that ended well removed the marker opened here: its file is
        // looked at afresh.  A marker made just as another fetch put the file
        // in place and went goes again.
        if (!marker_.Current()) {
            marker_.Close();
            continue;
        }
        if (fresh && present()) {
            marker_.Remove();
            continue;
        }
        made_ = fresh;
        device_ = marker_.device();
        inode_ = marker_.inode();
        return fresh ? Outcome::Fresh : Outcome::Left;
    }
}

bool FetchClaim::MakeDurable()
{
    if (marker_.Record(0) && Sync(folder_, true))
        return true;
    error_ = "cannot write the fetch marker " + marker_.path() + " to the disk: " +
             (marker_.error().empty() ? std::strerror(errno) : marker_.error());
    return false;
}

void FetchClaim::Started(long group)
{
    // What the program records of itself tells that it runs when it lets go
    // of the marker; the program and what it starts hold the lock from now.
    marker_.Record(group);
    marker_.Close();
}

FetchClaim::Back FetchClaim::TakeBack(const std::function<bool()> &wait)
{
    for (;;) {
        if (marker_.OpenExisting() != DbFetchMarker::Opened::Yes || marker_.device() != device_ ||
            marker_.inode() != inode_) {
            marker_.Close();
            return Back::Lost;
        }
        const DbFetchMarker::Lock lock = marker_.TryLock();
        if (lock == DbFetchMarker::Lock::Busy || marker_.Runs()) {
            marker_.Close();
            if (!wait())
                return Back::Stopped;
            continue;
        }
        return marker_.Current() ? Back::Taken : Back::Lost;
    }
}

void FetchClaim::Abandon()
{
    if (made_)
        marker_.Remove();
    marker_.Close();
}

void FetchClaim::Remove()
{
    // The file reaches the disk before its marker goes: a power loss in
    // between leaves the marker, never a short file without one.
    Sync(file_, false);
    marker_.Remove();
    Sync(folder_, true);
}
