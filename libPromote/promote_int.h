// Internals of promotion shared by its sources.
#pragma once

// The columns of a catalog entries table (v_entries, hd_entries), in order.
inline constexpr const char *kEntryColumns[] = {"data_key", "b_yr",   "b_day", "b_msec",        "e_yr",
                                                "e_day",    "e_msec", "size",  "archive_label", "archive_date"};

#include "libdbSQL.h"

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a fetch program did to the paths it may write an entry to, followed
// through the change notifications of their folders while it runs: which
// file arrived at each path last, and whether it was made there (written in
// place, perhaps in part) or renamed there whole.  After a failed fetch only
// a file known to be the fetch's own is removed: one made in place while it
// ran that is not whole.  A file there before, one renamed into place, one
// made whole (another process may have copied it in), and any file when the
// folder could not be watched may be another's, and stay.
class FetchWatch {
public:
    // Starts watching; the paths' folders need to exist for it.
    explicit FetchWatch(std::vector<std::string> paths);
    ~FetchWatch();
    FetchWatch(const FetchWatch &) = delete;
    FetchWatch &operator=(const FetchWatch &) = delete;

    // Takes in the notifications that came since the last call.
    void Take();
    // After a failed fetch: removes each file known to be the fetch's own,
    // whole telling whether a path's file is whole.  The files kept.
    std::vector<std::string> RemoveWhatTheFetchMade(const std::function<bool(const std::string &)> &whole);
    // Why the paths could not be watched (the whole time), "" when they were.
    const std::string &lost() const { return lostWhy_; }

private:
    enum class Arrival { None, Made, Renamed };
    struct Path {
        std::string path, folder, name;
        bool before = false;
        int watch = -1;
        Arrival arrival = Arrival::None;
        dev_t device = 0;  // of the file when it arrived
        ino_t inode = 0;
    };
    void Lose(const std::string &why);
    std::vector<Path> paths_;
    int fd_ = -1;
    std::string lostWhy_;  // notifications were lost or could not be had
};

// Test hook: the watch of a fetch's folders cannot be set, as when the
// inotify limits are reached (pro_SetWatchFails).
extern bool g_watch_fails;

// The marker of a fetch of one file (dbFetchMarker), claimed by this
// program for the length of the fetch.  The claim is a lock on the marker,
// which the fetch program inherits; once the program runs, this program lets
// go of its own hold (Started), so that the lock holds exactly while the
// program or anything it started keeps it, also past the end of this
// program, and the marker records the program's process group for a fetch
// that lets go of its descriptors.  Where no lock can be had the fetch runs
// on the record alone (unlocked()).
class FetchClaim {
public:
    enum class Outcome {
        Done,     // the file is there and no fetch of it runs: no claim made
        Fresh,    // no fetch of the file was under way or unfinished: made anew
        Left,     // a fetch of it began and did not end well: taken over
        Stopped,  // the wait for another fetch of it ended (wait's outcome)
        Failed    // the marker could not be made, is no marker of the
                  // programs, or could not be opened (error())
    };
    enum class Back { Taken, Stopped, Lost };
    explicit FetchClaim(std::string file);
    FetchClaim(const FetchClaim &) = delete;
    FetchClaim &operator=(const FetchClaim &) = delete;

    // Takes the marker there, or, where there is none and the file is not
    // there (present), makes one (and the file's missing folders).  While
    // another fetch of the file holds it or runs, wait is called every few
    // hundredths of a second; a false from it gives up (Stopped).  A marker
    // is made only for a fetch to come: one made as another fetch of the
    // file ended well goes again at once, so that a reader of that program
    // never meets it.  A marker made here goes again when the claim fails.
    Outcome Take(const std::function<bool()> &present, const std::function<bool()> &wait);
    // The descriptor the fetch program inherits, -1 when unlocked.
    int Inherited() const { return locked_ ? marker_.fd() : -1; }
    // Why no lock could be taken, "" when it was.
    const std::string &unlocked() const { return unlocked_; }
    // Writes the marker and its folder entry to the disk before the fetch
    // begins, so that a power loss during the fetch leaves it; false with
    // error() when that fails.
    bool MakeDurable();
    // The fetch program runs as process group group: recorded, and this
    // program's hold let go.
    void Started(long group);
    // After the fetch program ended: takes the marker back once nothing it
    // started holds it or runs, calling wait meanwhile (a false from it
    // gives up: Stopped); Lost when the marker is no longer the one made.
    Back TakeBack(const std::function<bool()> &wait);
    // The fetch ended well and its file is whole: removes the marker (the
    // file itself written to the disk first) and lets the claim go.
    void Remove();
    // The fetch does not begin: a marker made here goes, one taken over stays.
    void Abandon();
    // Sends sig to the fetch program's process group while it is still
    // the one recorded.
    void Signal(int sig) const { marker_.Signal(sig); }
    const std::string &error() const { return error_; }

private:
    std::string file_, folder_, error_, unlocked_;
    DbFetchMarker marker_;
    bool locked_ = false, made_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
