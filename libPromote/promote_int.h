// Internals of promotion shared by its sources.
#pragma once

// The columns of a catalog entries table (v_entries, hd_entries), in order.
inline constexpr const char *kEntryColumns[] = {"data_key", "b_yr",   "b_day", "b_msec",        "e_yr",
                                                "e_day",    "e_msec", "size",  "archive_label", "archive_date"};

#include <sys/types.h>

#include <string>
#include <vector>

// What a fetch program did to the paths it may write an entry to, followed
// through the change notifications of their folders while it runs: which
// file arrived at each path last, and whether it was made there (written in
// place, perhaps in part) or renamed there whole.  After a failed fetch only
// a file it may have made is removed, never one that was there before or
// that another process renamed into place meanwhile.
class FetchWatch {
public:
    // Starts watching; the paths' folders need to exist for it, else the
    // watch falls back to "whatever was not there before".
    explicit FetchWatch(std::vector<std::string> paths);
    ~FetchWatch();
    FetchWatch(const FetchWatch &) = delete;
    FetchWatch &operator=(const FetchWatch &) = delete;

    // Takes in the notifications that came since the last call.
    void Take();
    // After a failed fetch: removes each path that was not there before and
    // whose file was not renamed there whole (the same device and inode as
    // when the rename was seen).
    void RemoveWhatTheFetchMade();

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
    std::vector<Path> paths_;
    int fd_ = -1;
    bool lost_ = false;  // notifications were lost or could not be had
};
