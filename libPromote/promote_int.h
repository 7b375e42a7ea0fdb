// Internals of promotion shared by its sources.
#pragma once

// The columns of a catalog entries table (v_entries, hd_entries), in order.
inline constexpr const char *kEntryColumns[] = {"data_key", "b_yr",   "b_day", "b_msec",        "e_yr",
                                                "e_day",    "e_msec", "size",  "archive_label", "archive_date"};

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
// program for the length of the fetch.  The claim is an open file
// description lock on the marker, which the fetch program inherits
// (Inherited), so that it holds while the fetch runs, also past the end of
// this program.
class FetchClaim {
public:
    enum class Outcome {
        Done,     // the file is there and no fetch of it runs: no claim made
        Fresh,    // no fetch of the file was under way or unfinished: made anew
        Left,     // a fetch of it began and did not end well: taken over
        Stopped,  // the wait for another fetch of it ended (wait's outcome)
        Failed    // the marker could not be made or locked (error())
    };
    explicit FetchClaim(std::string file);
    ~FetchClaim();
    FetchClaim(const FetchClaim &) = delete;
    FetchClaim &operator=(const FetchClaim &) = delete;

    // Takes the marker there, or, where there is none and the file is not
    // there (present), makes one (and the file's missing folders).  While
    // another process holds it, wait is called every few hundredths of a
    // second; a false from it gives up (Stopped).  A marker is made only
    // for a fetch to come: one made as another fetch of the file ended well
    // goes again at once, so that a reader of that program never meets it.
    Outcome Take(const std::function<bool()> &present, const std::function<bool()> &wait);
    // The descriptor the fetch program inherits, -1 before Take.
    int Inherited() const { return fd_; }
    // Writes the marker and its folder entry to the disk before the fetch
    // begins, so that a power loss during the fetch leaves it; false with
    // error() when that fails.
    bool MakeDurable();
    // The fetch ended well and its file is whole: removes the marker (the
    // file itself written to the disk first) and lets the claim go.
    void Remove();
    const std::string &error() const { return error_; }

private:
    std::string file_, marker_, folder_, error_;
    int fd_ = -1;
};
